#!/usr/bin/env python3
"""Writes the site's service worker (sw.js) from its template: the list of the site's files with
the SHA-256 of each, by which the worker knows a file of this build from an older copy, and its
cache named after the content of every other file of the site, so that any change to the site
reaches the browsers that keep a copy of it.

usage: make_worker.py TEMPLATE SITE_DIR"""
import hashlib, json, os, sys

template, site = sys.argv[1:3]
files = {}
for folder, dirs, names in sorted(os.walk(site)):
    dirs.sort()
    for name in sorted(names):
        path = os.path.join(folder, name)
        relative = os.path.relpath(path, site).replace(os.sep, '/')
        # drill.wasm.js serves only a page opened from the folder, where no worker runs.
        if relative in ('sw.js', 'drill.wasm.js'):
            continue
        with open(path, 'rb') as f:
            files[relative] = hashlib.sha256(f.read()).hexdigest()
digest = hashlib.sha256()
for relative, content in files.items():
    digest.update(relative.encode() + b'\0')
    digest.update(bytes.fromhex(content))
listing = '{\n' + ',\n'.join('  %s: %s' % (json.dumps(name), json.dumps(content))
                             for name, content in files.items()) + '\n}'
with open(template, encoding='utf-8') as f:
    text = f.read().replace('@SITE_FILES@', listing).replace('@SITE_HASH@', digest.hexdigest()[:16])
with open(os.path.join(site, 'sw.js'), 'w', encoding='utf-8') as f:
    f.write(text)
