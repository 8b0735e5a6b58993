// A file dropped on the page opens, as the dialog's would. `host` lends it
// files: the files host; idle(): whether the player may act; load(path):
// the program's load of a file the host named.
export function acceptDrops(host) {
  const { files } = host;
  document.addEventListener("dragover", (event) => {
    if (event.dataTransfer && [...event.dataTransfer.types].includes("Files")) {
      event.preventDefault();
      event.dataTransfer.dropEffect = host.idle() ? "copy" : "none";
    }
  });
  document.addEventListener("drop", async (event) => {
    const items = event.dataTransfer ? [...event.dataTransfer.items].filter((item) => item.kind === "file") : [];
    event.preventDefault();
    if (items.length !== 1 || !host.idle()) return;
    // Both asked for at once: the drop's items are gone after this event.
    const handle = items[0].getAsFileSystemHandle ? items[0].getAsFileSystemHandle() : null;
    const file = items[0].getAsFile();
    const writable = handle ? await handle.catch(() => null) : null;
    const path = writable && writable.kind === "file" ? files.addHandle(writable) : file ? files.addFile(file) : "";
    if (path) host.load(path);
  });
}
