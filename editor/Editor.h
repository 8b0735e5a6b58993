#pragma once

#include "EditorView.h"
#include "EuMembers.h"

#include <optional>
#include <string>
#include <vector>

struct EditorState {
    // The path of the file the list shows, or empty with an empty list.
    std::string strFileName;
    // False from a successful load until the next successful patch.
    bool blnPatched = false;
    std::string strHelpText;
};

// What the nation list's context menu offers: ticks in bulk.
enum class TickChoice { All, None, EuMembers, FreeMovement, AsInFile, FromBackup };

// One entry of that menu: a command, or a submenu of entries.
struct TickMenuEntry {
    std::string label;   // "&" marks its access key
    bool enabled = true; // greyed out while there is nothing to tick
    TickChoice choice = TickChoice::All;
    int year = 0;        // for EuMembers and FreeMovement
    // A command's number in the menu, from 1, in the order shown; a
    // window hands it back when the entry is chosen. 0 for a submenu.
    int id = 0;
    std::vector<TickMenuEntry> submenu;

    bool IsSubmenu() const { return !submenu.empty(); }
};

// The window's commands, one per button plus the window's creation. They
// reach the user only through the view.
class Editor {
public:
    explicit Editor(EditorView& view);

    void Form_Load();
    void cmdLoad_Click();
    void cmdPatch_Click();
    void cmdAllEEC_Click();
    void cmdExit_Click();
    void cmdEMail_Click();
    void cmdURL_Click();
    // The command of the button `button` of the design; nothing for a
    // control that is no button.
    void Click(form::Index button);

    // A file given at start or dropped on the window, loaded as if chosen in
    // the open-file dialog: the same checks and messages, but a refused file
    // leaves the list as it was instead of asking again.
    void LoadFile(const std::string& path);

    // The context menu of the list as it stands, its submenus in place, and
    // what each command does. Each changes ticks only, as the make-all button
    // does.
    std::vector<TickMenuEntry> TickMenu() const;
    // The command numbered `id` in the menu as it stands now; nothing for
    // a greyed entry or an id the menu no longer has.
    void ApplyTicks(int id);

    const EditorState& State() const { return state_; }

private:
    bool LoadChosenFile();
    std::string DialogFolder(const std::string& refusedPath) const;
    void OfferVirtualStoreCopy();
    std::optional<std::vector<bool>> BackupTicks() const;
    void TickMembers(int year, eu::Union group);
    void ShowError(const std::string& text);
    MessageAnswer Ask(const std::string& text, MessageButtons buttons);

    EditorView& view_;
    EditorState state_;
    // The file strFileName led to at the load: a patch refuses another one,
    // such as the target of a link pointed elsewhere since.
    nationfile::FileIdentity fileIdentity_;
};
