#include "Editor.h"

#include "Contacts.h"
#include "NationFile.h"
#include "VirtualStore.h"

using namespace nationfile;

namespace {

constexpr const char* kLineBreak = "\r\n";

std::string BuildHelpText()
{
    std::string text;
    text += "Elect nations into the European Union by clicking";
    text += " ";
    text += "on the tick box next to the country. This will relax work";
    text += " ";
    text += "permit rules when trying to sign players from that country.";
    text += std::string(kLineBreak) + kLineBreak;
    text += "If you have any quesions regarding this software, feel free to send comments to me at:- ";
    text += std::string(kLineBreak) + kLineBreak;
    text += std::string("    ") + contacts::HELP_EMAIL;
    text += std::string(kLineBreak) + kLineBreak;
    text += "Hope you find this software useful";
    text += std::string(kLineBreak) + kLineBreak;
    text += "Although this program has been fully tested, as always make a backup of the nation.dat "
            "file before use.";
    return text;
}

} // namespace

Editor::Editor(EditorView& view)
    : view_(view)
{
}

void Editor::Form_Load()
{
    state_.strHelpText = BuildHelpText();
    view_.SetHelpText(state_.strHelpText);
    state_.blnPatched = true;
}

void Editor::cmdLoad_Click()
{
    const std::string listedFile = state_.strFileName;
    for (;;) {
        state_.strFileName = view_.ShowOpenDialog("Locate your Nation.dat file", "Nation Database | Nation.dat");
        if (state_.strFileName.empty()) {
            // A cancel ends the load; the list still shows the file it showed.
            state_.strFileName = listedFile;
            return;
        }
        OfferVirtualStoreCopy();

        ReadResult read = ReadNationFile(state_.strFileName);
        switch (read.outcome) {
        case ReadOutcome::NotNationFile:
            ShowError("This is NOT the Nations.dat file. Pick Again");
            continue;
        case ReadOutcome::TooManyRecords:
            ShowError("This file holds too many records to be the Nation.dat file. Pick Again");
            continue;
        case ReadOutcome::FileError:
            ShowError("Cannot load the file \"" + state_.strFileName + "\": " + read.reason + ".");
            continue;
        case ReadOutcome::Read:
            break;
        }

        view_.ClearNations();
        listedNames_.clear();
        listedNames_.reserve(read.entries.size());
        for (std::size_t i = 0; i < read.entries.size(); ++i) {
            view_.AddNation(read.entries[i].name);
            view_.SetNationTicked(i, read.entries[i].member);
            listedNames_.push_back(std::move(read.entries[i].name));
        }
        state_.blnPatched = false;
        return;
    }
}

void Editor::cmdPatch_Click()
{
    if (state_.strFileName.empty()) {
        ShowError("Please load Nation.dat first");
        return;
    }
    const WriteResult written = WriteMemberships(
        state_.strFileName, view_.NationCount(),
        [this](std::size_t i) { return view_.IsNationTicked(i); }, listedNames_);
    switch (written.outcome) {
    case WriteOutcome::RecordsChanged:
        ShowError("The file \"" + state_.strFileName
                  + "\" has changed since it was loaded. Nothing was written: please load Nation.dat again.");
        return;
    case WriteOutcome::FileError:
        ShowError("The file \"" + state_.strFileName + "\" could not be patched: " + written.reason + ".");
        return;
    case WriteOutcome::Written:
        break;
    }
    state_.blnPatched = true;
    view_.ShowMessage("File Patched Succesfully", "SUCCESS", MessageButtons::Ok);
}

void Editor::cmdAllEEC_Click()
{
    const std::size_t count = view_.NationCount();
    for (std::size_t i = 0; i < count; ++i)
        view_.SetNationTicked(i, true);
}

void Editor::cmdExit_Click()
{
    if (state_.blnPatched) {
        view_.End();
        return;
    }
    const MessageAnswer answer = view_.ShowMessage(
        "You have not patched the file. Are you sure you want to exit?", "", MessageButtons::YesNo);
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

// Under Program Files, the game may read a copy of the chosen file that
// Windows keeps for it elsewhere; a patch of the chosen file would not reach
// the game.
void Editor::OfferVirtualStoreCopy()
{
    const std::optional<std::string> copy = ExistingVirtualStoreCopy(state_.strFileName);
    if (!copy)
        return;
    const MessageAnswer answer = view_.ShowMessage(
        "The game does not read this file. Windows keeps a copy of it for the game, and the game reads "
        "that copy instead:" + std::string(kLineBreak) + kLineBreak + *copy + kLineBreak + kLineBreak
            + "Open that copy instead?",
        "", MessageButtons::YesNo);
    if (answer == MessageAnswer::Yes)
        state_.strFileName = *copy;
}

void Editor::ShowError(const std::string& text)
{
    view_.ShowMessage(text, "ERROR", MessageButtons::Ok);
}
