"""The scenario both windows' end-to-end tests play: the editor driven as a
user would, on a real X server (Xvfb), with only keyboard and mouse events
sent from outside the process by xdotool, checking the titles of the windows
that come up and the nation file's bytes afterwards. Each window's own test
starts the display and the program and supplies what differs (how a path is
written, how a tick is made by hand, what the frame offers).

The scenario is played in cases (CASES), each on a display of its own with
a new editor and new files, so that each is reported as it ends.

A busy machine makes the programs slow, never the test wrong: the test
waits for what it expects to see rather than for a time, and gives up only
at ten times or more what the slowest of its kind takes on the build
machine while it is busy. A check that something does not happen waits for
a later thing that can only come after it, or, where there is none, ten
times as long as the program took to answer the last key it was sent."""
import contextlib
import os
import shutil
import struct
import subprocess
import tempfile
import time

RECORD, NAME, MEMBER = 290, 4, 127
SKIPPED = 77
failures = []

# Typing a name, then a pause, then Space ticks the nation found: the pause
# is longer than the pause after which either window takes a key for the
# start of a new name (on Windows twice the double-click time, 1 s; Qt's
# keyboard input interval, 0.4 s), by twice as much again, as a busy
# machine may handle the name's last key late.
TYPING_PAUSE = 3.0

# The longest a positive wait lasts: for a program's first window (Wine's
# first start in a session takes some 7 s while the machine is busy), and
# for anything else (the first open-file dialog, some 2 s).
START_TIMEOUT = 90.0
TIMEOUT = 30.0


def poll(answer, timeout=TIMEOUT):
    """Asks `answer` until it answers something true or `timeout` has
    passed, and gives its last answer."""
    deadline = time.monotonic() + timeout
    while True:
        answered = answer()
        if answered or time.monotonic() >= deadline:
            return answered
        time.sleep(0.05)


def check(condition, what):
    print(("ok     " if condition else "FAILED ") + what, flush=True)
    if not condition:
        failures.append(what)


def result():
    print(f"{len(failures)} failed" if failures else "all checks passed")
    return 1 if failures else 0


def nation_file(names, members):
    data = bytearray()
    for i, (name, member) in enumerate(zip(names, members)):
        record = bytearray((i * 37 + k * 11) & 0xFF for k in range(RECORD))
        field = name.encode("cp1252")
        record[NAME:NAME + 51] = field + bytes(51 - len(field))
        record[MEMBER] = member
        data += record
    return bytes(data)


def memberships(path):
    data = open(path, "rb").read()
    return [data[i * RECORD + MEMBER] for i in range(len(data) // RECORD)]


def others(data):
    return bytes(b for at, b in enumerate(data) if at % RECORD != MEMBER)


def missing_tools(tools):
    missing = [tool for tool in tools if shutil.which(tool) is None]
    if missing:
        print(f"SKIPPED: {', '.join(missing)} not installed; the end-to-end test needs {', '.join(tools)}")
    return bool(missing)


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
        dump = subprocess.run(["xwd", "-silent", "-id", window], env=self.env, capture_output=True).stdout
        if len(dump) < 100:
            return b""
        fields = struct.unpack(">25I", dump[:100])
        header, height, bits, line, colours = fields[0], fields[5], fields[11], fields[12], fields[19]
        start = header + 12 * colours
        step = bits // 8
        return b"".join(dump[start + y * line + left * step:start + y * line + right * step]
                        for y in range(top, min(bottom, height)))

    def colours(self, window, left, top, right, bottom):
        """The colours of a rectangle of a window's pixels, as (red, green,
        blue) tuples, read from an xwd dump by its own masks and byte order."""
        dump = subprocess.run(["xwd", "-silent", "-id", window], env=self.env, capture_output=True).stdout
        if len(dump) < 100:
            return []
        fields = struct.unpack(">25I", dump[:100])
        header, height, order, bits, line = fields[0], fields[5], fields[7], fields[11], fields[12]
        masks, colours = fields[14:17], fields[19]
        start = header + 12 * colours
        step = bits // 8
        shifts = [(mask & -mask).bit_length() - 1 for mask in masks]
        found = []
        for y in range(top, min(bottom, height)):
            for x in range(left, right):
                at = start + y * line + x * step
                value = int.from_bytes(dump[at:at + step], "little" if order == 0 else "big")
                found.append(tuple((value & mask) >> shift for mask, shift in zip(masks, shifts)))
        return found

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


# The nations of the sample file that belonged to the European Union on
# 1 July 2013, as the sample names them.
EU_2013_IN_SAMPLE = {
    "Austria", "Belgium", "Bulgaria", "Croatia", "Cyprus", "Czech Republic", "Denmark", "England", "Estonia",
    "Finland", "France", "Germany", "Greece", "Holland", "Hungary", "Italy", "Latvia", "Lithuania", "Luxembourg",
    "Malta", "Northern Ireland", "Poland", "Portugal", "Republic of Ireland", "Romania", "Scotland", "Slovakia",
    "Slovenia", "Spain", "Sweden", "Wales",
}


def names_in(path):
    data = open(path, "rb").read()
    return [data[i * RECORD + NAME:i * RECORD + NAME + 51].split(b"\0")[0].decode("cp1252")
            for i in range(len(data) // RECORD)]


class Workspace:
    """A game folder with a nation file, a refused file named like one, the
    sample nation file, and stand-ins for the desktop's launchers that note
    what they are given."""

    names = ["Albania", "Austria", "Belgium", "Côte d'Ivoire", "England", "South Africa", "South Korea", "Wales"]

    def __init__(self, sample_maker):
        self.root = tempfile.mkdtemp(prefix="e2e-")
        self.sample = os.path.join(self.root, "Sample", "Nation.dat")
        os.makedirs(os.path.dirname(self.sample))
        game = os.path.join(self.root, "Game & 'Saves' $HOME")
        os.makedirs(game)
        self.nation = os.path.join(game, "Nation.dat")
        self.original = nation_file(self.names, [1, 2, 0, 255, 2, 1, 1, 3])
        open(self.nation, "wb").write(self.original)
        # For the editor beside another program.
        self.beside = os.path.join(self.root, "Beside", "Nation.dat")
        os.makedirs(os.path.dirname(self.beside))
        open(self.beside, "wb").write(self.original)
        # Named like the nation file, so that a name completer lists it too.
        os.makedirs(os.path.join(self.root, "Wrong"))
        self.refused = os.path.join(self.root, "Wrong", "Nation.dat")
        open(self.refused, "wb").write(self.original[:291])

        # A folder where the backup would go; a file marked read-only.
        self.backup_folder = os.path.join(self.root, "Backup", "Nation.dat")
        os.makedirs(self.backup_folder + ".bak")
        open(self.backup_folder, "wb").write(self.original)
        self.read_only = os.path.join(self.root, "Read-only", "Nation.dat")
        os.makedirs(os.path.dirname(self.read_only))
        open(self.read_only, "wb").write(self.original)
        os.chmod(self.read_only, 0o444)

        self.sample_maker = sample_maker

        self.bin = os.path.join(self.root, "bin")
        os.makedirs(self.bin)
        self.launched = os.path.join(self.root, "launched.log")
        for name in ("xdg-open", "xdg-email"):
            stand_in = os.path.join(self.bin, name)
            with open(stand_in, "w") as out:
                out.write(f'#!/bin/sh\nprintf "%s %s\\n" "{name}" "$*" >> "{self.launched}"\n')
            os.chmod(stand_in, 0o755)

    def launches(self, wanted):
        def lines():
            return open(self.launched).read().splitlines() if os.path.exists(self.launched) else []
        poll(lambda: len(lines()) >= wanted)
        return lines()

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


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
        """What a message box says: copied with Ctrl+C."""
        before = desktop.clipboard()
        desktop.keys(box, "ctrl+c")

        def copied():
            text = desktop.clipboard()
            return text if text != before else ""
        return poll(copied)

    def click_client(self, desktop, window, cx, cy):
        x, y = self.client_origin(desktop, window)
        desktop.click(window, x + cx, y + cy)


def answer_message(desktop, window_kind, title, key="Return", frame=False, box=None):
    box = box or desktop.wait_for(title)
    check(box is not None, f'a message box titled "{title}" comes up')
    if box:
        if frame:
            window_kind.check_frame(desktop, box, f'the "{title}" box')
        desktop.keys(box, key)
        check(desktop.wait_gone(title), f'the "{title}" box goes away')


def choose_file(desktop, window_kind, path, replace=False, frame=False):
    dialog = desktop.wait_for("Locate your Nation.dat file")
    check(dialog is not None, 'the open-file dialog "Locate your Nation.dat file" comes up')
    if dialog:
        if frame:
            window_kind.check_frame(desktop, dialog, "the open-file dialog")
        window_kind.choose_file(desktop, dialog, window_kind.path(path), replace)


EU_MEMBERS, FREE_MOVEMENT = 3, 4  # the presets' submenus, counted from the context menu's top


def tick_preset(desktop, window_kind, window, year_steps, submenu=EU_MEMBERS, tab_from_load=False):
    """Opens the list's context menu from the keyboard (Shift+F10) and picks
    the year `year_steps` down in the submenu `submenu` down in it. The list
    takes the keyboard by a click, or by Tab from Load, where the focus is."""
    if tab_from_load:
        desktop.keys(window, "Tab")
    else:
        window_kind.click_client(desktop, window, 150, 48)
    time.sleep(0.3)
    desktop.keys(window, "shift+F10")
    time.sleep(0.8)
    desktop.xdotool("key", "--delay", "150", *(["Down"] * submenu), "Right", *(["Down"] * year_steps), "Return")


def message_says(desktop, window_kind, title, *wanted):
    """Waits for a message, checks that it says each of `wanted`, and
    answers it."""
    box = desktop.wait_for(title)
    check(box is not None, f'a message box titled "{title}" comes up')
    if box is None:
        return
    text = window_kind.message_text(desktop, box, title)
    check(all(part in text for part in wanted), f"the message says {wanted}: {text!r}")
    desktop.keys(box, "Return")
    check(desktop.wait_gone(title), f'the "{title}" box goes away')


def run(case, command, env, desktop, window_kind, space):
    """Plays one case of the scenario with the program started by `command`
    (its arguments added), and ends every program it started."""
    editors = []

    def launch(arguments):
        editors.append(subprocess.Popen([*command, *arguments], env=env, cwd=space.root))
        return editors[-1]

    try:
        CASES[case](desktop, window_kind, launch, space)
    finally:
        for editor in editors:
            if editor.poll() is None:
                editor.kill()


def keyboard_at_start(desktop, window_kind, launch, space):
    """Tab walks every control, the help box included, and Enter presses
    the button it reaches: from Load, five Tabs forward or three back reach
    Exit, which ends the editor at once with nothing loaded."""
    for keys, what in ((["Tab"] * 5, "Tab five times from Load, then Enter: Exit ends the editor"),
                       (["shift+Tab"] * 3, "Shift+Tab three times from Load, then Enter: Exit ends the editor")):
        editor = launch([])
        window = desktop.wait_started("CM3 99/00 Tallowmere")
        if window:
            desktop.keys(window, *keys, "Return")
        ended(editor, what)


def load_tick_patch(desktop, window_kind, launch, space):
    """From an empty window: the file loaded through the dialog, ticked by
    hand, by name and from the context menu, patched, and patched again."""
    editor = launch([])
    window = desktop.wait_started("CM3 99/00 Tallowmere")
    check(window is not None, 'the window "CM3 99/00 Tallowmere" comes up')
    if window is None:
        return
    window_kind.check_frame(desktop, window, "the main window")
    original = space.original

    desktop.keys(window, "Return")
    dialog = desktop.wait_for("Locate your Nation.dat file")
    check(dialog is not None, "Enter right after start presses Load: the open-file dialog comes up")
    if dialog:
        desktop.keys(dialog, "Escape")
        check(desktop.wait_gone("Locate your Nation.dat file"), "Escape cancels the dialog")

    # With nothing loaded, the context menu's entries are greyed out: the
    # members of 2004 chosen from it tick nothing and name nothing missing.
    tick_preset(desktop, window_kind, window, 1)
    desktop.settle()
    check(not desktop.find("Cm3 Tallowmere"), "with nothing loaded, the context menu's entries do nothing")
    desktop.keys(window, "Escape", "Escape")

    # The focus stays on Patch after its message: Enter presses it again.
    desktop.keys(window, "alt+p")
    answer_message(desktop, window_kind, "ERROR", frame=True)
    check(open(space.nation, "rb").read() == original, "a patch before any load writes nothing")
    desktop.keys(window, "Return")
    answer_message(desktop, window_kind, "ERROR")

    # The refused path stays in the dialog's name box; the good one is typed
    # over it, and Enter pressed while a completer lists it.
    desktop.keys(window, "alt+l")
    choose_file(desktop, window_kind, space.refused, frame=True)
    answer_message(desktop, window_kind, "ERROR")
    choose_file(desktop, window_kind, space.nation, replace=True)
    check(desktop.wait_gone("Locate your Nation.dat file"), "the dialog closes on a nation file")
    name_as_loaded = poll(lambda: window_kind.first_name(desktop, window))
    check(bool(name_as_loaded), "the loaded file's first name is drawn")

    # From Load, where the focus is back after the dialog, Tab reaches the
    # list and its first nation, and Space ticks it.
    desktop.keys(window, "Tab", "space")

    # Typing a name finds it, its space included; a space on its own after a
    # pause ticks the nation found.
    desktop.type(window, "south korea")
    time.sleep(TYPING_PAUSE)
    desktop.keys(window, "space")
    # Typed without its accent, a name is found all the same.
    desktop.type(window, "cote")
    time.sleep(TYPING_PAUSE)
    desktop.keys(window, "space")

    desktop.keys(window, "alt+e")
    question = desktop.wait_for("Cm3 Tallowmere")
    check(question is not None, 'the exit question comes up titled "Cm3 Tallowmere"')
    # Every key before Alt+E has been handled once the question shows.
    check(open(space.nation, "rb").read() == original, "ticking by hand writes nothing")
    if question:
        desktop.keys(question, "Escape")
        # A question Escape had closed would be gone by then. (Wine's box
        # ends on Escape, and the Windows window asks again in a new one.)
        desktop.settle()
        question = desktop.wait_for("Cm3 Tallowmere")
        check(question is not None, "Escape does not leave the question")
    if question:
        desktop.keys(question, "n")
        check(desktop.wait_gone("Cm3 Tallowmere"), "No closes the question")
    check(editor.poll() is None and bool(desktop.find("CM3 99/00 Tallowmere")), "No keeps the editor open")
    check(poll(lambda: window_kind.first_name(desktop, window) not in (b"", name_as_loaded)),
          "a tick that differs from the file shows: the first name is drawn otherwise")

    desktop.keys(window, "alt+p")
    answer_message(desktop, window_kind, "SUCCESS")
    after = open(space.nation, "rb").read()
    check(memberships(space.nation) == [2, 2, 1, 2, 2, 1, 2, 1],
          f"the patch wrote the ticks, exactly one more by Tab and Space, and those of South Korea and "
          f"C\u00f4te d'Ivoire found by name: {memberships(space.nation)}")
    check(len(after) == len(original) and others(after) == others(original), "the patch changed no other byte")
    check(poll(lambda: window_kind.first_name(desktop, window) == name_as_loaded),
          "after the patch no entry stands out")
    backup = space.nation + ".bak"
    check(os.path.exists(backup) and open(backup, "rb").read() == original,
          "the first patch left Nation.dat.bak, the file as it was before it")

    desktop.keys(window, "alt+m")
    desktop.keys(window, "alt+p")
    answer_message(desktop, window_kind, "SUCCESS")
    check(memberships(space.nation) == [2] * len(space.names), "make all, then patch, writes 2 into every record")
    check(open(backup, "rb").read() == original, "a later patch leaves the backup as it was")

    # Another program changes a membership byte: the patch would set it
    # back, so it is refused and writes nothing. A new load takes it in.
    changed = bytearray(open(space.nation, "rb").read())
    changed[7 * RECORD + MEMBER] = 1
    open(space.nation, "wb").write(changed)
    desktop.keys(window, "alt+p")
    answer_message(desktop, window_kind, "ERROR")
    check(open(space.nation, "rb").read() == changed,
          "a membership byte changed by another program since the load: the patch writes nothing")
    desktop.keys(window, "alt+l")
    choose_file(desktop, window_kind, space.nation)
    check(desktop.wait_gone("Locate your Nation.dat file"), "a new load of the changed file")

    # The members of 2004, from the context menu: one message says what the
    # preset did (Austria was ticked already), and names the members the
    # file lacks.
    tick_preset(desktop, window_kind, window, 1)
    summary = desktop.wait_for("Cm3 Tallowmere")
    check(summary is not None, "a message sums up what the preset did")
    if summary:
        text = window_kind.message_text(desktop, summary, "Cm3 Tallowmere")
        check("4 nations are ticked now, as members of the European Union in 2004." in text
              and "Newly ticked: Wales" in text and "Newly unticked: Albania, " in text and "Denmark" in text
              and "Cyprus" in text and "Austria" not in text,
              f"the message counts 4 nations, names Wales as ticked, Albania as unticked and Denmark and Cyprus "
              f"as missing, not Austria: {text!r}")
        desktop.keys(summary, "Return")
        check(desktop.wait_gone("Cm3 Tallowmere"), "the message goes away")
    desktop.keys(window, "alt+p")
    answer_message(desktop, window_kind, "SUCCESS")
    check(memberships(space.nation) == [1, 2, 2, 1, 2, 1, 1, 2],
          f"the members of 2004 ticked alone: Austria, Belgium, England, Wales: {memberships(space.nation)}")

    # Free movement in 2021, the first year after the United Kingdom's
    # transition, by keyboard alone from Load after a new load: the file's
    # England and Wales are named as unticked.
    desktop.keys(window, "alt+l")
    choose_file(desktop, window_kind, space.nation)
    check(desktop.wait_gone("Locate your Nation.dat file"), "a new load after the patch")
    tick_preset(desktop, window_kind, window, 5, FREE_MOVEMENT, tab_from_load=True)
    message_says(desktop, window_kind, "Cm3 Tallowmere", "2 nations are ticked now", "Iceland", "Switzerland",
                 "Newly unticked: England, Wales",
                 "members in the file but not in the European Union, the EEA and Switzerland in 2021", "England, Wales")
    desktop.keys(window, "alt+p")
    answer_message(desktop, window_kind, "SUCCESS")
    check(memberships(space.nation) == [1, 2, 2, 1, 1, 1, 1, 1],
          f"free movement in 2021: Austria and Belgium alone: {memberships(space.nation)}")

    desktop.keys(window, "alt+a")
    desktop.keys(window, "alt+v")
    lines = space.launches(2)
    check(any(line.endswith("mailto:nation-editor@example.org") for line in lines),
          f"the e-mail button hands mailto:nation-editor@example.org to the launcher {lines}")
    check(any(line.endswith("https://www.example.org/") for line in lines),
          f"the web site button hands https://www.example.org/ to the launcher {lines}")

    desktop.keys(window, "alt+l")
    choose_file(desktop, window_kind, space.nation)
    check(desktop.wait_gone("Locate your Nation.dat file"), "a second load")
    desktop.keys(window, "alt+e")
    question = desktop.wait_for("Cm3 Tallowmere")
    if question is None:
        desktop.screenshot("/tmp/e2e-failure.png")
    check(question is not None, "exit asks again after a load")
    if question:
        desktop.keys(question, "y")
    ended(editor, "Yes ends the editor")


def sample_given_at_start(desktop, window_kind, launch, space):
    """Started with the sample file's path: it is loaded, so exit asks. The
    members of 2013 from the context menu, all of them in the sample: the
    preset's message counts them."""
    subprocess.run([*space.sample_maker, window_kind.path(space.sample)], env=desktop.env, capture_output=True)
    check(os.path.exists(space.sample), "the sample file is made")
    editor = launch([window_kind.path(space.sample)])
    window = desktop.wait_started("CM3 99/00 Tallowmere")
    check(window is not None, "the editor comes up with a path given")
    if window:
        desktop.keys(window, "alt+e")
        question = desktop.wait_for("Cm3 Tallowmere")
        check(question is not None, "the file given at start is loaded: exit asks")
        if question:
            desktop.keys(question, "n")
            desktop.wait_gone("Cm3 Tallowmere")
        tick_preset(desktop, window_kind, window, 3)
        message_says(desktop, window_kind, "Cm3 Tallowmere",
                     f"{len(EU_2013_IN_SAMPLE)} nations are ticked now, as members of the European Union in 2013.")
        desktop.keys(window, "alt+p")
        answer_message(desktop, window_kind, "SUCCESS")
        ticked = {name for name, member in zip(names_in(space.sample), memberships(space.sample)) if member == 2}
        check(ticked == EU_2013_IN_SAMPLE,
              f"the members of 2013 ticked in the sample, Holland and Republic of Ireland among them: "
              f"{sorted(ticked ^ EU_2013_IN_SAMPLE)} differ")
        desktop.keys(window, "alt+e")
    ended(editor, "after the patch, exit ends the editor started with a path")


def refused_path_at_start(desktop, window_kind, launch, space):
    """Started with a refused path: its error, then an empty window."""
    editor = launch([window_kind.path(space.refused)])
    box = desktop.wait_started("ERROR")
    window = desktop.find("CM3 99/00 Tallowmere")
    check(box is not None and bool(window), "a refused path at start: its error over the window")
    if box and window:
        window_kind.check_message_place(desktop, box, window[-1], "the error about a path given at start")
    answer_message(desktop, window_kind, "ERROR", box=box)
    window = desktop.wait_started("CM3 99/00 Tallowmere")
    check(window is not None and not desktop.find("Locate your Nation.dat file"),
          "after a refused path at start, the window without the dialog")
    # A dialog shown late would keep Alt+E from ending the editor.
    if window:
        desktop.keys(window, "alt+e")
    ended(editor, "with nothing loaded, exit ends the editor at once")


def patches_refused(desktop, window_kind, launch, space):
    """Two files whose patch is refused and leaves them as they are: one with
    a folder where its backup would go, and one marked read-only (which root
    could write all the same)."""
    editor = launch([window_kind.path(space.backup_folder)])
    window = desktop.wait_started("CM3 99/00 Tallowmere")
    check(window is not None, "the editor comes up with the file whose backup's name a folder has")
    if window is None:
        return
    desktop.keys(window, "alt+m", "alt+p")
    message_says(desktop, window_kind, "ERROR", "Nation.dat.bak", "a folder has that name")
    check(open(space.backup_folder, "rb").read() == space.original and os.path.isdir(space.backup_folder + ".bak"),
          "a folder where the backup would go: nothing patched, the folder as it was")
    desktop.keys(window, "alt+l")
    choose_file(desktop, window_kind, space.read_only, replace=True)
    check(desktop.wait_gone("Locate your Nation.dat file"), "a read-only file loads")
    desktop.keys(window, "alt+m", "alt+p")
    message_says(desktop, window_kind, "ERROR", "read-only")
    check(open(space.read_only, "rb").read() == space.original and not os.path.exists(space.read_only + ".bak"),
          f"a read-only file{' as root' if os.geteuid() == 0 else ''}: nothing patched, no backup made")
    exit_with_yes(desktop, window, editor, "after the refused patches, Yes ends the editor")


# The cases both windows play, each with a new editor and new files, in the
# order they were played as one scenario.
def deep_folder(desktop, window_kind, launch, space):
    """A game folder deeper than Windows' open-file dialog takes, its file's
    path 333 characters long or more as the program sees it: the file given
    at start loads and patches, with its backup beside it; then Load's
    dialog opens, also after a restart, when it starts in that folder."""
    folder = space.root
    while len(window_kind.path(os.path.join(folder, "Nation.dat"))) < 333:
        folder = os.path.join(folder, "A folder of saved games, kept")
    os.makedirs(folder)
    nation = os.path.join(folder, "Nation.dat")
    open(nation, "wb").write(space.original)
    for start in ("with the file", "again"):
        editor = launch([window_kind.path(nation)] if start == "with the file" else [])
        window = desktop.wait_started("CM3 99/00 Tallowmere")
        check(window is not None, f"the editor comes up {start}")
        if window is None:
            editor.kill()
            return
        if start == "with the file":
            desktop.keys(window, "alt+m", "alt+p")
            answer_message(desktop, window_kind, "SUCCESS")
            check(memberships(nation) == [2] * 8 and open(nation + ".bak", "rb").read() == space.original,
                  f"a file at a path of {len(window_kind.path(nation))} characters patched, its backup beside it")
        desktop.keys(window, "alt+l")
        dialog = desktop.wait_for("Locate your Nation.dat file")
        check(dialog is not None, f"started {start}, Load's dialog opens after a file in the deep folder was loaded")
        if dialog:
            desktop.keys(dialog, "Escape")
            check(desktop.wait_gone("Locate your Nation.dat file"), "Escape cancels the dialog")
        desktop.keys(window, "alt+e")
        ended(editor, f"started {start}, exit ends the editor")


CASES = {
    "keyboard_at_start": keyboard_at_start,
    "load_tick_patch": load_tick_patch,
    "sample_given_at_start": sample_given_at_start,
    "patches_refused": patches_refused,
    "refused_path_at_start": refused_path_at_start,
    "deep_folder": deep_folder,
}


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


@contextlib.contextmanager
def running(command, env):
    """A program for the length of a block, killed at its end if it is still
    running."""
    program = subprocess.Popen(command, env=env)
    try:
        yield program
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()


def check_none_left(left, what):
    """Checks that no process of `left` (ids) is left, and ends those that
    are, so that a failed test leaves nothing behind either."""
    for pid in left:
        try:
            os.kill(pid, 9)
        except ProcessLookupError:
            pass
    check(not left, f"{what}: {left}")


def stop(program):
    """Asks a program to end, and makes it end."""
    if program.poll() is not None:
        return
    program.terminate()
    try:
        program.wait(timeout=10)
    except subprocess.TimeoutExpired:
        program.kill()
        program.wait()


def ended(editor, what):
    try:
        code = editor.wait(timeout=TIMEOUT)
        check(code == 0, what)
    except subprocess.TimeoutExpired:
        editor.kill()
        check(False, what)
