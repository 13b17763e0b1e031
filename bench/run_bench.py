#!/usr/bin/env python3
"""Benchmark of the POSIX port against the tools a user would otherwise use.

Generates a distribution, copies it identically for each contender, and
runs, interleaved over several rounds with a `sync` before each timing:

  ours       the POSIX port (copies durable before any source goes)
  cp+sync    `cp -p` into INCLUDE and LIB, `sync`, `rm` of the sources, the
             demo headers moved back: the shell peer with the same durability
  mv         a rename per file: the floor for a move within one file system

It prints the median time of each, the median of the per-round ratios
ours/peer, system calls per placed file (strace -c -f) and peak memory.
The ratios are the result.

    run_bench.py --program PATH [--quick] [--rounds N] [--dir DIR]
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

FULL = dict(headers=4000, header_kb=(1, 16), libraries=30, library_kb=(1024, 3072), rounds=5)
QUICK = dict(headers=400, header_kb=(1, 16), libraries=5, library_kb=(256, 1024), rounds=3)

PEERS = {
    "cp+sync": "mkdir -p INCLUDE LIB && cp -p -- *.h INCLUDE/ && cp -p -- *.lib LIB/ && sync"
               " && rm -f -- *.h *.lib && mv INCLUDE/showcase.h INCLUDE/plotdesk.h .",
    "mv": "mkdir -p INCLUDE LIB && mv -- *.h INCLUDE/ && mv -- *.lib LIB/"
          " && mv INCLUDE/showcase.h INCLUDE/plotdesk.h .",
}


def generate(directory, size):
    rng = random.Random(2026)
    os.makedirs(directory)

    def write(name, kilobytes):
        with open(os.path.join(directory, name), "wb") as f:
            f.write(rng.randbytes(kilobytes * 1024))

    for i in range(size["headers"]):
        write(f"zv_part_{i:05}.h", rng.randint(*size["header_kb"]))
    for i in range(size["libraries"]):
        write(f"zv_lib_{i:02}.lib", rng.randint(*size["library_kb"]))
    write("showcase.h", 4)
    write("plotdesk.h", 4)
    return size["headers"] + size["libraries"] + 2


def fresh_copy(master, work, name):
    target = os.path.join(work, name)
    shutil.rmtree(target, ignore_errors=True)
    subprocess.run(["cp", "-a", master, target], check=True)
    return target


def command_for(contender, program):
    return [program] if contender == "ours" else ["sh", "-c", PEERS[contender]]


def timed_run(command, cwd):
    """Wall time of one run."""
    subprocess.run(["sync"], check=True)
    started = time.perf_counter()
    result = subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - started
    if result.returncode != 0:
        raise RuntimeError(f"{command} failed in {cwd}")
    return elapsed


def peak_memory(command, cwd, work):
    """Peak resident memory (KB) of one run, as GNU time reports it: a
    child's peak counts what it held before exec, so the small time
    program starts it rather than this Python process."""
    if not os.path.exists("/usr/bin/time"):
        return None
    report = os.path.join(work, "time.txt")
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + command, cwd=cwd, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(report) as f:
        return int(f.read().split()[-1])


def check_sorted(directory, placed):
    count = len(os.listdir(os.path.join(directory, "INCLUDE"))) + \
        len(os.listdir(os.path.join(directory, "LIB"))) + 2
    leftovers = [n for n in os.listdir(directory) if n.endswith((".h", ".lib"))]
    if count != placed or sorted(leftovers) != ["plotdesk.h", "showcase.h"]:
        raise RuntimeError(f"{directory} is not sorted: {count} placed, top holds {leftovers}")


def system_calls(command, cwd, work):
    if shutil.which("strace") is None:
        return None
    summary = os.path.join(work, "strace.txt")
    subprocess.run(["strace", "-c", "-f", "-o", summary] + command, cwd=cwd, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(summary) as f:
        for line in f:
            fields = line.split()
            if fields and fields[-1] == "total":
                return int(fields[3])  # % time, seconds, usecs/call, calls
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--rounds", type=int)
    parser.add_argument("--dir", default=None, help="where to work (default: a temporary dir)")
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    size = dict(QUICK if args.quick else FULL)
    if args.rounds:
        size["rounds"] = args.rounds

    work = tempfile.mkdtemp(prefix="zv-bench-", dir=args.dir)
    try:
        master = os.path.join(work, "master")
        placed = generate(master, size)
        print(f"distribution: {size['headers']} headers of {size['header_kb'][0]}-"
              f"{size['header_kb'][1]} KB, {size['libraries']} libraries of "
              f"{size['library_kb'][0]}-{size['library_kb'][1]} KB, 2 demo headers; "
              f"{size['rounds']} rounds")
        contenders = ["ours"] + list(PEERS)
        times = {c: [] for c in contenders}
        for round_number in range(size["rounds"]):
            order = contenders[round_number % 3:] + contenders[:round_number % 3]
            for contender in order:
                directory = fresh_copy(master, work, contender)
                times[contender].append(timed_run(command_for(contender, program), directory))
                check_sorted(directory, placed)
                shutil.rmtree(directory)

        print(f"{'contender':10} {'median s':>9} {'ours/peer':>10} {'calls/file':>11} "
              f"{'peak KB':>8}")
        for contender in contenders:
            ratios = [o / p for o, p in zip(times["ours"], times[contender])]
            command = command_for(contender, program)
            directory = fresh_copy(master, work, contender)
            calls = system_calls(command, directory, work)
            directory = fresh_copy(master, work, contender)
            peak = peak_memory(command, directory, work)
            shutil.rmtree(directory)
            per_file = f"{calls / placed:.1f}" if calls is not None else "n/a"
            print(f"{contender:10} {statistics.median(times[contender]):9.3f} "
                  f"{statistics.median(ratios):10.2f} {per_file:>11} {peak or 'n/a':>8}")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
