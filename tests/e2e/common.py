"""Shared pieces of the end-to-end tests: the program's fixed texts and a tiny test runner."""

import os
import shutil
import subprocess
import sys
import tempfile
import traceback

CRLF = b"\r\n"


def banner():
    texts = [
        "Programa ZEPA4-07",
        "Programa de Zepa No1",
        "Calculo de Setor Circular",
        "Versao: 1 de calculo de raio, arco e angulo, dada a corda e a flecha",
        "Revisao: 0 de 11/5/2015",
        "",
        "Unidades: Quaisquer coerentes ou indicadas",
        "Restricoes: A flecha n\u00e3o pode ser maior que a corda",
        "www.zepa.example",
        "Marta Zepa Lins",
        "Engenheira Civil, Mestre em Calculo Estrutural",
        "contato@zepa.example",
    ]
    lines = ["*" * 74] + ["* " + t.ljust(71) + "*" for t in texts] + ["*" * 74]
    return [line.encode("cp1252") for line in lines]


NOTES = [
    b" Obs:",
    b" 1)Tecle Ctrl+C para fechar o programa a qualquer tempo.",
    b" 2)Clique no icone do lado esquerdo da barra superior do console",
    b"   para configurar a fonte, o tamanho e as cores da tela.",
    b" 3)Abra o arquivo Esquema.png para visualizar o setor circular e as",
    b"   notacoes, ou tecle A ou a na proxima pergunta do programa para abrir",
    b"   a pagina de ajuna na web.",
]

HELP_QUESTION = b" Tecle A ou a para ir a pagina de ajuda ou qualquer para continuar"
CONTINUE_QUESTION = b" Informe se para (qualquer caractere) ou continua calculando (C ou c):"
REFUSAL = b" f nao pode ser maior que 2c, informe outro valor"
MEMO_WARNING = b" Aviso: o memorial deste caso nao foi gravado em mc-zepa4-07.txt"
MEMO_FILE = "mc-zepa4-07.txt"
HELP_NOT_OPENED = b" Aviso: nao foi possivel abrir a pagina de ajuda; ela esta em "


def lines(*items):
    return b"".join(item + CRLF for item in items)


def first_screen():
    return lines(*banner(), b"", *NOTES, b"")


def results(r, a, alfa):
    return lines(b" Resultados:", b"  Raio: r=" + r, b"  Semi arco: a=" + a,
                 b"  Angulo: Alfa(grau)=" + alfa)


def memo(c, f, r, a, alfa):
    header = [
        " Programa ZEPA4-07",
        " Programa de Zepa N\u00b01",
        " C\u00e1lculo de Setor Circular",
        " Vers\u00e3o 1 de c\u00e1lculo do raio, do semi arco e do \u00e2ngulo Alfa, dada a semi"
        " corda e a flecha",
        " Revis\u00e3o 0 de 11/5/2015",
        " Unidades: Quaisquer coerentes ou indicadas",
        " Restri\u00e7\u00f5es: A flecha n\u00e3o pode ser maior que a corda",
        " www.zepa.example",
        " Marta Zepa Lins",
        " Engenheira Civil, Mestre em C\u00e1lculo Estrutural",
        " contato@zepa.example",
        " Caso:",
        " Data:",
        " Dados:",
    ]
    tail = [
        "  Semi corda: c=" + c,
        "  Flecha: f=" + f,
        " Resultados:",
        "  Raio: r=" + r,
        "  Semi arco: a=" + a,
        "  \u00c2ngulo: Alfa(\u00b0)=" + alfa,
        "",
    ]
    return b"".join(line.encode("cp1252") + CRLF for line in header + tail)



def check(condition, message=""):
    if not condition:
        raise AssertionError(message)


def expect_equal(actual, expected):
    if actual != expected:
        raise AssertionError(f"\nexpected {expected!r}\nactual   {actual!r}")


class Scratch:
    """A scratch directory to run the program in."""

    def __init__(self):
        self.path = tempfile.mkdtemp(prefix="zepa-e2e-")

    def file(self, name):
        path = os.path.join(self.path, name)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def close(self):
        shutil.rmtree(self.path, ignore_errors=True)


def run(binary, stdin_bytes, cwd, env=None, stdout=None, args=(), timeout=30):
    return subprocess.run([binary, *args], input=stdin_bytes, cwd=cwd, env=env,
                          stdout=stdout if stdout is not None else subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=timeout)


# The exit status of a run whose tests were all skipped; ctest's SKIP_RETURN_CODE.
SKIPPED = 77


class Skip(Exception):
    """Raised by a test that cannot run here (a tool missing, a checker in the way): the test
    is reported skipped, never passed."""


def main(tests):
    """Usage: script.py BINARY [TEST...]. Runs the named tests (all when none is named) with the
    binary's path and prints 'N passed, M failed, K skipped'. Exits 1 when a test failed or a
    name is unknown, SKIPPED when every test that ran was skipped, else 0."""
    binary = os.path.abspath(sys.argv[1])
    by_name = {test.__name__: test for test in tests}
    unknown = [name for name in sys.argv[2:] if name not in by_name]
    if unknown:
        print("no such test:", " ".join(unknown))
        sys.exit(1)
    selected = [by_name[name] for name in sys.argv[2:]] or tests
    passed = failed = skipped = 0
    for test in selected:
        try:
            test(binary)
            passed += 1
            print(f"ok   {test.__name__}")
        except Skip as reason:
            skipped += 1
            print(f"skip {test.__name__}: {reason}")
        except Exception:  # noqa: BLE001 - every failure is reported, then the next test runs
            failed += 1
            print(f"FAIL {test.__name__}")
            traceback.print_exc()
    print(f"{passed} passed, {failed} failed, {skipped} skipped")
    sys.exit(1 if failed else SKIPPED if passed == 0 else 0)
