"""The page served as any web server serves it (Python's own, from the
site folder, on a port of its own), or opened from the disk as a file, in a
browser engine (engines.py: headless Chromium, Firefox ESR or WebKitGTK):
keys and clicks as a player's, files given through the file input or the
origin-private file system, what the browser downloads in a folder of the
test's own. Every process it starts is ended on leaving, with a check that
none outlives it. PageDriver plays the scenario every window plays
(e2e_scenario.py) on the page, in any of the engines."""
import base64
import os
import pathlib
import shutil
import subprocess
import tempfile
import time

from e2e_scenario import SKIPPED, Driver, check, check_none_left, message, poll, stop
from engines import ENGINES, MARK, BrowserMissing, Keys, chord, marked, presses


def browser_missing(engine="chromium"):
    """Why the engine's browser can't be driven here, or None."""
    return ENGINES[engine].missing()


class Page:
    def __init__(self, site, root, engine="chromium", from_disk=False):
        self.site = site
        self.root = root
        # Opened from the disk, as a player opens the zip's page: no server.
        self.from_disk = from_disk
        self.profile = tempfile.mkdtemp(prefix="profile-", dir=root)
        self.downloads = tempfile.mkdtemp(prefix="downloads-", dir=root)
        # Every process the test starts, however it starts it, carries its
        # folder in its environment: none may outlive it.
        os.environ[MARK] = root
        self.env = dict(os.environ)
        self.engine = ENGINES[engine](root, self.profile, self.downloads, self.env)
        self.server = None

    def __enter__(self):
        if self.from_disk:
            self.address = pathlib.Path(self.site, "index.html").absolute().as_uri()
        else:
            self.server = subprocess.Popen(
                ["/usr/bin/python3", "-u", "-m", "http.server", "--bind", "127.0.0.1", "0", "--directory", self.site],
                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, env=self.env)
            told = self.server.stdout.readline()
            self.address = f"http://127.0.0.1:{int(told.split(' port ')[1].split()[0])}/"
        try:
            self.engine.start()
        except BrowserMissing:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exception):
        self.engine.quit()
        if self.server is not None:
            stop(self.server)
        # A browser's helpers end once they find it gone (WebKit's web
        # process some seconds after its browser).
        poll(lambda: not self.outliving(), timeout=10.0)
        check_none_left(self.outliving(), "no browser process outlives the test")
        return False

    def outliving(self):
        """The processes the test started that are still running."""
        return sorted(set(processes_naming(self.profile) + marked(self.root)))

    def cdp(self, command, **parameters):
        """Chromium's DevTools protocol, for what only Chromium has."""
        return self.engine.cdp(command, **parameters)

    def js(self, script, *arguments):
        return self.engine.js(script, *arguments)

    def js_async(self, script, *arguments):
        """A script whose promise is waited for; its value comes back. The
        script names its arguments `args`."""
        return self.engine.js_async(script, *arguments)

    def open(self, before_load=None):
        """Opens the page afresh, and waits until the editor has the
        keyboard. `before_load` runs in the page before its own scripts."""
        if before_load:
            self.engine.add_init_script(before_load)
        self.engine.get(self.address)
        return self.wait(lambda: self.js("return document.getElementById('editor')"
                                         ".getAttribute('aria-busy') === null"), "the editor comes up")

    def wait(self, condition, what, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            value = condition()
            if value:
                return value
            time.sleep(0.05)
        check(False, f"in time: {what}")
        return None

    # ---- the keyboard, as a player's -------------------------------------

    def keys(self, *keys):
        self.engine.perform(presses(*keys))

    def chord(self, modifier, key):
        self.engine.perform(chord(modifier, key))

    def alt(self, letter):
        self.chord(Keys.ALT, letter)

    def type(self, text):
        for letter in text:
            self.keys(letter)

    def focused(self, settle=2.0):
        """What has the keyboard: a control's id, or a row's nation. A
        message gives the keyboard back a moment after it has gone: the
        page's body has it only where nothing takes it in `settle`
        seconds."""
        deadline = time.monotonic() + settle
        while True:
            at = self.js("""const at = document.activeElement;
                const current = at.getAttribute('aria-activedescendant');
                const row = (current ? document.getElementById(current) : at).closest('.row');
                const control = at.closest('.control');
                return row ? 'row:' + row.textContent : control ? control.id : at.id || at.tagName;""")
            if at != "BODY" or time.monotonic() > deadline:
                return at
            time.sleep(0.05)

    def focus_list(self):
        """The list takes the keyboard, as a click on it would give it."""
        self.js("document.querySelector('.list .rows').focus()")

    # ---- what the page shows ---------------------------------------------

    def dialog(self, timeout=10.0):
        """The open message: its title, text and buttons, once it is up."""
        return self.wait(lambda: self.js("""const shown = document.querySelector('dialog.message[open]');
            return shown && {title: shown.querySelector('.caption').textContent,
                             text: shown.querySelector('.text').textContent,
                             role: shown.getAttribute('role'),
                             buttons: [...shown.querySelectorAll('button')].map((b) => b.textContent),
                             focused: shown.contains(document.activeElement)};"""), "a message comes up", timeout)

    def no_dialog(self, wait=0.6):
        time.sleep(wait)
        return not self.js("return document.querySelector('dialog.message[open]') !== null")

    def rows(self):
        """The rows the list draws: (nation, ticked, bold, description)."""
        return [tuple(row) for row in self.js("""return [...document.querySelectorAll('.row')]
            .sort((a, b) => a.dataset.row - b.dataset.row)
            .map((row) => [row.textContent, row.querySelector('input').checked,
                           getComputedStyle(row.querySelector('.name')).fontWeight >= 600,
                           document.getElementById(row.querySelector('input').getAttribute('aria-describedby'))
                               ?.textContent || '']);""")]

    def note(self):
        """The status line under the window."""
        return self.js("return document.getElementById('note').textContent")

    def dialog_note(self):
        """The line under it that says what a browser's dialog is for."""
        return self.js("return document.getElementById('dialog-note').textContent")

    def ended(self):
        """The editor has ended: the page says so, or, where the browser
        lets a page close its tab, has closed it."""
        return self.engine.closed() or self.js("return document.getElementById('editor').hidden")

    # ---- files -----------------------------------------------------------

    def without_file_handles(self):
        """The page as a browser without the File System Access API shows
        it: the open-file dialog is the file input's."""
        self.js("window.showOpenFilePicker = undefined; window.showSaveFilePicker = undefined;")
        # The browser's own dialog can't be driven: the test hands the input
        # its file instead, as the dialog would.
        self.engine.intercept_file_chooser()

    def choose_file(self, path):
        """The open-file dialog is up: the file input takes `path`."""
        if self.wait(lambda: self.js("return document.getElementById('file-input').onchange !== null"),
                     "the open-file dialog comes up"):
            self.engine.set_file("file-input", path)

    def cancel_file(self):
        if self.wait(lambda: self.js("return document.getElementById('file-input').onchange !== null"),
                     "the open-file dialog comes up"):
            self.js("document.getElementById('file-input').dispatchEvent(new Event('cancel'))")

    # Each download is known by its time: Chromium and WebKit save one over
    # another of the same name.
    def handed_over(self, since, names, timeout=10.0):
        """The downloads written since `since` (a time.time()), once those
        named are all there and complete: {name: bytes}."""
        def done():
            found = {}
            for name in os.listdir(self.downloads):
                path = os.path.join(self.downloads, name)
                if name.endswith((".crdownload", ".tmp", ".part")):
                    return None
                if os.path.getmtime(path) >= since:
                    found[name] = open(path, "rb").read()
            return found if set(names) <= set(found) else None
        return self.wait(done, f"the downloads {names}", timeout) or {}

    def downloads_since(self, since):
        return sorted(name for name in os.listdir(self.downloads)
                      if os.path.getmtime(os.path.join(self.downloads, name)) >= since)

    # The origin-private file system: handles of the same kind as the files
    # a player picks, which the test can fill and read.
    def private_file(self, name, data):
        self.js_async("""const root = await navigator.storage.getDirectory();
            const file = await root.getFileHandle(args[0], {create: true});
            const writable = await file.createWritable();
            await writable.write(Uint8Array.from(atob(args[1]), (c) => c.charCodeAt(0)));
            await writable.close();""", name, base64.b64encode(data).decode())

    def private_bytes(self, name):
        found = self.js_async("""const root = await navigator.storage.getDirectory();
            try {
                const file = await (await root.getFileHandle(args[0])).getFile();
                const bytes = new Uint8Array(await file.arrayBuffer());
                let text = '';
                for (let i = 0; i < bytes.length; i += 8192)
                    text += String.fromCharCode(...bytes.subarray(i, i + 8192));
                return btoa(text);
            } catch (error) { return null; }""", name)
        return None if found is None else base64.b64decode(found)

    def private_remove(self, name):
        self.js_async("""const root = await navigator.storage.getDirectory();
            await root.removeEntry(args[0]).catch(() => {});""", name)

    def private_names(self):
        """The names in the origin-private file system's top folder."""
        return sorted(self.js_async("""const names = [];
            for await (const name of (await navigator.storage.getDirectory()).keys()) names.push(name);
            return names;"""))

    def storage_left(self, room):
        """The origin's storage full but for `room` bytes, as a full disk;
        None: as much as the browser gives it."""
        origin = self.address.rstrip("/")
        if room is None:
            self.cdp("Storage.overrideQuotaForOrigin", origin=origin)
            return
        used = self.js_async("return (await navigator.storage.estimate()).usage")
        self.cdp("Storage.overrideQuotaForOrigin", origin=origin, quotaSize=used + room)

    def pick_private(self, name, chosen=True):
        """The browser's dialogs and prompts, answered from the
        origin-private file system: the open-file dialog with the file
        `name`; the folder dialog with the top folder, where `name` is, or
        a cancel (chosen False). As
        Chromium's, each dialog and prompt opens only on a key or a click of
        the player's since the last prompt, which uses it up; leave to write
        a file or a folder is asked for once in a visit (the private file
        system's handles never ask: the test's prompts stand in). What they
        were asked is in window.picked."""
        self.js("""const before = window.picked;
            window.picked = before || {folders: [], prompts: [], input: 0, used: -1, allowed: new Set()};
            Object.assign(window.picked, {open: arguments[0], chosen: arguments[1]});
            if (before) return;
            for (const type of ['keydown', 'mousedown'])
                addEventListener(type, (event) => { if (event.isTrusted) window.picked.input = performance.now(); },
                                 true);
            const clicked = (what) => {
                if (!(window.picked.input > window.picked.used))
                    throw new DOMException(`${what} opens only on a click`, 'SecurityError');
            };
            const key = (handle) => `${handle.kind}:${handle.name}`;
            FileSystemHandle.prototype.queryPermission = async function () {
                return window.picked.allowed.has(key(this)) ? 'granted' : 'prompt';
            };
            FileSystemHandle.prototype.requestPermission = async function () {
                clicked('a prompt');
                window.picked.used = performance.now();
                window.picked.prompts.push(key(this));
                window.picked.allowed.add(key(this));
                return 'granted';
            };
            window.showOpenFilePicker = async () => {
                clicked('the open-file dialog');
                return [await (await navigator.storage.getDirectory()).getFileHandle(window.picked.open)];
            };
            window.showDirectoryPicker = async (options) => {
                clicked('the folder dialog');
                window.picked.folders.push({id: options.id, mode: options.mode,
                                            startIn: options.startIn ? options.startIn.name : null,
                                            note: document.getElementById('dialog-note').textContent});
                if (!window.picked.chosen) throw new DOMException('cancelled', 'AbortError');
                const folder = await navigator.storage.getDirectory();
                window.picked.allowed.add(key(folder));
                return folder;
            };""", name, chosen)

    def picked(self):
        """What the test's dialogs and prompts were asked: {folders, prompts}."""
        return self.js("return {folders: window.picked.folders, prompts: window.picked.prompts}")

    def drop(self, name, data):
        """A file dropped on the page, as a file manager drops one."""
        self.js("""const data = new DataTransfer();
            data.items.add(new File([Uint8Array.from(atob(arguments[1]), (c) => c.charCodeAt(0))], arguments[0]));
            const target = document.getElementById('lstNations');
            target.dispatchEvent(new DragEvent('dragover', {dataTransfer: data, bubbles: true, cancelable: true}));
            target.dispatchEvent(new DragEvent('drop', {dataTransfer: data, bubbles: true, cancelable: true}));""",
                name, base64.b64encode(data).decode())

    def drop_path(self, path):
        """A file of the disk dropped on the page, as a file manager drops
        it: the browser gives the page its own handle of it."""
        for kind in ("dragEnter", "dragOver", "drop"):
            self.cdp("Input.dispatchDragEvent", type=kind, x=200, y=200,
                     data={"items": [], "files": [path], "dragOperationsMask": 1})

    # What the page hands the desktop: web addresses noted instead of
    # followed, mail addresses noted and followed, which the browser hands
    # to no mail program here, and each time the page was about to be left.
    def note_launches(self):
        self.js("""window.launched = [];
            window.leaving = 0;
            addEventListener('beforeunload', () => ++window.leaving);
            document.addEventListener('click', (event) => {
                if (event.target.tagName === 'A' && !event.target.download) {
                    window.launched.push(event.target.href);
                    if (!event.target.href.startsWith('mailto:')) event.preventDefault();
                }
            }, true);
            new MutationObserver((changes) => changes.forEach((change) => change.addedNodes.forEach((node) => {
                if (node.tagName === 'IFRAME') window.launched.push(node.src);
            }))).observe(document.body, {childList: true});""")

    def launched(self):
        return self.js("return window.launched")

    def left(self):
        """How often the page was about to be left since note_launches."""
        return self.js("return window.leaving")

    def accessibility_tree(self):
        return self.cdp("Accessibility.getFullAXTree")["nodes"]


# What the page's dialogs say, and whether the browser would ask before the
# tab closes.
DIALOG = "Locate your Nation.dat file"
# The test's own event is not counted as the page being left.
LEAVING = ("const leaving = new Event('beforeunload', {cancelable: true});"
           "dispatchEvent(leaving); if (window.leaving) --window.leaving; return leaving.defaultPrevented;")


class PageDriver(Driver):
    """The scenario's driver for the page, the files given through its file
    input (the browser's dialog stood in for) or dropped on it, and the
    patched files handed over as downloads, which the driver puts where the
    player puts them: the patched file in place of the old one, the backup
    beside it unless one is there already, as the page tells. The page's
    copy of the file is its own: a change made by another program after the
    load goes unseen."""

    sees_changes = False

    def __init__(self, page, space):
        self.page, self.space = page, space
        self.chosen = False
        self.loaded = None
        # A patch since the last load: a first patch hands the backup over.
        self.patched = False
        self.since = 0.0

    def end(self):
        pass

    def start(self, path=None):
        started = self.page.open()
        self.page.without_file_handles()
        self.page.note_launches()
        if started and path:
            self.page.drop(os.path.basename(path), open(path, "rb").read())
            self.given(path)
            started = self.listed()
        return bool(started)

    def given(self, path):
        self.loaded, self.patched = path, False

    def keys(self, *keys):
        named = {"Return": Keys.ENTER, "Escape": Keys.ESCAPE, "Tab": Keys.TAB, "space": Keys.SPACE,
                 "Down": Keys.ARROW_DOWN, "Right": Keys.ARROW_RIGHT, "End": Keys.END, "F10": Keys.F10,
                 "alt": Keys.ALT, "shift": Keys.SHIFT, "ctrl": Keys.CONTROL}
        for key in keys:
            *modifier, key = key.split("+")
            if modifier:
                self.page.chord(named[modifier[0]], named.get(key, key))
            else:
                self.page.keys(named.get(key, key))

    def type(self, text):
        self.page.type(text)

    def settle(self):
        time.sleep(0.6)

    def shown(self, title):
        shown = self.page.dialog()
        return shown is not None and shown["title"] == title

    def none_shown(self, title):
        return self.page.no_dialog()

    def text(self, title):
        return (self.page.dialog() or {}).get("text", "")

    def buttons(self):
        return (self.page.dialog() or {}).get("buttons")

    def press(self, key):
        self.page.js("document.querySelector('dialog.message[open]').dataset.answered = 'yes'")
        self.keys(key)

    def gone(self, title):
        # Yes to the exit question may close the tab, the message with it.
        return bool(self.page.wait(lambda: self.page.engine.closed() or self.page.js(
            "return document.querySelector('dialog[data-answered]') === null"), f'the "{title}" message goes'))

    def dialog_open(self):
        return self.page.js("return document.getElementById('file-input').onchange !== null")

    def dialog_shown(self):
        shown = bool(self.page.wait(lambda: self.dialog_open() and self.page.dialog_note() == DIALOG,
                                    "the open-file dialog comes up, the page saying what it is for"))
        # The rows as they were: a file given replaces them, or a message
        # says why not, and the page takes the player's keys again.
        self.page.js("document.querySelector('.list .spacer').dataset.before = 'yes'")
        return shown

    def choose(self, path, replace=False):
        self.chosen = True
        self.page.choose_file(path)
        self.given(path)

    def cancel(self):
        self.chosen = False
        self.page.cancel_file()

    def dialog_gone(self):
        settled = """return document.querySelector('dialog.message[open]') !== null
            || document.querySelector('.list .spacer[data-before]') === null"""
        return bool(self.page.wait(lambda: not self.dialog_open() and self.page.dialog_note() != DIALOG
                                   and (not self.chosen or self.page.js(settled)), "the open-file dialog goes"))

    def listed(self):
        return bool(self.page.wait(lambda: self.page.rows(), "the file is listed"))

    def shows_changed(self):
        return bool(self.page.wait(lambda: self.page.rows()[0][2], "the first row marked"))

    def shows_unchanged(self):
        return bool(self.page.wait(lambda: not any(row[2] for row in self.page.rows()), "no row marked"))

    def focus_list(self):
        # An empty list has no row to take the keyboard: Tab from Load, where
        # it is after the dialog, reaches the list.
        if self.page.rows():
            self.page.focus_list()
        else:
            self.keys("Tab")

    def open_menu(self):
        self.keys("shift+F10")
        self.page.wait(lambda: self.menu(), "the context menu opens")

    def menu(self):
        return [tuple(entry) for entry in self.page.js("""return [...document.querySelectorAll('.menu .item')]
            .map((item) => [item.textContent, item.getAttribute('aria-disabled') === 'true']);""")]

    def choose_in_menu(self, entry, year):
        # The menus open with their first entry chosen.
        self.keys(*["Down"] * entry, "Right", *["Down"] * year, "Return")

    def close_menu(self):
        self.keys("Escape")

    def launched(self, wanted):
        self.page.wait(lambda: len(self.page.launched()) >= wanted, f"{wanted} addresses handed over")
        check(self.page.left() == 0, f"the addresses handed to the browser, the page not left: "
                                     f"left {self.page.left()} times")
        return self.page.launched()

    def running(self):
        return not self.page.ended()

    def ended(self):
        return bool(self.page.wait(self.page.ended, "the editor ends"))

    def focused(self):
        return self.page.focused()

    def rows(self):
        return self.page.rows()

    def asks_before_closing(self):
        return self.page.js(LEAVING)

    def press_patch(self):
        self.since = time.time()
        self.keys("alt+p")
        if not self.patched:
            message(self, "Cm3 Tallowmere", "Nation.dat.bak", "before this first patch")

    def handed_back(self, what):
        name = os.path.basename(self.loaded)
        names = [name] if self.patched else [name + ".bak", name]
        handed = self.page.handed_over(self.since, names)
        check(sorted(handed) == sorted(names), f"{what}: the page hands over {names}: {sorted(handed)}")
        check(f"put it in place of the old {name}" in self.page.note(),
              f"{what}: the page says what to do with it: {self.page.note()!r}")
        # The player moves each download out of the downloads folder, to its
        # place or away: Firefox names a download after another of the same
        # name still there Nation(1).dat.
        for moved in handed:
            os.remove(os.path.join(self.page.downloads, moved))
        if name in handed:
            open(self.loaded, "wb").write(handed[name])
        if name + ".bak" in handed and not os.path.exists(self.loaded + ".bak"):
            open(self.loaded + ".bak", "wb").write(handed[name + ".bak"])
        self.patched = True


def processes_naming(text):
    """The processes whose command line holds `text`."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            command = open(f"/proc/{entry}/cmdline", "rb").read()
            state = open(f"/proc/{entry}/stat").read().rsplit(")", 1)[1].split()[0]
        except OSError:
            continue
        if text.encode() in command and state != "Z":
            found.append(int(entry))
    return found


def run_case(case, site, play, engine="chromium", from_disk=False):
    """Runs one case in a browser of its own, of `engine`'s; 77 where none
    can start."""
    missing = browser_missing(engine)
    if missing:
        print(f"SKIPPED: {missing}; the page's end-to-end test in {engine} needs {ENGINES[engine].needs}")
        return SKIPPED
    root = tempfile.mkdtemp(prefix=f"e2e-page-{case}-{engine}-")
    try:
        with Page(site, root, engine, from_disk) as page:
            play(page, root)
    except BrowserMissing as why:
        print(f"SKIPPED: {why}")
        return SKIPPED
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return None
