#!/usr/bin/env python3
"""Start-up, memory and idle cost of the real program next to xpad and next
to the toolkit's floor (bench_floor: bare Qt windows with one text editor
each), on one virtual X display with a window manager and a tray.

For each case (N notes, V of them open) both note programs get the same
notes, written fresh for every run: Brisquel's note files beside a copy of
its executable, xpad's info and content files in its configuration folder;
the floor opens V windows. bench_startup starts the program and reports the
time until V windows are viewable, the processor time the program used until
then (steadier than the wall-clock time on a busy machine) and the X server,
window manager and tray used meanwhile, and the resident and proportional
memory (shared pages counted in shares) one second later. Every case runs
--repeat times, the programs taking turns, so that every figure can be given
as a ratio to the floor measured minutes apart on the same desktop; the
medians (and the best start-up time) are reported.
Then each program idles --idle seconds with 100 open windows, after --settle
seconds for the work that follows the start (Brisquel stores every opened
note one second after start), and the processor time it used is reported;
the floor idles twice, the second time with a blinking text cursor in its
active window as a note program has.

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
            self.end(root, env, int(values["pid"]))
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

    def end(self, root, env, pid):
        subprocess.run([os.path.join(root, "program", "brisquel"), "/TERMINATE"], env=env, timeout=120,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Xpad(Program):
    def prepare(self, root, env, count, visible):
        subprocess.run([self.tools.notegen, "--count", str(count), "--visible", str(visible), "--xpad",
                        os.path.join(env["XDG_CONFIG_HOME"], "xpad")],
                       env=dict(env, QT_QPA_PLATFORM="offscreen"), check=True, stdout=subprocess.DEVNULL)
        # xpad names each pad's window after the first line of its text.
        return [shutil.which("xpad")], ["--name-prefix", "Note "], root

    def end(self, root, env, pid):
        # On a busy machine xpad may not answer its --quit in time.
        try:
            subprocess.run(["xpad", "--quit"], env=env, timeout=30, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            os.kill(pid, signal.SIGKILL)


class Floor(Program):
    def __init__(self, name, tools, work, desktop, caret=False):
        super().__init__(name, tools, work, desktop)
        self.caret = caret

    def prepare(self, root, env, count, visible):
        # The texts of the open notes, shown as plain text.
        texts = os.path.join(root, "texts")
        subprocess.run([self.tools.notegen, "--count", str(visible), "--visible", str(visible), "--xpad", texts],
                       env=dict(env, QT_QPA_PLATFORM="offscreen"), check=True, stdout=subprocess.DEVNULL)
        return ([self.tools.floor, "--count", str(visible), "--texts", texts] + (["--caret"] if self.caret else []),
                ["--name", "Floor"], root)

    def end(self, root, env, pid):
        os.kill(pid, signal.SIGTERM)


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
    parser.add_argument("--floor", required=True, help="bench_floor")
    parser.add_argument("--cases", default="10/10,100/100,300/300,1000/100",
                        help="comma-separated COUNT/VISIBLE pairs")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--idle", type=float, default=60.0, help="seconds of idling measured; 0 to skip")
    parser.add_argument("--settle", type=float, default=5.0, help="seconds after start before idling is measured")
    parser.add_argument("--no-xpad", action="store_true", help="measure Brisquel (and the floor) without xpad")
    parser.add_argument("--compare", action="append", default=[], metavar="LABEL=EXECUTABLE",
                        help="another build of brisquel, measured in turn with the others (before and after a "
                             "change, on the same run)")
    tools = parser.parse_args()
    for name in ("brisquel", "notegen", "watch", "floor"):
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
            programs = [Floor(FLOOR, tools, work, desktop), Brisquel("brisquel", tools, work, desktop, tools.brisquel)]
            programs += [Brisquel(name, tools, work, desktop, path) for name, path in others]
            if with_xpad:
                programs.append(Xpad("xpad", tools, work, desktop))
            for program in programs:
                program.run(10, 10)  # warm the caches; not counted
            medians = {}
            for count, visible in parse_cases(tools.cases):
                samples = {program.name: [] for program in programs}
                for _ in range(tools.repeat):
                    for program in programs:
                        samples[program.name].append(program.run(count, visible))
                medians[(count, visible)] = report_case(count, visible, samples)
                report_many_notes(count, visible, medians)
            if tools.idle > 0:
                report_idle(programs, tools.idle, tools.settle)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


FLOOR = "floor (bare Qt)"
FLOOR_CARET = "floor with a blinking cursor"


def report_case(count, visible, samples):
    """Prints the medians of one case and their ratios to the floor (and of
    Brisquel's to xpad's); answers the medians, by measure and program."""
    case = "%d notes, %d open" % (count, visible)
    median = {key: {name: statistics.median(run[key] for run in runs) for name, runs in samples.items()}
              for key in ("mapped_ms", "start_cpu_ms", "desktop_cpu_ms", "rss_kib", "pss_kib")}
    times = median["mapped_ms"]
    rss = {name: kib / 1024.0 for name, kib in median["rss_kib"].items()}
    pss = {name: kib / 1024.0 for name, kib in median["pss_kib"].items()}
    for name, runs in samples.items():
        shown = case if name != FLOOR else "%d windows" % visible
        result("start-up to %d windows mapped (%s): %s" % (visible, shown, name), "%.0f" % times[name], "ms")
        if len(runs) > 1:
            result("  best of %d runs: %s" % (len(runs), name), "%.0f" % min(run["mapped_ms"] for run in runs), "ms")
        result("  processor time used until then: %s" % name, "%.0f" % median["start_cpu_ms"][name], "ms")
        result("  and by the X server, window manager and tray: %s" % name, "%.0f" % median["desktop_cpu_ms"][name],
               "ms")
        result("resident memory 1 s later (%s): %s" % (shown, name), "%.1f" % rss[name], "MiB")
        result("  proportional (PSS): %s" % name, "%.1f" % pss[name], "MiB")
    for name in samples:
        if name == FLOOR:
            continue
        goals = FloorGoals(name, count, visible)
        result("start-up time %s / floor (%s)" % (name, case), "%.2f" % (times[name] / times[FLOOR]), "x",
               *goals.time(times[name] / times[FLOOR]))
        result("  processor time until mapped %s / floor" % name,
               "%.2f" % (median["start_cpu_ms"][name] / median["start_cpu_ms"][FLOOR]), "x")
        result("resident memory %s / floor (%s)" % (name, case), "%.2f" % (rss[name] / rss[FLOOR]), "x",
               *goals.memory(rss[name] / rss[FLOOR]))
        result("  PSS %s / floor (%s)" % (name, case), "%.2f" % (pss[name] / pss[FLOOR]), "x")
        if name.startswith("brisquel") and "xpad" in samples:
            result("  start-up time %s / xpad" % name, "%.2f" % (times[name] / times["xpad"]), "x")
            result("  resident memory %s / xpad" % name, "%.2f" % (rss[name] / rss["xpad"]), "x")
            result("  PSS %s / xpad" % name, "%.2f" % (pss[name] / pss["xpad"]), "x")
    return median


class FloorGoals:
    """The goals of one case for one program, as ratios to the floor measured
    in the same run: Brisquel's alone, and only where a goal is set."""

    def __init__(self, name, count, visible):
        self.measured = name == "brisquel" and count == visible == 100

    def time(self, ratio):
        return ("<= 1.0 x", verdict(ratio <= 1.0)) if self.measured else ("", "")

    def memory(self, ratio):
        return ("<= 1.2 x (resident)", verdict(ratio <= 1.2)) if self.measured else ("", "")


def report_many_notes(count, visible, medians):
    """Many hidden notes beside the open ones should cost little: the time of
    count notes with visible open against that of visible notes all open, and
    the processor time, which a busy machine disturbs less."""
    few = medians.get((visible, visible))
    if count == visible or few is None:
        return
    many = medians[(count, visible)]
    for name in many["mapped_ms"]:
        if name.startswith("brisquel"):
            ratio = many["mapped_ms"][name] / few["mapped_ms"][name]
            goal = ("<= 1.1 x", verdict(ratio <= 1.1)) if name == "brisquel" else ("", "")
            result("start-up time %s, %d notes / %d notes (%d open)" % (name, count, visible, visible),
                   "%.2f" % ratio, "x", *goal)
            result("  processor time until then, %d notes / %d notes: %s" % (count, visible, name),
                   "%.2f" % (many["start_cpu_ms"][name] / few["start_cpu_ms"][name]), "x")


def report_idle(programs, idle, settle):
    """Processor time while idling with 100 open windows; Brisquel's goal is
    the floor's plus a tenth of a percent. The floor is measured a second time
    with a blinking text cursor in its active window, as a note program shows
    one: the cursor's repainting is the floor of a program that has one."""
    percent = {}
    floor = programs[0]
    caret = Floor(FLOOR_CARET, floor.tools, floor.work, floor.desktop, caret=True)
    for program in programs[:1] + [caret] + programs[1:]:
        percent[program.name] = program.run(100, 100, idle=idle, settle=settle)["idle_percent"]
    for name, value in percent.items():
        goal = ("<= %.3f (floor + 0.1)" % (percent[FLOOR] + 0.1), verdict(value <= percent[FLOOR] + 0.1)) \
            if name == "brisquel" else ("", "")
        result("idle CPU, 100 open windows, %g s: %s" % (idle, name), "%.3f" % value, "%", *goal)


if __name__ == "__main__":
    sys.exit(main())
