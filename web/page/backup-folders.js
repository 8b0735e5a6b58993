// The folder each file's backup is kept in, by the file's handle, in this
// browser's IndexedDB (which keeps handles) from one visit to the next; in
// this visit alone where the browser keeps no IndexedDB for the page.
// IndexedDB's own calls rather than a kept library's (idb-keyval): a
// file's entry is found by isSameEntry, one entry at a time, which no key
// lookup does, so the library would save the two short functions below
// and add a pinned package, copied into the one page opened from the
// disk.
export function createBackupFolders() {
  const STORE = "backup-folders";
  const unstored = [];

  function database() {
    return new Promise((resolve, reject) => {
      const request = indexedDB.open("nation-editor", 1);
      request.onupgradeneeded = () =>
        request.result.createObjectStore(STORE, { keyPath: "id", autoIncrement: true });
      request.onsuccess = () => resolve(request.result);
      request.onerror = () => reject(request.error);
    });
  }

  async function stored(mode, act) {
    const db = await database();
    try {
      return await new Promise((resolve, reject) => {
        const transaction = db.transaction(STORE, mode);
        const request = act(transaction.objectStore(STORE));
        transaction.oncomplete = () => resolve(request.result);
        transaction.onerror = transaction.onabort = () => reject(transaction.error);
      });
    } finally {
      db.close();
    }
  }

  // Read afresh each time: another tab of the page may have chosen one.
  async function entries() {
    const kept = await stored("readonly", (store) => store.getAll()).catch(() => []);
    return [...kept, ...unstored];
  }

  const folders = {
    async of(file) {
      for (const entry of await entries()) {
        if (await entry.file.isSameEntry(file).catch(() => false)) return entry;
      }
      return null;
    },

    async remember(file, folder) {
      const old = await folders.of(file);
      if (old) await folders.forget(old);
      await stored("readwrite", (store) => store.add({ file, folder })).catch(() => unstored.push({ file, folder }));
    },

    async forget(entry) {
      if (unstored.includes(entry)) unstored.splice(unstored.indexOf(entry), 1);
      else await stored("readwrite", (store) => store.delete(entry.id)).catch(() => {});
    },
  };
  return folders;
}
