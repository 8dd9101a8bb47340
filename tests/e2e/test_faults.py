"""Faults and load: a memo folder the user may not write, a memo that is a pipe (with and
without a reader, redirected and at a terminal), a disk that fills up mid-memo, eight
programs appending to one memo at once, and signals and job control while the line
editor waits in a real terminal (Ctrl+C and the terminal's hang-up are in test_terminal.py)."""

import os
import pwd
import shutil
import signal
import stat
import subprocess
import time

from common import (MEMO_FILE, MEMO_WARNING, check, expect_equal, main, memo,
                    results, run, Scratch, Skip)
from test_terminal import (C_PROMPT, CONTINUE_LINE, F_PROMPT, HELP_LINE, RESULTS, Pane,
                           expect_terminal_restored, expect_results, process_state)

ONE_CASE_MEMO = memo(" 3", " 1", " 5", " 3.217506", " 36.86981")


def unprivileged():
    """A preexec_fn that drops to 'nobody' when running as root; None when that is not
    possible (then the read-only folder cannot be tested: root writes anywhere)."""
    if os.geteuid() != 0:
        return lambda: None
    try:
        nobody = pwd.getpwnam("nobody")
    except KeyError:
        return None

    def drop():
        os.setgroups([])
        os.setgid(nobody.pw_gid)
        os.setuid(nobody.pw_uid)

    return drop


def readable_by_all(path):
    """Whether every directory up to `path` lets others in (the program must run as nobody)."""
    path = os.path.abspath(path)
    while True:
        if not os.stat(path).st_mode & stat.S_IXOTH:
            return False
        parent = os.path.dirname(path)
        if parent == path:
            return True
        path = parent


def expect_nothing_read(reader):
    """The reader of a memo that is a pipe got no byte: a memo with no position is not written."""
    try:
        leaked = os.read(reader, 4096)
    except BlockingIOError:
        leaked = b""
    expect_equal(leaked, b"")


def test_memo_folder_read_only(binary):
    drop = unprivileged()
    if drop is None or not readable_by_all(binary):
        raise Skip("cannot run as an unprivileged user")
    s = Scratch()
    try:
        # The folder holds an earlier memo; neither may be written by the user.
        with open(os.path.join(s.path, MEMO_FILE), "wb") as f:
            f.write(ONE_CASE_MEMO)
        os.chmod(os.path.join(s.path, MEMO_FILE), 0o444)
        os.chmod(s.path, 0o555)
        for data in (b"\n3\n1\nn\n", b"\n3\n1\nc\n3\n1\nn\n"):
            p = subprocess.run([binary], input=data, cwd=s.path, capture_output=True,
                               preexec_fn=drop, timeout=30)
            expect_equal(p.returncode, 0)
            cases = data.count(b"\n3\n1\n")
            expect_equal(p.stdout.count(results(b" 5", b" 3.217506", b" 36.86981")), cases)
            expect_equal(p.stderr.count(MEMO_WARNING), cases)
            expect_equal(s.file(MEMO_FILE), ONE_CASE_MEMO)
        # Without the earlier memo the folder refuses to create one.
        os.chmod(s.path, 0o755)
        os.remove(os.path.join(s.path, MEMO_FILE))
        os.chmod(s.path, 0o555)
        p = subprocess.run([binary], input=b"\n3\n1\nn\n", cwd=s.path, capture_output=True,
                           preexec_fn=drop, timeout=30)
        expect_equal(p.returncode, 0)
        check(MEMO_WARNING in p.stderr, "no warning")
        expect_equal(s.file(MEMO_FILE), None)
    finally:
        os.chmod(s.path, 0o755)
        s.close()


def test_memo_is_a_pipe(binary):
    s = Scratch()
    reader = None
    try:
        # A named pipe opens for appending while someone reads it, but has no position: the
        # memo is given up before a byte is written, and the case is still shown.
        fifo = os.path.join(s.path, MEMO_FILE)
        os.mkfifo(fifo)
        reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
        p = run(binary, b"\n3\n1\nn\n", s.path, timeout=30)
        expect_equal(p.returncode, 0)
        check(results(b" 5", b" 3.217506", b" 36.86981") in p.stdout, "no results")
        expect_equal(p.stderr.count(MEMO_WARNING), 1)
        expect_nothing_read(reader)
    finally:
        if reader is not None:
            os.close(reader)
        s.close()


def test_memo_is_a_pipe_without_reader(binary):
    s = Scratch()
    try:
        # Opening a named pipe that no one reads would wait forever; it fails at once instead,
        # for every case, and each case is still shown and reported.
        os.mkfifo(os.path.join(s.path, MEMO_FILE))
        p = run(binary, b"\n3\n1\nc\n3\n1\nn\n", s.path, timeout=10)
        expect_equal(p.returncode, 0)
        expect_equal(p.stdout.count(results(b" 5", b" 3.217506", b" 36.86981")), 2)
        expect_equal(p.stderr.count(MEMO_WARNING), 2)
    finally:
        s.close()


def test_memo_is_a_pipe_at_a_terminal(binary):
    need_terminal(binary)
    # Without a reader the open fails, with one the pipe has no position: either way the
    # results stand on the screen, the warning follows them, and the dialogue goes on.
    for with_reader in (False, True):
        pane = Pane(binary)
        reader = None
        try:
            fifo = os.path.join(pane.scratch.path, MEMO_FILE)
            os.mkfifo(fifo)
            if with_reader:
                reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
            pane.skip_help()
            pane.answer(C_PROMPT, "3")
            pane.answer(F_PROMPT, "1")
            screen = pane.wait_for_line(CONTINUE_LINE)
            at = screen.index(CONTINUE_LINE)
            expect_equal((with_reader, screen[at - 6:at]),
                         (with_reader, [" Resultados:", *RESULTS, MEMO_WARNING.decode(), ""]))
            pane.type("n")
            pane.keys("Enter")
            expect_equal(pane.wait_for_file("status"), "0")
            if reader is not None:
                expect_nothing_read(reader)
        finally:
            if reader is not None:
                os.close(reader)
            pane.close()


class SmallDisk:
    """A tmpfs of `size` mounted on a scratch folder (root only)."""

    def __init__(self, size):
        if os.geteuid() != 0 or shutil.which("mount") is None:
            raise Skip("mounting a small file system needs root")
        self.scratch = Scratch()
        self.path = os.path.join(self.scratch.path, "disk")
        os.mkdir(self.path)
        p = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "zepa-disk", self.path],
                           capture_output=True)
        if p.returncode != 0:
            self.scratch.close()
            raise Skip(f"cannot mount a tmpfs: {p.stderr.decode().strip()}")

    def resize(self, size):
        subprocess.run(["mount", "-o", f"remount,size={size}", self.path], check=True)

    def close(self):
        subprocess.run(["umount", self.path], check=False)
        self.scratch.close()


def whole_memos(data, one):
    """How many copies of `one` `data` is, or an error naming where it stops being one."""
    count, rest = divmod(len(data), len(one))
    check(rest == 0 and data == one * count, f"the memo file is torn: {len(data)} bytes, "
          f"ends {data[-60:]!r}")
    return count


def test_disk_fills_up_mid_memo(binary):
    disk = SmallDisk("16k")
    try:
        # 16 KiB take 30 memos of 541 bytes and part of the 31st: the disk fills inside a memo.
        check(len(ONE_CASE_MEMO) == 541, "the memo changed size: choose the disk's size again")
        cases = 40
        data = b"\n" + b"3\n1\nc\n" * (cases - 1) + b"3\n1\nn\n"
        p = run(binary, data, disk.path, timeout=60)
        expect_equal(p.returncode, 0)
        expect_equal(p.stdout.count(results(b" 5", b" 3.217506", b" 36.86981")), cases)
        with open(os.path.join(disk.path, MEMO_FILE), "rb") as f:
            recorded = whole_memos(f.read(), ONE_CASE_MEMO)
        check(0 < recorded < cases, f"{recorded} memos recorded")
        expect_equal(p.stderr.count(MEMO_WARNING), cases - recorded)
        # With room again, a later run's memo follows the last whole one.
        disk.resize("64k")
        p = run(binary, b"\n3\n1\nn\n", disk.path, timeout=30)
        expect_equal((p.returncode, p.stderr), (0, b""))
        with open(os.path.join(disk.path, MEMO_FILE), "rb") as f:
            expect_equal(whole_memos(f.read(), ONE_CASE_MEMO), recorded + 1)
    finally:
        disk.close()


def test_eight_programs_append_to_one_memo(binary):
    s = Scratch()
    try:
        # Each program records its own c (1..8), so a torn or interleaved memo shows.
        programs, cases = 8, 300
        expected = {}
        for k in range(1, programs + 1):
            solo = os.path.join(s.path, f"solo{k}")
            os.mkdir(solo)
            p = run(binary, b"\n%d\n1\nn\n" % k, solo)
            expect_equal(p.returncode, 0)
            with open(os.path.join(solo, MEMO_FILE), "rb") as f:
                expected[k] = f.read()
            expect_equal(expected[k].count(b"\r\n"), 21)
        shared = os.path.join(s.path, "shared")
        os.mkdir(shared)
        children = []
        for k in range(1, programs + 1):
            data = b"\n" + b"".join(b"%d\n1\nc\n" % k for _ in range(cases - 1)) + b"%d\n1\nn\n" % k
            path = os.path.join(s.path, f"input{k}")
            with open(path, "wb") as f:
                f.write(data)
            with open(path, "rb") as stdin:
                children.append(subprocess.Popen([binary], stdin=stdin, cwd=shared,
                                                 stdout=subprocess.DEVNULL))
        for child in children:
            expect_equal(child.wait(timeout=300), 0)
        with open(os.path.join(shared, MEMO_FILE), "rb") as f:
            whole = f.read()
        counts = dict.fromkeys(expected, 0)
        offset = 0
        while offset < len(whole):
            k = next((k for k, m in expected.items() if whole.startswith(m, offset)), None)
            check(k is not None, f"memo at byte {offset} is not whole: {whole[offset:offset + 80]!r}")
            counts[k] += 1
            offset += len(expected[k])
        expect_equal(counts, dict.fromkeys(expected, cases))
    finally:
        s.close()


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
    main([
        test_memo_folder_read_only,
        test_memo_is_a_pipe,
        test_memo_is_a_pipe_without_reader,
        test_memo_is_a_pipe_at_a_terminal,
        test_disk_fills_up_mid_memo,
        test_eight_programs_append_to_one_memo,
        test_signals_while_editing,
        test_ctrl_z_and_fg_while_editing,
    ])
