#pragma once

#include "FormDesign.h"
#include "WideText.h"

#include <windows.h>

// Runs what a window or subclass procedure does with a message so that
// nothing unwinds through Windows' own code: an exception ends the editor,
// with a message.
template <typename Handling>
LRESULT Guarded(HWND window, const Handling& handling) noexcept
{
    try {
        return handling();
    } catch (...) {
        MessageBoxW(window, L"The editor met an error it can't recover from and will close.",
                    nationfile::WideFromUtf8(form::APPLICATION_TITLE).c_str(), MB_OK);
        PostQuitMessage(1);
        return 0;
    }
}
