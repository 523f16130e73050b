#!/usr/bin/env python3
"""Writes the site's service worker (sw.js) from its template, its cache named after the content
of every other file of the site, so that any change to the site reaches the browsers that keep a
copy of it.

usage: make_worker.py TEMPLATE SITE_DIR"""
import hashlib, os, sys

template, site = sys.argv[1:3]
digest = hashlib.sha256()
for folder, dirs, names in sorted(os.walk(site)):
    dirs.sort()
    for name in sorted(names):
        path = os.path.join(folder, name)
        relative = os.path.relpath(path, site)
        if relative == 'sw.js':
            continue
        digest.update(relative.encode() + b'\0')
        with open(path, 'rb') as f:
            digest.update(hashlib.sha256(f.read()).digest())
with open(template, encoding='utf-8') as f:
    text = f.read().replace('@SITE_HASH@', digest.hexdigest()[:16])
with open(os.path.join(site, 'sw.js'), 'w', encoding='utf-8') as f:
    f.write(text)
