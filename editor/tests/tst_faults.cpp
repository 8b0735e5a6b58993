#include "Editor.h"
#include "FakeView.h"
#include "NationFile.h"
#include "PosixCalls.h"
#include "TestFiles.h"

#include <doctest/doctest.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

using namespace nationfile;
using namespace testfiles;
namespace fs = std::filesystem;

// Makes one of the library's OS calls misbehave, the way a failing disk, a
// full or read-only file system or a signal does, and checks what the user
// gets through the commands.
namespace {

enum class Call { Stat, Lstat, Open, Fstat, Fcntl, Pread, Pwrite, Mmap, Munmap, Fsync, Close, Link, Rename, Unlink };
enum class Effect {
    Fail,      // the call fails with `error`
    Interrupt, // the call fails with EINTR once, then works
    Short,     // a read or write does half of what was asked
    Corrupt,   // a read returns changed membership bytes
    CorruptFirst, // a read returns the first record's membership byte changed
    BusError,  // stores into the mapping raise SIGBUS
    Crash,     // the call and every call after it fail, as if the editor was killed
};

struct Fault {
    Call call = Call::Stat;
    Effect effect = Effect::Fail;
    int error = 0;
    int occurrence = 1; // which call of its kind misbehaves, counting from 1
};

Fault gFault;
std::array<int, 14> gCounts {};
bool gArmed = false;
bool gCrashed = false;

bool Hits(Call call)
{
    if (!gArmed)
        return false;
    if (gCrashed)
        return true;
    if (call != gFault.call || ++gCounts[static_cast<std::size_t>(call)] != gFault.occurrence)
        return false;
    gCrashed = gFault.effect == Effect::Crash;
    return true;
}

template <typename Result>
Result Failure(Result failed)
{
    errno = gFault.effect == Effect::Interrupt ? EINTR : gCrashed ? EIO : gFault.error;
    return failed;
}

const PosixCalls& Real()
{
    return SystemCalls();
}

const PosixCalls kFaulty = {
    [](const char* path, struct stat* info) {
        return Hits(Call::Stat) ? Failure(-1) : Real().stat(path, info);
    },
    [](const char* path, struct stat* info) {
        return Hits(Call::Lstat) ? Failure(-1) : Real().lstat(path, info);
    },
    [](const char* path, int flags, mode_t mode) {
        return Hits(Call::Open) ? Failure(-1) : Real().open(path, flags, mode);
    },
    [](int fd, struct stat* info) { return Hits(Call::Fstat) ? Failure(-1) : Real().fstat(fd, info); },
    [](int fd, int command, int argument) {
        return Hits(Call::Fcntl) ? Failure(-1) : Real().fcntl(fd, command, argument);
    },
    [](int fd, void* buffer, std::size_t count, off_t offset) -> ssize_t {
        if (!Hits(Call::Pread))
            return Real().pread(fd, buffer, count, offset);
        switch (gFault.effect) {
        case Effect::Short:
            return Real().pread(fd, buffer, count > 1 ? count / 2 : count, offset);
        case Effect::Corrupt:
        case Effect::CorruptFirst: {
            const ssize_t got = Real().pread(fd, buffer, count, offset);
            auto* bytes = static_cast<std::uint8_t*>(buffer);
            for (ssize_t at = 0; at < got; ++at) {
                const bool first = offset + at == MEMBER_OFFSET;
                if (IsMemberOffset(offset + at) && (first || gFault.effect == Effect::Corrupt))
                    bytes[at] ^= 0x40;
            }
            return got;
        }
        default:
            return Failure<ssize_t>(-1);
        }
    },
    [](int fd, const void* buffer, std::size_t count, off_t offset) -> ssize_t {
        if (!Hits(Call::Pwrite))
            return Real().pwrite(fd, buffer, count, offset);
        if (gFault.effect == Effect::Short)
            return Real().pwrite(fd, buffer, count > 1 ? count / 2 : count, offset);
        return Failure<ssize_t>(-1);
    },
    [](void* address, std::size_t length, int protection, int flags, int fd, off_t offset) {
        if (!Hits(Call::Mmap))
            return Real().mmap(address, length, protection, flags, fd, offset);
        if (gFault.effect != Effect::BusError)
            return Failure(MAP_FAILED);
        // An empty file behind the mapping: every store past its end faults,
        // as a file cut short by another program does.
        const int empty = memfd_create("empty", 0);
        void* mapped = Real().mmap(address, length, protection, flags, empty, 0);
        Real().close(empty);
        return mapped;
    },
    [](void* address, std::size_t length) {
        if (Hits(Call::Munmap)) {
            Real().munmap(address, length);
            return Failure(-1);
        }
        return Real().munmap(address, length);
    },
    [](int fd) { return Hits(Call::Fsync) ? Failure(-1) : Real().fsync(fd); },
    [](int fd) {
        if (Hits(Call::Close)) {
            Real().close(fd);
            return Failure(-1);
        }
        return Real().close(fd);
    },
    [](const char* from, const char* to) { return Hits(Call::Link) ? Failure(-1) : Real().link(from, to); },
    [](const char* from, const char* to) {
        return Hits(Call::Rename) ? Failure(-1) : Real().renameNoReplace(from, to);
    },
    [](const char* path) { return Hits(Call::Unlink) ? Failure(-1) : Real().unlink(path); },
};

void Arm(const Fault& fault)
{
    gFault = fault;
    gCounts = {};
    gArmed = true;
    gCrashed = false;
    ActiveCalls() = kFaulty;
}

void Disarm()
{
    gArmed = false;
    ActiveCalls() = SystemCalls();
}

// Rows: the call, how it misbehaves, which of its calls, and whether the
// command must still succeed (retried faults, or a close after a read).
struct Row {
    std::string row;
    Fault fault;
    bool succeeds;
};

std::vector<Row> Rows(bool patching)
{
    std::vector<Row> rows = {
        {"stat EACCES", {Call::Stat, Effect::Fail, EACCES, 1}, false},
        {"stat EIO", {Call::Stat, Effect::Fail, EIO, 1}, false},
        {"stat EINTR", {Call::Stat, Effect::Interrupt, 0, 1}, true},
        // A file that may not be written is still listed; its patch is refused.
        {"open EACCES", {Call::Open, Effect::Fail, EACCES, 1}, !patching},
        {"open EROFS", {Call::Open, Effect::Fail, EROFS, 1}, !patching},
        {"open EIO", {Call::Open, Effect::Fail, EIO, 1}, false},
        {"open EINTR", {Call::Open, Effect::Interrupt, 0, 1}, true},
        {"fstat EIO on open", {Call::Fstat, Effect::Fail, EIO, 1}, false},
        {"fstat EIO for the length", {Call::Fstat, Effect::Fail, EIO, 2}, false},
        {"fcntl EIO", {Call::Fcntl, Effect::Fail, EIO, 1}, false},
        {"read EIO", {Call::Pread, Effect::Fail, EIO, 1}, false},
        {"read EINTR", {Call::Pread, Effect::Interrupt, 0, 1}, true},
        {"read short", {Call::Pread, Effect::Short, 0, 1}, true},
    };
    if (!patching) {
        // Everything was read before the close: the entries stand.
        rows.push_back({"close EIO", {Call::Close, Effect::Fail, EIO, 1}, true});
        return rows;
    }
    const std::vector<Row> patchRows = {
        {"fstat EIO after the write", {Call::Fstat, Effect::Fail, EIO, 3}, false},
        {"map ENOMEM", {Call::Mmap, Effect::Fail, ENOMEM, 1}, false},
        {"map EACCES", {Call::Mmap, Effect::Fail, EACCES, 1}, false},
        {"store SIGBUS", {Call::Mmap, Effect::BusError, 0, 1}, false},
        {"unmap EINVAL", {Call::Munmap, Effect::Fail, EINVAL, 1}, false},
        {"flush EIO", {Call::Fsync, Effect::Fail, EIO, 1}, false},
        {"flush ENOSPC", {Call::Fsync, Effect::Fail, ENOSPC, 1}, false},
        {"flush EROFS", {Call::Fsync, Effect::Fail, EROFS, 1}, false},
        {"flush EINTR", {Call::Fsync, Effect::Interrupt, 0, 1}, true},
        {"read back EIO", {Call::Pread, Effect::Fail, EIO, 2}, false},
        {"read back short", {Call::Pread, Effect::Short, 0, 2}, true},
        {"read back EINTR", {Call::Pread, Effect::Interrupt, 0, 2}, true},
        {"read back differs", {Call::Pread, Effect::Corrupt, 0, 2}, false},
        {"read back differs in the first record alone", {Call::Pread, Effect::CorruptFirst, 0, 2}, false},
        {"close EIO", {Call::Close, Effect::Fail, EIO, 1}, false},
    };
    rows.insert(rows.end(), patchRows.begin(), patchRows.end());
    return rows;
}

// A nation file of 300 records and the commands with their fake view; the
// system's calls again at the end, whatever happened.
struct Fixture {
    TempDir dir;
    Bytes original = MakeNationFile(300, 9);
    FakeView view;
    std::unique_ptr<Editor> editor;

    Fixture()
    {
        REQUIRE(WriteFile(dir / "Nation.dat", original));
        editor = std::make_unique<Editor>(view);
        editor->Form_Load();
    }
    ~Fixture() { Disarm(); }

    std::string NationPath() const { return Utf8(dir / "Nation.dat"); }
};

} // namespace

TEST_CASE("a load through a failing call says why, or succeeds where the call is retried")
{
    for (const Row& row : Rows(false)) {
        INFO(row.row);
        Fixture f;
        f.view.chosenPaths = {f.NationPath(), ""};
        Arm(row.fault);
        f.editor->cmdLoad_Click();
        Disarm();

        if (row.succeeds) {
            CHECK(f.view.messages.empty());
            REQUIRE(f.view.nations.NationCount() == 300);
            CHECK(f.view.nations.Name(299) == "Nation 299");
            CHECK(f.editor->State().strFileName == f.NationPath());
            CHECK(!f.editor->State().blnPatched);
        } else {
            REQUIRE(f.view.messages.size() == 1);
            CHECK(f.view.messages[0].title == "ERROR");
            CHECK(f.view.messages[0].text
                  == "Cannot load the file \"" + f.NationPath() + "\": " + std::strerror(row.fault.error) + ".");
            CHECK(f.view.dialogTitles.size() == 2); // asked again, then cancelled
            CHECK((f.view.nations.NationCount() == 0));
            CHECK(f.editor->State().strFileName.empty());
            CHECK(f.editor->State().blnPatched);
        }
        CHECK(ReadFile(f.dir / "Nation.dat") == f.original);
    }
}

TEST_CASE("a patch through a failing call never reports success, and leaves each byte old or new")
{
    for (const Row& row : Rows(true)) {
        INFO(row.row);
        Fixture f;
        // A backup from an earlier patch: this patch makes none.
        REQUIRE(WriteFile(f.dir / "Nation.dat.bak", f.original));
        f.view.chosenPaths = {f.NationPath()};
        f.editor->cmdLoad_Click();
        REQUIRE(f.view.nations.NationCount() == 300);
        for (std::size_t i = 0; i < f.view.nations.NationCount(); i += 2)
            f.view.nations.ToggleNation(i);

        Arm(row.fault);
        f.editor->cmdPatch_Click();
        Disarm();

        REQUIRE(f.view.messages.size() == 1);
        const FakeView::Message& message = f.view.messages[0];
        if (row.succeeds) {
            CHECK(message.title == "SUCCESS");
            CHECK(f.editor->State().blnPatched);
        } else {
            CHECK(message.title == "ERROR");
            const std::string prefix = "The file \"" + f.NationPath() + "\" could not be patched: ";
            CHECK(message.text.substr(0, prefix.size()) == prefix);
            if (row.fault.error != 0)
                CHECK(message.text == prefix + std::strerror(row.fault.error) + ".");
            CHECK(message.text.size() > prefix.size() + 2);
            CHECK(!f.editor->State().blnPatched);
        }

        const Bytes after = ReadFile(f.dir / "Nation.dat");
        REQUIRE(after.size() == f.original.size());
        for (std::size_t at = 0; at < after.size(); ++at) {
            if (!IsMemberOffset(at)) {
                if (after[at] != f.original[at])
                    FAIL("byte " << at << " changed");
                continue;
            }
            const auto wanted = f.view.nations.IsNationTicked(at / NATION_RECORD_SIZE) ? MEMBER_YES : MEMBER_NO;
            const auto byte = static_cast<std::uint8_t>(after[at]);
            if (row.succeeds)
                CHECK(byte == wanted);
            else
                CHECK((byte == wanted || byte == static_cast<std::uint8_t>(f.original[at])));
        }
    }
}

TEST_CASE("a backup through a failing call: nothing patched, nothing half made, or a whole backup")
{
    // The backup's calls, in order: lstat (is there one?), pread (the whole
    // file, the second read), open (the partial file, the second open),
    // pwrite, fsync (the first), close (the first), link, unlink, open (the
    // folder), fsync (the folder).
    struct BackupRow {
        std::string row;
        Fault fault;
        bool backupMade;
        bool folderRefuses = false; // the message names the folder
    };
    const BackupRow rows[] = {
        {"lstat EIO, so a backup is tried", {Call::Lstat, Effect::Fail, EIO, 1}, true},
        {"whole read EIO", {Call::Pread, Effect::Fail, EIO, 2}, false},
        {"create EACCES, a read-only folder", {Call::Open, Effect::Fail, EACCES, 2}, false, true},
        {"create EROFS", {Call::Open, Effect::Fail, EROFS, 2}, false, true},
        {"create ENOSPC", {Call::Open, Effect::Fail, ENOSPC, 2}, false},
        {"create EDQUOT", {Call::Open, Effect::Fail, EDQUOT, 2}, false},
        {"create EINTR", {Call::Open, Effect::Interrupt, 0, 2}, true},
        {"write ENOSPC, a full disk", {Call::Pwrite, Effect::Fail, ENOSPC, 1}, false},
        {"write EIO", {Call::Pwrite, Effect::Fail, EIO, 1}, false},
        {"write EINTR", {Call::Pwrite, Effect::Interrupt, 0, 1}, true},
        {"write short", {Call::Pwrite, Effect::Short, 0, 1}, true},
        {"flush EIO", {Call::Fsync, Effect::Fail, EIO, 1}, false},
        {"flush ENOSPC", {Call::Fsync, Effect::Fail, ENOSPC, 1}, false},
        {"close EIO", {Call::Close, Effect::Fail, EIO, 1}, false},
        {"link EIO", {Call::Link, Effect::Fail, EIO, 1}, false},
        {"no hard links here: renamed without replacing", {Call::Link, Effect::Fail, EPERM, 1}, true},
        {"folder open EACCES", {Call::Open, Effect::Fail, EACCES, 3}, false},
        {"folder flush EIO", {Call::Fsync, Effect::Fail, EIO, 2}, false},
        {"folder flush EINVAL, a file system that can't", {Call::Fsync, Effect::Fail, EINVAL, 2}, true},
        // The partial copy stays behind, as it would after a power cut.
        {"killed while writing the backup", {Call::Pwrite, Effect::Crash, 0, 1}, false},
    };
    for (const BackupRow& row : rows) {
        INFO(row.row);
        Fixture f;
        f.view.chosenPaths = {f.NationPath()};
        f.editor->cmdLoad_Click();
        REQUIRE(f.view.nations.NationCount() == 300);
        f.editor->cmdAllEEC_Click();

        Arm(row.fault);
        f.editor->cmdPatch_Click();
        Disarm();

        REQUIRE(f.view.messages.size() == 1);
        const fs::path backup = f.dir / "Nation.dat.bak";
        if (row.backupMade) {
            CHECK(f.view.messages[0].title == "SUCCESS");
            CHECK(ReadFile(backup) == f.original);
        } else {
            CHECK(f.view.messages[0].title == "ERROR");
            const std::string reason = std::strerror(row.fault.error != 0 ? row.fault.error : EIO);
            CHECK(f.view.messages[0].text
                  == "The backup \"" + Utf8(backup) + "\" could not be made: "
                      + (row.folderRefuses ? "the folder \"" + Utf8(f.dir.Path()) + "\" refuses new files (" + reason + ")"
                                           : reason)
                      + ". Nothing was patched.");
            CHECK(!f.editor->State().blnPatched);
            CHECK(ReadFile(f.dir / "Nation.dat") == f.original);
            // A link made before the folder's flush failed is a whole backup.
            if (fs::exists(backup))
                CHECK(ReadFile(backup) == f.original);
        }
        std::size_t partial = 0;
        for (const auto& entry : fs::directory_iterator(f.dir.Path()))
            partial += Utf8(entry.path().filename()).find("partial") != std::string::npos ? 1 : 0;
        CHECK(partial == (row.fault.effect == Effect::Crash ? 1u : 0u));

        // Whatever was left behind, the next patch makes a whole backup.
        f.editor->cmdPatch_Click();
        REQUIRE(f.view.messages.size() == 2);
        CHECK(f.view.messages[1].title == "SUCCESS");
        CHECK(ReadFile(backup) == f.original);
    }
}

TEST_CASE("a backup that appears meanwhile is kept, not replaced")
{
    Fixture f;
    f.view.chosenPaths = {f.NationPath()};
    f.editor->cmdLoad_Click();
    f.editor->cmdAllEEC_Click();
    // Another editor places its backup between the look and the link.
    const fs::path backup = f.dir / "Nation.dat.bak";
    const Bytes theirs = MakeNationFile(300, 77);
    static fs::path gBackup;
    static Bytes gTheirs;
    gBackup = backup;
    gTheirs = theirs;
    ActiveCalls().link = [](const char* from, const char* to) {
        WriteFile(gBackup, gTheirs);
        return SystemCalls().link(from, to);
    };
    f.editor->cmdPatch_Click();
    Disarm();

    REQUIRE(f.view.messages.size() == 1);
    CHECK(f.view.messages[0].title == "SUCCESS");
    CHECK(ReadFile(backup) == theirs);
    for (const auto& entry : fs::directory_iterator(f.dir.Path()))
        CHECK(Utf8(entry.path().filename()).find("partial") == std::string::npos);
}
