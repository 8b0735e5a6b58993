#include "NationFile.h"
#include "TestFiles.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
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
    PatchChild(const QString& path, unsigned seed)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        const QByteArray file = QFile::encodeName(path);
        const QByteArray records = QByteArray::number(qulonglong(MAX_NATION_RECORDS));
        const QByteArray seedText = QByteArray::number(seed);
        char* const argv[] = {const_cast<char*>(PATCH_CHILD), const_cast<char*>(file.constData()),
                              const_cast<char*>(records.constData()), const_cast<char*>(seedText.constData()),
                              nullptr};
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

// Kills a process in the middle of patching the largest nation file, again
// and again: whatever moment the kill lands on, the file keeps its length
// and every other byte, and each membership byte is either what it was
// before that patch or what that patch writes.
class TestInterruptedPatch : public QObject {
    Q_OBJECT

private slots:
    void killedAtRandomMoments();
};

void TestInterruptedPatch::killedAtRandomMoments()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("Nation.dat");
    const QByteArray original = MakeNationFile(MAX_NATION_RECORDS, 3);
    QVERIFY(WriteFile(path, original));

    // How long the stores take here, timed from the child's own signals: the
    // aimed kills fall inside that span.
    std::vector<Clock::duration> storeTimes;
    unsigned seed = 0;
    for (int run = 0; run < 7; ++run) {
        PatchChild child(path, ++seed);
        QVERIFY(child.Started());
        QCOMPARE(child.Next(), 'S');
        const auto begun = Clock::now();
        QCOMPARE(child.Next(), 'E');
        storeTimes.push_back(Clock::now() - begun);
        QVERIFY(child.Wait());
    }
    std::nth_element(storeTimes.begin(), storeTimes.begin() + 3, storeTimes.end());
    const auto storeMicros = std::max<qint64>(
        1, std::chrono::duration_cast<std::chrono::microseconds>(storeTimes[3]).count());

    const int runs = qEnvironmentVariableIntValue("INTERRUPTED_PATCH_RUNS") > 0
                         ? qEnvironmentVariableIntValue("INTERRUPTED_PATCH_RUNS") : 200;
    QRandomGenerator random(20261207);
    QByteArray before = ReadFile(path);
    int aimed = 0;
    int killedMidWrite = 0;
    int finished = 0;
    for (int run = 0; run < runs; ++run) {
        ++seed;
        PatchChild child(path, seed);
        QVERIFY(child.Started());
        // One kill in four lands at any moment from the child's start to a
        // little past the end of its patch; the others aim at the stores.
        if (run % 4 == 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(12000)));
        } else {
            ++aimed;
            QCOMPARE(child.Next(), 'S');
            std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(storeMicros)));
        }
        child.Kill();
        if (child.Wait())
            ++finished;

        const QByteArray after = ReadFile(path);
        QCOMPARE(after.size(), original.size());
        int changed = 0;
        int pending = 0;
        for (qsizetype at = 0; at < after.size(); ++at) {
            if (!IsMemberOffset(at)) {
                if (after[at] != original[at])
                    QFAIL(qPrintable(QString("run %1: byte %2 changed").arg(run).arg(at)));
                continue;
            }
            const std::size_t i = static_cast<std::size_t>(at / NATION_RECORD_SIZE);
            const char wanted = static_cast<char>(Wanted(i, seed) ? MEMBER_YES : MEMBER_NO);
            if (after[at] != before[at] && after[at] != wanted)
                QFAIL(qPrintable(QString("run %1: membership byte of record %2 is neither old nor new").arg(run).arg(i)));
            if (before[at] != wanted)
                ++(after[at] == wanted ? changed : pending);
        }
        if (changed > 0 && pending > 0)
            ++killedMidWrite;
        before = after;
    }
    qInfo("%d runs, stores taking %lld us: %d finished before the kill, %d killed part way through the stores",
          runs, storeMicros, finished, killedMidWrite);
    // The test is about kills inside the stores: it fails when too few land
    // there to show anything.
    QVERIFY2(killedMidWrite >= aimed / 3, qPrintable(QString("only %1 of %2 aimed kills landed inside the stores")
                                                         .arg(killedMidWrite).arg(aimed)));
}

QTEST_GUILESS_MAIN(TestInterruptedPatch)
#include "tst_interruptedpatch.moc"
