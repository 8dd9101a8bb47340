#!/usr/bin/env python3
"""Breaks the program on purpose, one fault at a time, and runs the tests that must catch it:
`make mutants`.

Usage: tests/mutants/run.py [NAME-PART ...]

Each mutant of mutants.toml (only those whose name holds one of the given parts, when any are
given) is applied to a scratch copy of the tree (build-mutants/tree, refreshed from the work
tree first), which is rebuilt; then its tests run: a ctest regular expression against the
native build, or, for the Windows program, the Windows build's unit tests and named tests of
tests/windows/test_wine.py under wine. A mutant is killed when a test fails, survived when all
pass. A mutant whose text is not in its file once and only once, or that does not build, is an
error: the list has gone stale. Prints one line per mutant and a count; exits 1 unless every
mutant was killed (or is marked equivalent, with the reason).
"""

import os
import shutil
import subprocess
import sys
import time
import tomllib

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRATCH = os.path.join(ROOT, "build-mutants")
TREE = os.path.join(SCRATCH, "tree")
NATIVE = os.path.join(TREE, "build")
WINDOWS = os.path.join(TREE, "build-windows")
WINE = "/usr/lib/wine/wine64"
JOBS = str(os.cpu_count() or 2)
TEST_LIMIT = 600  # seconds for one mutant's tests: a mutant that hangs them is killed


def sh(command, **kwargs):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, **kwargs)


def refresh_tree():
    """Copies the work tree's files (tracked, and new ones not ignored) where they differ."""
    listed = sh(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                cwd=ROOT, check=True).stdout.split(b"\0")
    for name in filter(None, (n.decode() for n in listed)):
        source, target = os.path.join(ROOT, name), os.path.join(TREE, name)
        if not os.path.isfile(source):
            continue
        with open(source, "rb") as f:
            data = f.read()
        if os.path.exists(target):
            with open(target, "rb") as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(source, target)
    modules = os.path.join(ROOT, "tests", "e2e", "node_modules")
    if os.path.isdir(modules) and not os.path.exists(os.path.join(TREE, "tests/e2e/node_modules")):
        os.symlink(modules, os.path.join(TREE, "tests/e2e/node_modules"))


def needs_page(mutant):
    """Whether the mutant's tests load the help page, whose calculator Emscripten builds from
    the sources (slowly, and with warnings as errors)."""
    return "help_page" in mutant["tests"] or mutant["file"].startswith("web/")


_page_built = None


def configure_native(page):
    """Without link-time optimisation each mutant relinks in seconds; the program's arithmetic
    is the same (no contraction, no fast-math, whatever the optimisation). Without the page's
    build the committed copy stands beside the program."""
    global _page_built
    if page == _page_built:
        return
    _page_built = page
    sh(["cmake", "-S", TREE, "-B", NATIVE, "-DCMAKE_BUILD_TYPE=Release", "-DZEPA_TESTS=ON",
        "-DZEPA_LTO=OFF", "-DZEPA_BUILD_HELP_PAGE=" + ("ON" if page else "OFF")], check=True)


def configure(mutants):
    configure_native(False)
    if any(m.get("windows") for m in mutants):
        sh(["cmake", "-S", TREE, "-B", WINDOWS, "--no-warn-unused-cli", "-DZEPA_TESTS=ON",
            "-DCMAKE_BUILD_TYPE=Release",
            "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(TREE, "cmake/mingw-w64-x86_64.cmake")],
           check=True)


def build(windows, mutant=None):
    """Builds everything, the help page's calculator only for a mutant that needs it."""
    if not windows:
        configure_native(mutant is not None and needs_page(mutant))
    directory = WINDOWS if windows else NATIVE
    result = sh(["cmake", "--build", directory, "-j", JOBS])
    if result.returncode != 0:
        errors = [line for line in result.stdout.decode(errors="replace").splitlines()
                  if "error" in line]
        print("\n".join(errors[:5]), flush=True)
    return result.returncode == 0


def wine_env():
    env = dict(os.environ, WINEPREFIX=os.path.join(WINDOWS, "wine"), WINEDEBUG="-all",
               ZEPA_WINE=WINE, ZEPA_WINDOWS_EXE=os.path.join(WINDOWS, "zepa4-07.exe"))
    if not os.path.exists(os.path.join(env["WINEPREFIX"], "system.reg")):
        sh([WINE, "wineboot", "-i"], env=env)
    return env


def tests_pass(mutant):
    """Whether no test of the mutant fails (a skipped test catches nothing)."""
    try:
        if not mutant.get("windows"):
            result = sh(["ctest", "--test-dir", NATIVE, "-R", mutant["tests"], "-j", JOBS,
                         "--no-tests=error", "--timeout", "300"], timeout=TEST_LIMIT)
            return result.returncode == 0
        env = wine_env()
        if sh(["ctest", "--test-dir", WINDOWS], env=env, timeout=TEST_LIMIT).returncode != 0:
            return False
        names = mutant["tests"].split()
        result = sh([sys.executable, os.path.join(TREE, "tests/windows/test_wine.py"),
                     os.path.join(NATIVE, "zepa4-07"), *names], cwd=NATIVE, env=env,
                    timeout=TEST_LIMIT)
        return result.returncode == 0
    except subprocess.TimeoutExpired:
        return False


def run_mutant(mutant):
    path = os.path.join(TREE, mutant["file"])
    with open(path, encoding="utf-8") as f:
        original = f.read()
    if original.count(mutant["from"]) != 1:
        return "ERROR (its text is not in the file exactly once)"
    with open(path, "w", encoding="utf-8") as f:
        f.write(original.replace(mutant["from"], mutant["to"]))
    try:
        if not build(mutant.get("windows", False), mutant):
            return "ERROR (does not build)"
        return "survived" if tests_pass(mutant) else "killed"
    finally:
        with open(path, "w", encoding="utf-8") as f:
            f.write(original)


def main():
    with open(os.path.join(ROOT, "tests/mutants/mutants.toml"), "rb") as f:
        mutants = tomllib.load(f)["mutant"]
    wanted = sys.argv[1:]
    if wanted:
        mutants = [m for m in mutants if any(w in m["name"] for w in wanted)]
    refresh_tree()
    configure(mutants)
    for windows in sorted({bool(m.get("windows")) for m in mutants}):
        if not build(windows):
            print("the scratch tree does not build unchanged")
            return 1
    counts = {}
    for number, mutant in enumerate(mutants, 1):
        start = time.monotonic()
        outcome = (f"equivalent: {mutant['equivalent']}" if "equivalent" in mutant
                   else run_mutant(mutant))
        key = outcome.split(" ")[0].rstrip(":")
        counts[key] = counts.get(key, 0) + 1
        print(f"{number:3} {outcome:9} {time.monotonic() - start:5.0f} s  {mutant['file']}: "
              f"{mutant['name']}", flush=True)
    # The unchanged sources are built again, so the scratch tree is ready for the next run.
    for windows in sorted({bool(m.get("windows")) for m in mutants}):
        build(windows)
    print(", ".join(f"{n} {k}" for k, n in sorted(counts.items())))
    return 0 if set(counts) <= {"killed", "equivalent"} else 1


if __name__ == "__main__":
    sys.exit(main())
