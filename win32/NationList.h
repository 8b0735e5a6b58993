#pragma once

#include "Owned.h"

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

// The nation list on Windows: a virtual list view with a tick box before
// every name. The names and ticks live here and the control asks for the
// rows it shows, so that 32,767 entries fill as fast as a handful.
class NationList {
public:
    NationList() = default;
    NationList(const NationList&) = delete;
    NationList& operator=(const NationList&) = delete;

    HWND Create(HWND parent, int id, HINSTANCE instance);
    HWND Handle() const { return list_; }

    void Clear();
    void Add(const std::string& utf8);
    std::size_t Count() const { return entries_.size(); }
    void SetTicked(std::size_t index, bool ticked);
    // The first ticks.size() ticks at once, the list repainted once.
    void SetTicks(const std::vector<bool>& ticks);
    bool IsTicked(std::size_t index) const { return entries_.at(index).ticked; }
    // The ticks the file holds: an entry whose tick differs shows in bold.
    void MarkTicksInFile(const std::vector<bool>& ticks);
    // The entry the keyboard is on, if any, and where it shows on the screen.
    int Focused() const;
    POINT MenuPoint() const;

    // Makes the one column as wide as the list, after a change of size,
    // resolution or scroll bar.
    void FitColumn();
    // Answers the control's notifications to its parent.
    bool OnNotify(const NMHDR& header, LRESULT& result);

private:
    struct Entry {
        std::string text; // UTF-8, converted only for the rows shown
        bool ticked = false;
        bool inFile = false;
    };

    static LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                        DWORD_PTR self);
    LRESULT HandleControlMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    void QueueShow();
    void ShowAdded();
    void Toggle(std::size_t index);
    void Select(std::size_t index);
    void FocusSomeEntry();
    int StateIconAt(LPARAM point) const;
    void Find(wchar_t typed);
    bool Searching() const;
    bool IsCutShort(std::size_t index, const std::wstring& text) const;
    LRESULT CustomDraw(NMLVCUSTOMDRAW& draw);

    HWND list_ = nullptr;
    std::vector<Entry> entries_;
    std::size_t shown_ = 0;
    bool showQueued_ = false;
    bool fresh_ = false;
    std::wstring search_;
    DWORD lastSearchKey_ = 0;
    std::wstring shownText_;
    HFONT boldFor_ = nullptr;
    OwnedFont bold_;
};
