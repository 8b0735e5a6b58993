#include "NationFile.h"
#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>

#include <iconv.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace nationfile;
using namespace testfiles;

namespace {

// glibc's converter as an independent reference for the defined bytes.
QByteArray IconvWindows1252(const QByteArray& input)
{
    iconv_t cd = iconv_open("UTF-8", "WINDOWS-1252");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    QByteArray out(input.size() * 4, '\0');
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char* to = out.data();
    std::size_t outLeft = out.size();
    const std::size_t converted = iconv(cd, &in, &inLeft, &to, &outLeft);
    iconv_close(cd);
    if (converted == static_cast<std::size_t>(-1))
        return {};
    out.resize(out.size() - static_cast<qsizetype>(outLeft));
    return out;
}

long MaxResidentKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

class TestNationFile : public QObject {
    Q_OBJECT

private slots:
    void init();

    void lengthTest_data();
    void lengthTest();
    void readByLength_data();
    void readByLength();
    void names_data();
    void names();
    void namesWithEveryByteValue();
    void membershipOfEveryByteValue();

    void writeRoundTripsEveryByteValue();
    void writeTouchesOnlyMembershipBytes_data();
    void writeTouchesOnlyMembershipBytes();
    void writeEmptyFile();
    void writeRefusesChangedFile_data();
    void writeRefusesChangedFile();

    void unusablePaths_data();
    void unusablePaths();
    void fifoDoesNotHang();
    void symlinkToNationFileReads();
    void readOnlyFileSystem();
    void fileRootCannotWrite();
    void sparseHugeFileRefusedQuickly();

private:
    QString path(const QString& name) const { return dir_->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestNationFile::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestNationFile::lengthTest_data()
{
    QTest::addColumn<qulonglong>("length");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("empty") << 0ull << true;
    QTest::newRow("one byte") << 1ull << false;
    QTest::newRow("289") << 289ull << false;
    QTest::newRow("290") << 290ull << true;
    QTest::newRow("291") << 291ull << false;
    QTest::newRow("two records") << 580ull << true;
    QTest::newRow("largest list") << 290ull * 32767 << true;
    QTest::newRow("beyond 32 bits") << 290ull * 20'000'000 << true;
    QTest::newRow("beyond 32 bits, one short") << 290ull * 20'000'000 - 1 << false;
}

void TestNationFile::lengthTest()
{
    QFETCH(qulonglong, length);
    QFETCH(bool, accepted);
    QCOMPARE(IsNationFileLength(length), accepted);
}

void TestNationFile::readByLength_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<ReadOutcome>("outcome");
    QTest::addColumn<int>("count");
    QTest::newRow("0 bytes") << 0 << ReadOutcome::Read << 0;
    QTest::newRow("289 bytes") << 289 << ReadOutcome::NotNationFile << 0;
    QTest::newRow("290 bytes") << 290 << ReadOutcome::Read << 1;
    QTest::newRow("291 bytes") << 291 << ReadOutcome::NotNationFile << 0;
    QTest::newRow("579 bytes") << 579 << ReadOutcome::NotNationFile << 0;
    QTest::newRow("200 records") << 290 * 200 << ReadOutcome::Read << 200;
    QTest::newRow("32767 records") << 290 * 32767 << ReadOutcome::Read << 32767;
    QTest::newRow("32768 records") << 290 * 32768 << ReadOutcome::TooManyRecords << 0;
}

void TestNationFile::readByLength()
{
    QFETCH(int, length);
    QFETCH(ReadOutcome, outcome);
    QFETCH(int, count);

    QByteArray bytes = MakeNationFile(static_cast<std::size_t>(length) / NATION_RECORD_SIZE + 1);
    bytes.truncate(length);
    QVERIFY(WriteFile(path("Nation.dat"), bytes));

    const ReadResult result = ReadNationFile(Path(path("Nation.dat")));
    QCOMPARE(result.outcome, outcome);
    QCOMPARE(result.entries.size(), static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < result.entries.size(); ++i) {
        if (result.entries[i].name != "Nation " + std::to_string(i))
            QFAIL(qPrintable(QString("entry %1 is out of order").arg(i)));
        QCOMPARE(result.entries[i].member, static_cast<std::uint8_t>(i) == MEMBER_YES);
    }
}

void TestNationFile::names_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << QByteArray("England") << QString("England");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("zero first, text after") << QByteArray("\0Wales", 6) << QString();
    QTest::newRow("cut at first zero") << QByteArray("Ire\0land", 8) << QString("Ire");
    QTest::newRow("spaces kept") << QByteArray("  Malta  ") << QString("  Malta  ");
    QTest::newRow("51 bytes, no zero") << QByteArray(51, 'X') << QString(51, 'X');
    QTest::newRow("52nd byte is not the name's")
        << QByteArray(51, 'Y') + "Z" << QString(51, 'Y');
    QTest::newRow("Windows-1252 letters")
        << QByteArray("C\xF4te d'Ivoire") << QString::fromUtf8("C\u00F4te d'Ivoire");
    QTest::newRow("Windows-1252 punctuation")
        << QByteArray("\x80\x8A\x9F\x99") << QString::fromUtf8("\u20AC\u0160\u0178\u2122");
    QTest::newRow("undefined bytes as Windows decodes them")
        << QByteArray("\x81\x8D\x8F\x90\x9D")
        << QString(QChar(0x81)) + QChar(0x8D) + QChar(0x8F) + QChar(0x90) + QChar(0x9D);
}

void TestNationFile::names()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, name);

    QByteArray record = MakeRecord({}, MEMBER_NO, 7);
    record.replace(NAME_OFFSET, qMin<qsizetype>(field.size(), NAME_LENGTH + 1), field);
    QVERIFY(WriteFile(path("Nation.dat"), record));

    const ReadResult result = ReadNationFile(Path(path("Nation.dat")));
    QCOMPARE(result.outcome, ReadOutcome::Read);
    QCOMPARE(result.entries.size(), 1u);
    QCOMPARE(QString::fromStdString(result.entries[0].name), name);
}

void TestNationFile::namesWithEveryByteValue()
{
    // Bytes 1..255 fill five names of exactly 51 bytes, none with a zero.
    QByteArray file;
    QByteArray all;
    for (int byte = 1; byte <= 255; ++byte)
        all += static_cast<char>(byte);
    for (int i = 0; i < 5; ++i)
        file += MakeRecord(all.mid(i * 51, 51), MEMBER_YES, static_cast<std::uint32_t>(i));
    QVERIFY(WriteFile(path("Nation.dat"), file));

    const ReadResult result = ReadNationFile(Path(path("Nation.dat")));
    QCOMPARE(result.outcome, ReadOutcome::Read);
    QCOMPARE(result.entries.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        const QByteArray utf8 = QByteArray::fromStdString(result.entries[i].name);
        const QString text = QString::fromUtf8(utf8);
        QCOMPARE(text.toUtf8(), utf8); // valid UTF-8: it survives a round trip
        QCOMPARE(text.size(), 51);
        for (int k = 0; k < 51; ++k) {
            const auto byte = static_cast<unsigned char>(all[i * 51 + k]);
            const QString decoded = text.mid(k, 1);
            if (byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D)
                QCOMPARE(decoded, QString(QChar(byte)));
            else
                QCOMPARE(decoded.toUtf8(), IconvWindows1252(QByteArray(1, static_cast<char>(byte))));
        }
    }
}

void TestNationFile::membershipOfEveryByteValue()
{
    QVERIFY(WriteFile(path("Nation.dat"), MakeNationFile(256)));
    const ReadResult result = ReadNationFile(Path(path("Nation.dat")));
    QCOMPARE(result.entries.size(), 256u);
    for (int byte = 0; byte < 256; ++byte)
        QCOMPARE(result.entries[byte].member, byte == 2);
}

void TestNationFile::writeRoundTripsEveryByteValue()
{
    // Every old value meets both new values: records 0..255 hold byte i and
    // are marked, records 256..511 hold byte i again and are not.
    QByteArray original = MakeNationFile(256) + MakeNationFile(256, 99);
    QVERIFY(WriteFile(path("Nation.dat"), original));
    const auto marked = [](std::size_t i) { return i < 256; };

    const WriteResult written = WriteMemberships(Path(path("Nation.dat")), 512, marked);
    QCOMPARE(written.outcome, WriteOutcome::Written);

    const QByteArray after = ReadFile(path("Nation.dat"));
    QCOMPARE(after.size(), original.size());
    for (int i = 0; i < 512; ++i) {
        const qsizetype at = i * NATION_RECORD_SIZE + MEMBER_OFFSET;
        QCOMPARE(static_cast<std::uint8_t>(after[at]), marked(i) ? MEMBER_YES : MEMBER_NO);
        original[at] = after[at];
    }
    QCOMPARE(after, original);

    const ReadResult reread = ReadNationFile(Path(path("Nation.dat")));
    for (std::size_t i = 0; i < 512; ++i)
        QCOMPARE(reread.entries[i].member, marked(i));
}

void TestNationFile::writeTouchesOnlyMembershipBytes_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("pattern");
    QTest::newRow("one record, member") << 1 << 1;
    QTest::newRow("one record, not member") << 1 << 0;
    QTest::newRow("200 records, alternating") << 200 << 2;
    QTest::newRow("32767 records, all members") << 32767 << 1;
    QTest::newRow("32767 records, every third") << 32767 << 3;
}

void TestNationFile::writeTouchesOnlyMembershipBytes()
{
    QFETCH(int, records);
    QFETCH(int, pattern);
    const auto isMember = [pattern](std::size_t i) { return pattern != 0 && i % pattern == 0; };
    const QByteArray original = MakeNationFile(records, 5);
    QVERIFY(WriteFile(path("Nation.dat"), original));
    const ReadResult read = ReadNationFile(Path(path("Nation.dat")));
    const std::vector<std::string> names = NamesOf(read.entries);

    const WriteResult written = WriteMemberships(Path(path("Nation.dat")), records, isMember, names);
    QCOMPARE(written.outcome, WriteOutcome::Written);
    QVERIFY(written.reason.empty());

    const QByteArray after = ReadFile(path("Nation.dat"));
    QCOMPARE(after.size(), original.size());
    for (qsizetype at = 0; at < after.size(); ++at) {
        if (IsMemberOffset(at)) {
            const auto wanted = isMember(at / NATION_RECORD_SIZE) ? MEMBER_YES : MEMBER_NO;
            if (static_cast<std::uint8_t>(after[at]) != wanted)
                QFAIL(qPrintable(QString("membership byte at %1 is wrong").arg(at)));
        } else if (after[at] != original[at]) {
            QFAIL(qPrintable(QString("byte %1 changed").arg(at)));
        }
    }
}

void TestNationFile::writeEmptyFile()
{
    QVERIFY(WriteFile(path("Nation.dat"), {}));
    const WriteResult written = WriteMemberships(Path(path("Nation.dat")), 0, [](std::size_t) { return true; });
    QCOMPARE(written.outcome, WriteOutcome::Written);
    QCOMPARE(QFileInfo(path("Nation.dat")).size(), 0);
}

void TestNationFile::writeRefusesChangedFile_data()
{
    QTest::addColumn<QByteArray>("onDisk");
    QTest::addColumn<int>("expectedRecords");
    QTest::addColumn<bool>("checkNames");

    const QByteArray three = MakeNationFile(3);
    QByteArray renamed = three;
    renamed.replace(NATION_RECORD_SIZE + NAME_OFFSET, 8, "Renamed\0", 8);
    QTest::newRow("grown by a record") << MakeNationFile(4) << 3 << false;
    QTest::newRow("shrunk by a record") << MakeNationFile(2) << 3 << false;
    QTest::newRow("emptied") << QByteArray() << 3 << false;
    QTest::newRow("grown by a byte") << three + "x" << 3 << false;
    QTest::newRow("shrunk by a byte") << three.chopped(1) << 3 << false;
    QTest::newRow("a name replaced") << renamed << 3 << true;
    QTest::newRow("a different nation file") << MakeNationFile(3, 1000).replace("Nation", "Nacion") << 3 << true;
}

void TestNationFile::writeRefusesChangedFile()
{
    QFETCH(QByteArray, onDisk);
    QFETCH(int, expectedRecords);
    QFETCH(bool, checkNames);

    const std::vector<std::string> names = NamesOf(ReadNationFile([&] {
        WriteFile(path("Nation.dat"), MakeNationFile(3));
        return Path(path("Nation.dat"));
    }()).entries);
    QVERIFY(WriteFile(path("Nation.dat"), onDisk));

    const WriteResult written = WriteMemberships(Path(path("Nation.dat")), expectedRecords,
                                                 [](std::size_t) { return true; },
                                                 checkNames ? std::span(names) : std::span<const std::string>());
    QCOMPARE(written.outcome, WriteOutcome::RecordsChanged);
    QVERIFY(!written.reason.empty());
    QCOMPARE(ReadFile(path("Nation.dat")), onDisk);
}

void TestNationFile::unusablePaths_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no such file") << "missing.dat" << QString(std::strerror(ENOENT));
    QTest::newRow("in a missing folder") << "nowhere/Nation.dat" << QString(std::strerror(ENOENT));
    QTest::newRow("a directory") << "folder" << QString(std::strerror(EISDIR));
    QTest::newRow("a dangling symlink") << "dangling" << QString(std::strerror(ENOENT));
    QTest::newRow("a symlink loop") << "loop" << QString(std::strerror(ELOOP));
    QTest::newRow("a device") << "/dev/null" << "Not a regular file";
    QTest::newRow("empty path") << "" << QString(std::strerror(ENOENT));
}

void TestNationFile::unusablePaths()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QVERIFY(QDir(dir_->path()).mkdir("folder"));
    QVERIFY(QFile::link(path("gone.dat"), path("dangling")));
    QVERIFY(QFile::link(path("loop"), path("loop")));
    const QStringList before = QDir(dir_->path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden);
    const std::string target = name.isEmpty() ? std::string() : Path(QDir(dir_->path()).filePath(name));

    const ReadResult read = ReadNationFile(target);
    QCOMPARE(read.outcome, ReadOutcome::FileError);
    QCOMPARE(QString::fromStdString(read.reason), reason);
    QVERIFY(read.entries.empty());

    const WriteResult written = WriteMemberships(target, 0, [](std::size_t) { return true; });
    QCOMPARE(written.outcome, WriteOutcome::FileError);
    QCOMPARE(QString::fromStdString(written.reason), reason);

    QCOMPARE(QDir(dir_->path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden), before);
    QVERIFY(!QFileInfo::exists(path("gone.dat")));
}

void TestNationFile::fifoDoesNotHang()
{
    QVERIFY(mkfifo(QFile::encodeName(path("Nation.dat")).constData(), 0600) == 0);
    QElapsedTimer timer;
    timer.start();
    const ReadResult read = ReadNationFile(Path(path("Nation.dat")));
    const WriteResult written = WriteMemberships(Path(path("Nation.dat")), 0, [](std::size_t) { return true; });
    QVERIFY(timer.elapsed() < 1000);
    QCOMPARE(read.outcome, ReadOutcome::FileError);
    QCOMPARE(read.reason, std::string("Not a regular file"));
    QCOMPARE(written.outcome, WriteOutcome::FileError);
}

void TestNationFile::symlinkToNationFileReads()
{
    QVERIFY(WriteFile(path("Nation.dat"), MakeNationFile(3)));
    QVERIFY(QFile::link(path("Nation.dat"), path("link to nation.dat")));
    const ReadResult read = ReadNationFile(Path(path("link to nation.dat")));
    QCOMPARE(read.outcome, ReadOutcome::Read);
    QCOMPARE(read.entries.size(), 3u);
    const WriteResult written = WriteMemberships(Path(path("link to nation.dat")), 3, [](std::size_t) { return true; });
    QCOMPARE(written.outcome, WriteOutcome::Written);
    QCOMPARE(static_cast<std::uint8_t>(ReadFile(path("Nation.dat"))[MEMBER_OFFSET]), MEMBER_YES);
    QVERIFY(QFileInfo(path("link to nation.dat")).isSymLink());
}

void TestNationFile::readOnlyFileSystem()
{
    const QString source = path("source");
    const QString mounted = path("mounted");
    QVERIFY(QDir().mkpath(source) && QDir().mkpath(mounted));
    const QByteArray original = MakeNationFile(2);
    QVERIFY(WriteFile(source + "/Nation.dat", original));
    const QByteArray at = QFile::encodeName(mounted);
    if (mount(QFile::encodeName(source).constData(), at.constData(), nullptr, MS_BIND, nullptr) != 0)
        QSKIP(qPrintable(QString("a bind mount is not allowed here: ") + std::strerror(errno)));
    const bool readOnly = mount(nullptr, at.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    const std::string file = Path(mounted + "/Nation.dat");
    const ReadResult read = ReadNationFile(file);
    const WriteResult written = WriteMemberships(file, 2, [](std::size_t) { return true; });
    umount(at.constData());
    if (!readOnly)
        QSKIP("a read-only remount is not allowed here");

    QCOMPARE(read.outcome, ReadOutcome::FileError);
    QCOMPARE(read.reason, std::string(std::strerror(EROFS)));
    QCOMPARE(written.outcome, WriteOutcome::FileError);
    QCOMPARE(written.reason, std::string(std::strerror(EROFS)));
    QCOMPARE(ReadFile(source + "/Nation.dat"), original);
}

void TestNationFile::fileRootCannotWrite()
{
    QString target = path("Nation.dat");
    if (geteuid() == 0) {
        // Root writes any file whatever its mode; this one refuses it too.
        target = "/proc/sys/kernel/ostype";
        if (!QFileInfo::exists(target))
            QSKIP("no file here that root cannot open for writing");
    } else {
        QVERIFY(WriteFile(target, MakeNationFile(1)));
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner));
    }
    const QByteArray before = ReadFile(target);
    const ReadResult read = ReadNationFile(Path(target));
    QCOMPARE(read.outcome, ReadOutcome::FileError);
    QCOMPARE(read.reason, std::string(std::strerror(EACCES)));
    const WriteResult written = WriteMemberships(Path(target), 1, [](std::size_t) { return true; });
    QCOMPARE(written.outcome, WriteOutcome::FileError);
    QCOMPARE(written.reason, std::string(std::strerror(EACCES)));
    QCOMPARE(ReadFile(target), before);
}

void TestNationFile::sparseHugeFileRefusedQuickly()
{
    const qint64 length = 290ll * 11'000'000; // about 3.2 GB, a whole number of records
    {
        QFile file(path("Nation.dat"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(length));
    }
    const long residentBefore = MaxResidentKiB();
    QElapsedTimer timer;
    timer.start();
    const ReadResult read = ReadNationFile(Path(path("Nation.dat")));
    const WriteResult written = WriteMemberships(Path(path("Nation.dat")), 11'000'000, [](std::size_t) { return true; });
    QVERIFY2(timer.elapsed() < 500, qPrintable(QString::number(timer.elapsed()) + " ms"));
    QVERIFY(MaxResidentKiB() - residentBefore < 16 * 1024);

    QCOMPARE(read.outcome, ReadOutcome::TooManyRecords);
    QVERIFY(read.entries.empty());
    QCOMPARE(written.outcome, WriteOutcome::RecordsChanged);
    QCOMPARE(QFileInfo(path("Nation.dat")).size(), length);
}

QTEST_GUILESS_MAIN(TestNationFile)
#include "tst_nationfile.moc"
