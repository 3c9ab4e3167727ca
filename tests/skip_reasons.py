#!/usr/bin/env python3
"""Prints what each skipped test said, from CTest's results in JUnit's form, after CTest's own
list of the tests that did not run, which names them without the reason. Prints nothing when
the run wrote no results or skipped nothing.

    skip_reasons.py RESULTS.xml
"""

import sys
import xml.etree.ElementTree as ElementTree

try:
    results = ElementTree.parse(sys.argv[1])
except FileNotFoundError:
    sys.exit(0)
skipped = [case for case in results.iter("testcase") if case.find("skipped") is not None]
if skipped:
    print("\nWhat the tests that did not run said:")
# GoogleTest's own lines around its reason: its banner and its [ progress ] lines.
BOILERPLATE = ("[", "Running main() from", "Note: Google Test filter")
for case in skipped:
    said = [line.strip() for line in (case.findtext("system-out") or "").splitlines()]
    said = [line for line in said if not line.startswith(BOILERPLATE)]
    print(f"\t{case.get('name')}: " + (" / ".join(line for line in said if line) or "nothing"))
