"""The Windows build used as a pupil uses it, under Wine on the wine fixture's X server with its
window manager: keys typed with xdotool, every text, state and the focus read from outside the
process by the probe, the task bar's view read from the window manager.

Usage (under CTest, which gives the fixture's environment):
  e2e_windows.py <Drill.exe> <probe.exe> <directory for screenshots and logs>
"""

import json
import os
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cases"))
import drill_cases as cases  # noqa: E402
from winsession import WineSession, pixels, stop_program

GREEN = (0, 128, 0)  # the check mark of the enabled OK button
# MSAA roles and states (oleacc.h).
ROLE_PANE, ROLE_DIALOG, ROLE_STATICTEXT, ROLE_TEXT, ROLE_PUSHBUTTON = 0x10, 0x12, 0x29, 0x2A, 0x2B
UNAVAILABLE, FOCUSED, DEFAULT = 0x1, 0x4, 0x100
OBJID_CLIENT = -4
# Result codes (winerror.h) and VARIANT types.
S_OK, S_FALSE, E_INVALIDARG, E_NOINTERFACE = 0, 1, -2147024809, -2147467262
VT_I4, VT_DISPATCH = 3, 9
# The probe's VARIANTs that name no child: ids out of range, and VARIANTs of other types.
ODD_CHILDREN = {"I4 -1", "I4 count+1", "I4 2147483647", "I4 -2147483648", "EMPTY", "BSTR 1",
                "I2 1", "DISPATCH null", "I4|BYREF self"}


def cleared(out):
    """Nothing came back: no value, or the zeros the object cleared its results to."""
    return out in (None, 0, [0, 0, 0, 0])


def direction(row):
    """The direction of an accNavigate row, or None."""
    call, _, number = row["call"].partition(" ")
    return int(number) if call == "accNavigate" else None


# What a sound object answers to the probe's odd calls (msaa-odd): the first rule whose rows
# include a row judges it. The rows of each child by its id are judged in check_odd_calls.
ODD_CALL_RULES = (
    ("a VARIANT that names no child is refused",
     lambda r: r["arg"] in ODD_CHILDREN,
     lambda r: r["hr"] == E_INVALIDARG and cleared(r["out"])),
    ("a call without a place for its result is refused",
     lambda r: r["arg"] == "no result",
     lambda r: r["hr"] < 0),
    ("a navigation direction that is none is refused",
     lambda r: direction(r) is not None and not 1 <= direction(r) <= 8,
     lambda r: r["hr"] == E_INVALIDARG and r["out"] is None),
    ("selection flags that are none are refused",
     lambda r: r["call"] in ("accSelect 32", "accSelect -1"),
     lambda r: r["hr"] == E_INVALIDARG),
    ("a point off the window hits nothing",
     lambda r: r["call"] == "accHitTest" and r["arg"] != "middle",
     lambda r: r["hr"] == S_FALSE and r["out"] is None),
    ("the middle of a window hits the window or one of its controls",
     lambda r: r["call"] == "accHitTest",
     lambda r: r["hr"] == S_OK and r["out"] is not None
     and (r["out"] == {"vt": VT_I4, "i4": 0} or r["out"]["vt"] == VT_DISPATCH)),
    ("the focus is in the object or nothing",
     lambda r: r["call"] == "get_accFocus",
     lambda r: (r["hr"], r["out"] is None) in ((S_OK, False), (S_FALSE, True))),
    ("the parent is an object",
     lambda r: r["call"] == "get_accParent",
     lambda r: (r["hr"], r["out"]) == (S_OK, "object")),
    ("there is no selection to give",
     lambda r: r["call"] == "get_accSelection",
     lambda r: r["out"] is None),
    ("no child enumeration: a reader counts the children and asks for each",
     lambda r: r["call"] == "QueryInterface IEnumVARIANT",
     lambda r: r["hr"] == E_NOINTERFACE),
    ("the child count",
     lambda r: r["call"] == "get_accChildCount",
     lambda r: r["hr"] == S_OK and r["out"] >= 0),
)
MAROON = (128, 0, 0)  # the mark in the result window

EXECUTABLE = ""
EXE_NAME = ""
SHOTS = ""
SESSION = None
TITLE = ""


def record(what, data):
    """Keeps what the screen reader's view showed, one JSON line each, in msaa.jsonl beside the
    screenshots; returns it."""
    with open(os.path.join(SHOTS, "msaa.jsonl"), "a", encoding="utf-8") as f:
        f.write(json.dumps({"what": what, **data}, ensure_ascii=False) + "\n")
    return data


def message_boxes(snap):
    """The message boxes on the screen: windows captioned with the title that have a size (the
    application window carries the title too, but has none)."""
    return [w for w in snap.visible(TITLE) if w.rect[2] > w.rect[0] and w.rect[3] > w.rect[1]]


class Program:
    """One run of Drill.exe and what the tests read of it."""

    def __init__(self, test):
        self.test = test
        self.s = SESSION
        self.proc = self.s.start(EXECUTABLE)
        test.addCleanup(stop_program, self.proc)

    def snap(self):
        return self.s.snapshot(EXE_NAME)

    def wait(self, condition, what, timeout=20):
        """Waits until condition(snapshot) holds and returns that snapshot; the failure message
        shows what the probe saw last."""
        last = []

        def check():
            if self.proc.poll() is not None:
                raise AssertionError(f"Drill.exe ended (status {self.proc.returncode}) while "
                                     f"waiting for {what}")
            last[:] = [self.snap()]
            try:
                return last[0] if condition(last[0]) else None
            except (AssertionError, KeyError, IndexError):
                return None

        return self.s.wait(check, lambda: f"{what}; the probe saw:\n" +
                           (last[0].describe() if last else "nothing"), timeout)

    def main(self, snap):
        window = snap.window(cases.MAIN_CAPTION)
        if window is None:
            raise AssertionError("no main window")
        return window

    def controls(self, snap):
        """The main window's controls by their names in the program."""
        main = self.main(snap)
        total_caption = main.child(cases.TOTAL_CAPTION)
        left_caption = main.child(cases.LEFT_CAPTION)
        exercise = [c for c in main.children
                    if cases.EXERCISE.fullmatch(c.text) or c.text == "Lb1"]
        if len(exercise) != 1:
            raise AssertionError(f"exercise label: {[c.text for c in exercise]}")
        return {
            "main": main,
            "Lb1": exercise[0],
            "Lb2": main.right_of(total_caption),
            "Lb3": main.right_of(left_caption),
            "Numb": main.child(cls="Edit"),
            "bbRes": main.child(cases.OK, cls="Button"),
            "bkClose": main.child(cases.EXIT, cls="Button"),
            "Panel1": main.child(cases.PANEL),
        }

    def started(self):
        """Waits for the main window with its first exercise and the focus, and for the window
        manager to have made it the active X window (keys typed before would go elsewhere)."""
        # The first Windows program with a window in a new prefix waits for Wine's own services
        # (seconds, more on a busy machine): a longer wait than for anything afterwards.
        snap = self.wait(lambda s: cases.EXERCISE.fullmatch(self.controls(s)["Lb1"].text)
                         and s.focus is not None, "the main window with its first exercise",
                         timeout=60)
        self.s.wait(lambda: self.s.active_x_window_name() == cases.MAIN_CAPTION,
                    "the main window to be the active X window")
        return snap

    def exit_status(self, timeout=20):
        try:
            return self.proc.wait(timeout=timeout)
        except Exception:
            self.test.fail(f"Drill.exe did not end within {timeout} s")

    def assert_one_taskbar_entry(self, when):
        entries = self.s.wait(lambda: self.s.taskbar_entries(EXE_NAME) or None,
                              f"a task-bar entry {when}", timeout=5)
        self.test.assertEqual(len(entries), 1, f"task-bar entries {when}: {entries}")
        return entries[0]


class WindowsSeries(unittest.TestCase):
    def test_enter_at_start_presses_exit(self):
        # The focus starts on «Выход», so Enter right away ends the program with status 0.
        program = Program(self)
        snap = program.started()
        self.assertEqual(snap.focus, program.controls(snap)["bkClose"].hwnd,
                         f"the focus is not on «Выход»:\n{snap.describe()}")
        SESSION.keys("Return")
        self.assertEqual(program.exit_status(), 0, "exit status")

    def test_closing_the_main_window_through_its_frame(self):
        # The frame's close button (through the window manager) or WM_CLOSE: the program ends at
        # once with status 0, before or after answers.
        for how, answers in (("window manager", 0), ("WM_CLOSE", 0), ("window manager", 1)):
            with self.subTest(how=how, answers=answers):
                program = Program(self)
                snap = program.started()
                if answers:
                    SESSION.keys("Tab", "Tab")
                    SESSION.type_text("0")
                    SESSION.keys("Return")
                    program.wait(lambda s: program.controls(s)["Lb3"].text == "19",
                                 "«19» left after one answer")
                if how == "WM_CLOSE":
                    SESSION.post_close(program.main(snap).hwnd)
                else:
                    result = SESSION.call(["wmctrl", "-c", cases.MAIN_CAPTION])
                    self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(program.exit_status(), 0, "exit status")

    def test_closing_the_result_window_through_its_frame(self):
        # Its frame's close button does what its «Выход» does: back to the finished main window
        # with the focus on «Выход»; the program goes on until the main window is closed.
        s = SESSION
        program = Program(self)
        program.started()
        s.keys("Tab", "Tab")
        for number in range(cases.SERIES_LENGTH):
            exercise = program.controls(program.snap())["Lb1"].text
            first, second = map(int, cases.EXERCISE.fullmatch(exercise).groups())
            s.type_text(str(first + second))
            s.keys("Return")
            left = str(19 - number)
            program.wait(lambda n: program.controls(n)["Lb3"].text == left,
                         f"«{left}» left after answer {number + 1}")
        snap = program.wait(lambda n: n.window(cases.RESULT_CAPTION), "the result window")
        self.assertEqual(snap.window(cases.RESULT_CAPTION).right_of(
            snap.window(cases.RESULT_CAPTION).child(cases.COUNT_CAPTION)).text, "20")
        result = s.call(["wmctrl", "-c", cases.RESULT_CAPTION])
        self.assertEqual(result.returncode, 0, result.stderr)
        program.wait(lambda n: not n.visible(cases.RESULT_CAPTION)
                     and n.focus == program.controls(n)["bkClose"].hwnd,
                     "the result window closed and the focus on the main «Выход»")
        time.sleep(0.5)
        self.assertIsNone(program.proc.poll(), "closing the result window ended the program")
        result = s.call(["wmctrl", "-c", cases.MAIN_CAPTION])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(program.exit_status(), 0, "exit status")

    def test_whole_series_by_keyboard(self):
        s = SESSION
        program = Program(self)
        snap = program.started()
        c = program.controls(snap)
        entry = program.assert_one_taskbar_entry("at start")
        self.assertEqual(entry, TITLE, "the task-bar entry's caption")
        self.assertEqual((c["Lb2"].text, c["Lb3"].text, c["Numb"].text), ("20", "20", ""))
        self.assertFalse(c["Panel1"].data["tabstop"], "the panel is a tab stop")
        shot = self.screenshot("main_start.png")
        self.assertGreaterEqual(pixels(shot, c["bbRes"].rect).count(GREEN), 20,
                                "no green check mark on the OK button")

        # The focus starts on «Выход»; Escape does nothing; Tab, Tab: OK, then the field.
        self.assertEqual(snap.focus, c["bkClose"].hwnd, "the focus is not on «Выход» at start")
        s.keys("Escape")
        time.sleep(0.3)
        self.assertEqual(program.snap().focus, c["bkClose"].hwnd, "Escape moved the focus")
        self.assertIsNone(program.proc.poll(), "Escape ended the program")
        s.keys("Tab")
        program.wait(lambda n: n.focus == c["bbRes"].hwnd, "the focus on OK after one Tab")
        # A screen reader hears the owner-drawn OK as the default push button.
        ok = record("OK after Tab", s.reader(c["bbRes"].hwnd))
        self.assertEqual((ok["name"], ok["role"], ok["action"]), ("OK", ROLE_PUSHBUTTON, "Press"),
                         ok)
        self.assertEqual(ok["state"] & (DEFAULT | FOCUSED | UNAVAILABLE), DEFAULT | FOCUSED, ok)
        s.keys("Tab")
        program.wait(lambda n: n.focus == c["Numb"].hwnd, "the focus in the field after Tab, Tab")
        self.check_reader_on_field(c, c["Lb1"].text)
        # The main window's controls in reading order: each number after what it counts.
        main = record("main window", s.reader(c["main"].hwnd))
        exercise = c["Lb1"].text
        self.assertEqual([(child["name"], child["role"]) for child in main["children"]],
                         [(exercise, ROLE_STATICTEXT), (exercise, ROLE_TEXT),
                          (cases.OK, ROLE_PUSHBUTTON), (cases.TOTAL_CAPTION, ROLE_STATICTEXT),
                          ("20", ROLE_STATICTEXT), (cases.LEFT_CAPTION, ROLE_STATICTEXT),
                          ("20", ROLE_STATICTEXT), (cases.PANEL, ROLE_PANE),
                          (cases.EXIT, ROLE_PUSHBUTTON)], main)
        s.reader_events()  # from here on, only the changes the answers make

        correct = 0
        for number in range(cases.SERIES_LENGTH):
            now = program.controls(program.snap())
            exercise = now["Lb1"].text
            first, second = map(int, cases.EXERCISE.fullmatch(exercise).groups())
            self.assertLessEqual(first, 100, exercise)
            self.assertLessEqual(second, 10, exercise)
            self.assertEqual(now["Lb3"].text, str(20 - number) if number else "20")

            for text in cases.REJECTED.get(number, []):
                self.check_rejected(program, text, exercise, now["Lb3"].text)

            kind = cases.kind_of(number)
            answer = cases.answer_text(kind, first, second)
            correct += kind in cases.RIGHT_KINDS
            s.type_text(answer)
            s.keys("Return")
            left = str(19 - number)
            after = program.wait(
                lambda n: program.controls(n)["Lb3"].text == left
                and program.controls(n)["Numb"].text == "",
                f"«{left}» left and the field emptied after answer {number + 1} "
                f"({exercise}{answer!r}, {kind})")
            if number < cases.SERIES_LENGTH - 1:
                self.assertEqual(after.focus, program.controls(after)["Numb"].hwnd,
                                 f"the focus left the field after answer {number + 1}")
                # The reader is told that the field's name changed, and reads the new exercise.
                self.wait_name_change(c["Numb"].hwnd, f"after answer {number + 1}")
                self.check_reader_on_field(c, program.controls(after)["Lb1"].text)
                self.assertEqual(after.visible(cases.RESULT_CAPTION), [],
                                 f"result window after answer {number + 1}")
        self.assertEqual(correct, cases.correct_answers())

        # The result window: count and mark; the main window's answer inputs locked.
        def result_shown(n):
            window = n.window(cases.RESULT_CAPTION)
            return window is not None and n.focus == window.child(cases.EXIT).hwnd

        snap = program.wait(result_shown, "the result window with the focus on its «Выход»")
        # The window manager, too, shows it as the active window (the title bar a pupil sees).
        # Reported on its own; the series goes on.
        with self.subTest("the result window is the window manager's active window"):
            s.wait(lambda: s.active_x_window_name() == cases.RESULT_CAPTION,
                   lambda: f"the result window to be the active X window (the window manager's "
                   f"active window is {s.active_x_window_name()!r}, the X input focus in "
                   f"{s.call(['xdotool', 'getwindowfocus', '-f', 'getwindowname']).stdout!r})",
                   timeout=5)
        result = snap.window(cases.RESULT_CAPTION)
        mark = cases.mark_for(correct)
        self.assertEqual(result.right_of(result.child(cases.COUNT_CAPTION)).text, str(correct),
                         "the count right of «Ответили правильно на »")
        self.assertEqual(result.right_of(result.child(cases.MARK_CAPTION)).text, str(mark),
                         "the mark right of «Оценка»")
        c = program.controls(snap)
        self.assertEqual(c["Lb3"].text, "0")
        self.assertTrue(cases.EXERCISE.fullmatch(c["Lb1"].text), c["Lb1"].text)
        self.assertFalse(c["Numb"].enabled, "the answer field is still enabled")
        self.assertFalse(c["bbRes"].enabled, "OK is still enabled")
        self.assertTrue(c["bkClose"].enabled, "«Выход» was disabled")
        self.assertFalse(c["main"].enabled, "the main window takes input under the result window")
        program.assert_one_taskbar_entry("with the result window")
        shot = self.screenshot("result_window.png")
        self.assertGreaterEqual(pixels(shot, result.right_of(result.child(cases.MARK_CAPTION)).rect)
                                .count(MAROON), 20, "the mark is not drawn in maroon")
        # Through MSAA: the result window is a dialog whose description is its label lines in
        # reading order, its controls in that order too; OK is unavailable; neither the disabled
        # field nor the main window's «Выход» behind the result window takes anything.
        dialog = record("result window", s.reader(result.hwnd))
        self.assertEqual((dialog["role"], dialog["name"]), (ROLE_DIALOG, cases.RESULT_CAPTION),
                         dialog)
        self.assertEqual(dialog["description"],
                         f"{cases.COUNT_CAPTION}{correct}. {cases.MARK_CAPTION} {mark}", dialog)
        self.assertEqual([child["name"] for child in dialog["children"]],
                         [cases.COUNT_CAPTION, str(correct), cases.MARK_CAPTION, str(mark),
                          cases.EXIT], dialog)
        for window in [result] + result.children:
            with self.subTest("odd calls on the result window", window=window.text):
                self.check_odd_calls(window.hwnd, f"result window: {window.cls} {window.text!r}")
        ok = record("OK after the series", s.reader(c["bbRes"].hwnd))
        self.assertEqual(ok["state"] & (DEFAULT | UNAVAILABLE), DEFAULT | UNAVAILABLE, ok)
        field = s.reader(c["Numb"].hwnd)
        self.assertTrue(field["state"] & UNAVAILABLE, field)
        self.assertLess(s.reader_set_value(c["Numb"].hwnd, "77"), 0,
                        "put_accValue on the disabled field was not refused")
        self.assertLess(s.reader_press(c["bkClose"].hwnd), 0,
                        "the default action of «Выход» behind the result window was not refused")
        s.post_click(c["bkClose"].hwnd)
        time.sleep(0.5)
        self.assertIsNone(program.proc.poll(), "«Выход» behind the result window ended the program")
        now = program.snap()
        self.assertEqual(program.controls(now)["Numb"].text, "", "the disabled field was edited")
        self.assertIsNotNone(now.window(cases.RESULT_CAPTION), "the result window went away")
        self.assertEqual([e for e in s.reader_events() if e["hwnd"] == c["Numb"].hwnd
                          and e["event"] == "name"], [],
                         "the disabled field's name was changed after the last answer")
        ok_area = pixels(shot, c["bbRes"].rect)
        self.assertEqual(ok_area.count(GREEN), 0, "the disabled OK button's check mark is green")
        self.assertGreater(len(set(ok_area)), 3, "the disabled OK button shows no image or caption")

        # Escape leaves it open; Enter presses its «Выход»; the focus is back on the main
        # window's «Выход», and Enter ends the program with status 0.
        s.keys("Escape")
        time.sleep(0.3)
        self.assertIsNotNone(program.snap().window(cases.RESULT_CAPTION),
                             "Escape closed the result window")
        s.keys("Return")
        snap = program.wait(lambda n: not n.visible(cases.RESULT_CAPTION)
                            and program.controls(n)["main"].enabled
                            and n.focus == program.controls(n)["bkClose"].hwnd,
                            "the result window closed and the focus on the main «Выход»")
        self.assertEqual(program.controls(snap)["Lb3"].text, "0")
        program.assert_one_taskbar_entry("after the result window")
        s.wait(lambda: s.active_x_window_name() == cases.MAIN_CAPTION,
               "the main window to be the active X window again")
        self.screenshot("main_finished.png")
        s.keys("Return")
        self.assertEqual(program.exit_status(), 0, "exit status")

    def test_odd_calls_from_a_reader(self):
        # A reader that passes odd arguments to the accessible objects of the main window and of
        # each of its controls is refused soundly each time, and nothing else happens: the
        # program reads as before, the focus stays, nothing is typed or pressed, and it goes on
        # taking answers. (The result window's objects get the same calls in the series.)
        s = SESSION
        program = Program(self)
        snap = program.started()
        c = program.controls(snap)
        before = s.reader(c["main"].hwnd)
        for window in [c["main"]] + c["main"].children:
            with self.subTest(window=f"{window.cls} {window.text!r}"):
                self.check_odd_calls(window.hwnd, f"{window.cls} {window.text!r}")
        self.assertIsNone(program.proc.poll(), "the program ended under the odd calls")
        now = program.snap()
        self.assertEqual(now.focus, snap.focus, "the odd calls moved the focus")
        self.assertEqual(program.controls(now)["Numb"].text, "", "the odd calls typed in the field")
        self.assertEqual(s.reader(c["main"].hwnd), before, "the main window reads differently")
        s.keys("Tab", "Tab")
        s.type_text("0")
        s.keys("Return")
        program.wait(lambda n: program.controls(n)["Lb3"].text == "19",
                     "«19» left after an answer that follows the odd calls")

    def check_odd_calls(self, hwnd, what):
        """The probe's odd calls on a window's or control's client object, judged by
        ODD_CALL_RULES; each child by its id gives what its own object gives, and next and
        previous among the children follow their ids; the object answers afterwards."""
        data = record(f"odd calls on {what}",
                      SESSION.probe.request(f"msaa-odd {hwnd}", timeout=60))
        self.assertNotIn("error", data, what)
        rows = data["rows"]
        count = next(r["out"] for r in rows if r["call"] == "get_accChildCount")
        by_object = {r["arg"]: r for r in rows if r["call"] == "get_accChild get_accName"}
        names = {i: by_object[f"I4 {i}"]["out"] for i in range(1, count + 1)}
        faults = []
        for r in rows:
            if r["call"] == "get_accChild get_accName":
                continue
            # The object itself (0) or a child (1..count) by its id.
            number = int(r["arg"][3:]) if r["arg"] not in ODD_CHILDREN and \
                r["arg"].startswith("I4 ") else None
            if r["call"] == "get_accName" and number:
                sound = r["hr"] == S_OK and r == {**by_object[r["arg"]], "call": "get_accName"}
                rule = "a child by its id reads as its own object"
            elif direction(r) in (5, 6, 7, 8) and number is not None:
                # Next (5) and previous (6) of a child, first (7) and last (8) of the object.
                to = {5: number + 1, 6: number - 1, 7: 1, 8: count}[direction(r)]
                sound = ((r["hr"], r["out"]) == (S_OK, {"vt": VT_DISPATCH, "name": names[to]})
                         if 1 <= to <= count else (r["hr"], r["out"]) == (S_FALSE, None))
                rule = "navigation among the children follows their ids"
            else:
                rule, _, judge = next((rule for rule in ODD_CALL_RULES if rule[1](r)),
                                      ("no rule for this call", None, lambda _: False))
                sound = judge(r)
            if not sound:
                faults.append(f"{rule}: {r}")
        self.assertFalse(faults, f"unsound answers of {what}:\n" + "\n".join(faults))
        self.assertEqual(data["alive"], S_OK, f"{what} does not answer after the odd calls")

    def check_rejected(self, program, text, exercise, left):
        """A rejected text: the box under the application title with the exact message, every
        window disabled while it is up; OK puts the focus back in the field, which keeps the
        text, and the same exercise is still due."""
        s = SESSION
        s.type_text(text)
        s.keys("Return")

        def box_up(n):
            boxes = message_boxes(n)
            return len(boxes) == 1 and n.focus == boxes[0].child(cases.OK).hwnd

        snap = program.wait(box_up, f"the message box for {text!r} with the focus on its OK")
        box = message_boxes(snap)[0]
        with self.subTest("the message box is the window manager's active window", text=text):
            s.wait(lambda: s.active_x_window_name() == TITLE,
                   lambda: f"the message box to be the active X window (it is "
                   f"{s.active_x_window_name()!r})", timeout=5)
        message = cases.rejection_message(text)
        self.assertEqual([c.text for c in box.children if c.text == message], [message],
                         f"the box's text: {[c.text for c in box.children]}")
        c = program.controls(snap)
        self.assertFalse(c["main"].enabled, "the main window takes input under the message box")
        self.assertEqual((c["Lb1"].text, c["Lb3"].text, c["Numb"].text), (exercise, left, text))
        program.assert_one_taskbar_entry("with the message box")
        if text == "12a":
            self.screenshot("message_box.png")
            # Behind the box, nothing is pressed and nothing is edited through MSAA either.
            self.assertLess(s.reader_press(c["bbRes"].hwnd), 0,
                            "the default action of OK behind the message box was not refused")
            self.assertLess(s.reader_set_value(c["Numb"].hwnd, "99"), 0,
                            "put_accValue on the field behind the message box was not refused")
            # Nor by a click another program posts to a button behind the box.
            s.post_click(c["bbRes"].hwnd)
            s.post_click(c["bkClose"].hwnd)
            time.sleep(0.5)
            self.assertIsNone(program.proc.poll(), "«Выход» behind the message box ended the program")
            now = program.snap()
            self.assertEqual(len(message_boxes(now)), 1, "a second message box came up")
            self.assertEqual(program.controls(now)["Numb"].text, text,
                             "the field behind the box was edited")

        s.keys("Return")
        snap = program.wait(lambda n: not message_boxes(n)
                            and program.controls(n)["main"].enabled
                            and n.focus == program.controls(n)["Numb"].hwnd,
                            f"the box for {text!r} closed and the focus back in the field")
        c = program.controls(snap)
        self.assertEqual((c["Lb1"].text, c["Lb3"].text, c["Numb"].text), (exercise, left, text),
                         "the exercise, the count left and the kept text after the box")
        s.wait(lambda: s.active_x_window_name() == cases.MAIN_CAPTION,
               "the main window to be the active X window again")
        if text:
            s.keys(*["BackSpace"] * len(text))
            program.wait(lambda n: program.controls(n)["Numb"].text == "",
                         "the rejected text erased")

    def check_reader_on_field(self, c, exercise):
        """The focused answer field as a screen reader reads it: an edit field named by its
        exercise."""
        field = record("answer field", SESSION.reader(c["Numb"].hwnd))
        self.assertEqual((field["name"], field["role"]), (exercise, ROLE_TEXT), field)
        self.assertTrue(field["state"] & FOCUSED, field)
        self.assertFalse(field["state"] & UNAVAILABLE, field)

    def wait_name_change(self, hwnd, when):
        """Waits for the WinEvent hook to see the field's name change (object OBJID_CLIENT)."""
        seen = []

        def told():
            seen.extend(SESSION.reader_events())
            return any(e["event"] == "name" and e["hwnd"] == hwnd and e["object"] == OBJID_CLIENT
                       for e in seen)

        SESSION.wait(told, lambda: f"a name change of the field {when} (events seen: {seen})",
                     timeout=5)

    def screenshot(self, name):
        time.sleep(0.3)  # the last paint
        return SESSION.screenshot(os.path.join(SHOTS, name))


def main():
    global EXECUTABLE, EXE_NAME, SHOTS, SESSION, TITLE
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    EXECUTABLE = os.path.abspath(sys.argv[1])
    EXE_NAME = os.path.basename(EXECUTABLE)
    TITLE = cases.application_title(EXE_NAME)
    SHOTS = os.path.abspath(sys.argv[3])
    os.makedirs(SHOTS, exist_ok=True)
    if os.path.exists(os.path.join(SHOTS, "msaa.jsonl")):
        os.remove(os.path.join(SHOTS, "msaa.jsonl"))

    def stop(signum, _frame):
        raise KeyboardInterrupt(f"stopped by signal {signal.Signals(signum).name}")

    for signum in (signal.SIGTERM, signal.SIGALRM):
        signal.signal(signum, stop)
    signal.alarm(280)  # before CTest's timeout, so that the programs are stopped on the way out
    with WineSession(os.path.abspath(sys.argv[2]), log_dir=SHOTS) as SESSION:
        SESSION.xdotool("mousemove", 0, 0)
        outcome = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    sys.exit(0 if outcome.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
