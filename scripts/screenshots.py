#!/usr/bin/env python3
"""Takes the README's screenshots: the real program on a virtual X display
with a window manager and a tray, a few notes in different colours, then the
notes manager (also searching, and showing the deleted notes), the to-do window and the options dialog, each opened from the
tray menu the way a person would. Pictures go to docs/."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

from xdesktop import Desktop


def text_value(text):
    data = text.encode("utf-16-le")
    return b"\x12" + struct.pack("<i", len(data) // 2) + data


def int_value(value):
    return b"\x04" + struct.pack("<i", value)


def date_value(days):
    return b"\x11" + struct.pack("<d", days)


def rtf_body(lines):
    def encode(line):
        out = ""
        for ch in line:
            if ord(ch) < 0x80:
                out += ch
            else:
                out += "".join("\\'%02x" % b for b in ch.encode("gbk"))
        return out
    body = "\\par\r\n".join(encode(line) for line in lines)
    return ("{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{\\f0\\fnil\\fcharset134 "
            "\\'cb\\'ce\\'cc\\'e5;}}\r\n\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs20 " + body + "\\par\r\n}\r\n").encode("ascii")


def note_file(title, group, left, top, width, height, note_colour, title_colour, lines, alarm=None, hidden=False):
    none = 0x1FFFFFFF
    body = rtf_body(lines)
    return (b"\x03" + date_value(46360.4) + int_value(left) + int_value(top) + int_value(width)
            + int_value(height) + int_value(none) + int_value(title_colour) + int_value(note_colour)
            + text_value(title) + text_value(group) + int_value(1 if hidden else 0) + int_value(0)
            + date_value(0.0) + b"\x08" + date_value(46361.4) + (b"\x09" if alarm else b"\x08")
            + date_value(alarm or 0.0) + text_value("") + int_value(len(body)) + body)


NOTES = [
    ("购物清单", "家", 60, 80, 200, 180, 0x0000FFFF, 0x0000ECEC,
     ["牛奶 2 升", "面包", "鸡蛋 12 个", "咖啡豆"]),
    ("项目会议", "工作", 300, 90, 220, 170, 0x00FFE0C0, 0x00F0B080,
     ["周三 10:00 会议室 A", "准备季度报告", "邀请 Bob"], 46400.4),
    ("Ideas", "", 560, 120, 190, 160, 0x00C0FFC0, 0x0090E090, ["Write the user guide", "Plan the trip"]),
    ("电话号码", "家", 120, 330, 180, 150, 0x00E0C0FF, 0x00C090F0, ["王先生 138-0000-0000"], None),
    ("已关闭的便笺", "工作", 400, 360, 180, 150, 0x0000FFFF, 0x0000ECEC, ["明天再看"], None, True),
]

# Deleted some days ago.
DELETED = [
    (2.3, ("会议纪要 11 月", "工作", 200, 200, 200, 160, 0x00FFE0C0, 0x00F0B080, ["预算已批准"])),
    (6.1, ("旧的购物清单", "家", 240, 240, 200, 160, 0x0000FFFF, 0x0000ECEC, ["米", "油"], 46400.4)),
    (12.5, ("Old ideas", "", 280, 280, 200, 160, 0x00C0FFC0, 0x0090E090, ["A garden blog"])),
]

TODO = ("[main]\r\nfileinfo=1\r\n"
        "[item0]\r\nTitle=提交季度报告\r\nChecked=0\r\nPriority=0\r\n"
        "[item1]\r\nTitle=回复客户邮件\r\nChecked=1\r\nPriority=1\r\n"
        "[item2]\r\nTitle=更新网站\r\nChecked=0\r\nPriority=3\r\n"
        "[item3]\r\nTitle=整理照片\r\nChecked=0\r\nPriority=9\r\n")


class Session:
    def __init__(self, program, out, desktop, work):
        self.program = program
        self.out = out
        self.desktop = desktop
        self.work = work
        self.env = desktop.env

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True)

    def shoot(self, name):
        time.sleep(1.0)
        subprocess.run(["import", "-window", "root", os.path.join(self.out, name)], env=self.env, check=True)

    def tray_menu(self, *keys):
        self.xdotool("mousemove", 1012, 12, "click", 3)
        time.sleep(0.8)
        for key in keys:
            self.xdotool("key", key)
            time.sleep(0.2)

    def point_at(self, x, y_from_bottom=None, y=None):
        """Moves the pointer into the active window, in its own coordinates."""
        window = subprocess.run(["xdotool", "getactivewindow"], env=self.env, capture_output=True, text=True,
                                check=True).stdout.strip()
        if y is None:
            geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], env=self.env,
                                      capture_output=True, text=True, check=True).stdout
            y = int(dict(line.split("=", 1) for line in geometry.split())["HEIGHT"]) - y_from_bottom
        self.xdotool("mousemove", "--window", window, x - 10, y - 2)
        time.sleep(0.3)
        self.xdotool("mousemove", "--window", window, x, y)

    def search(self, words):
        """Types into the notes manager's search field (next after the list)
        and rests the pointer on the first row, so that its tip shows."""
        self.xdotool("key", "Tab")
        self.xdotool("type", "--delay", 100, words)
        self.point_at(60, y=90)
        time.sleep(1.5)

    def show_deleted(self):
        """Clears the search and presses the notes manager's button for the
        deleted notes."""
        self.xdotool("key", "Escape")
        self.point_at(130, y_from_bottom=14)
        self.xdotool("click", 1)

    def close_active(self):
        self.xdotool("key", "alt+F4")
        time.sleep(0.8)

    def run(self):
        user = subprocess.run(["id", "-un"], capture_output=True, text=True).stdout.strip() or "defaultUser"
        folder = os.path.join(self.work, "Users", user)
        os.makedirs(folder, 0o700)
        for index, note in enumerate(NOTES):
            with open(os.path.join(folder, "N%02d.knt" % index), "wb") as f:
                f.write(note_file(*note))
        os.mkdir(os.path.join(folder, "Deleted"), 0o700)
        for index, (days_ago, note) in enumerate(DELETED):
            name = os.path.join(folder, "Deleted", "N%02d.knt" % (index + len(NOTES)))
            with open(name, "wb") as f:
                f.write(note_file(*note))
            # A deleted note's file carries the time of its deletion.
            deleted_at = time.time() - days_ago * 86400
            os.utime(name, (deleted_at, deleted_at))
        with open(os.path.join(folder, "我的工作.tdl"), "wb") as f:
            f.write(TODO.encode("gbk"))
        shutil.copy(self.program, os.path.join(self.work, "brisquel"))
        self.desktop.start([os.path.join(self.work, "brisquel"), "/S"], cwd=self.work)
        time.sleep(3.0)
        self.shoot("notes.png")
        self.tray_menu("Down", "Down", "Return")
        self.shoot("notes-manager.png")
        self.search("bob")
        self.shoot("notes-search.png")
        self.show_deleted()
        self.shoot("deleted-notes.png")
        self.close_active()
        self.tray_menu("t")
        self.shoot("todo.png")
        self.close_active()
        self.tray_menu("s")
        self.shoot("options.png")
        self.xdotool("key", "Escape")
        subprocess.run([os.path.join(self.work, "brisquel"), "/TERMINATE"], env=self.env, timeout=60)


def main():
    program = os.path.abspath(sys.argv[1])
    out = os.path.abspath(sys.argv[2])
    os.makedirs(out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="brisquel-shots-")
    runtime = os.path.join(work, "runtime")
    os.mkdir(runtime, 0o700)
    env = dict(os.environ, HOME=work, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=os.path.join(work, "config"),
               QT_QPA_PLATFORM="xcb", LANG="zh_CN.UTF-8")
    try:
        with Desktop(range(60, 90), env) as desktop:
            Session(program, out, desktop, work).run()
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("screenshots written to " + out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
