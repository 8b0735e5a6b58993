// The POSIX half of GameFolder.h.
#include "GameFolder.h"

#include "PosixCalls.h"

#include <cstdlib>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace nationfile {

bool IsFolder(const std::string& path)
{
    struct stat info {};
    return ActiveCalls().stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string FolderForDialog(const std::string& folder)
{
    return folder;
}

bool ListFolderEntries(const std::string& folder, std::vector<FolderEntry>& entries)
{
    entries.clear();
    // The system's own calls, not the table's: a search for the game's
    // folder is not part of reading or patching a nation file.
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr)
        return false;
    const int fd = dirfd(listing);
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        // Not followed: a link is neither a folder nor a file here.
        struct stat info {};
        if (fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == -1)
            continue;
        const FolderEntry::Kind kind = S_ISDIR(info.st_mode) ? FolderEntry::Kind::Folder
            : S_ISREG(info.st_mode)                        ? FolderEntry::Kind::File
                                                           : FolderEntry::Kind::Other;
        entries.push_back({name, kind,
                           static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec});
    }
    closedir(listing);
    return true;
}

std::string DefaultGameFolder(const SearchLimits& limits)
{
    const char* home = std::getenv("HOME");
    const char* wine = std::getenv("WINEPREFIX");
    std::vector<std::string> drives;
    for (const std::string& prefix : WinePrefixes(home != nullptr ? home : "", wine != nullptr ? wine : ""))
        drives.push_back(prefix + "/drive_c");
    if (std::string found = FindGameDataFolder(drives, limits); !found.empty())
        return found;
    return home != nullptr ? home : "";
}

std::string PathAsShown(const std::string& path)
{
    return path;
}

} // namespace nationfile
