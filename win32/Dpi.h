#pragma once

#include <windows.h>

// Dots per inch where the window is, and the frame that gives a client area
// of a size at that resolution. The per-monitor calls exist from Windows 10
// (1607) on; before that, and under Wine where they are missing, the
// system's resolution stands for every monitor.
UINT DpiOf(HWND window);
RECT WindowRectFor(SIZE client, DWORD style, DWORD exStyle, UINT dpi);

// Sent from Windows 8.1 on; the headers for Windows XP don't name it.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
