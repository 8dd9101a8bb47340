"""The program with redirected standard input and output: byte-exact dialogue and memo."""

import os
import random
import stat
import subprocess
import time
import urllib.parse

from common import (CONTINUE_QUESTION, HELP_NOT_OPENED, MEMO_FILE, MEMO_WARNING, REFUSAL, Skip,
                    check, expect_equal, first_screen, lines, main, memo, results, run, Scratch)

ONE_CASE = first_screen() + lines(b"", b" Dados:") + results(b" 5", b" 3.217506", b" 36.86981")
ONE_CASE_MEMO = memo(" 3", " 1", " 5", " 3.217506", " 36.86981")


def test_transcript_one_case(binary):
    s = Scratch()
    try:
        p = run(binary, b"\r\n3\r\n1\r\nn\r\n", s.path, args=("ignored", "--help"))
        expect_equal(p.stdout, ONE_CASE + lines(b"", b""))
        expect_equal(p.returncode, 0)
        expect_equal(p.stderr, b"")
        expect_equal(s.file(MEMO_FILE), ONE_CASE_MEMO)
        # A second run appends after the first memo; data typed as 3.0 and 1.00 read as 3, 1.
        run(binary, b"\n3.0 1.00\nx\n", s.path)
        expect_equal(s.file(MEMO_FILE), ONE_CASE_MEMO * 2)
    finally:
        s.close()


def test_refusals_ask_both_values_again(binary):
    s = Scratch()
    try:
        p = run(binary, b"\n1\n3\n1\n3\n3\n1\nn\n", s.path)
        refusal = lines(b"", b" Dados:", b"", REFUSAL, b"")
        expected = (first_screen() + refusal * 2 + lines(b"", b" Dados:") +
                    results(b" 5", b" 3.217506", b" 36.86981") + lines(b"", b""))
        expect_equal(p.stdout, expected)
        expect_equal(s.file(MEMO_FILE), ONE_CASE_MEMO)
    finally:
        s.close()


def test_continue_answers(binary):
    s = Scratch()
    try:
        # "C" and "c" go on; "CC" ends.
        p = run(binary, b"\n3\n1\nC\n4\n2\nc\n1\n2\nCC\n", s.path)
        expect_equal(p.returncode, 0)
        memos = s.file(MEMO_FILE)
        expect_equal(memos, ONE_CASE_MEMO +
                     memo(" 4", " 2", " 5", " 4.636476", " 53.12997") +
                     memo(" 1", " 2", " 1.25", " 2.767872", " 126.8696"))
        for answer in (b"", b"n", b"S", b"CC", b"c ", b"continua"):
            p = run(binary, b"\n3\n1\n" + answer + b"\n3\n1\n", s.path)
            expect_equal(p.stdout.count(b" Resultados:"), 1)
    finally:
        s.close()


def help_page_url(binary):
    """What the opener is given: the page beside the program, else the web page."""
    page = os.path.join(os.path.dirname(os.path.realpath(binary)), "ajuda-zepa4-07.html")
    if os.path.exists(page):
        return "file://" + urllib.parse.quote(page), page
    return "http://www.zepa.example/ajuda-zepa4-07.php", "http://www.zepa.example/ajuda-zepa4-07.php"


def test_help_answers_run_the_opener(binary):
    s = Scratch()
    try:
        stub_dir = os.path.join(s.path, "bin")
        os.mkdir(stub_dir)
        log = os.path.join(s.path, "opened.log")
        stub = os.path.join(stub_dir, "xdg-open")
        with open(stub, "w") as f:
            f.write(f'#!/bin/sh\necho "$@" >> {log}\nexit 3\n')
        os.chmod(stub, stat.S_IRWXU)
        env = dict(os.environ, PATH=stub_dir + os.pathsep + os.environ.get("PATH", ""))
        url, place = help_page_url(binary)
        opening = [b"a", b"A", b"   a", b"a,x", b'"a"', b'"A"x']
        quiet = [b"", b"aa", b"b", b" ", b"ajuda", b"a "]
        for answer in opening + quiet:
            if os.path.exists(log):
                os.remove(log)
            p = run(binary, answer + b"\n3\n1\nn\n", s.path, env=env)
            expect_equal(p.returncode, 0)
            # The opener's failure changes nothing in the dialogue's output; it is said on
            # standard error, with the page's place. After "a,x" and '"A"x' the "x" left on the
            # line is the next item, the semi-chord, so only the opener counts.
            if answer not in (b"a,x", b'"A"x'):
                expect_equal(p.stdout, ONE_CASE + lines(b"", b""))
            opened = os.path.exists(log)
            check(opened == (answer in opening), f"answer {answer!r} opened={opened}")
            if opened:
                with open(log) as f:
                    expect_equal(f.read(), url + "\n")
                expect_equal(p.stderr, HELP_NOT_OPENED + place.encode() + b"\n")
            else:
                expect_equal(p.stderr, b"")
    finally:
        s.close()


def test_end_of_input_mid_case(binary):
    s = Scratch()
    try:
        # f reads as 0: an infinite radius and a NaN arc, recorded in full.
        p = run(binary, b"\n3", s.path)
        expect_equal(p.returncode, 0)
        expect_equal(p.stdout, first_screen() + lines(b"", b" Dados:") +
                     results(b" inf", b"-nan", b" 0") + lines(b"", b""))
        expect_equal(s.file(MEMO_FILE), memo(" 3", " 0", " inf", "-nan", " 0"))
        # Nothing at all: 0 and 0 pass the test and give NaN everywhere.
        p = run(binary, b"", s.path)
        expect_equal(p.returncode, 0)
        check(p.stdout.endswith(results(b"-nan", b"-nan", b"-nan") + lines(b"", b"")))
    finally:
        s.close()


def test_items_share_lines_when_redirected(binary):
    s = Scratch()
    try:
        for data in (b"\n3 1\nn\n", b"\n3,1\nn\n", b"\r3\r1\rn", b'\n"3" 1 n'):
            os.remove(os.path.join(s.path, MEMO_FILE)) if s.file(MEMO_FILE) else None
            p = run(binary, data, s.path)
            expect_equal(p.stdout, ONE_CASE + lines(b"", b""))
            expect_equal(s.file(MEMO_FILE), ONE_CASE_MEMO)
    finally:
        s.close()


def test_memo_that_cannot_be_written_is_reported(binary):
    s = Scratch()
    try:
        memo_path = os.path.join(s.path, MEMO_FILE)
        # A directory in the memo's place, then a memo on a full disk.
        os.mkdir(memo_path)
        p = run(binary, b"\n3\n1\nc\n4\n2\nn\n", s.path)
        expect_equal(p.returncode, 0)
        expect_equal(p.stdout.count(b" Resultados:"), 2)
        check(MEMO_WARNING not in p.stdout)
        expect_equal(p.stderr, (MEMO_WARNING + b"\n") * 2)
        os.rmdir(memo_path)
        if os.path.exists("/dev/full"):
            os.symlink("/dev/full", memo_path)
            p = run(binary, b"\n3\n1\nn\n", s.path)
            expect_equal(p.returncode, 0)
            expect_equal(p.stdout, ONE_CASE + lines(b"", b""))
            expect_equal(p.stderr, MEMO_WARNING + b"\n")
    finally:
        s.close()


def test_standard_output_on_a_full_disk(binary):
    if not os.path.exists("/dev/full"):
        raise Skip("no /dev/full")
    s = Scratch()
    try:
        with open("/dev/full", "wb") as full:
            p = run(binary, b"\n3\n1\nn\n", s.path, stdout=full)
        expect_equal(p.returncode, 1)
        expect_equal(p.stderr.count(b"\n"), 1)
        # The memo does not depend on standard output.
        expect_equal(s.file(MEMO_FILE), ONE_CASE_MEMO)
    finally:
        s.close()


def test_driven_through_pipes_sees_each_result_before_answering(binary):
    s = Scratch()
    try:
        p = subprocess.Popen([binary], cwd=s.path, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        p.stdin.write(b"\n3\n1\n")
        p.stdin.flush()
        seen = b""
        deadline = time.time() + 10
        while b"36.86981" not in seen and time.time() < deadline:
            seen += os.read(p.stdout.fileno(), 4096)
        check(b"36.86981" in seen, "result not seen before the answer was sent")
        p.stdin.write(b"n\n")
        p.stdin.close()
        p.stdout.read()
        expect_equal(p.wait(timeout=10), 0)
    finally:
        s.close()


def test_any_bytes_end_normally(binary):
    s = Scratch()
    try:
        rng = random.Random(7)
        inputs = [
            bytes(rng.randrange(256) for _ in range(20000)),
            b"\x00\x00\n\x00\r\r\n\xff\xe3\n",
            b"\n" + b"9" * (5 * 1024 * 1024) + b"\n1\nn\n",
            b"\n" + b'"' * 10000,
        ]
        for data in inputs:
            p = run(binary, data, s.path, timeout=60)
            expect_equal(p.returncode, 0)
            check(p.stdout.startswith(first_screen()))
    finally:
        s.close()


if __name__ == "__main__":
    main([
        test_transcript_one_case,
        test_refusals_ask_both_values_again,
        test_continue_answers,
        test_help_answers_run_the_opener,
        test_end_of_input_mid_case,
        test_items_share_lines_when_redirected,
        test_memo_that_cannot_be_written_is_reported,
        test_standard_output_on_a_full_disk,
        test_driven_through_pipes_sees_each_result_before_answering,
        test_any_bytes_end_normally,
    ])
