"""The program with redirected standard input and output: the dialogue's bytes, the memo's, the
exit status (and `make run`'s runner, which passes it on), the help answers, any input."""

import os
import random
import resource
import select
import signal
import subprocess
import urllib.parse

from support import (BYE, FIRST_SCREEN, MEMO_FILE, HELP_NOT_OPENED, ONE_CASE, ONE_MEMO, REFUSAL,
                     THREE_ONE, Scratch, check, expect_equal, lines, main, memo, results, run,
                     started, table, under_checker, wait_until, with_faults)

RUNNER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                      "run_interactive.sh")
DADOS = lines(b"", b" Dados:")
EARLIER = b"an earlier line, no line end"


@table(
    # The documented session, with CR LF line ends.
    (b"\r\n3\r\n1\r\nn\r\n", ONE_CASE + BYE, ONE_MEMO),
    # Items share lines, ended by blanks, commas or lone CRs; quotes are dropped; 3.0 is 3.
    (b"\n3 1\nn\n", ONE_CASE + BYE, ONE_MEMO),
    (b"\n3,1\nn\n", ONE_CASE + BYE, ONE_MEMO),
    # A comma before a digit separates here too, with no warning: only a typed line is refused.
    (b"\n4,2\nn\n", FIRST_SCREEN + DADOS + results(b" 5", b" 4.636476", b" 53.12997") + BYE,
     memo(" 4", " 2", " 5", " 4.636476", " 53.12997")),
    (b"\r3\r1\rn", ONE_CASE + BYE, ONE_MEMO),
    (b'\n"3" 1 n', ONE_CASE + BYE, ONE_MEMO),
    (b"\n3.0 1.00\nx\n", ONE_CASE + BYE, ONE_MEMO),
    # Each refusal asks both values again, after an empty line, and records nothing.
    (b"\n1\n3\n1\n3\n3\n1\nn\n",
     FIRST_SCREEN + (DADOS + lines(b"", REFUSAL, b"")) * 2 + DADOS + THREE_ONE + BYE, ONE_MEMO),
    # "C" and "c" go on, "CC" ends.
    (b"\n3\n1\nC\n4\n2\nc\n1\n2\nCC\n",
     ONE_CASE + lines(b"") + DADOS + results(b" 5", b" 4.636476", b" 53.12997") + lines(b"") + DADOS +
     results(b" 1.25", b" 2.767872", b" 126.8696") + BYE,
     ONE_MEMO + memo(" 4", " 2", " 5", " 4.636476", " 53.12997") +
     memo(" 1", " 2", " 1.25", " 2.767872", " 126.8696")),
    # Any other answer ends the program, the empty one included.
    *[(b"\n3\n1\n" + stop + b"\n3\n1\n", ONE_CASE + BYE, ONE_MEMO)
      for stop in (b"", b"n", b"S", b"CC", b"c ", b"continua")],
    # Input that ends mid-case: f reads as 0, an infinite radius and NaNs, recorded in full.
    (b"\n3", FIRST_SCREEN + DADOS + results(b" inf", b"-nan", b" 0") + BYE,
     memo(" 3", " 0", " inf", "-nan", " 0")),
    # No input at all: c and f read as 0 and pass the test.
    (b"", FIRST_SCREEN + DADOS + results(b"-nan", b"-nan", b"-nan") + BYE,
     memo(" 0", " 0", "-nan", "-nan", "-nan")),
)
def test_dialogue_and_memo(binary, data, output, memos):
    with Scratch() as s:
        s.write(MEMO_FILE, EARLIER)  # appended to, never rewritten; arguments are ignored
        p = run(binary, data, s.path, args=("ignored", "--help"))
        expect_equal((p.returncode, p.stdout, p.stderr), (0, output, b""))
        expect_equal(s.file(MEMO_FILE), EARLIER + memos)


def test_end_of_input_at_every_byte(binary):
    # A session with a refusal and a second case, cut after each of its bytes.
    transcript = b"\r\n3\r\n1\r\nc\r\n1\r\n3\r\n4\r\n2\r\nn\r\n"
    for cut in range(len(transcript) + 1):
        with Scratch() as s:
            p = run(binary, transcript[:cut], s.path)
            expect_equal((cut, p.returncode, p.stderr), (cut, 0, b""))
            check(p.stdout.startswith(FIRST_SCREEN) and p.stdout.endswith(BYE), f"cut {cut}")
            recorded = (s.file(MEMO_FILE) or b"").count(b"\r\n")
            # Whole memos only; with no more than the help answer, a case of zeros.
            expect_equal((cut, recorded % 21, cut > 1 or recorded == 21), (cut, 0, True))


RANDOM = random.Random(11)


@table(
    ("1 MB of random bytes", bytes(RANDOM.randrange(256) for _ in range(1 << 20))),
    ("NULs and lone CRs", b"\x00\x00\n\x00\r\r\n\xff\xe3\n"),
    ("a 5 MB number", b"\n" + b"9" * (5 << 20) + b"\n1\nn\n"),
    ("input that ends in a 5 MB number", b"\n" + b"7" * (5 << 20)),
    ("a 5 MB answer", b"\n3\n1\n" + b"c" * (5 << 20)),
    ("10,000 quotes", b"\n" + b'"' * 10000),
    ("20,000 cases", b"\n" + b"3\n1\nc\n" * 20000),
)
def test_any_input_in_bounded_memory(binary, label, data):
    # The program's data (heap and stack) stays under 16 MiB whatever standard input holds:
    # past it an allocation fails and the run would not end normally. A checker's own memory
    # is not the program's: under one, only the normal end is checked.
    limit = None if under_checker(binary) else (lambda: resource.setrlimit(
        resource.RLIMIT_DATA, (16 << 20, 16 << 20)))
    with Scratch() as s:
        p = run(binary, data, s.path, preexec_fn=limit, timeout=120)
        expect_equal((p.returncode, p.stderr), (0, b""))
        check(p.stdout.startswith(FIRST_SCREEN), "no first screen")


INPUT_FAILED = b"zepa4-07: a leitura da entrada falhou; o caso em curso nao foi calculado nem gravado\n"


@table(
    # Standard input is a directory: its first read fails (EISDIR).
    (None, b"", FIRST_SCREEN, None),
    # Reads fail with EIO once "\n3 1." of "\n3 1.5\nn\n" is in (faults.c, in front of the C
    # library: no file system fails on cue): c is 3, f was still being read; nothing is
    # computed or recorded.
    (5, b"\n3 1.5\nn\n", FIRST_SCREEN + DADOS, None),
    # The same once a whole case and its "c" are in: that case stays recorded.
    (8, b"\n3\n1\nc\n3\n1\nn\n", ONE_CASE + lines(b"") + DADOS, ONE_MEMO),
)
def test_a_failed_read_ends_the_program(binary, fails_after, data, output, memos):
    # A read that fails is no end of input: the program says so and ends with status 1.
    with Scratch() as s:
        if fails_after is None:
            folder = os.open(s.path, os.O_RDONLY)
            p = run(binary, None, s.path, stdin=folder)
            os.close(folder)
        else:
            p = run(binary, data, s.path, env=with_faults(binary, read_eio=fails_after))
        expect_equal((p.returncode, p.stdout, p.stderr, s.file(MEMO_FILE)),
                     (1, output, INPUT_FAILED, memos))


def page_address(binary):
    """What the help answer opens: the page beside the program, else the web page."""
    page = os.path.join(os.path.dirname(os.path.realpath(binary)), "ajuda-zepa4-07.html")
    if os.path.exists(page):
        return "file://" + urllib.parse.quote(page), page
    return ("http://www.zepa.example/ajuda-zepa4-07.php",) * 2


@table(*[(answer, True) for answer in (b"a", b"A", b"   a", b"a,x", b'"a"', b'"A"x')],
       *[(answer, False) for answer in (b"", b"aa", b"b", b" ", b"ajuda", b"a ")],
       # An opener that succeeds, for a parent that ignores SIGCHLD (whose children the system
       # reaps at once): the success is known, and not warned about.
       (b"a", True, 0, signal.SIG_IGN))
def test_help_answers(binary, answer, opens, status=3, sigchld=signal.SIG_DFL):
    with Scratch() as s:
        # An opener that notes what it was given and ends with `status`.
        s.write("bin/xdg-open", f'#!/bin/sh\necho "$@" >> {s.join("opened")}\nexit {status}\n',
                True)
        env = dict(os.environ, PATH=s.join("bin") + os.pathsep + os.environ["PATH"])
        p = run(binary, answer + b"\n3\n1\nn\n", s.path, env=env,
                preexec_fn=lambda: signal.signal(signal.SIGCHLD, sigchld))
        address, place = page_address(binary)
        expect_equal((p.returncode, s.file("opened")), (0, (address + "\n").encode() if opens
                                                          else None))
        # Its failure is said on standard error with the page's place, and the dialogue goes
        # on. After "a,x" and '"A"x' the "x" left on the line is the semi-chord.
        expect_equal(p.stderr, HELP_NOT_OPENED + place.encode() + b"\n" if opens and status
                     else b"")
        if b"x" not in answer:
            expect_equal(p.stdout, ONE_CASE + BYE)


@table(
    # Input at its end: a case of zeros, an empty answer, status 0; through the runner too.
    (False, None, b"", None, 0),
    (True, None, b"", None, 0),
    # Standard output on a full disk: one line on standard error, status 1, the memo recorded.
    (False, None, b"\n3\n1\nn\n", "/dev/full", 1),
    (True, None, b"\n3\n1\nn\n", "/dev/full", 1),
    # Ended by a signal that its parent did not get: the runner ends by it too.
    (True, ["sh", "-c", "kill -TERM $$"], b"", None, -15),
)
def test_exit_status(binary, runner, command, data, output, status):
    command = ([RUNNER] if runner else []) + (command or [binary])
    with Scratch() as s, open(output or os.devnull, "wb") as out:
        p = subprocess.run(command, input=data, cwd=s.path, stdout=out, stderr=subprocess.PIPE,
                           timeout=60)
        expect_equal(p.returncode, status)
        if command[-1] == binary:
            expect_equal(p.stderr.count(b"\n"), 1 if output else 0)
            check(s.file(MEMO_FILE) is not None, "no memo")


def test_driven_through_pipes_sees_each_result_before_answering(binary):
    with Scratch() as s, started([binary], cwd=s.path, stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE) as (p,):
        p.stdin.write(b"\n3\n1\n")
        p.stdin.flush()
        seen = bytearray()

        def result_seen():
            if select.select([p.stdout], [], [], 0.05)[0]:
                seen.extend(os.read(p.stdout.fileno(), 4096))
            return b"36.86981" in seen
        wait_until("result before the answer", result_seen)
        p.stdin.write(b"n\n")
        p.stdin.close()
        p.stdout.read()
        expect_equal(p.wait(timeout=10), 0)


if __name__ == "__main__":
    main(globals())
