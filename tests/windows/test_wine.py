"""The Windows build under wine: the same bytes as the native build for a redirected batch, and
the console dialogue in a real terminal (tmux), typed as a person would.

The .exe comes from ZEPA_WINDOWS_EXE (set by `make test-windows`); without it, or without
wine, every test is skipped. wine's prefix (WINEPREFIX) must exist already: its creation is slow.
"""

import os
import shutil
import subprocess
import sys
import time

# The end-to-end tests' shared pieces.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

from common import (CONTINUE_QUESTION, HELP_QUESTION, MEMO_FILE, REFUSAL, Scratch, Skip, check,
                    main, memo)

EXE = os.environ.get("ZEPA_WINDOWS_EXE", "")
WINE = os.environ.get("ZEPA_WINE") or next(
    (w for w in ("/usr/lib/wine/wine64", shutil.which("wine64"), shutil.which("wine"))
     if w and os.path.exists(w)), None)


def require_windows_build():
    if not EXE or not os.path.exists(EXE) or WINE is None:
        raise Skip("no Windows build or no wine (ZEPA_WINDOWS_EXE, ZEPA_WINE)")


def wine_env():
    env = dict(os.environ)
    env["WINEDEBUG"] = "-all"
    env.setdefault("WINEPREFIX", os.path.join(os.path.dirname(os.path.abspath(EXE)), "wine"))
    # A console program needs no display; without one wine does not try to open windows.
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    return env


def expect_equal(actual, expected, what):
    if actual != expected:
        raise AssertionError(f"{what} differ:\nexpected {expected!r}\nwine     {actual!r}")


# Each batch: the help answer, then cases of c and f with the continue answers.
BATCHES = [
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
    b"\n5\n",
]

OLD_MEMO = b"earlier memo line\r\n"


def run_batch(command, stdin_bytes, env=None, via_file=False):
    s = Scratch()
    try:
        with open(os.path.join(s.path, MEMO_FILE), "wb") as f:
            f.write(OLD_MEMO)
        if via_file:
            path = os.path.join(s.path, "input.txt")
            with open(path, "wb") as f:
                f.write(stdin_bytes)
            with open(path, "rb") as stdin:
                p = subprocess.run(command, stdin=stdin, cwd=s.path, env=env,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        else:
            p = subprocess.run(command, input=stdin_bytes, cwd=s.path, env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        return p.returncode, p.stdout, s.file(MEMO_FILE)
    finally:
        s.close()


def compare_batches(binary, via_file):
    require_windows_build()
    for number, batch in enumerate(BATCHES):
        native = run_batch([binary], batch, via_file=via_file)
        windows = run_batch([WINE, EXE], batch, env=wine_env(), via_file=via_file)
        what = f"batch {number}"
        expect_equal(windows[0], native[0], what + ": exit codes")
        expect_equal(windows[1], native[1], what + ": standard outputs")
        expect_equal(windows[2], native[2], what + ": memo files")
        if not native[2].startswith(OLD_MEMO):
            raise AssertionError(what + ": the memo file was not appended to")


def test_batch_through_a_pipe_is_identical(binary):
    compare_batches(binary, via_file=False)


def test_batch_from_a_file_is_identical(binary):
    compare_batches(binary, via_file=True)


class Tmux:
    """One program in a tmux pane of its own server, 80 x 25; the pane stays when it ends."""

    def __init__(self, command, cwd):
        self.socket = f"zepa-wine-{os.getpid()}"
        self.status_path = os.path.join(cwd, "exit-status")
        # The shell waits for wine and writes its status, then the file appears whole. Its trap
        # keeps it alive through Ctrl+C (a handler, unlike an ignored signal, is not inherited).
        command = ["sh", "-c",
                   'trap : INT; "$@"; echo $? > exit-status.part; mv exit-status.part exit-status',
                   "sh", *command]
        self.tmux(["-f", "/dev/null", "new-session", "-d", "-s", "t", "-x", "80", "-y", "25",
                   "-c", cwd, *command, ";", "set-option", "-g", "remain-on-exit", "on"])

    def tmux(self, args):
        # A UTF-8 locale, so that wine's console and tmux pass the accented letters on.
        env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
        return subprocess.run(["tmux", "-L", self.socket, *args], check=True, env=env,
                              stdout=subprocess.PIPE, timeout=10).stdout

    def screen(self):
        return self.tmux(["capture-pane", "-p", "-t", "t"]).decode("utf-8", "replace")

    def exit_status(self):
        """The program's exit status once it has ended, else None. tmux sometimes sees the pane
        dead without ever learning wine's status, so the wrapping shell writes it to a file."""
        try:
            with open(self.status_path) as f:
                text = f.read().strip()
        except FileNotFoundError:
            return None
        return int(text) if text else None

    def wait_for_end(self, limit=30.0):
        deadline = time.monotonic() + limit
        while (status := self.exit_status()) is None:
            if time.monotonic() > deadline:
                raise AssertionError(f"still running after {limit} s:\n{self.screen()}")
            time.sleep(0.1)
        return status

    def wait_for(self, text, count=1, limit=30.0):
        """The screen once it shows `text` `count` times; fails after `limit` seconds."""
        deadline = time.monotonic() + limit
        while True:
            screen = self.screen()
            if screen.count(text) >= count:
                return screen
            if time.monotonic() > deadline:
                raise AssertionError(f"{text!r} not on the screen after {limit} s:\n{screen}")
            time.sleep(0.1)

    def type(self, text):
        self.tmux(["send-keys", "-t", "t", "-l", text])

    def keys(self, *names):
        self.tmux(["send-keys", "-t", "t", *names])

    def hex(self, *codes):
        self.tmux(["send-keys", "-t", "t", "-H", *codes])

    def close(self):
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], stderr=subprocess.DEVNULL)


HOME = ("1b", "5b", "48")  # wine's console knows Home and End only in their xterm form
END = ("1b", "5b", "46")
LEFT = ("1b", "5b", "44")


def expect_line(screen, line):
    if line not in screen.splitlines():
        raise AssertionError(f"no line {line!r} on the screen:\n{screen}")


def require_tmux():
    require_windows_build()
    if shutil.which("tmux") is None:
        raise Skip("no tmux")


def start_in_tmux(scratch):
    command = ["env", "-u", "DISPLAY", "WINEDEBUG=-all", "WINEPREFIX=" + wine_env()["WINEPREFIX"],
               WINE, EXE]
    return Tmux(command, scratch.path)


def test_console_dialogue_in_a_terminal(binary):
    require_tmux()
    s = Scratch()
    t = start_in_tmux(s)
    try:
        # The first screen: the banner with its one accented letter, the notes, the question.
        screen = t.wait_for(HELP_QUESTION.decode() + "?")
        if "A flecha n\u00e3o pode ser maior que a corda" not in screen:
            raise AssertionError("banner line 9 lacks its accented letter:\n" + screen)
        t.keys("Enter")
        t.wait_for("Semi corda: c=?")
        # "1", Home, "3", End, Backspace: the line reads "3".
        t.type("1")
        t.hex(*HOME)
        t.type("3")
        t.hex(*END)
        t.keys("BSpace")
        t.keys("Enter")
        expect_line(t.wait_for("Flecha: f=?"), "  Semi corda: c=? 3")
        # A sagitta larger than twice the semi-chord is refused and both are asked again.
        t.type("7")
        t.keys("Enter")
        t.wait_for(REFUSAL.decode())
        t.wait_for("Semi corda: c=?", count=2)
        t.type("3")
        t.keys("Enter")
        t.wait_for("Flecha: f=?", count=2)
        # "x1", Left, Backspace: the line reads "1".
        t.type("x1")
        t.hex(*LEFT)
        t.keys("BSpace")
        t.keys("Enter")
        screen = t.wait_for(CONTINUE_QUESTION.decode() + "?")
        for line in ("  Flecha: f=? 1", " Resultados:", "  Raio: r= 5", "  Semi arco: a= 3.217506",
                     "  Angulo: Alfa(grau)= 36.86981"):
            expect_line(screen, line)
        t.type("n")
        t.keys("Enter")
        status = t.wait_for_end()
        if status != 0:
            raise AssertionError(f"exit status {status}")
        # The refused pair left no memo; the computed one did, in Windows-1252.
        expect_equal(s.file(MEMO_FILE), memo(" 3", " 1", " 5", " 3.217506", " 36.86981"),
                     "memo files")
    finally:
        t.close()
        s.close()


def test_ctrl_c_ends_the_program_at_once(binary):
    require_tmux()
    s = Scratch()
    t = start_in_tmux(s)
    try:
        t.wait_for(HELP_QUESTION.decode() + "?")
        t.keys("Enter")
        t.wait_for("Semi corda: c=?")
        # Ctrl+C goes only once the editor has shown the "3": then the program is surely reading
        # keys, however slowly a fresh wine prefix starts.
        t.type("3")
        t.wait_for("Semi corda: c=? 3")
        t.keys("C-c")
        # The console's default action ends the process; the dialogue takes no further step.
        t.wait_for_end(30)
        screen = t.screen()
        if "Flecha" in screen or s.file(MEMO_FILE) is not None:
            raise AssertionError("the dialogue went on after Ctrl+C:\n" + screen)
    finally:
        t.close()
        s.close()


def windows_path(path):
    """The path as wine shows a Unix file to a Windows program: drive Z:, backslashes."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine_reg(*args):
    subprocess.run([WINE, "reg", *args, "/f"], env=wine_env(), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60, check=True)


def wait_for_file(path, seconds=20):
    """The file's bytes once it exists (the opener runs on after the program), else None."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(path):
            time.sleep(0.2)  # its writer closes it at once
            with open(path, "rb") as f:
                return f.read()
        time.sleep(0.05)
    return None


def recorder_path():
    recorder = os.path.join(os.path.dirname(os.path.abspath(EXE)), "tests", "record_command.exe")
    if not os.path.exists(recorder):
        raise AssertionError(f"missing {recorder}")
    return recorder


def test_help_answer_opens_the_page_in_any_folder(binary):
    require_windows_build()
    page = os.path.join(os.path.dirname(os.path.abspath(EXE)), "ajuda-zepa4-07.html")
    recorder = recorder_path()
    # The shell opens .html files with the stand-in, which notes its command line in its
    # current folder. The program and the page sit in folders whose names the command
    # processor would expand: %ZX% holds a command, %PATH% a long text.
    wine_reg("add", "HKCR\\zepa.teste\\shell\\open\\command", "/ve", "/d",
             f'"{windows_path(recorder)}" "%1"')
    wine_reg("add", "HKCR\\.html", "/ve", "/d", "zepa.teste")
    s = Scratch()
    try:
        for name in ("D_%ZX%", "D_%PATH%"):
            folder = os.path.join(s.path, name)
            os.mkdir(folder)
            shutil.copy(EXE, folder)
            shutil.copy(page, folder)
            env = dict(wine_env(), ZX='" & mkdir x & "')
            p = subprocess.run([WINE, os.path.join(folder, "zepa4-07.exe")],
                               input=b"a\r\n3\r\n1\r\nn\r\n", cwd=s.path, env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
            expect_equal((p.returncode, p.stderr), (0, b""), name + ": exit code and errors")
            shown = windows_path(os.path.join(folder, "ajuda-zepa4-07.html"))
            expect_equal(wait_for_file(os.path.join(folder, "command.log")),
                         f'"{windows_path(recorder)}" "{shown}"\n'.encode(), name + ": command lines")
            # Nothing ran besides the opener, and the memo stayed where the program started.
            check(os.path.exists(os.path.join(s.path, MEMO_FILE)), name + ": no memo where it started")
            check(not os.path.exists(os.path.join(s.path, "x")) and
                  not os.path.exists(os.path.join(folder, "x")), name + ": a command ran")
            os.remove(os.path.join(s.path, MEMO_FILE))
    finally:
        wine_reg("add", "HKCR\\.html", "/ve", "/d", "htmlfile")
        wine_reg("delete", "HKCR\\zepa.teste")
        s.close()


def test_help_answer_without_a_page_starts_the_web_address(binary):
    require_windows_build()
    recorder = recorder_path()
    # The C library runs a command through the processor COMSPEC names; wine takes it from the
    # user's environment in the registry (not from ours). The stand-in notes its command line.
    wine_reg("add", "HKCU\\Environment", "/v", "COMSPEC", "/d", windows_path(recorder))
    s = Scratch()
    try:
        shutil.copy(EXE, s.path)  # no page beside it, no share folder above it
        p = subprocess.run([WINE, os.path.join(s.path, "zepa4-07.exe")],
                           input=b"a\r\n3\r\n1\r\nn\r\n", cwd=s.path, env=wine_env(),
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        expect_equal(p.returncode, 0, "exit codes")
        expect_equal(p.stderr, b"", "standard errors")
        expect_equal(s.file("command.log"),
                     (f"{windows_path(recorder)} /c cmd /c start "
                      "http://www.zepa.example/ajuda-zepa4-07.php \n").encode(), "command lines")
    finally:
        wine_reg("delete", "HKCU\\Environment", "/v", "COMSPEC")
        s.close()


if __name__ == "__main__":
    main([test_batch_through_a_pipe_is_identical, test_batch_from_a_file_is_identical,
          test_console_dialogue_in_a_terminal, test_ctrl_c_ends_the_program_at_once,
          test_help_answer_opens_the_page_in_any_folder,
          test_help_answer_without_a_page_starts_the_web_address])
