#!/usr/bin/env python3
"""Describes the showing windows of one application as the accessibility bus sees them: for each
window its name and extents, the controls in it and any scroll bars, as one line of JSON for each
line read from standard input. Extents are [x, y, width, height] in the desktop coordinates that
the application reports (Qt reports device-independent pixels).

Runs in the X session's environment (DISPLAY, DBUS_SESSION_BUS_ADDRESS), as its own process:
pyatspi connects to the bus of the environment it is imported in.

Usage: atspi_windows.py APPLICATION-NAME
"""

import json
import sys

import pyatspi

# Containers and window parts that are not controls of the layout.
NOT_CONTROLS = {"scroll bar", "filler", "scroll pane", "viewport", "frame", "window"}


def extents(accessible):
    box = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return [box.x, box.y, box.width, box.height]


def showing(accessible):
    return accessible.getState().contains(pyatspi.STATE_SHOWING)


def describe(accessible):
    return {"role": accessible.getRoleName(), "name": accessible.name or "",
            "extents": extents(accessible), "showing": showing(accessible)}


def walk(accessible, controls, scroll_bars):
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        if child is None:
            continue
        role = child.getRoleName()
        if role == "scroll bar":
            scroll_bars.append(describe(child))
        elif child.childCount == 0 and role not in NOT_CONTROLS:
            controls.append(describe(child))
        else:
            walk(child, controls, scroll_bars)


def windows_of(wanted):
    windows = []
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        application = desktop.getChildAtIndex(index)
        if application is None or application.name != wanted:
            continue
        for number in range(application.childCount):
            window = application.getChildAtIndex(number)
            if window is None or not showing(window):
                continue
            controls, scroll_bars = [], []
            walk(window, controls, scroll_bars)
            windows.append({"name": window.name or "", "extents": extents(window),
                            "controls": controls, "scroll_bars": scroll_bars})
    return windows


def main():
    wanted = sys.argv[1]
    for _ in sys.stdin:
        try:
            answer = windows_of(wanted)
        except Exception as failure:  # the application is still starting or just ending
            answer = {"error": str(failure)}
        print(json.dumps(answer, ensure_ascii=False), flush=True)


if __name__ == "__main__":
    main()
