#include "GameFolder.h"
#include "OsFile.h"
#include "VirtualStore.h"
#include "WideText.h"
#include "Win32Calls.h"
#include "Win32System.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cwctype>
#include <string_view>
#include <vector>

namespace nationfile {

const Win32Calls& SystemCalls()
{
    static const Win32Calls calls = {
        ::GetFileAttributesW, ::CreateFileW,      ::GetFileType,     ::GetFileSizeEx,   ::ReadFile,
        ::WriteFile,          ::CreateFileMappingW, ::MapViewOfFile, ::FlushViewOfFile, ::UnmapViewOfFile,
        ::FlushFileBuffers,   ::CloseHandle,      ::MoveFileExW,     ::DeleteFileW,     ::GetProcAddress,
    };
    return calls;
}

Win32Calls& ActiveCalls()
{
    static Win32Calls calls = SystemCalls();
    return calls;
}

namespace {

const Win32Calls& Os()
{
    return ActiveCalls();
}

// The system's own words for an error, without the line break and the full
// stop it ends them with, and its number.
std::string SystemMessage(DWORD error)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? std::wstring_view(buffer, length) : std::wstring_view());
    LocalFree(buffer);
    while (!text.empty() && (std::iswspace(text.back()) || text.back() == L'.'))
        text.pop_back();
    if (text.empty())
        text = L"Windows error";
    return Utf8FromWide(text) + " (error " + std::to_string(error) + ")";
}

OsStatus ReadOnly()
{
    // Under Wine the attribute is the host's permission to write the file,
    // and there is no Properties dialog to clear it in.
    if (UnderWine())
        return OsStatus::Failure("The file is read-only; give yourself permission to write it in your file manager "
                                 "(or with chmod u+w), then try again");
    return OsStatus::Failure("The file is read-only; clear \"Read-only\" in the file's Properties, then try again");
}

// Windows' failures in words a player can act on.
OsStatus Failure(DWORD error, const std::wstring& path)
{
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return OsStatus::Failure("The file is in use by another program; close the game, then try again");
    case ERROR_ACCESS_DENIED: {
        const DWORD attributes = Os().GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
            return ReadOnly();
        if (!UnderWine() && LiesUnder(Utf8FromWide(PlainPath(path)), ProgramFilesFolders()))
            return OsStatus::Failure("Windows protects the game's folder under Program Files; run the editor as "
                                     "administrator (right-click it, then \"Run as administrator\"), or keep the "
                                     "game outside Program Files");
        return OsStatus::Failure("Windows denies access to the file");
    }
    default:
        return OsStatus::Failure(SystemMessage(error));
    }
}

// Opening a device (CON, NUL, COM1, a pipe) can block or have effects of its
// own, so such paths are refused before anything is opened.
bool NamesDevice(std::wstring_view path)
{
    if (path.starts_with(L"\\\\.\\") || path.starts_with(L"//./"))
        return true;
    const std::size_t slash = path.find_last_of(L"\\/:");
    std::wstring name(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
    name = name.substr(0, name.find(L'.'));
    while (!name.empty() && name.back() == L' ')
        name.pop_back();
    std::transform(name.begin(), name.end(), name.begin(), [](wchar_t c) { return std::towupper(c); });
    static constexpr std::array<std::wstring_view, 6> kDevices = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$",
                                                                  L"CONOUT$"};
    if (std::find(kDevices.begin(), kDevices.end(), name) != kDevices.end())
        return true;
    return name.size() == 4 && (name.starts_with(L"COM") || name.starts_with(L"LPT")) && name[3] >= L'0'
        && name[3] <= L'9';
}

OVERLAPPED At(std::uint64_t offset)
{
    OVERLAPPED at {};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

// A store into a view raises a structured exception instead of returning an
// error when its page can't be read in or written (EXCEPTION_IN_PAGE_ERROR:
// a failing disk, a network share gone), and this compiler has no __try.
// For the one loop that stores, a vectored handler takes such an exception
// at an address inside the view and resumes in ResumeAfterFault, which
// jumps back to the loop's recovery point; every other exception passes on.
struct ViewGuard {
    const std::uint8_t* view;
    std::size_t length;
    void* recovery[5]; // __builtin_setjmp's buffer
};
// Volatile: only the handler reads it, which the compiler can't see.
thread_local ViewGuard* volatile activeGuard = nullptr;

[[noreturn]] void ResumeAfterFault()
{
    __builtin_longjmp(activeGuard->recovery, 1);
}

LONG CALLBACK TakeFaultInView(EXCEPTION_POINTERS* exception)
{
    const ViewGuard* guard = activeGuard;
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    if (guard == nullptr
        || (record.ExceptionCode != EXCEPTION_IN_PAGE_ERROR && record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
        || record.NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    const ULONG_PTR address = record.ExceptionInformation[1];
    const auto first = reinterpret_cast<ULONG_PTR>(guard->view);
    if (address < first || address - first >= guard->length)
        return EXCEPTION_CONTINUE_SEARCH;
    // The jump is made once Windows has finished dispatching the exception,
    // not from inside the handler, which would leave the dispatcher's own
    // state behind (XP holds the handler list's lock while it calls them).
    // The faulting store's stack is given a return address's room and the
    // alignment a call would leave; nothing is ever returned to.
#if defined(__i386__)
    CONTEXT& context = *exception->ContextRecord;
    context.Esp = (context.Esp & ~DWORD {15}) - sizeof(DWORD);
    context.Eip = reinterpret_cast<DWORD>(&ResumeAfterFault);
#else
#error "the resumption after a fault in a view is written for 32-bit x86"
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

// Windows refuses a flush for a moment while its own writer is busy with
// the same pages (ERROR_LOCK_VIOLATION); that passes, and is waited out.
bool FlushView(const void* view)
{
    constexpr int kTries = 10;
    constexpr DWORD kPauseMs = 25;
    for (int tries = 1;; ++tries) {
        if (Os().FlushViewOfFile(view, 0))
            return true;
        if (GetLastError() != ERROR_LOCK_VIOLATION || tries == kTries)
            return false;
        Sleep(kPauseMs);
    }
}

} // namespace

bool StoreIntoView(std::uint8_t* view, std::size_t length, std::span<const ByteAt> bytes)
{
    ViewGuard guard {view, length, {}};
    PVOID handler = AddVectoredExceptionHandler(1, TakeFaultInView);
    if (handler == nullptr)
        return false;
    volatile bool stored = false;
    if (__builtin_setjmp(guard.recovery) == 0) {
        activeGuard = &guard;
        // The stores stay between the guard's start and end.
        std::atomic_signal_fence(std::memory_order_seq_cst);
        for (const ByteAt& byte : bytes)
            view[byte.offset] = byte.value;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        stored = true;
    }
    activeGuard = nullptr;
    RemoveVectoredExceptionHandler(handler);
    return stored;
}

NameHolder WhatHasName(const std::string& path)
{
    const std::wstring wide = SystemPath(path);
    const DWORD attributes = Os().GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return NameHolder::Nothing;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return NameHolder::Folder;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return NameHolder::File;
    // A link: a file only where it leads to one.
    HANDLE target = Os().CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (target == INVALID_HANDLE_VALUE)
        return NameHolder::Other;
    BY_HANDLE_FILE_INFORMATION information {};
    const bool file = Os().GetFileType(target) == FILE_TYPE_DISK && GetFileInformationByHandle(target, &information)
        && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    Os().CloseHandle(target);
    return file ? NameHolder::File : NameHolder::Other;
}

OsStatus NameWithoutReplacing(const std::string& from, const std::string& to, bool& taken)
{
    taken = false;
    const std::wstring wideTo = SystemPath(to);
    // Without MOVEFILE_REPLACE_EXISTING the move fails rather than replace.
    if (Os().MoveFileExW(SystemPath(from).c_str(), wideTo.c_str(), MOVEFILE_WRITE_THROUGH))
        return OsStatus::Success();
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        taken = true;
        return OsStatus::Success();
    }
    return Failure(error, wideTo);
}

void RemoveFile(const std::string& path)
{
    Os().DeleteFileW(SystemPath(path).c_str());
}

// A link to a file (a symbolic link of NTFS): the file it leads to, where
// Windows can name it (from Vista on).
std::string FileBehindLinks(const std::string& path)
{
    const std::wstring wide = SystemPath(path);
    const DWORD attributes = Os().GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return path;
    using FinalPathCall = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    const auto finalPath = reinterpret_cast<FinalPathCall>(
        reinterpret_cast<void*>(Os().GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW")));
    if (finalPath == nullptr)
        return path;
    HANDLE target = Os().CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (target == INVALID_HANDLE_VALUE)
        return path;
    std::wstring behind(32768, L'\0');
    const DWORD length = finalPath(target, behind.data(), static_cast<DWORD>(behind.size()), 0);
    Os().CloseHandle(target);
    if (length == 0 || length >= behind.size())
        return path;
    behind.resize(length);
    return Utf8FromWide(PlainPath(behind));
}

OsFile::~OsFile()
{
    if (handle_ != nullptr)
        Os().CloseHandle(handle_);
}

OsStatus OsFile::Open(const std::string& path, WriteAccess write)
{
    bool valid = true;
    const std::wstring wide = SystemPath(path, &valid);
    if (!valid)
        return OsStatus::Failure("The path is not valid UTF-8 text");
    if (NamesDevice(PlainPath(wide)))
        return OsStatus::Failure("The path names a device, not a file");
    // Looking before opening: a folder opened for writing fails with a bare
    // "access denied".
    const DWORD attributes = Os().GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Failure(GetLastError(), wide);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return OsStatus::Failure("The path names a folder, not a file");
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && write == WriteAccess::Required)
        return ReadOnly();

    // OPEN_EXISTING: a path that names no file is an error, never a new empty
    // file. Others may read the file meanwhile, but no other program may
    // write it, and one that is writing it keeps it from being opened.
    const auto open = [&](DWORD access) {
        return Os().CreateFileW(wide.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    };
    HANDLE handle = open(readOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE);
    if (handle == INVALID_HANDLE_VALUE && !readOnly && write == WriteAccess::IfAllowed
        && (GetLastError() == ERROR_ACCESS_DENIED || GetLastError() == ERROR_WRITE_PROTECT))
        handle = open(GENERIC_READ);
    if (handle == INVALID_HANDLE_VALUE)
        return Failure(GetLastError(), wide);
    handle_ = handle;
    path_ = wide;
    if (Os().GetFileType(handle_) != FILE_TYPE_DISK)
        return OsStatus::Failure("Not an ordinary file on a disk");
    return OsStatus::Success();
}

OsStatus OsFile::CreateNew(const std::string& path)
{
    bool valid = true;
    const std::wstring wide = SystemPath(path, &valid);
    if (!valid)
        return OsStatus::Failure("The path is not valid UTF-8 text");
    // CREATE_NEW: fails when anything has the name.
    HANDLE handle
        = Os().CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // The file is new: it is its folder that refuses it. Under Program
        // Files Windows says why, and what to do.
        if (error == ERROR_ACCESS_DENIED && (UnderWine() || !LiesUnder(path, ProgramFilesFolders())))
            return OsStatus::Failure("Windows denies writing in the folder \"" + FolderOf(path) + "\"");
        return Failure(error, wide);
    }
    handle_ = handle;
    path_ = wide;
    return OsStatus::Success();
}

OsStatus OsFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        OVERLAPPED at = At(offset + done);
        DWORD written = 0;
        const auto wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (!Os().WriteFile(handle_, bytes.data() + done, wanted, &written, &at))
            return Failure(GetLastError(), path_);
        if (written == 0)
            return Failure(ERROR_DISK_FULL, path_);
        done += written;
    }
    return OsStatus::Success();
}

OsStatus OsFile::Size(std::uint64_t& size) const
{
    LARGE_INTEGER length {};
    if (!Os().GetFileSizeEx(handle_, &length))
        return Failure(GetLastError(), path_);
    size = static_cast<std::uint64_t>(length.QuadPart);
    return OsStatus::Success();
}

OsStatus OsFile::Identity(FileIdentity& identity) const
{
    BY_HANDLE_FILE_INFORMATION information {};
    if (!GetFileInformationByHandle(handle_, &information))
        return Failure(GetLastError(), path_);
    identity = {information.dwVolumeSerialNumber,
                (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
    return OsStatus::Success();
}

OsStatus OsFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) const
{
    std::size_t done = 0;
    while (done < into.size()) {
        OVERLAPPED at = At(offset + done);
        DWORD got = 0;
        const auto wanted = static_cast<DWORD>(std::min<std::size_t>(into.size() - done, 1u << 30));
        if (!Os().ReadFile(handle_, into.data() + done, wanted, &got, &at)) {
            const DWORD error = GetLastError();
            if (error != ERROR_HANDLE_EOF)
                return Failure(error, path_);
            got = 0;
        }
        if (got == 0)
            return OsStatus::Failure("The file became shorter while it was being read");
        done += got;
    }
    return OsStatus::Success();
}

OsStatus OsFile::StoreBytes(std::uint64_t fileLength, std::span<const ByteAt> bytes)
{
    if (bytes.empty())
        return OsStatus::Success();
    for (const ByteAt& byte : bytes) {
        if (byte.offset >= fileLength)
            return OsStatus::Failure("The file changed length while it was written");
    }
    // A view is the one way to change scattered single bytes of a file
    // without a system call for each of them or rewriting the bytes in
    // between. A mapping of size 0 is the file as long as it is: a larger
    // one would lengthen the file.
    HANDLE mapping = Os().CreateFileMappingW(handle_, nullptr, PAGE_READWRITE, 0, 0, nullptr);
    if (mapping == nullptr)
        return Failure(GetLastError(), path_);
    auto* view = static_cast<std::uint8_t*>(
        Os().MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, static_cast<SIZE_T>(fileLength)));
    if (view == nullptr) {
        const DWORD error = GetLastError();
        Os().CloseHandle(mapping);
        return Failure(error, path_);
    }

    // FlushViewOfFile hands the pages to the disk; Sync()'s
    // FlushFileBuffers then waits until they and the file's own records are
    // on it.
    OsStatus status = OsStatus::Success();
    if (!StoreIntoView(view, static_cast<std::size_t>(fileLength), bytes))
        status = OsStatus::Failure("The file could not be written: the disk or the network share that holds it "
                                   "is full or failing");
    else if (!FlushView(view))
        status = Failure(GetLastError(), path_);
    if (!Os().UnmapViewOfFile(view) && status)
        status = Failure(GetLastError(), path_);
    if (!Os().CloseHandle(mapping) && status)
        status = Failure(GetLastError(), path_);
    return status;
}

OsStatus OsFile::Sync()
{
    if (!Os().FlushFileBuffers(handle_))
        return Failure(GetLastError(), path_);
    return OsStatus::Success();
}

OsStatus OsFile::Close()
{
    HANDLE handle = handle_;
    handle_ = nullptr;
    if (!Os().CloseHandle(handle))
        return Failure(GetLastError(), path_);
    return OsStatus::Success();
}

} // namespace nationfile
