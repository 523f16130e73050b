"""No message on the accessibility bus can crash or hang the program: a battery of raw AT-SPI
calls on the real program in a private X session, on every object of the main window, of the
message box and of the result window. For every interface an object declares in its
introspection: each method without its arguments, with one too many and with arguments of the
wrong type; property calls malformed the same ways, and setters called as methods; GetAll for
every interface, compared with the single reads; int-sized offsets, ranges and coordinates. Each
call has a timeout, and after each the program must still answer. A malformed call must be
refused with a D-Bus error, not answered.

Usage: e2e_atspi_battery.py <drill executable>
       e2e_atspi_battery.py --report <drill executable>
  --report makes every call once per kind of object and prints what each did (answered, refused,
  no answer, program ended), starting the program again after a call that ended it: to compare
  a build with one from before a change. It always exits 0.
"""

import math
import os
import subprocess
import sys
import time
import unittest
import xml.etree.ElementTree as ElementTree

from drill_program import MAIN_CAPTION, RESULT_CAPTION, application_title
from atspi_bus import accessibility_bus_address, poll, unique_name_of
from xsession import run_tests

EXECUTABLE = ""
SESSION = None
CALL_MS = 3000
INT_MAX, INT_MIN, UINT_MAX = 2**31 - 1, -2**31, 2**32 - 1

Gio = GLib = None

PROPERTIES = "org.freedesktop.DBus.Properties"
ACCESSIBLE = "org.a11y.atspi.Accessible"
ROOT = "/org/a11y/atspi/accessible/root"
# The standard interfaces that QtDBus answers itself for every object.
STANDARD = (PROPERTIES, "org.freedesktop.DBus.Introspectable", "org.freedesktop.DBus.Peer")

# A value of the wrong type for each D-Bus type of an argument, and int-sized values.
WRONG = {"i": ("s", "x"), "u": ("s", "x"), "s": ("i", 1), "b": ("s", "x"), "d": ("s", "x"),
         "v": ("i", 1)}
LARGE = {"i": (INT_MAX, INT_MIN, -1), "u": (UINT_MAX, 3)}


# -- the program on the bus ------------------------------------------------------------------------
class Program:
    """One start of the program, reached by raw calls on the accessibility bus."""

    def __init__(self, state):
        self.proc = SESSION.start([EXECUTABLE], stderr=subprocess.DEVNULL)
        self.bus = Gio.DBusConnection.new_for_address_sync(
            accessibility_bus_address(),
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
            Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        self.name = poll(self.bus_name, "the program on the accessibility bus")
        poll(lambda: self.windows(), "the main window's accessible object")
        SESSION.wait_until_active(MAIN_CAPTION)
        state(self)

    def stop(self):
        SESSION.stop(self.proc)

    def bus_name(self):
        return unique_name_of(self.bus, self.proc.pid)

    def call(self, path, interface, method, signature="", args=()):
        """("answer", values), ("error", message), ("timeout", None) or ("ended", None)."""
        parameters = GLib.Variant(f"({signature})", tuple(args)) if signature else None
        try:
            reply = self.bus.call_sync(self.name, path, interface, method, parameters, None,
                                       Gio.DBusCallFlags.NONE, CALL_MS, None)
            return "answer", reply.unpack()
        except GLib.Error as error:
            if self.proc.poll() is not None or "NoReply" in error.message and \
                    self.ended_soon():
                return "ended", None
            if "Timeout" in error.message or "timed out" in error.message.lower():
                return "timeout", None
            return "error", error.message

    def ended_soon(self):
        try:
            self.proc.wait(timeout=2)
        except Exception:  # noqa: BLE001 (still running)
            return False
        return True

    def answers(self):
        if self.proc.poll() is not None:
            return False
        outcome, _ = self.call(ROOT, ACCESSIBLE, "GetRole")
        return outcome == "answer"

    def get(self, path, interface, name):
        outcome, value = self.call(path, PROPERTIES, "Get", "ss", (interface, name))
        return value[0] if outcome == "answer" else None

    def windows(self):
        outcome, value = self.call(ROOT, ACCESSIBLE, "GetChildren")
        return value[0] if outcome == "answer" else []

    def objects(self):
        """Every object path under the application, the root first, in reading order."""
        found, todo = [], [ROOT]
        while todo:
            path = todo.pop(0)
            if path in found:
                continue
            found.append(path)
            outcome, value = self.call(path, ACCESSIBLE, "GetChildren")
            if outcome == "answer":
                todo += [child for _name, child in value[0] if not child.endswith("/null")]
        return found

    def role_name(self, path):
        outcome, value = self.call(path, ACCESSIBLE, "GetRoleName")
        return value[0] if outcome == "answer" else "?"

    def declaration(self, path):
        """{interface: ({method: in-signature}, {property: (type, writable)})} as the object's
        introspection declares them, the standard interfaces left out."""
        outcome, value = self.call(path, "org.freedesktop.DBus.Introspectable", "Introspect")
        if outcome != "answer":
            return {}
        result = {}
        for node in ElementTree.fromstring(value[0]).findall("interface"):
            if node.get("name") in STANDARD:
                continue
            methods = {m.get("name"): "".join(a.get("type") for a in m.findall("arg")
                                              if a.get("direction", "in") == "in")
                       for m in node.findall("method")}
            properties = {p.get("name"): (p.get("type"), p.get("access") == "readwrite")
                          for p in node.findall("property")}
            result[node.get("name")] = (methods, properties)
        return result

    def type_answer(self, text):
        SESSION.xdotool("type", "--delay", "20", text)
        SESSION.xdotool("key", "Return")


# -- the states the program is tried in ------------------------------------------------------------
def main_window(_program):
    pass


def message_box(program):
    """A wrong answer: the message box over the main window."""
    focus_answer_field(program)
    program.type_answer("12a")
    poll(lambda: SESSION.visible_windows(application_title(EXECUTABLE)), "the message box")


def result_window(program):
    """Twenty answers: the result window over the main window."""
    focus_answer_field(program)
    for _ in range(20):
        program.type_answer("0")
        time.sleep(0.05)
    SESSION.wait_for_window(RESULT_CAPTION)


def focus_answer_field(program):
    SESSION.xdotool("key", "Tab", "Tab")
    time.sleep(0.3)


STATES = {"main window": main_window, "message box": message_box, "result window": result_window}
# The role of an object that only the state shows.
SHOWN = {"main window": "frame", "message box": "alert message", "result window": "dialog"}


# -- the battery -----------------------------------------------------------------------------------
def cases(interface, methods, properties):
    """(kind, interface, member, signature, args, must_be_refused) for one declared interface."""
    for method, signature in sorted(methods.items()):
        if signature:
            yield "no arguments", interface, method, "", (), True
            for at, kind in enumerate(signature):
                if kind in WRONG:
                    wrong_type, value = WRONG[kind]
                    args = [sample(k) for k in signature]
                    args[at] = value
                    yield (f"wrong type at {at}", interface, method,
                           signature[:at] + wrong_type + signature[at + 1:], args, True)
        yield ("one argument too many", interface, method, signature + "i",
               [sample(k) for k in signature] + [0], True)
        if signature and set(signature) <= set(LARGE):
            for size in range(3):
                yield (f"int-sized {size}", interface, method, signature,
                       [LARGE[k][size % len(LARGE[k])] for k in signature], False)
    if properties:
        yield "Get with one argument", PROPERTIES, "Get", "s", (interface,), True
        yield "Get of wrong types", PROPERTIES, "Get", "ii", (1, 2), True
        yield "Get of a property missing", PROPERTIES, "Get", "ss", (interface, "Missing"), True
    for name, (kind, writable) in sorted(properties.items()):
        yield ("setter as a method", interface, "Set" + name, kind if len(kind) == 1 else "i",
               (sample(kind),), True)
        if writable:
            yield "Set of the wrong type", PROPERTIES, "Set", "ssv", (
                interface, name, GLib.Variant("s", "x")), True
            yield "Set without its value", PROPERTIES, "Set", "ss", (interface, name), True
        elif len(kind) == 1:
            yield "Set of a read-only property", PROPERTIES, "Set", "ssv", (
                interface, name, GLib.Variant(kind, sample(kind))), True
    yield "GetAll without arguments", PROPERTIES, "GetAll", "", (), True
    yield "GetAll with two arguments", PROPERTIES, "GetAll", "ss", (interface, "x"), True
    yield "GetAll of a number", PROPERTIES, "GetAll", "i", (1,), True


def sample(kind):
    return {"i": 0, "u": 0, "s": "", "b": False, "d": 0.0, "v": GLib.Variant("i", 0)}.get(kind, 0)


def extra_cases():
    """Calls beyond the declared ones, each tried on every object that has the interface:
    setters called as methods, property values beyond a range, text ranges and insertions beyond
    the text, and GetAll of an interface the object lacks."""
    return [
        ("undeclared setter", "org.a11y.atspi.Application", "SetId", "i", (5,), True),
        ("setter declared as a method", "org.a11y.atspi.Value", "SetCurrentValue", "d", (1.0,),
         True),
        ("Set of a value beyond the range", PROPERTIES, "Set", "ssv",
         ("org.a11y.atspi.Value", "CurrentValue", GLib.Variant("d", 1e300)), False),
        ("Set of a value that is no number", PROPERTIES, "Set", "ssv",
         ("org.a11y.atspi.Value", "CurrentValue", GLib.Variant("d", math.nan)), False),
        ("text range of int size", "org.a11y.atspi.Text", "GetRangeExtents", "iiu",
         (0, INT_MAX, 0), False),
        ("insert with a length beyond the text", "org.a11y.atspi.EditableText", "InsertText",
         "isi", (0, "ab", 12), False),
        ("insert at an offset beyond the text", "org.a11y.atspi.EditableText", "InsertText",
         "isi", (INT_MAX, "7", INT_MIN), False),
        ("GetAll of an interface the object lacks", PROPERTIES, "GetAll", "s",
         ("org.a11y.atspi.Table",), True),
    ]


def battery(program, paths):
    """Every case on every object: (index of the object, role, case) in order."""
    for index, path in enumerate(paths):
        role = program.role_name(path)
        declared = program.declaration(path)
        for interface, (methods, properties) in declared.items():
            for case in cases(interface, methods, properties):
                yield index, role, case
        for case in extra_cases():
            interface = case[4][0] if case[1] == PROPERTIES else case[1]
            if interface in declared:
                yield index, role, case


class Battery(unittest.TestCase):
    calls = 0

    def run_state(self, name):
        program = Program(STATES[name])
        self.addCleanup(program.stop)
        paths = program.objects()
        self.assertIn(SHOWN[name], [program.role_name(path) for path in paths])
        for index, role, case in battery(program, paths):
            path = paths[index]
            kind, interface, member, signature, args, refused = case
            what = f"{kind}: {interface}.{member}({signature}) on {role} {path} in the {name}"
            Battery.calls += 1
            outcome, value = program.call(path, interface, member, signature, args)
            self.assertNotIn(outcome, ("timeout", "ended"), f"{outcome} after {what}")
            self.assertTrue(program.answers(), f"the program does not answer after {what}")
            if refused:
                self.assertEqual(outcome, "error", f"answered {value!r} to {what}")
            if interface == "org.a11y.atspi.EditableText":
                self.assert_text_consistent(program, path, what)
        for path in program.objects():
            self.assert_get_all_matches_gets(program, path)
        self.assertGreater(len(paths), 3)

    def assert_text_consistent(self, program, path, after):
        count = program.get(path, "org.a11y.atspi.Text", "CharacterCount")
        outcome, value = program.call(path, "org.a11y.atspi.Text", "GetText", "ii", (0, -1))
        self.assertEqual(outcome, "answer", after)
        self.assertEqual(count, len(value[0].encode("utf-16-le")) // 2,
                         f"CharacterCount disagrees with GetText {value[0]!r} after {after}")

    def assert_get_all_matches_gets(self, program, path):
        for interface, (_methods, properties) in program.declaration(path).items():
            with self.subTest(path=path, interface=interface):
                outcome, value = program.call(path, PROPERTIES, "GetAll", "s", (interface,))
                self.assertEqual(outcome, "answer", value)
                everything = value[0]
                singles = {name: program.get(path, interface, name) for name in properties}
                singles = {name: v for name, v in singles.items() if v is not None}
                self.assertEqual(everything, singles)
                self.assertTrue(program.answers())

    def test_get_all_from_the_first_moment(self):
        """A reader that sends GetAll as soon as the program is on the bus, before and while the
        bridge comes up, as readers with property caching do: the guard stands before the first
        call reaches the bridge."""
        proc = SESSION.start([EXECUTABLE], stderr=subprocess.DEVNULL)
        self.addCleanup(SESSION.stop, proc)
        program = Program.__new__(Program)
        program.proc = proc
        program.bus = Gio.DBusConnection.new_for_address_sync(
            accessibility_bus_address(),
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
            Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        program.name = poll(program.bus_name, "the program on the accessibility bus")
        answered = 0
        deadline = time.monotonic() + 3
        while time.monotonic() < deadline:
            outcome, _ = program.call(ROOT, PROPERTIES, "GetAll", "s", (ACCESSIBLE,))
            self.assertNotIn(outcome, ("timeout", "ended"), "GetAll while the bridge comes up")
            answered += outcome == "answer"
            time.sleep(0.001)
        self.assertGreater(answered, 0)
        self.assertTrue(program.answers())

    def test_main_window(self):
        self.run_state("main window")

    def test_message_box(self):
        self.run_state("message box")

    def test_result_window(self):
        self.run_state("result window")


# -- the report of what each call does -------------------------------------------------------------
def report():
    """Each kind of call once per role and interface, on a program started again whenever one
    ends; prints one line per call and what it did."""
    outcomes = {}
    for name, state in STATES.items():
        program = Program(state)
        done = set()
        plan = list(battery(program, program.objects()))
        for index, role, case in plan:
            kind, interface, member, signature, args, _refused = case
            key = (role, kind, interface, member, signature)
            if key in done:
                continue
            done.add(key)
            paths = program.objects()
            if index >= len(paths):
                continue
            started = time.perf_counter()
            outcome, value = program.call(paths[index], interface, member, signature, args)
            took = (time.perf_counter() - started) * 1000
            if outcome == "answer" and not program.answers():
                outcome = "answered, then ended"
            line = (f"{name} | {role} | {interface}.{member}({signature}) {kind} | {outcome}"
                    f" | {took:.0f} ms | {str(value)[:80]}")
            print(line, flush=True)
            outcomes.setdefault(outcome, 0)
            outcomes[outcome] += 1
            if program.proc.poll() is not None or outcome in ("timeout", "answered, then ended"):
                program.stop()
                program = Program(state)
        program.stop()
    print("summary:", ", ".join(f"{k} {v}" for k, v in sorted(outcomes.items())))
    return 0


if __name__ == "__main__":
    arguments = sys.argv[1:]
    reporting = arguments[:1] == ["--report"]
    if reporting:
        arguments = arguments[1:]
    if len(arguments) != 1:
        sys.exit(__doc__)
    EXECUTABLE = os.path.abspath(arguments[0])

    def started(session):
        global SESSION, Gio, GLib
        SESSION = session
        from gi.repository import Gio, GLib

    if reporting:
        from xsession import XSession, stop_on_signals
        stop_on_signals(3000)
        with XSession(accessibility=True) as session:
            os.environ["DBUS_SESSION_BUS_ADDRESS"] = session.env["DBUS_SESSION_BUS_ADDRESS"]
            started(session)
            sys.exit(report())
    status = run_tests(240, started, atspi_client=True, accessibility=True)
    print(f"{Battery.calls} raw AT-SPI calls, each answered within {CALL_MS} ms")
    sys.exit(status)
