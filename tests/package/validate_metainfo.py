#!/usr/bin/env python3
"""Validates the installed AppStream description with appstreamcli at its most pedantic, against
the desktop file it names, and fails on every error and warning and on every note that is not
known and explained below.

Usage: validate_metainfo.py STAGE
"""

import re
import subprocess
import sys

# Notes that stay, with the reason. Anything else appstreamcli says fails the test.
EXPLAINED = {
    # The id keeps the reverse-DNS form with the program's name capitalised, as the desktop
    # file, the icons and the software centres know it; renaming would change all of them.
    "cid-contains-uppercase-letter":
        "the application id io.github.drill.Drill is capitalised on purpose",
    # <developer> comes with AppStream 1.0; Debian 12's AppStream 0.16 reads <developer_name>,
    # which the file carries as well.
    "unknown-tag developer":
        "<developer> is newer than Debian 12's AppStream; <developer_name> is there for it",
}

ISSUE = re.compile(r"^\s*([EWIP]): \S+?:(?:\d+:)? (\S+(?: \S+)?)")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    result = subprocess.run(["appstreamcli", "validate-tree", "--pedantic", "--no-net",
                             "--explain", sys.argv[1]], capture_output=True, text=True)
    print(result.stdout + result.stderr)
    failures = []
    for line in result.stdout.splitlines():
        found = ISSUE.match(line)
        if not found:
            continue
        severity, tag = found.groups()
        known = next((key for key in EXPLAINED if tag == key or tag.startswith(key + " ")), None)
        if severity in "EW" or known is None:
            failures.append(line.strip())
        else:
            print(f"explained: {tag}: {EXPLAINED[known]}")
    if result.returncode != 0 and not failures:
        failures.append(f"appstreamcli ended with status {result.returncode}")
    if failures:
        sys.exit("appstreamcli found:\n  " + "\n  ".join(failures))


if __name__ == "__main__":
    main()
