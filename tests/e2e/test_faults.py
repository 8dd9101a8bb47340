"""Signals and job control while the line editor waits in a real terminal (Ctrl+C and the
terminal's hang-up are in test_terminal.py)."""

import os
import shutil
import signal
import time

from common import MEMO_FILE, Skip, check, expect_equal, main, memo
from test_terminal import (C_PROMPT, CONTINUE_LINE, F_PROMPT, Pane, expect_terminal_restored,
                           expect_results, process_state)

ONE_CASE_MEMO = memo(" 3", " 1", " 5", " 3.217506", " 36.86981")


# Like test_terminal's wrapper, but it outlives every signal the tests send to the program alone.
SIGNAL_WRAPPER = """#!/bin/sh
trap 'true' INT TERM HUP
stty -g > stty.before
"$@"
echo $? > status
stty -g > stty.after
exec sleep 600
"""

# An interactive shell with job control, so that Ctrl+Z stops the program and fg resumes it.
SHELL_WRAPPER = """#!/bin/sh
PS1='READY> ' exec bash --norc --noprofile -i
"""


def program_pid(pane, binary):
    """The process id of `binary` running in the pane's scratch directory."""
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                if (os.readlink(f"/proc/{entry}/exe") == os.path.realpath(binary) and
                        os.readlink(f"/proc/{entry}/cwd") == os.path.realpath(pane.scratch.path)):
                    return int(entry)
            except OSError:
                continue
        time.sleep(0.02)
    raise AssertionError("the program is not running")


def need_terminal(binary):
    if shutil.which("tmux") is None:
        raise Skip("no tmux")
    with open(binary, "rb") as f:
        if not f.read(4) == b"\x7fELF":
            # Signals must reach the program itself, not a wrapper script (valgrind's).
            raise Skip("the program runs behind a wrapper")


def shell_pane(binary, size=None):
    """A pane with an interactive bash at its "READY>" prompt, optionally resized first."""
    need_terminal(binary)
    if shutil.which("bash") is None:
        raise Skip("no bash")
    pane = Pane(binary, wrapper=SHELL_WRAPPER)
    if size is not None:
        pane.tmux("resize-window", "-t", "zepa", "-x", str(size[0]), "-y", str(size[1]))
    pane.wait_for_last_line("READY>")
    return pane


def test_signals_while_editing(binary):
    need_terminal(binary)
    # Each signal ends the program by its default action after the terminal is put back: the
    # shell sees 128 + the signal, the modes are as before, and the cursor shows.
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        pane = Pane(binary, wrapper=SIGNAL_WRAPPER)
        try:
            pane.skip_help()
            pane.wait_for_last_line(C_PROMPT)
            pane.type("12")
            pane.wait_for_last_line(C_PROMPT + "12")
            pid = program_pid(pane, binary)
            os.kill(pid, sig)
            deadline = time.monotonic() + 1.0
            while process_state(pid) not in (None, "Z"):
                check(time.monotonic() < deadline, f"{sig.name}: still running after a second")
                time.sleep(0.01)
            expect_equal((sig.name, pane.wait_for_file("status")), (sig.name, str(128 + sig)))
            expect_terminal_restored(pane)
            check(pane.cursor()[2], f"{sig.name}: the cursor is hidden after the end")
        finally:
            pane.close()


def test_ctrl_z_and_fg_while_editing(binary):
    pane = shell_pane(binary)
    try:
        pane.answer("READY>", f"stty -g > stty.before; '{binary}'")
        pane.skip_help()
        pane.wait_for_last_line(C_PROMPT)
        pane.type("3")
        pane.wait_for_last_line(C_PROMPT + "3")
        # Stopped, the program has handed the terminal back in the modes it found.
        pid = program_pid(pane, binary)
        pane.keys("C-z")
        pane.wait_for("the job stopped", lambda screen: any("Stopped" in s for s in screen))
        pane.wait_for_last_line("READY>")
        expect_equal(process_state(pid), "T")
        pane.type("stty -g > stty.stopped; fg")
        pane.keys("Enter")
        expect_equal(pane.wait_for_file("stty.stopped"), pane.wait_for_file("stty.before"))
        # Continued, the editor takes keys again: the "3" typed before the stop and the Enter
        # after it make c.
        pane.wait_for("the job continued", lambda screen: process_state(pid) != "T")
        pane.keys("Enter")
        pane.answer(F_PROMPT, "1")
        expect_results(pane.wait_for_line(CONTINUE_LINE))
        pane.type("n")
        pane.keys("Enter")
        pane.answer("READY>", "echo $? > status; stty -g > stty.after")
        expect_equal(pane.wait_for_file("status"), "0")
        expect_terminal_restored(pane)
        expect_equal(pane.scratch.file(MEMO_FILE), ONE_CASE_MEMO)
    finally:
        pane.close()



if __name__ == "__main__":
    main([test_signals_while_editing, test_ctrl_z_and_fg_while_editing])
