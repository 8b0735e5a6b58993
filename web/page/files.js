// The files the player gives the page, as the file library's host
// (nationfile/OsFileWeb.cpp): each loaded file has a folder of its own,
// "/1/Nation.dat", which holds it and, once made, its backup.
//
// Where the browser hands the page a file handle it may write (the File
// System Access API: Chromium's browsers), a patch writes the file in place,
// and the backup goes in a folder the player chooses for it, once. The
// browser's save dialog would empty a file chosen in it before the page
// could see what it held; in a folder the page sees a backup already there,
// and keeps it. This browser remembers the folder for the file, so that a
// later load of the same file finds its backup there and asks for nothing.
// Elsewhere the page has the file's bytes only: a patch hands the patched
// file over as a download, the first patch the file as it was before it,
// and the page's own copy is the file from then on. Each call makes a host
// of its own, with no file given yet; `backupOf(name)` names a file's
// backup, as the file library names it.
//
// The host makes the calls; when to ask the browser for leave or a folder,
// and what to tell the player, the library decides (nationfile/
// BrowserFiles.cpp), and the page's messages show its words. A failure is
// thrown as its code and particulars, for the library to word
// (nationfile/OsFileWeb.cpp), as the page words nothing of its own.
import { createBackupFolders } from "./backup-folders.js";

export function createFiles(backupOf) {
  const places = new Map(); // folder number -> place
  const open = new Map(); // the library's open files, by number
  const made = new Map(); // path -> an open file made by createNew
  let lastPlace = 0;
  let lastFile = 0;
  // Read whole at the first read; a file larger than this (which the
  // library refuses from its length alone) only in slices.
  const WHOLE = 64 * 1024 * 1024;
  const READ_WRITE = { mode: "readwrite" };

  // What the page shows the player, set by page.js, each by the key of the
  // program's words and the names they tell: a message, which answers true
  // for OK (false where Escape declined it); the line under the window
  // while a browser's dialog is up (no key for none); the status.
  let player = {
    say: async () => true,
    note: () => {},
    status: () => {},
  };

  const fail = (code, particulars = {}) => {
    throw Object.assign(new Error(code), { code, particulars });
  };
  const noSuchFile = () => fail("no-such-file");

  // A place: the file's name and its backup's, its handle or its bytes;
  // then whether the browser opened it (opened), the folder its backup is
  // kept in (folder), one the browser offers for it ({ folder } as
  // remembered or just picked: offered), the bytes handed over as its
  // backup (backupBytes), the page's own copy of the file once patched
  // (copy).
  function addPlace(place) {
    place.backup = backupOf(place.name);
    places.set(++lastPlace, place);
    return `/${lastPlace}/${place.name}`;
  }

  function placeAt(folder) {
    const match = /^\/(\d+)$/.exec(folder);
    const place = match && places.get(Number(match[1]));
    if (!place) noSuchFile();
    return place;
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
      const whole = offset === 0 && length === blob.size;
      return new Uint8Array(await (whole ? blob : blob.slice(offset, offset + length)).arrayBuffer());
    } catch (error) {
      fail("unreadable");
    }
  }

  function sameBytes(one, other) {
    if (one.length !== other.length) return false;
    for (let i = 0; i < one.length; ++i) {
      if (one[i] !== other[i]) return false;
    }
    return true;
  }

  const backupFolders = createBackupFolders();

  // What has `name` in `folder`: a file's handle, "folder", or null.
  async function entryIn(folder, name) {
    try {
      return await folder.getFileHandle(name);
    } catch (error) {
      if (error.name === "NotFoundError") return null;
      if (error.name === "TypeMismatchError") return "folder";
      throw error;
    }
  }

  // A folder chosen in an earlier visit may be gone since.
  async function stillThere(folder) {
    try {
      await folder.keys().next();
      return true;
    } catch (error) {
      return error.name !== "NotFoundError" && error.name !== "TypeMismatchError";
    }
  }

  // The backup a file patched in place has, looked for without a prompt:
  // for its ticks, which a menu offers.
  async function backupSeen(place) {
    try {
      const folder = place.folder || (await backupFolders.of(place.handle))?.folder;
      if (!folder || (await folder.queryPermission({ mode: "read" })) !== "granted") return null;
      const found = await entryIn(folder, place.backup);
      return found && found !== "folder" ? found : null;
    } catch (error) {
      return null;
    }
  }

  // A patch that failed in Chromium's copy of the file may have left the
  // copy, name.crswap, beside it: gone once the page can reach it, through
  // the backup's folder where that holds the file. A copy a writer still
  // has open is locked, and stays.
  async function sweep(place) {
    try {
      const path = place.folder && (await place.folder.resolve(place.handle));
      if (path && path.length === 1) await place.folder.removeEntry(place.name + ".crswap");
    } catch (error) {
      // Nothing left, or nothing to do about it.
    }
  }

  function keep(record) {
    open.set(++lastFile, record);
    return lastFile;
  }

  function recordOf(file) {
    const record = open.get(file);
    if (!record) fail("not-open");
    return record;
  }

  // Downloads wait for the command's end, its last message answered: a
  // browser may open its list of downloads over the page as one starts
  // (Firefox does, unless told otherwise), and the list takes the keyboard
  // from the page's message, where Enter would open the file.
  const handOver = [];
  function download(name, bytes) {
    handOver.push({ name, bytes });
  }

  // One at a time: WebKit loses both of two downloads started at once.
  async function handOverDownloads() {
    for (const [i, { name, bytes }] of handOver.splice(0).entries()) {
      if (i > 0) await new Promise((resolve) => setTimeout(resolve, 500));
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
  }

  // An aborted writer takes the browser's copy of the file with it.
  function dropWriter(record) {
    const writer = record.writer;
    record.writer = null;
    return writer ? writer.abort().catch(() => {}) : Promise.resolve();
  }

  const host = {
    async open(path) {
      const { place, name } = lookUp(path);
      if (!place) noSuchFile();
      if (name === place.name) {
        let snapshot;
        if (place.handle) {
          try {
            snapshot = await place.handle.getFile();
          } catch (error) {
            if (place.opened) fail("moved-since-opened");
            // Chromium finds nothing behind a symbolic link it was given.
            if (error.name === "NotFoundError") fail("maybe-a-link", { name: place.name });
            fail("could-not-open", { detail: error.message });
          }
          place.opened = true;
        } else {
          snapshot = place.copy ? new Blob([place.copy]) : place.file;
        }
        return keep({ place, snapshot, bytes: null });
      }
      if (name === place.backup) {
        let snapshot = null;
        if (place.handle) {
          const backup = await backupSeen(place);
          snapshot = backup && (await backup.getFile().catch(() => null));
        } else if (place.backupBytes) {
          snapshot = new Blob([place.backupBytes]);
        }
        if (!snapshot) noSuchFile();
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
      if (!record.made) fail("not-made-for-writing");
      if (record.bytes.length < offset + bytes.length) {
        const grown = new Uint8Array(offset + bytes.length);
        grown.set(record.bytes);
        record.bytes = grown;
      }
      record.bytes.set(bytes, offset);
    },

    // The file as this patch read it, those bytes changed, in one write. A
    // browser writes a new copy of the file, which takes the file's place
    // when the writer closes (sync), however little is written, and each
    // write costs it a millisecond or more. The copy starts empty: one that
    // starts as the file's old bytes and fails to be made (a full disk) is
    // left beside the file. Nothing in the file may have changed since this
    // patch read it.
    async store(file, length, offsets, values) {
      const record = recordOf(file);
      const { place } = record;
      if (record.backup || record.made) fail("not-opened-for-patching");
      if (!record.bytes) record.bytes = await bytesOf(record.snapshot, 0, record.snapshot.size);
      const patched = record.bytes.slice();
      offsets.forEach((offset, i) => {
        patched[offset] = values[i];
      });
      if (!place.handle) {
        record.pending = patched;
        return;
      }
      // In place, a patch that changes nothing writes nothing.
      if (offsets.length === 0) return;
      let unchanged = false;
      try {
        record.writer = await place.handle.createWritable();
        const now = await place.handle.getFile();
        unchanged = now.size === length && sameBytes(new Uint8Array(await now.arrayBuffer()), record.bytes);
        if (unchanged) await record.writer.write(patched);
      } catch (error) {
        await dropWriter(record);
        await sweep(place);
        fail("could-not-write", { detail: error.message });
      }
      if (!unchanged) {
        await dropWriter(record);
        fail("changed-meanwhile");
      }
    },

    async sync(file) {
      const record = recordOf(file);
      const { place } = record;
      if (record.made) {
        if (record.target) {
          let writer = null;
          try {
            writer = await record.target.createWritable();
            await writer.write(record.bytes);
            await writer.close();
          } catch (error) {
            if (writer) await writer.abort().catch(() => {});
            fail("could-not-write-it", { detail: error.message });
          }
        }
        return;
      }
      if (record.writer) {
        const writer = record.writer;
        record.writer = null;
        try {
          await writer.close();
        } catch (error) {
          await writer.abort().catch(() => {});
          fail("could-not-write", { detail: error.message });
        } finally {
          await sweep(place);
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
        return place.name;
      }
    },

    async close(file) {
      const record = open.get(file);
      open.delete(file);
      if (record) await dropWriter(record);
    },

    discard(file) {
      const record = open.get(file);
      open.delete(file);
      if (record) dropWriter(record);
    },

    // The backup, made under a name of its own first: in the folder chosen
    // for it where the file has a writable handle.
    async createNew(path) {
      const { place, name } = lookUp(path);
      if (!place || !name.startsWith(place.backup)) fail("cannot-make-there");
      if (made.has(path)) fail("exists");
      const record = { made: true, place, path, bytes: new Uint8Array(0) };
      if (place.handle) {
        const { folder } = place;
        if (!folder) fail("no-folder-chosen");
        let taken = false;
        try {
          taken = (await entryIn(folder, name)) !== null;
          if (!taken) record.target = await folder.getFileHandle(name, { create: true });
        } catch (error) {
          fail("could-not-make-in-folder", { folder: folder.name, detail: error.message });
        }
        if (taken) fail("exists");
        Object.assign(record, { folder, name });
      }
      made.set(path, record);
      return keep(record);
    },

    // A file patched in place: what the folder chosen for its backup holds,
    // nothing while none is.
    async whatHasName(path) {
      if (host.isFolder(path)) return 2;
      const { place, name } = lookUp(path);
      if (!place) return 0;
      if (name === place.name) return 1;
      if (name !== place.backup) return made.has(path) ? 1 : 0;
      if (!place.handle) return place.backupBytes ? 1 : 0;
      if (!place.folder) return 0;
      const found = await entryIn(place.folder, name);
      return found === "folder" ? 2 : found ? 1 : 0;
    },

    async rename(from, to) {
      const record = made.get(from);
      const { place, name } = lookUp(to);
      if (!record || place !== record.place || name !== place.backup) fail("cannot-give-name");
      if (record.target) {
        // The browser's move replaces a file of that name: it moves only
        // once nothing has the name, a moment before.
        if (typeof record.target.move !== "function") fail("cannot-rename");
        let found;
        try {
          found = await entryIn(record.folder, name);
          if (found === null) await record.target.move(name);
        } catch (error) {
          fail("could-not-name", { name, detail: error.message });
        }
        if (found === "folder") fail("folder-has-name");
        if (found) return true;
        made.delete(from);
        return false;
      }
      made.delete(from);
      if (place.backupBytes) return true;
      place.backupBytes = record.bytes;
      download(name, record.bytes);
      return "download";
    },

    // The library removes a backup it could not finish, or one another
    // editor made first.
    async remove(path) {
      const record = made.get(path);
      made.delete(path);
      if (record && record.target) await record.folder.removeEntry(record.name).catch(() => {});
    },

    isFolder(path) {
      const match = /^\/(\d+)$/.exec(path);
      return Boolean(match && places.has(Number(match[1])));
    },

    // A place, by its folder: the file given there, and whether the page
    // may write it where it is.
    placeName: (folder) => (host.isFolder(folder) ? placeAt(folder).name : null),
    inPlace: (folder) => host.isFolder(folder) && Boolean(placeAt(folder).handle),

    // The browser's leave for the file or the folder offered for its
    // backup, as it is, or asked for: a prompt opens only straight after
    // a click.
    async leave(folder, what, request) {
      const place = placeAt(folder);
      // The page's own copy of a file given as its bytes needs no leave.
      if (what === "file" && !place.handle) return "granted";
      const handle = what === "file" ? place.handle : place.offered && place.offered.folder;
      if (!handle) noSuchFile();
      if (!handle.queryPermission) return "granted";
      if (!request) return handle.queryPermission(READ_WRITE);
      if (navigator.userActivation && !navigator.userActivation.isActive) return "needs-click";
      try {
        return await handle.requestPermission(READ_WRITE);
      } catch (error) {
        if (error.name === "SecurityError") return "needs-click";
        throw error;
      }
    },

    hasBackupFolder: (folder) => Boolean(placeAt(folder).folder),

    async offerRememberedFolder(folder) {
      const place = placeAt(folder);
      place.offered = await backupFolders.of(place.handle);
      return place.offered ? place.offered.folder.name : null;
    },

    offeredFolderStillThere: (folder) => stillThere(placeAt(folder).offered.folder),

    async forgetOfferedFolder(folder) {
      const place = placeAt(folder);
      await backupFolders.forget(place.offered);
      place.offered = null;
    },

    canPickFolder: () => typeof window.showDirectoryPicker === "function",

    // The browser's folder dialog starts beside the file; its name, or null
    // where the player closed it.
    async pickFolder(folder) {
      const place = placeAt(folder);
      try {
        const picked = await window.showDirectoryPicker({ id: "nation-backup", mode: "readwrite", startIn: place.handle });
        place.offered = { folder: picked };
        return picked.name;
      } catch (error) {
        if (error.name === "AbortError") return null;
        throw error;
      }
    },

    async takeOfferedFolder(folder, remember) {
      const place = placeAt(folder);
      place.folder = place.offered.folder;
      place.offered = null;
      if (remember) await backupFolders.remember(place.handle, place.folder);
    },

    say: (key, names, declinable) => player.say(key, names, declinable),
    note: (key, names) => player.note(key, names),
    status: (key, names) => player.status(key, names),
  };

  return {
    host,
    handOverDownloads,
    // A file the browser gave a writable handle for, or only its bytes.
    addHandle: (handle) => addPlace({ name: handle.name, handle, file: null }),
    addFile: (file) => addPlace({ name: file.name, handle: null, file }),
    // The handle of the file in a folder, for the dialog to start beside it.
    handleIn(folder) {
      const match = /^\/(\d+)$/.exec(folder || "");
      const place = match && places.get(Number(match[1]));
      return place ? place.handle : null;
    },
    setPlayer(shown) {
      player = shown;
    },
  };
}
