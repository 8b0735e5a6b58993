// Shows one window and ends once it has been painted: the editor's
// ("editor"), or a plain window with the same controls (kinds, texts, places
// and fonts) made the plainest way ("plain"). bench_nation_win32 times each
// from the start of its process.
#include "Form1.h"
#include "FormDesign.h"
#include "WideText.h"

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

using nationfile::WideFromUtf8;

namespace {

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

int ShowPlainWindow(HINSTANCE instance)
{
    WNDCLASSEXW windowClass {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = PlainProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = L"Plain";
    RegisterClassExW(&windowClass);
    HWND window = CreateWindowExW(0, L"Plain", WideFromUtf8(form::TITLE).c_str(), WS_CAPTION | WS_SYSMENU,
                                  CW_USEDEFAULT, CW_USEDEFAULT, form::CLIENT_WIDTH / 15 + 8,
                                  form::CLIENT_HEIGHT / 15 + 30, nullptr, nullptr, instance, nullptr);
    std::vector<HFONT> fonts;
    for (const form::Font& design : form::FONTS) {
        LOGFONTW font {};
        font.lfHeight = -MulDiv(design.hundredthsOfPoint, 96, 7200);
        font.lfWeight = design.bold ? FW_BOLD : FW_NORMAL;
        lstrcpynW(font.lfFaceName, WideFromUtf8(design.Face()).c_str(), LF_FACESIZE);
        fonts.push_back(CreateFontIndirectW(&font));
    }
    for (const form::Control& design : form::CONTROLS) {
        const wchar_t* kind = design.kind == form::Kind::Button ? WC_BUTTONW
            : design.kind == form::Kind::NationList            ? WC_LISTVIEWW
            : design.kind == form::Kind::Label                 ? WC_STATICW
                                                               : WC_EDITW;
        const DWORD style = design.kind == form::Kind::NationList ? LVS_REPORT : 0;
        HWND control = CreateWindowExW(0, kind, WideFromUtf8(design.text).c_str(), WS_CHILD | WS_VISIBLE | style,
                                       design.left / 15, design.top / 15, design.width / 15, design.height / 15,
                                       window, nullptr, instance, nullptr);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts[static_cast<std::size_t>(design.font)]),
                     FALSE);
    }
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    DestroyWindow(window);
    for (HFONT font : fonts)
        DeleteObject(font);
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int)
{
    const INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    if (std::wstring(commandLine) == L"plain")
        return ShowPlainWindow(instance);
    // Create shows the window and paints it before it returns.
    Form1 form(instance);
    return form.Create(SW_SHOWNORMAL) ? 0 : 1;
}
