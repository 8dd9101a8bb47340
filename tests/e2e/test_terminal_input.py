"""What reaches the program from a real terminal (tmux, or a pty of our own): pasted lines,
bracketed pastes and their end on every way out, Alt with characters, characters the line cannot
hold, the idle wait, a hang-up while the program is blocked elsewhere, and the bytes a terminal
that cannot address the cursor receives."""

import fcntl
import os
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import termios
import time

from common import (MEMO_FILE, check, expect_equal, main, memo)
from test_faults import program_pid, shell_pane
from test_terminal import (C_PROMPT, CONTINUE_LINE, EXEC_WRAPPER, F_PROMPT, HELP_LINE,
                           WAIT_LIMIT, Pane, expect_results, expect_terminal_restored,
                           process_state)

ONE_CASE_MEMO = memo(" 3", " 1", " 5", " 3.217506", " 36.86981")

# As test_terminal's RUN_WRAPPER, and then, with the program gone, the terminal in raw mode
# reads three bytes: a paste of "abc" arrives as "abc" only if nothing left the terminal
# marking pastes.
PASTE_WRAPPER = """#!/bin/sh
trap 'true' INT
stty -g > stty.before
"$@"
echo $? > status
stty -g > stty.after
stty raw -echo
echo ready > paste.ready
head -c 3 > after.paste
stty "$(cat stty.before)"
exec sleep 600
"""


def paste(pane, data, *flags):
    path = os.path.join(pane.scratch.path, "paste")
    with open(path, "wb") as f:
        f.write(data)
    pane.tmux("load-buffer", path)
    pane.tmux("paste-buffer", "-t", "zepa", *flags)


def expect_paste_marks_off(pane, ready="paste.ready", result="after.paste"):
    """A bracketed paste ("-p": marked only if the application asked for it) after the end."""
    pane.wait_for_file(ready)
    paste(pane, b"abc", "-p")
    expect_equal(pane.wait_for_file(result), "abc")


def wait_until(what, condition, limit=WAIT_LIMIT):
    deadline = time.monotonic() + limit
    while not condition():
        check(time.monotonic() < deadline, f"no {what} within {limit} s")
        time.sleep(0.02)


def test_pasted_crlf_lines(binary):
    pane = Pane(binary, wrapper=PASTE_WRAPPER)
    try:
        pane.skip_help()
        pane.wait_for_last_line(C_PROMPT)
        # Lines ended with CR LF, pasted unmarked (-r keeps the LFs): one Enter per line end, so
        # "1" is the sagitta and the program then waits at the continue question.
        paste(pane, b"3\r\n1\r\n", "-r")
        expect_results(pane.wait_for_last_line(CONTINUE_LINE))
        expect_equal(pane.scratch.file(MEMO_FILE), ONE_CASE_MEMO)
        pane.type("n")
        pane.keys("Enter")
        expect_equal(pane.wait_for_file("status"), "0")
        expect_terminal_restored(pane)
        expect_paste_marks_off(pane)
    finally:
        pane.close()


def test_bracketed_paste_then_ctrl_c(binary):
    pane = Pane(binary, wrapper=PASTE_WRAPPER)
    try:
        pane.skip_help()
        pane.wait_for_last_line(C_PROMPT)
        # Marked as a paste (the program asked for the marks): the DEL byte in it is text that
        # the line drops, not Backspace, so c is 39 (unmarked it would be 3); LF alone ends a line.
        paste(pane, b"39\x7f\r\n1\n", "-p", "-r")
        screen = pane.wait_for_last_line(CONTINUE_LINE)
        check(C_PROMPT + "39" in screen and F_PROMPT + "1" in screen, "\n".join(screen))
        check("  Raio: r= 761" in screen, "\n".join(screen))
        pane.keys("C-c")
        expect_equal(pane.wait_for_file("status"), "130")
        expect_terminal_restored(pane)
        expect_paste_marks_off(pane)
    finally:
        pane.close()


def test_paste_marks_off_while_stopped(binary):
    pane = shell_pane(binary)
    try:
        # bash would mark pastes at its own prompt: told not to, so that only ours can.
        pane.answer("READY>", "bind 'set enable-bracketed-paste off'; stty -g > stty.before; '" + binary + "'")
        pane.wait_for_line(HELP_LINE)
        pid = program_pid(pane, binary)
        pane.keys("C-z")
        pane.wait_for_last_line("READY>")
        expect_equal(process_state(pid), "T")
        pane.type("stty -g > stty.after; stty raw -echo; echo ready > paste.ready; "
                  "head -c 3 > after.paste; stty \"$(cat stty.before)\"")
        pane.keys("Enter")
        expect_paste_marks_off(pane)
        expect_terminal_restored(pane)
        # Continued, the marks are on again: a marked paste of "1\x7f2" is "12".
        pane.type("fg")
        pane.keys("Enter")
        wait_until("continued program", lambda: process_state(pid) != "T")
        pane.keys("Enter")
        pane.wait_for_last_line(C_PROMPT)
        paste(pane, b"1\x7f2", "-p")
        pane.wait_for_last_line(C_PROMPT + "12")
    finally:
        pane.close()


def test_alt_with_characters_does_nothing(binary):
    pane = Pane(binary)
    try:
        pane.skip_help()
        pane.wait_for_last_line(C_PROMPT)
        pane.type("1")
        # Esc and the character at once, as a terminal sends Alt with it
        pane.keys("M-!", "M-$", "M-(", "M-+", "M-_", 'M-"', "M-ç", "M-€", "M-a", "M-1")
        pane.type("2")
        pane.wait_for_last_line(C_PROMPT + "12")
        # the same characters without Alt (as AltGr gives them) are typed
        pane.type("!ç€")
        pane.wait_for_last_line(C_PROMPT + "12!ç€")
    finally:
        pane.close()


def test_bell_for_characters_the_line_cannot_hold(binary):
    pane = Pane(binary)
    try:
        pane.skip_help()
        pane.wait_for_last_line(C_PROMPT)
        out = os.path.join(pane.scratch.path, "out")
        pane.tmux("pipe-pane", "-t", "zepa", "-o", f"cat > '{out}'")
        pane.type("1\U0001F600" + "2\u4e2d" + "3")
        pane.wait_for_last_line(C_PROMPT + "123")

        def bells():
            with open(out, "rb") as f:
                return f.read().count(b"\a")
        wait_until("two bells", lambda: os.path.exists(out) and bells() == 2)
    finally:
        pane.close()


def voluntary_switches(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("voluntary_ctxt_switches:"):
                return int(line.split()[1])
    raise AssertionError("no voluntary_ctxt_switches")


def switches_over(pid, seconds):
    """The program's voluntary context switches (each a wait that ended) in a window."""
    before = voluntary_switches(pid)
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        time.sleep(end - time.monotonic())  # the window measured, not a wait for an event
    return voluntary_switches(pid) - before


def test_idle_program_stays_asleep(binary):
    pane = Pane(binary, wrapper=EXEC_WRAPPER)
    try:
        pane.wait_for_line(HELP_LINE)
        pid = int(pane.wait_for_file("pid"))
        woke = switches_over(pid, 3.0)
        check(woke <= 3, f"{woke} wake-ups in 3 s at the help question")
        # and at a prompt after an Enter, whose possible LF is waited for once
        pane.keys("Enter")
        pane.wait_for_last_line(C_PROMPT)
        woke = switches_over(pid, 3.0)
        check(woke <= 3, f"{woke} wake-ups in 3 s at the first prompt")
    finally:
        pane.close()


def expect_gone_after_hang_up(pane, pid):
    check(process_state(pid) not in (None, "Z"), "the program is not running")
    pane.tmux("kill-server")
    deadline = time.monotonic() + 1.0
    while process_state(pid) not in (None, "Z"):
        check(time.monotonic() < deadline, "the program still runs a second after the hang-up")
        time.sleep(0.01)


OPENER = """#!/bin/sh
echo $$ > "$ZEPA_OPENER_PID"
exec sleep 600
"""


def test_hang_up_while_the_help_opener_runs(binary):
    stubs = tempfile.mkdtemp(prefix="zepa-opener-")
    opener_pid = os.path.join(stubs, "pid")
    with open(os.path.join(stubs, "xdg-open"), "w") as f:
        f.write(OPENER)
    os.chmod(os.path.join(stubs, "xdg-open"), 0o755)
    env = (f"PATH={stubs}:/usr/bin:/bin", f"ZEPA_OPENER_PID={opener_pid}")
    pane = Pane(binary, wrapper=EXEC_WRAPPER, env=env)
    try:
        pane.wait_for_line(HELP_LINE)
        pid = int(pane.wait_for_file("pid"))
        pane.type("a")
        pane.keys("Enter")
        # The program now waits for an opener that never ends.
        wait_until("help opener", lambda: os.path.exists(opener_pid) and
                   os.path.getsize(opener_pid) > 0)
        expect_gone_after_hang_up(pane, pid)
    finally:
        pane.close()
        try:
            with open(opener_pid) as f:
                os.kill(int(f.read()), signal.SIGKILL)
        except (OSError, ValueError):
            pass
        shutil.rmtree(stubs, ignore_errors=True)


def in_open(pid):
    """Whether `pid` is blocked in open() or openat() (x86-64 and arm64 numbers)."""
    try:
        with open(f"/proc/{pid}/syscall") as f:
            return f.read().split()[0] in ("2", "257", "56")
    except (OSError, IndexError):
        return False


def test_hang_up_while_the_memo_opens(binary):
    pane = Pane(binary, wrapper=EXEC_WRAPPER)
    try:
        # A memo that is a pipe nobody reads: opening it may wait for a reader for ever.
        os.mkfifo(os.path.join(pane.scratch.path, MEMO_FILE))
        pane.wait_for_line(HELP_LINE)
        pid = int(pane.wait_for_file("pid"))
        pane.keys("Enter")
        pane.answer(C_PROMPT, "3")
        pane.answer(F_PROMPT, "1")
        wait_until("the memo's open, or the case done",
                   lambda: in_open(pid) or CONTINUE_LINE in pane.screen())
        expect_gone_after_hang_up(pane, pid)
    finally:
        pane.close()


class Pty:
    """The program on a pty of our own, standard output on it or in a file: every byte kept."""

    def __init__(self, binary, cwd, env, stdout_file=None):
        self.master, slave = os.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 25, 80, 0, 0))
        out = open(stdout_file, "wb") if stdout_file else slave
        self.proc = subprocess.Popen([binary], stdin=slave, stdout=out, stderr=slave, cwd=cwd,
                                     env=env, start_new_session=True)
        if stdout_file:
            out.close()
        os.close(slave)
        self.seen = b""

    def read_until_exit(self):
        deadline = time.monotonic() + WAIT_LIMIT
        while self.proc.poll() is None or select.select([self.master], [], [], 0)[0]:
            check(time.monotonic() < deadline, "the program did not end")
            if select.select([self.master], [], [], 0.05)[0]:
                try:
                    self.seen += os.read(self.master, 65536)
                except OSError:  # EIO: the program has gone and closed the pty
                    break
        return self.proc.wait()

    def close(self):
        os.close(self.master)
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def test_plain_terminal_bytes(binary):
    work = tempfile.mkdtemp(prefix="zepa-plain-")
    env = {"PATH": "/usr/bin:/bin", "TERM": "dumb"}
    try:
        cases = [
            # the locale's set reaches the terminal: UTF-8, ISO-8859-1, ASCII with a stand-in
            ({"LANG": "C.UTF-8"}, None, b"n\xc3\xa3o pode"),
            ({"LANG": "C"}, None, b"n?o pode"),
            ({"LANG": "C.UTF-8", "TERM": ""}, None, b"n\xc3\xa3o pode"),
            # standard output redirected: the program's own bytes
            ({"LANG": "C.UTF-8"}, os.path.join(work, "out"), b"n\xe3o pode"),
        ]
        for settings, stdout_file, expected in cases:
            term = Pty(binary, work, dict(env, **settings), stdout_file)
            try:
                os.write(term.master, b"\n3\n1\nn\n")
                expect_equal(term.read_until_exit(), 0)
            finally:
                term.close()
            seen = term.seen
            if stdout_file:
                with open(stdout_file, "rb") as f:
                    seen = f.read()
            check(expected in seen, f"{settings} {stdout_file}: {expected!r} not in {seen[:800]!r}")
            check(b"  Raio: r= 5\r" in seen, f"{settings}: no results")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main([test_pasted_crlf_lines, test_bracketed_paste_then_ctrl_c,
          test_paste_marks_off_while_stopped, test_alt_with_characters_does_nothing,
          test_bell_for_characters_the_line_cannot_hold, test_idle_program_stays_asleep,
          test_hang_up_while_the_help_opener_runs, test_hang_up_while_the_memo_opens,
          test_plain_terminal_bytes])
