#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace nationfile {

// Championship Manager 99/00's Nation.dat: a plain sequence of fixed-size
// records, no header, no trailer.
inline constexpr std::size_t NATION_RECORD_SIZE = 290;
inline constexpr std::size_t NAME_OFFSET = 4;
inline constexpr std::size_t NAME_LENGTH = 51;
inline constexpr std::size_t MEMBER_OFFSET = 127;
inline constexpr std::uint8_t MEMBER_YES = 2;
inline constexpr std::uint8_t MEMBER_NO = 1;
// The nation list can hold no more entries than this.
inline constexpr std::size_t MAX_NATION_RECORDS = 32767;

struct NationEntry {
    std::string name; // UTF-8, at most NAME_LENGTH characters
    bool member = false;

    friend bool operator==(const NationEntry&, const NationEntry&) = default;
};

bool IsNationFileLength(std::uint64_t length);

// Which file a path led to when it was opened: where the path is a link
// that has since been pointed elsewhere, it leads to another file.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

enum class ReadOutcome {
    Read,
    NotNationFile,  // the length is not a whole number of records
    TooManyRecords, // more records than the nation list can hold
    FileError,      // the file could not be opened or read; see `reason`
};

struct ReadResult {
    ReadOutcome outcome = ReadOutcome::Read;
    std::vector<NationEntry> entries;
    // The membership byte of each record as read, for a patch to check that
    // nothing else has changed it since.
    std::vector<std::uint8_t> memberBytes;
    // The file that was read, for a patch to check that the path still leads
    // to it.
    FileIdentity identity;
    std::string reason;
};

// Opens the file for reading and writing, as the game's file is opened, or
// for reading alone where writing it is not allowed (a read-only file,
// folder or medium), so that such a file can still be listed.
ReadResult ReadNationFile(const std::string& path);

enum class WriteOutcome {
    Written,        // every membership byte is on stable storage
    RecordsChanged, // the file no longer holds the records the caller read
    FileError,      // opening, writing, flushing or the check failed; see `reason`
    BackupFailed,   // the backup could not be made, and nothing was written; see `reason`
};

struct WriteResult {
    WriteOutcome outcome = WriteOutcome::Written;
    // What went wrong, for a FileError or a BackupFailed; the caller words
    // RecordsChanged itself.
    std::string reason;
    // Once written: the membership byte of each record as the file now
    // holds it.
    std::vector<std::uint8_t> memberBytes;
};

// The backup a patch leaves of the file as it was before the first patch:
// beside it, named like it with ".bak" added. Where the path is a link, the
// backup goes beside the file the link leads to, which holds the bytes: a
// backup renamed to the link's name would take the link's place and leave
// the database as it was.
std::string BackupPathOf(const std::string& path);

enum class Backup {
    None,
    // Unless something already has the backup's name: the file's bytes as
    // they are just before this patch, on stable storage before any
    // membership byte is written. An existing backup is never changed.
    BeforeFirstPatch,
};

// Writes MEMBER_YES or MEMBER_NO into the membership byte of every record,
// as `isMember` answers for its index, and no other byte. The file must still
// hold `expectedRecords` records and, when `expectedNames` is not empty, the
// same names at the same indexes, and when `expectedMemberBytes` is not
// empty, the same membership bytes: the bytes as the caller last read or
// wrote them, so that a change made meanwhile by another program (or another
// editor) is never silently undone; and where `expectedFile` is given, the
// path must still lead to that file. Otherwise nothing is written and no
// backup is made.
WriteResult WriteMemberships(const std::string& path, std::size_t expectedRecords,
                             const std::function<bool(std::size_t)>& isMember,
                             std::span<const std::string> expectedNames = {}, Backup backup = Backup::None,
                             std::span<const std::uint8_t> expectedMemberBytes = {},
                             std::optional<FileIdentity> expectedFile = std::nullopt);

} // namespace nationfile
