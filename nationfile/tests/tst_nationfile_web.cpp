// The file library's platform checks for its web build, run by Node on the
// machine's files, through testing/NodeFiles.js.
#include "NationFile.h"
#include "PlatformChecks.h"

#include <doctest/doctest.h>
#include <emscripten.h>
#include <emscripten/heap.h>

namespace platformchecks {

namespace {

// The host's reads, counted on their way to the library.
EM_JS(void, StartCountingReads, (), {
    Module.uncountedRead = Module.nationFiles.read;
    Module.bytesRead = 0;
    Module.nationFiles.read = (file, offset, length) => {
        const bytes = Module.uncountedRead(file, offset, length);
        Module.bytesRead += bytes.length;
        return bytes;
    };
});
EM_JS(void, StopCountingReads, (), { Module.nationFiles.read = Module.uncountedRead; });
EM_JS(double, BytesCounted, (), { return Module.bytesRead; });

// The host's reads answering `more` bytes more than were asked for (fewer
// where negative): a browser's blob that changed under it.
EM_JS(void, MisjudgeReads, (int more), {
    Module.uncountedRead = Module.nationFiles.read;
    Module.nationFiles.read = (file, offset, length) => {
        const bytes = Module.uncountedRead(file, offset, length);
        return more < 0 ? bytes.subarray(0, Math.max(0, bytes.length + more))
                        : Uint8Array.from([...bytes, ...new Array(more).fill(2)]);
    };
});

} // namespace

TEST_CASE("a read the host answers with more or fewer bytes than asked for fails, and a patch writes nothing")
{
    using namespace testfiles;
    const struct {
        const char* row;
        int more;
        const char* reason;
    } rows[] = {
        {"one byte short", -1, "The file became shorter while it was being read"},
        {"nothing", -100000, "The file became shorter while it was being read"},
        {"one byte too many", 1, "The file changed while it was being read"},
    };
    for (const auto& row : rows) {
        INFO(row.row);
        TempDir dir;
        const Bytes original = MakeNationFile(3);
        REQUIRE(WriteFile(dir / "Nation.dat", original));
        const std::string path = Utf8(dir / "Nation.dat");
        const nationfile::ReadResult listed = nationfile::ReadNationFile(path);
        REQUIRE(listed.outcome == nationfile::ReadOutcome::Read);

        MisjudgeReads(row.more);
        const nationfile::ReadResult read = nationfile::ReadNationFile(path);
        const nationfile::WriteResult written = nationfile::WriteMemberships(
            path, 3, [](std::size_t) { return true; }, {}, nationfile::Backup::None, listed.memberBytes,
            listed.identity);
        StopCountingReads();

        CHECK(read.outcome == nationfile::ReadOutcome::FileError);
        CHECK(read.reason == row.reason);
        CHECK(written.outcome != nationfile::WriteOutcome::Written);
        CHECK(ReadFile(dir / "Nation.dat") == original);
    }
}

CountedReads::CountedReads()
{
    StartCountingReads();
}

CountedReads::~CountedReads()
{
    StopCountingReads();
}

std::uint64_t CountedReads::Bytes() const
{
    return static_cast<std::uint64_t>(BytesCounted());
}

// WebAssembly's memory only grows: its size is the most it has held.
long PeakMemoryKiB()
{
    return static_cast<long>(emscripten_get_heap_size() / 1024);
}

} // namespace platformchecks
