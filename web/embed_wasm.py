#!/usr/bin/env python3
"""Writes the page's engine, a WebAssembly module, into a script, gzipped and in base64: a page
opened straight from the disk may load the scripts beside it, but not fetch a .wasm file, and
base64 alone would make the module a third larger, where gzip makes it less than half.

    embed_wasm.py MODULE SCRIPT
"""

import base64
import gzip
import pathlib
import sys

module, script = map(pathlib.Path, sys.argv[1:])
packed = base64.b64encode(gzip.compress(module.read_bytes(), 9, mtime=0)).decode("ascii")
script.write_text("// The page's engine, made by the build from the program's C++ sources: a\n"
                  "// WebAssembly module, gzipped, in base64.\n"
                  f"const moteurWasm = '{packed}';\n")
