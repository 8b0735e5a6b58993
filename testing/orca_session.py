"""Orca, the screen reader, as the end-to-end tests hear it. Orca runs on a
session bus and an accessibility bus of the test's own (e2e_desktop's
Session, on an Xvfb of its own under openbox) and speaks through a
speech-dispatcher of its own and espeak-ng to ALSA's null device; the
program under test is driven from the keyboard by xdotool, and each step
waits until Orca has said what a user would hear, read from Orca's debug
output. Used by the Qt window's test (qt/tests/e2e_orca.py) and the page's
(web/tests/e2e_orca_page.py)."""
import contextlib
import json
import os
import pty
import re
import shutil
import subprocess
import threading
import time
import tty

import e2e_desktop
import e2e_scenario as e2e

ESPEAK_NG_MODULE = "/usr/lib/speech-dispatcher-modules/sd_espeak-ng"
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
TOOLS = ["Xvfb", "openbox", "dbus-daemon", "dbus-send", "xdotool", "xprop", "pgrep", "orca", "speech-dispatcher"]

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
        first = loosely(said.splitlines()[0] if said else "")
        return (all(loosely(words) in first for words in self.first_line)
                and all(loosely(words) in loosely(said) for words in self.within))

    def __repr__(self):
        return f"a message whose first line has {self.first_line} and which names {self.within}"


class Said:
    """An utterance known loosely by words it holds, in any order, and words
    it must not hold: where wording may differ between browsers and
    versions of Orca, but what it tells may not."""

    def __init__(self, *words, without=()):
        self.words, self.without = words, without

    def __call__(self, said):
        heard = loosely(said)
        return (all(loosely(words) in heard for words in self.words)
                and not any(loosely(words) in heard for words in self.without))

    def __repr__(self):
        return f"an utterance with {list(self.words)}" + (f" without {list(self.without)}" if self.without else "")

    def format(self, **values):
        """The same words, with the values named in them filled in."""
        return Said(*(words.format(**values) for words in self.words),
                    without=[words.format(**values) for words in self.without])


def loosely(text):
    """Text with case, spaces and punctuation aside, its letters' accents
    kept: " sao tome principe " is not " são tomé principe "."""
    return " " + " ".join(re.sub(r"[\W_]+", " ", text).lower().split()) + " "


class Shown:
    """What Orca says nothing of, known by a line of its log instead, which
    holds each of `parts`."""

    def __init__(self, *parts):
        self.parts = parts

    def __call__(self, line):
        return all(part in line for part in self.parts)

    def __repr__(self):
        return f"a log line with {' and '.join(map(repr, self.parts))}"


def matches(expected, said):
    return expected(said) if callable(expected) else " ".join(said.split()) == expected


def heard_in_order(expected, utterances, shared=False):
    """Whether each expected utterance is among those heard, in order;
    `shared`: one utterance may be several expected in turn, as where
    a browser says in one breath what a window says in two."""
    at = 0
    for wanted in expected:
        while at < len(utterances) and not matches(wanted, utterances[at]):
            at += 1
        if at == len(utterances):
            return False
        at += 0 if shared else 1
    return True


def times_heard(expected, utterances):
    """How many of the utterances are the expected one."""
    return sum(1 for said in utterances if matches(expected, said))


class Orca:
    """Orca for the length of a block, and what it says, read from its debug
    output as it writes it. Orca writes that file through Python, which
    writes a file in blocks of 8 KiB but a terminal line by line: the file
    is a pseudo-terminal of the test's own, so that each utterance is read
    as soon as it is spoken. Everything read is also kept in a file, for a
    failure."""

    SPOKEN = re.compile(r"^\d\d:\d\d:\d\d\.\d+ - SPEECH OUTPUT: '(.*)$")
    # What Orca reads as it reads a page through (Say All, as a page has
    # loaded), which it logs apart, a piece a line.
    READ_THROUGH = re.compile(r"^\d\d:\d\d:\d\d\.\d+ - WEB SAY ALL: \[.*?\] '(.*)' \(\d+-\d+, current: \d+\)$")
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
                    speaking = self.take(raw.decode("utf-8", "replace"), speaking)
                self.changed.notify_all()
        copy.close()

    def take(self, line, speaking):
        """One line of the log; answers the utterance still being read."""
        self.lines.append(line)
        if speaking is not None:
            speaking.append(line[len(self.INDENT):] if line.startswith(self.INDENT) else line)
        else:
            read = self.READ_THROUGH.match(line)
            if read:
                self.utterances.append(read.group(1))
            found = self.SPOKEN.match(line)
            if found:
                speaking = [found.group(1)]
        if speaking is not None:
            end = self.SPOKEN_END.match(speaking[-1])
            if end:
                self.utterances.append("\n".join(speaking[:-1] + [end.group(1)]))
                speaking = None
        return speaking

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

    def wait_heard(self, expected, since, timeout=STEP_TIMEOUT, shared=False):
        """Waits until Orca has said the expected utterances, in order, since
        the mark `since`."""
        return self.wait(lambda: heard_in_order(expected, self.utterances[since[0]:], shared), timeout)

    def wait_line(self, shown, since, timeout=STEP_TIMEOUT):
        return self.wait(lambda: any(shown(line) for line in self.lines[since[1]:]), timeout)

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


def missing(tools=()):
    """Whether Orca, speech-dispatcher's espeak-ng, a tool of the desktop or
    one of `tools` is missing, or another Orca of this user runs (Orca
    refuses to start beside one, on any display); says so if it is."""
    if e2e.missing_tools(TOOLS + list(tools)):
        return True
    for path in (ESPEAK_NG_MODULE, BUS_LAUNCHER):
        if not os.path.exists(path):
            print(f"SKIPPED: {path} not installed")
            return True
    others = subprocess.run(["pgrep", "-u", str(os.getuid()), "-x", "orca"], capture_output=True, text=True).stdout
    if others.split():
        print(f"SKIPPED: Orca runs already as this user ({' '.join(others.split())}), and there can be only one")
        return True
    return False


def environment(root):
    """The test's environment: a home of its own for ALSA's device, Orca's
    settings and the program's, nothing of the desktop the test runs in,
    and English, which the expected words are in."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("QT_", "DBUS_", "XDG_", "GTK_", "SPEECHD_", "LANGUAGE", "LC_", "DISPLAY",
                                "WAYLAND_", "AT_SPI_", "NO_AT_BRIDGE"))}
    env.update(HOME=root, XDG_RUNTIME_DIR=root, XDG_CONFIG_HOME=os.path.join(root, "config"),
               XDG_DATA_HOME=os.path.join(root, "data"), XDG_CACHE_HOME=os.path.join(root, "cache"),
               LANG="C.UTF-8")
    return env


@contextlib.contextmanager
def speaking(root, env):
    """A desktop of the test's own with Orca on, for the length of a block:
    yields the session (whose env the programs under test start with, and
    whose `started` ends with it) and Orca, once Orca has said it is on, or
    None where it never did. Afterwards checks that what Orca said reached
    the sound device, and that nothing of the session outlives it; keeps
    Orca's debug output after a failure, or always where KEEP_ORCA_LOG is
    set in the environment."""
    with e2e_desktop.Session(root, env, buses=True) as session:
        session.started.append(e2e_desktop.start_window_manager(session.env, ["openbox", "--sm-disable"]))
        speech_log = start_speech_dispatcher(session, root)
        with Orca(session.env, root) as orca:
            yield session, (orca if started(orca) else None)
        spoken = open(speech_log, errors="replace").read() if os.path.exists(speech_log) else ""
        e2e.check("Using alsa audio output method" in spoken and "Sent to audio" in spoken,
                  "speech-dispatcher sent what espeak-ng made of Orca's speech to ALSA")
    if (e2e.failures or os.environ.get("KEEP_ORCA_LOG")) and os.path.exists(orca.log):
        # Named as the test's folder, less its random end: one for each test,
        # the last run's.
        kept = f"/tmp/{os.path.basename(root.rstrip('/')).rsplit('-', 1)[0]}-debug.log"
        shutil.copy(orca.log, kept)
        print(f"Orca's debug output: {kept}")


def started(orca):
    began = time.monotonic()
    on = orca.wait_started()
    show(f"Orca starts ({time.monotonic() - began:.2f} s)", orca.heard_since((0, 0)))
    if not on:
        print(open(orca.output).read())
    e2e.check(on, "Orca starts and says so")
    return on


def show(name, utterances):
    print(f"== {name}", flush=True)
    for said in utterances:
        print("   Orca: " + json.dumps(said, ensure_ascii=False), flush=True)


def press(env, keys):
    """Keys pressed as a user presses them, a chord's modifiers held down
    first and let go last: sent at once, as xdotool sends a chord, Orca may
    see the modifier let go before the key goes down, and take the key
    alone, as a command of its own."""
    command = []
    for key in keys:
        *modifiers, main = key.split("+")
        command += [word for modifier in modifiers for word in ("keydown", modifier, "sleep", "0.05")]
        command += ["key", main]
        command += [word for modifier in reversed(modifiers) for word in ("sleep", "0.05", "keyup", modifier)]
        command += ["sleep", "0.08"]
    subprocess.run(["xdotool", *command], env=env)


def step(orca, env, name, act, expected, timeout=STEP_TIMEOUT, quiet=0.5, shared=False):
    """One step: `act` done (keys pressed where the keyboard is, as a
    user's are, or a function called), then a wait until Orca has said the
    expected utterances in order (each as it says it, spaces aside, or a
    test such as Message or Said), or shown a line of its log (Shown), and
    until it has been quiet for `quiet` seconds. Shows what Orca said and
    checks it; answers whether it was heard, and what was said."""
    since = orca.mark()
    began = time.monotonic()
    if callable(act):
        act()
    elif act:
        press(env, act)
    if isinstance(expected, Shown):
        heard = orca.wait_line(expected, since, timeout)
    else:
        heard = orca.wait_heard(expected, since, timeout, shared)
    took = time.monotonic() - began
    orca.wait_quiet(quiet)
    said = orca.heard_since(since)
    show(f"{name} ({took:.2f} s)", said)
    e2e.check(heard, f"{name}: Orca {'shows' if isinstance(expected, Shown) else 'says'} {expected}")
    return heard, said
