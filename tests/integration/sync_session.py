#!/usr/bin/env python3
"""Two copies of the real program on two note folders that two Syncthing
instances keep in step, on this machine only: a note made on one appears on
the other, an edit comes back, a note edited on both sides at once ends as
the original and one conflict copy on both sides with both texts kept, and a
deleted note goes from the other side too.

Each program is the sync helper (the real program taking a user's orders on
stdin) with a home, runtime folder and note folder of its own. Syncthing
listens on loopback only, with discovery, relays, NAT traversal, reporting
and upgrades off. Every wait is bounded; everything started is stopped.

    sync_session.py SYNC_HELPER"""

import copy
import json
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from termination import prepare  # noqa: E402

SKIP = 77
FOLDER_ID = "brisquel-notes"
CONFLICT_TITLE = " (冲突的副本)"
# The window's delayed store writes the note; the settings store says so
# explicitly rather than trusting the default.
SETTINGS = b'"SafeSave"=dword:00000001\r\n"NoteAnimations"=dword:00000000\r\n'
POLL_SECONDS = 0.5
SYNC_WAIT_SECONDS = 60


def free_ports(count):
    """Ports nobody listens on now, all different."""
    sockets = []
    try:
        for _ in range(count):
            s = socket.socket()
            s.bind(("127.0.0.1", 0))
            sockets.append(s)
        return [s.getsockname()[1] for s in sockets]
    finally:
        for s in sockets:
            s.close()


def wait_until(what, check, seconds=SYNC_WAIT_SECONDS):
    """Polls `check` until it answers something true; fails after `seconds`."""
    deadline = time.monotonic() + seconds
    while True:
        answer = check()
        if answer:
            return answer
        if time.monotonic() > deadline:
            raise AssertionError("%s: not within %d s" % (what, seconds))
        time.sleep(POLL_SECONDS)


def stop_group(process, seconds=30):
    """Ends the process and everything it started, waiting at most `seconds`
    before killing them."""
    if process.poll() is None:
        try:
            os.killpg(process.pid, signal.SIGTERM)
            process.wait(timeout=seconds)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            pass
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    process.wait()


def set_text(parent, tag, text):
    element = parent.find(tag)
    if element is None:
        element = ET.SubElement(parent, tag)
    element.text = text


class Syncthing:
    """One Syncthing instance with a home of its own under `work`."""

    def __init__(self, work, name, folder):
        self.name = name
        self.folder = folder
        self.home = os.path.join(work, name + "-syncthing")
        self.log = os.path.join(self.home, "syncthing.log")
        # Syncthing reads HOME for "~"; it must never be the real one.
        self.env = dict(os.environ, HOME=work, STNOUPGRADE="1", STNODEFAULTFOLDER="1")
        generated = subprocess.run(["syncthing", "generate", "--home=" + self.home, "--no-default-folder",
                                    "--skip-port-probing"], env=self.env, capture_output=True, text=True,
                                   timeout=60, check=True)
        ids = [line.split(":", 1)[1].strip() for line in (generated.stdout + generated.stderr).splitlines()
               if "Device ID:" in line]
        assert ids, "syncthing generate named no device id:\n" + generated.stdout + generated.stderr
        self.device_id = ids[0]
        self.process = None
        self.gui_port = None
        self.api_key = None

    def configure(self, port, gui_port, peer, peer_port):
        """Loopback only, nothing announced or reported, the note folder
        shared with `peer` and rescanned often."""
        self.gui_port = gui_port
        path = os.path.join(self.home, "config.xml")
        tree = ET.parse(path)
        root = tree.getroot()
        for folder in root.findall("folder"):
            root.remove(folder)
        for device in root.findall("device"):
            if device.get("id") == self.device_id:
                set_text(device, "address", "tcp://127.0.0.1:%d" % port)
        # New entries start as copies of the configuration's defaults: what
        # an element leaves out counts as zero, not as the default (no
        # conflict copies at all, for one).
        defaults = root.find("defaults")
        remote = copy.deepcopy(defaults.find("device"))
        remote.set("id", peer.device_id)
        remote.set("name", peer.name)
        set_text(remote, "address", "tcp://127.0.0.1:%d" % peer_port)
        root.append(remote)
        folder = copy.deepcopy(defaults.find("folder"))
        for name, value in (("id", FOLDER_ID), ("label", FOLDER_ID), ("path", self.folder),
                            ("rescanIntervalS", "2"), ("fsWatcherEnabled", "true"), ("fsWatcherDelayS", "1")):
            folder.set(name, value)
        for device in folder.findall("device"):
            folder.remove(device)
        for device_id in (self.device_id, peer.device_id):
            ET.SubElement(folder, "device", id=device_id, introducedBy="")
        root.insert(0, folder)
        gui = root.find("gui")
        gui.set("tls", "false")
        set_text(gui, "address", "127.0.0.1:%d" % gui_port)
        self.api_key = gui.find("apikey").text
        options = root.find("options")
        for listen in options.findall("listenAddress"):
            options.remove(listen)
        ET.SubElement(options, "listenAddress").text = "tcp://127.0.0.1:%d" % port
        for tag, value in (("globalAnnounceEnabled", "false"), ("localAnnounceEnabled", "false"),
                           ("relaysEnabled", "false"), ("natEnabled", "false"),
                           ("stunKeepaliveStartS", "0"), ("stunKeepaliveMinS", "0"),
                           ("announceLANAddresses", "false"), ("urAccepted", "-1"),
                           ("crashReportingEnabled", "false"), ("autoUpgradeIntervalH", "0"),
                           ("startBrowser", "false")):
            set_text(options, tag, value)
        tree.write(path, encoding="utf-8", xml_declaration=False)
        # The folder marker: without it Syncthing refuses to touch the folder.
        os.makedirs(os.path.join(self.folder, ".stfolder"), exist_ok=True)

    def start(self):
        with open(self.log, "ab") as log:
            self.process = subprocess.Popen(["syncthing", "serve", "--home=" + self.home, "--no-browser",
                                             "--no-restart", "--no-upgrade"], env=self.env, stdout=log,
                                            stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                            start_new_session=True)

    def rest(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request("http://127.0.0.1:%d%s" % (self.gui_port, path), data=data,
                                         method=method, headers={"X-API-Key": self.api_key,
                                                                 "Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=10) as reply:
            text = reply.read()
        return json.loads(text) if text.strip() else None

    def answers(self):
        assert self.process.poll() is None, "syncthing %s ended:\n%s" % (self.name, self.log_tail())
        try:
            return self.rest("GET", "/rest/system/ping").get("ping") == "pong"
        except OSError:
            return False

    def connected_to(self, peer):
        connection = self.rest("GET", "/rest/system/connections")["connections"].get(peer.device_id, {})
        return connection.get("connected", False)

    def set_peer_paused(self, peer, paused):
        """Stops or resumes exchanging with the peer, as if the two
        computers were apart; each side still scans its own folder."""
        self.rest("PATCH", "/rest/config/devices/" + peer.device_id, {"paused": paused})

    def local_sequence(self, name):
        """Changes once this side's Syncthing has taken in a change of the file."""
        path = "/rest/db/file?folder=%s&file=%s" % (FOLDER_ID, urllib.parse.quote(name))
        return self.rest("GET", path)["local"]["sequence"]

    def log_tail(self, lines=30):
        try:
            with open(self.log, encoding="utf-8", errors="replace") as log:
                return "".join(log.readlines()[-lines:])
        except OSError:
            return ""

    def stop(self):
        if self.process is None:
            return
        if self.process.poll() is None:
            try:
                self.rest("POST", "/rest/system/shutdown")
                self.process.wait(timeout=30)
            except (OSError, subprocess.TimeoutExpired):
                pass
        stop_group(self.process)


class Brisquel:
    """The sync helper as one computer's program, in a folder of its own."""

    def __init__(self, helper, work, name):
        self.name = name
        self.work = os.path.join(work, name)
        os.mkdir(self.work)
        self.env, self.folder = prepare(helper, self.work, SETTINGS)
        self.env["XDG_DATA_HOME"] = os.path.join(self.work, "data")
        self.program = os.path.join(self.work, os.path.basename(helper))
        self.stderr = os.path.join(self.work, "stderr.log")
        self.process = None
        self.pending = b""

    def start(self):
        with open(self.stderr, "wb") as errors:
            self.process = subprocess.Popen([self.program], env=self.env, cwd=self.work, stdin=subprocess.PIPE,
                                            stdout=subprocess.PIPE, stderr=errors, start_new_session=True)

    def ask(self, order, seconds=90):
        """Sends one order and answers its JSON reply."""
        self.process.stdin.write(order.encode() + b"\n")
        self.process.stdin.flush()
        deadline = time.monotonic() + seconds
        while b"\n" not in self.pending:
            left = deadline - time.monotonic()
            assert left > 0, "%s: no answer to %r within %d s" % (self.name, order, seconds)
            if select.select([self.process.stdout], [], [], left)[0]:
                chunk = os.read(self.process.stdout.fileno(), 65536)
                assert chunk, "%s ended while answering %r (code %s)" % (self.name, order, self.process.poll())
                self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        reply = json.loads(line)
        assert not (isinstance(reply, dict) and "error" in reply), "%s: %r failed: %s" % (
            self.name, order, reply["error"])
        return reply

    def notes(self):
        return self.ask("list")

    def quit(self):
        """The tray's exit command; the program must end normally."""
        self.process.stdin.write(b"quit\n")
        self.process.stdin.flush()
        code = self.process.wait(timeout=60)
        assert code == 0, "%s ended with %s" % (self.name, code)

    def stop(self):
        if self.process is not None:
            stop_group(self.process, seconds=5)


def is_conflict_copy(note):
    return note["title"].endswith(CONFLICT_TITLE) or ".sync-conflict-" in os.path.basename(note["file"])


def visible_text(note):
    """The note's text as stored and, while its window is open, as shown."""
    if note["shown"] and note.get("windowText") != note["text"]:
        return None
    return note["text"]


def note_by_id(notes, note_id):
    return next((note for note in notes if note["id"] == note_id), None)


def text_of(notes, note_id):
    note = note_by_id(notes, note_id)
    return note and visible_text(note)


def folder_listing(folder):
    entries = []
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        entries.append("  %s (%s)" % (name, "folder" if os.path.isdir(path) else "%d bytes" % os.path.getsize(path)))
    return "\n".join(entries)


class Session:
    """Two programs on two folders in step, all stopped by close()."""

    def __init__(self, helper):
        self.work = tempfile.mkdtemp(prefix="brisquel-sync-")
        self.sides = []
        self.syncthings = []
        try:
            self.sides = [Brisquel(helper, self.work, name) for name in ("a", "b")]
            self.syncthings = [Syncthing(self.work, side.name, side.folder) for side in self.sides]
            ports = free_ports(4)
            first, second = self.syncthings
            first.configure(ports[0], ports[1], second, ports[2])
            second.configure(ports[2], ports[3], first, ports[0])
            for syncthing in self.syncthings:
                syncthing.start()
            for syncthing in self.syncthings:
                wait_until("syncthing %s answers" % syncthing.name, syncthing.answers)
            wait_until("the two syncthings connect",
                       lambda: first.connected_to(second) and second.connected_to(first))
            self.probe()
            for side in self.sides:
                side.start()
        except BaseException:
            self.close()
            raise

    def probe(self):
        """A plain file crosses both ways before any program runs."""
        for source, target in ((0, 1), (1, 0)):
            name = "probe-%d.txt" % source
            with open(os.path.join(self.sides[source].folder, name), "w") as probe:
                probe.write("probe")
            wait_until("a plain file crosses from %s" % self.sides[source].name,
                       lambda: os.path.exists(os.path.join(self.sides[target].folder, name)))

    def lists(self):
        return [side.notes() for side in self.sides]

    def diagnostics(self):
        parts = []
        for side, syncthing in zip(self.sides, self.syncthings):
            parts.append("--- %s" % side.name)
            if side.process is not None and side.process.poll() is None:
                try:
                    parts.append("notes: " + json.dumps(side.notes(), ensure_ascii=False, indent=1))
                except AssertionError as failure:
                    parts.append("notes: %s" % failure)
            parts.append("note folder %s:\n%s" % (side.folder, folder_listing(side.folder)))
            if os.path.exists(side.stderr):
                with open(side.stderr, encoding="utf-8", errors="replace") as errors:
                    parts.append("program's messages:\n" + "".join(errors.readlines()[-20:]))
            parts.append("syncthing log:\n" + syncthing.log_tail())
        return "\n".join(parts)

    def quit(self):
        for side in self.sides:
            side.quit()

    def close(self):
        for side in self.sides:
            side.stop()
        for syncthing in self.syncthings:
            syncthing.stop()
        shutil.rmtree(self.work, ignore_errors=True)


def conflict_settled(notes, note_id, texts):
    """The original and exactly one conflict copy of it, holding both texts."""
    original = note_by_id(notes, note_id)
    copies = [note for note in notes if note["id"] != note_id and is_conflict_copy(note)]
    if original is None or len(copies) != 1:
        return False
    return {visible_text(original), visible_text(copies[0])} == set(texts)


def run_scenarios(session):
    a, b = session.sides
    st_a, st_b = session.syncthings

    made = a.ask("new 甲写的便笺 alpha")["id"]
    wait_until("the note made on a appears on b, shown",
               lambda: any(note["id"] == made and visible_text(note) == "甲写的便笺 alpha" and note["shown"]
                           for note in b.notes()))

    b.ask("edit %s 乙改过 beta" % made)
    wait_until("the edit made on b comes back to a", lambda: text_of(a.notes(), made) == "乙改过 beta")

    # Both edits are made while neither side can carry them over.
    st_a.set_peer_paused(st_b, True)
    st_b.set_peer_paused(st_a, True)
    wait_until("the two syncthings part", lambda: not st_a.connected_to(st_b) and not st_b.connected_to(st_a))
    texts = ("甲同时改 gamma-a", "乙同时改 gamma-b")
    name = os.path.basename(note_by_id(a.notes(), made)["file"])
    sequences = [syncthing.local_sequence(name) for syncthing in (st_a, st_b)]
    a.ask("edit %s %s" % (made, texts[0]))
    b.ask("edit %s %s" % (made, texts[1]))
    # Each side's Syncthing has its own side's edit before they meet again.
    wait_until("each syncthing takes in its own side's edit",
               lambda: all(syncthing.local_sequence(name) != sequence
                           for syncthing, sequence in zip((st_a, st_b), sequences)))
    st_a.set_peer_paused(st_b, False)
    st_b.set_peer_paused(st_a, False)
    wait_until("the note edited on both sides ends as the original and one conflict copy on both",
               lambda: all(conflict_settled(notes, made, texts) for notes in session.lists()), seconds=90)
    originals = [text_of(notes, made) for notes in session.lists()]
    assert originals[0] == originals[1], "the two sides keep different originals: %r" % originals

    b_file = note_by_id(b.notes(), made)["file"]
    a.ask("delete %s" % made)
    wait_until("the note deleted on a goes from b, file and all",
               lambda: note_by_id(b.notes(), made) is None and not os.path.exists(b_file))
    assert all(any(is_conflict_copy(note) for note in notes) for notes in session.lists()), \
        "the conflict copy went with the deleted note"


def main():
    if shutil.which("syncthing") is None:
        print("sync_session: syncthing is not installed (scripts/common.sh installs it)")
        return SKIP
    session = Session(os.path.abspath(sys.argv[1]))
    try:
        try:
            run_scenarios(session)
            session.quit()
        except AssertionError:
            print(session.diagnostics(), file=sys.stderr)
            raise
    finally:
        session.close()
    print("sync_session: notes made, edited, edited on both sides and deleted reach the other side")
    return 0


if __name__ == "__main__":
    sys.exit(main())
