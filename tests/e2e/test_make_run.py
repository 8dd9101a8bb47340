"""How `make run` starts the program: through scripts/run_interactive.sh under GNU make. Ctrl+C
ends make by SIGINT (status 130, make's "Interrupt" line)."""

import os
import shutil

from common import Skip, check, expect_equal, main
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


if __name__ == "__main__":
    main([test_ctrl_c_ends_make_by_sigint])
