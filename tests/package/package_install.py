#!/usr/bin/env python3
"""Installs drill's Debian package (as package_build.py built it) with apt, starts the installed
program on a private X server as the menu entry would, closes it through the window manager, and
removes the package again.

The test changes the system, so it runs only as root, and only in CI (CI set) or when asked for
with DRILL_PACKAGE_INSTALL_TEST=1; it skips (status 77) otherwise, in the sanitizer build, and
when a drill package or /usr/bin/drill is there already. It installs nothing but the package:
should apt want to bring in anything else, that is a failure (the package's dependencies belong
in scripts/deps.sh). Whatever happens after the package is installed, it is purged again.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import installed_files  # noqa: E402
import package_build  # noqa: E402
from package_build import log, skip  # noqa: E402

MAIN_WINDOW = "Сложение чисел (2 класс)"
APT_ENV = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
APT_OPTIONS = ["-o", "DPkg::Lock::Timeout=120", "-y", "--no-install-recommends"]


def package_installed(name="drill"):
    status = subprocess.run(["dpkg-query", "-W", "-f=${Status}", name], capture_output=True,
                            text=True).stdout
    return status.strip() == "install ok installed"


def package_known(name="drill"):
    """Installed, or removed with its configuration left: either way not ours to touch."""
    return subprocess.run(["dpkg-query", "-W", name], capture_output=True).returncode == 0


def run(argv, **kwargs):
    log(" ".join(argv))
    return subprocess.run(argv, check=True, **kwargs)


def check_only_drill_would_be_installed(deb):
    simulated = subprocess.run(["apt-get", "install", "-s", *APT_OPTIONS, deb],
                               capture_output=True, text=True, env=APT_ENV)
    if simulated.returncode != 0:
        raise AssertionError(f"apt cannot install the package:\n{simulated.stdout}"
                             f"{simulated.stderr}")
    installs = re.findall(r"^Inst (\S+)", simulated.stdout, re.MULTILINE)
    others = [name for name in installs if name != "drill"]
    if others:
        raise AssertionError("installing the package would also install "
                             f"{', '.join(others)}: add them to scripts/deps.sh (run)")
    if installs != ["drill"]:
        raise AssertionError(f"apt would not install drill:\n{simulated.stdout}")


def check_files(app_id, icon_sizes, present):
    for relative in installed_files.expected_files(app_id, icon_sizes):
        path = os.path.join("/usr", relative)
        if os.path.exists(path) != present:
            raise AssertionError(f"{path} is {'missing' if present else 'still there'}")


def run_installed_program(x_session_dir, app_id, log_path):
    sys.path.insert(0, x_session_dir)
    from xsession import XSession

    entry = installed_files.read_desktop_entry(f"/usr/share/applications/{app_id}.desktop")
    program = entry["Exec"].split()[0]
    # Started the way a menu does it: by the name in Exec, found through the system's PATH.
    found = shutil.which(program, path="/usr/local/bin:/usr/bin:/bin")
    if found != "/usr/bin/drill":
        raise AssertionError(f"Exec={program} finds {found}, not /usr/bin/drill")

    with XSession() as session, open(log_path, "w+b") as output_file:
        session.env["PATH"] = "/usr/local/bin:/usr/bin:/bin"
        proc = session.start([program], stdout=output_file, stderr=subprocess.STDOUT)
        try:
            window = session.wait_for_window(MAIN_WINDOW)
            wm_class = session.call(["xprop", "-id", window, "WM_CLASS"]).stdout
            classes = re.findall(r'"([^"]*)"', wm_class)
            if len(classes) != 2 or classes[1] != entry.get("StartupWMClass"):
                raise AssertionError(f"the window's {wm_class.strip()} does not match "
                                     f"StartupWMClass={entry.get('StartupWMClass')}")
            # As the close button of the title bar does it: WM_DELETE_WINDOW from the
            # window manager's side.
            result = session.call(["wmctrl", "-i", "-c", hex(int(window))])
            if result.returncode != 0:
                raise AssertionError(f"wmctrl -c: {result.stderr}")
            try:
                status = proc.wait(timeout=20)
            except subprocess.TimeoutExpired:
                raise AssertionError("the program did not end when its window was closed")
            output_file.seek(0)
            output = output_file.read().decode(errors="replace")
            if status != 0:
                raise AssertionError(f"the program ended with status {status}:\n{output}")
            log(f"the installed program ran and ended with status 0 (WM_CLASS {classes})")
        finally:
            if proc.poll() is None:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--deb-dir", required=True, help="where package_build.py put the packages")
    parser.add_argument("--work-dir", required=True)
    parser.add_argument("--app-id", required=True)
    parser.add_argument("--icon-sizes", required=True, type=installed_files.parse_sizes)
    parser.add_argument("--build-kind", choices=["plain", "sanitize"], required=True)
    parser.add_argument("--x-session", required=True, help="the folder of xsession.py")
    args = parser.parse_args()

    package_build.skip_unless_wanted(args.build_kind)
    if not shutil.which("apt-get"):
        skip("needs apt-get")
    if package_known():
        skip("a drill package is on this system already; it is left alone")
    if os.path.exists("/usr/bin/drill"):
        skip("/usr/bin/drill exists already; it is left alone")

    # A timeout's SIGTERM still removes the package.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped by SIGTERM"))

    deb = package_build.packages(args.deb_dir)["deb"]
    os.makedirs(args.work_dir, exist_ok=True)
    depends = subprocess.run(["dpkg-deb", "--field", deb, "Depends"], capture_output=True,
                             text=True, check=True).stdout.strip()
    log(f"{os.path.basename(deb)}: Depends: {depends}")
    check_only_drill_would_be_installed(deb)

    try:
        run(["apt-get", "install", *APT_OPTIONS, deb], env=APT_ENV, stdout=subprocess.DEVNULL)
        if not package_installed():
            raise AssertionError("apt-get install left drill uninstalled")
        check_files(args.app_id, args.icon_sizes, present=True)
        run_installed_program(args.x_session, args.app_id,
                              os.path.join(args.work_dir, "drill.log"))
    finally:
        if package_known():
            run(["apt-get", "purge", *APT_OPTIONS, "drill"], env=APT_ENV,
                stdout=subprocess.DEVNULL)
    if package_known():
        raise AssertionError("drill is still known to dpkg after apt-get purge")
    check_files(args.app_id, args.icon_sizes, present=False)
    log("the package installed, ran and was removed without a trace")


if __name__ == "__main__":
    main()
