#include "NationFile.h"

#include "OsFile.h"
#include "Windows1252.h"

#include <algorithm>
#include <memory>

namespace nationfile {
namespace {

using Bytes = std::unique_ptr<std::uint8_t[]>;

std::span<const std::uint8_t> Record(const std::uint8_t* file, std::size_t index)
{
    return {file + index * NATION_RECORD_SIZE, NATION_RECORD_SIZE};
}

std::string NameOf(std::span<const std::uint8_t> record)
{
    const auto field = record.subspan(NAME_OFFSET, NAME_LENGTH);
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return DecodeWindows1252({field.begin(), end});
}

std::uint8_t MemberByte(bool member)
{
    return member ? MEMBER_YES : MEMBER_NO;
}

// The whole file in one read: the largest file the list can show is under
// 10 MB, and the size is checked before anything is allocated.
OsStatus ReadWhole(const OsFile& file, std::uint64_t length, Bytes& bytes)
{
    bytes = std::make_unique_for_overwrite<std::uint8_t[]>(length);
    return file.ReadAt(0, {bytes.get(), length});
}

ReadResult ReadFailure(ReadOutcome outcome, std::string reason = {})
{
    return {outcome, {}, std::move(reason)};
}

WriteResult WriteFailure(WriteOutcome outcome, std::string reason)
{
    return {outcome, std::move(reason)};
}

} // namespace

bool IsNationFileLength(std::uint64_t length)
{
    return length % NATION_RECORD_SIZE == 0;
}

ReadResult ReadNationFile(const std::string& path)
{
    OsFile file;
    if (OsStatus opened = file.Open(path); !opened)
        return ReadFailure(ReadOutcome::FileError, std::move(opened.reason));
    std::uint64_t length = 0;
    if (OsStatus sized = file.Size(length); !sized)
        return ReadFailure(ReadOutcome::FileError, std::move(sized.reason));
    if (!IsNationFileLength(length))
        return ReadFailure(ReadOutcome::NotNationFile);
    const std::uint64_t count = length / NATION_RECORD_SIZE;
    if (count > MAX_NATION_RECORDS)
        return ReadFailure(ReadOutcome::TooManyRecords);

    Bytes bytes;
    if (OsStatus read = ReadWhole(file, length, bytes); !read)
        return ReadFailure(ReadOutcome::FileError, std::move(read.reason));

    ReadResult result;
    result.entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const auto record = Record(bytes.get(), i);
        result.entries.push_back({NameOf(record), record[MEMBER_OFFSET] == MEMBER_YES});
    }
    // Everything has been read; a failing close can't make it wrong.
    file.Close();
    return result;
}

WriteResult WriteMemberships(const std::string& path, std::size_t expectedRecords,
                             const std::function<bool(std::size_t)>& isMember,
                             std::span<const std::string> expectedNames)
{
    OsFile file;
    if (OsStatus opened = file.Open(path); !opened)
        return WriteFailure(WriteOutcome::FileError, std::move(opened.reason));
    std::uint64_t length = 0;
    if (OsStatus sized = file.Size(length); !sized)
        return WriteFailure(WriteOutcome::FileError, std::move(sized.reason));
    if (!IsNationFileLength(length) || length / NATION_RECORD_SIZE != expectedRecords
        || expectedRecords > MAX_NATION_RECORDS)
        return WriteFailure(WriteOutcome::RecordsChanged,
                            "The file no longer holds the records that were read from it");

    Bytes before;
    if (OsStatus read = ReadWhole(file, length, before); !read)
        return WriteFailure(WriteOutcome::FileError, std::move(read.reason));
    if (!expectedNames.empty()) {
        for (std::size_t i = 0; i < expectedRecords; ++i) {
            if (i >= expectedNames.size() || NameOf(Record(before.get(), i)) != expectedNames[i])
                return WriteFailure(WriteOutcome::RecordsChanged,
                                    "The file no longer holds the nations that were read from it");
        }
    }

    std::vector<std::uint8_t> wanted(expectedRecords);
    std::vector<ByteAt> changes;
    for (std::size_t i = 0; i < expectedRecords; ++i) {
        wanted[i] = MemberByte(isMember(i));
        const std::size_t offset = i * NATION_RECORD_SIZE + MEMBER_OFFSET;
        // A byte that already holds its value is left alone, so pages with no
        // change stay clean and the flush writes only what changed.
        if (before[offset] != wanted[i])
            changes.push_back({offset, wanted[i]});
    }

    if (OsStatus stored = file.StoreBytes(length, changes); !stored)
        return WriteFailure(WriteOutcome::FileError, std::move(stored.reason));
    if (OsStatus synced = file.Sync(); !synced)
        return WriteFailure(WriteOutcome::FileError, std::move(synced.reason));

    std::uint64_t lengthAfter = 0;
    if (OsStatus sized = file.Size(lengthAfter); !sized)
        return WriteFailure(WriteOutcome::FileError, std::move(sized.reason));
    if (lengthAfter != length)
        return WriteFailure(WriteOutcome::FileError, "The file changed length while it was written");
    Bytes after;
    if (OsStatus read = ReadWhole(file, length, after); !read)
        return WriteFailure(WriteOutcome::FileError, std::move(read.reason));
    for (std::size_t i = 0; i < expectedRecords; ++i) {
        if (Record(after.get(), i)[MEMBER_OFFSET] != wanted[i])
            return WriteFailure(WriteOutcome::FileError,
                                "The membership bytes read back differ from those written");
    }
    if (OsStatus closed = file.Close(); !closed)
        return WriteFailure(WriteOutcome::FileError, std::move(closed.reason));
    return {};
}

} // namespace nationfile
