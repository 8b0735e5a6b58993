// The commands through a fake view, on every platform.
#include "CommandsFixture.h"
#include "Skip.h"
#include "VirtualStore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include "Win32Calls.h"

#include <windows.h>
#elif !defined(__EMSCRIPTEN__)
#include <sys/mount.h>
#endif

using namespace nationfile;
using namespace testfiles;
namespace fs = std::filesystem;

TEST_CASE_FIXTURE(Fixture, "start-up shows the help text and counts as patched")
{
    const std::string expected =
        "Elect nations into the European Union by clicking on the tick box next to the country. "
        "This will relax work permit rules when trying to sign players from that country.\r\n\r\n"
        "If you have any quesions regarding this software, feel free to send comments to me at:- \r\n\r\n"
        "    help@example.org\r\n\r\n"
        "Hope you find this software useful\r\n\r\n"
        "Although this program has been fully tested, as always make a backup of the nation.dat file "
        "before use.";
    CHECK(view.helpText == expected);
    CHECK(editor->State().strHelpText == expected);
    CHECK(editor->State().blnPatched);
    CHECK(editor->State().strFileName.empty());
    CHECK(view.messages.empty());
}

TEST_CASE("a load asks until it gets a nation file, and a cancel leaves the list as it was")
{
    struct Row {
        std::string row;
        std::string previous;                      // a file loaded before, or none
        std::vector<std::string> chosen;           // what the dialog answers, "" a cancel
        std::vector<std::string> messagesFor;      // "refused", "too many", or a file that can't be loaded
        std::string listedFile;                    // the file the list shows afterwards
        bool patched;
    };
    const std::vector<Row> rows = {
        {"a nation file", "", {"three.dat"}, {}, "three.dat", false},
        {"a file of no records", "", {"empty.dat"}, {}, "empty.dat", false},
        {"a file of one record", "", {"one.dat"}, {}, "one.dat", false},
        {"289 bytes, then a nation file", "", {"short.dat", "three.dat"}, {"refused"}, "three.dat", false},
        {"refused again and again", "", {"short.dat", "long.dat", "short.dat", "five.dat"},
         {"refused", "refused", "refused"}, "five.dat", false},
        {"too many records", "", {"huge.dat", "three.dat"}, {"too many"}, "three.dat", false},
        {"no such file", "", {"missing.dat", "three.dat"}, {"missing.dat"}, "three.dat", false},
        {"a folder", "", {"folder", "three.dat"}, {"folder"}, "three.dat", false},
        {"spaces, non-ASCII letters and shell metacharacters in the path", "", {kOddFolder + "/Nation.dat"}, {},
         kOddFolder + "/Nation.dat", false},
        {"a sparse file of 3 GB", "", {"sparse.dat", ""}, {"too many"}, "", true},
        {"cancel first", "", {""}, {}, "", true},
        {"refused, then cancel", "", {"long.dat", ""}, {"refused"}, "", true},
        {"second load replaces the first", "three.dat", {"five.dat"}, {}, "five.dat", false},
        {"cancel keeps the loaded file", "three.dat", {""}, {}, "three.dat", false},
        {"refused, then cancel keeps the loaded file", "three.dat", {"short.dat", ""}, {"refused"}, "three.dat",
         false},
        {"unreadable, then cancel keeps the loaded file", "five.dat", {"missing.dat", ""}, {"missing.dat"},
         "five.dat", false},
#ifndef _WIN32
        {"a symlink to a nation file", "", {"link.dat"}, {}, "link.dat", false},
        {"a symlink loop", "", {"loop.dat", ""}, {"loop.dat"}, "", true},
        {"a dangling symlink", "", {"dangling.dat", ""}, {"dangling.dat"}, "", true},
#endif
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
        {"a FIFO, then cancel", "", {"fifo", ""}, {"fifo"}, "", true},
#endif
    };
    for (const Row& row : rows) {
        INFO(row.row);
        Fixture f;
        if (!row.previous.empty()) {
            f.Load(row.previous);
            f.view.dialogTitles.clear();
            f.view.dialogFilters.clear();
            f.view.statuses.clear();
        }
        for (const std::string& name : row.chosen)
            f.view.chosenPaths.push_back(name.empty() ? std::string() : f.PathOf(name));

        f.editor->cmdLoad_Click();

        CHECK(f.view.chosenPaths.empty());
        REQUIRE(f.view.dialogTitles.size() == row.chosen.size());
        for (std::size_t i = 0; i < f.view.dialogTitles.size(); ++i) {
            CHECK(f.view.dialogTitles[i] == "Locate your Nation.dat file");
            CHECK(f.view.dialogFilters[i] == "Nation Database | Nation.dat");
        }
        REQUIRE(f.view.messages.size() == row.messagesFor.size());
        for (std::size_t i = 0; i < row.messagesFor.size(); ++i) {
            const std::string& what = row.messagesFor[i];
            CHECK(f.view.messages[i].text
                  == (what == "refused" ? kRefused : what == "too many" ? kTooMany : f.CannotLoad(what)));
            CHECK(f.view.messages[i].title == "ERROR");
            CHECK(f.view.messages[i].buttons == MessageButtons::Ok);
        }

        CHECK(f.editor->State().blnPatched == row.patched);
        if (row.listedFile.empty()) {
            CHECK(f.editor->State().strFileName.empty());
            CHECK((f.view.nations.NationCount() == 0));
            CHECK(f.view.statuses.empty());
            continue;
        }
        CHECK(f.editor->State().strFileName == f.PathOf(row.listedFile));
        const ReadResult onDisk = ReadNationFile(f.PathOf(row.listedFile));
        // Each load told once; a refusal or a cancel tells none.
        CHECK(f.view.statuses.size() == (row.listedFile == row.previous ? 0u : 1u));
        REQUIRE(f.view.nations.NationCount() == onDisk.entries.size());
        for (std::size_t i = 0; i < onDisk.entries.size(); ++i) {
            CHECK(f.view.nations.Name(i) == onDisk.entries[i].name);
            CHECK(f.view.nations.IsNationTicked(i) == onDisk.entries[i].member);
        }
    }
}

TEST_CASE_FIXTURE(Fixture, "a load ticks exactly the nations whose byte is 2")
{
    REQUIRE(WriteFile(dir / "Nation.dat", MakeNationFile(256)));
    Load("Nation.dat");
    REQUIRE(view.nations.NationCount() == 256);
    for (std::size_t i = 0; i < 256; ++i)
        CHECK(view.nations.IsNationTicked(i) == (i == MEMBER_YES));
}

TEST_CASE_FIXTURE(Fixture, "a patch before any load writes nothing")
{
    editor->cmdPatch_Click();
    REQUIRE(view.messages.size() == 1);
    CHECK(view.messages[0].text == "Please load Nation.dat first");
    CHECK(view.messages[0].title == "ERROR");
    CHECK(editor->State().blnPatched);
    CHECK(editor->State().strFileName.empty());
}

TEST_CASE("a patch writes the ticks and nothing else")
{
    struct Row {
        std::string row;
        std::size_t records;
        std::string edit;
    };
    const Row rows[] = {
        {"as loaded", 40, "none"},
        {"some toggled", 40, "toggle every third"},
        {"all members", 40, "make all"},
        {"none members", 40, "untick all"},
        {"no records", 0, "make all"},
    };
    for (const Row& row : rows) {
        INFO(row.row);
        Fixture f;
        const Bytes original = MakeNationFile(row.records, 3);
        REQUIRE(WriteFile(f.dir / "Nation.dat", original));
        f.Load("Nation.dat");

        if (row.edit == "toggle every third") {
            for (std::size_t i = 0; i < f.view.nations.NationCount(); i += 3)
                f.view.nations.ToggleNation(i);
        } else if (row.edit == "make all") {
            f.editor->cmdAllEEC_Click();
        } else if (row.edit == "untick all") {
            for (std::size_t i = 0; i < f.view.nations.NationCount(); ++i)
                f.view.nations.SetNationTicked(i, false);
        }
        CHECK(!f.editor->State().blnPatched);

        f.editor->cmdPatch_Click();

        REQUIRE(f.view.messages.size() == 1);
        CHECK(f.view.messages[0].text == "File Patched Succesfully");
        CHECK(f.view.messages[0].title == "SUCCESS");
        CHECK(f.editor->State().blnPatched);
        const Bytes after = ReadFile(f.dir / "Nation.dat");
        REQUIRE(after.size() == original.size());
        for (std::size_t at = 0; at < after.size(); ++at) {
            if (!IsMemberOffset(at)) {
                CHECK(after[at] == original[at]);
                continue;
            }
            const bool ticked = f.view.nations.IsNationTicked(at / NATION_RECORD_SIZE);
            CHECK(static_cast<std::uint8_t>(after[at]) == (ticked ? MEMBER_YES : MEMBER_NO));
            if (row.edit == "make all")
                CHECK(static_cast<std::uint8_t>(after[at]) == MEMBER_YES);
        }
    }
}

TEST_CASE("a patch refuses a file that changed since the load, and writes nothing")
{
    const std::string changed
        = "\" has changed since it was loaded. Nothing was written: please load Nation.dat again.";
    // A membership byte changed by another program (or another editor's
    // patch) since the load would be set back silently: refused too, even
    // when it holds what this patch would write.
    const std::string rows[] = {"grow", "shrink", "add byte", "rename", "replace", "delete",
                                "a non-member's byte 1 to 0", "a membership byte to 2, as the patch would"};
    for (const std::string& change : rows) {
        INFO(change);
        Fixture f;
        const std::string nation = f.PathOf("Nation.dat");
        REQUIRE(WriteFile(nation, MakeNationFile(10)));
        f.Load("Nation.dat");
        f.editor->cmdAllEEC_Click();

        Bytes changedFile = MakeNationFile(10);
        if (change == "grow")
            changedFile = MakeNationFile(11);
        else if (change == "shrink")
            changedFile = MakeNationFile(9);
        else if (change == "add byte")
            changedFile += '\0';
        else if (change == "rename")
            changedFile.replace(3 * NATION_RECORD_SIZE + NAME_OFFSET, 7, "Albania");
        else if (change == "replace")
            changedFile = MakeNationFile(10, 77).replace(NAME_OFFSET, 6, "Nacion");
        else if (change == "a non-member's byte 1 to 0")
            changedFile[1 * NATION_RECORD_SIZE + MEMBER_OFFSET] = 0;
        else if (change == "a membership byte to 2, as the patch would")
            changedFile[5 * NATION_RECORD_SIZE + MEMBER_OFFSET] = static_cast<char>(MEMBER_YES);
        if (change == "delete")
            REQUIRE(fs::remove(f.dir / "Nation.dat"));
        else
            REQUIRE(WriteFile(nation, changedFile));

        f.editor->cmdPatch_Click();

        REQUIRE(f.view.messages.size() == 1);
        CHECK(f.view.messages[0].title == "ERROR");
        if (change == "delete") {
            CHECK(f.view.messages[0].text
                  == "The file \"" + PathAsShown(nation) + "\" could not be patched: " + ReadNationFile(nation).reason
                         + ".");
            CHECK(!fs::exists(f.dir / "Nation.dat"));
        } else {
            CHECK(f.view.messages[0].text == "The file \"" + PathAsShown(nation) + changed);
            CHECK(ReadFile(nation) == changedFile);
        }
        CHECK(!f.editor->State().blnPatched);
        CHECK(!fs::exists(f.dir / "Nation.dat.bak"));
    }
}

TEST_CASE("two editors on one file: a patch never undoes the other's, and its own patches go on")
{
    Fixture f;
    const std::string nation = f.PathOf("Nation.dat");
    REQUIRE(WriteFile(nation, MakeRecord("Albania", 1) + MakeRecord("Algeria", 1) + MakeRecord("Andorra", 1)));
    f.Load("Nation.dat");
    FakeView otherView;
    Editor other(otherView);
    otherView.chosenPaths.push_back(nation);
    other.cmdLoad_Click();

    otherView.nations.SetNationTicked(0, true);
    other.cmdPatch_Click();
    REQUIRE(otherView.messages.back().title == "SUCCESS");
    f.view.nations.SetNationTicked(1, true);
    f.editor->cmdPatch_Click();
    CHECK(f.view.messages.back().title == "ERROR");
    CHECK(ReadNationFile(nation).memberBytes == std::vector<std::uint8_t> {MEMBER_YES, MEMBER_NO, MEMBER_NO});

    // The other editor's bytes are its own: it patches again, and this one
    // after a new load.
    otherView.nations.SetNationTicked(2, true);
    other.cmdPatch_Click();
    CHECK(otherView.messages.back().title == "SUCCESS");
    f.Load("Nation.dat");
    f.view.nations.SetNationTicked(1, true);
    f.editor->cmdPatch_Click();
    CHECK(f.view.messages.back().title == "SUCCESS");
    CHECK(ReadNationFile(nation).memberBytes == std::vector<std::uint8_t> {MEMBER_YES, MEMBER_YES, MEMBER_YES});
}

// Node has no mount.
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
TEST_CASE_FIXTURE(Fixture, "a file on a read-only file system is listed; its patch says why and changes nothing"
                  * doctest::test_suite("skippable"))
{
    const fs::path mounted = dir / "mounted";
    fs::create_directories(mounted);
    REQUIRE(WriteFile(mounted / "Nation.dat", MakeNationFile(4)));
    if (mount(mounted.c_str(), mounted.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        testing::Skip(std::string("a bind mount is not allowed here: ") + std::strerror(errno));
        return;
    }
    if (mount(nullptr, mounted.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        umount(mounted.c_str());
        testing::Skip("a read-only remount is not allowed here");
        return;
    }
    view.chosenPaths.push_back(Utf8(mounted / "Nation.dat"));
    editor->cmdLoad_Click();
    CHECK(view.messages.empty());
    CHECK(view.nations.NationCount() == 4);
    editor->cmdAllEEC_Click();
    editor->cmdPatch_Click();
    const bool backupMade = fs::exists(mounted / "Nation.dat.bak");
    umount(mounted.c_str());

    CHECK(!backupMade);
    REQUIRE(view.messages.size() == 1);
    CHECK(view.messages[0].title == "ERROR");
    CHECK(view.messages[0].text
          == "The file \"" + Utf8(mounted / "Nation.dat") + "\" could not be patched: " + std::strerror(EROFS) + ".");
    CHECK(!editor->State().blnPatched);
    CHECK(ReadFile(mounted / "Nation.dat") == MakeNationFile(4));
}
#endif

TEST_CASE_FIXTURE(Fixture, "make all on an empty list does nothing")
{
    editor->cmdAllEEC_Click();
    CHECK((view.nations.NationCount() == 0));
    CHECK(view.messages.empty());
    CHECK(editor->State().blnPatched);

    Load("empty.dat");
    editor->cmdAllEEC_Click();
    CHECK((view.nations.NationCount() == 0));
    CHECK(!editor->State().blnPatched);
}

TEST_CASE_FIXTURE(Fixture, "make all after a patch ticks every nation and keeps the patched state")
{
    Load("five.dat");
    editor->cmdPatch_Click();
    CHECK(editor->State().blnPatched);
    const Bytes patched = ReadFile(dir / "five.dat");

    editor->cmdAllEEC_Click();
    CHECK(view.nations.Ticks() == std::vector<bool>(5, true));
    CHECK(editor->State().blnPatched);
    CHECK(ReadFile(dir / "five.dat") == patched);
    editor->cmdExit_Click();
    CHECK(view.ended);
    CHECK(view.messages.size() == 1); // the patch's confirmation only
}

TEST_CASE("exit asks only when a loaded file was not patched")
{
    struct Row {
        std::string row;
        std::string before;
        int answer; // -1: no question expected
        bool ends;
    };
    const Row rows[] = {
        {"right after start", "", -1, true},
        {"after a load, No", "load", int(MessageAnswer::No), false},
        {"after a load, Yes", "load", int(MessageAnswer::Yes), true},
        {"after loading no records, Yes", "load empty", int(MessageAnswer::Yes), true},
        {"after a refused file and a cancel", "refused", -1, true},
        {"after a patch", "patch", -1, true},
        {"after a patch and new ticks", "patch, tick", -1, true},
        {"after a refused patch, No", "failed patch", int(MessageAnswer::No), false},
    };
    for (const Row& row : rows) {
        INFO(row.row);
        Fixture f;
        if (row.before.starts_with("load") || row.before.find("patch") != std::string::npos)
            f.Load(row.before == "load empty" ? "empty.dat" : "three.dat");
        if (row.before == "refused") {
            f.view.chosenPaths = {f.PathOf("short.dat"), ""};
            f.editor->cmdLoad_Click();
        }
        if (row.before.starts_with("patch"))
            f.editor->cmdPatch_Click();
        if (row.before == "patch, tick")
            f.view.nations.ToggleNation(0);
        if (row.before == "failed patch") {
            REQUIRE(fs::remove(f.dir / "three.dat"));
            f.editor->cmdPatch_Click();
        }
        const std::size_t messagesBefore = f.view.messages.size();
        const std::size_t entriesBefore = f.view.nations.NationCount();
        if (row.answer >= 0)
            f.view.answers.push_back(static_cast<MessageAnswer>(row.answer));

        f.editor->cmdExit_Click();

        CHECK(f.view.ended == row.ends);
        if (row.answer < 0) {
            CHECK(f.view.messages.size() == messagesBefore);
            continue;
        }
        REQUIRE(f.view.messages.size() == messagesBefore + 1);
        CHECK(f.view.messages.back().text == kExitQuestion);
        CHECK(f.view.messages.back().title == form::APPLICATION_TITLE);
        CHECK(f.view.messages.back().buttons == MessageButtons::YesNo);
        CHECK(!f.editor->State().blnPatched);
        CHECK(f.view.nations.NationCount() == entriesBefore);
    }
}

TEST_CASE("each button of the design runs its own command, and no other control runs one")
{
    struct Row {
        form::Index control;
        std::string did; // what the fake view saw
    };
    const Row rows[] = {
        {form::cmdLoad, "dialog"},
        {form::cmdPatch, "message: Please load Nation.dat first"},
        {form::cmdAllEEC, "ticks: 3"},
        {form::cmdExit, "question"},
        {form::cmdEMail, "launched: mailto:nation-editor@example.org"},
        {form::cmdURL, "launched: https://www.example.org/"},
        {form::lstNations, ""},
        {form::Label1, ""},
        {form::RichTextBox1, ""},
        {form::Label3, ""},
        {form::CONTROL_COUNT, ""},
    };
    for (const Row& row : rows) {
        INFO(row.control);
        Fixture f;
        if (row.control == form::cmdAllEEC || row.control == form::cmdExit) {
            f.Load("three.dat");
            f.view.nations.SetNationTicks({false, false, false});
        }
        f.view.dialogTitles.clear();
        f.editor->Click(row.control);
        std::string did;
        if (!f.view.dialogTitles.empty())
            did = "dialog";
        else if (!f.view.messages.empty())
            did = f.view.messages.back().buttons == MessageButtons::YesNo ? "question"
                                                                          : "message: " + f.view.messages.back().text;
        else if (!f.view.launched.empty())
            did = "launched: " + f.view.launched.back();
        const std::vector<bool> ticks = f.view.nations.Ticks();
        if (did.empty() && std::count(ticks.begin(), ticks.end(), true) > 0)
            did = "ticks: " + std::to_string(std::count(ticks.begin(), ticks.end(), true));
        CHECK(did == row.did);
    }
}

TEST_CASE_FIXTURE(Fixture, "the contact buttons hand their addresses to the launcher and change nothing")
{
    Load("three.dat");
    const EditorState before = editor->State();
    editor->cmdEMail_Click();
    editor->cmdURL_Click();
    CHECK(view.launched == std::vector<std::string>{"mailto:nation-editor@example.org", "https://www.example.org/"});
    CHECK(view.helpText.find("nation-editor@example.org") == std::string::npos);
    CHECK(view.messages.empty());
    CHECK(!view.ended);
    CHECK(editor->State().strFileName == before.strFileName);
    CHECK(editor->State().blnPatched == before.blnPatched);
}

#ifdef _WIN32
// Windows, as far as the library can tell: ntdll has no Wine function.
FARPROC WINAPI NoWine(HMODULE, LPCSTR)
{
    return nullptr;
}

TEST_CASE("a file under Program Files with a VirtualStore copy: on Windows the copy the game reads is offered")
{
    struct Row {
        std::string row;
        bool wine;
        MessageAnswer answer;
        bool copyLoaded;
    };
    const Row rows[] = {{"Yes opens the copy", false, MessageAnswer::Yes, true},
                        {"No keeps the file chosen", false, MessageAnswer::No, false},
                        // Wine keeps no VirtualStore: the game reads the file chosen.
                        {"under Wine nothing is offered", true, MessageAnswer::Yes, false}};
    const bool underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    for (const Row& row : rows) {
        INFO(row.row);
        if (row.wine && !underWine)
            continue;
        if (!row.wine)
            ActiveCalls().GetProcAddress = NoWine;
        Fixture f;
        // Program Files and the user's local folder, both inside the test's
        // folder, the copy where Windows would put it.
        const fs::path programFiles = f.dir / "Program Files (x86)";
        const std::string chosen = Utf8(programFiles / "Game" / "Data" / "Nation.dat");
        const std::string copy = *VirtualStorePath(chosen, std::vector<std::string>{Utf8(programFiles)},
                                                   Utf8(f.dir / "Local"));
        fs::create_directories(FromUtf8(chosen).parent_path());
        fs::create_directories(FromUtf8(copy).parent_path());
        REQUIRE(WriteFile(FromUtf8(chosen), MakeNationFile(3)));
        REQUIRE(WriteFile(FromUtf8(copy), MakeNationFile(5)));
        SetEnvironmentVariableW(L"ProgramFiles(x86)", programFiles.c_str());
        SetEnvironmentVariableW(L"LOCALAPPDATA", (f.dir / "Local").c_str());

        f.view.chosenPaths.push_back(chosen);
        f.view.answers.push_back(row.answer);
        f.editor->cmdLoad_Click();
        SetEnvironmentVariableW(L"ProgramFiles(x86)", nullptr);
        SetEnvironmentVariableW(L"LOCALAPPDATA", nullptr);
        ActiveCalls() = SystemCalls();

        if (row.wine) {
            CHECK(f.view.messages.empty());
            CHECK(f.editor->State().strFileName == chosen);
            continue;
        }
        REQUIRE(f.view.messages.size() == 1);
        CHECK(f.view.messages[0].text.find(copy) != std::string::npos);
        CHECK(f.view.messages[0].title == form::APPLICATION_TITLE);
        CHECK(f.view.messages[0].buttons == MessageButtons::YesNo);
        CHECK(f.editor->State().strFileName == (row.copyLoaded ? copy : chosen));
        CHECK(f.view.nations.NationCount() == (row.copyLoaded ? 5u : 3u));
    }
}
#endif

TEST_CASE_FIXTURE(Fixture, "the list shows which ticks differ from the file, until a patch writes them")
{
    Load("three.dat");
    const std::vector<bool> members = {false, false, true}; // membership bytes 0, 1, 2
    CHECK(view.TicksInFile() == members);
    editor->cmdAllEEC_Click();
    CHECK(view.TicksInFile() == members);
    editor->cmdPatch_Click();
    CHECK(view.TicksInFile() == std::vector<bool>(3, true));
    // A refused patch leaves them as they were.
    view.nations.SetNationTicked(0, false);
    REQUIRE(fs::remove(dir / "three.dat"));
    editor->cmdPatch_Click();
    CHECK(view.TicksInFile() == std::vector<bool>(3, true));
}

TEST_CASE_FIXTURE(Fixture, "a patch leaves a backup of the file as it was before the first patch")
{
    const Bytes original = ReadFile(dir / "five.dat");
    Load("five.dat");
    editor->cmdAllEEC_Click();
    editor->cmdPatch_Click();
    CHECK(view.messages.back().text == "File Patched Succesfully");
    CHECK(ReadFile(dir / "five.dat.bak") == original);
    view.nations.SetNationTicked(1, false);
    editor->cmdPatch_Click();
    CHECK(ReadFile(dir / "five.dat.bak") == original);
    CHECK(MemberOf(ReadFile(dir / "five.dat"), 1) == MEMBER_NO);
}

TEST_CASE("a file given at start or dropped loads as if chosen, and a refused one leaves the list as it was")
{
    struct Row {
        std::string row;
        std::string file;
        std::string message; // "cannot load": the library's reason, with the path
        std::string listed;
        std::string status; // what the load says it did
    };
    const Row rows[] = {
        {"a nation file", "five.dat", "", "five.dat", "5 nations loaded from five.dat"},
        {"a nation file of one nation", "one.dat", "", "one.dat", "1 nation loaded from one.dat"},
        {"a nation file of none", "empty.dat", "", "empty.dat", "0 nations loaded from empty.dat"},
        {"a file of the wrong length", "long.dat", kRefused, "three.dat", ""},
        {"no such file", "missing.dat", "cannot load", "three.dat", ""},
#ifndef _WIN32
        // The path keeps its bytes; the message shows a replacement
        // character for the one that is no UTF-8.
        {"a nation file in a folder named in Latin-1", "caf\xE9/Nation.dat", "", "caf\xE9/Nation.dat",
         "6 nations loaded from Nation.dat"},
        {"no such file in a folder named in Latin-1", "caf\xE9/missing.dat", "cannot load", "three.dat", ""},
#endif
    };
    for (const Row& row : rows) {
        INFO(row.row);
        Fixture f;
        f.Load("three.dat");
        f.view.dialogTitles.clear();
        f.view.statuses.clear();
        const std::string expected = row.message == "cannot load" ? f.CannotLoad(row.file) : row.message;
        f.editor->LoadFile(f.PathOf(row.file));
        CHECK(f.view.dialogTitles.empty());
        REQUIRE(f.view.messages.size() == (expected.empty() ? 0u : 1u));
        if (!expected.empty())
            CHECK(f.view.messages[0].text == expected);
        CHECK(f.editor->State().strFileName == f.PathOf(row.listed));
        CHECK(f.view.nations.NationCount() == ReadNationFile(f.PathOf(row.listed)).entries.size());
        CHECK(f.view.statuses == (row.status.empty() ? std::vector<std::string>{} : std::vector{row.status}));
        if (row.file != row.listed)
            continue;
        // And it patches, with its backup beside it.
        const Bytes before = ReadFile(FromUtf8(f.PathOf(row.file)));
        f.editor->cmdAllEEC_Click();
        f.editor->cmdPatch_Click();
        CHECK(f.view.messages.back().text == "File Patched Succesfully");
        CHECK(ReadFile(FromUtf8(f.PathOf(row.file) + ".bak")) == before);
    }
}

TEST_CASE_FIXTURE(Fixture, "the open-file dialog starts in the folder of the last file loaded, or beside a refused one")
{
    fs::create_directories(dir / "game");
    REQUIRE(WriteFile(dir / "game" / "Nation.dat", MakeNationFile(2)));
    view.rememberedFolder = Utf8(dir / "game");
    view.chosenPaths = {PathOf("long.dat"), PathOf("three.dat")};
    editor->cmdLoad_Click();
    REQUIRE(view.dialogFolders.size() == 2);
    CHECK(view.dialogFolders[0] == Utf8(dir / "game"));
    CHECK(view.dialogFolders[1] == Utf8(dir.Path()));
    CHECK(view.rememberedFolder == Utf8(dir.Path()));

    // A remembered folder that is gone is not offered.
    view.rememberedFolder = Utf8(dir / "gone");
    editor->cmdLoad_Click();
    CHECK(view.dialogFolders.back() != Utf8(dir / "gone"));

    // A game folder deeper than Windows' dialog takes (333 characters in
    // all): its file loads, patches and gets its backup, and the dialog is
    // handed a name of the folder it can take.
    fs::path deep = dir.Path();
    while (Utf8(deep).size() < 320)
        deep /= "A folder of saved games, kept";
    fs::create_directories(deep);
    const std::string nation = Utf8(deep / "Nation.dat");
    REQUIRE(WriteFile(deep / "Nation.dat", MakeNationFile(3)));
    view.messages.clear();
    editor->LoadFile(nation);
    REQUIRE(editor->State().strFileName == nation);
    editor->cmdAllEEC_Click();
    editor->cmdPatch_Click();
    CHECK(view.messages.back().text == "File Patched Succesfully");
    CHECK(ReadFile(deep / "Nation.dat.bak") == MakeNationFile(3));
    view.chosenPaths.push_back("");
    editor->cmdLoad_Click();
    // The folder itself, by its short name where Windows keeps one, else the
    // nearest one above it that the dialog takes (Wine's opens no short
    // name); and that one is what is remembered.
    const std::string started = view.dialogFolders.back();
    REQUIRE(!started.empty());
    CHECK((fs::equivalent(FromUtf8(started), deep) || Utf8(deep).starts_with(started)));
    CHECK((view.rememberedFolder == Utf8(deep) || view.rememberedFolder == started));
#ifdef _WIN32
    CHECK(FromUtf8(started).wstring().size() <= MAX_PATH - 14);
#else
    // A folder named in Latin-1 can't be shown by the dialog: the one above.
    editor->LoadFile(PathOf("caf\xE9/Nation.dat"));
    view.chosenPaths.push_back("");
    editor->cmdLoad_Click();
    CHECK(view.dialogFolders.back() == Utf8(dir.Path()));
    CHECK(view.rememberedFolder == Utf8(dir.Path()));
#endif
}
