#!/usr/bin/env python3
"""Runs ulvenaReader on one end-to-end case and compares everything it does, byte for byte.

A case is a folder:
  case.json  {"args": [...], "stdin": "...", "status": 0, "setup": "..."}; every "{report}" in
             args stands for the report file's name. stdin defaults to "", and null closes it;
             see execute() for "answer_prompt" and report_before() for "report_parts".
             setup, when given: "directory" (the report is a folder), "read-only" (the program
             runs as an unprivileged user on a file it cannot write), "full-disk" (the report
             lies on a filesystem with no room left). "report_name" names the report file,
             folders included, when it is not rapports.txt.
  report     the report file before the run (absent: no such file)
  stdout, stderr, appended
             what the program must print, and what it must add to the end of the report file
             (absent: nothing). The bytes that were in the file before the run must stay as
             they were.
  *.windows  the same, where the Windows program differs by more than the rules below.

The Windows program runs in text mode: it reads a CRLF line end as LF and writes LF as CRLF,
on the console and in the file. Those rules turn every Linux expectation into a Windows one.
"""

import argparse
import errno
import json
import os
import pathlib
import select
import shutil
import subprocess
import sys
import tempfile
import time

REPORT_NAME = "rapports.txt"
NOBODY = 65534
PAGE = 4096


def windows_text(data: bytes) -> bytes:
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def expected(case: pathlib.Path, name: str, windows: bool) -> bytes:
    override = case / (name + ".windows")
    if windows and override.exists():
        return override.read_bytes()
    path = case / name
    data = path.read_bytes() if path.exists() else b""
    return windows_text(data) if windows else data


def as_nobody():
    os.setgid(NOBODY)
    os.setuid(NOBODY)


def unprivileged_wine_prefix(emulator: list[str]) -> dict:
    """Wine runs only in a prefix of the user's own: nobody gets one where it can reach it."""
    prefix = pathlib.Path(tempfile.gettempdir()) / "ulvena_e2e_wineprefix_nobody"
    environment = dict(os.environ, WINEPREFIX=str(prefix), HOME=str(prefix))
    if not prefix.exists():
        prefix.mkdir(parents=True)
        os.chown(prefix, NOBODY, NOBODY)
        subprocess.run(emulator + ["wineboot", "--init"], env=environment, preexec_fn=as_nobody,
                       stdin=subprocess.DEVNULL, capture_output=True, check=True)
    return environment


def prepare(setup, report: pathlib.Path, work: pathlib.Path, program: list[str]):
    """Makes the situation that a case names; returns how to start the program in it: a step
    to take in the child before it runs, the command, and the environment (None: this one)."""
    if setup is None:
        return None, program, None
    if setup == "directory":
        report.mkdir()
        return None, program, None
    if setup == "read-only":
        # Root writes to any file, whatever its mode: run as an ordinary user instead, from a
        # copy of the program, as that user may not reach the build folder.
        report.chmod(0o444)
        work.chmod(0o755)
        copy = work / pathlib.Path(program[-1]).name
        shutil.copy2(program[-1], copy)
        emulator = program[:-1]
        environment = unprivileged_wine_prefix(emulator) if emulator else None
        return as_nobody, emulator + [str(copy)], environment
    if setup == "full-disk":
        # No page left on the filesystem: a report that fills whole pages can take no byte more,
        # and one that ends inside a page only as many as fill it.
        with open(work / "filler", "wb", buffering=0) as filler:
            try:
                while filler.write(b"x" * PAGE):
                    pass
            except OSError as error:
                if error.errno != errno.ENOSPC:
                    raise
        return None, program, None
    raise ValueError(f"unknown setup {setup!r}")


def compare(label: str, want: bytes, got: bytes) -> list[str]:
    if want == got:
        return []
    at = next((i for i, (a, b) in enumerate(zip(want, got)) if a != b), min(len(want), len(got)))
    return [
        f"{label} differs at byte {at} (expected {len(want)} bytes, got {len(got)}):\n"
        f"  expected ...{want[max(0, at - 40):at + 60]!r}\n"
        f"  got      ...{got[max(0, at - 40):at + 60]!r}"
    ]


def report_before(case: pathlib.Path, settings: dict):
    """The report file's bytes before the run: the case's "report" file, or "report_parts",
    pairs of a Latin-1 text and how many times it repeats, for files too large to keep."""
    if "report_parts" in settings:
        return b"".join(text.encode("latin-1") * count for text, count in settings["report_parts"])
    path = case / "report"
    return path.read_bytes() if path.exists() else None


def close_stdin():
    os.close(0)


def execute(command, work, settings, start, environment):
    """Runs the program; returns its standard output, standard error and status.

    "stdin" is what it reads at the prompt (null: no standard input at all). With
    "answer_prompt", the answer is sent only once the prompt has been printed, which shows
    that the prompt reaches the screen before the program waits."""
    stdin = settings.get("stdin", "")
    preexec = [step for step in (start, None if stdin is not None else close_stdin) if step]
    process = subprocess.Popen(
        command, cwd=work, env=environment, stdin=subprocess.PIPE if stdin is not None else None,
        stdout=subprocess.PIPE, stderr=subprocess.PIPE,
        preexec_fn=(lambda: [step() for step in preexec]) if preexec else None)
    early = b""
    if settings.get("answer_prompt"):
        deadline = time.monotonic() + 10
        while not early.rstrip(b"\r\n").endswith(b"ENTER !!"):
            ready, _, _ = select.select([process.stdout], [], [], deadline - time.monotonic())
            chunk = os.read(process.stdout.fileno(), 65536) if ready else b""
            if not chunk:
                early += b"[no prompt on the screen while the program waits]"
                break
            early += chunk
        time.sleep(0.2)
        if process.poll() is not None:
            early += b"[the program ended without waiting for the answer]"
    out, err = process.communicate(None if stdin is None else stdin.encode(), timeout=600)
    return early + out, err, process.returncode


def run(case: pathlib.Path, program: list[str], windows: bool) -> list[str]:
    settings = json.loads((case / "case.json").read_text())
    work = pathlib.Path(tempfile.mkdtemp(prefix="ulvena_e2e_"))
    tiny_disk = settings.get("setup") == "full-disk"
    if tiny_disk:
        subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={16 * PAGE}", "tmpfs", str(work)],
                       check=True)
    try:
        report_name = settings.get("report_name", REPORT_NAME)
        report = work / report_name
        report.parent.mkdir(parents=True, exist_ok=True)
        before = report_before(case, settings)
        if before is not None:
            report.write_bytes(before)
        start, program, environment = prepare(settings.get("setup"), report, work, program)

        args = [a.replace("{report}", report_name) for a in settings.get("args", ["{report}"])]
        stdout, stderr, returncode = execute(program + args, work, settings, start, environment)

        failures = compare("stdout", expected(case, "stdout", windows), stdout)
        failures += compare("stderr", expected(case, "stderr", windows), stderr)
        status = settings.get("status", 0) & 0xFF
        if returncode != status:
            failures.append(f"status: expected {status}, got {returncode}")
        if before is not None and report.is_file():
            after = report.read_bytes()
            failures += compare("file before the run", before, after[: len(before)])
            appended = expected(case, "appended", windows)
            failures += compare("appended to the file", appended, after[len(before):])
        return failures
    finally:
        if tiny_disk:
            subprocess.run(["umount", str(work)], check=True)
        shutil.rmtree(work, ignore_errors=True)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--windows", action="store_true", help="expect the Windows program")
    parser.add_argument("case", type=pathlib.Path)
    parser.add_argument("program", nargs="+", help="the program, after its emulator if any")
    options = parser.parse_args()
    program = [os.path.abspath(p) if os.path.exists(p) else p for p in options.program]
    failures = run(options.case, program, options.windows)
    for failure in failures:
        print(failure)
    print(f"{options.case.name}: {'FAILED' if failures else 'passed'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
