#!/usr/bin/env python3
"""Times ulvenaReader beside its version 1.1.0, wc -l and mawk running the same job.

Builds this working tree's release program ("this") and, in a temporary folder, the program as
it was at commit d870ee7 ("1.1.0"). Writes two deterministic files with bench/make_reports.py: a
report file (about 120 bytes a line) and a file of short lines (about 12 bytes a line: three
small numbers, three grouped amounts, coordinates, times and empty lines). Before any timing it
checks, on both files, that this program's whole standard output and standard error, its exit
status and the file it appended to are byte-identical to 1.1.0's, and that its totals equal
those of mawk running bench/sum_reports.awk.

Then it times every contender on both files with standard output to /dev/null, to a file (under
the build folder, on the same disk as the report) and to a pipe read by `cat > /dev/null`
(started before the clock; the program and 1.1.0 write the same bytes, so its cost is the same
for both). Runs are interleaved, the order of the contenders turning each round, because the
machine may be shared and noisy. Every run gets a fresh copy of the file, since the programs
append a block to it, and the copy is put on the disk (os.sync) before the clock starts. mawk,
tens of times slower, is timed to /dev/null only and in fewer rounds.

Prints the medians of the elapsed times and their ratios, the median of each round's own ratio
of the two programs' elapsed times, the ratio of their processor times, the load average around
the timed runs, the peak resident memory of both programs, and the single-long-line
measurements; exits non-zero and names the target when one is missed. The ratios to 1.1.0 are
judged round by round.
"""

import argparse
import os
import pathlib
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

BENCH = pathlib.Path(__file__).resolve().parent
ROOT = BENCH.parent
PROGRAM = ROOT / "build" / "release" / "ulvenaReader"
MIB = 1024 * 1024

BASELINE_COMMIT = "d870ee7"
BASELINE = "1.1.0"
THIS = "this"
WC = "wc -l"
AWK = "mawk"
FILES = ("report", "short lines")
OUTPUTS = ("/dev/null", "a file", "a pipe")

TARGET_RATIO_TO_BASELINE = {"report": 0.55, "short lines": 0.50}  # stdout to /dev/null
# To a file or a pipe: the same time as 1.1.0, within the noise; two runs of the same program
# differ by that much when the machine is busy.
TARGET_NO_SLOWER = 1.10
TARGET_RATIO_TO_AWK = 25.0  # on the report file
TARGET_PEAK_MIB = 8.0
TARGET_LONG_LINE_MEMORY_OVER_LINE_MIB = 8.0  # a line is held once, with little to spare


def configure_and_build(source: pathlib.Path, *extra: str):
    subprocess.run(["cmake", "--preset", "release", *extra], cwd=source, check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "release", "--target", "ulvenaReader",
                    "-j", "2"], cwd=source, check=True, stdout=subprocess.DEVNULL)


def build_baseline(commit: str, folder: pathlib.Path) -> pathlib.Path:
    """The program of that commit, from its own copy of the sources, in its own build folder."""
    source = folder / "source"
    source.mkdir()
    archive = subprocess.Popen(["git", "-C", str(ROOT), "archive", commit],
                               stdout=subprocess.PIPE)
    subprocess.run(["tar", "-x", "-C", str(source)], stdin=archive.stdout, check=True)
    archive.stdout.close()
    if archive.wait() != 0:
        raise RuntimeError(f"git archive {commit} failed")
    configure_and_build(source, "-DULVENA_BUILD_TESTS=OFF")
    return source / "build" / "release" / "ulvenaReader"


def make_file(kind: str, size: int, path: pathlib.Path):
    options = ["--short-lines"] if kind == "short lines" else []
    subprocess.run([sys.executable, str(BENCH / "make_reports.py"), *options, str(size),
                    str(path)], check=True)


def command(contender: str, programs: dict, path: pathlib.Path) -> list[str]:
    if contender == WC:
        return ["wc", "-l", str(path)]
    if contender == AWK:
        return ["mawk", "-f", str(BENCH / "sum_reports.awk"), str(path)]
    return [str(programs[contender]), str(path)]


def timed_run(argv_for, original: pathlib.Path, scratch: pathlib.Path,
              output: str) -> tuple[float, float]:
    """The elapsed and the processor seconds of one run on a fresh copy of the file, since the
    programs append a block to it."""
    copy = scratch / "copy.txt"
    shutil.copyfile(original, copy)
    stdout_path = scratch / "stdout.txt"
    consumer = None
    if output == "/dev/null":
        stdout = os.open(os.devnull, os.O_WRONLY)
    elif output == "a file":
        stdout = os.open(stdout_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    else:
        read_end, stdout = os.pipe()
        consumer = subprocess.Popen(["cat"], stdin=read_end, stdout=subprocess.DEVNULL)
        os.close(read_end)
    # The programs put their block on the disk before they end, which would write the whole
    # fresh copy out too: the copy goes to the disk first, outside the time measured.
    os.sync()
    start = time.perf_counter()
    try:
        process = subprocess.Popen(argv_for(copy), stdin=subprocess.DEVNULL, stdout=stdout,
                                   stderr=subprocess.DEVNULL)
    finally:
        os.close(stdout)
    _, status, usage = os.wait4(process.pid, 0)
    if consumer is not None:
        consumer.wait()
    seconds = time.perf_counter() - start
    process.returncode = status = os.waitstatus_to_exitcode(status)
    # Gone before the next os.sync, so that this output is never written to the disk.
    stdout_path.unlink(missing_ok=True)
    if status != 0:
        raise RuntimeError(f"{' '.join(argv_for(copy))} ended with status {status}")
    return seconds, usage.ru_utime + usage.ru_stime


def first_difference(a: pathlib.Path, b: pathlib.Path) -> int | None:
    with open(a, "rb") as first, open(b, "rb") as second:
        offset = 0
        while True:
            left, right = first.read(MIB), second.read(MIB)
            if left != right:
                common = min(len(left), len(right))
                return offset + next((i for i in range(common) if left[i] != right[i]), common)
            if not left:
                return None
            offset += len(left)


def summary_totals(output: bytes) -> list[int]:
    """The three totals under "Rentabilite :", without their group dots."""
    match = re.search(rb"Rentabilite :\nMetal=([\d.]+), Cristal=([\d.]+), Deuterium=([\d.]+)\n",
                      output)
    if match is None:
        raise RuntimeError("no summary in the output")
    return [int(group.replace(b".", b"")) for group in match.groups()]


def output_tail(argv: list[str], size: int = 4096) -> bytes:
    """The last bytes that a command writes, without keeping the rest."""
    process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
    tail = b""
    while chunk := process.stdout.read(MIB):
        tail = (tail + chunk)[-size:]
    if process.wait() != 0:
        raise RuntimeError(f"{' '.join(argv)} failed")
    return tail


def check_outputs(kind: str, original: pathlib.Path, programs: dict, scratch: pathlib.Path):
    """This program must write exactly what 1.1.0 writes, and add up what awk adds up."""
    runs = {}
    for name in (BASELINE, THIS):
        copy, stdout = scratch / f"check-{name}.txt", scratch / f"check-{name}.out"
        shutil.copyfile(original, copy)
        with open(stdout, "wb") as out:
            result = subprocess.run(command(name, programs, copy), stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=subprocess.PIPE, check=False)
        runs[name] = (copy, stdout, result)
    (old_copy, old_out, old), (new_copy, new_out, new) = runs[BASELINE], runs[THIS]
    block = old_copy.stat().st_size - original.stat().st_size
    problems = []
    if block <= 0:
        problems.append("1.1.0 appended nothing")
    if (new.returncode, new.stderr) != (old.returncode, old.stderr):
        problems.append(f"status or stderr differ: {new.returncode} {new.stderr[:200]!r}, "
                        f"1.1.0: {old.returncode} {old.stderr[:200]!r}")
    for what, ours, theirs in (("stdout", new_out, old_out), ("file", new_copy, old_copy)):
        offset = first_difference(ours, theirs)
        if offset is not None:
            problems.append(f"{what} differs from 1.1.0's from byte {offset} on")
    with open(new_out, "rb") as out:
        out.seek(max(0, new_out.stat().st_size - 4096))
        ours = summary_totals(out.read())
    for path in (old_copy, old_out, new_copy, new_out):
        path.unlink()
    awk = summary_totals(output_tail(command(AWK, programs, original)))
    if ours != awk:
        problems.append(f"totals {ours} differ from awk's {awk}")
    if problems:
        raise RuntimeError(f"{kind} file: " + "; ".join(problems))
    print(f"{kind} file: stdout, stderr, status and the {block}-byte block the same as 1.1.0's; "
          f"totals {ours} the same as awk's")


def measure(files: dict, programs: dict, scratch: pathlib.Path, rounds: int,
            awk_rounds: int) -> tuple[dict, dict, dict]:
    """Median elapsed and processor seconds by (file, output, contender), the runs
    interleaved; and by (file, output), the median of the rounds' own ratios of this program's
    elapsed time to 1.1.0's, which the machine's slower and faster spells touch less."""
    times = {}
    for round_index in range(rounds):
        print(f"round {round_index + 1} of {rounds}", file=sys.stderr, flush=True)
        for kind, original in files.items():
            for output in OUTPUTS:
                contenders = [BASELINE, THIS, WC]
                if output == "/dev/null" and round_index < awk_rounds:
                    contenders.append(AWK)
                turn = round_index % len(contenders)
                for name in contenders[turn:] + contenders[:turn]:
                    run = timed_run(lambda path, n=name: command(n, programs, path),
                                    original, scratch, output)
                    times.setdefault((kind, output, name), []).append(run)
    paired = {(kind, output): statistics.median(
        new[0] / old[0] for new, old in zip(times[(kind, output, THIS)],
                                            times[(kind, output, BASELINE)]))
        for kind in files for output in OUTPUTS}
    return (*({key: statistics.median(run[which] for run in runs)
               for key, runs in times.items()} for which in (0, 1)), paired)


def peak_memory_mib(program: pathlib.Path, original: pathlib.Path,
                    scratch: pathlib.Path) -> float:
    copy, report = scratch / "copy.txt", scratch / "time.txt"
    shutil.copyfile(original, copy)
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", str(report), str(program), str(copy)],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)
    return int(report.read_text().split()[-1]) / 1024


def print_table(medians: dict, processor: dict, paired: dict, size_mib: int, rounds: int,
                awk_rounds: int):
    print(f"\nMedian elapsed seconds of {rounds} runs (mawk: {awk_rounds}, to /dev/null only); "
          f"then the median of the rounds' own ratios of the two programs' elapsed times, and "
          f"the ratio of their median processor time (user and system) in the same runs:\n")
    print(f"| file | stdout to | {BASELINE} | {THIS} | {WC} | {AWK} "
          f"| {THIS} / {BASELINE} | {THIS} / {WC} | {AWK} / {THIS} | {THIS} / {BASELINE}, "
          f"round by round | processor time: {THIS} / {BASELINE} |")
    print("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for kind in FILES:
        for output in OUTPUTS:
            old, new, wc = (medians[(kind, output, name)] for name in (BASELINE, THIS, WC))
            awk = medians.get((kind, output, AWK))
            awk_cells = (f"{awk:.2f}", f"{awk / new:.1f}") if awk else ("", "")
            cpu = processor[(kind, output, THIS)] / processor[(kind, output, BASELINE)]
            print(f"| {kind}, {size_mib} MiB | {output} | {old:.3f} | {new:.3f} | {wc:.3f} "
                  f"| {awk_cells[0]} | {new / old:.2f} | {new / wc:.1f} | {awk_cells[1]} "
                  f"| {paired[(kind, output)]:.2f} | {cpu:.2f} |")


def speed_targets(medians: dict, paired: dict) -> list[tuple[str, bool]]:
    """The ratios to 1.1.0 are judged round by round, which the machine's slower and faster spells
    move less than they move a ratio of two medians."""
    results = []
    for kind in FILES:
        for output in OUTPUTS:
            ratio = paired[(kind, output)]
            limit = TARGET_RATIO_TO_BASELINE[kind] if output == "/dev/null" else TARGET_NO_SLOWER
            results.append((f"{kind}, to {output}: {THIS} / {BASELINE}, round by round, <= "
                            f"{limit:.2f} ({ratio:.2f})", ratio <= limit))
    awk = medians[("report", "/dev/null", AWK)] / medians[("report", "/dev/null", THIS)]
    results.append((f"report, to /dev/null: {AWK} / {THIS} >= {TARGET_RATIO_TO_AWK:.0f} "
                    f"({awk:.1f})", awk >= TARGET_RATIO_TO_AWK))
    return results


def memory_targets(files: dict, programs: dict, scratch: pathlib.Path,
                   size_mib: int) -> list[tuple[str, bool]]:
    results = []
    print()
    for kind, original in files.items():
        peaks = {name: peak_memory_mib(programs[name], original, scratch)
                 for name in (BASELINE, THIS)}
        print(f"peak resident memory on the {size_mib} MiB {kind} file: "
              f"{BASELINE} {peaks[BASELINE]:.1f} MiB, {THIS} {peaks[THIS]:.1f} MiB")
        results.append((f"{kind}: {THIS}'s peak <= {TARGET_PEAK_MIB:.0f} MiB "
                        f"({peaks[THIS]:.1f} MiB)", peaks[THIS] <= TARGET_PEAK_MIB))
    return results


def long_line(scratch: pathlib.Path, rounds: int, sizes_mib: tuple[int, int]):
    """One line without a newline: time should grow with its size, and memory stay within the
    line and a few MiB."""
    print("\n| one line without a newline | seconds | MiB/s | peak memory | peak / line |")
    print("|---|---:|---:|---:|---:|")
    rows = []
    for size_mib in sizes_mib:
        line = scratch / f"line{size_mib}.txt"
        with open(line, "wb") as out:
            pattern = b"La flotte am\xe8ne 1.234 unit\xe9s de m\xe9tal et rien d'autre. " * 1024
            for _ in range(size_mib * MIB // len(pattern)):
                out.write(pattern)
            out.write(b"x" * (size_mib * MIB % len(pattern)))
        seconds = statistics.median(
            timed_run(lambda path: [str(PROGRAM), str(path)], line, scratch, "/dev/null")[0]
            for _ in range(rounds))
        peak = peak_memory_mib(PROGRAM, line, scratch)
        rows.append((size_mib, seconds, peak))
        print(f"| {size_mib} MiB | {seconds:.3f} | {size_mib / seconds:,.0f} | {peak:.1f} MiB "
              f"| {peak / size_mib:.2f} |")
        line.unlink()
    (small, small_seconds, _), (large, large_seconds, large_peak) = rows
    growth = large_seconds / small_seconds
    return [(f"a line {large // small}x longer takes at most {2 * large // small}x the time "
             f"({growth:.1f}x)", growth < 2 * large / small),
            (f"a {large} MiB line's peak < the line + "
             f"{TARGET_LONG_LINE_MEMORY_OVER_LINE_MIB:.0f} MiB ({large_peak:.1f} MiB)",
             large_peak < large + TARGET_LONG_LINE_MEMORY_OVER_LINE_MIB)]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true",
                        help="10 MiB files and fewer runs, to try the script")
    options = parser.parse_args()
    size_mib, rounds, awk_rounds = (10, 3, 1) if options.quick else (100, 15, 2)
    # Leave no temporary folder behind when stopped.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    configure_and_build(ROOT)
    with tempfile.TemporaryDirectory(prefix="bench-", dir=ROOT / "build") as folder:
        scratch = pathlib.Path(folder)
        print(f"building {BASELINE} from {BASELINE_COMMIT}", file=sys.stderr, flush=True)
        programs = {BASELINE: build_baseline(BASELINE_COMMIT, scratch), THIS: PROGRAM}
        files = {kind: scratch / f"{kind.replace(' ', '_')}.txt" for kind in FILES}
        for kind, path in files.items():
            make_file(kind, size_mib * MIB, path)
            check_outputs(kind, path, programs, scratch)
        load_before = os.getloadavg()[0]
        medians, processor, paired = measure(files, programs, scratch, rounds, awk_rounds)
        print_table(medians, processor, paired, size_mib, rounds, awk_rounds)
        print(f"\nload average (1 minute) before the timed runs: {load_before:.2f}, after: "
              f"{os.getloadavg()[0]:.2f}, on {os.cpu_count()} processors")
        targets = speed_targets(medians, paired)
        targets += memory_targets(files, programs, scratch, size_mib)
        targets += long_line(scratch, rounds, (4, 16) if options.quick else (16, 64))
    print("\ntargets:")
    for text, met in targets:
        print(f"  {'met   ' if met else 'MISSED'} {text}")
    return 0 if all(met for _, met in targets) else 1


if __name__ == "__main__":
    sys.exit(main())
