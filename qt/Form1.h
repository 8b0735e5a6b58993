#pragma once

#include "Editor.h"
#include "EditorView.h"
#include "FormDesign.h"

#include <QWidget>

#include <array>
#include <optional>

class QAbstractItemView;
class QMenu;

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

    std::string ShowOpenDialog(const std::string& title, const form::FileFilter& filter,
                               const std::string& folder) override;
    MessageAnswer ShowMessage(const std::string& text, const std::string& title,
                              MessageButtons buttons) override;
    NationRows& lstNations() override { return nations_; }
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
    void addTickEntries(QMenu& menu, const std::vector<TickMenuEntry>& entries);
    void createControls();
    QWidget* createControl(const form::Control& design);
    QAbstractItemView* createNationList();
    void colour(QWidget& control, const form::Control& design);
    void connectButtons();
    template <typename Control>
    Control* control(form::Index index) const
    {
        return static_cast<Control*>(controls_[index]);
    }

    // The controls as designed, in the design's order.
    std::array<QWidget*, form::CONTROL_COUNT> controls_ {};
    // The path last chosen in the open-file dialog, shown in it again.
    QString lastChosenPath_;
    // The remembered folder as last read or written: settings are written
    // only when it changes.
    mutable std::optional<std::string> rememberedFolder_;

    NationRows nations_;
    Editor editor_;
};
