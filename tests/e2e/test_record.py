"""The memo file is whole or absent under the faults of a real machine: many programs appending
to one memo on a disk that fills and frees, a memo another program holds locked, an append-only
memo, the file-size limit, signals in the middle of a long batch, descriptors that another
program left non-blocking, and a plain terminal that hangs up in the middle of a case.

After every run the memo file must hold what it held before plus whole memos, and each case
that is not recorded must have been warned about."""

import fcntl
import os
import pty
import random
import resource
import shutil
import signal
import subprocess
import sys
import threading
import time

from common import (MEMO_FILE, MEMO_WARNING, Scratch, Skip, check, expect_equal, main, memo,
                    results, run)
from test_faults import SmallDisk

THREE_ONE = results(b" 5", b" 3.217506", b" 36.86981")
OUTPUT_WARNING = b"zepa4-07: a saida padrao nao aceitou os dados"


def memo_of(c):
    """The memo of the case c, f = 1, for a whole number c from 1 to 16."""
    r, a, alfa = CASES[c]
    return memo(f" {c}", " 1", r, a, alfa)


# The results of c, f = 1 for c = 1..16, as the program prints them (taken from a solo run).
CASES = {}


def learn_cases(binary):
    if CASES:
        return
    s = Scratch()
    try:
        data = b"\n" + b"".join(b"%d\n1\nc\n" % c for c in range(1, 16)) + b"16\n1\nn\n"
        p = run(binary, data, s.path)
        expect_equal(p.returncode, 0)
        memos = s.file(MEMO_FILE).split(b"\r\n\r\n")[:-1]
        expect_equal(len(memos), 16)
        for c, text in enumerate(memos, 1):
            values = [line.split(b"=", 1)[1].decode() for line in text.split(b"\r\n")[-3:]]
            CASES[c] = tuple(values)
            expect_equal(memo_of(c), text + b"\r\n\r\n")
    finally:
        s.close()


def count_memos(data, prefix=b""):
    """How many memos of each c the file holds after `prefix`; fails where it stops being
    whole memos."""
    check(data.startswith(prefix), "the earlier content changed")
    offset = len(prefix)
    counts = {}
    texts = {c: memo_of(c) for c in CASES}
    while offset < len(data):
        c = next((c for c, text in texts.items() if data.startswith(text, offset)), None)
        check(c is not None, f"the memo at byte {offset} of {len(data)} is not whole: "
                             f"{data[offset:offset + 80]!r}")
        counts[c] = counts.get(c, 0) + 1
        offset += len(texts[c])
    return counts


def batch(c, cases):
    return b"\n" + b"%d\n1\nc\n" % c * (cases - 1) + b"%d\n1\nn\n" % c


NEIGHBOUR = """
import os, random, sys
rng = random.Random(7)
while True:
    name = os.path.join(sys.argv[1], "block%d" % rng.randrange(16))
    try:
        if rng.random() < 0.5:
            fd = os.open(name, os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
            os.write(fd, b"x" * 4096)
            os.close(fd)
        else:
            os.remove(name)
    except OSError:
        pass
"""


class Neighbour:
    """Another program on the same small disk: it takes and frees 4 KiB blocks as fast as it
    can, so that the free space moves while the memos are written."""

    def __init__(self, path):
        self.process = subprocess.Popen([sys.executable, "-c", NEIGHBOUR, path])

    def close(self):
        self.process.kill()
        self.process.wait()


def test_writers_on_a_filling_disk(binary):
    learn_cases(binary)
    disk = SmallDisk("256k")
    try:
        # 16 programs, 2,000 cases each, on a 256 KiB disk that another program fills and frees:
        # most memos find no room; those that land are whole, and every other one was warned.
        for round_number in range(3):
            memo_path = os.path.join(disk.path, MEMO_FILE)
            prefix = b"an earlier line, no line end"
            with open(memo_path, "wb") as f:
                f.write(prefix)
            neighbour = Neighbour(disk.path)
            try:
                writers = [subprocess.Popen([binary], stdin=subprocess.PIPE,
                                            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                            cwd=disk.path) for _ in range(16)]
                outcomes = []
                for c, writer in enumerate(writers, 1):
                    threading.Thread(target=writer.stdin.write, args=(batch(c, 2000),)).start()
                for c, writer in enumerate(writers, 1):
                    out, err = writer.communicate(timeout=120)
                    shown = results(*(value.encode() for value in CASES[c]))
                    outcomes.append((c, writer.returncode, out.count(shown),
                                     err.count(MEMO_WARNING)))
            finally:
                neighbour.close()
            with open(memo_path, "rb") as f:
                counts = count_memos(f.read(), prefix)
            for c, status, shown, warned in outcomes:
                expect_equal((round_number, c, status, shown, counts.get(c, 0) + warned),
                             (round_number, c, 0, 2000, 2000))
            check(sum(counts.values()) > 0, "no memo landed at all")
            os.remove(memo_path)
    finally:
        disk.close()


def test_a_memo_locked_by_another_writer(binary):
    learn_cases(binary)
    s = Scratch()
    try:
        # Another of the program's processes holds the memo (its lock) for a moment: the case
        # waits for it and is recorded after it. Held for longer than the program waits (3 s),
        # the case is not recorded, said, and the dialogue goes on.
        memo_path = os.path.join(s.path, MEMO_FILE)
        for hold, recorded in ((0.5, True), (4.0, False)):
            with open(memo_path, "ab") as holder:
                fcntl.flock(holder, fcntl.LOCK_EX)
                started = time.monotonic()
                child = subprocess.Popen([binary], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                         stderr=subprocess.PIPE, cwd=s.path)
                release = threading.Timer(hold, fcntl.flock, (holder, fcntl.LOCK_UN))
                release.start()
                out, err = child.communicate(b"\n3\n1\nn\n", timeout=30)
                took = time.monotonic() - started
                release.join()
            expect_equal((hold, child.returncode, out.count(THREE_ONE)), (hold, 0, 1))
            expect_equal((hold, err.count(MEMO_WARNING)), (hold, 0 if recorded else 1))
            check(took >= min(hold, 3.0) - 0.1, f"the program did not wait: {took:.2f} s")
            with open(memo_path, "rb") as f:
                expect_equal((hold, count_memos(f.read())), (hold, {3: 1} if recorded else {}))
            os.remove(memo_path)
    finally:
        s.close()


def chattr(flag, path):
    return subprocess.run(["chattr", flag, path], capture_output=True).returncode == 0


def test_an_append_only_memo(binary):
    learn_cases(binary)
    if os.geteuid() != 0 or shutil.which("chattr") is None:
        raise Skip("an append-only file needs root and chattr")
    disk = SmallDisk("64k")
    memo_path = os.path.join(disk.path, MEMO_FILE)
    try:
        with open(memo_path, "wb"):
            pass
        if not chattr("+a", memo_path):
            raise Skip("this file system cannot make a file append-only")
        # An append-only file cannot be cut back: a memo that does not fit must be refused
        # before its first byte, at the file-size limit and on a full disk alike.
        def limit():
            resource.setrlimit(resource.RLIMIT_FSIZE, (4000, 4000))

        p = subprocess.run([binary], input=batch(3, 10), cwd=disk.path, capture_output=True,
                           preexec_fn=limit, timeout=60)
        with open(memo_path, "rb") as f:
            counts = count_memos(f.read())
        expect_equal((p.returncode, counts), (0, {3: 4000 // len(memo_of(3))}))
        expect_equal(p.stderr.count(MEMO_WARNING), 10 - counts[3])
        p = run(binary, batch(4, 200), disk.path, timeout=60)
        with open(memo_path, "rb") as f:
            counts = count_memos(f.read())
        check(counts.get(4, 0) < 200, "the disk never filled")
        expect_equal((p.returncode, p.stderr.count(MEMO_WARNING)), (0, 200 - counts.get(4, 0)))
    finally:
        chattr("-a", memo_path)
        disk.close()


def test_the_file_size_limit(binary):
    learn_cases(binary)
    s = Scratch()
    try:
        memo_path = os.path.join(s.path, MEMO_FILE)
        prefix = bytes(2048)

        def limit(size):
            return lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))

        # The memo is already at the limit: neither case is recorded, both are shown and said,
        # and the dialogue ends normally.
        with open(memo_path, "wb") as f:
            f.write(prefix)
        p = subprocess.run([binary], input=b"\n3\n1\nc\n4\n2\nn\n", cwd=s.path,
                           capture_output=True, preexec_fn=limit(2048), timeout=30)
        expect_equal((p.returncode, p.stdout.count(THREE_ONE), p.stderr.count(MEMO_WARNING)),
                     (0, 1, 2))
        expect_equal(s.file(MEMO_FILE), prefix)
        # Room for one memo and a half: the first lands whole, the second is refused whole.
        one = len(memo_of(3))
        p = subprocess.run([binary], input=batch(3, 2), cwd=s.path, capture_output=True,
                           preexec_fn=limit(2048 + one + one // 2), timeout=30)
        expect_equal((p.returncode, p.stderr.count(MEMO_WARNING)), (0, 1))
        expect_equal(count_memos(s.file(MEMO_FILE), prefix), {3: 1})
        # Standard output is a file that reaches the limit: the one message, status 1.
        os.remove(memo_path)
        with open(os.path.join(s.path, "out"), "wb") as out:
            p = subprocess.run([binary], input=batch(3, 100), cwd=s.path, stdout=out,
                               stderr=subprocess.PIPE, preexec_fn=limit(8192), timeout=30)
        expect_equal((p.returncode, p.stderr.count(OUTPUT_WARNING)), (1, 1))
        expect_equal(os.path.getsize(os.path.join(s.path, "out")), 8192)
        # The limit is every file's: the memo file too stops at its last whole memo.
        expect_equal(count_memos(s.file(MEMO_FILE)), {3: 8192 // one})
        expect_equal(p.stderr.count(MEMO_WARNING), 100 - 8192 // one)
    finally:
        s.close()


def test_signals_in_a_long_batch(binary):
    learn_cases(binary)
    s = Scratch()
    # A busy neighbour on every core, so that the program is preempted in its writes too.
    busy = [subprocess.Popen(["sh", "-c", "while :; do :; done"]) for _ in range(os.cpu_count() or 1)]
    try:
        # 150 interruptions at random moments of a batch of 100,000 cases, by each signal that
        # ends a process by default: the program ends by that signal, with whole memos only.
        rng = random.Random(5)
        input_path = os.path.join(s.path, "input")
        with open(input_path, "wb") as f:
            f.write(batch(3, 100000))
        memo_path = os.path.join(s.path, MEMO_FILE)
        fatal = [signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGQUIT, signal.SIGUSR1,
                 signal.SIGUSR2, signal.SIGALRM]
        ended_by_signal = 0
        for attempt in range(150):
            sig = fatal[attempt % len(fatal)]
            with open(input_path, "rb") as stdin:
                child = subprocess.Popen([binary], stdin=stdin, stdout=subprocess.DEVNULL,
                                         stderr=subprocess.DEVNULL, cwd=s.path,
                                         preexec_fn=lambda: resource.setrlimit(
                                             resource.RLIMIT_CORE, (0, 0)))
            time.sleep(rng.uniform(0.005, 0.2))
            child.send_signal(sig)
            status = child.wait(timeout=60)
            check(status in (-sig, 0), f"{sig!r}: status {status}")
            ended_by_signal += status == -sig
            if os.path.exists(memo_path):  # none when the signal came before the first case
                with open(memo_path, "rb") as f:
                    count_memos(f.read())
                os.remove(memo_path)
        check(ended_by_signal > 100, f"only {ended_by_signal} runs were interrupted")
    finally:
        for b in busy:
            b.kill()
            b.wait()
        s.close()


def non_blocking(fd):
    fcntl.fcntl(fd, fcntl.F_SETFL, fcntl.fcntl(fd, fcntl.F_GETFL) | os.O_NONBLOCK)


def test_non_blocking_descriptors(binary):
    learn_cases(binary)
    s = Scratch()
    try:
        # Standard input is a non-blocking pipe whose data comes 0.3 s late: the program waits
        # for it, and records the case typed, not one of zeros.
        reader, writer = os.pipe()
        non_blocking(reader)
        child = subprocess.Popen([binary], stdin=reader, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, cwd=s.path)
        os.close(reader)
        time.sleep(0.3)
        os.write(writer, b"\n3\n1\nn\n")
        os.close(writer)
        out, err = child.communicate(timeout=30)
        expect_equal((child.returncode, out.count(THREE_ONE), err), (0, 1, b""))
        expect_equal(count_memos(s.file(MEMO_FILE)), {3: 1})
        os.remove(os.path.join(s.path, MEMO_FILE))

        # Standard output is a non-blocking pipe read slowly: all 3,001 results arrive.
        reader, writer = os.pipe()
        non_blocking(writer)
        child = subprocess.Popen([binary], stdin=subprocess.PIPE, stdout=writer,
                                 stderr=subprocess.PIPE, cwd=s.path)
        os.close(writer)
        threading.Thread(target=lambda: (child.stdin.write(batch(3, 3001)),
                                         child.stdin.close())).start()
        received = bytearray()
        while True:
            time.sleep(0.002)
            chunk = os.read(reader, 4096)
            if not chunk:
                break
            received += chunk
        os.close(reader)
        expect_equal((child.wait(timeout=60), child.stderr.read()), (0, b""))
        expect_equal(received.count(THREE_ONE), 3001)
        expect_equal(count_memos(s.file(MEMO_FILE)), {3: 3001})
        os.remove(os.path.join(s.path, MEMO_FILE))

        # A plain terminal whose descriptor is non-blocking: the program waits for each line.
        master, slave = pty.openpty()
        name = os.ttyname(slave)
        os.close(slave)
        slave = os.open(name, os.O_RDWR | os.O_NONBLOCK | os.O_NOCTTY)
        child = subprocess.Popen([binary], stdin=slave, stdout=slave, stderr=slave, cwd=s.path,
                                 env=dict(os.environ, TERM="dumb"))
        os.close(slave)
        screen = Screen(master)
        screen.answer(b"continuar? ", b"\n")
        screen.answer(b"c=? ", b"3\n")
        screen.answer(b"f=? ", b"1\n")
        screen.answer(b"(C ou c):? ", b"n\n")
        expect_equal(child.wait(timeout=30), 0)
        os.close(master)
        expect_equal(count_memos(s.file(MEMO_FILE)), {3: 1})
    finally:
        s.close()


class Screen:
    """The master side of a pty: what the program wrote, and keys typed once a text shows."""

    def __init__(self, master):
        self.master = master
        self.seen = b""

    def wait_for(self, text, seconds=20):
        deadline = time.monotonic() + seconds
        while text not in self.seen:
            check(time.monotonic() < deadline, f"{text!r} never showed: {self.seen[-200:]!r}")
            try:
                self.seen += os.read(self.master, 4096)
            except OSError:
                break
        check(text in self.seen, f"{text!r} never showed")
        self.seen = self.seen[self.seen.index(text) + len(text):]

    def answer(self, prompt, keys):
        self.wait_for(prompt)
        time.sleep(0.05)  # the program is reading: the keys are a separate reply
        os.write(self.master, keys)


TIOCVHANGUP = 0x5437  # Linux: hang up the terminal as a modem line drop does


def test_plain_terminal_hang_up(binary):
    learn_cases(binary)
    # TERM=dumb: the terminal's own line editing. The semi-chord is typed, then the terminal
    # goes while the sagitta is asked: the program ends as a hang-up ends it, and records
    # nothing. Three ways: the terminal closed with SIGHUP ignored by the parent (reads give
    # EIO), the terminal hung up by the system (reads give end of file), and, to tell them
    # apart, Ctrl+D typed on a live terminal, which is the end of input and ends normally.
    for way in ("closed", "hung up", "ctrl+d"):
        if way == "hung up" and os.geteuid() != 0:
            continue  # vhangup needs root
        s = Scratch()
        master, slave = pty.openpty()
        try:
            child = subprocess.Popen(
                [binary], stdin=slave, stdout=slave, stderr=slave, cwd=s.path,
                env=dict(os.environ, TERM="dumb"),
                preexec_fn=lambda: signal.signal(signal.SIGHUP, signal.SIG_IGN))
            screen = Screen(master)
            screen.answer(b"continuar? ", b"\n")
            screen.answer(b"c=? ", b"3\n")
            screen.wait_for(b"f=? ")
            time.sleep(0.05)
            if way == "closed":
                os.close(slave)
                os.close(master)
            elif way == "hung up":
                fcntl.ioctl(slave, TIOCVHANGUP)
            else:
                os.write(master, b"\x04")
            status = child.wait(timeout=30)
            if way == "ctrl+d":
                expect_equal((way, status), (way, 0))
                check(s.file(MEMO_FILE) is not None, "end of input: the case of zeros is gone")
            else:
                expect_equal((way, status, s.file(MEMO_FILE)), (way, -signal.SIGHUP, None))
        finally:
            for fd in (master, slave):
                try:
                    os.close(fd)
                except OSError:
                    pass
            s.close()


if __name__ == "__main__":
    main([test_writers_on_a_filling_disk, test_a_memo_locked_by_another_writer,
          test_an_append_only_memo, test_the_file_size_limit, test_signals_in_a_long_batch,
          test_non_blocking_descriptors, test_plain_terminal_hang_up])
