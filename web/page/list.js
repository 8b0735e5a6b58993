// The nation list. Only the rows in view are in the page (and the current
// row): with 32,767 rows of check boxes in it, each load and each tick in
// bulk would lay them all out. Each row in the page is its nation's own
// for as long as it is shown, and a redraw sets only what changed: a
// screen reader keeps each row as an object of its own, and an element
// handed to another nation, or each shown name set afresh at each key,
// floods it with changes it reads one by one, seconds behind the keys.
//
// The list is a grid of one column that keeps the keyboard itself, its
// current row's check box its active descendant: a screen reader hands a
// grid every key (Orca and NVDA leave browse mode for it), so that typed
// letters find a nation and Space ticks it; it reads each row as its
// nation's check box, ticked or not, and whether it differs from the
// file, and tells a tick as the box's own change, which it tells of no
// list box's option. A row's box takes a pointer's click only; the
// keyboard never stops in it. What it shows and where it scrolls is worked
// out by the functions below it, apart from the page.
import { element } from "./dom.js";

export const TICKED = 1;
export const CHANGED = 2;

// A list of no more rows than this is drawn whole: scrolled, it changes
// nothing in the page, and a screen reader has nothing to catch up with
// at each jump of type-to-find. A game's file has a few hundred.
export const DRAWN_WHOLE = 1024;

// The rows drawn at a scroll position: those in view, and the current row
// wherever it is; every row of a list of no more than `whole`.
export function rowsToDraw({ count, top, height, rowHeight, current, whole = DRAWN_WHOLE }) {
  const all = count <= whole;
  const first = all ? 0 : Math.max(0, Math.floor(top / rowHeight));
  const last = all ? count : Math.min(count, Math.ceil((top + height) / rowHeight) + 1);
  const wanted = new Set();
  for (let row = first; row < last; ++row) wanted.add(row);
  if (current >= 0 && current < count) wanted.add(current);
  return wanted;
}

// Where the list scrolls to show `row` whole: as little as it takes.
export function scrollToShow({ row, rowHeight, top, height }) {
  const at = row * rowHeight;
  if (at < top) return at;
  if (at + rowHeight > top + height) return at + rowHeight - height;
  return top;
}

// The row a key moves to from `current`, before it is kept in the list;
// undefined for a key that moves nothing.
export function rowForKey(key, { current, count, height, rowHeight }) {
  const page = Math.max(1, Math.floor(height / rowHeight) - 1);
  const moves = {
    ArrowDown: current + 1,
    ArrowUp: current - 1,
    PageDown: current + page,
    PageUp: current - page,
    Home: 0,
    End: count - 1,
  };
  return key in moves ? moves[key] : undefined;
}

export const rowWithin = (row, count) => Math.max(0, Math.min(count - 1, row));

// An attribute set, or removed for null, only where it differs: each set
// is an event for a screen reader, even of the same value.
function setAttribute(target, name, value) {
  if (target.getAttribute(name) === value) return;
  if (value === null) target.removeAttribute(name);
  else target.setAttribute(name, value);
}

// `host` lends the list idle(): whether the player may act; changedWords():
// how a row that differs from the file is described; setTicked(row,
// ticked) and find(key, current), the commands' tick and type-to-find, the
// latter giving the row found or -1; openMenu(x, y, back): the tick menu.
export function createList(host) {
  const list = {
    names: [], // or anything with a length and at(row), as the program gives them
    marks: new Uint8Array(0),
    current: -1,
    rowHeight: 16,
    box: null,
    scroller: null,
    spacer: null,
    shown: new Map(), // row -> its element
    drawing: 0,

    create(design, listName) {
      this.box = element("div", { class: "control list", id: design.name });
      this.scroller = element("div", {
        class: "rows",
        role: "grid",
        "aria-label": listName,
        "aria-colcount": "1",
        tabindex: "0",
      });
      this.spacer = element("div", { class: "spacer", role: "rowgroup" });
      this.scroller.append(this.spacer);
      this.box.append(this.scroller);
      this.scroller.addEventListener("scroll", () => this.drawSoon());
      this.scroller.addEventListener("keydown", (event) => this.onKey(event));
      this.scroller.addEventListener("change", (event) => this.onChange(event));
      // A row clicked becomes the current one, and the keyboard stays with
      // the list rather than in the row's box.
      this.scroller.addEventListener("mousedown", (event) => {
        const row = this.rowOf(event.target);
        if (row < 0) return;
        event.preventDefault();
        this.scroller.focus({ preventScroll: true });
        if (row !== this.current) {
          this.current = row;
          this.draw();
        }
      });
      this.scroller.addEventListener("contextmenu", (event) => {
        event.preventDefault();
        const keyboard = event.button !== 2;
        const at = keyboard ? this.currentPoint() : { x: event.clientX, y: event.clientY };
        host.openMenu(at.x, at.y, () => this.focus());
      });
      return this.box;
    },

    replace(names, marks) {
      // Another file's rows are other nations, drawn apart from the page
      // and put in at once, in a group of their own: a screen reader is
      // told of one change, where
      // hundreds of rows told one by one would flood it, and it would
      // drop what comes next (Orca, the load's status line).
      const hadFocus = this.box.contains(document.activeElement);
      const old = this.spacer;
      this.shown.clear();
      this.spacer = element("div", { class: "spacer", role: "rowgroup" });
      this.spacer.style.height = `${names.length * this.rowHeight}px`;
      this.names = names;
      this.marks = marks;
      this.current = names.length > 0 ? 0 : -1;
      this.scroller.scrollTop = 0;
      this.draw();
      old.replaceWith(this.spacer);
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
      const wanted = rowsToDraw({
        count: this.names.length,
        top: this.scroller.scrollTop,
        height: this.scroller.clientHeight,
        rowHeight: this.rowHeight,
        current: this.current,
      });
      for (const [row, shown] of this.shown) {
        if (!wanted.has(row)) {
          this.shown.delete(row);
          shown.remove();
        }
      }
      for (const row of wanted) {
        let shown = this.shown.get(row);
        if (!shown) {
          shown = this.makeRow(row);
          this.shown.set(row, shown);
          this.spacer.append(shown);
        }
        this.fill(shown, row);
      }
      setAttribute(this.scroller, "aria-rowcount", String(this.names.length));
      const current = this.shown.get(this.current);
      setAttribute(this.scroller, "aria-activedescendant", current ? current.querySelector("input").id : null);
    },

    makeRow(row) {
      const box = element("input", { type: "checkbox", tabindex: "-1", id: `nation-${row}` });
      const name = element("span", { class: "name" }, this.names.at(row));
      const cell = element("div", { role: "gridcell" }, element("label", {}, box, name));
      const shown = element("div", { class: "row", role: "row", "aria-rowindex": String(row + 1) }, cell);
      shown.dataset.row = row;
      shown.style.top = `${row * this.rowHeight}px`;
      return shown;
    },

    fill(shown, row) {
      const marks = this.marks[row];
      const box = shown.querySelector("input");
      const ticked = (marks & TICKED) !== 0;
      const current = row === this.current;
      shown.classList.toggle("changed", (marks & CHANGED) !== 0);
      shown.classList.toggle("current", current);
      if (box.checked !== ticked) box.checked = ticked;
      // What the bold face shows, for a screen reader: described by words
      // apart, as a change of which Firefox tells (of one of
      // aria-description, nothing).
      setAttribute(box, "aria-describedby", marks & CHANGED ? this.changedWords().id : null);
    },

    changedWords() {
      let words = document.getElementById("changed-words");
      if (!words) {
        words = element("span", { id: "changed-words", hidden: "" }, host.changedWords());
        this.box.append(words);
      }
      return words;
    },

    rowOf(target) {
      const shown = target.closest && target.closest(".row");
      return shown ? Number(shown.dataset.row) : -1;
    },

    focus() {
      this.scroller.focus({ preventScroll: true });
    },

    currentPoint() {
      const shown = this.shown.get(this.current);
      const area = (shown || this.scroller).getBoundingClientRect();
      return { x: area.left + 24, y: shown ? area.bottom : area.top };
    },

    goTo(row) {
      const count = this.names.length;
      if (count === 0) return;
      this.current = rowWithin(row, count);
      const top = this.scroller.scrollTop;
      const height = this.scroller.clientHeight;
      const wanted = scrollToShow({ row: this.current, rowHeight: this.rowHeight, top, height });
      if (wanted !== top) this.scroller.scrollTop = wanted;
      this.draw();
      this.focus();
    },

    // A tick clicked: the rows take it, and say what to show.
    onChange(event) {
      const row = this.rowOf(event.target);
      if (row < 0) return;
      if (!host.idle()) {
        event.target.checked = (this.marks[row] & TICKED) !== 0;
        return;
      }
      host.setTicked(row, event.target.checked ? 1 : 0);
      this.current = row;
      this.draw();
    },

    // Typed letters find a nation, and Space ticks, as the commands have it.
    key(key) {
      const row = host.find(key, this.current);
      if (row >= 0) this.goTo(row);
    },

    onKey(event) {
      if (!host.idle() || event.metaKey || event.altKey) return;
      const moved = rowForKey(event.key, {
        current: this.current,
        count: this.names.length,
        height: this.scroller.clientHeight,
        rowHeight: this.rowHeight,
      });
      // With Ctrl, a move goes where it goes without (Ctrl+End to the last
      // nation, as in the Linux and Windows lists); other keys are the
      // browser's (Ctrl+C, Ctrl+F).
      if (moved !== undefined && !event.shiftKey) {
        event.preventDefault();
        this.goTo(moved);
      } else if (event.ctrlKey) {
        return;
      } else if (event.key === "F10" && event.shiftKey) {
        event.preventDefault();
        const at = this.currentPoint();
        host.openMenu(at.x, at.y, () => this.focus());
      } else if (event.key.length === 1) {
        event.preventDefault();
        this.key(event.key);
      }
    },
  };
  return list;
}
