"""How `make run` starts the program: through scripts/run_interactive.sh under GNU make. Ctrl+C
ends make by SIGINT (status 130, make's "Interrupt" line), and an ordinary end passes the
program's status on. What it builds, the program alone, brings the help page beside it."""

import os
import shutil
import stat
import subprocess
import urllib.parse

from common import Scratch, Skip, check, expect_equal, main, run
from test_terminal import HELP_LINE, Pane

SOURCE_DIR = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
RUNNER = os.path.join(SOURCE_DIR, "scripts", "run_interactive.sh")

# A makefile whose run target starts the program as the front door's does; the shell around
# make outlives Ctrl+C by its trap and notes make's status.
MAKE_WRAPPER = """#!/bin/sh
trap 'true' INT
# A make at the top, as typed at a prompt, even when the tests run under make.
unset MAKELEVEL MAKEFLAGS MFLAGS
printf 'run:\\n\\t%s %s\\n' '{runner}' "$1" > Makefile
make --no-print-directory run
echo $? > status
exec sleep 600
"""


def require_make():
    if shutil.which("make") is None:
        raise Skip("no make")
    if shutil.which("tmux") is None:
        raise Skip("no tmux")


def test_ctrl_c_ends_make_by_sigint(binary):
    require_make()
    # Without the runner make lost the race for its own SIGINT about one run in four, and
    # stopped with "wait: No child processes" and status 2; sixteen runs catch that almost always.
    for attempt in range(16):
        pane = Pane(binary, wrapper=MAKE_WRAPPER.format(runner=RUNNER))
        try:
            pane.wait_for_line(HELP_LINE)
            pane.keys("C-c")
            expect_equal((attempt, pane.wait_for_file("status")), (attempt, "130"))
            # Joined whole: make's line wraps at the pane's 80 columns.
            screen = "".join(pane.screen())
            check("make: *** [Makefile:2: run] Interrupt" in screen, screen)
            check("wait:" not in screen, screen)
        finally:
            pane.close()


def test_program_build_brings_the_help_page(binary):
    """A fresh build tree, built as `make run` builds it (the program's target alone), holds the
    help page beside the program, here the committed copy, and the help answer opens that page,
    not the web address."""
    if shutil.which("cmake") is None:
        raise Skip("no cmake")
    s = Scratch()
    try:
        build = os.path.join(s.path, "build")
        # Debug: no link-time optimisation, so that the build takes seconds.
        for command in (["cmake", "-S", SOURCE_DIR, "-B", build, "-DCMAKE_BUILD_TYPE=Debug",
                         "-DZEPA_TESTS=OFF", "-DZEPA_BUILD_HELP_PAGE=OFF"],
                        ["cmake", "--build", build, "-j", "2", "--target", "zepa4-07"]):
            p = subprocess.run(command, capture_output=True, timeout=600)
            check(p.returncode == 0, p.stdout.decode() + p.stderr.decode())
        page = os.path.join(build, "ajuda-zepa4-07.html")
        with open(page, "rb") as built, \
                open(os.path.join(SOURCE_DIR, "docs", "generated", "ajuda-zepa4-07.html"), "rb") as committed:
            check(built.read() == committed.read(), "the build tree's page is not the committed copy")
        stub_dir = os.path.join(s.path, "bin")
        os.mkdir(stub_dir)
        log = os.path.join(s.path, "opened.log")
        stub = os.path.join(stub_dir, "xdg-open")
        with open(stub, "w") as f:
            f.write(f'#!/bin/sh\necho "$@" > {log}\n')
        os.chmod(stub, stat.S_IRWXU)
        env = dict(os.environ, PATH=stub_dir + os.pathsep + os.environ.get("PATH", ""))
        p = run(os.path.join(build, "zepa4-07"), b"a\n3\n1\nn\n", s.path, env=env)
        expect_equal((p.returncode, p.stderr), (0, b""))
        with open(log) as f:
            expect_equal(f.read(), "file://" + urllib.parse.quote(os.path.realpath(page)) + "\n")
    finally:
        s.close()


if __name__ == "__main__":
    main([test_ctrl_c_ends_make_by_sigint,
          test_program_build_brings_the_help_page])
