"""The program at a terminal (tmux, or a pty of our own) and its line editor: the screens, the
keys, pastes, resizes, Ctrl+Z with bg and fg, signals, the hang-up, the help page's opener,
a redirected output's transcript, `make run`'s Ctrl+C, and terminals that cannot address the
cursor, know no size or are 40,000 columns wide.

The line being edited is checked against a model of the editor: on the screen as the editor
holds it, with the cursor on its character. ZEPA_SCREEN_SESSIONS sets how many seeded random
editing sessions run (3; `make test-long` runs 40), ZEPA_SCREEN_SEED the first seed."""

import contextlib
import fcntl
import os
import random
import shutil
import signal
import struct
import time
import urllib.parse

from support import (BANNER, C_PROMPT, CONTINUE_PROMPT, CONTINUE_QUESTION, CRLF, DECIMAL_COMMA,
                     F_PROMPT,
                     FIRST_SCREEN, HELP_NOT_OPENED, HELP_PROMPT, HELP_QUESTION, MEMO_FILE,
                     ONE_MEMO, REFUSAL, RESULT_ROWS, SCREEN_FIRST, THREE_ONE, Pane, Pty, Scratch,
                     Skip, check, expect_equal, expect_results, lines, main, memo, process_state,
                     table, wait_gone, wait_until)

HERE = os.path.dirname(os.path.abspath(__file__))
RUNNER = os.path.join(HERE, "..", "..", "scripts", "run_interactive.sh")


def line_shown(rows, cursor, width, shown, text, pos):
    """None when the window's rows show the prompt `shown` and the line `text` truly, with the
    terminal's cursor (column, row) on the line's character `pos`; else what is wrong.

    The prompt starts a row and the line follows it; when the prompt ends in the window's
    last cell, the line's first character stands on the prompt's last cell (a console's
    deferred line advance), so both starts are tried. The cursor's row fixes which rows of the
    laid-out line the window shows: those rows must be the line's, every row below its last
    one blank. Rows above the line are earlier output."""
    faults = []
    for offset in [len(shown)] + ([len(shown) - 1] if len(shown) % width == 0 else []):
        laid, index = shown[:offset] + text, offset + pos
        if cursor[0] != index % width:
            faults.append(f"offset {offset}: cursor column {cursor[0]}, not {index % width}")
            continue
        wrong = []
        for y, row in enumerate(rows):
            j = index // width + y - cursor[1]
            expected = laid[j * width:(j + 1) * width] if j <= len(laid) // width else ""
            if j >= 0 and row.ljust(width) != expected.ljust(width):
                wrong.append(f"row {y}: {row!r} instead of {expected!r}")
        if not wrong:
            return None
        faults.append(f"offset {offset}: " + "; ".join(wrong[:3]))
    return " | ".join(faults)


class Editing:
    """A pane and a model of the line edited there (prompt, text, cursor): each step is done in
    both, then the screen is waited for until it shows the model's line truly, with the cursor
    visible on its place. Steps take keys by their tmux names."""

    def __init__(self, pane):
        self.pane, self.shown, self.text, self.pos = pane, "", "", 0

    def wait(self):
        fault = {}

        def truly():
            x, y, visible = self.pane.cursor()
            fault[0] = line_shown(self.pane.screen(), (x, y), self.pane.width, self.shown,
                                  self.text, self.pos) or (None if visible else "cursor hidden")
            return fault[0] is None
        wait_until(f"line {self.text!r} at {self.pos}", truly,
                   explain=lambda: f"{fault[0]}\n" + "\n".join(self.pane.screen()))

    def prompt(self, shown):
        self.shown, self.text, self.pos = shown, "", 0
        self.wait()

    def type(self, text, typed=None, paste=None):
        """Types `text`, or pastes it with the tmux flags `paste` when given; the line gets
        `typed` (all of `text` unless said)."""
        if paste is None:
            self.pane.type(text)
        else:
            self.pane.paste(text, *paste)
        typed = text if typed is None else typed
        self.text = self.text[:self.pos] + typed + self.text[self.pos:]
        self.pos += len(typed)
        self.wait()

    def paste(self, text):
        self.type(text, paste=())

    def listen(self):
        """Keeps what the program writes to the terminal from now on, for bells()."""
        self.pane.tmux("pipe-pane", "-t", "zepa", "-o", f"cat > '{self.pane.scratch.join('out')}'")

    def bells(self, count):
        """Waits until the program has rung the bell `count` times since listen()."""
        wait_until(f"{count} bells", lambda: (self.pane.scratch.file("out") or b"").count(b"\a")
                   == count)

    def key(self, *names):
        """Keys the editor ignores change nothing."""
        self.pane.keys(*names)
        for name in names:
            text, pos, n, width = self.text, self.pos, len(self.text), self.pane.width
            if name == "BSpace" and pos > 0:
                self.text, self.pos = text[:pos - 1] + text[pos:], pos - 1
            elif name == "DC":
                self.text = text[:pos] + text[pos + 1:]
            elif name == "Escape":
                self.text, self.pos = "", 0
            elif name == "Tab":
                blanks = " " * (8 - pos % 8)
                self.text, self.pos = text[:pos] + blanks + text[pos:], pos + len(blanks)
            else:
                self.pos = {"Home": 0, "End": n, "Left": max(pos - 1, 0), "Right": min(pos + 1, n),
                            "Up": pos - width if pos >= width else pos,
                            "Down": pos + width if pos + width <= n else pos}.get(name, pos)
        self.wait()

    def resize(self, width, height):
        self.pane.resize(width, height)
        self.wait()

    def stop(self, size=None):
        """Ctrl+Z; at the shell (its prompt below its note of the stopped job, wherever the
        cursor stood), the window resized to `size` if given; then fg."""
        self.pane.keys("C-z")
        self.pane.wait_for("the shell after Ctrl+Z", lambda s: any(
            row.startswith("READY>") for row in s[max(
                [y for y, row in enumerate(s) if "Stopped" in row], default=len(s)):]))
        if size:
            self.pane.resize(*size)
        self.pane.type("fg")
        self.pane.keys("Enter")
        self.wait()

    def enter(self):
        self.pane.keys("Enter")

    def reply(self, shown, text):
        self.prompt(shown)
        if text:
            self.type(text)
        self.enter()

    def rows(self, expected, start=None):
        """Waits until the window's rows from `start` (or any row) on begin with `expected`."""
        self.pane.wait_for(repr(expected), lambda s: any(
            s[i:][:len(expected)] == expected for i in ([start] if start else range(len(s)))))

    def twice(self, line):
        """Waits until two rows show `line`: the one before a resize and the one after it."""
        self.pane.wait_for(f"{line!r} twice", lambda s: s.count(line.rstrip()) == 2)

    def scrollback(self, text):
        history = self.pane.tmux("capture-pane", "-p", "-S", "-200", "-t", "zepa").stdout
        check(text in history, f"{text!r} left the scrollback")


def memo_values(scratch, label):
    """The values after `label` in the memo file's lines, in order."""
    return [line[len(label):] for line in scratch.file(MEMO_FILE).decode("cp1252").split("\r\n")
            if line.startswith(label)]


START = [("prompt", HELP_PROMPT), ("enter",), ("prompt", C_PROMPT)]
HELP_ROW, CONTINUE_ROW = HELP_PROMPT.rstrip(), CONTINUE_PROMPT.rstrip()


@table(
    # Delete, Home, End, Backspace; Insert, Page Up, function keys, Alt+a and Ctrl+Left change
    # nothing; Esc clears the line, and only it; Tab goes to the next multiple of 8. The
    # sagitta's line is edited the same way.
    ((80, 25), "", START + [
        ("type", "123"), ("key", "Left", "Left", "Home", "DC"), ("type", "x"),
        ("key", "End", "BSpace"), ("key", "F1", "IC", "PageUp", "F12", "M-a", "C-Left", "Right"),
        ("type", "7"), ("key", "Escape"), ("type", "3"), ("key", "Tab"),
        ("key", *["BSpace"] * 7), ("enter",), ("prompt", F_PROMPT), ("type", "9"),
        ("key", "Left"), ("type", "1"), ("key", "End", "BSpace"), ("enter",),
        ("prompt", CONTINUE_PROMPT), ("type", "c"), ("enter",), ("prompt", C_PROMPT),
        ("type", "3")], ["3", "3"]),
    # Alt with a character (Esc and it at once) types nothing; the characters alone do. A
    # character that Windows-1252 lacks is refused with a bell.
    ((80, 25), "", START + [
        ("type", "1"), ("key", "M-!", "M-$", "M-(", "M-+", "M-_", 'M-"', "M-\u00e7", "M-\u20ac",
                            "M-a", "M-1"), ("type", "2!\u00e7\u20ac"), ("key", "Escape"),
        ("listen",), ("type", "1\U0001F600" + "2\u4e2d" + "3", "123"), ("bells", 2)], ["123"]),
    # Resized while typing; Delete takes what follows the cursor.
    ((80, 25), "", START + [
        ("type", "7" + "x" * 99), ("resize", 40, 25), ("key", "Home"), ("type", "2"),
        ("key", "Right", *["DC"] * 99)], ["27"]),
    # A line of many rows: Home shows its start, End its end; Up and Down move by a row.
    ((80, 25), "", START + [
        ("paste", "5" + " " * 2099), ("key", "Home"), ("type", "2"), ("key", "Up"),
        ("resize", 20, 5), ("key", "End"), ("paste", "9" * 96), ("key", "Home", "Down", "Home"),
        ("resize", 80, 25)], ["25"]),
    # The device says 0 x 0: the terminal is asked, and a reply wraps at its 100 columns.
    ((100, 30), "stty rows 0 cols 0;", START + [
        ("type", "7" * 150), ("key", "Home", "C-k", "Escape"), ("type", "39"), ("key", "BSpace"),
        ("type", " 73"), ("key", "Home")], ["3"]),
    # One column and one row, then six rows: the case goes on below the resize's fresh row.
    ((80, 25), "", START + [
        ("type", "12"), ("resize", 1, 1), ("type", "3"), ("key", "Left"), ("resize", 1, 6),
        ("key", "Home"), ("type", "4"), ("resize", 80, 25), ("enter",), ("prompt", F_PROMPT),
        ("type", "1"), ("enter",), ("prompt", CONTINUE_PROMPT),
        ("rows", [C_PROMPT + "4123", F_PROMPT + "1", " Resultados:", "  Raio: r= 8499564",
                  "  Semi arco: a= 4123", "  Angulo: Alfa(grau)= 0.02779318", ""], -8),
        ("type", "c"),
        ("enter",), ("prompt", C_PROMPT), ("type", "3")], ["4123", "3"]),
    # Shrunk at the help question, then while the case is typed: the reply's line end puts
    # the next prompt on the row below; what scrolled out stays in the scrollback. Grown, the
    # line is shown again on a fresh row, the results follow it and the question reaches the
    # bottom; at forty columns what is typed follows the "? " at once.
    ((80, 25), "", [
        ("prompt", HELP_PROMPT), ("resize", 70, 20), ("enter",), ("prompt", C_PROMPT),
        ("resize", 80, 15), ("type", "3"), ("enter",), ("prompt", F_PROMPT),
        ("rows", [C_PROMPT + "3", F_PROMPT.rstrip()]), ("resize", 80, 10),
        ("scrollback", BANNER[1]), ("type", "1"), ("resize", 80, 25), ("twice", F_PROMPT + "1"),
        ("enter",), ("prompt", CONTINUE_PROMPT),
        ("rows", [F_PROMPT + "1", F_PROMPT + "1", " Resultados:", *RESULT_ROWS, "",
                  CONTINUE_ROW], -8),
        ("resize", 40, 25), ("type", "c"), ("enter",), ("prompt", C_PROMPT), ("type", "3")],
     ["3", "3"]),
    # Started at 80x5 and grown: the whole window is used from then on.
    ((80, 5), "", [
        ("prompt", HELP_PROMPT), ("resize", 80, 25), ("twice", HELP_PROMPT), ("enter",),
        ("prompt", C_PROMPT), ("type", "3"), ("enter",), ("prompt", F_PROMPT), ("type", "1"),
        ("enter",), ("prompt", CONTINUE_PROMPT),
        ("rows", [HELP_ROW, HELP_ROW, "", " Dados:", C_PROMPT + "3", F_PROMPT + "1",
                  " Resultados:", *RESULT_ROWS, "", CONTINUE_ROW], 13),
        ("type", "c"), ("enter",), ("prompt", C_PROMPT), ("type", "3")], ["3", "3"]),
)
def test_editing(binary, size, before, steps, cs):
    with Pane(binary, "shell", size=size, before=before) as pane:
        edit = Editing(pane)
        # The banner's letter is drawn in the locale's encoding, whatever the size.
        pane.wait_for_line(HELP_PROMPT)
        edit.scrollback("A flecha n\u00e3o pode".encode())
        for step in steps:
            getattr(edit, step[0])(*step[1:])
        pane.finish(None)
        expect_equal(memo_values(pane.scratch, "  Semi corda: c="), [" " + c for c in cs])


def test_random_sessions(binary):
    first = int(os.environ.get("ZEPA_SCREEN_SEED", "1"))
    for seed in range(first, first + int(os.environ.get("ZEPA_SCREEN_SESSIONS", "3"))):
        rng = random.Random(seed)

        def size():
            return rng.randint(20, 120), rng.randint(6, 40)

        def edit_line(edit, shown):
            """Twelve random steps on one line; a small number in front when its first item
            is none or too long for the memo to show exactly; returns that item."""
            edit.prompt(shown)
            for _ in range(12):
                what = rng.choices(["type", "key", "paste", "escape", "resize", "stop"],
                                   [30, 40, 8, 3, 8, 3])[0]
                width, height = edit.pane.width, edit.pane.height
                if what in ("type", "paste"):
                    n = rng.randint(1, 4) if what == "type" else rng.choice(
                        [rng.randint(1, 30), rng.randint(width, 3 * width * height)])
                    getattr(edit, what)("".join(rng.choice("0123456789  ") for _ in range(n)))
                elif what == "key":
                    edit.key(rng.choice(["Left", "Right", "Home", "End", "BSpace", "DC", "Up",
                                         "Down", "Tab"]))
                elif what == "escape" and edit.text:
                    edit.key("Escape")
                elif what == "resize":
                    edit.resize(*size())
                elif what == "stop":
                    edit.stop(size() if rng.random() < 0.5 else None)
            item = next((word for word in edit.text.split(" ") if word), "")
            if not item or len(item) > 9:
                edit.key("Home")
                edit.type(f"{rng.randint(1, 999)} ")
            edit.enter()
            return next(word for word in edit.text.split(" ") if word)

        def single(digits):
            return struct.unpack("f", struct.pack("f", float(digits)))[0]

        with Pane(binary, "shell", size=size()) as pane:
            try:
                edit = Editing(pane)
                edit.reply(HELP_PROMPT, "")
                computed = []
                while len(computed) < 2:
                    c, f = edit_line(edit, C_PROMPT), edit_line(edit, F_PROMPT)
                    if single(f) <= single(single(c) + single(c)):
                        computed.append((c, f))
                        edit.reply(CONTINUE_PROMPT, "c" if len(computed) < 2 else "n")
                pane.expect_ended(0)
                for label, values in (("  Semi corda: c=", [c for c, _ in computed]),
                                      ("  Flecha: f=", [f for _, f in computed])):
                    recorded = [float(v) for v in memo_values(pane.scratch, label)]
                    expect_equal(len(recorded), 2)
                    for typed, value in zip(values, recorded):
                        check(abs(value - single(typed)) <= 1e-6 * single(typed),
                              f"{label}{typed!r}: memo {value!r}")
            except AssertionError as fault:
                fault.add_note(f"seed {seed}")
                raise


@table("", "TERM=dumb")
def test_first_screen_and_one_case(binary, term):
    # The banner's "ã" shows as itself in a UTF-8 locale; the cursor waits after "? ". With
    # TERM=dumb the terminal's own line discipline edits and echoes the reply.
    with Pane(binary, env=[term]) as pane:
        screen = pane.wait_for_line(HELP_PROMPT)
        expect_equal((screen[:24], pane.cursor()),
                     (SCREEN_FIRST + [HELP_ROW], (len(HELP_PROMPT), 23, True)))
        pane.keys("Enter")
        pane.wait_for_last_line(C_PROMPT)
        pane.type("39")
        pane.keys("BSpace")
        # The screen has scrolled: the dialogue's last eleven lines stand at its bottom.
        expect_equal(pane.finish(None)[14:], [HELP_ROW, "", " Dados:", C_PROMPT + "3",
                                              F_PROMPT + "1", " Resultados:", *RESULT_ROWS, "",
                                              CONTINUE_ROW])
        expect_equal(pane.scratch.file(MEMO_FILE), ONE_MEMO)


# Lines typed case by case: those at c until one is taken, those at f, then the c and f that the
# memo records. A number with a decimal comma is refused in one line under it and the same
# prompt asks again, at f the sagitta's alone; the lines around it read as they always have.
TYPED = [
    (["2,5", "-0,75", "1,5e3", "  ,5", '"2,5"', "1,x"], ["0,8", "1.500,25", "1"], " 1", " 1"),
    (["3 1"], [""], " 3", " 0"),
    (["12abc"], ['"2",5'], " 12", " 2"),
]


def test_decimal_comma_typed(binary):
    warning = DECIMAL_COMMA.decode()
    with Pane(binary) as pane:
        pane.answer(HELP_PROMPT, "")
        for n, (cs, fs, _, _) in enumerate(TYPED):
            for prompt, typed in ((C_PROMPT, cs), (F_PROMPT, fs)):
                for line in typed[:-1]:
                    pane.answer(prompt, line)
                    refused = [(prompt + line).rstrip(), warning, prompt.rstrip()]
                    pane.wait_for(f"{line!r} refused", lambda s: [
                        row for row in s if row.strip()][-3:] == refused)
                pane.answer(prompt, typed[-1])
            pane.answer(CONTINUE_PROMPT, "c" if n < len(TYPED) - 1 else "n")
        pane.expect_ended(0)
        expect_equal((memo_values(pane.scratch, "  Semi corda: c="),
                      memo_values(pane.scratch, "  Flecha: f=")),
                     ([c for *_, c, _ in TYPED], [f for *_, f in TYPED]))


@table(
    # Lines ended with CR LF, pasted unmarked: one Enter for each line end.
    (b"3\r\n1\r\n", ("-r",), "3", "5"),
    # Marked as a paste (the program asked for marks): the DEL in it is text that the line
    # drops, not Backspace, so c is 39 (unmarked it would be 3); LF alone ends a line.
    (b"39\x7f\r\n1\n", ("-p", "-r"), "39", "761"),
    # 10,001 bytes at once, far beyond the keyboard queue: were any dropped, the erase bytes
    # would take the "3" too, and the case would be refused.
    (b"3" + b"9" * 5000 + b"\x7f" * 5000 + b"\r1\r", (), "3", "5"),
)
def test_pastes(binary, data, flags, c, r):
    with Pane(binary) as pane:
        pane.answer(HELP_PROMPT, "")
        pane.wait_for_last_line(C_PROMPT)
        pane.paste(data, *flags)
        screen = pane.wait_for_last_line(CONTINUE_PROMPT)
        check(C_PROMPT + c in screen and F_PROMPT + "1" in screen and "  Raio: r= " + r in screen,
              "\n".join(screen))
        pane.answer(CONTINUE_PROMPT, "n")
        pane.expect_ended(0)
        check(pane.paste_marks_off(), "pastes are still marked after the end")


# Runs the program named after it with SIGINT blocked, as a careless parent leaves it.
BLOCK_SIGINT = ("import os, signal, sys; signal.pthread_sigmask(signal.SIG_BLOCK, "
                "[signal.SIGINT]); os.execv(sys.argv[1], sys.argv[1:])")


def in_key_wait(pid):
    """Whether the process is asleep in ppoll(), the key wait (x86-64, i386 and arm64 numbers);
    where its system call cannot be read, whether it sleeps."""
    try:
        with open(f"/proc/{pid}/syscall") as f:
            return f.read().split()[0] in ("271", "309", "73")
    except (OSError, IndexError):
        return process_state(pid) == "S"


@table("C-c", "C-c, SIGINT blocked by the parent", signal.SIGINT, signal.SIGTERM,
       signal.SIGHUP, signal.SIGUSR1, signal.SIGALRM, signal.SIGUSR2, signal.SIGPROF)
def test_fatal_signals(binary, how):
    # Ctrl+C, or a signal that ends a process by default, while the editor waits for a key
    # after a refused pair: the program ends by it within a second, having put the terminal
    # back: the status is 128 + the signal's number, the modes are as before, the cursor shows,
    # pastes are not marked; the refused pair recorded nothing. A SIGHUP there, with the
    # terminal still there, is answered by the key wait itself.
    keys = isinstance(how, str)
    program = f"python3 -c '{BLOCK_SIGINT}' '{binary}'" if "blocked" in str(how) else None
    with Pane(binary, program=program) as pane:
        pane.answer(HELP_PROMPT, "")
        pane.answer(C_PROMPT, "1")
        pane.answer(F_PROMPT, "3")
        pane.wait_for_line(REFUSAL.decode())
        pane.wait_for_last_line(C_PROMPT)
        pane.type("12")
        pane.wait_for_last_line(C_PROMPT + "12")
        pid = pane.pid()
        wait_until("the program in its key wait", lambda: in_key_wait(pid))
        if keys:
            pane.keys("C-c")
        else:
            os.kill(pid, how)
        wait_gone(pid)
        pane.expect_ended(128 + (signal.SIGINT if keys else how))
        check(pane.cursor()[2], "the cursor is hidden after the end")
        check(pane.paste_marks_off(), "pastes are still marked after the end")
        expect_equal(pane.scratch.file(MEMO_FILE), None)


def voluntary_switches(pid):
    """How often the process has gone to sleep."""
    with open(f"/proc/{pid}/status") as f:
        return int(next(line for line in f if line.startswith("voluntary_ctxt_switches:"))
                   .split()[1])


def test_ctrl_z_bg_and_fg(binary):
    with Pane(binary, "shell") as pane:
        edit = Editing(pane)
        edit.reply(HELP_PROMPT, "")
        edit.prompt(C_PROMPT)
        edit.type("34")
        pid = pane.pid()
        # Stopped, the program has handed the terminal back in the modes it found, with
        # pastes unmarked.
        pane.keys("C-z")
        pane.wait_for_last_line("READY>")
        expect_equal(process_state(pid), "T")
        pane.answer("READY>", "stty -g > stty.stopped")
        expect_equal(pane.wait_for_file("stty.stopped"), pane.wait_for_file("stty.before"))
        check(pane.paste_marks_off(), "pastes are marked while the program is stopped")
        # Continued in the background, it draws nothing over the shell's lines and reads none
        # of its keys: once it sleeps again, a command runs, its output stands alone, and the
        # job is not stopped for reading the terminal.
        slept = voluntary_switches(pid)
        pane.answer("READY>", "bg")
        wait_until("program asleep again", lambda: process_state(pid) == "S" and
                   voluntary_switches(pid) > slept)
        pane.answer("READY>", "echo marker-$((6 * 7)); jobs -l")
        screen = pane.wait_for("the command's output", lambda s: "marker-42" in s and
                               [row for row in s if row.strip()][-1] == "READY>")
        check(any("Running" in row for row in screen) and
              not any("Semi corda" in row and "echo" in row for row in screen), "\n".join(screen))
        expect_equal(process_state(pid), "S")
        # In the foreground again, it paints its window as it left it and takes the keys;
        # stopped and resized meanwhile, as after a resize.
        pane.answer("READY>", "fg")
        edit.wait()
        edit.type("5\x7f", "5", paste=("-p",))  # marked again: the DEL is text the line drops
        edit.key("Left")
        edit.stop((60, 20))
        pane.finish(None)
        expect_equal(memo_values(pane.scratch, "  Semi corda: c="), [" 345"])


def test_scroll_region_left_by_an_earlier_program(binary):
    # Rows 5 to 20 as the scroll region: the program makes the whole screen its region again,
    # so its lines scroll as on any terminal, every one in its place; the shell's after it too.
    with Pane(binary, "shell", before="printf '\\033[5;20r';") as pane:
        pane.answer(HELP_PROMPT, "")
        for case in range(3):
            pane.answer(C_PROMPT, "3")
            pane.answer(F_PROMPT, "1")
            screen = pane.wait_for_last_line(CONTINUE_PROMPT)
            expect_results(screen)
            at = screen.index(CONTINUE_ROW)
            expect_equal((case, screen[at - 8:at - 5]),
                         (case, [" Dados:", C_PROMPT + "3", F_PROMPT + "1"]))
            pane.answer(CONTINUE_PROMPT, "c" if case < 2 else "n")
        pane.wait_for_last_line("READY>")
        for n in range(30):
            pane.type(f"echo line{n}")
            pane.keys("Enter")
        screen = pane.wait_for("the last echo", lambda s: "line29" in s)
        echoed = [row for row in screen if row.startswith("line")]
        expect_equal(echoed, [f"line{n}" for n in range(30 - len(echoed), 30)])
        check(len(echoed) >= 10, "the shell's lines overwrite one another")


@table(("> saida.txt", "saida.txt"), ("| head -c 10 > cabeca.txt", "cabeca.txt"))
def test_transcript_of_a_redirected_output(binary, redirect, name):
    # Standard output redirected, standard input the terminal: the dialogue and what is typed
    # are on the terminal, and the output gets the transcript (each prompt, each answer as
    # typed with CR LF, no cursor movement). An output that fails (the pipe closed) is warned
    # about once on the terminal, and the dialogue goes on.
    with Pane(binary, "shell", redirect=redirect) as pane:
        edit = Editing(pane)
        edit.reply(HELP_PROMPT, "")
        edit.prompt(C_PROMPT)
        edit.type("39")
        edit.key("BSpace", "Left", "Right")
        edit.enter()
        for shown, reply in ((F_PROMPT, "1"), (CONTINUE_PROMPT, "c"), (C_PROMPT, "3"),
                             (F_PROMPT, "1")):
            edit.reply(shown, reply)
        edit.prompt(CONTINUE_PROMPT)
        warned = sum("a saida padrao nao aceitou" in row for row in pane.screen())
        edit.enter()
        pane.expect_ended(0)
        case = (lines(b"", b" Dados:", b"  Semi corda: c=? 3", b"  Flecha: f=? 1") + THREE_ONE +
                CRLF + CONTINUE_QUESTION)
        expect_equal((warned, pane.scratch.file(name)), (0, FIRST_SCREEN + HELP_QUESTION +
                     b"? " + CRLF + case + b"? c" + CRLF + case + b"? " + CRLF + CRLF)
                     if name == "saida.txt" else (1, BANNER[0][:10]))


# An opener that notes how it was started and what terminal it was given, and writes a line.
OPENER = """#!/bin/sh
echo "$@" > opened
stty -g > opener.stty-g
stty -a > opener.stty-a
if [ -t 0 ] && [ -t 1 ]; then echo yes > opener.tty; else echo no > opener.tty; fi
printf 'opener wrote this\\n'
"""


@table(("a", True), ("A", False))
def test_help_opener_at_the_terminal(binary, answer, with_opener):
    # The help page beside the program is opened with its file:// address. The opener gets
    # the terminal in its normal modes; back from it, the program's screen is painted again,
    # and a success is not warned about. Without an opener, one line (wrapped at the window's
    # width) says where the page is. Either way the dialogue goes on.
    page = os.path.join(os.path.dirname(os.path.realpath(binary)), "ajuda-zepa4-07.html")
    check(os.path.exists(page), "no help page beside the program: " + page)
    with Scratch() as tools:
        os.symlink(shutil.which("stty"), tools.join("stty"))
        if with_opener:
            tools.write("xdg-open", OPENER, executable=True)
        with Pane(binary, env=[f"PATH={tools.path}"]) as pane:
            pane.answer(HELP_PROMPT, answer)
            screen = pane.wait_for_last_line(C_PROMPT)
            said = [i for i, row in enumerate(screen) if row.startswith(" Aviso:")]
            if with_opener:
                expect_equal((pane.wait_for_file("opened"), pane.wait_for_file("opener.tty"),
                              pane.wait_for_file("opener.stty-g"), said),
                             ("file://" + urllib.parse.quote(page), "yes",
                              pane.wait_for_file("stty.before"), []))
                check(" icanon" in pane.wait_for_file("opener.stty-a"), "the opener got raw mode")
                check("opener wrote this" not in screen, "the screen was not painted again")
            else:
                expect_equal(screen[said[0] - 1], HELP_ROW + " A")
                check((HELP_NOT_OPENED.decode() + page).replace(" ", "") in
                      "".join(screen).replace(" ", ""), "\n".join(screen))
            expect_results(pane.finish("3"))


TIOCVHANGUP = 0x5437  # Linux: hang up a terminal as a modem's line drop does


@table("at the help question", "with SIGHUP ignored", "while the opener runs",
       "while the memo opens", "plain, closed", "plain, hung up", "plain, Ctrl+D")
def test_hang_up(binary, when):
    # Closing the terminal ends the program within a moment, whatever it waits for: a key,
    # the help page's opener, a memo that is a pipe nobody reads (whose open may wait for
    # ever). With SIGHUP ignored (nohup) the dead terminal itself ends it, with no spinning;
    # the C locale there has a stand-in for the banner's "ã".
    if not when.startswith("plain"):
        with Scratch() as tools, Pane(binary, "direct", before="trap '' HUP;" if "ignored" in
                                      when else "", env=[f"PATH={tools.path}", "LANG=C"]) as pane:
            tools.write("xdg-open", "#!/bin/sh\necho $$ > opener.pid\nexec sleep 60\n", True)
            screen = pane.wait_for_line(HELP_PROMPT)
            check("* Restricoes: A flecha n?o pode ser maior que a corda" in screen[8], screen[8])
            pid = pane.pid()
            if when == "while the opener runs":
                pane.answer(HELP_PROMPT, "a")
                opener = int(pane.wait_for_file("opener.pid"))
            elif when == "while the memo opens":
                os.mkfifo(pane.scratch.join(MEMO_FILE))
                pane.answer(HELP_PROMPT, "")
                pane.answer(C_PROMPT, "3")
                pane.answer(F_PROMPT, "1")
                wait_until("open of the memo", lambda: in_open(pid) or
                           CONTINUE_ROW in pane.screen())
            check(process_state(pid) not in (None, "Z"), "the program is not running")
            pane.tmux("kill-server")
            try:
                wait_gone(pid)
            finally:
                if when == "while the opener runs":
                    with contextlib.suppress(OSError):
                        os.kill(opener, signal.SIGKILL)
        return
    # A plain terminal (TERM=dumb, the terminal's own line input): the semi-chord is typed,
    # then the terminal goes while the sagitta is asked, closed (reads give EIO) or hung up by
    # the system (reads give end of file): the program ends by SIGHUP, which its parent
    # ignored, and records nothing. Ctrl+D there is the end of the input, which ends normally.
    if when == "plain, hung up" and os.geteuid() != 0:
        raise Skip("hanging a terminal up needs root")
    with Scratch() as s, Pty(binary, s.path, dict(os.environ, TERM="dumb"), preexec_fn=lambda:
                             signal.signal(signal.SIGHUP, signal.SIG_IGN)) as term:
        term.answer(b"continuar? ", b"\n")
        term.answer(b"c=? ", b"3\n")
        term.wait_for(b"f=? ")
        if when == "plain, closed":
            os.close(term.master)
        elif when == "plain, hung up":
            fd = os.open(term.name, os.O_RDWR | os.O_NOCTTY)
            fcntl.ioctl(fd, TIOCVHANGUP)
            os.close(fd)
        else:
            os.write(term.master, b"\x04")
        ended = (0, memo(" 3", " 0", " inf", "-nan", " 0"))
        expect_equal((term.process.wait(timeout=10), s.file(MEMO_FILE)),
                     ended if when.endswith("D") else (-signal.SIGHUP, None))


def in_open(pid):
    """Whether the process is blocked in open() or openat() (x86-64 and arm64 numbers)."""
    try:
        with open(f"/proc/{pid}/syscall") as f:
            return f.read().split()[0] in ("2", "257", "56")
    except (OSError, IndexError):
        return False


def test_idle_program_stays_asleep(binary):
    # At the help question, and at a prompt after an Enter (whose possible LF is waited for
    # once), the program sleeps until a key comes: at most 3 wake-ups in 3 seconds.
    with Pane(binary, "direct") as pane:
        pid = pane.pid()
        for prompt in (HELP_PROMPT, C_PROMPT):
            pane.wait_for_last_line(prompt)
            before = voluntary_switches(pid)
            time.sleep(3.0)  # the window measured, not a wait for an event
            woke = voluntary_switches(pid) - before
            check(woke <= 3, f"{woke} wake-ups in 3 s at {prompt!r}")
            pane.keys("Enter")


@table(
    # The locale's character set reaches a plain terminal: UTF-8, or ASCII with a stand-in;
    # TERM unset is a plain terminal too.
    ({"LANG": "C.UTF-8"}, False, False, b"n\xc3\xa3o pode"),
    ({"LANG": "C"}, False, False, b"n?o pode"),
    ({"LANG": "C.UTF-8", "TERM": ""}, False, False, b"n\xc3\xa3o pode"),
    # Standard output redirected: the program's own bytes.
    ({"LANG": "C.UTF-8"}, False, True, b"n\xe3o pode"),
    # Standard input from a file and output on a terminal that moves the cursor: the program
    # draws there, in the locale's set, though it reads no key.
    ({"LANG": "C.UTF-8", "TERM": "xterm"}, True, False, b"n\xc3\xa3o pode"),
)
def test_plain_terminal_bytes(binary, settings, input_file, output_file, expected):
    with Scratch() as s, open(s.write("in", b"\n3\n1\nn\n")) as stdin, open(
            s.join("out"), "wb") as stdout, Pty(
            binary, s.path, dict({"PATH": "/usr/bin:/bin", "TERM": "dumb"}, **settings),
            stdin=stdin if input_file else None, stdout=stdout if output_file else None) as term:
        if not input_file:
            os.write(term.master, b"\n3\n1\nn\n")
        expect_equal(term.end()[0], 0)
        seen = s.file("out") if output_file else term.seen
        # Lines end in CR LF, but where the program draws with cursor movements.
        results = b"  Raio: r= 5" + (b"" if input_file else b"\r")
        check(expected in seen and results in seen, f"{settings}: {seen!r}")


def test_a_terminal_40000_columns_wide(binary):
    # A pty of 40,000 columns and 50 rows: the dialogue is drawn, the case computed and
    # recorded, and the program's copy of the screen stays bounded (its peak resident memory,
    # from its own rusage, under 24 MiB).
    with Scratch() as s, Pty(binary, s.path, dict(os.environ, TERM="xterm", LANG="C.UTF-8",
                                                  LC_ALL=""), size=(40000, 50)) as term:
        for prompt, keys in ((b"continuar? ", b"\r"), (b"c=? ", b"3\r"), (b"f=? ", b"1\r"),
                             (b"Alfa(grau)= 36.86981", b""), (b"(C ou c):? ", b"n\r")):
            term.answer(prompt, keys)
        status, usage = term.end()
        expect_equal((status, s.file(MEMO_FILE)), (0, ONE_MEMO))
        check(usage.ru_maxrss < 24 * 1024, f"peak memory {usage.ru_maxrss} KiB")


# `make run`'s recipe, run by a make at the top, as typed at a prompt; the shell around make
# outlives Ctrl+C by its trap and notes make's status.
MAKE_WRAPPER = """trap 'true' INT
unset MAKELEVEL MAKEFLAGS MFLAGS
printf 'run:\\n\\t%s %s\\n' '{runner}' '{binary}' > Makefile
make --no-print-directory run
echo $? > status
exec sleep 600
"""


def test_ctrl_c_ends_make_run_by_sigint(binary):
    if shutil.which("make") is None:
        raise Skip("no make")
    # Ctrl+C ends make by SIGINT (status 130, its "Interrupt" line). Without the runner make
    # lost the race for its own SIGINT about one run in four, and stopped with "wait: No child
    # processes" and status 2; sixteen runs catch that almost always.
    for attempt in range(16):
        with Pane(binary, MAKE_WRAPPER.format(runner=RUNNER, binary=binary)) as pane:
            pane.wait_for_line(HELP_PROMPT)
            pane.keys("C-c")
            expect_equal((attempt, pane.wait_for_file("status")), (attempt, "130"))
            screen = "".join(pane.screen())  # joined: make's line wraps at 80 columns
            check("make: *** [Makefile:2: run] Interrupt" in screen and "wait:" not in screen,
                  screen)


if __name__ == "__main__":
    main(globals())
