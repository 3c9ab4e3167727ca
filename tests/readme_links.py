#!/usr/bin/env python3
"""Checks that the read-me stays a player's page of at most 200 lines, and that every link in it,
in CONTRIBUTING.md and in docs/ to a file of the repository leads to one."""

import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
faults = []
readme_lines = len((ROOT / "README.md").read_text().splitlines())
if readme_lines > 200:
    faults.append(f"README.md has {readme_lines} lines, more than 200")
for page in [ROOT / "README.md", ROOT / "CONTRIBUTING.md", *sorted((ROOT / "docs").glob("*.md"))]:
    for target in re.findall(r"\]\(([^)#]+)(?:#[^)]*)?\)", page.read_text()):
        if not target.startswith(("http://", "https://")) and not (page.parent / target).exists():
            faults.append(f"{page.relative_to(ROOT)}: no such file: {target}")
for fault in faults:
    print(fault)
print(f"read-me and links: {'FAILED' if faults else 'passed'}")
sys.exit(1 if faults else 0)
