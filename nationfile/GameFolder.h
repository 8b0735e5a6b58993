#pragma once

#include <chrono>
#include <cstddef>
#include <string>

// Folders around the nation file, paths as UTF-8 text.
namespace nationfile {

std::string FolderOf(const std::string& path);
bool IsFolder(const std::string& path);

struct SearchLimits {
    int depth = 6;
    std::size_t folders = 20000;
    std::chrono::milliseconds time {150};
};

#ifndef _WIN32
// The first folder named Data, in any letter case, that holds a file named
// Nation.dat, looking from `root` one level at a time, within the limits;
// nothing when none is found in time. Links to folders are not followed.
std::string FindGameDataFolder(const std::string& root, const SearchLimits& limits = {});
#endif

// Where the open-file dialog starts when no file has been loaded yet: on
// Linux, a game's Data folder in the Wine prefix (WINEPREFIX, else ~/.wine),
// else the home folder; on Windows, nothing, which leaves the choice to the
// dialog.
std::string DefaultGameFolder();

} // namespace nationfile
