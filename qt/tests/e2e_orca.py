#!/usr/bin/env python3
"""The Linux editor as Orca speaks it. Orca, the screen reader, runs on a
session bus and an accessibility bus of the test's own and speaks through a
speech-dispatcher of its own and espeak-ng to ALSA's null device; the
editor, on Xvfb under openbox, is driven from the keyboard by xdotool, and
each step waits until Orca has said what a user would hear, read from
Orca's debug output. Exits 77 (skipped) where Orca, speech-dispatcher's
espeak-ng module or a tool of the desktop is missing.

Usage: e2e_orca.py PATH-TO-EDITOR PATH-TO-MAKE-SAMPLE-NATION
"""
import json
import os
import pty
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import tty

import e2e_desktop
import e2e_scenario as e2e

EDITOR = os.path.abspath(sys.argv[1])
MAKE_SAMPLE = os.path.abspath(sys.argv[2])

ESPEAK_NG_MODULE = "/usr/lib/speech-dispatcher-modules/sd_espeak-ng"
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"

# Orca speaks within 0.6 s of a key here and starts within 1.1 s; beside
# two CPU-bound processes, within 1.6 s and 5.5 s. A step not heard by these
# times has failed.
ORCA_START_TIMEOUT = 90
STEP_TIMEOUT = 30


class Message:
    """A message known loosely (case, spaces and punctuation aside) by words
    of its first line and words anywhere in it."""

    def __init__(self, first_line, within):
        self.first_line, self.within = first_line, within

    def __call__(self, said):
        first = self.loosely(said.splitlines()[0] if said else "")
        return (all(self.loosely(words) in first for words in self.first_line)
                and all(self.loosely(words) in self.loosely(said) for words in self.within))

    def __repr__(self):
        return f"a message whose first line has {self.first_line} and which names {self.within}"

    @staticmethod
    def loosely(text):
        return " " + " ".join(re.sub(r"[\W_]+", " ", text).lower().split()) + " "


class Shown:
    """What Orca says nothing of, known by a line of its log instead."""

    def __init__(self, line):
        self.line = line

    def __repr__(self):
        return f"a log line with {self.line!r}"


# The preset tried: the EU members of 2020, the fifth year of its submenu,
# which unticks the home nations of the sample file. The words its message
# is known by, loosely, as its wording changes:
PRESET_YEAR = "2020"
PRESET_MESSAGE = Message(["nations are", "members", "European Union in 2020"],
                         ["England, Northern Ireland, Scotland, Wales"])
HOME_NATIONS = {"England", "Northern Ireland", "Scotland", "Wales"}

# Each step: its name, the keys pressed (none: the editor's start), and what
# Orca says, in order, each utterance as it says it (spaces aside) or a
# Message; Orca's echo of each key and more may come between them.
WINDOW = "CM3 99/00 Tallowmere frame."
STEPS = [
    ("start: the window and its Load button", [], [WINDOW, "Load Nations push button."]),
    ("Tab into the list: its name, then the first nation and its tick", ["Tab"],
     ["Nations.", "list.", "Albania check box not checked."]),
    ("Space: the new tick", ["space"], ["checked"]),
    ("Shift+Tab to Load", ["shift+Tab"], ["Load Nations push button."]),
    ("Tab back to the list: the tick told as not yet patched", ["Tab"],
     ["Nations.", "list.", "Albania check box checked.", "changed, not yet patched."]),
    # Orca says nothing as a menu opens, but its log shows the menu: the
    # first Down must not reach the list.
    ("Shift+F10: the context menu", ["shift+F10"], Shown("object:state-changed:showing for [popup menu")),
    ("Down", ["Down"], ["Tick all nations."]),
    ("Down", ["Down"], ["Untick all nations."]),
    ("Down", ["Down"], ["Tick only the EU members of."]),
    ("Right: its submenu", ["Right"], ["1999."]),
    ("Down", ["Down"], ["2004."]),
    ("Down", ["Down"], ["2007."]),
    ("Down", ["Down"], ["2013."]),
    ("Down", ["Down"], [PRESET_YEAR + "."]),
    ("Return: the preset's message", ["Return"], ["alert Cm3 Tallowmere.", PRESET_MESSAGE]),
    ("Return: back in the list", ["Return"], [WINDOW, "Nations.", "list.", "Albania check box not checked."]),
    ("Alt+E: the exit question", ["alt+e"],
     ["alert Cm3 Tallowmere.", "You have not patched the file. Are you sure you want to exit?", "Yes push button."]),
    ("N: back on Exit", ["n"], [WINDOW, "Exit push button."]),
    ("Alt+P: the patch's message", ["alt+p"], ["alert SUCCESS.", "File Patched Succesfully.", "OK push button."]),
    ("Return: back on Patch", ["Return"], [WINDOW, "Patch Nation.dat push button."]),
]


def matches(expected, said):
    return expected(said) if callable(expected) else " ".join(said.split()) == expected


def heard_in_order(expected, utterances):
    """Whether each expected utterance is among those heard, in order."""
    at = 0
    for wanted in expected:
        while at < len(utterances) and not matches(wanted, utterances[at]):
            at += 1
        if at == len(utterances):
            return False
        at += 1
    return True


class Orca:
    """Orca for the length of a block, and what it says, read from its debug
    output as it writes it. Orca writes that file through Python, which
    writes a file in blocks of 8 KiB but a terminal line by line: the file
    is a pseudo-terminal of the test's own, so that each utterance is read
    as soon as it is spoken. Everything read is also kept in a file, for a
    failure."""

    SPOKEN = re.compile(r"^\d\d:\d\d:\d\d\.\d+ - SPEECH OUTPUT: '(.*)$")
    # An utterance ends with its quote, then the voice Orca used; the
    # timestamp's width indents each further line of it.
    SPOKEN_END = re.compile(r"^(.*)'(?: voice=\w+)? ?(?:\{.*\}|None)$")
    INDENT = " " * 18

    def __init__(self, env, root):
        self.env = env
        self.log = os.path.join(root, "orca-debug.log")
        self.output = os.path.join(root, "orca.out")
        self.lines = []
        self.utterances = []
        self.changed = threading.Condition()

    def __enter__(self):
        self.master, self.slave = pty.openpty()
        tty.setraw(self.slave)
        self.reader = threading.Thread(target=self.read, args=(open(self.log, "wb"),), daemon=True)
        self.reader.start()
        self.process = subprocess.Popen(["orca", "--debug-file", os.ttyname(self.slave)], env=self.env,
                                        stdout=open(self.output, "w"), stderr=subprocess.STDOUT)
        return self

    def __exit__(self, *exception):
        # Orca ends before its terminal does.
        e2e.stop(self.process)
        os.close(self.slave)
        self.reader.join(timeout=10)
        os.close(self.master)
        return False

    def read(self, copy):
        pending, speaking = b"", None
        while True:
            try:
                data = os.read(self.master, 65536)
            except OSError:  # every writer has closed the terminal
                break
            if not data:
                break
            copy.write(data)
            *complete, pending = (pending + data).split(b"\n")
            with self.changed:
                for raw in complete:
                    line = raw.decode("utf-8", "replace")
                    self.lines.append(line)
                    if speaking is not None:
                        speaking.append(line[len(self.INDENT):] if line.startswith(self.INDENT) else line)
                    else:
                        found = self.SPOKEN.match(line)
                        if found:
                            speaking = [found.group(1)]
                    if speaking is not None:
                        end = self.SPOKEN_END.match(speaking[-1])
                        if end:
                            self.utterances.append("\n".join(speaking[:-1] + [end.group(1)]))
                            speaking = None
                self.changed.notify_all()
        copy.close()

    def wait_started(self):
        """Waits until Orca says it is on, or has ended."""
        since = self.mark()
        deadline = time.monotonic() + ORCA_START_TIMEOUT
        while self.process.poll() is None and time.monotonic() < deadline:
            if self.wait_heard(["Screen reader on."], since, 0.5):
                return True
        return False

    def mark(self):
        with self.changed:
            return len(self.utterances), len(self.lines)

    def wait(self, test, timeout):
        with self.changed:
            return self.changed.wait_for(test, timeout)

    def wait_heard(self, expected, since, timeout=STEP_TIMEOUT):
        """Waits until Orca has said the expected utterances, in order, since
        the mark `since`."""
        return self.wait(lambda: heard_in_order(expected, self.utterances[since[0]:]), timeout)

    def wait_line(self, text, since, timeout=STEP_TIMEOUT):
        return self.wait(lambda: any(text in line for line in self.lines[since[1]:]), timeout)

    def wait_quiet(self, quiet=0.5, longest=5.0):
        """Waits until Orca has said nothing for a moment, so that what it
        says of a step is shown with it: it decides nothing."""
        deadline = time.monotonic() + longest
        count = -1
        while time.monotonic() < deadline:
            with self.changed:
                if len(self.utterances) == count:
                    return
                count = len(self.utterances)
            time.sleep(quiet)

    def heard_since(self, since):
        with self.changed:
            return self.utterances[since[0]:]


def start_speech_dispatcher(session, root):
    """speech-dispatcher with espeak-ng alone, its sound to ALSA's default
    device, which the test's HOME makes the null device: without a device
    that speech-dispatcher can open, Orca says its first few words, then
    hangs and takes no more keys. Answers speech-dispatcher's log."""
    config = os.path.join(root, "speech-dispatcher")
    os.makedirs(os.path.join(config, "modules"))
    with open(os.path.join(config, "speechd.conf"), "w") as out:
        out.write('AudioOutputMethod "alsa"\nAddModule "espeak-ng" "sd_espeak-ng" ""\nDefaultModule espeak-ng\n')
    with open(os.path.join(root, ".asoundrc"), "w") as out:
        out.write("pcm.!default { type null }\n")
    socket = os.path.join(root, "speechd.sock")
    session.env["SPEECHD_ADDRESS"] = "unix_socket:" + socket
    # -s: in the foreground, ended with the session; -t 0: never on its own.
    session.started.append(subprocess.Popen(
        ["speech-dispatcher", "-s", "-t", "0", "-C", config, "-S", socket, "-L", root, "-l", "4"],
        env=session.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    deadline = time.monotonic() + 30
    while not os.path.exists(socket) and time.monotonic() < deadline:
        time.sleep(0.05)
    return os.path.join(root, "speech-dispatcher.log")


def show(name, utterances):
    print(f"== {name}", flush=True)
    for said in utterances:
        print("   Orca: " + json.dumps(said, ensure_ascii=False), flush=True)


def walk(orca, env):
    """The steps, each waited for until Orca has said it; the walk stops at
    the first step not heard. The keys go where the keyboard is, as a
    user's do."""
    for name, keys, expected in STEPS:
        since = orca.mark()
        began = time.monotonic()
        if keys:
            subprocess.run(["xdotool", "key", *keys], env=env)
        if isinstance(expected, Shown):
            heard = orca.wait_line(expected.line, since)
            took = time.monotonic() - began
            said = orca.heard_since(since)
        else:
            heard = orca.wait_heard(expected, since)
            took = time.monotonic() - began
            orca.wait_quiet()
            said = orca.heard_since(since)
        show(f"{name} ({took:.2f} s)", said)
        e2e.check(heard, f"{name}: Orca {'says' if isinstance(expected, list) else 'shows'} {expected}")
        if not heard:
            return False
    return True


def main():
    if e2e.missing_tools(["Xvfb", "openbox", "dbus-daemon", "xdotool", "xprop", "pgrep", "orca",
                          "speech-dispatcher"]):
        return e2e.SKIPPED
    for path in (ESPEAK_NG_MODULE, BUS_LAUNCHER):
        if not os.path.exists(path):
            print(f"SKIPPED: {path} not installed")
            return e2e.SKIPPED
    # Orca refuses to start beside another Orca of the same user, on any
    # display.
    others = subprocess.run(["pgrep", "-u", str(os.getuid()), "-x", "orca"], capture_output=True, text=True).stdout
    if others.split():
        print(f"SKIPPED: Orca runs already as this user ({' '.join(others.split())}), and there can be only one")
        return e2e.SKIPPED
    root = tempfile.mkdtemp(prefix="e2e-orca-")
    sample = os.path.join(root, "Sample", "Nation.dat")
    os.makedirs(os.path.dirname(sample))
    subprocess.run([MAKE_SAMPLE, sample], check=True, stdout=subprocess.DEVNULL)
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("QT_", "DBUS_", "XDG_", "GTK_", "SPEECHD_", "LANGUAGE", "LC_"))}
    # A home of its own for ALSA's device, Orca's settings and the editor's;
    # English, which the expected words are in.
    env.update(QT_QPA_PLATFORM="xcb", HOME=root, XDG_RUNTIME_DIR=root, XDG_CONFIG_HOME=os.path.join(root, "config"),
               XDG_DATA_HOME=os.path.join(root, "data"), XDG_CACHE_HOME=os.path.join(root, "cache"),
               LANG="C.UTF-8")
    try:
        with e2e_desktop.Session(root, env, buses=True) as session:
            session.started.append(e2e_desktop.start_window_manager(session.env, ["openbox", "--sm-disable"]))
            speech_log = start_speech_dispatcher(session, root)
            with Orca(session.env, root) as orca:
                play(session.env, orca, sample)
            spoken = open(speech_log, errors="replace").read() if os.path.exists(speech_log) else ""
            e2e.check("Using alsa audio output method" in spoken and "Sent to audio" in spoken,
                      "speech-dispatcher sent what espeak-ng made of Orca's speech to ALSA")
        if e2e.failures and os.path.exists(os.path.join(root, "orca-debug.log")):
            shutil.copy(os.path.join(root, "orca-debug.log"), "/tmp/e2e-orca-debug.log")
            print("Orca's debug output: /tmp/e2e-orca-debug.log")
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return e2e.result()


def play(env, orca, sample):
    began = time.monotonic()
    started = orca.wait_started()
    show(f"Orca starts ({time.monotonic() - began:.2f} s)", orca.heard_since((0, 0)))
    if not started:
        print(open(orca.output).read())
    e2e.check(started, "Orca starts and says so")
    if not started:
        return
    with e2e.running([EDITOR, sample], env) as editor:
        walked = walk(orca, env)
        if walked:
            subprocess.run(["xdotool", "key", "alt+e"], env=env)
            e2e_desktop.ended(editor, "Alt+E after the patch ends the editor")
    if walked:
        members = e2e.EU_2013_IN_SAMPLE - HOME_NATIONS
        ticked = {name for name, member in zip(e2e.names_in(sample), e2e.memberships(sample)) if member == 2}
        e2e.check(ticked == members, f"the patch wrote what Orca told: the members of {PRESET_YEAR}, Albania "
                                     f"unticked ({sorted(ticked ^ members)} differ)")


if __name__ == "__main__":
    sys.exit(main())
