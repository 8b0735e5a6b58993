#pragma once

#include "Editor.h"
#include "EditorView.h"
#include "FormDesign.h"

#include <QWidget>

#include <optional>

class NationListModel;
class QLabel;
class QTableView;
class QPushButton;
class QTextEdit;

// The editor's one window: its controls, and the view the commands talk to.
class Form1 : public QWidget, public EditorView {
    Q_OBJECT

public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Loads a file given at start, once the window is on the screen.
    void LoadWhenShown(const std::string& path);

    const Editor& Commands() const { return editor_; }
    Editor& Commands() { return editor_; }

    std::string ShowOpenDialog(const std::string& title, const std::string& filter,
                               const std::string& folder) override;
    MessageAnswer ShowMessage(const std::string& text, const std::string& title,
                              MessageButtons buttons) override;
    void AddNation(const std::string& text) override;
    std::size_t NationCount() const override;
    void SetNationTicked(std::size_t index, bool ticked) override;
    void SetNationTicks(const std::vector<bool>& ticks) override;
    bool IsNationTicked(std::size_t index) const override;
    void ClearNations() override;
    void MarkTicksInFile(const std::vector<bool>& ticks) override;
    void SetHelpText(const std::string& text) override;
    void Launch(const std::string& address) override;
    void End() override;
    std::string RememberedFolder() const override;
    void RememberFolder(const std::string& folder) override;

protected:
    // A nation file dropped on the window is loaded.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void showTickMenu(const QPoint& at);
    void createControls();
    QTableView* createNationList();
    void colour(QWidget& control, const form::Control& design);
    void connectButtons();

    QPushButton* cmdLoad;
    QTableView* lstNations;
    QPushButton* cmdPatch;
    QPushButton* cmdAllEEC;
    QLabel* Label1;
    QTextEdit* RichTextBox1;
    QLabel* Label2;
    QPushButton* cmdExit;
    QPushButton* cmdURL;
    QPushButton* cmdEMail;
    QLabel* Label3;
    // The path last chosen in the open-file dialog, shown in it again.
    QString lastChosenPath_;
    // The remembered folder as last read or written: settings are written
    // only when it changes.
    mutable std::optional<std::string> rememberedFolder_;

    NationListModel* nations_;
    Editor editor_;
};
