#!/usr/bin/env python3
"""Start-up, memory and idle cost of the real program next to xpad, on one
virtual X display with a window manager and a tray.

For each case (N notes, V of them open) both programs get the same notes,
written fresh for every run: Brisquel's note files beside a copy of its
executable, xpad's info and content files in its configuration folder.
bench_startup starts the program and reports the time until V note windows
are viewable, the processor time the program used until then (steadier than
the wall-clock time on a busy machine) and the X server, window manager and
tray used meanwhile, and the resident memory one second later. Every case runs
--repeat times, the programs taking turns; the medians (and the best start-up
time) are reported.
Then each program idles --idle seconds with 100 open notes, after --settle
seconds for the work that follows the start (Brisquel stores every opened
note one second after start), and the processor time it used is reported.

Results are printed as tab-separated RESULT lines for scripts/bench.sh."""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "scripts"))
from xdesktop import Desktop, stop  # noqa: E402


class Program:
    """One program under test: how to lay out its notes, start and end it."""

    def __init__(self, name, tools, work, desktop):
        self.name = name
        self.tools = tools
        self.work = work
        self.desktop = desktop
        self.runs = 0

    def fresh_home(self):
        self.runs += 1
        root = os.path.join(self.work, "%s-%d" % (self.name, self.runs))
        home = os.path.join(root, "home")
        runtime = os.path.join(root, "runtime")
        os.makedirs(home)
        os.mkdir(runtime, 0o700)
        env = dict(os.environ, DISPLAY=self.desktop.display, HOME=home, XDG_RUNTIME_DIR=runtime,
                   XDG_CONFIG_HOME=os.path.join(home, ".config"), XDG_DATA_HOME=os.path.join(home, ".local/share"),
                   XDG_CACHE_HOME=os.path.join(home, ".cache"), QT_QPA_PLATFORM="xcb")
        return root, env

    def run(self, count, visible, idle=0.0, settle=0.0):
        root, env = self.fresh_home()
        command, name_args, cwd = self.prepare(root, env, count, visible)
        watcher = subprocess.Popen([self.tools.watch, "--count", str(visible)] + name_args
                                   + ["--timeout", "120", "--idle", str(idle), "--settle", str(settle),
                                      "--log", os.path.join(root, "program.log"), "--"] + command,
                                   env=env, cwd=cwd, stdout=subprocess.PIPE, text=True)
        values = {}
        desktop_before = self.desktop.cpu_ms()
        try:
            for line in watcher.stdout:
                line = line.strip()
                if line == "ready":
                    break
                if "=" in line:
                    key, value = line.split("=", 1)
                    values[key] = float(value)
                    if key == "mapped_ms":
                        values["desktop_cpu_ms"] = self.desktop.cpu_ms() - desktop_before
            if "rss_kib" not in values:
                raise RuntimeError("%s did not show %d windows: %s" % (self.name, visible, values))
            self.end(root, env)
            watcher.wait(timeout=120)
        finally:
            if watcher.poll() is None:
                if "pid" in values:
                    try:
                        os.kill(int(values["pid"]), signal.SIGKILL)
                    except ProcessLookupError:
                        pass
                stop(watcher, timeout=30)
            shutil.rmtree(root, ignore_errors=True)
        return values


class Brisquel(Program):
    def __init__(self, name, tools, work, desktop, executable):
        super().__init__(name, tools, work, desktop)
        self.executable = executable

    def prepare(self, root, env, count, visible):
        folder = os.path.join(root, "program")
        os.mkdir(folder)
        shutil.copy(self.executable, os.path.join(folder, "brisquel"))
        subprocess.run([self.tools.notegen, "--count", str(count), "--visible", str(visible), "--brisquel", folder],
                       env=dict(env, QT_QPA_PLATFORM="offscreen"), check=True, stdout=subprocess.DEVNULL)
        return [os.path.join(folder, "brisquel"), "/S"], ["--name", "Brisquel"], folder

    def end(self, root, env):
        subprocess.run([os.path.join(root, "program", "brisquel"), "/TERMINATE"], env=env, timeout=120,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Xpad(Program):
    def prepare(self, root, env, count, visible):
        subprocess.run([self.tools.notegen, "--count", str(count), "--visible", str(visible), "--xpad",
                        os.path.join(env["XDG_CONFIG_HOME"], "xpad")],
                       env=dict(env, QT_QPA_PLATFORM="offscreen"), check=True, stdout=subprocess.DEVNULL)
        # xpad names each pad's window after the first line of its text.
        return [shutil.which("xpad")], ["--name-prefix", "Note "], root

    def end(self, root, env):
        subprocess.run(["xpad", "--quit"], env=env, timeout=60, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


def result(measure, value, unit, goal="", verdict=""):
    print("RESULT\t%s\t%s\t%s\t%s\t%s" % (measure, value, unit, goal, verdict), flush=True)


def verdict(ok):
    return "met" if ok else "MISSED"


def parse_cases(text):
    cases = []
    for item in text.split(","):
        count, visible = item.split("/")
        cases.append((int(count), int(visible)))
    return cases


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--brisquel", required=True, help="the built brisquel executable")
    parser.add_argument("--notegen", required=True, help="bench_notegen")
    parser.add_argument("--watch", required=True, help="bench_startup")
    parser.add_argument("--cases", default="10/10,100/100,300/300,1000/100",
                        help="comma-separated COUNT/VISIBLE pairs")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--idle", type=float, default=60.0, help="seconds of idling measured; 0 to skip")
    parser.add_argument("--settle", type=float, default=5.0, help="seconds after start before idling is measured")
    parser.add_argument("--no-xpad", action="store_true", help="measure Brisquel alone")
    parser.add_argument("--compare", action="append", default=[], metavar="LABEL=EXECUTABLE",
                        help="another build of brisquel, measured in turn with the others (before and after a "
                             "change, on the same run)")
    tools = parser.parse_args()
    for name in ("brisquel", "notegen", "watch"):
        path = os.path.abspath(getattr(tools, name))
        if not os.access(path, os.X_OK):
            sys.exit("not an executable: " + path)
        setattr(tools, name, path)
    with_xpad = not tools.no_xpad
    others = []
    for item in tools.compare:
        label, _, path = item.partition("=")
        if not label or not os.access(path, os.X_OK):
            sys.exit("--compare needs LABEL=EXECUTABLE: " + item)
        others.append(("brisquel " + label, os.path.abspath(path)))
    if with_xpad and not shutil.which("xpad"):
        sys.exit("xpad is not installed (Debian package xpad)")

    work = tempfile.mkdtemp(prefix="brisquel-bench-")
    try:
        with Desktop(range(120, 250)) as desktop:
            programs = [Brisquel("brisquel", tools, work, desktop, tools.brisquel)]
            programs += [Brisquel(name, tools, work, desktop, path) for name, path in others]
            if with_xpad:
                programs.append(Xpad("xpad", tools, work, desktop))
            for program in programs:
                program.run(10, 10)  # warm the caches; not counted
            for count, visible in parse_cases(tools.cases):
                samples = {program.name: [] for program in programs}
                for _ in range(tools.repeat):
                    for program in programs:
                        samples[program.name].append(program.run(count, visible))
                report_case(count, visible, samples, with_xpad)
            if tools.idle > 0:
                for program in programs:
                    values = program.run(100, 100, idle=tools.idle, settle=tools.settle)
                    percent = values["idle_percent"]
                    goal = "< 0.5 %" if program.name == "brisquel" else ""
                    result("idle CPU, 100 open notes, %g s: %s" % (tools.idle, program.name),
                           "%.3f" % percent, "%", goal, verdict(percent < 0.5) if goal else "")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


def report_case(count, visible, samples, with_xpad):
    case = "%d notes, %d open" % (count, visible)
    times = {name: statistics.median(run["mapped_ms"] for run in runs) for name, runs in samples.items()}
    memory = {name: statistics.median(run["rss_kib"] for run in runs) / 1024.0 for name, runs in samples.items()}
    cpu = {name: statistics.median(run["start_cpu_ms"] for run in runs) for name, runs in samples.items()}
    desktop = {name: statistics.median(run["desktop_cpu_ms"] for run in runs) for name, runs in samples.items()}
    for name, runs in samples.items():
        result("start-up to %d windows mapped (%s): %s" % (visible, case, name), "%.0f" % times[name], "ms",
               *time_goal(name, count, visible, times, with_xpad))
        if len(runs) > 1:
            result("  best of %d runs: %s" % (len(runs), name), "%.0f" % min(run["mapped_ms"] for run in runs), "ms")
        result("  processor time used until then: %s" % name, "%.0f" % cpu[name], "ms")
        result("  and by the X server, window manager and tray: %s" % name, "%.0f" % desktop[name], "ms")
        result("resident memory 1 s later (%s): %s" % (case, name), "%.1f" % memory[name], "MiB",
               *memory_goal(name, count, visible, memory, with_xpad))
    if with_xpad:
        for name in samples:
            if name != "xpad":
                result("start-up time %s / xpad (%s)" % (name, case), "%.2f" % (times[name] / times["xpad"]), "x")
                result("resident memory %s / xpad (%s)" % (name, case), "%.2f" % (memory[name] / memory["xpad"]),
                       "x")


def time_goal(name, count, visible, times, with_xpad):
    if name != "brisquel":
        return "", ""
    if count == 100 and visible == 100 and with_xpad:
        return "<= %.0f (xpad / 4)" % (times["xpad"] / 4), verdict(times["brisquel"] <= times["xpad"] / 4)
    if count == 1000 and visible == 100:
        return "< 500", verdict(times["brisquel"] < 500)
    return "", ""


def memory_goal(name, count, visible, memory, with_xpad):
    if name != "brisquel" or not (count == 100 and visible == 100 and with_xpad):
        return "", ""
    return "<= %.1f (xpad / 2)" % (memory["xpad"] / 2), verdict(memory["brisquel"] <= memory["xpad"] / 2)


if __name__ == "__main__":
    sys.exit(main())
