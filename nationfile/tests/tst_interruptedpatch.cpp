#include "NationFile.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace nationfile;
using namespace testfiles;

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

    const int runs = qEnvironmentVariableIntValue("INTERRUPTED_PATCH_RUNS") > 0
                         ? qEnvironmentVariableIntValue("INTERRUPTED_PATCH_RUNS") : 300;
    QRandomGenerator random(20261207);
    QByteArray before = original;
    int killedMidWrite = 0;
    int finished = 0;
    for (int run = 0; run < runs; ++run) {
        const unsigned seed = static_cast<unsigned>(run + 1);
        QProcess child;
        child.start(PATCH_CHILD, {path, QString::number(MAX_NATION_RECORDS), QString::number(seed)});
        QVERIFY(child.waitForStarted());
        // Starting the child and a whole patch of this file take some 5 to
        // 10 ms here; the kills spread over that and a little beyond.
        QThread::usleep(random.bounded(12000u));
        child.kill();
        QVERIFY(child.waitForFinished());
        if (child.exitStatus() == QProcess::NormalExit) {
            QCOMPARE(child.exitCode(), 0);
            ++finished;
        }

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
            const char wanted = static_cast<char>(((i * 2654435761u) ^ seed) % 3 == 0 ? MEMBER_YES : MEMBER_NO);
            if (after[at] != before[at] && after[at] != wanted)
                QFAIL(qPrintable(QString("run %1: membership byte of record %2 is neither old nor new").arg(run).arg(i)));
            if (before[at] != wanted)
                ++(after[at] == wanted ? changed : pending);
        }
        if (changed > 0 && pending > 0)
            ++killedMidWrite;
        before = after;
    }
    qInfo("%d runs: %d finished before the kill, %d killed part way through the stores", runs, finished,
          killedMidWrite);
}

QTEST_GUILESS_MAIN(TestInterruptedPatch)
#include "tst_interruptedpatch.moc"
