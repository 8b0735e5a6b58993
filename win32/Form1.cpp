#include "Form1.h"

#include "Dpi.h"
#include "FormDesign.h"
#include "Guarded.h"
#include "NamedAccessible.h"
#include "WideText.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <array>
#include <vector>

using nationfile::Utf8FromWide;
using nationfile::WideFromUtf8;

namespace {

constexpr wchar_t kWindowClass[] = L"CM3Tallowmere.Form1";
// Where the folder of the last file loaded is kept between runs.
constexpr wchar_t kSettingsKey[] = L"Software\\Cm3 Tallowmere";
constexpr wchar_t kLastFolder[] = L"LastFolder";

// A fixed dialog frame with the window menu and a close button, and nothing
// to minimise or maximise it with.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

int Pixels(int twips, UINT dpi)
{
    return form::Pixels(twips, static_cast<int>(dpi));
}

COLORREF ToColorRef(form::Colour colour)
{
    return RGB(colour.red, colour.green, colour.blue);
}

// The window's grey, for the window class and for the labels it shows
// through: made once, and kept as long as the class, which is as long as the
// program runs.
HBRUSH Background()
{
    static const OwnedBrush brush(CreateSolidBrush(ToColorRef(form::BACKGROUND)));
    return brush.Get();
}

// Registered once for every window of the program; the icons are Windows'
// to free (LR_SHARED).
bool RegisterWindowClass(HINSTANCE instance, WNDPROC procedure)
{
    static const bool registered = [&] {
        WNDCLASSEXW windowClass {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = instance;
        windowClass.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                          GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                                          LR_SHARED));
        windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                            GetSystemMetrics(SM_CXSMICON),
                                                            GetSystemMetrics(SM_CYSMICON), LR_SHARED));
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = Background();
        windowClass.lpszClassName = kWindowClass;
        return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

// The family, as well as the face, decides what stands in where the face is
// missing: a serif for a serif (FF_ROMAN), not the system's default face.
OwnedFont MakeFont(const form::Font& design, UINT dpi)
{
    LOGFONTW font {};
    font.lfHeight = -MulDiv(design.hundredthsOfPoint, static_cast<int>(dpi), 7200);
    font.lfWeight = design.bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH | (design.serif ? FF_ROMAN : FF_SWISS);
    lstrcpynW(font.lfFaceName, WideFromUtf8(design.Face()).c_str(), LF_FACESIZE);
    return OwnedFont(CreateFontIndirectW(&font));
}

// The common dialog's filter: description, pattern, each ended by a zero,
// and one zero more. Windows matches the pattern in any letter case, as its
// file names are.
std::wstring DialogFilter(const form::FileFilter& filter)
{
    std::wstring result = WideFromUtf8(filter.description);
    result += L'\0';
    result += WideFromUtf8(filter.pattern);
    result += L'\0';
    result += L'\0';
    return result;
}

// A read-only multi-line edit in a window with dialog keys closes its
// parent on Escape, and that would end the program: Escape does nothing in
// the help box, as anywhere in the window.
LRESULT CALLBACK HelpBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    return Guarded(window, [&]() -> LRESULT {
        if ((message == WM_KEYDOWN && wParam == VK_ESCAPE) || (message == WM_CHAR && wParam == 0x1B))
            return 0;
        // A multi-line edit asks for every key, Tab included, and hands Tab to
        // a dialog's own procedure, which this window has not: Tab would go
        // nowhere. The help box takes no Tab, so the window's Tab walks on.
        if (message == WM_GETDLGCODE && lParam != 0) {
            const auto& key = *reinterpret_cast<const MSG*>(lParam);
            if (key.message == WM_KEYDOWN && key.wParam == VK_TAB)
                return DefSubclassProc(window, message, wParam, lParam) & ~(DLGC_WANTALLKEYS | DLGC_WANTTAB);
        }
        if (message == WM_GETOBJECT) {
            if (const LRESULT named = NamedAccessible::Answer(window, wParam, lParam, WideFromUtf8(form::HELP_NAME)))
                return named;
        }
        if (message == WM_NCDESTROY)
            RemoveWindowSubclass(window, HelpBoxProc, 1);
        return DefSubclassProc(window, message, wParam, lParam);
    });
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    return name;
}

} // namespace

Form1::Form1(HINSTANCE instance)
    : instance_(instance)
    , editor_(*this)
{
}

Form1::~Form1()
{
    if (hwnd_ != nullptr)
        DestroyWindow(hwnd_);
}

bool Form1::Create(int show)
{
    if (!RegisterWindowClass(instance_, WindowProc))
        return false;
    const std::wstring title = WideFromUtf8(form::TITLE);
    // An owned window has no taskbar button of its own; its owner is never
    // shown.
    owner_ = OwnedWindow(CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", title.c_str(), WS_POPUP, 0, 0, 0, 0, nullptr,
                                         nullptr, instance_, nullptr));
    const UINT dpi = DpiOf(nullptr);
    const RECT frame = WindowRectFor({Pixels(form::CLIENT_WIDTH, dpi), Pixels(form::CLIENT_HEIGHT, dpi)}, kStyle,
                                     kExStyle, dpi);
    hwnd_ = CreateWindowExW(kExStyle, kWindowClass, title.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            frame.right - frame.left, frame.bottom - frame.top, owner_.Get(), nullptr, instance_, this);
    if (hwnd_ == nullptr)
        return false;
    ShowWindow(hwnd_, show);
    UpdateWindow(hwnd_);
    SetFocus(controls_[form::cmdLoad]);
    return true;
}

LRESULT CALLBACK Form1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Form1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return Guarded(window, [&] { return self->HandleMessage(message, wParam, lParam); });
}

LRESULT Form1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == list_.Handle()) {
            ShowTickMenu(lParam);
            return 0;
        }
        break;
    case WM_DROPFILES:
        OnDrop(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (list_.OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result))
            return result;
        break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_ACTIVATE:
        // The focus comes back to the control that had it, as in a dialog.
        if (LOWORD(wParam) == WA_INACTIVE) {
            focusBeforeDeactivation_ = GetFocus();
        } else if (focusBeforeDeactivation_ != nullptr && IsChild(hwnd_, focusBeforeDeactivation_)) {
            SetFocus(focusBeforeDeactivation_);
            return 0;
        }
        break;
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
        OnColoursChanged(message, wParam, lParam);
        break;
    case WM_ERASEBKGND:
        return OnEraseBackground(reinterpret_cast<HDC>(wParam));
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Form1::OnCreate()
{
    highContrast_ = HighContrast();
    CreateControls();
    Layout(DpiOf(hwnd_));
    HMENU menu = GetSystemMenu(hwnd_, FALSE);
    for (const UINT command : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE})
        DeleteMenu(menu, command, MF_BYCOMMAND);
    // A nation file dropped on the window is loaded.
    DragAcceptFiles(hwnd_, TRUE);
    editor_.Form_Load();
}

// The window moved to a monitor of another resolution: the same design at
// the new one, where Windows suggests.
void Form1::OnDpiChanged(UINT dpi, const RECT& suggested)
{
    Layout(dpi);
    const RECT frame = WindowRectFor({Pixels(form::CLIENT_WIDTH, dpi), Pixels(form::CLIENT_HEIGHT, dpi)}, kStyle,
                                     kExStyle, dpi);
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// The controls as designed, made in tab order: the order of creation is the
// order of Tab.
void Form1::CreateControls()
{
    for (std::size_t i = 0; i < form::CONTROLS.size(); ++i)
        controls_[i] = CreateControl(form::CONTROLS[i], ControlId(static_cast<form::Index>(i)));
}

HWND Form1::CreateControl(const form::Control& design, int id)
{
    const auto menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
    const std::wstring text = WideFromUtf8(design.text);
    switch (design.kind) {
    case form::Kind::Button:
        return CreateWindowExW(0, WC_BUTTONW, text.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0,
                               0, 0, hwnd_, menu, instance_, nullptr);
    case form::Kind::NationList:
        return list_.Create(hwnd_, id, instance_);
    case form::Kind::Label:
        return CreateWindowExW(0, WC_STATICW, text.c_str(),
                               WS_CHILD | WS_VISIBLE | SS_NOPREFIX | (design.centred ? SS_CENTER : SS_LEFT), 0, 0, 0,
                               0, hwnd_, menu, instance_, nullptr);
    case form::Kind::HelpBox:
        break;
    }
    HWND help = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, text.c_str(),
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0,
                                0, 0, 0, hwnd_, menu, instance_, nullptr);
    SetWindowSubclass(help, HelpBoxProc, 1, 0);
    return help;
}

// Places and fonts at a resolution: at the start, and when the window moves
// to a monitor of another resolution.
void Form1::Layout(UINT dpi)
{
    std::array<OwnedFont, form::FONTS.size()> fonts;
    for (std::size_t kind = 0; kind < fonts.size(); ++kind)
        fonts[kind] = MakeFont(form::FONTS[kind], dpi);
    for (std::size_t i = 0; i < form::CONTROLS.size(); ++i) {
        const form::Control& design = form::CONTROLS[i];
        SetWindowPos(controls_[i], nullptr, Pixels(design.left, dpi), Pixels(design.top, dpi),
                     Pixels(design.width, dpi), Pixels(design.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(controls_[i], WM_SETFONT,
                     reinterpret_cast<WPARAM>(fonts[static_cast<std::size_t>(design.font)].Get()), TRUE);
    }
    list_.FitColumn();
    // The old fonts go only now that no control uses them.
    fonts_ = std::move(fonts);
}

void Form1::OnCommand(int id, int code)
{
    if (code != BN_CLICKED)
        return;
    if (id == IDOK) {
        // Enter. The dialog manager sends the focused button's own click
        // only when that button has the default look, which it gives on Tab
        // alone; a button that has the focus from the start, an access key,
        // a click or a closed message would get IDOK instead. Enter presses
        // the focused button however it got the focus, and nothing else.
        HWND focus = GetFocus();
        if (focus != nullptr && GetParent(focus) == hwnd_ && ClassOf(focus) == WC_BUTTONW)
            id = GetDlgCtrlID(focus);
    }
    // Enter (IDOK) and Escape (IDCANCEL) are bound to no command.
    if (id >= kFirstControlId && id < ControlId(form::CONTROL_COUNT))
        editor_.Click(static_cast<form::Index>(id - kFirstControlId));
}

const form::Control* Form1::DesignOf(HWND control) const
{
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (controls_[i] == control)
            return &form::CONTROLS[i];
    }
    return nullptr;
}

// New system colours, or High Contrast switched on or off.
void Form1::OnColoursChanged(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Common controls learn of new colours only from their parent.
    if (message == WM_SYSCOLORCHANGE)
        SendMessageW(list_.Handle(), WM_SYSCOLORCHANGE, wParam, lParam);
    highContrast_ = HighContrast();
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

LRESULT Form1::OnEraseBackground(HDC dc)
{
    RECT client {};
    GetClientRect(hwnd_, &client);
    FillRect(dc, &client, highContrast_ ? GetSysColorBrush(COLOR_BTNFACE) : Background());
    return 1;
}

// The design's colours stand where the design fixes them: the window's grey
// and the text on it, the game's name in red. What stands on the button face
// takes the system's button colours. In High Contrast, Windows' colours stand
// everywhere, as Windows asks of every program.
LRESULT Form1::OnControlColour(HDC dc, HWND control)
{
    const form::Control* design = DesignOf(control);
    const form::Background background = design != nullptr ? design->background : form::Background::Own;
    if (background == form::Background::Window)
        SetBkMode(dc, TRANSPARENT);
    if (highContrast_ || background == form::Background::ButtonFace) {
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    // Labels without a background of their own, and the corners around the
    // buttons' rounded faces: the window's grey.
    SetTextColor(dc, ToColorRef(design != nullptr && design->red ? form::RED : form::TEXT));
    return reinterpret_cast<LRESULT>(Background());
}

bool Form1::SystemHighContrast()
{
    HIGHCONTRASTW contrast {};
    contrast.cbSize = sizeof(contrast);
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0)
        && (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

std::string Form1::ShowOpenDialog(const std::string& title, const form::FileFilter& filter, const std::string& folder)
{
    const std::wstring wideTitle = WideFromUtf8(title);
    const std::wstring wideFolder = WideFromUtf8(folder);
    const std::wstring wideFilter = DialogFilter(filter);
    // Long enough for any path Windows can name.
    std::wstring file(32768, L'\0');
    OPENFILENAMEW dialog {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = wideFilter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = wideTitle.c_str();
    dialog.lpstrInitialDir = wideFolder.empty() ? nullptr : wideFolder.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR
        | OFN_DONTADDTORECENT;
    if (!GetOpenFileNameW(&dialog))
        return {};
    return Utf8FromWide(file.c_str());
}

MessageAnswer Form1::ShowMessage(const std::string& text, const std::string& title, MessageButtons buttons)
{
    const std::wstring wideText = WideFromUtf8(text);
    const std::wstring wideTitle = WideFromUtf8(title);
    const UINT type = (buttons == MessageButtons::YesNo ? MB_YESNO : MB_OK) | MB_DEFBUTTON1 | MB_APPLMODAL;
    for (;;) {
        const int answer = MessageBoxW(hwnd_, wideText.c_str(), wideTitle.c_str(), type);
        if (buttons == MessageButtons::Ok)
            return MessageAnswer::Ok;
        if (answer == IDYES)
            return MessageAnswer::Yes;
        // Windows' Yes/No box can only be answered; Wine's ends on Escape as
        // a cancel, so the question is asked again. A box that could not be
        // shown at all counts as No, which changes nothing.
        if (answer == IDNO || answer == 0)
            return MessageAnswer::No;
    }
}

void Form1::SetHelpText(const std::string& text)
{
    // The edit control wants Windows line breaks, which the help text has.
    SetWindowTextW(controls_[form::RichTextBox1], WideFromUtf8(text).c_str());
}

void Form1::Launch(const std::string& address)
{
    // Minimised but given the focus, not waited for, its outcome not looked at.
    ShellExecuteW(hwnd_, nullptr, WideFromUtf8(address).c_str(), nullptr, nullptr, SW_SHOWMINIMIZED);
}

void Form1::End()
{
    DestroyWindow(hwnd_);
}

// The key is read and written with the calls Windows XP has: RegGetValueW
// and RegSetKeyValueW came with Vista.
std::string Form1::RememberedFolder() const
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return {};
    const OwnedKey key(opened);
    std::vector<wchar_t> folder(32768, L'\0');
    DWORD type = 0;
    // One character short of the buffer: the value may lack its final zero.
    DWORD size = static_cast<DWORD>((folder.size() - 1) * sizeof(wchar_t));
    if (RegQueryValueExW(key.Get(), kLastFolder, nullptr, &type, reinterpret_cast<BYTE*>(folder.data()), &size)
            != ERROR_SUCCESS
        || type != REG_SZ)
        return {};
    folder[size / sizeof(wchar_t)] = L'\0';
    return Utf8FromWide(folder.data());
}

void Form1::RememberFolder(const std::string& folder)
{
    const std::wstring wide = WideFromUtf8(folder);
    HKEY created = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &created, nullptr)
        != ERROR_SUCCESS)
        return;
    const OwnedKey key(created);
    RegSetValueExW(key.Get(), kLastFolder, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

// The list's context menu: right-click, the Menu key or Shift+F10.
void Form1::ShowTickMenu(LPARAM at)
{
    POINT point = {static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (at == -1)
        point = list_.MenuPoint();
    const OwnedMenu menu(CreatePopupMenu());
    AppendTickEntries(menu.Get(), editor_.TickMenu());
    // 0: the menu was left without a choice, which no entry's id is.
    const int chosen
        = TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y, 0, hwnd_, nullptr);
    if (chosen > 0)
        editor_.ApplyTicks(chosen);
}

void Form1::AppendTickEntries(HMENU menu, const std::vector<TickMenuEntry>& entries)
{
    for (const TickMenuEntry& entry : entries) {
        const UINT state = entry.enabled ? MF_ENABLED : MF_GRAYED;
        const std::wstring label = WideFromUtf8(entry.label);
        if (!entry.IsSubmenu()) {
            AppendMenuW(menu, MF_STRING | state, static_cast<UINT_PTR>(entry.id), label.c_str());
            continue;
        }
        // Once in the menu, a submenu goes with the menu.
        OwnedMenu submenu(CreatePopupMenu());
        AppendTickEntries(submenu.Get(), entry.submenu);
        if (AppendMenuW(menu, MF_POPUP | state, reinterpret_cast<UINT_PTR>(submenu.Get()), label.c_str()))
            submenu.Release();
    }
}

void Form1::OnDrop(HDROP drop)
{
    std::wstring path;
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
        path.resize(DragQueryFileW(drop, 0, nullptr, 0) + 1);
        path.resize(DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size())));
    }
    DragFinish(drop);
    if (!path.empty())
        editor_.LoadFile(Utf8FromWide(path));
}
