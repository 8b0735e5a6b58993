#!/usr/bin/env python3
"""The Linux editor end to end: Qt's X11 platform on Xvfb, under a window
manager (openbox), driven from outside by xdotool (see e2e_desktop.py), playing the scenario
every window plays (e2e_scenario.py),
and read as a screen reader reads it, over AT-SPI on an accessibility bus of
the test's own. Each case (CASES) runs on a display, buses and a window
manager of its own. Exits 77 (skipped) when Xvfb, openbox or one of the X
tools is missing.

Usage: e2e_window.py CASE PATH-TO-EDITOR PATH-TO-MAKE-SAMPLE-NATION
       e2e_window.py --list
"""
import os
import subprocess
import sys

import e2e_desktop as x
import e2e_scenario as e2e

EDITOR = MAKE_SAMPLE = None


# The window managers the editor is tried under: openbox for the whole
# scenario; xfwm4 (Xfce) and metacity (of GNOME's family) beside another
# program, for Alt+Tab and the activation after a dialog.
WINDOW_MANAGERS = {
    "openbox": ["openbox", "--sm-disable"],
    # xfwm4 keeps its settings behind the session's bus.
    "xfwm4": ["xfwm4", "--compositor=off"],
    "metacity": ["metacity", "--replace"],
}


class QtWindow(x.Window):
    def check_frame(self, desktop, window, what):
        """The window manager offers neither minimise nor maximise, and
        under openbox the window has no taskbar button of its own."""
        def actions():
            allowed = desktop.atoms(window, "_NET_WM_ALLOWED_ACTIONS")
            return allowed, [a for a in allowed if a.split("_ACTION_")[-1] in
                             ("MINIMIZE", "MAXIMIZE_HORZ", "MAXIMIZE_VERT", "FULLSCREEN")]
        # The window manager works the actions out again as the window's
        # hints come in, which may be after it shows.
        e2e.poll(lambda: "_NET_WM_ACTION_CLOSE" in actions()[0] and not actions()[1])
        allowed, offered = actions()
        e2e.check("_NET_WM_ACTION_CLOSE" in allowed and not offered,
                  f"{what}: the window manager offers close and neither minimise nor maximise {offered}")
        e2e.check(e2e.poll(lambda: "_NET_WM_STATE_SKIP_TASKBAR" in desktop.atoms(window, "_NET_WM_STATE")),
                  f"{what}: no taskbar button of its own")


def screen_reader(desktop, space):
    """The list as a screen reader reads it over AT-SPI, and what it hears,
    listening all the while in a process of its own, when the file is loaded
    again by keyboard and Space ticks a nation."""
    os.environ.update(DBUS_SESSION_BUS_ADDRESS=desktop.env["DBUS_SESSION_BUS_ADDRESS"], DISPLAY=desktop.env["DISPLAY"])
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi

    nation = os.path.join(space.root, "Reader", "Nation.dat")
    other = os.path.join(space.root, "Reader", "Sample", "Nation.dat")
    os.makedirs(os.path.dirname(other))
    open(nation, "wb").write(space.original)
    subprocess.run([MAKE_SAMPLE, other], check=True)
    heard_log = os.path.join(space.root, "heard.log")

    def heard():
        return open(heard_log).read().splitlines() if os.path.exists(heard_log) else []
    with e2e.running([sys.executable, "-c", LISTENER, heard_log], desktop.env), \
            e2e.running([EDITOR, nation], dict(desktop.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")) as editor:
        window = desktop.wait_started("CM3 99/00 Tallowmere")
        if read_list(Atspi, space, nation) and window is not None:
            heard_after_load(desktop, window, other, heard)
            x.exit_with_yes(desktop, window, editor, "after the screen reader's try, Yes ends the editor")


def read_list(Atspi, space, nation):
    """The list and its window as a screen reader reads them: whether the
    list was found."""
    nations = e2e.poll(lambda: find_accessible(Atspi, "Nations"))
    e2e.check(nations is not None and nations.get_role_name() == "list",
              f"the nation list is read as a list named Nations: {nations and nations.get_role_name()}")
    if nations is None:
        return False
    frame = nations.get_parent()
    e2e.check(frame.get_role_name() == "frame", f"the main window is read as a window: {frame.get_role_name()}")
    members = [byte == 2 for byte in e2e.memberships(nation)]
    items = [nations.get_child_at_index(i) for i in range(nations.get_child_count())]
    read = [(item.get_role_name(), item.get_name(), item.get_state_set().contains(Atspi.StateType.CHECKED))
            for item in items]
    e2e.check(read == [("check box", name, member) for name, member in zip(space.names, members)],
              f"each nation is a tick box named by it, checked as in the file: {read}")
    return True


def heard_after_load(desktop, window, other, heard):
    """The pointer away, another file typed in the dialog and Enter: once
    the editor has the keyboard back, Tab reaches the list and Space ticks
    its first nation, which is heard. The keys go where the keyboard is, as
    a user's do: the test activates no window for them."""
    e2e.check(e2e.poll(lambda: "listening" in heard()), "the screen reader listens")
    desktop.xdotool("mousemove", "5", "5")
    x.load_by_typing(desktop, window, other)

    def back():
        lines = heard()
        dialog = max((at for at, line in enumerate(lines) if "|Locate your Nation.dat file|" in line), default=-1)
        return "window:activate|CM3 99/00 Tallowmere|0" in lines[dialog + 1:]
    # The window system hands the keyboard back before the editor knows it
    # has it; a key is the editor's once it says it is active.
    e2e.check(e2e.poll(back), "after the dialog the editor is heard active again")
    desktop.xdotool("key", "Tab")
    e2e.poll(lambda: "object:state-changed:focused|Albania|1" in heard())
    desktop.xdotool("key", "space")
    ticked = "object:state-changed:checked|Albania|1"
    e2e.check(e2e.poll(lambda: ticked in heard()),
              f"after a load by keyboard, Tab and Space tick the first nation, and it is heard: {heard()[-5:]}")
    # What Tab made heard was all said before the tick.
    before = heard()[:heard().index(ticked)] if ticked in heard() else heard()
    focused = [line for line in before if line.startswith("object:state-changed:focused|") and line.endswith("|1")]
    e2e.check(focused[-1:] == ["object:state-changed:focused|Albania|1"],
              f"Tab into the list: the nation Space would tick is heard last: {focused[-3:]}")


# A screen reader's ears: what it hears of ticks, written to a file.
LISTENER = """
import sys, gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib
out = open(sys.argv[1], "a", buffering=1)
def heard(event):
    out.write(f"{event.type}|{event.source.get_name()}|{event.detail1}\\n")
listener = Atspi.EventListener.new(heard)
for kind in ("object:state-changed:checked", "object:state-changed:focused", "object:state-changed:active",
             "object:property-change:accessible-description", "window:activate"):
    listener.register(kind)
out.write("listening\\n")
GLib.MainLoop().run()
"""


def find_accessible(Atspi, name):
    """The accessible of the editor named `name`, a breadth-first search."""
    desktop = Atspi.get_desktop(0)
    apps = [desktop.get_child_at_index(i) for i in range(desktop.get_child_count())]
    queue = [app for app in apps if app is not None and app.get_name() == "nation-editor"]
    while queue:
        node = queue.pop(0)
        if node.get_name() == name:
            return node
        if node.get_role_name() in ("application", "frame", "filler"):
            queue.extend(node.get_child_at_index(i) for i in range(node.get_child_count()))
    return None


def dark_theme(desktop):
    """Under a dark desktop theme the window keeps its grey and the text on
    it stays readable: 4.5:1 at least for each label whose colour the theme
    gave, the game's name in its designed red."""
    with e2e.running([EDITOR], dict(desktop.env, QT_QPA_PLATFORMTHEME="gtk3", GTK_THEME="Adwaita:dark")) as editor:
        window = desktop.wait_started("CM3 99/00 Tallowmere")
        if window is None:
            e2e.check(False, "the editor comes up under a dark theme")
            return
        # Once it is painted: the game's name in red.
        e2e.poll(lambda: (192, 0, 0) in desktop.colours(window, 296, 16, 497, 33))
        # The labels' boxes in pixels: the design's twips over 15.
        for name, box in (("Label1", (320, 32, 561, 73)), ("Label3", (536, 56, 569, 73))):
            colours = desktop.colours(window, *box)
            background = max(set(colours), key=colours.count)
            text = max(colours, key=lambda colour: x.contrast(colour, background))
            ratio = x.contrast(text, background)
            e2e.check(ratio >= 4.5, f"under a dark theme {name} reads at {ratio:.1f}:1, {text} on {background}")
        e2e.check(set(desktop.colours(window, 300, 2, 304, 6)) == {(192, 192, 192)},
                  "under a dark theme the window keeps its grey")
        e2e.check((192, 0, 0) in desktop.colours(window, 296, 16, 497, 33),
                  "under a dark theme the game's name keeps its red")
        desktop.keys(window, "alt+e")
        x.ended(editor, "under a dark theme, exit ends the editor")


def dialog_on_screen(desktop):
    """Near the screen's top, the open-file dialog still has its title bar on
    the screen."""
    with e2e.running([EDITOR], desktop.env) as editor:
        window = desktop.wait_started("CM3 99/00 Tallowmere")
        if window is None:
            e2e.check(False, "the editor comes up")
            return
        desktop.xdotool("windowmove", "--sync", window, "100", "0")
        desktop.keys(window, "alt+l")
        dialog = desktop.wait_for("Locate your Nation.dat file")
        e2e.check(dialog is not None and desktop.frame_top(dialog) >= 0,
                  f"the open-file dialog over a window at the screen's top: its title bar on the screen "
                  f"({dialog and desktop.frame_top(dialog)})")
        if dialog:
            desktop.keys(dialog, "Escape")
            desktop.wait_gone("Locate your Nation.dat file")
        desktop.keys(window, "alt+e")
        x.ended(editor, "exit ends the editor")


def focus_by_mouse(desktop, space):
    """metacity handing the activation to the window under the pointer, the
    pointer away from the editor: after its dialog the editor is active all
    the same."""
    settings = os.path.join(space.root, "config", "glib-2.0", "settings")
    os.makedirs(settings, exist_ok=True)
    with open(os.path.join(settings, "keyfile"), "w") as keyfile:
        keyfile.write("[org/gnome/desktop/wm/preferences]\nfocus-mode='mouse'\n")
    wm = x.start_window_manager(dict(desktop.env, GSETTINGS_BACKEND="keyfile"), WINDOW_MANAGERS["metacity"])
    try:
        with e2e.running([EDITOR, space.beside], desktop.env) as editor:
            window = desktop.wait_started("CM3 99/00 Tallowmere")
            e2e.check(window is not None, "metacity, focus by mouse: the editor comes up")
            if window:
                desktop.xdotool("mousemove", "5", "5")
                x.typed_name_and_back(desktop, window, space.beside, "metacity, focus by mouse")
                x.exit_with_yes(desktop, window, editor, "metacity, focus by mouse: Yes ends the editor")
    finally:
        e2e.stop(wm)


def beside_another_program(desktop, space, manager):
    x.beside_another_program(desktop, lambda arguments: subprocess.Popen(
        [EDITOR, *arguments], env=desktop.env, cwd=space.root), space, manager)


def latin1_folder(desktop, space):
    """A folder named in Latin-1, as old archives unpack it (bytes that are
    no UTF-8): its file given at start loads and patches, with its backup
    beside it; a missing file there is named with a replacement character."""
    folder = os.path.join(space.root, os.fsdecode(b"Caf\xe9 de l'\xe9t\xe9"))
    os.makedirs(folder)
    nation = os.path.join(folder, "Nation.dat")
    open(nation, "wb").write(space.original)
    d = x.XDriver(desktop, QtWindow(), [EDITOR], space)
    try:
        started = d.start(nation)
        e2e.check(started, "the editor comes up with a file in a folder named in Latin-1")
        if started:
            d.keys("alt+m", "alt+p")
            e2e.message(d, "SUCCESS")
            e2e.check(e2e.memberships(nation) == [2] * 8 and open(nation + ".bak", "rb").read() == space.original,
                      "the file in the Latin-1 folder patched, its backup beside it")
            d.keys("alt+e")
        e2e.check(d.ended(), "after the patch, exit ends the editor")
        d.launch([os.path.join(folder, "Gone.dat")])
        e2e.message(d, "ERROR", "Caf\ufffd de l'\ufffdt\ufffd/Gone.dat", "No such file or directory")
        if d.started_alone():
            d.keys("alt+e")
        e2e.check(d.ended(), "with nothing loaded, exit ends the editor")
    finally:
        d.end()


def scenario_case(name):
    """A case of the scenario every window plays."""
    return lambda desktop, space, manager: e2e.play(name, x.XDriver(desktop, QtWindow(), [EDITOR], space), space)


# Each case with the window manager it runs under: the scenario both
# windows play and the screen reader's, the dark theme's and the dialog's
# cases under openbox; beside another program under each; focus by mouse
# under a metacity of its own.
CASES = {
    **{name: ("openbox", scenario_case(name)) for name in e2e.CASES},
    "screen_reader": ("openbox", lambda desktop, space, manager: screen_reader(desktop, space)),
    "dark_theme": ("openbox", lambda desktop, space, manager: dark_theme(desktop)),
    "dialog_on_screen": ("openbox", lambda desktop, space, manager: dialog_on_screen(desktop)),
    "latin1_folder": ("openbox", lambda desktop, space, manager: latin1_folder(desktop, space)),
    **{f"beside_another_program_{name}": (name, beside_another_program) for name in WINDOW_MANAGERS},
    "focus_by_mouse": (None, lambda desktop, space, manager: focus_by_mouse(desktop, space)),
}


def main():
    global EDITOR, MAKE_SAMPLE
    if sys.argv[1:] == ["--list"]:
        print("\n".join(CASES))
        return 0
    case, EDITOR, MAKE_SAMPLE = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    if e2e.missing_tools(["Xvfb", "openbox", "xfwm4", "metacity", "dbus-daemon", "xdotool", "xprop", "xwd",
                          "xwininfo", "xclip", "xmessage"]):
        return e2e.SKIPPED
    manager, play = CASES[case]
    space = e2e.Workspace([MAKE_SAMPLE])
    env = {k: v for k, v in os.environ.items() if not k.startswith(("QT_", "DBUS_", "XDG_CURRENT", "GTK_"))}
    # A home of its own: the editor remembers its last folder there.
    env.update(QT_QPA_PLATFORM="xcb", PATH=space.bin + ":" + env.get("PATH", ""), XDG_RUNTIME_DIR=space.root,
               HOME=space.root, XDG_CONFIG_HOME=os.path.join(space.root, "config"))
    try:
        with x.Session(space.root, env, buses=True) as session:
            desktop = x.Desktop(session.env)
            wm = x.start_window_manager(session.env, WINDOW_MANAGERS[manager], manager) if manager else None
            try:
                play(desktop, space, manager)
            finally:
                if wm:
                    e2e.stop(wm)
    finally:
        space.remove()
    return e2e.result()


if __name__ == "__main__":
    sys.exit(main())
