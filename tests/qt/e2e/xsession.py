"""A private X session for tests that need a real window system.

XSession starts its own Xvfb on a free display and a window manager (openbox), optionally a
D-Bus session with the accessibility bus, and stops all of them on exit. It gives the
environment to start programs in, and helpers for xdotool and screenshots.
"""

import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest


class XSession:
    def __init__(self, width=1280, height=1024, dpi=96, accessibility=False, extra_env=None):
        self.width, self.height, self.dpi = width, height, dpi
        self.accessibility = accessibility
        self.extra_env = dict(extra_env or {})
        self.processes = []  # the session's own servers
        self.started = []  # programs started in the session
        self.env = None
        self.display = None
        self.tmp = None

    # -- life cycle ---------------------------------------------------------------------------
    def __enter__(self):
        self.tmp = tempfile.mkdtemp(prefix="xsession-")
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("DBUS_", "AT_SPI", "WAYLAND", "XDG_SESSION"))}
        env.update(XDG_RUNTIME_DIR=self.tmp, LANG="C.UTF-8", QT_QPA_PLATFORM="xcb",
                   HOME=self.tmp)
        env.pop("DISPLAY", None)
        self.env = env
        try:
            self.display = self._start_x_server()
            env["DISPLAY"] = f":{self.display}"
            env.update(self.extra_env)
            self._wait(lambda: self.call(["xdpyinfo"]).returncode == 0, "the X server")
            if self.dpi != 96:
                subprocess.run(["xrdb", "-merge"], input=f"Xft.dpi: {self.dpi}\n", text=True,
                               env=self.env, check=False)
            if self.accessibility:
                self._start_accessibility_bus()
            self._spawn(["openbox", "--sm-disable"])
            self._wait(self._window_manager_ready, "openbox")
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        # A signal that stops the test (see stop_on_signals) waits until everything is stopped.
        stopping = {signal.SIGTERM, signal.SIGINT, signal.SIGALRM}
        blocked = signal.pthread_sigmask(signal.SIG_BLOCK, stopping)
        try:
            self._stop_all()
        finally:
            signal.pthread_sigmask(signal.SIG_SETMASK, blocked)
        return False

    def _stop_all(self):
        # Programs started in the session first, then the session's own servers, newest first.
        order = self.started[::-1] + self.processes[::-1]
        for proc in order:
            if proc.poll() is None:
                _signal_group(proc.pid, signal.SIGTERM)
        for proc in order:
            try:
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                _signal_group(proc.pid, signal.SIGKILL)
                try:
                    proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    pass
        self.started.clear()
        self.processes.clear()
        if self.tmp:
            shutil.rmtree(self.tmp, ignore_errors=True)

    # -- helpers ------------------------------------------------------------------------------
    def start(self, argv, **kwargs):
        """Starts a program in the session; the caller waits for it or kills it. One still
        running when the session ends is stopped with the session."""
        proc = subprocess.Popen(argv, env=self.env, start_new_session=True, **kwargs)
        self.started.append(proc)
        return proc

    @staticmethod
    def stop(proc):
        """Kills a program started with start() if it still runs, and waits for it: a test's
        cleanup, so that the next test finds no window of this one."""
        if proc.poll() is None:
            proc.kill()
            proc.wait()

    def call(self, argv, **kwargs):
        kwargs.setdefault("encoding", "utf-8")
        kwargs.setdefault("errors", "replace")
        return subprocess.run(argv, env=self.env, capture_output=True, **kwargs)

    def xdotool(self, *args):
        result = self.call(["xdotool", *map(str, args)])
        if result.returncode != 0 and "search" not in args[:1]:
            raise RuntimeError(f"xdotool {' '.join(map(str, args))}: {result.stderr.strip()}")
        return result.stdout.strip()

    def visible_windows(self, name):
        """Ids of the visible windows whose title is exactly name (letter case included: the
        search of xdotool ignores the case of Latin letters)."""
        result = self.call(["xdotool", "search", "--onlyvisible", "--name", _exactly(name)])
        return [window for window in result.stdout.split()
                if self.call(["xdotool", "getwindowname", window]).stdout.rstrip("\n") == name]

    def wait_for_window(self, name, timeout=20):
        """The id of the first visible window whose title is exactly name."""
        found = []

        def present():
            found[:] = self.visible_windows(name)
            return bool(found)

        self._wait(present, f"window {name!r}", timeout)
        return found[0]

    def wait_for_no_window(self, name, timeout=20):
        self._wait(lambda: not self.visible_windows(name), f"{name!r} to close", timeout)

    def wait_until(self, condition, what, timeout=20):
        """Polls condition until it is true; fails with TimeoutError naming what otherwise."""
        self._wait(condition, what, timeout)

    def active_window_name(self):
        return self.call(["xdotool", "getactivewindow", "getwindowname"]).stdout.rstrip("\n")

    def wait_until_active(self, name, timeout=20):
        """Waits until the window manager has given the input focus to a window titled name:
        keys typed before that would go elsewhere."""
        self._wait(lambda: self.active_window_name() == name, f"{name!r} to become active",
                   timeout)

    def window_geometry(self, window_id):
        """(x, y, width, height) of a window's client area, from xwininfo."""
        out = self.call(["xwininfo", "-id", str(window_id)]).stdout
        values = {}
        for line in out.splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    def frame_extents(self, window_id):
        """(left, right, top, bottom) widths of the frame that the window manager put around
        a window, or None before it has framed it."""
        out = self.call(["xprop", "-id", str(window_id), "_NET_FRAME_EXTENTS"]).stdout
        _, sep, values = out.partition("=")
        if not sep:
            return None
        return tuple(int(v) for v in values.split(","))

    def frame_geometry(self, window_id):
        """(x, y, width, height) of a window's outer frame (title bar and border included)."""
        x, y, width, height = self.window_geometry(window_id)
        left, right, top, bottom = self.frame_extents(window_id) or (0, 0, 0, 0)
        return (x - left, y - top, width + left + right, height + top + bottom)

    def screenshot(self, path):
        result = self.call(["import", "-window", "root", path])
        if result.returncode != 0:
            raise RuntimeError(f"screenshot failed: {result.stderr}")
        return path

    # -- internals ----------------------------------------------------------------------------
    def _spawn(self, argv, env=None, **kwargs):
        proc = subprocess.Popen(argv, env=env or self.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True, **kwargs)
        self.processes.append(proc)
        return proc

    def _start_x_server(self):
        """Starts Xvfb on a display it finds free itself (two sessions started at the same moment
        cannot pick the same one) and returns the display number."""
        reader, writer = os.pipe()
        try:
            self._spawn(["Xvfb", "-displayfd", str(writer), "-screen", "0",
                         f"{self.width}x{self.height}x24", "-dpi", str(self.dpi),
                         "-nolisten", "tcp", "-noreset"], pass_fds=(writer,))
            os.close(writer)
            writer = None
            text = b""
            deadline = time.monotonic() + 20
            while not text.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([reader], [], [], left)[0]:
                    raise TimeoutError("timed out waiting for Xvfb to choose a display")
                chunk = os.read(reader, 16)
                if not chunk:
                    raise RuntimeError("Xvfb ended without choosing a display")
                text += chunk
            return int(text)
        finally:
            os.close(reader)
            if writer is not None:
                os.close(writer)

    def _start_accessibility_bus(self):
        out = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1",
                              "--print-pid=1"], env=self.env, capture_output=True, text=True,
                             check=True).stdout.split()
        address, pid = out[0], int(out[1])
        self._dbus_pid = pid
        self.processes.append(_Forked(pid))
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        self.env["QT_ACCESSIBILITY"] = "1"
        self.env["NO_AT_BRIDGE"] = "0"
        launcher = "/usr/libexec/at-spi-bus-launcher"
        self._spawn([launcher, "--launch-immediately"])
        registry = "/usr/libexec/at-spi2-registryd"

        def bus_up():
            r = self.call(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                           "/org/a11y/bus", "org.a11y.Bus.GetAddress"])
            return r.returncode == 0

        self._wait(bus_up, "the accessibility bus")
        if os.path.exists(registry):
            self._spawn([registry])

    def _window_manager_ready(self):
        result = self.call(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"])
        return "window id" in result.stdout

    @staticmethod
    def _wait(condition, what, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if condition():
                return
            time.sleep(0.05)
        raise TimeoutError(f"timed out waiting for {what}")


class Stopped(KeyboardInterrupt):
    """A test run stopped from outside or for running too long. Like Ctrl+C it ends the whole run
    (unittest reports other exceptions and goes on with the next test)."""


def stop_on_signals(seconds):
    """Makes SIGTERM, SIGINT and, after the given number of seconds, SIGALRM raise Stopped, so
    that a test run stopped from outside or running too long still leaves its session by the
    with statement and stops its X server and programs."""

    def stop(signum, _frame):
        raise Stopped(f"stopped by signal {signal.Signals(signum).name}")

    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGALRM):
        signal.signal(signum, stop)
    signal.alarm(seconds)


def run_tests(seconds, on_start, *, atspi_client=False, pointer_away=True, **session_options):
    """Runs the calling script's unittest tests in one X session, started here and stopped
    however the run ends (see stop_on_signals), and returns the exit status for sys.exit.

    on_start(session) runs first, inside the session: the script keeps the session there, and
    imports what must find the session's buses. With atspi_client the test process itself talks
    to the session's accessibility bus (pyatspi, Gio), which it finds through the session bus.
    The pointer waits in a corner, away from the windows, unless pointer_away is false."""
    stop_on_signals(seconds)
    with XSession(**session_options) as session:
        if pointer_away:
            session.xdotool("mousemove", 0, 0)
        if atspi_client:
            os.environ["DBUS_SESSION_BUS_ADDRESS"] = session.env["DBUS_SESSION_BUS_ADDRESS"]
            os.environ["DISPLAY"] = session.env["DISPLAY"]
        on_start(session)
        outcome = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    return 0 if outcome.wasSuccessful() else 1


def read_pixels(path, rect):
    """The (r, g, b) pixels of an image's rectangle (x, y, width, height), row by row."""
    x, y, width, height = rect
    data = subprocess.run(["convert", path, "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                           "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout
    return [tuple(data[i:i + 3]) for i in range(0, len(data) - 2, 3)]


def _signal_group(pid, signum):
    try:
        os.killpg(pid, signum)
    except (ProcessLookupError, PermissionError):
        pass


def _exactly(text):
    """A POSIX extended regular expression that matches exactly text."""
    return "^" + "".join("\\" + c if c in ".^$*+?()[]{}|\\" else c for c in text) + "$"


class _Forked:
    """A daemon that forked away from us, known only by its process id."""

    def __init__(self, pid):
        self.pid = pid

    def poll(self):
        try:
            os.kill(self.pid, 0)
            return None
        except ProcessLookupError:
            return 0

    def wait(self, timeout=None):
        deadline = time.monotonic() + (timeout or 5)
        while self.poll() is None and time.monotonic() < deadline:
            time.sleep(0.05)
        if self.poll() is None:
            raise subprocess.TimeoutExpired("dbus-daemon", timeout)
