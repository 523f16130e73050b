#!/usr/bin/env python3
"""Builds drill's Debian source and binary packages with scripts/build-deb.sh, for the tests that
check them (lintian, the dependencies, the installed files, the installation itself).

Building the packages is heavy, so this and the tests of its packages run only as root and only
in CI (CI set) or when asked for with DRILL_PACKAGE_INSTALL_TEST=1; they skip (status 77)
otherwise and in the sanitizer build, whose executable is never packaged.

Usage: package_build.py --source-dir SRC --out-dir DIR --build-kind plain|sanitize
"""

import argparse
import glob
import os
import shutil
import subprocess
import sys

SKIP = 77


def skip(reason):
    print(f"SKIP: {reason}")
    sys.exit(SKIP)


def log(message):
    print(f"-- {message}", flush=True)


def skip_unless_wanted(build_kind):
    """Leaves through skip() when the packages are not to be built and tested here."""
    if build_kind == "sanitize":
        skip("the sanitizer build is not packaged")
    if os.geteuid() != 0:
        skip("the package tests run as root")
    if not (os.environ.get("CI") or os.environ.get("DRILL_PACKAGE_INSTALL_TEST") == "1"):
        skip("builds the Debian package: runs in CI, or with DRILL_PACKAGE_INSTALL_TEST=1")


def architecture():
    return subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True,
                          check=True).stdout.strip()


def build(source_dir, out_dir, previous=False):
    """Runs scripts/build-deb.sh into a fresh out_dir and returns its packages (see packages)."""
    shutil.rmtree(out_dir, ignore_errors=True)
    os.makedirs(os.path.dirname(out_dir), exist_ok=True)
    argv = [os.path.join(source_dir, "scripts", "build-deb.sh"), out_dir]
    if previous:
        argv.insert(1, "--previous")
    log(" ".join(argv))
    with open(os.path.join(os.path.dirname(out_dir), os.path.basename(out_dir) + ".log"),
              "w") as output:
        result = subprocess.run(argv, stdout=output, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        raise AssertionError(f"build-deb.sh ended with status {result.returncode}; "
                             f"see {output.name}")
    return packages(out_dir)


def packages(out_dir):
    """{"dsc", "tar", "deb", "buildinfo", "changes"}: the one file of each kind in out_dir, named
    as Debian names them for the version in the .dsc."""
    dscs = glob.glob(os.path.join(out_dir, "drill_*.dsc"))
    if len(dscs) != 1:
        raise AssertionError(f"{out_dir} holds {dscs}, not one drill_<version>.dsc")
    version = os.path.basename(dscs[0])[len("drill_"):-len(".dsc")]
    arch = architecture()
    expected = {"dsc": f"drill_{version}.dsc",
                "tar": f"drill_{version}.tar.xz",
                "deb": f"drill_{version}_{arch}.deb",
                "buildinfo": f"drill_{version}_{arch}.buildinfo",
                "changes": f"drill_{version}_{arch}.changes"}
    found = sorted(name for name in os.listdir(out_dir)
                   if os.path.isfile(os.path.join(out_dir, name)))
    if found != sorted(expected.values()):
        raise AssertionError(f"{out_dir} holds {found}, expected {sorted(expected.values())}")
    deb = os.path.join(out_dir, expected["deb"])
    labelled = subprocess.run(["dpkg-deb", "--field", deb, "Version"], capture_output=True,
                              text=True, check=True).stdout.strip()
    if labelled != version:
        raise AssertionError(f"{expected['deb']} says version {labelled}")
    return {kind: os.path.join(out_dir, name) for kind, name in expected.items()}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--out-dir", required=True)
    parser.add_argument("--build-kind", choices=["plain", "sanitize"], required=True)
    args = parser.parse_args()
    skip_unless_wanted(args.build_kind)
    for kind, path in build(args.source_dir, args.out_dir).items():
        log(f"{kind}: {path}")


if __name__ == "__main__":
    main()
