// Any bytes as a nation file, read, written with memberships taken from the
// input, and read again: the write changes nothing but membership bytes, and
// the second read shows the same names with the memberships written.
#include "FuzzChecks.h"
#include "NationFile.h"

#include <vector>

using namespace nationfile;
using fuzzing::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzzing::MemoryFile file;
    file.Fill({data, size});
    const std::string input(reinterpret_cast<const char*>(data), size);

    const ReadResult first = ReadNationFile(file.Path());
    // Any record count may be claimed for a ragged file; all must be refused.
    const std::size_t claimed = first.outcome == ReadOutcome::Read ? first.entries.size() : size / NATION_RECORD_SIZE;
    std::vector<std::string> names;
    for (const NationEntry& entry : first.entries)
        names.push_back(entry.name);
    const auto isMember = [&](std::size_t i) {
        // A byte the write never touches decides, so the answer is stable.
        return (data[i * NATION_RECORD_SIZE + 200] & 1) != 0;
    };

    const WriteResult written = WriteMemberships(file.Path(), claimed, isMember, names);
    const std::string after = file.Contents();
    Require(after.size() == input.size(), "the length never changes");

    if (first.outcome != ReadOutcome::Read) {
        Require(written.outcome == WriteOutcome::RecordsChanged, "a refused file is not written");
        Require(after == input, "a refused file is untouched");
        return 0;
    }
    Require(written.outcome == WriteOutcome::Written, "a file just read is written");
    for (std::size_t at = 0; at < after.size(); ++at) {
        if (at % NATION_RECORD_SIZE != MEMBER_OFFSET) {
            Require(after[at] == input[at], "only membership bytes change");
            continue;
        }
        const auto wanted = isMember(at / NATION_RECORD_SIZE) ? MEMBER_YES : MEMBER_NO;
        Require(static_cast<std::uint8_t>(after[at]) == wanted, "the membership byte written");
    }

    const ReadResult second = ReadNationFile(file.Path());
    Require(second.outcome == ReadOutcome::Read && second.entries.size() == first.entries.size(), "read again");
    for (std::size_t i = 0; i < second.entries.size(); ++i) {
        Require(second.entries[i].name == first.entries[i].name, "names survive the write");
        Require(second.entries[i].member == isMember(i), "memberships read back");
    }

    // Wrong expectations are refused and write nothing.
    file.Fill({data, size});
    const WriteResult wrongCount = WriteMemberships(file.Path(), claimed + 1, isMember);
    Require(wrongCount.outcome == WriteOutcome::RecordsChanged, "a wrong count is refused");
    Require(file.Contents() == input, "a refused write changes nothing");
    return 0;
}
