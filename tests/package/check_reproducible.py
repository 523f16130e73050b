#!/usr/bin/env python3
"""Builds drill's Debian packages a second time, from a second clean copy in a directory of
another name, and checks that the binary package and the source package come out byte for byte
the same as the first build's (package_build.py): with SOURCE_DATE_EPOCH taken from
debian/changelog, neither the time of the build nor the place of the source may leave a trace in
them. Prints the SHA-256 sums of both builds.

Runs under the same conditions as package_build.py and skips (status 77) otherwise.

Usage: check_reproducible.py --source-dir SRC --deb-dir FIRST --work-dir SECOND
           --build-kind plain|sanitize
"""

import argparse
import hashlib
import os
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import package_build  # noqa: E402


def sha256(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--deb-dir", required=True, help="where package_build.py put the packages")
    parser.add_argument("--work-dir", required=True, help="where the second build goes")
    parser.add_argument("--build-kind", choices=["plain", "sanitize"], required=True)
    args = parser.parse_args()
    package_build.skip_unless_wanted(args.build_kind)

    first = package_build.packages(args.deb_dir)
    # Another name, so that the source copy's path differs from the first build's too.
    second = package_build.build(args.source_dir,
                                 os.path.join(args.work_dir, "second-build-elsewhere"))
    # The binary package, and the source package as well: its tar archive holds the copy's
    # files with their times clamped to the same moment.
    differing = []
    for kind in ("deb", "dsc", "tar"):
        sums = [sha256(built[kind]) for built in (first, second)]
        for digest, built in zip(sums, (first, second)):
            print(f"{digest}  {built[kind]}")
        if sums[0] != sums[1]:
            compared = subprocess.run(["cmp", "-l", first[kind], second[kind]],
                                      capture_output=True, text=True).stdout.splitlines()
            differing.append(f"{os.path.basename(first[kind])}: {len(compared)} bytes differ")
    if differing:
        sys.exit("the two builds differ:\n  " + "\n  ".join(differing))
    print("the two builds made the same source and binary packages")

if __name__ == "__main__":
    main()
