#!/usr/bin/python3
"""Checks the Windows program file as players get it: 32-bit x86, a GUI
program for Windows XP (subsystem 5.01) and later, small, importing only
what Windows XP SP3 has (xp-sp3-imports.txt), with no link time in it, its
own icon in 16 x 16 and 32 x 32 as the first icon group, a version record of
1.02, and the manifest; and that none of our own code calls an ANSI (...A)
function.

And the players' zip: the program file as built, README.txt with Windows
line breaks, and the program file's SHA-256.

Usage: check_program.py PROGRAM.EXE ZIP NM OBJECT-OR-LIBRARY...
"""
import os
import hashlib
import struct
import subprocess
import sys
import zipfile

import pefile

failures = []


def xp_sp3_imports():
    """DLL -> the functions of it that XP SP3 is known to have."""
    known = {}
    dll = None
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "xp-sp3-imports.txt")
    for line in open(path):
        line = line.split("#")[0]
        if not line.strip():
            continue
        if not line[0].isspace():
            dll, line = line.split(":", 1)
            dll = dll.strip().lower()
        known.setdefault(dll, set()).update(line.split())
    return known


def check(condition, what):
    print(("ok     " if condition else "FAILED ") + what, flush=True)
    if not condition:
        failures.append(what)


def resource(pe, kind, ident):
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id != kind:
            continue
        for named in entry.directory.entries:
            if named.id == ident:
                data = named.directory.entries[0].data.struct
                return pe.get_data(data.OffsetToData, data.Size)
    return None


def first_icon_group(pe):
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id == pefile.RESOURCE_TYPE["RT_GROUP_ICON"]:
            return resource(pe, entry.id, entry.directory.entries[0].id)
    return None


def check_header(pe, data):
    check(pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"], "a 32-bit x86 program")
    optional = pe.OPTIONAL_HEADER
    check(optional.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"], "a window program, no console")
    versions = [(optional.MajorSubsystemVersion, optional.MinorSubsystemVersion),
                (optional.MajorOperatingSystemVersion, optional.MinorOperatingSystemVersion)]
    check(versions == [(5, 1), (5, 1)], f"subsystem and system version 5.01, Windows XP: {versions}")
    check(pe.FILE_HEADER.TimeDateStamp == 0, f"no link time: {pe.FILE_HEADER.TimeDateStamp}")
    check(len(data) < 1024 * 1024, f"under 1 MB: {len(data)} bytes")


def check_imports(pe):
    known = xp_sp3_imports()
    lacking = []
    for entry in pe.DIRECTORY_ENTRY_IMPORT:
        dll = entry.dll.decode().lower()
        names = [item.name.decode() if item.name else f"#{item.ordinal}" for item in entry.imports]
        print(f"imports from {dll}: {len(names)}")
        lacking += [f"{dll}!{name}" for name in names if name not in known.get(dll, set())]
    check(not lacking, f"imports only what Windows XP SP3 has: {lacking} besides")


def check_icon(pe):
    group = first_icon_group(pe)
    check(group is not None, "an icon group")
    if group:
        count = struct.unpack_from("<HHH", group)[2]
        sizes = set()
        for i in range(count):
            width, height = struct.unpack_from("<BB", group, 6 + 14 * i)
            sizes.add((width or 256, height or 256))
        check({(16, 16), (32, 32)} <= sizes, f"the first icon group holds 16 x 16 and 32 x 32: {sorted(sizes)}")


def check_version(pe):
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for block in info:
            for table in getattr(block, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    fixed = pe.VS_FIXEDFILEINFO[0]
    check(strings.get("FileVersion") == "1.02" and strings.get("ProductVersion") == "1.02",
          f"file and product version 1.02: {strings.get('FileVersion')}, {strings.get('ProductVersion')}")
    check((fixed.FileVersionMS, fixed.ProductVersionMS) == (0x00010002, 0x00010002),
          "the version numbers read 1.2.0.0, as v1.2 on the window")


def check_manifest(pe):
    manifest = resource(pe, pefile.RESOURCE_TYPE["RT_MANIFEST"], 1)
    manifest = manifest.decode() if manifest else ""
    for wanted in ('level="asInvoker"', 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
                   'processorArchitecture="x86"', "PerMonitorV2", "true/pm",
                   "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"):
        check(wanted in manifest, f"the manifest names {wanted}")


def check_no_ansi(nm, ours):
    ansi = set()
    check(len(ours) >= 4, f"our own code to look at: {len(ours)} files")
    for path in ours:
        undefined = subprocess.run([nm, "-u", path], capture_output=True, text=True).stdout.split()
        ansi |= {name[len("__imp_"):] for name in undefined
                 if name.startswith("__imp_") and name.endswith("A") and name[-2].islower()}
    check(not ansi, f"no ANSI call in our own code: {sorted(ansi)}")


def check_zip(archive, data):
    with zipfile.ZipFile(archive) as players:
        names = sorted(players.namelist())
        check(names == ["README.txt", "nation-editor.exe", "nation-editor.exe.sha256"], f"the zip holds {names}")
        check(players.read("nation-editor.exe") == data, "the zip's program file is the one built")
        readme = players.read("README.txt")
        check(b"\r\n" in readme and b"\n" not in readme.replace(b"\r\n", b""), "README.txt has Windows line breaks")
        check(players.read("nation-editor.exe.sha256").split()[0].decode() == hashlib.sha256(data).hexdigest(),
              "the SHA-256 in the zip is the program file's")


def main():
    program, archive, nm = sys.argv[1:4]
    # CMake hands a target's objects over as one ;-separated list.
    ours = [path for arg in sys.argv[4:] for path in arg.split(";") if path.endswith((".a", ".obj"))]
    data = open(program, "rb").read()
    pe = pefile.PE(data=data)
    check_header(pe, data)
    for step in (check_imports, check_icon, check_version, check_manifest):
        step(pe)
    check_no_ansi(nm, ours)
    check_zip(archive, data)
    print(f"{len(failures)} failed" if failures else "all checks passed")
    return 1 if failures else 0

if __name__ == "__main__":
    sys.exit(main())
