#include "Editor.h"
#include "FakeView.h"
#include "NationFile.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>

#include <sys/mount.h>
#include <sys/stat.h>

using namespace nationfile;
using namespace testfiles;

namespace {

const std::string kRefused = "This is NOT the Nations.dat file. Pick Again";
const std::string kTooMany = "This file holds too many records to be the Nation.dat file. Pick Again";
const QString kOddFolder = QString::fromUtf8("Saves & $(rm -rf x) 'Spi\u00EBle' \u00D1; *");
const std::string kExitQuestion = "You have not patched the file. Are you sure you want to exit?";

} // namespace

class TestCommands : public QObject {
    Q_OBJECT

private slots:
    void init();

    void formLoad();

    void load_data();
    void load();
    void loadKeepsTicksOfFile();

    void patchBeforeLoad();
    void patchWritesTicks_data();
    void patchWritesTicks();
    void patchRefusesChangedFile_data();
    void patchRefusesChangedFile();
    void patchOnReadOnlyFileSystem();

    void makeAllOnEmptyList();
    void makeAllAfterPatchKeepsPatched();

    void exit_data();
    void exit();

    void launcher();

private:
    QString path(const QString& name) const { return dir_->filePath(name); }
    void loadFile(const QString& name);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<FakeView> view_;
    std::unique_ptr<Editor> editor_;
};

void TestCommands::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QVERIFY(WriteFile(path("three.dat"), MakeNationFile(3)));
    QVERIFY(WriteFile(path("five.dat"), MakeNationFile(5, 50)));
    QVERIFY(WriteFile(path("short.dat"), MakeNationFile(1).left(289)));
    QVERIFY(WriteFile(path("long.dat"), MakeNationFile(1) + "x"));
    QVERIFY(WriteFile(path("empty.dat"), {}));
    QFile huge(path("huge.dat"));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(290ll * 32768));
    huge.close();
    QVERIFY(QDir(dir_->path()).mkdir("folder"));
    QVERIFY(mkfifo(QFile::encodeName(path("fifo")).constData(), 0600) == 0);
    QVERIFY(QDir(dir_->path()).mkdir(kOddFolder));
    QVERIFY(WriteFile(path(kOddFolder + "/Nation.dat"), MakeNationFile(4, 8)));
    QVERIFY(QFile::link(path("three.dat"), path("link.dat")));
    QVERIFY(QFile::link(path("loop.dat"), path("loop.dat")));
    QVERIFY(QFile::link(path("gone.dat"), path("dangling.dat")));
    QFile sparse(path("sparse.dat"));
    QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(290ll * 11'000'000));
    sparse.close();

    view_ = std::make_unique<FakeView>();
    editor_ = std::make_unique<Editor>(*view_);
    editor_->Form_Load();
}

void TestCommands::loadFile(const QString& name)
{
    view_->chosenPaths.push_back(Path(path(name)));
    editor_->cmdLoad_Click();
    QCOMPARE(editor_->State().strFileName, Path(path(name)));
}

void TestCommands::formLoad()
{
    const std::string expected =
        "Elect nations into the European Union by clicking on the tick box next to the country. "
        "This will relax work permit rules when trying to sign players from that country.\r\n\r\n"
        "If you have any quesions regarding this software, feel free to send comments to me at:- \r\n\r\n"
        "    help@example.org\r\n\r\n"
        "Hope you find this software useful\r\n\r\n"
        "Although this program has been fully tested, as always make a backup of the nation.dat file "
        "before use.";
    QCOMPARE(view_->helpText, expected);
    QCOMPARE(editor_->State().strHelpText, expected);
    QVERIFY(editor_->State().blnPatched);
    QVERIFY(editor_->State().strFileName.empty());
    QVERIFY(view_->messages.empty());
}

void TestCommands::load_data()
{
    QTest::addColumn<QString>("previous");      // a file loaded before, or none
    QTest::addColumn<QStringList>("chosen");    // what the dialog answers, "" a cancel
    QTest::addColumn<QStringList>("messages");  // %1 stands for the folder
    QTest::addColumn<QString>("listedFile");    // the file the list shows afterwards
    QTest::addColumn<bool>("patched");

    const QString missing = "Cannot load the file \"%1/missing.dat\": " + QString(std::strerror(ENOENT)) + ".";
    const QString folder = "Cannot load the file \"%1/folder\": " + QString(std::strerror(EISDIR)) + ".";
    const QString fifo = "Cannot load the file \"%1/fifo\": Not a regular file.";
    const QString refused = QString::fromStdString(kRefused);

    QTest::newRow("a nation file") << "" << QStringList{"three.dat"} << QStringList{} << "three.dat" << false;
    QTest::newRow("a file of no records") << "" << QStringList{"empty.dat"} << QStringList{} << "empty.dat" << false;
    QTest::newRow("289 bytes, then a nation file")
        << "" << QStringList{"short.dat", "three.dat"} << QStringList{refused} << "three.dat" << false;
    QTest::newRow("refused again and again")
        << "" << QStringList{"short.dat", "long.dat", "short.dat", "five.dat"}
        << QStringList{refused, refused, refused} << "five.dat" << false;
    QTest::newRow("too many records")
        << "" << QStringList{"huge.dat", "three.dat"} << QStringList{QString::fromStdString(kTooMany)}
        << "three.dat" << false;
    QTest::newRow("no such file") << "" << QStringList{"missing.dat", "three.dat"} << QStringList{missing}
                                  << "three.dat" << false;
    QTest::newRow("a folder") << "" << QStringList{"folder", "three.dat"} << QStringList{folder} << "three.dat"
                              << false;
    QTest::newRow("spaces, non-ASCII letters and shell metacharacters in the path")
        << "" << QStringList{kOddFolder + "/Nation.dat"} << QStringList{} << kOddFolder + "/Nation.dat" << false;
    QTest::newRow("a symlink to a nation file") << "" << QStringList{"link.dat"} << QStringList{} << "link.dat"
                                                << false;
    QTest::newRow("a symlink loop")
        << "" << QStringList{"loop.dat", ""}
        << QStringList{"Cannot load the file \"%1/loop.dat\": " + QString(std::strerror(ELOOP)) + "."} << ""
        << true;
    QTest::newRow("a dangling symlink")
        << "" << QStringList{"dangling.dat", ""}
        << QStringList{"Cannot load the file \"%1/dangling.dat\": " + QString(std::strerror(ENOENT)) + "."} << ""
        << true;
    QTest::newRow("a sparse file of 3 GB")
        << "" << QStringList{"sparse.dat", ""} << QStringList{QString::fromStdString(kTooMany)} << "" << true;
    QTest::newRow("a FIFO, then cancel") << "" << QStringList{"fifo", ""} << QStringList{fifo} << "" << true;
    QTest::newRow("cancel first") << "" << QStringList{""} << QStringList{} << "" << true;
    QTest::newRow("refused, then cancel") << "" << QStringList{"long.dat", ""} << QStringList{refused} << ""
                                          << true;
    QTest::newRow("second load replaces the first")
        << "three.dat" << QStringList{"five.dat"} << QStringList{} << "five.dat" << false;
    QTest::newRow("cancel keeps the loaded file")
        << "three.dat" << QStringList{""} << QStringList{} << "three.dat" << false;
    QTest::newRow("refused, then cancel keeps the loaded file")
        << "three.dat" << QStringList{"short.dat", ""} << QStringList{refused} << "three.dat" << false;
    QTest::newRow("unreadable, then cancel keeps the loaded file")
        << "five.dat" << QStringList{"missing.dat", ""} << QStringList{missing} << "five.dat" << false;
}

void TestCommands::load()
{
    QFETCH(QString, previous);
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, messages);
    QFETCH(QString, listedFile);
    QFETCH(bool, patched);

    if (!previous.isEmpty()) {
        loadFile(previous);
        view_->dialogTitles.clear();
        view_->dialogFilters.clear();
    }
    for (const QString& name : chosen)
        view_->chosenPaths.push_back(name.isEmpty() ? std::string() : Path(path(name)));

    editor_->cmdLoad_Click();

    QVERIFY(view_->chosenPaths.empty());
    QCOMPARE(view_->dialogTitles.size(), static_cast<std::size_t>(chosen.size()));
    for (std::size_t i = 0; i < view_->dialogTitles.size(); ++i) {
        QCOMPARE(view_->dialogTitles[i], std::string("Locate your Nation.dat file"));
        QCOMPARE(view_->dialogFilters[i], std::string("Nation Database | Nation.dat"));
    }
    QCOMPARE(view_->messages.size(), static_cast<std::size_t>(messages.size()));
    for (qsizetype i = 0; i < messages.size(); ++i) {
        QCOMPARE(QString::fromStdString(view_->messages[i].text), QString(messages[i]).replace("%1", dir_->path()));
        QCOMPARE(view_->messages[i].title, std::string("ERROR"));
        QCOMPARE(view_->messages[i].buttons, MessageButtons::Ok);
    }

    QCOMPARE(editor_->State().blnPatched, patched);
    if (listedFile.isEmpty()) {
        QVERIFY(editor_->State().strFileName.empty());
        QVERIFY(view_->entries.empty());
        return;
    }
    QCOMPARE(editor_->State().strFileName, Path(path(listedFile)));
    const ReadResult onDisk = ReadNationFile(Path(path(listedFile)));
    QCOMPARE(view_->entries.size(), onDisk.entries.size());
    for (std::size_t i = 0; i < onDisk.entries.size(); ++i) {
        QCOMPARE(view_->entries[i].text, onDisk.entries[i].name);
        QCOMPARE(view_->entries[i].ticked, onDisk.entries[i].member);
    }
}

void TestCommands::loadKeepsTicksOfFile()
{
    // Membership bytes 0..255 in file order: only the entry whose byte is 2
    // starts ticked.
    QVERIFY(WriteFile(path("Nation.dat"), MakeNationFile(256)));
    loadFile("Nation.dat");
    QCOMPARE(view_->entries.size(), 256u);
    for (std::size_t i = 0; i < 256; ++i)
        QCOMPARE(view_->entries[i].ticked, i == MEMBER_YES);
}

void TestCommands::patchBeforeLoad()
{
    editor_->cmdPatch_Click();
    QCOMPARE(view_->messages.size(), 1u);
    QCOMPARE(view_->messages[0].text, std::string("Please load Nation.dat first"));
    QCOMPARE(view_->messages[0].title, std::string("ERROR"));
    QVERIFY(editor_->State().blnPatched);
    QVERIFY(editor_->State().strFileName.empty());
}

void TestCommands::patchWritesTicks_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("edit");
    QTest::newRow("as loaded") << 40 << "none";
    QTest::newRow("some toggled") << 40 << "toggle every third";
    QTest::newRow("all members") << 40 << "make all";
    QTest::newRow("none members") << 40 << "untick all";
    QTest::newRow("no records") << 0 << "make all";
}

void TestCommands::patchWritesTicks()
{
    QFETCH(int, records);
    QFETCH(QString, edit);
    const QByteArray original = MakeNationFile(records, 3);
    QVERIFY(WriteFile(path("Nation.dat"), original));
    loadFile("Nation.dat");

    if (edit == "toggle every third") {
        for (std::size_t i = 0; i < view_->entries.size(); i += 3)
            view_->entries[i].ticked = !view_->entries[i].ticked;
    } else if (edit == "make all") {
        editor_->cmdAllEEC_Click();
    } else if (edit == "untick all") {
        for (auto& entry : view_->entries)
            entry.ticked = false;
    }
    QVERIFY(!editor_->State().blnPatched);

    editor_->cmdPatch_Click();

    QCOMPARE(view_->messages.size(), 1u);
    QCOMPARE(view_->messages[0].text, std::string("File Patched Succesfully"));
    QCOMPARE(view_->messages[0].title, std::string("SUCCESS"));
    QVERIFY(editor_->State().blnPatched);
    const QByteArray after = ReadFile(path("Nation.dat"));
    QCOMPARE(after.size(), original.size());
    for (qsizetype at = 0; at < after.size(); ++at) {
        if (!IsMemberOffset(at)) {
            QCOMPARE(after[at], original[at]);
            continue;
        }
        const bool ticked = view_->entries[static_cast<std::size_t>(at / NATION_RECORD_SIZE)].ticked;
        QCOMPARE(static_cast<std::uint8_t>(after[at]), ticked ? MEMBER_YES : MEMBER_NO);
        if (edit == "make all")
            QCOMPARE(static_cast<std::uint8_t>(after[at]), MEMBER_YES);
    }
}

void TestCommands::patchRefusesChangedFile_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("message"); // %1 stands for the file's path

    const QString changed = "The file \"%1\" has changed since it was loaded. Nothing was written: please "
                            "load Nation.dat again.";
    QTest::newRow("grown by a record") << "grow" << changed;
    QTest::newRow("shrunk by a record") << "shrink" << changed;
    QTest::newRow("grown by a byte") << "add byte" << changed;
    QTest::newRow("a nation renamed") << "rename" << changed;
    QTest::newRow("replaced by another nation file") << "replace" << changed;
    QTest::newRow("deleted") << "delete"
                             << "The file \"%1\" could not be patched: " + QString(std::strerror(ENOENT)) + ".";
}

void TestCommands::patchRefusesChangedFile()
{
    QFETCH(QString, change);
    QFETCH(QString, message);
    QVERIFY(WriteFile(path("Nation.dat"), MakeNationFile(10)));
    loadFile("Nation.dat");
    editor_->cmdAllEEC_Click();

    QByteArray changedFile = MakeNationFile(10);
    if (change == "grow")
        changedFile = MakeNationFile(11);
    else if (change == "shrink")
        changedFile = MakeNationFile(9);
    else if (change == "add byte")
        changedFile += '\0';
    else if (change == "rename")
        changedFile.replace(3 * NATION_RECORD_SIZE + NAME_OFFSET, 7, "Albania");
    else if (change == "replace")
        changedFile = MakeNationFile(10, 77).replace("Nation", "Country");
    if (change == "delete")
        QVERIFY(QFile::remove(path("Nation.dat")));
    else
        QVERIFY(WriteFile(path("Nation.dat"), changedFile));

    editor_->cmdPatch_Click();

    QCOMPARE(view_->messages.size(), 1u);
    QCOMPARE(view_->messages[0].title, std::string("ERROR"));
    QCOMPARE(QString::fromStdString(view_->messages[0].text), message.arg(path("Nation.dat")));
    QVERIFY(!editor_->State().blnPatched);
    if (change == "delete")
        QVERIFY(!QFileInfo::exists(path("Nation.dat")));
    else
        QCOMPARE(ReadFile(path("Nation.dat")), changedFile);
}

void TestCommands::patchOnReadOnlyFileSystem()
{
    const QString mounted = path("mounted");
    QVERIFY(QDir().mkpath(mounted));
    QVERIFY(WriteFile(mounted + "/Nation.dat", MakeNationFile(4)));
    view_->chosenPaths.push_back(Path(mounted + "/Nation.dat"));
    editor_->cmdLoad_Click();
    QCOMPARE(view_->entries.size(), 4u);
    editor_->cmdAllEEC_Click();

    const QByteArray at = QFile::encodeName(mounted);
    if (mount(at.constData(), at.constData(), nullptr, MS_BIND, nullptr) != 0)
        QSKIP(qPrintable(QString("a bind mount is not allowed here: ") + std::strerror(errno)));
    if (mount(nullptr, at.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        umount(at.constData());
        QSKIP("a read-only remount is not allowed here");
    }
    editor_->cmdPatch_Click();
    umount(at.constData());

    QCOMPARE(view_->messages.size(), 1u);
    QCOMPARE(view_->messages[0].title, std::string("ERROR"));
    QCOMPARE(QString::fromStdString(view_->messages[0].text),
             "The file \"" + mounted + "/Nation.dat\" could not be patched: " + std::strerror(EROFS) + ".");
    QVERIFY(!editor_->State().blnPatched);
    QCOMPARE(ReadFile(mounted + "/Nation.dat"), MakeNationFile(4));
}

void TestCommands::makeAllOnEmptyList()
{
    editor_->cmdAllEEC_Click();
    QVERIFY(view_->entries.empty());
    QVERIFY(view_->messages.empty());
    QVERIFY(editor_->State().blnPatched);

    loadFile("empty.dat");
    editor_->cmdAllEEC_Click();
    QVERIFY(view_->entries.empty());
    QVERIFY(!editor_->State().blnPatched);
}

void TestCommands::makeAllAfterPatchKeepsPatched()
{
    loadFile("five.dat");
    editor_->cmdPatch_Click();
    QVERIFY(editor_->State().blnPatched);
    const QByteArray patched = ReadFile(path("five.dat"));

    editor_->cmdAllEEC_Click();
    for (const auto& entry : view_->entries)
        QVERIFY(entry.ticked);
    QVERIFY(editor_->State().blnPatched);
    QCOMPARE(ReadFile(path("five.dat")), patched);
    editor_->cmdExit_Click();
    QVERIFY(view_->ended);
    QCOMPARE(view_->messages.size(), 1u); // the patch's confirmation only
}

void TestCommands::exit_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("answer"); // -1: no question expected
    QTest::addColumn<bool>("ends");
    QTest::newRow("right after start") << "" << -1 << true;
    QTest::newRow("after a load, No") << "load" << int(MessageAnswer::No) << false;
    QTest::newRow("after a load, Yes") << "load" << int(MessageAnswer::Yes) << true;
    QTest::newRow("after loading no records, Yes") << "load empty" << int(MessageAnswer::Yes) << true;
    QTest::newRow("after a refused file and a cancel") << "refused" << -1 << true;
    QTest::newRow("after a patch") << "patch" << -1 << true;
    QTest::newRow("after a patch and new ticks") << "patch, tick" << -1 << true;
    QTest::newRow("after a refused patch, No") << "failed patch" << int(MessageAnswer::No) << false;
}

void TestCommands::exit()
{
    QFETCH(QString, before);
    QFETCH(int, answer);
    QFETCH(bool, ends);

    if (before.startsWith("load") || before.contains("patch"))
        loadFile(before == "load empty" ? "empty.dat" : "three.dat");
    if (before == "refused") {
        view_->chosenPaths = {Path(path("short.dat")), ""};
        editor_->cmdLoad_Click();
    }
    if (before.startsWith("patch"))
        editor_->cmdPatch_Click();
    if (before == "patch, tick")
        view_->entries[0].ticked = !view_->entries[0].ticked;
    if (before == "failed patch") {
        QVERIFY(QFile::remove(path("three.dat")));
        editor_->cmdPatch_Click();
    }
    const std::size_t messagesBefore = view_->messages.size();
    const auto entriesBefore = view_->entries.size();
    if (answer >= 0)
        view_->answers.push_back(static_cast<MessageAnswer>(answer));

    editor_->cmdExit_Click();

    QCOMPARE(view_->ended, ends);
    if (answer < 0) {
        QCOMPARE(view_->messages.size(), messagesBefore);
        return;
    }
    QCOMPARE(view_->messages.size(), messagesBefore + 1);
    QCOMPARE(view_->messages.back().text, kExitQuestion);
    QCOMPARE(view_->messages.back().title, std::string()); // the application's title stands there
    QCOMPARE(view_->messages.back().buttons, MessageButtons::YesNo);
    QVERIFY(!editor_->State().blnPatched);
    QCOMPARE(view_->entries.size(), entriesBefore);
}

void TestCommands::launcher()
{
    loadFile("three.dat");
    const EditorState before = editor_->State();
    editor_->cmdEMail_Click();
    editor_->cmdURL_Click();
    QCOMPARE(view_->launched, (std::vector<std::string>{"mailto:nation-editor@example.org",
                                                        "https://www.example.org/"}));
    QVERIFY(view_->helpText.find("nation-editor@example.org") == std::string::npos);
    QVERIFY(view_->messages.empty());
    QVERIFY(!view_->ended);
    QCOMPARE(editor_->State().strFileName, before.strFileName);
    QCOMPARE(editor_->State().blnPatched, before.blnPatched);
}

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
