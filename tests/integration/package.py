#!/usr/bin/env python3
"""The Debian package, made by cpack from the built tree: lintian accepts it,
it holds a complete system-wide install, and the program extracted from it
runs for a user who cannot write there, keeping a note in the user's data
folder across a restart."""

import glob
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from termination import catches, legacy_note  # noqa: E402

NOBODY = 65534


def run(command, timeout):
    result = subprocess.run(command, capture_output=True, text=True, timeout=timeout)
    assert result.returncode == 0, "%s failed:\n%s%s" % (command[0], result.stdout, result.stderr)
    return result.stdout


def make_package(build, work):
    run(["cpack", "-G", "DEB", "-B", os.path.join(work, "package"), "--config",
         os.path.join(build, "CPackConfig.cmake")], 300)
    packages = glob.glob(os.path.join(work, "package", "*.deb"))
    assert len(packages) == 1, packages
    return packages[0]


def check_contents(package, root):
    depends = run(["dpkg-deb", "-f", package, "Depends"], 30)
    assert all(name in depends for name in ("libqt6widgets6", "libcanberra0", "libqt6svg6")), depends
    run(["dpkg-deb", "-x", package, root], 60)
    usr = os.path.join(root, "usr")
    for name in ("bin/brisquel", "share/brisquel/trill.wav", "share/icons/hicolor/48x48/apps/brisquel.png",
                 "share/icons/hicolor/scalable/apps/brisquel.svg", "share/doc/brisquel/copyright"):
        assert os.path.isfile(os.path.join(usr, name)), name
    with open(os.path.join(usr, "share/applications/brisquel.desktop"), encoding="utf-8") as entry:
        assert "Exec=/usr/bin/brisquel\n" in entry.read()


def read_only(root):
    for folder, folders, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            if not os.path.islink(path):
                os.chmod(path, os.stat(path).st_mode & ~0o222)
        os.chmod(folder, 0o555)


def user_home(work):
    """A home of the user's own; root runs the program as nobody, for whom
    the extracted tree is someone else's."""
    home = os.path.join(work, "home")
    for path in (home, os.path.join(home, "runtime")):
        os.mkdir(path, 0o700)
        if os.geteuid() == 0:
            os.chown(path, NOBODY, NOBODY)
    return home


def start(program, home):
    env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=os.path.join(home, "runtime"),
               XDG_CONFIG_HOME=os.path.join(home, "config"), XDG_DATA_HOME=os.path.join(home, "data"),
               QT_QPA_PLATFORM="offscreen")
    command = [program, "/S"]
    if os.geteuid() == 0:
        command = ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups"] + command
    return subprocess.Popen(command, env=env, cwd=home, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def run_until_terminated(program, home):
    process = start(program, home)
    try:
        deadline = time.monotonic() + 60
        while not catches(process.pid, signal.SIGTERM):
            assert process.poll() is None, "the program ended by itself: %s" % process.stderr.read()
            assert time.monotonic() < deadline, "the program did not start"
            time.sleep(0.1)
        process.send_signal(signal.SIGTERM)
        assert process.wait(timeout=30) == 0, process.returncode
    finally:
        if process.poll() is None:
            process.kill()
            process.wait(timeout=30)


def keeps_note(root, home):
    program = os.path.join(root, "usr", "bin", "brisquel")
    user = "nobody" if os.geteuid() == 0 else subprocess.run(["id", "-un"], capture_output=True,
                                                              text=True).stdout.strip()
    # The first run makes the private data folder; the note goes into it.
    run_until_terminated(program, home)
    folder = os.path.join(home, "data", "brisquel", "Users", user)
    assert os.path.isdir(folder), "no note folder in the data folder"
    note = os.path.join(folder, "N01.knt")
    with open(note, "wb") as f:
        f.write(legacy_note(b"{\\rtf1\\ansi kept\\par}"))
    if os.geteuid() == 0:
        os.chown(note, NOBODY, NOBODY)
    # The run converts the note and saves it there; the next one finds it.
    for _ in range(2):
        run_until_terminated(program, home)
        with open(note, "rb") as f:
            saved = f.read()
        assert saved[:1] == b"\x03" and b"kept" in saved, "the note was not kept"
    assert not os.path.exists(os.path.join(root, "usr", "bin", "Users"))


def main():
    build = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix="brisquel-package-")
    try:
        os.chmod(work, 0o755)
        package = make_package(build, work)
        run(["lintian", "--fail-on", "error", package], 300)
        root = os.path.join(work, "root")
        check_contents(package, root)
        read_only(root)
        keeps_note(root, user_home(work))
    finally:
        for folder, folders, files in os.walk(work):
            os.chmod(folder, 0o755)
        shutil.rmtree(work, ignore_errors=True)
    print("package: lintian accepts it; installed for a user who cannot write there, a note is kept")
    return 0


if __name__ == "__main__":
    sys.exit(main())
