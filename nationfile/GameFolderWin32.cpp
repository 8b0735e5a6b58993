// The Windows half of GameFolder.h.
#include "GameFolder.h"

#include "WideText.h"
#include "Win32Calls.h"
#include "Win32System.h"

#include <algorithm>

namespace nationfile {

bool IsFolder(const std::string& path)
{
    const DWORD attributes = ActiveCalls().GetFileAttributesW(SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string FolderForDialog(const std::string& folder)
{
    // Room for a separator and an 8.3 name after the folder.
    constexpr std::size_t kLongest = MAX_PATH - 14;
    if (WideFromUtf8(folder).size() <= kLongest)
        return folder;
    // Wine's dialog opens no folder by its short name.
    if (UnderWine())
        return {};
    std::wstring shortName(32768, L'\0');
    const DWORD length = GetShortPathNameW(SystemPath(folder).c_str(), shortName.data(),
                                           static_cast<DWORD>(shortName.size()));
    if (length == 0 || length >= shortName.size())
        return {};
    shortName = PlainPath(shortName.substr(0, length));
    return shortName.size() <= kLongest ? Utf8FromWide(shortName) : std::string();
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
    std::vector<std::string> roots = ProgramFilesFolders();
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

std::string DefaultGameFolder(const SearchLimits& limits)
{
    return FindGameDataFolder(GameRoots(), limits);
}

std::string PathAsShown(const std::string& path)
{
    return path;
}

} // namespace nationfile
