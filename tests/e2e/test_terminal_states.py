"""States a person's terminal can be in: the program continued in the background (Ctrl+Z, bg),
a scroll region left by an earlier program, a terminal whose kernel record says 0 x 0, a
terminal wider than 32,767 columns, and signals other than Ctrl+C's while the editor waits."""

import fcntl
import os
import pty
import select
import signal
import struct
import subprocess
import termios
import time

from common import MEMO_FILE, Scratch, check, expect_equal, main, memo
from test_faults import SIGNAL_WRAPPER, need_terminal, program_pid, shell_pane
from test_terminal import (C_PROMPT, CONTINUE_LINE, F_PROMPT, Pane, expect_results,
                           expect_terminal_restored, process_state)

ONE_CASE_MEMO = memo(" 3", " 1", " 5", " 3.217506", " 36.86981")


def finish_case(pane):
    """f = 1, the results, then a stop: the shell's prompt again, the program's status 0."""
    pane.answer(F_PROMPT, "1")
    expect_results(pane.wait_for_line(CONTINUE_LINE))
    pane.type("n")
    pane.keys("Enter")
    pane.answer("READY>", "echo $? > status; stty -g > stty.after")
    expect_equal(pane.wait_for_file("status"), "0")


def test_background_draws_and_reads_nothing(binary):
    pane = shell_pane(binary)
    try:
        pane.answer("READY>", f"stty -g > stty.before; '{binary}'")
        pane.skip_help()
        pane.wait_for_last_line(C_PROMPT)
        pane.type("3")
        pane.wait_for_last_line(C_PROMPT + "3")
        pid = program_pid(pane, binary)
        pane.keys("C-z")
        pane.wait_for_last_line("READY>")
        # Continued in the background, the program draws nothing over the shell's lines and
        # reads none of its keys: the command runs, its output stands alone, and the job is not
        # stopped for reading the terminal.
        pane.answer("READY>", "bg")
        pane.wait_for("the job running", lambda s: any(l.endswith("&") for l in s))
        pane.answer("READY>", "echo marker-$((6 * 7)); jobs -l")
        screen = pane.wait_for("the command's output",
                               lambda s: "marker-42" in s and s[-1].strip() in ("READY>", ""))
        time.sleep(0.5)  # a repaint would come at once; nothing must come at all
        screen = pane.screen()
        filled = [line for line in screen if line.strip()]
        expect_equal(filled[-1], "READY>")
        check(any("Running" in line for line in filled), "the job is not running:\n" +
              "\n".join(screen))
        check(not any("Semi corda" in line and "echo" in line for line in screen),
              "the command was typed into the field")
        expect_equal(process_state(pid) in ("S", "R"), True)
        # In the foreground again, the window is painted as the program left it and takes the
        # keys: the 3 typed before the stop is c.
        pane.answer("READY>", "fg")
        pane.wait_for_last_line(C_PROMPT + "3")
        pane.keys("Enter")
        finish_case(pane)
        expect_terminal_restored(pane)
        expect_equal(pane.scratch.file(MEMO_FILE), ONE_CASE_MEMO)
    finally:
        pane.close()


def test_scroll_region_left_by_an_earlier_program(binary):
    pane = shell_pane(binary)
    try:
        # Rows 5 to 20 as the scroll region: the program makes the whole screen its region
        # again, so its lines scroll as on any terminal, every one of them in its place.
        pane.answer("READY>", f"printf '\\033[5;20r'; '{binary}'")
        pane.skip_help()
        for case in range(3):
            pane.answer(C_PROMPT, "3")
            pane.answer(F_PROMPT, "1")
            screen = pane.wait_for_line(CONTINUE_LINE)
            expect_results(screen)
            at = screen.index(CONTINUE_LINE)
            expect_equal((case, screen[at - 8:at - 5]),
                         (case, [" Dados:", C_PROMPT + "3", F_PROMPT + "1"]))
            pane.type("c" if case < 2 else "n")
            pane.keys("Enter")
        pane.wait_for_last_line("READY>")
        # The shell, after the program, scrolls on the whole screen too.
        for n in range(30):
            pane.type(f"echo line{n}")
            pane.keys("Enter")
        screen = pane.wait_for("the last echo", lambda s: "line29" in s)
        lines = [line for line in screen if line.startswith("line")]
        expect_equal(lines, [f"line{n}" for n in range(30 - len(lines), 30)])
        check(len(lines) >= 10, "the shell's lines overwrite one another:\n" + "\n".join(screen))
    finally:
        pane.close()


def test_a_terminal_without_a_size_is_asked(binary):
    pane = shell_pane(binary, size=(100, 30))
    try:
        # The kernel says 0 x 0; the terminal itself says 100 x 30. A reply longer than a row
        # wraps at column 100, and Home puts the cursor after the prompt.
        pane.answer("READY>", f"stty rows 0 cols 0; '{binary}'")
        pane.skip_help()
        pane.wait_for_last_line(C_PROMPT)
        reply = "7" * 150
        pane.type(reply)
        first = C_PROMPT + reply[: 100 - len(C_PROMPT)]
        screen = pane.wait_for("the reply on two rows", lambda s: first in s)
        at = screen.index(first)
        expect_equal(screen[at + 1], reply[100 - len(C_PROMPT):])
        pane.keys("Home")
        deadline = time.monotonic() + 10
        while pane.cursor()[:1] != (len(C_PROMPT),) and time.monotonic() < deadline:
            time.sleep(0.02)
        expect_equal(pane.cursor()[0], len(C_PROMPT))
        pane.keys("C-k")  # nothing: a key the editor ignores
        pane.keys("Escape")
        pane.wait_for_last_line(C_PROMPT)
        pane.type("3")
        pane.keys("Enter")
        finish_case(pane)
        expect_equal(pane.scratch.file(MEMO_FILE), ONE_CASE_MEMO)
    finally:
        pane.close()


def test_a_terminal_40000_columns_wide(binary):
    need_terminal(binary)
    # A pty of 50 rows and 40,000 columns: the dialogue is drawn, the case computed and
    # recorded, and the program's copy of the screen stays bounded (its peak resident memory,
    # read from its own rusage, under 24 MiB).
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 50, 40000, 0, 0))
    env = dict(os.environ, TERM="xterm", LANG="C.UTF-8", LC_ALL="")
    s = Scratch()
    try:
        child = subprocess.Popen([binary], stdin=slave, stdout=slave, stderr=slave, cwd=s.path,
                                 env=env, start_new_session=True)
        os.close(slave)
        seen = bytearray()

        def wait_for(text, seconds=30):
            deadline = time.monotonic() + seconds
            while text not in seen:
                check(time.monotonic() < deadline, f"{text!r} never drawn")
                ready, _, _ = select.select([master], [], [], 0.1)
                if ready:
                    try:
                        seen.extend(os.read(master, 1 << 16))
                    except OSError:
                        break
            del seen[: seen.index(text) + len(text)]

        wait_for(b"qualquer para continuar? ")
        os.write(master, b"\r")
        wait_for(b"Semi corda: c=? ")
        os.write(master, b"3\r")
        wait_for(b"Flecha: f=? ")
        os.write(master, b"1\r")
        wait_for(b"Alfa(grau)= 36.86981")
        wait_for(b"(C ou c):? ")
        os.write(master, b"n\r")
        while True:  # drain until the program has gone
            ready, _, _ = select.select([master], [], [], 0.1)
            if ready:
                try:
                    if not os.read(master, 1 << 16):
                        break
                except OSError:
                    break
            elif child.poll() is not None:
                break
        _, status, usage = os.wait4(child.pid, 0)
        expect_equal(os.waitstatus_to_exitcode(status), 0)
        expect_equal(s.file(MEMO_FILE), ONE_CASE_MEMO)
        check(usage.ru_maxrss < 24 * 1024, f"peak memory {usage.ru_maxrss} KiB")
    finally:
        os.close(master)
        s.close()


def test_other_fatal_signals_restore_the_terminal(binary):
    need_terminal(binary)
    # Signals that end a process by default, other than Ctrl+C's and the hang-up: the saved
    # modes are back (stty -g as before), bracketed paste is off, the cursor shows, and the
    # status is the signal's.
    for sig in (signal.SIGUSR1, signal.SIGALRM, signal.SIGUSR2, signal.SIGPROF):
        pane = Pane(binary, wrapper=SIGNAL_WRAPPER)
        try:
            pane.skip_help()
            pane.wait_for_last_line(C_PROMPT)
            pid = program_pid(pane, binary)
            os.kill(pid, sig)
            expect_equal((sig.name, pane.wait_for_file("status")), (sig.name, str(128 + sig)))
            expect_terminal_restored(pane)
            check(pane.cursor()[2], f"{sig.name}: the cursor is hidden after the end")
            mode = pane.tmux("display-message", "-p", "-t", "zepa", "#{bracket_paste_flag}")
            flag = mode.stdout.strip()
            check(flag in (b"0", b""), f"{sig.name}: bracketed paste is still on")
        finally:
            pane.close()


if __name__ == "__main__":
    main([test_background_draws_and_reads_nothing, test_scroll_region_left_by_an_earlier_program,
          test_a_terminal_without_a_size_is_asked, test_a_terminal_40000_columns_wide,
          test_other_fatal_signals_restore_the_terminal])
