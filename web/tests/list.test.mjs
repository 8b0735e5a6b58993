// The nation list's arithmetic (web/page/list.js), apart from the page:
// which rows are drawn at a scroll position, the current row among them
// wherever it is; how far the list scrolls to show a row; where each key
// moves the current row. Rows are 16 pixels high, as the page draws them.
import assert from "node:assert/strict";
import { test } from "node:test";

import { rowForKey, rowWithin, rowsToDraw, scrollToShow } from "../page/list.js";

const ROW = 16;
const range = (first, last) => Array.from({ length: last - first }, (_, i) => first + i);

// count rows, scrolled `top` pixels, `height` pixels in view, current row.
const DRAWN = [
  { count: 0, top: 0, height: 256, current: -1, rows: [] },
  { count: 3, top: 0, height: 256, current: 0, rows: [0, 1, 2] },
  // In view, and one more for the row half shown at the bottom.
  { count: 100, top: 0, height: 256, current: 0, rows: range(0, 17) },
  { count: 100, top: 160, height: 256, current: 12, rows: range(10, 27) },
  // A row partly scrolled out at the top is still drawn.
  { count: 100, top: 168, height: 256, current: 12, rows: range(10, 28) },
  // The current row out of view is drawn too, where it is.
  { count: 100, top: 160, height: 256, current: 90, rows: [...range(10, 27), 90] },
  { count: 100, top: 800, height: 256, current: 3, rows: [...range(50, 67), 3] },
  // Scrolled to the end: no row past the last.
  { count: 100, top: 1344, height: 256, current: 99, rows: range(84, 100) },
  // A list of 32,767 nations draws as few.
  { count: 32767, top: 32766 * ROW - 240, height: 256, current: 32766, rows: range(32751, 32767) },
  // No current row: none added.
  { count: 100, top: 0, height: 256, current: -1, rows: range(0, 17) },
  // A current row past the end (the list just emptied) is not drawn.
  { count: 2, top: 0, height: 256, current: 5, rows: [0, 1] },
  // A list not laid out yet (no height) draws its first row.
  { count: 100, top: 0, height: 0, current: 0, rows: [0] },
  // A list of no more rows than `whole` is drawn whole, wherever it is
  // scrolled; one row more, only what is in view.
  { count: 213, whole: 213, top: 800, height: 256, current: 3, rows: range(0, 213) },
  { count: 214, whole: 213, top: 800, height: 256, current: 3, rows: [...range(50, 67), 3] },
  // A game's file, drawn whole as the page draws it.
  { count: 213, whole: undefined, top: 0, height: 256, current: 0, rows: range(0, 213) },
];

test("the rows drawn at a scroll position, the current row kept", () => {
  for (const row of DRAWN) {
    const drawn = [...rowsToDraw({ whole: 0, ...row, rowHeight: ROW })].sort((a, b) => a - b);
    assert.deepEqual(drawn, [...row.rows].sort((a, b) => a - b), JSON.stringify({ ...row, rows: undefined }));
  }
});

// Showing `row` whole from a scroll position `top`, `height` in view.
const SCROLLS = [
  { row: 5, top: 0, height: 256, to: 0 }, // in view: no scroll
  { row: 15, top: 0, height: 256, to: 0 }, // the last row wholly in view
  { row: 16, top: 0, height: 256, to: 16 }, // just below: one row down
  { row: 40, top: 0, height: 256, to: 40 * ROW + ROW - 256 }, // far below: at the bottom
  { row: 9, top: 160, height: 256, to: 144 }, // just above: one row up
  { row: 0, top: 800, height: 256, to: 0 }, // far above: at the top
  { row: 10, top: 168, height: 256, to: 160 }, // half scrolled out at the top
  { row: 25, top: 168, height: 256, to: 168 }, // wholly shown at the bottom
  { row: 26, top: 168, height: 256, to: 176 }, // half shown at the bottom
];

test("the list scrolls as little as it takes to show a row", () => {
  for (const row of SCROLLS) {
    assert.equal(scrollToShow({ ...row, rowHeight: ROW }), row.to, JSON.stringify(row));
  }
});

// Where a key takes the current row in a list of `count` rows showing 16:
// a page is one row fewer than the rows in view, and the row is kept in
// the list.
const KEYS = [
  { key: "ArrowDown", current: 0, count: 100, to: 1 },
  { key: "ArrowDown", current: 99, count: 100, to: 99 },
  { key: "ArrowUp", current: 5, count: 100, to: 4 },
  { key: "ArrowUp", current: 0, count: 100, to: 0 },
  { key: "PageDown", current: 0, count: 100, to: 15 },
  { key: "PageDown", current: 90, count: 100, to: 99 },
  { key: "PageUp", current: 50, count: 100, to: 35 },
  { key: "PageUp", current: 3, count: 100, to: 0 },
  { key: "Home", current: 50, count: 100, to: 0 },
  { key: "End", current: 0, count: 100, to: 99 },
  { key: "End", current: 0, count: 1, to: 0 },
  // With no current row, a move down starts at the first.
  { key: "ArrowDown", current: -1, count: 100, to: 0 },
  // Keys that move nothing: the commands' own (type-to-find, Space), and
  // those the list leaves to the browser.
  { key: "a", current: 3, count: 100, to: undefined },
  { key: " ", current: 3, count: 100, to: undefined },
  { key: "Tab", current: 3, count: 100, to: undefined },
];

test("each key moves the current row within the list", () => {
  for (const row of KEYS) {
    const moved = rowForKey(row.key, { current: row.current, count: row.count, height: 256, rowHeight: ROW });
    const to = moved === undefined ? undefined : rowWithin(moved, row.count);
    assert.equal(to, row.to, JSON.stringify(row));
  }
});

test("a list too short for a page moves a row a page", () => {
  for (const height of [0, 16, 24, 32]) {
    assert.equal(rowForKey("PageDown", { current: 0, count: 100, height, rowHeight: ROW }), 1, `height ${height}`);
  }
});
