#pragma once

#include "EditorView.h"

#include <string>
#include <vector>

struct EditorState {
    // The path of the file the list shows, or empty with an empty list.
    std::string strFileName;
    // False from a successful load until the next successful patch.
    bool blnPatched = false;
    std::string strHelpText;
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

    const EditorState& State() const { return state_; }

private:
    void OfferVirtualStoreCopy();
    void ShowError(const std::string& text);

    EditorView& view_;
    EditorState state_;
    // The names the list shows, so that a patch can tell whether the file on
    // disk still holds the same nations at the same indexes.
    std::vector<std::string> listedNames_;
};
