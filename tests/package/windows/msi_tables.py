#!/usr/bin/env python3
"""Reads drill's Windows Installer package with msiinfo (msitools), without installing it, and
checks what Windows will make of it: the Russian texts in the Cyrillic code page (wixl on its own
leaves them empty, and then no shortcut is made), a plain shortcut to the program rather than an
advertised one, a per-machine installation, the summary's platform and language, the version (of
the package, of the program in it and of the program's manifest), and the major upgrade with its
Russian refusal of a downgrade.

Usage: msi_tables.py --msi PKG --exe Drill.exe --version V --file-version V.0 --arch x86|x64
                     --upgrade-code GUID --publisher NAME
"""

import argparse
import glob
import os
import re
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_resources  # noqa: E402

DOWNGRADE_MESSAGE = ("Уже установлена более новая версия программы «Сложение чисел». Чтобы "
                     "установить эту версию, сначала удалите установленную.")

options = None


def table(name):
    """The rows of a table as dicts by column name."""
    # A table with binary columns (Icon) is exported with its streams as files in a folder of
    # the working directory: that is a scratch folder, never the tree the test runs in.
    with tempfile.TemporaryDirectory() as scratch:
        out = subprocess.run(["msiinfo", "export", os.path.abspath(options.msi), name],
                             capture_output=True, check=True, cwd=scratch).stdout
    # The names are stored in the package's code page; msiinfo gives them back as UTF-8.
    lines = out.decode("utf-8").replace("\r\n", "\n").split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def file_version(exe):
    """The FileVersion text of a Windows program's version resource."""
    with open(exe, "rb") as file:
        data = file.read()
    key = "FileVersion\0".encode("utf-16-le")
    at = data.find(key)
    if at < 0:
        return None
    at += len(key)
    while data[at:at + 2] == b"\0\0":  # padding to the next 32-bit boundary
        at += 2
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def extract_program(folder):
    """Unpacks the package into <folder> and returns the path of the Drill.exe it carries."""
    subprocess.run(["msiextract", "-C", folder, options.msi], capture_output=True, check=True)
    programs = glob.glob(os.path.join(folder, "**", "Drill.exe"), recursive=True)
    if len(programs) != 1:
        raise AssertionError(f"expected one Drill.exe in the package, found {programs}")
    return programs[0]


class Package(unittest.TestCase):
    def test_russian_names_in_the_cyrillic_code_page(self):
        codepage = subprocess.run(["msiinfo", "export", options.msi, "_ForceCodepage"],
                                  capture_output=True, text=True, check=True).stdout
        self.assertIn("1251\t_ForceCodepage", codepage)
        properties = {row["Property"]: row["Value"] for row in table("Property")}
        self.assertEqual(properties["ProductName"], "Сложение чисел")
        shortcuts = table("Shortcut")
        self.assertEqual(len(shortcuts), 1)
        self.assertEqual(shortcuts[0]["Name"].split("|")[-1], "Сложение чисел")
        self.assertEqual(shortcuts[0]["Description"], "Примеры на сложение для 2 класса")

    def test_shortcut_starts_the_installed_program_with_its_icon(self):
        shortcut, = table("Shortcut")
        files = {row["File"]: row for row in table("File")}
        # An advertised shortcut would name the feature and go through Windows Installer.
        self.assertEqual(shortcut["Target"], "[#DrillExe]")
        self.assertEqual(files["DrillExe"]["FileName"].split("|")[-1], "Drill.exe")
        self.assertEqual(shortcut["Directory_"], "ProgramMenuFolder")
        self.assertEqual(shortcut["WkDir"], "INSTALLDIR")
        icons = {row["Name"] for row in table("Icon")}
        self.assertIn(shortcut["Icon_"], icons)

    def test_per_machine_product_with_version_and_publisher(self):
        properties = {row["Property"]: row["Value"] for row in table("Property")}
        self.assertEqual(properties.get("ALLUSERS"), "1")
        self.assertEqual(properties["ProductVersion"], options.version)
        self.assertEqual(properties["Manufacturer"], options.publisher)
        # Windows Installer takes its codes in capitals only.
        self.assertEqual(properties["UpgradeCode"], "{%s}" % options.upgrade_code.upper())
        self.assertRegex(properties["ProductCode"],
                         r"^\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}$")
        self.assertIn(properties.get("ARPPRODUCTICON"), {row["Name"] for row in table("Icon")})

    def test_summary_names_the_platform_and_russian(self):
        summary = subprocess.run(["msiinfo", "suminfo", options.msi], capture_output=True,
                                 text=True, check=True).stdout
        template = re.search(r"^Template: (.*)$", summary, re.MULTILINE)
        platform = {"x86": "Intel", "x64": "x64"}[options.arch]
        self.assertEqual(template and template.group(1), f"{platform};1049", summary)

    def test_program_inside_carries_one_version_everywhere(self):
        # Windows Installer compares the File table's version with the installed file's version
        # resource on a repair or an upgrade: they must be the same, or it replaces the file
        # every time or never.
        files = {row["File"]: row for row in table("File")}
        self.assertEqual(files["DrillExe"]["Version"], options.file_version)
        self.assertEqual(files["DrillExe"]["Language"], "1049")
        # A file with a version is compared by it; a hash of it would be a fault in the package.
        self.assertNotIn("DrillExe", {row["File_"] for row in table("MsiFileHash")})
        with tempfile.TemporaryDirectory() as scratch:
            program = extract_program(scratch)
            self.assertEqual(pe_resources.fixed_file_version(program), options.file_version)
            self.assertEqual(file_version(program), options.version)
            self.assertEqual(int(files["DrillExe"]["FileSize"]), os.path.getsize(program))
            manifest = ElementTree.fromstring(pe_resources.manifest(program))
            identity = manifest.find("{urn:schemas-microsoft-com:asm.v1}assemblyIdentity")
            self.assertEqual(identity.get("name"), "Drill")
            self.assertEqual(identity.get("version"), options.file_version)
            # The portable program of a release is the very file that the package carries.
            with open(program, "rb") as packed, open(options.exe, "rb") as portable:
                self.assertTrue(packed.read() == portable.read(),
                                f"{options.exe} is not the Drill.exe inside {options.msi}")

    def test_newer_package_replaces_older_and_not_the_reverse(self):
        rows = table("Upgrade")
        self.assertTrue(rows, "no Upgrade table: a newer package would install beside the older")
        for row in rows:
            self.assertEqual(row["UpgradeCode"].strip("{}").lower(), options.upgrade_code.lower())
        actions = {row["Action"] for row in table("InstallExecuteSequence")}
        self.assertIn("RemoveExistingProducts", actions)
        # The older versions are found and removed; a newer one installed is found and stops it.
        older = [row for row in rows if row["VersionMax"] == options.version]
        newer = [row for row in rows if row["VersionMin"] == options.version]
        self.assertTrue(older and newer, rows)
        # The refusal is written in Russian, like every text of the program.
        launch = {row["Condition"]: row["Description"] for row in table("LaunchCondition")}
        self.assertEqual(launch.get("NOT WIX_DOWNGRADE_DETECTED"), DOWNGRADE_MESSAGE, launch)


def main():
    global options
    parser = argparse.ArgumentParser()
    for name in ("--msi", "--exe", "--version", "--file-version", "--upgrade-code",
                 "--publisher"):
        parser.add_argument(name, required=True)
    parser.add_argument("--arch", choices=["x86", "x64"], required=True)
    options, rest = parser.parse_known_args()
    for built in (options.msi, options.exe):
        if not os.path.isfile(built):
            sys.exit(f"{built} is missing: build it first (cmake --build)")
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
