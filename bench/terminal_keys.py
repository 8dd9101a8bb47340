#!/usr/bin/env python3
"""Terminal output per key: write() calls and bytes for typing, inserts, deletes and a paste.

Usage: bench/terminal_keys.py PATH-TO-zepa4-07 [PASTE-LENGTH]   (default 10000)
Runs the program on an 80x25 pseudo-terminal under strace (which must be installed) and prints,
for each case, the write() calls and bytes the program sent per key; then times a paste in a run
without strace (which stops the program at every system call).
"""

import fcntl
import os
import re
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import termios
import time

QUIET = 0.01  # a key's output is complete when the terminal has been quiet this long


class Terminal:
    """The program on an 80x25 pty, under strace unless `traced` is false: the calls named by
    `trace` are logged with their time of day, and with the time spent in them when `timed`."""

    def __init__(self, binary, work, traced=True, trace="write", timed=False):
        self.master, slave = os.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 25, 80, 0, 0))
        self.log = os.path.join(work, "writes.log")
        env = dict(os.environ, TERM="xterm", LANG="C.UTF-8", LC_ALL="")
        strace = ["strace", "-qq", "-ttt", *(["-T"] if timed else []), "-e", f"trace={trace}",
                  "-e", "signal=none", "-o", self.log]
        self.proc = subprocess.Popen((strace if traced else []) + [binary], stdin=slave,
                                     stdout=slave, stderr=slave, cwd=work, env=env)
        os.close(slave)
        self.seen = b""

    def read(self, timeout):
        ready, _, _ = select.select([self.master], [], [], timeout)
        if not ready:
            return False
        try:
            self.seen += os.read(self.master, 65536)
        except OSError:  # EIO: the program has ended and closed the terminal
            return False
        return True

    def wait_for(self, text, limit=10.0):
        deadline = time.monotonic() + limit
        while text not in self.seen:
            if time.monotonic() > deadline:
                sys.exit(f"timed out waiting for {text!r}")
            self.read(0.1)

    def settle(self, quiet=QUIET):
        """Reads until the program has answered and then been quiet for `quiet` seconds."""
        self.read(10.0)
        while self.read(quiet):
            pass

    def key(self, data):
        os.write(self.master, data)
        self.settle()

    def close(self):
        # The hang-up ends the program, and strace with it.
        os.close(self.master)
        self.proc.wait()


def writes_between(log, start, end):
    calls = total = 0
    with open(log) as f:
        for line in f:
            m = re.match(r"(\d+\.\d+) write\(1, .*\)\s+=\s+(\d+)$", line.strip())
            if m and start <= float(m.group(1)) <= end:
                calls += 1
                total += int(m.group(2))
    return calls, total


def measure(term, name, keys, results):
    start = time.time()
    for key in keys:
        term.key(key)
    results.append((name, len(keys), start, time.time()))


def main():
    binary = os.path.abspath(sys.argv[1])
    paste_length = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
    if shutil.which("strace") is None:
        sys.exit("strace is needed to count write() calls")
    work = tempfile.mkdtemp(prefix="zepa-bench-")
    term = Terminal(binary, work)
    results = []
    try:
        answer_help_question(term)
        measure(term, "typing at the end of a line", [b"1"] * 100, results)
        for _ in range(50):
            term.key(b"\x1b[D")
        measure(term, "insert in the middle (50-byte tail)", [b"2"] * 50, results)
        measure(term, "delete in the middle (tail 50 to 1)", [b"\x1b[3~"] * 50, results)
        term.key(b"\x1b")
        term.settle(0.1)
        results.append(paste(term, paste_length))
    finally:
        term.close()
    heading = ("case", "keys", "writes", "bytes", "writes/key", "bytes/key")
    print("{:40} {:>6} {:>7} {:>7} {:>11} {:>10}".format(*heading))
    for name, keys, start, end in results:
        calls, total = writes_between(term.log, start, end)
        print(f"{name:40} {keys:6} {calls:7} {total:7} {calls / keys:11.4f} {total / keys:10.2f}")
    plain = Terminal(binary, work, traced=False)
    try:
        answer_help_question(plain)
        _, _, start, end = paste(plain, paste_length)
    finally:
        plain.close()
    print(f"the paste of {paste_length} characters took {end - start:.3f} s without strace")
    shutil.rmtree(work, ignore_errors=True)


def answer_help_question(term):
    term.wait_for(b"continuar? ")
    term.key(b"\r")
    term.wait_for(b"c=? ")


def paste(term, length):
    """Writes `length` characters at once; the result row of the time until the echo ended."""
    start = time.time()
    os.write(term.master, b"3" * length)
    term.settle(0.2)
    return (f"paste of {length} characters", length, start, time.time() - 0.2)


if __name__ == "__main__":
    main()
