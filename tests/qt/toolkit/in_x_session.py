#!/usr/bin/env python3
"""Runs a test program on a real X server with a window manager: a private Xvfb with openbox
(tests/qt/e2e/xsession.py), Qt on its xcb platform. Extra NAME=VALUE arguments before the program
go into its environment.

Usage: in_x_session.py [NAME=VALUE ...] PROGRAM [ARGUMENTS ...]
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from xsession import XSession, stop_on_signals  # noqa: E402


def main():
    args = sys.argv[1:]
    extra = {}
    while args and "=" in args[0] and not args[0].startswith("/"):
        name, _, value = args.pop(0).partition("=")
        extra[name] = value
    stop_on_signals(100)
    with XSession(extra_env=extra) as session:
        proc = session.start(args)
        status = proc.wait()
    sys.exit(status)


if __name__ == "__main__":
    main()
