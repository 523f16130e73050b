#!/usr/bin/env python3
"""Checks an installed tree of drill (DESTDIR staging, prefix /usr): every file is in place, the
desktop file, the AppStream component and the icons name each other consistently, the icons are
the program's own picture scaled by whole pixels, and the executable carries no run path.

Usage: check_installed_tree.py --root STAGE --app-id ID --icon-sizes 32,64 --icon-source XPM
"""

import argparse
import os
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import installed_files  # noqa: E402

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


def main():
    global options
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--app-id", required=True)
    parser.add_argument("--icon-sizes", required=True, type=installed_files.parse_sizes)
    parser.add_argument("--icon-source", required=True)
    options, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
