#!/usr/bin/python3
"""Start-up of the Windows build under Wine, against a minimal Win32 window program.

Prepares a Wine prefix and a private X server of its own (as the tests' wine fixture does), then
starts Drill.exe and the minimal program (bench/minimal_win32.cpp: a window with a label, an edit
field and a button) in turn, round after round, and reads the X server's own events: the time
from launch until the program's window is mapped. Each program is then closed as the frame's
close button closes it (WM_DELETE_WINDOW) and must end with status 0. The rounds run twice: with
a window manager (openbox), and without one, where Wine draws the frames itself and a window
manager's own wait does not hide the programs' difference. One uncounted round comes first in
each. Prints the medians, the ratios (the median of the round-by-round ratios) and the sizes.
Where minimal_win32_themed.exe lies beside the minimal program (the same window with the
program's manifest: common controls version 6 and visual styles), it is measured in the same
rounds, and its ratio to the minimal program shows what the themed controls cost by themselves.

Usage: bench/windows_startup.py <Drill.exe> <minimal_win32.exe> [runs] [wine loader]
  e.g. bench/windows_startup.py build/windows64/program/Drill.exe \\
           build/windows64/bench/minimal_win32.exe 15
  The loader defaults to wine64 for a 64-bit exe and wine for a 32-bit one.
Environment: DRILL_STARTUP_TRACE=1 starts the programs with WINEDEBUG=+timestamp,+loaddll and
prints Wine's log of the last run of each (where the time goes). Programs built with the trace
(cmake ... -DCMAKE_CXX_FLAGS=-DDRILL_WIN32_STARTUP_TRACE) write their own steps to the standard
error; the script then prints, for each program, the median time of each step since the process
was created, over all the runs without a window manager.
DRILL_STARTUP_BASELINE=<another Drill.exe> (an earlier build) is measured in the same rounds, with
its own ratios, so that a change is compared under the same load of the machine.
Needs python3-xlib.
"""

import os
import re
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

from Xlib import X, Xatom, display

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURE = os.path.join(HERE, "..", "tests", "win32", "wine_fixture.py")
CAPTIONS = {"drill": "Сложение чисел (2 класс)", "baseline": "Сложение чисел (2 класс)",
            "minimal": "Minimal", "themed": "Minimal"}
TIMEOUT = 60
TRACE_LINE = re.compile(rb"^startup-trace ([0-9.]+) \+([0-9.]+) ms  (.*)$")
MAPPED = "(the X server maps the window)"


def default_loader(exe):
    """wine64 for a 64-bit exe, wine for a 32-bit one (from the PE header's machine field)."""
    with open(exe, "rb") as f:
        header = f.read(4096)
    offset = int.from_bytes(header[0x3C:0x40], "little")
    machine = int.from_bytes(header[offset + 4:offset + 6], "little")
    if machine == 0x8664:
        return "/usr/lib/wine/wine64" if os.path.exists("/usr/lib/wine/wine64") else "wine64"
    return "wine"


def free_display():
    for number in range(600, 700):
        if not os.path.exists(f"/tmp/.X{number}-lock") and \
                not os.path.exists(f"/tmp/.X11-unix/X{number}"):
            return number
    sys.exit("no free X display number in 600-699")


class Screen:
    """The X server's view: which window of a caption was mapped, and closing it."""

    def __init__(self, name):
        self.connection = display.Display(name)
        self.root = self.connection.screen().root
        self.root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self.utf8 = self.connection.intern_atom("UTF8_STRING")
        self.net_name = self.connection.intern_atom("_NET_WM_NAME")
        self.protocols = self.connection.intern_atom("WM_PROTOCOLS")
        self.delete = self.connection.intern_atom("WM_DELETE_WINDOW")
        self.connection.sync()

    def drain(self):
        while self.connection.pending_events():
            self.connection.next_event()

    def caption(self, window):
        try:
            prop = window.get_full_property(self.net_name, self.utf8)
            if prop:
                return bytes(prop.value).decode("utf-8", "replace")
            prop = window.get_full_property(Xatom.WM_NAME, X.AnyPropertyType)
            return bytes(prop.value).decode("latin-1") if prop else None
        except Exception:  # the window went away
            return None

    def wait_mapped(self, caption, deadline, proc):
        """The program's window with this caption once it is mapped: a window of the root
        without a window manager, a window manager's frame around it with one."""
        frames = {}
        while True:
            while not self.connection.pending_events():
                if proc.poll() is not None:
                    raise RuntimeError(f"the program ended with status {proc.returncode} "
                                       f"before showing a window")
                left = deadline - time.perf_counter()
                if left <= 0:
                    raise RuntimeError(f"no window {caption!r} within {TIMEOUT} s")
                select.select([self.connection.fileno()], [], [], min(left, 0.05))
            event = self.connection.next_event()
            if event.type == X.ReparentNotify and event.parent != self.root:
                frames[event.parent.id] = event.window
            elif event.type == X.MapNotify:
                window = frames.get(event.window.id, event.window)
                if self.caption(window) == caption:
                    return window

    def close(self, window):
        message = display.event.ClientMessage(
            window=window, client_type=self.protocols,
            data=(32, [self.delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(message, event_mask=0)
        self.connection.flush()


def one_run(screen, env, loader, exe, caption, log=None):
    """Milliseconds from launch to the window mapped, and the clock of Wine's tick count then."""
    screen.drain()
    output = open(log, "wb") if log else subprocess.DEVNULL
    start = time.perf_counter()
    proc = subprocess.Popen([loader, exe], env=env, cwd=os.path.dirname(exe),
                            stdout=output, stderr=output, start_new_session=True)
    try:
        window = screen.wait_mapped(caption, start + TIMEOUT, proc)
        shown = (time.perf_counter() - start) * 1000
        tick = time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000
        screen.close(window)
        if proc.wait(timeout=30) != 0:
            sys.exit(f"{exe} ended with status {proc.returncode}")
        return shown, tick
    except RuntimeError as error:
        sys.exit(f"{exe}: {error}")
    finally:
        if log:
            output.close()
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()


def read_steps(log, mapped_tick):
    """The program's own trace in a run's log: step → milliseconds since the process was
    created; a step met again (a second window's) keeps its first time. The moment the X server
    mapped the window is added as a step of its own (Wine's tick count is the raw monotonic
    clock, in whole milliseconds)."""
    steps = {}
    created_tick = None
    with open(log, "rb") as f:
        for line in f:
            match = TRACE_LINE.match(line.rstrip(b"\r\n"))
            if match:
                step = match.group(3).decode("utf-8", "replace")
                since_creation = float(match.group(2))
                steps.setdefault(step, since_creation)
                if created_tick is None:
                    created_tick = float(match.group(1)) * 1000 - since_creation
    if created_tick is not None:
        steps[MAPPED] = mapped_tick - created_tick
    return steps


def measure(screen, env, loader, programs, runs, trace_dir=None):
    times = {name: [] for name, _ in programs}
    steps = {name: [] for name, _ in programs}
    for round_number in range(runs + 1):  # the first round is not counted
        order = programs if round_number % 2 else programs[::-1]  # each first and last in turn
        for name, exe in order:
            log = os.path.join(trace_dir, name + ".log") if trace_dir else None
            value, tick = one_run(screen, env, loader, exe, CAPTIONS[name], log)
            if round_number:
                times[name].append(value)
                if log:
                    steps[name].append(read_steps(log, tick))
            time.sleep(0.05)
    return times, steps


def report_steps(programs, steps, times):
    """The median time of each traced step since the process was created, in the order of the
    steps, and the median step to step."""
    for name, exe in programs:
        runs = [run for run in steps[name] if run]
        if not runs:
            continue
        print(f"--- {os.path.basename(exe)} ({name}): its own steps, median of {len(runs)} runs without "
              f"a window manager (ms since the process was created; launch to mapped "
              f"{statistics.median(times[name]):.1f})")
        order = []
        for run in runs:
            for step in run:
                if step not in order:
                    order.append(step)
        order.sort(key=lambda step: statistics.median(run[step] for run in runs if step in run))
        previous = None
        for step in order:
            values = [run[step] for run in runs if step in run]
            gaps = [run[step] - run[previous] for run in runs
                    if previous and step in run and previous in run]
            gap = f"{statistics.median(gaps):+7.1f}" if gaps else " " * 7
            print(f"  {statistics.median(values):7.1f} {gap}  {step}")
            previous = step


def stop_window_manager(work):
    """Stops the fixture's openbox, which this script's fixture started."""
    import json
    with open(os.path.join(work, "state.json")) as f:
        pid = json.load(f)["pids"]["openbox"]
    os.killpg(pid, signal.SIGTERM)
    for _ in range(100):
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return
        time.sleep(0.05)


def ratio(times, a, b):
    return statistics.median(x / y for x, y in zip(times[a], times[b]))


def report(label, loader, programs, times):
    print(f"{label}: Wine loader {loader}, {len(times['drill'])} interleaved runs each, "
          f"launch to window mapped (ms):")
    for name, exe in programs:
        values = times[name]
        shown = f"{os.path.basename(exe)}{' (baseline)' if name == 'baseline' else ''}"
        print(f"  {shown:26} median {statistics.median(values):7.1f}  "
              f"min {min(values):7.1f}  max {max(values):7.1f}  size {os.path.getsize(exe)} bytes")
    if "themed" in times:
        print(f"  ratio themed minimal / minimal ({label}): {ratio(times, 'themed', 'minimal'):.2f}")
        print(f"  ratio Drill.exe / themed minimal ({label}): {ratio(times, 'drill', 'themed'):.2f}")
    if "baseline" in times:
        print(f"  ratio baseline Drill.exe / minimal ({label}): "
              f"{ratio(times, 'baseline', 'minimal'):.2f}")
    result = ratio(times, "drill", "minimal")
    print(f"  ratio Drill.exe / minimal ({label}): {result:.2f}")
    return result


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    drill, minimal = (os.path.abspath(p) for p in sys.argv[1:3])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 15
    loader = sys.argv[4] if len(sys.argv) > 4 else default_loader(drill)
    trace = os.environ.get("DRILL_STARTUP_TRACE") == "1"
    work = tempfile.mkdtemp(prefix="windows-startup-")
    display_number = free_display()
    env = dict(os.environ, WINEPREFIX=os.path.join(work, "prefix"),
               DISPLAY=f":{display_number}", WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    if trace:
        env["WINEDEBUG"] = "+timestamp,+loaddll"
    programs = [("drill", drill), ("minimal", minimal)]
    themed = os.path.join(os.path.dirname(minimal), "minimal_win32_themed.exe")
    if os.path.exists(themed):
        programs.append(("themed", themed))
    if os.environ.get("DRILL_STARTUP_BASELINE"):
        programs.append(("baseline", os.path.abspath(os.environ["DRILL_STARTUP_BASELINE"])))
    python = sys.executable
    subprocess.run([python, FIXTURE, "setup", work, str(display_number), loader], check=True)
    results = []
    try:
        screen = Screen(env["DISPLAY"])
        with_wm, _ = measure(screen, env, loader, programs, runs)
        stop_window_manager(work)
        without_wm, steps = measure(screen, env, loader, programs, runs, work if trace else None)
        results = [("with a window manager", with_wm), ("without a window manager", without_wm)]
        if trace:
            for name, _ in programs:
                print(f"--- Wine's log of the last run of {name}, without a window manager")
                with open(os.path.join(work, name + ".log"), errors="replace") as f:
                    sys.stdout.write(f.read())
            report_steps(programs, steps, without_wm)
    finally:
        subprocess.run([python, FIXTURE, "cleanup", work, str(display_number), loader],
                       check=False)
        shutil.rmtree(work, ignore_errors=True)
    ratios = [report(label, loader, programs, times) for label, times in results]
    print(f"ratios Drill.exe / minimal: with a window manager {ratios[0]:.2f}, "
          f"without one {ratios[1]:.2f}")


if __name__ == "__main__":
    main()
