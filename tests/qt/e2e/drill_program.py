"""What the end-to-end tests know of the program from the outside: its window captions and the
title that captions its message boxes."""

import os

MAIN_CAPTION = "Сложение чисел (2 класс)"
RESULT_CAPTION = "Оценка"


def application_title(path):
    """The title that captions the program's message boxes, from its executable's name: cut at
    the first full stop, first character as it is, the rest in lower case ("DRILL.EXE" gives
    "Drill", "drill" stays "drill")."""
    name = os.path.basename(path).split(".", 1)[0]
    return name[:1] + name[1:].lower()


def mark_for(correct):
    return 5 if correct >= 18 else 4 if correct >= 16 else 3 if correct >= 14 else 2
