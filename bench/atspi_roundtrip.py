#!/usr/bin/python3
"""Round trips of AT-SPI property reads on the drill program, with and without the guard in front
of Qt's AT-SPI bridge, on a private X server with the accessibility bus.

For each program it measures, on the main window and on the answer field, Properties.Get of one
property and Properties.GetAll of the object's interfaces: median and 90th percentile of the time
from sending the call to receiving its answer, over the rounds. The program without the guard is
the same build started with DRILL_ATSPI_GUARD=off (the variable exists for this measurement). Qt
6.4's bridge cannot answer GetAll (it reads an argument that GetAll does not have); without the
guard the script reports what the program does on its first GetAll, over a few starts.

Usage: bench/atspi_roundtrip.py [path/to/drill [rounds]] [--starts N]
  default: build/release/program/drill, 2000 rounds, 5 starts for the GetAll without the guard.
Needs python3-gi (Gio), as the end-to-end tests do.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "qt", "e2e"))
from atspi_bus import poll, unique_name_of  # noqa: E402
from xsession import XSession  # noqa: E402

CALL_MS = 3000
ROOT = "/org/a11y/atspi/accessible/root"
PROPERTIES = "org.freedesktop.DBus.Properties"
ACCESSIBLE = "org.a11y.atspi.Accessible"
Gio = GLib = None


class Program:
    def __init__(self, session, executable, guard):
        env = dict(session.env)
        if not guard:
            env["DRILL_ATSPI_GUARD"] = "off"
        self.proc = subprocess.Popen([executable], env=env, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, start_new_session=True)
        session.started.append(self.proc)
        address = Gio.bus_get_sync(Gio.BusType.SESSION, None).call_sync(
            "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None, None,
            Gio.DBusCallFlags.NONE, CALL_MS, None).unpack()[0]
        self.bus = Gio.DBusConnection.new_for_address_sync(
            address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
            Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        self.name = poll(self.bus_name, "the program on the accessibility bus", 20)
        self.window = poll(lambda: self.children(ROOT)[:1], "the main window", 20)[0]
        self.field = poll(self.find_field, "the answer field", 20)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()

    def call(self, path, interface, method, signature="", args=()):
        parameters = GLib.Variant(f"({signature})", tuple(args)) if signature else None
        return self.bus.call_sync(self.name, path, interface, method, parameters, None,
                                  Gio.DBusCallFlags.NONE, CALL_MS, None).unpack()

    def bus_name(self):
        return unique_name_of(self.bus, self.proc.pid)

    def children(self, path):
        try:
            return [child for _name, child in self.call(path, ACCESSIBLE, "GetChildren")[0]]
        except GLib.Error:
            return []

    def find_field(self):
        todo = [self.window]
        while todo:
            path = todo.pop(0)
            if self.call(path, ACCESSIBLE, "GetRoleName")[0] == "text":
                return path
            todo += self.children(path)
        return None


def timed(program, rounds, *call):
    times = []
    for _ in range(rounds):
        started = time.perf_counter()
        program.call(*call)
        times.append((time.perf_counter() - started) * 1e6)
    times.sort()
    return statistics.median(times), times[int(len(times) * 0.9)]


def measure(session, executable, guard, rounds):
    program = Program(session, executable, guard)
    try:
        rows = []
        for what, path in (("window", program.window), ("field", program.field)):
            rows.append((f"Get Accessible.Name, {what}",
                         timed(program, rounds, path, PROPERTIES, "Get", "ss",
                               (ACCESSIBLE, "Name"))))
        if guard:
            rows.append(("GetAll Accessible, window",
                         timed(program, rounds, program.window, PROPERTIES, "GetAll", "s",
                               (ACCESSIBLE,))))
            rows.append(("GetAll Text, field",
                         timed(program, rounds, program.field, PROPERTIES, "GetAll", "s",
                               ("org.a11y.atspi.Text",))))
        return rows
    finally:
        program.stop()


def get_all_unguarded(session, executable, starts):
    """What the program without the guard does on its first GetAll, start after start."""
    ended = 0
    for _ in range(starts):
        program = Program(session, executable, guard=False)
        try:
            program.call(program.window, PROPERTIES, "GetAll", "s", (ACCESSIBLE,))
        except GLib.Error:
            pass
        try:
            program.proc.wait(timeout=2)
        except subprocess.TimeoutExpired:
            pass
        if program.proc.poll() is not None:
            ended += 1
            print(f"  without the guard: GetAll Accessible on the window: the program ended "
                  f"(status {program.proc.returncode})")
        else:
            print("  without the guard: GetAll Accessible on the window: the program runs on")
        program.stop()
    return ended


def main():
    global Gio, GLib
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("drill", nargs="?",
                        default=os.path.join(HERE, "..", "build", "release", "program", "drill"))
    parser.add_argument("rounds", nargs="?", type=int, default=2000)
    parser.add_argument("--starts", type=int, default=5)
    options = parser.parse_args()
    executable = os.path.abspath(options.drill)
    with XSession(accessibility=True) as session:
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = session.env["DBUS_SESSION_BUS_ADDRESS"]
        from gi.repository import Gio as gio, GLib as glib
        Gio, GLib = gio, glib
        print(f"{executable}, {options.rounds} rounds; round trip in µs (median, 90th percentile)")
        for guard in (True, False):
            print("with the guard:" if guard else "without the guard (DRILL_ATSPI_GUARD=off):")
            for what, (median, p90) in measure(session, executable, guard, options.rounds):
                print(f"  {what:32} {median:7.0f} {p90:7.0f}")
        ended = get_all_unguarded(session, executable, options.starts)
        print(f"without the guard, the first GetAll ended the program in {ended} of "
              f"{options.starts} starts")


if __name__ == "__main__":
    main()
