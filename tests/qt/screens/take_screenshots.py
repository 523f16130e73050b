#!/usr/bin/env python3
"""Takes the screenshots of both windows for the documentation from the real program on Xvfb
(1280 × 1024, 96 dpi): the main window in the middle of a series with an answer typed in, and the
result window after a series answered without a mistake. Each picture is the window with its
frame, cut out of the screen.

Usage: take_screenshots.py --program BUILD/program/drill --xsession tests/qt/e2e --out docs/screenshots
"""

import argparse
import os
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import drill_session as drill  # noqa: E402

ANSWERED_BEFORE_MAIN_SHOT = 4


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--xsession", required=True, help="the folder of xsession.py")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    sys.path.insert(0, args.xsession)
    from xsession import XSession

    os.makedirs(args.out, exist_ok=True)
    main_shot = os.path.join(args.out, "main-window.png")
    result_shot = os.path.join(args.out, "result-window.png")
    with tempfile.TemporaryDirectory() as scratch, \
            XSession(width=1280, height=1024, dpi=96, accessibility=True) as session, \
            open(os.path.join(scratch, "drill.log"), "wb") as log, \
            drill.DrillRun(session, args.program, log) as run:
        screen = os.path.join(scratch, "screen.png")
        main_id = run.start_series()
        remaining = run.answer(ANSWERED_BEFORE_MAIN_SHOT, drill.SERIES_LENGTH)

        # The next answer typed in but not yet confirmed.
        a, b = run.exercise(run.windows())
        session.xdotool("type", "--delay", "20", str(a + b))
        time.sleep(0.5)  # for the field to show it
        session.screenshot(screen)
        drill.crop(screen, drill.frame_rect(session, main_id), main_shot)
        session.xdotool("key", "Return")
        remaining -= 1
        run.wait_for_remaining(remaining)

        run.answer(remaining, remaining)
        result_id = session.wait_for_window(drill.RESULT_WINDOW)
        run.wait_for_windows(
            lambda w: drill.identifiable(w, drill.RESULT_WINDOW, drill.RESULT_CONTROLS),
            "the result window's controls")
        session.screenshot(screen)
        drill.crop(screen, drill.frame_rect(session, result_id), result_shot)
        status = run.finish()
    if status != 0:
        sys.exit(f"the program ended with status {status}")
    print(f"wrote {main_shot} and {result_shot}")


if __name__ == "__main__":
    main()
