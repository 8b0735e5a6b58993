#!/usr/bin/env python3
"""Drives the built editor as a user would: a real X server (Xvfb) with a
window manager (openbox), Qt's X11 platform, and only keyboard and mouse
events sent from outside the process with xdotool. Checks the titles and
frames of the windows that come up and the nation file's bytes afterwards.
Exits 77 (skipped) when Xvfb, openbox, xdotool or xprop is missing.

Usage: e2e_window.py PATH-TO-EDITOR
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

RECORD, NAME, MEMBER = 290, 4, 127
SKIPPED = 77
EDITOR = os.path.abspath(sys.argv[1])
failures = []


def check(condition, what):
    print(("ok     " if condition else "FAILED ") + what, flush=True)
    if not condition:
        failures.append(what)


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


class Desktop:
    def __init__(self, env):
        self.env = env

    def xdotool(self, *args):
        result = subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True)
        return result.stdout.split()

    def find(self, title):
        return self.xdotool("search", "--onlyvisible", "--name", f"^{title}$")

    def atoms(self, window, prop):
        result = subprocess.run(["xprop", "-id", window, prop], env=self.env, capture_output=True, text=True)
        return result.stdout.replace(",", " ").split()[2:]

    def wait_for(self, title, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.find(title)
            if found:
                time.sleep(0.2)  # let it take the focus and paint
                return found[-1]
            time.sleep(0.05)
        return None

    def wait_gone(self, title, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not self.find(title):
                return True
            time.sleep(0.05)
        return False

    # The test hands the focus to the window a user would be looking at, and
    # gives Qt a moment to see it before the first event: an event sent at
    # once can land before Qt has taken the window as active.
    def focus(self, window):
        self.xdotool("windowactivate", "--sync", window)
        time.sleep(0.2)

    def keys(self, window, *keys):
        self.focus(window)
        self.xdotool("key", "--delay", "60", *keys)

    def type(self, window, text):
        self.focus(window)
        self.xdotool("type", "--delay", "10", text)

    def click(self, window, x, y):
        self.focus(window)
        self.xdotool("mousemove", "--window", window, str(x), str(y))
        time.sleep(0.2)
        self.xdotool("click", "1")


def start_xvfb(log):
    """Starts Xvfb on a display number well away from the low ones, which
    other X servers on a shared machine may hold (an abstract socket of the
    same name would take our clients elsewhere)."""
    first = 100 + os.getpid() % 400
    for number in range(first, first + 40):
        if os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}"):
            continue
        # -noreset: by default the server resets when its last client leaves,
        # and a client that connects meanwhile is turned away.
        xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                                 "-noreset"], stderr=open(log, "w"))
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and xvfb.poll() is None:
            probe = subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True,
                                   env=dict(os.environ, DISPLAY=f":{number}"))
            if probe.returncode == 0:
                return xvfb, f":{number}"
            time.sleep(0.05)
        xvfb.kill()
        xvfb.wait()
    return None, None


def start_window_manager(env):
    """Starts openbox and waits until it has taken the screen."""
    wm = subprocess.Popen(["openbox", "--sm-disable"], env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        probe = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env, capture_output=True,
                               text=True)
        if "window id" in probe.stdout:
            return wm
        time.sleep(0.05)
    return wm


def check_frame(desktop, window, what):
    """A window of the editor offers neither minimise nor maximise, and has
    no taskbar button of its own."""
    allowed = desktop.atoms(window, "_NET_WM_ALLOWED_ACTIONS")
    offered = [a for a in allowed if a.split("_ACTION_")[-1] in ("MINIMIZE", "MAXIMIZE_HORZ", "MAXIMIZE_VERT",
                                                                 "FULLSCREEN")]
    check("_NET_WM_ACTION_CLOSE" in allowed and not offered,
          f"{what}: the window manager offers close and neither minimise nor maximise {offered}")
    check("_NET_WM_STATE_SKIP_TASKBAR" in desktop.atoms(window, "_NET_WM_STATE"),
          f"{what}: no taskbar button of its own")


def answer_message(desktop, title, key="Return", frame=False):
    box = desktop.wait_for(title)
    check(box is not None, f'a message box titled "{title}" comes up')
    if box:
        if frame:
            check_frame(desktop, box, f'the "{title}" box')
        desktop.keys(box, key)
        check(desktop.wait_gone(title), f'the "{title}" box goes away')


def choose_file(desktop, path, replace=False, frame=False):
    dialog = desktop.wait_for("Locate your Nation.dat file")
    check(dialog is not None, 'the open-file dialog "Locate your Nation.dat file" comes up')
    if dialog:
        if frame:
            check_frame(desktop, dialog, "the open-file dialog")
        if replace:
            desktop.keys(dialog, "ctrl+a")
        desktop.type(dialog, path)
        # Long enough for the name completer to list the file: Enter must
        # work with its list open.
        time.sleep(0.5)
        desktop.keys(dialog, "Return")


def main():
    for tool in ("Xvfb", "openbox", "xdotool", "xprop"):
        if shutil.which(tool) is None:
            print(f"SKIPPED: {tool} is not installed; the end-to-end test needs Xvfb, openbox, xdotool and xprop")
            return SKIPPED

    work = tempfile.mkdtemp(prefix="e2e-")
    game = os.path.join(work, "Game & 'Saves' $HOME")
    os.makedirs(game)
    nation = os.path.join(game, "Nation.dat")
    names = ["Albania", "Austria", "Belgium", "Côte d'Ivoire", "England", "South Africa", "South Korea", "Wales"]
    original = nation_file(names, [1, 2, 0, 255, 2, 1, 1, 3])
    open(nation, "wb").write(original)
    # Named like the nation file, so that the name completer lists it too.
    os.makedirs(os.path.join(work, "Wrong"))
    refused = os.path.join(work, "Wrong", "Nation.dat")
    open(refused, "wb").write(original[:291])

    bin_dir = os.path.join(work, "bin")
    os.makedirs(bin_dir)
    launched = os.path.join(work, "launched.log")
    for name in ("xdg-open", "xdg-email"):
        stand_in = os.path.join(bin_dir, name)
        with open(stand_in, "w") as out:
            out.write(f'#!/bin/sh\nprintf "%s %s\\n" "{name}" "$*" >> "{launched}"\n')
        os.chmod(stand_in, 0o755)

    xvfb_log = os.path.join(work, "xvfb.log")
    xvfb, display = start_xvfb(xvfb_log)
    if xvfb is None:
        print("FAILED: no display number free for Xvfb")
        return 1

    env = {k: v for k, v in os.environ.items() if not k.startswith(("QT_", "DBUS_", "XDG_CURRENT"))}
    env.update(DISPLAY=display, QT_QPA_PLATFORM="xcb", PATH=bin_dir + ":" + env.get("PATH", ""),
               XDG_RUNTIME_DIR=work)
    desktop = Desktop(env)
    wm = start_window_manager(env)
    editor = subprocess.Popen([EDITOR], env=env, cwd=work)
    try:
        window = desktop.wait_for("CM3 99/00 Tallowmere")
        check(window is not None, f'the window "CM3 99/00 Tallowmere" comes up on display {display}')
        if window is None:
            print("Xvfb said:", open(xvfb_log).read(), "\nXvfb running:", xvfb.poll() is None)
            return 1
        check_frame(desktop, window, "the main window")

        desktop.keys(window, "alt+p")
        answer_message(desktop, "ERROR", frame=True)
        check(open(nation, "rb").read() == original, "a patch before any load writes nothing")

        # The refused path stays in the dialog's name box; the good one is
        # typed over it, and Enter pressed while the completer lists it.
        desktop.keys(window, "alt+l")
        choose_file(desktop, refused, frame=True)
        answer_message(desktop, "ERROR")
        choose_file(desktop, nation, replace=True)
        check(desktop.wait_gone("Locate your Nation.dat file"), "the dialog closes on a nation file")
        time.sleep(0.5)

        # The first entry's tick box: the list starts 8 px from the left and
        # 40 px from the top of the window.
        desktop.click(window, 18, 48)
        time.sleep(0.3)
        check(open(nation, "rb").read() == original, "ticking by hand writes nothing")

        # Typing a name finds it, its space included; a space on its own
        # after a pause ticks the nation found.
        desktop.type(window, "south korea")
        time.sleep(1.0)
        desktop.keys(window, "space")
        time.sleep(0.3)

        desktop.keys(window, "alt+e")
        question = desktop.wait_for("Cm3 Tallowmere")
        check(question is not None, 'the exit question comes up titled "Cm3 Tallowmere"')
        if question:
            desktop.keys(question, "Escape")
            time.sleep(0.3)
            check(bool(desktop.find("Cm3 Tallowmere")), "Escape does not leave the question")
            desktop.keys(question, "n")
            check(desktop.wait_gone("Cm3 Tallowmere"), "No closes the question")
        check(editor.poll() is None and bool(desktop.find("CM3 99/00 Tallowmere")),
              "No keeps the editor open")

        desktop.keys(window, "alt+p")
        answer_message(desktop, "SUCCESS")
        after = open(nation, "rb").read()
        check(memberships(nation) == [2, 2, 1, 1, 2, 1, 2, 1],
              f"the patch wrote the ticks, the first by a click and South Korea's found by name: {memberships(nation)}")
        check(len(after) == len(original) and others(after) == others(original),
              "the patch changed no other byte")

        desktop.keys(window, "alt+m")
        time.sleep(0.3)
        desktop.keys(window, "alt+p")
        answer_message(desktop, "SUCCESS")
        check(memberships(nation) == [2] * len(names), "make all, then patch, writes 2 into every record")

        desktop.keys(window, "alt+a")
        desktop.keys(window, "alt+v")
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and (not os.path.exists(launched)
                                               or len(open(launched).read().splitlines()) < 2):
            time.sleep(0.1)
        lines = open(launched).read().splitlines() if os.path.exists(launched) else []
        check(any(line.endswith("mailto:nation-editor@example.org") for line in lines),
              "the e-mail button hands mailto:nation-editor@example.org to the launcher")
        check(any(line.endswith("https://www.example.org/") for line in lines),
              "the web site button hands https://www.example.org/ to the launcher")

        desktop.keys(window, "alt+l")
        choose_file(desktop, nation)
        check(desktop.wait_gone("Locate your Nation.dat file"), "a second load")
        desktop.keys(window, "alt+e")
        question = desktop.wait_for("Cm3 Tallowmere")
        if question is None and shutil.which("import"):
            subprocess.run(["import", "-window", "root", "/tmp/e2e-failure.png"], env=env)
        check(question is not None, "exit asks again after a load")
        if question:
            desktop.keys(question, "y")
        try:
            code = editor.wait(timeout=10)
            check(code == 0, "Yes ends the editor")
        except subprocess.TimeoutExpired:
            check(False, "Yes ends the editor")
    finally:
        if editor.poll() is None:
            editor.kill()
        wm.terminate()
        wm.wait()
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)

    print(f"{len(failures)} failed" if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
