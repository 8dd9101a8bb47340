"""The Windows build under wine: the same bytes as the native build for a redirected batch, the
console dialogue in a real terminal (tmux) typed as a person would, Ctrl+C, and the help answer.

The .exe comes from ZEPA_WINDOWS_EXE (set by `make test-windows`); without it, or without
wine's 64-bit loader, every test is skipped. wine's prefix (WINEPREFIX) must exist already: its
creation is slow.
"""

import contextlib
import os
import shutil
import subprocess
import sys

# The end-to-end tests' support module.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

import support  # noqa: E402
from support import (C_PROMPT, CONTINUE_PROMPT, F_PROMPT, HELP_PROMPT,  # noqa: E402
                     HELP_QUESTION, MEMO_FILE, ONE_MEMO, REFUSAL, SCREEN_FIRST, Pane, Scratch, Skip,
                     check, expect_equal, expect_results, main, table, wait_until)

EXE = os.environ.get("ZEPA_WINDOWS_EXE", "")
WINE = os.environ.get("ZEPA_WINE") or "/usr/lib/wine/wine64"
support.WAIT_LIMIT = 30.0  # a wine program starts slowly


def wine_env(**settings):
    if not EXE or not os.path.exists(EXE) or not os.path.exists(WINE):
        raise Skip("no Windows build or no wine (ZEPA_WINDOWS_EXE, ZEPA_WINE)")
    # A console program needs no display; without one wine does not try to open windows.
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.setdefault("WINEPREFIX", os.path.join(os.path.dirname(os.path.abspath(EXE)), "wine"))
    return dict(env, WINEDEBUG="-all", **settings)


OLD_MEMO = b"earlier memo line\r\n"


@table(*[(from_file, data) for from_file in (False, True) for data in (
    # One case, lines ending in CR LF as typed on Windows.
    b"\r\n3\r\n1\r\nn\r\n",
    # A refusal, then the pair amended; exact, small and large values.
    b"x\n1\n3\n1\n1.5\nc\n1.2345678\n0.1\nC\n3.4E38\n1\nc\n1e-30\n1e-30\nn\n",
    # Infinities and NaNs: f = 0, c = f = 0, squares beyond the single range, f = -0.0,
    # overflowing and spelled-out infinities, a NaN that is refused.
    b"\n1\n0\nc\n0\n0\nc\n1e20\n1\nc\n1e19\n1\nc\n2\n-0.0\nc\n1e39\ninf\nc\n"
    b"nan\n1\n4\n1\nc\n-1\n-3\nn\n",
    # Radix prefixes, the D exponent, several items on one line, quotes and separators.
    b"\n&H10\n&h1f\nc\n1D-3\n1d-3\nc\n&O17, &B101\nc\n&HFFFFFFFF 1\nc\n\"2\",1\nc\n"
    b"&H1.5\n0.5\nc\n1.5E+3\n1.5e+3\nq\n",
    # Input that ends in the middle of a case, with no line end at all.
    b"\n5\n")])
def test_batch_is_identical(binary, from_file, data):
    # Standard input a pipe or a file: the exit status, the output and the memo appended to an
    # earlier one are the native program's bytes.
    outcomes = []
    for command, env in (([binary], None), ([WINE, EXE], wine_env())):
        with Scratch() as s:
            s.write(MEMO_FILE, OLD_MEMO)
            with open(s.write("input.txt", data), "rb") as stdin:
                p = subprocess.run(command, cwd=s.path, env=env, capture_output=True, timeout=60,
                                   **({"stdin": stdin} if from_file else {"input": data}))
            outcomes.append((p.returncode, p.stdout, s.file(MEMO_FILE)))
    expect_equal(outcomes[1], outcomes[0])
    check(outcomes[0][2].startswith(OLD_MEMO), "the memo file was not appended to")


@table(
    # A directory: the first read fails (ReadFile, and not at a pipe's end): status 1, a line
    # on standard error, no memo.
    ("a directory", None, 1),
    # A pipe made by a Windows parent (tests/pipe_input.exe), which ends in the middle of a
    # case: its end is ERROR_BROKEN_PIPE, the end of the input. (Under wine a pipe from
    # outside is the host's, whose end reads as 0 bytes.)
    ("a Windows pipe", b"\n5\n", 0),
)
def test_standard_input_fails_or_ends(binary, source, data, status):
    # The same ending as the native program's: status, output, standard error and memo.
    feeder = os.path.join(os.path.dirname(os.path.abspath(EXE)), "tests", "pipe_input.exe")
    outcomes = []
    for command, env in (([binary], None), ([WINE, EXE], wine_env())):
        with Scratch() as s:
            folder = os.open(s.path, os.O_RDONLY)
            if data is not None and env is not None:
                check(os.path.exists(feeder), f"missing {feeder}")
                command = [WINE, feeder, windows_path(EXE)]
            try:
                p = subprocess.run(command, cwd=s.path, env=env, capture_output=True, timeout=60,
                                   **({"stdin": folder} if data is None else {"input": data}))
            finally:
                os.close(folder)
            outcomes.append((p.returncode, p.stdout, p.stderr, s.file(MEMO_FILE)))
    expect_equal(outcomes[1], outcomes[0])
    expect_equal(outcomes[0][0], status)


def wine_pane(**options):
    env = wine_env()
    return Pane(WINE, program=f"'{WINE}' '{EXE}'",
                env=["WINEDEBUG=-all", "WINEPREFIX=" + env["WINEPREFIX"]], **options)


HOME, END, LEFT = "\x1b[H", "\x1b[F", "\x1b[D"  # wine's console knows only the xterm forms


def test_console_dialogue_in_a_terminal(binary):
    with wine_pane() as pane:
        # The first screen: the banner with its one accented letter, the notes, the question.
        screen = pane.wait_for_line(HELP_PROMPT)
        check("* Restricoes: A flecha n\u00e3o pode ser maior que a corda" in screen[8], screen[8])
        pane.answer(HELP_PROMPT, "")
        # "1", Home, "3", End, Backspace: the line reads "3".
        pane.wait_for_last_line(C_PROMPT)
        pane.type("1" + HOME + "3" + END)
        pane.keys("BSpace", "Enter")
        pane.wait_for_line(C_PROMPT + "3")
        # A sagitta larger than twice the semi-chord is refused and both are asked again.
        pane.answer(F_PROMPT, "7")
        pane.wait_for_line(REFUSAL.decode())
        pane.answer(C_PROMPT, "3")
        # "x1", Left, Backspace: the line reads "1".
        pane.wait_for_last_line(F_PROMPT)
        pane.type("x1" + LEFT)
        pane.keys("BSpace", "Enter")
        screen = pane.wait_for_last_line(CONTINUE_PROMPT)
        expect_results(screen)
        expect_equal(screen[screen.index(" Resultados:") - 1], F_PROMPT + "1")
        pane.answer(CONTINUE_PROMPT, "n")
        expect_equal(pane.wait_for_file("status"), "0")
        # The refused pair left no memo; the computed one did, in Windows-1252.
        expect_equal(pane.scratch.file(MEMO_FILE), ONE_MEMO)


def test_typed_accented_letters_are_windows_1252(binary):
    # tmux sends what is typed as UTF-8, wine's console hands it over as UTF-16: the program keeps
    # Windows-1252 bytes and draws them through the same table. The echo, and the line drawn
    # again from its bytes after an insertion at its start, show the letters typed; an emoji,
    # which the code page lacks, leaves the line as it was.
    with wine_pane() as pane:
        pane.answer(HELP_PROMPT, "")
        pane.wait_for_last_line(C_PROMPT)
        pane.type("ãé€ç")
        pane.wait_for_last_line(C_PROMPT + "ãé€ç")
        pane.type(HOME + "x\U0001F600" + END + "1")
        pane.wait_for_last_line(C_PROMPT + "xãé€ç1")
        pane.keys(*["BSpace"] * 6)
        pane.wait_for_last_line(C_PROMPT)
        pane.answer(C_PROMPT, "3")
        pane.answer(F_PROMPT, "1")
        pane.answer(CONTINUE_PROMPT, "n")
        expect_equal(pane.wait_for_file("status"), "0")
        expect_equal(pane.scratch.file(MEMO_FILE), ONE_MEMO)
    # Standard output a file: the bytes drawn there are the line's own, as stored.
    with wine_pane(redirect="> out.txt") as pane:
        def shown(text):
            return wait_until(repr(text), lambda: text in (pane.scratch.file("out.txt") or b""))
        shown(HELP_QUESTION + b"? ")
        pane.type("ãé€ç")
        pane.keys("Enter")
        shown(HELP_QUESTION + b"? " + "ãé€ç".encode("cp1252") + b"\r\n")
        pane.type("3")
        pane.keys("Enter")
        pane.type("1")
        pane.keys("Enter")
        pane.type("n")
        pane.keys("Enter")
        expect_equal(pane.wait_for_file("status"), "0")


def test_lines_that_scroll_off_reach_the_terminal_history(binary):
    # Wine's console in tmux turns the screen into terminal sequences, its buffer as tall as
    # the window, as ConPTY does for Windows Terminal: the rows that scroll off reach tmux's
    # history only as line feeds. After five cases at 80 x 25, the history and the window hold
    # the whole dialogue, from the banner on.
    with wine_pane() as pane:
        pane.answer(HELP_PROMPT, "")
        for case in range(5):
            pane.answer(C_PROMPT, "3")
            pane.answer(F_PROMPT, "1")
            pane.answer(CONTINUE_PROMPT, "c" if case < 4 else "n")
        expect_equal(pane.wait_for_file("status"), "0")
        rows = pane.history() + pane.screen()
        expect_equal(rows[:len(SCREEN_FIRST)], [row.rstrip() for row in SCREEN_FIRST])
        expect_equal(sum(row == " Resultados:" for row in rows), 5)
        check(len(pane.history()) > 50, f"{len(pane.history())} rows of history")


def test_ctrl_c_ends_the_program_at_once(binary):
    with wine_pane() as pane:
        pane.answer(HELP_PROMPT, "")
        # Ctrl+C goes only once the editor has shown the "3": then the program is surely
        # reading keys, however slowly a fresh wine prefix starts.
        pane.wait_for_last_line(C_PROMPT)
        pane.type("3")
        pane.wait_for_last_line(C_PROMPT + "3")
        pane.keys("C-c")
        # The console's default action ends the process; the dialogue takes no further step.
        pane.wait_for_file("status")
        check(not any("Flecha" in row for row in pane.screen()), "the dialogue went on")
        expect_equal(pane.scratch.file(MEMO_FILE), None)


def windows_path(path):
    """The path as wine shows a Unix file to a Windows program: drive Z:, backslashes."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine_reg(*args):
    subprocess.run([WINE, "reg", *args, "/f"], env=wine_env(), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60, check=True)


def test_help_answer_opens_the_page(binary):
    # With the page beside the program, the shell opens the file itself (ShellExecuteEx): the
    # stand-in the registry names for .html files notes its command line in the program's
    # folder, whatever the folder's name holds for the command processor (%ZX% is a command,
    # %PATH% a long text), and no command processor runs. Without a page, the web address is
    # started through the command processor that COMSPEC names (wine takes it from the
    # user's environment in the registry): the same stand-in, noting its line where it runs.
    env = wine_env(ZX='" & mkdir x & "')
    recorder = os.path.join(os.path.dirname(os.path.abspath(EXE)), "tests", "record_command.exe")
    check(os.path.exists(recorder), f"missing {recorder}")
    page = os.path.join(os.path.dirname(os.path.abspath(EXE)), "ajuda-zepa4-07.html")
    web = "/c cmd /c start http://www.zepa.example/ajuda-zepa4-07.php "
    wine_reg("add", "HKCR\\zepa.teste\\shell\\open\\command", "/ve", "/d",
             f'"{windows_path(recorder)}" "%1"')
    wine_reg("add", "HKCR\\.html", "/ve", "/d", "zepa.teste")
    wine_reg("add", "HKCU\\Environment", "/v", "COMSPEC", "/d", windows_path(recorder))
    try:
        for name, with_page in (("D_%ZX%", True), ("D_%PATH%", True), ("D", False)):
            with Scratch() as s:
                folder = s.join(name)
                os.mkdir(folder)
                shutil.copy(EXE, folder)
                if with_page:
                    shutil.copy(page, folder)
                p = subprocess.run([WINE, os.path.join(folder, "zepa4-07.exe")], cwd=s.path,
                                   input=b"a\r\n3\r\n1\r\nn\r\n", env=env, capture_output=True,
                                   timeout=60)
                log = os.path.join(folder if with_page else s.path, "command.log")

                def noted():
                    text = open(log).read() if os.path.exists(log) else ""
                    return text.endswith("\n") and text  # whole once its line has ended
                expect_equal((name, p.returncode, p.stderr, wait_until(log, noted)),
                             (name, 0, b"", f'"{windows_path(recorder)}" "' + windows_path(
                                 os.path.join(folder, "ajuda-zepa4-07.html")) + '"\n'
                              if with_page else f"{windows_path(recorder)} {web}\n"))
                # Nothing else ran, and the memo stayed where the program was started.
                strays = [s.join("x"), os.path.join(folder, "x")] + (
                    [s.join("command.log")] if with_page else [])
                check(os.path.exists(s.join(MEMO_FILE)) and not any(map(os.path.exists, strays)),
                      f"{name}: {os.listdir(s.path)} {os.listdir(folder)}")
    finally:
        with contextlib.suppress(subprocess.CalledProcessError):
            wine_reg("add", "HKCR\\.html", "/ve", "/d", "htmlfile")
            wine_reg("delete", "HKCR\\zepa.teste")
            wine_reg("delete", "HKCU\\Environment", "/v", "COMSPEC")


if __name__ == "__main__":
    main(globals())
