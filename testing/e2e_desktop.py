"""The X side of the end-to-end tests: a display of the test's own (Xvfb),
with the programs driven from outside by xdotool as a user would drive them,
and XDriver, through which the scenario (e2e_scenario.py) plays both
windows: the Qt window on X, and the Windows program under Wine."""
import os
import shutil
import struct
import subprocess
import time

from e2e_scenario import START_TIMEOUT, TIMEOUT, Driver, check, check_none_left, poll, stop

MAIN, DIALOG = "CM3 99/00 Tallowmere", "Locate your Nation.dat file"


class Desktop:
    def __init__(self, env):
        self.env = env
        # How long the last window a key asked for took to come up.
        self.answered_in = 0.0

    def xdotool(self, *args):
        result = subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True)
        return result.stdout.split()

    def find(self, title):
        return self.xdotool("search", "--onlyvisible", "--name", f"^{title}$")

    def atoms(self, window, prop):
        result = subprocess.run(["xprop", "-id", window, prop], env=self.env, capture_output=True, text=True)
        return result.stdout.replace(",", " ").split()[2:]

    def wait_for(self, title, timeout=TIMEOUT):
        """The window titled `title` once it shows, or None."""
        began = time.monotonic()
        found = poll(lambda: self.find(title), timeout)
        if not found:
            return None
        self.answered_in = time.monotonic() - began
        return found[-1]

    def wait_started(self, title):
        """A program's first window, once it shows, or None."""
        found = poll(lambda: self.find(title), START_TIMEOUT)
        return found[-1] if found else None

    def wait_gone(self, title, timeout=TIMEOUT):
        return poll(lambda: not self.find(title), timeout)

    def settle(self):
        """Waits as long as a window the program was asked for may take to
        show: ten times what the last one took, a second at least."""
        time.sleep(max(1.0, 10 * self.answered_in))

    # The test hands the focus to the window a user would be looking at, and
    # sends nothing until the window has the keyboard: keys sent earlier
    # would go to the window that had it.
    def focus(self, window):
        self.xdotool(self.focus_command, "--sync", window)
        has = poll(lambda: self.keyboard() == window)
        if not has:
            check(False, f"window {window} takes the keyboard")
        return has

    focus_command = "windowactivate"

    def keyboard(self):
        """The window that has the keyboard."""
        found = self.xdotool("getwindowfocus")
        return found[0] if found else None

    def keys(self, window, *keys):
        if self.focus(window):
            self.xdotool("key", "--delay", "60", *keys)

    def type(self, window, text):
        if self.focus(window):
            self.xdotool("type", "--delay", "20", text)

    def click(self, window, x, y):
        if self.focus(window):
            self.xdotool("mousemove", "--window", window, str(x), str(y))
            self.xdotool("click", "1")

    def geometry(self, window):
        """Where a window stands on the screen: left, top, width, height."""
        found = self.xdotool("getwindowgeometry", "--shell", window)
        values = dict(item.split("=") for item in found if "=" in item)
        return tuple(int(values.get(key, 0)) for key in ("X", "Y", "WIDTH", "HEIGHT"))

    def stays_active(self, window):
        """Whether `window` becomes the active window with the keyboard, and
        is still so after the program has had time to hand them on."""
        def holds():
            return self.active() == window and self.keyboard() == window
        if not poll(holds):
            return False
        self.settle()
        return holds()

    def active(self):
        found = self.xdotool("getactivewindow")
        return found[0] if found else None

    def screenshot(self, path):
        if shutil.which("import"):
            subprocess.run(["import", "-window", "root", path], env=self.env)

    def pixels(self, window, left, top, right, bottom):
        """The pixels of a rectangle of a window, as raw bytes (xwd)."""
        return b"".join(value.to_bytes(4, "little") for value in self.read_pixels(window, left, top, right, bottom)[1])

    def colours(self, window, left, top, right, bottom):
        """The colours of a rectangle of a window's pixels, as (red, green,
        blue) tuples, read from an xwd dump by its own masks and byte order."""
        masks, values = self.read_pixels(window, left, top, right, bottom)
        shifts = [(mask & -mask).bit_length() - 1 for mask in masks]
        return [tuple((value & mask) >> shift for mask, shift in zip(masks, shifts)) for value in values]

    def read_pixels(self, window, left, top, right, bottom):
        dump = subprocess.run(["xwd", "-silent", "-id", window], env=self.env, capture_output=True).stdout
        if len(dump) < 100:
            return (), []
        fields = struct.unpack(">25I", dump[:100])
        header, height, order, bits, line = fields[0], fields[5], fields[7], fields[11], fields[12]
        step, start = bits // 8, header + 12 * fields[19]
        return fields[14:17], [int.from_bytes(dump[at:at + step], "little" if order == 0 else "big")
                for y in range(top, min(bottom, height)) for at in range(start + y * line + left * step,
                                                                         start + y * line + right * step, step)]

    def frame_top(self, window):
        """Where a window's frame, title bar included, starts on the screen."""
        info = subprocess.run(["xwininfo", "-id", window], env=self.env, capture_output=True, text=True).stdout
        top = next(int(line.split(":")[1]) for line in info.splitlines() if "Absolute upper-left Y" in line)
        extents = self.atoms(window, "_NET_FRAME_EXTENTS")
        return top - (int(extents[2]) if len(extents) == 4 else 0)

    def clipboard(self):
        try:
            return subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.env, capture_output=True,
                                  text=True, timeout=TIMEOUT).stdout
        except subprocess.TimeoutExpired:
            return ""


class Session:
    """A display of its own (Xvfb) and, where asked, a session bus and an
    accessibility bus of its own, so that nothing the programs under test
    start reaches the machine's own, or falls back on starting one that
    outlives the test. On leaving, everything started in the session is
    ended, whoever started it (the buses start services of their own), and
    a check says that nothing outlived it."""

    def __init__(self, root, env, buses=False):
        self.root = root
        self.marker = os.path.basename(root)
        self.env = dict(env, NATION_E2E_SESSION=self.marker)
        self.buses = buses
        self.started = []

    def __enter__(self):
        xvfb, display = start_xvfb(os.path.join(self.root, "xvfb.log"))
        if xvfb is None:
            raise RuntimeError("no display number free for Xvfb")
        self.started.append(xvfb)
        self.env["DISPLAY"] = display
        if self.buses:
            read, write = os.pipe()
            bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", f"--print-address={write}"],
                                   env=self.env, pass_fds=(write,), stderr=subprocess.DEVNULL)
            os.close(write)
            with os.fdopen(read) as told:
                self.env["DBUS_SESSION_BUS_ADDRESS"] = told.readline().strip()
            self.started.append(bus)
            # The accessibility bus first, as a desktop starts it: a program
            # started before it would find none to speak to.
            self.started.append(subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                                 env=self.env, stderr=subprocess.DEVNULL))
            check(poll(self.accessibility_bus), "the accessibility bus answers")
        return self

    def accessibility_bus(self):
        asked = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                                "org.a11y.Bus.GetAddress"], env=self.env, capture_output=True, text=True)
        return asked.returncode == 0 and "unix:" in asked.stdout

    def __exit__(self, *exception):
        for program in reversed(self.started):
            stop(program)
        # The buses' own services end as they see the buses go.
        poll(lambda: not self.leftovers())
        check_none_left(self.leftovers(), "no process outlives the test")
        return False

    def leftovers(self):
        """The processes still running whose environment is the session's."""
        found = {}
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) == os.getpid():
                continue
            try:
                environment = open(f"/proc/{entry}/environ", "rb").read()
                name = open(f"/proc/{entry}/comm").read().strip()
                state = open(f"/proc/{entry}/stat").read().rsplit(")", 1)[1].split()[0]
            except OSError:
                continue
            if f"NATION_E2E_SESSION={self.marker}".encode() in environment.split(b"\0") and state != "Z":
                found[int(entry)] = name
        return found


def start_xvfb(log):
    """Starts Xvfb on a display number it picks itself (-displayfd) and
    waits until it answers."""
    read, write = os.pipe()
    # -noreset: by default the server resets when its last client leaves,
    # and a client that connects meanwhile is turned away.
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                             "-noreset"], stderr=open(log, "w"), pass_fds=(write,))
    os.close(write)
    with os.fdopen(read) as told:
        number = told.readline().strip()
    if not number:
        xvfb.kill()
        xvfb.wait()
        return None, None
    return xvfb, f":{number}"


def start_window_manager(env, command, name=None):
    """Starts a window manager and waits until it has taken the screen."""
    wm = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check(poll(lambda: "window id" in subprocess.run(
        ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env, capture_output=True, text=True).stdout),
        f"{name or command[0]} takes the screen")
    time.sleep(0.5)
    return wm


class Window:
    """What each window's test supplies: how a path is written for the
    program, how the open-file dialog takes a typed path, how a tick is made
    by hand, and what the frame of a window is checked for."""

    def path(self, path):
        return path

    def choose_file(self, desktop, dialog, path, replace):
        if replace:
            desktop.keys(dialog, "ctrl+a")
        desktop.type(dialog, path)
        # Long enough for a name completer to list the file: Enter must work
        # with its list open.
        time.sleep(0.5)
        desktop.keys(dialog, "Return")

    def check_frame(self, desktop, window, what):
        pass

    def check_message_place(self, desktop, box, window, what):
        """A message shows over the window it belongs to."""
        def places():
            bx, by, bw, bh = desktop.geometry(box)
            wx, wy, ww, wh = desktop.geometry(window)
            centre = (bx + bw // 2, by + bh // 2)
            return wx <= centre[0] < wx + ww and wy <= centre[1] < wy + wh, centre, (wx, wy, ww, wh)
        # The window manager may place it a moment after it shows.
        poll(lambda: places()[0])
        over, centre, where = places()
        check(over, f"{what} shows over the window: its centre {centre}, the window {where}")

    def client_origin(self, desktop, window):
        """Where the client area starts in the X window."""
        return 0, 0

    def first_name(self, desktop, window):
        """The pixels of the first entry's name in the list, its tick box
        left out: the list starts 8 px from the left and 40 px from the top
        of the client area, and the name some 24 px into it. Nothing while
        no name is drawn there."""
        x, y = self.client_origin(desktop, window)
        box = (x + 32, y + 42, x + 200, y + 54)
        if len(set(desktop.colours(window, *box))) < 2:
            return b""
        return desktop.pixels(window, *box)

    def message_text(self, desktop, box, title):
        """What a message box says: copied with Ctrl+C over what the test
        put on the clipboard first, as two messages may say the same."""
        marker = f"nothing copied from {box} at {time.monotonic()}"
        # xclip keeps the clipboard until the box takes it, then ends.
        subprocess.run(["xclip", "-i", "-selection", "clipboard"], input=marker, text=True, env=desktop.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        poll(lambda: desktop.clipboard() == marker)
        desktop.keys(box, "ctrl+c")
        return poll(lambda: (lambda text: text if text != marker else "")(desktop.clipboard()))

    def click_client(self, desktop, window, cx, cy):
        x, y = self.client_origin(desktop, window)
        desktop.click(window, x + cx, y + cy)


class XDriver(Driver):
    """The scenario's driver for a program on X: its windows known by their
    titles, the keys sent to the one a user would be looking at, the files
    those of the disk. `kind` supplies what differs between the windows
    (a Window)."""

    def __init__(self, desktop, kind, command, space):
        self.desktop, self.kind, self.command, self.space = desktop, kind, command, space
        self.env = desktop.env
        self.editors = []
        self.window = self.box = self.dialog = None
        self.as_loaded = b""

    def launch(self, arguments):
        self.editors.append(subprocess.Popen([*self.command, *arguments], env=self.desktop.env,
                                             cwd=self.space.root))
        return self.editors[-1]

    def end(self):
        for editor in self.editors:
            if editor.poll() is None:
                editor.kill()
                editor.wait()

    def path(self, path):
        return self.kind.path(path)

    def start(self, path=None):
        self.launch([self.path(path)] if path else [])
        self.window = self.desktop.wait_started(MAIN)
        return self.window is not None

    def started_with_error(self, path):
        """Started with a path refused: whether its error shows over the
        window."""
        self.launch([self.path(path)])
        self.box = self.desktop.wait_started("ERROR")
        window = self.desktop.find(MAIN)
        if self.box and window:
            self.kind.check_message_place(self.desktop, self.box, window[-1], "the error about a path given at start")
        return self.box is not None and bool(window)

    def started_alone(self):
        """The window, after a message at its start, without the dialog."""
        self.window = self.desktop.wait_started(MAIN)
        return self.window is not None and not self.desktop.find(DIALOG)

    def keys(self, *keys):
        self.desktop.keys(self.window, *keys)

    def type(self, text):
        self.desktop.type(self.window, text)

    def settle(self):
        self.desktop.settle()

    def check_frame(self, what, window="main"):
        self.kind.check_frame(self.desktop, {"main": self.window, "box": self.box, "dialog": self.dialog}[window],
                              what)

    def shown(self, title):
        self.box = self.desktop.wait_for(title)
        return self.box is not None

    def none_shown(self, title):
        self.desktop.settle()
        return not self.desktop.find(title)

    def text(self, title):
        return self.kind.message_text(self.desktop, self.box, title)

    def press(self, key):
        self.desktop.keys(self.box, key)

    def gone(self, title):
        return self.desktop.wait_gone(title)

    def dialog_shown(self):
        self.dialog = self.desktop.wait_for(DIALOG)
        return self.dialog is not None

    def choose(self, path, replace=False):
        self.kind.choose_file(self.desktop, self.dialog, self.path(path), replace)

    def cancel(self):
        self.desktop.keys(self.dialog, "Escape")

    def dialog_gone(self):
        return self.desktop.wait_gone(DIALOG)

    def listed(self):
        self.as_loaded = poll(lambda: self.kind.first_name(self.desktop, self.window))
        return bool(self.as_loaded)

    def shows_changed(self):
        return bool(poll(lambda: self.kind.first_name(self.desktop, self.window) not in (b"", self.as_loaded)))

    def shows_unchanged(self):
        return bool(poll(lambda: self.kind.first_name(self.desktop, self.window) == self.as_loaded))

    def focus_list(self):
        self.kind.click_client(self.desktop, self.window, 150, 48)

    def open_menu(self):
        time.sleep(0.3)
        self.keys("shift+F10")
        time.sleep(0.8)

    def choose_in_menu(self, entry, year):
        # The menus open with no entry chosen: the first Down chooses the
        # first entry.
        self.desktop.xdotool("key", "--delay", "150", *(["Down"] * (entry + 1)), "Right", *(["Down"] * year),
                             "Return")

    def close_menu(self):
        self.keys("Escape", "Escape")

    def launched(self, wanted):
        return [line.split()[-1] for line in self.space.launches(wanted)]

    def running(self):
        return self.editors[-1].poll() is None and bool(self.desktop.find(MAIN))

    def ended(self):
        return exited(self.editors[-1])


def load_by_typing(desktop, window, path):
    """Alt+L, the file's name typed in the dialog and Enter pressed while the
    name completer lists it. Answers the dialog's window, or None."""
    desktop.keys(window, "alt+l")
    dialog = desktop.wait_for("Locate your Nation.dat file")
    if dialog:
        desktop.type(dialog, path)
        time.sleep(0.5)
        desktop.xdotool("key", "Return")
        desktop.wait_gone("Locate your Nation.dat file")
    return dialog


def typed_name_and_back(desktop, window, path, manager):
    """After a name typed and Enter in the dialog the editor is active again
    and Load has the keyboard, so Enter opens the dialog again."""
    dialog = load_by_typing(desktop, window, path)
    check(dialog is not None and desktop.stays_active(window),
          f"{manager}: after a name typed and Enter in the dialog the editor is active again")
    desktop.xdotool("key", "Return")
    again = desktop.wait_for("Locate your Nation.dat file")
    check(again is not None, f"{manager}: and Load has the keyboard: Enter opens the dialog again")
    if again:
        desktop.keys(again, "Escape")
        desktop.wait_gone("Locate your Nation.dat file")


def alt_tab(desktop, other, window):
    """Alt+Tab from the `other` program's window: whether the editor's
    window then has the keyboard. On a busy machine a window manager may
    miss the keys, and leave the other program active: as a player would,
    the test presses them again (three times at most)."""
    for _ in range(3):
        desktop.xdotool("key", "alt+Tab")
        if poll(lambda: desktop.active() != other, 5):
            break
    return desktop.stays_active(window)


def beside_another_program(desktop, launch, space, manager):
    """With another program's window open, Alt+Tab reaches the editor, and
    the editor stays active when its dialog or a message closes."""
    other = subprocess.Popen(["xmessage", "-geometry", "+500+400", "another program"], env=desktop.env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    editor = launch([space.beside])
    try:
        window = desktop.wait_started("CM3 99/00 Tallowmere")
        beside = desktop.wait_started("xmessage")
        check(window is not None and beside is not None, f"{manager}: the editor beside another program")
        if window is None or beside is None:
            return
        desktop.focus(beside)
        check(alt_tab(desktop, beside, window), f"{manager}: Alt+Tab from another program reaches the editor")
        typed_name_and_back(desktop, window, space.beside, manager)
        for key, title, answer, what in (("alt+l", "Locate your Nation.dat file", "Escape", "Alt+L and Escape"),
                                         ("alt+p", "SUCCESS", "Return", "OK on SUCCESS")):
            desktop.keys(window, key)
            shown = desktop.wait_for(title)
            if shown:
                desktop.keys(shown, answer)
                desktop.wait_gone(title)
            check(shown is not None and desktop.stays_active(window),
                  f"{manager}: after {what} the editor is active again")
        desktop.keys(window, "alt+e")
        ended(editor, f"{manager}: after the patch, exit ends the editor")
    finally:
        for program in (editor, other):
            if program.poll() is None:
                program.kill()


def contrast(first, second):
    """The contrast ratio of two colours, as WCAG reckons it."""
    def luminance(colour):
        channels = [c / 255 for c in colour]
        linear = [c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4 for c in channels]
        return 0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2]
    lighter, darker = sorted((luminance(first), luminance(second)), reverse=True)
    return (lighter + 0.05) / (darker + 0.05)


def exit_with_yes(desktop, window, editor, what):
    """Exit with a file loaded and not patched: Yes to the question ends the
    editor."""
    desktop.keys(window, "alt+e")
    question = desktop.wait_for("Cm3 Tallowmere")
    if question:
        desktop.keys(question, "y")
    ended(editor, what)


def exited(editor):
    """Whether the editor ends, and well."""
    try:
        return editor.wait(timeout=TIMEOUT) == 0
    except subprocess.TimeoutExpired:
        editor.kill()
        editor.wait()
        return False


def ended(editor, what):
    check(exited(editor), what)
