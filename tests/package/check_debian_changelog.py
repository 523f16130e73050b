#!/usr/bin/env python3
"""Checks that debian/changelog is the one that packaging/releases.json gives
(packaging/debian_changelog.cmake writes it), that Debian's own tools read it as the releases of
the list, and that the previous-release mode of the script, which scripts/build-deb.sh --previous
uses on a copy of the tree, turns that copy into the release before the newest.

Usage: check_debian_changelog.py --source-dir SRC --version 1.1.0
"""

import argparse
import difflib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

options = None
SCRIPT = "packaging/debian_changelog.cmake"


def changelog_versions(path):
    """The versions of every entry as dpkg-parsechangelog reads them, newest first."""
    text = subprocess.run(["dpkg-parsechangelog", "-l", path, "--format", "rfc822", "--all"],
                          capture_output=True, text=True, check=True).stdout
    return re.findall(r"^Version: (.*)$", text, re.MULTILINE)


class DebianChangelog(unittest.TestCase):
    def setUp(self):
        self.changelog = os.path.join(options.source_dir, "debian", "changelog")
        with open(os.path.join(options.source_dir, "packaging", "releases.json"),
                  encoding="utf-8") as file:
            self.releases = json.load(file)["releases"]

    def test_committed_changelog_is_the_generated_one(self):
        with tempfile.TemporaryDirectory() as scratch:
            generated = os.path.join(scratch, "changelog")
            subprocess.run(["cmake", f"-DOUTPUT={generated}", "-P",
                            os.path.join(options.source_dir, SCRIPT)], check=True)
            with open(generated, encoding="utf-8") as file:
                expected = file.read()
        with open(self.changelog, encoding="utf-8") as file:
            committed = file.read()
        if committed != expected:
            diff = "".join(difflib.unified_diff(committed.splitlines(True),
                                                expected.splitlines(True),
                                                "debian/changelog", "from releases.json"))
            self.fail(f"debian/changelog is out of date; run cmake -P {SCRIPT}\n{diff}")

    def test_dpkg_reads_the_releases(self):
        versions = changelog_versions(self.changelog)
        self.assertEqual(versions, [r["version"] for r in self.releases])
        self.assertEqual(versions[0], options.version)
        # dpkg-buildpackage takes SOURCE_DATE_EPOCH, the time stamp of every file in the
        # package, from the newest entry: the newest release's time.
        epoch = subprocess.run(["dpkg-parsechangelog", "-l", self.changelog,
                                "-S", "Timestamp"], capture_output=True, text=True,
                               check=True).stdout.strip()
        released = subprocess.run(["date", "-u", "-d", self.releases[0]["date"], "+%s"],
                                  capture_output=True, text=True, check=True).stdout.strip()
        self.assertEqual(epoch, released)

    def test_previous_release_copy(self):
        with tempfile.TemporaryDirectory() as scratch:
            for relative in ("CMakeLists.txt", "debian/control", "packaging/releases.json",
                             "packaging/releases.cmake", SCRIPT):
                os.makedirs(os.path.join(scratch, os.path.dirname(relative)), exist_ok=True)
                shutil.copy(os.path.join(options.source_dir, relative),
                            os.path.join(scratch, relative))
            subprocess.run(["cmake", "-DPREVIOUS=ON", "-P", os.path.join(scratch, SCRIPT)],
                           check=True, stdout=subprocess.DEVNULL)
            versions = changelog_versions(os.path.join(scratch, "debian", "changelog"))
            self.assertEqual(versions, [r["version"] for r in self.releases[1:]])
            with open(os.path.join(scratch, "CMakeLists.txt"), encoding="utf-8") as file:
                self.assertIn(f"project(drill VERSION {versions[0]} ", file.read())
            with open(os.path.join(scratch, "packaging", "releases.json"),
                      encoding="utf-8") as file:
                self.assertEqual(json.load(file)["releases"], self.releases[1:])


def main():
    global options
    parser = argparse.ArgumentParser()
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--version", required=True)
    options, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
