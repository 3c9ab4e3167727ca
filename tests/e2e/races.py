#!/usr/bin/env python3
"""Runs ulvenaReader while something else happens to its report file, and checks that the file
only ever gets a block that is the totals of the file it ends, and that a block reported as added
stays there.

The program runs under strace, which holds one of its system calls on the report file for a
second (the n-th open, read or the like, counted on that file alone), and the race is played out
in that second, once the trace shows that the call is held; or strace makes that call fail. A few
scenarios put the program where its file or its memory runs short instead. Usage: races.py
[--windows] SCENARIO WORK_FOLDER PROGRAM..., the program after its emulator if any; --windows
expects the Windows program's line ends. Exits 77, CTest's skip, without strace where a scenario
needs it, or where a scenario mounts a file system and may not.
"""

import fcntl
import os
import pathlib
import resource
import select
import shutil
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing of the tests' is left in the source tree
from run_case import (  # noqa: E402  pylint: disable=C0413
    PICTURE_PATHS, SANITIZED, SKIP, Skip, mount_tmpfs, report, windows_text)

ECHO = (b"1 Metal, 2 Cristal, 3 Deuterium.\nTotal : Metal=1, Cristal=2, Deuterium=3\n\n"
        b"Rentabilite :\nMetal=1, Cristal=2, Deuterium=3\n")
PROMPT = b"\n\nVeuillez appuyer sur la touche ENTER !!\n"
CUT_SHORT_ECHO = (b'1 Metal, ERROR : la ligne ne peut etre lu : "1 "\nWARNING : seul 1 nombre a ete lu !!\n'
                  b"Total : Metal=1, Cristal=0, Deuterium=0\n\n"
                  b"Rentabilite :\nMetal=1, Cristal=0, Deuterium=0\n")
# Read as "1 " and then, once rewritten, "5 6\n".
REWRITTEN_ECHO = (b"1 Metal, 5 Cristal, 6 Deuterium.\nTotal : Metal=1, Cristal=5, Deuterium=6\n\n"
                  b"Rentabilite :\nMetal=1, Cristal=5, Deuterium=6\n")
CHANGED = b'ERROR : "rapports.txt" changed while it was being read: nothing was appended.\n'
UNCONFIRMED = (b'ERROR : the result written to "rapports.txt" can\'t be read back: nothing was '
               b"appended.\n")
HEADING, METAL, CRYSTAL, DEUTERIUM = (f"[img]http://images.ulvena.net{path}[/img]"
                                      for path in PICTURE_PATHS)
BLOCK = (f"\n[center][color=#00ff00]{HEADING}\n{METAL} 1\n\n{CRYSTAL} 2\n\n{DEUTERIUM} 3"
         "[/color][/center]").encode()
WAITING = b'WARNING : "rapports.txt" is in use by another program: waiting for it.\n'
HELD = 1.0  # seconds for which strace holds the call
MIDWAY = 0.4  # when, meanwhile, the file is changed
WINDOWS = "--windows" in sys.argv


def start(program: list[str], report: pathlib.Path, held_call: str, nth: int | str,
          fault: str = "") -> subprocess.Popen:
    """Starts the program with its `nth` `held_call` on the report file (each from the n-th on,
    for "n+") held for HELD seconds, and made to fail with `fault` (an errno name) when one is
    given."""
    if shutil.which("strace") is None:
        print("skipped: strace is not installed")
        sys.exit(SKIP)
    failure = f"error={fault}:" if fault else ""
    strace = ["strace", "-f", "--quiet=all", "-o", trace_of(report), "-P", report.name,
              "-e", f"trace={held_call}",
              "-e", f"inject={held_call}:{failure}delay_enter={int(HELD * 1e6)}:when={nth}"]
    # LeakSanitizer, in the sanitizer build, cannot work in a process that strace follows.
    environment = dict(os.environ)
    environment["ASAN_OPTIONS"] = environment.get("ASAN_OPTIONS", "") + ":detect_leaks=0"
    return subprocess.Popen(strace + program + [report.name], cwd=report.parent, env=environment,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)


def trace_of(report: pathlib.Path) -> pathlib.Path:
    """Beside the work folder, which may be a tiny file system."""
    return report.parent.with_name(report.parent.name + ".trace")


def wait_for_hold(report: pathlib.Path, held_call: str, nth: int):
    """Returns once strace has printed the start of the held call, which it does as it holds it."""
    trace, deadline = trace_of(report), time.monotonic() + 60
    while time.monotonic() < deadline and (not trace.exists() or sum(
            trace.read_text(errors="replace").count(f" {call}(") for call in held_call.split(","))
                                               < nth):
        time.sleep(0.01)


def finish(process: subprocess.Popen) -> tuple[bytes, bytes, int]:
    out, err = process.communicate(timeout=60)
    return out, err, process.returncode


def changed_meanwhile(program, report, held_call, nth, change, file_after, echo=None):
    """The report changes while the program is held; it must append nothing and say so."""
    report.write_bytes(b"1 2 3\n")
    process = start(program, report, held_call, nth)
    wait_for_hold(report, held_call, nth)
    change(report)
    outcome = finish(process)
    after = report.read_bytes() if report.exists() else None
    return [(outcome, ((echo or ECHO) + CHANGED + PROMPT, b"", 254)), (after, file_after)]


def replace(report):
    replacement = report.with_name("new.txt")
    replacement.write_bytes(b"4 5 6\n")
    os.replace(replacement, report)


def append(report):
    with open(report, "ab") as file:
        file.write(b"7 8 9\n")


def rewrite_in_place(report):
    """Another report of the same size, with the time of the last write set back."""
    before = report.stat()
    with open(report, "r+b") as file:
        file.write(b"4 5 6\n")
    os.utime(report, ns=(before.st_atime_ns, before.st_mtime_ns))


def held_as_the_run_starts(program, report, *_):
    """Another program holds the file as the run starts: the run says that it waits for it, and
    goes on once it is free."""
    report.write_bytes(b"1 2 3\n")
    with open(report, "r+b") as holder:
        if WINDOWS:  # the byte on which runs of the Windows program wait for each other
            fcntl.lockf(holder, fcntl.LOCK_EX, 1, 1 << 62)
        else:
            fcntl.flock(holder, fcntl.LOCK_EX)
        process = subprocess.Popen(program + [report.name], cwd=report.parent,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        said, deadline = b"", time.monotonic() + 20
        while WAITING not in said and select.select([process.stderr], [], [],
                                                     max(0, deadline - time.monotonic()))[0]:
            chunk = os.read(process.stderr.fileno(), 4096)
            if not chunk:
                break
            said += chunk
    out, err, status = finish(process)
    return [((out, said + err, status), (ECHO + PROMPT, WAITING, 0)),
            (report.read_bytes(), b"1 2 3\n" + BLOCK)]


def two_runs_on_a_nearly_full_disk(program, report, *_):
    """Two runs at once where only one block fits: the first one's block, reported as added,
    stays; the later run waits, reads it, and takes back only its own bytes."""
    page = 4096
    try:
        mount_tmpfs(report.parent, 4 * page)
    except Skip as reason:
        print(f"skipped: {reason}")
        sys.exit(SKIP)
    try:
        with open(report.parent / "filler", "wb") as filler:
            filler.write(b"x" * 3 * page)
        # One page: room for one block after the report line, not for two.
        line = b"1 2 3 " + b"x" * (page - len(BLOCK) - 100) + b"\n"
        report.write_bytes(line)
        first = start(program, report, "openat", 2)  # held before it opens the file to append
        wait_for_hold(report, "openat", 2)
        later = subprocess.Popen(program + [report.name], cwd=report.parent,
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
            (outcomes[1], (later_echo + failed + PROMPT, WAITING, 254)),
            (after, line + BLOCK)]


def flush_fails(program, report, *_):
    """The block reaches the file but not its storage: it is taken back, and the run fails."""
    report.write_bytes(b"1 2 3\n")
    outcome = finish(start(program, report, "fsync", 1, "EIO"))
    failed = b'ERROR : the result can\'t be written to "rapports.txt".\n'
    return [(outcome, (ECHO + failed + PROMPT, b"", 254)), (report.read_bytes(), b"1 2 3\n")]


def read_back_fails(program, report, *_):
    """The block is on storage but cannot be read back (EIO at every read from then on): a check
    that could not be made is no change, and the block is taken back, since its bytes end the
    file where they would. Under wine every read of the file is a pread64, the reading's two too."""
    report.write_bytes(b"1 2 3\n")
    outcome = finish(start(program, report, "pread64", "3+" if WINDOWS else "1+", "EIO"))
    return [(outcome, (ECHO + UNCONFIRMED + PROMPT, b"", 254)), (report.read_bytes(), b"1 2 3\n")]


def in_an_overlays_lower_layer(program, report, *_):
    """A report baked into a container image: opening it to append copies it up to the overlay's
    upper layer, which changes its status-change time. No other program changed it, and its block
    is appended, in the upper layer; the lower layer is left as it was."""
    if os.geteuid() != 0:
        print("skipped: mounting an overlay in a mount namespace needs root")
        sys.exit(SKIP)
    script = """work=$1 layers=$2; shift 2
        mount -t tmpfs tmpfs "$work" && cd "$work" && mkdir lower upper work merged &&
        printf '1 2 3\\n' >lower/rapports.txt || exit 1
        mount -t overlay overlay -o lowerdir=lower,upperdir=upper,workdir=work merged || exit 77
        cd merged && "$@" rapports.txt </dev/null; status=$?
        cat ../lower/rapports.txt ../upper/rapports.txt >"$layers"; exit $status"""
    layers = report.parent.with_name(report.parent.name + ".layers")
    process = subprocess.run(["unshare", "--mount", "--propagation", "private", "sh", "-c", script,
                              "sh", report.parent, layers, *program],
                             capture_output=True, check=False)
    if process.returncode == SKIP:
        print("skipped: this system cannot mount an overlay here")
        sys.exit(SKIP)
    layers_after = layers.read_bytes()
    layers.unlink()
    return [((process.stdout, process.stderr, process.returncode), (ECHO + PROMPT, b"", 0)),
            (layers_after, b"1 2 3\n" + b"1 2 3\n" + BLOCK)]


def short_of_memory_anywhere(program, report, *_):
    """The address space limited, 4 KiB more at each run, from where the program cannot even be
    loaded to where it runs whole, so that each of its allocations in turn is the one that fails.
    Each run succeeds, or ends as a line too long for the memory left ends it (its message, the
    prompt, status 254, the file unchanged), or never gets to main: the loader cannot map the
    libraries or grow its tables as it links them (its table of the C++ library's unique symbols,
    a few KiB below the next failure), or the C++ runtime, whose emergency reserve for exceptions
    could not be allocated as it started, cannot make the exception that tells the first failure.
    """
    if SANITIZED:
        print("skipped: AddressSanitizer reserves more address space than the limits leave")
        sys.exit(SKIP)
    too_long = b'ERROR : "rapports.txt" has a line too long to be read: nothing was appended.\n'
    failures, successes, limit = [], 0, 4 << 20
    while successes < 16 and limit < 64 << 20:
        report.write_bytes(b"1 2 3\n")
        child = subprocess.run(program + [report.name], cwd=report.parent, capture_output=True,
                               stdin=subprocess.DEVNULL, check=False, preexec_fn=lambda l=limit:
                               resource.setrlimit(resource.RLIMIT_AS, (l, l)))
        out, err, status, after = child.stdout, child.stderr, child.returncode, report.read_bytes()
        succeeded = (out, err, status, after) == (ECHO + PROMPT, b"", 0, b"1 2 3\n" + BLOCK)
        successes = successes + 1 if succeeded else 0
        if not succeeded and not (
                (out.endswith(too_long + PROMPT) and (err, status) == (b"", 254)) or
                (out == b"" and status == 127 and b"error while loading shared libraries" in err) or
                (out == b"" and status == 127 and err in (
                    b"cannot allocate TLS data structures for initial thread\n",
                    b"out of memory\n")) or
                (out == b"" and (err, status) == (b"terminate called without an active exception\n",
                                                  -signal.SIGABRT))) or after[:6] != b"1 2 3\n":
            failures.append(((limit >> 10, out[-200:], err, status, after), "a clean ending"))
        limit += 4 << 10
    return failures + [(successes, 16)]


def run_waiting_at_its_prompt(program, report, *_):
    """A run that failed waits at its prompt for the player to read it: another run over the same
    file goes on meanwhile, since the first one let the file go before its prompt."""
    report.write_bytes(b"1 2 3\0\n")
    waiting = subprocess.Popen(program + [report.name], cwd=report.parent, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    time.sleep(MIDWAY)
    later = subprocess.Popen(program + [report.name], cwd=report.parent,
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
    "block_cannot_be_read_back": read_back_fails,
    "file_in_an_overlays_lower_layer": in_an_overlays_lower_layer,
    "short_of_memory_at_any_allocation": short_of_memory_anywhere,
    "file_replaced_before_the_append": lambda p, r: changed_meanwhile(
        p, r, "openat", 2, replace, b"4 5 6\n"),
    "file_removed_before_the_append": lambda p, r: changed_meanwhile(
        p, r, "openat", 2, os.remove, None),
    "line_appended_by_another_program_before_the_append": lambda p, r: changed_meanwhile(
        p, r, "openat", 2, append, b"1 2 3\n7 8 9\n"),
    "file_truncated_while_being_read": lambda p, r: changed_meanwhile(
        p, r, "read", 2, lambda report: os.truncate(report, 0), b"", CUT_SHORT_ECHO),
    "two_runs_at_once_on_a_nearly_full_disk": two_runs_on_a_nearly_full_disk,
    # The last window, between the check that the file is as it was read and the block's write
    # (wine writes with pwrite64), and then until the block is on storage.
    "line_appended_while_the_block_is_written": lambda p, r: changed_meanwhile(
        p, r, "write,pwrite64", 1, append, b"1 2 3\n7 8 9\n"),
    "file_truncated_while_the_block_is_written": lambda p, r: changed_meanwhile(
        p, r, "write,pwrite64", 1, lambda report: os.truncate(report, 0), b""),
    "file_replaced_while_the_block_is_written": lambda p, r: changed_meanwhile(
        p, r, "write,pwrite64", 1, replace, b"4 5 6\n"),
    "file_removed_while_the_block_is_written": lambda p, r: changed_meanwhile(
        p, r, "write,pwrite64", 1, os.remove, None),
    "file_truncated_before_the_block_is_on_storage": lambda p, r: changed_meanwhile(
        p, r, "fsync", 1, lambda report: os.truncate(report, 0), b""),
    "file_rewritten_in_place_keeping_its_size_and_time": lambda p, r: changed_meanwhile(
        p, r, "read", 2, rewrite_in_place, b"4 5 6\n", REWRITTEN_ECHO),
    "file_growing_while_being_read": lambda p, r: changed_meanwhile(
        p, r, "read", 2, append, b"1 2 3\n7 8 9\n"),
    "file_held_by_another_program_as_the_run_starts": held_as_the_run_starts,
}


def main() -> int:
    arguments = [a for a in sys.argv[1:] if a != "--windows"]
    scenario, work = arguments[0], pathlib.Path(arguments[1]).resolve()
    program = [os.path.abspath(p) if os.path.exists(p) else p for p in arguments[2:]]
    if WINDOWS:  # what the program writes, with the Windows program's line ends
        for name in ("ECHO", "PROMPT", "CUT_SHORT_ECHO", "REWRITTEN_ECHO", "CHANGED", "UNCONFIRMED",
                     "BLOCK", "WAITING"):
            globals()[name] = windows_text(globals()[name])
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    try:
        checks = SCENARIOS[scenario](program, work / "rapports.txt")
    finally:
        shutil.rmtree(work, ignore_errors=True)
        trace_of(work / "rapports.txt").unlink(missing_ok=True)
    return report(scenario, [f"expected {want!r}\n     got {got!r}"
                             for got, want in checks if got != want])


if __name__ == "__main__":
    sys.exit(main())
