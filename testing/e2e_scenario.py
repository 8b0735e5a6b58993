"""The end-to-end scenario every window plays: the editor driven as a user
would, with keys and clicks from outside the program, checking the messages
that come up, the rows and their marks, and the nation file's bytes
afterwards. Each window's harness supplies a Driver: the Qt window and the
Windows program under Wine on a real X server (e2e_desktop.XDriver), the
page in a browser (web/tests/browser.py's PageDriver). A check that a
window can't make (the page's rows can be read, a window's only seen) is
made where the driver can tell.

The scenario is played in cases (CASES), each with a new editor and new
files, so that each is reported as it ends.

A busy machine makes the programs slow, never the test wrong: the test
waits for what it expects to see rather than for a time, and gives up only
at ten times or more what the slowest of its kind takes on the build
machine while it is busy. A check that something does not happen waits for
a later thing that can only come after it, or, where there is none, ten
times as long as the program took to answer the last key it was sent."""
import contextlib
import os
import shutil
import subprocess
import tempfile
import time

RECORD, NAME, MEMBER = 290, 4, 127
SKIPPED = 77
failures = []

# Typing a name, then a pause, then Space ticks the nation found: the pause
# is longer than the pause after which a window takes a key for the start
# of a new name (on Windows twice the double-click time, 1 s; Qt's keyboard
# input interval, 0.4 s; the page's, 1 s), by twice as much again, as a busy
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


def members_of(data):
    return [data[i * RECORD + MEMBER] for i in range(len(data) // RECORD)]


def memberships(path):
    return members_of(open(path, "rb").read())


def others(data):
    return bytes(b for at, b in enumerate(data) if at % RECORD != MEMBER)


def missing_tools(tools):
    missing = [tool for tool in tools if shutil.which(tool) is None]
    if missing:
        print(f"SKIPPED: {', '.join(missing)} not installed; the end-to-end test needs {', '.join(tools)}")
    return bool(missing)


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


class Driver:
    """What the scenario asks of a window. Keys are named as xdotool names
    them ("alt+l", "Return", "shift+F10"); a message and the open-file
    dialog are known by their titles. What a window can't tell is None."""

    # Whether a patch sees a file another program changed since the load:
    # a page that hands the patched file over as a download holds its own
    # copy.
    sees_changes = True
    # The environment the harness's own programs run in (None: the test's).
    env = None

    def path(self, path):
        """A path as the program writes it."""
        return path

    # start(path=None) -> bool: the editor up, the file at `path` given.
    # keys(*keys), type(text): to the editor's window. settle(): waits as
    # long as a window the program was asked for may take to show.
    # shown(title) -> bool: a message up; text(title) -> str: what it says;
    # press(key): a key to it; gone(title) -> bool; none_shown(title).
    # dialog_shown(), choose(path, replace), cancel(), dialog_gone(): the
    # open-file dialog. listed() -> bool: a file's rows drawn;
    # shows_changed() / shows_unchanged(): the first row marked as ticked
    # otherwise than in the file, or no row. focus_list(); open_menu(), the
    # context menu from the keyboard; choose_in_menu(entry, year): its
    # entry `entry` (counted from 0), its submenu's year `year`;
    # close_menu(). launched(wanted): the addresses handed to the desktop.
    # running(), ended() -> bool; end(): ends what the driver started.

    def check_frame(self, what, window="main"):
        pass

    def press_patch(self):
        self.keys("alt+p")

    def handed_back(self, what):
        """After a patch: the files the editor hands back, put where the
        player puts them."""

    def rows(self):
        """The rows: (nation, ticked, marked, description)."""
        return None

    def focused(self):
        """The control that has the keyboard (its name, "row:NATION")."""
        return None

    def menu(self):
        """The context menu's entries, whether each is greyed, or [] while
        it is closed."""
        return None

    def buttons(self):
        return None

    def asks_before_closing(self):
        return None


def known(value, wanted, what):
    """A check of what a window can tell (not None)."""
    if value is not None:
        check(wanted(value), f"{what}: {value!r}")


# The context menu's entries with a submenu of years, counted from its top.
EU_MEMBERS, FREE_MOVEMENT = 2, 3
NAMES_TICKED = [False, True, False, False, True, False, False, False]


def message(d, title, *wanted, key="Return", frame=False):
    """Waits for a message, checks that it says each of `wanted`, and
    answers it. Gives what it said."""
    shown = d.shown(title)
    check(shown, f'a message box titled "{title}" comes up')
    if not shown:
        return ""
    if frame:
        d.check_frame(f'the "{title}" box', "box")
    text = d.text(title) if wanted else ""
    if wanted:
        check(all(part in text for part in wanted), f"the message says {wanted}: {text!r}")
    d.press(key)
    check(d.gone(title), f'the "{title}" box goes away')
    return text


def load(d, path, what, replace=False, frame=False):
    """The open-file dialog, once it is up, given `path`."""
    shown = d.dialog_shown()
    check(shown, 'the open-file dialog "Locate your Nation.dat file" comes up')
    if shown:
        if frame:
            d.check_frame("the open-file dialog", "dialog")
        d.choose(path, replace)
    if what:
        check(d.dialog_gone(), what)


def patch(d, what):
    d.press_patch()
    message(d, "SUCCESS", "File Patched Succesfully")
    d.handed_back(what)


def tick_preset(d, entry, year, tab_from_load=False):
    """The list takes the keyboard by a click, or by Tab from Load, where
    the focus is; its context menu, opened from the keyboard (Shift+F10),
    gives the year `year` down in the submenu `entry` down in it."""
    if tab_from_load:
        d.keys("Tab")
    else:
        d.focus_list()
    d.open_menu()
    d.choose_in_menu(entry, year)


def exit_with_yes(d, what):
    """Exit with a file loaded and not patched: Yes to the question ends the
    editor."""
    d.keys("alt+e")
    message(d, "Cm3 Tallowmere", "Are you sure you want to exit?", key="y")
    check(d.ended(), what)


def keyboard_at_start(d, space):
    """Tab walks every control, the help box included, and Enter presses
    the button it reaches: from Load, five Tabs forward or three back reach
    Exit, which ends the editor at once with nothing loaded."""
    for keys, what in ((["Tab"] * 5, "Tab five times from Load, then Enter: Exit ends the editor"),
                       (["shift+Tab"] * 3, "Shift+Tab three times from Load, then Enter: Exit ends the editor")):
        if d.start():
            d.keys(*keys, "Return")
        check(d.ended(), what)


def load_tick_patch(d, space):
    """From an empty window: the file loaded through the dialog, ticked by
    hand, by name and from the context menu, patched, and patched again."""
    started = d.start()
    check(started, 'the window "CM3 99/00 Tallowmere" comes up')
    if not started:
        return
    d.check_frame("the main window")
    for step in (enter_presses_load, menu_before_load, patch_before_load, refused_then_loaded, tick_by_hand,
                 exit_answered_no, first_patch, make_all, changed_by_another, members_of_2004,
                 free_movement_in_2021, links, exit_after_load):
        step(d, space)


def enter_presses_load(d, space):
    d.keys("Return")
    check(d.dialog_shown(), "Enter right after start presses Load: the open-file dialog comes up")
    d.cancel()
    check(d.dialog_gone(), "Escape cancels the dialog")
    known(d.rows(), lambda rows: rows == [], "a cancel lists nothing")
    known(d.focused(), lambda at: at == "cmdLoad", "after a cancel Load has the keyboard again")


def menu_before_load(d, space):
    """With nothing loaded, the context menu's entries are greyed out: the
    members of 2004 chosen from it tick nothing and name nothing missing."""
    d.focus_list()
    d.open_menu()
    known(d.menu(), lambda entries: entries and all(greyed for _, greyed in entries),
          "with nothing loaded every entry is greyed")
    d.choose_in_menu(EU_MEMBERS, 1)
    check(d.none_shown("Cm3 Tallowmere"), "with nothing loaded, the context menu's entries do nothing")
    d.close_menu()
    known(d.menu(), lambda entries: entries == [], "Escape closes the menu")
    known(d.focused(), lambda at: at == "lstNations", "the list has the keyboard again")


def patch_before_load(d, space):
    """The focus stays on Patch after its message: Enter presses it again."""
    d.keys("alt+p")
    message(d, "ERROR", "Please load Nation.dat first", frame=True)
    check(open(space.nation, "rb").read() == space.original, "a patch before any load writes nothing")
    known(d.focused(), lambda at: at == "cmdPatch", "after the message Patch has the keyboard")
    d.keys("Return")
    message(d, "ERROR", "Please load Nation.dat first")


def refused_then_loaded(d, space):
    """The refused path stays in the dialog's name box; the good one is typed
    over it, and Enter pressed while a completer lists it."""
    d.keys("alt+l")
    load(d, space.refused, None, frame=True)
    message(d, "ERROR", "This is NOT the Nations.dat file. Pick Again")
    load(d, space.nation, "the dialog closes on a nation file", replace=True)
    check(d.listed(), "the loaded file's first name is drawn")
    known(d.rows(), lambda rows: [row[0] for row in rows] == space.names, "the nations listed as the file names them")
    known(d.rows(), lambda rows: [row[1] for row in rows] == NAMES_TICKED, "ticked where the file holds 2 alone")
    known(d.focused(), lambda at: at == "cmdLoad", "after the dialog Load has the keyboard")


def tick_by_hand(d, space):
    """From Load, Tab reaches the list and its first nation, and Space ticks
    it; typing a name finds it, its space included; a space on its own
    after a pause ticks the nation found."""
    d.keys("Tab", "space")
    known(d.rows(), lambda rows: rows[0][1:] == (True, True, "changed, not yet patched"),
          "Space ticks Albania, marked, told to a screen reader as changed")
    d.type("south korea")
    time.sleep(TYPING_PAUSE)
    d.keys("space")
    # Typed without its accent, a name is found all the same.
    d.type("cote")
    known(d.focused(), lambda at: at == "row:C\u00f4te d'Ivoire", "typed without its accent, a name is found")
    time.sleep(TYPING_PAUSE)
    d.keys("space")
    known(d.asks_before_closing(), bool, "closing with a file loaded and not patched asks first")


def exit_answered_no(d, space):
    d.keys("alt+e")
    asked = d.shown("Cm3 Tallowmere")
    check(asked, 'the exit question comes up titled "Cm3 Tallowmere"')
    # Every key before Alt+E has been handled once the question shows.
    check(open(space.nation, "rb").read() == space.original, "ticking by hand writes nothing")
    if asked:
        said = d.text("Cm3 Tallowmere")
        check("You have not patched the file. Are you sure you want to exit?" in said, f"the exit question: {said!r}")
        known(d.buttons(), lambda buttons: buttons == ["Yes", "No"], "the exit question's buttons")
        d.press("Escape")
        # A question Escape had closed would be gone by then. (Wine's box
        # ends on Escape, and the Windows window asks again in a new one.)
        d.settle()
        asked = d.shown("Cm3 Tallowmere")
        check(asked, "Escape does not leave the question")
    if asked:
        d.press("n")
        check(d.gone("Cm3 Tallowmere"), "No closes the question")
    check(d.running(), "No keeps the editor open")
    known(d.focused(), lambda at: at == "cmdExit", "after No, Exit has the keyboard")
    check(d.shows_changed(), "a tick that differs from the file shows: the first row is marked")


def first_patch(d, space):
    patch(d, "the first patch")
    after = open(space.nation, "rb").read()
    check(memberships(space.nation) == [2, 2, 1, 2, 2, 1, 2, 1],
          f"the patch wrote the ticks, exactly one more by Tab and Space, and those of South Korea and "
          f"C\u00f4te d'Ivoire found by name: {memberships(space.nation)}")
    check(len(after) == len(space.original) and others(after) == others(space.original),
          "the patch changed no other byte")
    check(d.shows_unchanged(), "after the patch no entry stands out")
    backup = space.nation + ".bak"
    check(os.path.exists(backup) and open(backup, "rb").read() == space.original,
          "the first patch left Nation.dat.bak, the file as it was before it")
    known(d.asks_before_closing(), lambda asks: not asks, "after the patch, closing does not ask")


def make_all(d, space):
    d.keys("alt+m")
    patch(d, "make all, then patch")
    check(memberships(space.nation) == [2] * len(space.names), "make all, then patch, writes 2 into every record")
    check(open(space.nation + ".bak", "rb").read() == space.original, "a later patch leaves the backup as it was")


def changed_by_another(d, space):
    """Another program changes a membership byte: the patch would set it
    back, so it is refused and writes nothing. A new load takes it in."""
    changed = bytearray(open(space.nation, "rb").read())
    changed[7 * RECORD + MEMBER] = 1
    open(space.nation, "wb").write(changed)
    if d.sees_changes:
        d.keys("alt+p")
        message(d, "ERROR", "has changed since it was loaded. Nothing was written")
        check(open(space.nation, "rb").read() == changed,
              "a membership byte changed by another program since the load: the patch writes nothing")
    d.keys("alt+l")
    load(d, space.nation, "a new load of the changed file")


def members_of_2004(d, space):
    """The members of 2004, from the context menu: one message says what the
    preset did (Austria was ticked already), and names the members the file
    lacks."""
    tick_preset(d, EU_MEMBERS, 1)
    text = message(d, "Cm3 Tallowmere", "4 nations are ticked now, as members of the European Union in 2004.",
                   "Newly ticked: Wales", "Newly unticked: Albania, ", "Denmark", "Cyprus")
    check("Austria" not in text, f"Austria, ticked already and in the file, is not named: {text!r}")
    patch(d, "the members of 2004")
    check(memberships(space.nation) == [1, 2, 2, 1, 2, 1, 1, 2],
          f"the members of 2004 ticked alone: Austria, Belgium, England, Wales: {memberships(space.nation)}")


def free_movement_in_2021(d, space):
    """Free movement in 2021, the first year after the United Kingdom's
    transition, by keyboard alone from Load after a new load: the file's
    England and Wales are named as unticked."""
    d.keys("alt+l")
    load(d, space.nation, "a new load after the patch")
    tick_preset(d, FREE_MOVEMENT, 5, tab_from_load=True)
    message(d, "Cm3 Tallowmere", "2 nations are ticked now", "Iceland", "Switzerland", "Newly unticked: England, Wales",
            "members in the file but not in the European Union, the EEA and Switzerland in 2021", "England, Wales")
    patch(d, "free movement in 2021")
    check(memberships(space.nation) == [1, 2, 2, 1, 1, 1, 1, 1],
          f"free movement in 2021: Austria and Belgium alone: {memberships(space.nation)}")


def links(d, space):
    d.keys("alt+a")
    d.keys("alt+v")
    lines = d.launched(2)
    check("mailto:nation-editor@example.org" in lines,
          f"the e-mail button hands mailto:nation-editor@example.org to the desktop {lines}")
    check("https://www.example.org/" in lines, f"the web site button hands https://www.example.org/ to the desktop "
                                               f"{lines}")


def exit_after_load(d, space):
    d.keys("alt+l")
    load(d, space.nation, "a second load")
    exit_with_yes(d, "exit asks again after a load, and Yes ends the editor")


def sample_given_at_start(d, space):
    """Started with the sample file's path: it is loaded, so exit asks. The
    members of 2013 from the context menu, all of them in the sample: the
    preset's one message counts them."""
    subprocess.run([*space.sample_maker, d.path(space.sample)], env=d.env, capture_output=True)
    check(os.path.exists(space.sample), "the sample file is made")
    sample = open(space.sample, "rb").read()
    started = d.start(space.sample)
    check(started, "the editor comes up with a path given")
    if started:
        d.keys("alt+e")
        check(d.shown("Cm3 Tallowmere"), "the file given at start is loaded: exit asks")
        d.press("n")
        d.gone("Cm3 Tallowmere")
        tick_preset(d, EU_MEMBERS, 3)
        message(d, "Cm3 Tallowmere",
                f"{len(EU_2013_IN_SAMPLE)} nations are ticked now, as members of the European Union in 2013.",
                "Newly ticked: ")
        check(d.none_shown("Cm3 Tallowmere"), "the sample holds every member of 2013: one message alone")
        patch(d, "the sample's first patch")
        ticked = {name for name, member in zip(names_in(space.sample), memberships(space.sample)) if member == 2}
        check(ticked == EU_2013_IN_SAMPLE,
              f"the members of 2013 ticked in the sample, Holland and Republic of Ireland among them: "
              f"{sorted(ticked ^ EU_2013_IN_SAMPLE)} differ")
        check(open(space.sample + ".bak", "rb").read() == sample, "its backup is the sample as it was")
        d.keys("alt+e")
    check(d.ended(), "after the patch, exit ends the editor started with a path")


def refused_path_at_start(d, space):
    """Started with a refused path: its error, then an empty window."""
    check(d.started_with_error(space.refused), "a refused path at start: its error over the window")
    message(d, "ERROR", "This is NOT the Nations.dat file. Pick Again")
    check(d.started_alone(), "after a refused path at start, the window without the dialog")
    # A dialog shown late would keep Alt+E from ending the editor.
    d.keys("alt+e")
    check(d.ended(), "with nothing loaded, exit ends the editor at once")


def patches_refused(d, space):
    """Two files whose patch is refused and leaves them as they are: one with
    a folder where its backup would go, and one marked read-only (which root
    could write all the same)."""
    started = d.start(space.backup_folder)
    check(started, "the editor comes up with the file whose backup's name a folder has")
    if not started:
        return
    d.keys("alt+m", "alt+p")
    message(d, "ERROR", "Nation.dat.bak", "a folder has that name")
    check(open(space.backup_folder, "rb").read() == space.original and os.path.isdir(space.backup_folder + ".bak"),
          "a folder where the backup would go: nothing patched, the folder as it was")
    d.keys("alt+l")
    load(d, space.read_only, "a read-only file loads", replace=True)
    d.keys("alt+m", "alt+p")
    message(d, "ERROR", "read-only")
    check(open(space.read_only, "rb").read() == space.original and not os.path.exists(space.read_only + ".bak"),
          f"a read-only file{' as root' if os.geteuid() == 0 else ''}: nothing patched, no backup made")
    exit_with_yes(d, "after the refused patches, Yes ends the editor")


def deep_folder(d, space):
    """A game folder deeper than Windows' open-file dialog takes, its file's
    path 333 characters long or more as the program sees it: the file given
    at start loads and patches, with its backup beside it; then Load's
    dialog opens, also after a restart, when it starts in that folder."""
    folder = space.root
    while len(d.path(os.path.join(folder, "Nation.dat"))) < 333:
        folder = os.path.join(folder, "A folder of saved games, kept")
    os.makedirs(folder)
    nation = os.path.join(folder, "Nation.dat")
    open(nation, "wb").write(space.original)
    for start in ("with the file", "again"):
        started = d.start(nation if start == "with the file" else None)
        check(started, f"the editor comes up {start}")
        if not started:
            return
        if start == "with the file":
            d.keys("alt+m", "alt+p")
            message(d, "SUCCESS")
            check(memberships(nation) == [2] * 8 and open(nation + ".bak", "rb").read() == space.original,
                  f"a file at a path of {len(d.path(nation))} characters patched, its backup beside it")
        d.keys("alt+l")
        check(d.dialog_shown(), f"started {start}, Load's dialog opens after a file in the deep folder was loaded")
        d.cancel()
        check(d.dialog_gone(), "Escape cancels the dialog")
        d.keys("alt+e")
        check(d.ended(), f"started {start}, exit ends the editor")


# The cases, each with a new editor and new files, in the order they were
# played as one scenario. A page plays those that need no path given at its
# start (web/tests/e2e_page.py).
CASES = {
    "keyboard_at_start": keyboard_at_start,
    "load_tick_patch": load_tick_patch,
    "sample_given_at_start": sample_given_at_start,
    "patches_refused": patches_refused,
    "refused_path_at_start": refused_path_at_start,
    "deep_folder": deep_folder,
}


def play(case, d, space):
    """Plays one case with the driver `d`, and ends what it started."""
    try:
        CASES[case](d, space)
    finally:
        d.end()
