"""Windows programs under Wine, driven through X and read from outside their process.

WineSession runs exes in the Wine prefix and on the X display that the `wine` test fixture
prepared (WINEPREFIX, DISPLAY and DRILL_WINE_LOADER come from the environment CTest gives the
test), sends keys with xdotool, reads the task bar's view from the window manager's properties
and the programs' windows through the probe (probe.cpp), which runs in the same prefix.
Every wait has a timeout and fails with a message that says what was awaited.
"""

import json
import os
import subprocess
import threading
import time


class ProbeError(RuntimeError):
    pass


class Probe:
    """One probe process answering requests line by line (starting a Wine process for every
    look would cost a second each)."""

    def __init__(self, session, probe_exe):
        self.proc = subprocess.Popen([session.loader, probe_exe, "serve"], env=session.env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, start_new_session=True)
        self.lock = threading.Lock()

    def request(self, line, timeout=20):
        with self.lock:
            if self.proc.poll() is not None:
                raise ProbeError(f"the probe has ended (status {self.proc.returncode})")
            self.proc.stdin.write((line + "\n").encode())
            self.proc.stdin.flush()
            answer = []
            reader = threading.Thread(target=lambda: answer.append(self.proc.stdout.readline()),
                                      daemon=True)
            reader.start()
            reader.join(timeout)
            if not answer or not answer[0]:
                self.proc.kill()
                raise ProbeError(f"no answer from the probe to {line!r} in {timeout} s")
            return json.loads(answer[0])

    def close(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write(b"quit\n")
                self.proc.stdin.close()
                self.proc.wait(timeout=5)
            except (OSError, subprocess.TimeoutExpired):
                self.proc.kill()
                self.proc.wait()


class Snapshot:
    """What the probe saw of one program at one moment."""

    def __init__(self, data):
        self.data = data
        self.windows = [Window(w) for w in data["windows"]]
        self.threads = data["threads"]

    def visible(self, text=None, cls=None):
        return [w for w in self.windows if w.visible and (text is None or w.text == text)
                and (cls is None or w.cls == cls)]

    def window(self, text):
        """The one visible top-level window with this text, or None."""
        found = self.visible(text)
        return found[0] if len(found) == 1 else None

    @property
    def focus(self):
        return self.threads[0]["focus"] if self.threads else None

    @property
    def active(self):
        return self.threads[0]["active"] if self.threads else None

    def describe(self):
        lines = []
        for w in self.windows:
            lines.append(f"{w.hwnd} {w.cls} {w.text!r} visible={w.visible} enabled={w.enabled} "
                         f"owner={w.owner} rect={w.rect}")
            for c in w.children:
                lines.append(f"    {c.hwnd} {c.cls} {c.text!r} visible={c.visible} "
                             f"enabled={c.enabled} rect={c.in_parent}")
        lines.append(f"threads: {self.threads}")
        return "\n".join(lines)


class Window:
    def __init__(self, data):
        self.data = data
        self.hwnd = data["hwnd"]
        self.cls = data["class"]
        self.text = data["text"]
        self.visible = data["visible"]
        self.enabled = data["enabled"]
        self.rect = tuple(data["rect"])  # left, top, right, bottom on the screen
        self.client = tuple(data["client"])  # the client area on the screen
        self.owner = data.get("owner")
        self.in_parent = tuple(data.get("in_parent", ()))
        self.children = [Window(c) for c in data.get("children", [])]

    def child(self, text=None, cls=None):
        """The one child control with this text (and class, when given)."""
        found = [c for c in self.children if (text is None or c.text == text)
                 and (cls is None or c.cls.lower() == cls.lower())]
        if len(found) != 1:
            raise AssertionError(f"{len(found)} controls with text {text!r} class {cls!r} in "
                                 f"{self.text!r}: " +
                                 ", ".join(f"{c.cls} {c.text!r}" for c in self.children))
        return found[0]

    def right_of(self, anchor):
        """The nearest control right of anchor on the same line."""
        al, at, ar, ab = anchor.rect
        row = []
        for c in self.children:
            left, top, right, bottom = c.rect
            middle = (top + bottom) // 2
            if c.hwnd != anchor.hwnd and left >= (al + ar) // 2 and \
                    (at <= middle <= ab or top <= (at + ab) // 2 <= bottom):
                row.append((left, c))
        if not row:
            raise AssertionError(f"nothing right of {anchor.text!r} in {self.text!r}")
        return min(row, key=lambda item: item[0])[1]


class WineSession:
    def __init__(self, probe_exe, log_dir=None):
        self.env = dict(os.environ)
        for name in ("WINEPREFIX", "DISPLAY", "DRILL_WINE_LOADER"):
            if not self.env.get(name):
                raise SystemExit(f"{name} is not set: run this under CTest, which gives the "
                                 f"wine fixture's environment")
        self.env.setdefault("WINEDEBUG", "-all")
        self.loader = self.env["DRILL_WINE_LOADER"]
        self.log_dir = log_dir
        self.started = []
        self.probe_exe = probe_exe
        self.probe = Probe(self, probe_exe)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        for proc in self.started:
            stop_program(proc)
        self.probe.close()
        return False

    # -- programs -------------------------------------------------------------------------------
    def start(self, exe, *args):
        """Starts a Windows program; its wine process's exit status is the program's."""
        out = subprocess.DEVNULL
        if self.log_dir:
            os.makedirs(self.log_dir, exist_ok=True)
            out = open(os.path.join(self.log_dir, os.path.basename(exe) + ".log"), "ab")
        try:
            proc = subprocess.Popen([self.loader, exe, *args], env=self.env,
                                    cwd=os.path.dirname(exe), stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=subprocess.STDOUT,
                                    start_new_session=True)
        finally:
            if out is not subprocess.DEVNULL:
                out.close()  # the program has its own copy
        self.started.append(proc)
        return proc

    def restart_probe(self):
        """A new probe: Wine gives a program the resolution of the time it started."""
        self.probe.close()
        self.probe = Probe(self, self.probe_exe)

    def snapshot(self, exe_name):
        data = self.probe.request(f"snapshot {exe_name}")
        if "error" in data:
            raise ProbeError(data["error"])
        return Snapshot(data)

    # -- what a screen reader reads (Microsoft Active Accessibility) ----------------------------
    def reader(self, hwnd):
        """The client object of a window or control as a screen reader gets it from another
        process: name, role, state, value, description, default action, children in order."""
        data = self.probe.request(f"msaa {hwnd}")
        if "error" in data:
            raise ProbeError(data["error"])
        return data

    def reader_set_value(self, hwnd, text):
        """put_accValue on a control; the result code (negative: refused)."""
        return self.probe.request(f"msaa-set {hwnd} {text}")["hr"]

    def reader_press(self, hwnd):
        """accDoDefaultAction on a control; the result code (negative: refused)."""
        return self.probe.request(f"msaa-press {hwnd}")["hr"]

    def post_click(self, hwnd):
        """BM_CLICK posted to a button, as another program (or the standard accessible object's
        default action on Windows) clicks it."""
        return self.probe.request(f"click {hwnd}")

    def reader_events(self):
        """The name and description changes the probe's WinEvent hook has seen since the last
        call: dicts with event ("name" or "description"), hwnd, object and child."""
        return self.probe.request("events")["events"]

    def post_close(self, hwnd):
        """WM_CLOSE to a window, as its frame's close button sends it."""
        return self.probe.request(f"close {hwnd}")

    # -- X side ---------------------------------------------------------------------------------
    def call(self, argv, timeout=20):
        return subprocess.run(argv, env=self.env, capture_output=True, encoding="utf-8",
                              errors="replace", timeout=timeout)

    def xdotool(self, *args):
        result = self.call(["xdotool", *map(str, args)])
        if result.returncode != 0:
            raise RuntimeError(f"xdotool {' '.join(map(str, args))}: {result.stderr.strip()}")
        return result.stdout.strip()

    def keys(self, *names):
        self.xdotool("key", "--delay", "30", *names)

    def type_text(self, text):
        if text:
            self.xdotool("type", "--delay", "30", text)

    def active_x_window_name(self):
        return self.call(["xdotool", "getactivewindow", "getwindowname"]).stdout.rstrip("\n")

    def x_focus_in(self, name):
        """Whether the X input focus is in a window titled name or in one of its descendants
        (for windows that no window manager handles, which therefore never become its active
        window)."""
        focus = self.call(["xdotool", "getwindowfocus", "-f"]).stdout.strip()
        windows = self.call(["xdotool", "search", "--name", exactly(name)]).stdout.split()
        if not focus:
            return False
        for window in windows:
            tree = self.call(["xwininfo", "-tree", "-id", window]).stdout
            if window == focus or hex(int(focus)) in tree:
                return True
        return False

    def x_property(self, window, name):
        return self.call(["xprop", "-id", str(window), name]).stdout

    def client_list(self):
        out = self.call(["xprop", "-root", "_NET_CLIENT_LIST"]).stdout
        _, sep, ids = out.partition("#")
        return [int(i.strip(), 16) for i in ids.split(",") if i.strip()] if sep else []

    def taskbar_entries(self, wm_class):
        """The names of the window manager's managed windows of a program (by its WM_CLASS)
        that a task bar shows: those neither marked skip-taskbar nor transient for another."""
        entries = []
        for window in self.client_list():
            if wm_class.lower() not in self.x_property(window, "WM_CLASS").lower():
                continue
            state = self.x_property(window, "_NET_WM_STATE")
            transient = self.x_property(window, "WM_TRANSIENT_FOR")
            if "_NET_WM_STATE_SKIP_TASKBAR" in state or "window id" in transient:
                continue
            name = self.call(["xdotool", "getwindowname", str(window)]).stdout.rstrip("\n")
            entries.append(name)
        return entries

    def screenshot(self, path):
        result = self.call(["import", "-window", "root", path], timeout=30)
        if result.returncode != 0:
            raise RuntimeError(f"screenshot failed: {result.stderr}")
        return path

    # -- waiting --------------------------------------------------------------------------------
    @staticmethod
    def wait(condition, what, timeout=20):
        """The first true value of condition(); fails naming what (a text, or a function that
        gives one at the time of failure) after timeout seconds."""
        deadline = time.monotonic() + timeout
        while True:
            value = condition()
            if value:
                return value
            if time.monotonic() > deadline:
                raise AssertionError(f"timed out after {timeout} s waiting for "
                                     f"{what() if callable(what) else what}")
            time.sleep(0.05)


def pixels(path, rect):
    """The (r, g, b) pixels of an image's rectangle (left, top, right, bottom), row by row."""
    left, top, right, bottom = rect
    data = subprocess.run(["convert", path, "-crop", f"{right - left}x{bottom - top}+{left}+{top}",
                           "+repage", "-depth", "8", "rgb:-"], capture_output=True,
                          check=True).stdout
    return [tuple(data[i:i + 3]) for i in range(0, len(data) - 2, 3)]


def exactly(text):
    """A POSIX extended regular expression that matches exactly text."""
    return "^" + "".join("\\" + c if c in ".^$*+?()[]{}|\\" else c for c in text) + "$"


def stop_program(proc):
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, 9)
        except ProcessLookupError:
            pass
        proc.wait()
