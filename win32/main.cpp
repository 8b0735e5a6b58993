#include "Form1.h"

#include <windows.h>

#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    const INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    Form1 form(instance);
    if (!form.Create(show))
        return 1;
    MSG message;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0)
            return static_cast<int>(message.wParam);
        if (got == -1)
            return 1;
        // Tab, Shift+Tab, Alt with an access key, and Enter on a button.
        if (form.Handle() != nullptr && IsDialogMessageW(form.Handle(), &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}
