"""The built program among the windows of a desktop, as a task bar and a window manager see it:
on a real X server with openbox, read with xprop and xwininfo, driven with xdotool and wmctrl.

- one task-bar entry: every window but the main one is transient for the window it belongs to;
- the message box and the result window are minimized and restored with the main window, and
  come back on top; the box has no minimize or maximize button of its own;
- in a window made smaller than its controls the view follows the focus;
- a size given to the window as soon as it shows is kept, frame or no frame yet;
- a rejected text with a NUL in it is shown whole in the box;
- an executable named «.hidden» (an empty title) captions its box with its file name;
- with no display to connect to, one plain line on standard error and a failure status.

Usage: e2e_desktop.py <drill executable> <directory for the screenshots>
"""

import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from drill_program import MAIN_CAPTION as MAIN, RESULT_CAPTION as RESULT, application_title
from xsession import read_pixels, run_tests

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "screens"))
import drill_session  # noqa: E402  (reads the program's windows on the accessibility bus)

CHECK_MARK_PIXELS = 42  # the drawn tick of the OK button


def tick_green(pixel):
    """The tick's green (0, 128, 0), also under the light tint that marks a focused button."""
    r, g, b = pixel
    return r <= 40 and 100 <= g <= 160 and b <= 60
SERIES_LENGTH = 20

EXECUTABLE = ""
SHOTS = ""
SESSION = None  # one X session for the whole run


# -- what the window manager knows of a window ---------------------------------------------------

def window_ids(text):
    """The window ids in an xprop line such as "_NET_CLIENT_LIST(WINDOW): window id # 0x1, 0x2"."""
    _, sep, ids = text.partition("#")
    return [int(i, 16) for i in ids.replace(",", " ").split()] if sep else []


def prop(window, name):
    return SESSION.call(["xprop", "-id", str(window), name]).stdout


def atoms(window, name):
    _, sep, values = prop(window, name).partition("=")
    return {v.strip() for v in values.split(",") if v.strip()} if sep else set()


def client_list(stacking=False):
    name = "_NET_CLIENT_LIST_STACKING" if stacking else "_NET_CLIENT_LIST"
    return window_ids(SESSION.call(["xprop", "-root", name]).stdout)


def transient_for(window):
    ids = window_ids(prop(window, "WM_TRANSIENT_FOR"))
    return ids[0] if ids else None


def task_bar_entries():
    """The managed windows that a task bar lists: those that are transient for no window and do
    not ask to be left out of the task bar."""
    return [w for w in client_list()
            if transient_for(w) is None
            and "_NET_WM_STATE_SKIP_TASKBAR" not in atoms(w, "_NET_WM_STATE")]


def viewable(window):
    return "Map State: IsViewable" in SESSION.call(["xwininfo", "-id", str(window)]).stdout


def motif_hints(window):
    """(functions, decorations) of _MOTIF_WM_HINTS; None where the window sets none."""
    _, sep, values = prop(window, "_MOTIF_WM_HINTS").partition("=")
    if not sep:
        return None
    fields = [int(v, 0) for v in values.split(",")]
    return fields[1], fields[2]


MWM_MINIMIZE, MWM_MAXIMIZE = 0x08, 0x10  # function bits
MWM_DECOR_MINIMIZE, MWM_DECOR_MAXIMIZE = 0x20, 0x40


class DesktopTest(unittest.TestCase):
    def setUp(self):
        self.session = SESSION

    def start(self, executable=None):
        proc = self.session.start([executable or EXECUTABLE], stderr=subprocess.DEVNULL)
        self.addCleanup(self.session.stop, proc)
        window = int(self.session.wait_for_window(MAIN))
        self.session.wait_until_active(MAIN)
        return proc, window

    def reject_an_answer(self, title):
        """Tab, Tab to the answer field, a letter and Enter: the box comes up."""
        self.session.xdotool("key", "Tab", "Tab")
        self.session.xdotool("type", "a")
        self.session.xdotool("key", "Return")
        box = int(self.session.wait_for_window(title))
        self.session.wait_until_active(title)
        return box

    def wait(self, condition, what):
        self.session.wait_until(condition, what, timeout=10)

    def assert_minimized_and_restored_together(self, main, other, other_name):
        """The window manager's minimize of the main window takes the other window along; the
        task bar's activation of the main window brings both back, the other one on top and
        active. Minimizing the other window takes the main window along as well."""
        self.session.xdotool("windowminimize", main)
        self.wait(lambda: not viewable(main) and not viewable(other),
                  f"the main window and {other_name} to be minimized together")
        self.assertIn("_NET_WM_STATE_HIDDEN", atoms(other, "_NET_WM_STATE"))

        self.session.call(["wmctrl", "-i", "-a", hex(main)])  # what a task bar's click does
        self.wait(lambda: viewable(main) and viewable(other), "both windows to be restored")
        stacking = client_list(stacking=True)
        self.assertGreater(stacking.index(other), stacking.index(main),
                           f"{other_name} is above the main window")
        self.session.wait_until_active(other_name)

        self.session.xdotool("windowminimize", other)
        self.wait(lambda: not viewable(main) and not viewable(other),
                  f"{other_name} to take the main window along")
        self.session.call(["wmctrl", "-i", "-a", hex(main)])
        self.wait(lambda: viewable(main) and viewable(other), "both windows to be restored")
        self.session.wait_until_active(other_name)


class WindowsGoTogether(DesktopTest):
    def test_message_box_belongs_to_the_main_window(self):
        proc, main = self.start()
        title = application_title(EXECUTABLE)
        box = self.reject_an_answer(title)

        # xprop -root _NET_CLIENT_LIST; xprop -id BOX WM_TRANSIENT_FOR
        self.assertEqual(task_bar_entries(), [main])
        self.assertEqual(transient_for(box), main)
        # No minimize or maximize button: neither asked of the window manager nor allowed.
        functions, decorations = motif_hints(box)
        self.assertFalse(functions & (MWM_MINIMIZE | MWM_MAXIMIZE), hex(functions))
        self.assertFalse(decorations & (MWM_DECOR_MINIMIZE | MWM_DECOR_MAXIMIZE), hex(decorations))
        allowed = atoms(box, "_NET_WM_ALLOWED_ACTIONS")
        self.assertIn("_NET_WM_ACTION_CLOSE", allowed)
        self.assertFalse({"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT"} & allowed)

        self.assert_minimized_and_restored_together(main, box, title)

        self.session.xdotool("key", "Return")  # OK
        self.session.wait_for_no_window(title)
        self.session.wait_until_active(MAIN)
        self.assertEqual(task_bar_entries(), [main])

    def test_result_window_belongs_to_the_main_window(self):
        proc, main = self.start()
        self.session.xdotool("key", "Tab", "Tab")
        for _ in range(SERIES_LENGTH):  # whole numbers, accepted whether right or wrong
            self.session.xdotool("type", "0")
            self.session.xdotool("key", "Return")
        result = int(self.session.wait_for_window(RESULT))
        self.session.wait_until_active(RESULT)

        self.assertEqual(task_bar_entries(), [main])
        self.assertEqual(transient_for(result), main)
        # Still a window with the whole frame of one: it can be minimized and maximized.
        allowed = atoms(result, "_NET_WM_ALLOWED_ACTIONS")
        self.assertTrue({"_NET_WM_ACTION_MINIMIZE", "_NET_WM_ACTION_MAXIMIZE_HORZ",
                         "_NET_WM_ACTION_CLOSE"} <= allowed, allowed)

        self.assert_minimized_and_restored_together(main, result, RESULT)

        self.session.xdotool("key", "Return")  # «Выход» of the result window
        self.session.wait_for_no_window(RESULT)
        self.session.wait_until_active(MAIN)
        self.session.xdotool("key", "Return")  # «Выход» of the main window
        self.assertEqual(proc.wait(timeout=20), 0)


class ViewFollowsTheFocus(DesktopTest):
    def check_mark_pixels(self, window):
        """How many pixels of the OK button's green tick the window's client area shows."""
        shot = self.session.screenshot(os.path.join(SHOTS, "small-window.png"))
        pixels = read_pixels(shot, self.session.window_geometry(window))
        return sum(1 for p in pixels if tick_green(p))

    def test_focus_moved_by_keys_is_scrolled_into_view(self):
        proc, main = self.start()  # the focus is on «Выход»
        self.session.xdotool("windowsize", main, 200, 100)
        self.wait(lambda: self.session.window_geometry(main)[2:] == (200, 100),
                  "the window to be made smaller")
        # Made smaller, the view scrolls to the focused «Выход» (bottom right), which takes OK
        # out of view; a slow build repaints a moment after the window manager's resize.
        seen = []

        def out_of_view():
            seen[:] = [self.check_mark_pixels(main)]
            return seen[0] == 0

        try:
            self.wait(out_of_view, "the view to scroll to «Выход»")
        except TimeoutError:
            self.fail(f"the focus is on «Выход», and the window still shows {seen[0]} pixels "
                      f"of OK's tick")

        # Tab, then the arrow keys, then Shift+Tab; OK's tick is whole in view exactly when OK
        # has the focus (from «Выход» in the bottom right corner it is out of view).
        steps = [
            (["Tab"], "OK", CHECK_MARK_PIXELS),
            (["Left"], "«Выход»", 0),
            (["Right"], "OK", CHECK_MARK_PIXELS),
            (["shift+Tab"], "«Выход»", 0),
            (["shift+Tab", "shift+Tab"], "OK, by way of the answer field", CHECK_MARK_PIXELS),
        ]
        for keys, focus, expected in steps:
            with self.subTest(keys=keys, focus=focus):
                self.session.xdotool("key", *keys)
                seen = []

                def settled():
                    seen[:] = [self.check_mark_pixels(main)]
                    return seen[0] == expected

                try:
                    self.wait(settled, f"the view to show {focus}")
                except TimeoutError:
                    self.fail(f"after {keys} the focus is on {focus}, and the window shows "
                              f"{seen[0]} of the {CHECK_MARK_PIXELS} pixels of OK's tick, "
                              f"not {expected}")


class SizeChosenEarly(DesktopTest):
    def test_size_given_as_the_window_shows_is_kept(self):
        """The window fits its designed outer size once the window manager has framed it; a
        size the pupil gave it before that is not taken back."""
        proc = self.session.start([EXECUTABLE], stderr=subprocess.DEVNULL)
        self.addCleanup(self.session.stop, proc)
        main = int(self.session.wait_for_window(MAIN))
        self.session.xdotool("windowsize", main, 300, 150)
        self.session.wait_until_active(MAIN)
        self.wait(lambda: self.session.window_geometry(main)[2:] == (300, 150),
                  "the window to take the size given")
        deadline = time.monotonic() + 1.5
        while time.monotonic() < deadline:
            self.assertEqual(self.session.window_geometry(main)[2:], (300, 150))
            time.sleep(0.05)


class ContextMenu(DesktopTest):
    def test_answer_field_context_menu_picture(self):
        """Right-clicks the answer field and keeps a picture of its menu (context-menu.png) to be
        looked at; toolkit_x11_desktop checks that its texts are Russian."""
        def visible_windows():
            found = self.session.call(["xdotool", "search", "--onlyvisible", "--class", "drill"])
            return set(found.stdout.split())

        with tempfile.TemporaryFile() as log, \
                drill_session.DrillRun(self.session, EXECUTABLE, log) as run:
            main = int(run.start_series())
            windows = run.wait_for_windows(lambda w: MAIN in w, "the main window")
            field = next(c["rect"] for c in windows[MAIN]["controls"]
                         if c["role"] in ("text", "entry"))
            before = visible_windows()
            self.session.xdotool("mousemove", field.x + 10, field.y + field.height // 2,
                                 "click", "3")
            self.wait(lambda: visible_windows() - before, "the context menu")
            time.sleep(0.3)  # for the menu to be drawn
            shot = self.session.screenshot(os.path.join(SHOTS, "screen.png"))
            x, y, width, height = drill_session.frame_rect(self.session, main).__dict__.values()
            subprocess.run(["convert", shot, "-crop", f"{width + 200}x{height + 100}+{x}+{y}",
                            "+repage", os.path.join(SHOTS, "context-menu.png")], check=True)
            self.session.xdotool("key", "Escape")


class RejectedTextAndTitle(DesktopTest):
    def test_pasted_nul_is_shown_in_the_box(self):
        clipboard = self.session.start(["xclip", "-selection", "clipboard", "-quiet"],
                                       stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        self.addCleanup(self.session.stop, clipboard)
        clipboard.stdin.write(b"4\x002")
        clipboard.stdin.close()

        title = application_title(EXECUTABLE)
        with tempfile.TemporaryFile() as log, \
                drill_session.DrillRun(self.session, EXECUTABLE, log) as run:
            run.start_series()
            self.session.xdotool("key", "ctrl+v")
            self.session.xdotool("key", "Return")
            self.session.wait_for_window(title)
            box = run.wait_for_windows(lambda w: title in w, "the box on the accessibility bus")
            texts = [c["name"] for c in box[title]["controls"] if c["role"] == "label"]
            self.assertEqual(texts, ["'4\ufffd2' is not a valid integer value."])
            self.session.xdotool("key", "Return")

    def test_empty_title_captions_the_box_with_the_file_name(self):
        folder = tempfile.mkdtemp(prefix="drill-title-")
        self.addCleanup(shutil.rmtree, folder, True)
        hidden = os.path.join(folder, ".hidden")
        shutil.copy2(EXECUTABLE, hidden)
        self.assertEqual(application_title(hidden), "")

        proc, main = self.start(hidden)
        box = self.reject_an_answer(".hidden")
        # xprop -id BOX _NET_WM_NAME
        self.assertIn('= ".hidden"', prop(box, "_NET_WM_NAME"))
        self.assertEqual(transient_for(box), main)
        self.session.xdotool("key", "Return")
        self.session.wait_for_no_window(".hidden")


class NoDisplay(unittest.TestCase):
    def test_one_line_and_a_failure_status(self):
        base = {k: v for k, v in os.environ.items()
                if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE")}
        free = next(n for n in range(4242, 4342) if not os.path.exists(f"/tmp/.X11-unix/X{n}"))
        cases = [("no DISPLAY", base, "DISPLAY is not set"),
                 ("a display with no server", {**base, "DISPLAY": f":{free}"}, f'":{free}"')]
        for name, env, mention in cases:
            with self.subTest(name):
                result = subprocess.run(
                    [EXECUTABLE], env=env, capture_output=True, text=True, timeout=30,
                    preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_CORE, (0, 0)))
                # An abort would end it by a signal (a negative status here).
                self.assertEqual(result.returncode, 1, result.stderr)
                lines = result.stderr.splitlines()
                self.assertEqual(len(lines), 1, result.stderr)
                self.assertIn("display", lines[0])
                self.assertIn(mention, lines[0])


def main():
    global EXECUTABLE, SHOTS
    EXECUTABLE = os.path.abspath(sys.argv[1])
    SHOTS = os.path.abspath(sys.argv[2])
    os.makedirs(SHOTS, exist_ok=True)

    def started(session):
        global SESSION
        SESSION = session

    sys.exit(run_tests(100, started, accessibility=True, pointer_away=False))


if __name__ == "__main__":
    main()
