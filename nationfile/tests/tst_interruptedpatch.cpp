// Kills a process in the middle of patching the largest nation file, again
// and again: whatever moment the kill lands on, the file keeps its length
// and every other byte, and each membership byte is either what it was
// before that patch or what that patch writes.
#include "NationFile.h"
#include "TestFiles.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace nationfile;
using namespace testfiles;
using Clock = std::chrono::steady_clock;

namespace {

// A patching child whose standard output tells when its stores begin ('S')
// and end ('E').
class PatchChild {
public:
    PatchChild(const std::string& path, unsigned seed)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        const std::string records = std::to_string(MAX_NATION_RECORDS);
        const std::string seedText = std::to_string(seed);
        char* const argv[] = {const_cast<char*>(PATCH_CHILD), const_cast<char*>(path.c_str()),
                              const_cast<char*>(records.c_str()), const_cast<char*>(seedText.c_str()), nullptr};
        if (posix_spawn(&pid_, PATCH_CHILD, &actions, nullptr, argv, environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
    }
    ~PatchChild()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
        if (out_ != -1)
            close(out_);
    }
    PatchChild(const PatchChild&) = delete;
    PatchChild& operator=(const PatchChild&) = delete;

    bool Started() const { return pid_ > 0 && out_ != -1; }

    // The next signal from the child, or 0 once it has closed its output.
    char Next()
    {
        pollfd ready {out_, POLLIN, 0};
        char what = 0;
        if (poll(&ready, 1, 10'000) == 1 && read(out_, &what, 1) == 1)
            return what;
        return 0;
    }

    void Kill() { kill(pid_, SIGKILL); }

    // Answers whether the child ran to its end and succeeded.
    bool Wait()
    {
        int status = 0;
        const pid_t waited = waitpid(pid_, &status, 0);
        pid_ = -1;
        return waited > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

bool Wanted(std::size_t record, unsigned seed)
{
    return ((record * 2654435761u) ^ seed) % 3 == 0;
}

} // namespace

TEST_CASE("a patch killed at any moment leaves each membership byte old or new, and no other byte changed")
{
    TempDir dir;
    const std::string path = Utf8(dir / "Nation.dat");
    const Bytes original = MakeNationFile(MAX_NATION_RECORDS, 3);
    REQUIRE(WriteFile(path, original));

    // How long the stores take here, timed from the child's own signals: the
    // aimed kills fall inside that span.
    std::vector<Clock::duration> storeTimes;
    unsigned seed = 0;
    for (int run = 0; run < 7; ++run) {
        PatchChild child(path, ++seed);
        REQUIRE(child.Started());
        REQUIRE(child.Next() == 'S');
        const auto begun = Clock::now();
        REQUIRE(child.Next() == 'E');
        storeTimes.push_back(Clock::now() - begun);
        REQUIRE(child.Wait());
    }
    std::nth_element(storeTimes.begin(), storeTimes.begin() + 3, storeTimes.end());
    const auto storeMicros = std::max<long long>(
        1, std::chrono::duration_cast<std::chrono::microseconds>(storeTimes[3]).count());

    const char* runsWanted = std::getenv("INTERRUPTED_PATCH_RUNS");
    const int runs = runsWanted != nullptr && std::atoi(runsWanted) > 0 ? std::atoi(runsWanted) : 200;
    std::mt19937 random(20261207);
    const auto upTo = [&random](long long limit) {
        return std::chrono::microseconds(std::uniform_int_distribution<long long>(0, limit - 1)(random));
    };
    Bytes before = ReadFile(path);
    int aimed = 0;
    int killedMidWrite = 0;
    int finished = 0;
    for (int run = 0; run < runs; ++run) {
        ++seed;
        PatchChild child(path, seed);
        REQUIRE(child.Started());
        // One kill in four lands at any moment from the child's start to a
        // little past the end of its patch; the others aim at the stores.
        if (run % 4 == 0) {
            std::this_thread::sleep_for(upTo(12000));
        } else {
            ++aimed;
            REQUIRE(child.Next() == 'S');
            std::this_thread::sleep_for(upTo(storeMicros));
        }
        child.Kill();
        if (child.Wait())
            ++finished;

        const Bytes after = ReadFile(path);
        REQUIRE(after.size() == original.size());
        int changed = 0;
        int pending = 0;
        for (std::size_t at = 0; at < after.size(); ++at) {
            if (!IsMemberOffset(at)) {
                if (after[at] != original[at])
                    FAIL("run " << run << ": byte " << at << " changed");
                continue;
            }
            const std::size_t i = at / NATION_RECORD_SIZE;
            const char wanted = static_cast<char>(Wanted(i, seed) ? MEMBER_YES : MEMBER_NO);
            if (after[at] != before[at] && after[at] != wanted)
                FAIL("run " << run << ": membership byte of record " << i << " is neither old nor new");
            if (before[at] != wanted)
                ++(after[at] == wanted ? changed : pending);
        }
        if (changed > 0 && pending > 0)
            ++killedMidWrite;
        before = after;
    }
    MESSAGE(runs << " runs, stores taking " << storeMicros << " us: " << finished << " finished before the kill, "
                  << killedMidWrite << " killed part way through the stores");
    // The test is about kills inside the stores: it fails when too few land
    // there to show anything.
    CHECK_MESSAGE(killedMidWrite >= aimed / 3,
                  "only " << killedMidWrite << " of " << aimed << " aimed kills landed inside the stores");
}
