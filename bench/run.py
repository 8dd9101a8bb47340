#!/usr/bin/env python3
"""The benchmarks of zepa4-07, printed as one table.

Usage: bench/run.py PATH-TO-zepa4-07 PATH-TO-floor [--editor PATH-TO-bench-interactive]
                    [--cases N] [--pairs P] [--only NAMES]

  batch        N cases (default 20,000) through redirected standard input and output, against
               the floor program (bench/floor.cpp); the median of the ratios of P alternating
               pairs (default 11);
               peak memory; user-space instructions per case (callgrind, 2,000 cases less one)
               and system calls per case by kind (strace -c, 2,000 cases).
  startup      a one-case run against the floor's one-case run; median of 4 P pairs.
  editor       screen-buffer calls and cells written per key on an in-memory 80 x 25 console
               (bench/interactive.cpp): typing at the end of a 200-character line, inserting
               and deleting in its middle, pastes of 1,000 and 10,000 characters.
  interactive  the same keys in a real pty (80 x 25): write calls and bytes the terminal
               receives per key, counted with strace.
  idle         CPU time used, and voluntary context switches (wake-ups), while the help question
               waits 10 s in a real pty.
  sync         the time of a typed case's sync (fdatasync, strace -T) over 20 cases typed in a
               real pty, against the floor syncing each of 20 memos (floor --sync-each).
"""

import argparse
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from batch import batch_input  # noqa: E402
import terminal_keys  # noqa: E402

ONE_CASE = b"\n3\n1\nn\n"


# ---------------------------------------------------------------- redirected runs

def timed_run(binary, input_path, scratch):
    """Runs `binary` with standard input from `input_path` and standard output to a file in
    `scratch`: (wall seconds, CPU seconds)."""
    with open(input_path, "rb") as stdin, open(os.path.join(scratch, "out"), "wb") as stdout:
        start = time.perf_counter()
        child = subprocess.Popen([binary], stdin=stdin, stdout=stdout, cwd=scratch)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
        child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        raise RuntimeError(f"{binary} exited with {child.returncode}")
    return wall, usage.ru_utime + usage.ru_stime


def peak_kib(binary, input_path, scratch):
    """Peak resident KiB of one run. A child forked from this interpreter inherits its peak
    (the kernel keeps the high-water mark across exec), so GNU time forks the program from its
    own small process and reports it."""
    with open(input_path, "rb") as stdin:
        p = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", os.path.join(scratch, "peak"),
                            binary], stdin=stdin, stdout=subprocess.DEVNULL, cwd=scratch,
                           check=True)
    with open(os.path.join(scratch, "peak")) as f:
        return int(f.read().split()[-1])


def callgrind_total(binary, data, scratch):
    """Instructions the program executes for `data` on standard input (callgrind)."""
    out = os.path.join(scratch, "callgrind.out")
    p = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", binary],
                       input=data, cwd=scratch, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, check=True)
    for line in p.stderr.decode().splitlines():
        if "Collected" in line:
            return int(line.split()[-1])
    raise RuntimeError("callgrind gave no total")


def instructions_per_case(binary, root, cases=2000):
    """User-space instructions of one case: a run of `cases` less a run of one."""
    many = callgrind_total(binary, batch_input(cases), fresh_scratch(root, "cg-many"))
    one = callgrind_total(binary, batch_input(1), fresh_scratch(root, "cg-one"))
    return (many - one) / (cases - 1)


def syscalls_per_case(binary, root, cases=2000):
    """{system call: calls per case} over a run of `cases` (strace -c)."""
    scratch = fresh_scratch(root, "strace")
    summary = os.path.join(scratch, "summary")
    subprocess.run(["strace", "-c", "-o", summary, binary], input=batch_input(cases), cwd=scratch,
                   stdout=subprocess.DEVNULL, check=True)
    counts = {}
    with open(summary) as f:
        for line in f:
            fields = line.split()
            if len(fields) >= 5 and fields[0][0].isdigit() and fields[-1] != "total":
                counts[fields[-1]] = int(fields[3])
    return {name: n / cases for name, n in counts.items()}


def describe_syscalls(per_case):
    """The calls made about once a case or more, then the rest (start-up, shared blocks)."""
    per = sorted(((n, name) for name, n in per_case.items() if n >= 0.5), reverse=True)
    rest = sum(n for n in per_case.values() if n < 0.5)
    return " ".join(f"{name} {n:.3g}" for n, name in per) + f" +{rest:.3g}"


def fresh_scratch(root, name):
    path = os.path.join(root, name)
    shutil.rmtree(path, ignore_errors=True)
    os.mkdir(path)
    return path


def compare(program, floor, data, pairs, root):
    """Alternating pairs program, floor; each in a fresh directory (the memo starts empty)."""
    input_path = os.path.join(root, "input")
    with open(input_path, "wb") as f:
        f.write(data)
    runs = {"program": [], "floor": []}
    for i in range(pairs):
        order = [("program", program), ("floor", floor)]
        if i % 2:
            order.reverse()
        for name, binary in order:
            runs[name].append(timed_run(binary, input_path, fresh_scratch(root, name)))

    def summary(name):
        walls, cpus = zip(*runs[name])
        binary = program if name == "program" else floor
        peak = peak_kib(binary, input_path, fresh_scratch(root, name))
        return statistics.median(walls), statistics.median(cpus), peak

    # The two runs of a pair share the machine's load of the moment, so the ratio is taken
    # within each pair and the median of those is the figure: a shared machine's drift
    # between pairs does not enter it.
    def ratio(index):
        return statistics.median(p[index] / f[index]
                                 for p, f in zip(runs["program"], runs["floor"]))

    return summary("program"), summary("floor"), (ratio(0), ratio(1))


def bench_redirected(args, root, rows):
    if "batch" in args.only:
        p, f, r = compare(args.program, args.floor, batch_input(args.cases), args.pairs, root)
        rows.append((f"batch {args.cases} cases: wall s (median of {args.pairs} pairs)",
                     f"{p[0]:.3f}", f"{f[0]:.3f}", f"{r[0]:.2f}", "<= 1.1"))
        rows.append(("batch: CPU s (user+sys, median)", f"{p[1]:.3f}", f"{f[1]:.3f}",
                     f"{r[1]:.2f}", ""))
        rows.append(("batch: peak memory KiB", f"{p[2]}", f"{f[2]}", "", "< 2048"))
        if shutil.which("valgrind"):
            pi = instructions_per_case(args.program, root)
            fi = instructions_per_case(args.floor, root)
            rows.append(("batch: instructions per case (callgrind)", f"{pi:.0f}", f"{fi:.0f}",
                         f"{pi / fi:.1f}", "<= 4000"))
        else:
            rows.append(("batch: instructions per case: not measured (no valgrind)", "", "", "",
                         ""))
        if shutil.which("strace"):
            ps = syscalls_per_case(args.program, root)
            fs = syscalls_per_case(args.floor, root)
            rows.append(("batch: system calls per case (strace -c)", describe_syscalls(ps),
                         describe_syscalls(fs), "", "9 + blocks"))
        else:
            rows.append(("batch: system calls per case: not measured (no strace)", "", "", "",
                         ""))
    if "startup" in args.only:
        p, f, r = compare(args.program, args.floor, ONE_CASE, 4 * args.pairs, root)
        rows.append((f"start-up, one case: wall ms (median of {4 * args.pairs} pairs)",
                     f"{p[0] * 1e3:.2f}", f"{f[0] * 1e3:.2f}", f"{r[0]:.2f}", "<= 1.3"))
        rows.append(("start-up: peak memory KiB", f"{p[2]}", f"{f[2]}", "", "< 4096"))


# ---------------------------------------------------------------- runs in a pty

def bench_interactive(args, root, rows):
    """The keys on a real terminal, with the pty driver of bench/terminal_keys.py."""
    work = fresh_scratch(root, "pty")
    term = terminal_keys.Terminal(args.program, work)
    spans = []
    try:
        terminal_keys.answer_help_question(term)
        terminal_keys.measure(term, "type at the end of a 200-character line", [b"x"] * 200,
                              spans)
        term.key(b"\x1b[H")
        for _ in range(100):
            term.key(b"\x1b[C")
        terminal_keys.measure(term, "insert at 100 of 200", [b"y"] * 20, spans)
        terminal_keys.measure(term, "Delete at 100 of 220", [b"\x1b[3~"] * 20, spans)
        terminal_keys.measure(term, "Backspace at 100 of 200", [b"\x7f"] * 20, spans)
        term.key(b"\x1b")
        term.settle(0.1)
        spans.append(terminal_keys.paste(term, 10000))
    finally:
        term.close()
    for name, keys, start, end in spans:
        calls, total = terminal_keys.writes_between(term.log, start, end)
        rows.append((f"pty {name}: writes/bytes per key", f"{calls / keys:.4g}/{total / keys:.3g}",
                     "", "", ""))


def bench_editor(args, root, rows):
    out = subprocess.run([args.editor], check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        name, calls, reads, cells = line.split()
        label = name.replace("_", " ")
        rows.append((f"editor {label}: calls/readings/cells per key",
                     f"{float(calls):g}/{float(reads):g}/{float(cells):g}", "", "", ""))


def cpu_ns(pid):
    """CPU time of `pid` so far, in nanoseconds (scheduler statistics)."""
    with open(f"/proc/{pid}/schedstat") as f:
        return int(f.read().split()[0])


def voluntary_switches(pid):
    """How often `pid` has given up the processor of its own accord: each blocking wait that
    ended counts one."""
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("voluntary_ctxt_switches:"):
                return int(line.split()[1])
    raise RuntimeError("no voluntary_ctxt_switches in /proc/PID/status")


def bench_idle(args, root, rows):
    term = terminal_keys.Terminal(args.program, fresh_scratch(root, "idle"), traced=False)
    try:
        term.wait_for(b"continuar? ")
        term.settle(0.3)
        before = cpu_ns(term.proc.pid)
        switches = voluntary_switches(term.proc.pid)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            term.read(deadline - time.monotonic())
        used_ms = (cpu_ns(term.proc.pid) - before) / 1e6
        woke = voluntary_switches(term.proc.pid) - switches
        rows.append(("idle 10 s at a prompt: CPU ms", f"{used_ms:.2f}", "", "", "< 20"))
        rows.append(("idle 10 s at a prompt: wake-ups", str(woke), "", "", "<= 10"))
    finally:
        term.close()


def syncs(log):
    """(time of day s, time spent ms) of each fdatasync in an strace -T log."""
    with open(log) as f:
        found = (re.search(r"^(?:([\d.]+) )?fdatasync\(\d+\)\s+=\s+0 <([\d.]+)>", line)
                 for line in f)
        return [(float(m.group(1) or 0), float(m.group(2)) * 1e3) for m in found if m]


def typed_syncs(program, root, cases):
    """fdatasync's times in a session of `cases` cases typed in a pty, and the mean time from
    one case's sync to the next's."""
    term = terminal_keys.Terminal(program, fresh_scratch(root, "typed"), trace="fdatasync",
                                  timed=True)
    try:
        term.wait_for(b"continuar? ")
        term.key(b"\r")
        for case in range(1, cases + 1):
            for prompt, keys in ((b"c=? ", b"3\r"), (b"f=? ", b"1\r"),
                                 (b"(C ou c):? ", b"c\r" if case < cases else b"n\r")):
                wait_count(term, prompt, case)
                term.key(keys)
    finally:
        term.close()
    found = syncs(term.log)
    interval = (found[-1][0] - found[0][0]) / max(len(found) - 1, 1)
    return [ms for _, ms in found], interval


def floor_syncs(floor, root, cases, interval):
    """fdatasync's times in the floor syncing each of `cases` memos, its cases given one at a
    time `interval` s apart, as typed: an idle disk and processor take longer to answer a sync
    than a busy one (0.3 ms back to back, 0.5 to 0.6 ms with 30 to 100 ms between them)."""
    scratch = fresh_scratch(root, "typed-floor")
    log = os.path.join(scratch, "trace")
    with subprocess.Popen(["strace", "-qq", "-T", "-e", "trace=fdatasync", "-o", log, floor,
                           "--sync-each"], stdin=subprocess.PIPE, cwd=scratch,
                          stdout=subprocess.DEVNULL) as child:
        child.stdin.write(b"\n")
        for case in range(cases):
            child.stdin.write(b"3\n1\nc\n")
            child.stdin.flush()
            time.sleep(interval)
        child.stdin.close()
    return [ms for _, ms in syncs(log)]


def bench_sync(args, root, rows, cases=20, pairs=4):
    # Alternating pairs, as for the batch: the disk's latency of the moment is shared.
    times = {"program": [], "floor": []}
    interval = 0.05
    for i in range(pairs):
        for name in ("floor", "program") if i % 2 else ("program", "floor"):
            if name == "program":
                got, interval = typed_syncs(args.program, root, cases)
            else:
                got = floor_syncs(args.floor, root, cases, interval)
            if len(got) != cases:
                raise RuntimeError(f"{name}: {len(got)} syncs for {cases} cases")
            times[name] += got
    rows.append((f"typed case: sync ms (fdatasync, median of {pairs} x {cases}, strace -T)",
                 f"{statistics.median(times['program']):.3f}",
                 f"{statistics.median(times['floor']):.3f}",
                 f"{statistics.median(times['program']) / statistics.median(times['floor']):.2f}",
                 "< 1 ms"))


def wait_count(term, text, count, limit=10.0):
    """Waits until the program has written `text` `count` times."""
    deadline = time.monotonic() + limit
    while term.seen.count(text) < count:
        if time.monotonic() > deadline:
            raise RuntimeError(f"no {text!r} number {count}")
        term.read(0.1)


# ---------------------------------------------------------------- the table

def machine():
    model = "?"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    return f"{model}, {os.cpu_count()} cores, Linux {platform.release()}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("floor")
    parser.add_argument("--editor", help="the in-memory editor benchmark (bench/interactive.cpp)")
    parser.add_argument("--cases", type=int, default=20000)
    parser.add_argument("--pairs", type=int, default=11)
    parser.add_argument("--only", default="batch,startup,editor,interactive,idle,sync")
    args = parser.parse_args()
    args.program = os.path.abspath(args.program)
    args.floor = os.path.abspath(args.floor)
    args.only = set(args.only.split(","))
    rows = []
    with tempfile.TemporaryDirectory(prefix="zepa-bench-") as root:
        bench_redirected(args, root, rows)
        if "editor" in args.only and args.editor:
            bench_editor(args, root, rows)
        for name, bench in (("interactive", bench_interactive), ("idle", bench_idle),
                            ("sync", bench_sync)):
            if name in args.only:
                try:
                    bench(args, root, rows)
                except (SystemExit, OSError, RuntimeError) as error:
                    rows.append((f"{name}: not measured ({type(error).__name__})", "", "", "",
                                 ""))
                    print(f"{name}: {error}", file=sys.stderr)
    header = ("measure", "zepa4-07", "floor", "ratio", "target")
    widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(5)]
    print(f"machine: {machine()}")
    for row in [header, tuple("-" * w for w in widths)] + rows:
        print(" | ".join(str(c).ljust(w) if i == 0 else str(c).rjust(w)
                         for i, (c, w) in enumerate(zip(row, widths))))


if __name__ == "__main__":
    main()
