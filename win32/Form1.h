#pragma once

#include "Editor.h"
#include "EditorView.h"
#include "FormDesign.h"
#include "NationList.h"
#include "Owned.h"

#include <windows.h>

#include <shellapi.h>

#include <array>
#include <string>
#include <vector>

// The controls' identifiers follow the design's order: WM_COMMAND carries
// them, and the window's test finds the controls by them. IDOK and IDCANCEL
// (1 and 2) belong to Enter and Escape.
inline constexpr int kFirstControlId = 101;
constexpr int ControlId(form::Index control)
{
    return kFirstControlId + static_cast<int>(control);
}

// The editor's one window on Windows: its controls, and the view the
// commands talk to.
class Form1 final : public EditorView {
public:
    explicit Form1(HINSTANCE instance);
    ~Form1() override;
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // Creates the window, runs the start-up command and shows the window;
    // false when Windows gives no window.
    bool Create(int show);
    HWND Handle() const { return hwnd_; }
    // Whether Windows' High Contrast is on; a test that can't switch it on
    // (Wine can't) points it elsewhere.
    static bool SystemHighContrast();
    static inline bool (*HighContrast)() = SystemHighContrast;
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

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    void CreateControls();
    HWND CreateControl(const form::Control& design, int id);
    void Layout(UINT dpi);
    void OnCommand(int id, int code);
    LRESULT OnControlColour(HDC dc, HWND control);
    void OnColoursChanged(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnEraseBackground(HDC dc);
    const form::Control* DesignOf(HWND control) const;
    void ShowTickMenu(LPARAM at);
    static void AppendTickEntries(HMENU menu, const std::vector<TickMenuEntry>& entries);
    void OnDrop(HDROP drop);

    HINSTANCE instance_;
    // Never shown: a window it owns has no taskbar button of its own.
    OwnedWindow owner_;
    HWND hwnd_ = nullptr;

    // The controls as designed, in the design's order.
    std::array<HWND, form::CONTROL_COUNT> controls_ {};
    NationRows nations_;
    NationList list_ {nations_};

    // One font of each kind the design names, at the window's resolution.
    std::array<OwnedFont, form::FONTS.size()> fonts_;
    HWND focusBeforeDeactivation_ = nullptr;
    // Windows' High Contrast: its colours in place of the design's.
    bool highContrast_ = false;
    Editor editor_;
};
