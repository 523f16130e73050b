#!/usr/bin/env python3
"""Checks that the Debian package depends on everything the program needs at run time: every
package of the run list in scripts/deps.sh (Qt's platform plugins and the font packages whose
faces the windows use) must be in the package's Depends, as the build's CPack configuration
sets it; the libraries come on top of these from dpkg-shlibdeps. A font missing there leaves a
school computer with a stand-in face the windows were not laid out for.

Usage: check_depends.py --cpack-config BUILD/CPackConfig.cmake --deps-script scripts/deps.sh
"""

import argparse
import re
import sys
import unittest

options = None


def run_list(deps_script):
    with open(deps_script, encoding="utf-8") as file:
        text = file.read()
    found = re.search(r"^run=\(([^)]*)\)", text, re.MULTILINE)
    if not found:
        raise ValueError(f"{deps_script} has no run=(...) list")
    return found.group(1).split()


def package_depends(cpack_config):
    with open(cpack_config, encoding="utf-8") as file:
        text = file.read()
    found = re.search(r'^set\(CPACK_DEBIAN_PACKAGE_DEPENDS "([^"]*)"\)', text, re.MULTILINE)
    if not found:
        raise ValueError(f"{cpack_config} sets no CPACK_DEBIAN_PACKAGE_DEPENDS")
    # "name (>= version) | other, ..." to the names
    return {alternative.split("(")[0].strip()
            for relation in found.group(1).split(",")
            for alternative in relation.split("|")}


class PackageDepends(unittest.TestCase):
    def test_run_list_is_in_depends(self):
        depends = package_depends(options.cpack_config)
        missing = [name for name in run_list(options.deps_script) if name not in depends]
        self.assertEqual(missing, [], f"Depends is {sorted(depends)}")


def main():
    global options
    parser = argparse.ArgumentParser()
    parser.add_argument("--cpack-config", required=True)
    parser.add_argument("--deps-script", required=True)
    options, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
