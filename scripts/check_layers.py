#!/usr/bin/env python3
"""Checks that includes between the folders of src/ go one way: down the layers
calc -> console -> sys -> platform, with start-up (the files at the top of src/) above them all;
the dialogue reaches the platform only through sys. Prints each include that goes up (or past
sys from calc) and exits 1 if there is one."""
import pathlib
import re
import sys

# Higher layers may include lower ones; a layer never includes one above it.
RANKS = {"": 4, "calc": 3, "console": 2, "sys": 1, "platform": 0}
# Includes that go down but past the layer that stands for what they want.
PAST = {("calc", "platform")}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(relative_path):
    parts = pathlib.PurePosixPath(relative_path).parts
    return parts[0] if len(parts) > 1 else ""


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    faults = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        layer = layer_of(path.relative_to(src).as_posix())
        if layer not in RANKS:
            faults.append(f"{path}: not in a known layer")
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = layer_of(match.group(1))
            if target not in RANKS:
                faults.append(f"{path}:{number}: includes {match.group(1)}, outside the layers")
            elif RANKS[target] > RANKS[layer]:
                where = layer or "start-up"
                faults.append(f"{path}:{number}: {where} includes {match.group(1)} from above")
            elif (layer, target) in PAST:
                faults.append(f"{path}:{number}: {layer} includes {match.group(1)}, past sys")
    for fault in faults:
        print(fault)
    if faults:
        return 1
    print(f"layers: every include in {src} goes down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
