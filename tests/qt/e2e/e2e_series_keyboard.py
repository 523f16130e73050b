"""The built program used as a pupil uses it: started on a real X server with a window manager and
driven by the keyboard alone (xdotool), with screenshots of what it shows.

Usage: e2e_series_keyboard.py <drill executable> <directory for the screenshots>
"""

import os
import sys
import time
import unittest

from drill_program import MAIN_CAPTION as MAIN, RESULT_CAPTION as RESULT, application_title
from xsession import read_pixels, run_tests

SCREEN = (1280, 1024)
MAIN_OUTER = (472, 275)
RESULT_FRAME = (286, 276, 426, 209)
CHECK_GREEN = (0, 128, 0)
CHECK_MARK_PIXELS = 42  # the drawn tick of the OK button
MAROON = (128, 0, 0)
# Desktop-centred: where the main window's outer frame belongs.
MAIN_FRAME = ((SCREEN[0] - MAIN_OUTER[0]) // 2, (SCREEN[1] - MAIN_OUTER[1]) // 2, *MAIN_OUTER)

EXECUTABLE = ""
SHOTS = ""
SESSION = None  # one X session for the whole run


def count(pixels, colour):
    return sum(1 for p in pixels if p == colour)


class Picture:
    """A screenshot and the rectangles of it that the checks look at."""

    def __init__(self, path):
        self.path = path

    def pixels(self, rect):
        return read_pixels(self.path, rect)


class KeyboardSeries(unittest.TestCase):
    def setUp(self):
        self.session = SESSION

    def start_program(self):
        proc = self.session.start([EXECUTABLE])
        self.addCleanup(self.session.stop, proc)
        window = self.session.wait_for_window(MAIN)
        self.session.wait_until_active(MAIN)
        return proc, window

    def assert_exits_with_zero(self, proc):
        try:
            status = proc.wait(timeout=20)
        except Exception:
            self.fail("the program did not end")
        self.assertEqual(status, 0, "exit status")

    def type_line(self, text):
        self.session.xdotool("type", "--delay", "20", text)
        self.session.xdotool("key", "Return")

    def wait_for_frame(self, window, expected, tolerance=0):
        """The window's outer frame once it matches expected (the program fits its size to the
        frame after the window manager has framed it); the last one seen otherwise."""
        seen = []

        def matches():
            seen[:] = [self.session.frame_geometry(window)]
            return all(abs(a - b) <= tolerance for a, b in zip(seen[0], expected))

        try:
            self.session.wait_until(matches, "the window's frame", timeout=5)
        except TimeoutError:
            pass
        return seen[0]

    def main_areas(self, window):
        """The main window's outer frame, the area of its OK button (right of the answer field,
        at the top: nothing else there is green) and that of its «Выход» button (bottom right)."""
        frame = self.session.frame_geometry(window)
        x, y, width, height = self.session.window_geometry(window)
        return frame, (x + 300, y, width - 300, 100), (x + 300, y + 170, width - 300, height - 170)

    def take_picture(self, name, ready):
        """A screenshot once ready(picture) holds, or the last one taken after a few seconds."""
        path = os.path.join(SHOTS, name)
        deadline = time.monotonic() + 10
        while True:
            self.session.screenshot(path)
            picture = Picture(path)
            if ready(picture) or time.monotonic() > deadline:
                return picture
            time.sleep(0.2)

    # -- the tests ----------------------------------------------------------------------------
    def test_enter_at_start_presses_exit(self):
        # The focus starts on «Выход», so Enter right away ends the program.
        proc, _ = self.start_program()
        self.session.xdotool("key", "Return")
        self.assert_exits_with_zero(proc)

    def test_focus_shown_from_start(self):
        # The pupil works with the keyboard: the button that Enter would press is marked from
        # the start, not only once Tab has been used.
        _, main = self.start_program()
        self.wait_for_frame(main, MAIN_FRAME, tolerance=1)
        _, ok_area, exit_area = self.main_areas(main)
        start = self.take_picture(
            "focus_start.png",
            lambda p: count(p.pixels(ok_area), CHECK_GREEN) == CHECK_MARK_PIXELS)
        self.session.xdotool("key", "Tab")
        on_ok = self.take_picture("focus_on_ok.png",
                                  lambda p: p.pixels(ok_area) != start.pixels(ok_area))
        # (Pixel lists compared with assertTrue: a failure message listing them would be huge.)
        self.assertTrue(on_ok.pixels(ok_area) != start.pixels(ok_area),
                        "Tab marks nothing on the OK button")
        self.assertTrue(start.pixels(exit_area) != on_ok.pixels(exit_area),
                        "«Выход» has the focus at the start but looks as without it")

    def test_whole_series_by_keyboard(self):
        s = self.session
        title = application_title(EXECUTABLE)
        proc, main = self.start_program()

        # Centred on the screen (half a pixel may go either way), outer frame as designed.
        frame = self.wait_for_frame(main, MAIN_FRAME, tolerance=1)
        self.assertLessEqual(abs(frame[0] - MAIN_FRAME[0]), 1, f"main window frame {frame}")
        self.assertLessEqual(abs(frame[1] - MAIN_FRAME[1]), 1, f"main window frame {frame}")
        self.assertEqual(frame[2:], MAIN_OUTER, f"main window frame {frame}")

        _, ok_area, _ = self.main_areas(main)

        def main_drawn(picture):
            return (count(picture.pixels(ok_area), CHECK_GREEN) == CHECK_MARK_PIXELS
                    and len(set(picture.pixels(frame))) >= 8)

        start = self.take_picture("main_start.png", main_drawn)
        self.assertGreaterEqual(len(set(start.pixels(frame))), 8, "main window looks blank")
        self.assertEqual(count(start.pixels(ok_area), CHECK_GREEN), CHECK_MARK_PIXELS,
                         "green check mark on the OK button")

        # Escape does nothing; Tab twice goes from «Выход» over OK to the answer field.
        s.xdotool("key", "Escape")
        s.xdotool("key", "Tab", "Tab")

        for number in range(20):
            if number == 4:
                # A rejected text: a message box under the application title; afterwards the
                # field still holds the text, and the same exercise is still due.
                self.type_line("12a")
                box = s.wait_for_window(title)
                s.wait_until_active(title)
                box_frame = s.frame_geometry(box)
                self.take_picture("message_box.png",
                                  lambda p: len(set(p.pixels(box_frame))) >= 4)
                s.xdotool("key", "Return")
                s.wait_for_no_window(title)
                s.wait_until_active(MAIN)
                s.xdotool("key", "BackSpace", "BackSpace", "BackSpace")
            if number == 19:
                # Nineteen answers accepted: the rejected text did not use up an exercise.
                time.sleep(0.5)
                self.assertEqual(s.visible_windows(RESULT), [], "result window too early")
            # Sums are at most 110, so every answer here is wrong: 0 correct, mark 2.
            self.type_line(str(200 + number))
            self.assertIsNone(proc.poll(), f"the program ended after answer {number + 1}")

        result = s.wait_for_window(RESULT)
        s.wait_until_active(RESULT)
        self.assertEqual(s.visible_windows(title), [], "a message box came up during the series")
        result_frame = self.wait_for_frame(result, RESULT_FRAME)
        self.assertEqual(result_frame, RESULT_FRAME, "result window frame")

        def result_drawn(picture):
            return count(picture.pixels(result_frame), MAROON) >= 20

        shot = self.take_picture("result_window.png", result_drawn)
        self.assertGreaterEqual(len(set(shot.pixels(result_frame))), 8, "result window blank")
        self.assertGreaterEqual(count(shot.pixels(result_frame), MAROON), 20, "maroon mark")
        # Behind it the main window has its OK button disabled: the check mark is grey now.
        self.assertEqual(count(shot.pixels(ok_area), CHECK_GREEN), 0,
                         "check mark still green on the disabled OK button")

        # Escape leaves the result window open; Enter presses its «Выход».
        s.xdotool("key", "Escape")
        time.sleep(0.3)
        self.assertEqual(len(s.visible_windows(RESULT)), 1, "Escape closed the result window")
        s.xdotool("key", "Return")
        s.wait_for_no_window(RESULT)

        # Back in the finished main window the focus is on «Выход»: Enter ends the program.
        s.wait_until_active(MAIN)
        self.assertIsNone(proc.poll(), "the program ended with the result window")
        s.xdotool("key", "Return")
        self.assert_exits_with_zero(proc)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    EXECUTABLE = os.path.abspath(sys.argv[1])
    SHOTS = os.path.abspath(sys.argv[2])
    os.makedirs(SHOTS, exist_ok=True)

    def started(session):
        global SESSION
        SESSION = session

    # The pointer waits in a corner, away from the windows: no control is drawn hovered.
    width, height = SCREEN
    sys.exit(run_tests(100, started, width=width, height=height))
