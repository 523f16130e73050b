"""Sets up and tears down the Wine environment that the Windows build's tests run in.

  wine_fixture.py setup   <state dir> <display number> <wine loader>
  wine_fixture.py cleanup <state dir> <display number> <wine loader>

setup: a fresh Wine prefix in <state dir>/prefix, a private Xvfb on :<display number> with a
window manager (openbox), a persistent wineserver, the prefix initialised (wineboot), Wine's crash
dialog switched off (a crashing test reports and ends) and the faces of Debian's fonts-wine
copied into it. Every server is started in its own session with its output
in a log file, never on this script's output: CTest waits for every process that holds its pipe,
and a wineserver that inherits it makes each test wait seconds or hang.
cleanup: stops the wineserver, the window manager and the X server. A setup also clears what a
previous run left behind (an interrupted run never reached its cleanup).
"""

import json
import os
import shutil
import signal
import subprocess
import sys
import time

FONT_DIRECTORIES = ("/usr/share/wine/fonts",)  # what the fonts-wine package installs
SCREEN = "1280x1024x24"


def log(message):
    print(f"wine fixture: {message}", flush=True)


def wineserver_binary():
    """The wineserver itself, not Debian's wrapper (which adds its own -p0)."""
    for path in ("/usr/lib/wine/wineserver64", "/usr/lib/wine/wineserver32"):
        if os.access(path, os.X_OK):
            return path
    found = shutil.which("wineserver")
    if not found:
        sys.exit("wine fixture: no wineserver found (Debian package wine)")
    return found


class Fixture:
    def __init__(self, state_dir, display, loader):
        self.state_dir = os.path.abspath(state_dir)
        self.display = int(display)
        self.loader = loader
        self.prefix = os.path.join(self.state_dir, "prefix")
        self.state_file = os.path.join(self.state_dir, "state.json")
        self.logs = os.path.join(self.state_dir, "logs")
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith(("DBUS_", "WAYLAND", "XDG_SESSION", "WINE"))}
        self.env.update(DISPLAY=f":{self.display}", WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", LANG="C.UTF-8",
                        HOME=self.state_dir)

    # -- processes ------------------------------------------------------------------------------
    def spawn(self, name, argv):
        os.makedirs(self.logs, exist_ok=True)
        with open(os.path.join(self.logs, f"{name}.log"), "ab") as out:
            proc = subprocess.Popen(argv, env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.STDOUT, start_new_session=True)
        return proc.pid

    def run(self, name, argv, timeout):
        os.makedirs(self.logs, exist_ok=True)
        with open(os.path.join(self.logs, f"{name}.log"), "ab") as out:
            try:
                return subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                      stderr=subprocess.STDOUT, start_new_session=True,
                                      timeout=timeout).returncode
            except subprocess.TimeoutExpired:
                sys.exit(f"wine fixture: {' '.join(argv)} took more than {timeout} s "
                         f"(log: {self.logs}/{name}.log)")

    def wait(self, condition, what, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if condition():
                return
            time.sleep(0.05)
        sys.exit(f"wine fixture: timed out after {timeout} s waiting for {what}")

    def x_ready(self):
        return subprocess.run(["xdpyinfo"], env=self.env, capture_output=True).returncode == 0

    def window_manager_ready(self):
        out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env,
                             capture_output=True, text=True).stdout
        return "window id" in out

    # -- setup and cleanup ----------------------------------------------------------------------
    def setup(self):
        started = time.monotonic()
        self.cleanup(quiet=True)
        self.check_loader()
        self.check_display_free()
        shutil.rmtree(self.prefix, ignore_errors=True)
        shutil.rmtree(self.logs, ignore_errors=True)
        os.makedirs(self.prefix)
        state = {"display": self.display, "prefix": self.prefix, "pids": {}}
        state["pids"]["Xvfb"] = self.spawn("Xvfb", [
            "Xvfb", f":{self.display}", "-screen", "0", SCREEN, "-dpi", "96", "-nolisten", "tcp",
            "-noreset"])
        self.save(state)
        self.wait(self.x_ready, f"Xvfb on :{self.display}", 20)
        state["pids"]["openbox"] = self.spawn("openbox", ["openbox", "--sm-disable"])
        self.save(state)
        self.wait(self.window_manager_ready, "openbox", 20)
        # The server first, persistent, so that no test's wine starts one on CTest's pipe.
        self.spawn("wineserver", [wineserver_binary(), "-p", "-f"])
        status = self.run("wineboot", [self.loader, "wineboot", "-i"], timeout=90)
        if status != 0:
            sys.exit(f"wine fixture: wineboot failed with status {status} "
                     f"(log: {self.logs}/wineboot.log)")
        # A program that crashes has Wine's debugger print the fault and a backtrace on its
        # output and end it, instead of showing a crash dialog that waits for a click.
        status = self.run("reg", [self.loader, "reg", "add", r"HKCU\Software\Wine\WineDbg",
                                  "/v", "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f"],
                          timeout=90)
        if status != 0:
            sys.exit(f"wine fixture: reg add failed with status {status} "
                     f"(log: {self.logs}/reg.log)")
        self.copy_fonts()
        self.start_keeper()
        self.start_desktop()
        log(f"prefix {self.prefix} on display :{self.display} ready in "
            f"{time.monotonic() - started:.1f} s")

    def start_keeper(self):
        """An idle command interpreter that lives as long as the wineserver: when the last
        Windows program of a prefix ends, Wine stops its own services, and the next program
        waits seconds for them to start again. Its input is a FIFO that it holds open for
        writing itself, so it never reads an end of input."""
        fifo = os.path.join(self.state_dir, "keeper.fifo")
        if os.path.exists(fifo):
            os.remove(fifo)
        os.mkfifo(fifo)
        fd = os.open(fifo, os.O_RDWR)
        try:
            with open(os.path.join(self.logs, "keeper.log"), "ab") as out:
                subprocess.Popen([self.loader, "cmd", "/k"], env=self.env, stdin=fd, stdout=out,
                                 stderr=subprocess.STDOUT, start_new_session=True)
        finally:
            os.close(fd)

    def start_desktop(self):
        """The desktop's own process (explorer.exe /desktop), started here while the keeper
        holds the desktop, so that it lives as long as the keeper. The first program that needs
        the desktop starts it, with that program's standard error: started by a test, it would
        hold CTest's pipe and CTest would wait for it to the test's time limit. wineboot starts
        it, but where Wine runs slowly (32-bit Wine through qemu) that one ends before the
        keeper is up; a second wineboot, once the keeper's prompt shows, starts it again with
        its output in the log."""
        keeper_log = os.path.join(self.logs, "keeper.log")

        def keeper_ready():
            try:
                with open(keeper_log, "rb") as f:
                    return b">" in f.read()
            except OSError:
                return False

        self.wait(keeper_ready, "the keeper's prompt", 60)
        for _ in range(3):
            if self.desktop_running():
                return
            status = self.run("wineboot", [self.loader, "wineboot", "-i"], timeout=90)
            if status != 0:
                sys.exit(f"wine fixture: the second wineboot failed with status {status} "
                         f"(log: {self.logs}/wineboot.log)")
            time.sleep(0.5)
        if not self.desktop_running():
            log("warning: no desktop process (explorer.exe /desktop) stays up; the first test "
                "that needs one starts it on CTest's pipe and waits for it")

    def desktop_running(self):
        """Whether an explorer.exe /desktop of this prefix runs."""
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    cmdline = f.read()
                if b"explorer.exe" not in cmdline or b"/desktop" not in cmdline:
                    continue
                with open(f"/proc/{entry}/environ", "rb") as f:
                    environ = f.read().split(b"\0")
            except OSError:
                continue
            if f"WINEPREFIX={self.prefix}".encode() in environ:
                return True
        return False

    def cleanup(self, quiet=False):
        if os.path.isdir(self.prefix):
            subprocess.run([wineserver_binary(), "-k"], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30,
                           check=False)
        state = self.load()
        for name in ("openbox", "Xvfb"):
            pid = state.get("pids", {}).get(name)
            if pid and is_program(pid, name):
                stop(pid)
        if os.path.exists(self.state_file):
            os.remove(self.state_file)
        if not quiet:
            log(f"stopped wineserver, openbox and Xvfb of :{self.display}")

    def check_loader(self):
        try:
            probe = subprocess.run([self.loader, "--version"], env=self.env, capture_output=True,
                                   text=True, timeout=30)
        except OSError as error:
            sys.exit(f"wine fixture: cannot run the Wine loader {self.loader}: {error}")
        if probe.returncode != 0:
            sys.exit(f"wine fixture: the Wine loader {self.loader} does not start "
                     f"({(probe.stderr or probe.stdout).strip()}). A 32-bit loader needs a "
                     f"kernel with IA-32 emulation, or, on a kernel without it, qemu's emulator "
                     f"registered for 32-bit programs: as root, run scripts/deps.sh windows "
                     f"(scripts/run32.sh).")

    def check_display_free(self):
        lock = f"/tmp/.X{self.display}-lock"
        try:
            with open(lock) as f:
                pid = int(f.read().strip() or 0)
        except (OSError, ValueError):
            return
        if pid and process_alive(pid):
            sys.exit(f"wine fixture: display :{self.display} is in use by process {pid}; "
                     f"configure with -DDRILL_WINE_DISPLAY=<another number>")
        os.remove(lock)  # left behind by an X server that is gone

    def copy_fonts(self):
        """Debian's Wine does not look into fonts-wine's folder for a new prefix: without the
        faces the frames' buttons are drawn as letters and "MS Sans Serif" is missing."""
        target = os.path.join(self.prefix, "drive_c", "windows", "Fonts")
        os.makedirs(target, exist_ok=True)
        copied = 0
        for directory in FONT_DIRECTORIES:
            if not os.path.isdir(directory):
                continue
            for name in os.listdir(directory):
                source = os.path.join(directory, name)
                if os.path.isfile(source):
                    shutil.copy(source, os.path.join(target, name))
                    copied += 1
        if not copied:
            log("warning: no fonts-wine faces found (Debian package fonts-wine)")

    def save(self, state):
        with open(self.state_file, "w") as f:
            json.dump(state, f)

    def load(self):
        try:
            with open(self.state_file) as f:
                return json.load(f)
        except (OSError, ValueError):
            return {}


def process_alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except ProcessLookupError:
        return False
    except PermissionError:
        return True


def is_program(pid, name):
    """Whether pid still is the program we started (the number may have been given to another)."""
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return os.path.basename(f.read().split(b"\0")[0].decode()) == name
    except OSError:
        return False


def stop(pid):
    for signum, wait in ((signal.SIGTERM, 5), (signal.SIGKILL, 5)):
        try:
            os.killpg(pid, signum)
        except (ProcessLookupError, PermissionError):
            return
        deadline = time.monotonic() + wait
        while time.monotonic() < deadline:
            if not process_alive(pid) or not is_program_running(pid):
                return
            time.sleep(0.05)


def is_program_running(pid):
    """False for a zombie: a child of ours that ended and waits to be reaped is not running."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def main():
    if len(sys.argv) != 5 or sys.argv[1] not in ("setup", "cleanup"):
        sys.exit(__doc__)
    fixture = Fixture(*sys.argv[2:])
    if sys.argv[1] == "setup":
        fixture.setup()
    else:
        fixture.cleanup()


if __name__ == "__main__":
    main()
