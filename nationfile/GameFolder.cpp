#include "GameFolder.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace nationfile {
namespace {

fs::path FromUtf8(const std::string& text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool SameIgnoringCase(const std::string& name, const char* wanted)
{
    return std::equal(name.begin(), name.end(), wanted, wanted + std::char_traits<char>::length(wanted),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

} // namespace

std::string FindGameDataFolder(const std::string& root, const SearchLimits& limits)
{
    const auto deadline = std::chrono::steady_clock::now() + limits.time;
    std::deque<std::pair<fs::path, int>> folders = {{FromUtf8(root), 0}};
    std::size_t looked = 0;
    while (!folders.empty() && looked++ < limits.folders && std::chrono::steady_clock::now() < deadline) {
        const auto [folder, depth] = folders.front();
        folders.pop_front();
        const bool isData = SameIgnoringCase(Utf8(folder.filename()), "data");
        std::error_code error;
        for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error), end;
             !error && it != end; it.increment(error)) {
            const fs::file_status status = it->symlink_status(error);
            if (error)
                break;
            const std::string name = Utf8(it->path().filename());
            if (isData && fs::is_regular_file(status) && SameIgnoringCase(name, "nation.dat"))
                return Utf8(folder);
            // Windows' own folder is large and holds no game.
            if (fs::is_directory(status) && depth < limits.depth && !(depth == 0 && SameIgnoringCase(name, "windows")))
                folders.emplace_back(it->path(), depth + 1);
        }
    }
    return {};
}

} // namespace nationfile
