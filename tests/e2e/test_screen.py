"""The screen tells the truth: in a real terminal (tmux), through random editing, pastes,
resizes and Ctrl+Z / fg, the line being edited is on the screen as the editor holds it, with
the cursor on its character; and the memo holds what the shown lines mean.

ZEPA_SCREEN_SESSIONS sets how many seeded random sessions run (a few by default; `make
test-long` runs many), ZEPA_SCREEN_SEED the first seed."""

import os
import random

from common import CONTINUE_QUESTION, HELP_QUESTION, MEMO_FILE, check, expect_equal, main
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


if __name__ == "__main__":
    main([test_random_sessions])
