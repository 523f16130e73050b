"""A whole series taken by ear: the screen reader Orca reads the program on a private X server,
and this test knows only what Orca says (the SPEECH OUTPUT lines of its debug log). It hears the
main window, tabs to the answer field and hears the exercise, types the sum (taken from what it
heard), hears the next exercise after every answer, has one answer rejected on the way, and at the
end hears the count of right answers and the mark.

Orca speaks nothing aloud here: it is given no speech server, which leaves what it says in its log.

Usage: orca_series.py <drill executable>
"""

import os
import re
import shutil
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from drill_program import MAIN_CAPTION, RESULT_CAPTION, application_title, mark_for  # noqa: E402
from xsession import run_tests  # noqa: E402

EXECUTABLE = ""
SESSION = None  # one X session with its accessibility bus, for the whole run
HEAR_SECONDS = 15  # at most, for one thing to be said
SPOKEN = re.compile(r"SPEECH OUTPUT: '(.*)'(?: voice=\S+)?\s*\{.*\}\s*$")
# The exercise as the answer field is announced when it comes, and as the field is read when the
# focus reaches it («63 + 4 =  text.»).
EXERCISE = r"(\d+) \+ (\d+) = "
ANNOUNCED = re.compile(EXERCISE)
FIELD = re.compile(EXERCISE + r"\s*text\.?")
REJECTED = "12a"
REJECTED_AT = 1  # the answer (counted from 0) before which a rejected text is typed
WRONG = {4, 11}  # answers given one too high: 18 right, mark 5

# Orca's settings for the test, read from the folder given with -u: its debug log written line by
# line (it is read while Orca runs), no speech server (the log is what it says), no braille display.
CUSTOMIZATIONS = """\
import orca.debug
import orca.settings

if orca.debug.debugFile:
    orca.debug.debugFile.reconfigure(line_buffering=True)
orca.settings.speechServerFactory = "none"
orca.settings.speechFactoryModules = []
orca.settings.enableBraille = False
"""


class Listener:
    """What Orca has said so far, read from its debug log as it grows."""

    def __init__(self, path, orca):
        self.path, self.orca = path, orca
        self.said = []
        self.heard = 0  # said[:heard] has been waited for
        self._partial = ""
        self._offset = 0

    def _read(self):
        if not os.path.exists(self.path):
            return
        with open(self.path, encoding="utf-8", errors="replace") as log:
            log.seek(self._offset)
            text = log.read()
            self._offset = log.tell()
        lines = (self._partial + text).split("\n")
        self._partial = lines.pop()
        for line in lines:
            match = SPOKEN.search(line)
            if match:
                self.said.append(match.group(1))

    def mark(self):
        """From now on only what is said after this moment counts."""
        self._read()
        self.heard = len(self.said)

    def hear(self, wanted, what, timeout=HEAR_SECONDS):
        """The first utterance since the last one heard that fullmatches the pattern wanted (text
        or compiled); fails naming what, with everything said meanwhile, if none comes."""
        pattern = wanted if isinstance(wanted, re.Pattern) else re.compile(re.escape(wanted))
        deadline = time.monotonic() + timeout
        while True:
            self._read()
            for index in range(self.heard, len(self.said)):
                match = pattern.fullmatch(self.said[index])
                if match:
                    self.heard = index + 1
                    return match
            if self.orca.poll() is not None:
                raise AssertionError(f"Orca ended (status {self.orca.returncode}) before saying "
                                     f"{what}; it said: {self.said[self.heard:]}")
            if time.monotonic() > deadline:
                raise AssertionError(f"Orca did not say {what} within {timeout} s; it said: "
                                     f"{self.said[self.heard:]}")
            time.sleep(0.05)


class SeriesByEar(unittest.TestCase):
    def setUp(self):
        self.session = SESSION
        prefs = os.path.join(self.session.tmp, "orca")
        os.makedirs(prefs)
        with open(os.path.join(prefs, "orca-customizations.py"), "w") as file:
            file.write(CUSTOMIZATIONS)
        log = os.path.join(self.session.tmp, "orca-debug.log")
        self.orca_output = os.path.join(self.session.tmp, "orca-output.txt")
        orca = shutil.which("orca")
        self.assertIsNotNone(orca, "the screen reader Orca is not installed (Debian package orca)")
        with open(self.orca_output, "w") as output:
            self.orca = self.session.start([orca, "-u", prefs, "--debug-file", log],
                                           stdout=output, stderr=output)
        self.listener = Listener(log, self.orca)
        self.addCleanup(self.report_orca)
        self.addCleanup(self.print_transcript)
        # Orca greets once it listens to the accessibility bus.
        self.listener.hear("Screen reader on.", "that it is on", timeout=30)

    def print_transcript(self):
        """Everything Orca said, one utterance a line (ctest shows it with --verbose or
        --output-on-failure)."""
        self.listener.mark()
        print("Orca said:", *(f"  «{said}»" for said in self.listener.said), sep="\n")

    def report_orca(self):
        if self.orca.poll() is not None and self.orca.returncode != 0:
            with open(self.orca_output, encoding="utf-8", errors="replace") as output:
                sys.stderr.write(f"Orca's output:\n{output.read()}\n")

    def keys(self, *keys):
        self.session.xdotool("key", "--delay", "60", *keys)

    def type_line(self, text):
        self.session.xdotool("type", "--delay", "60", text)
        self.keys("Return")

    def test_series_by_ear(self):
        hear = self.listener.hear
        program = self.session.start([EXECUTABLE])
        hear(f"{MAIN_CAPTION} frame.", "the main window")
        hear("Выход push button.", "the focus on «Выход»")

        # Tab twice: the OK button, then the answer field with its exercise.
        self.listener.mark()
        self.keys("Tab")
        hear("OK push button.", "the OK button")
        self.keys("Tab")
        exercise = hear(FIELD, "the answer field with its exercise")

        correct = 0
        for number in range(20):
            first, second = map(int, exercise.groups())
            self.assertLessEqual(first, 100, exercise.group(0))
            self.assertLessEqual(second, 10, exercise.group(0))
            if number == REJECTED_AT:
                self.reject_once(exercise)
            given = first + second + (1 if number in WRONG else 0)
            correct += number not in WRONG
            self.listener.mark()
            self.type_line(str(given))
            if number < 19:
                exercise = hear(ANNOUNCED, f"the exercise after answer {number + 1} "
                                           f"({exercise.group(0)}{given})")
                hear(f"Осталось - {19 - number}", f"the count left after answer {number + 1}")

        # After the twentieth answer: the result window with the count and the mark, then its
        # button. The main window's last exercise, which cannot be answered, is not announced.
        result = hear(re.compile(rf"{RESULT_CAPTION} dialog (.*)"), "the result window")
        self.assertEqual(result.group(1), f"Ответили правильно на {correct}. "
                                          f"{RESULT_CAPTION} {mark_for(correct)}.")
        hear("Выход push button.", "the focus on the result window's «Выход»")
        said_at_end = self.listener.said[self.listener.heard:]
        self.assertFalse([s for s in said_at_end if ANNOUNCED.fullmatch(s)], said_at_end)

        # Enter closes it and the focus is back on the main window's «Выход»; Enter ends the
        # program.
        self.keys("Return")
        hear("Выход push button.", "the focus back on the main window's «Выход»")
        self.keys("Return")
        self.assertEqual(program.wait(timeout=20), 0, "exit status")

    def reject_once(self, exercise):
        """A text that is no whole number: the message box is read, and once it is closed the
        field is read again with its exercise and the rejected text, which is then erased."""
        self.listener.mark()
        self.type_line(REJECTED)
        self.listener.hear(f"alert {application_title(EXECUTABLE)}.", "the message box")
        self.listener.hear(f"'{REJECTED}' is not a valid integer value.", "the message")
        self.listener.hear("OK push button.", "the message box's OK button")
        self.keys("Return")
        self.listener.hear(f"{MAIN_CAPTION} frame.", "the main window again")
        again = self.listener.hear(FIELD, "the answer field again")
        self.assertEqual(again.groups(), exercise.groups(), "the exercise changed")
        self.listener.hear(f"{REJECTED}.", "the rejected text read whole")
        # Word by word from the end of the text and back: the program must keep answering.
        self.keys("ctrl+Left")
        self.listener.hear(REJECTED, "the word before the caret")
        self.keys("ctrl+Right")
        self.listener.hear(REJECTED, "the word after the caret")
        self.keys(*["BackSpace"] * len(REJECTED))
        self.listener.hear(REJECTED[0], "the rejected text erased")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    EXECUTABLE = os.path.abspath(sys.argv[1])

    def started(session):
        global SESSION
        SESSION = session

    sys.exit(run_tests(85, started, accessibility=True, pointer_away=False))
