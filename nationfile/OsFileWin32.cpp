#include "GameFolder.h"
#include "OsFile.h"
#include "VirtualStore.h"
#include "WideText.h"
#include "Win32Calls.h"

#include <algorithm>
#include <array>
#include <cwctype>
#include <string_view>
#include <vector>

namespace nationfile {

const Win32Calls& SystemCalls()
{
    static const Win32Calls calls = {
        ::GetFileAttributesW, ::CreateFileW, ::GetFileType,      ::GetFileSizeEx, ::ReadFile,
        ::WriteFile,          ::FlushFileBuffers, ::CloseHandle, ::MoveFileExW,   ::DeleteFileW,
        ::GetProcAddress,
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

std::string Environment(const wchar_t* name)
{
    wchar_t value[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? Utf8FromWide(std::wstring_view(value, length)) : std::string();
}

// The folders whose files old programs may not write: the Program Files
// folders, 64-bit and 32-bit.
std::vector<std::string> ProtectedFolders()
{
    std::vector<std::string> folders;
    for (const wchar_t* name : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"}) {
        std::string folder = Environment(name);
        if (!folder.empty())
            folders.push_back(std::move(folder));
    }
    return folders;
}

// Wine answers to the name of a function of its own in ntdll.
bool UnderWine()
{
    return Os().GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
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
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            // Under Wine the attribute is the host's permission to write the
            // file, and there is no Properties dialog to clear it in.
            if (UnderWine())
                return OsStatus::Failure("The file is read-only; give yourself permission to write it in your "
                                         "file manager (or with chmod u+w), then try again");
            return OsStatus::Failure("The file is read-only; clear \"Read-only\" in the file's Properties, "
                                     "then try again");
        }
        if (!UnderWine() && LiesUnder(Utf8FromWide(path), ProtectedFolders()))
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

} // namespace

std::optional<std::string> ExistingVirtualStoreCopy(const std::string& path)
{
    // Wine keeps no VirtualStore: a game under Wine reads the file under
    // Program Files itself, whatever a folder named VirtualStore holds.
    if (UnderWine())
        return std::nullopt;
    std::optional<std::string> copy = VirtualStorePath(path, ProtectedFolders(), Environment(L"LOCALAPPDATA"));
    if (!copy)
        return std::nullopt;
    const DWORD attributes = Os().GetFileAttributesW(WideFromUtf8(*copy).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::nullopt;
    return copy;
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = Os().GetFileAttributesW(WideFromUtf8(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ListFolderEntries(const std::string& folder, std::vector<FolderEntry>& entries)
{
    entries.clear();
    std::wstring pattern = WideFromUtf8(folder);
    if (pattern.empty())
        return false;
    pattern += pattern.back() == L'\\' || pattern.back() == L'/' ? L"*" : L"\\*";
    WIN32_FIND_DATAW found {};
    HANDLE listing = FindFirstFileW(pattern.c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE)
        return false;
    do {
        const std::wstring_view name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        // Junctions and links are not followed: Vista's "Documents and
        // Settings" leads back into the drive.
        const DWORD attributes = found.dwFileAttributes;
        const FolderEntry::Kind kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? FolderEntry::Kind::Other
            : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0                              ? FolderEntry::Kind::Folder
                                                                                       : FolderEntry::Kind::File;
        const auto modified = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) | found.ftLastWriteTime.dwLowDateTime);
        entries.push_back({Utf8FromWide(name), kind, modified});
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
    return true;
}

namespace {

// Under Wine, a drive can be the host's whole file system (Z: is "/"), with
// no game at its top and more folders than a search may look at.
bool IsHostRoot(const wchar_t* drive)
{
    using UnixNameCall = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixNameCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName == nullptr)
        return false;
    char* name = unixName(drive);
    const bool root = name != nullptr && std::string_view(name) == "/";
    HeapFree(GetProcessHeap(), 0, name);
    return root;
}

// Where games are installed: the Program Files folders, and the top-level
// folders of each fixed drive (C:\Games), Windows' own folder left out.
std::vector<std::string> GameRoots()
{
    std::vector<std::string> roots;
    for (const wchar_t* name : {L"ProgramFiles(x86)", L"ProgramFiles"}) {
        std::string folder = Environment(name);
        if (!folder.empty())
            roots.push_back(std::move(folder));
    }
    const std::string windows = Environment(L"SystemRoot");
    const auto same = [](const std::string& a, const std::string& b) {
        return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, WideFromUtf8(a).c_str(), -1, WideFromUtf8(b).c_str(), -1)
            == CSTR_EQUAL;
    };
    const DWORD drives = GetLogicalDrives();
    std::vector<FolderEntry> entries;
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        const wchar_t drive[] = {letter, L':', L'\\', L'\0'};
        if ((drives & (1u << (letter - L'A'))) == 0 || GetDriveTypeW(drive) != DRIVE_FIXED || IsHostRoot(drive))
            continue;
        if (!ListFolderEntries(Utf8FromWide(drive), entries))
            continue;
        for (const FolderEntry& entry : entries) {
            const std::string folder = Utf8FromWide(drive) + entry.name;
            if (entry.kind != FolderEntry::Kind::Folder || same(folder, windows)
                || std::any_of(roots.begin(), roots.end(), [&](const std::string& root) { return same(root, folder); }))
                continue;
            roots.push_back(folder);
        }
    }
    return roots;
}

} // namespace

std::string DefaultGameFolder()
{
    return FindGameDataFolder(GameRoots());
}

bool NameTaken(const std::string& path)
{
    return Os().GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

OsStatus NameWithoutReplacing(const std::string& from, const std::string& to, bool& taken)
{
    taken = false;
    const std::wstring wideTo = WideFromUtf8(to);
    // Without MOVEFILE_REPLACE_EXISTING the move fails rather than replace.
    if (Os().MoveFileExW(WideFromUtf8(from).c_str(), wideTo.c_str(), MOVEFILE_WRITE_THROUGH))
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
    Os().DeleteFileW(WideFromUtf8(path).c_str());
}

OsFile::~OsFile()
{
    if (handle_ != nullptr)
        Os().CloseHandle(handle_);
}

OsStatus OsFile::Open(const std::string& path, WriteAccess write)
{
    bool valid = true;
    const std::wstring wide = WideFromUtf8(path, &valid);
    if (!valid)
        return OsStatus::Failure("The path is not valid UTF-8 text");
    if (NamesDevice(wide))
        return OsStatus::Failure("The path names a device, not a file");
    // Looking before opening: a folder opened for writing fails with a bare
    // "access denied".
    const DWORD attributes = Os().GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Failure(GetLastError(), wide);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return OsStatus::Failure("The path names a folder, not a file");

    // OPEN_EXISTING: a path that names no file is an error, never a new empty
    // file. Others may read the file meanwhile, but no other program may
    // write it, and one that is writing it keeps it from being opened.
    const auto open = [&](DWORD access) {
        return Os().CreateFileW(wide.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    };
    HANDLE handle = open(GENERIC_READ | GENERIC_WRITE);
    if (handle == INVALID_HANDLE_VALUE && write == WriteAccess::IfAllowed
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
    const std::wstring wide = WideFromUtf8(path, &valid);
    if (!valid)
        return OsStatus::Failure("The path is not valid UTF-8 text");
    // CREATE_NEW: fails when anything has the name.
    HANDLE handle
        = Os().CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Failure(GetLastError(), wide);
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
    // One write per byte at its offset: no byte in between is rewritten, and
    // a failing disk answers with an error code. A mapped view would raise a
    // structured exception instead, which this compiler can't catch.
    for (const ByteAt& byte : bytes) {
        if (byte.offset >= fileLength)
            return OsStatus::Failure("The file changed length while it was written");
        OVERLAPPED at = At(byte.offset);
        DWORD written = 0;
        if (!Os().WriteFile(handle_, &byte.value, 1, &written, &at))
            return Failure(GetLastError(), path_);
        if (written != 1)
            return OsStatus::Failure("The file could not be written: the disk is full or failing");
    }
    return OsStatus::Success();
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
