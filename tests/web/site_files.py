#!/usr/bin/python3
"""The built site's files, without a browser.

Fonts: every font that site.css embeds goes with its licence file in the site, which holds the
font's own copyright notice, the licence that the REUSE data declares for it and that licence's
full text; and a subset font, being a modified font, carries none of the names that its licence
reserves for the original.

Offline: the service worker keeps every file of the site, and only files that exist, knowing each
by its digest, and its cache is named after the site's files as they are; the same sources make the same files.

usage: site_files.py SOURCE_DIR SITE_DIR"""

import base64
import hashlib
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

from fontTools.ttLib import TTFont

SOURCE, SITE = sys.argv[1], sys.argv[2]
failures = []

# Names that the fonts' licences keep for the original fonts.
RESERVED = ["Bitstream", "Vera", "Arev", "Tavmjong", "PT Sans", "ParaType", "Liberation", "Arimo",
            "Tinos", "Cousine"]
# The licence line of a licence file; written in two, so that REUSE does not read it as this
# file's own.
TAG = "SPDX-License-" "Identifier: "
NAMING_IDS = {1, 2, 3, 4, 6, 16, 17, 21, 22}  # the name records that name the font


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)


def normal(text):
    return " ".join(text.replace("©", "(c)").lower().split())


def declared_licences():
    """Path -> License of the REUSE data's stanzas."""
    licences, files = {}, []
    with open(os.path.join(SOURCE, ".reuse", "dep5"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("Files:"):
                files = line.split()[1:]
            elif line.startswith("License:"):
                for path in files:
                    licences[path] = line.split(":", 1)[1].strip()
    return licences


def fonts():
    """(comment before the rule, family, font) for every @font-face of site.css."""
    with open(os.path.join(SITE, "site.css"), encoding="utf-8") as f:
        css = f.read()
    rules = re.findall(r"(?:/\*([^*]*)\*/\s*)?@font-face\s*\{([^}]*)\}", css)
    check(rules, "site.css declares fonts")
    for comment, rule in rules:
        family = re.search(r'font-family:\s*"([^"]+)"', rule).group(1)
        data = re.search(r"url\(data:font/woff2;base64,([A-Za-z0-9+/=]+)\)", rule)
        check(data, f"{family}: embedded as WOFF2")
        if data:
            yield comment, family, TTFont(io.BytesIO(base64.b64decode(data.group(1))))


def check_fonts():
    declared = declared_licences()
    for comment, family, font in fonts():
        names = font["name"]
        check(names.getDebugName(1) == family, f"{family}: the font names itself "
                                               f"{names.getDebugName(1)!r}")
        naming = [record.toUnicode() for record in names.names if record.nameID in NAMING_IDS]
        if "CFF " in font:
            cff = font["CFF "].cff
            naming += cff.fontNames + [cff.topDictIndex[0].FullName, cff.topDictIndex[0].FamilyName]
        for reserved in RESERVED:
            check(not any(reserved.lower() in name.lower() for name in naming),
                  f"{family}: a name of the subset holds the reserved {reserved!r}: {naming}")

        licence_file = re.search(r"fonts/[\w.-]+\.txt", comment or "")
        check(licence_file, f"{family}: site.css names its licence file")
        if not licence_file:
            continue
        path = os.path.join(SITE, licence_file.group(0))
        check(os.path.isfile(path), f"{family}: {licence_file.group(0)} is in the site")
        if not os.path.isfile(path):
            continue
        with open(path, encoding="utf-8") as f:
            text = f.read()
        for line in names.getDebugName(0).splitlines():
            check(normal(line).rstrip(".") in normal(text),
                  f"{family}: the licence file holds the font's notice {line!r}")
        stated = re.search("^" + TAG + r"(.+)$", text, re.M)
        source = "toolkit/web/" + licence_file.group(0)
        check(stated and stated.group(1) == declared.get(source),
              f"{family}: licence {stated and stated.group(1)!r}, the REUSE data declares "
              f"{declared.get(source)!r} for {source}")
        if not stated:
            continue
        for part in re.split(r" (?:AND|WITH) ", stated.group(1)):
            with open(os.path.join(SOURCE, "LICENSES", part + ".txt"), encoding="utf-8") as f:
                check(f.read() in text, f"{family}: the licence file holds the text of {part}")


def check_cache():
    with open(os.path.join(SITE, "sw.js"), encoding="utf-8") as f:
        listed = re.search(r"const FILES = (\{[^}]*\});", f.read())
    check(listed, "sw.js lists the files it keeps")
    kept = json.loads(listed.group(1)) if listed else {}
    site = {os.path.relpath(os.path.join(folder, name), SITE)
            for folder, _, names in os.walk(SITE) for name in names}
    # The worker itself is kept by the browser, not by the worker; drill.wasm.js serves only a
    # page opened from the folder, which has no worker.
    unkept = {"sw.js", "drill.wasm.js"}
    check(site - unkept <= set(kept), f"the service worker keeps every file: missing "
                                      f"{sorted(site - unkept - set(kept))}")
    check(set(kept) <= site, f"the service worker keeps no missing file: "
                             f"{sorted(set(kept) - site)}")
    # By its digest the worker tells a file of this build from an older copy.
    for name in sorted(set(kept) & site):
        with open(os.path.join(SITE, name), "rb") as f:
            check(kept[name] == hashlib.sha256(f.read()).hexdigest(),
                  f"sw.js has the digest of {name} as built")
    # The worker is named after the site as it is: made after every other file.
    with tempfile.TemporaryDirectory() as scratch:
        copy = os.path.join(scratch, "site")
        shutil.copytree(SITE, copy)
        subprocess.run([sys.executable, os.path.join(SOURCE, "toolkit", "web", "make_worker.py"),
                        os.path.join(SOURCE, "toolkit", "web", "sw.js.in"), copy], check=True)
        with open(os.path.join(copy, "sw.js"), encoding="utf-8") as f, \
                open(os.path.join(SITE, "sw.js"), encoding="utf-8") as g:
            check(f.read() == g.read(), "sw.js was made from the site as it is now")


def check_made_again():
    """The same sources give the same files: a site built again unchanged is not a newer site
    that every browser keeping a copy would fetch anew."""
    with tempfile.TemporaryDirectory() as scratch:
        subprocess.run([sys.executable, os.path.join(SOURCE, "toolkit", "web", "make_site.py"),
                        SOURCE, scratch, scratch], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for folder, _, names in os.walk(scratch):
            for name in names:
                made = os.path.join(folder, name)
                built = os.path.join(SITE, os.path.relpath(made, scratch))
                if os.path.exists(built):
                    with open(made, "rb") as f, open(built, "rb") as g:
                        check(f.read() == g.read(),
                              f"{os.path.relpath(built, SITE)} is the same when made again")


check_fonts()
check_cache()
check_made_again()
print("FAILED" if failures else "passed", len(failures), "failures")
sys.exit(1 if failures else 0)
