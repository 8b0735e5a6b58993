#!/usr/bin/env python3
"""The Linux editor end to end: Qt's X11 platform on Xvfb, under a window
manager (openbox), driven from outside by xdotool (see e2e_scenario.py).
Exits 77 (skipped) when Xvfb, openbox or one of the X tools is missing.

Usage: e2e_window.py PATH-TO-EDITOR PATH-TO-MAKE-SAMPLE-NATION
"""
import os
import subprocess
import sys
import time

import e2e_scenario as e2e

EDITOR = os.path.abspath(sys.argv[1])
MAKE_SAMPLE = os.path.abspath(sys.argv[2])


# The window managers the editor is tried under: openbox for the whole
# scenario; xfwm4 (Xfce) and metacity (of GNOME's family) beside another
# program, for Alt+Tab and the activation after a dialog.
WINDOW_MANAGERS = {
    "openbox": ["openbox", "--sm-disable"],
    # xfwm4 keeps its settings behind a session bus.
    "xfwm4": ["dbus-run-session", "--", "xfwm4", "--compositor=off"],
    "metacity": ["metacity", "--replace"],
}


def start_window_manager(env, name):
    """Starts a window manager and waits until it has taken the screen."""
    wm = subprocess.Popen(WINDOW_MANAGERS[name], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        probe = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env, capture_output=True,
                               text=True)
        if "window id" in probe.stdout:
            break
        time.sleep(0.05)
    time.sleep(0.5)
    return wm


def stop(program):
    program.terminate()
    try:
        program.wait(timeout=10)
    except subprocess.TimeoutExpired:
        program.kill()
        program.wait()


class QtWindow(e2e.Window):
    def check_frame(self, desktop, window, what):
        """The window manager offers neither minimise nor maximise, and
        under openbox the window has no taskbar button of its own."""
        allowed = desktop.atoms(window, "_NET_WM_ALLOWED_ACTIONS")
        offered = [a for a in allowed
                   if a.split("_ACTION_")[-1] in ("MINIMIZE", "MAXIMIZE_HORZ", "MAXIMIZE_VERT", "FULLSCREEN")]
        e2e.check("_NET_WM_ACTION_CLOSE" in allowed and not offered,
                  f"{what}: the window manager offers close and neither minimise nor maximise {offered}")
        e2e.check("_NET_WM_STATE_SKIP_TASKBAR" in desktop.atoms(window, "_NET_WM_STATE"),
                  f"{what}: no taskbar button of its own")


def main():
    if e2e.missing_tools(["Xvfb", "openbox", "xfwm4", "metacity", "dbus-run-session", "xdotool", "xprop", "xwd",
                          "xclip", "xmessage"]):
        return e2e.SKIPPED
    space = e2e.Workspace([MAKE_SAMPLE])
    xvfb_log = os.path.join(space.root, "xvfb.log")
    xvfb, display = e2e.start_xvfb(xvfb_log)
    if xvfb is None:
        print("FAILED: no display number free for Xvfb")
        return 1
    env = {k: v for k, v in os.environ.items() if not k.startswith(("QT_", "DBUS_", "XDG_CURRENT"))}
    # A home of its own: the editor remembers its last folder there.
    env.update(DISPLAY=display, QT_QPA_PLATFORM="xcb", PATH=space.bin + ":" + env.get("PATH", ""),
               XDG_RUNTIME_DIR=space.root, HOME=space.root, XDG_CONFIG_HOME=os.path.join(space.root, "config"))
    desktop = e2e.Desktop(env)
    try:
        for name in WINDOW_MANAGERS:
            wm = start_window_manager(env, name)
            try:
                if name == "openbox":
                    e2e.run([EDITOR], env, desktop, QtWindow(), space)
                e2e.beside_another_program(desktop, lambda arguments: subprocess.Popen(
                    [EDITOR, *arguments], env=env, cwd=space.root), space, name)
            finally:
                stop(wm)
    finally:
        xvfb.terminate()
        xvfb.wait()
        space.remove()
    return e2e.result()


if __name__ == "__main__":
    sys.exit(main())
