#!/usr/bin/env python3
"""The Windows editor end to end: the program file under Wine on Xvfb,
driven from outside by xdotool (see e2e_desktop.py), playing the scenario
every window plays (e2e_scenario.py). No window manager
runs: the test prefix has Wine draw its own frames. Each case of the
scenario (e2e_scenario.CASES) runs on a display of its own; Wine's server is
ended with the display, and nothing the test started outlives it.

Usage: e2e_window.py CASE PATH-TO-EXE WINE-PREFIX PATH-TO-WINDOW-TEXT-EXE PATH-TO-MAKE-SAMPLE-NATION-EXE
       e2e_window.py --list
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
import e2e_desktop as x
import e2e_scenario as e2e

PREFIX = WINDOW_TEXT = None
WINE_RUN = os.path.join(HERE, "..", "..", "scripts", "wine-run.sh")


class WineWindow(x.Window):
    def path(self, path):
        # Wine shows the Linux file system as drive Z:.
        return "Z:" + path.replace("/", "\\")

    def choose_file(self, desktop, dialog, path, replace):
        super().choose_file(desktop, dialog, path, replace)
        # The name box's own completion list may take the first Enter: a
        # second goes to the dialog only while it is still there.
        if not desktop.wait_gone("Locate your Nation.dat file") and desktop.find("Locate your Nation.dat file"):
            desktop.keys(dialog, "Return")

    def check_message_place(self, desktop, box, window, what):
        # Windows centres a message box on the screen, not over its owner.
        bx, by, bw, bh = desktop.geometry(box)
        width, height = (int(value) for value in desktop.xdotool("getdisplaygeometry"))
        e2e.check(abs(bx + bw // 2 - width // 2) <= 2 and abs(by + bh // 2 - height // 2) <= 2,
                  f"{what} shows in the middle of the screen, as Windows shows message boxes: "
                  f"{(bx, by, bw, bh)}")

    def message_text(self, desktop, box, title):
        # Wine's message box copies nothing: its text is asked of Windows.
        return subprocess.run([WINE_RUN, PREFIX, WINDOW_TEXT, title], env=desktop.env, capture_output=True,
                              text=True, timeout=e2e.START_TIMEOUT).stdout

    def client_origin(self, desktop, window):
        # Wine draws the frame inside the X window: the client area, 601 x
        # 329 at 96 dpi, sits at the bottom, the border's width in from the
        # sides.
        geometry = desktop.xdotool("getwindowgeometry", "--shell", window)
        size = dict(item.split("=") for item in geometry if "=" in item)
        border = (int(size["WIDTH"]) - 601) // 2
        return border, int(size["HEIGHT"]) - 329 - border


def main():
    global PREFIX, WINDOW_TEXT
    if sys.argv[1:] == ["--list"]:
        print("\n".join(e2e.CASES))
        return 0
    case, program, PREFIX, WINDOW_TEXT, make_sample = sys.argv[1], *(os.path.abspath(a) for a in sys.argv[2:6])
    if e2e.missing_tools(["Xvfb", "xdotool", "xwd", "xclip", "wine"]):
        return e2e.SKIPPED
    space = e2e.Workspace([WINE_RUN, PREFIX, make_sample])
    try:
        with x.Session(space.root, dict(os.environ, PATH=space.bin + ":" + os.environ.get("PATH", ""))) as session:
            desktop = x.Desktop(session.env)
            # Without a window manager the focus is given, not asked for.
            desktop.focus_command = "windowfocus"
            try:
                e2e.play(case, x.XDriver(desktop, WineWindow(), [WINE_RUN, PREFIX, program], space), space)
            finally:
                subprocess.run(["wineserver", "-k"], env=dict(session.env, WINEPREFIX=PREFIX))
    finally:
        space.remove()
    return e2e.result()


if __name__ == "__main__":
    sys.exit(main())
