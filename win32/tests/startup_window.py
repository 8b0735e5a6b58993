#!/usr/bin/env python3
"""Start-up of the Windows window under Wine, from the start of its process
to its first paint, beside a plain window of the same toolkit with the same
controls (startup_probe.exe): medians of seven starts each, taken in turn.
Fails when the editor takes more than 1.2 times the plain window.

Usage: startup_window.py WINE-RUN PREFIX STARTUP-PROBE-EXE
"""
import os
import statistics
import subprocess
import sys
import time

WINE_RUN, PREFIX, PROBE = sys.argv[1:4]


def start(which):
    begun = time.monotonic()
    # No pipe for its output: Wine's services, which outlive the program,
    # would keep it open.
    finished = subprocess.run([WINE_RUN, PREFIX, PROBE, which], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    if finished.returncode != 0:
        sys.exit(f"FAILED: the {which} window did not start")
    return (time.monotonic() - begun) * 1000


# Wine's server and services start with the first program and stop a few
# seconds after the last: both windows are timed with them running, as on
# Windows, where the system is up before any program starts.
server = dict(os.environ, WINEPREFIX=PREFIX)
subprocess.run(["wineserver", "-p"], env=server)
try:
    for which in ("editor", "plain"):
        start(which)
    times = {"editor": [], "plain": []}
    for _ in range(7):
        for which in times:
            times[which].append(start(which))
finally:
    subprocess.run(["wineserver", "-k"], env=server)
editor, plain = statistics.median(times["editor"]), statistics.median(times["plain"])
ratio = editor / plain
print(f"start-up to the first paint under Wine, medians of 7: the editor {editor:.0f} ms, "
      f"a plain window with the same controls {plain:.0f} ms: {ratio:.2f}x (target <= 1.2x)")
sys.exit(0 if ratio <= 1.2 else 1)
