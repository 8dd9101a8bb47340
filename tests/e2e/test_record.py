"""The memo file is whole or absent under the faults of a real machine: a memo that cannot be
opened or written (a directory, a full device, a named pipe, a folder the user may not write),
the file-size limit, a full disk, an append-only file, many programs appending at once to a disk
that fills and frees, a memo another program holds locked, signals in the middle of a long
batch, and descriptors that another program left non-blocking.

After every run the memo file holds what it held before plus whole memos, and each case that
is not recorded has been said."""

import fcntl
import os
import pwd
import random
import resource
import shutil
import signal
import stat
import subprocess
import sys
import threading
import time

from support import (BYE, C_PROMPT, CONTINUE_PROMPT, CONTINUE_QUESTION, F_PROMPT, FIRST_SCREEN,
                     HELP_PROMPT, MEMO_FILE, MEMO_WARNING, ONE_CASE, ONE_MEMO, OUTPUT_WARNING,
                     RESULT_ROWS, THREE_ONE, Pane, Pty, Scratch, Skip, check, expect_equal, lines,
                     main, memo, process_state, results, run, started, table, under_checker,
                     wait_until, with_faults)

EARLIER = b"an earlier line, no line end"
MEMO_UNCONFIRMED = b" Aviso: o memorial deste caso pode nao ter sido gravado em mc-zepa4-07.txt"
MEMOS = {3: ONE_MEMO}  # the memo of each c, f = 1 (learn_cases adds c = 1 to 16)
SHOWN = {3: THREE_ONE}  # and its results as shown


def batch(c, cases):
    """The input of `cases` cases of c, f = 1, continued, then a stop."""
    return b"\n" + b"%d\n1\nc\n" % c * (cases - 1) + b"%d\n1\nn\n" % c


def learn_cases(binary):
    """The memos of c = 1 to 16 with f = 1, as one run of the program writes them."""
    if len(MEMOS) == 1:
        with Scratch() as s:
            expect_equal(run(binary, b"\n" + b"".join(b"%d\n1\nc\n" % c for c in range(1, 16)) +
                             b"16\n1\nn\n", s.path).returncode, 0)
            texts = s.file(MEMO_FILE).split(b"\r\n\r\n")[:-1]
        expect_equal(len(texts), 16)
        for c, text in enumerate(texts, 1):
            values = [line.split(b"=", 1)[1] for line in text.split(b"\r\n")[-3:]]
            MEMOS[c], SHOWN[c] = text + b"\r\n\r\n", results(*values)
            expect_equal(MEMOS[c], memo(f" {c}", " 1", *(v.decode() for v in values)))


def whole_memos(data, prefix=b""):
    """How many memos of each c the file holds after `prefix`; fails where it stops being
    whole memos."""
    check(data.startswith(prefix), "the earlier content changed")
    offset, counts = len(prefix), {}
    while offset < len(data):
        c = next((c for c, text in MEMOS.items() if data.startswith(text, offset)), None)
        check(c is not None, f"the memo at byte {offset} of {len(data)} is not whole: "
                             f"{data[offset:offset + 80]!r}")
        counts[c] = counts.get(c, 0) + 1
        offset += len(MEMOS[c])
    return counts


class SmallDisk(Scratch):
    """A scratch folder that is a file system of its own, `size` large (root only): a tmpfs,
    or an ext4 image on a loop device when the size reads "ext4 SIZE"."""

    def __init__(self, size):
        if os.geteuid() != 0 or shutil.which("mount") is None:
            raise Skip("mounting a small file system needs root")
        super().__init__()
        kind, _, size = size.rpartition(" ")
        self.image = self.path + ".img" if kind == "ext4" else None
        if self.image:
            with open(self.image, "wb") as f:
                f.truncate(int(size.rstrip("m")) << 20)
            p = subprocess.run(["mkfs.ext4", "-q", "-F", self.image], capture_output=True)
            command = ["mount", "-o", "loop", self.image, self.path]
        else:
            p = None
            command = ["mount", "-t", "tmpfs", "-o", f"size={size}", "zepa-disk", self.path]
        if p is None or p.returncode == 0:
            p = subprocess.run(command, capture_output=True)
        if p.returncode != 0:
            self.__exit__(mounted=False)
            raise Skip(f"cannot mount a {kind or 'tmpfs'}: {p.stderr.decode().strip()}")

    def resize(self, size):
        """A tmpfs takes its new size; an ext4 image keeps its own, which its rows leave room
        in (they are about the size limit, not a full disk)."""
        if not self.image:
            subprocess.run(["mount", "-o", f"remount,size={size}", self.path], check=True)

    def __exit__(self, *exception, mounted=True):
        if mounted:
            subprocess.run(["umount", self.path], check=False)
        if self.image and os.path.exists(self.image):
            os.remove(self.image)
        super().__exit__()


def unprivileged(binary):
    """A preexec_fn that runs the program as 'nobody' when we are root (root writes anywhere)."""
    if os.geteuid() != 0:
        return None
    path = os.path.abspath(binary)
    while path != "/":  # nobody must be let in to every folder up to the program
        path = os.path.dirname(path)
        if not os.stat(path).st_mode & stat.S_IXOTH:
            raise Skip("the program's folder is closed to other users")
    try:
        nobody = pwd.getpwnam("nobody")
    except KeyError:
        raise Skip("no user 'nobody'") from None
    return lambda: (os.setgroups([]), os.setgid(nobody.pw_gid), os.setuid(nobody.pw_uid))


@table(
    ("batch", "a directory"), ("batch", "/dev/full"),
    # A named pipe nobody reads: opening it would wait for ever, so it fails at once. With a
    # reader it opens, but has no position: the memo is given up before its first byte.
    ("batch", "a pipe"), ("terminal", "a pipe"),
    ("batch", "a pipe with a reader"), ("terminal", "a pipe with a reader"),
    # A folder the user may not write, with an earlier memo the user may not write either.
    ("batch", "a read-only folder with a memo"), ("batch", "a read-only folder"),
    # Standard output is the memo file ("> mc-zepa4-07.txt", or ">>" after a memo): it gets
    # the dialogue, at its own position, and no memo that this would tear.
    ("batch", "standard output"), ("batch", "standard output, appended"),
    ("terminal", "standard output"),
    # Its close fails once every byte was taken (faults.c: a network file system's failure at
    # the close): the memos are there, and the warning says they may not be.
    ("batch", "a close that fails"),
)
def test_memo_not_written_is_said(binary, where, what):
    # Each case is still shown and the dialogue goes on; the warning is on standard error when
    # the output is redirected, and follows the results at a terminal.
    output = what.startswith("standard output")
    warning = MEMO_UNCONFIRMED if what == "a close that fails" else MEMO_WARNING
    with Pane(binary, redirect=f"> {MEMO_FILE}" if output else "") if where == "terminal" \
            else Scratch() as place:
        s = place.scratch if where == "terminal" else place
        path, reader, drop, env = s.join(MEMO_FILE), None, None, None
        if what == "a directory":
            os.mkdir(path)
        elif what == "/dev/full":
            os.symlink("/dev/full", path)
        elif what.startswith("a pipe"):
            os.mkfifo(path)
            if what.endswith("reader"):
                reader = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
        elif what.startswith("a read-only"):
            drop = unprivileged(binary)
            if what.endswith("memo"):
                os.chmod(s.write(MEMO_FILE, ONE_MEMO), 0o444)
            os.chmod(s.path, 0o555)
        elif what.endswith("appended"):
            s.write(MEMO_FILE, ONE_MEMO)
        elif what == "a close that fails":
            env = with_faults(binary, memo_close=1)
        try:
            if where == "batch":
                shown = ONE_CASE + lines(b"", b"", b" Dados:") + THREE_ONE + BYE
                with open(path, "ab") if output else open(os.devnull) as out:
                    p = run(binary, b"\n3\n1\nc\n3\n1\nn\n", s.path, preexec_fn=drop, env=env,
                            stdout=out if output else subprocess.PIPE)
                stdout = p.stdout
                if output:  # the dialogue's bytes after what the file held, and no memo
                    stdout = s.file(MEMO_FILE).removeprefix(ONE_MEMO if "appended" in what else b"")
                expect_equal((p.returncode, stdout, p.stderr), (0, shown, (warning + b"\n") * 2))
                if what == "a close that fails":
                    expect_equal(s.file(MEMO_FILE), ONE_MEMO * 2)
            else:
                place.answer(HELP_PROMPT, "")
                place.answer(C_PROMPT, "3")
                place.answer(F_PROMPT, "1")
                screen = place.wait_for_last_line(CONTINUE_PROMPT)
                at = screen.index(CONTINUE_PROMPT.rstrip())
                expect_equal(screen[at - 6:at], [" Resultados:", *RESULT_ROWS,
                                                 MEMO_WARNING.decode(), ""])
                place.answer(CONTINUE_PROMPT, "n")
                place.expect_ended(0)
                if output:  # the transcript, the warning in it, and no memo
                    transcript = s.file(MEMO_FILE)
                    check(transcript.startswith(FIRST_SCREEN) and ONE_MEMO not in transcript and
                          transcript.endswith(THREE_ONE + lines(MEMO_WARNING, b"") +
                                              CONTINUE_QUESTION + b"? n\r\n\r\n"),
                          repr(transcript[-300:]))
            if what.startswith("a read-only"):
                expect_equal(s.file(MEMO_FILE), ONE_MEMO if what.endswith("memo") else None)
            if reader is not None:
                expect_equal(os.read(reader, 4096), b"")  # no byte, and no writer left
        finally:
            os.chmod(s.path, 0o755)
            if reader is not None:
                os.close(reader)


ONE = len(ONE_MEMO)


@table(
    # The memo already at the file-size limit: neither case is recorded, both are said.
    (None, False, 2048, bytes(2048), 2, False, 0),
    # Room for one memo and a half: the first lands whole, the second is refused whole.
    (None, False, 2048 + ONE + ONE // 2, bytes(2048), 2, False, 1),
    # Standard output is a file that reaches the limit too: it says so once, status 1, and
    # the memo stops at its last whole memo.
    (None, False, 8192, b"", 100, True, 8192 // ONE),
    # A disk that fills inside a memo: 16 KiB take 30 memos and part of the 31st.
    ("16k", False, None, EARLIER, 40, False, None),
    # An append-only memo cannot be cut back: a memo that does not fit is refused before its
    # first byte, at the limit and on a full disk alike. On ext4, unlike tmpfs, the space is
    # set aside past the size limit: only the program's own look at the limit refuses it.
    ("64k", True, 4000, b"", 10, False, 4000 // ONE),
    ("ext4 4m", True, 4000, b"", 10, False, 4000 // ONE),
    ("64k", True, None, b"", 200, False, None),
)
def test_memo_refused_whole_at_a_limit(binary, disk, append_only, limit, prefix, cases,
                                       output_file, recorded):
    with SmallDisk(disk) if disk else Scratch() as place:
        path = place.write(MEMO_FILE, prefix)
        try:
            if append_only and (shutil.which("chattr") is None or
                                subprocess.run(["chattr", "+a", path]).returncode != 0):
                raise Skip("this file system cannot make a file append-only")
            with open(place.join("out") if output_file else os.devnull, "wb") as out:
                p = subprocess.run([binary], input=batch(3, cases), cwd=place.path,
                                   stdout=out if output_file else subprocess.PIPE,
                                   stderr=subprocess.PIPE, timeout=60, preexec_fn=limit and (
                                       lambda: resource.setrlimit(resource.RLIMIT_FSIZE,
                                                                  (limit, limit))))
            landed = whole_memos(place.file(MEMO_FILE), prefix).get(3, 0)
            if recorded is None:
                check(0 < landed < cases, f"{landed} memos recorded")
            else:
                expect_equal(landed, recorded)
            expect_equal((p.returncode, p.stderr.count(MEMO_WARNING),
                          p.stderr.count(OUTPUT_WARNING)),
                         (int(output_file), cases - landed, int(output_file)))
            if output_file:
                expect_equal(os.path.getsize(place.join("out")), limit)
            else:
                expect_equal(p.stdout.count(THREE_ONE), cases)
            if disk:
                # With room again, a later run's memo follows the last whole one.
                place.resize("1m")
                p = run(binary, b"\n3\n1\nn\n", place.path)
                expect_equal((p.returncode, p.stderr), (0, b""))
                expect_equal(whole_memos(place.file(MEMO_FILE), prefix), {3: landed + 1})
        finally:
            if append_only:
                subprocess.run(["chattr", "-a", path], capture_output=True)


# Another program on the same small disk: it takes and frees 4 KiB blocks as fast as it can,
# so that the free space moves while the memos are written.
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


@table(
    # 8 programs, 300 cases each, in a folder with room: every memo lands, whole.
    (8, 300, None),
    # 16 programs, 2,000 cases each, on a 256 KiB disk that another program fills and frees,
    # three times over: most memos find no room; those that land are whole, the others said.
    *[(16, 2000, "256k")] * 3,
    # 8 programs, 2 cases each, on a file system where each write of a memo takes 0.6 s
    # (faults.c): the last in line waits 4 s and more, but the file grows all the while, so
    # every memo lands.
    (8, 2, None, 600),
)
def test_writers_at_once(binary, programs, cases, disk, slow_ms=None):
    learn_cases(binary)
    env = with_faults(binary, memo_write=slow_ms) if slow_ms else None
    if disk and under_checker(binary):
        raise Skip("under a checker the programs are too slow to meet on a filling disk")
    with SmallDisk(disk) if disk else Scratch() as place, Scratch() as logs:
        place.write(MEMO_FILE, EARLIER)
        neighbour = [[sys.executable, "-c", NEIGHBOUR, place.path]] if disk else []
        # Each program's output and errors go to files of their own, off the small disk.
        commands = [["sh", "-c", 'exec "$0" > "$1" 2> "$2"', binary, logs.join(f"out{c}"),
                     logs.join(f"err{c}")] for c in range(1, programs + 1)]
        with started(*neighbour), started(*commands, cwd=place.path, stdin=subprocess.PIPE,
                                          env=env) as writers:
            for c, writer in enumerate(writers, 1):
                writer.stdin.write(batch(c, cases))  # it fits in the pipe: all start at once
                writer.stdin.close()
            expect_equal([writer.wait(timeout=120) for writer in writers], [0] * programs)
        counts = whole_memos(place.file(MEMO_FILE), EARLIER)
        for c in range(1, programs + 1):
            said = logs.file(f"err{c}").count(MEMO_WARNING)
            expect_equal((c, logs.file(f"out{c}").count(SHOWN[c]), counts.get(c, 0) + said),
                         (c, cases, cases))
            check(disk or said == 0, f"c = {c}: {said} memos not recorded")
        check(sum(counts.values()) > 0, "no memo landed at all")


@table((0.5, True), (4.0, False))
def test_a_memo_locked_by_another_writer(binary, hold, recorded):
    # Another copy of the program holds the memo's lock for a moment: the case waits for it
    # and is recorded after it. Held for longer than the program waits (3 s), the case is not
    # recorded, said, and the dialogue goes on.
    with Scratch() as s, open(s.join(MEMO_FILE), "ab") as holder:
        fcntl.flock(holder, fcntl.LOCK_EX)
        release = threading.Timer(hold, fcntl.flock, (holder, fcntl.LOCK_UN))
        began = time.monotonic()
        release.start()
        p = run(binary, b"\n3\n1\nn\n", s.path)
        took = time.monotonic() - began
        release.join()
        expect_equal((p.returncode, p.stdout.count(THREE_ONE), p.stderr.count(MEMO_WARNING)),
                     (0, 1, 0 if recorded else 1))
        check(took >= min(hold, 3.0) - 0.1, f"the program did not wait: {took:.2f} s")
        expect_equal(s.file(MEMO_FILE), ONE_MEMO if recorded else b"")


def test_signals_in_a_long_batch(binary):
    if under_checker(binary):
        raise Skip("a checker takes the signals first")
    # 150 interruptions of a batch of 100,000 cases, each at once or once the memo has reached
    # a random size, by each signal that ends a process by default, with a busy neighbour on
    # every core so that the program is preempted in its writes too: the program ends by that
    # signal (held only while a memo is written), leaving whole memos only.
    rng = random.Random(5)
    fatal = [signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGQUIT, signal.SIGUSR1,
             signal.SIGUSR2, signal.SIGALRM]
    no_core = lambda: resource.setrlimit(resource.RLIMIT_CORE, (0, 0))  # noqa: E731
    busy = [["sh", "-c", "while :; do :; done"]] * (os.cpu_count() or 1)
    with Scratch() as s, started(*busy):
        path, memo_path = s.write("input", batch(3, 100000)), s.join(MEMO_FILE)
        for attempt in range(150):
            sig, size = fatal[attempt % len(fatal)], rng.randrange(-200 * ONE, 2000 * ONE)
            with open(path, "rb") as stdin, started([binary], stdin=stdin, cwd=s.path,
                                                    stdout=subprocess.DEVNULL,
                                                    preexec_fn=no_core) as (child,):
                wait_until(f"memo of {size} bytes", lambda: size <= 0 or (
                    os.path.exists(memo_path) and os.path.getsize(memo_path) >= size), limit=60)
                child.send_signal(sig)
                expect_equal((attempt, child.wait(timeout=60)), (attempt, -sig))
            whole_memos(s.file(MEMO_FILE) or b"")
            if os.path.exists(memo_path):
                os.remove(memo_path)


def sync_events(trace):
    """The memo file's opens, the syncs and the continue question's writes, in the order strace
    saw them."""
    events = []
    with open(trace) as f:
        for line in f:
            if line.startswith(("fdatasync(", "fsync(", "sync_file_range(")):
                events.append("sync")
            elif line.startswith("openat(") and f'"{MEMO_FILE}"' in line:
                events.append("open")
            elif line.startswith("write(") and CONTINUE_QUESTION.decode() in line:
                events.append("question")
    return events


@table(
    # Two cases typed at a terminal: each memo is on the disk before the next question.
    ("typed", ["open", "sync", "question"] * 2),
    # Three cases of a redirected input, which still holds them: one sync, at the end, of the
    # memo file opened again.
    ("batch", ["open"] * 4 + ["sync"]),
)
def test_memos_reach_the_disk(binary, how, events):
    # The system calls, counted by strace.
    if shutil.which("strace") is None or under_checker(binary):
        raise Skip("no strace, or the program runs under a checker")
    with Scratch() as s:
        trace = ["strace", "-qq", "-o", s.join("trace"), "-s", "4096", "-e",
                 "trace=openat,write,fdatasync,fsync,sync_file_range"]
        if how == "batch":
            p = run(trace[0], b"\n3\n1\nc\n3\n1\nc\n3\n1\nn\n", s.path, args=(*trace[1:], binary))
            expect_equal(p.returncode, 0)
        else:
            with Pty(binary, s.path, dict(os.environ, TERM="xterm"), before=trace) as term:
                for prompt, keys in ((b"continuar? ", b"\r"), (b"c=? ", b"3\r"), (b"f=? ", b"1\r"),
                                     (b"(C ou c):? ", b"c\r"), (b"c=? ", b"3\r"),
                                     (b"f=? ", b"1\r"), (b"(C ou c):? ", b"n\r")):
                    term.answer(prompt, keys)
                expect_equal(term.end()[0], 0)
        expect_equal(sync_events(s.join("trace")), events)
        check(whole_memos(s.file(MEMO_FILE)), "no memo")


def non_blocking(fd):
    fcntl.fcntl(fd, fcntl.F_SETFL, fcntl.fcntl(fd, fcntl.F_GETFL) | os.O_NONBLOCK)


def test_non_blocking_descriptors(binary):
    # Standard input is a non-blocking pipe whose data comes only once the program waits for
    # it: EAGAIN is no end of input, and the case typed is recorded, not one of zeros.
    with Scratch() as s:
        reader, writer = os.pipe()
        non_blocking(reader)
        with started([binary], stdin=reader, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                     cwd=s.path) as (child,):
            os.close(reader)
            wait_until("the program asleep", lambda: process_state(child.pid) in ("S", "Z"))
            with open(writer, "wb") as pipe:
                pipe.write(b"\n3\n1\nn\n")
            out, err = child.communicate(timeout=30)
        expect_equal((child.returncode, out.count(THREE_ONE), err), (0, 1, b""))
        expect_equal(s.file(MEMO_FILE), ONE_MEMO)
    # Standard output is a non-blocking pipe, read only when the program waits for room in
    # it: all 3,001 results arrive.
    with Scratch() as s:
        reader, writer = os.pipe()
        non_blocking(writer)
        received = bytearray()
        with started([binary], stdin=subprocess.PIPE, stdout=writer, stderr=subprocess.PIPE,
                     cwd=s.path) as (child,), open(reader, "rb", buffering=0) as pipe:
            os.close(writer)
            child.stdin.write(batch(3, 3001))  # it fits in the pipe
            child.stdin.close()
            while True:
                wait_until("the program waiting", lambda: process_state(child.pid) != "R")
                chunk = pipe.read(4096)
                if not chunk:
                    break
                received += chunk
            expect_equal((child.wait(timeout=60), child.stderr.read()), (0, b""))
        expect_equal(received.count(THREE_ONE), 3001)
        expect_equal(whole_memos(s.file(MEMO_FILE)), {3: 3001})
    # A plain terminal whose descriptor is non-blocking: the program waits for each line.
    with Scratch() as s, Pty(binary, s.path, dict(os.environ, TERM="dumb"),
                             non_blocking=True) as term:
        for prompt, keys in ((b"continuar? ", b"\n"), (b"c=? ", b"3\n"), (b"f=? ", b"1\n"),
                             (b"(C ou c):? ", b"n\n")):
            term.answer(prompt, keys)
        expect_equal(term.end()[0], 0)
        expect_equal(s.file(MEMO_FILE), ONE_MEMO)


if __name__ == "__main__":
    main(globals())
