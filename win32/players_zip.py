#!/usr/bin/env python3
"""Writes the players' zip: the program file, README.txt and the program
file's SHA-256, the same bytes from the same program file on any machine:
entries in a fixed order, each dated SOURCE_DATE_EPOCH (the last commit's
time in a release; 1 January 1980, the earliest a zip can say, otherwise),
with fixed permissions.

Usage: players_zip.py PROGRAM README ZIP
"""
import hashlib
import os
import sys
import time
import zipfile

program, readme, archive = sys.argv[1:4]
epoch = max(int(os.environ.get("SOURCE_DATE_EPOCH", "0")), 315532800)
stamp = time.gmtime(epoch)[:6]
name = os.path.basename(program)
data = open(program, "rb").read()
entries = [
    (name, data),
    ("README.txt", open(readme, "rb").read()),
    (name + ".sha256", f"{hashlib.sha256(data).hexdigest()} *{name}\r\n".encode()),
]
with zipfile.ZipFile(archive + ".partial", "w") as players:
    for entry, content in entries:
        info = zipfile.ZipInfo(entry, date_time=stamp)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.create_system = 3
        info.external_attr = 0o644 << 16
        players.writestr(info, content, compresslevel=9)
os.replace(archive + ".partial", archive)
