#!/usr/bin/env python3
"""Writes the program's WebAssembly in the two other forms the site carries:
- drill.wasm.gz, the same compressed, which a page over http(s) fetches and unpacks as it
  arrives: a third of the size from any server, one that sends files as they are included;
- a script that holds it as base64 text, for a page opened from the folder (file://), where the
  browser runs scripts but fetches no file.
Both are the same bytes from the same WebAssembly on every build.

usage: make_wasm_script.py WASM_FILE SCRIPT_FILE GZIP_FILE"""
import base64, gzip, sys

wasm, script, packed = sys.argv[1:4]
with open(wasm, 'rb') as f:
    content = f.read()
with open(script, 'w', encoding='ascii') as f:
    f.write('var drillWasm = "%s";\n' % base64.b64encode(content).decode('ascii'))
with open(packed, 'wb') as f:
    f.write(gzip.compress(content, compresslevel=9, mtime=0))
