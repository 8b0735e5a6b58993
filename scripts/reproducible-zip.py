#!/usr/bin/env python3
"""Writes a zip for players, the same bytes from the same files on any
machine: entries in the order given, a folder's files by name, each dated
SOURCE_DATE_EPOCH (the last commit's time in a release; 1 January 1980, the
earliest a zip can say, otherwise), with fixed permissions. The players'
zip of the Windows program and the page's zip are both written by it.

Usage: reproducible-zip.py ZIP ENTRY...
  NAME=FILE       FILE, named NAME in the zip
  FOLDER=DIR      each file of DIR, by name, under FOLDER/ in the zip
  --sha256 NAME   NAME.sha256: the SHA-256 of the entry NAME as
                  `sha256sum --check` reads it, with Windows line breaks
"""
import hashlib
import os
import sys
import time
import zipfile


def entries_of(arguments):
    entries = {}
    words = iter(arguments)
    for word in words:
        if word == "--sha256":
            name = next(words)
            digest = hashlib.sha256(entries[name]).hexdigest()
            entries[name + ".sha256"] = f"{digest} *{os.path.basename(name)}\r\n".encode()
            continue
        name, _, path = word.partition("=")
        if os.path.isdir(path):
            for file in sorted(os.listdir(path)):
                with open(os.path.join(path, file), "rb") as content:
                    entries[f"{name}/{file}"] = content.read()
        else:
            with open(path, "rb") as content:
                entries[name] = content.read()
    return entries


def main(archive, *arguments):
    epoch = max(int(os.environ.get("SOURCE_DATE_EPOCH", "0")), 315532800)
    stamp = time.gmtime(epoch)[:6]
    # Written beside the zip, then put in its place: a build stopped halfway
    # leaves no zip that looks whole.
    with zipfile.ZipFile(archive + ".partial", "w") as out:
        for name, content in entries_of(arguments).items():
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3
            info.external_attr = 0o644 << 16
            out.writestr(info, content, compresslevel=9)
    os.replace(archive + ".partial", archive)


if __name__ == "__main__":
    main(*sys.argv[1:])
