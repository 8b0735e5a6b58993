#include "NationFile.h"
#include "TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace nationfile;
using namespace testfiles;

class TestSample : public QObject {
    Q_OBJECT

private slots:
    void sampleIsANationFile_data();
    void sampleIsANationFile();
    void sampleIsTheSameEveryTime();

private:
    QByteArray makeSample(const QString& path);
};

QByteArray TestSample::makeSample(const QString& path)
{
    QProcess maker;
    maker.start(MAKE_SAMPLE, {path});
    if (!maker.waitForFinished() || maker.exitCode() != 0)
        return {};
    return ReadFile(path);
}

void TestSample::sampleIsANationFile_data()
{
    QTest::addColumn<QString>("nation");
    QTest::addColumn<bool>("member");
    QTest::newRow("England") << "England" << true;
    QTest::newRow("Scotland") << "Scotland" << true;
    QTest::newRow("Wales") << "Wales" << true;
    QTest::newRow("Northern Ireland") << "Northern Ireland" << true;
    QTest::newRow("Republic of Ireland") << "Republic of Ireland" << true;
    QTest::newRow("Luxembourg") << "Luxembourg" << true;
    QTest::newRow("Holland") << "Holland" << true;
    QTest::newRow("Norway") << "Norway" << false;
    QTest::newRow("Switzerland") << "Switzerland" << false;
    QTest::newRow("Poland, not yet a member in 1999") << "Poland" << false;
    QTest::newRow("Côte d'Ivoire") << QString::fromUtf8("C\u00F4te d'Ivoire") << false;
    QTest::newRow("São Tomé e Príncipe") << QString::fromUtf8("S\u00E3o Tom\u00E9 e Pr\u00EDncipe") << false;
}

void TestSample::sampleIsANationFile()
{
    QFETCH(QString, nation);
    QFETCH(bool, member);
    QTemporaryDir dir;
    const QByteArray bytes = makeSample(dir.filePath("Nation.dat"));
    QVERIFY(!bytes.isEmpty());
    QVERIFY(IsNationFileLength(static_cast<std::uint64_t>(bytes.size())));

    const ReadResult read = ReadNationFile(Path(dir.filePath("Nation.dat")));
    QCOMPARE(read.outcome, ReadOutcome::Read);
    QVERIFY(read.entries.size() > 80);
    int members = 0;
    const NationEntry* found = nullptr;
    for (const NationEntry& entry : read.entries) {
        members += entry.member;
        if (QString::fromStdString(entry.name) == nation)
            found = &entry;
    }
    QVERIFY2(found != nullptr, qPrintable(nation));
    QCOMPARE(found->member, member);
    // The fifteen members of 1999, the United Kingdom as its four nations.
    QCOMPARE(members, 18);
    for (std::size_t i = 0; i < read.entries.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(bytes[static_cast<qsizetype>(i * NATION_RECORD_SIZE + MEMBER_OFFSET)]);
        QVERIFY(byte == MEMBER_YES || byte == MEMBER_NO);
    }
}

void TestSample::sampleIsTheSameEveryTime()
{
    QTemporaryDir dir;
    const QByteArray first = makeSample(dir.filePath("a.dat"));
    QVERIFY(!first.isEmpty());
    QCOMPARE(makeSample(dir.filePath("b.dat")), first);
}

QTEST_GUILESS_MAIN(TestSample)
#include "tst_sample.moc"
