#pragma once

#include "OsFile.h"

#include <cstddef>
#include <cstdint>
#include <span>

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
    // A patch stores its bytes through one view of the file.
    HANDLE(WINAPI* CreateFileMappingW)(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protection,
                                       DWORD sizeHigh, DWORD sizeLow, LPCWSTR name);
    LPVOID(WINAPI* MapViewOfFile)(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes);
    BOOL(WINAPI* FlushViewOfFile)(LPCVOID view, SIZE_T bytes);
    BOOL(WINAPI* UnmapViewOfFile)(LPCVOID view);
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

// Stores each byte at its offset into `view`, `length` bytes long, and
// answers whether all were stored: a store that faults inside the view (a
// failing disk or network share) ends the stores, not the program. A fault
// anywhere else is left to whoever handles it.
bool StoreIntoView(std::uint8_t* view, std::size_t length, std::span<const ByteAt> bytes);

} // namespace nationfile
