// The files' host of the library's web build (nationfile/OsFileWeb.cpp) for
// the tests under Node: the machine's own files, by path, with the checks
// and the words of the POSIX build, so that the same tables hold. The page
// has a host of its own (web/page/files.js).
Module.nationFiles = (() => {
  const fs = require("fs");
  const path = require("path");
  const open = new Map();
  let last = 0;

  // The system's words for an error, as the library's own strerror has them.
  const words = (error) => {
    const code = typeof ERRNO_CODES === "object" ? ERRNO_CODES[error.code] : undefined;
    return new Error(code !== undefined ? UTF8ToString(_strerror(code)) : error.message);
  };
  const attempt = (call) => {
    try {
      return call();
    } catch (error) {
      throw error.code ? words(error) : error;
    }
  };
  const fd = (file) => open.get(file);
  const keep = (descriptor) => {
    open.set(++last, descriptor);
    return last;
  };
  const readOnlyWords =
    "The file is read-only; give yourself permission to write it in your file manager " +
    "(or with chmod u+w), then try again";

  return {
    open(name, writeRequired) {
      // Looked at first, so that a device or a FIFO is never opened for
      // reading, which may block.
      const info = attempt(() => fs.statSync(name));
      if (info.isDirectory()) throw words({ code: "EISDIR", message: "Is a directory" });
      if (!info.isFile()) throw new Error("Not a regular file");
      const readOnly = (info.mode & 0o222) === 0;
      if (readOnly && writeRequired) throw new Error(readOnlyWords);
      const flags = (access) => access | fs.constants.O_NONBLOCK | fs.constants.O_NOCTTY;
      let descriptor;
      try {
        descriptor = fs.openSync(name, flags(readOnly ? fs.constants.O_RDONLY : fs.constants.O_RDWR));
      } catch (error) {
        if (readOnly || writeRequired || !["EACCES", "EPERM", "EROFS"].includes(error.code)) throw words(error);
        descriptor = attempt(() => fs.openSync(name, flags(fs.constants.O_RDONLY)));
      }
      if (!fs.fstatSync(descriptor).isFile()) {
        fs.closeSync(descriptor);
        throw new Error("Not a regular file");
      }
      return keep(descriptor);
    },
    createNew(name) {
      try {
        return keep(fs.openSync(name, "wx", 0o666));
      } catch (error) {
        if (!["EACCES", "EPERM", "EROFS"].includes(error.code)) throw words(error);
        const folder = path.dirname(name);
        throw new Error(`the folder "${folder}" refuses new files (${words(error).message})`);
      }
    },
    size: (file) => attempt(() => fs.fstatSync(fd(file)).size),
    identity: (file) => attempt(() => fs.fstatSync(fd(file)).ino),
    read(file, offset, length) {
      const bytes = new Uint8Array(length);
      for (let done = 0; done < length; ) {
        const got = attempt(() => fs.readSync(fd(file), bytes, done, length - done, offset + done));
        if (got === 0) throw new Error("The file became shorter while it was being read");
        done += got;
      }
      return bytes;
    },
    write(file, offset, bytes) {
      for (let done = 0; done < bytes.length; )
        done += attempt(() => fs.writeSync(fd(file), bytes, done, bytes.length - done, offset + done));
    },
    store(file, length, offsets, values) {
      if (fs.fstatSync(fd(file)).size < length) throw new Error("The file became shorter while it was written");
      offsets.forEach((offset, i) => attempt(() => fs.writeSync(fd(file), values, i, 1, offset)));
    },
    sync: (file) => attempt(() => fs.fsyncSync(fd(file))),
    close(file) {
      const descriptor = fd(file);
      open.delete(file);
      attempt(() => fs.closeSync(descriptor));
    },
    discard(file) {
      const descriptor = fd(file);
      open.delete(file);
      if (descriptor !== undefined) {
        try {
          fs.closeSync(descriptor);
        } catch (error) {}
      }
    },
    whatHasName(name) {
      try {
        fs.lstatSync(name);
      } catch (error) {
        return 0;
      }
      try {
        const info = fs.statSync(name);
        return info.isFile() ? 1 : info.isDirectory() ? 2 : 3;
      } catch (error) {
        return 3;
      }
    },
    // A hard link fails rather than replace `to`.
    rename(from, to) {
      try {
        fs.linkSync(from, to);
      } catch (error) {
        if (error.code === "EEXIST") return true;
        throw words(error);
      }
      fs.unlinkSync(from);
      const folder = attempt(() => fs.openSync(path.dirname(to), "r"));
      try {
        fs.fsyncSync(folder);
      } finally {
        fs.closeSync(folder);
      }
      return false;
    },
    remove(name) {
      try {
        fs.unlinkSync(name);
      } catch (error) {}
    },
    isFolder(name) {
      try {
        return fs.statSync(name).isDirectory();
      } catch (error) {
        return false;
      }
    },
  };
})();
