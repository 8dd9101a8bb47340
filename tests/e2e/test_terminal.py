"""The program in a real terminal (tmux): screens, editing keys, Ctrl+C, hang-up, TERM=dumb."""

import os
import shutil
import stat
import subprocess
import time
import urllib.parse

from common import (CONTINUE_QUESTION, HELP_NOT_OPENED, HELP_QUESTION, MEMO_FILE, NOTES, REFUSAL, banner, check,
                    expect_equal, main, memo, Scratch)

WAIT_LIMIT = 10.0  # seconds for any screen to appear; waits end as soon as it does

# Runs the program as a shell would, noting the terminal modes before and after and its exit
# status. A trap (not an ignore, which the program would inherit) keeps the wrapper alive
# through Ctrl+C so that it can look at the terminal afterwards; the pane then stays open.
RUN_WRAPPER = """#!/bin/sh
trap 'true' INT
stty -g > stty.before
"$@"
echo $? > status
stty -g > stty.after
exec sleep 600
"""

# Hands the terminal straight to the program, noting its process id for the hang-up tests.
EXEC_WRAPPER = """#!/bin/sh
echo $$ > pid
exec "$@"
"""


def text(line):
    return line.decode("cp1252")


FIRST_SCREEN = [text(b) for b in banner()] + [""] + [text(b) for b in NOTES] + [""]
HELP_LINE = text(HELP_QUESTION) + "?"  # the blank after "?" is trailing, not captured
CONTINUE_LINE = text(CONTINUE_QUESTION) + "?"
C_PROMPT = "  Semi corda: c=? "
F_PROMPT = "  Flecha: f=? "
RESULTS = ["  Raio: r= 5", "  Semi arco: a= 3.217506", "  Angulo: Alfa(grau)= 36.86981"]


class Pane:
    """The program in a detached 80x25 tmux session of its own server, in a scratch directory."""

    def __init__(self, binary, wrapper=RUN_WRAPPER, env=(), before=""):
        self.scratch = Scratch()
        self.socket = os.path.join(self.scratch.path, "tmux.sock")
        with open(os.path.join(self.scratch.path, "wrapper.sh"), "w") as f:
            f.write(wrapper)
        settings = " ".join(["LANG=C.UTF-8", "LC_ALL="] + list(env))
        command = f"{before} env {settings} sh wrapper.sh '{binary}'"
        clean_env = {k: v for k, v in os.environ.items() if k != "TMUX"}
        self.tmux("new-session", "-d", "-s", "zepa", "-x", "80", "-y", "25", "-c",
                  self.scratch.path, command, env=clean_env)

    def tmux(self, *args, env=None):
        return subprocess.run(["tmux", "-S", self.socket, "-f", "/dev/null", *args], env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)

    def keys(self, *keys):
        self.tmux("send-keys", "-t", "zepa", *keys)

    def type(self, chars):
        self.tmux("send-keys", "-t", "zepa", "-l", chars)

    def screen(self):
        out = self.tmux("capture-pane", "-p", "-t", "zepa").stdout.decode("utf-8", "replace")
        return out.split("\n")[:-1]  # capture-pane ends every row, the last too

    def cursor(self):
        """(column, row, visible) of the pane's cursor."""
        out = self.tmux("display-message", "-p", "-t", "zepa",
                        "#{cursor_x} #{cursor_y} #{cursor_flag}").stdout.split()
        return int(out[0]), int(out[1]), out[2] == b"1"

    def wait_for(self, what, condition):
        deadline = time.monotonic() + WAIT_LIMIT
        while True:
            screen = self.screen()
            if condition(screen):
                return screen
            if time.monotonic() > deadline:
                raise AssertionError(f"no {what} on the screen:\n" + "\n".join(screen))
            time.sleep(0.02)

    def wait_for_line(self, line):
        return self.wait_for(repr(line), lambda screen: line in screen)

    def wait_for_last_line(self, line):
        """Waits until `line` is the last non-empty line (the one being edited)."""
        def last(screen):
            filled = [s for s in screen if s.strip()]
            return filled[-1] if filled else ""
        return self.wait_for(repr(line), lambda screen: last(screen) == line.rstrip())

    def answer(self, prompt, reply):
        """Waits for `prompt` on the last line, types `reply` and presses Enter."""
        self.wait_for_last_line(prompt)
        self.type(reply)
        self.keys("Enter")

    def skip_help(self):
        """Answers the help question with Enter alone: no help page."""
        self.wait_for_line(HELP_LINE)
        self.keys("Enter")

    def wait_for_file(self, name):
        path = os.path.join(self.scratch.path, name)
        deadline = time.monotonic() + WAIT_LIMIT
        while not (os.path.exists(path) and os.path.getsize(path) > 0):
            if time.monotonic() > deadline:
                raise AssertionError(f"{name} not written:\n" + "\n".join(self.screen()))
            time.sleep(0.02)
        return self.scratch.file(name).decode().strip()

    def close(self):
        self.tmux("kill-server")
        self.scratch.close()


def expect_terminal_restored(pane):
    expect_equal(pane.wait_for_file("stty.after"), pane.wait_for_file("stty.before"))


def expect_results(screen):
    """The three result lines stand four lines above the continue question."""
    at = screen.index(CONTINUE_LINE)
    expect_equal(screen[at - 5:at - 1], [" Resultados:", *RESULTS])


def answer_help_question(pane):
    pane.skip_help()
    pane.wait_for_last_line(C_PROMPT)


def test_first_screen_and_one_case(binary):
    pane = Pane(binary)
    try:
        screen = pane.wait_for_line(HELP_LINE)
        # The banner's "ã" shows as itself in a UTF-8 locale; the cursor waits after "? ".
        expect_equal(screen[:24], FIRST_SCREEN + [HELP_LINE])
        expect_equal(pane.cursor(), (len(text(HELP_QUESTION)) + 2, 23, True))
        pane.keys("Enter")
        pane.answer(C_PROMPT, "3")
        pane.answer(F_PROMPT, "1")
        screen = pane.wait_for_line(CONTINUE_LINE)
        # The screen has scrolled: the dialogue's last eleven lines stand at its bottom.
        expect_equal(screen[14:25], [HELP_LINE, "", " Dados:", C_PROMPT + "3", F_PROMPT + "1",
                                     " Resultados:", *RESULTS, "", CONTINUE_LINE])
        expect_equal(pane.scratch.file(MEMO_FILE),
                     memo(" 3", " 1", " 5", " 3.217506", " 36.86981"))
        pane.type("n")
        pane.keys("Enter")
        expect_equal(pane.wait_for_file("status"), "0")
        expect_terminal_restored(pane)
    finally:
        pane.close()


def test_editing_keys(binary):
    pane = Pane(binary)
    try:
        answer_help_question(pane)
        start = len(C_PROMPT)
        pane.type("123")
        pane.keys("Left", "Left", "Home", "Delete")
        pane.wait_for_last_line(C_PROMPT + "23")
        expect_equal(pane.cursor()[0], start)
        pane.type("x")
        pane.keys("End", "BSpace")
        pane.wait_for_last_line(C_PROMPT + "x2")
        expect_equal(pane.cursor()[0], start + 2)
        # Insert, Page Up, function keys and Alt+letter change nothing; no stray byte appears
        pane.keys("F1", "IC", "PageUp", "F12", "M-a", "C-Left", "Right")
        pane.type("7")
        pane.wait_for_last_line(C_PROMPT + "x27")
        # Esc clears the whole line, and only the line
        pane.keys("Escape")
        pane.wait_for_last_line(C_PROMPT)
        expect_equal(pane.cursor()[0], start)
        # Tab goes to the next multiple of 8 of the line; Backspace returns over the blanks
        pane.type("3")
        pane.keys("Tab")
        pane.wait_for(
            "the cursor after Tab", lambda screen: pane.cursor()[0] == start + 8)
        for _ in range(7):
            pane.keys("BSpace")
        pane.keys("Enter")
        pane.wait_for_last_line(F_PROMPT)
        pane.type("9")
        pane.keys("Left")
        pane.type("1")
        pane.keys("End", "BSpace")
        pane.wait_for_last_line(F_PROMPT + "1")
        pane.keys("Enter")
        expect_results(pane.wait_for_line(CONTINUE_LINE))
    finally:
        pane.close()


def test_refusal_then_ctrl_c(binary):
    pane = Pane(binary)
    try:
        answer_help_question(pane)
        pane.type("1")
        pane.keys("Enter")
        pane.answer(F_PROMPT, "3")
        pane.wait_for_line(text(REFUSAL))
        pane.wait_for_last_line(C_PROMPT)
        pane.type("12")
        pane.wait_for_last_line(C_PROMPT + "12")
        pane.keys("C-c")
        expect_equal(pane.wait_for_file("status"), "130")
        expect_terminal_restored(pane)
        check(pane.cursor()[2], "the cursor is hidden after the end")
        check(pane.scratch.file(MEMO_FILE) is None, "a refused case wrote a memo")
    finally:
        pane.close()


def path_with(scratch, opener=None):
    """A PATH setting of its own: the tools the run wrapper needs, and an xdg-open stub when
    given one (no other opener is found)."""
    bin_dir = os.path.join(scratch.path, "bin")
    os.makedirs(bin_dir)
    for tool in ("sh", "stty", "sleep", "mv"):
        os.symlink(shutil.which(tool), os.path.join(bin_dir, tool))
    if opener is not None:
        stub = os.path.join(bin_dir, "xdg-open")
        with open(stub, "w") as f:
            f.write(opener)
        os.chmod(stub, stat.S_IRWXU)
    return "PATH=" + bin_dir


def help_page_beside(binary):
    return os.path.join(os.path.dirname(os.path.realpath(binary)), "ajuda-zepa4-07.html")


def finish_one_case(pane):
    """The dialogue goes on after the help answer: one case, a stop, the terminal as before."""
    pane.answer(C_PROMPT, "3")
    pane.answer(F_PROMPT, "1")
    expect_results(pane.wait_for_line(CONTINUE_LINE))
    pane.type("n")
    pane.keys("Enter")
    expect_equal(pane.wait_for_file("status"), "0")
    expect_terminal_restored(pane)


def test_help_answer_opens_the_page_beside_the_program(binary):
    page = help_page_beside(binary)
    check(os.path.exists(page), "no help page beside the program: " + page)
    tools = Scratch()
    log = os.path.join(tools.path, "opened")
    # The stub notes its arguments; the file appears whole.
    opener = f'#!/bin/sh\necho "$@" > {log}.part\nmv {log}.part {log}\n'
    pane = Pane(binary, env=[path_with(tools, opener)])
    try:
        pane.wait_for_line(HELP_LINE)
        pane.type("a")
        pane.keys("Enter")
        finish_one_case(pane)
        with open(log) as f:
            opened = f.read().split("\n")
        expect_equal(opened[0], "file://" + urllib.parse.quote(page))
        check(not any("Aviso" in line for line in pane.screen()), "a success was warned about")
    finally:
        pane.close()
        tools.close()


def test_help_answer_without_an_opener_says_where_the_page_is(binary):
    tools = Scratch()
    pane = Pane(binary, env=[path_with(tools)])
    try:
        pane.wait_for_line(HELP_LINE)
        pane.type("A")
        pane.keys("Enter")
        # One line (wrapped at the screen's width), then the dialogue as usual.
        said = (HELP_NOT_OPENED.decode() + help_page_beside(binary)).replace(" ", "")
        screen = pane.wait_for("the warning",
                               lambda screen: said in "".join(screen).replace(" ", ""))
        at = next(i for i, line in enumerate(screen) if line.startswith(" Aviso:"))
        expect_equal(screen[at - 1], HELP_LINE + " A")
        finish_one_case(pane)
    finally:
        pane.close()
        tools.close()


def test_long_paste(binary):
    pane = Pane(binary)
    try:
        answer_help_question(pane)
        # 10,001 bytes at once, far beyond the keyboard queue: if any were dropped, the erase
        # bytes would also take the "3" and the case would be refused.
        with open(os.path.join(pane.scratch.path, "paste"), "w") as f:
            f.write("3" + "9" * 5000 + "\x7f" * 5000)
        pane.tmux("load-buffer", os.path.join(pane.scratch.path, "paste"))
        pane.tmux("paste-buffer", "-t", "zepa")
        pane.keys("Enter")
        pane.answer(F_PROMPT, "1")
        expect_results(pane.wait_for_line(CONTINUE_LINE))
    finally:
        pane.close()


def test_window_shrinks(binary):
    pane = Pane(binary)
    try:
        pane.wait_for_line(HELP_LINE)
        # Fewer rows than at the start: the dialogue goes on within the rows there are.
        pane.tmux("resize-window", "-t", "zepa", "-x", "70", "-y", "20")
        pane.keys("Enter")
        pane.answer(C_PROMPT, "3")
        pane.answer(F_PROMPT, "1")
        screen = pane.wait_for_line(RESULTS[2])
        at = screen.index(RESULTS[2])
        expect_equal(screen[at - 2:at + 1], RESULTS)
    finally:
        pane.close()


def process_state(pid):
    """The process's state letter, or None when it has gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0]
    except OSError:
        return None


def hang_up(binary, before, env=()):
    pane = Pane(binary, wrapper=EXEC_WRAPPER, before=before, env=env)
    try:
        screen = pane.wait_for_line(HELP_LINE)
        pid = int(pane.wait_for_file("pid"))
        check(process_state(pid) not in (None, "Z"), "the program is not running")
        pane.tmux("kill-server")
        deadline = time.monotonic() + 1.0
        while process_state(pid) not in (None, "Z"):
            check(time.monotonic() < deadline, "the program still runs a second after the hang-up")
            time.sleep(0.01)
        return screen
    finally:
        pane.close()


def test_hang_up(binary):
    hang_up(binary, "")
    # With SIGHUP ignored (nohup) the dead terminal itself ends the program, with no spinning.
    # In the "C" locale the banner's "ã" has a stand-in.
    screen = hang_up(binary, "trap '' HUP;", env=("LANG=C",))
    check("* Restricoes: A flecha n?o pode ser maior que a corda" in screen[8], screen[8])


def test_dumb_terminal(binary):
    pane = Pane(binary, env=("TERM=dumb",))
    try:
        # The terminal's own line discipline edits and echoes the reply; the banner's "ã"
        # reaches it in the locale's UTF-8.
        screen = pane.wait_for_line(HELP_LINE)
        expect_equal(screen[:24], FIRST_SCREEN + [HELP_LINE])
        pane.keys("Enter")
        pane.wait_for_last_line(C_PROMPT)
        pane.type("39")
        pane.keys("BSpace", "Enter")
        pane.answer(F_PROMPT, "1")
        expect_results(pane.wait_for_line(CONTINUE_LINE))
        pane.type("n")
        pane.keys("Enter")
        expect_equal(pane.wait_for_file("status"), "0")
        expect_terminal_restored(pane)
    finally:
        pane.close()


# Standard input from a file, standard output the terminal: the program draws on the terminal,
# so it takes the terminal's character set from the locale although it reads no key.
INPUT_FILE_WRAPPER = """#!/bin/sh
printf '\\n3\\n1\\nn\\n' > input.txt
"$@" < input.txt
echo $? > status
exec sleep 600
"""


def test_input_from_a_file_output_on_the_terminal(binary):
    pane = Pane(binary, wrapper=INPUT_FILE_WRAPPER)
    try:
        expect_equal(pane.wait_for_file("status"), "0")
        screen = pane.screen()
        accented = [line for line in FIRST_SCREEN if "\u00e3" in line]
        for line in accented + RESULTS:
            if line not in screen:
                raise AssertionError(f"no line {line!r} on the screen:\n" + "\n".join(screen))
    finally:
        pane.close()


if __name__ == "__main__":
    main([test_first_screen_and_one_case, test_editing_keys, test_refusal_then_ctrl_c,
          test_long_paste, test_window_shrinks, test_hang_up, test_dumb_terminal,
          test_input_from_a_file_output_on_the_terminal,
          test_help_answer_opens_the_page_beside_the_program,
          test_help_answer_without_an_opener_says_where_the_page_is])
