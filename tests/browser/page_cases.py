#!/usr/bin/env python3
"""The end-to-end cases that are a plain run over a report file, as the page must give them.

    page_cases.py SCRATCH

Writes each case's report, under its name, and the file the Windows program leaves when it
appends a block, in SCRATCH/<case>/, and prints a JSON list: per case, its name, its report's
name and path, the console's text (the Windows program's standard output with LF line ends,
without the prompt for Enter, as a Windows console shows its bytes), the block's text (from
[center] to [/center], LF line ends) and the path of the file with the block, or null when the
program appends nothing. The expectations are the cases' own, turned into the Windows program's by
run_case.py's rules; and since a browser gives the page a file's name without its folders, the
messages name the report so, as the program run in the report's folder would.
"""

import codecs
import json
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "e2e"))
import run_case  # noqa: E402

PROMPT = b"\n\nVeuillez appuyer sur la touche ENTER !!\n"
BYTE_ORDER_MARKS = {b"\xff\xfe": "utf-16-le", b"\xfe\xff": "utf-16-be"}

# What is not UTF-8 shows as Windows-1252; its five undefined bytes as U+FFFD.
codecs.register_error("windows-1252", lambda error: (
    error.object[error.start:error.end].decode("cp1252", errors="replace"), error.end))


def plain_run(folder: pathlib.Path, case: run_case.Case) -> bool:
    """A run over a report file that the page can make: no setup, no limit, no other argument,
    and nothing on standard error, whose place among the console's lines is not recorded."""
    return (case.args == ["{report}"] and case.setup is None and case.memory_limit_mib is None
            and case.file_size_limit is None and not (folder / "stderr").exists()
            and (case.stdout_to, case.stderr_to, case.stdin_stays_open) == ("pipe", "pipe", False))


def page_case(folder: pathlib.Path, scratch: pathlib.Path) -> dict | None:
    case = run_case.Case(**json.loads((folder / "case.json").read_text()))
    report = run_case.report_before(folder, case)
    if report is None or not plain_run(folder, case):
        return None
    name = pathlib.PurePosixPath(case.report_name).name
    stdout = run_case.expected(folder, "stdout", windows=True).replace(b"\r\n", b"\n")
    stdout = stdout.replace(case.report_name.encode(), name.encode())
    if not stdout.endswith(PROMPT):
        raise ValueError(f"{folder.name}: its standard output does not end with the prompt")
    appended = run_case.expected(folder, "appended", windows=False)
    encoding = BYTE_ORDER_MARKS.get(report[:2], "utf-8")
    work = scratch / folder.name
    (work / case.report_name).parent.mkdir(parents=True)
    (work / case.report_name).write_bytes(report)
    download = None
    if appended:
        download = work / "download"
        download.write_bytes(report + run_case.expected(folder, "appended", windows=True))
    return {
        "name": folder.name,
        "reportName": name,
        "report": str(work / case.report_name),
        "console": stdout[:-len(PROMPT)].decode("utf-8", errors="windows-1252"),
        "block": appended.decode(encoding).removeprefix("\n"),
        "download": download and str(download),
    }


def main() -> int:
    scratch = pathlib.Path(sys.argv[1])
    folders = sorted((run_case.ROOT / "tests/e2e/cases").iterdir())
    cases = [case for folder in folders if (case := page_case(folder, scratch))]
    json.dump(cases, sys.stdout, ensure_ascii=False)
    return 0


if __name__ == "__main__":
    sys.exit(main())
