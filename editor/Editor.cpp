#include "Editor.h"

#include "Contacts.h"
#include "EuMembers.h"
#include "GameFolder.h"
#include "NationFile.h"
#include "Text.h"
#include "VirtualStore.h"

#include <algorithm>

using namespace nationfile;

namespace {

// Messages and the help text break their paragraphs as Windows' controls
// do; the other windows' text boxes take CR LF as one break too.
const std::string kParagraph = "\r\n\r\n";

std::string HelpText()
{
    return "Elect nations into the European Union by clicking on the tick box next to the country. This will "
           "relax work permit rules when trying to sign players from that country."
        + kParagraph + "If you have any quesions regarding this software, feel free to send comments to me at:- "
        + kParagraph + "    " + contacts::HELP_EMAIL + kParagraph + "Hope you find this software useful" + kParagraph
        + "Although this program has been fully tested, as always make a backup of the nation.dat file before use.";
}

struct ButtonCommand {
    form::Index button;
    void (Editor::*command)();
};

constexpr ButtonCommand kButtonCommands[] = {
    {form::cmdLoad, &Editor::cmdLoad_Click},   {form::cmdPatch, &Editor::cmdPatch_Click},
    {form::cmdAllEEC, &Editor::cmdAllEEC_Click}, {form::cmdExit, &Editor::cmdExit_Click},
    {form::cmdEMail, &Editor::cmdEMail_Click}, {form::cmdURL, &Editor::cmdURL_Click},
};

} // namespace

Editor::Editor(EditorView& view)
    : view_(view)
{
}

void Editor::Form_Load()
{
    state_.strHelpText = HelpText();
    view_.SetHelpText(state_.strHelpText);
    state_.blnPatched = true;
}

void Editor::Click(form::Index button)
{
    for (const ButtonCommand& run : kButtonCommands) {
        if (run.button == button)
            (this->*run.command)();
    }
}

void Editor::cmdLoad_Click()
{
    const std::string listedFile = state_.strFileName;
    std::string refusedPath;
    for (;;) {
        state_.strFileName
            = view_.ShowOpenDialog("Locate your Nation.dat file", form::NATION_FILES, DialogFolder(refusedPath));
        if (state_.strFileName.empty()) {
            // A cancel ends the load; the list still shows the file it showed.
            state_.strFileName = listedFile;
            return;
        }
        OfferVirtualStoreCopy();
        if (LoadChosenFile())
            return;
        refusedPath = state_.strFileName;
    }
}

void Editor::LoadFile(const std::string& path)
{
    const std::string listedFile = state_.strFileName;
    state_.strFileName = path;
    OfferVirtualStoreCopy();
    if (!LoadChosenFile())
        state_.strFileName = listedFile;
}

namespace {

// A folder as the open-file dialog can start in it: the folder itself, or
// its short name on Windows, else the nearest folder above it that the
// dialog can take. A dialog shows folders by their names as text: one whose
// name is no UTF-8 (Latin-1 on Linux) is passed over as well.
std::string ShownFolder(std::string folder)
{
    while (!folder.empty()) {
        const std::string shown = FolderForDialog(folder);
        if (!shown.empty() && text::Readable(shown) == shown)
            return shown;
        std::string above = FolderOf(folder);
        if (above == folder)
            break;
        folder = std::move(above);
    }
    return {};
}

} // namespace

// Reads the file at strFileName into the list, or says why it can't.
bool Editor::LoadChosenFile()
{
    ReadResult read = ReadNationFile(state_.strFileName);
    switch (read.outcome) {
    case ReadOutcome::NotNationFile:
        ShowError("This is NOT the Nations.dat file. Pick Again");
        return false;
    case ReadOutcome::TooManyRecords:
        ShowError("This file holds too many records to be the Nation.dat file. Pick Again");
        return false;
    case ReadOutcome::FileError:
        ShowError("Cannot load the file \"" + PathAsShown(state_.strFileName) + "\": " + read.reason + ".");
        return false;
    case ReadOutcome::Read:
        break;
    }

    std::vector<std::string> names;
    names.reserve(read.entries.size());
    for (NationEntry& entry : read.entries)
        names.push_back(std::move(entry.name));
    const std::size_t count = names.size();
    view_.lstNations().ReplaceNations(std::move(names), std::move(read.memberBytes));
    view_.ShowStatus((count == 1 ? "1 nation" : std::to_string(count) + " nations") + " loaded from "
                     + text::Readable(FileNameOf(state_.strFileName)));
    fileIdentity_ = read.identity;
    state_.blnPatched = false;
    // A folder the dialog could not start in would be offered at every
    // start to come: the nearest one above it that it can is kept instead.
    const std::string folder = FolderOf(state_.strFileName);
    const std::string shown = ShownFolder(folder);
    const std::string kept = !shown.empty() && shown == FolderForDialog(folder) ? folder : shown;
    if (!kept.empty())
        view_.RememberFolder(kept);
    return true;
}

// Where the open-file dialog starts: beside the file just refused, else in
// the folder of the last file loaded (in this run or an earlier one), else
// where a game's files are likely to be.
std::string Editor::DialogFolder(const std::string& refusedPath) const
{
    if (!refusedPath.empty()) {
        if (std::string folder = ShownFolder(FolderOf(refusedPath)); !folder.empty())
            return folder;
    }
    const std::string remembered = view_.RememberedFolder();
    if (!remembered.empty() && IsFolder(remembered)) {
        if (std::string folder = ShownFolder(remembered); !folder.empty())
            return folder;
    }
    return ShownFolder(DefaultGameFolder());
}

void Editor::cmdPatch_Click()
{
    if (state_.strFileName.empty()) {
        ShowError("Please load Nation.dat first");
        return;
    }
    NationRows& nations = view_.lstNations();
    const std::vector<bool> ticks = nations.Ticks();
    WriteResult written = WriteMemberships(
        state_.strFileName, ticks.size(), [&ticks](std::size_t i) { return ticks[i]; }, nations.Names(),
        Backup::BeforeFirstPatch, nations.MemberBytesInFile(), fileIdentity_);
    switch (written.outcome) {
    case WriteOutcome::RecordsChanged:
        ShowError("The file \"" + PathAsShown(state_.strFileName)
                  + "\" has changed since it was loaded. Nothing was written: please load Nation.dat again.");
        return;
    case WriteOutcome::FileError:
        ShowError("The file \"" + PathAsShown(state_.strFileName) + "\" could not be patched: " + written.reason
                  + ".");
        return;
    case WriteOutcome::BackupFailed:
        ShowError("The backup \"" + PathAsShown(BackupPathOf(state_.strFileName)) + "\" could not be made: "
                  + written.reason + ". Nothing was patched.");
        return;
    case WriteOutcome::Written:
        break;
    }
    nations.MarkWritten(std::move(written.memberBytes));
    state_.blnPatched = true;
    view_.ShowMessage("File Patched Succesfully", "SUCCESS", MessageButtons::Ok);
}

void Editor::cmdAllEEC_Click()
{
    NationRows& nations = view_.lstNations();
    nations.SetNationTicks(std::vector<bool>(nations.NationCount(), true));
}

void Editor::cmdExit_Click()
{
    if (state_.blnPatched) {
        view_.End();
        return;
    }
    const MessageAnswer answer
        = Ask("You have not patched the file. Are you sure you want to exit?", MessageButtons::YesNo);
    if (answer == MessageAnswer::Yes)
        view_.End();
}

void Editor::cmdEMail_Click()
{
    view_.Launch(std::string("mailto:") + contacts::COMMAND_EMAIL);
}

void Editor::cmdURL_Click()
{
    view_.Launch(contacts::WEB_ADDRESS);
}

namespace {

TickMenuEntry Command(std::string label, bool enabled, TickChoice choice, int year = 0)
{
    TickMenuEntry entry;
    entry.label = std::move(label);
    entry.enabled = enabled;
    entry.choice = choice;
    entry.year = year;
    return entry;
}

// Each year by its last digit as its access key.
TickMenuEntry YearsSubmenu(std::string label, bool enabled, TickChoice choice)
{
    TickMenuEntry submenu;
    submenu.label = std::move(label);
    submenu.enabled = enabled;
    for (const int year : eu::kYears) {
        const std::string digits = std::to_string(year);
        submenu.submenu.push_back(
            Command(digits.substr(0, digits.size() - 1) + '&' + digits.back(), enabled, choice, year));
    }
    return submenu;
}

// Numbers the commands from `next` in the order shown, submenus' in place.
int Number(std::vector<TickMenuEntry>& entries, int next)
{
    for (TickMenuEntry& entry : entries)
        next = entry.IsSubmenu() ? Number(entry.submenu, next) : (entry.id = next) + 1;
    return next;
}

const TickMenuEntry* Numbered(const std::vector<TickMenuEntry>& entries, int id)
{
    for (const TickMenuEntry& entry : entries) {
        if (const TickMenuEntry* found = entry.IsSubmenu() ? Numbered(entry.submenu, id) : nullptr)
            return found;
        if (!entry.IsSubmenu() && entry.id == id)
            return &entry;
    }
    return nullptr;
}

} // namespace

std::vector<TickMenuEntry> Editor::TickMenu() const
{
    // Every entry works on the nations of a loaded file. "&" marks each
    // entry's access key, none the same as another's in its menu.
    const bool loaded = !state_.strFileName.empty();
    std::vector<TickMenuEntry> menu = {
        Command("&Tick all nations", loaded, TickChoice::All),
        Command("&Untick all nations", loaded, TickChoice::None),
        YearsSubmenu("Tick only the &EU members of", loaded, TickChoice::EuMembers),
        YearsSubmenu("Tick the EU, EEA and &Swiss members of", loaded, TickChoice::FreeMovement),
        Command("Ticks as in the &file", loaded, TickChoice::AsInFile),
    };
    if (BackupTicks())
        menu.push_back(Command("Ticks from the &backup", true, TickChoice::FromBackup));
    Number(menu, 1);
    return menu;
}

void Editor::ApplyTicks(int id)
{
    // The menu as it stands now: an id from a menu shown before a change
    // (a backup gone meanwhile) finds nothing rather than another entry.
    const std::vector<TickMenuEntry> menu = TickMenu();
    const TickMenuEntry* chosen = Numbered(menu, id);
    if (chosen == nullptr || !chosen->enabled || state_.strFileName.empty())
        return;
    const TickMenuEntry& entry = *chosen;
    NationRows& nations = view_.lstNations();
    switch (entry.choice) {
    case TickChoice::All:
    case TickChoice::None:
        nations.SetNationTicks(std::vector<bool>(nations.NationCount(), entry.choice == TickChoice::All));
        return;
    case TickChoice::AsInFile:
        nations.TicksAsInFile();
        return;
    case TickChoice::FromBackup:
        if (const std::optional<std::vector<bool>> ticks = BackupTicks())
            nations.SetNationTicks(*ticks);
        return;
    case TickChoice::EuMembers:
    case TickChoice::FreeMovement:
        TickMembers(entry.year, entry.choice == TickChoice::EuMembers ? eu::Union::EuropeanUnion
                                                                      : eu::Union::FreeMovement);
        return;
    }
}

namespace {

// Names for a message, as many as a message box shows well.
std::string NameList(const std::vector<std::string>& names)
{
    constexpr std::size_t kShown = 40;
    std::string list;
    for (std::size_t i = 0; i < names.size() && i < kShown; ++i)
        list += (list.empty() ? "" : ", ") + names[i];
    if (names.size() > kShown)
        list += " and " + std::to_string(names.size() - kShown) + " more";
    return list;
}

} // namespace

// Ticks the members of a year, and says in one message what that did: how
// many nations are ticked now, which the preset ticked and unticked, which
// members the file lacks, and which of the file's own members are no longer
// ticked. A screen reader hears only the row it is on, and in the game the
// flag may mean more than membership of the Union: a player who did not look
// at each bold name would not know what went.
void Editor::TickMembers(int year, eu::Union group)
{
    NationRows& nations = view_.lstNations();
    const std::vector<bool> before = nations.Ticks();
    const eu::Matched matched = eu::MatchMembers(nations.Names(), year, group);
    nations.SetNationTicks(matched.members);
    std::size_t tickedNow = 0;
    std::vector<std::string> ticked;
    std::vector<std::string> unticked;
    std::vector<std::string> membersUnticked;
    for (std::size_t i = 0; i < nations.NationCount(); ++i) {
        tickedNow += matched.members[i] ? 1 : 0;
        if (matched.members[i] != before[i])
            (matched.members[i] ? ticked : unticked).push_back(nations.Name(i));
        if (nations.IsTickedInFile(i) && !matched.members[i])
            membersUnticked.push_back(nations.Name(i));
    }
    const std::string members = eu::NameOf(group) + " in " + std::to_string(year);
    std::string text = (tickedNow == 1 ? "1 nation is" : std::to_string(tickedNow) + " nations are")
        + " ticked now, as members of " + members + ".";
    if (!ticked.empty())
        text += kParagraph + "Newly ticked: " + NameList(ticked);
    if (!unticked.empty())
        text += kParagraph + "Newly unticked: " + NameList(unticked);
    if (ticked.empty() && unticked.empty())
        text += kParagraph + "No tick changed.";
    if (!matched.missing.empty())
        text += kParagraph + "The file holds no nation for these members of " + members
            + ", so none was ticked for them:" + kParagraph + NameList(matched.missing);
    if (!membersUnticked.empty())
        text += kParagraph + "These nations are members in the file but not in " + members
            + ", so they are now unticked:" + kParagraph + NameList(membersUnticked);
    Ask(text, MessageButtons::Ok);
}

// The backup's ticks, when there is a backup and it holds the listed
// nations in the same order.
std::optional<std::vector<bool>> Editor::BackupTicks() const
{
    if (state_.strFileName.empty())
        return std::nullopt;
    const ReadResult backup = ReadNationFile(BackupPathOf(state_.strFileName));
    if (backup.outcome != ReadOutcome::Read || !view_.lstNations().SameNations(backup.entries))
        return std::nullopt;
    std::vector<bool> ticks(backup.entries.size());
    for (std::size_t i = 0; i < ticks.size(); ++i)
        ticks[i] = backup.entries[i].member;
    return ticks;
}

// Under Program Files, the game may read a copy of the chosen file that
// Windows keeps for it elsewhere; a patch of the chosen file would not reach
// the game.
void Editor::OfferVirtualStoreCopy()
{
    const std::optional<std::string> copy = ExistingVirtualStoreCopy(state_.strFileName);
    if (!copy)
        return;
    const MessageAnswer answer = Ask("The game does not read this file. Windows keeps a copy of it for the game, "
                                     "and the game reads that copy instead:"
                                         + kParagraph + *copy + kParagraph + "Open that copy instead?",
                                     MessageButtons::YesNo);
    if (answer == MessageAnswer::Yes)
        state_.strFileName = *copy;
}

// A path on Linux may hold bytes that are no UTF-8 (a folder named in
// Latin-1): shown readably, while the commands keep the path's own bytes.
void Editor::ShowError(const std::string& text)
{
    view_.ShowMessage(text::Readable(text), "ERROR", MessageButtons::Ok);
}

// A message of the editor's own, neither a refusal nor a success, goes
// under the application's title.
MessageAnswer Editor::Ask(const std::string& text, MessageButtons buttons)
{
    return view_.ShowMessage(text, form::APPLICATION_TITLE, buttons);
}
