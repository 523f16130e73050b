#!/usr/bin/env python3
"""Start-up time of the drill program on a private X server.

Starts the program repeatedly and measures, for each run, the time from launch until its main
window is mapped and shows the first exercise, and until the program has exited after Enter (the
focus is on «Выход» at start). Prints the figures in milliseconds.

Usage: bench/startup.py [path/to/drill] [runs]
"""

import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from xsession import XSession  # noqa: E402

TITLE = "Сложение чисел (2 класс)"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    program = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "release",
                                                                 "ui", "drill")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    shown, total = [], []
    with XSession() as x:
        for _ in range(runs):
            start = time.perf_counter()
            proc = x.start([program], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            while not x.call(["xdotool", "search", "--onlyvisible", "--name", "^Сложение"]).stdout:
                time.sleep(0.002)
            shown.append((time.perf_counter() - start) * 1000)
            x.xdotool("key", "--clearmodifiers", "Return")
            if proc.wait(timeout=20) != 0:
                sys.exit(f"{program} exited with status {proc.returncode}")
            total.append((time.perf_counter() - start) * 1000)
    for name, values in (("window shown", shown), ("start to exit", total)):
        print(f"{name:14}: median {statistics.median(values):7.1f} ms, "
              f"min {min(values):7.1f} ms, max {max(values):7.1f} ms  ({runs} runs)")


if __name__ == "__main__":
    main()
