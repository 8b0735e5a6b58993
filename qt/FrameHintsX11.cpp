#include "FrameHints.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QTimer>
#include <QScreen>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

// The Motif window manager hints: what the frame may offer and show.
constexpr std::uint32_t kMwmHintsFunctions = 1u << 0;
constexpr std::uint32_t kMwmHintsDecorations = 1u << 1;
constexpr std::uint32_t kMwmFunctionResize = 1u << 1;
constexpr std::uint32_t kMwmFunctionMove = 1u << 2;
constexpr std::uint32_t kMwmFunctionClose = 1u << 5;
constexpr std::uint32_t kMwmDecorationBorder = 1u << 1;
constexpr std::uint32_t kMwmDecorationResizeHandle = 1u << 2;
constexpr std::uint32_t kMwmDecorationTitle = 1u << 3;
constexpr std::uint32_t kMwmDecorationMenu = 1u << 4;

class Connection {
public:
    explicit Connection(xcb_connection_t* connection)
        : connection_(connection)
    {
    }

    xcb_atom_t Atom(const char* name) const
    {
        const auto cookie = xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
        const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection_, cookie, nullptr));
        return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    }

    template <typename T>
    std::vector<T> Property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) const
    {
        const auto cookie = xcb_get_property(connection_, 0, window, property, type, 0, 1024);
        const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection_, cookie, nullptr));
        if (!reply || reply->type != type)
            return {};
        const auto* data = static_cast<const T*>(xcb_get_property_value(reply.get()));
        const auto bytes = static_cast<std::size_t>(xcb_get_property_value_length(reply.get()));
        return std::vector<T>(data, data + bytes / sizeof(T));
    }

    template <typename T>
    void SetProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, const std::vector<T>& values) const
    {
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, property, type, sizeof(T) * 8,
                            static_cast<std::uint32_t>(values.size()), values.data());
    }

    // The name the running window manager gives itself, if it follows EWMH.
    std::string WindowManagerName(xcb_window_t root) const
    {
        const auto check = Property<xcb_window_t>(root, Atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW);
        if (check.empty())
            return {};
        const auto name = Property<char>(check.front(), Atom("_NET_WM_NAME"), Atom("UTF8_STRING"));
        return std::string(name.begin(), name.end());
    }

private:
    xcb_connection_t* connection_;
};

bool IsOpenbox(const Connection& x, xcb_connection_t* connection)
{
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    return screen != nullptr && x.WindowManagerName(screen->root) == "Openbox";
}

// Qt offers resizing even for a window of fixed size, and a window manager
// that sees it may offer to maximise.
void SetMotifHints(const Connection& x, xcb_window_t window, Sizing sizing)
{
    const bool resizable = sizing == Sizing::Resizable;
    const std::vector<std::uint32_t> motif = {
        kMwmHintsFunctions | kMwmHintsDecorations,
        kMwmFunctionMove | kMwmFunctionClose | (resizable ? kMwmFunctionResize : 0),
        kMwmDecorationBorder | kMwmDecorationTitle | kMwmDecorationMenu
            | (resizable ? kMwmDecorationResizeHandle : 0),
        0,
        0,
    };
    const xcb_atom_t motifHints = x.Atom("_MOTIF_WM_HINTS");
    x.SetProperty(window, motifHints, motifHints, motif);
}

// Openbox reads the Motif hints for moving and resizing only, and takes
// minimise, maximise and full screen away from toolbars and menus alone:
// naming the window a toolbar first is the one way to keep them off its
// frame and its window menu, which keep the title and the close button.
// Openbox neither focuses nor cycles to a toolbar that skips the taskbar
// unless it is modal, and a modal window with no parent holds nothing back.
void MakeOpenboxToolbar(const Connection& x, xcb_window_t window)
{
    const xcb_atom_t type = x.Atom("_NET_WM_WINDOW_TYPE");
    const xcb_atom_t toolbar = x.Atom("_NET_WM_WINDOW_TYPE_TOOLBAR");
    auto types = x.Property<xcb_atom_t>(window, type, XCB_ATOM_ATOM);
    if (types.empty() || types.front() != toolbar) {
        types.insert(types.begin(), toolbar);
        x.SetProperty(window, type, XCB_ATOM_ATOM, types);
    }
    const std::vector<xcb_atom_t> wantedStates = {x.Atom("_NET_WM_STATE_MODAL"),
                                                  x.Atom("_NET_WM_STATE_SKIP_TASKBAR")};

    // The window manager drops _NET_WM_STATE when a window is withdrawn, and
    // Qt merges its own states into whatever the property holds when it maps
    // the window.
    const xcb_atom_t state = x.Atom("_NET_WM_STATE");
    auto states = x.Property<xcb_atom_t>(window, state, XCB_ATOM_ATOM);
    for (const xcb_atom_t wanted : wantedStates) {
        if (std::find(states.begin(), states.end(), wanted) == states.end())
            states.push_back(wanted);
    }
    x.SetProperty(window, state, XCB_ATOM_ATOM, states);
}

// Answers whether the window was made openbox's toolbar.
bool Apply(QWidget& widget, Sizing sizing)
{
    // The offscreen platform answers as an X11 application too, without a
    // connection.
    if (QGuiApplication::platformName() != "xcb")
        return false;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr)
        return false;
    const Connection x(x11->connection());
    const auto window = static_cast<xcb_window_t>(widget.winId());
    SetMotifHints(x, window, sizing);
    // Other window managers treat toolbars differently (some never focus or
    // decorate them), so they keep the dialog type. Only openbox is told to
    // leave the window off the taskbar: metacity, xfwm4 and their kin also
    // leave such a window out of Alt+Tab, and xfwm4 does not hand the
    // activation back to it when a dialog of its closes. A window that can't
    // be minimised is found on the taskbar there, rather than not found at
    // all.
    const bool toolbar = IsOpenbox(x, x11->connection());
    if (toolbar)
        MakeOpenboxToolbar(x, window);
    xcb_flush(x11->connection());
    return toolbar;
}

// Openbox puts a toolbar's window where it is asked to, as if it had no
// frame: a dialog centred over a window near the screen's top would have its
// title bar above the screen, out of reach. A dialog is centred over the
// window it belongs to here instead, as Qt would, and kept as far below the
// screen's top as that window's frame reaches above it.
void CentreOverOwner(QWidget& dialog)
{
    const QWidget* owner = dialog.parentWidget() != nullptr ? dialog.parentWidget()->window() : nullptr;
    const QScreen* screen = dialog.screen();
    if (owner == nullptr || screen == nullptr)
        return;
    const QRect available = screen->availableGeometry();
    const int title = owner->geometry().top() - owner->frameGeometry().top();
    const QPoint centre = owner->frameGeometry().center();
    const auto within = [](int at, int first, int last) { return std::max(first, std::min(at, last)); };
    dialog.move(within(centre.x() - dialog.width() / 2, available.left(), available.right() + 1 - dialog.width()),
                within(centre.y() - dialog.height() / 2, available.top() + title,
                       available.bottom() + 1 - dialog.height()));
}

// Sets the hints at each showing, before the window is mapped: the Show
// event comes before the native window is shown.
class FrameHintsFilter : public QObject {
public:
    FrameHintsFilter(QWidget& window, Sizing sizing)
        : QObject(&window)
        , sizing_(sizing)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto& window = *static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show && !event->spontaneous() && Apply(window, sizing_))
            CentreOverOwner(window);
        return false;
    }

private:
    Sizing sizing_;
};

} // namespace

void ComeBackAfterDialog(QWidget& window)
{
    window.activateWindow();
    if (QGuiApplication::platformName() != "xcb")
        return;
    // The window system settles within a moment; Qt's own wait for a focus
    // coming after a focus lost is 400 ms.
    auto* check = new QTimer(&window);
    check->setInterval(100);
    auto tries = std::make_shared<int>(10);
    QObject::connect(check, &QTimer::timeout, &window, [&window, check, tries] {
        if (QApplication::activeWindow() == &window || --*tries == 0) {
            check->deleteLater();
            return;
        }
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (x11 == nullptr || x11->connection() == nullptr || !window.isVisible())
            return;
        const Reply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(x11->connection(), xcb_get_input_focus(x11->connection()), nullptr));
        if (focus && focus->focus == static_cast<xcb_window_t>(window.winId())) {
            QApplication::setActiveWindow(&window);
            check->deleteLater();
        }
    });
    check->start();
}

void KeepFrameHints(QWidget& window, Sizing sizing)
{
    window.installEventFilter(new FrameHintsFilter(window, sizing));
}
