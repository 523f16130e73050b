#!/usr/bin/env python3
"""Prints this machine's own apt sources for some suites of its release, so that the project
never names an archive's address itself: whatever mirror the machine uses (Debian's, a country
mirror, a school's local one) serves the suites asked for too.

Usage: scripts/apt-sources.py [--as SUITE] SUITE...
  Prints, in apt's deb822 format, one stanza for each enabled binary source ("deb") in
  /etc/apt/sources.list, /etc/apt/sources.list.d/*.list and *.sources that serves one of the
  SUITEs: its address and its options (Signed-By, Architectures, ...), with only those suites and
  the component main. With --as, the suites are replaced by the one named: the stanza of the
  release's archive for another suite of the same archive (bookworm -> bookworm-backports).
  Exits with status 1, printing nothing, when no source serves any SUITE.

The file it prints can be written to /etc/apt/sources.list.d/NAME.sources, or given to
mmdebstrap as its mirror.
"""

import argparse
import glob
import os
import re
import sys

# One-line options whose deb822 field has another name; the others keep theirs, capitalized as
# deb822 writes them (signed-by: Signed-By).
FIELD_OF_OPTION = {"arch": "Architectures", "lang": "Languages", "target": "Targets"}
RESERVED = {"types", "uris", "suites", "components", "enabled"}


def one_line_sources(path):
    """Each `deb` line of a sources.list as (options {field: value}, [uri], [suite])."""
    with open(path, encoding="utf-8") as file:
        for line in file:
            line = line.split("#", 1)[0].strip()
            found = re.match(r"^(deb)\s+(?:\[([^\]]*)\]\s+)?(\S+)\s+(\S+)(?:\s+.*)?$", line)
            if not found:
                continue
            options = {}
            for option in (found.group(2) or "").split():
                name, _, value = option.partition("=")
                name = name.rstrip("+-")
                field = FIELD_OF_OPTION.get(name) or "-".join(
                    part.capitalize() for part in name.split("-"))
                options[field] = value.replace(",", " ")
            yield options, [found.group(3)], [found.group(4)]


def deb822_sources(path):
    """Each enabled stanza with type deb of a .sources file as (options, uris, suites)."""
    with open(path, encoding="utf-8") as file:
        text = file.read()
    for block in re.split(r"\n\s*\n", text):
        fields, key = {}, None
        for line in block.splitlines():
            if line.startswith("#") or not line.strip():
                continue
            if line[0] in " \t" and key:
                fields[key] += "\n" + line
            elif ":" in line:
                key, value = line.split(":", 1)
                fields[key.strip()] = value.strip()
        lower = {k.lower(): v for k, v in fields.items()}
        if lower.get("enabled", "yes").lower() == "no" or "deb" not in lower.get("types", "").split():
            continue
        options = {k: v for k, v in fields.items() if k.lower() not in RESERVED}
        yield options, lower.get("uris", "").split(), lower.get("suites", "").split()


def machine_sources(root="/etc/apt"):
    lists = glob.glob(os.path.join(root, "sources.list"))
    lists += sorted(glob.glob(os.path.join(root, "sources.list.d", "*.list")))
    for path in lists:
        yield from one_line_sources(path)
    for path in sorted(glob.glob(os.path.join(root, "sources.list.d", "*.sources"))):
        yield from deb822_sources(path)


def stanzas(suites, rename=None, root="/etc/apt"):
    """The deb822 stanzas (text) of the machine's sources that serve one of suites."""
    result = []
    for options, uris, served in machine_sources(root):
        wanted = [suite for suite in served if suite in suites]
        if not wanted or not uris:
            continue
        if rename:
            wanted = [rename]
        lines = ["Types: deb", f"URIs: {' '.join(uris)}", f"Suites: {' '.join(wanted)}",
                 "Components: main"]
        lines += [f"{key}: {value}" for key, value in options.items()]
        stanza = "\n".join(lines) + "\n"
        if stanza not in result:
            result.append(stanza)
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--as", dest="rename", metavar="SUITE")
    parser.add_argument("suites", nargs="+", metavar="SUITE")
    options = parser.parse_args()
    found = stanzas(options.suites, options.rename,
                    os.environ.get("DRILL_APT_ETC", "/etc/apt"))
    if not found:
        return 1
    print("\n".join(found), end="")
    return 0


if __name__ == "__main__":
    sys.exit(main())
