#!/usr/bin/env python3
"""scripts/apt-sources.py reads a machine's apt sources in both formats and prints the entries of
the suites asked for, with their address and options: the clean Debian of the release test and the
backports suite of the 32-bit route come from whatever archive the machine uses.

Usage: test_apt_sources.py SCRIPTS_DIR
"""

import os
import subprocess
import sys
import tempfile

ONE_LINE = """\
# the school's mirror
deb-src http://mirror.school/debian bookworm main
deb [arch=amd64,i386 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://mirror.school/debian bookworm main contrib
deb http://mirror.school/debian-security bookworm-security main
"""
DEB822 = """\
Types: deb deb-src
URIs: http://mirror.example/debian
Suites: bookworm bookworm-updates
Components: main non-free-firmware
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

# switched off: must not be taken
Enabled: no
Types: deb
URIs: http://old.example/debian
Suites: bookworm
Components: main

Types: deb
URIs: http://mirror.example/debian-security
Suites: bookworm-security
Components: main
"""
# The same archive named again elsewhere, as a file with a name that apt ignores.
IGNORED = "deb http://ignored.example/debian bookworm main\n"

MIRROR_SCHOOL = ("Types: deb\nURIs: http://mirror.school/debian\nSuites: {}\nComponents: main\n"
                 "Architectures: amd64 i386\n"
                 "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n")
MIRROR_EXAMPLE = ("Types: deb\nURIs: http://mirror.example/debian\nSuites: {}\nComponents: main\n"
                  "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n")

# (files in /etc/apt, arguments, expected status, expected output)
CASES = [
    ({"sources.list": ONE_LINE}, ["bookworm", "bookworm-updates"], 0,
     MIRROR_SCHOOL.format("bookworm")),
    ({"sources.list.d/debian.sources": DEB822}, ["bookworm", "bookworm-updates"], 0,
     MIRROR_EXAMPLE.format("bookworm bookworm-updates")),
    ({"sources.list.d/debian.sources": DEB822}, ["--as", "bookworm-backports", "bookworm"], 0,
     MIRROR_EXAMPLE.format("bookworm-backports")),
    ({"sources.list": ONE_LINE, "sources.list.d/debian.sources": DEB822}, ["bookworm-updates"], 0,
     MIRROR_EXAMPLE.format("bookworm-updates")),
    ({"sources.list": ONE_LINE, "sources.list.d/x.list.disabled": IGNORED},
     ["bookworm-backports"], 1, ""),
    ({"sources.list.d/debian.sources": DEB822, "sources.list.d/x.list.disabled": IGNORED},
     ["trixie"], 1, ""),
]


def main():
    script = os.path.join(sys.argv[1], "apt-sources.py")
    failures = []
    for files, argv, status, expected in CASES:
        with tempfile.TemporaryDirectory() as etc:
            os.makedirs(os.path.join(etc, "sources.list.d"))
            for name, text in files.items():
                with open(os.path.join(etc, name), "w", encoding="utf-8") as file:
                    file.write(text)
            result = subprocess.run([sys.executable, script, *argv], capture_output=True,
                                    text=True, env=dict(os.environ, DRILL_APT_ETC=etc))
        if (result.returncode, result.stdout) != (status, expected):
            failures.append(f"{sorted(files)} {argv}: status {result.returncode}, printed\n"
                            f"{result.stdout}{result.stderr}  expected status {status}, "
                            f"printed\n{expected}")
    if failures:
        sys.exit("\n".join(failures))
    print(f"{len(CASES)} source sets read as expected")


if __name__ == "__main__":
    main()
