"""What the raw AT-SPI tests and the round-trip benchmark share: the accessibility bus of a
session, a program's unique name on it, and waiting for a condition. Gio is imported on first
use, once the session's bus address is in the environment."""
import time

CALL_MS = 3000


def poll(condition, what, timeout=15):
    """The first true value of condition(), asked every 50 ms; AssertionError after timeout s."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


def accessibility_bus_address():
    from gi.repository import Gio
    session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    reply = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                              None, None, Gio.DBusCallFlags.NONE, CALL_MS, None)
    return reply.unpack()[0]


def unique_name_of(bus, pid):
    """The unique name that the process pid holds on bus, or None."""
    from gi.repository import Gio, GLib

    def ask(method, parameters):
        return bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus",
                             "org.freedesktop.DBus", method, parameters, None,
                             Gio.DBusCallFlags.NONE, CALL_MS, None).unpack()[0]

    for name in ask("ListNames", None):
        if not name.startswith(":"):
            continue
        try:
            if ask("GetConnectionUnixProcessID", GLib.Variant("(s)", (name,))) == pid:
                return name
        except GLib.Error:
            continue
    return None
