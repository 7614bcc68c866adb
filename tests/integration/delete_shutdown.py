#!/usr/bin/env python3
"""A shutdown that arrives while a deleted note's window plays its close
animation (SIGTERM, SIGINT, "/TERMINATE", the tray's exit command) ends the
program normally: the deleted note stays deleted and the other note is saved.
The helper is the real program with a user who deletes the note N02; the
real program started with "/TERMINATE" sends the terminate request."""

import os
import select
import signal
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from termination import legacy_note, prepare  # noqa: E402

SETTINGS = (b'"SafeSave"=dword:00000000\r\n"NoteColor"=dword:0000ffff\r\n"TitleColor"=dword:0000ecec\r\n'
            b'"NoteAnimations"=dword:00000001\r\n')


def run_once(helper, program, source, shutdown):
    work = tempfile.mkdtemp(prefix="brisquel-delete-")
    try:
        env, folder = prepare(helper, work, SETTINGS)
        shutil.copy(program, os.path.join(work, "brisquel"))
        kept = os.path.join(folder, "N01.knt")
        deleted = os.path.join(folder, "N02.knt")
        for path, text in ((kept, b"kept"), (deleted, b"deleted")):
            with open(path, "wb") as f:
                f.write(legacy_note(b"{\\rtf1\\ansi " + text + b"\\par}"))
        process = subprocess.Popen([os.path.join(work, os.path.basename(helper)), source], env=env, cwd=work,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            assert select.select([process.stdout], [], [], 60)[0], "the close animation did not start"
            assert process.stdout.readline() == b"closing\n", "the close animation did not start"
            if shutdown == "terminate":
                subprocess.run([os.path.join(work, "brisquel"), "/TERMINATE"], env=env, cwd=work, timeout=60,
                               check=True)
            elif shutdown != "exit":
                process.send_signal(shutdown)
            assert process.wait(timeout=60) == 0, process.returncode
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
        assert not os.path.exists(deleted), "the deleted note came back"
        with open(kept, "rb") as f:
            assert f.read(1) == b"\x03", "the other note was not saved at the shutdown"
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    helper = os.path.abspath(sys.argv[1])
    program = os.path.abspath(sys.argv[2])
    for source in ("note", "manager"):
        for shutdown in (signal.SIGTERM, signal.SIGINT, "terminate"):
            run_once(helper, program, source, shutdown)
    run_once(helper, program, "exit", "exit")
    print("delete_shutdown: a shutdown during a deletion keeps it and saves the other notes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
