#!/usr/bin/env python3
"""Checks the packages in a build directory: usage check_packages.py <build-dir>.

Unpacks the newest zepa4-07_*.deb with dpkg-deb (no root, no installation), checks that the
program, the help page, the diagram, the documents and the man page are where they belong, runs
the unpacked program on one case with redirected input, and compares its output and memo bytes;
checks that its help answer opens the packaged page (through an xdg-open stub). When the
Windows zip is there too, checks its four files and the bytes of its LEIAME.txt.
Prints "N passed, M failed" and exits 0 only when every check passed.
"""
import glob
import os
import subprocess
import sys
import tempfile
import zipfile

CASE_INPUT = b"\n3\n1\nn\n"  # no help page; c = 3, f = 1; stop
# With redirected input no prompt is shown: the output ends with the one case and the stop.
EXPECTED_TAIL = (b"\r\n Dados:\r\n Resultados:\r\n  Raio: r= 5\r\n"
                 b"  Semi arco: a= 3.217506\r\n  Angulo: Alfa(grau)= 36.86981\r\n\r\n\r\n")
EXPECTED_MEMO_TAIL = (b" Dados:\r\n  Semi corda: c= 3\r\n  Flecha: f= 1\r\n Resultados:\r\n"
                      b"  Raio: r= 5\r\n  Semi arco: a= 3.217506\r\n"
                      b"  \xc2ngulo: Alfa(\xb0)= 36.86981\r\n\r\n")
INSTALLED = [
    "usr/bin/zepa4-07",
    "usr/share/zepa4-07/ajuda-zepa4-07.html",
    "usr/share/doc/zepa4-07/Esquema.png",
    "usr/share/doc/zepa4-07/README.md",
    "usr/share/doc/zepa4-07/LEIAME.md",
    "usr/share/man/man1/zepa4-07.1.gz",
]

passed = 0
failed = 0


def check(ok, what):
    global passed, failed
    if ok:
        passed += 1
    else:
        failed += 1
        print("FAILED:", what)
    return ok


def run_case(program, workdir):
    """Runs `program` in `workdir` on the one case: (exit code, output, memo bytes)."""
    os.makedirs(workdir)
    done = subprocess.run([program], input=CASE_INPUT, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, cwd=workdir, timeout=20)
    memo_path = os.path.join(workdir, "mc-zepa4-07.txt")
    memo = open(memo_path, "rb").read() if os.path.exists(memo_path) else b""
    return done.returncode, done.stdout, memo


def help_page_opened(root, tmp):
    """What the unpacked program hands xdg-open for the help answer (a stub notes it)."""
    stub_dir = os.path.join(tmp, "stub")
    os.makedirs(stub_dir)
    log = os.path.join(tmp, "opened")
    with open(os.path.join(stub_dir, "xdg-open"), "w") as f:
        f.write(f'#!/bin/sh\necho "$@" > {log}\n')
    os.chmod(os.path.join(stub_dir, "xdg-open"), 0o755)
    env = dict(os.environ, PATH=stub_dir + os.pathsep + os.environ.get("PATH", ""))
    subprocess.run([os.path.join(root, "usr/bin/zepa4-07")], input=b"a\n3\n1\nn\n", env=env,
                   cwd=tmp, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)
    return open(log).read() if os.path.exists(log) else ""


def check_windows_zip(path):
    """The zip holds the program, its help page, the diagram and an ASCII LEIAME.txt with CR LF
    line ends."""
    with zipfile.ZipFile(path) as archive:
        names = sorted(archive.namelist())
        check(names == ["Esquema.png", "LEIAME.txt", "ajuda-zepa4-07.html", "zepa4-07.exe"],
              f"zip members {names}")
        if "LEIAME.txt" not in names:
            return
        text = archive.read("LEIAME.txt")
        check(all(b < 128 for b in text), "LEIAME.txt is ASCII")
        check(text.endswith(b"\r\n") and text.count(b"\n") == text.count(b"\r\n")
              and text.count(b"\r") == text.count(b"\r\n"), "LEIAME.txt has CR LF line ends")
        if "zepa4-07.exe" in names:
            check(archive.read("zepa4-07.exe")[:2] == b"MZ", "zepa4-07.exe is a Windows program")


def main():
    build = os.path.abspath(sys.argv[1])
    debs = sorted(glob.glob(os.path.join(build, "zepa4-07_*.deb")), key=os.path.getmtime)
    if not check(debs, "a zepa4-07_*.deb in " + build):
        print(f"{passed} passed, {failed} failed")
        return 1
    deb = debs[-1]
    with tempfile.TemporaryDirectory() as tmp:
        fields = subprocess.run(["dpkg-deb", "--field", deb, "Package", "Architecture"],
                                stdout=subprocess.PIPE, check=True).stdout.decode()
        check("Package: zepa4-07" in fields, "package name in " + fields)
        root = os.path.join(tmp, "root")
        check(subprocess.run(["dpkg-deb", "-x", deb, root]).returncode == 0, "dpkg-deb -x")
        for path in INSTALLED:
            check(os.path.isfile(os.path.join(root, path)), "installed " + path)

        code, out, memo = run_case(os.path.join(root, "usr/bin/zepa4-07"),
                                   os.path.join(tmp, "run-deb"))
        check(code == 0, f"exit code {code}")
        check(out.endswith(EXPECTED_TAIL), "output ends with the case:\n" + repr(out[-200:]))
        check(memo.count(b"\r\n") == 21 and memo.endswith(EXPECTED_MEMO_TAIL),
              "one 21-line memo:\n" + repr(memo[-200:]))

        check(help_page_opened(root, tmp) == "file://" + os.path.join(
            root, "usr/share/zepa4-07/ajuda-zepa4-07.html") + "\n", "the help answer opens the page")

        # The packaged program is the build's own, stripped: same bytes out.
        built = os.path.join(build, "zepa4-07")
        if os.path.exists(built):
            _, built_out, built_memo = run_case(built, os.path.join(tmp, "run-build"))
            check(out == built_out and memo == built_memo, "same output as " + built)

    zips = glob.glob(os.path.join(build, "zepa4-07-*-win64.zip"))
    if zips:
        check_windows_zip(max(zips, key=os.path.getmtime))
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
