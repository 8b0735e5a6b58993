#include "Editor.h"
#include "FakeView.h"
#include "NationFile.h"
#include "PosixCalls.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <cerrno>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

using namespace nationfile;
using namespace testfiles;

// Makes one of the library's OS calls misbehave, the way a failing disk, a
// full or read-only file system or a signal does, and checks what the user
// gets through the commands.
namespace {

enum class Call { Stat, Open, Fstat, Fcntl, Pread, Mmap, Munmap, Fsync, Close };
enum class Effect {
    Fail,      // the call fails with `error`
    Interrupt, // the call fails with EINTR once, then works
    Short,     // a read returns half of what was asked
    Corrupt,   // a read returns changed membership bytes
    BusError,  // stores into the mapping raise SIGBUS
};

struct Fault {
    Call call = Call::Stat;
    Effect effect = Effect::Fail;
    int error = 0;
    int occurrence = 1; // which call of its kind misbehaves, counting from 1
};

Fault gFault;
std::array<int, 9> gCounts {};
bool gArmed = false;

bool Hits(Call call)
{
    if (!gArmed || call != gFault.call)
        return false;
    return ++gCounts[static_cast<std::size_t>(call)] == gFault.occurrence;
}

template <typename Result>
Result Failure(Result failed)
{
    errno = gFault.effect == Effect::Interrupt ? EINTR : gFault.error;
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
    [](const char* path, int flags) { return Hits(Call::Open) ? Failure(-1) : Real().open(path, flags); },
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
        case Effect::Corrupt: {
            const ssize_t got = Real().pread(fd, buffer, count, offset);
            auto* bytes = static_cast<std::uint8_t*>(buffer);
            for (ssize_t at = 0; at < got; ++at) {
                if (IsMemberOffset(offset + at))
                    bytes[at] ^= 0x40;
            }
            return got;
        }
        default:
            return Failure<ssize_t>(-1);
        }
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
};

void Arm(const Fault& fault)
{
    gFault = fault;
    gCounts = {};
    gArmed = true;
    ActiveCalls() = kFaulty;
}

void Disarm()
{
    gArmed = false;
    ActiveCalls() = SystemCalls();
}

} // namespace

Q_DECLARE_METATYPE(Call)
Q_DECLARE_METATYPE(Effect)

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void load_data();
    void load();
    void patch_data();
    void patch();

private:
    void addRows(bool patching);
    std::string nationPath() const { return Path(dir_->filePath("Nation.dat")); }

    std::unique_ptr<QTemporaryDir> dir_;
    QByteArray original_;
    std::unique_ptr<FakeView> view_;
    std::unique_ptr<Editor> editor_;
};

void TestFaults::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    original_ = MakeNationFile(300, 9);
    QVERIFY(WriteFile(dir_->filePath("Nation.dat"), original_));
    view_ = std::make_unique<FakeView>();
    editor_ = std::make_unique<Editor>(*view_);
    editor_->Form_Load();
}

void TestFaults::cleanup()
{
    Disarm();
}

// Rows: the call, how it misbehaves, which of its calls, and whether the
// command must still succeed (retried faults, or a close after a read).
void TestFaults::addRows(bool patching)
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<Effect>("effect");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<bool>("succeeds");

    const auto row = [](const char* name, Call call, Effect effect, int error, int occurrence, bool succeeds) {
        QTest::newRow(name) << call << effect << error << occurrence << succeeds;
    };
    row("stat EACCES", Call::Stat, Effect::Fail, EACCES, 1, false);
    row("stat EIO", Call::Stat, Effect::Fail, EIO, 1, false);
    row("stat EINTR", Call::Stat, Effect::Interrupt, 0, 1, true);
    row("open EACCES", Call::Open, Effect::Fail, EACCES, 1, false);
    row("open EROFS", Call::Open, Effect::Fail, EROFS, 1, false);
    row("open EIO", Call::Open, Effect::Fail, EIO, 1, false);
    row("open EINTR", Call::Open, Effect::Interrupt, 0, 1, true);
    row("fstat EIO on open", Call::Fstat, Effect::Fail, EIO, 1, false);
    row("fstat EIO for the length", Call::Fstat, Effect::Fail, EIO, 2, false);
    row("fcntl EIO", Call::Fcntl, Effect::Fail, EIO, 1, false);
    row("read EIO", Call::Pread, Effect::Fail, EIO, 1, false);
    row("read EINTR", Call::Pread, Effect::Interrupt, 0, 1, true);
    row("read short", Call::Pread, Effect::Short, 0, 1, true);
    if (!patching) {
        // Everything was read before the close: the entries stand.
        row("close EIO", Call::Close, Effect::Fail, EIO, 1, true);
        return;
    }
    row("fstat EIO after the write", Call::Fstat, Effect::Fail, EIO, 3, false);
    row("map ENOMEM", Call::Mmap, Effect::Fail, ENOMEM, 1, false);
    row("map EACCES", Call::Mmap, Effect::Fail, EACCES, 1, false);
    row("store SIGBUS", Call::Mmap, Effect::BusError, 0, 1, false);
    row("unmap EINVAL", Call::Munmap, Effect::Fail, EINVAL, 1, false);
    row("flush EIO", Call::Fsync, Effect::Fail, EIO, 1, false);
    row("flush ENOSPC", Call::Fsync, Effect::Fail, ENOSPC, 1, false);
    row("flush EROFS", Call::Fsync, Effect::Fail, EROFS, 1, false);
    row("flush EINTR", Call::Fsync, Effect::Interrupt, 0, 1, true);
    row("read back EIO", Call::Pread, Effect::Fail, EIO, 2, false);
    row("read back short", Call::Pread, Effect::Short, 0, 2, true);
    row("read back EINTR", Call::Pread, Effect::Interrupt, 0, 2, true);
    row("read back differs", Call::Pread, Effect::Corrupt, 0, 2, false);
    row("close EIO", Call::Close, Effect::Fail, EIO, 1, false);
}

void TestFaults::load_data()
{
    addRows(false);
}

void TestFaults::load()
{
    QFETCH(Call, call);
    QFETCH(Effect, effect);
    QFETCH(int, error);
    QFETCH(int, occurrence);
    QFETCH(bool, succeeds);

    view_->chosenPaths = {nationPath(), ""};
    Arm({call, effect, error, occurrence});
    editor_->cmdLoad_Click();
    Disarm();

    if (succeeds) {
        QVERIFY(view_->messages.empty());
        QCOMPARE(view_->entries.size(), 300u);
        QCOMPARE(view_->entries[299].text, std::string("Nation 299"));
        QCOMPARE(editor_->State().strFileName, nationPath());
        QVERIFY(!editor_->State().blnPatched);
    } else {
        QCOMPARE(view_->messages.size(), 1u);
        QCOMPARE(view_->messages[0].title, std::string("ERROR"));
        QCOMPARE(view_->messages[0].text,
                 "Cannot load the file \"" + nationPath() + "\": " + std::strerror(error) + ".");
        QCOMPARE(view_->dialogTitles.size(), 2u); // asked again, then cancelled
        QVERIFY(view_->entries.empty());
        QVERIFY(editor_->State().strFileName.empty());
        QVERIFY(editor_->State().blnPatched);
    }
    QCOMPARE(ReadFile(dir_->filePath("Nation.dat")), original_);
}

void TestFaults::patch_data()
{
    addRows(true);
}

void TestFaults::patch()
{
    QFETCH(Call, call);
    QFETCH(Effect, effect);
    QFETCH(int, error);
    QFETCH(int, occurrence);
    QFETCH(bool, succeeds);

    view_->chosenPaths = {nationPath()};
    editor_->cmdLoad_Click();
    QCOMPARE(view_->entries.size(), 300u);
    for (std::size_t i = 0; i < view_->entries.size(); i += 2)
        view_->entries[i].ticked = !view_->entries[i].ticked;

    Arm({call, effect, error, occurrence});
    editor_->cmdPatch_Click();
    Disarm();

    QCOMPARE(view_->messages.size(), 1u);
    const FakeView::Message& message = view_->messages[0];
    if (succeeds) {
        QCOMPARE(message.title, std::string("SUCCESS"));
        QVERIFY(editor_->State().blnPatched);
    } else {
        QCOMPARE(message.title, std::string("ERROR"));
        const std::string prefix = "The file \"" + nationPath() + "\" could not be patched: ";
        QCOMPARE(message.text.substr(0, prefix.size()), prefix);
        if (error != 0)
            QCOMPARE(message.text, prefix + std::strerror(error) + ".");
        QVERIFY(message.text.size() > prefix.size() + 2);
        QVERIFY(!editor_->State().blnPatched);
    }

    const QByteArray after = ReadFile(dir_->filePath("Nation.dat"));
    QCOMPARE(after.size(), original_.size());
    for (qsizetype at = 0; at < after.size(); ++at) {
        if (!IsMemberOffset(at)) {
            if (after[at] != original_[at])
                QFAIL(qPrintable(QString("byte %1 changed").arg(at)));
            continue;
        }
        const auto wanted = view_->entries[static_cast<std::size_t>(at / NATION_RECORD_SIZE)].ticked
                                ? MEMBER_YES : MEMBER_NO;
        const auto byte = static_cast<std::uint8_t>(after[at]);
        if (succeeds)
            QCOMPARE(byte, wanted);
        else
            QVERIFY(byte == wanted || byte == static_cast<std::uint8_t>(original_[at]));
    }
}

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
