"use strict";
// The editor's page: it draws the window as the design gives it (from
// web/Form1.cpp), shows what the commands tell it, and passes the player's
// events to them. It decides nothing itself.
const page = (() => {
  const TICKED = 1;
  const CHANGED = 2;
  const controls = []; // by the design's index, the tab order
  const accessKeys = new Map(); // "L" -> the button it presses
  let client = null; // the window's client area
  let applicationTitle = "";
  let listName = "";
  let helpName = "";
  let busy = false; // a command runs, perhaps waiting for the player
  let ended = false;
  let messages = 0; // for each message's own ids

  function element(tag, attributes = {}, ...children) {
    const made = document.createElement(tag);
    for (const [name, value] of Object.entries(attributes)) {
      if (value !== null && value !== undefined && value !== false) made.setAttribute(name, value);
    }
    made.append(...children);
    return made;
  }

  const rgb = ([red, green, blue]) => `rgb(${red}, ${green}, ${blue})`;

  // "&Load Nations": the text with its access key underlined, and the key.
  function withAccessKey(text) {
    const at = text.indexOf("&");
    if (at < 0 || at + 1 >= text.length) return { nodes: [text], key: "" };
    return {
      nodes: [text.slice(0, at), element("u", {}, text[at + 1]), text.slice(at + 2)],
      key: text[at + 1].toUpperCase(),
    };
  }

  function fontOf({ faces, points, bold, serif }) {
    const family = faces.map((name) => `"${name}"`).join(", ") + (serif ? ", serif" : ", sans-serif");
    return `${bold ? "bold " : ""}${points}pt ${family}`;
  }

  // A line under the window, read out when it changes.
  function setNote(text) {
    document.getElementById("note").textContent = text;
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
    if (!button || busy || ended || document.querySelector("dialog[open]")) return;
    event.preventDefault();
    menu.close(false);
    pressButton(Number(button.dataset.index));
  }

  // ---- the nation list ----------------------------------------------------

  // Only the rows in view are in the page (and the current row, which
  // keeps the keyboard): with 32,767 rows of check boxes in it, each load
  // and each tick in bulk would lay them all out.
  const list = {
    names: [],
    marks: new Uint8Array(0),
    current: -1,
    rowHeight: 16,
    box: null,
    scroller: null,
    spacer: null,
    shown: new Map(), // row -> its element
    spare: [],
    drawing: 0,

    create(design) {
      this.box = element("div", { class: "control list", id: design.name });
      this.scroller = element("div", {
        class: "rows",
        role: "list",
        "aria-label": listName,
        tabindex: "0",
      });
      this.spacer = element("div", { class: "spacer" });
      this.scroller.append(this.spacer);
      this.box.append(this.scroller);
      this.scroller.addEventListener("scroll", () => this.drawSoon());
      this.scroller.addEventListener("keydown", (event) => this.onKey(event));
      // A check box ticks itself when Space is let go; the list has ticked
      // already when it went down.
      this.scroller.addEventListener("keyup", (event) => {
        if (event.key === " ") event.preventDefault();
      });
      this.scroller.addEventListener("change", (event) => this.onChange(event));
      this.scroller.addEventListener("focusin", (event) => {
        const row = this.rowOf(event.target);
        if (row >= 0 && row !== this.current) {
          this.current = row;
          this.draw();
        }
      });
      this.scroller.addEventListener("contextmenu", (event) => {
        event.preventDefault();
        const keyboard = event.button !== 2;
        const at = keyboard ? this.currentPoint() : { x: event.clientX, y: event.clientY };
        menu.open(at.x, at.y, () => this.focus());
      });
      return this.box;
    },

    replace(names, marks) {
      this.names = names;
      this.marks = marks;
      this.current = names.length > 0 ? 0 : -1;
      this.spacer.style.height = `${names.length * this.rowHeight}px`;
      this.scroller.setAttribute("tabindex", names.length > 0 ? "-1" : "0");
      const hadFocus = this.box.contains(document.activeElement);
      this.scroller.scrollTop = 0;
      this.draw();
      if (hadFocus) this.focus();
    },

    changed(rows, marks) {
      let shown = false;
      rows.forEach((row, i) => {
        this.marks[row] = marks[i];
        shown = shown || this.shown.has(row);
      });
      if (shown) this.draw();
    },

    allChanged(marks) {
      this.marks = marks;
      this.draw();
    },

    drawSoon() {
      if (!this.drawing) this.drawing = requestAnimationFrame(() => this.draw());
    },

    draw() {
      if (this.drawing) cancelAnimationFrame(this.drawing);
      this.drawing = 0;
      const count = this.names.length;
      const top = this.scroller.scrollTop;
      const first = Math.max(0, Math.floor(top / this.rowHeight));
      const last = Math.min(count, Math.ceil((top + this.scroller.clientHeight) / this.rowHeight) + 1);
      const wanted = new Set();
      for (let row = first; row < last; ++row) wanted.add(row);
      if (this.current >= 0 && this.current < count) wanted.add(this.current);
      for (const [row, shown] of this.shown) {
        if (!wanted.has(row)) {
          this.shown.delete(row);
          if (shown.contains(document.activeElement)) this.scroller.focus({ preventScroll: true });
          shown.remove();
          this.spare.push(shown);
        }
      }
      for (const row of wanted) {
        let shown = this.shown.get(row);
        if (!shown) {
          shown = this.spare.pop() || this.makeRow();
          this.shown.set(row, shown);
          this.scroller.append(shown);
        }
        this.fill(shown, row);
      }
    },

    makeRow() {
      const box = element("input", { type: "checkbox", tabindex: "-1" });
      const name = element("span", { class: "name" });
      return element("div", { class: "row", role: "listitem" }, element("label", {}, box, name));
    },

    fill(shown, row) {
      const marks = this.marks[row];
      const box = shown.querySelector("input");
      shown.dataset.row = row;
      shown.style.top = `${row * this.rowHeight}px`;
      shown.setAttribute("aria-setsize", this.names.length);
      shown.setAttribute("aria-posinset", row + 1);
      shown.classList.toggle("changed", (marks & CHANGED) !== 0);
      shown.classList.toggle("current", row === this.current);
      shown.querySelector(".name").textContent = this.names[row];
      box.checked = (marks & TICKED) !== 0;
      box.tabIndex = row === this.current ? 0 : -1;
      // What the bold face shows, for a screen reader.
      if (marks & CHANGED) box.setAttribute("aria-description", "changed, not yet patched");
      else box.removeAttribute("aria-description");
    },

    rowOf(target) {
      const shown = target.closest && target.closest(".row");
      return shown ? Number(shown.dataset.row) : -1;
    },

    focus() {
      const shown = this.shown.get(this.current);
      (shown ? shown.querySelector("input") : this.scroller).focus();
    },

    currentPoint() {
      const shown = this.shown.get(this.current);
      const area = (shown || this.scroller).getBoundingClientRect();
      return { x: area.left + 24, y: shown ? area.bottom : area.top };
    },

    goTo(row) {
      const count = this.names.length;
      if (count === 0) return;
      this.current = Math.max(0, Math.min(count - 1, row));
      const top = this.current * this.rowHeight;
      const height = this.scroller.clientHeight;
      if (top < this.scroller.scrollTop) this.scroller.scrollTop = top;
      else if (top + this.rowHeight > this.scroller.scrollTop + height)
        this.scroller.scrollTop = top + this.rowHeight - height;
      this.draw();
      this.focus();
    },

    // A tick clicked: the rows take it, and say what to show.
    onChange(event) {
      const row = this.rowOf(event.target);
      if (row < 0) return;
      if (busy || ended) {
        event.target.checked = (this.marks[row] & TICKED) !== 0;
        return;
      }
      Module._web_set_ticked(row, event.target.checked ? 1 : 0);
      this.current = row;
      this.draw();
    },

    // Typed letters find a nation, and Space ticks, as the commands have it.
    key(key) {
      const row = Module.ccall("web_key", "number", ["string", "number"], [key, this.current]);
      if (row >= 0) this.goTo(row);
    },

    onKey(event) {
      if (busy || ended || event.ctrlKey || event.metaKey || event.altKey) return;
      const page = Math.max(1, Math.floor(this.scroller.clientHeight / this.rowHeight) - 1);
      const moves = {
        ArrowDown: this.current + 1,
        ArrowUp: this.current - 1,
        PageDown: this.current + page,
        PageUp: this.current - page,
        Home: 0,
        End: this.names.length - 1,
      };
      if (event.key in moves && !event.shiftKey) {
        event.preventDefault();
        this.goTo(moves[event.key]);
      } else if (event.key === "F10" && event.shiftKey) {
        event.preventDefault();
        const at = this.currentPoint();
        menu.open(at.x, at.y, () => this.focus());
      } else if (event.key.length === 1) {
        event.preventDefault();
        this.key(event.key);
      }
    },
  };

  const menu = tickMenu({ element, withAccessKey, run, idle: () => !busy && !ended });

  // ---- messages --------------------------------------------------------------

  // A message as the windows show it: modal, its first button the default,
  // left by Escape only where it asks nothing; then the keyboard is back
  // where it was.
  function message(text, title, question) {
    return new Promise((resolve) => {
      const back = document.activeElement;
      const id = `message-${++messages}`;
      const dialog = element(
        "dialog",
        { class: "message", role: "alertdialog", "aria-labelledby": `${id}-title`, "aria-describedby": `${id}-text` },
        element("h2", { class: "caption", id: `${id}-title` }, title),
        element("p", { class: "text", id: `${id}-text` }, text.replace(/\r\n/g, "\n"))
      );
      const buttons = element("div", { class: "buttons" });
      const choices = question
        ? [
            ["&Yes", 1],
            ["&No", 2],
          ]
        : [["OK", 0]];
      let answered = false;
      const answer = (value) => {
        answered = true;
        dialog.close();
        dialog.remove();
        if (back && back.isConnected) back.focus();
        resolve(value);
      };
      for (const [label, value] of choices) {
        const shown = withAccessKey(label);
        const button = element("button", { type: "button", "data-key": shown.key }, ...shown.nodes);
        button.addEventListener("click", () => answer(value));
        buttons.append(button);
      }
      dialog.append(buttons);
      dialog.addEventListener("keydown", (event) => {
        event.stopPropagation();
        if (event.key === "Escape") {
          event.preventDefault();
          if (!question) answer(0);
          return;
        }
        if (event.ctrlKey || event.metaKey || event.key.length !== 1) return;
        const button = buttons.querySelector(`[data-key="${event.key.toUpperCase()}"]`);
        if (button) {
          event.preventDefault();
          button.click();
        }
      });
      dialog.addEventListener("cancel", (event) => {
        event.preventDefault();
        if (!question) answer(0);
      });
      // A browser may close a dialog that refused Escape twice: a question
      // comes back until it is answered.
      dialog.addEventListener("close", () => {
        if (!answered) dialog.showModal();
      });
      document.body.append(dialog);
      dialog.showModal();
      const first = buttons.querySelector("button");
      first.focus();
      // A message put up while the window is not active, as the browser's
      // own dialog hands it back, is said by no screen reader, and Orca
      // says only the window's name as it comes back: the keyboard goes to
      // the message afresh then, to the dialog, whose words Orca says, and
      // a moment later to its button (Chromium tells of two moves in one
      // frame as one).
      if (!document.hasFocus()) {
        addEventListener(
          "focus",
          () => {
            if (answered) return;
            dialog.tabIndex = -1;
            dialog.focus();
            setTimeout(() => answered || first.focus(), 150);
          },
          { once: true }
        );
      }
    });
  }

  // ---- the open-file dialog ------------------------------------------------

  // The browser's own dialog shows no title of the page's: the line under
  // the window says what it is for while it is up.
  async function openDialog(title, description, pattern, folder) {
    const back = document.activeElement;
    const extension = pattern.slice(pattern.lastIndexOf("."));
    setNote(title);
    try {
      if (typeof window.showOpenFilePicker === "function") {
        const options = { id: "nation-file", types: [{ description, accept: { "application/octet-stream": [extension] } }] };
        const start = files.handleIn(folder);
        if (start) options.startIn = start;
        try {
          const [handle] = await window.showOpenFilePicker(options);
          return files.addHandle(handle);
        } catch (error) {
          return "";
        }
      }
      return await chooseWithInput(extension);
    } finally {
      setNote("");
      if (back && back.isConnected) back.focus();
    }
  }

  function chooseWithInput(extension) {
    return new Promise((resolve) => {
      const input = document.getElementById("file-input");
      input.accept = extension;
      input.value = "";
      let settled = false;
      const done = (path) => {
        if (settled) return;
        settled = true;
        input.onchange = null;
        input.oncancel = null;
        resolve(path);
      };
      input.onchange = () => done(input.files.length > 0 ? files.addFile(input.files[0]) : "");
      input.oncancel = () => done("");
      // Where a browser tells no cancel, the page has the keyboard again
      // once the dialog has gone.
      if (!("oncancel" in input))
        window.addEventListener("focus", () => setTimeout(() => done(""), 1000), { once: true });
      input.click();
    });
  }

  // ---- a file dropped on the page ----------------------------------------------

  function acceptDrops() {
    document.addEventListener("dragover", (event) => {
      if (event.dataTransfer && [...event.dataTransfer.types].includes("Files")) {
        event.preventDefault();
        event.dataTransfer.dropEffect = busy || ended ? "none" : "copy";
      }
    });
    document.addEventListener("drop", async (event) => {
      const items = event.dataTransfer ? [...event.dataTransfer.items].filter((item) => item.kind === "file") : [];
      event.preventDefault();
      if (items.length !== 1 || busy || ended) return;
      // Both asked for at once: the drop's items are gone after this event.
      const handle = items[0].getAsFileSystemHandle ? items[0].getAsFileSystemHandle() : null;
      const file = items[0].getAsFile();
      const writable = handle ? await handle.catch(() => null) : null;
      const path = writable && writable.kind === "file" ? files.addHandle(writable) : file ? files.addFile(file) : "";
      if (path) run("web_load_file", ["string"], [path]);
    });
  }

  // A browser loads the page's WebAssembly only from a web server.
  function stopped(what) {
    ended = true;
    setNote(
      location.protocol === "file:"
        ? "The editor runs only from a web server, not from a file on the disk: see its README.txt."
        : `The editor stopped (${what}). Reload the page to start again.`
    );
  }

  // ---- what the files tell the player ------------------------------------------

  files.setPlayer({
    say: (text) => message(text, applicationTitle, false),
    note: setNote,
    backupHandedOver: (backup, name) =>
      message(
        `This browser can't change ${name} where it is: it hands you the files as downloads instead.\n\n` +
          `${backup}, downloading now, is your ${name} as it was before this first patch: keep it.\n\n` +
          `Then the patched ${name} follows.`,
        applicationTitle,
        false
      ),
    fileHandedOver: (name) =>
      setNote(
        `The patched ${name} is among your downloads. To use it, close the game, then put it in place of ` +
          `the old ${name} in the game's Data folder.`
      ),
  });

  addEventListener("keydown", onAccessKey);
  // The WebAssembly that never came: the page says so rather than stay
  // empty. Opened from the disk, no error of the program's reaches the page
  // (each file is an origin of its own), so it says so at once.
  addEventListener("unhandledrejection", (event) => {
    if (document.getElementById("editor").hasAttribute("aria-busy")) stopped(event.reason);
  });
  if (location.protocol === "file:") stopped("");
  addEventListener("beforeunload", (event) => {
    const started = !document.getElementById("editor").hasAttribute("aria-busy");
    if (started && !ended && (busy || Module._web_unpatched())) {
      event.preventDefault();
      event.returnValue = "";
    }
  });

  return {
    chosenPath: "",

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
      acceptDrops();
    },

    control(design) {
      let shown;
      if (design.kind === "button") {
        const label = withAccessKey(design.text);
        shown = element("button", { type: "button", class: "control" }, ...label.nodes);
        if (label.key) {
          accessKeys.set(label.key, shown);
          shown.setAttribute("aria-keyshortcuts", `Alt+${label.key}`);
        }
        shown.dataset.index = design.index;
        shown.addEventListener("click", () => pressButton(design.index));
      } else if (design.kind === "list") {
        shown = list.create(design);
      } else if (design.kind === "help") {
        shown = element("textarea", {
          class: "control help",
          readonly: "",
          spellcheck: "false",
          "aria-label": helpName,
        });
        shown.value = design.text;
      } else {
        shown = element("div", { class: `control label${design.centred ? " centred" : ""}` }, design.text);
      }
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

    helpText(text) {
      controls.find((shown) => shown.tagName === "TEXTAREA").value = text.replace(/\r\n/g, "\n");
    },

    nationsReplaced(names, marks) {
      setNote("");
      list.replace(names, marks);
    },
    marksChanged: (rows, marks) => list.changed(rows, marks),
    allMarksChanged: (marks) => list.allChanged(marks),
    menuEntry: (depth, label, enabled, id) => menu.entry(depth, label, enabled, id),
    message,
    openDialog,

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
      setNote("The editor has ended. Close this tab, or reload the page to start again.");
      window.close();
    },

    stopped,
  };

  // A small button beside the list opens its context menu, for a pointer or
  // a finger without a right button; the keyboard has Shift+F10 and the
  // Menu key in the list, so it is not a Tab stop of its own.
  function menuButton(listBox) {
    const button = element(
      "button",
      { type: "button", class: "control menu-button", tabindex: "-1", "aria-haspopup": "menu", "aria-label": "Ticks" },
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
})();

var Module = {
  page,
  nationFiles: files.host,
  onAbort: (what) => page.stopped(what),
  print: () => {},
  printErr: (text) => console.error(text),
};
