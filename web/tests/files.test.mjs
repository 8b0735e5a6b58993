// The page's files host (web/page/files.js) on stand-ins of the browser's
// file handles, called as the file library calls it: open and read, a
// patch stored and synced in place or handed over as a download, the
// backup made under a name of its own and renamed in its folder, what has a
// name, and the browser's leave and folders as the library asks for them
// (what it asks, and when, is the library's, tested there). Each row of a
// table is a case of its own, on a host and files of its own. The host's
// failures are codes and particulars, which the file library words.
import assert from "node:assert/strict";
import { test } from "node:test";

import { FakeFile, FakeFolder, browser } from "./fake-browser.mjs";
import { createFiles } from "../page/files.js";

const ORIGINAL = Uint8Array.from({ length: 64 }, (_, i) => (i * 7) % 251);
const OLD_BACKUP = Uint8Array.from([9, 9, 9]);
// The membership bytes a patch changes, and their new values.
const OFFSETS = [3, 40];
const VALUES = [2, 1];
const PATCHED = ORIGINAL.map((byte, i) => (OFFSETS.includes(i) ? VALUES[OFFSETS.indexOf(i)] : byte));

// A host given Nation.dat of the folder Data, by its handle or (by: "file")
// as its bytes alone; `beside`: what else Data holds.
function given({ by = "handle", beside = {}, permission = "granted", answer, refuses = null } = {}) {
  browser.reset();
  const files = createFiles((name) => `${name}.bak`);
  const folder = new FakeFolder("Data", { "Nation.dat": ORIGINAL, ...beside });
  const nation = folder.file("Nation.dat");
  Object.assign(nation, { permission, answer, refuses });
  const path = by === "handle" ? files.addHandle(nation) : files.addFile(new File([ORIGINAL], "Nation.dat"));
  return { files, host: files.host, folder, nation, path };
}

// The folder the dialog gives taken for the backup of the place /1.
async function folderTaken(host, chosen) {
  browser.folderChosen = chosen;
  assert.equal(await host.pickFolder("/1"), chosen.name);
  await host.takeOfferedFolder("/1", true);
}

async function readWhole(host, path) {
  const file = await host.open(path);
  const bytes = Uint8Array.from(await host.read(file, 0, await host.size(file)));
  await host.close(file);
  return bytes;
}

// A patch as the library makes it: the file read whole, then the changed
// bytes stored and synced, and read back through the same open file, which
// it gives, and the name sync hands the file over by; `meanwhile` runs
// between the read and the store.
async function patch(host, path, meanwhile = async () => {}, [offsets, values] = [OFFSETS, VALUES]) {
  const file = await host.open(path);
  const length = await host.size(file);
  await host.read(file, 0, length);
  await meanwhile();
  try {
    await host.store(file, length, offsets, values);
    const handedOver = await host.sync(file);
    return [Uint8Array.from(await host.read(file, 0, await host.size(file))), handedOver];
  } finally {
    await host.close(file);
  }
}

// The backup as the library makes it: under a name of its own first, then
// given the backup's name unless something has it; `meanwhile` runs before
// the rename.
async function makeBackup(host, path, meanwhile = async () => {}) {
  const backup = `${path}.bak`;
  const holder = await host.whatHasName(backup);
  if (holder !== 0) return { holder };
  const bytes = await readWhole(host, path);
  const partial = `${backup}.partial-1`;
  const copy = await host.createNew(partial);
  await host.write(copy, 0, bytes);
  await host.sync(copy);
  await host.close(copy);
  await meanwhile();
  const taken = await host.rename(partial, backup);
  if (taken) await host.remove(partial);
  return { holder, taken };
}

const names = (folder) => [...folder.entries.keys()].sort();

// A call that fails with the code given and its particulars (none unless
// given); { words } for a failure of the browser's own, told as it is.
async function failsWith(call, code, particulars = {}) {
  const error = await call.then(
    () => null,
    (failure) => failure
  );
  assert.ok(error, `it fails: ${JSON.stringify(code)}`);
  if (code.words) {
    assert.equal(error.message, code.words);
    assert.equal(error.particulars, undefined, "no failure of the host's own");
    return;
  }
  assert.deepEqual([error.code, error.particulars], [code, particulars]);
}

const OPENS = [
  { what: "a file given by its handle reads as it is", reads: ORIGINAL },
  { what: "a file given as its bytes reads as they are", by: "file", reads: ORIGINAL },
  { what: "a path of no file given", path: "/2/Nation.dat", fails: "no-such-file" },
  { what: "another name in the file's folder", path: "/1/Other.dat", fails: "no-such-file" },
  { what: "a backup not made yet", path: "/1/Nation.dat.bak", fails: "no-such-file" },
  { what: "a backup not made yet, of bytes alone", by: "file", path: "/1/Nation.dat.bak", fails: "no-such-file" },
  {
    what: "a link, behind which the browser finds nothing",
    before: ({ nation }) => (nation.gone = new DOMException("gone", "NotFoundError")),
    fails: "maybe-a-link",
    particulars: { name: "Nation.dat" },
  },
  {
    what: "a file the browser can't open for a reason of its own",
    before: ({ nation }) => (nation.gone = new DOMException("no entry", "InvalidStateError")),
    fails: "could-not-open",
    particulars: { detail: "no entry" },
  },
  {
    what: "a file moved away since it was opened",
    before: async ({ host, path, nation }) => {
      await readWhole(host, path);
      nation.gone = new DOMException("gone", "NotFoundError");
    },
    fails: "moved-since-opened",
  },
];

for (const row of OPENS) {
  test(`open: ${row.what}`, async () => {
    const setup = given(row);
    if (row.before) await row.before(setup);
    const reading = readWhole(setup.host, row.path || setup.path);
    if (row.fails) return failsWith(reading, row.fails, row.particulars);
    assert.deepEqual(await reading, row.reads);
  });
}

const PATCHES = [
  { what: "a file unchanged since its read is patched in place", on: PATCHED, readBack: PATCHED },
  {
    what: "a byte changed by another program meanwhile: nothing written",
    meanwhile: ({ nation }) => (nation.bytes[10] ^= 1),
    fails: "changed-meanwhile",
    on: ORIGINAL.map((byte, i) => (i === 10 ? byte ^ 1 : byte)),
  },
  {
    what: "the file grown by another program meanwhile: nothing written",
    meanwhile: ({ nation }) => (nation.bytes = Uint8Array.from([...ORIGINAL, 0])),
    fails: "changed-meanwhile",
    on: Uint8Array.from([...ORIGINAL, 0]),
  },
  {
    what: "a full disk: the file as it was",
    meanwhile: ({ nation }) => (nation.full = true),
    fails: "could-not-write",
    particulars: { detail: "the disk is full" },
    on: ORIGINAL,
  },
  {
    what: "bytes alone: the patched file handed over, the page's copy patched",
    by: "file",
    on: ORIGINAL,
    readBack: PATCHED,
    handed: [["Nation.dat", PATCHED]],
    handedOver: "Nation.dat",
  },
  // A patch that changes nothing: the file in place is left alone; by
  // download, the file is handed over all the same, as the first patch's
  // words promise.
  { what: "nothing changed, in place: nothing written", nothing: true, on: ORIGINAL, readBack: ORIGINAL },
  {
    what: "nothing changed, bytes alone: the file handed over as it is",
    by: "file",
    nothing: true,
    on: ORIGINAL,
    readBack: ORIGINAL,
    handed: [["Nation.dat", ORIGINAL]],
    handedOver: "Nation.dat",
  },
];

// Nothing is handed over while the command runs, and all of it once it
// has ended: the browser's list of downloads would take the keyboard.
async function handedAtTheEnd(files, handed = []) {
  assert.deepEqual(await browser.downloaded(), [], "nothing handed over while the command runs");
  await files.handOverDownloads();
  assert.deepEqual(await browser.downloaded(), handed, "handed over at its end");
}

for (const row of PATCHES) {
  test(`store and sync: ${row.what}`, async () => {
    const setup = given(row);
    const changes = row.nothing ? [[], []] : undefined;
    const patching = patch(setup.host, setup.path, async () => row.meanwhile && row.meanwhile(setup), changes);
    if (row.fails) await failsWith(patching, row.fails, row.particulars);
    else assert.deepEqual(await patching, [row.readBack, row.handedOver], "the read-back, and the name handed over");
    assert.deepEqual(setup.nation.bytes, row.on, "the file on the disk");
    if (row.readBack) assert.deepEqual(await readWhole(setup.host, setup.path), row.readBack, "a later read");
    await handedAtTheEnd(setup.files, row.handed);
  });
}

const DATA = (folder) => folder;
const BACKUPS = [
  {
    what: "none yet: made in the folder taken for it",
    chosen: DATA,
    made: { holder: 0, taken: false },
    left: ["Nation.dat", "Nation.dat.bak"],
    backup: ORIGINAL,
  },
  {
    what: "one already in the folder: kept as it is",
    beside: { "Nation.dat.bak": OLD_BACKUP },
    chosen: DATA,
    made: { holder: 1 },
    left: ["Nation.dat", "Nation.dat.bak"],
    backup: OLD_BACKUP,
  },
  {
    what: "one made by another meanwhile: it stands, this one goes",
    chosen: DATA,
    meanwhile: ({ folder }) => folder.entries.set("Nation.dat.bak", new FakeFile("Nation.dat.bak", OLD_BACKUP, folder)),
    made: { holder: 0, taken: true },
    left: ["Nation.dat", "Nation.dat.bak"],
    backup: OLD_BACKUP,
  },
  {
    what: "a folder of the backup's name",
    beside: { "Nation.dat.bak": "folder" },
    chosen: DATA,
    made: { holder: 2 },
    left: ["Nation.dat", "Nation.dat.bak"],
  },
  {
    what: "no folder taken for it: nothing made",
    fails: "no-folder-chosen",
    left: ["Nation.dat"],
  },
  {
    what: "bytes alone: handed over as a download",
    by: "file",
    made: { holder: 0, taken: "download" },
    left: ["Nation.dat"],
    handed: [["Nation.dat.bak", ORIGINAL]],
  },
];

for (const row of BACKUPS) {
  test(`the backup: ${row.what}`, async () => {
    const setup = given(row);
    if (row.chosen) await folderTaken(setup.host, row.chosen(setup.folder));
    const making = makeBackup(setup.host, setup.path, async () => row.meanwhile && row.meanwhile(setup));
    if (row.fails) await failsWith(making, row.fails, row.particulars);
    else assert.deepEqual(await making, row.made);
    assert.deepEqual(names(setup.folder), row.left);
    if (row.backup) assert.deepEqual(setup.folder.file("Nation.dat.bak").bytes, row.backup);
    await handedAtTheEnd(setup.files, row.handed);
  });
}

test("the backup's folder: the dialog starts beside the file, and this browser remembers it for the file", async () => {
  const { files, host, folder, nation } = given();
  assert.equal(await host.offerRememberedFolder("/1"), null, "none remembered yet");
  await folderTaken(host, folder);
  assert.deepEqual(browser.folderAsked, [{ id: "nation-backup", mode: "readwrite", startIn: nation }]);
  assert.equal(await host.hasBackupFolder("/1"), true);
  // The same file loaded again is a place of its own, offered the folder.
  const again = files.addHandle(nation).replace("/Nation.dat", "");
  assert.equal(await host.hasBackupFolder(again), false);
  assert.equal(await host.offerRememberedFolder(again), "Data");
  assert.equal(await host.offeredFolderStillThere(again), true);
  await host.forgetOfferedFolder(again);
  assert.equal(await host.offerRememberedFolder(again), null, "forgotten");
  browser.folderChosen = null;
  assert.equal(await host.pickFolder(again), null, "the dialog closed");
});

// The browser's leave, as it is or asked for, for the file (the place /1)
// or the folder offered for its backup.
const LEAVES = [
  { what: "the file's, as it is", permission: "prompt", leave: "prompt", asked: 0 },
  { what: "the file's, asked for after a click", permission: "prompt", request: true, leave: "granted", asked: 1 },
  {
    what: "the file's, refused at the prompt",
    permission: "prompt",
    answer: "denied",
    request: true,
    leave: "denied",
    asked: 1,
  },
  {
    what: "the file's, with no click at hand: no prompt",
    permission: "prompt",
    request: true,
    noClick: true,
    leave: "needs-click",
    asked: 0,
  },
  {
    what: "the file's, where the browser wants a click after all",
    permission: "prompt",
    request: true,
    refuses: new DOMException("no click", "SecurityError"),
    leave: "needs-click",
    asked: 1,
  },
  {
    what: "the file's prompt failing in the browser's own words",
    permission: "prompt",
    request: true,
    refuses: new DOMException("prompt broke", "InvalidStateError"),
    fails: { words: "prompt broke" },
    asked: 1,
  },
  { what: "a file of bytes alone: nothing to ask", by: "file", request: true, leave: "granted", asked: 0 },
  { what: "the folder offered, as it is", offered: "prompt", leave: "prompt", asked: 0 },
  { what: "no folder offered", for: "offered", fails: "no-such-file", asked: 0 },
];

for (const row of LEAVES) {
  test(`leave: ${row.what}`, async () => {
    const setup = given(row);
    let what = row.for || "file";
    if (row.offered) {
      browser.folderChosen = Object.assign(new FakeFolder("Backups"), { permission: row.offered });
      await setup.host.pickFolder("/1");
      what = "offered";
    }
    navigator.userActivation.isActive = !row.noClick;
    try {
      const leave = setup.host.leave("/1", what, Boolean(row.request));
      if (row.fails) await failsWith(leave, row.fails);
      else assert.equal(await leave, row.leave);
    } finally {
      navigator.userActivation.isActive = true;
    }
    assert.equal(setup.nation.asked, row.asked, "prompts");
  });
}

test("createNew: a name made once, or held in the folder, is taken; only the backup's names can be made", async () => {
  const { host, path, folder } = given({ beside: { "Nation.dat.bak.partial-3": [1] } });
  await folderTaken(host, folder);
  const partial = `${path}.bak.partial-2`;
  await host.createNew(partial);
  await failsWith(host.createNew(partial), "exists");
  await failsWith(host.createNew(`${path}.bak.partial-3`), "exists");
  assert.deepEqual(folder.file("Nation.dat.bak.partial-3").bytes, Uint8Array.from([1]), "what held the name stays");
  await failsWith(host.createNew("/1/Other.dat"), "cannot-make-there");
});

const HOLDERS = [
  { path: "/1", holds: 2 },
  { path: "/1/Nation.dat", holds: 1 },
  { path: "/2/Nation.dat", holds: 0 },
  { path: "/1/Other.dat", holds: 0 },
  { path: "/1/Nation.dat.bak", holds: 0, by: "file" },
  { path: "/1/Nation.dat.bak", holds: 0, beside: { "Nation.dat.bak": OLD_BACKUP }, what: "no folder taken yet" },
  { path: "/1/Nation.dat.bak", holds: 0, chosen: DATA },
  { path: "/1/Nation.dat.bak", holds: 1, chosen: DATA, beside: { "Nation.dat.bak": OLD_BACKUP } },
  { path: "/1/Nation.dat.bak", holds: 2, chosen: DATA, beside: { "Nation.dat.bak": "folder" } },
  // The backup's folder is the one taken, wherever the file is.
  { path: "/1/Nation.dat.bak", holds: 0, chosen: () => new FakeFolder("Elsewhere"), beside: { "Nation.dat.bak": [1] } },
  { path: "/1/Nation.dat.bak", holds: 1, chosen: () => new FakeFolder("Elsewhere", { "Nation.dat.bak": [1] }) },
];

test("whatHasName: 0 nothing, 1 a file, 2 a folder", async () => {
  for (const row of HOLDERS) {
    const setup = given(row);
    if (row.chosen) await folderTaken(setup.host, row.chosen(setup.folder));
    assert.equal(await setup.host.whatHasName(row.path), row.holds, JSON.stringify(row));
  }
});

test("a place: its file's name, and whether the page writes it where it is", async () => {
  const { files, host } = given();
  const bytesAlone = files.addFile(new File([ORIGINAL], "Other.dat")).replace("/Other.dat", "");
  assert.deepEqual(
    await Promise.all(["/1", bytesAlone, "/9"].map(async (place) => [host.placeName(place), host.inPlace(place)])),
    [
      ["Nation.dat", true],
      ["Other.dat", false],
      [null, false],
    ]
  );
});
