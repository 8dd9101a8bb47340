#!/usr/bin/env python3
"""Cross builds, each checked against the native program: `make test-cross`.

Usage: tests/cross/check_cross.py NATIVE-zepa4-07 [TARGET ...]

For each target (default: i686 armhf arm64 s390x windows32; ppc64el and riscv64 may be named
too) the program and its unit tests are built with Debian's cross compiler and plain CMake in
build-cross-TARGET (build-windows32 for windows32), the unit tests run under the emulator
(qemu-user, with the target's libraries from /usr/TRIPLE; wine's 32-bit loader for windows32),
and one batch of random cases runs under it and natively: the exit code, the standard output
and the memo file must be the same bytes. Whether the host runs 32-bit x86 code is found out
once, with a tiny static i686 program (ZEPA_HOST_RUNS_I386=0 or 1 says it instead, to check
the other kind of host). Where it does, the i686 programs run on the host's own processor
through the dynamic loader of /usr/i686-linux-gnu, and 32-bit Windows under wine's 32-bit
loader; where it does not, the i686 programs run under qemu-i386, and 32-bit Windows is built
and reported skipped. A target whose compiler or emulator is missing is skipped and said so.
Exits 1 if any target failed.
"""

import ctypes
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
JOBS = "2"
MEMO_FILE = "mc-zepa4-07.txt"
OLD_MEMO = b"earlier memo line\r\n"
CASES = 20000

# target: (compiler, CMAKE_SYSTEM_PROCESSOR, qemu-user emulator)
LINUX = {
    "i686": ("i686-linux-gnu", "i686", "qemu-i386"),
    "armhf": ("arm-linux-gnueabihf", "armv7l", "qemu-arm"),
    "arm64": ("aarch64-linux-gnu", "aarch64", "qemu-aarch64"),
    "s390x": ("s390x-linux-gnu", "s390x", "qemu-s390x"),
    "ppc64el": ("powerpc64le-linux-gnu", "ppc64le", "qemu-ppc64le"),
    "riscv64": ("riscv64-linux-gnu", "riscv64", "qemu-riscv64"),
}
DEFAULT_TARGETS = ["i686", "armhf", "arm64", "s390x", "windows32"]
WINE32 = "/usr/lib/wine/wine"


class Skip(Exception):
    pass


def run(command, **kwargs):
    print("+", " ".join(command), flush=True)
    subprocess.run(command, check=True, **kwargs)


# ---------------------------------------------------------------- the batch
#
# A refused pair makes the program ask for both numbers again, which would shift every later
# item out of place; so every pair of the batch is one the program accepts. An item longer than
# 67 bytes is cut there and its rest begins the next item: the long sagittas that are cut have
# a 68th byte "c", which is then the answer that continues. Half the pairs are
# numbers whose singles are known here (random bit patterns, decimals): the geometry on them,
# with a sagitta chosen to pass the test f <= c + c. The other half pair an item of every other
# kind (long items cut at 67 bytes, radix prefixes, hexadecimal significands, integers of every
# width, quotes, words) with an infinity (1e39) on the side that always passes: those items are
# checked through their texts in the memo.

def single(value):
    """The single nearest to a double, as the program rounds it."""
    return ctypes.c_float(value).value


def accepted(c_text, f_text):
    """Whether the program accepts the pair; the texts are decimals the C library reads as the
    program does (after the double, the single)."""
    c = single(float(c_text.replace("d", "e").replace("D", "E")))
    f = single(float(f_text.replace("d", "e").replace("D", "E")))
    return f <= single(c + c)


def bits_number(rng):
    """A single from random bits (not a NaN), written with 9 significant digits: it reads back
    exactly. An infinity is written 1e39: "inf" without a point is not a decimal item."""
    while True:
        value = struct.unpack("<f", struct.pack("<I", rng.getrandbits(32)))[0]
        if value != value:
            continue
        return ("1e39" if value > 0 else "-1e39") if math.isinf(value) else "%.9g" % value


def decimal_number(rng):
    """A decimal with a point, and often an exponent ("E", "e", "D" or "d")."""
    digits = "".join(rng.choice("0123456789") for _ in range(rng.choice([1, 3, 7, 9, 17, 30])))
    point = rng.randrange(len(digits) + 1)
    text = digits[:point] + "." + digits[point:]
    if rng.random() < 0.5:
        text += rng.choice("EeDd") + rng.choice(["", "+", "-"]) + str(rng.randrange(50))
    return rng.choice(["", "-", "+"]) + text


def long_item(rng, length=None):
    """17 to 67 bytes of digits, a point and an exponent (the exponent may be cut off)."""
    exponent = "e" + str(rng.randrange(-60, 40))
    length = length or rng.randrange(17 + len(exponent), 68)
    digits = "".join(rng.choice("0123456789") for _ in range(length - len(exponent) - 1))
    point = rng.randrange(len(digits) + 1)
    return digits[:point] + "." + digits[point:] + exponent


def radix_item(rng):
    prefix, alphabet = rng.choice([("&H", "0123456789abcdefABCDEF"), ("&O", "01234567"),
                                   ("&B", "01"), ("&", "01234567")])
    return prefix + "".join(rng.choice(alphabet) for _ in range(rng.randrange(1, 22)))


def hex_item(rng):
    significand = "%x.%x" % (rng.randrange(1, 16), rng.getrandbits(rng.choice([4, 24, 60])))
    exponent = rng.choice(["p", "P"]) + rng.choice(["", "+", "-", "+-"]) + str(rng.randrange(160))
    return "0x" + significand + exponent


def integer_item(rng):
    return str(rng.randrange(-10**rng.choice([3, 9, 18, 24]), 10**20))


def word_item(rng):
    return rng.choice(["inf", "-infinity", "0", "-0.0", "1e39", "1e-50", "", '"1,5"', '"12"34',
                       "abc", "1e", ".5", "12abc", "&H1.5", "0x", "1.5.3"])


NUMBERS = [bits_number, bits_number, decimal_number]
ITEMS = [long_item, radix_item, hex_item, integer_item, word_item, decimal_number]


def plain_pair(rng):
    """A segment as a user types it: 6 significant digits, the sagitta below twice the chord."""
    c = rng.uniform(0.1, 1000.0)
    return ["%.6g" % c, "%.6g" % rng.uniform(0.0, 2.0 * c), "c"]


def case(rng):
    """The lines of one case, the continue answer included."""
    if rng.random() < 0.25:
        return plain_pair(rng)
    if rng.random() < 0.4:
        c = rng.choice(NUMBERS)(rng)
        f = next((f for f in (rng.choice(NUMBERS)(rng) for _ in range(20)) if accepted(c, f)),
                 "-1e39")
        return [c, f, "c"]
    if rng.random() < 0.05:
        return ["1e39", long_item(rng, 67) + "c"]
    item = rng.choice(ITEMS)(rng)
    return [item, "-1e39", "c"] if rng.random() < 0.5 else ["1e39", item, "c"]


def batch(cases, seed=17):
    """The help answer, then the cases (CR LF or LF line ends), then the answer that stops."""
    rng = random.Random(seed)
    lines = [""]
    for _ in range(cases - 1):
        lines += case(rng)
    lines += plain_pair(rng)[:2] + ["n"]
    return "".join(line + ("\r\n" if rng.random() < 0.2 else "\n") for line in lines).encode()


def run_batch(command, data, env=None):
    scratch = tempfile.mkdtemp(prefix="zepa-cross-")
    try:
        with open(os.path.join(scratch, MEMO_FILE), "wb") as f:
            f.write(OLD_MEMO)
        p = subprocess.run(command, input=data, cwd=scratch, env=env, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=600)
        with open(os.path.join(scratch, MEMO_FILE), "rb") as f:
            return p.returncode, p.stdout, f.read()
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def compare_batch(native, command, env=None):
    data = batch(CASES)
    want = run_batch([native], data)
    got = run_batch(command, data, env)
    for name, a, b in zip(("exit code", "standard output", "memo file"), got, want):
        if a != b:
            raise AssertionError(f"{name} differs from the native program's")
    computed = want[2].count(b"Resultados:")
    if computed != CASES:
        raise AssertionError(f"the native program computed {computed} cases, not {CASES}")
    print(f"batch of {CASES} cases: exit code, standard output ({len(want[1])} bytes) and "
          f"memo ({len(want[2])} bytes) identical to the native program's", flush=True)


# ---------------------------------------------------------------- the targets

_runs_i386 = None


def host_runs_i386():
    """Whether this host runs 32-bit x86 programs (a kernel without IA32 emulation does not),
    found out once by running a tiny static one."""
    global _runs_i386
    if _runs_i386 is None:
        said = os.environ.get("ZEPA_HOST_RUNS_I386")
        if said in ("0", "1"):
            _runs_i386 = said == "1"
        elif shutil.which("i686-linux-gnu-gcc") is None:
            _runs_i386 = False
        else:
            with tempfile.TemporaryDirectory() as scratch:
                source = os.path.join(scratch, "t.c")
                with open(source, "w") as f:
                    f.write("int main(void) { return 0; }\n")
                program = os.path.join(scratch, "t")
                subprocess.run(["i686-linux-gnu-gcc", "-static", source, "-o", program],
                               check=True)
                try:
                    _runs_i386 = subprocess.run([program]).returncode == 0
                except OSError:  # Exec format error
                    _runs_i386 = False
        print(f"this host {'runs' if _runs_i386 else 'runs no'} 32-bit x86 code", flush=True)
    return _runs_i386


def check_linux(target, native):
    triple, processor, qemu = LINUX[target]
    compiler = shutil.which(triple + "-g++")
    sysroot = "/usr/" + triple
    if compiler is None:
        raise Skip(f"no {triple}-g++ (Debian: g++-{triple})")
    link_flags = ""
    if target == "i686" and host_runs_i386():
        loader = os.path.join(sysroot, "lib", "ld-linux.so.2")
        runner = [loader, "--library-path", os.path.join(sysroot, "lib")]
    else:
        emulator = shutil.which(qemu)
        if emulator is None:
            raise Skip(f"no {qemu} (Debian: qemu-user)")
        runner = [emulator, "-L", sysroot]
        # qemu-i386 hangs a dynamically linked i686 program at its first thread (the unit
        # tests start one); linked statically it runs.
        if target == "i686":
            link_flags = "-static"
    build = os.path.join(ROOT, "build-cross-" + target)
    run(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DZEPA_TESTS=ON",
         "-DCMAKE_SYSTEM_NAME=Linux", "-DCMAKE_SYSTEM_PROCESSOR=" + processor,
         "-DCMAKE_CXX_COMPILER=" + compiler, "-DCMAKE_EXE_LINKER_FLAGS=" + link_flags,
         "-DCMAKE_CROSSCOMPILING_EMULATOR=" + ";".join(runner)],
        stdout=subprocess.DEVNULL)
    run(["cmake", "--build", build, "-j", JOBS, "--target", "zepa4-07", "zepa_tests"],
        stdout=subprocess.DEVNULL)
    run(["ctest", "--test-dir", build, "--output-on-failure"])
    compare_batch(native, runner + [os.path.join(build, "zepa4-07")])


def wine32_env(prefix):
    env = dict(os.environ, WINEDEBUG="-all", WINEARCH="win32", WINEPREFIX=prefix)
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    return env


def check_windows32(native):
    compiler = shutil.which("i686-w64-mingw32-g++-posix")
    if compiler is None or not os.path.exists(WINE32):
        raise Skip("no i686-w64-mingw32-g++-posix or no 32-bit wine "
                   "(Debian: g++-mingw-w64-i686, wine32:i386)")
    build = os.path.join(ROOT, "build-windows32")
    run(["cmake", "-S", ROOT, "-B", build, "--no-warn-unused-cli", "-DCMAKE_BUILD_TYPE=Release",
         "-DZEPA_TESTS=ON", "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(ROOT, "cmake", "mingw-w64-i686.cmake")],
        stdout=subprocess.DEVNULL)
    run(["cmake", "--build", build, "-j", JOBS, "--target", "zepa4-07", "zepa_tests"],
        stdout=subprocess.DEVNULL)
    if not host_runs_i386():
        raise Skip("this host runs no 32-bit x86 code")
    prefix = os.path.join(build, "wine")
    env = wine32_env(prefix)
    if not os.path.exists(os.path.join(prefix, "system.reg")):
        # The first start creates the prefix, which takes seconds: done before any test.
        run([WINE32, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
    run(["ctest", "--test-dir", build, "--output-on-failure"])
    compare_batch(native, [WINE32, os.path.join(build, "zepa4-07.exe")], env)


def main():
    native = os.path.abspath(sys.argv[1])
    targets = sys.argv[2:] or DEFAULT_TARGETS
    results = []
    for target in targets:
        print(f"== {target}", flush=True)
        start = time.monotonic()
        try:
            if target == "windows32":
                check_windows32(native)
            elif target in LINUX:
                check_linux(target, native)
            else:
                raise Skip("unknown target")
            outcome = "passed"
        except Skip as reason:
            outcome = f"skipped: {reason}"
        except (subprocess.CalledProcessError, subprocess.TimeoutExpired,
                AssertionError) as failure:
            outcome = f"FAILED: {failure}"
        results.append((target, outcome, time.monotonic() - start))
    print("== cross checks")
    for target, outcome, seconds in results:
        print(f"{target}: {outcome} ({seconds:.0f} s)")
    return 1 if any(outcome.startswith("FAILED") for _, outcome, _ in results) else 0


if __name__ == "__main__":
    sys.exit(main())
