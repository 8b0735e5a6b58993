#include "Form1.h"

#include "Dpi.h"
#include "WideText.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <array>
#include <map>
#include <vector>

using nationfile::Utf8FromWide;
using nationfile::WideFromUtf8;

namespace {

constexpr wchar_t kWindowClass[] = L"CM3Tallowmere.Form1";
constexpr wchar_t kWindowTitle[] = L"CM3 99/00 Tallowmere";
constexpr wchar_t kApplicationTitle[] = L"Cm3 Tallowmere";
// Where the folder of the last file loaded is kept between runs.
constexpr wchar_t kSettingsKey[] = L"Software\\Cm3 Tallowmere";
constexpr wchar_t kLastFolder[] = L"LastFolder";
constexpr int kClientWidthTwips = 9015;
constexpr int kClientHeightTwips = 4935;
constexpr COLORREF kBackground = RGB(192, 192, 192);
constexpr COLORREF kGameNameColour = RGB(192, 0, 0);

// A fixed dialog frame with the window menu and a close button, and nothing
// to minimise or maximise it with.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

enum class FontKind { WindowDefault, Tahoma, Title, GameName };

// The family, as well as the face, decides what stands in where the face is
// missing: a serif for a serif (FF_ROMAN), not the system's default face.
Font MakeFont(const wchar_t* face, BYTE family, int hundredthsOfPoint, bool bold, UINT dpi)
{
    LOGFONTW font {};
    font.lfHeight = -MulDiv(hundredthsOfPoint, static_cast<int>(dpi), 7200);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH | family;
    lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return Font(CreateFontIndirectW(&font));
}

// "Description | Pattern" as the commands give it, as the common dialog
// wants it: description, pattern, each ended by a zero, and one zero more.
// Windows matches the pattern in any letter case, as its file names are.
std::wstring DialogFilter(const std::string& filter)
{
    const std::wstring text = WideFromUtf8(filter);
    const std::size_t bar = text.find(L'|');
    const auto trimmed = [](std::wstring part) {
        const std::size_t first = part.find_first_not_of(L' ');
        const std::size_t last = part.find_last_not_of(L' ');
        return first == std::wstring::npos ? std::wstring() : part.substr(first, last - first + 1);
    };
    std::wstring result = trimmed(text.substr(0, bar));
    result += L'\0';
    result += trimmed(bar == std::wstring::npos ? std::wstring() : text.substr(bar + 1));
    result += L'\0';
    result += L'\0';
    return result;
}

// A read-only multi-line edit in a window with dialog keys closes its
// parent on Escape, and that would end the program: Escape does nothing in
// the help box, as anywhere in the window.
LRESULT CALLBACK HelpBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if ((message == WM_KEYDOWN && wParam == VK_ESCAPE) || (message == WM_CHAR && wParam == 0x1B))
        return 0;
    // A multi-line edit asks for every key, Tab included, and hands Tab to a
    // dialog's own procedure, which this window has not: Tab would go
    // nowhere. The help box takes no Tab, so the window's Tab walks on.
    if (message == WM_GETDLGCODE && lParam != 0) {
        const auto& key = *reinterpret_cast<const MSG*>(lParam);
        if (key.message == WM_KEYDOWN && key.wParam == VK_TAB)
            return DefSubclassProc(window, message, wParam, lParam) & ~(DLGC_WANTALLKEYS | DLGC_WANTTAB);
    }
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(window, HelpBoxProc, 1);
    return DefSubclassProc(window, message, wParam, lParam);
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
    if (owner_ != nullptr)
        DestroyWindow(owner_);
    if (background_ != nullptr)
        DeleteObject(background_);
}

bool Form1::Create(int show)
{
    background_ = CreateSolidBrush(kBackground);
    WNDCLASSEXW windowClass {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance_;
    windowClass.hIcon = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                        GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background_;
    windowClass.lpszClassName = kWindowClass;
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;

    // An owned window has no taskbar button of its own; its owner is never
    // shown.
    owner_ = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", kWindowTitle, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                             instance_, nullptr);
    const UINT dpi = DpiOf(nullptr);
    const RECT frame = WindowRectFor(
        {FromTwips(kClientWidthTwips, dpi), FromTwips(kClientHeightTwips, dpi)}, kStyle, kExStyle, dpi);
    hwnd_ = CreateWindowExW(kExStyle, kWindowClass, kWindowTitle, kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            frame.right - frame.left, frame.bottom - frame.top, owner_, nullptr, instance_, this);
    if (hwnd_ == nullptr)
        return false;
    ShowWindow(hwnd_, show);
    UpdateWindow(hwnd_);
    SetFocus(cmdLoad);
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
    // Nothing may unwind through Windows' own code.
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        MessageBoxW(window, L"The editor met an error it can't recover from and will close.", kApplicationTitle,
                    MB_OK);
        PostQuitMessage(1);
        return 0;
    }
}

LRESULT Form1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        CreateControls();
        Layout(DpiOf(hwnd_));
        HMENU menu = GetSystemMenu(hwnd_, FALSE);
        for (const UINT command : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE})
            DeleteMenu(menu, command, MF_BYCOMMAND);
        // A nation file dropped on the window is loaded.
        DragAcceptFiles(hwnd_, TRUE);
        editor_.Form_Load();
        return 0;
    }
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == lstNations.Handle()) {
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
        if (lstNations.OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result))
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
    case WM_DPICHANGED: {
        const UINT dpi = HIWORD(wParam);
        Layout(dpi);
        const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
        const RECT frame = WindowRectFor(
            {FromTwips(kClientWidthTwips, dpi), FromTwips(kClientHeightTwips, dpi)}, kStyle, kExStyle, dpi);
        SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, frame.right - frame.left,
                     frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_SYSCOLORCHANGE:
        InvalidateRect(hwnd_, nullptr, TRUE);
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Form1::CreateControls()
{
    const auto control = [this](const wchar_t* kind, const wchar_t* text, DWORD style, int id) {
        return CreateWindowExW(0, kind, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, hwnd_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    };
    const DWORD button = WS_TABSTOP | BS_PUSHBUTTON;
    const DWORD label = SS_NOPREFIX;

    // In tab order: the order of creation is the order of Tab.
    cmdLoad = control(WC_BUTTONW, L"&Load Nations", button, IdLoad);
    lstNations.Create(hwnd_, IdNations, instance_);
    cmdPatch = control(WC_BUTTONW, L"&Patch Nation.dat", button, IdPatch);
    cmdAllEEC = control(WC_BUTTONW, L"&Make All Countries EEC Members", button, IdAllEEC);
    Label1 = control(WC_STATICW, L"Tallowmere", label | SS_CENTER, IdLabel1);
    RichTextBox1 = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, L"RichTextBox1",
                                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                                   0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IdHelp)),
                                   instance_, nullptr);
    SetWindowSubclass(RichTextBox1, HelpBoxProc, 1, 0);
    Label2 = control(WC_STATICW, L"Championship Manager 99/00", label | SS_LEFT, IdLabel2);
    cmdExit = control(WC_BUTTONW, L"&Exit", button, IdExit);
    cmdURL = control(WC_BUTTONW, L"&Visit My Website", button, IdURL);
    cmdEMail = control(WC_BUTTONW, L"E-M&ail Me", button, IdEMail);
    Label3 = control(WC_STATICW, L"v1.2", label | SS_LEFT, IdLabel3);
}

void Form1::Layout(UINT dpi)
{
    defaultFont_ = MakeFont(L"MS Sans Serif", FF_SWISS, 825, false, dpi);
    tahoma_ = MakeFont(L"Tahoma", FF_SWISS, 825, false, dpi);
    titleFont_ = MakeFont(L"Times New Roman", FF_ROMAN, 2625, false, dpi);
    gameNameFont_ = MakeFont(L"Arial", FF_SWISS, 975, true, dpi);

    // The window as designed, in twips from the client area's top-left corner.
    struct Placement {
        HWND control;
        int left;
        int top;
        int width;
        int height;
        HFONT font;
    };
    const std::array<Placement, 11> placements = {{
        {cmdLoad, 120, 120, 1935, 375, tahoma_.Get()},
        {lstNations.Handle(), 120, 600, 3975, 3885, defaultFont_.Get()},
        {cmdPatch, 2160, 120, 1935, 375, tahoma_.Get()},
        {cmdAllEEC, 120, 4560, 3975, 315, tahoma_.Get()},
        {Label1, 4800, 480, 3615, 615, titleFont_.Get()},
        {RichTextBox1, 4320, 1320, 4455, 3015, tahoma_.Get()},
        {Label2, 4440, 240, 3015, 255, gameNameFont_.Get()},
        {cmdExit, 8160, 4560, 735, 315, tahoma_.Get()},
        {cmdURL, 6240, 4560, 1815, 315, tahoma_.Get()},
        {cmdEMail, 4800, 4560, 1335, 315, tahoma_.Get()},
        {Label3, 8040, 840, 495, 255, defaultFont_.Get()},
    }};
    for (const Placement& placement : placements) {
        SetWindowPos(placement.control, nullptr, FromTwips(placement.left, dpi), FromTwips(placement.top, dpi),
                     FromTwips(placement.width, dpi), FromTwips(placement.height, dpi),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(placement.control, WM_SETFONT, reinterpret_cast<WPARAM>(placement.font), TRUE);
    }
    lstNations.FitColumn();
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
    switch (id) {
    case IdLoad:
        editor_.cmdLoad_Click();
        break;
    case IdPatch:
        editor_.cmdPatch_Click();
        break;
    case IdAllEEC:
        editor_.cmdAllEEC_Click();
        break;
    case IdExit:
        editor_.cmdExit_Click();
        break;
    case IdEMail:
        editor_.cmdEMail_Click();
        break;
    case IdURL:
        editor_.cmdURL_Click();
        break;
    default:
        // Enter (IDOK) and Escape (IDCANCEL) are bound to no command.
        break;
    }
}

LRESULT Form1::OnControlColour(HDC dc, HWND control)
{
    // Label1 and Label2 let the window's grey show through; Label3 and the
    // help box stand on the button face colour.
    if (control == Label1 || control == Label2) {
        SetBkMode(dc, TRANSPARENT);
        if (control == Label2)
            SetTextColor(dc, kGameNameColour);
        return reinterpret_cast<LRESULT>(background_);
    }
    if (control == Label3 || control == RichTextBox1) {
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    // Buttons: the corners around their rounded faces.
    return reinterpret_cast<LRESULT>(background_);
}

std::string Form1::ShowOpenDialog(const std::string& title, const std::string& filter, const std::string& folder)
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
    // A box given no title is titled "Error"; the application's title stands
    // where the commands give none.
    const std::wstring wideTitle = title.empty() ? std::wstring(kApplicationTitle) : WideFromUtf8(title);
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

void Form1::AddNation(const std::string& text)
{
    lstNations.Add(text);
}

std::size_t Form1::NationCount() const
{
    return lstNations.Count();
}

void Form1::SetNationTicked(std::size_t index, bool ticked)
{
    lstNations.SetTicked(index, ticked);
}

bool Form1::IsNationTicked(std::size_t index) const
{
    return lstNations.IsTicked(index);
}

void Form1::SetNationTicks(const std::vector<bool>& ticks)
{
    lstNations.SetTicks(ticks);
}

void Form1::ClearNations()
{
    lstNations.Clear();
}

void Form1::MarkTicksInFile(const std::vector<bool>& ticks)
{
    lstNations.MarkTicksInFile(ticks);
}

void Form1::SetHelpText(const std::string& text)
{
    // The edit control wants Windows line breaks, which the help text has.
    SetWindowTextW(RichTextBox1, WideFromUtf8(text).c_str());
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
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    std::vector<wchar_t> folder(32768, L'\0');
    DWORD type = 0;
    // One character short of the buffer: the value may lack its final zero.
    DWORD size = static_cast<DWORD>((folder.size() - 1) * sizeof(wchar_t));
    const LSTATUS read
        = RegQueryValueExW(key, kLastFolder, nullptr, &type, reinterpret_cast<BYTE*>(folder.data()), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || type != REG_SZ)
        return {};
    folder[size / sizeof(wchar_t)] = L'\0';
    return Utf8FromWide(folder.data());
}

void Form1::RememberFolder(const std::string& folder)
{
    const std::wstring wide = WideFromUtf8(folder);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, kLastFolder, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// The list's context menu: right-click, the Menu key or Shift+F10.
void Form1::ShowTickMenu(LPARAM at)
{
    POINT point = {static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (at == -1)
        point = lstNations.MenuPoint();
    const std::vector<TickMenuEntry> entries = editor_.TickMenu();
    HMENU menu = CreatePopupMenu();
    std::map<std::string, HMENU> submenus;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        HMENU into = menu;
        const UINT state = entries[i].enabled ? MF_ENABLED : MF_GRAYED;
        if (!entries[i].submenu.empty()) {
            HMENU& submenu = submenus[entries[i].submenu];
            if (submenu == nullptr) {
                submenu = CreatePopupMenu();
                // Greyed out as its first entry is: a submenu's entries all
                // need the same.
                AppendMenuW(menu, MF_POPUP | state, reinterpret_cast<UINT_PTR>(submenu),
                            WideFromUtf8(entries[i].submenu).c_str());
            }
            into = submenu;
        }
        AppendMenuW(into, MF_STRING | state, i + 1, WideFromUtf8(entries[i].label).c_str());
    }
    const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y, 0, hwnd_, nullptr);
    DestroyMenu(menu);
    if (chosen > 0)
        editor_.ApplyTicks(entries[static_cast<std::size_t>(chosen) - 1]);
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
