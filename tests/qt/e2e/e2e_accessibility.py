"""The program as a screen reader sees it: a whole series typed with xdotool while every window,
text and state is read through AT-SPI only. The series is played from the case table that the
Windows build's test plays too (tests/cases/drill_cases.py): right, wrong, leading-blank and
hexadecimal answers, and rejected texts on the way.

Usage: e2e_accessibility.py <drill executable>
"""

import os
import re
import sys
import time
import unittest

from drill_program import MAIN_CAPTION, RESULT_CAPTION, application_title, mark_for
from xsession import run_tests

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cases"))
import drill_cases as cases  # noqa: E402

EXECUTABLE = ""
SESSION = None  # one X session with its accessibility bus, for the whole run
EXERCISE = re.compile(r"(\d+) \+ (\d+) = ")
POLL_SECONDS = 15

pyatspi = None  # imported once the session's accessibility bus is known


class Node:
    """An accessible object with what the checks read of it."""

    def __init__(self, accessible):
        self.acc = accessible

    @property
    def role(self):
        return self.acc.getRole()

    @property
    def name(self):
        return self.acc.name

    # Text and extents through the interfaces that every Atspi.Accessible implements
    # (pyatspi's queryText and queryComponent go through calls that libatspi deprecates).
    @property
    def text(self):
        return self.acc.get_text(0, -1)

    def has(self, state):
        return self.acc.getState().contains(state)

    @property
    def extents(self):
        e = self.acc.get_extents(pyatspi.DESKTOP_COORDS)
        return e.x, e.y, e.width, e.height

    def children(self):
        return [Node(child) for child in self.acc if child is not None]

    def parent(self):
        return Node(self.acc.get_parent())

    def reading_order(self):
        """The names of the children, in the order a screen reader reads them."""
        return [child.name for child in self.children()]

    def find(self, role=None, name=None):
        """Every descendant with that role and name (either left out: any)."""
        found = pyatspi.findAllDescendants(
            self.acc, lambda a: (role is None or a.getRole() == role) and
            (name is None or a.name == name))
        return [Node(a) for a in found]

    def one(self, role, name=None):
        found = self.find(role, name)
        if len(found) != 1:
            raise AssertionError(f"{len(found)} of role {getattr(role, 'value_nick', role)} "
                                 f"named {name!r} in {self.name!r}: {describe(self)}")
        return found[0]

    def right_of(self, anchor, role):
        """The nearest object of that role right of anchor on the same line."""
        ax, ay, aw, ah = anchor.extents
        row = []
        for node in self.find(role):
            x, y, w, h = node.extents
            if node.acc != anchor.acc and x >= ax + aw // 2 and \
                    (ay <= y + h // 2 <= ay + ah or y <= ay + ah // 2 <= y + h):
                row.append((x, node))
        if not row:
            raise AssertionError(f"nothing right of {anchor.name!r}: {describe(self)}")
        return min(row, key=lambda item: item[0])[1]


def describe(node, depth=0):
    """The tree below node, one object a line: role, name and states."""
    states = ",".join(pyatspi.stateToString(s) for s in node.acc.getState().getStates())
    lines = [f"{'  ' * depth}{node.acc.getRoleName()} {node.name!r} [{states}]"]
    for child in node.children():
        lines.append(describe(child, depth + 1))
    return "\n" + "\n".join(lines) if depth == 0 else "\n".join(lines)


def poll(find, what, timeout=POLL_SECONDS):
    """The first true value of find(), asked again until it gives one. Values that AT-SPI keeps
    in its cache are dropped before every try: the program's changes reach them by events that
    can lag. what names the awaited thing, or is a function giving that text at the time."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        pyatspi.Registry.getDesktop(0).clear_cache()
        try:
            value = find()
            if value:
                return value
        except Exception as error:  # an object that went away while it was being read
            last_error = error
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what() if callable(what) else what}"
                                 + (f" (last error: {last_error})" if last_error else ""))
        time.sleep(0.05)


class AccessibleSeries(unittest.TestCase):
    def setUp(self):
        self.session = SESSION
        self.proc = self.session.start([EXECUTABLE])
        self.addCleanup(self.session.stop, self.proc)
        self.app = poll(self.find_application, "the program on the accessibility bus")

    def find_application(self):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == self.proc.pid:
                return Node(app)
        return None

    def window(self, caption):
        """The program's window captioned caption, while it is shown: the main window is a frame,
        the result window, which the main window owns, a dialog."""
        role = pyatspi.ROLE_DIALOG if caption == RESULT_CAPTION else pyatspi.ROLE_FRAME
        for child in self.app.children():
            if child.role == role and child.name == caption and \
                    child.has(pyatspi.STATE_SHOWING):
                return child
        return None

    def message_box(self):
        for child in self.app.children():
            if child.role == pyatspi.ROLE_ALERT and child.has(pyatspi.STATE_SHOWING):
                return child
        return None

    def keys(self, *keys):
        self.session.xdotool("key", *keys)

    def type_line(self, text):
        self.session.xdotool("type", "--delay", "20", text)
        self.keys("Return")

    def test_series_read_through_accessibility(self):
        main = poll(lambda: self.window(MAIN_CAPTION),
                    lambda: f"the main window, a frame; the program shows {describe(self.app)}")
        poll(lambda: main.has(pyatspi.STATE_ACTIVE), "the main window to become active")

        # Every control with its role and text.
        total_caption = main.one(pyatspi.ROLE_LABEL, "Всего примеров -")
        left_caption = main.one(pyatspi.ROLE_LABEL, "Осталось           -")
        total = main.right_of(total_caption, pyatspi.ROLE_LABEL)
        remaining = main.right_of(left_caption, pyatspi.ROLE_LABEL)
        self.assertEqual((total.name, remaining.name), ("20", "20"))
        exercise = poll(lambda: [n for n in main.find(pyatspi.ROLE_LABEL)
                                 if EXERCISE.fullmatch(n.name)], "the first exercise")
        self.assertEqual(len(exercise), 1, describe(main))
        exercise = exercise[0]
        self.assertEqual(len(main.find(pyatspi.ROLE_LABEL)), 5, describe(main))
        answer = main.one(pyatspi.ROLE_TEXT)
        self.assertTrue(answer.has(pyatspi.STATE_EDITABLE), "the answer field is not editable")
        self.assertEqual(answer.text, "")
        ok = main.one(pyatspi.ROLE_PUSH_BUTTON, "OK")
        exit_button = main.one(pyatspi.ROLE_PUSH_BUTTON, "Выход")
        self.assertEqual(len(main.find(pyatspi.ROLE_PUSH_BUTTON)), 2, describe(main))
        panel = main.one(pyatspi.ROLE_PANEL, "Кленова Д.М.")
        self.assertFalse(panel.has(pyatspi.STATE_FOCUSABLE), "the panel is a tab stop")
        # Line by line, left to right; the answer field is named by the exercise before it.
        self.assertEqual(exercise.parent().reading_order(),
                         [exercise.name, exercise.name, "OK", "Всего примеров -", "20",
                          "Осталось           -", "20", "Кленова Д.М.", "Выход"])

        # The focus starts on «Выход»; Tab twice reaches the answer field.
        poll(lambda: exit_button.has(pyatspi.STATE_FOCUSED), "the focus on «Выход»")
        self.keys("Tab", "Tab")
        poll(lambda: answer.has(pyatspi.STATE_FOCUSED), "the focus in the answer field")

        correct = 0
        for number in range(20):
            text = poll(lambda: EXERCISE.fullmatch(exercise.name), "an exercise").group(0)
            first, second = map(int, EXERCISE.fullmatch(text).groups())
            self.assertLessEqual(first, 100, text)
            self.assertLessEqual(second, 10, text)
            left_before = remaining.name

            for rejected in cases.REJECTED.get(number, []):
                self.check_rejected_answer(main, answer, exercise, remaining, text, rejected)

            kind = cases.kind_of(number)
            given = cases.answer_text(kind, first, second)
            correct += kind in cases.RIGHT_KINDS
            self.type_line(given)
            poll(lambda: remaining.name == str(19 - number) and answer.text == "",
                 f"«{19 - number}» left after answer {number + 1} ({text}{given!r}, {kind}), "
                 f"with the field emptied")
            self.assertEqual(int(left_before), 20 - number)

        self.assertEqual(correct, cases.correct_answers())
        # The series is over: the answer inputs are locked, one more exercise is shown, and the
        # result window tells the count and the mark.
        result = poll(lambda: self.window(RESULT_CAPTION),
                      lambda: f"the result window, a dialog; the program shows {describe(self.app)}")
        self.assertEqual(remaining.name, "0")
        self.assertEqual(total.name, "20")
        self.assertTrue(EXERCISE.fullmatch(exercise.name), exercise.name)
        for control in (answer, ok):
            self.assertFalse(control.has(pyatspi.STATE_ENABLED), f"{control.name!r} enabled")
        self.assertTrue(exit_button.has(pyatspi.STATE_ENABLED))

        # Read in order: the sentence completed by the count, the caption and the mark, the button.
        sentence = result.one(pyatspi.ROLE_LABEL, "Ответили правильно на ")
        self.assertEqual(sentence.parent().reading_order(),
                         ["Ответили правильно на ", str(correct), "Оценка",
                          str(mark_for(correct)), "Выход"], describe(result))
        mark_caption = result.one(pyatspi.ROLE_LABEL, "Оценка")
        self.assertEqual(result.right_of(mark_caption, pyatspi.ROLE_LABEL).name,
                         str(mark_for(correct)))
        close = result.one(pyatspi.ROLE_PUSH_BUTTON, "Выход")
        poll(lambda: result.has(pyatspi.STATE_ACTIVE) and close.has(pyatspi.STATE_FOCUSED),
             "the focus on the result window's «Выход»")

        # Enter closes it; the main window's «Выход» has the focus, and Enter ends the program.
        self.keys("Return")
        poll(lambda: self.window(RESULT_CAPTION) is None, "the result window to close")
        poll(lambda: main.has(pyatspi.STATE_ACTIVE) and exit_button.has(pyatspi.STATE_FOCUSED),
             "the focus back on the main window's «Выход»")
        self.keys("Return")
        self.assertEqual(self.proc.wait(timeout=20), 0, "exit status")

    def check_rejected_answer(self, main, answer, exercise, remaining, text, rejected):
        """A text that is no whole number: a message box under the application title says so;
        once it is closed the field still holds the text and the same exercise is due."""
        left = remaining.name
        self.type_line(rejected)
        box = poll(self.message_box,
                   lambda: f"the message box; the program shows {describe(self.app)}")
        self.assertEqual(box.name, application_title(EXECUTABLE), describe(box))
        box.one(pyatspi.ROLE_LABEL, cases.rejection_message(rejected))
        button = box.one(pyatspi.ROLE_PUSH_BUTTON, "OK")
        self.assertEqual((remaining.name, exercise.name, answer.text), (left, text, rejected))
        poll(lambda: box.has(pyatspi.STATE_ACTIVE) and button.has(pyatspi.STATE_FOCUSED),
             "the focus on the message box's OK")

        self.keys("Return")
        poll(lambda: self.message_box() is None, "the message box to close")
        poll(lambda: main.has(pyatspi.STATE_ACTIVE) and answer.has(pyatspi.STATE_FOCUSED),
             "the focus back in the answer field")
        self.assertEqual((remaining.name, exercise.name, answer.text), (left, text, rejected))
        if rejected:
            self.keys(*["BackSpace"] * len(rejected))
        poll(lambda: answer.text == "", "the rejected text to be erased")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    EXECUTABLE = os.path.abspath(sys.argv[1])

    def started(session):
        # pyatspi finds the accessibility bus through the session bus, and stays with the first
        # one it found: it is imported once the session's buses run.
        global SESSION, pyatspi
        SESSION = session
        import pyatspi

    sys.exit(run_tests(100, started, accessibility=True, atspi_client=True))
