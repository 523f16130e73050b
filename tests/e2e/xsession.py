"""A private X session for tests that need a real window system.

XSession starts its own Xvfb on a free display and a window manager (openbox), optionally a
D-Bus session with the accessibility bus, and stops all of them on exit. It gives the
environment to start programs in, and helpers for xdotool and screenshots.
"""

import os
import shutil
import signal
import subprocess
import tempfile
import time


class XSession:
    def __init__(self, width=1280, height=1024, dpi=96, accessibility=False, extra_env=None):
        self.width, self.height, self.dpi = width, height, dpi
        self.accessibility = accessibility
        self.extra_env = dict(extra_env or {})
        self.processes = []
        self.env = None
        self.display = None
        self.tmp = None

    # -- life cycle ---------------------------------------------------------------------------
    def __enter__(self):
        self.tmp = tempfile.mkdtemp(prefix="xsession-")
        self.display = self._free_display()
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("DBUS_", "AT_SPI", "WAYLAND", "XDG_SESSION"))}
        env.update(DISPLAY=f":{self.display}", XDG_RUNTIME_DIR=self.tmp, LANG="C.UTF-8",
                   QT_QPA_PLATFORM="xcb", HOME=self.tmp)
        env.update(self.extra_env)
        self.env = env
        try:
            self._spawn(["Xvfb", f":{self.display}", "-screen", "0",
                         f"{self.width}x{self.height}x24", "-dpi", str(self.dpi),
                         "-nolisten", "tcp", "-noreset"])
            self._wait(lambda: os.path.exists(f"/tmp/.X11-unix/X{self.display}"), "Xvfb")
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
        for proc in reversed(self.processes):
            if proc.poll() is None:
                try:
                    os.killpg(proc.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        for proc in reversed(self.processes):
            try:
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
        self.processes.clear()
        if self.tmp:
            shutil.rmtree(self.tmp, ignore_errors=True)
        return False

    # -- helpers ------------------------------------------------------------------------------
    def start(self, argv, **kwargs):
        """Starts a program in the session; the caller waits for it or kills it."""
        return subprocess.Popen(argv, env=self.env, start_new_session=True, **kwargs)

    def call(self, argv, **kwargs):
        return subprocess.run(argv, env=self.env, capture_output=True, text=True, **kwargs)

    def xdotool(self, *args):
        result = self.call(["xdotool", *map(str, args)])
        if result.returncode != 0 and "search" not in args[:1]:
            raise RuntimeError(f"xdotool {' '.join(map(str, args))}: {result.stderr.strip()}")
        return result.stdout.strip()

    def wait_for_window(self, name, timeout=20):
        """The id of the first visible window whose title is exactly name."""
        found = []

        def present():
            result = self.call(["xdotool", "search", "--onlyvisible", "--name", _exactly(name)])
            found[:] = result.stdout.split()
            return bool(found)

        self._wait(present, f"window {name!r}", timeout)
        return found[0]

    def wait_for_no_window(self, name, timeout=20):
        self._wait(lambda: not self.call(["xdotool", "search", "--onlyvisible", "--name",
                                          _exactly(name)]).stdout.split(), f"{name!r} to close",
                   timeout)

    def active_window_name(self):
        return self.call(["xdotool", "getactivewindow", "getwindowname"]).stdout.strip()

    def window_geometry(self, window_id):
        """(x, y, width, height) of a window's client area, from xwininfo."""
        out = self.call(["xwininfo", "-id", str(window_id)]).stdout
        values = {}
        for line in out.splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    def screenshot(self, path):
        result = self.call(["import", "-window", "root", path])
        if result.returncode != 0:
            raise RuntimeError(f"screenshot failed: {result.stderr}")
        return path

    # -- internals ----------------------------------------------------------------------------
    def _spawn(self, argv, env=None):
        proc = subprocess.Popen(argv, env=env or self.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)
        self.processes.append(proc)
        return proc

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
            self._spawn([registry, "--use-gnome-session"] if False else [registry])

    def _window_manager_ready(self):
        result = self.call(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"])
        return "window id" in result.stdout

    @staticmethod
    def _free_display():
        for n in range(90, 200):
            if not os.path.exists(f"/tmp/.X{n}-lock") and \
                    not os.path.exists(f"/tmp/.X11-unix/X{n}"):
                return n
        raise RuntimeError("no free X display number")

    @staticmethod
    def _wait(condition, what, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if condition():
                return
            time.sleep(0.05)
        raise TimeoutError(f"timed out waiting for {what}")


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
