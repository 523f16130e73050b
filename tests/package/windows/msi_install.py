#!/usr/bin/env python3
"""Installs drill's Windows Installer package under Wine as a school administrator would, silently
(msiexec /i ... /qn), and checks what it leaves: the program in Program Files, the Start menu
shortcut «Сложение чисел» to it with the program's icon, the entry in the list of installed
programs; starts the installed program through its shortcut, sees its window, ends it with Enter
(status 0); removes the package silently (msiexec /x ... /qn) and checks that nothing is left.
Then the same over an installed older version: the newer package replaces it; and the older
package over the newer one: refused with status 1603 and the package's Russian message.

Runs in the prefix and on the display of the wine fixture (WINEPREFIX, DISPLAY and
DRILL_WINE_LOADER come from CTest).

Usage: msi_install.py --msi PKG --version V --previous-msi OLDER --previous-version PV
                      --arch x86|x64 --icon MAINICON.ico --probe probe.exe --shots DIR
"""

import argparse
import glob
import os
import re
import struct
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
TESTS = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(TESTS, "win32"))
from winsession import WineSession  # noqa: E402

PRODUCT_NAME = "Сложение чисел"
PUBLISHER = "The drill developers"
SHORTCUT = "Сложение чисел.lnk"
MAIN_WINDOW = "Сложение чисел (2 класс)"
DOWNGRADE_MESSAGE = ("Уже установлена более новая версия программы «Сложение чисел». Чтобы "
                     "установить эту версию, сначала удалите установленную.")
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"

options = None


def log(message):
    print(f"-- {message}", flush=True)


def environment():
    env = dict(os.environ)
    for name in ("WINEPREFIX", "DISPLAY", "DRILL_WINE_LOADER"):
        if not env.get(name):
            sys.exit(f"{name} is not set: run this under CTest, which gives the wine fixture's "
                     f"environment")
    env.setdefault("WINEDEBUG", "-all")
    env["LANG"] = "C.UTF-8"  # Cyrillic file names on the command line, as UTF-8
    return env


def wine(*args, timeout=120):
    return subprocess.run([os.environ["DRILL_WINE_LOADER"], *args], env=environment(),
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)


def windows_path(unix_path):
    """The path through Wine's drive Z:, which is the Unix root."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def unix_path(path):
    """A C:\\ path of the prefix as a path on this system (case-insensitively, as Windows)."""
    drive, _, rest = path.partition(":")
    if drive.upper() != "C":
        raise AssertionError(f"{path} is not on drive C:")
    current = os.path.join(os.environ["WINEPREFIX"], "drive_c")
    for part in filter(None, rest.split("\\")):
        names = {name.lower(): name for name in os.listdir(current)} if os.path.isdir(current) \
            else {}
        current = os.path.join(current, names.get(part.lower(), part))
    return current


def msiexec_command(*args):
    """The command line that runs msiexec and prints its exit status in full. Wine's own exit
    status is the Windows one cut to 8 bits (1603 comes out as 67, 3010 as 194), so cmd, which
    keeps all of it, reports it."""
    script = os.path.join(options.work, "msiexec-status.cmd")
    with open(script, "w", newline="\r\n") as file:
        file.write("@echo off\nstart /wait msiexec %*\necho msiexec-status=%errorlevel%\n")
    return [os.environ["DRILL_WINE_LOADER"], "cmd", "/c", windows_path(script), *args]


def msiexec_status(output):
    found = re.findall(r"msiexec-status=(-?\d+)", output.decode(errors="replace"))
    if not found:
        raise AssertionError(f"msiexec's status is missing from:\n{output!r}")
    return int(found[-1])


def msiexec(action, package, expected_status=0):
    """Runs msiexec silently with a verbose log, as a deployment tool does, and checks its exit
    status."""
    log(f"msiexec {action} {os.path.basename(package)} /qn")
    log_file = os.path.join(options.work, "msiexec.log")
    if os.path.exists(log_file):
        os.remove(log_file)
    result = subprocess.run(msiexec_command(action, windows_path(package), "/qn", "/l*v",
                                            windows_path(log_file)),
                            env=environment(), stdin=subprocess.DEVNULL, capture_output=True,
                            timeout=180)
    status = msiexec_status(result.stdout)
    if status != expected_status:
        text = ""
        if os.path.exists(log_file):
            with open(log_file, "rb") as file:
                text = file.read().decode("cp1252", errors="replace")
        raise AssertionError(f"msiexec {action} ended with status {status}, not "
                             f"{expected_status}:\n{result.stderr.decode(errors='replace')}\n"
                             f"{text[-3000:]}")
    log(f"status {status}")


def refused_downgrade_shown():
    """The older package started by hand over the newer one, with msiexec's basic interface:
    the package's Russian message in a message box; OK ends msiexec with status 1603."""
    log(f"msiexec /i {os.path.basename(options.previous_msi)} /qb over {options.version}")
    with WineSession(options.probe) as session:
        proc = subprocess.Popen(msiexec_command("/i", windows_path(options.previous_msi), "/qb"),
                                env=dict(session.env, LANG="C.UTF-8"),
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, start_new_session=True)
        session.started.append(proc)

        def message_box():
            try:
                snapshot = session.snapshot("msiexec.exe")
            except Exception:  # msiexec is not there yet
                return None
            return next((window for window in snapshot.visible()
                         if any(c.text == DOWNGRADE_MESSAGE for c in window.children)), None)

        def shown():
            try:
                return session.snapshot("msiexec.exe").describe()
            except Exception as error:
                return str(error)

        box = session.wait(message_box, lambda: f"«{DOWNGRADE_MESSAGE}» in a window of "
                                                f"msiexec; it shows:\n{shown()}", timeout=90)
        time.sleep(0.5)  # let the box finish drawing before the picture is taken
        os.makedirs(options.shots, exist_ok=True)
        shot = session.screenshot(os.path.join(options.shots, "downgrade-refused.png"))
        log(f"msiexec shows «{DOWNGRADE_MESSAGE}» in «{box.text}»; screenshot {shot}")
        session.keys("Return")
        try:
            output, _ = proc.communicate(timeout=60)
        except subprocess.TimeoutExpired:
            raise AssertionError("msiexec did not end when its message box was answered")
    status = msiexec_status(output)
    if status != 1603:
        raise AssertionError(f"the refused downgrade ended with status {status}, not 1603")
    log("status 1603")


# -- what the package leaves on the system ----------------------------------------------------------
def program_dir():
    drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c")
    wow64 = os.path.isdir(os.path.join(drive_c, "windows", "syswow64"))
    folder = "Program Files (x86)" if options.arch == "x86" and wow64 else "Program Files"
    return f"C:\\{folder}\\Drill"


def shortcut_places():
    """The Start menu's program folders: all users' (where Windows puts a per-machine
    installation's shortcut) and each user's (where Wine's Windows Installer puts it)."""
    drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c")
    places = [os.path.join(drive_c, "ProgramData", "Microsoft", "Windows", "Start Menu",
                           "Programs")]
    places += glob.glob(os.path.join(drive_c, "users", "*", "AppData", "Roaming", "Microsoft",
                                     "Windows", "Start Menu", "Programs"))
    return places


def find_shortcuts():
    return [path for place in shortcut_places()
            for path in glob.glob(os.path.join(place, "**", "*.lnk"), recursive=True)
            if "drill" in os.path.basename(path).lower() or PRODUCT_NAME in path]


def read_shortcut(path):
    """Target, working folder and icon of a shell link (.lnk) file."""
    with open(path, "rb") as file:
        data = file.read()
    if len(data) < 76 or struct.unpack_from("<I", data, 0)[0] != 0x4C:
        raise AssertionError(f"{path} is not a shell link")
    flags, = struct.unpack_from("<I", data, 20)
    icon_index, = struct.unpack_from("<i", data, 56)
    offset = 76
    if flags & 0x1:  # HasLinkTargetIDList
        offset += 2 + struct.unpack_from("<H", data, offset)[0]
    target = None
    if flags & 0x2:  # HasLinkInfo
        size, header_size, info_flags, _, base_offset, _, suffix_offset = struct.unpack_from(
            "<7I", data, offset)
        if info_flags & 0x1:  # VolumeIDAndLocalBasePath

            def ansi(at):
                end = data.index(b"\0", at)
                return data[at:end].decode("cp1252")

            target = ansi(offset + base_offset) + ansi(offset + suffix_offset)
        offset += size
    unicode = bool(flags & 0x80)
    strings = {}
    for flag, name in ((0x4, "name"), (0x8, "relative"), (0x10, "workdir"), (0x20, "args"),
                       (0x40, "icon")):
        if flags & flag:
            count, = struct.unpack_from("<H", data, offset)
            offset += 2
            width = 2 if unicode else 1
            raw = data[offset:offset + count * width]
            strings[name] = raw.decode("utf-16-le" if unicode else "cp1252").rstrip("\0")
            offset += count * width
    return {"target": target, "workdir": strings.get("workdir"), "icon": strings.get("icon"),
            "icon_index": icon_index}


def registry_view():
    """The registry view that the package writes its entries in: Windows Installer keeps a 32-bit
    package's entries in the 32-bit view (Wow6432Node on 64-bit Windows), a 64-bit one's in the
    64-bit view. The view is named explicitly: reg.exe itself is 32-bit when the 32-bit loader
    runs it, and a 32-bit reg.exe is redirected to Wow6432Node, so reading both the plain key and
    Wow6432Node would read the same key twice."""
    return "/reg:32" if options.arch == "x86" else "/reg:64"


def export_key(key):
    """The values below a registry key in the package's view, as {subkey: {name: value}}; {} if
    it is not there."""
    out = os.path.join(options.work, "export.reg")
    if os.path.exists(out):
        os.remove(out)
    if wine("reg", "export", key, windows_path(out), "/y", registry_view()).returncode != 0:
        return {}
    with open(out, "rb") as file:
        raw = file.read()
    text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode()
    text = text.replace("\\\r\n  ", "").replace("\\\n  ", "")  # continued lines
    entries, current = {}, None
    for line in text.splitlines():
        if line.startswith("[") and line.endswith("]"):
            current = entries.setdefault(line[1:-1].rsplit("\\", 1)[-1], {})
        elif current is not None and line.startswith('"') and '"=' in line:
            name, _, value = line[1:].partition('"=')
            if value.startswith('"') and value.endswith('"'):
                value = value[1:-1].replace('\\"', '"').replace("\\\\", "\\")
            elif value.startswith("hex(2):"):  # a string with %variables%, in UTF-16
                value = bytes.fromhex(value[7:].replace(",", "")).decode("utf-16-le")
                value = value.rstrip("\0")
            current[name] = value
    return entries


def installed_entries():
    """The entries of the list of installed programs that are this program."""
    found = []
    for code, values in export_key(UNINSTALL_KEY).items():
        if values.get("DisplayName") == PRODUCT_NAME:
            found.append((code, values))
    return found


def packed_code(code):
    """A product code as Windows Installer writes it in its registry keys: each of the first
    three groups reversed, then each byte of the rest with its two digits swapped."""
    digits = code.strip("{}").replace("-", "")
    return (digits[7::-1] + digits[11:7:-1] + digits[15:11:-1] +
            "".join(digits[i + 1] + digits[i] for i in range(16, 32, 2)))


def product_icon(code):
    products = export_key(r"HKLM\Software\Classes\Installer\Products")
    return products.get(packed_code(code), {}).get("ProductIcon")


def same_file(path, expected):
    if not path or not os.path.isfile(path):
        return False
    with open(path, "rb") as a, open(expected, "rb") as b:
        return a.read() == b.read()


# -- checks ------------------------------------------------------------------------------------------
def check_installed(version):
    exe = unix_path(program_dir() + "\\Drill.exe")
    if not os.path.isfile(exe):
        raise AssertionError(f"{program_dir()}\\Drill.exe is not there")
    if not os.path.isfile(unix_path(program_dir() + "\\LICENSE.txt")):
        raise AssertionError("the licence is not installed beside the program")

    shortcuts = find_shortcuts()
    if [os.path.basename(s) for s in shortcuts] != [SHORTCUT]:
        raise AssertionError(f"expected one Start menu shortcut {SHORTCUT}, found {shortcuts}")
    link = read_shortcut(shortcuts[0])
    if (link["target"] or "").lower() != (program_dir() + "\\Drill.exe").lower():
        raise AssertionError(f"the shortcut points at {link['target']}, not at the program")
    if (link["workdir"] or "").rstrip("\\").lower() != program_dir().lower():
        raise AssertionError(f"the shortcut starts in {link['workdir']!r}")
    if not link["icon"] or not same_file(unix_path(link["icon"]), options.icon):
        raise AssertionError(f"the shortcut's icon {link['icon']} is not the program's icon")
    log(f"shortcut {os.path.relpath(shortcuts[0], os.environ['WINEPREFIX'])} -> "
        f"{link['target']} (icon {link['icon']},{link['icon_index']})")

    entries = installed_entries()
    if len(entries) != 1:
        raise AssertionError(f"expected one entry «{PRODUCT_NAME}» among the installed "
                             f"programs, found {entries}")
    code, values = entries[0]
    wanted = {"DisplayVersion": version, "Publisher": PUBLISHER}
    for name, value in wanted.items():
        if values.get(name) != value:
            raise AssertionError(f"the installed programs' entry has {name}={values.get(name)!r}, "
                                 f"not {value!r}: {values}")
    uninstall = values.get("UninstallString", "")
    if code.lower() not in uninstall.lower() or "/x" not in uninstall.lower():
        raise AssertionError(f"UninstallString {uninstall!r} does not remove {code}")
    # The list's icon: Windows writes it into the entry, Wine only among the installer's
    # published product data, where the list of programs also looks for it.
    icon = values.get("DisplayIcon") or product_icon(code)
    if not icon or not same_file(unix_path(icon.split(",")[0]), options.icon):
        raise AssertionError(f"the entry's icon {icon!r} is not the program's icon: {values}")
    log(f"installed programs: {PRODUCT_NAME} {version} by {PUBLISHER}, {code}, icon {icon}")
    return code, link


def check_removed(codes):
    left = []
    if os.path.exists(unix_path(program_dir())):
        left.append(f"{program_dir()}: {os.listdir(unix_path(program_dir()))}")
    left += find_shortcuts()
    left += [f"installed programs entry {code}" for code, _ in installed_entries()]
    for code in codes:
        cached = unix_path(f"C:\\windows\\Installer\\{code}")
        if os.path.exists(cached):
            left.append(f"the cached icons in {cached}")
    if left:
        raise AssertionError("left behind after msiexec /x:\n  " + "\n  ".join(left))
    log("nothing of the program is left")


def run_from_shortcut(link):
    """Starts the program through its shortcut, as a pupil does from the Start menu, and ends it
    with Enter, which presses «Выход», the button that has the focus at start."""
    shortcut = find_shortcuts()[0]
    with WineSession(options.probe) as session:
        log(f"start {os.path.basename(shortcut)}")
        proc = subprocess.Popen([session.loader, "start", "/wait", "/unix", shortcut],
                                env=dict(session.env, LANG="C.UTF-8"), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True)
        session.started.append(proc)

        def main_window():
            try:
                snapshot = session.snapshot("Drill.exe")
            except Exception:  # the program is not there yet
                return None
            window = snapshot.window(MAIN_WINDOW)
            return window and snapshot.active == window.hwnd and (snapshot, window)

        snapshot, window = session.wait(main_window, f"the active window «{MAIN_WINDOW}»",
                                        timeout=60)
        focus = next((c.text for c in window.children if c.hwnd == snapshot.focus), None)
        if focus != "Выход":
            raise AssertionError(f"the focus is on {focus!r}, not on «Выход»")
        time.sleep(0.5)  # let the window finish drawing before the picture is taken
        os.makedirs(options.shots, exist_ok=True)
        shot = session.screenshot(os.path.join(options.shots, "installed-program.png"))
        log(f"the installed program shows «{MAIN_WINDOW}», focus on «{focus}»; "
            f"screenshot {shot}")
        session.keys("Return")
        try:
            status = proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            raise AssertionError("the program did not end on Enter")
        if status != 0:
            raise AssertionError(f"the program ended with status {status}")
        log("Enter ended the program with status 0")


def main():
    global options
    parser = argparse.ArgumentParser()
    for name in ("--msi", "--version", "--previous-msi", "--previous-version", "--icon",
                 "--probe", "--shots", "--work"):
        parser.add_argument(name, required=True)
    parser.add_argument("--arch", choices=["x86", "x64"], required=True)
    options = parser.parse_args()
    for package in (options.msi, options.previous_msi):
        if not os.path.isfile(package):
            sys.exit(f"{package} is missing: build it first (cmake --build)")
    os.makedirs(options.work, exist_ok=True)

    if find_shortcuts() or installed_entries():
        sys.exit("the prefix has drill installed already")

    log(f"a fresh installation of {options.version}")
    msiexec("/i", options.msi)
    code, link = check_installed(options.version)
    run_from_shortcut(link)
    msiexec("/x", options.msi)
    check_removed([code])

    log(f"{options.previous_version}, then {options.version} over it")
    msiexec("/i", options.previous_msi)
    old_code, _ = check_installed(options.previous_version)
    msiexec("/i", options.msi)
    new_code, _ = check_installed(options.version)
    if new_code == old_code:
        raise AssertionError("both versions have the same product code: no major upgrade")
    # An older package over a newer one: refused, silently by a deployment tool with status
    # 1603, and by hand with the package's Russian message; the newer version stays as it was.
    msiexec("/i", options.previous_msi, expected_status=1603)
    refused_downgrade_shown()
    check_installed(options.version)
    msiexec("/x", options.msi)
    check_removed([old_code, new_code])


if __name__ == "__main__":
    main()
