#!/usr/bin/env python3
"""Writes a deterministic report file of about the given size, for timing ulvenaReader.

About 85% of the lines are pillage reports with amounts from 0 to 99.999.999, 10% are other
lines with dates, times and coordinates, and 5% are empty. The same size always gives the same
bytes.
"""

import random
import sys


def grouped(value: int) -> str:
    return f"{value:,}".replace(",", ".")


def lines(rng: random.Random):
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


def main() -> int:
    if len(sys.argv) != 3:
        print("usage: make_reports.py SIZE_IN_BYTES OUTPUT", file=sys.stderr)
        return 2
    size = int(sys.argv[1])
    written = 0
    chunk = []
    with open(sys.argv[2], "wb") as out:
        for line in lines(random.Random(2026)):
            data = line.encode()
            chunk.append(data)
            written += len(data)
            if written >= size or len(chunk) == 10_000:
                out.write(b"".join(chunk))
                chunk.clear()
            if written >= size:
                return 0
    return 0


if __name__ == "__main__":
    sys.exit(main())
