#!/usr/bin/env python3
"""Keys and window activation on a real X server with a window manager.

Starts the toolkit probe (tests/qt/toolkit/toolkit_probe.cpp) in a private X session, presses
keys through xdotool and reads which handler ran from the lines the probe prints. Checks Tab,
Shift+Tab, Ctrl+Tab, Enter on a button and in the edit field, Escape, and that the activation
handler runs exactly once although the window is minimized and restored, another program takes
the focus and gives it back, a message box and a modal window come and go.

Usage: x11_keys.py PATH_TO_PROBE
"""

import os
import queue
import signal
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from xsession import XSession  # noqa: E402

PROBE_CAPTION = "Toolkit probe"
MODAL_CAPTION = "Probe modal"
OTHER_CAPTION = "Another program"
QUIET = 0.6  # seconds without output that count as "nothing happened"


class Output:
    """The probe's printed lines, read by a thread, taken one at a time."""

    def __init__(self, stream):
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for line in stream:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def expect(self, *wanted, timeout=10):
        for line in wanted:
            try:
                got = self.lines.get(timeout=timeout)
            except queue.Empty:
                raise AssertionError(f"expected {line!r}, got nothing; so far {self.seen}")
            self.seen.append(got)
            if got != line:
                raise AssertionError(f"expected {line!r}, got {got!r}; so far {self.seen}")

    def expect_nothing(self, what):
        try:
            got = self.lines.get(timeout=QUIET)
        except queue.Empty:
            return
        self.seen.append(got)
        raise AssertionError(f"{what}: unexpected {got!r}; so far {self.seen}")


def stop(proc):
    if proc and proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGTERM)
            proc.wait(timeout=5)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()


def main():
    probe_path = sys.argv[1]
    probe = other = None
    with XSession() as x:
        try:
            probe = x.start([probe_path], stdout=subprocess.PIPE, text=True)
            out = Output(probe.stdout)
            key = lambda *keys: x.xdotool("key", "--clearmodifiers", *keys)  # noqa: E731

            window = x.wait_for_window(PROBE_CAPTION)
            out.expect("activate")
            x.xdotool("windowactivate", "--sync", window)

            # The first tab stop has the focus; Enter presses it.
            key("Return")
            out.expect("click Alpha")
            # Tab to the edit field; Enter there presses the default (OK) button.
            key("Tab")
            x.xdotool("type", "7")
            key("Return")
            out.expect("ok 7", "ok done")
            # Tab to the OK button, then to Gamma; Shift+Tab back; Ctrl+Tab stays; Escape does
            # nothing anywhere.
            key("Tab")
            key("Return")
            out.expect("ok 7", "ok done")
            key("Tab")
            key("Return")
            out.expect("click Gamma")
            key("shift+Tab")
            key("ctrl+Tab")
            key("Escape")
            out.expect_nothing("Shift+Tab, Ctrl+Tab and Escape")
            key("Return")
            out.expect("ok 7", "ok done")

            # Minimized and restored: the focus comes back to the OK button, nothing reruns.
            x.xdotool("windowminimize", "--sync", window)
            time.sleep(QUIET)  # long enough for the program to see that it lost the focus
            x.xdotool("windowactivate", "--sync", window)
            out.expect_nothing("minimize and restore")
            key("Return")
            out.expect("ok 7", "ok done")

            # Another program takes the focus and gives it back.
            other = x.start(["xmessage", "-title", OTHER_CAPTION, "another program"])
            other_window = x.wait_for_window(OTHER_CAPTION)
            x.xdotool("windowactivate", "--sync", other_window)
            assert x.active_window_name() == OTHER_CAPTION, x.active_window_name()
            time.sleep(QUIET)
            x.xdotool("windowactivate", "--sync", window)
            out.expect_nothing("another program and back")
            key("Return")
            out.expect("ok 7", "ok done")

            # A failure's message box: back in the field with its text, nothing reruns. Shift+Tab
            # into the field selects its text, so typing replaces it.
            key("shift+Tab")
            x.xdotool("type", "boom")
            key("Return")
            out.expect("ok boom")
            x.wait_for_window("toolkit_probe")  # the application title captions the box
            key("Return")
            x.wait_for_no_window("toolkit_probe")
            out.expect_nothing("message box")
            key("Return")
            out.expect("ok boom")
            x.wait_for_window("toolkit_probe")
            key("Return")
            x.wait_for_no_window("toolkit_probe")

            # A modal window: its own activation runs; the probe's does not rerun afterwards.
            key("Tab", "Tab", "Tab")
            key("Return")
            out.expect("click Modal", "modal activate")
            x.wait_for_window(MODAL_CAPTION)
            key("Return")
            out.expect("modal closed")
            x.wait_for_no_window(MODAL_CAPTION)
            out.expect_nothing("modal window")
            key("Tab")
            key("Return")
            out.expect("click Alpha")

            # Closing the window from its frame ends the program with status 0.
            x.xdotool("windowactivate", "--sync", window)
            key("alt+F4")
            out.expect("ended")
            assert probe.wait(timeout=10) == 0, probe.returncode
            assert out.seen.count("activate") == 1, out.seen
        finally:
            stop(other)
            stop(probe)
    print("toolkit_x11_keys: passed")


if __name__ == "__main__":
    main()
