"""The one support module of the end-to-end tests: the program's fixed texts, one wait with a
deadline, scratch folders and processes as context managers, a tmux pane and a pty that drive
the program in a terminal, tables of cases, and the little runner each test file ends with.

A test is a function test_NAME(binary) of a file test_*.py, at column 0 (the build registers
each as the ctest test e2e_FILE.NAME); the file ends with `main(globals())`.
"""

import atexit
import contextlib
import fcntl
import os
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import termios
import time
import traceback

# ---------------------------------------------------------------- the program's fixed texts

CRLF = b"\r\n"
MEMO_FILE = "mc-zepa4-07.txt"
BANNER = [line.encode("cp1252") for line in ["*" * 74] + ["* " + text.ljust(71) + "*" for text in [
    "Programa ZEPA4-07", "Programa de Zepa No1", "Calculo de Setor Circular",
    "Versao: 1 de calculo de raio, arco e angulo, dada a corda e a flecha",
    "Revisao: 0 de 11/5/2015", "", "Unidades: Quaisquer coerentes ou indicadas",
    "Restricoes: A flecha n\u00e3o pode ser maior que a corda", "www.zepa.example",
    "Marta Zepa Lins", "Engenheira Civil, Mestre em Calculo Estrutural",
    "contato@zepa.example"]] + ["*" * 74]]
NOTES = [b" Obs:", b" 1)Tecle Ctrl+C para fechar o programa a qualquer tempo.",
         b" 2)Clique no icone do lado esquerdo da barra superior do console",
         b"   para configurar a fonte, o tamanho e as cores da tela.",
         b" 3)Abra o arquivo Esquema.png para visualizar o setor circular e as",
         b"   notacoes, ou tecle A ou a na proxima pergunta do programa para abrir",
         b"   a pagina de ajuna na web."]
HELP_QUESTION = b" Tecle A ou a para ir a pagina de ajuda ou qualquer para continuar"
CONTINUE_QUESTION = b" Informe se para (qualquer caractere) ou continua calculando (C ou c):"
REFUSAL = b" f nao pode ser maior que 2c, informe outro valor"
MEMO_WARNING = b" Aviso: o memorial deste caso nao foi gravado em mc-zepa4-07.txt"
DECIMAL_COMMA = b" Aviso: use ponto decimal: 2.5, nao 2,5"
HELP_NOT_OPENED = b" Aviso: nao foi possivel abrir a pagina de ajuda; ela esta em "
OUTPUT_WARNING = b"zepa4-07: a saida padrao nao aceitou os dados"


def lines(*items):
    """The items as the program prints lines: each followed by CR LF."""
    return b"".join(item + CRLF for item in items)


def results(r, a, alfa):
    """The results block of a case, from the three number texts (bytes with their lead blank)."""
    return lines(b" Resultados:", b"  Raio: r=" + r, b"  Semi arco: a=" + a,
                 b"  Angulo: Alfa(grau)=" + alfa)


def memo(c, f, r, a, alfa):
    """The 21-line memo of one case, from the number texts (str with their lead blank)."""
    texts = [
        " Programa ZEPA4-07", " Programa de Zepa N\u00b01", " C\u00e1lculo de Setor Circular",
        " Vers\u00e3o 1 de c\u00e1lculo do raio, do semi arco e do \u00e2ngulo Alfa, dada a semi"
        " corda e a flecha", " Revis\u00e3o 0 de 11/5/2015",
        " Unidades: Quaisquer coerentes ou indicadas",
        " Restri\u00e7\u00f5es: A flecha n\u00e3o pode ser maior que a corda", " www.zepa.example",
        " Marta Zepa Lins", " Engenheira Civil, Mestre em C\u00e1lculo Estrutural",
        " contato@zepa.example", " Caso:", " Data:", " Dados:", "  Semi corda: c=" + c,
        "  Flecha: f=" + f, " Resultados:", "  Raio: r=" + r, "  Semi arco: a=" + a,
        "  \u00c2ngulo: Alfa(\u00b0)=" + alfa, ""]
    return lines(*(text.encode("cp1252") for text in texts))


FIRST_SCREEN = lines(*BANNER, b"", *NOTES, b"")
THREE_ONE = results(b" 5", b" 3.217506", b" 36.86981")  # c = 3, f = 1
ONE_CASE = FIRST_SCREEN + lines(b"", b" Dados:") + THREE_ONE  # its batch output, to the stop
ONE_MEMO = memo(" 3", " 1", " 5", " 3.217506", " 36.86981")
BYE = lines(b"", b"")  # what follows the last results when the answer stops the program

# The same texts as a terminal shows them (str; the prompts with the blank after "? ").
SCREEN_FIRST = [b.decode("cp1252") for b in [*BANNER, b"", *NOTES, b""]]
HELP_PROMPT = HELP_QUESTION.decode() + "? "
C_PROMPT = "  Semi corda: c=? "
F_PROMPT = "  Flecha: f=? "
CONTINUE_PROMPT = CONTINUE_QUESTION.decode() + "? "
RESULT_ROWS = ["  Raio: r= 5", "  Semi arco: a= 3.217506", "  Angulo: Alfa(grau)= 36.86981"]

# ---------------------------------------------------------------- checks and waits

WAIT_LIMIT = 10.0  # seconds for anything expected; every wait ends as soon as it comes


class Skip(Exception):
    """Raised by a test that cannot run here (a tool missing, a checker in the way): the test
    is reported skipped, never passed."""


def check(condition, message=""):
    """Fails with `message` unless `condition` holds."""
    if not condition:
        raise AssertionError(message)


def expect_equal(actual, expected):
    """Fails, showing both, unless they are equal."""
    if actual != expected:
        raise AssertionError(f"\nexpected {expected!r}\nactual   {actual!r}")


def wait_until(what, condition, limit=None, explain=None):
    """Calls condition() until it returns a true value, and returns that value; fails after
    `limit` seconds (WAIT_LIMIT) with "no WHAT", followed by explain() (what was there instead)
    when given."""
    limit = limit or WAIT_LIMIT
    deadline = time.monotonic() + limit
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"no {what} within {limit} s" +
                                 (":\n" + explain() if explain else ""))
        time.sleep(0.02)


def process_state(pid):
    """The process's state letter (R, S, T, Z ...), or None when it has gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0]
    except OSError:
        return None


def wait_gone(pid, limit=1.0):
    """Waits until the process has ended (reaped or not)."""
    wait_until(f"end of process {pid}", lambda: process_state(pid) in (None, "Z"), limit)


def under_checker(binary):
    """Whether the program runs under a checker, whose own memory, time and signals are not the
    program's: a wrapper script (valgrind's) or a build with AddressSanitizer."""
    with open(binary, "rb") as f:
        content = f.read()
    return not content.startswith(b"\x7fELF") or b"__asan_init" in content


# ---------------------------------------------------------------- folders and processes

class Scratch(contextlib.AbstractContextManager):
    """A scratch folder, removed when its `with` block ends."""

    def __init__(self):
        self.path = tempfile.mkdtemp(prefix="zepa-e2e-")

    def __exit__(self, *exception):
        shutil.rmtree(self.path, ignore_errors=True)

    def join(self, *names):
        return os.path.join(self.path, *names)

    def file(self, name):
        """The bytes of a file in the folder, or None when there is none."""
        try:
            with open(self.join(name), "rb") as f:
                return f.read()
        except FileNotFoundError:
            return None

    def write(self, name, data, executable=False):
        """Writes a file (text or bytes), with its folder; returns its path."""
        path = self.join(name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data.encode() if isinstance(data, str) else data)
        if executable:
            os.chmod(path, 0o755)
        return path


def run(binary, stdin_bytes, cwd, args=(), timeout=60, **options):
    """The program run to its end with the given standard input; output and errors captured
    unless `options` say otherwise (stdout=..., env=..., preexec_fn=...)."""
    options.setdefault("stdout", subprocess.PIPE)
    options.setdefault("stderr", subprocess.PIPE)
    return subprocess.run([binary, *args], input=stdin_bytes, cwd=cwd, timeout=timeout, **options)


@contextlib.contextmanager
def started(*commands, **options):
    """Starts each command (a list) as a process, all with the same Popen options, and yields
    the list of them. On leaving, every one still running is killed, its pipes closed and every
    one reaped."""
    processes = []
    try:
        for command in commands:
            processes.append(subprocess.Popen(command, **options))
        yield processes
    finally:
        for process in processes:
            if process.poll() is None:
                process.kill()
            for stream in filter(None, (process.stdin, process.stdout, process.stderr)):
                with contextlib.suppress(OSError):
                    stream.close()
            process.wait()


# ---------------------------------------------------------------- the program in tmux

# After the program: its status, the terminal's modes, then a raw read of three bytes, so that
# a paste shows whether the program left the terminal marking pastes (see paste_marks_off).
PASTE_CHECK = ('stty raw -echo; echo ready > paste.ready; head -c 3 > paste.read; '
               'stty "$(cat stty.before)"')
WRAPPER = """trap 'true' INT TERM HUP
stty -g > stty.before
{program}
echo $? > status
stty -g > stty.after
""" + PASTE_CHECK


class Pane(contextlib.AbstractContextManager):
    """The program in a tmux pane, `size` (columns, rows), of a tmux server of its own, in a
    scratch folder (self.scratch). `start` says how the program is started:
      "wrapper"  by a shell that notes the terminal's modes before and after it (stty.before,
                 stty.after) and its exit status (status), and outlives Ctrl+C, TERM and HUP;
      "direct"   as the pane's own process, which the pane's end hangs up;
      "shell"    typed at an interactive bash with job control (prompt "READY>", its own
                 paste marks off), after `stty -g > stty.before`;
      or the text of a wrapper of its own, in which {program} stands for the program.
    `before` is shell text run before the program in the same shell, `redirect` follows the
    program's name, `env` holds NAME=VALUE settings for the program (LANG=C.UTF-8 and an empty
    LC_ALL come first), `program` the command instead of the quoted binary."""

    def __init__(self, binary, start="wrapper", size=(80, 25), env=(), before="",
                 redirect="", program=None):
        if shutil.which("tmux") is None or shutil.which("bash") is None:
            raise Skip("no tmux or bash")
        with open(binary, "rb") as f:
            if f.read(4) != b"\x7fELF":
                raise Skip("the program runs behind a wrapper: keys and signals must reach it")
        self.binary, self.start, (self.width, self.height) = binary, start, size
        self.scratch = Scratch()
        self.socket = self.scratch.join("tmux.sock")
        command = " ".join(["env LANG=C.UTF-8 LC_ALL=", *env, program or f"'{binary}'", redirect])
        if start == "direct":
            pane_command = f"{before} exec {command}"
        elif start == "shell":
            self.scratch.write("inputrc", "set enable-bracketed-paste off\n")
            pane_command = "PS1='READY> ' INPUTRC=inputrc exec bash --norc --noprofile -i"
        else:
            wrapper = WRAPPER if start == "wrapper" else start
            self.scratch.write("wrapper.sh", wrapper.format(program=f"{before} {command}"))
            pane_command = "exec sh wrapper.sh"
        self.tmux("new-session", "-d", "-s", "zepa", "-x", str(self.width), "-y",
                  str(self.height), "-c", self.scratch.path, pane_command)
        if start == "shell":
            self.answer("READY>", f"stty -g > stty.before; {before} {command}")

    def __exit__(self, *exception):
        self.tmux("kill-server")
        self.scratch.__exit__()

    def tmux(self, *args):
        """Runs a tmux command on this pane's server (UTF-8, outside any tmux of ours, with no
        display for a program to open windows on)."""
        env = {k: v for k, v in os.environ.items() if k not in ("TMUX", "DISPLAY")}
        return subprocess.run(["tmux", "-S", self.socket, "-f", "/dev/null", *args],
                              env=dict(env, LC_ALL="C.UTF-8"), capture_output=True, timeout=30)

    def keys(self, *names):
        """Sends keys by their tmux names (Enter, BSpace, C-c, M-a ...)."""
        self.tmux("send-keys", "-t", "zepa", *names)

    def type(self, text):
        """Types the text, one key per character (a leading "-" too)."""
        self.tmux("send-keys", "-t", "zepa", "-l", "--", text)

    def paste(self, data, *flags):
        """Pastes the text or bytes as the terminal would ("-p": marked if the program asked
        for marks; "-r": line ends left as they are)."""
        self.tmux("load-buffer", self.scratch.write("paste", data))
        self.tmux("paste-buffer", "-t", "zepa", *flags)

    def resize(self, width, height):
        """Resizes the window, and waits until the terminal device has the new size: tmux shows
        it at once but may tell the device (and so send SIGWINCH) a little later, and keys sent
        before that would reach the program while it still has the old size."""
        self.width, self.height = width, height
        self.tmux("resize-window", "-t", "zepa", "-x", str(width), "-y", str(height))
        tty = self.tmux("display-message", "-p", "-t", "zepa", "#{pane_tty}").stdout.strip()
        fd = os.open(tty, os.O_RDONLY | os.O_NOCTTY)
        try:
            wait_until(f"terminal of {width}x{height}", lambda: struct.unpack(
                "HHHH", fcntl.ioctl(fd, termios.TIOCGWINSZ, bytes(8)))[:2] == (height, width))
        finally:
            os.close(fd)

    def screen(self):
        """The window's rows, without their trailing blanks."""
        return self.tmux("capture-pane", "-p", "-t", "zepa").stdout.decode().split("\n")[:-1]

    def history(self):
        """The rows that have scrolled off the top of the window into tmux's history, oldest
        first, without their trailing blanks."""
        size = int(self.tmux("display-message", "-p", "-t", "zepa", "#{history_size}").stdout)
        if size == 0:
            return []
        return self.tmux("capture-pane", "-p", "-t", "zepa", "-S", str(-size), "-E",
                         "-1").stdout.decode().split("\n")[:-1]

    def cursor(self):
        """(column, row, visible) of the terminal's cursor."""
        out = self.tmux("display-message", "-p", "-t", "zepa",
                        "#{cursor_x} #{cursor_y} #{cursor_flag}").stdout.split()
        return int(out[0]), int(out[1]), out[2] == b"1"

    def wait_for(self, what, condition):
        """Waits until condition(screen) holds, and returns that screen."""
        seen = []

        def holds():
            seen[:] = self.screen()
            return condition(seen)
        wait_until(what, holds, explain=lambda: "\n".join(seen))
        return seen

    def wait_for_line(self, line):
        """Waits until a row of the window is `line` (trailing blanks aside)."""
        return self.wait_for(repr(line), lambda screen: line.rstrip() in screen)

    def wait_for_last_line(self, line):
        """Waits until `line` is the last row that is not blank (the one being edited)."""
        def last(screen):
            filled = [row for row in screen if row.strip()]
            return bool(filled) and filled[-1] == line.rstrip()
        return self.wait_for(repr(line) + " last", last)

    def answer(self, prompt, reply):
        """Waits for `prompt` on the last line, types `reply` and presses Enter."""
        self.wait_for_last_line(prompt)
        self.type(reply)
        self.keys("Enter")

    def wait_for_file(self, name):
        """The text of a file of the scratch folder once it has some, stripped."""
        path = self.scratch.join(name)
        wait_until(name, lambda: os.path.exists(path) and os.path.getsize(path) > 0,
                   explain=lambda: "\n".join(self.screen()))
        return self.scratch.file(name).decode().strip()

    def finish(self, c="3", f="1"):
        """Ends the case and the program: `c` typed at the semi-chord's prompt (None: its line
        is typed already, Enter ends it), `f` at the sagitta's, "n" at the continue question;
        then expect_ended(0). Returns the screen at the continue question."""
        if c is None:
            self.keys("Enter")
        else:
            self.answer(C_PROMPT, c)
        self.answer(F_PROMPT, f)
        # The question may wrap in a narrow window: its text ends the screen's, blanks aside.
        question = CONTINUE_PROMPT.replace(" ", "")
        screen = self.wait_for("the continue question",
                               lambda s: "".join(s).replace(" ", "").endswith(question))
        self.type("n")
        self.keys("Enter")
        self.expect_ended(0)
        return screen

    def expect_ended(self, status):
        """The program's exit status (noted by the wrapper or, at the shell, by an echo), and
        the terminal's modes as they were before it."""
        if self.start == "shell":
            self.answer("READY>", "echo $? > status; stty -g > stty.after")
        expect_equal(self.wait_for_file("status"), str(status))
        expect_equal(self.wait_for_file("stty.after"), self.wait_for_file("stty.before"))

    def paste_marks_off(self):
        """Whether, with the terminal handed back (the program ended under the wrapper, or
        stopped at the shell), a paste that is marked only if some program asked for marks
        arrives as its three plain bytes."""
        if self.start == "shell":
            for name in ("paste.ready", "paste.read"):
                with contextlib.suppress(FileNotFoundError):
                    os.remove(self.scratch.join(name))
            self.answer("READY>", PASTE_CHECK)
        self.wait_for_file("paste.ready")
        self.paste("abc", "-p")
        return self.wait_for_file("paste.read") == "abc"

    def pid(self):
        """The process id of the program running in this pane's folder."""
        def ours(entry):
            with contextlib.suppress(OSError):
                return (os.readlink(f"/proc/{entry}/exe"), os.readlink(f"/proc/{entry}/cwd")) == (
                    os.path.realpath(self.binary), os.path.realpath(self.scratch.path))
        return wait_until("program running", lambda: next(
            (int(entry) for entry in filter(str.isdigit, os.listdir("/proc")) if ours(entry)), 0))


def expect_results(screen, rows=RESULT_ROWS):
    """The results stand in the four rows that end one above the continue question."""
    at = max(i for i, row in enumerate(screen) if row == CONTINUE_PROMPT.rstrip())
    expect_equal(screen[at - 5:at - 1], [" Resultados:", *rows])


# ---------------------------------------------------------------- the program on a pty

class Pty(contextlib.AbstractContextManager):
    """The program on a pseudo-terminal of our own, `size` (columns, rows), with standard
    error on it, and standard input and output on it unless given (files). `non_blocking`
    opens the program's side non-blocking; `before` is a command that runs the program (its
    path follows it: strace and its options, say). Every byte the program writes there is kept
    in self.seen (up to what wait_for has taken)."""

    def __init__(self, binary, cwd, env, size=(80, 25), stdin=None, stdout=None,
                 non_blocking=False, preexec_fn=None, before=()):
        self.master, slave = os.openpty()
        self.name = os.ttyname(slave)
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", size[1], size[0], 0, 0))
        if non_blocking:
            os.close(slave)
            slave = os.open(self.name, os.O_RDWR | os.O_NONBLOCK | os.O_NOCTTY)
        self.process = subprocess.Popen(
            [*before, binary], stdin=stdin or slave, stdout=stdout or slave, stderr=slave, cwd=cwd,
            env=env, start_new_session=True, preexec_fn=preexec_fn)
        os.close(slave)
        self.seen = b""

    def __exit__(self, *exception):
        with contextlib.suppress(OSError):
            os.close(self.master)
        if self.process.returncode is None:
            self.process.kill()
            self.process.wait()

    def read(self, timeout=0.05):
        """Keeps what the program wrote, waiting up to `timeout` for it; False once the
        terminal has closed."""
        if select.select([self.master], [], [], timeout)[0]:
            try:
                data = os.read(self.master, 1 << 16)
            except OSError:  # EIO: every descriptor of the program's side is closed
                return False
            self.seen += data
            return bool(data)
        return True

    def wait_for(self, text, limit=None):
        """Waits until the program has written `text`; takes what came up to its end."""
        wait_until(repr(text), lambda: text in self.seen or (self.read() and text in self.seen),
                   limit, explain=lambda: repr(self.seen[-300:]))
        self.seen = self.seen[self.seen.index(text) + len(text):]

    def answer(self, prompt, keys):
        """Waits for `prompt`, then types the keys (bytes)."""
        self.wait_for(prompt)
        os.write(self.master, keys)

    def end(self, limit=None):
        """Reads until the program has ended; returns its exit status and resource usage."""
        pid = self.process.pid

        def ended():
            self.read()
            return os.waitid(os.P_PID, pid, os.WEXITED | os.WNOHANG | os.WNOWAIT) is not None
        wait_until("end of the program", ended, limit, explain=lambda: repr(self.seen[-300:]))
        while select.select([self.master], [], [], 0)[0] and self.read(0):
            pass
        _, status, usage = os.wait4(pid, 0)
        self.process.returncode = os.waitstatus_to_exitcode(status)
        return self.process.returncode, usage


# ---------------------------------------------------------------- faults of the C library

FAULTS_SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "faults.c")
_faults = {}


def with_faults(binary, env=None, **faults):
    """The environment (`env`, else ours) in which the program runs with faults.c in front of
    its C library (LD_PRELOAD), each fault named as faults.c names it without ZEPA_FAULT_
    (memo_write=600). The library is compiled once per script run; a test that cannot have it
    (no C compiler, a program linked without the shared C library or run under a checker,
    whose own library must come first) is skipped."""
    if "path" not in _faults:
        compiler = shutil.which("cc") or shutil.which("gcc")
        with open(binary, "rb") as f:
            content = f.read()
        if under_checker(binary) or b"ld-linux" not in content:
            raise Skip("the C library cannot be put behind faults.c for this program")
        if compiler is None:
            raise Skip("no C compiler for faults.c")
        folder = tempfile.mkdtemp(prefix="zepa-faults-")
        atexit.register(shutil.rmtree, folder, True)
        path = os.path.join(folder, "faults.so")
        subprocess.run([compiler, "-shared", "-fPIC", "-O2", "-o", path, FAULTS_SOURCE, "-ldl"],
                       check=True)
        _faults["path"] = path
    settings = {f"ZEPA_FAULT_{name.upper()}": str(value) for name, value in faults.items()}
    return dict(env or os.environ, LD_PRELOAD=_faults["path"], **settings)


# ---------------------------------------------------------------- tables and the runner

SKIPPED = 77  # the exit status of a run whose tests were all skipped (ctest's SKIP_RETURN_CODE)


def table(*rows):
    """Runs the decorated test(binary, *row) once for each row (a row that is not a tuple is
    its one argument), in order. A failure ends the test, noted with its row; a row that
    raises Skip lets the others run, and the test is then reported skipped, with the reason."""
    def decorate(test):
        def run_rows(binary):
            skipped = {}
            for row in rows:
                try:
                    test(binary, *(row if isinstance(row, tuple) else (row,)))
                except Skip as reason:
                    skipped[str(reason)] = skipped.get(str(reason), 0) + 1
                except Exception as fault:
                    fault.add_note(f"in row {row!r:.300}")
                    raise
            if skipped:
                raise Skip("; ".join(f"{reason} ({n} of {len(rows)} rows)"
                                     for reason, n in skipped.items()))
        run_rows.__name__ = test.__name__
        return run_rows
    return decorate


def main(tests):
    """Usage: test_FILE.py BINARY [TEST...]. Runs the named tests (all when none is named) of
    `tests`, a module's globals() (its test_ functions, in order), with the program's path.
    Prints "ok NAME", "skip NAME: reason" or "FAIL NAME" and its traceback for each, then
    "N passed, M failed, K skipped". Exits 1 when a test failed or a name is unknown, SKIPPED
    when every test that ran was skipped, else 0."""
    binary = os.path.abspath(sys.argv[1])
    by_name = {name: test for name, test in tests.items() if name.startswith("test_")}
    unknown = [name for name in sys.argv[2:] if name not in by_name]
    if unknown:
        print("no such test:", " ".join(unknown))
        sys.exit(1)
    passed = failed = skipped = 0
    for name in sys.argv[2:] or by_name:
        try:
            by_name[name](binary)
            passed += 1
            print(f"ok   {name}")
        except Skip as reason:
            skipped += 1
            print(f"skip {name}: {reason}")
        except Exception:  # noqa: BLE001 - every failure is reported, then the next test runs
            failed += 1
            print(f"FAIL {name}")
            traceback.print_exc()
        sys.stdout.flush()
    print(f"{passed} passed, {failed} failed, {skipped} skipped")
    sys.exit(1 if failed else SKIPPED if passed == 0 else 0)
