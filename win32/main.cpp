#include "Form1.h"
#include "Owned.h"
#include "WideText.h"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>

namespace {

// The window and its message loop, until the window is gone.
int Run(HINSTANCE instance, int show)
{
    Form1 form(instance);
    if (!form.Create(show))
        return 1;
    // nation-editor.exe PATH: the file the player dropped on the program
    // file, or opened the editor with.
    int count = 0;
    const OwnedArguments arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    if (arguments.Get() != nullptr && count > 1) {
        const wchar_t* given = arguments.Get()[1];
        std::wstring path(32768, L'\0');
        const DWORD length = GetFullPathNameW(given, static_cast<DWORD>(path.size()), path.data(), nullptr);
        path.resize(length > 0 && length < path.size() ? length : 0);
        form.Commands().LoadFile(nationfile::Utf8FromWide(path.empty() ? given : path));
    }
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

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    const INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The launcher's ShellExecuteW may hand an address to a shell extension,
    // which needs COM on the calling thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const int ended = Run(instance, show);
    if (SUCCEEDED(com))
        CoUninitialize();
    return ended;
}
