#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

// Folders around the nation file, paths as UTF-8 text. What asks the system
// (IsFolder, ListFolderEntries, DefaultGameFolder) is in GameFolderPosix.cpp
// and GameFolderWin32.cpp; the rest in GameFolder.cpp.
namespace nationfile {

std::string FolderOf(const std::string& path);
// The last part of a path: the file's own name.
std::string FileNameOf(const std::string& path);
// A path as the player knows it, for the words said of a file: in a web
// page the file's own name, the page's folders being numbers of its own;
// elsewhere the path itself.
std::string PathAsShown(const std::string& path);
bool IsFolder(const std::string& path);
// The folder as the open-file dialog can start in it, or nothing where it
// can't. Windows' dialog takes no folder longer than MAX_PATH less a file's
// 8.3 name (handed a longer one, it faults): such a folder is named by its
// short name where the system keeps one (Wine's dialog opens none). Other
// platforms' dialogs take any.
std::string FolderForDialog(const std::string& folder);

// What a search sees of one entry of a folder. Links and junctions count as
// Other: a search never follows them.
struct FolderEntry {
    enum class Kind { Folder, File, Other };
    std::string name;
    Kind kind = Kind::Other;
    std::int64_t modified = 0; // for files: a time that grows with each change
};
// Lists a folder's entries; false when it can't be read.
using ListFolder = std::function<bool(const std::string& folder, std::vector<FolderEntry>& entries)>;
// The platform's own listing.
bool ListFolderEntries(const std::string& folder, std::vector<FolderEntry>& entries);

struct SearchLimits {
    int depth = 6;
    std::size_t folders = 20000;
    std::chrono::milliseconds time {150};
};

// Among the folders named Data, in any letter case, that hold a file named
// Nation.dat, the one whose Nation.dat changed last. Looks from all `roots`
// together, one level at a time, within the limits, so that a large root
// can't keep the others from being looked at; a folder named Windows just
// below a root is left out. Nothing when none is found in time.
std::string FindGameDataFolder(std::span<const std::string> roots, const SearchLimits& limits = {},
                               const ListFolder& list = ListFolderEntries);

// Where Wine keeps its prefixes on Linux, as folders that hold drive_c:
// WINEPREFIX, ~/.wine, and the prefixes of PlayOnLinux, Lutris, Bottles,
// Steam's Proton and CrossOver found under `home`.
std::vector<std::string> WinePrefixes(const std::string& home, const std::string& winePrefix,
                                      const ListFolder& list = ListFolderEntries);

// Where the open-file dialog starts when no file has been loaded yet: the
// game's Data folder where one is found (on Linux in the Wine prefixes, on
// Windows under the Program Files folders and the top-level folders of each
// fixed drive), else the home folder on Linux and nothing on Windows, which
// leaves the choice to the dialog. The search keeps to `limits`.
std::string DefaultGameFolder(const SearchLimits& limits = {});

} // namespace nationfile
