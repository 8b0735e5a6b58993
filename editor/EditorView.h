#pragma once

#include "FormDesign.h"
#include "NationRows.h"

#include <string>

// Everything the commands need from the window and the desktop. Each
// platform's window implements it; the tests implement it with a fake that
// records each call and answers from a script.
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

class EditorView {
public:
    virtual ~EditorView() = default;

    // Shows the open-file dialog modally, offering the files `filter`
    // names, in `folder` where one is given; answers the chosen path, or an
    // empty text when the user cancels.
    virtual std::string ShowOpenDialog(const std::string& title, const form::FileFilter& filter,
                                       const std::string& folder) = 0;
    // Shows a modal message without an icon, under `title`; the first
    // button is the default. A Yes/No question can only be left by
    // answering it.
    virtual MessageAnswer ShowMessage(const std::string& text, const std::string& title,
                                      MessageButtons buttons) = 0;

    // The nation list: the rows its control shows, which it changes
    // through them alone.
    virtual NationRows& lstNations() = 0;

    virtual void SetHelpText(const std::string& text) = 0;
    // What a command has just done, where the window has a line for it
    // that a screen reader reads out as it changes (the page's status). The
    // desktop windows have none: their list, which the keyboard reaches
    // next, says how many rows it holds.
    virtual void ShowStatus(const std::string& text) { (void)text; }
    // Hands an address (mailto: or a web address) to the desktop's launcher
    // without waiting for it.
    virtual void Launch(const std::string& address) = 0;
    virtual void End() = 0;

    // The folder of the last file loaded, kept from one run to the next.
    virtual std::string RememberedFolder() const = 0;
    virtual void RememberFolder(const std::string& folder) = 0;
};
