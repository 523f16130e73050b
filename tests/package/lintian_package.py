#!/usr/bin/env python3
"""Builds drill's Debian package with cpack and checks it with lintian, as a Debian
administrator would before installing it: no error and no warning, and no pedantic or
informational tag either unless it is explained below.

Building the package is heavy, so like package_install this runs only as root and only in CI
(CI set) or when asked for with DRILL_PACKAGE_INSTALL_TEST=1; it skips (status 77) otherwise and
in the sanitizer build, whose executable is never packaged.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from package_install import build_package, skip  # noqa: E402

# Tags that may stay, each with its reason. None stays today.
EXPLAINED = {}

TAG = re.compile(r"^([EWIPX]): drill(?: binary)?(?: \(\S+\))?: (\S+)(.*)$")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--work-dir", required=True)
    parser.add_argument("--build-kind", choices=["plain", "sanitize"], required=True)
    args = parser.parse_args()

    if args.build_kind == "sanitize":
        skip("the sanitizer build is not packaged")
    if os.geteuid() != 0:
        skip("builds the package as root, as package_install does")
    if not (os.environ.get("CI") or os.environ.get("DRILL_PACKAGE_INSTALL_TEST") == "1"):
        skip("builds the package: runs in CI, or with DRILL_PACKAGE_INSTALL_TEST=1")
    if not shutil.which("lintian"):
        sys.exit("lintian is not installed (scripts/deps.sh test installs it)")

    deb = build_package(args.build_dir, args.work_dir)
    result = subprocess.run(["lintian", "--pedantic", "--display-info", "--display-experimental",
                             "--show-overrides", "--tag-display-limit", "0", deb],
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
    if failures:
        sys.exit(f"lintian on {os.path.basename(deb)}:\n  " + "\n  ".join(failures))
    print(f"lintian has nothing to say about {os.path.basename(deb)}")


if __name__ == "__main__":
    main()
