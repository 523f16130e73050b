"""What an installation of drill puts on a system, and readers for its desktop files."""

import configparser
import struct


def expected_files(app_id, icon_sizes):
    """Paths below the prefix (/usr) that an installation must hold."""
    files = ["bin/drill",
             f"share/applications/{app_id}.desktop",
             f"share/metainfo/{app_id}.metainfo.xml",
             "share/doc/drill/copyright",
             "share/doc/drill/changelog.gz",
             "share/man/man1/drill.1.gz",
             "share/man/ru/man1/drill.1.gz"]
    files += [icon_path(app_id, size) for size in icon_sizes]
    return files


def icon_path(icon_name, size):
    return f"share/icons/hicolor/{size}x{size}/apps/{icon_name}.png"


def read_desktop_entry(path):
    """The [Desktop Entry] group of a desktop file as a dict; keys keep their case and locale."""
    parser = configparser.ConfigParser(interpolation=None, strict=True)
    parser.optionxform = str
    with open(path, encoding="utf-8") as file:
        parser.read_file(file)
    return dict(parser["Desktop Entry"])


def png_size(path):
    """(width, height) from a PNG file's header; ValueError if it is not a PNG."""
    with open(path, "rb") as file:
        head = file.read(24)
    if len(head) < 24 or head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        raise ValueError(f"{path} is not a PNG file")
    return struct.unpack(">II", head[16:24])


def parse_sizes(text):
    return [int(size) for size in text.replace(";", ",").split(",") if size]
