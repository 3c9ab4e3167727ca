#!/usr/bin/env python3
"""Times ulvenaReader on a large report file, beside mawk running the same job and wc -l.

Builds the release program, writes a deterministic 100 MiB report file, checks that the
program's totals equal the awk program's, then runs each contender several times, interleaved,
with standard output to /dev/null and standard input from /dev/null. Prints the median speeds,
the ratios and the program's peak memory, then the single-long-line measurements, and exits
non-zero when a target is missed.
"""

import argparse
import os
import pathlib
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BENCH = pathlib.Path(__file__).resolve().parent
ROOT = BENCH.parent
PROGRAM = ROOT / "build" / "release" / "ulvenaReader"
MIB = 1024 * 1024

TARGET_RATIO_TO_AWK = 25.0
TARGET_PEAK_MIB = 8.0
TARGET_LONG_LINE_MEMORY_OVER_LINE_MIB = 8.0  # a line is held once, with little to spare


def build():
    subprocess.run(["cmake", "--preset", "release"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "release", "--target", "ulvenaReader"],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)


def run_program(report: pathlib.Path, scratch: pathlib.Path, stdout=subprocess.DEVNULL,
                wrapper=()) -> tuple[float, subprocess.CompletedProcess]:
    """One run on a fresh copy, since every run appends a block to its file."""
    copy = scratch / "copy.txt"
    shutil.copyfile(report, copy)
    # The program puts its block on the disk before it says so, which would write the whole fresh
    # copy out too: the copy goes to the disk first, outside the time measured.
    os.sync()
    start = time.perf_counter()
    result = subprocess.run([*wrapper, str(PROGRAM), str(copy)], stdin=subprocess.DEVNULL,
                            stdout=stdout, stderr=subprocess.PIPE, check=False)
    return time.perf_counter() - start, result


def run_command(command: list[str]) -> float:
    start = time.perf_counter()
    subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def awk_command(report: pathlib.Path) -> list[str]:
    return ["mawk", "-f", str(BENCH / "sum_reports.awk"), str(report)]


def summary_totals(output: str) -> list[int]:
    """The three totals under "Rentabilite :", without their group dots."""
    match = re.search(r"Rentabilite :\nMetal=([\d.]+), Cristal=([\d.]+), Deuterium=([\d.]+)\n",
                      output)
    if match is None:
        raise RuntimeError("no summary in the output")
    return [int(group.replace(".", "")) for group in match.groups()]


def check_totals(report: pathlib.Path, scratch: pathlib.Path):
    _, result = run_program(report, scratch, stdout=subprocess.PIPE)
    ours = summary_totals(result.stdout.decode("latin-1"))
    awk = subprocess.run(awk_command(report), stdout=subprocess.PIPE, check=True)
    theirs = summary_totals(awk.stdout.decode("latin-1"))
    if ours != theirs:
        raise RuntimeError(f"totals differ: ulvenaReader {ours}, awk {theirs}")
    print(f"totals agree with awk: metal {ours[0]}, crystal {ours[1]}, deuterium {ours[2]}")


def peak_memory_mib(report: pathlib.Path, scratch: pathlib.Path) -> float:
    _, result = run_program(report, scratch, wrapper=["/usr/bin/time", "-v"])
    kib = re.search(rb"Maximum resident set size \(kbytes\): (\d+)", result.stderr)
    return int(kib.group(1)) / 1024


def throughput(report: pathlib.Path, scratch: pathlib.Path, rounds: int) -> bool:
    size_mib = report.stat().st_size / MIB
    times = {"ulvenaReader": [], "mawk (same job)": [], "wc -l": []}
    for _ in range(rounds):
        times["ulvenaReader"].append(run_program(report, scratch)[0])
        times["mawk (same job)"].append(run_command(awk_command(report)))
        times["wc -l"].append(run_command(["wc", "-l", str(report)]))
    medians = {name: statistics.median(values) for name, values in times.items()}
    ours = medians["ulvenaReader"]
    print(f"\n{size_mib:.0f} MiB report file, median of {rounds} runs:\n")
    print("| program | seconds | MiB/s | ulvenaReader's speed relative to it |")
    print("|---|---:|---:|---:|")
    for name, seconds in medians.items():
        print(f"| {name} | {seconds:.3f} | {size_mib / seconds:,.0f} | {seconds / ours:.2f}x |")
    ratio = medians["mawk (same job)"] / ours
    peak = peak_memory_mib(report, scratch)
    print(f"\nulvenaReader's peak memory: {peak:.1f} MiB")
    ok = ratio >= TARGET_RATIO_TO_AWK and peak < TARGET_PEAK_MIB
    print(f"targets: >= {TARGET_RATIO_TO_AWK:.0f}x awk ({ratio:.1f}x), "
          f"< {TARGET_PEAK_MIB:.0f} MiB ({peak:.1f} MiB): {'met' if ok else 'MISSED'}")
    return ok


def long_line(scratch: pathlib.Path, rounds: int) -> bool:
    """One line without a newline: time should grow with its size, and memory stay within the
    line and a few MiB."""
    print("\n| one line without a newline | seconds | MiB/s | peak memory | peak / line |")
    print("|---|---:|---:|---:|---:|")
    rows = []
    for size_mib in (16, 64):
        line = scratch / f"line{size_mib}.txt"
        with open(line, "wb") as out:
            pattern = b"La flotte am\xe8ne 1.234 unit\xe9s de m\xe9tal et rien d'autre. " * 1024
            for _ in range(size_mib * MIB // len(pattern)):
                out.write(pattern)
            out.write(b"x" * (size_mib * MIB % len(pattern)))
        seconds = statistics.median(run_program(line, scratch)[0] for _ in range(rounds))
        peak = peak_memory_mib(line, scratch)
        rows.append((size_mib, seconds, peak))
        print(f"| {size_mib} MiB | {seconds:.3f} | {size_mib / seconds:,.0f} | {peak:.1f} MiB "
              f"| {peak / size_mib:.2f} |")
        line.unlink()
    (small, small_seconds, _), (large, large_seconds, large_peak) = rows
    growth = large_seconds / small_seconds
    ok = (large_peak < large + TARGET_LONG_LINE_MEMORY_OVER_LINE_MIB
          and growth < 2 * large / small)
    print(f"time grows {growth:.1f}x for a line {large // small}x longer; targets: "
          f"proportional, peak < the line + {TARGET_LONG_LINE_MEMORY_OVER_LINE_MIB:.0f} MiB: "
          f"{'met' if ok else 'MISSED'}")
    return ok


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size-mib", type=int, default=100)
    parser.add_argument("--rounds", type=int, default=7)
    options = parser.parse_args()
    build()
    with tempfile.TemporaryDirectory(prefix="ulvena_bench_") as folder:
        scratch = pathlib.Path(folder)
        report = scratch / "rapports.txt"
        subprocess.run([sys.executable, str(BENCH / "make_reports.py"),
                        str(options.size_mib * MIB), str(report)], check=True)
        check_totals(report, scratch)
        ok = throughput(report, scratch, options.rounds)
        ok = long_line(scratch, options.rounds) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
