// Stand-ins for what the page's files host asks of a browser, in memory:
// file and folder handles as the File System Access API gives them (a
// writer that fills a copy of its own, which takes the file's place when it
// closes), the folder dialog, the player's last click, and downloads.
import { resolveObjectURL } from "node:buffer";

const notFound = (name) => new DOMException(`${name} is not there`, "NotFoundError");

class Handle {
  constructor(name, folder) {
    this.name = name;
    this.folder = folder;
    this.permission = "granted";
    this.asked = 0; // how often the page asked for leave to write
    this.refuses = null; // the error a request for leave throws
  }

  async isSameEntry(other) {
    return other === this;
  }

  async queryPermission() {
    return this.permission;
  }

  async requestPermission() {
    this.asked += 1;
    if (this.refuses) throw this.refuses;
    if (this.permission === "prompt") this.permission = this.answer || "granted";
    return this.permission;
  }
}

export class FakeFile extends Handle {
  kind = "file";

  constructor(name, bytes, folder = null) {
    super(name, folder);
    this.bytes = Uint8Array.from(bytes);
    this.gone = null; // the error getFile() throws: a link, a file moved
    this.full = false; // a full disk: each write fails
  }

  async getFile() {
    if (this.gone) throw this.gone;
    return new File([this.bytes], this.name);
  }

  async createWritable() {
    const file = this;
    let copy = new Uint8Array(0);
    return {
      async write(bytes) {
        if (file.full) throw new DOMException("the disk is full", "QuotaExceededError");
        const grown = new Uint8Array(copy.length + bytes.length);
        grown.set(copy);
        grown.set(bytes, copy.length);
        copy = grown;
      },
      async close() {
        file.bytes = copy;
      },
      async abort() {},
    };
  }

  async move(name) {
    this.folder.entries.delete(this.name);
    this.name = name;
    this.folder.entries.set(name, this);
  }
}

export class FakeFolder extends Handle {
  kind = "directory";

  constructor(name, entries = {}) {
    super(name, null);
    this.entries = new Map();
    for (const [entry, bytes] of Object.entries(entries)) {
      this.entries.set(entry, bytes === "folder" ? new FakeFolder(entry) : new FakeFile(entry, bytes, this));
    }
  }

  file(name) {
    return this.entries.get(name);
  }

  async getFileHandle(name, { create = false } = {}) {
    const found = this.entries.get(name);
    if (found && found.kind !== "file") throw new DOMException(`${name} is a folder`, "TypeMismatchError");
    if (found) return found;
    if (!create) throw notFound(name);
    const made = new FakeFile(name, [], this);
    this.entries.set(name, made);
    return made;
  }

  async removeEntry(name) {
    if (!this.entries.delete(name)) throw notFound(name);
  }

  async *keys() {
    yield* this.entries.keys();
  }

  async resolve(handle) {
    return this.entries.get(handle.name) === handle ? [handle.name] : null;
  }
}

// The browser the files host runs in: `browser.folderChosen` is what the
// folder dialog gives (a folder, null for a cancel, or an error it throws);
// what it was asked and what was downloaded are kept.
export const browser = {
  folderChosen: null,
  folderAsked: [],
  downloads: [],

  reset() {
    this.folderChosen = null;
    this.folderAsked = [];
    this.downloads = [];
  },

  // The bytes of each download, by name, in the order handed over.
  async downloaded() {
    const found = [];
    for (const { name, address } of this.downloads) {
      found.push([name, new Uint8Array(await resolveObjectURL(address).arrayBuffer())]);
    }
    return found;
  },
};

globalThis.window = {
  async showDirectoryPicker(options) {
    browser.folderAsked.push(options);
    if (!browser.folderChosen) throw new DOMException("no folder chosen", "AbortError");
    if (browser.folderChosen instanceof Error) throw browser.folderChosen;
    return browser.folderChosen;
  },
};
// Newer Nodes have a navigator of their own, which can't be assigned.
Object.defineProperty(globalThis, "navigator", {
  value: { userActivation: { isActive: true } },
  configurable: true,
  writable: true,
});
globalThis.document = {
  createElement: () => ({
    click() {
      browser.downloads.push({ name: this.download, address: this.href });
    },
    remove() {},
  }),
  body: { append() {} },
};
// A download's address is let go a minute later: the tests wait for no
// such timer.
const later = globalThis.setTimeout;
globalThis.setTimeout = (act, delay) => {
  const timer = later(act, delay);
  timer.unref();
  return timer;
};
