#include "VirtualStore.h"

#include "AsciiCase.h"

#include <algorithm>

namespace nationfile {
namespace {

std::string Backslashed(std::string_view path)
{
    std::string result(path);
    std::replace(result.begin(), result.end(), '/', '\\');
    while (result.size() > 3 && result.back() == '\\')
        result.pop_back();
    return result;
}

// "C:\" or "\\server\share\": the part the VirtualStore folder leaves out.
std::size_t RootLength(std::string_view path)
{
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\')
        return 3;
    if (path.starts_with("\\\\")) {
        const std::size_t share = path.find('\\', 2);
        const std::size_t end = share == std::string_view::npos ? share : path.find('\\', share + 1);
        return end == std::string_view::npos ? path.size() : end + 1;
    }
    return 0;
}

} // namespace

bool LiesUnder(std::string_view path, std::span<const std::string> folders)
{
    const std::string file = Backslashed(path);
    return std::any_of(folders.begin(), folders.end(), [&](const std::string& folder) {
        const std::string root = Backslashed(folder);
        return !root.empty() && file.size() > root.size() + 1 && file[root.size()] == '\\'
            && SameIgnoringCase(std::string_view(file).substr(0, root.size()), root);
    });
}

std::optional<std::string> VirtualStorePath(std::string_view path, std::span<const std::string> protectedFolders,
                                            std::string_view localAppData)
{
    const std::string file = Backslashed(path);
    if (localAppData.empty() || RootLength(file) == 0 || !LiesUnder(file, protectedFolders))
        return std::nullopt;
    return Backslashed(localAppData) + "\\VirtualStore\\" + file.substr(RootLength(file));
}

#ifndef _WIN32
// Only Windows keeps a VirtualStore; its half is in VirtualStoreWin32.cpp.
std::optional<std::string> ExistingVirtualStoreCopy(const std::string&)
{
    return std::nullopt;
}
#endif

} // namespace nationfile
