#!/usr/bin/env python3
"""Notes keep their stored places on desktops that place windows themselves.
Under weston (headless) the program runs once through XWayland, which it
picks by itself, and once on Wayland; after each run every note file still
holds the place it had. Under GNOME's mutter (headless), whose XWayland lets
programs place their windows, and on the X11 test desktop (openbox) the
notes open at their stored places."""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir, "scripts"))
from desktop_session import visible_note_windows, window_geometry  # noqa: E402
from termination import catches, legacy_note, prepare  # noqa: E402
from xdesktop import Desktop, stop, wait_for  # noqa: E402

SKIPPED = 77
# Left, Top, Width and Height of each note, all inside a 1024x768 screen.
PLACES = {"N01.knt": (300, 200, 200, 150), "N02.knt": (620, 480, 240, 180)}


def stored_place(path):
    """Left, Top, Width and Height of a note file as the program writes it:
    version byte, Created (tag + double), then four tagged integers."""
    data = open(path, "rb").read()
    assert data[0] == 3, "the note was not saved at the shutdown"
    pos = 10
    values = []
    for _ in range(4):
        size = {2: 1, 3: 2, 4: 4}[data[pos]]
        values.append(int.from_bytes(data[pos + 1:pos + 1 + size], "little", signed=True))
        pos += 1 + size
    return tuple(values)


def run_notes(program, env_changes, check_open):
    """One run of the program with the notes of PLACES, ended by SIGTERM.
    check_open(env, process, log) waits until the notes are open; log is
    the file of the program's error output. Returns the settings store as
    the run left it."""
    work = tempfile.mkdtemp(prefix="brisquel-wayland-")
    try:
        env, folder = prepare(program, work)
        del env["QT_QPA_PLATFORM"]
        env.update(env_changes)
        for name, place in PLACES.items():
            with open(os.path.join(folder, name), "wb") as note:
                note.write(legacy_note(b"{\\rtf1\\ansi placed\\par}", place))
        log = os.path.join(work, "stderr.log")
        with open(log, "wb") as output:
            process = subprocess.Popen([os.path.join(work, os.path.basename(program)), "/S"], env=env, cwd=work,
                                       stdout=subprocess.DEVNULL, stderr=output)
        try:
            wait_for("the program's start", lambda: process.poll() is not None or catches(process.pid, signal.SIGTERM),
                     timeout=60.0)
            assert process.poll() is None, "the program ended by itself"
            check_open(env, process, log)
            process.send_signal(signal.SIGTERM)
            assert process.wait(timeout=30) == 0, process.returncode
        finally:
            stop(process)
        for name, place in PLACES.items():
            assert stored_place(os.path.join(folder, name)) == place, (name, stored_place(os.path.join(folder, name)))
        with open(os.path.join(work, "config", "Orvanta", "Brisquel.reg"), "rb") as store:
            return store.read()
    finally:
        shutil.rmtree(work, ignore_errors=True)


def note_windows_shown(env, _process, _log):
    """The program's windows on the X display, once one of each note's size
    is mapped and the window manager has had a moment to place them."""
    def shown():
        sizes = [window_geometry(env, window)[2:] for window in visible_note_windows(env)]
        return all(place[2:] in sizes for place in PLACES.values())
    wait_for("the note windows", shown, timeout=30.0)
    time.sleep(1.0)
    return [window_geometry(env, window) for window in visible_note_windows(env)]


def wayland_notes_shown(_env, process, log):
    """Waits until the program has made a Wayland window for every note; its
    protocol log gives each the note windows' minimum size."""
    def shown():
        assert process.poll() is None, "the program ended on Wayland"
        return open(log, "rb").read().count(b".set_min_size(80, 80)") >= len(PLACES)
    wait_for("the note windows on Wayland", shown, timeout=30.0)
    time.sleep(1.0)


def start_weston(runtime):
    """weston on no screen at all, with XWayland; returns the process, the
    socket's path and the X display."""
    log = os.path.join(runtime, "weston.log")
    process = subprocess.Popen(["weston", "--backend=headless-backend.so", "--xwayland", "--socket=brisquel",
                                "--idle-time=0", "--width=1024", "--height=768", "--log=" + log],
                               env=dict(os.environ, XDG_RUNTIME_DIR=runtime), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)

    def display():
        assert process.poll() is None, "weston ended"
        found = re.search(r"xserver listening on display (:\d+)", open(log).read()) if os.path.exists(log) else None
        return found and found.group(1)
    try:
        return process, os.path.join(runtime, "brisquel"), wait_for("weston's XWayland display", display, 20.0)
    except BaseException:
        stop(process)
        raise


def stop_group(process):
    """Ends a process started in a session of its own, with everything it
    started there."""
    if process.poll() is None:
        os.killpg(process.pid, signal.SIGTERM)
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


def mutter_places(program):
    """The places of the program's windows under a headless mutter, which
    wants a session bus of its own; its XWayland takes only clients with
    its key."""
    runtime = tempfile.mkdtemp(prefix="brisquel-mutter-")
    os.chmod(runtime, 0o700)
    log = os.path.join(runtime, "mutter.log")
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    with open(log, "wb") as output:
        mutter = subprocess.Popen(["dbus-run-session", "--", "mutter", "--headless", "--wayland", "--sm-disable",
                                   "--virtual-monitor", "1024x768", "--wayland-display=brisquel"],
                                  env=dict(env, XDG_RUNTIME_DIR=runtime), stdout=output, stderr=output,
                                  start_new_session=True)
    try:
        def display():
            assert mutter.poll() is None, "mutter ended: " + open(log).read()
            found = re.search(r"Using public X11 display (:\d+)", open(log).read())
            keys = [name for name in os.listdir(runtime) if name.startswith(".mutter-Xwaylandauth.")]
            return found and keys and (found.group(1), os.path.join(runtime, keys[0]))
        x11, key = wait_for("mutter's XWayland display", display, 30.0)
        places = []
        run_notes(program, {"WAYLAND_DISPLAY": os.path.join(runtime, "brisquel"), "DISPLAY": x11, "XAUTHORITY": key},
                  lambda *run: places.extend(note_windows_shown(*run)))
        return places
    finally:
        stop_group(mutter)
        shutil.rmtree(runtime, ignore_errors=True)


def main():
    program = os.path.abspath(sys.argv[1])
    missing = [tool for tool in ("weston", "mutter", "dbus-run-session") if not shutil.which(tool)]
    if missing:
        print("wayland session: not installed: " + " ".join(missing))
        return SKIPPED
    runtime = tempfile.mkdtemp(prefix="brisquel-weston-")
    os.chmod(runtime, 0o700)
    weston = None
    try:
        weston, socket, display = start_weston(runtime)
        imposed = []
        run_notes(program, {"WAYLAND_DISPLAY": socket, "DISPLAY": display},
                  lambda *run: imposed.extend(note_windows_shown(*run)))
        wayland = {"WAYLAND_DISPLAY": socket, "QT_QPA_PLATFORM": "wayland", "WAYLAND_DEBUG": "client"}
        store = run_notes(program, wayland, wayland_notes_shown)
        assert b'"PlaceNoticeShown"=dword:00000001' in store, store
    finally:
        if weston:
            stop(weston)
        shutil.rmtree(runtime, ignore_errors=True)
    placed_by_mutter = mutter_places(program)
    for place in PLACES.values():
        assert place in placed_by_mutter, (place, placed_by_mutter)
    with Desktop(range(150, 180)) as desktop:
        restored = []
        run_notes(program, {"DISPLAY": desktop.display},
                  lambda *run: restored.extend(note_windows_shown(*run)))
    for place in PLACES.values():
        assert place in restored, (place, restored)
    print("wayland session: places kept under weston (XWayland placed the windows at %s) and on Wayland, "
          "restored under mutter and openbox" % sorted({w[:2] for w in imposed}))
    return 0


if __name__ == "__main__":
    sys.exit(main())
