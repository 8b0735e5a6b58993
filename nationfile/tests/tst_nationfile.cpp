// The file library on every platform: the layout, the length test, reading,
// writing, and the paths it must refuse.
#include "NationFile.h"
#include "PlatformChecks.h"
#include "TestFiles.h"
#include "VirtualStore.h"

#include <doctest/doctest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <set>

using namespace nationfile;
using namespace testfiles;
namespace fs = std::filesystem;

namespace {

const auto kAlwaysMember = [](std::size_t) { return true; };

std::set<std::string> Listing(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(Utf8(entry.path().filename()));
    return names;
}

} // namespace

TEST_CASE("the length test accepts whole numbers of records")
{
    struct Row {
        std::string row;
        std::uint64_t length;
        bool accepted;
    };
    const Row rows[] = {
        {"empty", 0, true},
        {"one byte", 1, false},
        {"289", 289, false},
        {"290", 290, true},
        {"291", 291, false},
        {"two records", 580, true},
        {"largest list", 290ull * 32767, true},
        {"beyond 32 bits", 290ull * 20'000'000, true},
        {"beyond 32 bits, one short", 290ull * 20'000'000 - 1, false},
    };
    for (const Row& row : rows) {
        INFO(row.row);
        CHECK(IsNationFileLength(row.length) == row.accepted);
    }
}

TEST_CASE("a read answers by the file's length")
{
    struct Row {
        std::string row;
        std::size_t length;
        ReadOutcome outcome;
        std::size_t count;
    };
    const Row rows[] = {
        {"0 bytes", 0, ReadOutcome::Read, 0},
        {"289 bytes", 289, ReadOutcome::NotNationFile, 0},
        {"290 bytes", 290, ReadOutcome::Read, 1},
        {"291 bytes", 291, ReadOutcome::NotNationFile, 0},
        {"579 bytes", 579, ReadOutcome::NotNationFile, 0},
        {"200 records", 290 * 200, ReadOutcome::Read, 200},
        {"32767 records", 290 * 32767, ReadOutcome::Read, 32767},
        {"32768 records", 290 * 32768, ReadOutcome::TooManyRecords, 0},
    };
    TempDir dir;
    for (const Row& row : rows) {
        INFO(row.row);
        Bytes bytes = MakeNationFile(row.length / NATION_RECORD_SIZE + 1);
        bytes.resize(row.length);
        REQUIRE(WriteFile(dir / "Nation.dat", bytes));

        const ReadResult result = ReadNationFile(Utf8(dir / "Nation.dat"));
        CHECK(result.outcome == row.outcome);
        REQUIRE(result.entries.size() == row.count);
        for (std::size_t i = 0; i < result.entries.size(); ++i) {
            if (result.entries[i].name != "Nation " + std::to_string(i))
                FAIL("entry " << i << " is out of order");
            CHECK(result.entries[i].member == (static_cast<std::uint8_t>(i) == MEMBER_YES));
        }
    }
}

TEST_CASE("names are the name field up to its first zero, decoded from Windows-1252")
{
    struct Row {
        std::string row;
        Bytes field;
        std::string name;
    };
    const Row rows[] = {
        {"plain", "England", "England"},
        {"empty", "", ""},
        {"zero first, text after", Bytes("\0Wales", 6), ""},
        {"cut at first zero", Bytes("Ire\0land", 8), "Ire"},
        {"spaces kept", "  Malta  ", "  Malta  "},
        {"51 bytes, no zero", Bytes(51, 'X'), std::string(51, 'X')},
        {"52nd byte is not the name's", Bytes(51, 'Y') + "Z", std::string(51, 'Y')},
        {"Windows-1252 letters", "C\xF4te d'Ivoire", "C\xC3\xB4te d'Ivoire"},
        {"Windows-1252 punctuation", "\x80\x8A\x9F\x99", "\xE2\x82\xAC\xC5\xA0\xC5\xB8\xE2\x84\xA2"},
        {"undefined bytes as Windows decodes them", "\x81\x8D\x8F\x90\x9D",
         "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
    };
    TempDir dir;
    for (const Row& row : rows) {
        INFO(row.row);
        Bytes record = MakeRecord({}, MEMBER_NO, 7);
        record.replace(NAME_OFFSET, std::min(row.field.size(), NAME_LENGTH + 1), row.field);
        REQUIRE(WriteFile(dir / "Nation.dat", record));

        const ReadResult result = ReadNationFile(Utf8(dir / "Nation.dat"));
        CHECK(result.outcome == ReadOutcome::Read);
        REQUIRE(result.entries.size() == 1);
        CHECK(result.entries[0].name == row.name);
    }
}

TEST_CASE("names hold every byte value as the platform's own conversion decodes it")
{
    // Bytes 1..255 fill five names of exactly 51 bytes, none with a zero.
    TempDir dir;
    Bytes all;
    for (int byte = 1; byte <= 255; ++byte)
        all += static_cast<char>(byte);
    Bytes file;
    for (int i = 0; i < 5; ++i)
        file += MakeRecord(all.substr(i * 51, 51), MEMBER_YES, static_cast<std::uint32_t>(i));
    REQUIRE(WriteFile(dir / "Nation.dat", file));

    const ReadResult result = ReadNationFile(Utf8(dir / "Nation.dat"));
    REQUIRE(result.outcome == ReadOutcome::Read);
    REQUIRE(result.entries.size() == 5);
    for (int i = 0; i < 5; ++i) {
        std::string expected;
        for (int k = 0; k < 51; ++k)
            expected += platformchecks::ReferenceDecode(static_cast<std::uint8_t>(all[i * 51 + k]));
        CHECK(result.entries[i].name == expected);
    }
}

TEST_CASE("only the byte 2 means a member")
{
    TempDir dir;
    REQUIRE(WriteFile(dir / "Nation.dat", MakeNationFile(256)));
    const ReadResult result = ReadNationFile(Utf8(dir / "Nation.dat"));
    REQUIRE(result.entries.size() == 256);
    for (int byte = 0; byte < 256; ++byte)
        CHECK(result.entries[byte].member == (byte == 2));
}

TEST_CASE("a write round-trips every old byte value to both new ones")
{
    // Every old value meets both new values: records 0..255 hold byte i and
    // are marked, records 256..511 hold byte i again and are not.
    TempDir dir;
    Bytes original = MakeNationFile(256) + MakeNationFile(256, 99);
    REQUIRE(WriteFile(dir / "Nation.dat", original));
    const auto marked = [](std::size_t i) { return i < 256; };

    const WriteResult written = WriteMemberships(Utf8(dir / "Nation.dat"), 512, marked);
    REQUIRE(written.outcome == WriteOutcome::Written);

    const Bytes after = ReadFile(dir / "Nation.dat");
    REQUIRE(after.size() == original.size());
    for (std::size_t i = 0; i < 512; ++i) {
        CHECK(MemberOf(after, i) == (marked(i) ? MEMBER_YES : MEMBER_NO));
        original[i * NATION_RECORD_SIZE + MEMBER_OFFSET] = after[i * NATION_RECORD_SIZE + MEMBER_OFFSET];
    }
    CHECK(after == original);

    const ReadResult reread = ReadNationFile(Utf8(dir / "Nation.dat"));
    for (std::size_t i = 0; i < 512; ++i)
        CHECK(reread.entries[i].member == marked(i));
}

TEST_CASE("a write touches only membership bytes")
{
    struct Row {
        std::string row;
        std::size_t records;
        std::size_t pattern;
    };
    const Row rows[] = {
        {"one record, member", 1, 1},
        {"one record, not member", 1, 0},
        {"200 records, alternating", 200, 2},
        {"32767 records, all members", 32767, 1},
        {"32767 records, every third", 32767, 3},
    };
    TempDir dir;
    for (const Row& row : rows) {
        INFO(row.row);
        const auto isMember = [&](std::size_t i) { return row.pattern != 0 && i % row.pattern == 0; };
        const Bytes original = MakeNationFile(row.records, 5);
        REQUIRE(WriteFile(dir / "Nation.dat", original));
        const ReadResult read = ReadNationFile(Utf8(dir / "Nation.dat"));
        const std::vector<std::string> names = NamesOf(read.entries);

        const WriteResult written = WriteMemberships(Utf8(dir / "Nation.dat"), row.records, isMember, names);
        CHECK(written.outcome == WriteOutcome::Written);
        CHECK(written.reason.empty());

        const Bytes after = ReadFile(dir / "Nation.dat");
        REQUIRE(after.size() == original.size());
        for (std::size_t at = 0; at < after.size(); ++at) {
            if (IsMemberOffset(at)) {
                const auto wanted = isMember(at / NATION_RECORD_SIZE) ? MEMBER_YES : MEMBER_NO;
                if (static_cast<std::uint8_t>(after[at]) != wanted)
                    FAIL("membership byte at " << at << " is wrong");
            } else if (after[at] != original[at]) {
                FAIL("byte " << at << " changed");
            }
        }
    }
}

TEST_CASE("the layout as the game has it, byte by byte: names at 4 and 294, membership bytes at 127 and 417")
{
    // Written by hand, not from the library's constants, so that a constant
    // gone wrong shows: two records of 290 bytes, every byte set.
    Bytes file(580, '\0');
    for (std::size_t at = 0; at < file.size(); ++at)
        file[at] = static_cast<char>(0x80 | (at * 7 % 128));
    file.replace(4, 8, Bytes("Albania\0", 8));
    file.replace(294, 7, Bytes("Brazil\0", 7));
    file[127] = 2;
    file[417] = 1;
    TempDir dir;
    REQUIRE(WriteFile(dir / "Nation.dat", file));

    const ReadResult read = ReadNationFile(Utf8(dir / "Nation.dat"));
    REQUIRE(read.outcome == ReadOutcome::Read);
    CHECK(read.entries == std::vector<NationEntry> {{"Albania", true}, {"Brazil", false}});
    CHECK(read.memberBytes == std::vector<std::uint8_t> {2, 1});

    const WriteResult written = WriteMemberships(
        Utf8(dir / "Nation.dat"), 2, [](std::size_t i) { return i == 1; }, NamesOf(read.entries), Backup::None,
        read.memberBytes);
    REQUIRE(written.outcome == WriteOutcome::Written);
    CHECK(written.memberBytes == std::vector<std::uint8_t> {1, 2});
    file[127] = 1;
    file[417] = 2;
    CHECK(ReadFile(dir / "Nation.dat") == file);
}

TEST_CASE("a write to an empty file writes nothing, not even a backup")
{
    TempDir dir;
    REQUIRE(WriteFile(dir / "Nation.dat", {}));
    CHECK(WriteMemberships(Utf8(dir / "Nation.dat"), 0, kAlwaysMember, {}, Backup::BeforeFirstPatch).outcome
          == WriteOutcome::Written);
    CHECK(fs::file_size(dir / "Nation.dat") == 0);
    // An empty backup would be kept as the backup of the real file put there
    // afterwards, which would then have none.
    CHECK(!fs::exists(dir / "Nation.dat.bak"));
    const Bytes real = MakeNationFile(2);
    REQUIRE(WriteFile(dir / "Nation.dat", real));
    CHECK(WriteMemberships(Utf8(dir / "Nation.dat"), 2, kAlwaysMember, {}, Backup::BeforeFirstPatch).outcome
          == WriteOutcome::Written);
    CHECK(ReadFile(dir / "Nation.dat.bak") == real);
}

TEST_CASE("a write refuses a file that changed since it was read")
{
    const Bytes three = MakeNationFile(3);
    Bytes renamed = three;
    renamed.replace(NATION_RECORD_SIZE + NAME_OFFSET, 8, Bytes("Renamed\0", 8));
    Bytes otherFile = MakeNationFile(3, 1000);
    for (std::size_t at = otherFile.find("Nation"); at != Bytes::npos; at = otherFile.find("Nation", at))
        otherFile.replace(at, 6, "Nacion");
    struct Row {
        std::string row;
        Bytes onDisk;
        bool checkNames;
    };
    const Row rows[] = {
        {"grown by a record", MakeNationFile(4), false},
        {"shrunk by a record", MakeNationFile(2), false},
        {"emptied", Bytes(), false},
        {"grown by a byte", three + "x", false},
        {"shrunk by a byte", three.substr(0, three.size() - 1), false},
        {"a name replaced", renamed, true},
        {"a different nation file", otherFile, true},
    };
    TempDir dir;
    REQUIRE(WriteFile(dir / "Nation.dat", three));
    const std::vector<std::string> names = NamesOf(ReadNationFile(Utf8(dir / "Nation.dat")).entries);
    for (const Row& row : rows) {
        INFO(row.row);
        REQUIRE(WriteFile(dir / "Nation.dat", row.onDisk));
        const WriteResult written = WriteMemberships(
            Utf8(dir / "Nation.dat"), 3, kAlwaysMember, row.checkNames ? std::span(names) : std::span<const std::string>());
        CHECK(written.outcome == WriteOutcome::RecordsChanged);
        CHECK(written.memberBytes.empty());
        CHECK(ReadFile(dir / "Nation.dat") == row.onDisk);
    }
}

TEST_CASE("paths with letters outside ASCII read and write")
{
    TempDir dir;
    // Spiële, Ñ, Tōkyō in kanji, and a space: on Windows only the
    // wide-character calls reach such a folder.
    const fs::path folder = dir / "Spi\xC3\xAB" "le \xC3\x91 \xE6\x9D\xB1\xE4\xBA\xAC";
    REQUIRE(fs::create_directory(folder));
    REQUIRE(WriteFile(folder / "Nation.dat", MakeNationFile(3)));

    const ReadResult read = ReadNationFile(Utf8(folder / "Nation.dat"));
    CHECK(read.outcome == ReadOutcome::Read);
    CHECK(read.entries.size() == 3);
    CHECK(WriteMemberships(Utf8(folder / "Nation.dat"), 3, kAlwaysMember).outcome == WriteOutcome::Written);
    CHECK(MemberOf(ReadFile(folder / "Nation.dat"), 1) == MEMBER_YES);
}

TEST_CASE("paths that name no ordinary file are refused, and nothing is made")
{
    TempDir dir;
    for (const platformchecks::UnusablePath& path : platformchecks::UnusablePaths(dir)) {
        INFO(path.row);
        const std::set<std::string> before = Listing(dir.Path());

        const ReadResult read = ReadNationFile(path.path);
        CHECK(read.outcome == ReadOutcome::FileError);
        CHECK(read.reason == path.reason);
        CHECK(read.entries.empty());

        const WriteResult written = WriteMemberships(path.path, 0, kAlwaysMember);
        CHECK(written.outcome == WriteOutcome::FileError);
        CHECK(written.reason == path.reason);

        CHECK(Listing(dir.Path()) == before);
    }
}

TEST_CASE("too many records are refused from the length alone")
{
    TempDir dir;
    const std::uint64_t records = 11'000'000; // about 3.2 GB
    REQUIRE(MakeEmptyFile(dir / "Nation.dat", records * NATION_RECORD_SIZE));
    const long memoryBefore = platformchecks::PeakMemoryKiB();
    const platformchecks::CountedReads reads;

    const ReadResult read = ReadNationFile(Utf8(dir / "Nation.dat"));
    const WriteResult written = WriteMemberships(Utf8(dir / "Nation.dat"), records, kAlwaysMember);

    CHECK(reads.Bytes() == 0);
    CHECK(platformchecks::PeakMemoryKiB() - memoryBefore < 16 * 1024);
    CHECK(read.outcome == ReadOutcome::TooManyRecords);
    CHECK(read.entries.empty());
    CHECK(written.outcome == WriteOutcome::RecordsChanged);
    CHECK(fs::file_size(dir / "Nation.dat") == records * NATION_RECORD_SIZE);
}

TEST_CASE("a file under Program Files has its VirtualStore copy under the user's local folder")
{
    struct Row {
        std::string row;
        std::string path;
        std::optional<std::string> copy;
    };
    const std::vector<std::string> folders = {"C:\\Program Files", "C:\\Program Files (x86)\\"};
    const std::string local = "C:\\Users\\Ann\\AppData\\Local";
    const Row rows[] = {
        {"32-bit Program Files", "C:\\Program Files (x86)\\Eidos\\CM 99-00\\Data\\Nation.dat",
         local + "\\VirtualStore\\Program Files (x86)\\Eidos\\CM 99-00\\Data\\Nation.dat"},
        {"any letter case, forward slashes", "c:/program files/Game/Data/Nation.dat",
         local + "\\VirtualStore\\program files\\Game\\Data\\Nation.dat"},
        {"outside Program Files", "C:\\Games\\CM 99-00\\Data\\Nation.dat", std::nullopt},
        {"a folder whose name only begins alike", "C:\\Program Files Extra\\Nation.dat", std::nullopt},
        {"another drive", "D:\\Program Files\\Game\\Nation.dat", std::nullopt},
        {"the folder itself", "C:\\Program Files", std::nullopt},
    };
    for (const Row& row : rows) {
        INFO(row.row);
        CHECK(VirtualStorePath(row.path, folders, local) == row.copy);
    }
    CHECK(!VirtualStorePath(rows[0].path, folders, ""));
}

TEST_CASE("a patch backs the file up once, before its first write, and never touches a backup again")
{
    TempDir dir;
    const std::string nation = Utf8(dir / "Nation.dat");
    const Bytes original = MakeNationFile(40);
    REQUIRE(WriteFile(nation, original));
    const auto every = [](std::size_t n) { return [n](std::size_t i) { return i % n == 0; }; };

    CHECK(WriteMemberships(nation, 40, every(2), {}, Backup::None).outcome == WriteOutcome::Written);
    CHECK(!fs::exists(dir / "Nation.dat.bak"));
    const Bytes beforeFirst = ReadFile(nation);

    CHECK(WriteMemberships(nation, 40, every(3), {}, Backup::BeforeFirstPatch).outcome == WriteOutcome::Written);
    CHECK(BackupPathOf(nation) == Utf8(dir / "Nation.dat.bak"));
    CHECK(ReadFile(dir / "Nation.dat.bak") == beforeFirst);
    CHECK(WriteMemberships(nation, 40, every(5), {}, Backup::BeforeFirstPatch).outcome == WriteOutcome::Written);
    CHECK(ReadFile(dir / "Nation.dat.bak") == beforeFirst);
    CHECK(MemberOf(ReadFile(nation), 5) == MEMBER_YES);

    // Whatever already has the backup's name stays as it is; only a file
    // counts as a backup, and without one nothing is patched.
    struct Row {
        std::string row;
        std::function<void(const fs::path& backup)> make;
        std::string refused; // the reason, or empty where the patch goes ahead
    };
    const std::string kFolder = "a folder has that name; move or rename it, then patch again";
    const std::string kOther = "something that is not a file has that name; move or rename it, then patch again";
    const std::vector<Row> rows = {
        {"a file, not a nation file", [](const fs::path& backup) { WriteFile(backup, "not a nation file"); }, ""},
        {"a folder", [](const fs::path& backup) { fs::create_directory(backup); }, kFolder},
#ifndef _WIN32
        {"a link to a file",
         [&](const fs::path& backup) {
             WriteFile(dir / "elsewhere", "not a nation file");
             fs::create_symlink(dir / "elsewhere", backup);
         },
         ""},
        {"a link to a folder", [&](const fs::path& backup) { fs::create_directory_symlink(dir.Path(), backup); },
         kFolder},
        {"a link that leads nowhere", [&](const fs::path& backup) { fs::create_symlink(dir / "gone", backup); },
         kOther},
        {"a device", [](const fs::path& backup) { fs::create_symlink("/dev/null", backup); }, kOther},
#endif
    };
    for (const Row& row : rows) {
        INFO(row.row);
        TempDir other;
        const std::string file = Utf8(other / "Nation.dat");
        const fs::path backup = other / "Nation.dat.bak";
        REQUIRE(WriteFile(file, original));
        row.make(backup);
        const bool wasFile = fs::is_regular_file(backup);
        const Bytes before = wasFile ? ReadFile(backup) : Bytes();
        const WriteResult written = WriteMemberships(file, 40, every(2), {}, Backup::BeforeFirstPatch);
        CHECK(written.outcome == (row.refused.empty() ? WriteOutcome::Written : WriteOutcome::BackupFailed));
        CHECK(written.reason == row.refused);
        CHECK((ReadFile(file) == original) == !row.refused.empty());
        CHECK(fs::is_regular_file(backup) == wasFile);
        if (wasFile)
            CHECK(ReadFile(backup) == before);
        for (const auto& entry : fs::directory_iterator(other.Path()))
            CHECK(Utf8(entry.path().filename()).find("partial") == std::string::npos);
    }

    // A refused patch makes no backup either.
    REQUIRE(WriteFile(dir / "Fourth.dat", original));
    CHECK(WriteMemberships(Utf8(dir / "Fourth.dat"), 41, every(2), {}, Backup::BeforeFirstPatch).outcome
          == WriteOutcome::RecordsChanged);
    CHECK(!fs::exists(dir / "Fourth.dat.bak"));
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        CHECK(Utf8(entry.path().filename()).find("partial") == std::string::npos);
}
