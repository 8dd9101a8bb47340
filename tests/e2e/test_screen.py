"""The screen tells the truth: in a real terminal (tmux), through random editing, pastes,
resizes and Ctrl+Z / fg, the line being edited is on the screen as the editor holds it, with
the cursor on its character; and the memo holds what the shown lines mean.

ZEPA_SCREEN_SESSIONS sets how many seeded random sessions run (a few by default; `make
test-long` runs many), ZEPA_SCREEN_SEED the first seed."""

import os
import random
import sys

from common import (CONTINUE_QUESTION, CRLF, HELP_QUESTION, MEMO_FILE, banner, check,
                    expect_equal, first_screen, lines, main, results)
from screen_model import LineModel, SizedPane, single, tmux_available

HELP_SHOWN = HELP_QUESTION.decode() + "? "
C_SHOWN = "  Semi corda: c=? "
F_SHOWN = "  Flecha: f=? "
CONTINUE_SHOWN = CONTINUE_QUESTION.decode() + "? "

EDIT_KEYS = ["Left", "Right", "Home", "End", "BSpace", "DC", "Up", "Down", "Tab"]


def start(pane, binary, env=""):
    """Runs the program as the shell's job (so that Ctrl+Z stops it alone), noting the
    terminal's modes before it."""
    pane.run("stty -g > stty.before")
    pane.run(f"{env} '{binary}'")


def finish(pane):
    """After the program ended: status 0 (fg hands on the job's status) and the terminal's
    modes as before."""
    pane.wait_for("the shell", lambda: pane.last_line().startswith("READY>"))
    pane.run("echo $? > status; stty -g > stty.after")
    expect_equal(pane.file("status").strip(), b"0")
    expect_equal(pane.file("stty.after"), pane.file("stty.before"))


class Session:
    """One seeded random run: every line is edited with random keys, pastes, resizes and
    stops, and checked on the screen after each step."""

    def __init__(self, binary, seed, actions):
        self.rng = random.Random(seed)
        self.binary = binary
        self.actions = actions
        self.pane = SizedPane(binary, *self.size())

    def size(self):
        return self.rng.randint(20, 120), self.rng.randint(6, 40)

    def step(self, model):
        rng, pane = self.rng, self.pane
        what = rng.choices(["type", "key", "paste", "escape", "resize", "stop"],
                           [30, 40, 8, 3, 8, 3])[0]
        if os.environ.get("ZEPA_SCREEN_TRACE"):
            print(what, model.text[:40], model.pos, pane.width, pane.height, flush=True)
        if what == "type":
            chars = "".join(rng.choice("0123456789 ") for _ in range(rng.randint(1, 4)))
            pane.type(chars)
            model.insert(chars)
        elif what == "key":
            key = rng.choice(EDIT_KEYS)
            pane.keys(key)
            model.key(key, pane.width)
        elif what == "paste":
            n = rng.choice([rng.randint(1, 30), rng.randint(pane.width, 3 * pane.width * pane.height)])
            chars = "".join(rng.choice("0123456789     ") for _ in range(n))
            pane.paste(chars)
            model.insert(chars)
        elif what == "escape" and model.text:
            pane.keys("Escape")
            model.key("Escape", pane.width)
        elif what == "resize":
            pane.resize(*self.size())
        elif what == "stop":
            pane.keys("C-z")
            pane.wait_for("the shell after Ctrl+Z", pane.shell_after_stop)
            if rng.random() < 0.5:
                pane.resize(*self.size())
            pane.run("fg")

    def edit(self, shown, steps):
        """Edits one line; returns its first item after Enter."""
        model = LineModel(shown)
        self.pane.wait_for_line(model)
        for _ in range(steps):
            self.step(model)
            self.pane.wait_for_line(model)
        item = model.first_item()
        if not item or len(item) > 9:
            # A first item the memo can show exactly: a small number before the rest.
            self.pane.keys("Home")
            model.key("Home", self.pane.width)
            number = f"{self.rng.randint(1, 999)} "
            self.pane.type(number)
            model.insert(number)
            self.pane.wait_for_line(model)
        self.pane.keys("Enter")
        return model.first_item()

    def answer(self, shown, text):
        model = LineModel(shown)
        self.pane.wait_for_line(model)
        self.pane.type(text)
        model.insert(text)
        self.pane.wait_for_line(model)
        self.pane.keys("Enter")

    def run(self, cases):
        start(self.pane, self.binary)
        self.answer(HELP_SHOWN, "")
        computed = []
        while len(computed) < cases:
            c = self.edit(C_SHOWN, self.actions)
            f = self.edit(F_SHOWN, self.actions)
            if single(f) <= single(single(c) + single(c)):
                computed.append((c, f))
                self.answer(CONTINUE_SHOWN, "c" if len(computed) < cases else "n")
        finish(self.pane)
        memo = self.pane.file(MEMO_FILE).decode("cp1252").split("\r\n")
        shown_c = [line[len("  Semi corda: c="):] for line in memo if line.startswith("  Semi corda")]
        shown_f = [line[len("  Flecha: f="):] for line in memo if line.startswith("  Flecha")]
        expect_equal(len(shown_c), cases)
        for (c, f), mc, mf in zip(computed, shown_c, shown_f):
            check(abs(float(mc) - single(c)) <= 1e-6 * abs(single(c)), f"c {c!r}: memo {mc!r}")
            check(abs(float(mf) - single(f)) <= 1e-6 * abs(single(f)), f"f {f!r}: memo {mf!r}")

    def close(self):
        self.pane.close()


def test_random_sessions(binary):
    if not tmux_available():
        print("skip: no tmux or bash")
        return
    sessions = int(os.environ.get("ZEPA_SCREEN_SESSIONS", "3"))
    first = int(os.environ.get("ZEPA_SCREEN_SEED", "1"))
    for seed in range(first, first + sessions):
        session = Session(binary, seed, actions=12)
        try:
            session.run(cases=2)
        except AssertionError as fault:
            raise AssertionError(f"seed {seed}: {fault}") from None
        finally:
            session.close()


class Driver:
    """One scripted run: each step is done in the terminal and in the model, and the screen
    is then waited for until it shows the model's line."""

    def __init__(self, binary, width=80, height=25):
        self.binary = binary
        self.pane = SizedPane(binary, width, height)
        self.model = None

    def start(self, env=""):
        start(self.pane, self.binary, env)

    def prompt(self, shown):
        self.model = LineModel(shown)
        self.pane.wait_for_line(self.model)

    def type(self, chars):
        self.pane.type(chars)
        self.model.insert(chars)
        self.pane.wait_for_line(self.model)

    def paste(self, chars):
        self.pane.paste(chars)
        self.model.insert(chars)
        self.pane.wait_for_line(self.model)

    def key(self, name):
        self.pane.keys(name)
        self.model.key(name, self.pane.width)
        self.pane.wait_for_line(self.model)

    def resize(self, width, height):
        self.pane.resize(width, height)
        self.pane.wait_for_line(self.model)

    def stop_and_resume(self):
        self.pane.keys("C-z")
        self.pane.wait_for("the shell after Ctrl+Z", self.pane.shell_after_stop)
        self.pane.run("fg")
        self.pane.wait_for_line(self.model)

    def rows_showing(self, line):
        return sum(r.rstrip() == line for r in self.pane.rows())

    def reply(self, shown, text):
        self.prompt(shown)
        if text:
            self.type(text)
        self.pane.keys("Enter")

    def close(self):
        self.pane.close()


def memo_values(pane, label):
    memo = pane.file(MEMO_FILE).decode("cp1252").split("\r\n")
    return [line[len(label):] for line in memo if line.startswith(label)]


def scripted(test):
    """Runs the test with a Driver at 80x25, or skips without tmux."""
    def run(binary):
        if not tmux_available():
            print("skip: no tmux or bash")
            return
        driver = Driver(binary)
        try:
            test(driver)
        finally:
            driver.close()
    run.__name__ = test.__name__
    return run


def last_case(driver, c, f="1", answer="n"):
    """Ends the case being typed (c's line is on the screen) and the program."""
    driver.pane.keys("Enter")
    driver.reply(F_SHOWN, f)
    driver.reply(CONTINUE_SHOWN, answer)
    finish(driver.pane)
    expect_equal(memo_values(driver.pane, "  Semi corda: c=")[-1], " " + c)


@scripted
def test_resize_while_typing(driver):
    driver.start()
    driver.reply(HELP_SHOWN, "")
    driver.prompt(C_SHOWN)
    driver.type("7" + "x" * 99)
    driver.resize(40, 25)
    driver.key("Home")
    driver.type("2")
    driver.key("Right")
    for _ in range(99):
        driver.pane.keys("DC")
        driver.model.key("DC", 40)
    driver.pane.wait_for_line(driver.model)
    last_case(driver, "27")


@scripted
def test_line_longer_than_the_window(driver):
    driver.start()
    driver.reply(HELP_SHOWN, "")
    driver.prompt(C_SHOWN)
    driver.paste("5" + " " * 2099)
    driver.key("Home")
    driver.type("2")
    driver.key("Up")  # fewer than W before the cursor: nothing
    # At 20x5 a line of many rows: Home shows its start, End its end.
    driver.resize(20, 5)
    driver.key("End")
    driver.paste("9" * 96)
    driver.key("Home")
    driver.key("Down")
    driver.key("Home")
    driver.resize(80, 25)
    last_case(driver, "25")


@scripted
def test_shrink_and_grow(driver):
    driver.start()
    driver.reply(HELP_SHOWN, "")
    driver.prompt(C_SHOWN)
    driver.resize(80, 15)
    driver.type("3")
    driver.pane.keys("Enter")
    driver.prompt(F_SHOWN)
    # The reply's line end put the next prompt on the row below, with no blank rows between.
    rows = [r.rstrip() for r in driver.pane.rows()]
    at = rows.index(F_SHOWN.rstrip())
    expect_equal(rows[at - 1], C_SHOWN + "3")
    # Shrinking again keeps what scrolled out in the scrollback.
    driver.resize(80, 10)
    history = driver.pane.tmux("capture-pane", "-p", "-S", "-200", "-t", "zepa").stdout
    check(banner()[1] in history, "the banner left the scrollback")
    driver.type("1")
    driver.resize(80, 25)
    # The program has taken the new size once the line stands again on a fresh row below the
    # old one (which stays, as earlier output).
    driver.pane.wait_for("the line shown again", lambda: driver.rows_showing(F_SHOWN + "1") == 2)
    driver.pane.keys("Enter")
    # Results follow the reply directly below, and the continue question reaches the bottom.
    driver.prompt(CONTINUE_SHOWN)
    rows = [r.rstrip() for r in driver.pane.rows()]
    expect_equal(rows[-8:], [F_SHOWN + "1", F_SHOWN + "1", " Resultados:", "  Raio: r= 5",
                             "  Semi arco: a= 3.217506", "  Angulo: Alfa(grau)= 36.86981", "",
                             CONTINUE_SHOWN.rstrip()])
    # Forty columns: what is typed follows the prompt's "? " at once.
    driver.resize(40, 25)
    driver.type("c")
    driver.pane.keys("Enter")
    driver.prompt(C_SHOWN)
    driver.type("3")
    last_case(driver, "3")


def test_small_window_at_the_start(binary):
    """Started at 80x5 and grown to 80x25: the whole window is used from then on."""
    if not tmux_available():
        print("skip: no tmux or bash")
        return
    driver = Driver(binary, 80, 5)
    try:
        driver.start()
        driver.prompt(HELP_SHOWN)
        driver.resize(80, 25)
        driver.pane.wait_for("the prompt shown again",
                             lambda: driver.rows_showing(HELP_SHOWN.rstrip()) == 2)
        driver.pane.keys("Enter")
        driver.reply(C_SHOWN, "3")
        driver.reply(F_SHOWN, "1")
        driver.prompt(CONTINUE_SHOWN)
        rows = [r.rstrip() for r in driver.pane.rows()]
        expect_equal(rows[13:], [HELP_SHOWN.rstrip(), HELP_SHOWN.rstrip(), "", " Dados:", C_SHOWN + "3", F_SHOWN + "1",
                                 " Resultados:", "  Raio: r= 5", "  Semi arco: a= 3.217506",
                                 "  Angulo: Alfa(grau)= 36.86981", "", CONTINUE_SHOWN.rstrip()])
        driver.type("n")
        driver.pane.keys("Enter")
        finish(driver.pane)
    finally:
        driver.close()


@scripted
def test_unknown_size(driver):
    # A terminal that reports 0 x 0 is drawn as 80 x 25, this pane's size; the banner's letter
    # is drawn in the locale's encoding all the same.
    driver.pane.run("stty rows 0 cols 0")
    driver.start()
    driver.prompt(HELP_SHOWN)
    check(any("A flecha n\u00e3o pode" in r for r in driver.pane.rows()), "no \u00e3 on the screen")
    driver.pane.keys("Enter")
    driver.prompt(C_SHOWN)
    driver.type("39")
    driver.key("BSpace")
    driver.type(" 73")
    driver.key("Home")
    last_case(driver, "3")


@scripted
def test_one_by_one(driver):
    driver.start()
    driver.reply(HELP_SHOWN, "")
    driver.prompt(C_SHOWN)
    driver.type("12")
    driver.resize(1, 1)
    driver.type("3")
    driver.key("Left")
    driver.resize(1, 6)
    driver.key("Home")
    driver.type("4")
    driver.resize(80, 25)
    driver.pane.keys("Enter")
    driver.reply(F_SHOWN, "1")
    driver.prompt(CONTINUE_SHOWN)
    # The case is drawn below the resize's fresh row, not over the banner.
    rows = [r.rstrip() for r in driver.pane.rows()]
    expect_equal((rows[-8], rows[-7], rows[-6], rows[-2]),
                 (C_SHOWN + "4123", F_SHOWN + "1", " Resultados:", ""))
    driver.type("n")
    driver.pane.keys("Enter")
    finish(driver.pane)
    expect_equal(memo_values(driver.pane, "  Semi corda: c="), [" 4123"])


@scripted
def test_ctrl_z_and_fg_in_the_middle_of_a_line(driver):
    driver.start()
    driver.reply(HELP_SHOWN, "")
    driver.prompt(C_SHOWN)
    driver.type("34")
    driver.stop_and_resume()
    driver.type("5")
    driver.key("Left")
    driver.stop_and_resume()
    driver.pane.resize(60, 20)
    driver.stop_and_resume()
    last_case(driver, "345")


@scripted
def test_transcript_of_a_redirected_output(driver):
    driver.pane.run("stty -g > stty.before")
    driver.pane.run(f"'{driver.binary}' > saida.txt")
    # The dialogue, and what is typed, is on the terminal.
    driver.prompt(HELP_SHOWN)
    driver.pane.keys("Enter")
    driver.prompt(C_SHOWN)
    driver.type("39")
    driver.key("BSpace")
    driver.key("Left")
    driver.key("Right")
    driver.pane.keys("Enter")
    driver.reply(F_SHOWN, "1")
    driver.reply(CONTINUE_SHOWN, "n")
    finish(driver.pane)
    expect_equal(driver.pane.file("saida.txt"),
                 first_screen() + HELP_QUESTION + b"? " + CRLF + lines(b"", b" Dados:") +
                 b"  Semi corda: c=? 3" + CRLF + b"  Flecha: f=? 1" + CRLF +
                 results(b" 5", b" 3.217506", b" 36.86981") + CRLF + CONTINUE_QUESTION +
                 b"? n" + CRLF + CRLF)


@scripted
def test_transcript_to_a_pipe_that_closes(driver):
    driver.pane.run("stty -g > stty.before")
    driver.pane.run(f"'{driver.binary}' | head -c 10 > cabeca.txt")
    driver.prompt(HELP_SHOWN)
    driver.pane.keys("Enter")
    driver.reply(C_SHOWN, "3")
    driver.reply(F_SHOWN, "1")
    driver.reply(CONTINUE_SHOWN, "c")
    # The pipe has closed by now: the warning stands once on the terminal, the dialogue goes on.
    driver.reply(C_SHOWN, "3")
    driver.reply(F_SHOWN, "1")
    driver.prompt(CONTINUE_SHOWN)
    rows = driver.pane.rows()
    expect_equal(sum("a saida padrao nao aceitou" in r for r in rows), 1)
    driver.type("n")
    driver.pane.keys("Enter")
    driver.pane.wait_for("the shell", lambda: driver.pane.last_line().startswith("READY>"))
    driver.pane.run("stty -g > stty.after")
    expect_equal(driver.pane.file("stty.after"), driver.pane.file("stty.before"))
    expect_equal(driver.pane.file("cabeca.txt"), b"\r\n".join(banner()[:1])[:10])


# A browser opener that notes the terminal it was given.
OPENER = """#!/bin/sh
stty -g > opener.stty-g
stty -a > opener.stty-a
if [ -t 0 ] && [ -t 1 ]; then echo yes > opener.tty; else echo no > opener.tty; fi
printf 'opener wrote this\\n'
"""


@scripted
def test_help_opener_gets_a_normal_terminal(driver):
    bin_dir = os.path.join(driver.pane.scratch.path, "bin")
    os.mkdir(bin_dir)
    with open(os.path.join(bin_dir, "xdg-open"), "w") as f:
        f.write(OPENER)
    os.chmod(os.path.join(bin_dir, "xdg-open"), 0o755)
    driver.start(env=f"PATH={bin_dir}:$PATH")
    driver.reply(HELP_SHOWN, "a")
    # Back from the opener: raw mode again, the screen painted from the program's copy.
    driver.prompt(C_SHOWN)
    expect_equal(driver.pane.file("opener.stty-g"), driver.pane.file("stty.before"))
    expect_equal(driver.pane.file("opener.tty"), b"yes\n")
    check(b" icanon" in driver.pane.file("opener.stty-a"), "the opener got raw mode")
    check(not any("opener wrote this" in r for r in driver.pane.rows()), "not painted again")
    driver.type("3")
    last_case(driver, "3")


if __name__ == "__main__":
    # Names after the binary's path run only those tests.
    if len(sys.argv) > 2:
        main([globals()[name] for name in sys.argv[2:]])
    main([test_resize_while_typing, test_line_longer_than_the_window, test_shrink_and_grow,
          test_small_window_at_the_start, test_unknown_size, test_one_by_one,
          test_ctrl_z_and_fg_in_the_middle_of_a_line, test_transcript_of_a_redirected_output,
          test_transcript_to_a_pipe_that_closes, test_help_opener_gets_a_normal_terminal,
          test_random_sessions])
