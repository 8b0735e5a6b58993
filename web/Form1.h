#pragma once

#include "Editor.h"
#include "EditorView.h"
#include "FormDesign.h"
#include "NationRows.h"
#include "TypeToFind.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The editor's one window as a web page: the page (page/page.js) draws the
// design's controls as this view gives them, and shows what the commands
// tell it; its events come back through main.cpp's exports.
class Form1 : public EditorView, private NationRows::Observer {
public:
    Form1();
    ~Form1() override;

    // What the player does in the page.
    void ButtonClicked(form::Index button);
    void SetTicked(std::size_t row, bool ticked);
    // A key typed in the list, with the list on row `current`: the row to
    // go to.
    std::optional<std::size_t> Key(const std::string& key, std::optional<std::size_t> current);
    // Gives the page the context menu's entries, as they stand now.
    void ShowTickMenu();
    void ChooseTickEntry(int id);
    void LoadFile(const std::string& path) { editor_.LoadFile(path); }
    bool Unpatched() const { return !editor_.State().blnPatched; }

    std::string ShowOpenDialog(const std::string& title, const form::FileFilter& filter,
                               const std::string& folder) override;
    MessageAnswer ShowMessage(const std::string& text, const std::string& title,
                              MessageButtons buttons) override;
    NationRows& lstNations() override { return nations_; }
    void SetHelpText(const std::string& text) override;
    void ShowStatus(const std::string& text) override;
    void Launch(const std::string& address) override;
    void End() override;
    std::string RememberedFolder() const override { return rememberedFolder_; }
    void RememberFolder(const std::string& folder) override { rememberedFolder_ = folder; }

private:
    void NationsReplaced(std::size_t count) override;
    void TicksChanged(std::span<const std::size_t> rows) override;
    void TicksInFileChanged() override;

    void createControls();
    void showTickEntries(const std::vector<TickMenuEntry>& entries, int depth);
    unsigned char Marks(std::size_t row) const;
    std::vector<unsigned char> AllMarks() const;

    NationRows nations_;
    Editor editor_;
    TypeToFind find_;
    // A page's folders are those of the files given to it in this visit:
    // nothing outlives it.
    std::string rememberedFolder_;
};
