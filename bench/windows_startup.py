#!/usr/bin/env python3
"""Start-up of the Windows build under Wine, against a minimal Win32 window program.

Prepares a Wine prefix and a private X server of its own (as the tests' wine fixture does),
then starts Drill.exe and the minimal program in turn, several times each, and measures the
time from launch until the program's window is mapped on the X server; each program is then
closed through its frame (as the window manager's close button does) and must end with status 0.
One uncounted run of each comes first (Wine loads its own libraries then). Prints the medians,
their ratio and the size of both executables.

Usage: bench/windows_startup.py <Drill.exe> <minimal_win32.exe> [runs] [wine loader]
  e.g. bench/windows_startup.py build/windows/program/Drill.exe \\
           build/windows/bench/minimal_win32.exe 15
"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURE = os.path.join(HERE, "..", "tests", "windows", "wine_fixture.py")
CAPTIONS = {"drill": "Сложение чисел (2 класс)", "minimal": "Minimal"}


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


def visible(env, caption):
    pattern = "^" + "".join("\\" + c if c in ".^$*+?()[]{}|\\" else c for c in caption) + "$"
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", pattern], env=env,
                            capture_output=True, text=True)
    return bool(result.stdout.strip())


def one_run(env, loader, exe, caption):
    """Milliseconds from launch to the window mapped."""
    start = time.perf_counter()
    proc = subprocess.Popen([loader, exe], env=env, cwd=os.path.dirname(exe),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    try:
        deadline = start + 60
        while not visible(env, caption):
            if proc.poll() is not None:
                sys.exit(f"{exe} ended with status {proc.returncode} before showing a window")
            if time.perf_counter() > deadline:
                sys.exit(f"{exe} showed no window {caption!r} within 60 s")
            time.sleep(0.002)
        shown = (time.perf_counter() - start) * 1000
        subprocess.run(["wmctrl", "-c", caption], env=env, check=False)
        if proc.wait(timeout=30) != 0:
            sys.exit(f"{exe} ended with status {proc.returncode}")
        return shown
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    drill, minimal = (os.path.abspath(p) for p in sys.argv[1:3])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 15
    loader = sys.argv[4] if len(sys.argv) > 4 else default_loader(drill)
    work = tempfile.mkdtemp(prefix="windows-startup-")
    display = free_display()
    env = dict(os.environ, WINEPREFIX=os.path.join(work, "prefix"), DISPLAY=f":{display}",
               WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    python = sys.executable
    subprocess.run([python, FIXTURE, "setup", work, str(display), loader], check=True)
    try:
        programs = (("drill", drill), ("minimal", minimal))
        times = {name: [] for name, _ in programs}
        for name, exe in programs:  # warm-up, not counted
            one_run(env, loader, exe, CAPTIONS[name])
        for _ in range(runs):  # interleaved, so that a slow moment hits both
            for name, exe in programs:
                times[name].append(one_run(env, loader, exe, CAPTIONS[name]))
    finally:
        subprocess.run([python, FIXTURE, "cleanup", work, str(display), loader], check=False)
        shutil.rmtree(work, ignore_errors=True)

    print(f"Wine loader {loader}, {runs} runs each, start to window mapped (ms):")
    for name, exe in programs:
        values = times[name]
        print(f"  {os.path.basename(exe):20} median {statistics.median(values):7.1f}  "
              f"min {min(values):7.1f}  max {max(values):7.1f}  size {os.path.getsize(exe)} bytes")
    ratio = statistics.median(times["drill"]) / statistics.median(times["minimal"])
    print(f"  ratio Drill.exe / minimal: {ratio:.2f}")


if __name__ == "__main__":
    main()
