"use strict";
// The files the player gives the page, as the file library's host
// (nationfile/OsFileWeb.cpp): each loaded file has a folder of its own,
// "/1/Nation.dat", which holds it and, once made, its backup.
//
// Where the browser hands the page a file handle it may write (the File
// System Access API: Chromium's browsers), a patch writes the file in place,
// and the backup goes where the player says in the browser's save dialog.
// Elsewhere the page has the file's bytes only: a patch hands the patched
// file over as a download, the first patch the file as it was before it,
// and the page's own copy is the file from then on.
const files = (() => {
  const places = new Map(); // folder number -> place
  const open = new Map(); // the library's open files, by number
  const made = new Map(); // path -> an open file made by createNew
  let lastPlace = 0;
  let lastFile = 0;
  // Read whole at the first read; a file larger than this (which the
  // library refuses from its length alone) only in slices.
  const WHOLE = 64 * 1024 * 1024;

  // What the page asks of the player, set by page.js.
  let ask = async () => {};
  let tell = () => {};

  const fail = (words) => {
    throw new Error(words);
  };
  const noSuchFile = () => fail("No such file or directory");

  function addPlace(place) {
    places.set(++lastPlace, place);
    return `/${lastPlace}/${place.name}`;
  }

  function lookUp(path) {
    const match = /^\/(\d+)\/(.*)$/.exec(path);
    const place = match && places.get(Number(match[1]));
    return place ? { place, name: match[2] } : { place: null, name: "" };
  }

  // Reading a file the browser gave the page can fail once it has changed
  // on the disk since: the browser then refuses the old snapshot.
  async function bytesOf(blob, offset, length) {
    try {
      return new Uint8Array(await blob.slice(offset, offset + length).arrayBuffer());
    } catch (error) {
      fail(
        "The browser could not read the file; it may have been changed, moved or deleted since it was " +
          "chosen. Load it again"
      );
    }
  }

  async function writePermission(handle) {
    const mode = { mode: "readwrite" };
    let state = handle.queryPermission ? await handle.queryPermission(mode) : "granted";
    if (state === "prompt") {
      try {
        state = await handle.requestPermission(mode);
      } catch (error) {
        fail("The browser asks whether the page may write it only straight after a click; press Patch again");
      }
    }
    if (state !== "granted") fail("The browser was not allowed to write it");
  }

  function keep(record) {
    open.set(++lastFile, record);
    return lastFile;
  }

  function recordOf(file) {
    const record = open.get(file);
    if (!record) fail("The file is not open");
    return record;
  }

  function download(name, bytes) {
    const address = URL.createObjectURL(new Blob([bytes], { type: "application/octet-stream" }));
    const link = document.createElement("a");
    link.href = address;
    link.download = name;
    link.hidden = true;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(address), 60000);
  }

  function dropWriter(record) {
    if (record.writer) {
      record.writer.abort().catch(() => {});
      record.writer = null;
    }
  }

  const host = {
    async open(path, writeRequired) {
      const { place, name } = lookUp(path);
      if (!place) noSuchFile();
      if (name === place.name) {
        let snapshot;
        if (place.handle) {
          if (writeRequired) await writePermission(place.handle);
          try {
            snapshot = await place.handle.getFile();
          } catch (error) {
            fail("The browser could not open the file; it may have been moved or deleted since it was chosen");
          }
        } else {
          snapshot = place.copy ? new Blob([place.copy]) : place.file;
        }
        return keep({ place, snapshot, bytes: null });
      }
      if (name === place.name + ".bak" && place.backup) {
        const snapshot = place.backup.handle ? await place.backup.handle.getFile() : new Blob([place.backup.bytes]);
        return keep({ place, snapshot, bytes: null, backup: true });
      }
      return noSuchFile();
    },

    // The file behind a path is the one the player gave for it, whatever
    // the browser says of its name since; its backup a file of its own.
    identity(file) {
      const record = recordOf(file);
      return [...places.keys()].find((number) => places.get(number) === record.place) * 2 + (record.backup ? 1 : 0);
    },

    async size(file) {
      const record = recordOf(file);
      return record.made ? record.bytes.length : record.snapshot.size;
    },

    async read(file, offset, length) {
      const record = recordOf(file);
      if (record.made) return record.bytes.subarray(offset, offset + length);
      if (record.snapshot.size > WHOLE) return bytesOf(record.snapshot, offset, length);
      if (!record.bytes) record.bytes = await bytesOf(record.snapshot, 0, record.snapshot.size);
      return record.bytes.subarray(offset, offset + length);
    },

    async write(file, offset, bytes) {
      const record = recordOf(file);
      if (!record.made) fail("The file was not made for writing");
      if (record.bytes.length < offset + bytes.length) {
        const grown = new Uint8Array(offset + bytes.length);
        grown.set(record.bytes);
        record.bytes = grown;
      }
      record.bytes.set(bytes, offset);
    },

    // The bytes that differ, in the file as this patch read it. A browser
    // writes a new copy of the file, which takes the file's place when the
    // writer closes (sync), however little is written; each write costs it
    // a millisecond or more, so the stretch from the first byte that
    // differs to the last goes in one write: the file as read, those bytes
    // changed. Nothing else in that stretch may have changed meanwhile.
    async store(file, length, offsets, values) {
      const record = recordOf(file);
      const { place } = record;
      if (record.backup || record.made) fail("The file was not opened for patching");
      if (!record.bytes) record.bytes = await bytesOf(record.snapshot, 0, record.snapshot.size);
      const patched = record.bytes.slice();
      offsets.forEach((offset, i) => {
        patched[offset] = values[i];
      });
      if (!place.handle) {
        record.pending = patched;
        return;
      }
      const first = offsets.reduce((least, offset) => Math.min(least, offset));
      const end = offsets.reduce((most, offset) => Math.max(most, offset)) + 1;
      let unchanged = false;
      try {
        record.writer = (await place.handle.createWritable({ keepExistingData: true })).getWriter();
        const now = await place.handle.getFile();
        const stretch = new Uint8Array(await now.slice(first, end).arrayBuffer());
        unchanged = now.size === length && stretch.every((byte, i) => byte === record.bytes[first + i]);
        if (unchanged)
          await record.writer.write({ type: "write", position: first, data: patched.subarray(first, end) });
      } catch (error) {
        dropWriter(record);
        fail(`The browser could not write the file (${error.message})`);
      }
      if (!unchanged) {
        dropWriter(record);
        fail("Another program changed the file while it was being patched; load it again");
      }
    },

    async sync(file) {
      const record = recordOf(file);
      const { place } = record;
      if (record.made) {
        if (record.target && !record.taken) {
          const stream = await record.target.createWritable();
          await stream.write(record.bytes);
          await stream.close();
        }
        return;
      }
      if (record.writer) {
        const writer = record.writer;
        record.writer = null;
        try {
          await writer.close();
        } catch (error) {
          fail(`The browser could not write the file (${error.message})`);
        }
        // What the read-back sees is the file as the browser now gives it.
        record.snapshot = await place.handle.getFile();
        record.bytes = null;
        return;
      }
      if (record.pending) {
        download(place.name, record.pending);
        place.copy = record.pending;
        record.bytes = record.pending;
        record.snapshot = new Blob([place.copy]);
        record.pending = null;
        tell(place.name);
      }
    },

    async close(file) {
      const record = open.get(file);
      open.delete(file);
      if (record) dropWriter(record);
    },

    discard(file) {
      const record = open.get(file);
      open.delete(file);
      if (record) dropWriter(record);
    },

    // The backup, made under a name of its own first. With a writable
    // handle the player says where it goes; a file chosen there that holds
    // something already is kept as it is: a backup of this file, when it is
    // as long as the file, else not one, and nothing is patched.
    async createNew(path) {
      const { place, name } = lookUp(path);
      if (!place || !name.startsWith(place.name + ".bak")) fail("The page can make no file there");
      if (made.has(path)) fail("File exists");
      const record = { made: true, place, path, bytes: new Uint8Array(0) };
      if (place.handle) {
        let target;
        try {
          target = await window.showSaveFilePicker({
            suggestedName: place.name + ".bak",
            startIn: place.handle,
            id: "nation-backup",
          });
        } catch (error) {
          if (error.name === "AbortError") fail("no place was chosen for it");
          if (error.name === "SecurityError")
            fail("the browser asks where to save it only straight after a click; press Patch again");
          fail(error.message);
        }
        if (await target.isSameEntry(place.handle)) fail("that is the nation file itself; choose another name");
        const existing = await target.getFile();
        if (existing.size > 0) {
          if (existing.size !== (await place.handle.getFile()).size)
            fail(`the file chosen for it, ${target.name}, holds something else; choose a new name`);
          record.taken = true;
        }
        record.target = target;
      }
      made.set(path, record);
      return keep(record);
    },

    whatHasName(path) {
      if (host.isFolder(path)) return 2;
      const { place, name } = lookUp(path);
      if (!place) return 0;
      if (name === place.name) return 1;
      if (name === place.name + ".bak") return place.backup ? 1 : 0;
      return made.has(path) ? 1 : 0;
    },

    async rename(from, to) {
      const record = made.get(from);
      const { place, name } = lookUp(to);
      if (!record || place !== record.place || name !== place.name + ".bak") fail("The page can give it no such name");
      made.delete(from);
      if (place.backup || record.taken) {
        if (record.taken) place.backup = { handle: record.target };
        return true;
      }
      if (record.target) {
        place.backup = { handle: record.target };
        return false;
      }
      place.backup = { bytes: record.bytes };
      download(name, record.bytes);
      await ask(name, place.name);
      return false;
    },

    async remove(path) {
      made.delete(path);
    },

    isFolder(path) {
      const match = /^\/(\d+)$/.exec(path);
      return Boolean(match && places.has(Number(match[1])));
    },
  };

  return {
    host,
    // A file the browser gave a writable handle for, or only its bytes.
    addHandle: (handle) => addPlace({ name: handle.name, handle, file: null }),
    addFile: (file) => addPlace({ name: file.name, handle: null, file }),
    // The handle of the file in a folder, for the dialog to start beside it.
    handleIn(folder) {
      const match = /^\/(\d+)$/.exec(folder || "");
      const place = match && places.get(Number(match[1]));
      return place ? place.handle : null;
    },
    // How the page asks the player to keep a backup it hands over, and tells
    // where a patched file went.
    setPlayer(asking, telling) {
      ask = asking;
      tell = telling;
    },
  };
})();
