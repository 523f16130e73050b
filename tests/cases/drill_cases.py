"""The behaviour cases of one series, as data that any driver can play: what the pupil types
for each of the twenty exercises, which texts are rejected on the way, and what the program must
then show. A driver reads the exercise from the window, asks answer_text() what to type, and
checks the texts and counts given here. Nothing in this file knows a window system.
"""

import re

MAIN_CAPTION = "Сложение чисел (2 класс)"
RESULT_CAPTION = "Оценка"
EXIT = "Выход"
OK = "OK"
TOTAL_CAPTION = "Всего примеров -"
LEFT_CAPTION = "Осталось           -"  # eleven blanks
PANEL = "Кленова Д.М."
COUNT_CAPTION = "Ответили правильно на "
MARK_CAPTION = "Оценка"
SERIES_LENGTH = 20

EXERCISE = re.compile(r"(\d+) \+ (\d+) = ")

# How each exercise is answered (counted from 0); the others are answered right.
ANSWERS = {
    1: "wrong",
    2: "leading blanks",
    4: "hex",
    7: "wrong",
    9: "hex with 0x",
    11: "wrong",
    15: "wrong",
}
# Texts typed (and rejected) before the answer to an exercise: each brings up the message box,
# and afterwards the field still holds the text and the same exercise is due.
REJECTED = {
    5: ["12a", "", "42 ", "4.0"],
}

RIGHT_KINDS = {"right", "leading blanks", "hex", "hex with 0x"}


def answer_text(kind, first, second):
    """What the pupil types for the exercise «first + second = »."""
    total = first + second
    return {
        "right": str(total),
        "wrong": str(total + 1),
        "leading blanks": "   " + str(total),
        "hex": "$" + format(total, "X"),
        "hex with 0x": "0x" + format(total, "x"),
    }[kind]


def kind_of(number):
    return ANSWERS.get(number, "right")


def rejection_message(text):
    """The message box's text for a rejected answer (the full stop added by the shell)."""
    return f"'{text}' is not a valid integer value."


def correct_answers():
    return sum(1 for n in range(SERIES_LENGTH) if kind_of(n) in RIGHT_KINDS)


def mark_for(correct):
    return 5 if correct >= 18 else 4 if correct >= 16 else 3 if correct >= 14 else 2


def application_title(file_name):
    """The title that captions the message boxes and the task-bar entry: the executable's name
    cut at its first full stop, first character kept, the rest in lower case."""
    name = re.split(r"[\\/]", file_name)[-1].split(".", 1)[0]
    return name[:1] + name[1:].lower()
