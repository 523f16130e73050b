#!/usr/bin/env python3
"""Checks the built Drill.exe without running it: it imports no DLL but Windows' own window
libraries and the C runtime's (so it runs on any Windows without installing anything), and it
stays small.

Usage: exe_imports.py OBJDUMP Drill.exe
"""
import os
import re
import subprocess
import sys

# user32, gdi32 and comctl32 for the windows; kernel32 and msvcrt for the C and C++ runtime.
ALLOWED = {"user32.dll", "gdi32.dll", "comctl32.dll", "kernel32.dll", "msvcrt.dll"}
MAX_SIZE = 1024 * 1024


def main():
    objdump, exe = sys.argv[1], sys.argv[2]
    headers = subprocess.run([objdump, "-p", exe], check=True, capture_output=True,
                             text=True).stdout
    imported = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
    size = os.path.getsize(exe)
    print(f"{os.path.basename(exe)}: {size} bytes; imports {', '.join(sorted(imported))}")
    faults = []
    if not imported:
        faults.append("no imports found: is this a Windows executable?")
    if imported - ALLOWED:
        faults.append(f"imports DLLs beyond Windows' own: {', '.join(sorted(imported - ALLOWED))}")
    if size > MAX_SIZE:
        faults.append(f"{size} bytes is more than {MAX_SIZE}")
    for fault in faults:
        print("FAIL:", fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
