// The file library's platform checks for its web build, run by Node on the
// machine's files, through testing/NodeFiles.js.
#include "PlatformChecks.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <emscripten/heap.h>

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

// WebAssembly's memory only grows: its size is the most it has held.
long PeakMemoryKiB()
{
    return static_cast<long>(emscripten_get_heap_size() / 1024);
}

} // namespace platformchecks
