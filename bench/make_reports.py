#!/usr/bin/env python3
"""Writes a deterministic report file of about the given size, for timing ulvenaReader.

By default, about 85% of the lines are pillage reports with amounts from 0 to 99.999.999, 10%
are other lines with dates, times and coordinates, and 5% are empty: about 120 bytes a line.

With --short-lines, the lines are short, about 12 bytes on average: 55% three
plain numbers from 0 to 999 ("1 2 3"), 20% three grouped amounts up to 99.999 ("12.345 6.789 0"),
15% coordinates ("[4:123:7]"), 5% a time, which holds only two numbers ("08:31"), and 5% empty.

The same size and kind always give the same bytes.
"""

import argparse
import random
import sys


def grouped(value: int) -> str:
    return f"{value:,}".replace(",", ".")


def report_lines(rng: random.Random):
    while True:
        kind = rng.random()
        if kind < 0.85:
            metal, crystal, deuterium = (grouped(rng.randint(0, 99_999_999)) for _ in range(3))
            yield (f"La flotte amène {metal} unités de métal, {crystal} unités de cristal "
                   f"et {deuterium} unités de deutérium.\n")
        elif kind < 0.95:
            yield (f"Flotte revenue le {rng.randint(1, 28):02d}.{rng.randint(1, 12):02d} à "
                   f"{rng.randint(0, 23):02d}:{rng.randint(0, 59):02d}:{rng.randint(0, 59):02d} "
                   f"sur la planète [{rng.randint(1, 9)}:{rng.randint(1, 499)}:"
                   f"{rng.randint(1, 15)}]\n")
        else:
            yield "\n"


def short_lines(rng: random.Random):
    # randrange(n) stands for randint(0, n - 1): the same numbers, drawn a little faster.
    draw = rng.randrange
    while True:
        kind = rng.random()
        if kind < 0.55:
            yield f"{draw(1000)} {draw(1000)} {draw(1000)}\n"
        elif kind < 0.75:
            yield f"{grouped(draw(100_000))} {grouped(draw(10_000))} {grouped(draw(1_000))}\n"
        elif kind < 0.90:
            yield f"[{draw(9) + 1}:{draw(499) + 1}:{draw(15) + 1}]\n"
        elif kind < 0.95:
            yield f"{draw(24):02d}:{draw(60):02d}\n"
        else:
            yield "\n"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--short-lines", action="store_true", help="short lines, not reports")
    parser.add_argument("size", type=int, help="size in bytes; the last line is whole")
    parser.add_argument("output")
    options = parser.parse_args()
    lines = (short_lines if options.short_lines else report_lines)(random.Random(2026))
    written = 0
    chunk = []
    with open(options.output, "wb") as out:
        for line in lines:
            data = line.encode()
            chunk.append(data)
            written += len(data)
            if written >= options.size or len(chunk) == 10_000:
                out.write(b"".join(chunk))
                chunk.clear()
            if written >= options.size:
                return 0
    return 0


if __name__ == "__main__":
    sys.exit(main())
