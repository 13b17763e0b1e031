#!/usr/bin/env python3
"""Fault trials for the POSIX port: real system-call failures and kills,
injected with strace, at the first, a middle and the last call of each
family of calls that a run makes.

After an injected error: every original file's bytes exist complete under
its own name at the top or in its target; a target that existed before
holds its old bytes or the complete new ones; nothing is left behind; and
either the run left the clean tree and exited 0, or it exited 1 with a
report naming every file not in its place (or the failed search for it).

After a kill: the same, except that a staging file may remain; then a
second run exits 0 and leaves exactly the tree a clean run leaves.

    run_fault_trials.py --program PATH [--dir DIR]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "scenarios"))
from run_scenarios import read_tree, write_tree  # noqa: E402

STAGING = re.compile(r"(.*/)?\.zorvalt-[0-9a-f]{16}\.part$")

# name -> contents; the sizes make the kernel's copy take a few calls.
ORIGINALS = {
    "alpha.h": "alpha " * 3000,
    "beta.h": "beta " * 40,
    "gamma.h": "",
    "showcase.h": "showcase demo " * 500,
    "plotdesk.h": "plotdesk demo",
    "core.lib": "core library " * 90000,
    "extra.lib": "extra library",
}
OLD_TARGET = ("INCLUDE/beta.h", "old beta")  # replaced by the run
UNTOUCHED = {"readme.txt": "read me"}

# (family, system calls, errno)
FAMILIES = [
    ("opening", "openat", "EACCES"),
    ("looking at a file", "newfstatat", "EIO"),
    ("listing", "getdents64", "EIO"),
    ("making a directory", "mkdir", "ENOSPC"),
    ("sharing blocks", "ioctl", "EIO"),
    ("copying data", "copy_file_range", "ENOSPC"),
    ("copying data", "copy_file_range", "EIO"),
    ("copying times", "utimensat", "EIO"),
    ("syncing", "syncfs", "EIO"),
    ("linking", "linkat", "ENOSPC"),
    ("renaming", "renameat2", "ENOSPC"),
    ("unlinking", "unlink", "EACCES"),
    ("closing", "close", "EIO"),
]


def fixture(base):
    top = tempfile.mkdtemp(dir=base)
    write_tree(top, {**ORIGINALS, **UNTOUCHED, "INCLUDE/": None, OLD_TARGET[0]: OLD_TARGET[1]})
    return top


def places(name):
    target = "INCLUDE/" if name.endswith(".h") else "LIB/"
    return [name, target + name]


def run(command, cwd):
    # LeakSanitizer cannot work under ptrace; the sanitizer build keeps its
    # other checks.
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
    return subprocess.run(command, cwd=cwd, env=env, capture_output=True, text=True, timeout=60)


def calls_of_a_run(program, base):
    """Numbers each traced call per system call, as strace's `when` counts
    them, and keeps those made after the run reads its start directory."""
    top = fixture(base)
    trace = os.path.join(base, "trace.txt")
    names = sorted({f[1] for f in FAMILIES} | {"getcwd"})
    run(["strace", "-qq", "-o", trace, "-e", "trace=" + ",".join(names), program], top)
    shutil.rmtree(top)
    counts, relevant, started = {}, {}, False
    anonymous = []  # openat calls that create a copy's anonymous file
    with open(trace) as f:
        for line in f:
            match = re.match(r"(\w+)\(", line)
            if not match:
                continue
            name = match.group(1)
            counts[name] = counts.get(name, 0) + 1
            started = started or name == "getcwd"
            if started and name != "getcwd":
                relevant.setdefault(name, []).append(counts[name])
            if "O_TMPFILE" in line:
                anonymous.append(counts[name])
    return relevant, anonymous


def choose_points(indices):
    return sorted({indices[0], indices[len(indices) // 2], indices[-1]})


def check_nothing_lost(tree, allow_staging):
    problems = []
    for name, contents in ORIGINALS.items():
        if not any(tree.get(place) == contents for place in places(name)):
            problems.append(f"{name}: its bytes are nowhere complete")
    old = tree.get(OLD_TARGET[0])
    if old not in (OLD_TARGET[1], ORIGINALS["beta.h"]):
        problems.append(f"{OLD_TARGET[0]} is torn: {old!r:.40}")
    expected = {p for name in ORIGINALS for p in places(name)} | set(UNTOUCHED) | \
        {"INCLUDE/", "LIB/"}
    for path in tree:
        if path not in expected and not (allow_staging and STAGING.match(path)):
            problems.append(f"left behind: {path}")
    return problems


def check_report(result, tree, clean):
    if tree == clean and result.returncode == 0:
        return []
    if result.returncode != 1:
        return [f"exit code {result.returncode} with tree differing from a clean run"]
    problems = []
    for name in ORIGINALS:
        final = [p for p in places(name) if p in clean][0]
        if tree.get(final) != ORIGINALS[name] or any(
                p in tree for p in places(name) if p != final):
            pattern = "*.h" if name.endswith(".h") else "*.lib"
            search_failed = f"\n{pattern}: the search for files to place in" in result.stderr
            if name not in result.stderr and not search_failed:
                problems.append(f"{name} is out of place but not named in: {result.stderr!r}")
    return problems


def check_named_staging(program, base, anonymous, clean):
    """Where the file system has no anonymous files, copies go through a
    named staging file. Refusing every anonymous file of the header sweep
    (a source's opening, then the anonymous file, in turns) must still give
    a clean run."""
    sweep = [anonymous[0]]
    while sweep[-1] + 2 in anonymous:
        sweep.append(sweep[-1] + 2)
    # Each refused call is followed by one more opening, of the named file.
    first, last = sweep[0], sweep[0] + 3 * (len(sweep) - 1)
    top = fixture(base)
    trace = os.path.join(base, "fallback.txt")
    result = run(["strace", "-qq", "-o", trace, "-e", "trace=openat", "-e",
                  f"inject=openat:error=EOPNOTSUPP:when={first}..{last}+3", program], top)
    tree = read_tree(top, "")
    shutil.rmtree(top)
    with open(trace) as f:
        injected = [line for line in f if "INJECTED" in line]
    problems = check_nothing_lost(tree, allow_staging=False)
    if len(injected) != len(sweep) or not all("O_TMPFILE" in line for line in injected):
        problems.append(f"the refusals did not hit the anonymous files only: {injected}")
    if result.returncode != 0 or tree != clean:
        problems.append(f"exit code {result.returncode}, paths {sorted(tree)}, "
                        f"report {result.stderr!r}")
    print(("FAIL " if problems else "ok   ") +
          f"error no anonymous files: {len(sweep)} copies through a named staging file")
    for problem in problems:
        print(f"     {problem}")
    return not problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--dir", default=None, help="where to make the fixtures")
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    if shutil.which("strace") is None:
        print("SKIP: strace is not installed")
        return 77

    base = tempfile.mkdtemp(prefix="zv-faults-", dir=args.dir)
    try:
        top = fixture(base)
        if run([program], top).returncode != 0:
            print("FAIL: a clean run did not succeed")
            return 1
        clean = read_tree(top, "")
        relevant, anonymous = calls_of_a_run(program, base)
        counts = {"error": [0, 0], "kill": [0, 0]}
        for family, call, errno in FAMILIES:
            indices = relevant.get(call)
            if not indices:  # e.g. no kernel copy where blocks are shared
                print(f"SKIP {family}: a run on this file system makes no {call} call")
                continue
            for when in choose_points(indices):
                position = indices.index(when) + 1
                for kind in ("error", "kill"):
                    action = f"error={errno}" if kind == "error" else "signal=KILL"
                    top = fixture(base)
                    result = run(["strace", "-qq", "-o", "/dev/null", "-e", f"trace={call}",
                                  "-e", f"inject={call}:{action}:when={when}", program], top)
                    tree = read_tree(top, "")
                    problems = check_nothing_lost(tree, allow_staging=kind == "kill")
                    if kind == "error":
                        problems += check_report(result, tree, clean)
                    else:
                        again = run([program], top)
                        if again.returncode != 0 or read_tree(top, "") != clean:
                            problems.append(f"the second run gave exit code {again.returncode}"
                                            f" and paths {sorted(read_tree(top, ''))}, "
                                            f"report {again.stderr!r}")
                    shutil.rmtree(top)
                    label = f"{kind:5} {family}: {call} call {position} of {len(indices)}, {action}"
                    counts[kind][1 if problems else 0] += 1
                    print(("FAIL " if problems else "ok   ") + label)
                    for problem in problems:
                        print(f"     {problem}")
        fallback_ok = check_named_staging(program, base, anonymous, clean)
        passed = counts["error"][0] + counts["kill"][0] + fallback_ok
        failed = counts["error"][1] + counts["kill"][1] + (not fallback_ok)
        print(f"fault trials: {counts['error'][0] + counts['error'][1]} error points, "
              f"{counts['kill'][0] + counts['kill'][1]} kill points")
        print(f"fault trials: {passed} passed, {failed} failed")
        return 1 if failed else 0
    finally:
        shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
