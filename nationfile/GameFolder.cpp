#include "GameFolder.h"

#include "AsciiCase.h"

#include <algorithm>
#include <deque>

namespace nationfile {
namespace {

std::string Join(const std::string& folder, const std::string& name)
{
#ifdef _WIN32
    const char separator = '\\';
#else
    const char separator = '/';
#endif
    return folder.empty() || folder.back() == separator || folder.back() == '/' ? folder + name
                                                                                 : folder + separator + name;
}

// The folders in `folder`, as full paths.
std::vector<std::string> FoldersIn(const std::string& folder, const ListFolder& list)
{
    std::vector<FolderEntry> entries;
    std::vector<std::string> folders;
    if (!list(folder, entries))
        return folders;
    for (const FolderEntry& entry : entries) {
        if (entry.kind == FolderEntry::Kind::Folder)
            folders.push_back(Join(folder, entry.name));
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

} // namespace

namespace {

std::size_t LastSeparator(const std::string& path)
{
#ifdef _WIN32
    return path.find_last_of("\\/");
#else
    return path.find_last_of('/');
#endif
}

} // namespace

std::string FolderOf(const std::string& path)
{
    const std::size_t separator = LastSeparator(path);
    if (separator == std::string::npos)
        return {};
    // The root keeps its separator: "/", "C:\".
    const bool root = separator == 0 || (separator == 2 && path[1] == ':');
    return path.substr(0, root ? separator + 1 : separator);
}

std::string FileNameOf(const std::string& path)
{
    const std::size_t separator = LastSeparator(path);
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string FindGameDataFolder(std::span<const std::string> roots, const SearchLimits& limits, const ListFolder& list)
{
    const auto deadline = std::chrono::steady_clock::now() + limits.time;
    std::deque<std::pair<std::string, int>> folders;
    for (const std::string& root : roots)
        folders.emplace_back(root, 0);
    std::string newest;
    std::int64_t newestChange = 0;
    std::vector<FolderEntry> entries;
    std::size_t looked = 0;
    while (!folders.empty() && looked++ < limits.folders && std::chrono::steady_clock::now() < deadline) {
        const auto [folder, depth] = folders.front();
        folders.pop_front();
        if (!list(folder, entries))
            continue;
        const std::size_t slash = folder.find_last_of("\\/", folder.size() - 1);
        const bool isData = SameIgnoringCase(slash == std::string::npos ? folder : folder.substr(slash + 1), "data");
        for (const FolderEntry& entry : entries) {
            if (isData && entry.kind == FolderEntry::Kind::File && SameIgnoringCase(entry.name, "nation.dat")
                && (newest.empty() || entry.modified > newestChange)) {
                newest = folder;
                newestChange = entry.modified;
            }
            // Windows' own folder is large and holds no game.
            if (entry.kind == FolderEntry::Kind::Folder && depth < limits.depth
                && !(depth == 0 && SameIgnoringCase(entry.name, "windows")))
                folders.emplace_back(Join(folder, entry.name), depth + 1);
        }
    }
    return newest;
}

std::vector<std::string> WinePrefixes(const std::string& home, const std::string& winePrefix, const ListFolder& list)
{
    std::vector<std::string> prefixes;
    if (!winePrefix.empty())
        prefixes.push_back(winePrefix);
    if (home.empty())
        return prefixes;
    prefixes.push_back(Join(home, ".wine"));
    // Each of these folders holds one prefix per game or bottle.
    for (const char* managed : {".PlayOnLinux/wineprefix", "Games", ".local/share/bottles/bottles", ".cxoffice"}) {
        for (std::string& prefix : FoldersIn(Join(home, managed), list))
            prefixes.push_back(std::move(prefix));
    }
    // Proton keeps a prefix per Steam game, in pfx.
    for (const char* steam : {".steam/steam", ".local/share/Steam",
                              ".var/app/com.valvesoftware.Steam/.local/share/Steam"}) {
        for (const std::string& game : FoldersIn(Join(home, std::string(steam) + "/steamapps/compatdata"), list))
            prefixes.push_back(Join(game, "pfx"));
    }
    std::vector<std::string> unique;
    for (std::string& prefix : prefixes) {
        if (std::find(unique.begin(), unique.end(), prefix) == unique.end())
            unique.push_back(std::move(prefix));
    }
    return unique;
}

} // namespace nationfile
