// The program's open-file dialog: the browser's file picker where it hands
// the page writable handles, else the page's file input. `files` is the
// files host, which names each file chosen; `setNote` the dialog's line under the
// window.
export function createOpenDialog(files, setNote) {
  // The browser's own dialog shows no title of the page's: the line under
  // the window says what it is for while it is up.
  async function openDialog(title, description, pattern, folder) {
    const back = document.activeElement;
    const extension = pattern.slice(pattern.lastIndexOf("."));
    setNote(title);
    try {
      if (typeof window.showOpenFilePicker === "function") {
        const options = {
          id: "nation-file",
          types: [{ description, accept: { "application/octet-stream": [extension] } }],
        };
        const start = files.handleIn(folder);
        if (start) options.startIn = start;
        try {
          const [handle] = await window.showOpenFilePicker(options);
          return files.addHandle(handle);
        } catch (error) {
          return "";
        }
      }
      return await chooseWithInput(extension);
    } finally {
      setNote("");
      if (back && back.isConnected) back.focus();
    }
  }

  function chooseWithInput(extension) {
    return new Promise((resolve) => {
      const input = document.getElementById("file-input");
      input.accept = extension;
      input.value = "";
      let settled = false;
      const done = (path) => {
        if (settled) return;
        settled = true;
        input.onchange = null;
        input.oncancel = null;
        resolve(path);
      };
      input.onchange = () => done(input.files.length > 0 ? files.addFile(input.files[0]) : "");
      input.oncancel = () => done("");
      // Where a browser tells no cancel, the page has the keyboard again
      // once the dialog has gone.
      if (!("oncancel" in input))
        window.addEventListener("focus", () => setTimeout(() => done(""), 1000), { once: true });
      input.click();
    });
  }

  return openDialog;
}
