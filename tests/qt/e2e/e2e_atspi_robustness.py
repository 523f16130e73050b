"""Assistive technology can neither hang, crash nor get round the program: raw AT-SPI calls, each
with a timeout, on the real program in a private X session. After every call the program must
still answer, and its state must be one a pupil could have made.

Usage: e2e_atspi_robustness.py <drill executable>
"""

import os
import sys
import time
import unittest

from drill_program import MAIN_CAPTION, RESULT_CAPTION, application_title
from atspi_bus import accessibility_bus_address, poll, unique_name_of
from xsession import run_tests

EXECUTABLE = ""
SESSION = None
CALL_MS = 3000

pyatspi = None
Gio = GLib = None

TEXTS = ["12a", "42", "сорок", "  42", ""]
BOUNDARIES = range(7)  # CHAR, WORD_START, WORD_END, SENTENCE_START, SENTENCE_END, LINE_START/END
TEXT = "org.a11y.atspi.Text"
ACCESSIBLE = "org.a11y.atspi.Accessible"


class Robustness(unittest.TestCase):
    calls = 0

    def setUp(self):
        self.proc = SESSION.start([EXECUTABLE])
        self.addCleanup(SESSION.stop, self.proc)
        self.app = poll(self.find_application, "the program on the accessibility bus")
        self.bus = Gio.DBusConnection.new_for_address_sync(
            accessibility_bus_address(),
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
            Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        self.name = unique_name_of(self.bus, self.proc.pid)
        self.assertIsNotNone(self.name, "the program has no name on the accessibility bus")
        self.field = poll(lambda: self.find(pyatspi.ROLE_TEXT), "the answer field")
        SESSION.wait_until_active(MAIN_CAPTION)

    def focus_field(self):
        """The focus starts on «Выход»; Tab twice reaches the answer field."""
        poll(lambda: self.find(pyatspi.ROLE_PUSH_BUTTON, "Выход").getState().contains(
            pyatspi.STATE_FOCUSED), "the focus on «Выход»")
        SESSION.xdotool("key", "Tab", "Tab")
        poll(lambda: self.field.getState().contains(pyatspi.STATE_FOCUSED), "the field's focus")

    def find_application(self):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == self.proc.pid:
                return app
        return None

    def find(self, role, name=None, root=None):
        found = pyatspi.findAllDescendants(
            root or self.app, lambda a: a.getRole() == role and (name is None or a.name == name))
        return found[0] if found else None

    # -- raw calls ------------------------------------------------------------------------------
    def raw(self, path, interface, method, signature=None, *args):
        """One call with a timeout; an error answer is fine, no answer or a dead program is not."""
        Robustness.calls += 1
        parameters = GLib.Variant(signature, args) if signature else None
        what = f"{interface}.{method}{args} on {path}"
        try:
            reply = self.bus.call_sync(self.name, path, interface, method, parameters, None,
                                       Gio.DBusCallFlags.NONE, CALL_MS, None)
        except GLib.Error as error:
            if "Timeout" in error.message or "timed out" in error.message.lower():
                self.fail(f"no answer within {CALL_MS} ms to {what}")
            reply = None
        self.assert_alive(what)
        return reply.unpack() if reply is not None else None

    def assert_alive(self, after):
        self.assertIsNone(self.proc.poll(), f"the program ended after {after}")
        try:
            self.bus.call_sync(self.name, "/org/a11y/atspi/accessible/root", ACCESSIBLE,
                               "GetRole", None, None, Gio.DBusCallFlags.NONE, CALL_MS, None)
        except GLib.Error as error:
            self.fail(f"the program does not answer after {after}: {error.message}")

    def path(self, accessible):
        return accessible.path

    def field_text(self):
        return self.raw(self.path(self.field), TEXT, "GetText", "(ii)", 0, -1)[0]

    def set_field(self, text):
        self.raw(self.path(self.field), "org.a11y.atspi.EditableText", "SetTextContents", "(s)",
                 text)
        self.assertEqual(self.field_text(), text)

    # -- the checks -----------------------------------------------------------------------------
    def test_text_lookups_answer_at_every_offset(self):
        field = self.path(self.field)
        for text in TEXTS:
            self.set_field(text)
            for offset in range(-2, len(text) + 2):
                for boundary in BOUNDARIES:
                    for method in ("GetTextAtOffset", "GetTextBeforeOffset", "GetTextAfterOffset"):
                        with self.subTest(text=text, offset=offset, boundary=boundary,
                                          method=method):
                            got = self.raw(field, TEXT, method, "(iu)", offset, boundary)
                            if got is not None:
                                item, start, end = got
                                self.assertTrue(0 <= start <= end <= len(text), got)
                                self.assertEqual(item, text[start:end])
                    self.raw(field, TEXT, "GetStringAtOffset", "(iu)", offset, boundary % 5)
        # The word that ends at the end of the text is the word at the end (Ctrl+Left there).
        for text, word in (("12a", "12a"), ("42", "42"), ("сорок", "сорок"), ("  42", "42")):
            self.set_field(text)
            for boundary in (1, 2):
                got = self.raw(field, TEXT, "GetTextAtOffset", "(iu)", len(text), boundary)
                self.assertEqual(got[0].strip(), word, (text, boundary))

    def test_attribute_run_is_the_whole_text(self):
        self.set_field("12a")
        for offset in range(0, 4):
            _attributes, start, end = self.raw(self.path(self.field), TEXT, "GetAttributeRun",
                                               "(ib)", offset, False)
            self.assertEqual((start, end), (0, 3), offset)

    def test_child_index_past_the_end_on_every_object(self):
        objects = [self.app] + pyatspi.findAllDescendants(self.app, lambda a: True)
        for accessible in objects:
            path = self.path(accessible)
            count = accessible.get_child_count()
            for index in (count, count + 1, 1000, -1):
                self.raw(path, ACCESSIBLE, "GetChildAtIndex", "(i)", index)

    def test_no_input_behind_the_message_box(self):
        self.focus_field()
        SESSION.xdotool("type", "--delay", "30", "12a")
        poll(lambda: self.field_text() == "12a", "the typed text in the field")
        SESSION.xdotool("key", "Return")
        title = application_title(EXECUTABLE)
        poll(lambda: SESSION.visible_windows(title), "the message box")
        self.press_and_edit_behind("the message box")
        self.assertEqual(len(SESSION.visible_windows(title)), 1, "a second message box")
        self.assertEqual(self.field_text(), "12a")

    def description(self, accessible):
        return self.raw(self.path(accessible), "org.freedesktop.DBus.Properties", "Get", "(ss)",
                        ACCESSIBLE, "Description")[0]

    def press_and_edit_behind(self, what):
        """Every action on the main window's controls, and edits of the field: none may act."""
        field = self.path(self.field)
        before = self.field_text()
        for method, signature, args in (("SetTextContents", "(s)", ("99",)),
                                        ("InsertText", "(isi)", (0, "7", 1)),
                                        ("DeleteText", "(ii)", (0, 3))):
            self.raw(field, "org.a11y.atspi.EditableText", method, signature, *args)
        self.assertEqual(self.field_text(), before, f"the field edited behind {what}")
        main = self.find(pyatspi.ROLE_FRAME, MAIN_CAPTION)
        self.assertIsNotNone(main)
        controls = pyatspi.findAllDescendants(
            main, lambda a: a.getRole() in (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TEXT))
        self.assertEqual(len(controls), 3)
        for control in controls:
            path = self.path(control)
            count = self.raw(path, "org.freedesktop.DBus.Properties", "Get", "(ss)",
                             "org.a11y.atspi.Action", "NActions")
            for index in range(count[0] if count else 0):
                self.raw(path, "org.a11y.atspi.Action", "DoAction", "(i)", index)
        time.sleep(0.5)
        self.assertIsNone(self.proc.poll(), f"the program ended on an action behind {what}")
        self.assertEqual(self.field_text(), before)

    def test_remaining_count_is_the_field_description(self):
        self.assertEqual(self.description(self.field), "Осталось - 20")
        self.focus_field()
        SESSION.xdotool("type", "--delay", "30", "7")
        SESSION.xdotool("key", "Return")
        poll(lambda: self.description(self.field) == "Осталось - 19", "one fewer left")

    def test_no_input_behind_the_result_window(self):
        self.focus_field()
        for number in range(20):
            poll(lambda: self.field.getState().contains(pyatspi.STATE_FOCUSED) and
                 self.description(self.field) == f"Осталось - {20 - number}",
                 f"exercise {number + 1}")
            SESSION.xdotool("type", "--delay", "20", "0")
            SESSION.xdotool("key", "Return")
        SESSION.wait_for_window(RESULT_CAPTION)
        self.press_and_edit_behind("the result window")
        self.assertEqual(len(SESSION.visible_windows(RESULT_CAPTION)), 1)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    EXECUTABLE = os.path.abspath(sys.argv[1])

    def started(session):
        # Both find the accessibility bus through the session's bus: imported once it runs.
        global SESSION, pyatspi, Gio, GLib
        SESSION = session
        import pyatspi
        from gi.repository import Gio, GLib

    status = run_tests(100, started, accessibility=True, atspi_client=True)
    print(f"{Robustness.calls} raw AT-SPI calls, each answered within {CALL_MS} ms")
    sys.exit(status)
