#!/usr/bin/env python3
"""The Linux editor as Orca speaks it (orca_session.py): the editor, on the
test's own desktop with Orca on, driven from the keyboard by xdotool, each
step waited for until Orca has said what a user would hear. Exits 77
(skipped) where Orca, speech-dispatcher's espeak-ng module or a tool of the
desktop is missing.

Usage: e2e_orca.py PATH-TO-EDITOR PATH-TO-MAKE-SAMPLE-NATION
"""
import os
import shutil
import subprocess
import sys
import tempfile

import e2e_desktop
import e2e_scenario as e2e
import orca_session
from orca_session import Message, Shown

EDITOR = os.path.abspath(sys.argv[1])
MAKE_SAMPLE = os.path.abspath(sys.argv[2])

# The preset tried: the EU members of 2020, the fifth year of its submenu,
# which unticks the home nations of the sample file. The words its message
# is known by, loosely, as its wording changes:
PRESET_YEAR = "2020"
PRESET_MESSAGE = Message(["nations are", "members", "European Union in 2020"],
                         ["England, Northern Ireland, Scotland, Wales"])
HOME_NATIONS = {"England", "Northern Ireland", "Scotland", "Wales"}

# Each step: its name, the keys pressed (none: the editor's start), and what
# Orca says, in order, each utterance as it says it (spaces aside) or a
# Message; Orca's echo of each key and more may come between them.
WINDOW = "CM3 99/00 Tallowmere frame."
STEPS = [
    ("start: the window and its Load button", [], [WINDOW, "Load Nations push button."]),
    ("Tab into the list: its name, then the first nation and its tick", ["Tab"],
     ["Nations.", "list.", "Albania check box not checked."]),
    ("Space: the new tick", ["space"], ["checked"]),
    ("Shift+Tab to Load", ["shift+Tab"], ["Load Nations push button."]),
    ("Tab back to the list: the tick told as not yet patched", ["Tab"],
     ["Nations.", "list.", "Albania check box checked.", "changed, not yet patched."]),
    # Orca says nothing as a menu opens, but its log shows the menu: the
    # first Down must not reach the list.
    ("Shift+F10: the context menu", ["shift+F10"], Shown("object:state-changed:showing for [popup menu")),
    ("Down", ["Down"], ["Tick all nations."]),
    ("Down", ["Down"], ["Untick all nations."]),
    ("Down", ["Down"], ["Tick only the EU members of."]),
    ("Right: its submenu", ["Right"], ["1999."]),
    ("Down", ["Down"], ["2004."]),
    ("Down", ["Down"], ["2007."]),
    ("Down", ["Down"], ["2013."]),
    ("Down", ["Down"], [PRESET_YEAR + "."]),
    ("Return: the preset's message", ["Return"], ["alert Cm3 Tallowmere.", PRESET_MESSAGE]),
    ("Return: back in the list", ["Return"], [WINDOW, "Nations.", "list.", "Albania check box not checked."]),
    ("Alt+E: the exit question", ["alt+e"],
     ["alert Cm3 Tallowmere.", "You have not patched the file. Are you sure you want to exit?", "Yes push button."]),
    ("N: back on Exit", ["n"], [WINDOW, "Exit push button."]),
    ("Alt+P: the patch's message", ["alt+p"], ["alert SUCCESS.", "File Patched Succesfully.", "OK push button."]),
    ("Return: back on Patch", ["Return"], [WINDOW, "Patch Nation.dat push button."]),
]


def walk(orca, env):
    """The steps, each waited for until Orca has said it; the walk stops at
    the first step not heard."""
    return all(orca_session.step(orca, env, name, keys, expected)[0] for name, keys, expected in STEPS)


def main():
    if orca_session.missing():
        return e2e.SKIPPED
    root = tempfile.mkdtemp(prefix="e2e-orca-")
    sample = os.path.join(root, "Sample", "Nation.dat")
    os.makedirs(os.path.dirname(sample))
    subprocess.run([MAKE_SAMPLE, sample], check=True, stdout=subprocess.DEVNULL)
    env = dict(orca_session.environment(root), QT_QPA_PLATFORM="xcb")
    try:
        with orca_session.speaking(root, env) as (session, orca):
            if orca:
                play(session.env, orca, sample)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return e2e.result()


def play(env, orca, sample):
    with e2e.running([EDITOR, sample], env) as editor:
        walked = walk(orca, env)
        if walked:
            subprocess.run(["xdotool", "key", "alt+e"], env=env)
            e2e_desktop.ended(editor, "Alt+E after the patch ends the editor")
    if walked:
        members = e2e.EU_2013_IN_SAMPLE - HOME_NATIONS
        ticked = {name for name, member in zip(e2e.names_in(sample), e2e.memberships(sample)) if member == 2}
        e2e.check(ticked == members, f"the patch wrote what Orca told: the members of {PRESET_YEAR}, Albania "
                                     f"unticked ({sorted(ticked ^ members)} differ)")


if __name__ == "__main__":
    sys.exit(main())
