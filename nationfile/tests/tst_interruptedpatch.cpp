// Stops a process in the middle of patching the largest nation file, again
// and again, each time at a store chosen beforehand: wherever it stops, the
// file keeps its length and every other byte, and each membership byte is
// either what it was before that patch or what that patch writes.
#include "NationFile.h"
#include "TestFiles.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace nationfile;
using namespace testfiles;

namespace {

// How a patching child ended: what it said, and the signal it died of.
struct Ending {
    std::string said;
    int signal = 0;
};

// Runs patch_child (see there) to the stop `stop`: "first", a file offset or
// "flush".
Ending PatchUntil(const std::string& path, unsigned seed, const std::string& stop)
{
    Ending ending;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return ending;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    const std::string records = std::to_string(MAX_NATION_RECORDS);
    const std::string seedText = std::to_string(seed);
    char* const argv[] = {const_cast<char*>(PATCH_CHILD), const_cast<char*>(path.c_str()),
                          const_cast<char*>(records.c_str()), const_cast<char*>(seedText.c_str()),
                          const_cast<char*>(stop.c_str()), nullptr};
    pid_t pid = -1;
    const bool spawned = posix_spawn(&pid, PATCH_CHILD, &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    char buffer[64];
    ssize_t got = 0;
    while (spawned && (got = read(fds[0], buffer, sizeof buffer)) != 0) {
        if (got > 0)
            ending.said.append(buffer, static_cast<std::size_t>(got));
        else if (errno != EINTR)
            break;
    }
    close(fds[0]);
    int status = 0;
    if (spawned && waitpid(pid, &status, 0) == pid && WIFSIGNALED(status))
        ending.signal = WTERMSIG(status);
    return ending;
}

bool Wanted(std::size_t record, unsigned seed)
{
    return ((record * 2654435761u) ^ seed) % 3 == 0;
}

enum class Stop { FirstStore, MidWay, LastPage, Flush };

const char* Describe(Stop stop)
{
    switch (stop) {
    case Stop::FirstStore: return "at its first store";
    case Stop::MidWay: return "at the first store into a page mid-way";
    case Stop::LastPage: return "at the first store into the last page it changes";
    case Stop::Flush: return "after its last store, at the flush";
    }
    return "";
}

} // namespace

TEST_CASE("a patch stopped at any store leaves each membership byte old or new, and no other byte changed")
{
    TempDir dir;
    const std::string path = Utf8(dir / "Nation.dat");
    const Bytes original = MakeNationFile(MAX_NATION_RECORDS, 3);
    REQUIRE(WriteFile(path, original));
    const std::uint64_t pageSize = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));

    const char* runsWanted = std::getenv("INTERRUPTED_PATCH_RUNS");
    const int runs = runsWanted != nullptr && std::atoi(runsWanted) > 0 ? std::atoi(runsWanted) : 100;
    // Each run goes on from the bytes the last one left, so that a patch
    // also starts from a half-written file.
    std::mt19937 random(20261207);
    Bytes before = ReadFile(path);
    unsigned seed = 0;
    for (int run = 0; run < runs; ++run) {
        ++seed;
        const Stop stop = run % 8 == 0 ? Stop::FirstStore
            : run % 8 == 1             ? Stop::Flush
            : run % 8 == 2             ? Stop::LastPage
                                       : Stop::MidWay;
        CAPTURE(run);
        INFO("the patch stopped " << std::string(Describe(stop)));

        // The bytes the patch changes, and the pages of the file that hold
        // them: a page other than the first that holds one has bytes to
        // change before it and after it.
        std::vector<std::uint64_t> stores;
        std::vector<std::uint64_t> pages;
        for (std::size_t i = 0; i < MAX_NATION_RECORDS; ++i) {
            const std::uint64_t at = i * NATION_RECORD_SIZE + MEMBER_OFFSET;
            if (static_cast<std::uint8_t>(before[at]) == (Wanted(i, seed) ? MEMBER_YES : MEMBER_NO))
                continue;
            stores.push_back(at);
            if (pages.empty() || at / pageSize != pages.back())
                pages.push_back(at / pageSize);
        }
        REQUIRE(pages.size() >= 3);
        const std::uint64_t page = stop == Stop::LastPage ? pages.back()
            : pages[std::uniform_int_distribution<std::size_t>(1, pages.size() - 2)(random)];
        const std::string where = stop == Stop::FirstStore ? "first"
            : stop == Stop::Flush                          ? "flush"
                                                           : std::to_string(page * pageSize);

        const Ending ending = PatchUntil(path, seed, where);
        CHECK_MESSAGE(ending.signal == SIGKILL, "the child was not stopped: it ended by signal " << ending.signal);
        if (stop == Stop::Flush) {
            CHECK(ending.said == "flush\n");
        } else {
            // It stopped at one of its stores, in the page chosen.
            const std::uint64_t stoppedAt = std::strtoull(ending.said.c_str(), nullptr, 10);
            CHECK_MESSAGE(std::find(stores.begin(), stores.end(), stoppedAt) != stores.end(),
                          "stopped at " << ending.said);
            if (stop != Stop::FirstStore)
                CHECK(stoppedAt / pageSize == page);
        }

        const Bytes after = ReadFile(path);
        REQUIRE(after.size() == original.size());
        std::size_t changed = 0;
        std::size_t pending = 0;
        std::size_t changedInPage = 0;
        // Every other byte as it was: the file with its membership bytes put
        // back is the original.
        Bytes others = after;
        for (std::size_t i = 0; i < MAX_NATION_RECORDS; ++i)
            others[i * NATION_RECORD_SIZE + MEMBER_OFFSET] = original[i * NATION_RECORD_SIZE + MEMBER_OFFSET];
        if (others != original)
            FAIL("byte " << std::mismatch(others.begin(), others.end(), original.begin()).first - others.begin()
                         << " changed");
        for (std::size_t i = 0; i < MAX_NATION_RECORDS; ++i) {
            const std::size_t at = i * NATION_RECORD_SIZE + MEMBER_OFFSET;
            const char wanted = static_cast<char>(Wanted(i, seed) ? MEMBER_YES : MEMBER_NO);
            if (after[at] != before[at] && after[at] != wanted)
                FAIL("membership byte of record " << i << " is neither old nor new");
            if (before[at] != wanted && after[at] == wanted) {
                ++changed;
                changedInPage += at / pageSize == page ? 1 : 0;
            } else if (before[at] != wanted) {
                ++pending;
            }
        }
        switch (stop) {
        case Stop::FirstStore:
            CHECK(changed == 0);
            break;
        case Stop::Flush:
            CHECK(pending == 0);
            break;
        case Stop::MidWay:
        case Stop::LastPage:
            CHECK_MESSAGE(changedInPage == 0, changedInPage << " bytes of the page stopped at are new");
            CHECK_MESSAGE((changed > 0 && pending > 0), "not mid-way: " << changed << " bytes new, " << pending
                                                                       << " old");
            break;
        }
        before = after;
    }
}
