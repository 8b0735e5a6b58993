// The editor's page: it draws the window as the design gives it (from
// web/Form1.cpp), shows what the commands tell it, and passes the player's
// events to them. It decides nothing itself. The program (nation-editor.js,
// the commands compiled to WebAssembly) is started at the end, given the
// page and the files host.
import { element, withAccessKey } from "./dom.js";
import { createList } from "./list.js";
import { tickMenu } from "./menu.js";
import { message, messageUp } from "./message.js";
import { createFiles } from "./files.js";
import { createOpenDialog } from "./open-dialog.js";
import { acceptDrops } from "./drops.js";
import createEditor from "./nation-editor.js";

const controls = []; // by the design's index, the tab order
const accessKeys = new Map(); // "L" -> the button it presses
let client = null; // the window's client area
let applicationTitle = "";
let listName = "";
let helpName = "";
let busy = false; // a command runs, perhaps waiting for the player
// The page's own words, from the program (web/Form1.cpp), by their keys;
// each "{name}", "{backup}", "{folder}" or "{what}" in them stands for what
// the page puts in. A key with no words is shown as it is: nothing goes
// unsaid.
const words = {};
const said = (key, names = {}) =>
  (words[key] ?? key).replace(/\{(\w+)\}/g, (mark, which) => (which in names ? names[which] : mark));
let ended = false;

const idle = () => !busy && !ended;
// The backup's name is the file library's, handed over with the words.
const files = createFiles((name) => said("backupName", { name }));

const rgb = ([red, green, blue]) => `rgb(${red}, ${green}, ${blue})`;

function fontOf({ faces, points, bold, serif }) {
  const family = faces.map((name) => `"${name}"`).join(", ") + (serif ? ", serif" : ", sans-serif");
  return `${bold ? "bold " : ""}${points}pt ${family}`;
}

// The lines under the window, each read out when it changes: the
// program's status, and under it what a browser's dialog is for while it
// is up. Apart, a dialog's line coming and going leaves the status as it
// was, neither gone nor read out again.
function setStatus(text) {
  document.getElementById("note").textContent = text;
}

function setDialogNote(text) {
  document.getElementById("dialog-note").textContent = text;
}

// Runs one of the program's functions that may wait for the player: one
// at a time, each to its end, dialogs and all.
async function run(name, types = [], args = []) {
  if (busy || ended) return;
  busy = true;
  try {
    await Module.ccall(name, null, types, args, { async: true });
  } finally {
    busy = false;
    files.handOverDownloads();
  }
}

function pressButton(index) {
  controls[index].focus();
  run("web_click", ["number"], [index]);
}

// Alt and the underlined letter press a button, as in the design; also
// with Shift, as Firefox gives a page its access keys.
function onAccessKey(event) {
  if (!event.altKey || event.ctrlKey || event.metaKey || !/^Key[A-Z]$/.test(event.code)) return;
  const button = accessKeys.get(event.code.slice(3));
  if (!button || busy || ended || messageUp()) return;
  event.preventDefault();
  menu.close(false);
  pressButton(Number(button.dataset.index));
}

const menu = tickMenu({ run, idle });
const list = createList({
  idle,
  changedWords: () => said("changed"),
  setTicked: (row, ticked) => Module._web_set_ticked(row, ticked),
  find: (key, current) => Module.ccall("web_key", "number", ["string", "number"], [key, current]),
  openMenu: (x, y, back) => menu.open(x, y, back),
});

// The program stopped, or never started (a browser that can't run it):
// its window goes, so that no control looks usable, and the page says so.
// The words for a start that failed are the page's own (index.html), as
// no program is there to give them.
function stopped(what) {
  ended = true;
  menu.close(false);
  const editor = document.getElementById("editor");
  editor.hidden = true;
  if (editor.hasAttribute("aria-busy")) {
    document.getElementById("not-started").hidden = false;
    console.error(what);
  } else {
    setStatus(said("stopped", { what }));
  }
}

// ---- what the files tell the player ------------------------------------------

// A message's buttons, with their answers: OK, or Yes and No.
const buttons = (question) =>
  question
    ? [
        [said("yes"), 1],
        [said("no"), 2],
      ]
    : [[said("ok"), 0]];

files.setPlayer({
  say: async (key, names, declinable) =>
    (await message(said(key, names), applicationTitle, buttons(false), declinable)) === 0,
  note: (key, names) => setDialogNote(key ? said(key, names) : ""),
  status: (key, names) => setStatus(said(key, names)),
});

addEventListener("keydown", onAccessKey);
// Firefox follows Shift+F10 with a context menu event of its own, once the
// page's menu has the keyboard: its own menu would open over the page's.
addEventListener("contextmenu", (event) => {
  if (event.target.closest && event.target.closest(".menu")) event.preventDefault();
});
// A call of the program's that failed while it starts: the page says so
// rather than stay empty.
addEventListener("unhandledrejection", (event) => {
  if (document.getElementById("editor").hasAttribute("aria-busy")) stopped(event.reason);
});
addEventListener("beforeunload", (event) => {
  const started = !document.getElementById("editor").hasAttribute("aria-busy");
  if (started && !ended && (busy || Module._web_unpatched())) {
    event.preventDefault();
    event.returnValue = "";
  }
});

// A small button beside the list opens its context menu, for a pointer or
// a finger without a right button; the keyboard has Shift+F10 and the
// Menu key in the list, so it is not a Tab stop of its own.
function menuButton(listBox) {
  const button = element(
    "button",
    { type: "button", class: "control menu-button", tabindex: "-1", "aria-haspopup": "menu", "aria-label": said("menuButton") },
    "\u22ee"
  );
  Object.assign(button.style, {
    left: `${parseInt(listBox.style.left, 10) + parseInt(listBox.style.width, 10) + 1}px`,
    top: listBox.style.top,
  });
  button.addEventListener("click", () => {
    const area = button.getBoundingClientRect();
    menu.open(area.left, area.bottom, () => list.focus());
  });
  return button;
}

// A control of the design, drawn as its kind.
function drawn(design) {
  if (design.kind === "button") {
    const label = withAccessKey(design.text);
    const shown = element("button", { type: "button", class: "control" }, ...label.nodes);
    if (label.key) {
      accessKeys.set(label.key, shown);
      shown.setAttribute("aria-keyshortcuts", `Alt+${label.key}`);
    }
    shown.dataset.index = design.index;
    shown.addEventListener("click", () => pressButton(design.index));
    return shown;
  }
  if (design.kind === "list") return list.create(design, listName);
  if (design.kind === "help") {
    const shown = element("textarea", {
      class: "control help",
      readonly: "",
      spellcheck: "false",
      "aria-label": helpName,
    });
    shown.value = design.text;
    return shown;
  }
  return element("div", { class: `control label${design.centred ? " centred" : ""}` }, design.text);
}

// What the program calls to show the window: Module.page.
const page = {
  chosenPath: "",

  word: (key, text) => (words[key] = text),
  status: setStatus,

  window(title, application, width, height, background, text, nationsName, helpBoxName, font) {
    document.title = title;
    applicationTitle = application;
    listName = nationsName;
    helpName = helpBoxName;
    client = document.getElementById("client");
    document.documentElement.style.setProperty("--window-font", fontOf(font));
    document.getElementById("title").textContent = title;
    Object.assign(client.style, {
      width: `${width}px`,
      height: `${height}px`,
      background: rgb(background),
      color: rgb(text),
    });
    acceptDrops({ files, idle, load: (path) => run("web_load_file", ["string"], [path]) });
  },

  control(design) {
    const shown = drawn(design);
    shown.id = design.name;
    Object.assign(shown.style, {
      left: `${design.left}px`,
      top: `${design.top}px`,
      width: `${design.width}px`,
      height: `${design.height}px`,
      font: fontOf(design.font),
    });
    if (design.colour) shown.style.color = rgb(design.colour);
    shown.classList.add(`on-${design.background}`);
    controls[design.index] = shown;
    client.append(shown);
    if (design.kind === "list") client.append(menuButton(shown));
  },

  focus(index) {
    controls[index].focus();
    document.getElementById("editor").removeAttribute("aria-busy");
  },

  // A text box given its text puts the caret after it, where a screen
  // reader starts reading, at the last line: the caret goes to the start.
  helpText(text) {
    const help = controls.find((shown) => shown.tagName === "TEXTAREA");
    help.value = text.replace(/\r\n/g, "\n");
    help.setSelectionRange(0, 0);
  },

  nationsReplaced(names, marks) {
    setStatus("");
    list.replace(names, marks);
  },
  marksChanged: (rows, marks) => list.changed(rows, marks),
  allMarksChanged: (marks) => list.allChanged(marks),
  menuEntry: (depth, label, enabled, id) => menu.entry(depth, label, enabled, id),
  message: (text, title, question) => message(text, title, buttons(question)),
  openDialog: createOpenDialog(files, setDialogNote),

  // A web address in a new tab; a mail address to the browser, which
  // hands it to the mail program, through a frame of its own: the page
  // itself, sent to a mailto: address, would be leaving, and the browser
  // would ask first whether to leave it.
  launch(address) {
    if (address.startsWith("mailto:")) {
      const frame = element("iframe", { src: address, hidden: "", "aria-hidden": "true", tabindex: "-1" });
      document.body.append(frame);
      setTimeout(() => frame.remove(), 60000);
      return;
    }
    const link = element("a", { href: address, target: "_blank", rel: "noopener", hidden: "" });
    document.body.append(link);
    link.click();
    link.remove();
  },

  // A page may close only a tab opened straight on it (the browser
  // refuses any other): the editor ends, and says so, either way.
  end() {
    ended = true;
    menu.close(false);
    document.getElementById("editor").hidden = true;
    setStatus(said("ended"));
    window.close();
  },

  stopped,
};

// The program's module: what it is given, and, once it runs, its exports.
const Module = {
  page,
  nationFiles: files.host,
  onAbort: (what) => page.stopped(what),
  // An exception the program did not catch (one thrown by a call of the
  // page's among them) ends it, as an abort does. Its main's end comes
  // here too, as the exit status, which ends nothing: the page goes on.
  quit: (status, thrown) => {
    if (thrown.name !== "ExitStatus") page.stopped(thrown);
    throw thrown;
  },
  print: () => {},
  printErr: (text) => console.error(text),
};
createEditor(Module).catch((error) => stopped(error));
