#pragma once

#include "NationRows.h"
#include "Owned.h"
#include "TypeToFind.h"

#include <windows.h>

#include <commctrl.h>

#include <span>
#include <string>

// The nation list on Windows: a virtual list view with a tick box before
// every name. The control asks for the rows it shows, so that 32,767 rows
// fill as fast as a handful.
class NationList : private NationRows::Observer {
public:
    explicit NationList(NationRows& rows);
    ~NationList() override;
    NationList(const NationList&) = delete;
    NationList& operator=(const NationList&) = delete;

    HWND Create(HWND parent, int id, HINSTANCE instance);
    HWND Handle() const { return list_; }

    // The entry the keyboard is on, if any, and where it shows on the screen.
    int Focused() const;
    POINT MenuPoint() const;

    // Makes the one column as wide as the list, after a change of size,
    // resolution or scroll bar.
    void FitColumn();
    // Answers the control's notifications to its parent.
    bool OnNotify(const NMHDR& header, LRESULT& result);

private:
    void NationsReplaced(std::size_t count) override;
    void TicksChanged(std::span<const std::size_t> rows) override;
    void TicksInFileChanged() override;
    void AnnounceTick(std::size_t row) const;
    static LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                        DWORD_PTR self);
    LRESULT HandleControlMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    void Toggle(std::size_t index);
    void Select(std::size_t index);
    void FocusSomeEntry();
    int StateIconAt(LPARAM point) const;
    void Find(wchar_t typed);
    bool IsCutShort(std::size_t index, const std::wstring& text) const;
    LRESULT CustomDraw(NMLVCUSTOMDRAW& draw);

    HWND list_ = nullptr;
    NationRows& rows_;
    TypeToFind find_;
    std::wstring shownText_;
    HFONT boldFor_ = nullptr;
    OwnedFont bold_;
};
