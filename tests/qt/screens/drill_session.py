"""Drives the real drill program in an X session (tests/qt/e2e/xsession.py) from outside, as a
pupil would with the keyboard, and reads where its controls are from the accessibility bus.

Used by the screens test and by scripts/screenshots.sh.
"""

import json
import os
import re
import subprocess
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MAIN_WINDOW = "Сложение чисел (2 класс)"
RESULT_WINDOW = "Оценка"
SERIES_LENGTH = 20
EXERCISE = re.compile(r"^(\d+) \+ (\d+) = $")
SYSTEM_PYTHON = "/usr/bin/python3"  # the Python that Debian's python3-pyatspi belongs to

# How each window's controls are told apart from outside: by role and text. "20" is the fixed
# total in the main window; the remaining count is "19" after the first answer.
MAIN_CONTROLS = [
    ("Lb1", {"label"}, EXERCISE),
    ("Label1", {"label"}, "Всего примеров -"),
    ("Label2", {"label"}, "Осталось           -"),
    ("Lb2", {"label"}, "20"),
    ("Lb3", {"label"}, "19"),
    ("bkClose", {"push button"}, "Выход"),
    ("bbRes", {"push button"}, "OK"),
    ("Numb", {"text", "entry"}, None),
    ("Panel1", {"panel", "label"}, "Кленова Д.М."),
]
# After a series answered without a mistake.
RESULT_CONTROLS = [
    ("Label1", {"label"}, "Ответили правильно на"),
    ("Label2", {"label"}, "Оценка"),
    ("Lb6", {"label"}, "20"),
    ("Lb7", {"label"}, "5"),
    ("Button1", {"push button"}, "Выход"),
]


class Rect:
    def __init__(self, x, y, width, height):
        self.x, self.y, self.width, self.height = x, y, width, height

    @property
    def right(self):
        return self.x + self.width

    @property
    def bottom(self):
        return self.y + self.height

    def contains(self, other):
        return (self.x <= other.x and self.y <= other.y and other.right <= self.right and
                other.bottom <= self.bottom)

    def overlaps(self, other):
        return (max(self.x, other.x) < min(self.right, other.right) and
                max(self.y, other.y) < min(self.bottom, other.bottom))

    def __repr__(self):
        return f"{self.width}x{self.height}+{self.x}+{self.y}"


def poll(condition, what, timeout=20):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out waiting for {what}")
        time.sleep(0.05)


def describe(windows):
    return {name: [(c["role"], c["name"]) for c in window["controls"]]
            for name, window in windows.items()}


def identify(window, table):
    """{control id: control} for a window's controls by the table; a control that is missing or
    found twice raises LookupError."""
    found = {}
    for ident, roles, text in table:
        matches = [c for c in window["controls"] if c["role"] in roles and _matches(c, text)]
        if len(matches) != 1:
            raise LookupError(f"{len(matches)} controls look like {ident} in "
                              f"{window['name']!r}: {describe({window['name']: window})}")
        found[ident] = matches[0]
    return found


def identifiable(windows, name, table):
    if name not in windows:
        return False
    try:
        identify(windows[name], table)
        return True
    except LookupError:
        return False


def _matches(control, text):
    if text is None:
        return True
    if isinstance(text, re.Pattern):
        return bool(text.match(control["name"]))
    return control["name"].strip() == text.strip()


class DrillRun:
    """The program running in an X session with the accessibility bus, and a reader of its
    windows on that bus (one process for the whole run: starting pyatspi takes a while)."""

    def __init__(self, session, program, log):
        """Starts the program (its output going to the open file log) and the reader."""
        self.session = session
        self.proc = session.start([program], stdout=log, stderr=subprocess.STDOUT)
        self.reader = subprocess.Popen(
            [SYSTEM_PYTHON, os.path.join(HERE, "atspi_windows.py"), "drill"], env=session.env,
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, encoding="utf-8")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.reader.stdin.close()
        try:
            self.reader.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.reader.kill()
            self.reader.wait()
        self.reader.stdout.close()
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        return False

    def windows(self):
        """{window name: window} of the program's showing windows with Rect extents; empty
        until the program has joined the accessibility bus."""
        self.reader.stdin.write("windows\n")
        self.reader.stdin.flush()
        answer = json.loads(self.reader.stdout.readline())
        if isinstance(answer, dict):  # the reader could not read the tree this time
            return {}
        windows = {}
        for window in answer:
            window["rect"] = Rect(*window["extents"])
            for item in window["controls"] + window["scroll_bars"]:
                item["rect"] = Rect(*item["extents"])
            windows[window["name"]] = window
        return windows

    def wait_for_windows(self, condition, what, timeout=20):
        deadline = time.monotonic() + timeout
        while True:
            windows = self.windows()
            if condition(windows):
                return windows
            if time.monotonic() > deadline:
                raise TimeoutError(f"timed out waiting for {what}; the accessibility bus "
                                   f"shows {describe(windows)}")
            time.sleep(0.05)

    def wait_until_active(self, name, timeout=20):
        """Keys typed before the window manager has made a window active would go elsewhere."""
        poll(lambda: self.session.active_window_name() == name, f"{name!r} to become active",
             timeout)

    def start_series(self):
        """Waits for the main window and moves the focus from «Выход» to the answer field with
        Tab, Tab. Returns the main window's X id."""
        window = self.session.wait_for_window(MAIN_WINDOW)
        self.wait_until_active(MAIN_WINDOW)
        self.wait_for_windows(lambda w: MAIN_WINDOW in w and w[MAIN_WINDOW]["controls"],
                              "the main window's controls on the accessibility bus")
        self.session.xdotool("key", "Tab", "Tab")
        return window

    def exercise(self, windows):
        """(a, b) of the exercise «a + b = » that the main window shows."""
        shown = [c["name"] for c in windows[MAIN_WINDOW]["controls"]
                 if c["role"] == "label" and EXERCISE.match(c["name"])]
        if len(shown) != 1:
            raise LookupError(f"no exercise in {describe(windows)}")
        return tuple(map(int, EXERCISE.match(shown[0]).groups()))

    def answer(self, count, remaining_before):
        """Answers count exercises correctly; waits after each until the remaining count shows
        it was taken (or the result window appears). Returns the remaining count."""
        remaining = remaining_before
        windows = self.wait_for_windows(lambda w: MAIN_WINDOW in w, "the main window")
        for _ in range(count):
            a, b = self.exercise(windows)
            self.session.xdotool("type", "--delay", "20", str(a + b))
            self.session.xdotool("key", "Return")
            remaining -= 1
            windows = self.wait_for_remaining(remaining)
        return remaining

    def wait_for_remaining(self, remaining):
        if remaining == 0:
            return self.wait_for_windows(lambda w: RESULT_WINDOW in w, "the result window")
        shown = str(remaining)
        # One handler shows the remaining count and the next exercise together.
        return self.wait_for_windows(
            lambda w: MAIN_WINDOW in w and any(
                c["name"] == shown for c in w[MAIN_WINDOW]["controls"]),
            f"the remaining count to show {shown}")

    def finish(self, timeout=20):
        """Closes the result window with Enter on its «Выход», then ends the program with Enter
        on the main window's «Выход»; returns the program's exit status."""
        self.wait_until_active(RESULT_WINDOW)
        self.session.xdotool("key", "Return")
        self.session.wait_for_no_window(RESULT_WINDOW)
        self.wait_until_active(MAIN_WINDOW)
        self.session.xdotool("key", "Return")
        return self.proc.wait(timeout=timeout)


def frame_rect(session, window_id):
    """The window's outer rectangle on the screen in device pixels, title bar and border
    included, from xwininfo and the window manager's _NET_FRAME_EXTENTS."""
    x, y, width, height = session.window_geometry(window_id)
    out = session.call(["xprop", "-id", str(window_id), "_NET_FRAME_EXTENTS"]).stdout
    _, sep, values = out.partition("=")
    left, right, top, bottom = (int(v) for v in values.split(",")) if sep else (0, 0, 0, 0)
    return Rect(x - left, y - top, width + left + right, height + top + bottom)


def crop(screenshot, rect, path):
    subprocess.run(["convert", screenshot, "-crop",
                    f"{rect.width}x{rect.height}+{rect.x}+{rect.y}", "+repage", path],
                   check=True)
    return path
