#!/usr/bin/env python3
"""The page's speed in Debian's Chromium and Firefox ESR: a nation file
dropped on the page, from the drop to its nations listed and laid out, and
to the next frame painted, at 213 nations (the 01/02 edition's file) and at
32,767 (as many as the list holds), the latter beside its floor (the same
bytes read from the file, and a frame); and at 213 nations the player's
actions on the list, each to the list laid out again. Medians of ten, after
one to warm up, two files taking turns so that each load replaces the list.
Prints a table per browser with the targets, and fails when one is missed.

Usage: bench_page.py SITE [SAME_STEPS]"""
import base64
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "..", "testing")]

from browser import BrowserMissing, Page, browser_missing  # noqa: E402
from e2e_scenario import nation_file  # noqa: E402

RUNS = 10
ENGINES = ("chromium", "firefox")
# nations -> the most milliseconds from the drop to the list painted
TARGETS = {213: 100.0, 32767: 300.0}
# The load at 32,767 nations at most this many times its floor: the same
# bytes read from the dropped file, and one frame.
FLOOR_TIMES = 3.0
# At 213 nations each action's work, to the list laid out again, within
# one frame at 60 frames a second.
FRAME_MS = 1000 / 60

MEASURE = """
const [name, data, count, first] = args;
const bytes = Uint8Array.from(atob(data), (c) => c.charCodeAt(0));
const list = document.querySelector('#lstNations .rows');
const dropped = new DataTransfer();
dropped.items.add(new File([bytes], name));
const started = performance.now();
let listed = 0;
await new Promise((resolve) => {
    const watch = new MutationObserver(() => {
        const row = list.querySelector('.row');
        if (row && list.getAttribute('aria-rowcount') === String(count) && row.textContent === first) {
            watch.disconnect();
            void list.getBoundingClientRect().height;
            listed = performance.now();
            resolve();
        }
    });
    watch.observe(list, {subtree: true, childList: true, attributes: true, characterData: true});
    list.dispatchEvent(new DragEvent('drop', {dataTransfer: dropped, bubbles: true, cancelable: true}));
});
await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
return [listed - started, performance.now() - started];
"""

# The least a load can take: the dropped file's bytes read, and a frame.
FLOOR = """
const [name, data] = args;
const file = new File([Uint8Array.from(atob(data), (c) => c.charCodeAt(0))], name);
const started = performance.now();
await file.arrayBuffer();
await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
return performance.now() - started;
"""

# One action of the player's on the list, from its event to the list laid
# out again: Space ticks the current row, a letter finds a nation, a click
# on Make All ticks them all.
ACTION = """
const [action] = args;
const list = document.querySelector('#lstNations .rows');
list.focus();
const key = (key) => list.dispatchEvent(new KeyboardEvent('keydown', {key, bubbles: true, cancelable: true}));
const started = performance.now();
if (action === 'make all') document.getElementById('cmdAllEEC').click();
else key(action === 'tick' ? ' ' : 's');
await Promise.resolve();
void list.getBoundingClientRect().height;
return performance.now() - started;
"""
ACTIONS = ("tick", "find", "make all")


def files_of(count, same_steps, root):
    """Two files of `count` nations whose first names differ."""
    if count == 213 and same_steps and os.access(same_steps, os.X_OK):
        path = os.path.join(root, "edition.dat")
        subprocess.run([same_steps, "--edition-0102", path], check=True)
        edition = open(path, "rb").read()
        other = nation_file(["Other"] + [f"Nation {i}" for i in range(1, count)], [1] * count)
        return [(edition, "Afghanistan"), (other, "Other")]
    return [(nation_file([f"{prefix} {i}" for i in range(count)], [1 + i % 2 for i in range(count)]), f"{prefix} 0")
            for prefix in ("Nation", "Other")]


def median_of(measure):
    """The median of RUNS measures, after one to warm up."""
    return statistics.median([measure(run) for run in range(RUNS + 1)][1:])


def loads(page, count, same_steps, root):
    """(listed, painted, floor) medians for files of `count` nations; the
    last file loaded stays listed."""
    turns = [(base64.b64encode(data).decode(), first) for data, first in files_of(count, same_steps, root)]
    took = [page.js_async(MEASURE, "Nation.dat", turns[run % 2][0], count, turns[run % 2][1])
            for run in range(RUNS + 1)][1:]
    floor = median_of(lambda run: page.js_async(FLOOR, "Nation.dat", turns[0][0]))
    return statistics.median(t[0] for t in took), statistics.median(t[1] for t in took), floor


def measure_engine(engine, site, same_steps, root):
    """The engine's version and its figures: {count: (listed, painted,
    floor)}, {action: ms} at 213 nations."""
    with Page(site, os.path.join(root, engine), engine) as page:
        page.open()
        figures = {count: loads(page, count, same_steps, root) for count in (32767, 213)}
        actions = {action: median_of(lambda run: page.js_async(ACTION, action)) for action in ACTIONS}
        return page.engine.version(), figures, actions


def report(engine, version, figures, actions):
    """Prints the engine's table; the targets it missed."""
    missed = [f"{count} nations painted" for count, most in TARGETS.items() if figures[count][1] >= most]
    ratio = figures[32767][1] / figures[32767][2]
    if ratio > FLOOR_TIMES:
        missed.append("32767 nations against the floor")
    missed += [action for action, took in actions.items() if took >= FRAME_MS]
    print(f"\nThe page in {engine} {version}, a file dropped on it, medians of {RUNS}:")
    print(f"{'page':34} {'213 nations ms':>15} {'32767 nations ms':>17}  target")
    print(f"{'load, listed and laid out':34} {figures[213][0]:>15.1f} {figures[32767][0]:>17.1f}")
    target = ", ".join(f"< {most:.0f} ms" for most in TARGETS.values())
    print(f"{'load, painted':34} {figures[213][1]:>15.1f} {figures[32767][1]:>17.1f}  {target}")
    print(f"{'floor: the bytes read, one frame':34} {figures[213][2]:>15.1f} {figures[32767][2]:>17.1f}")
    print(f"{'load / floor':34} {'':>15} {ratio:>16.1f}x  <= {FLOOR_TIMES:.0f}x")
    for action, took in actions.items():
        print(f"{action + ', laid out':34} {took:>15.2f} {'':>17}  < {FRAME_MS:.1f} ms (one frame)")
    if missed:
        print(f"MISSED: {', '.join(missed)}")
    return missed


def main():
    site = sys.argv[1]
    same_steps = sys.argv[2] if len(sys.argv) > 2 else None
    missing = browser_missing()
    if missing:
        print(f"bench_page: {missing}")
        return 1
    root = tempfile.mkdtemp(prefix="bench-page-")
    missed = []
    try:
        for engine in ENGINES:
            os.makedirs(os.path.join(root, engine))
            try:
                missed += report(engine, *measure_engine(engine, site, same_steps, root))
            except BrowserMissing as why:
                print(f"bench_page: {engine}: {why}")
                missed.append(engine)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
