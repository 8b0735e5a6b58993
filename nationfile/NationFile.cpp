#include "NationFile.h"

#include "OsFile.h"
#include "Windows1252.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace nationfile {
namespace {

std::span<const std::uint8_t> Record(const std::uint8_t* records, std::size_t index)
{
    return {records + index * NATION_RECORD_SIZE, NATION_RECORD_SIZE};
}

std::string NameOf(std::span<const std::uint8_t> record)
{
    const auto field = record.subspan(NAME_OFFSET, NAME_LENGTH);
    const void* zero = std::memchr(field.data(), 0, field.size());
    const std::size_t length
        = zero != nullptr ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - field.data()) : field.size();
    return DecodeWindows1252(field.first(length));
}

// Hands each record to `visit` in file order, read a chunk at a time
// through one small buffer: no allocation grows with the file, and the
// buffer stays in the cache. In a web page each read is a wait for the
// page's promise, which costs far more than the copy: a few large chunks.
template <typename Visit>
OsStatus ForEachRecord(const OsFile& file, std::size_t count, Visit visit)
{
#ifdef __EMSCRIPTEN__
    constexpr std::size_t kRecordsPerChunk = 8192;
#else
    constexpr std::size_t kRecordsPerChunk = 512;
#endif
    std::vector<std::uint8_t> chunk(std::min(count, kRecordsPerChunk) * NATION_RECORD_SIZE);
    for (std::size_t first = 0; first < count; first += kRecordsPerChunk) {
        const std::size_t records = std::min(kRecordsPerChunk, count - first);
        OsStatus read = file.ReadAt(first * NATION_RECORD_SIZE, {chunk.data(), records * NATION_RECORD_SIZE});
        if (!read)
            return read;
        for (std::size_t k = 0; k < records; ++k)
            visit(first + k, Record(chunk.data(), k));
    }
    return OsStatus::Success();
}

OsStatus OpenWithLength(OsFile& file, const std::string& path, std::uint64_t& length, WriteAccess write)
{
    OsStatus opened = file.Open(path, write);
    return opened ? file.Size(length) : opened;
}

ReadResult ReadFailure(ReadOutcome outcome, std::string reason = {})
{
    return {outcome, {}, {}, {}, std::move(reason)};
}

WriteResult WriteFailure(WriteOutcome outcome, std::string reason = {})
{
    return {outcome, std::move(reason), {}};
}

// The file's bytes as they are, under the backup's name, unless a file has
// that name already. Written under a name of its own first and given the
// backup's name only once complete and on stable storage, so that no partial
// backup is ever left under that name, and no existing file is replaced.
OsStatus MakeBackup(const OsFile& file, std::uint64_t length, const std::string& path)
{
    const std::string backup = BackupPathOf(path);
    // Only an ordinary file is a backup: a folder with the backup's name (or
    // a link to one, or to nothing) would leave the patch without one.
    switch (WhatHasName(backup)) {
    case NameHolder::File:
        return OsStatus::Success();
    case NameHolder::Folder:
        return OsStatus::Failure("a folder has that name; move or rename it, then patch again");
    case NameHolder::Other:
        return OsStatus::Failure("something that is not a file has that name; move or rename it, then patch again");
    case NameHolder::Nothing:
        break;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    if (OsStatus read = file.ReadAt(0, bytes); !read)
        return read;

    const std::string partial = backup + ".partial-" + std::to_string(std::random_device{}());
    OsFile copy;
    OsStatus status = copy.CreateNew(partial);
    if (!status)
        return status;
    status = copy.WriteAt(0, bytes);
    if (status)
        status = copy.Sync();
    if (OsStatus closed = copy.Close(); status && !closed)
        status = closed;
    bool taken = false;
    if (status)
        status = NameWithoutReplacing(partial, backup, taken);
    // A backup another editor made meanwhile stands; this one goes.
    if (!status || taken)
        RemoveFile(partial);
    return status;
}

// The membership byte a patch writes for a tick.
std::uint8_t MemberByte(bool member)
{
    return member ? MEMBER_YES : MEMBER_NO;
}

// What a patch is asked to write, and what the file must still hold.
struct Request {
    std::size_t records;
    const std::function<bool(std::size_t)>& isMember;
    std::span<const std::string> names;
    std::span<const std::uint8_t> memberBytes;
};

// The byte each record is to hold, and the bytes that differ from it now.
struct Plan {
    std::vector<std::uint8_t> wanted;
    std::vector<ByteAt> changes;
};

// Reads the file once: it must still hold the nations and the membership
// bytes the caller last read or wrote (where the caller gives them), and
// each record gets the byte its tick asks for.
WriteResult PlanChanges(const OsFile& file, const Request& request, Plan& plan)
{
    const bool checkNames = !request.names.empty();
    const bool checkBytes = !request.memberBytes.empty();
    if ((checkNames && request.names.size() != request.records)
        || (checkBytes && request.memberBytes.size() != request.records))
        return WriteFailure(WriteOutcome::RecordsChanged);
    plan.wanted.resize(request.records);
    bool sameNations = true;
    OsStatus read = ForEachRecord(file, request.records, [&](std::size_t i, std::span<const std::uint8_t> record) {
        if (checkBytes && record[MEMBER_OFFSET] != request.memberBytes[i])
            sameNations = false;
        if (checkNames && sameNations && NameOf(record) != request.names[i])
            sameNations = false;
        plan.wanted[i] = MemberByte(request.isMember(i));
        // A byte that already holds its value is left alone, so pages with
        // no change stay clean and the flush writes only what changed.
        if (record[MEMBER_OFFSET] != plan.wanted[i])
            plan.changes.push_back({i * NATION_RECORD_SIZE + MEMBER_OFFSET, plan.wanted[i]});
    });
    if (!read)
        return WriteFailure(WriteOutcome::FileError, std::move(read.reason));
    if (!sameNations)
        return WriteFailure(WriteOutcome::RecordsChanged);
    return {};
}

// What reached the disk, read again: the same length, and in every record
// the byte that was meant for it.
WriteResult ReadBack(const OsFile& file, std::uint64_t length, const std::vector<std::uint8_t>& wanted)
{
    std::uint64_t lengthAfter = 0;
    if (OsStatus sized = file.Size(lengthAfter); !sized)
        return WriteFailure(WriteOutcome::FileError, std::move(sized.reason));
    if (lengthAfter != length)
        return WriteFailure(WriteOutcome::FileError, "The file changed length while it was written");
    bool same = true;
    OsStatus read = ForEachRecord(file, wanted.size(), [&](std::size_t i, std::span<const std::uint8_t> record) {
        same = same && record[MEMBER_OFFSET] == wanted[i];
    });
    if (!read)
        return WriteFailure(WriteOutcome::FileError, std::move(read.reason));
    if (!same)
        return WriteFailure(WriteOutcome::FileError, "The membership bytes read back differ from those written");
    return {};
}

} // namespace

std::string BackupPathOf(const std::string& path)
{
    return FileBehindLinks(path) + ".bak";
}

bool IsNationFileLength(std::uint64_t length)
{
    return length % NATION_RECORD_SIZE == 0;
}

ReadResult ReadNationFile(const std::string& path)
{
    OsFile file;
    std::uint64_t length = 0;
    if (OsStatus opened = OpenWithLength(file, path, length, WriteAccess::IfAllowed); !opened)
        return ReadFailure(ReadOutcome::FileError, std::move(opened.reason));
    if (!IsNationFileLength(length))
        return ReadFailure(ReadOutcome::NotNationFile);
    const std::uint64_t count = length / NATION_RECORD_SIZE;
    if (count > MAX_NATION_RECORDS)
        return ReadFailure(ReadOutcome::TooManyRecords);

    ReadResult result;
    if (OsStatus identified = file.Identity(result.identity); !identified)
        return ReadFailure(ReadOutcome::FileError, std::move(identified.reason));
    result.entries.reserve(count);
    result.memberBytes.reserve(count);
    OsStatus read = ForEachRecord(file, count, [&](std::size_t, std::span<const std::uint8_t> record) {
        result.entries.push_back({NameOf(record), record[MEMBER_OFFSET] == MEMBER_YES});
        result.memberBytes.push_back(record[MEMBER_OFFSET]);
    });
    if (!read)
        return ReadFailure(ReadOutcome::FileError, std::move(read.reason));
    // Everything has been read; a failing close can't make it wrong.
    file.Close();
    return result;
}

WriteResult WriteMemberships(const std::string& path, std::size_t expectedRecords,
                             const std::function<bool(std::size_t)>& isMember,
                             std::span<const std::string> expectedNames, Backup backup,
                             std::span<const std::uint8_t> expectedMemberBytes,
                             std::optional<FileIdentity> expectedFile)
{
    OsFile file;
    std::uint64_t length = 0;
    if (OsStatus opened = OpenWithLength(file, path, length, WriteAccess::Required); !opened)
        return WriteFailure(WriteOutcome::FileError, std::move(opened.reason));
    if (expectedFile) {
        FileIdentity identity;
        if (OsStatus identified = file.Identity(identity); !identified)
            return WriteFailure(WriteOutcome::FileError, std::move(identified.reason));
        if (identity != *expectedFile)
            return WriteFailure(WriteOutcome::RecordsChanged);
    }
    if (!IsNationFileLength(length) || length / NATION_RECORD_SIZE != expectedRecords
        || expectedRecords > MAX_NATION_RECORDS)
        return WriteFailure(WriteOutcome::RecordsChanged);

    Plan plan;
    if (WriteResult planned = PlanChanges(file, {expectedRecords, isMember, expectedNames, expectedMemberBytes}, plan);
        planned.outcome != WriteOutcome::Written)
        return planned;
    // An empty file holds nothing to lose, and its empty backup would later
    // stand in for the backup of a real file put in its place.
    if (backup == Backup::BeforeFirstPatch && length > 0) {
        if (OsStatus made = MakeBackup(file, length, path); !made)
            return WriteFailure(WriteOutcome::BackupFailed, std::move(made.reason));
    }

    if (OsStatus stored = file.StoreBytes(length, plan.changes); !stored)
        return WriteFailure(WriteOutcome::FileError, std::move(stored.reason));
    if (OsStatus synced = file.Sync(); !synced)
        return WriteFailure(WriteOutcome::FileError, std::move(synced.reason));
    if (WriteResult checked = ReadBack(file, length, plan.wanted); checked.outcome != WriteOutcome::Written)
        return checked;
    if (OsStatus closed = file.Close(); !closed)
        return WriteFailure(WriteOutcome::FileError, std::move(closed.reason));
    return {WriteOutcome::Written, {}, std::move(plan.wanted)};
}

} // namespace nationfile
