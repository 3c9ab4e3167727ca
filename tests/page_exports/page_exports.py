#!/usr/bin/env python3
"""Runs the page's exports, built for this machine, over every end-to-end case that the page can
run, and compares what page_read gives back with what the page must show and offer: the console's
text, the block and the bytes appended to the file, as page_cases.py has them.

    page_exports.py PAGE_EXPORTS SCRATCH
"""

import pathlib
import shutil
import struct
import subprocess
import sys

sys.dont_write_bytecode = True  # nothing of the tests' is left in the source tree
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "browser"))
import page_cases  # noqa: E402  pylint: disable=C0413
from page_cases import run_case  # noqa: E402  pylint: disable=C0413


def faults(program: str, want: dict) -> list[str]:
    ran = subprocess.run([program, want["report"], want["reportName"]], capture_output=True,
                         check=False)
    if ran.returncode != 0 or ran.stderr:
        return [f"status {ran.returncode}, standard error {ran.stderr!r}"]
    sizes = struct.unpack("<3I", ran.stdout[:12])
    console, block, appended = (ran.stdout[12 + sum(sizes[:i]):12 + sum(sizes[:i + 1])]
                                for i in range(3))
    report = pathlib.Path(want["report"]).read_bytes()
    download = pathlib.Path(want["download"]).read_bytes() if want["download"] else report
    found = run_case.compare("console", want["console"].encode("utf-16-le"), console)
    found += run_case.compare("block", want["block"].encode(), block)
    return found + run_case.compare("appended", download[len(report):], appended)


def main() -> int:
    program, scratch = sys.argv[1], pathlib.Path(sys.argv[2])
    shutil.rmtree(scratch, ignore_errors=True)
    failures = []
    for folder in sorted((run_case.ROOT / "tests/e2e/cases").iterdir()):
        want = page_cases.page_case(folder, scratch)
        if want:
            failures += [f"{want['name']}: {fault}" for fault in faults(program, want)]
    shutil.rmtree(scratch, ignore_errors=True)
    return run_case.report("page exports", failures)


if __name__ == "__main__":
    sys.exit(main())
