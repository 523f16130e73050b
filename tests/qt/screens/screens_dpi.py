#!/usr/bin/env python3
"""Both windows of the real program at several screen resolutions.

At each setting the program runs on its own X server (Xvfb -dpi and Xft.dpi, or Qt's own scale
factor), is driven with the keyboard through a whole series, and both windows are measured from
outside: the window's client area and each control's rectangle from the accessibility bus (in
Qt's device-independent pixels), the window's size in device pixels from the X server. A
screenshot of each window is kept in the output folder.

The layout is right when, at every setting:
- the windows are scaled once, by the setting's factor (device pixels per device-independent
  pixel), neither twice nor not at all;
- every control lies inside the client area, and the window shows no scroll bars;
- no two controls overlap, except the designed pair: the answer field may cover the end of the
  exercise label in the main window;
- the windows lie wholly on the screen;
- every control keeps its place and size in proportion to the window, as at 96 dpi.

Usage: screens_dpi.py --program BUILD/program/drill --xsession tests/qt/e2e --shots OUTDIR
"""

import argparse
import itertools
import os
import sys
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import drill_session as drill  # noqa: E402

# name, Xft.dpi and Xvfb -dpi, environment, device pixels per device-independent pixel
SETTINGS = [
    ("96dpi", 96, {}, 1.0),
    ("120dpi", 120, {}, 1.25),
    ("144dpi", 144, {}, 1.5),
    ("192dpi", 192, {}, 2.0),
    ("96dpi-scale2", 96, {"QT_SCALE_FACTOR": "2"}, 2.0),
]
BASELINE = "96dpi"
# The screen is 1280 × 1024 device-independent pixels at every setting.
SCREEN = (1280, 1024)
DESIGNED_OVERLAPS = {frozenset({"Lb1", "Numb"})}
# Controls whose width follows a text that differs from series to series.
VARIABLE_WIDTH = {(drill.MAIN_WINDOW, "Lb1")}
SCALE_TOLERANCE = 0.02  # of the expected factor
PROPORTION_TOLERANCE = 0.03  # of the window's width
WINDOW_SIZE_TOLERANCE = 0.02  # of the window's outer size at 96 dpi

options = None


def measure_window(session, window_id, window, table):
    x, y, width, height = session.window_geometry(window_id)
    return {
        "client_dip": window["rect"],
        "client_px": drill.Rect(x, y, width, height),
        "frame_px": drill.frame_rect(session, window_id),
        "controls": {ident: c["rect"] for ident, c in drill.identify(window, table).items()},
        "scroll_bars": [s["rect"] for s in window["scroll_bars"] if s["showing"]],
    }


def measure(name, dpi, env, factor):
    """Runs a whole series at one setting; the measurements of both windows and the exit status."""
    from xsession import XSession

    screen = (round(SCREEN[0] * factor), round(SCREEN[1] * factor))
    shots = options.shots
    log_path = os.path.join(shots, f"{name}.log")
    with XSession(width=screen[0], height=screen[1], dpi=dpi, accessibility=True,
                  extra_env=env) as session, open(log_path, "wb") as log, \
            drill.DrillRun(session, options.program, log) as run:
        main_id = run.start_series()
        run.answer(1, drill.SERIES_LENGTH)
        windows = run.wait_for_windows(
            lambda w: drill.identifiable(w, drill.MAIN_WINDOW, drill.MAIN_CONTROLS),
            "the main window after the first answer")
        main = measure_window(session, main_id, windows[drill.MAIN_WINDOW], drill.MAIN_CONTROLS)
        _shoot(session, os.path.join(shots, f"{name}-main"), main["frame_px"])

        run.answer(drill.SERIES_LENGTH - 1, drill.SERIES_LENGTH - 1)
        result_id = session.wait_for_window(drill.RESULT_WINDOW)
        windows = run.wait_for_windows(
            lambda w: drill.identifiable(w, drill.RESULT_WINDOW, drill.RESULT_CONTROLS),
            "the result window's controls")
        result = measure_window(session, result_id, windows[drill.RESULT_WINDOW],
                                drill.RESULT_CONTROLS)
        _shoot(session, os.path.join(shots, f"{name}-result"), result["frame_px"])
        status = run.finish()
    return {"screen_px": screen, "status": status, "log": log_path,
            "windows": {drill.MAIN_WINDOW: main, drill.RESULT_WINDOW: result}}


def _shoot(session, stem, frame):
    session.screenshot(f"{stem}-screen.png")
    drill.crop(f"{stem}-screen.png", frame, f"{stem}.png")


def layout_faults(measured, factor, baseline):
    """What is wrong with the measured layout at one setting, as sentences; none when right."""
    faults = []
    if measured["status"] != 0:
        with open(measured["log"], errors="replace") as log:
            faults.append(f"the program ended with status {measured['status']}: {log.read()}")
    screen = drill.Rect(0, 0, *measured["screen_px"])
    for title, window in measured["windows"].items():
        dip, px = window["client_dip"], window["client_px"]
        scales = (px.width / dip.width, px.height / dip.height)
        if any(abs(s - factor) > factor * SCALE_TOLERANCE for s in scales):
            faults.append(f"{title}: scaled by {scales[0]:.3f} × {scales[1]:.3f} "
                          f"(client {dip.width}x{dip.height} dip, {px.width}x{px.height} px), "
                          f"not by {factor}")
        if not screen.contains(window["frame_px"]):
            faults.append(f"{title}: the window {window['frame_px']} is not wholly on the "
                          f"{screen.width}x{screen.height} screen")
        if window["scroll_bars"]:
            faults.append(f"{title}: the window shows {len(window['scroll_bars'])} scroll "
                          f"bar(s) {window['scroll_bars']} in its client area {dip}")
        controls = window["controls"]
        for ident, rect in controls.items():
            if not dip.contains(rect):
                faults.append(f"{title}: {ident} {rect} is not inside the client area {dip}")
        for (a, ra), (b, rb) in itertools.combinations(controls.items(), 2):
            if ra.overlaps(rb) and frozenset({a, b}) not in DESIGNED_OVERLAPS:
                faults.append(f"{title}: {a} {ra} overlaps {b} {rb}")
        if baseline:
            faults += _proportion_faults(title, window, baseline["windows"][title], factor)
    return faults


def _proportion_faults(title, window, base, factor):
    faults = []
    dip, base_dip = window["client_dip"], base["client_dip"]
    # The designed size is the window's outer size; the frame is the window manager's, drawn in
    # device pixels, so the client area's height varies a little with the factor.
    outer = (window["frame_px"].width / factor, window["frame_px"].height / factor)
    base_outer = (base["frame_px"].width, base["frame_px"].height)
    for size, base_size, what in zip(outer, base_outer, ("width", "height")):
        if abs(size - base_size) > base_size * WINDOW_SIZE_TOLERANCE:
            faults.append(f"{title}: the window's outer {what} is {size:.0f} dip, at "
                          f"{BASELINE} {base_size}")
    for ident, rect in window["controls"].items():
        base_rect = base["controls"][ident]
        now = _relative(rect, dip)
        then = _relative(base_rect, base_dip)
        for key in ("x", "y", "width", "height"):
            if key == "width" and (title, ident) in VARIABLE_WIDTH:
                continue
            if abs(now[key] - then[key]) > PROPORTION_TOLERANCE:
                faults.append(f"{title}: {ident}'s {key} is {now[key]:.3f} of the window's "
                              f"width ({rect}), at {BASELINE} {then[key]:.3f} ({base_rect})")
    return faults


def _relative(rect, client):
    """A control's rectangle in parts of its window's width, from the client area's corner."""
    unit = client.width
    return {"x": (rect.x - client.x) / unit, "y": (rect.y - client.y) / unit,
            "width": rect.width / unit, "height": rect.height / unit}


def report(name, measured):
    for title, window in measured["windows"].items():
        dip, px = window["client_dip"], window["client_px"]
        controls = ", ".join(f"{ident} {r.width}x{r.height}+{r.x - dip.x}+{r.y - dip.y}"
                             for ident, r in window["controls"].items())
        print(f"{name} {title}: client {dip.width}x{dip.height} dip = {px.width}x{px.height} px "
              f"(×{px.width / dip.width:.3f}), frame {window['frame_px']}; controls in dip: "
              f"{controls}", flush=True)


class ScreensAtResolutions(unittest.TestCase):
    def test_layout_at_every_setting(self):
        baseline = None
        for name, dpi, env, factor in SETTINGS:
            with self.subTest(setting=name):
                measured = measure(name, dpi, env, factor)
                report(name, measured)
                faults = layout_faults(measured, factor, baseline)
                if name == BASELINE:
                    baseline = measured
                self.assertEqual(faults, [], f"the layout at {name} is wrong:\n  " +
                                 "\n  ".join(faults))


def main():
    global options
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--xsession", required=True, help="the folder of xsession.py")
    parser.add_argument("--shots", required=True, help="where the screenshots go")
    options, rest = parser.parse_known_args()
    sys.path.insert(0, options.xsession)
    os.makedirs(options.shots, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
