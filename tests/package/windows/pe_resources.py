"""Reads the resources of a Windows program (a PE file, 32- or 64-bit) without Windows: the
manifest, and the version numbers of its version resource, which Windows Installer compares with
the version in the package's File table."""

import struct

RT_VERSION = 16
RT_MANIFEST = 24


def _sections(data):
    if data[:2] != b"MZ":
        raise ValueError("not a Windows program (no MZ header)")
    pe, = struct.unpack_from("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a Windows program (no PE header)")
    count, = struct.unpack_from("<H", data, pe + 6)
    optional_size, = struct.unpack_from("<H", data, pe + 20)
    optional = pe + 24
    magic, = struct.unpack_from("<H", data, optional)
    directories = optional + {0x10B: 96, 0x20B: 112}[magic]
    resource_rva, resource_size = struct.unpack_from("<II", data, directories + 2 * 8)
    sections = []
    table = optional + optional_size
    for i in range(count):
        virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from(
            "<IIII", data, table + i * 40 + 8)
        sections.append((virtual_address, max(virtual_size, raw_size), raw_offset))
    return sections, resource_rva, resource_size


def resources(path):
    """{(type, name, language): bytes}; types and names are numbers or texts."""
    with open(path, "rb") as file:
        data = file.read()
    sections, root_rva, root_size = _sections(data)
    if not root_size:
        return {}

    def offset(rva):
        for address, size, raw in sections:
            if address <= rva < address + size:
                return raw + rva - address
        raise ValueError(f"address {rva:#x} is in no section")

    root = offset(root_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", data, root + directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, root + directory + 16 + i * 8)
            if name & 0x80000000:
                at = root + (name & 0x7FFFFFFF)
                length, = struct.unpack_from("<H", data, at)
                name = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            yield name, target

    found = {}
    for kind, kinds in entries(0):
        for name, names in entries(kinds & 0x7FFFFFFF):
            for language, leaf in entries(names & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, root + leaf)
                start = offset(rva)
                found[(kind, name, language)] = data[start:start + size]
    return found


def manifest(path):
    """The text of the program's own manifest (resource 1 of type RT_MANIFEST), or None."""
    texts = [data for (kind, name, _), data in resources(path).items()
             if kind == RT_MANIFEST and name == 1]
    return texts[0].decode("utf-8") if texts else None


def fixed_file_version(path):
    """The file version of the version resource's fixed part, as "a.b.c.d", or None."""
    for (kind, _, _), data in resources(path).items():
        if kind != RT_VERSION:
            continue
        at = data.find(struct.pack("<I", 0xFEEF04BD))
        if at < 0:
            continue
        high, low = struct.unpack_from("<II", data, at + 8)
        return f"{high >> 16}.{high & 0xFFFF}.{low >> 16}.{low & 0xFFFF}"
    return None
