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

// The controls' identifiers, in the design's order: WM_COMMAND carries them,
// and the window's test finds the controls by them. IDOK and IDCANCEL (1 and
// 2) belong to Enter and Escape.
enum ControlId : int {
    IdLoad = 101,
    IdNations,
    IdPatch,
    IdAllEEC,
    IdLabel1,
    IdHelp,
    IdLabel2,
    IdExit,
    IdURL,
    IdEMail,
    IdLabel3,
};
static_assert(IdLabel3 - IdLoad + 1 == form::CONTROL_COUNT, "one identifier for each designed control");

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

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void Layout(UINT dpi);
    void OnCommand(int id, int code);
    LRESULT OnControlColour(HDC dc, HWND control);
    const form::Control* DesignOf(HWND control) const;
    void ShowTickMenu(LPARAM at);
    void OnDrop(HDROP drop);

    HINSTANCE instance_;
    HWND owner_ = nullptr;
    HWND hwnd_ = nullptr;

    HWND cmdLoad = nullptr;
    NationList lstNations;
    HWND cmdPatch = nullptr;
    HWND cmdAllEEC = nullptr;
    HWND Label1 = nullptr;
    HWND RichTextBox1 = nullptr;
    HWND Label2 = nullptr;
    HWND cmdExit = nullptr;
    HWND cmdURL = nullptr;
    HWND cmdEMail = nullptr;
    HWND Label3 = nullptr;
    // The same controls, in the design's order.
    std::array<HWND, form::CONTROL_COUNT> controls_ {};

    // One font of each kind the design names, at the window's resolution.
    std::array<OwnedFont, form::FONTS.size()> fonts_;
    HWND focusBeforeDeactivation_ = nullptr;
    Editor editor_;
};
