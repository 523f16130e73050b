#!/usr/bin/env python3
"""Checks drill's Debian source package (.dsc) and binary package (.deb), as package_build.py
built them, with lintian, as a Debian packager or administrator would: lintian must print
nothing at all, at every level down to pedantic, informational and experimental tags. A tag
that has to stay gets an override in debian/ with a comment that explains it, and is listed
below with the same reason; none does today.

Runs under the same conditions as package_build.py (root, and CI or DRILL_PACKAGE_INSTALL_TEST=1)
and skips (status 77) otherwise.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import package_build  # noqa: E402

# Tags that may stay, each with its reason. None stays today.
EXPLAINED = {}

TAG = re.compile(r"^([EWIPXO]): drill(?: (?:binary|source))?(?: \(\S+\))?: (\S+)(.*)$")


def lintian_failures(path):
    """The lines lintian prints about path that are not explained above."""
    result = subprocess.run(["lintian", "--info", "--display-info", "--pedantic",
                             "--display-experimental", "--show-overrides",
                             "--tag-display-limit", "0", path],
                            capture_output=True, text=True)
    print(result.stdout, end="")
    failures = []
    for line in result.stdout.splitlines():
        found = TAG.match(line)
        if not found:
            if line.strip() and not line.startswith("N:"):
                failures.append(f"unexpected output: {line}")
            continue
        severity, tag, _ = found.groups()
        if severity in "EW" or tag not in EXPLAINED:
            failures.append(line)
        else:
            print(f"explained: {tag}: {EXPLAINED[tag]}")
    if result.returncode != 0 and not failures:
        failures.append(f"lintian ended with status {result.returncode}:\n{result.stderr}")
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--deb-dir", required=True, help="where package_build.py put the packages")
    parser.add_argument("--build-kind", choices=["plain", "sanitize"], required=True)
    args = parser.parse_args()

    package_build.skip_unless_wanted(args.build_kind)
    if not shutil.which("lintian"):
        sys.exit("lintian is not installed (scripts/deps.sh test installs it)")

    built = package_build.packages(args.deb_dir)
    failures = {}
    for kind in ("dsc", "deb"):
        name = os.path.basename(built[kind])
        failures[name] = lintian_failures(built[kind])
        if not failures[name]:
            print(f"lintian has nothing to say about {name}")
    reports = [f"lintian on {name}:\n  " + "\n  ".join(lines)
               for name, lines in failures.items() if lines]
    if reports:
        sys.exit("\n".join(reports))


if __name__ == "__main__":
    main()
