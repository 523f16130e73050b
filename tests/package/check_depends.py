#!/usr/bin/env python3
"""Checks that the Debian package depends on everything the program needs at run time.

Always: debian/control's Depends for drill holds ${shlibs:Depends} (the libraries the executable
links, which dh_shlibdeps fills in), ${misc:Depends}, and every package of the run list in
scripts/deps.sh (Qt's platform plugins, Qt's Russian texts and the font packages whose faces the
windows use). A font missing there leaves a school computer with a stand-in face the windows were
not laid out for.

With --deb-dir: the built .deb's own Depends field (dpkg-deb) names the C and C++ runtime
libraries and the Qt libraries the program links, besides the run list, so that a package
without its library dependencies is caught in the package itself. That part runs under the same
conditions as package_build.py and skips (status 77) otherwise.

Usage: check_depends.py --control debian/control --deps-script scripts/deps.sh
           [--deb-dir DIR --build-kind plain|sanitize]
"""

import argparse
import os
import re
import subprocess
import sys
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import package_build  # noqa: E402

# The libraries the executable links, as their Debian packages are named.
LINKED = ["libc6", "libstdc++6", "libgcc-s1", "libqt6core6", "libqt6gui6", "libqt6widgets6"]

options = None


def run_list(deps_script):
    with open(deps_script, encoding="utf-8") as file:
        text = file.read()
    found = re.search(r"^run=\(([^)]*)\)", text, re.MULTILINE)
    if not found:
        raise ValueError(f"{deps_script} has no run=(...) list")
    return found.group(1).split()


def relation_names(field):
    """"name (>= version) | other, ..." to {name, other, ...}"""
    return {alternative.split("(")[0].strip()
            for relation in field.split(",")
            for alternative in relation.split("|")
            if alternative.strip()}


def control_depends(control, package="drill"):
    """The Depends field of the binary package's stanza in debian/control, with its lines
    joined."""
    with open(control, encoding="utf-8") as file:
        stanzas = re.split(r"\n\s*\n", file.read())
    for stanza in stanzas:
        if re.search(rf"^Package: *{re.escape(package)} *$", stanza, re.MULTILINE):
            found = re.search(r"^Depends:(.*(?:\n[ \t].*)*)", stanza, re.MULTILINE)
            if not found:
                raise ValueError(f"{control}: {package} has no Depends")
            return " ".join(found.group(1).split())
    raise ValueError(f"{control} has no Package: {package}")


class ControlDepends(unittest.TestCase):
    def test_substitutions_and_run_list(self):
        depends = relation_names(control_depends(options.control))
        self.assertIn("${shlibs:Depends}", depends)
        self.assertIn("${misc:Depends}", depends)
        missing = [name for name in run_list(options.deps_script) if name not in depends]
        self.assertEqual(missing, [], f"Depends is {sorted(depends)}")


class BuiltPackageDepends(unittest.TestCase):
    def test_libraries_and_run_list(self):
        deb = package_build.packages(options.deb_dir)["deb"]
        field = subprocess.run(["dpkg-deb", "--field", deb, "Depends"], capture_output=True,
                               text=True, check=True).stdout.strip()
        print(f"\nDepends: {field}")
        depends = relation_names(field)
        self.assertFalse([name for name in depends if "$" in name],
                         f"a substitution was left unfilled: {field}")
        missing = [name for name in LINKED + run_list(options.deps_script)
                   if name not in depends]
        self.assertEqual(missing, [], f"Depends is {field}")
        # Each library with the least version the executable needs, as dpkg-shlibdeps gives it.
        for name in LINKED:
            with self.subTest(library=name):
                self.assertRegex(field, rf"(^|, ){re.escape(name)} \(>= [^)]+\)")


def main():
    global options
    parser = argparse.ArgumentParser()
    parser.add_argument("--control", required=True)
    parser.add_argument("--deps-script", required=True)
    parser.add_argument("--deb-dir", help="where package_build.py put the packages")
    parser.add_argument("--build-kind", choices=["plain", "sanitize"], default="plain")
    options, rest = parser.parse_known_args()
    if options.deb_dir:
        package_build.skip_unless_wanted(options.build_kind)
        tests = "BuiltPackageDepends"
    else:
        tests = "ControlDepends"
    unittest.main(argv=[sys.argv[0], "-v", *rest, tests])


if __name__ == "__main__":
    main()
