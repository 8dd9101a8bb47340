"""What the screen must show while a line is edited, for the end-to-end tests in tmux: a model
of the edit buffer and the check of a captured screen against it."""

import fcntl
import os
import shutil
import struct
import subprocess
import termios
import time

from common import Scratch

WAIT_LIMIT = 10.0

# An interactive shell with job control, so that Ctrl+Z stops the program and fg resumes it.
SHELL_WRAPPER = """#!/bin/sh
PS1='READY> ' exec bash --norc --noprofile -i
"""


class LineModel:
    """The line editor's buffer and position, moved by the same keys the program gets."""

    def __init__(self, shown):
        self.shown = shown  # the prompt and its "? "
        self.text = ""
        self.pos = 0

    def key(self, name, width):
        n = len(self.text)
        if name == "BSpace" and self.pos > 0:
            self.text = self.text[:self.pos - 1] + self.text[self.pos:]
            self.pos -= 1
        elif name == "DC" and self.pos < n:
            self.text = self.text[:self.pos] + self.text[self.pos + 1:]
        elif name == "Home":
            self.pos = 0
        elif name == "End":
            self.pos = n
        elif name == "Left" and self.pos > 0:
            self.pos -= 1
        elif name == "Right" and self.pos < n:
            self.pos += 1
        elif name == "Up" and self.pos >= width:
            self.pos -= width
        elif name == "Down" and self.pos + width <= n:
            self.pos += width
        elif name == "Escape":
            self.text, self.pos = "", 0
        elif name == "Tab":
            self.insert(" " * (8 - self.pos % 8))

    def insert(self, chars):
        self.text = self.text[:self.pos] + chars + self.text[self.pos:]
        self.pos += len(chars)

    def first_item(self):
        """The first blank-separated item of the line, as the program's item reader takes it
        from a line of digits and blanks."""
        words = self.text.split(" ")
        return next((w for w in words if w), "")


def line_shown(rows, cursor, width, model):
    """None when the screen shows the model's line truly, else what is wrong. `rows` are the
    window's rows, each `width` wide; `cursor` the (column, row) of the terminal's cursor.

    The prompt starts a row. The line follows it; when the prompt ends in the last cell of the
    window's last row, the line's first byte stands on the prompt's last cell (a console's
    deferred line advance), so both starts are tried. The cursor's row on the screen fixes
    which rows of the laid-out line the window shows: those rows must be the line's, and every
    row below the line's last one blank. Rows above the line are earlier output."""
    faults = []
    offsets = [len(model.shown)]
    if len(model.shown) % width == 0:
        offsets.append(len(model.shown) - 1)
    for offset in offsets:
        laid = model.shown[:offset] + model.text
        index = offset + model.pos
        last_row = (len(laid)) // width
        cursor_row = index // width
        if cursor[0] != index % width:
            faults.append(f"offset {offset}: cursor column {cursor[0]}, not {index % width}")
            continue
        wrong = []
        for y, row in enumerate(rows):
            j = cursor_row + (y - cursor[1])
            if j < 0:
                continue
            expected = laid[j * width:(j + 1) * width] if j <= last_row else ""
            if row != expected.ljust(width):
                wrong.append(f"row {y}: {row!r} instead of {expected.ljust(width)!r}")
        if not wrong:
            return None
        faults.append(f"offset {offset}: " + "; ".join(wrong[:3]))
    return " | ".join(faults)


def single(digits):
    """The single-precision value of a run of digits (0 for none)."""
    return struct.unpack("f", struct.pack("f", float(digits or "0")))[0]


class SizedPane:
    """The program, started from an interactive bash, in a tmux session of its own server."""

    def __init__(self, binary, width=80, height=25, env=()):
        self.binary = binary
        self.scratch = Scratch()
        self.width, self.height = width, height
        self.socket = os.path.join(self.scratch.path, "tmux.sock")
        with open(os.path.join(self.scratch.path, "wrapper.sh"), "w") as f:
            f.write(SHELL_WRAPPER)
        settings = " ".join(["LANG=C.UTF-8", "LC_ALL="] + list(env))
        command = f"env {settings} sh wrapper.sh"
        clean_env = {k: v for k, v in os.environ.items() if k != "TMUX"}
        self.tmux("new-session", "-d", "-s", "zepa", "-x", str(width), "-y", str(height), "-c",
                  self.scratch.path, command, env=clean_env)
        self.wait_for("the shell", lambda: self.last_line() == "READY>")

    def tmux(self, *args, env=None):
        return subprocess.run(["tmux", "-S", self.socket, "-f", "/dev/null", *args], env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)

    def run(self, command):
        self.type(command)
        self.keys("Enter")

    def keys(self, *keys):
        self.tmux("send-keys", "-t", "zepa", *keys)

    def type(self, chars):
        self.tmux("send-keys", "-t", "zepa", "-l", chars)

    def paste(self, chars):
        path = os.path.join(self.scratch.path, "paste")
        with open(path, "w") as f:
            f.write(chars)
        self.tmux("load-buffer", path)
        self.tmux("paste-buffer", "-t", "zepa")

    def resize(self, width, height):
        """Resizes the window, and waits until the terminal device has the new size: tmux
        shows it at once, but may tell the device (and so send SIGWINCH) a little later, and
        keys sent before that would reach the program while it still has the old size."""
        self.width, self.height = width, height
        self.tmux("resize-window", "-t", "zepa", "-x", str(width), "-y", str(height))
        tty = self.tmux("display-message", "-p", "-t", "zepa", "#{pane_tty}").stdout.strip()
        fd = os.open(tty, os.O_RDONLY | os.O_NOCTTY)
        try:
            def device_resized():
                rows, cols = struct.unpack("HHHH", fcntl.ioctl(fd, termios.TIOCGWINSZ, b"\0" * 8))[:2]
                return (cols, rows) == (width, height)
            self.wait_for(f"the terminal at {width}x{height}", device_resized)
        finally:
            os.close(fd)

    def rows(self):
        out = self.tmux("capture-pane", "-p", "-t", "zepa").stdout.decode("utf-8", "replace")
        rows = out.split("\n")[:self.height]
        rows += [""] * (self.height - len(rows))
        return [r.ljust(self.width) for r in rows]

    def cursor(self):
        out = self.tmux("display-message", "-p", "-t", "zepa",
                        "#{cursor_x} #{cursor_y} #{cursor_flag} #{pane_width} #{pane_height}"
                        ).stdout.split()
        return int(out[0]), int(out[1]), out[2] == b"1", int(out[3]), int(out[4])

    def last_line(self):
        filled = [r.rstrip() for r in self.rows() if r.strip()]
        return filled[-1] if filled else ""

    def shell_after_stop(self):
        """The shell's prompt below its note of the stopped job: the shell has the terminal.
        It writes where the terminal's cursor stood, which may be anywhere in the window."""
        rows = self.rows()
        stopped = [y for y, row in enumerate(rows) if "Stopped" in row]
        return bool(stopped) and any(r.startswith("READY>") for r in rows[stopped[-1]:])

    def wait_for(self, what, condition, explain=None):
        deadline = time.monotonic() + WAIT_LIMIT
        while True:
            if condition():
                return
            if time.monotonic() > deadline:
                detail = explain() if explain else ""
                raise AssertionError(f"no {what}: {detail}\n" + "\n".join(self.rows()))
            time.sleep(0.02)

    def wait_for_line(self, model):
        """Waits until the screen shows the model's line truly, with the cursor on its place."""
        state = {}

        def shown():
            x, y, visible, w, h = self.cursor()
            if (w, h) != (self.width, self.height):
                state["fault"] = f"pane is {w}x{h}"
                return False
            fault = line_shown(self.rows(), (x, y), self.width, model)
            if fault is None and not visible:
                fault = "the cursor is hidden"
            state["fault"] = fault
            return fault is None
        self.wait_for(f"line {model.text!r} at {model.pos}", shown, lambda: state.get("fault"))

    def file(self, name, wait=True):
        path = os.path.join(self.scratch.path, name)
        deadline = time.monotonic() + WAIT_LIMIT
        while wait and not (os.path.exists(path) and os.path.getsize(path) > 0):
            if time.monotonic() > deadline:
                raise AssertionError(f"{name} not written")
            time.sleep(0.02)
        return self.scratch.file(name)

    def close(self):
        self.tmux("kill-server")
        self.scratch.close()


def tmux_available():
    return shutil.which("tmux") is not None and shutil.which("bash") is not None
