#pragma once

#include <windows.h>

namespace nationfile {

// The Windows calls OsFile makes, as a table that a test can point elsewhere
// to make any one of them fail the way a disk, a network share or another
// program holding the file does.
struct Win32Calls {
    DWORD(WINAPI* GetFileAttributesW)(LPCWSTR path);
    HANDLE(WINAPI* CreateFileW)(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE templateFile);
    DWORD(WINAPI* GetFileType)(HANDLE file);
    BOOL(WINAPI* GetFileSizeEx)(HANDLE file, PLARGE_INTEGER size);
    BOOL(WINAPI* ReadFile)(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED at);
    BOOL(WINAPI* WriteFile)(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED at);
    BOOL(WINAPI* FlushFileBuffers)(HANDLE file);
    BOOL(WINAPI* CloseHandle)(HANDLE file);
    BOOL(WINAPI* MoveFileExW)(LPCWSTR from, LPCWSTR to, DWORD flags);
    BOOL(WINAPI* DeleteFileW)(LPCWSTR path);
    // Tells Wine from Windows.
    FARPROC(WINAPI* GetProcAddress)(HMODULE module, LPCSTR name);
};

// The operating system's own calls.
const Win32Calls& SystemCalls();
// The calls OsFile uses; the system's unless a test has changed them.
Win32Calls& ActiveCalls();

} // namespace nationfile
