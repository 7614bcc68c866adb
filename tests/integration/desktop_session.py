#!/usr/bin/env python3
"""Runs the real program on a virtual X display with a window manager and a
system tray, and drives it the way a person would: a double-click on the tray
icon makes a note, dragging its strip moves it, and a "/TERMINATE" run ends
the program with every note saved."""

import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir, "scripts"))
from xdesktop import Desktop, wait_for  # noqa: E402


def note_position(path):
    """Left and Top of a note file: version byte, Created (tag + double),
    then two tagged integers."""
    data = open(path, "rb").read()
    assert data[0] == 3 and data[1] == 0x11, "not a current note file"
    pos = 10
    values = []
    for _ in range(2):
        tag = data[pos]
        size = {2: 1, 3: 2, 4: 4}[tag]
        fmt = {1: "<b", 2: "<h", 4: "<i"}[size]
        values.append(struct.unpack(fmt, data[pos + 1:pos + 1 + size])[0])
        pos += 1 + size
    return tuple(values)


def tray_icon_centre(env):
    """The tray icon is the program's small window that trayer embeds; return
    its centre on the screen once it sits inside trayer's panel. Before the
    embedding it is a top-level window of the same size at the screen's
    corner, where a click reaches nothing."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], env=env, capture_output=True, text=True).stdout
    panel_indent = None
    for line in tree.splitlines():
        indent = len(line) - len(line.lstrip())
        if panel_indent is not None and indent <= panel_indent:
            panel_indent = None
        if '("panel" "trayer")' in line:
            panel_indent = indent
            continue
        match = re.search(r'\("brisquel" "Brisquel"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)', line)
        if match and panel_indent is not None:
            width, height, x, y = map(int, match.groups())
            if 8 <= width <= 64 and 8 <= height <= 64:
                return x + width // 2, y + height // 2
    return None


def settled_tray_icon_centre(env):
    """The icon's centre once trayer has stopped laying out its panel: the
    same in two looks half a second apart."""
    last = [None]

    def settled():
        centre = tray_icon_centre(env)
        if centre is not None and centre == last[0]:
            return centre
        last[0] = centre
        time.sleep(0.4)
        return None
    return wait_for("the tray icon in trayer's panel", settled, timeout=30.0)


def visible_note_windows(env):
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Brisquel$"], env=env,
                            capture_output=True, text=True)
    return [w for w in result.stdout.split() if w]


def window_geometry(env, window):
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], env=env, capture_output=True,
                         text=True).stdout
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def drive(desktop, work):
    """The session itself, on a running desktop with the program copied to work."""
    env = desktop.env
    brisquel = desktop.start([os.path.join(work, "brisquel"), "/S"], cwd=work)
    icon = settled_tray_icon_centre(env)

    subprocess.run(["xdotool", "mousemove", str(icon[0]), str(icon[1]), "click", "--repeat", "2",
                    "--delay", "80", "1"], env=env, check=True)
    window = wait_for("a note window", lambda: visible_note_windows(env), timeout=30.0)[0]
    notes = glob.glob(os.path.join(work, "Users", "*", "*.knt"))
    note = wait_for("the new note's file", lambda: glob.glob(os.path.join(work, "Users", "*", "*.knt")))[0]
    assert len(notes) <= 1
    before = wait_for("the note's stored place", lambda: note_position(note))

    x, y, width, _ = window_geometry(env, window)
    grab = (x + width // 2, y + 5)
    subprocess.run(["xdotool", "mousemove", str(grab[0]), str(grab[1]), "mousedown", "1"], env=env, check=True)
    for step in range(1, 11):
        subprocess.run(["xdotool", "mousemove", str(grab[0] - 15 * step), str(grab[1] + 10 * step)], env=env,
                       check=True)
        time.sleep(0.03)
    subprocess.run(["xdotool", "mouseup", "1"], env=env, check=True)
    moved = wait_for("the new place in the file", lambda: note_position(note) != before and note_position(note))
    assert moved[0] < before[0] and moved[1] > before[1], (before, moved)

    request = subprocess.run([os.path.join(work, "brisquel"), "/TERMINATE"], env=env, timeout=60)
    assert request.returncode == 0
    brisquel.wait(timeout=30)
    assert brisquel.returncode == 0, brisquel.returncode
    assert note_position(note) == moved
    print("desktop session: tray icon, new note, move by the strip and terminate all work")
    return 0


def main():
    program = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix="brisquel-desktop-")
    runtime = os.path.join(work, "runtime")
    os.mkdir(runtime, 0o700)
    shutil.copy(program, os.path.join(work, "brisquel"))
    env = dict(os.environ, HOME=work, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=os.path.join(work, "config"),
               QT_QPA_PLATFORM="xcb")
    try:
        with Desktop(range(90, 120), env) as desktop:
            return drive(desktop, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
