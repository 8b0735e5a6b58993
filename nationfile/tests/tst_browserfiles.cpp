// What a page asks of the browser and the player for the files it was
// given, on a browser of stand-ins: the leave to write a file, and the
// folder its backup goes in. What was asked, said and done is kept in
// order, and each row's whole course is checked.
#include "BrowserFiles.h"

#include <doctest/doctest.h>

#include <deque>
#include <string>
#include <vector>

using namespace nationfile;

namespace {

// The browser's answers, each taken in turn: its leave, as it is and as
// asked for (NeedsClick while no click is at hand), the player's answers
// to messages, the folder dialog's (a name, "" for a cancel, "!" for a
// failure in its own words).
struct Answers {
    std::deque<Leave> leaves = {};
    std::deque<bool> said = {};
    bool hasFolder = false;
    std::string remembered = {}; // "" for none
    bool stillThere = true;
    bool canPick = true;
    std::string picked = "Backups";
    bool requestThrows = false;
};

class FakeBrowser final : public Browser {
public:
    explicit FakeBrowser(Answers answers) : answers_(std::move(answers)) {}
    std::vector<std::string> done;

    BrowserOutcome GetLeave(const std::string& place, LeaveFor what, bool request, Leave& leave) override
    {
        done.push_back(std::string(request ? "request " : "query ") + (what == LeaveFor::File ? "file" : "folder") +
                       " of " + place);
        if (request && answers_.requestThrows)
            return BrowserFailure{"", {{"words", "no prompt today"}}};
        REQUIRE_FALSE(answers_.leaves.empty());
        leave = answers_.leaves.front();
        answers_.leaves.pop_front();
        return std::nullopt;
    }
    bool HasBackupFolder(const std::string&) override { return answers_.hasFolder; }
    bool OfferRememberedFolder(const std::string&, std::string& folder) override
    {
        folder = answers_.remembered;
        return !folder.empty();
    }
    bool OfferedFolderStillThere(const std::string&) override { return answers_.stillThere; }
    void ForgetOfferedFolder(const std::string&) override { done.push_back("forget"); }
    bool CanPickFolder() override { return answers_.canPick; }
    BrowserOutcome PickFolder(const std::string&, bool& picked, std::string& folder) override
    {
        done.push_back("pick");
        if (answers_.picked == "!")
            return BrowserFailure{"", {{"words", "the dialog broke"}}};
        picked = !answers_.picked.empty();
        folder = answers_.picked;
        return std::nullopt;
    }
    void TakeOfferedFolder(const std::string&, bool remember) override
    {
        done.push_back(remember ? "take and remember" : "take");
    }
    bool Say(const std::string& key, const Names& names, bool declinable) override
    {
        done.push_back("say " + key + Told(names) + (declinable ? " (declinable)" : ""));
        REQUIRE_FALSE(answers_.said.empty());
        const bool ok = answers_.said.front();
        answers_.said.pop_front();
        return ok;
    }
    void Note(const std::string& key, const Names& names) override { done.push_back("note " + key + Told(names)); }
    void Status(const std::string& key, const Names& names) override
    {
        done.push_back("status " + key + Told(names));
    }

private:
    static std::string Told(const Names& names)
    {
        std::string told;
        for (const auto& [name, value] : names)
            told += " " + name + "=" + value;
        return told;
    }
    Answers answers_;
};

std::string Outcome(const BrowserOutcome& outcome)
{
    if (!outcome)
        return "";
    std::string told = outcome->code;
    for (const auto& [name, value] : outcome->names)
        told += " " + name + "=" + value;
    return told;
}

struct Row {
    const char* row;
    Answers answers;
    std::vector<std::string> done;
    std::string outcome; // "" for none
};

} // namespace

TEST_CASE("leave to write a file is asked for where the browser would prompt, after a message without a click")
{
    using enum Leave;
    const Row rows[] = {
        {"given already", {.leaves = {Granted}}, {"query file of /1"}, ""},
        {"asked for straight after the click, and given",
         {.leaves = {Prompt, Granted}},
         {"query file of /1", "request file of /1"},
         ""},
        {"no click left: the message's OK is the click the prompt opens on",
         {.leaves = {Prompt, NeedsClick, Granted}, .said = {true}},
         {"query file of /1", "request file of /1", "say allowWrite name=Nation.dat (declinable)",
          "request file of /1"},
         ""},
        {"the message declined: no prompt",
         {.leaves = {Prompt, NeedsClick}, .said = {false}},
         {"query file of /1", "request file of /1", "say allowWrite name=Nation.dat (declinable)"},
         "not-allowed-to-write"},
        {"refused at the prompt", {.leaves = {Prompt, Denied}}, {"query file of /1", "request file of /1"},
         "not-allowed-to-write"},
        {"refused before", {.leaves = {Denied}}, {"query file of /1"}, "not-allowed-to-write"},
        {"the prompt failing in the browser's own words",
         {.leaves = {Prompt}, .requestThrows = true},
         {"query file of /1", "request file of /1"},
         "could-not-ask-to-write detail=no prompt today"},
    };
    for (const Row& row : rows) {
        CAPTURE(row.row);
        FakeBrowser browser(row.answers);
        CHECK(Outcome(LeaveToWrite(browser, "/1", "Nation.dat")) == row.outcome);
        CHECK(browser.done == row.done);
    }
}

TEST_CASE("the backup's folder: the one remembered for the file where it still serves, else one the player picks")
{
    using enum Leave;
    const std::string told = " backup=Nation.dat.bak name=Nation.dat";
    const std::string chooseAndPick[] = {"say chooseBackupFolder" + told + " (declinable)",
                                         "note chooseBackupFolderNote" + told, "pick", "note "};
    const auto picking = [&](std::vector<std::string> before, std::vector<std::string> after) {
        before.insert(before.end(), std::begin(chooseAndPick), std::end(chooseAndPick));
        before.insert(before.end(), after.begin(), after.end());
        return before;
    };
    const Row rows[] = {
        {"the place has its folder: nothing asked", {.hasFolder = true}, {}, ""},
        {"none remembered: picked, with leave, and remembered",
         {.leaves = {Granted}, .said = {true}},
         picking({}, {"query folder of /1", "take and remember"}),
         ""},
        {"the message before the dialog declined: no dialog",
         {.said = {false}},
         {"say chooseBackupFolder" + told + " (declinable)"},
         "no-folder-chosen"},
        {"the dialog closed", {.said = {true}, .picked = ""}, picking({}, {}), "no-folder-chosen"},
        {"the dialog failing in its own words, which are kept",
         {.said = {true}, .picked = "!"},
         picking({}, {}),
         " words=the dialog broke"},
        {"picked without leave to write in it",
         {.leaves = {Denied}, .said = {true}},
         picking({}, {"query folder of /1"}),
         "not-allowed-in-folder folder=Backups"},
        {"a browser with no folder dialog", {.canPick = false}, {}, "cannot-choose-folder"},
        {"remembered, with leave still", {.leaves = {Granted}, .remembered = "Data"}, {"query folder of /1", "take"}, ""},
        {"remembered, leave asked again after a message naming the folder, even with the click at hand",
         {.leaves = {Prompt, Granted}, .said = {true}, .remembered = "Data"},
         {"query folder of /1",
          "say backupFolderAgain backup=Nation.dat.bak folder=Data name=Nation.dat (declinable)",
          "request folder of /1", "take"},
         ""},
        {"remembered, the message declined: no prompt",
         {.leaves = {Prompt}, .said = {false}, .remembered = "Data"},
         {"query folder of /1",
          "say backupFolderAgain backup=Nation.dat.bak folder=Data name=Nation.dat (declinable)"},
         "not-allowed-into-folder folder=Data"},
        {"remembered, refused at the prompt",
         {.leaves = {Prompt, Denied}, .said = {true}, .remembered = "Data"},
         {"query folder of /1",
          "say backupFolderAgain backup=Nation.dat.bak folder=Data name=Nation.dat (declinable)",
          "request folder of /1"},
         "not-allowed-into-folder folder=Data"},
        {"remembered but gone since: forgotten, and another picked",
         {.leaves = {Granted, Granted}, .said = {true}, .remembered = "Data", .stillThere = false},
         picking({"query folder of /1", "forget"}, {"query folder of /1", "take and remember"}),
         ""},
    };
    for (const Row& row : rows) {
        CAPTURE(row.row);
        FakeBrowser browser(row.answers);
        CHECK(Outcome(ChooseBackupFolder(browser, "/1", "Nation.dat")) == row.outcome);
        CHECK(browser.done == row.done);
    }
}
