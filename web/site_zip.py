#!/usr/bin/env python3
"""Writes the page's zip for players and web hosts: the site folder's files
under one folder of the zip, with README.txt beside them, the same bytes
from the same files on any machine: entries in a fixed order, each dated
SOURCE_DATE_EPOCH (the last commit's time in a release; 1 January 1980, the
earliest a zip can say, otherwise), with fixed permissions.

Usage: site_zip.py SITE README ZIP
"""
import os
import sys
import time
import zipfile

site, readme, archive = sys.argv[1:4]
epoch = max(int(os.environ.get("SOURCE_DATE_EPOCH", "0")), 315532800)
stamp = time.gmtime(epoch)[:6]
top = os.path.basename(archive)[:-len(".zip")]
entries = [("README.txt", open(readme, "rb").read())]
entries += [(name, open(os.path.join(site, name), "rb").read()) for name in sorted(os.listdir(site))]
with zipfile.ZipFile(archive + ".partial", "w") as page:
    for entry, content in entries:
        info = zipfile.ZipInfo(f"{top}/{entry}", date_time=stamp)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.create_system = 3
        info.external_attr = 0o644 << 16
        page.writestr(info, content, compresslevel=9)
os.replace(archive + ".partial", archive)
