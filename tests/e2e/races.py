#!/usr/bin/env python3
"""Runs ulvenaReader while something else happens to its report file, and checks that the file
only ever gets a block that is the totals of the file it ends, and that a block reported as added
stays there.

The program runs under strace, which holds one of its system calls on the report file for a
second (the n-th open, read or the like, counted on that file alone), and the race is played out
in that second. Usage: races.py SCENARIO WORK_FOLDER PROGRAM. Exits 77, CTest's skip, without
strace, or without root where a scenario mounts a file system.
"""

import os
import pathlib
import shutil
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing of the tests' is left in the source tree
from run_case import PICTURE_PATHS, SKIP, report  # noqa: E402  pylint: disable=wrong-import-position

ECHO = (b"1 Metal, 2 Cristal, 3 Deuterium.\nTotal : Metal=1, Cristal=2, Deuterium=3\n\n"
        b"Rentabilite :\nMetal=1, Cristal=2, Deuterium=3\n")
PROMPT = b"\n\nVeuillez appuyer sur la touche ENTER !!\n"
CUT_SHORT_ECHO = (b'1 Metal, ERROR : la ligne ne peut etre lu : "1 "\nWARNING : seul 1 nombre a ete lu !!\n'
                  b"Total : Metal=1, Cristal=0, Deuterium=0\n\n"
                  b"Rentabilite :\nMetal=1, Cristal=0, Deuterium=0\n")
CHANGED = b'ERROR : "rapports.txt" changed while it was being read: nothing was appended.\n'
HEADING, METAL, CRYSTAL, DEUTERIUM = (f"[img]http://images.ulvena.net{path}[/img]"
                                      for path in PICTURE_PATHS)
BLOCK = (f"\n[center][color=#00ff00]{HEADING}\n{METAL} 1\n\n{CRYSTAL} 2\n\n{DEUTERIUM} 3"
         "[/color][/center]").encode()
HELD = 1.0  # seconds for which strace holds the call
MIDWAY = 0.4  # when, meanwhile, the file is changed


def start(program: str, report: pathlib.Path, held_call: str, nth: int,
          fault: str = "") -> subprocess.Popen:
    """Starts the program with its `nth` `held_call` on the report file held for HELD seconds,
    and made to fail with `fault` (an errno name) when one is given."""
    failure = f"error={fault}:" if fault else ""
    strace = ["strace", "-f", "--quiet=all", "-o", os.devnull, "-P", report.name,
              "-e", f"trace={held_call}",
              "-e", f"inject={held_call}:{failure}delay_enter={int(HELD * 1e6)}:when={nth}"]
    # LeakSanitizer, in the sanitizer build, cannot work in a process that strace follows.
    environment = dict(os.environ)
    environment["ASAN_OPTIONS"] = environment.get("ASAN_OPTIONS", "") + ":detect_leaks=0"
    return subprocess.Popen(strace + [program, report.name], cwd=report.parent, env=environment,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)


def finish(process: subprocess.Popen) -> tuple[bytes, bytes, int]:
    out, err = process.communicate(timeout=60)
    return out, err, process.returncode


def changed_meanwhile(program, report, held_call, nth, change, file_after, echo=ECHO):
    """The report changes while the program is held; it must append nothing and say so."""
    report.write_bytes(b"1 2 3\n")
    process = start(program, report, held_call, nth)
    time.sleep(MIDWAY)
    change(report)
    outcome = finish(process)
    after = report.read_bytes() if report.exists() else None
    return [(outcome, (echo + CHANGED + PROMPT, b"", 254)), (after, file_after)]


def replace(report):
    replacement = report.with_name("new.txt")
    replacement.write_bytes(b"4 5 6\n")
    os.replace(replacement, report)


def append(report):
    with open(report, "ab") as file:
        file.write(b"7 8 9\n")


def two_runs_on_a_nearly_full_disk(program, report, *_):
    """Two runs at once where only one block fits: the first one's block, reported as added,
    stays; the later run waits, reads it, and takes back only its own bytes."""
    if os.geteuid() != 0:
        print("skipped: mounting the tiny file system needs root")
        sys.exit(SKIP)
    page = 4096
    subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={4 * page}", "tmpfs", str(report.parent)],
                   check=True)
    try:
        with open(report.parent / "filler", "wb") as filler:
            filler.write(b"x" * 3 * page)
        # One page: room for one block after the report line, not for two.
        line = b"1 2 3 " + b"x" * (page - len(BLOCK) - 100) + b"\n"
        report.write_bytes(line)
        first = start(program, report, "openat", 2)  # held before it opens the file to append
        time.sleep(MIDWAY)
        later = subprocess.Popen([program, report.name], cwd=report.parent,
                                 stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE)
        outcomes = [finish(first), finish(later)]
        after = report.read_bytes()
    finally:
        subprocess.run(["umount", str(report.parent)], check=True)
    empty_line = (b'ERROR : la ligne ne peut etre lu : "\n"\nWARNING : seul 0 nombre a ete lu !!\n'
                  b"Total : Metal=1, Cristal=2, Deuterium=3\n\n")
    later_echo = ECHO.replace(b"Rentabilite", 3 * empty_line + b"Rentabilite")
    failed = b'ERROR : the result can\'t be written to "rapports.txt".\n'
    return [(outcomes[0], (ECHO + PROMPT, b"", 0)),
            (outcomes[1], (later_echo + failed + PROMPT, b"", 254)),
            (after, line + BLOCK)]


def flush_fails(program, report, *_):
    """The block reaches the file but not its storage: it is taken back, and the run fails."""
    report.write_bytes(b"1 2 3\n")
    outcome = finish(start(program, report, "fsync", 1, "EIO"))
    failed = b'ERROR : the result can\'t be written to "rapports.txt".\n'
    return [(outcome, (ECHO + failed + PROMPT, b"", 254)), (report.read_bytes(), b"1 2 3\n")]


def run_waiting_at_its_prompt(program, report, *_):
    """A run that failed waits at its prompt for the player to read it: another run over the same
    file goes on meanwhile, since the first one let the file go before its prompt."""
    report.write_bytes(b"1 2 3\0\n")
    waiting = subprocess.Popen([program, report.name], cwd=report.parent, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    time.sleep(MIDWAY)
    later = subprocess.Popen([program, report.name], cwd=report.parent,
                             stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
    try:
        later_outcome = later.communicate(timeout=10) + (later.returncode,)
    except subprocess.TimeoutExpired:
        later.kill()
        later_outcome = later.communicate() + (later.returncode,)
    waiting_outcome = waiting.communicate(b"\n") + (waiting.returncode,)
    not_text = b'ERROR : "rapports.txt" is not a text file: nothing was appended.\n'
    return [(later_outcome, (ECHO + not_text + PROMPT, b"", 254)),
            (waiting_outcome, (ECHO + not_text + PROMPT, b"", 254))]


SCENARIOS = {
    "run_waiting_at_its_prompt_holds_no_lock": run_waiting_at_its_prompt,
    "flush_to_storage_fails": flush_fails,
    "file_replaced_before_the_append": lambda p, r: changed_meanwhile(
        p, r, "openat", 2, replace, b"4 5 6\n"),
    "file_removed_before_the_append": lambda p, r: changed_meanwhile(
        p, r, "openat", 2, os.remove, None),
    "line_appended_by_another_program_before_the_append": lambda p, r: changed_meanwhile(
        p, r, "openat", 2, append, b"1 2 3\n7 8 9\n"),
    "file_truncated_while_being_read": lambda p, r: changed_meanwhile(
        p, r, "read", 2, lambda report: os.truncate(report, 0), b"", CUT_SHORT_ECHO),
    "two_runs_at_once_on_a_nearly_full_disk": two_runs_on_a_nearly_full_disk,
}


def main() -> int:
    scenario, work, program = sys.argv[1], pathlib.Path(sys.argv[2]), os.path.abspath(sys.argv[3])
    if shutil.which("strace") is None:
        print("skipped: strace is not installed")
        return SKIP
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    try:
        checks = SCENARIOS[scenario](program, work / "rapports.txt")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return report(scenario, [f"expected {want!r}\n     got {got!r}"
                             for got, want in checks if got != want])


if __name__ == "__main__":
    sys.exit(main())
