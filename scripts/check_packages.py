#!/usr/bin/env python3
"""Checks the packages in a build directory: usage check_packages.py <build-dir>.

Unpacks the newest zepa4-07_*.deb with dpkg-deb (no root, no installation), checks that the
program, the help page, the diagram, the documents, the copyright, the changelog and the man
page are where they belong and that the documents' links lead to installed files, runs the
unpacked program on one case with redirected input, and compares its output and memo bytes;
checks that its help answer opens the packaged page (through an xdg-open stub). With lintian
installed, the package must draw no tag from `lintian --pedantic`, informational ones included.
When the Windows zip is there too, checks its files and texts, and with wine (ZEPA_WINE or
wine64 on the path) runs its program on the same case.
Prints "N passed, M failed" and exits 0 only when every check passed.
"""
import glob
import gzip
import os
import re
import shutil
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
    "usr/share/doc/zepa4-07/reference.md",
    "usr/share/doc/zepa4-07/referencia.md",
    "usr/share/man/man1/zepa4-07.1.gz",
    "usr/share/man/pt_BR/man1/zepa4-07.1.gz",
    "usr/share/doc/zepa4-07/copyright",
    "usr/share/doc/zepa4-07/changelog.gz",
]
DOC_DIR = "usr/share/doc/zepa4-07"
ZIP_MEMBERS = [
    "Esquema.png", "LEIAME.txt", "LICENSE.txt", "ajuda-zepa4-07.html", "zepa4-07.exe"]
ZIP_TEXTS = ["LEIAME.txt", "LICENSE.txt"]

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


def run_case(command, workdir, env=None, timeout=20):
    """Runs `command` in `workdir` on the one case: (exit code, output, memo bytes)."""
    os.makedirs(workdir)
    done = subprocess.run(command, input=CASE_INPUT, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, cwd=workdir, env=env, timeout=timeout)
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


def check_links(root):
    """Every relative link of the installed documents leads to an installed file."""
    for name in ("README.md", "LEIAME.md", "reference.md", "referencia.md"):
        path = os.path.join(root, DOC_DIR, name)
        if not os.path.isfile(path):
            continue
        with open(path, encoding="utf-8") as f:
            targets = re.findall(r"\]\(([^)#\s]+)\)", f.read())
        for target in targets:
            if "://" in target or target.startswith("mailto:"):
                continue
            check(os.path.isfile(os.path.join(root, DOC_DIR, target)),
                  f"{name} links to {target}, which is not installed")


def check_man_page(root):
    """Each man page (English, Brazilian Portuguese) names the diagram where the package puts
    it."""
    for man in ("man1", "pt_BR/man1"):
        path = os.path.join(root, "usr/share/man", man, "zepa4-07.1.gz")
        if os.path.isfile(path):
            page = gzip.decompress(open(path, "rb").read()).decode()
            check("/usr/share/doc/zepa4\\-07/Esquema.png" in page,
                  f"{man} page names the diagram's path")
            check(not re.search(r"@[A-Z_]+@", page), f"{man} page has no unreplaced @NAME@")


def check_lintian(deb):
    """No lintian tag at all at --pedantic, informational ones included."""
    if shutil.which("lintian") is None:
        print("lintian is not installed: package not linted")
        return
    done = subprocess.run(["lintian", "--pedantic", "--info", "--display-experimental", deb],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    tags = done.stdout.decode(errors="replace").strip()
    check(done.returncode == 0 and not tags, "lintian:\n" + tags)


def pe_symbol_count(exe):
    """The COFF header's NumberOfSymbols of a PE program; strip leaves none."""
    header = int.from_bytes(exe[0x3C:0x40], "little")
    if exe[header:header + 4] != b"PE\0\0":
        return None
    return int.from_bytes(exe[header + 16:header + 20], "little")


def find_wine():
    for wine in (os.environ.get("ZEPA_WINE"), "/usr/lib/wine/wine64", shutil.which("wine64")):
        if wine and os.path.exists(wine):
            return wine
    return None


def check_windows_zip(path, tmp):
    """The zip holds the program, the diagram and ASCII texts with CR LF line ends; under wine
    its program computes the one case as the Debian package's does."""
    with zipfile.ZipFile(path) as archive:
        names = sorted(archive.namelist())
        check(names == ZIP_MEMBERS, f"zip members {names}")
        for name in ZIP_TEXTS:
            if name not in names:
                continue
            text = archive.read(name)
            check(all(b < 128 for b in text), name + " is ASCII")
            check(text.endswith(b"\r\n") and text.count(b"\n") == text.count(b"\r\n")
                  and text.count(b"\r") == text.count(b"\r\n"), name + " has CR LF line ends")
        if "zepa4-07.exe" not in names:
            return
        exe = archive.read("zepa4-07.exe")
        check(exe[:2] == b"MZ", "zepa4-07.exe is a Windows program")
        unpacked = os.path.join(tmp, "zip")
        archive.extractall(unpacked)
    check(pe_symbol_count(exe) == 0, "zepa4-07.exe is stripped (no COFF symbols)")
    exe_path = os.path.join(unpacked, "zepa4-07.exe")
    wine = find_wine()
    if wine is None:
        print("wine is not installed: the zip's program not run")
        return
    env = dict(os.environ, WINEDEBUG="-all",
               WINEPREFIX=os.environ.get("WINEPREFIX", os.path.join(tmp, "wine")))
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    code, out, memo = run_case([wine, exe_path], os.path.join(tmp, "run-zip"), env=env,
                               timeout=120)
    check(code == 0, f"zip's program: exit code {code}")
    check(out.endswith(EXPECTED_TAIL), "zip's program: output ends with the case:\n"
          + repr(out[-200:]))
    check(memo.count(b"\r\n") == 21 and memo.endswith(EXPECTED_MEMO_TAIL),
          "zip's program: one 21-line memo:\n" + repr(memo[-200:]))


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
        check_links(root)
        check_man_page(root)
        check_lintian(deb)

        code, out, memo = run_case([os.path.join(root, "usr/bin/zepa4-07")],
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
            _, built_out, built_memo = run_case([built], os.path.join(tmp, "run-build"))
            check(out == built_out and memo == built_memo, "same output as " + built)

        zips = glob.glob(os.path.join(build, "zepa4-07-*-win64.zip"))
        if zips:
            check_windows_zip(max(zips, key=os.path.getmtime), tmp)
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
