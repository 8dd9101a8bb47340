#!/usr/bin/env python3
"""Batch throughput: runs N cases through redirected standard input and output.

Usage: bench/batch.py PATH-TO-zepa4-07 [CASES]   (default 20000)
Prints the cases per second of the best of three runs.
"""

import os
import random
import subprocess
import sys
import tempfile
import time


def batch_input(cases, seed=1):
    rng = random.Random(seed)
    parts = [b"\n"]
    for i in range(cases):
        c = rng.uniform(0.1, 1000.0)
        f = rng.uniform(0.0, 2.0 * c)
        parts.append(b"%.6g\n%.6g\n%s\n" % (c, f, b"c" if i + 1 < cases else b"n"))
    return b"".join(parts)


def main():
    binary = os.path.abspath(sys.argv[1])
    cases = int(sys.argv[2]) if len(sys.argv) > 2 else 20000
    data = batch_input(cases)
    best = None
    for _ in range(3):
        with tempfile.TemporaryDirectory() as scratch:
            start = time.perf_counter()
            subprocess.run([binary], input=data, cwd=scratch, stdout=subprocess.DEVNULL,
                           check=True)
            elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    print(f"{cases} cases in {best:.3f} s: {cases / best:,.0f} cases/s")


if __name__ == "__main__":
    main()
