// Paths that name no ordinary file, as a POSIX system (and Node on one)
// refuses them, for the library's portable tests.
#include "PlatformChecks.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

using namespace testfiles;
namespace fs = std::filesystem;

namespace platformchecks {

std::vector<UnusablePath> UnusablePaths(const TempDir& dir)
{
    fs::create_directory(dir / "folder");
    fs::create_symlink(dir / "gone.dat", dir / "dangling");
    fs::create_symlink(dir / "loop", dir / "loop");
    return {
        {"no such file", Utf8(dir / "missing.dat"), std::strerror(ENOENT)},
        {"in a missing folder", Utf8(dir / "nowhere" / "Nation.dat"), std::strerror(ENOENT)},
        {"a directory", Utf8(dir / "folder"), std::strerror(EISDIR)},
        {"a dangling symlink", Utf8(dir / "dangling"), std::strerror(ENOENT)},
        {"a symlink loop", Utf8(dir / "loop"), std::strerror(ELOOP)},
        {"a device", "/dev/null", "Not a regular file"},
        {"empty path", "", std::strerror(ENOENT)},
    };
}

} // namespace platformchecks
