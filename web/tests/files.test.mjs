// The page's files host (web/page/files.js) on stand-ins of the browser's
// file handles, called as the file library calls it: open and read, a
// patch stored and synced in place or handed over as a download, the
// backup made under a name of its own and renamed in its folder, and what
// has a name. Each row of a table is a case of its own, on a host and files
// of its own.
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
function given({ by = "handle", beside = {}, permission = "granted", answer } = {}) {
  browser.reset();
  const files = createFiles();
  const said = [];
  files.setPlayer({
    say: async (text) => said.push(text),
    note: () => {},
    backupHandedOver: async (backup) => said.push(`handed over ${backup}`),
    fileHandedOver: (name) => said.push(`handed over the patched ${name}`),
  });
  const folder = new FakeFolder("Data", { "Nation.dat": ORIGINAL, ...beside });
  const nation = folder.file("Nation.dat");
  Object.assign(nation, { permission, answer });
  const path = by === "handle" ? files.addHandle(nation) : files.addFile(new File([ORIGINAL], "Nation.dat"));
  return { host: files.host, folder, nation, path, said };
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
async function patch(host, path, meanwhile = async () => {}) {
  const file = await host.open(path, true);
  const length = await host.size(file);
  await host.read(file, 0, length);
  await meanwhile();
  try {
    await host.store(file, length, OFFSETS, VALUES);
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

// A call that fails with the words given: all of them, or those matched.
async function failsWith(call, words) {
  const error = await call.then(
    () => null,
    (failure) => failure
  );
  assert.ok(error, `it fails: ${words}`);
  if (words instanceof RegExp) assert.match(error.message, words);
  else assert.equal(error.message, words);
}

const OPENS = [
  { what: "a file given by its handle reads as it is", reads: ORIGINAL },
  { what: "a file given as its bytes reads as they are", by: "file", reads: ORIGINAL },
  { what: "a path of no file given", path: "/2/Nation.dat", fails: "No such file or directory" },
  { what: "another name in the file's folder", path: "/1/Other.dat", fails: "No such file or directory" },
  { what: "a backup not made yet", path: "/1/Nation.dat.bak", fails: "No such file or directory" },
  { what: "a backup not made yet, of bytes alone", by: "file", path: "/1/Nation.dat.bak", fails: /^No such/ },
  {
    what: "a link, behind which the browser finds nothing",
    before: ({ nation }) => (nation.gone = new DOMException("gone", "NotFoundError")),
    fails: /can't open Nation.dat: a browser opens no link to a file, and Nation.dat may be one/,
  },
  {
    what: "a file moved away since it was opened",
    before: async ({ host, path, nation }) => {
      await readWhole(host, path);
      nation.gone = new DOMException("gone", "NotFoundError");
    },
    fails: /may have been moved or deleted since it was chosen$/,
  },
  { what: "leave to write, asked for and given", permission: "prompt", write: true, reads: ORIGINAL, asked: 1 },
  { what: "leave to write already given", write: true, reads: ORIGINAL, asked: 0 },
  {
    what: "leave to write refused",
    permission: "prompt",
    answer: "denied",
    write: true,
    fails: "The browser was not allowed to write it",
  },
];

for (const row of OPENS) {
  test(`open: ${row.what}`, async () => {
    const setup = given(row);
    if (row.before) await row.before(setup);
    const reading = readWhole(setup.host, row.path || setup.path, row.write);
    if (row.fails) return failsWith(reading, row.fails);
    assert.deepEqual(await reading, row.reads);
    if ("asked" in row) assert.equal(setup.nation.asked, row.asked);
  });
}

const PATCHES = [
  { what: "a file unchanged since its read is patched in place", on: PATCHED, readBack: PATCHED },
  {
    what: "a byte changed by another program meanwhile: nothing written",
    meanwhile: ({ nation }) => (nation.bytes[10] ^= 1),
    fails: "Another program changed the file while it was being patched; load it again",
    on: ORIGINAL.map((byte, i) => (i === 10 ? byte ^ 1 : byte)),
  },
  {
    what: "the file grown by another program meanwhile: nothing written",
    meanwhile: ({ nation }) => (nation.bytes = Uint8Array.from([...ORIGINAL, 0])),
    fails: /^Another program changed the file/,
    on: Uint8Array.from([...ORIGINAL, 0]),
  },
  {
    what: "a full disk: the file as it was",
    meanwhile: ({ nation }) => (nation.full = true),
    fails: "The browser could not write the file (the disk is full)",
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
];

for (const row of PATCHES) {
  test(`store and sync: ${row.what}`, async () => {
    const setup = given(row);
    const patching = patch(setup.host, setup.path, async () => row.meanwhile && row.meanwhile(setup));
    if (row.fails) await failsWith(patching, row.fails);
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
    fails: "no folder was chosen for it",
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
    if (row.fails) await failsWith(making, row.fails);
    else assert.deepEqual(await making, row.made);
    assert.deepEqual(names(setup.folder), row.left);
    if (row.backup) assert.deepEqual(setup.folder.file("Nation.dat.bak").bytes, row.backup);
    assert.equal(browser.folderAsked.length, row.asked, "the folder dialog");
    assert.deepEqual(await browser.downloaded(), row.handed || []);
    if (row.said) assert.deepEqual(setup.said, row.said);
  });
}

test("the backup: the folder dialog starts beside the file, for leave to write, once a visit", async () => {
  const { host, path, folder, nation, said } = given();
  browser.folderChosen = folder;
  await makeBackup(host, path);
  await host.whatHasName(`${path}.bak`);
  assert.deepEqual(browser.folderAsked, [{ id: "nation-backup", mode: "readwrite", startIn: nation }]);
  assert.equal(said.length, 1, "the page said once what the folder is for");
  // Made once: a backup of the same name is a backup there.
  assert.deepEqual(await readWhole(host, `${path}.bak`), ORIGINAL);
});

test("createNew: a name made once, or held in the folder, is taken; only the backup's names can be made", async () => {
  const { host, path, folder } = given({ beside: { "Nation.dat.bak.partial-3": [1] } });
  browser.folderChosen = folder;
  await host.whatHasName(`${path}.bak`);
  const partial = `${path}.bak.partial-2`;
  await host.createNew(partial);
  await failsWith(host.createNew(partial), "File exists");
  await failsWith(host.createNew(`${path}.bak.partial-3`), "File exists");
  assert.deepEqual(folder.file("Nation.dat.bak.partial-3").bytes, Uint8Array.from([1]), "what held the name stays");
  await failsWith(host.createNew("/1/Other.dat"), "The page can make no file there");
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
