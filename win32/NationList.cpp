#include "NationList.h"

#include "Dpi.h"
#include "FormDesign.h"
#include "Guarded.h"
#include "WideText.h"

#include <algorithm>
#include <chrono>
#include <optional>

using nationfile::WideFromUtf8;

namespace {

constexpr UINT_PTR kSubclassId = 1;

} // namespace

NationList::NationList(NationRows& rows)
    : rows_(rows)
    // As long as Windows' own lists wait for the next key of a name.
    , find_(std::chrono::milliseconds(2 * GetDoubleClickTime()))
{
    rows_.SetObserver(this);
}

NationList::~NationList()
{
    rows_.SetObserver(nullptr);
}

HWND NationList::Create(HWND parent, int id, HINSTANCE instance)
{
    // The window text no one sees is the name a screen reader reads.
    list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, nationfile::WideFromUtf8(form::LIST_NAME).c_str(),
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_NOCOLUMNHEADER
                                | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                            0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (list_ == nullptr)
        return nullptr;
    ListView_SetExtendedListViewStyle(list_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP
                                                 | LVS_EX_DOUBLEBUFFER);
    // The ticks are the list's, not the control's: it asks for each one.
    ListView_SetCallbackMask(list_, LVIS_STATEIMAGEMASK);
    LVCOLUMNW column {};
    column.mask = LVCF_WIDTH;
    ListView_InsertColumn(list_, 0, &column);
    SetWindowSubclass(list_, ControlProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    return list_;
}

void NationList::TicksChanged(std::span<const std::size_t> rows)
{
    if (rows.size() == 1) {
        ListView_RedrawItems(list_, static_cast<int>(rows.front()), static_cast<int>(rows.front()));
        AnnounceTick(rows.front());
        return;
    }
    // One invalidation for the lot: a redraw asked for row by row costs a
    // round trip to the window server each under Wine, seconds for 32,767.
    InvalidateRect(list_, nullptr, FALSE);
    // The ticks kept here are the control's own to a screen reader only as
    // they are announced. Those in view are, one by one; for the rest it is
    // told to read the list again as it comes to them.
    const auto first = static_cast<std::size_t>(std::max(ListView_GetTopIndex(list_), 0));
    const std::size_t last = first + static_cast<std::size_t>(ListView_GetCountPerPage(list_)) + 1;
    for (auto row = std::lower_bound(rows.begin(), rows.end(), first); row != rows.end() && *row <= last; ++row)
        AnnounceTick(*row);
    NotifyWinEvent(EVENT_OBJECT_REORDER, list_, OBJID_CLIENT, CHILDID_SELF);
}

void NationList::AnnounceTick(std::size_t row) const
{
    if (row < rows_.NationCount())
        NotifyWinEvent(EVENT_OBJECT_STATECHANGE, list_, OBJID_CLIENT, static_cast<LONG>(row) + 1);
}

void NationList::TicksInFileChanged()
{
    InvalidateRect(list_, nullptr, FALSE);
}

int NationList::Focused() const
{
    const int focused = ListView_GetNextItem(list_, -1, LVNI_FOCUSED);
    return focused >= 0 && static_cast<std::size_t>(focused) < rows_.NationCount() ? focused : -1;
}

POINT NationList::MenuPoint() const
{
    RECT at {};
    const int focused = Focused();
    if (focused < 0 || !ListView_GetItemRect(list_, focused, &at, LVIR_LABEL))
        GetClientRect(list_, &at);
    POINT point = {at.left, at.bottom};
    ClientToScreen(list_, &point);
    return point;
}

// Entries whose tick differs from the file's are drawn in bold.
LRESULT NationList::CustomDraw(NMLVCUSTOMDRAW& draw)
{
    if (draw.nmcd.dwDrawStage == CDDS_PREPAINT)
        return CDRF_NOTIFYITEMDRAW;
    if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT)
        return CDRF_DODEFAULT;
    const auto index = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
    if (index >= rows_.NationCount() || !rows_.IsChanged(index))
        return CDRF_DODEFAULT;
    const auto font = reinterpret_cast<HFONT>(SendMessageW(list_, WM_GETFONT, 0, 0));
    if (bold_.Get() == nullptr || boldFor_ != font) {
        LOGFONTW bold {};
        GetObjectW(font != nullptr ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT), sizeof(bold),
                   &bold);
        bold.lfWeight = FW_BOLD;
        bold_ = OwnedFont(CreateFontIndirectW(&bold));
        boldFor_ = font;
    }
    SelectObject(draw.nmcd.hdc, bold_.Get());
    return CDRF_NEWFONT;
}

// A new list starts at its top, with nothing selected.
void NationList::NationsReplaced(std::size_t count)
{
    const int selected = ListView_GetNextItem(list_, -1, LVNI_SELECTED | LVNI_FOCUSED);
    if (selected >= 0)
        ListView_SetItemState(list_, selected, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemCountEx(list_, static_cast<int>(count), LVSICF_NOSCROLL);
    if (count > 0)
        ListView_EnsureVisible(list_, 0, FALSE);
    if (GetFocus() == list_)
        FocusSomeEntry();
    InvalidateRect(list_, nullptr, TRUE);
}

// A list with the keyboard and entries has an entry that Space ticks, shown
// with the focus mark: the first, when none had it.
void NationList::FocusSomeEntry()
{
    if (rows_.NationCount() > 0 && ListView_GetNextItem(list_, -1, LVNI_FOCUSED) < 0)
        ListView_SetItemState(list_, 0, LVIS_FOCUSED, LVIS_FOCUSED);
}

void NationList::FitColumn()
{
    // As wide as the list beside a vertical scroll bar, whether one shows or
    // not: a column that changed with the scroll bar would cost a second
    // layout at every load, and a horizontal scroll bar would come and go.
    RECT client {};
    GetClientRect(list_, &client);
    const bool scrolls = (GetWindowLongPtrW(list_, GWL_STYLE) & WS_VSCROLL) != 0;
    const int scrollBar = MulDiv(GetSystemMetrics(SM_CXVSCROLL), static_cast<int>(DpiOf(list_)), static_cast<int>(DpiOf(nullptr)));
    ListView_SetColumnWidth(list_, 0, client.right - client.left - (scrolls ? 0 : scrollBar));
}

void NationList::Toggle(std::size_t index)
{
    rows_.ToggleNation(index);
}

void NationList::Select(std::size_t index)
{
    const int row = static_cast<int>(index);
    ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(list_, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(list_, row, FALSE);
}

int NationList::StateIconAt(LPARAM point) const
{
    LVHITTESTINFO hit {};
    hit.pt = {static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))};
    const int row = ListView_SubItemHitTest(list_, &hit);
    return row >= 0 && (hit.flags & LVHT_ONITEMSTATEICON) != 0 ? row : -1;
}

// Type-to-find (see TypeToFind): the nation found is selected.
void NationList::Find(wchar_t typed)
{
    const int focused = Focused();
    const std::optional<std::size_t> found = find_.Key(
        rows_, nationfile::Utf8FromWide(std::wstring(1, typed)),
        focused < 0 ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(focused)));
    // The row with the focus stays as it is shown: Space ticked it.
    if (found && static_cast<int>(*found) != focused)
        Select(*found);
    else if (!found) // No name starts so, or no row to tick: a beep, as Windows' own lists give.
        MessageBeep(MB_OK);
}

bool NationList::IsCutShort(std::size_t index, const std::wstring& text) const
{
    RECT label {};
    if (!ListView_GetSubItemRect(list_, static_cast<int>(index), 0, LVIR_LABEL, &label))
        return false;
    // The control leaves a few pixels either side of the text.
    return ListView_GetStringWidth(list_, text.c_str()) + 12 > label.right - label.left;
}

bool NationList::OnNotify(const NMHDR& header, LRESULT& result)
{
    if (header.hwndFrom != list_)
        return false;
    switch (header.code) {
    case LVN_GETDISPINFOW: {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header))->item;
        if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= rows_.NationCount())
            return true;
        const auto row = static_cast<std::size_t>(item.iItem);
        if ((item.mask & LVIF_TEXT) != 0 && item.pszText != nullptr && item.cchTextMax > 0) {
            // UTF-8 as the file library gives it, converted only for the rows
            // shown.
            shownText_ = WideFromUtf8(rows_.Name(row));
            const std::size_t length = std::min<std::size_t>(shownText_.size(), item.cchTextMax - 1);
            std::copy_n(shownText_.data(), length, item.pszText);
            item.pszText[length] = L'\0';
        }
        if ((item.mask & LVIF_STATE) != 0) {
            item.state = (item.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(rows_.IsNationTicked(row) ? 2 : 1);
            item.stateMask |= LVIS_STATEIMAGEMASK;
        }
        result = 0;
        return true;
    }
    case LVN_GETINFOTIPW: {
        // A name cut short by the list's width can be read whole.
        auto& tip = *reinterpret_cast<NMLVGETINFOTIPW*>(const_cast<NMHDR*>(&header));
        if (tip.iItem < 0 || static_cast<std::size_t>(tip.iItem) >= rows_.NationCount() || tip.cchTextMax <= 0)
            return true;
        const std::wstring name = WideFromUtf8(rows_.Name(static_cast<std::size_t>(tip.iItem)));
        const std::size_t length = IsCutShort(static_cast<std::size_t>(tip.iItem), name)
            ? std::min<std::size_t>(name.size(), tip.cchTextMax - 1)
            : 0;
        std::copy_n(name.data(), length, tip.pszText);
        tip.pszText[length] = L'\0';
        result = 0;
        return true;
    }
    case NM_CUSTOMDRAW:
        result = CustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&header)));
        return true;
    case LVN_ODFINDITEMW:
        // The list finds typed names itself (see Find).
        result = -1;
        return true;
    default:
        return false;
    }
}

LRESULT CALLBACK NationList::ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR self)
{
    return Guarded(window, [&] {
        bool handled = false;
        const LRESULT result
            = reinterpret_cast<NationList*>(self)->HandleControlMessage(message, wParam, lParam, handled);
        if (handled)
            return result;
        if (message == WM_NCDESTROY)
            RemoveWindowSubclass(window, ControlProc, kSubclassId);
        return DefSubclassProc(window, message, wParam, lParam);
    });
}

LRESULT NationList::HandleControlMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    handled = true;
    switch (message) {
    case WM_SETFOCUS:
        FocusSomeEntry();
        break;
    // Each click on a tick box toggles it, the second of a quick pair too,
    // which the control would take as a double-click.
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        const int row = StateIconAt(lParam);
        if (row < 0)
            break;
        SetFocus(list_);
        Select(static_cast<std::size_t>(row));
        Toggle(static_cast<std::size_t>(row));
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam != VK_SPACE || GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0)
            break;
        // The space ticks, or joins a name being typed, as its WM_CHAR: the
        // control's own Space would tick in either case.
        return 0;
    case WM_CHAR: {
        const auto typed = static_cast<wchar_t>(wParam);
        if (typed < L' ' || typed == 0x7F)
            break;
        if (typed == L' ' && (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0))
            break;
        Find(typed);
        return 0;
    }
    default:
        break;
    }
    handled = false;
    return 0;
}
