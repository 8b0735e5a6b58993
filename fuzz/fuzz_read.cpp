// Any bytes as a nation file: the reader refuses or lists, never crashes,
// and every name is valid UTF-8 of one character per byte before the first
// zero, at most 51 of them.
#include "FuzzChecks.h"
#include "NationFile.h"

#include <algorithm>

using namespace nationfile;
using fuzzing::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzzing::MemoryFile file;
    file.Fill({data, size});

    const ReadResult result = ReadNationFile(file.Path());
    if (size % NATION_RECORD_SIZE != 0) {
        Require(result.outcome == ReadOutcome::NotNationFile, "a ragged length is refused");
        Require(result.entries.empty(), "a refusal lists nothing");
        return 0;
    }
    Require(result.outcome == ReadOutcome::Read, "a whole number of records is read");
    Require(result.entries.size() == size / NATION_RECORD_SIZE, "one entry per record");
    for (std::size_t i = 0; i < result.entries.size(); ++i) {
        const std::uint8_t* record = data + i * NATION_RECORD_SIZE;
        const std::uint8_t* name = record + NAME_OFFSET;
        const auto nameBytes = std::find(name, name + NAME_LENGTH, 0) - name;
        const long characters = fuzzing::CodePoints(result.entries[i].name);
        Require(characters >= 0, "the name is valid UTF-8");
        Require(characters == nameBytes, "one character per name byte");
        Require(characters <= static_cast<long>(NAME_LENGTH), "at most 51 characters");
        Require(result.entries[i].member == (record[MEMBER_OFFSET] == MEMBER_YES), "membership");
    }
    return 0;
}
