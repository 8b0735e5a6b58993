// Prints, as UTF-8, the texts of a window's children, the window found by
// its title: what a message box under Wine says, for the end-to-end test.
// Usage: window_text TITLE
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

BOOL CALLBACK PrintText(HWND child, LPARAM)
{
    wchar_t text[4096] = {};
    const int length = GetWindowTextW(child, text, 4096);
    char utf8[16384] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, length, utf8, sizeof(utf8) - 1, nullptr, nullptr);
    std::printf("%s\n", utf8);
    return TRUE;
}

} // namespace

int wmain(int argc, wchar_t* argv[])
{
    if (argc != 2)
        return 2;
    HWND window = FindWindowW(nullptr, argv[1]);
    if (window == nullptr)
        return 1;
    EnumChildWindows(window, PrintText, 0);
    return 0;
}
