"""The Windows build's two windows at several screen resolutions under Wine: every control inside
its window's client area, no scroll bar, the main window desktop-centred and the result window at
its designed place; a screenshot of each window at each resolution.

Wine reads the resolution (LogPixels) and whether the window manager frames its windows (Managed)
when a program starts, so each run sets them in the prefix before starting Drill.exe and puts
them back at the end. With Managed=N Wine draws its own frames: outer rectangles are exact.

Usage (under CTest, which gives the wine fixture's environment):
  screens_dpi.py <Drill.exe> <probe.exe> <directory for the screenshots> <work directory>
"""

import os
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cases"))
import drill_cases as cases  # noqa: E402
from winsession import WineSession, stop_program

RESOLUTIONS = (96, 120, 144, 192)
SCREEN = (1280, 1024)  # the fixture's Xvfb
MAIN_OUTER = (472, 275)
RESULT_PLACE = (286, 276)
RESULT_OUTER = (426, 209)

EXECUTABLE = ""
EXE_NAME = ""
SHOTS = ""
SESSION = None

DESKTOP_KEY = r"HKCU\Control Panel\Desktop"
X11_KEY = r"HKCU\Software\Wine\X11 Driver"


def reg(*args):
    result = SESSION.call([SESSION.loader, "reg", *args], timeout=60)
    return result.returncode


def crop(screenshot, rect, path):
    left, top, right, bottom = rect
    SESSION.call(["convert", screenshot, "-crop", f"{right - left}x{bottom - top}+{left}+{top}",
                  "+repage", path])


class Screens(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        reg("add", X11_KEY, "/v", "Managed", "/t", "REG_SZ", "/d", "N", "/f")

    @classmethod
    def tearDownClass(cls):
        reg("delete", X11_KEY, "/v", "Managed", "/f")
        reg("delete", DESKTOP_KEY, "/v", "LogPixels", "/f")

    def check_window(self, window, what):
        """Every control inside the window's client area, and no scroll bar."""
        left, top, right, bottom = window.client
        self.assertFalse(window.data["hscroll"] or window.data["vscroll"],
                         f"{what}: scroll bar shown")
        for control in window.children:
            if not control.visible:
                continue
            l, t, r, b = control.rect
            self.assertTrue(left <= l and top <= t and r <= right and b <= bottom,
                            f"{what}: {control.cls} {control.text!r} at {control.rect} lies "
                            f"outside the client area {window.client}")

    @staticmethod
    def settled(find, what):
        """find()'s window once two looks in a row give it the same rectangles: the probe reads
        a window and its controls one after another, not at one instant."""
        last = []

        def same():
            found = find()
            if not found:
                return None
            window = found[1] if isinstance(found, tuple) else found
            shape = (window.rect, window.client, [c.rect for c in window.children])
            stable = last and last[0] == shape
            last[:] = [shape]
            time.sleep(0.1)
            return found if stable else None

        return SESSION.wait(same, f"{what} to keep still", timeout=10)

    def shoot(self, window, name):
        full = os.path.join(SHOTS, f"{name}_screen.png")
        SESSION.screenshot(full)
        crop(full, window.rect, os.path.join(SHOTS, f"{name}.png"))
        os.remove(full)

    def test_resolutions(self):
        for dpi in RESOLUTIONS:
            with self.subTest(dpi=dpi):
                self.assertEqual(reg("add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD",
                                     "/d", str(dpi), "/f"), 0, "setting LogPixels")
                SESSION.restart_probe()
                proc = SESSION.start(EXECUTABLE)
                try:
                    self.run_at(dpi, proc)
                finally:
                    stop_program(proc)

    def run_at(self, dpi, proc):
        s = SESSION

        def snap():
            if proc.poll() is not None:
                raise AssertionError(f"Drill.exe ended with status {proc.returncode}")
            return s.snapshot(EXE_NAME)

        def main_ready():
            n = snap()
            main = n.window(cases.MAIN_CAPTION)
            return (n, main) if main and any(cases.EXERCISE.fullmatch(c.text)
                                             for c in main.children) and n.focus else None

        s.wait(main_ready, f"the main window at {dpi} dpi", timeout=60)  # Wine may start services
        n, main = self.settled(main_ready, f"the main window at {dpi} dpi")
        self.assertEqual(n.data["dpi"], dpi, "the resolution Wine gives programs")
        s.wait(lambda: s.x_focus_in(cases.MAIN_CAPTION)
               or s.active_x_window_name() == cases.MAIN_CAPTION,
               lambda: f"the X focus in the main window (it is on "
               f"{s.call(['xdotool', 'getwindowfocus', '-f', 'getwindowname']).stdout!r})")
        self.check_window(main, f"main window at {dpi} dpi")
        width, height = main.rect[2] - main.rect[0], main.rect[3] - main.rect[1]
        # Desktop-centred with whatever outer size it has at this resolution.
        self.assertLessEqual(abs(main.rect[0] - (SCREEN[0] - width) // 2), 1, main.rect)
        self.assertLessEqual(abs(main.rect[1] - (SCREEN[1] - height) // 2), 1, main.rect)
        if dpi == 96:
            self.assertEqual((width, height), MAIN_OUTER, "main window's outer size")
        else:
            self.assertGreater(width, MAIN_OUTER[0], "the main window did not grow")
        print(f"{dpi} dpi: main window outer {width}x{height}, client "
              f"{main.client[2] - main.client[0]}x{main.client[3] - main.client[1]}", flush=True)
        self.shoot(main, f"main_{dpi}dpi")

        # A quick series to reach the result window.
        s.keys("Tab", "Tab")
        for number in range(cases.SERIES_LENGTH):
            window = snap().window(cases.MAIN_CAPTION)
            exercise = [c.text for c in window.children if cases.EXERCISE.fullmatch(c.text)][0]
            first, second = map(int, cases.EXERCISE.fullmatch(exercise).groups())
            s.type_text(str(first + second))
            s.keys("Return")
            left = str(19 - number)
            s.wait(lambda: any(c.text == left for c in snap().window(cases.MAIN_CAPTION).children)
                   if number < 19 else snap().window(cases.RESULT_CAPTION),
                   f"answer {number + 1} taken at {dpi} dpi")

        def result_ready():
            n = snap()
            result = n.window(cases.RESULT_CAPTION)
            return result if result and n.focus == result.child(cases.EXIT).hwnd else None

        s.wait(result_ready, f"the result window at {dpi} dpi")
        result = self.settled(result_ready, f"the result window at {dpi} dpi")
        self.check_window(result, f"result window at {dpi} dpi")
        self.assertEqual(result.rect[:2], RESULT_PLACE, "the result window's designed place")
        width, height = result.rect[2] - result.rect[0], result.rect[3] - result.rect[1]
        if dpi == 96:
            self.assertEqual((width, height), RESULT_OUTER, "result window's outer size")
        print(f"{dpi} dpi: result window outer {width}x{height}", flush=True)
        self.shoot(result, f"result_{dpi}dpi")
        s.keys("Return")
        s.wait(lambda: not snap().visible(cases.RESULT_CAPTION), "the result window to close")
        # Windows that no window manager handles do not get the X focus back from it when the
        # result window goes: the main window is closed as its frame's close button does.
        main = snap().window(cases.MAIN_CAPTION)
        s.post_close(main.hwnd)
        try:
            status = proc.wait(timeout=20)
        except Exception:
            self.fail(f"Drill.exe did not end at {dpi} dpi")
        self.assertEqual(status, 0, "exit status")


def main():
    global EXECUTABLE, EXE_NAME, SHOTS, SESSION
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    EXECUTABLE = os.path.abspath(sys.argv[1])
    EXE_NAME = os.path.basename(EXECUTABLE)
    SHOTS = os.path.abspath(sys.argv[3])
    os.makedirs(SHOTS, exist_ok=True)

    def stop(signum, _frame):
        raise KeyboardInterrupt(f"stopped by signal {signal.Signals(signum).name}")

    for signum in (signal.SIGTERM, signal.SIGALRM):
        signal.signal(signum, stop)
    signal.alarm(280)
    with WineSession(os.path.abspath(sys.argv[2]), log_dir=os.path.abspath(sys.argv[4])) \
            as SESSION:
        SESSION.xdotool("mousemove", 0, 0)
        outcome = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    sys.exit(0 if outcome.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
