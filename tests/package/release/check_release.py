#!/usr/bin/env python3
"""Makes a whole release with scripts/release.sh, as an administrator would with a certificate and
a key of their own, and checks what a school receives.

The certificate (a self-signed code-signing certificate, as a PFX with a password) and the OpenPGP
key are thrown away after the test; they are made here with openssl and gpg. The checks:
  - the folder holds exactly the files a release publishes, and SHA256SUMS matches every one;
  - Drill.exe, both MSIs and the Drill.exe that each MSI carries have signatures that
    `osslsigncode verify` accepts with the test certificate;
  - the apt repository's InRelease and Release.gpg verify with the key the repository ships;
  - the web archive holds the site's start page;
  - lintian has nothing to say about the source package and the Debian package;
  - the release's source package, unpacked as anyone who downloads it does (no git there), makes
    the same Debian packages, byte for byte, into release.sh's default folder inside itself.
Then, as root and only in CI or with DRILL_PACKAGE_INSTALL_TEST=1 (it downloads a small Debian 12
from the mirror that this machine's own apt sources name), it makes a clean Debian 12 with
mmdebstrap, adds the repository the way the README tells a school to, installs the previous release
from it, upgrades to this one, and checks that the installed program finds all its libraries and
starts.

The previous release is this release's .deb with the version of the release before it in
releases.json: what the upgrade exercises is apt's and dpkg's path from one version to the next
through a signed repository, not the differences between the two programs.
"""

import argparse
import atexit
import glob
import hashlib
import json
import os
import shutil
import subprocess
import sys
import zipfile

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import lintian_package  # noqa: E402

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))))
KEY_USER = "drill release test <release-test@example.org>"
PFX_PASSWORD = "release test"
# The clean Debian 12's suites; the archive that serves them is the one the machine's own apt
# sources name (scripts/apt-sources.py).
DEBIAN_SUITES = ("bookworm", "bookworm-updates")

failures = []


def log(message):
    print(f"-- {message}", flush=True)


def check(condition, message):
    if condition:
        log(f"ok: {message}")
    else:
        print(f"FAIL: {message}", flush=True)
        failures.append(message)


def run(argv, **kwargs):
    log(" ".join(argv))
    return subprocess.run(argv, check=True, **kwargs)


def releases():
    with open(os.path.join(SOURCE, "packaging", "releases.json"), encoding="utf-8") as file:
        return json.load(file)["releases"]


def make_certificate(work):
    """A self-signed code-signing certificate: cert.pem for verifying, cert.pfx for signing."""
    key, cert, pfx = (os.path.join(work, name) for name in ("key.pem", "cert.pem", "cert.pfx"))
    run(["openssl", "req", "-x509", "-newkey", "rsa:3072", "-nodes", "-keyout", key, "-out", cert,
         "-days", "2", "-subj", "/CN=drill release test",
         "-addext", "extendedKeyUsage=codeSigning", "-addext", "keyUsage=digitalSignature"],
        capture_output=True)
    run(["openssl", "pkcs12", "-export", "-out", pfx, "-inkey", key, "-in", cert,
         "-passout", f"pass:{PFX_PASSWORD}"])
    return cert, pfx


def make_key(gnupg):
    os.makedirs(gnupg, mode=0o700)
    run(["gpg", "--batch", "--passphrase", "", "--quick-gen-key", KEY_USER, "ed25519", "sign",
         "never"], env=dict(os.environ, GNUPGHOME=gnupg), capture_output=True)


def expected_files(version, arch):
    apt = ["Packages", "Packages.gz", "Release", "InRelease", "Release.gpg", "drill.gpg",
           "drill.asc", f"drill_{version}_{arch}.deb"]
    return sorted([f"drill_{version}.dsc", f"drill_{version}.tar.xz",
                   f"drill_{version}_{arch}.deb", f"drill_{version}_{arch}.buildinfo",
                   f"drill_{version}_{arch}.changes",
                   f"Drill-{version}-x86.msi", f"Drill-{version}-x64.msi", "Drill.exe",
                   f"drill-{version}-web.zip", "SHA256SUMS"] + [f"apt/{n}" for n in apt])


def listed_files(folder):
    return sorted(os.path.relpath(os.path.join(d, f), folder)
                  for d, _, files in os.walk(folder) for f in files)


def signature_ok(path, cert):
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path],
                            capture_output=True, text=True)
    if result.returncode != 0:
        print(result.stdout + result.stderr)
    return result.returncode == 0


def check_signatures(out, version, cert, work):
    check(signature_ok(os.path.join(out, "Drill.exe"), cert), "Drill.exe is signed")
    for arch in ("x86", "x64"):
        msi = os.path.join(out, f"Drill-{version}-{arch}.msi")
        check(signature_ok(msi, cert), f"the {arch} MSI is signed")
        unpacked = os.path.join(work, f"msi-{arch}")
        run(["msiextract", "-C", unpacked, msi], capture_output=True)
        carried = glob.glob(os.path.join(unpacked, "**", "Drill.exe"), recursive=True)
        check(len(carried) == 1 and signature_ok(carried[0], cert),
              f"the Drill.exe that the {arch} MSI installs is signed")


def check_repository(out, gnupg_home):
    apt = os.path.join(out, "apt")
    keyring = os.path.join(apt, "drill.gpg")
    for argv in (["gpgv", "--keyring", keyring, os.path.join(apt, "InRelease")],
                 ["gpgv", "--keyring", keyring, os.path.join(apt, "Release.gpg"),
                  os.path.join(apt, "Release")]):
        result = subprocess.run(argv, capture_output=True, text=True,
                                env=dict(os.environ, GNUPGHOME=gnupg_home))
        check(result.returncode == 0, f"{os.path.basename(argv[-1])} verifies with drill.gpg")


def check_lintian(out, version):
    for path in glob.glob(os.path.join(out, f"drill_{version}.dsc")) + \
            glob.glob(os.path.join(out, f"drill_{version}_*.deb")):
        failures = lintian_package.lintian_failures(path)
        check(not failures, f"lintian has nothing to say about {os.path.basename(path)}"
              + "".join(f"\n     {line}" for line in failures))


def sha256(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


def check_from_source_package(out, version, work):
    """Unpacks the release's source package and builds its Debian packages in it, into the folder
    release.sh writes by default (release/<version> inside the tree): the copy that the build
    makes of a tree without git must leave that folder out, and the packages must come out the
    same as the release's."""
    tree = os.path.join(work, "source-package")
    run(["dpkg-source", "-x", os.path.join(out, f"drill_{version}.dsc"), tree],
        capture_output=True)
    folder = os.path.join(tree, "release", version)
    log(f"scripts/build-deb.sh {folder} (in the unpacked source package)")
    with open(os.path.join(work, "source-package.log"), "w") as output:
        result = subprocess.run([os.path.join(tree, "scripts", "build-deb.sh"), folder],
                                stdout=output, stderr=subprocess.STDOUT)
    check(result.returncode == 0, "the unpacked source package builds its Debian packages into "
          f"release/{version} inside itself (log: {output.name})")
    if result.returncode != 0:
        return
    for name in sorted(os.path.basename(p) for p in glob.glob(os.path.join(out, "drill_*"))
                       if p.endswith((".deb", ".dsc", ".tar.xz"))):
        rebuilt = os.path.join(folder, name)
        same = os.path.exists(rebuilt) and sha256(rebuilt) == sha256(os.path.join(out, name))
        detail = ""
        if not same and name.endswith(".tar.xz") and os.path.exists(rebuilt):
            listed = [set(subprocess.run(["tar", "-tJf", path], capture_output=True, text=True)
                          .stdout.splitlines()) for path in (os.path.join(out, name), rebuilt)]
            detail = (f" (only in the release: {sorted(listed[0] - listed[1])[:10]};"
                      f" only in the rebuilt one: {sorted(listed[1] - listed[0])[:10]})")
        check(same, f"{name} from the unpacked source package is the release's{detail}")
    shutil.rmtree(tree, ignore_errors=True)


def relabel(deb, version, work):
    """The same package with another version: the release that comes before this one."""
    tree = os.path.join(work, "relabel")
    run(["dpkg-deb", "-R", deb, tree])
    control = os.path.join(tree, "DEBIAN", "control")
    with open(control, encoding="utf-8") as file:
        lines = [f"Version: {version}" if line.startswith("Version:") else line
                 for line in file.read().splitlines()]
    with open(control, "w", encoding="utf-8") as file:
        file.write("\n".join(lines) + "\n")
    arch = subprocess.run(["dpkg-deb", "-f", deb, "Architecture"], capture_output=True, text=True,
                          check=True).stdout.strip()
    previous = os.path.join(work, f"drill_{version}_{arch}.deb")
    run(["dpkg-deb", "--root-owner-group", "-b", tree, previous], capture_output=True)
    return previous


def install_and_upgrade(out, version, previous_version, work, env):
    deb = glob.glob(os.path.join(out, f"drill_{version}_*.deb"))[0]
    repos = os.path.join(work, "repos")
    previous_repo = os.path.join(repos, "previous")
    run([os.path.join(SOURCE, "scripts", "apt-repository.sh"), previous_repo,
         relabel(deb, previous_version, work)], env=env)
    new_repo = os.path.join(out, "apt")

    source_line = ("deb [signed-by=/etc/apt/keyrings/drill.gpg] file:/srv/{} ./")
    apt_get = 'chroot "$1" env DEBIAN_FRONTEND=noninteractive apt-get -y -q'
    version_of = "chroot \"$1\" dpkg-query -W -f 'drill-version=${Version}\\n' drill"
    hooks = [
        'mkdir -p "$1/srv" "$1/etc/apt/keyrings"',
        f"copy-in {previous_repo} /srv",
        f"copy-in {new_repo} /srv",
        f"copy-in {os.path.join(new_repo, 'drill.gpg')} /etc/apt/keyrings",
        # The school's PCs first see the previous release...
        f"echo '{source_line.format('previous')}' > \"$1/etc/apt/sources.list.d/drill.list\"",
        f"{apt_get} update",
        f"{apt_get} install drill",
        version_of,
        # ...then the folder they are served is replaced by this release.
        f"echo '{source_line.format('apt')}' > \"$1/etc/apt/sources.list.d/drill.list\"",
        f"{apt_get} update",
        f"{apt_get} upgrade --with-new-pkgs",
        version_of,
        'if chroot "$1" ldd /usr/bin/drill | grep "not found"; then exit 1; fi',
        # It runs until it is stopped: timeout's status 124 says it was still running after 5 s.
        'chroot "$1" env QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/drill;'
        ' status=$?; echo "drill-run-status=$status"',
    ]
    # The machine's own archive for the clean Debian: whatever mirror this machine uses.
    sources = subprocess.run([os.path.join(SOURCE, "scripts", "apt-sources.py"), *DEBIAN_SUITES],
                             capture_output=True, text=True)
    if sources.returncode != 0:
        check(False, f"this machine's apt sources name none of {', '.join(DEBIAN_SUITES)}: "
              "no archive to make the clean Debian 12 from")
        return
    mirror = os.path.join(work, "debian.sources")
    with open(mirror, "w", encoding="utf-8") as file:
        file.write(sources.stdout)
    log(f"the clean Debian 12 comes from this machine's apt sources:\n{sources.stdout}")
    argv = ["mmdebstrap", "--variant=apt", "--mode=root",
            f"--aptopt=Acquire::Retries \"3\""]
    argv += [f"--customize-hook={hook}" for hook in hooks]
    root = os.path.join(work, "chroot")
    argv += ["bookworm", root, mirror]
    log(" ".join(argv))
    result = subprocess.run(argv, capture_output=True, text=True)
    shutil.rmtree(root, ignore_errors=True)
    output = result.stdout + result.stderr
    print(output[-6000:])
    check(result.returncode == 0, "mmdebstrap and every step in the clean Debian 12 succeeded")
    versions = [line.split("=", 1)[1] for line in output.splitlines()
                if line.startswith("drill-version=")]
    check(versions == [previous_version, version],
          f"the repository installed {previous_version}, then upgraded it to {version}"
          f" (saw {versions})")
    check("drill-run-status=124" in output, "the installed program started and kept running")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--work", default=os.path.join(SOURCE, "build", "release-check"))
    options = parser.parse_args()
    shutil.rmtree(options.work, ignore_errors=True)
    os.makedirs(options.work)
    work = options.work

    history = releases()
    version = history[0]["version"]
    previous_version = history[1]["version"] if len(history) > 1 else None
    cert, pfx = make_certificate(work)
    gnupg = os.path.join(work, "gnupg")
    make_key(gnupg)
    # gpg started an agent for the throw-away key: it must not outlive the test.
    atexit.register(subprocess.run, ["gpgconf", "--homedir", gnupg, "--kill", "all"],
                    capture_output=True)
    env = dict(os.environ, GNUPGHOME=gnupg, DRILL_APT_KEY=KEY_USER,
               DRILL_SIGN_PFX=pfx, DRILL_SIGN_PASSWORD=PFX_PASSWORD)

    out = os.path.join(work, "out")
    # The release's own output is shown as it comes: it builds for some minutes.
    log(f"scripts/release.sh {out}")
    release = subprocess.Popen([os.path.join(SOURCE, "scripts", "release.sh"), out], env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    said = []
    for line in release.stdout:
        print(line, end="", flush=True)
        said.append(line)
    if release.wait() != 0:
        print(f"FAIL: scripts/release.sh ended with status {release.returncode}")
        return 1
    check(not any("UNSIGNED" in line for line in said), "the release says nothing is unsigned")

    debs = glob.glob(os.path.join(out, f"drill_{version}_*.deb"))
    arch = os.path.basename(debs[0]).rsplit("_", 1)[1][:-4] if debs else "?"
    check(listed_files(out) == expected_files(version, arch),
          f"the release holds exactly the published files (got {listed_files(out)})")
    sums = subprocess.run(["sha256sum", "--quiet", "-c", "SHA256SUMS"], cwd=out,
                          capture_output=True, text=True)
    check(sums.returncode == 0, "SHA256SUMS matches every file " + sums.stdout.strip())
    check_signatures(out, version, cert, work)
    check_repository(out, gnupg)
    with zipfile.ZipFile(os.path.join(out, f"drill-{version}-web.zip")) as archive:
        check("drill/index.html" in archive.namelist(), "the web archive holds drill/index.html")
    check_lintian(out, version)
    check_from_source_package(out, version, work)

    asked = os.environ.get("CI") or os.environ.get("DRILL_PACKAGE_INSTALL_TEST") == "1"
    if os.geteuid() != 0 or not asked:
        log("SKIP: the install into a clean Debian 12 runs as root, in CI or with "
            "DRILL_PACKAGE_INSTALL_TEST=1")
    elif previous_version is None:
        log("SKIP: releases.json lists no earlier release to upgrade from")
    elif debs:
        install_and_upgrade(out, version, previous_version, work, env)

    if failures:
        print(f"{len(failures)} check(s) failed:")
        for failure in failures:
            print(f"   {failure}")
        return 1
    print("the release is complete, signed and installable")
    return 0


if __name__ == "__main__":
    sys.exit(main())
