// The page's files host (web/page/files.js) on stand-ins of the browser's
// file handles, called as the file library calls it: open and read, a
// patch stored and synced in place or handed over as a download, the
// backup made under a name of its own and renamed in its folder, and what
// has a name. Each row of a table is a case of its own, on a host and files
// of its own. The host's failures are codes and particulars, which the file
// library words; what it says to the player, the keys of the program's
// words and the names they tell.
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
// as its bytes alone; `beside`: what else Data holds. What the player was
// told is kept in `said`, the line under the window in `notes`; `going`
// answers each message said before a prompt, until changed.
function given({ by = "handle", beside = {}, permission = "granted", answer, going = true } = {}) {
  browser.reset();
  const files = createFiles((name) => `${name}.bak`);
  const said = [];
  const notes = [];
  const player = { going };
  files.setPlayer({
    say: async (key, names) => said.push([key, names]) && player.going,
    note: (key, names) => notes.push(key ? [key, names] : []),
    backupHandedOver: async (backup) => said.push(`handed over ${backup}`),
    fileHandedOver: (name) => said.push(`handed over the patched ${name}`),
  });
  const folder = new FakeFolder("Data", { "Nation.dat": ORIGINAL, ...beside });
  const nation = folder.file("Nation.dat");
  Object.assign(nation, { permission, answer });
  const path = by === "handle" ? files.addHandle(nation) : files.addFile(new File([ORIGINAL], "Nation.dat"));
  return { files, host: files.host, folder, nation, path, said, notes, player };
}

async function readWhole(host, path, writeRequired = false) {
  const file = await host.open(path, writeRequired);
  const bytes = Uint8Array.from(await host.read(file, 0, await host.size(file)));
  await host.close(file);
  return bytes;
}

// A patch as the library makes it: the file read whole, then the changed
// bytes stored and synced, and read back through the same open file, which
// it gives; `meanwhile` runs between the read and the store.
async function patch(host, path, meanwhile = async () => {}, [offsets, values] = [OFFSETS, VALUES]) {
  const file = await host.open(path, true);
  const length = await host.size(file);
  await host.read(file, 0, length);
  await meanwhile();
  try {
    await host.store(file, length, offsets, values);
    await host.sync(file);
    return Uint8Array.from(await host.read(file, 0, await host.size(file)));
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
  { what: "leave to write, asked for and given", permission: "prompt", write: true, reads: ORIGINAL, asked: 1 },
  { what: "leave to write already given", write: true, reads: ORIGINAL, asked: 0 },
  {
    what: "leave to write refused",
    permission: "prompt",
    answer: "denied",
    write: true,
    fails: "not-allowed-to-write",
  },
];

for (const row of OPENS) {
  test(`open: ${row.what}`, async () => {
    const setup = given(row);
    if (row.before) await row.before(setup);
    const reading = readWhole(setup.host, row.path || setup.path, row.write);
    if (row.fails) return failsWith(reading, row.fails, row.particulars);
    assert.deepEqual(await reading, row.reads);
    if ("asked" in row) assert.equal(setup.nation.asked, row.asked);
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
    said: ["handed over the patched Nation.dat"],
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
    said: ["handed over the patched Nation.dat"],
  },
];

for (const row of PATCHES) {
  test(`store and sync: ${row.what}`, async () => {
    const setup = given(row);
    const changes = row.nothing ? [[], []] : undefined;
    const patching = patch(setup.host, setup.path, async () => row.meanwhile && row.meanwhile(setup), changes);
    if (row.fails) await failsWith(patching, row.fails, row.particulars);
    else assert.deepEqual(await patching, row.readBack, "the read-back");
    assert.deepEqual(setup.nation.bytes, row.on, "the file on the disk");
    if (row.readBack) assert.deepEqual(await readWhole(setup.host, setup.path), row.readBack, "a later read");
    assert.deepEqual(await browser.downloaded(), row.handed || []);
    assert.deepEqual(setup.said, row.said || []);
  });
}

const DATA = (folder) => folder;
const BACKUPS = [
  {
    what: "none yet: made in the folder the player chooses",
    chosen: DATA,
    made: { holder: 0, taken: false },
    left: ["Nation.dat", "Nation.dat.bak"],
    backup: ORIGINAL,
    asked: 1,
  },
  {
    what: "one already in the chosen folder: kept as it is",
    beside: { "Nation.dat.bak": OLD_BACKUP },
    chosen: DATA,
    made: { holder: 1 },
    left: ["Nation.dat", "Nation.dat.bak"],
    backup: OLD_BACKUP,
    asked: 1,
  },
  {
    what: "one made by another meanwhile: it stands, this one goes",
    chosen: DATA,
    meanwhile: ({ folder }) => folder.entries.set("Nation.dat.bak", new FakeFile("Nation.dat.bak", OLD_BACKUP, folder)),
    made: { holder: 0, taken: true },
    left: ["Nation.dat", "Nation.dat.bak"],
    backup: OLD_BACKUP,
    asked: 1,
  },
  {
    what: "a folder of the backup's name",
    beside: { "Nation.dat.bak": "folder" },
    chosen: DATA,
    made: { holder: 2 },
    left: ["Nation.dat", "Nation.dat.bak"],
    asked: 1,
  },
  {
    what: "no folder chosen: nothing made",
    fails: "no-folder-chosen",
    left: ["Nation.dat"],
    asked: 1,
  },
  {
    what: "the message before the folder dialog declined: no dialog, nothing made",
    going: false,
    fails: "no-folder-chosen",
    left: ["Nation.dat"],
    asked: 0,
  },
  {
    what: "a folder chosen without leave to write in it: nothing made",
    chosen: () => Object.assign(new FakeFolder("Backups"), { permission: "denied" }),
    fails: "not-allowed-in-folder",
    particulars: { folder: "Backups" },
    left: ["Nation.dat"],
    asked: 1,
  },
  {
    what: "the folder dialog failing in the browser's own words, which are kept",
    chosen: () => new DOMException("the dialog broke", "InvalidStateError"),
    fails: { words: "the dialog broke" },
    left: ["Nation.dat"],
    asked: 1,
  },
  {
    what: "bytes alone: handed over as a download",
    by: "file",
    made: { holder: 0, taken: false },
    left: ["Nation.dat"],
    handed: [["Nation.dat.bak", ORIGINAL]],
    said: ["handed over Nation.dat.bak"],
    asked: 0,
  },
];

for (const row of BACKUPS) {
  test(`the backup: ${row.what}`, async () => {
    const setup = given(row);
    browser.folderChosen = row.chosen ? row.chosen(setup.folder) : null;
    const making = makeBackup(setup.host, setup.path, async () => row.meanwhile && row.meanwhile(setup));
    if (row.fails) await failsWith(making, row.fails, row.particulars);
    else assert.deepEqual(await making, row.made);
    assert.deepEqual(names(setup.folder), row.left);
    if (row.backup) assert.deepEqual(setup.folder.file("Nation.dat.bak").bytes, row.backup);
    assert.equal(browser.folderAsked.length, row.asked, "the folder dialog");
    assert.deepEqual(await browser.downloaded(), row.handed || []);
    if (row.said) assert.deepEqual(setup.said, row.said);
  });
}

test("the backup: the folder dialog starts beside the file, for leave to write, once a visit", async () => {
  const { host, path, folder, nation, said, notes } = given();
  browser.folderChosen = folder;
  await makeBackup(host, path);
  await host.whatHasName(`${path}.bak`);
  assert.deepEqual(browser.folderAsked, [{ id: "nation-backup", mode: "readwrite", startIn: nation }]);
  const names = { name: "Nation.dat", backup: "Nation.dat.bak" };
  assert.deepEqual(said, [["chooseBackupFolder", names]], "the page said once what the folder is for");
  assert.deepEqual(notes, [["chooseBackupFolderNote", names], []], "and said it under the window while asking");
  // Made once: a backup of the same name is a backup there.
  assert.deepEqual(await readWhole(host, `${path}.bak`), ORIGINAL);
});

// The same file loaded again, a place of its own, finds the folder chosen
// for its backup before. Where the browser asks again for leave to look in
// it, once the click is used up, the page says first which folder it is.
const AGAIN = [
  { what: "leave given again", going: true, holds: 1 },
  { what: "the message declined", going: false, holds: 0, fails: "not-allowed-into-folder" },
];

for (const row of AGAIN) {
  test(`the backup's folder chosen before: ${row.what}`, async () => {
    const { files, host, path, folder, nation, said, player } = given({ beside: { "Nation.dat.bak": OLD_BACKUP } });
    browser.folderChosen = folder;
    await host.whatHasName(`${path}.bak`);
    Object.assign(folder, { permission: "prompt" });
    Object.assign(player, { going: row.going });
    navigator.userActivation.isActive = false;
    try {
      const again = files.addHandle(nation);
      assert.equal(await host.whatHasName(`${again}.bak`), row.holds);
      const names = { name: "Nation.dat", backup: "Nation.dat.bak", folder: "Data" };
      assert.deepEqual(said.slice(1), [["backupFolderAgain", names]]);
      assert.equal(browser.folderAsked.length, 1, "no folder dialog the second time");
      if (row.fails) await failsWith(host.createNew(`${again}.bak.partial-1`), row.fails, { folder: "Data" });
    } finally {
      navigator.userActivation.isActive = true;
    }
  });
}

test("createNew: a name made once, or held in the folder, is taken; only the backup's names can be made", async () => {
  const { host, path, folder } = given({ beside: { "Nation.dat.bak.partial-3": [1] } });
  browser.folderChosen = folder;
  await host.whatHasName(`${path}.bak`);
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
  { path: "/1/Nation.dat.bak", holds: 0, chosen: DATA },
  { path: "/1/Nation.dat.bak", holds: 1, chosen: DATA, beside: { "Nation.dat.bak": OLD_BACKUP } },
  { path: "/1/Nation.dat.bak", holds: 2, chosen: DATA, beside: { "Nation.dat.bak": "folder" } },
  // The backup's folder is the one chosen, wherever the file is.
  { path: "/1/Nation.dat.bak", holds: 0, chosen: () => new FakeFolder("Elsewhere"), beside: { "Nation.dat.bak": [1] } },
  { path: "/1/Nation.dat.bak", holds: 1, chosen: () => new FakeFolder("Elsewhere", { "Nation.dat.bak": [1] }) },
];

test("whatHasName: 0 nothing, 1 a file, 2 a folder", async () => {
  for (const row of HOLDERS) {
    const setup = given(row);
    browser.folderChosen = row.chosen ? row.chosen(setup.folder) : null;
    assert.equal(await setup.host.whatHasName(row.path), row.holds, JSON.stringify(row));
  }
});
