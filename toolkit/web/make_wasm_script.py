#!/usr/bin/env python3
"""Writes the program's WebAssembly as a script that holds it as base64 text, for a page opened
from the folder (file://), where the browser runs scripts but fetches no file.

usage: make_wasm_script.py WASM_FILE SCRIPT_FILE"""
import base64, sys

wasm, script = sys.argv[1:3]
with open(wasm, 'rb') as f:
    text = base64.b64encode(f.read()).decode('ascii')
with open(script, 'w', encoding='ascii') as f:
    f.write('var drillWasm = "%s";\n' % text)
