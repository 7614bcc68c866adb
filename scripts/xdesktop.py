"""A virtual desktop for driving the real program from outside: Xvfb, the
openbox window manager and the trayer system tray on a free display. Used by
the desktop tests, the screenshots and the start-up benchmark."""

import os
import signal
import subprocess
import time


def wait_for(what, check, timeout=15.0):
    """Polls check until it returns something true and returns that."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        time.sleep(0.1)
    raise TimeoutError("timed out waiting for " + what)


def free_display(numbers):
    for number in numbers:
        if not os.path.exists("/tmp/.X11-unix/X%d" % number) and not os.path.exists("/tmp/.X%d-lock" % number):
            return ":%d" % number
    raise RuntimeError("no free X display")


def stop(process, timeout=5):
    """Asks a process to end and kills it when it does not within timeout."""
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def process_cpu_ms(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # utime and stime, the 14th and 15th fields, counted after the name.
    return (int(fields[11]) + int(fields[12])) * 1000.0 / os.sysconf("SC_CLK_TCK")


class Desktop:
    """The display, window manager and tray, with every process started
    through it stopped again on leaving. Each user picks display numbers of
    its own so that they can run at the same time."""

    def __init__(self, displays, env=None):
        self.display = free_display(displays)
        self.env = dict(os.environ if env is None else env, DISPLAY=self.display)
        self.started = []
        self.desktop = []

    def __enter__(self):
        try:
            self.desktop.append(self.start(["Xvfb", self.display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"]))
            wait_for("the X display",
                     lambda: subprocess.run(["xdpyinfo"], env=self.env, capture_output=True).returncode == 0)
            self.desktop.append(self.start(["openbox"]))
            self.desktop.append(self.start(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                                            "--width", "100", "--height", "24", "--SetDockType", "true"]))
            time.sleep(1.0)
        except BaseException:
            self.__exit__()
            raise
        return self

    def start(self, args, **kwargs):
        """Starts a process on this display, its output discarded."""
        kwargs.setdefault("env", self.env)
        process = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)
        self.started.append(process)
        return process

    def cpu_ms(self):
        """Processor time used so far by the X server, the window manager and
        the tray together: their share of every window shown."""
        return sum(process_cpu_ms(process.pid) for process in self.desktop)

    def __exit__(self, *_):
        for process in reversed(self.started):
            stop(process)
