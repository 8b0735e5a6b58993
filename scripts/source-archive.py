#!/usr/bin/env python3
"""The source archive of a release, made from a record of the commit rather
than by git, so that a clone and the unpacked source archive itself make it
the same way and get the same bytes.

The record (RELEASE-SOURCE, the archive's first file) names the commit and
holds its date and its files, each with its mode and git's id of its
content. In a clone it is written from git; the source archive carries it,
so that a release made in the unpacked archive needs no git. The archive
holds the record and the files it names, checked against their ids, in a
fixed order, with the record's modes, owned by root, dated the commit's
date.

Usage: source-archive.py record RECORD       (in a clone: the record of HEAD)
       source-archive.py check RECORD        (fails unless the files are the commit's)
       source-archive.py write RECORD PREFIX ARCHIVE
"""
import gzip
import hashlib
import io
import os
import subprocess
import sys
import tarfile

RECORD_NAME = "RELEASE-SOURCE"
HEADER = """\
# The source of a release of nation-editor: the commit it was made from, the
# commit's date (seconds since 1970, UTC) and its files, each with its mode
# and git's id of its content. scripts/release.sh reads it to make the same
# release again here, without git.
"""
# What a tar entry is for each mode git records; a submodule (160000) has
# no content of its own to put in an archive.
MODES = {"100644": (tarfile.REGTYPE, 0o644), "100755": (tarfile.REGTYPE, 0o755),
         "120000": (tarfile.SYMTYPE, 0o777)}


def fail(message):
    print(f"source archive: {message}", file=sys.stderr)
    sys.exit(1)


def git(*arguments):
    return subprocess.run(["git", *arguments], check=True, capture_output=True).stdout


def record_of_head():
    commit, date = git("log", "-1", "--format=%H %ct", "HEAD").decode().split()
    files = []
    for line in git("ls-tree", "-r", "-z", "--full-tree", "HEAD").split(b"\0")[:-1]:
        fields, path = line.split(b"\t", 1)
        mode, _, blob = fields.decode().split()
        path = path.decode("utf-8", "surrogateescape")
        if mode not in MODES:
            fail(f"{path} is a submodule (mode {mode}); a source archive holds files only")
        if "\n" in path or path == RECORD_NAME:
            fail(f"{path!r} can't be named in the record")
        files.append((mode, blob, path))
    return commit, int(date), files


def write_record(record, commit, date, files):
    with open(record, "w", encoding="utf-8", errors="surrogateescape", newline="\n") as out:
        out.write(HEADER)
        out.write(f"commit {commit}\ndate {date}\n")
        for mode, blob, path in files:
            out.write(f"file {mode} {blob} {path}\n")


def read_record(record):
    commit, date, files = None, None, []
    with open(record, encoding="utf-8", errors="surrogateescape", newline="\n") as lines:
        for number, line in enumerate(lines, 1):
            line = line.rstrip("\n")
            key, _, value = line.partition(" ")
            if line.startswith("#"):
                continue
            if key == "commit":
                commit = value
            elif key == "date" and value.isdigit():
                date = int(value)
            elif key == "file" and value.count(" ") >= 2:
                mode, blob, path = value.split(" ", 2)
                if mode not in MODES:
                    fail(f"{record}:{number}: a mode no archive entry has: {mode}")
                files.append((mode, blob, path))
            else:
                fail(f"{record}:{number}: not a line of a record: {line!r}")
    if commit is None or date is None or not files:
        fail(f"{record} lacks the commit, its date or its files")
    return commit, date, files


def content(mode, path):
    if mode == "120000":
        return os.fsencode(os.readlink(path))
    with open(path, "rb") as source:
        return source.read()


def blob_id(blob, data):
    # Git's id of a content: SHA-1 or, in a repository that uses it, SHA-256.
    digest = hashlib.sha1 if len(blob) == 40 else hashlib.sha256
    return digest(b"blob %d\0" % len(data) + data).hexdigest()


def checked_contents(record, files):
    contents, differ = {}, []
    for mode, blob, path in files:
        try:
            data = content(mode, path)
        except OSError as error:
            differ.append(f"{path}: {error.strerror}")
            continue
        if blob_id(blob, data) != blob:
            differ.append(f"{path}: not the commit's content")
        contents[path] = data
    if differ:
        fail(f"these files are not the ones {record} names, so this is not its commit:\n  "
             + "\n  ".join(differ))
    return contents


def write_archive(record, prefix, archive):
    _, date, files = read_record(record)
    contents = checked_contents(record, files)
    with open(record, "rb") as recorded:
        contents[RECORD_NAME] = recorded.read()
    modes = {path: MODES[mode] for mode, _, path in files}
    modes[RECORD_NAME] = MODES["100644"]
    folders = {""}
    for path in modes:
        while "/" in path:
            path = path.rsplit("/", 1)[0]
            folders.add(path)

    def entry(name, kind, mode):
        info = tarfile.TarInfo(prefix + name)
        info.type, info.mode, info.mtime = kind, mode, date
        info.uid = info.gid = 0
        info.uname = info.gname = "root"
        return info

    def add(tar, name):
        if name in folders:
            tar.addfile(entry(name, tarfile.DIRTYPE, 0o755))
            return
        info = entry(name, *modes[name])
        if info.type == tarfile.SYMTYPE:
            info.linkname = os.fsdecode(contents[name])
            tar.addfile(info)
        else:
            info.size = len(contents[name])
            tar.addfile(info, io.BytesIO(contents[name]))

    # The record first, for whoever lists the archive; the rest by name, each
    # folder before what it holds.
    with open(archive + ".partial", "wb") as raw, \
            gzip.GzipFile(filename="", mode="wb", compresslevel=9, fileobj=raw, mtime=0) as packed, \
            tarfile.open(fileobj=packed, mode="w", format=tarfile.PAX_FORMAT) as tar:
        for name in ["", RECORD_NAME, *sorted(folders.union(modes).difference({"", RECORD_NAME}))]:
            add(tar, name)
    os.replace(archive + ".partial", archive)


def main(arguments):
    match arguments:
        case ["record", record]:
            write_record(record, *record_of_head())
        case ["check", record]:
            checked_contents(record, read_record(record)[2])
        case ["write", record, prefix, archive]:
            write_archive(record, prefix, archive)
        case _:
            print("Usage: " + __doc__.split("Usage: ")[1], end="", file=sys.stderr)
            sys.exit(2)


if __name__ == "__main__":
    main(sys.argv[1:])
