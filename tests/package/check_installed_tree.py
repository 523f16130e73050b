#!/usr/bin/env python3
"""Checks an installed tree of drill (DESTDIR staging, prefix /usr): every file is in place, the
desktop file, the AppStream component and the icons name each other consistently, the icons are
the program's own picture scaled by whole pixels, the executable carries no run path, and the
changelog, the AppStream releases and the manual pages all tell the releases of the one list.

With --deb-dir the tree is the built Debian package's contents instead (dpkg-deb --extract), and
--same-files-as STAGE checks that the package holds the same files as the CMake installation
in STAGE, with the same contents (the executable aside, which the package build compiles with
Debian's flags and strips). That part runs under the same conditions as package_build.py and
skips (status 77) otherwise.

Usage: check_installed_tree.py (--root STAGE | --deb-dir DIR [--same-files-as STAGE])
           --app-id ID --icon-sizes 32,64 --icon-source XPM
           --releases packaging/releases.json --version 1.1.0
"""

import argparse
import datetime
import email.utils
import gzip
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import installed_files  # noqa: E402
import package_build  # noqa: E402

XML_LANG = "{http://www.w3.org/XML/1998/namespace}lang"
options = None


class InstalledTree(unittest.TestCase):
    def setUp(self):
        self.prefix = os.path.join(options.root, "usr")
        self.desktop_path = os.path.join(self.prefix, "share/applications",
                                         f"{options.app_id}.desktop")
        self.metainfo_path = os.path.join(self.prefix, "share/metainfo",
                                          f"{options.app_id}.metainfo.xml")

    def path(self, relative):
        return os.path.join(self.prefix, relative)

    def test_every_file_is_installed(self):
        for relative in installed_files.expected_files(options.app_id, options.icon_sizes):
            with self.subTest(file=relative):
                self.assertTrue(os.path.isfile(self.path(relative)), f"{relative} is missing")
        self.assertTrue(os.access(self.path("bin/drill"), os.X_OK), "bin/drill is not executable")

    def test_executable_has_no_run_path(self):
        # A run path relative to /usr/bin would let libraries placed beside the program be loaded.
        dynamic = subprocess.run(["readelf", "--dynamic", self.path("bin/drill")],
                                 capture_output=True, text=True, check=True).stdout
        self.assertNotIn("RPATH", dynamic)
        self.assertNotIn("RUNPATH", dynamic)

    def test_desktop_entry_starts_the_installed_program(self):
        entry = installed_files.read_desktop_entry(self.desktop_path)
        program = entry["Exec"].split()[0]
        self.assertEqual(program, "drill", "the menu must start the program by its name")
        self.assertTrue(os.path.isfile(self.path(os.path.join("bin", program))))
        self.assertEqual(entry.get("Terminal"), "false")
        # Qt's xcb platform gives a program's windows the class of its executable's name;
        # the menu uses this to group the running windows under this entry.
        self.assertEqual(entry.get("StartupWMClass"), program)

    def test_icon_is_the_program_picture_at_every_size(self):
        entry = installed_files.read_desktop_entry(self.desktop_path)
        self.assertEqual(entry["Icon"], options.app_id)
        with tempfile.TemporaryDirectory() as scratch:
            for size in options.icon_sizes:
                with self.subTest(size=size):
                    icon = self.path(installed_files.icon_path(entry["Icon"], size))
                    self.assertEqual(installed_files.png_size(icon), (size, size))
                    # The source sampled by whole pixels: smoothing, a shift or a lost
                    # transparent background all count as different pixels.
                    expected = os.path.join(scratch, f"{size}.png")
                    subprocess.run(["convert", options.icon_source, "-sample", f"{size}x{size}",
                                    expected], check=True)
                    compared = subprocess.run(["compare", "-metric", "AE", expected, icon,
                                               "null:"], capture_output=True, text=True)
                    self.assertIn(compared.returncode, (0, 1), compared.stderr)
                    self.assertEqual(compared.stderr.strip(), "0",
                                     f"{size}x{size}: pixels differing from the picture")

    def test_metainfo_names_the_desktop_entry_and_program(self):
        root = ElementTree.parse(self.metainfo_path).getroot()
        self.assertEqual(root.get("type"), "desktop-application")
        self.assertEqual(root.findtext("id"), options.app_id)
        launchables = [(l.get("type"), l.text) for l in root.findall("launchable")]
        self.assertEqual(launchables, [("desktop-id", os.path.basename(self.desktop_path))])
        self.assertEqual([b.text for b in root.findall("provides/binary")], ["drill"])
        self.assertIsNotNone(root.find("content_rating"))

    def test_metainfo_texts_in_both_languages(self):
        root = ElementTree.parse(self.metainfo_path).getroot()
        for tag in ("name", "summary", "description/p"):
            for language in (None, "ru"):
                with self.subTest(tag=tag, language=language or "default"):
                    texts = [e.text for e in root.findall(tag) if e.get(XML_LANG) == language]
                    self.assertTrue(texts and all(t and t.strip() for t in texts),
                                    f"no {tag} for {language or 'the default language'}")
        # The menu and the software centre show the same name in either language.
        names = {e.get(XML_LANG): e.text for e in root.findall("name")}
        desktop = installed_files.read_desktop_entry(self.desktop_path)
        self.assertEqual(names[None], desktop["Name"])
        self.assertEqual(names["ru"], desktop.get("Name[ru]"))
        for key in ("Comment", "Comment[ru]"):
            with self.subTest(key=key):
                self.assertTrue(desktop.get(key, "").strip(), f"the desktop file has no {key}")


class Releases(unittest.TestCase):
    """One list of releases (packaging/releases.json) and one version (project()) reach every
    place that names them."""

    def setUp(self):
        with open(options.releases, encoding="utf-8") as file:
            self.releases = json.load(file)["releases"]
        self.prefix = os.path.join(options.root, "usr")

    def read_gzip(self, relative):
        with gzip.open(os.path.join(self.prefix, relative), "rt", encoding="utf-8") as file:
            return file.read()

    def test_changelog_tells_every_release_with_its_date(self):
        text = self.read_gzip("share/doc/drill/changelog.gz")
        headers = re.findall(r"^drill \(([^)]+)\) \S+; urgency=\S+$", text, re.MULTILINE)
        trailers = re.findall(r"^ -- (.+ <[^>]+>)  (.+)$", text, re.MULTILINE)
        self.assertEqual(headers, [r["version"] for r in self.releases])
        self.assertEqual(len(trailers), len(self.releases))
        for release, (_, when) in zip(self.releases, trailers):
            with self.subTest(version=release["version"]):
                expected = datetime.datetime.fromisoformat(release["date"].replace("Z", "+00:00"))
                self.assertEqual(email.utils.parsedate_to_datetime(when), expected)
                # The weekday is written out, and Debian's tools reject a wrong one.
                self.assertEqual(when.split(",")[0], expected.strftime("%a"), when)
                self.assertEqual(email.utils.format_datetime(expected), when)
        # The notes are wrapped; the signature lines may be longer.
        for line in text.splitlines():
            if line.startswith("  "):
                self.assertLessEqual(len(line), 80, line)
        for note in self.releases[0]["notes"]["en"]:
            self.assertIn(" ".join(note.split()), " ".join(text.split()))

    def test_appstream_releases_are_the_list(self):
        root = ElementTree.parse(os.path.join(self.prefix, "share/metainfo",
                                              f"{options.app_id}.metainfo.xml")).getroot()
        listed = [(r.get("version"), r.get("date")) for r in root.findall("releases/release")]
        self.assertEqual(listed, [(r["version"], r["date"][:10]) for r in self.releases])
        newest = root.find("releases/release")
        for language, key in ((None, "en"), ("ru", "ru")):
            with self.subTest(language=key):
                items = [li.text for li in newest.findall("description/ul/li")
                         if li.get(XML_LANG) == language]
                self.assertEqual(items, self.releases[0]["notes"][key])
        self.assertEqual(root.findtext("project_license"), "GPL-3.0-or-later")

    def test_manual_pages_carry_the_version(self):
        for page in ("share/man/man1/drill.1.gz", "share/man/ru/man1/drill.1.gz"):
            with self.subTest(page=page):
                title = re.search(r'^\.TH DRILL 1 "([^"]*)" "([^"]*)"', self.read_gzip(page),
                                  re.MULTILINE)
                self.assertIsNotNone(title, "no .TH line")
                self.assertEqual(title.groups(),
                                 (self.releases[0]["date"][:10], f"drill {options.version}"))


def tree_files(root):
    """The files and links below root, as paths relative to it."""
    found = set()
    for directory, _, names in os.walk(root):
        for name in names:
            found.add(os.path.relpath(os.path.join(directory, name), root))
    return found


def file_text(path):
    """The bytes of a file, uncompressed if it is gzipped (the compressor's own header may
    differ while the text is the same)."""
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rb") as file:
        return file.read()


class SameFilesAsInstallation(unittest.TestCase):
    """The package lays out what `cmake --install` lays out."""

    def test_same_files(self):
        self.assertEqual(sorted(tree_files(options.root)),
                         sorted(tree_files(options.same_files_as)))

    def test_same_contents(self):
        for relative in sorted(tree_files(options.root) & tree_files(options.same_files_as)):
            if relative == "usr/bin/drill":
                continue
            with self.subTest(file=relative):
                self.assertEqual(file_text(os.path.join(options.root, relative)),
                                 file_text(os.path.join(options.same_files_as, relative)))


def main():
    global options
    parser = argparse.ArgumentParser()
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--root")
    where.add_argument("--deb-dir", help="where package_build.py put the packages")
    parser.add_argument("--same-files-as", help="a staged `cmake --install` to compare with")
    parser.add_argument("--build-kind", choices=["plain", "sanitize"], default="plain")
    parser.add_argument("--app-id", required=True)
    parser.add_argument("--icon-sizes", required=True, type=installed_files.parse_sizes)
    parser.add_argument("--icon-source", required=True)
    parser.add_argument("--releases", required=True)
    parser.add_argument("--version", required=True)
    options, rest = parser.parse_known_args()
    tests = ["InstalledTree", "Releases"]
    with tempfile.TemporaryDirectory() as scratch:
        if options.deb_dir:
            package_build.skip_unless_wanted(options.build_kind)
            deb = package_build.packages(options.deb_dir)["deb"]
            options.root = os.path.join(scratch, "deb")
            subprocess.run(["dpkg-deb", "--extract", deb, options.root], check=True)
            if options.same_files_as:
                tests.append("SameFilesAsInstallation")
        program = unittest.main(argv=[sys.argv[0], "-v", *rest, *tests], exit=False)
    sys.exit(0 if program.result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
