"""The browser engines the page's tests drive, each behind the same few
calls: start and quit, open an address, run a script in the page (and wait
for its promise), press keys as a player's, give the page's file input a
file, and keep what the page downloads in a folder of the test's own.

- Chromium: Debian's headless Chromium through ChromeDriver (Selenium), with
  the DevTools protocol for what only Chromium has.
- Firefox: Debian's Firefox ESR, headless, through the WebDriver BiDi it
  serves itself on a WebSocket: no geckodriver, whose Debian package there
  is none of. The client below is all the tests need of BiDi.
- WebKit: Debian's WebKitGTK through its WebKitWebDriver (Selenium), its
  MiniBrowser on an X server of the test's own.

Every process an engine starts carries the test's mark in its environment,
so that the test can tell that none outlives it."""
import json
import os
import shutil
import subprocess
import time

from e2e_scenario import stop

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
FIREFOX = "/usr/bin/firefox-esr"
WEBKIT_DRIVER = "/usr/bin/WebKitWebDriver"
MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"
# The mark of the processes a test starts, in their environment.
MARK = "NATION_E2E_BROWSER"


class BrowserMissing(Exception):
    pass


class Keys:
    """The keys as WebDriver names them, the same in its classic protocol and
    in BiDi."""
    TAB, ENTER, SHIFT, CONTROL, ALT = "\ue004", "\ue007", "\ue008", "\ue009", "\ue00a"
    ESCAPE, SPACE, END, HOME = "\ue00c", "\ue00d", "\ue010", "\ue011"
    ARROW_LEFT, ARROW_RIGHT, ARROW_DOWN = "\ue012", "\ue014", "\ue015"
    F10 = "\ue03a"


def presses(*keys):
    """Each key pressed and let go in turn, as WebDriver's actions."""
    return [{"type": kind, "value": key} for key in keys for kind in ("keyDown", "keyUp")]


def chord(modifier, key):
    """`key` pressed while `modifier` is held."""
    return [{"type": "keyDown", "value": modifier}, *presses(key), {"type": "keyUp", "value": modifier}]


def marked(mark):
    """The processes whose environment carries `mark`, but this one."""
    found = []
    wanted = f"{MARK}={mark}".encode()
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            environment = open(f"/proc/{entry}/environ", "rb").read().split(b"\0")
            state = open(f"/proc/{entry}/stat").read().rsplit(")", 1)[1].split()[0]
        except OSError:
            continue
        if wanted in environment and state != "Z":
            found.append(int(entry))
    return found


def absent(*tools):
    """Why one of `tools` can't be run here, or None."""
    for tool in tools:
        if not os.access(tool, os.X_OK):
            return f"{tool} is not installed"
    return None


def module_absent(name, package):
    try:
        __import__(name)
    except ImportError:
        return f"{package} is not installed"
    return None


class Engine:
    """What the page's tests ask of a browser. `root`: the test's folder,
    where the engine keeps its profile; `downloads`: where what the page
    downloads lands; `env`: the environment of what it starts, marked."""

    name = ""
    needs = ""

    def __init__(self, root, profile, downloads, env):
        self.root, self.profile, self.downloads, self.env = root, profile, downloads, env

    @classmethod
    def missing(cls):
        return None

    def version(self):
        return ""

    def closed(self):
        """The page has closed its tab."""
        return False

    def add_init_script(self, source):
        """`source` runs in each document the page opens, before its own
        scripts."""
        raise NotImplementedError(f"{self.name}: scripts before the page's own")

    def intercept_file_chooser(self):
        """The browser's open-file dialog stood in for: a click on a file
        input opens none, and the test gives the input its file."""
        self.js("""if (window.fileChooser) return;
            window.fileChooser = {opened: 0};
            const click = HTMLElement.prototype.click;
            HTMLElement.prototype.click = function () {
                if (this instanceof HTMLInputElement && this.type === 'file') ++window.fileChooser.opened;
                else click.call(this);
            };""")

    def cdp(self, command, **parameters):
        raise NotImplementedError(f"{self.name} has no DevTools protocol: {command}")


class SeleniumEngine(Engine):
    """An engine driven through a WebDriver of the classic protocol."""

    driver = None
    service = None

    def quit(self):
        if self.driver is not None:
            try:
                self.driver.quit()
            except Exception:
                pass
        if self.service is not None and self.service.process is not None:
            stop(self.service.process)

    def version(self):
        return self.driver.capabilities.get("browserVersion", "")

    def get(self, address):
        self.driver.get(address)

    def closed(self):
        # WebKit lets the page close its window, and its driver goes with it.
        try:
            return not self.driver.window_handles
        except Exception:
            return True

    def js(self, script, *arguments):
        return self.driver.execute_script(script, *arguments)

    def js_async(self, script, *arguments):
        return self.driver.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            f"(async (...args) => {{ {script} }})(...Array.from(arguments).slice(0, -1))"
            ".then(done, (error) => done({failed: String(error)}));", *arguments)

    def perform(self, actions):
        self.driver.execute("actions", {"actions": [{"type": "key", "id": "keyboard", "actions": actions}]})

    def set_file(self, element_id, path):
        self.driver.find_element("id", element_id).send_keys(path)

    def started(self, make, service):
        """The WebDriver session `make()` opens, or BrowserMissing."""
        from selenium.webdriver.remote.remote_connection import RemoteConnection
        # A browser that never comes up leaves its driver waiting: a hang
        # guard, well past a busy machine's slowest answer.
        RemoteConnection.set_timeout(120)
        self.service = service
        try:
            self.driver = make()
        except Exception as error:
            self.quit()
            raise BrowserMissing(f"{self.name} does not start here: {getattr(error, 'msg', None) or error}") from error
        self.driver.set_script_timeout(30)


class Chromium(SeleniumEngine):
    name = "chromium"
    needs = "Chromium, ChromeDriver and Selenium"

    @classmethod
    def missing(cls):
        return absent(CHROMIUM, CHROMEDRIVER) or module_absent("selenium", "python3-selenium")

    def start(self):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        # Headless, as root, and without reaching for hosts this network
        # refuses.
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                         "--disable-background-networking", "--disable-component-update", "--disable-sync",
                         "--window-size=1024,768", f"--user-data-dir={self.profile}"):
            options.add_argument(argument)
        service = Service(CHROMEDRIVER, log_path=os.devnull, env=self.env)
        self.started(lambda: webdriver.Chrome(service=service, options=options), service)
        self.cdp("Browser.setDownloadBehavior", behavior="allow", downloadPath=self.downloads)

    def cdp(self, command, **parameters):
        return self.driver.execute_cdp_cmd(command, parameters)

    def add_init_script(self, source):
        self.cdp("Page.addScriptToEvaluateOnNewDocument", source=source)

    def intercept_file_chooser(self):
        self.cdp("Page.setInterceptFileChooserDialog", enabled=True)


class BidiError(Exception):
    pass


class Bidi:
    """A WebDriver BiDi session over a WebSocket: commands, their answers,
    and the events that come between, kept for those who ask."""

    def __init__(self, address, timeout=60):
        import websocket
        # Firefox turns away a WebSocket that says where it comes from: only
        # a program, not a page, may drive it.
        self.socket = websocket.create_connection(address, timeout=timeout, suppress_origin=True)
        self.last = 0
        self.events = []

    def call(self, method, **parameters):
        self.last += 1
        self.socket.send(json.dumps({"id": self.last, "method": method, "params": parameters}))
        while True:
            answer = json.loads(self.socket.recv())
            if answer.get("id") == self.last:
                break
            if answer.get("type") == "event":
                self.events.append(answer)
        if answer.get("type") == "error":
            raise BidiError(f"{method}: {answer.get('error')}: {answer.get('message')}")
        return answer["result"]

    def close(self):
        try:
            self.socket.close()
        except Exception:
            pass


def to_bidi(value):
    """A Python value as BiDi's LocalValue."""
    if value is None:
        return {"type": "null"}
    if isinstance(value, bool):
        return {"type": "boolean", "value": value}
    if isinstance(value, (int, float)):
        return {"type": "number", "value": value}
    if isinstance(value, str):
        return {"type": "string", "value": value}
    if isinstance(value, (list, tuple)):
        return {"type": "array", "value": [to_bidi(item) for item in value]}
    return {"type": "object", "value": [[str(key), to_bidi(item)] for key, item in value.items()]}


def from_bidi(remote):
    """BiDi's RemoteValue as the Python value Selenium would give: a node
    stays BiDi's, for commands that take an element."""
    kind, value = remote["type"], remote.get("value")
    if kind in ("undefined", "null"):
        return None
    if kind == "number":
        return {"NaN": float("nan"), "-0": 0, "Infinity": float("inf"), "-Infinity": float("-inf")}.get(value, value)
    if kind in ("array", "set"):
        return [from_bidi(item) for item in value]
    if kind in ("object", "map"):
        return {key if isinstance(key, str) else from_bidi(key): from_bidi(item) for key, item in value}
    if kind == "node":
        return remote
    return value


# Downloads saved in the test's folder without a question, the download
# panel kept shut (it would take the keyboard from the page), and nothing
# fetched from hosts this network refuses; BiDi's own recommended settings
# do the rest.
FIREFOX_PREFS = {
    "browser.download.folderList": 2,
    "browser.download.useDownloadDir": True,
    "browser.download.always_ask_before_handling_new_types": False,
    "browser.helperApps.neverAsk.saveToDisk": "application/octet-stream",
    "browser.download.start_downloads_in_tmp_dir": False,
    "browser.download.alwaysOpenPanel": False,
    "browser.download.panel.shown": True,
    "browser.download.manager.addToRecentDocs": False,
    "browser.shell.checkDefaultBrowser": False,
    "datareporting.policy.dataSubmissionEnabled": False,
    "toolkit.telemetry.reportingpolicy.firstRun": False,
    "app.update.disabledForTesting": True,
    "network.captive-portal-service.enabled": False,
    "network.connectivity-service.enabled": False,
    "browser.safebrowsing.update.enabled": False,
    "extensions.update.enabled": False,
}


class Firefox(Engine):
    name = "firefox"
    needs = "Firefox ESR and python3-websocket"

    @classmethod
    def missing(cls):
        return absent(FIREFOX) or module_absent("websocket", "python3-websocket")

    process = bidi = context = None

    def start(self):
        prefs = dict(FIREFOX_PREFS, **{"browser.download.dir": self.downloads})
        with open(os.path.join(self.profile, "user.js"), "w") as out:
            out.writelines(f"user_pref({json.dumps(name)}, {json.dumps(value)});\n" for name, value in prefs.items())
        # Port 0: Firefox picks a free one and writes it in the profile.
        told = os.path.join(self.profile, "WebDriverBiDiServer.json")
        self.process = subprocess.Popen(
            [FIREFOX, "--headless", "--no-remote", "--remote-debugging-port=0", "--profile", self.profile,
             "about:blank"], env=dict(self.env, MOZ_CRASHREPORTER_DISABLE="1"),
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.root, "firefox.log"), "w"))
        deadline = time.monotonic() + 60
        while not os.path.exists(told) and self.process.poll() is None and time.monotonic() < deadline:
            time.sleep(0.1)
        try:
            time.sleep(0.2)
            port = json.load(open(told))["ws_port"]
            self.bidi = Bidi(f"ws://127.0.0.1:{port}/session")
            self.session = self.bidi.call("session.new", capabilities={"alwaysMatch": {
                "unhandledPromptBehavior": {"default": "ignore"}}})
            # The first tab's blank page leaves the keyboard in the address
            # bar, where a key pressed on a button does not press it: a tab
            # of the test's own gives its page the keyboard. The first one
            # stays, so that Firefox goes on when the page closes its tab.
            self.context = self.bidi.call("browsingContext.create", type="tab")["context"]
            self.bidi.call("browsingContext.setViewport", context=self.context,
                           viewport={"width": 1024, "height": 768})
        except (OSError, ValueError, KeyError, BidiError) as error:
            self.quit()
            said = open(os.path.join(self.root, "firefox.log"), errors="replace").read().strip()
            raise BrowserMissing(f"Firefox does not start here: {error}; it said: {said[-2000:]}") from error

    def quit(self):
        if self.bidi is not None:
            try:
                self.bidi.call("browser.close")
            except Exception:
                pass
            self.bidi.close()
        if self.process is not None:
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                stop(self.process)

    def version(self):
        return self.session["capabilities"]["browserVersion"]

    def closed(self):
        """The page has closed its tab, as it does as the editor ends where
        the browser lets it (a tab of one page)."""
        return self.context not in [tab["context"] for tab in self.bidi.call("browsingContext.getTree")["contexts"]]

    def get(self, address):
        if self.closed():
            self.context = self.bidi.call("browsingContext.create", type="tab")["context"]
        self.bidi.call("browsingContext.navigate", context=self.context, url=address, wait="complete")

    def call(self, declaration, arguments, awaits):
        answer = self.bidi.call("script.callFunction", functionDeclaration=declaration, awaitPromise=awaits,
                                target={"context": self.context}, arguments=[to_bidi(a) for a in arguments],
                                resultOwnership="none")
        if answer["type"] == "exception":
            raise BidiError(f"the script failed: {answer['exceptionDetails']['text']}")
        return from_bidi(answer["result"])

    def js(self, script, *arguments):
        return self.call(f"function () {{ {script}\n}}", arguments, False)

    def js_async(self, script, *arguments):
        return self.call(f"async function (...args) {{ try {{ {script}\n}} catch (error) "
                         f"{{ return {{failed: String(error)}}; }} }}", arguments, True)

    def perform(self, actions):
        try:
            self.bidi.call("input.performActions", context=self.context,
                           actions=[{"type": "key", "id": "keyboard", "actions": actions}])
        except BidiError:
            # A key that ends the editor closes the tab before it is let go.
            if not self.closed():
                raise

    def set_file(self, element_id, path):
        element = self.js("return document.getElementById(arguments[0])", element_id)
        self.bidi.call("input.setFiles", context=self.context, element={"sharedId": element["sharedId"]},
                       files=[path])

    def add_init_script(self, source):
        self.bidi.call("script.addPreloadScript", functionDeclaration=f"() => {{ {source}\n}}")


class WebKit(SeleniumEngine):
    name = "webkit"
    needs = "WebKitGTK's WebKitWebDriver, Selenium and Xvfb"

    @classmethod
    def missing(cls):
        return (absent(WEBKIT_DRIVER, MINIBROWSER) or module_absent("selenium", "python3-selenium")
                or (None if shutil.which("Xvfb") else "Xvfb is not installed"))

    xvfb = None

    def start(self):
        from e2e_desktop import start_xvfb
        from selenium import webdriver
        from selenium.webdriver.webkitgtk.service import Service
        # MiniBrowser has no headless mode: it draws on a display of the
        # test's own.
        self.xvfb, display = start_xvfb(os.path.join(self.root, "xvfb.log"))
        if self.xvfb is None:
            raise BrowserMissing("Xvfb does not start here")
        options = webdriver.WebKitGTKOptions()
        options.binary_location = MINIBROWSER
        options.add_argument("--automation")
        # MiniBrowser saves a download in the desktop's download folder,
        # which a home of the test's own names.
        config = os.path.join(self.profile, "config")
        os.makedirs(config)
        with open(os.path.join(config, "user-dirs.dirs"), "w") as out:
            out.write(f'XDG_DOWNLOAD_DIR="{self.downloads}"\n')
        env = dict(self.env, DISPLAY=display, HOME=self.profile, XDG_CONFIG_HOME=config,
                   XDG_DATA_HOME=os.path.join(self.profile, "data"), XDG_CACHE_HOME=os.path.join(self.profile, "cache"))
        # Selenium's WebKitGTK class starts a driver of its own, which takes
        # no environment: the test's driver is reached as a remote one.
        service = Service(WEBKIT_DRIVER, log_path=os.path.join(self.root, "webkit.log"), env=env)

        def make():
            service.start()
            return webdriver.Remote(command_executor=service.service_url, options=options)
        self.started(make, service)
        # The driver runs here: a file is given by its path, not uploaded.
        from selenium.webdriver.remote.file_detector import UselessFileDetector
        self.driver.file_detector = UselessFileDetector()

    def quit(self):
        super().quit()
        if self.xvfb is not None:
            stop(self.xvfb)


ENGINES = {engine.name: engine for engine in (Chromium, Firefox, WebKit)}
