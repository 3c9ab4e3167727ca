#!/usr/bin/env python3
"""Writes the report of every end-to-end case, as run_case.py makes it, into the folder given,
under the case's name: the unit tests read each with every way of finding bytes."""

import json
import pathlib
import shutil
import sys

sys.dont_write_bytecode = True  # nothing of the tests' is left in the source tree
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "e2e"))
import run_case  # noqa: E402  pylint: disable=C0413

folder = pathlib.Path(sys.argv[1])
shutil.rmtree(folder, ignore_errors=True)
folder.mkdir(parents=True)
for case_folder in sorted((run_case.ROOT / "tests/e2e/cases").iterdir()):
    case = run_case.Case(**json.loads((case_folder / "case.json").read_text()))
    report = run_case.report_before(case_folder, case)
    if report is not None:
        (folder / case_folder.name).write_bytes(report)
