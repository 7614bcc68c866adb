#!/usr/bin/env python3
"""A desktop session that ends with SIGTERM (no session manager) or Ctrl+C
must not cost the user their notes: the program saves every note and ends
normally. Safe saving is off here, so only the shutdown writes the note."""

import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time


def legacy_note(body, place=(40, 50, 200, 150)):
    """A note file of the oldest version; place is Left, Top, Width, Height."""
    header = struct.pack("<BHHHHBdBd", 0, *place, 0, 46000.5, 0, 0.0)
    return header + struct.pack("<i", len(body)) + body


def catches(pid, signal_number):
    """Whether the process has a handler of its own for the signal: its
    start can take seconds on a busy machine, and before that the signal
    would simply end it."""
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("SigCgt:"):
                return bool(int(line.split()[1], 16) >> (signal_number - 1) & 1)
    return False


def prepare(program, work, settings=b'"SafeSave"=dword:00000000\r\n'):
    """Copies the program into `work` with a settings store of its own and an
    empty note folder; answers the environment and the note folder."""
    runtime = os.path.join(work, "runtime")
    os.mkdir(runtime, 0o700)
    config = os.path.join(work, "config", "Orvanta")
    os.makedirs(config)
    with open(os.path.join(config, "Brisquel.reg"), "wb") as store:
        store.write(b'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel]\r\n' + settings + b'\r\n')
    shutil.copy(program, os.path.join(work, os.path.basename(program)))
    env = dict(os.environ, HOME=work, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=os.path.join(work, "config"),
               QT_QPA_PLATFORM="offscreen")
    user = subprocess.run(["id", "-un"], capture_output=True, text=True).stdout.strip() or "defaultUser"
    folder = os.path.join(work, "Users", user)
    os.makedirs(folder)
    return env, folder


def run_once(program, signal_number):
    work = tempfile.mkdtemp(prefix="brisquel-term-")
    try:
        env, folder = prepare(program, work)
        note = os.path.join(folder, "N01.knt")
        with open(note, "wb") as f:
            f.write(legacy_note(b"{\\rtf1\\ansi kept\\par}"))
        process = subprocess.Popen([os.path.join(work, os.path.basename(program)), "/S"], env=env, cwd=work,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while not catches(process.pid, signal_number) and time.monotonic() < deadline:
            assert process.poll() is None, "the program ended by itself"
            time.sleep(0.1)
        # Past the start, while the program idles, nothing may write the note.
        time.sleep(1.5)
        assert process.poll() is None, "the program ended by itself"
        with open(note, "rb") as f:
            assert f.read(1) == b"\x00", "the note was written before the shutdown"
        process.send_signal(signal_number)
        assert process.wait(timeout=30) == 0, process.returncode
        with open(note, "rb") as f:
            assert f.read(1) == b"\x03", "the note was not saved at the shutdown"
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    program = os.path.abspath(sys.argv[1])
    for number in (signal.SIGTERM, signal.SIGINT):
        run_once(program, number)
    print("termination: SIGTERM and SIGINT save every note and end normally")
    return 0


if __name__ == "__main__":
    sys.exit(main())
