#!/usr/bin/python3
"""Start-up time of the drill program on a private X server (Xvfb with openbox), against the
floor that Qt sets: a minimal Qt window with three controls built alongside it
(bench/minimal_qt.cpp), once in Qt's default font and once in the faces the drill draws with.

Each run starts one program and reads the X server's own events: "map" is the time from launch
until the window manager maps the program's framed window, "paint" until the window's client
area first shows the window colour the program paints (a pixel read back from the server). The
programs are started in turn, round after round, so that a slower phase of the machine weighs on
all of them alike; the medians over the rounds and the drill's ratios to the floor are printed,
with the largest resident memory of each program up to its first paint.

Usage: bench/startup.py [path/to/drill [runs]] [--minimal path/to/minimal_qt]
                        [--also path/to/another/drill]
  default: build/release/program/drill, 20 runs, minimal_qt from the drill's build folder;
  --also measures another build of the program in the same rounds (say, one from before a
  change), so that the two are compared under the same conditions.
Needs python3-xlib.
"""

import argparse
import os
import select
import signal
import statistics
import subprocess
import sys
import time

from Xlib import X, display

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "qt", "e2e"))
from xsession import XSession  # noqa: E402

WINDOW_COLOUR = (0xEF, 0xEF, 0xEF)  # the window background of Qt's Fusion style
TIMEOUT = 20


def launch(session, argv):
    return subprocess.Popen(argv, env=session.env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)


def next_event(connection, deadline):
    while not connection.pending_events():
        left = deadline - time.perf_counter()
        if left <= 0:
            raise TimeoutError("no window came up")
        select.select([connection.fileno()], [], [], left)
    return connection.next_event()


def pixel(window):
    image = window.get_image(0, 0, 1, 1, X.ZPixmap, 0xFFFFFFFF)
    b, g, r = image.data[0], image.data[1], image.data[2]
    return r, g, b


def one_run(session, connection, argv):
    """(map ms, paint ms, max resident kB) of one start of argv."""
    root = connection.screen().root
    while connection.pending_events():
        connection.next_event()
    start = time.perf_counter()
    proc = launch(session, argv)
    deadline = start + TIMEOUT
    frames = {}  # frame -> client window, from the window manager's reparenting
    client = None
    try:
        while client is None:
            event = next_event(connection, deadline)
            if event.type == X.ReparentNotify and event.parent != root:
                frames[event.parent.id] = event.window
            elif event.type == X.MapNotify and event.window.id in frames:
                client = frames[event.window.id]
        mapped = time.perf_counter()
        while True:
            try:
                if pixel(client) == WINDOW_COLOUR:
                    break
            except Exception:  # the window is not viewable yet
                pass
            if time.perf_counter() > deadline:
                raise TimeoutError("the window was never painted")
            time.sleep(0.0003)
        painted = time.perf_counter()
    finally:
        os.killpg(proc.pid, signal.SIGTERM)
        _, _, usage = os.wait4(proc.pid, 0)
        connection.sync()
    return (mapped - start) * 1000, (painted - start) * 1000, usage.ru_maxrss


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Start-up of the drill against a minimal Qt "
                                                 "window, on a private X server.")
    parser.add_argument("program", nargs="?",
                        default=os.path.join(here, "..", "build", "release", "program", "drill"))
    parser.add_argument("runs", nargs="?", type=int, default=20)
    parser.add_argument("--minimal", help="the minimal Qt window program")
    parser.add_argument("--also", help="another build of the drill, measured alongside")
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    runs = args.runs
    minimal = os.path.abspath(args.minimal or os.path.join(
        os.path.dirname(os.path.dirname(program)), "bench", "minimal_qt"))
    variants = {
        "drill": [program],
        "minimal Qt window": [minimal],
        "minimal, drill's faces": [minimal, "--faces"],
    }
    if args.also:
        variants["drill (--also)"] = [os.path.abspath(args.also)]
    figures = {name: [] for name in variants}
    with XSession() as session:
        connection = display.Display(session.env["DISPLAY"])
        connection.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
        connection.sync()
        names = list(variants)
        for round_number in range(runs + 1):
            # Each round in another order; the first round only warms the caches.
            order = names[round_number % len(names):] + names[:round_number % len(names)]
            for name in order:
                result = one_run(session, connection, variants[name])
                if round_number:
                    figures[name].append(result)
                time.sleep(0.05)
        connection.close()

    medians = {name: [statistics.median(r[i] for r in results) for i in range(3)]
               for name, results in figures.items()}
    print(f"{runs} interleaved runs each, medians (first paint: the window colour in the client "
          f"area)")
    print(f"{'':24} {'map ms':>8} {'paint ms':>9} {'max RSS MB':>11}")
    for name, (mapped, painted, rss) in medians.items():
        print(f"{name:24} {mapped:8.1f} {painted:9.1f} {rss / 1024:11.1f}")
    # The ratios are taken round by round, between runs made moments apart, and their median
    # is shown: a busy machine slows whole rounds, which the ratio of the medians would mix in.
    floors = ["minimal Qt window", "minimal, drill's faces"]
    print("ratios, median over the rounds:")
    for drill in [n for n in names if n not in floors]:
        for floor in floors:
            pairs = list(zip(figures[drill], figures[floor]))
            ratio = [statistics.median(a[i] / b[i] for a, b in pairs) for i in range(2)]
            memory = statistics.median(a[2] - b[2] for a, b in pairs)
            print(f"  {drill} / {floor}: map {ratio[0]:.2f}x, paint {ratio[1]:.2f}x, "
                  f"memory {memory / 1024:+.1f} MB")


if __name__ == "__main__":
    main()
