#!/usr/bin/env python3
"""The one summary at the end of `make test`: passed, failed and skipped over every ctest run,
then each test that did not pass, a skipped one with its reason.

Usage: tests/summary.py JUNIT-FILE... [--not-run "WHAT: WHY"]... (ctest --output-junit; a
missing file is a run that did not happen, and is said so; --not-run names a run left out on
purpose). Exits 1 when a test failed or a run is missing.
"""

import re
import sys
import xml.etree.ElementTree as ElementTree

# What a skipped test printed: "skip test_x: reason" (end-to-end) or GoogleTest's message
# before its "[  SKIPPED ]" line.
E2E_SKIP = re.compile(r"^skip \S+: (.*)$", re.M)
GTEST_SKIP = re.compile(r"^[^\n]*: Skipped\n(.*)$", re.M)


def reason(output):
    found = E2E_SKIP.findall(output) or GTEST_SKIP.findall(output)
    return "; ".join(dict.fromkeys(r.strip() for r in found)) or "no reason printed"


def main():
    passed, failed, skipped, missing = [], [], [], []
    args = sys.argv[1:]
    while "--not-run" in args:
        at = args.index("--not-run")
        what, _, why = args[at + 1].partition(": ")
        skipped.append((what, why))
        del args[at:at + 2]
    for path in args:
        try:
            cases = ElementTree.parse(path).getroot().iter("testcase")
        except (OSError, ElementTree.ParseError):
            missing.append(path)
            continue
        for case in cases:
            name = case.get("name")
            output = case.findtext("system-out") or ""
            if case.find("failure") is not None or case.get("status") == "fail":
                failed.append(name)
            elif case.find("skipped") is not None or case.get("status") == "notrun":
                skipped.append((name, reason(output)))
            else:
                passed.append(name)
    print(f"\nmake test: {len(passed)} passed, {len(failed)} failed, {len(skipped)} skipped")
    for name in failed:
        print(f"  FAILED  {name}")
    for name, why in skipped:
        print(f"  skipped {name}: {why}")
    for path in missing:
        print(f"  no results in {path}: that run did not happen")
    return 1 if failed or missing else 0


if __name__ == "__main__":
    sys.exit(main())
