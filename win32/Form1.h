#pragma once

#include "Editor.h"
#include "EditorView.h"
#include "NationList.h"

#include <windows.h>

#include <shellapi.h>

#include <string>

// The controls' identifiers: WM_COMMAND carries them, and the window's test
// finds the controls by them. IDOK and IDCANCEL (1 and 2) belong to Enter and
// Escape, which press nothing here.
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

// A font the window owns, deleted with it.
class Font {
public:
    Font() = default;
    explicit Font(HFONT font)
        : font_(font)
    {
    }
    ~Font() { Reset(); }
    Font(Font&& other) noexcept
        : font_(other.font_)
    {
        other.font_ = nullptr;
    }
    Font& operator=(Font&& other) noexcept
    {
        if (this != &other) {
            Reset();
            font_ = other.font_;
            other.font_ = nullptr;
        }
        return *this;
    }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    HFONT Get() const { return font_; }

private:
    void Reset()
    {
        if (font_ != nullptr)
            DeleteObject(font_);
        font_ = nullptr;
    }
    HFONT font_ = nullptr;
};

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

    Font defaultFont_;
    Font tahoma_;
    Font titleFont_;
    Font gameNameFont_;
    HBRUSH background_ = nullptr;
    HWND focusBeforeDeactivation_ = nullptr;
    Editor editor_;
};
