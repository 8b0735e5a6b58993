// The file library's cases that only POSIX systems have: symlinks, FIFOs,
// devices, read-only mounts.
#include "GameFolder.h"
#include "NationFile.h"
#include "PlatformChecks.h"
#include "PosixCalls.h"
#include "Skip.h"
#include "TestFiles.h"

#include <doctest/doctest.h>

#include <chrono>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace nationfile;
using namespace testfiles;
namespace fs = std::filesystem;

// All the time a search of the test's own folders needs, however busy the
// machine: what it finds or misses is then the search's doing, not the
// clock's.
const SearchLimits kUnhurried {.time = std::chrono::minutes(1)};

namespace platformchecks {

long PeakMemoryKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

namespace {
std::uint64_t bytesRead = 0;
}

CountedReads::CountedReads()
{
    bytesRead = 0;
    ActiveCalls().pread = [](int fd, void* buffer, std::size_t count, off_t offset) {
        const ssize_t got = SystemCalls().pread(fd, buffer, count, offset);
        bytesRead += got > 0 ? static_cast<std::uint64_t>(got) : 0;
        return got;
    };
}

CountedReads::~CountedReads()
{
    ActiveCalls().pread = SystemCalls().pread;
}

std::uint64_t CountedReads::Bytes() const
{
    return bytesRead;
}

} // namespace platformchecks

TEST_CASE("a FIFO is refused without hanging")
{
    TempDir dir;
    REQUIRE(mkfifo((dir / "Nation.dat").c_str(), 0600) == 0);
    const auto start = std::chrono::steady_clock::now();
    const ReadResult read = ReadNationFile(Utf8(dir / "Nation.dat"));
    const WriteResult written = WriteMemberships(Utf8(dir / "Nation.dat"), 0, [](std::size_t) { return true; });
    CHECK(std::chrono::steady_clock::now() - start < std::chrono::seconds(1));
    CHECK(read.outcome == ReadOutcome::FileError);
    CHECK(read.reason == "Not a regular file");
    CHECK(written.outcome == WriteOutcome::FileError);
}

TEST_CASE("a link to a nation file: the patch reaches the file the link leads to, and its backup goes beside that "
          "file; a link pointed elsewhere since the read is refused")
{
    struct Row {
        std::string row;
        std::string link;     // the path the editor is given
        std::string target;   // what it leads to, as the link holds it ("" no link)
        std::string behind;   // the file the bytes are in
        bool retarget = false; // the link points to another copy between the read and the patch
    };
    const Row rows[] = {
        {"a link beside its file", "Nation.dat", "real.dat", "real.dat"},
        {"a link to a file in another folder", "Nation.dat", "@elsewhere/Nation.dat", "elsewhere/Nation.dat"},
        {"a link to a link", "Nation.dat", "second link", "elsewhere/Nation.dat"},
        {"a link among the folders on the way", "through/Nation.dat", "", "elsewhere/Nation.dat"},
        {"a folder named in Latin-1, no link", "caf\xE9/Nation.dat", "", "caf\xE9/Nation.dat"},
        {"a link pointed elsewhere since the read", "Nation.dat", "real.dat", "real.dat", true},
    };
    for (const Row& row : rows) {
        INFO(row.row);
        TempDir dir;
        const Bytes original = MakeNationFile(3);
        fs::create_directories(dir / "elsewhere");
        fs::create_directories(dir / "caf\xE9");
        REQUIRE(WriteFile(dir / row.behind, original));
        REQUIRE(WriteFile(dir / "copy.dat", original));
        fs::create_symlink(dir / "elsewhere", dir / "through");
        fs::create_symlink("elsewhere/Nation.dat", dir / "second link");
        if (!row.target.empty())
            fs::create_symlink(row.target.starts_with('@') ? Utf8(dir / row.target.substr(1)) : row.target,
                               dir / row.link);
        const std::string path = Utf8(dir / row.link);
        const ReadResult read = ReadNationFile(path);
        REQUIRE(read.outcome == ReadOutcome::Read);
        // Links among the folders are left in the path: the file is in the
        // same folder either way.
        CHECK(BackupPathOf(path) == Utf8(dir / (row.target.empty() ? row.link : row.behind)) + ".bak");
        if (row.retarget) {
            fs::remove(dir / row.link);
            fs::create_symlink("copy.dat", dir / row.link);
        }
        const WriteResult written = WriteMemberships(path, 3, [](std::size_t) { return true; },
                                                     NamesOf(read.entries), Backup::BeforeFirstPatch,
                                                     read.memberBytes, read.identity);
        if (row.retarget) {
            CHECK(written.outcome == WriteOutcome::RecordsChanged);
            CHECK(ReadFile(dir / "copy.dat") == original);
            CHECK(ReadFile(dir / row.behind) == original);
            CHECK(!fs::exists(dir / "copy.dat.bak"));
            CHECK(!fs::exists(dir / (row.behind + ".bak")));
            continue;
        }
        CHECK(written.outcome == WriteOutcome::Written);
        CHECK(MemberOf(ReadFile(dir / row.behind), 0) == MEMBER_YES);
        // Renamed to the file's name, the backup is the database as it was.
        CHECK(ReadFile(dir / (row.behind + ".bak")) == original);
        if (!row.target.empty()) {
            CHECK(!fs::exists(dir / (row.link + ".bak")));
            CHECK(fs::is_symlink(dir / row.link));
        }
    }
}

TEST_CASE("a file on a read-only file system is listed, and its patch refused with the system's reason"
          * doctest::test_suite("skippable"))
{
    TempDir dir;
    const fs::path source = dir / "source";
    const fs::path mounted = dir / "mounted";
    fs::create_directories(source);
    fs::create_directories(mounted);
    const Bytes original = MakeNationFile(2);
    REQUIRE(WriteFile(source / "Nation.dat", original));
    if (mount(source.c_str(), mounted.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        testing::Skip(std::string("a bind mount is not allowed here: ") + std::strerror(errno));
        return;
    }
    const bool readOnly = mount(nullptr, mounted.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    const std::string file = Utf8(mounted / "Nation.dat");
    const ReadResult read = ReadNationFile(file);
    const WriteResult written = WriteMemberships(file, 2, [](std::size_t) { return true; });
    umount(mounted.c_str());
    if (!readOnly) {
        testing::Skip("a read-only remount is not allowed here");
        return;
    }
    CHECK(read.outcome == ReadOutcome::Read);
    CHECK(read.entries == ReadNationFile(Utf8(source / "Nation.dat")).entries);
    CHECK(written.outcome == WriteOutcome::FileError);
    CHECK(written.reason == std::strerror(EROFS));
    CHECK(ReadFile(source / "Nation.dat") == original);
}

TEST_CASE("a file without permission to write it is listed, and its patch refused as read-only, root's too")
{
    // Root may write any file whatever its mode; the mark is the player's
    // all the same.
    struct Row {
        std::string row;
        fs::perms mode;
        bool readOnly;
    };
    using fs::perms;
    const Row rows[] = {
        {"r--r--r--", perms::owner_read | perms::group_read | perms::others_read, true},
        {"r--------", perms::owner_read, true},
        {"r-xr-xr-x", perms::owner_read | perms::owner_exec | perms::group_read | perms::group_exec
                          | perms::others_read | perms::others_exec,
         true},
        {"rw-r--r--", perms::owner_read | perms::owner_write | perms::group_read | perms::others_read, false},
    };
    for (const Row& row : rows) {
        INFO(row.row);
        TempDir dir;
        const fs::path nation = dir / "Nation.dat";
        const Bytes original = MakeNationFile(2);
        REQUIRE(WriteFile(nation, original));
        fs::permissions(nation, row.mode);
        const ReadResult read = ReadNationFile(Utf8(nation));
        CHECK(read.outcome == ReadOutcome::Read);
        CHECK(read.entries.size() == 2);
        const WriteResult written
            = WriteMemberships(Utf8(nation), 2, [](std::size_t) { return true; }, {}, Backup::BeforeFirstPatch);
        if (!row.readOnly) {
            CHECK(written.outcome == WriteOutcome::Written);
            continue;
        }
        CHECK(written.outcome == WriteOutcome::FileError);
        CHECK(written.reason == "The file is read-only; give yourself permission to write it in your file manager "
                                "(or with chmod u+w), then try again");
        CHECK(ReadFile(nation) == original);
        CHECK(!fs::exists(dir / "Nation.dat.bak"));
    }
}

TEST_CASE("a game's Data folder is found in a Wine prefix, within bounds, without following links")
{
    TempDir dir;
    const fs::path driveC = dir / "drive_c";
    const fs::path game = driveC / "Program Files (x86)" / "Eidos" / "CM 99-00" / "DATA";
    fs::create_directories(game);
    fs::create_directories(driveC / "windows" / "system32" / "Data");
    REQUIRE(WriteFile(driveC / "windows" / "system32" / "Data" / "Nation.dat", {}));
    fs::create_symlink(dir.Path(), driveC / "link to everything");
    const std::vector<std::string> roots = {Utf8(driveC)};
    CHECK(FindGameDataFolder(roots, kUnhurried).empty());

    REQUIRE(WriteFile(game / "NATION.DAT", MakeNationFile(1)));
    CHECK(FindGameDataFolder(roots, kUnhurried) == Utf8(game));
    CHECK(FindGameDataFolder(roots, {.depth = 3, .time = kUnhurried.time}).empty());
    CHECK(FindGameDataFolder(roots, {.time = std::chrono::milliseconds(0)}).empty());
    CHECK(FindGameDataFolder(std::vector<std::string> {Utf8(dir / "nowhere")}, kUnhurried).empty());
    CHECK(FolderOf(Utf8(game / "NATION.DAT")) == Utf8(game));
    CHECK(FolderOf("/Nation.dat") == "/");
}

TEST_CASE("the first dialog finds a game in each Wine manager's prefixes, the one changed last of several")
{
    struct Row {
        std::string row;
        std::vector<std::string> prefixes; // under the home folder, the last changed last
    };
    const Row rows[] = {
        {"~/.wine", {".wine"}},
        {"PlayOnLinux", {".PlayOnLinux/wineprefix/CM 99-00"}},
        {"Lutris", {"Games/championship-manager-99-00"}},
        {"Bottles", {".local/share/bottles/bottles/Championship Manager"}},
        {"Steam's Proton", {".local/share/Steam/steamapps/compatdata/2112/pfx"}},
        {"CrossOver", {".cxoffice/CM9900"}},
        {"several: the PlayOnLinux game changed last",
         {".wine", ".cxoffice/CM9900", ".PlayOnLinux/wineprefix/CM 99-00"}},
        {"several: the game in ~/.wine changed last", {".PlayOnLinux/wineprefix/CM 99-00", ".wine"}},
        {"none", {}},
    };
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    const char* winePrefix = std::getenv("WINEPREFIX");
    const std::string savedPrefix = winePrefix != nullptr ? winePrefix : "";
    unsetenv("WINEPREFIX");
    for (const Row& row : rows) {
        INFO(row.row);
        TempDir dir;
        std::string expected = Utf8(dir.Path());
        auto changed = fs::file_time_type::clock::now() - std::chrono::hours(24);
        for (const std::string& prefix : row.prefixes) {
            const fs::path data = dir / (prefix + "/drive_c/Program Files/Eidos/CM 99-00/Data");
            fs::create_directories(data);
            REQUIRE(WriteFile(data / "Nation.dat", MakeNationFile(2)));
            fs::last_write_time(data / "Nation.dat", changed += std::chrono::hours(1));
            expected = Utf8(data);
        }
        setenv("HOME", Utf8(dir.Path()).c_str(), 1);
        CHECK(DefaultGameFolder(kUnhurried) == expected);
    }
    setenv("HOME", home.c_str(), 1);
    if (!savedPrefix.empty())
        setenv("WINEPREFIX", savedPrefix.c_str(), 1);
}
