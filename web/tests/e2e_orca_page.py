#!/usr/bin/env python3
"""The page as Orca speaks it to a blind player, in a browser of the
machine's own (Debian's Chromium, Firefox ESR), headed on the test's own
desktop with Orca on (orca_session.py): Orca in its default mode, browse mode
in a web page; the page served by Python's web server from the site folder,
and opened by its address typed in the browser; every step a key or keys
sent by xdotool where the keyboard is, as a player's, and waited for until
Orca has said what the player needs to hear.
The file is given through the browser's own open-file dialog (GTK's), its
path typed in the dialog's location field; the patched file is checked
afterwards: in place where the browser hands the page a file it may write
(Chromium), among the downloads elsewhere (Firefox).

Exits 77 (skipped) where the browser, Orca, speech-dispatcher's espeak-ng
module or a tool of the desktop is missing, or the browser does not start.

Usage: e2e_orca_page.py BROWSER SITE MAKE_SAMPLE_JS
       e2e_orca_page.py --list"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

import e2e_scenario as e2e
import orca_session
from e2e_scenario import check
from orca_session import Said, Shown, loosely


class Chromium:
    name = "chromium"
    binary = "/usr/bin/chromium"
    # Enter in the location field of GTK's dialog, a path typed in it,
    # closes the dialog as cancelled in Chromium (in Firefox it opens the
    # file): the dialog's Open button, by its access key, opens it.
    choose = "alt+o"

    def command(self, root, address):
        profile = os.path.join(root, "chromium-profile")
        # As root Chromium runs only without its sandbox. On a screen no
        # larger than the window, GTK's dialog covers the window whole, and
        # Chromium, seeing its window hidden, cancels the page's dialog at
        # once: the window is counted as shown whatever covers it.
        return [self.binary, "--no-sandbox", "--force-renderer-accessibility",
                "--disable-backgrounding-occluded-windows", f"--user-data-dir={profile}", "--no-first-run",
                "--no-default-browser-check", "--disable-background-networking", "--disable-component-update",
                "--disable-sync", "--disable-quic", "--disable-gpu", "--password-store=basic",
                "--window-position=0,0", "--window-size=1024,768", address]

    def env(self, root):
        return {}

    def patched(self, root, sample):
        """Where the patched file and its backup are: in place, the backup
        in the folder chosen for it, the file's own."""
        return sample, sample + ".bak"


# Firefox's settings for a profile of the test's own: no first-run pages,
# no reaching for hosts this network refuses, downloads in the test's
# folder without a question; its list of downloads opens over the page as
# in a player's Firefox.
FIREFOX_SETTINGS = {
    "browser.shell.checkDefaultBrowser": False,
    "browser.aboutwelcome.enabled": False,
    "browser.startup.homepage_override.mstone": "ignore",
    "startup.homepage_welcome_url": "",
    "datareporting.policy.dataSubmissionEnabled": False,
    "datareporting.healthreport.uploadEnabled": False,
    "toolkit.telemetry.reportingpolicy.firstRun": False,
    "app.update.auto": False,
    "app.normandy.enabled": False,
    "extensions.update.enabled": False,
    "browser.safebrowsing.malware.enabled": False,
    "browser.safebrowsing.phishing.enabled": False,
    "browser.safebrowsing.downloads.enabled": False,
    "network.captive-portal-service.enabled": False,
    "network.connectivity-service.enabled": False,
    "browser.translations.automaticallyPopup": False,
    "browser.sessionstore.resume_from_crash": False,
    "browser.download.folderList": 2,
    "browser.download.useDownloadDir": True,
}


class Firefox:
    name = "firefox"
    binary = "/usr/bin/firefox-esr"
    choose = "Return"

    def command(self, root, address):
        profile = os.path.join(root, "firefox-profile")
        os.makedirs(profile)
        settings = dict(FIREFOX_SETTINGS, **{"browser.download.dir": self.downloads(root)})
        with open(os.path.join(profile, "user.js"), "w") as out:
            out.writelines(f"user_pref({json.dumps(name)}, {json.dumps(value)});\n" for name, value in settings.items())
        return [self.binary, "--no-remote", "--new-instance", "--profile", profile, address]

    def env(self, root):
        # Firefox's accessibility is on where a desktop says it wants it.
        return {"GNOME_ACCESSIBILITY": "1", "MOZ_CRASHREPORTER_DISABLE": "1"}

    @staticmethod
    def downloads(root):
        return os.path.join(root, "downloads")

    def patched(self, root, sample):
        return os.path.join(self.downloads(root), "Nation.dat"), os.path.join(self.downloads(root), "Nation.dat.bak")


BROWSERS = {browser.name: browser for browser in (Chromium(), Firefox())}

# The words the player must hear, each known loosely (orca_session.Said):
PATCH_BUTTON = Said("Patch Nation.dat", "button")
OK_BUTTON = Said("OK", "button")
# Orca says nothing of its own of a file chooser as it opens, in Firefox not
# even its activation: its log names the chooser.
FILE_CHOOSER = Shown("[file chooser |")
# A tick told as a tick, not as its absence.
TICKED = Said("checked", without=["not checked", "unchecked"])
UNPATCHED = Said("changed, not yet patched")
TITLE = Said("Cm3 Tallowmere")
SUCCESS = Said("File Patched Succesfully")
# The page's messages before the first patch, by the words only they have.
BACKUP_FOLDER = Said("Before the first patch", "choose the folder to keep Nation.dat.bak in")
DOWNLOADS = Said("hands you the files as downloads", "Nation.dat.bak")

# What a player types in the list to find a nation, and the nation it finds
# in the sample file: its name as the file has it, accents and all.
TYPED = "sao"
# Longer than the page's type-to-find pause, after which a space ticks.
TYPE_TO_FIND_PAUSE = 1.5
FOUND = "São Tomé"


def typed(which, choose=None):
    """Ctrl+L, then a path or address typed where it takes the keyboard
    (GTK's dialog's location field, the browser's address bar) and chosen:
    by the key `choose`, or by the browser's way of choosing in the
    dialog."""
    return ("typed", which, choose)


# Each step: its name, what the player does (keys, or a path or address
# typed), what Orca says, in order (Said, loosely; several may be
# one utterance), or shows in its log (Shown), and what Orca says once and
# only once (a message's words, a status). {found} and {count}: the sample's
# São Tomé and its number of nations.
START = [
    ("start: the browser, on an empty page", None, [Said("frame")], []),
    # Firefox's Orca reads the page through as it loads, from the focused
    # button on, a piece at a time.
    ("the page's address typed in the browser: the page, its Load button focused", typed("address", "Return"),
     [Said("Load Nations"), Said("button")], []),
    ("Alt+L: the browser's open-file dialog", ["alt+l"], FILE_CHOOSER, []),
    ("the sample's path typed in the dialog: the load told once", typed("sample"),
     [Said("{count} nations loaded from Nation.dat")], [Said("{count} nations loaded")]),
    ("Tab to the list: its first nation", ["Tab"], [Said("Albania")], []),
    (f"{TYPED!r} typed in the list: the list takes the letters, and finds {FOUND}", list(TYPED),
     [Said("{found}")], []),
    # A space within the type-to-find pause belongs to the name.
    ("Space, a moment later: the nation found is ticked", ("after pause", ["space"]), [TICKED], []),
    ("Down and Up: the nation found, ticked and not yet patched", ["Down", "Up"],
     [Said("{found}", "checked", without=["not checked"]), UNPATCHED], []),
]

# Then the patch, as each browser asks for it. Chromium hands the page a
# file it may write: it asks first whether the page may save changes to it,
# then the page says where its backup goes, and the browser's folder dialog
# and a question of its own follow.
PATCH = {
    "chromium": [
        ("Alt+P: Chromium asks whether the page may save changes", ["alt+p"],
         [Said("Save changes to Nation.dat")], []),
        ("Tab to Chromium's Save changes", ["Tab"], [Said("Save changes", "button")], []),
        ("Enter: the page's message on the backup's folder, heard once and whole", ["Return"],
         [TITLE, BACKUP_FOLDER, OK_BUTTON], [BACKUP_FOLDER]),
        ("Enter on OK: the browser's folder dialog", ["Return"], FILE_CHOOSER, []),
        ("the sample's folder typed in the dialog: Chromium asks to let the page edit files there",
         typed("folder"), [Said("edit files")], []),
        ("Tab to Chromium's Allow", ["Tab"], [Said("Allow", "button")], []),
        ("Enter: the patch's message, heard once and whole", ["Return"],
         [Said("SUCCESS"), SUCCESS, OK_BUTTON], [SUCCESS]),
        ("Enter on OK: back on Patch in the page", ["Return"], [PATCH_BUTTON], []),
    ],
    "firefox": [
        ("Alt+P: the page's message on the downloads, heard once and whole", ["alt+p"],
         [TITLE, DOWNLOADS, OK_BUTTON], [DOWNLOADS]),
        ("Enter on OK: the patch's message, heard once and whole", ["Return"],
         [Said("SUCCESS"), SUCCESS, OK_BUTTON], [SUCCESS]),
        # The files are handed over once the patch is done: Firefox's list of
        # downloads opens over the page as they start, as it does unless told
        # otherwise, and takes the keyboard.
        ("Enter on OK: back on Patch, then Firefox's list of the two downloads", ["Return"],
         [PATCH_BUTTON, Said("List with 2 items")], []),
        ("Escape: the list closes, back on Patch in the page", ["Escape"], [PATCH_BUTTON], []),
    ],
}


def main():
    if sys.argv[1:] == ["--list"]:
        print("\n".join(BROWSERS))
        return 0
    name, site, make_sample = sys.argv[1:4]
    browser = BROWSERS[name]
    if not os.path.exists(browser.binary):
        print(f"SKIPPED: {browser.binary} is not installed")
        return e2e.SKIPPED
    if orca_session.missing(["node"]):
        return e2e.SKIPPED
    began = time.monotonic()
    root = tempfile.mkdtemp(prefix=f"e2e-orca-{name}-")
    try:
        sample = os.path.join(root, "Game", "Nation.dat")
        os.makedirs(os.path.dirname(sample))
        subprocess.run(["/usr/bin/node", make_sample, sample], check=True, stdout=subprocess.DEVNULL)
        original = open(sample, "rb").read()
        with orca_session.speaking(root, orca_session.environment(root)) as (session, orca):
            skipped = orca is not None and play(browser, session, orca, root, site, sample)
        if skipped:
            print(f"SKIPPED: {skipped}")
            return e2e.SKIPPED
        check_files(browser, root, sample, original)
    finally:
        shutil.rmtree(root, ignore_errors=True)
        print(f"== {name}: {time.monotonic() - began:.1f} s in all", flush=True)
    return e2e.result()


def play(browser, session, orca, root, site, sample):
    """The page opened in the browser and played by its steps. Answers why
    the browser can't be tried here, or None."""
    address = serve(session, site)
    env = dict(session.env, **browser.env(root))
    names = e2e.names_in(sample)
    found = [name for name in names if loosely(name).startswith(loosely(FOUND))]
    check(len(found) == 1, f"the sample has one nation whose name starts {FOUND}: {found}")
    # The paths from the home folder, as GTK's dialog takes them: a long path
    # typed keeps Orca busy with the echo of each letter for seconds.
    home = os.path.relpath(sample, root)
    words = {"count": len(names), "found": found[0] if found else FOUND, "sample": f"~/{home}",
             "folder": f"~/{os.path.dirname(home)}/", "address": address}
    launched = []

    def launch():
        launched.append(subprocess.Popen(browser.command(root, "about:blank"), env=env, stdout=subprocess.DEVNULL,
                                         stderr=open(os.path.join(root, "browser.log"), "w")))
        session.started.append(launched[-1])

    steps = START + PATCH[browser.name]
    heard = walk(orca, session.env, [(name, launch if act is None else act, expected, once)
                                     for name, act, expected, once in steps], words, browser,
                 lambda: launched and launched[0].poll() is None)
    ended = launched[0].poll() if launched else "never started"
    if ended is not None and not heard[0]:
        return f"{browser.binary} ended ({ended}) before Orca heard its window: it does not run here"
    check(ended is None, f"{browser.name} runs to the end of the walk: {ended}")
    return None


def serve(session, site):
    """Python's web server over the site folder, on a port of its own, ended
    with the session: answers the page's address."""
    server = subprocess.Popen(["/usr/bin/python3", "-u", "-m", "http.server", "--bind", "127.0.0.1", "0",
                               "--directory", site], env=session.env, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True)
    session.started.append(server)
    told = server.stdout.readline()
    return f"http://127.0.0.1:{int(told.split(' port ')[1].split()[0])}/"


def walk(orca, env, steps, words, browser, running):
    """Every step in turn, each checked, so that what Orca says of each is
    shown even after one fails; a step that waits for a dialog of the
    browser's stops the walk where the dialog never came, as the keys after
    it would go elsewhere, and so does the browser's end. Answers whether
    each step walked was heard."""
    walked = []
    for name, act, expected, once in steps:
        expected = expected if isinstance(expected, Shown) else [said.format(**words) for said in expected]
        once = [said.format(**words) for said in once]
        heard, said = orca_session.step(orca, env, name.format(**words), act_of(act, env, words, browser),
                                        expected, quiet=1.5 if once else 0.5, shared=True)
        for wanted in once:
            times = orca_session.times_heard(wanted, said)
            check(times == 1, f"{name}: {wanted} is heard once, heard {times} times")
        walked.append(heard)
        if not running() or (isinstance(expected, Shown) and not heard):
            break
    return walked


def act_of(act, env, words, browser):
    """What a step's act does: keys as they are; a path or an address typed
    after Ctrl+L, and chosen."""
    if isinstance(act, tuple) and act[0] == "after pause":
        return lambda: (time.sleep(TYPE_TO_FIND_PAUSE), orca_session.press(env, act[1]))
    if not (isinstance(act, tuple) and act[0] == "typed"):
        return act
    _, which, choose = act

    def typed():
        orca_session.press(env, ["ctrl+l"])
        # xdotool types every word after "type": the keys after it are a
        # command of their own.
        subprocess.run(["xdotool", "sleep", "0.8", "type", "--delay", "30", words[which]], env=env)
        # GTK's location field offers its completion a moment later.
        time.sleep(1.0)
        orca_session.press(env, [choose or browser.choose])
    return typed


def check_files(browser, root, sample, original):
    """The patch wrote what Orca told: the nation found ticked, nothing else
    changed, and the file as it was before the patch kept as its backup."""
    patched, backup = browser.patched(root, sample)
    names = e2e.names_in(sample)
    wanted = bytearray(original)
    for i, name in enumerate(names):
        if loosely(name).startswith(loosely(FOUND)):
            wanted[i * e2e.RECORD + e2e.MEMBER] = 2
    for path, expected, what in ((patched, bytes(wanted), f"has {FOUND} ticked and nothing else changed"),
                                 (backup, original, "is the file as it was before the patch")):
        data = open(path, "rb").read() if os.path.exists(path) else None
        if data is None:
            folder = os.path.dirname(path)
            found = sorted(os.listdir(folder)) if os.path.isdir(folder) else "no such folder"
            check(False, f"{os.path.basename(path)} {what}: it is not there; in {folder}: {found}")
            continue
        differ = [name for name, now, then in zip(names, e2e.members_of(data), e2e.members_of(expected)) if now != then]
        check(data == expected, f"{os.path.basename(path)} {what} (nations told otherwise: {differ})")

if __name__ == "__main__":
    sys.exit(main())
