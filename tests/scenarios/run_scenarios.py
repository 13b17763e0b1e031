#!/usr/bin/env python3
"""Runs the installer on fixture trees and compares the trees it leaves.

One table of scenarios serves both builds: the POSIX port is run directly,
the Windows product under Wine (headless, so its box returns at once). On
the POSIX port the report, which goes to standard error, is checked too.

    run_scenarios.py --program PATH [--wine WRAPPER --hold-helper EXE] [--only NAME] [--dir DIR]
"""
import argparse
import os
import re
import shutil
import socket
import stat
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field

PROGRAM = "<program>"  # stands for the copied program file in a tree
FIFO = "<fifo>"  # special files, as contents of a tree
SOCKET = "<socket>"
DEVICE = "<device>"
LINK = "<link to "  # LINK + target + ">"


def link_to(target):
    return f"{LINK}{target}>"

SUCCESS = "Zorvalt successfully installed!"
INCOMPLETE = "Zorvalt was not completely installed."


@dataclass
class Scenario:
    name: str
    before: dict  # path -> contents; a path ending in "/" is a directory
    after: dict
    exit_code: int = 0
    # Expected report lines as (regex, count), in any order (POSIX port only).
    report: list = field(default_factory=lambda: [(re.escape(SUCCESS), 1)])
    runs: int = 1
    between_runs: dict = field(default_factory=dict)
    builds: tuple = ("posix", "win32")
    refuse_removal: tuple = ()  # files whose deletion the platform refuses
    immutable: tuple = ()  # directories nothing can be created in, even by root (POSIX)
    unreadable: tuple = ()  # files made unreadable; the program then runs as nobody (POSIX)
    held_open: str = ""  # a file another process holds open without sharing (Windows)
    program_in: str = ""  # copy the program there and run that copy
    start_in: str = ""  # start directory, relative to the fixture
    start_length: int = 0  # pad the start directory to exactly this length
    drive_root: bool = False  # start at a drive's root (Wine only)
    timeout: int = 120  # seconds; a hang fails the scenario


def lines(*rows):
    return [(re.escape(row), 1) for row in rows]


TYPICAL_BEFORE = {
    "zorvalt.h": "core header", "widgets.h": "widgets", "showcase.h": "demo 1",
    "plotdesk.h": "demo 2", "zorvalt.lib": "library", "widgets.lib": "more",
    "readme.txt": "read me",
}
TYPICAL_AFTER = {
    "INCLUDE/": None, "INCLUDE/zorvalt.h": "core header", "INCLUDE/widgets.h": "widgets",
    "showcase.h": "demo 1", "plotdesk.h": "demo 2", "LIB/": None,
    "LIB/zorvalt.lib": "library", "LIB/widgets.lib": "more", "readme.txt": "read me",
}
MANY_HEADERS = {f"h{i:02}.h": f"header {i}" for i in range(1, 12)}

SCENARIOS = [
    Scenario("typical distribution", TYPICAL_BEFORE, TYPICAL_AFTER),
    Scenario("empty directory", {}, {"INCLUDE/": None, "LIB/": None}),
    Scenario(
        "INCLUDE already holds a same-named header",
        {"a.h": "new", "INCLUDE/": None, "INCLUDE/a.h": "old", "INCLUDE/b.h": "kept"},
        {"INCLUDE/": None, "INCLUDE/a.h": "new", "INCLUDE/b.h": "kept", "LIB/": None}),
    Scenario(
        "only one demo header",
        {"plotdesk.h": "demo 2", "a.h": "A"},
        {"plotdesk.h": "demo 2", "INCLUDE/": None, "INCLUDE/a.h": "A", "LIB/": None}),
    Scenario(
        "a demo header whose removal is refused",
        {"showcase.h": "demo 1", "plotdesk.h": "demo 2", "a.h": "A"},
        {"showcase.h": "demo 1", "INCLUDE/": None, "INCLUDE/showcase.h": "demo 1",
         "plotdesk.h": "demo 2", "INCLUDE/a.h": "A", "LIB/": None},
        exit_code=1, refuse_removal=("showcase.h",),
        report=lines(
            INCOMPLETE,
            "showcase.h: copied to INCLUDE, but the original could not be removed"
            " (Operation not permitted)",
            "showcase.h: not moved back from INCLUDE (File exists)")),
    Scenario(
        "directories named like headers and libraries are passed over",
        {"old.h/": None, "old.h/inner.txt": "inside", "x.lib/": None, "a.h": "A"},
        {"old.h/": None, "old.h/inner.txt": "inside", "x.lib/": None, "INCLUDE/": None,
         "INCLUDE/a.h": "A", "LIB/": None}),
    Scenario(
        "second run sweeps what was added and leaves the same layout",
        TYPICAL_BEFORE,
        {**TYPICAL_AFTER, "INCLUDE/widgets.h": "widgets 2", "INCLUDE/new.h": "new"},
        runs=2, between_runs={"widgets.h": "widgets 2", "new.h": "new"}),
    Scenario(
        "the start directory is sorted, not the program's",
        {"tools/": None, "tools/helper.h": "tool", "dist/": None, "dist/a.h": "A",
         "dist/a.lib": "L"},
        {"tools/": None, "tools/helper.h": "tool", "tools/" + PROGRAM: None, "dist/": None,
         "dist/INCLUDE/": None, "dist/INCLUDE/a.h": "A", "dist/LIB/": None,
         "dist/LIB/a.lib": "L"},
        program_in="tools", start_in="dist"),
    Scenario(
        "INCLUDE exists as a file: every header stays and is reported",
        {"INCLUDE": "not a directory", "showcase.h": "demo 1", "z.lib": "Z", **MANY_HEADERS},
        {"INCLUDE": "not a directory", "showcase.h": "demo 1", "LIB/": None,
         "LIB/z.lib": "Z", **MANY_HEADERS},
        exit_code=1,
        report=[(re.escape(INCOMPLETE), 1),
                (r"(h\d\d|showcase)\.h: not copied to INCLUDE \(Not a directory\)", 10),
                (re.escape("and 2 more problems."), 1)]),
    Scenario(
        "mixed case, spaces and short-name look-alikes",
        {"My Header.H": "mine", "Showcase.H": "demo 1", "PLOTDESK.h": "demo 2",
         "Big Lib.LIB": "big", "notes.library": "not a library", "a.hpp": "not a header"},
        {"INCLUDE/": None, "INCLUDE/My Header.H": "mine", "Showcase.H": "demo 1",
         "PLOTDESK.h": "demo 2", "LIB/": None, "LIB/Big Lib.LIB": "big",
         "notes.library": "not a library", "a.hpp": "not a header"}),
    Scenario("started at a drive's root", TYPICAL_BEFORE, TYPICAL_AFTER,
             builds=("win32",), drive_root=True),
    Scenario(
        "a target path too long for its buffer is reported, not truncated",
        {"a.h": "A", "a-rather-long-header-name.h": "long"},
        {"a-rather-long-header-name.h": "long", "INCLUDE/": None, "INCLUDE/a.h": "A",
         "LIB/": None},
        exit_code=1, builds=("posix",), start_length=470,
        report=lines(INCOMPLETE,
                     "a-rather-long-header-name.h: not copied to INCLUDE (path too long)")),
    Scenario(
        "a start directory of 498 characters is read; its targets do not fit",
        {"a.h": "A"}, {"a.h": "A"}, exit_code=1, builds=("posix",), start_length=498,
        report=lines(INCOMPLETE, "a.h: not copied to INCLUDE (path too long)")),
    Scenario(
        "a start directory of 499 characters stops the run before any step",
        {"a.h": "A"}, {"a.h": "A"}, exit_code=1, builds=("posix",), start_length=499,
        report=lines("Zorvalt was not installed: the current directory could not be read.")),
    Scenario(
        "a read-only source is copied and kept; a second run cannot remove it either",
        {"a.h": "A", "b.h": "B"},
        {"a.h": "A", "INCLUDE/": None, "INCLUDE/a.h": "A", "INCLUDE/b.h": "B", "LIB/": None},
        exit_code=1, runs=2, refuse_removal=("a.h",),
        report=lines(INCOMPLETE, "a.h: copied to INCLUDE, but the original could not be"
                                 " removed (Operation not permitted)")),
    Scenario(
        "a target directory nothing can be written to: every file stays and is reported",
        {"INCLUDE/": None, "INCLUDE/old.h": "old", "a.h": "A", "b.h": "B", "x.lib": "X"},
        {"INCLUDE/": None, "INCLUDE/old.h": "old", "a.h": "A", "b.h": "B", "LIB/": None,
         "LIB/x.lib": "X"},
        exit_code=1, immutable=("INCLUDE",),
        report=lines(INCOMPLETE, "a.h: not copied to INCLUDE (Operation not permitted)",
                     "b.h: not copied to INCLUDE (Operation not permitted)")),
    Scenario(
        "a source another process holds without sharing stays and is reported",
        {"a.h": "A", "b.h": "B"},
        {"a.h": "A", "INCLUDE/": None, "INCLUDE/b.h": "B", "LIB/": None},
        exit_code=1, builds=("win32",), held_open="a.h"),
    Scenario(
        "FIFOs and sockets named like headers are reported, never opened",
        {"a.h": "A", "fifo.h": FIFO, "socket.h": SOCKET},
        {"INCLUDE/": None, "INCLUDE/a.h": "A", "fifo.h": FIFO, "socket.h": SOCKET,
         "LIB/": None},
        exit_code=1, builds=("posix",), timeout=10,
        report=lines(INCOMPLETE, "fifo.h: not copied to INCLUDE (not a regular file)",
                     "socket.h: not copied to INCLUDE (not a regular file)")),
    Scenario(
        "a device named like a library is reported, never opened",
        {"device.lib": DEVICE, "a.lib": "A"},
        {"INCLUDE/": None, "LIB/": None, "LIB/a.lib": "A", "device.lib": DEVICE},
        exit_code=1, builds=("posix",), timeout=10,
        report=lines(INCOMPLETE, "device.lib: not copied to LIB (not a regular file)")),
    Scenario(
        "a link to a file is followed; a dangling link is reported",
        {"target.txt": "T", "link.h": link_to("target.txt"),
         "dangling.h": link_to("missing.txt")},
        {"target.txt": "T", "INCLUDE/": None, "INCLUDE/link.h": "T",
         "dangling.h": link_to("missing.txt"), "LIB/": None},
        exit_code=1, builds=("posix",), timeout=10,
        report=lines(INCOMPLETE,
                     "dangling.h: not copied to INCLUDE (No such file or directory)")),
    Scenario(
        "names with spaces, quotes, a newline or 255 bytes are placed",
        {"with space.h": "1", 'quo"ted.h': "2", "new\nline.h": "3", "x" * 253 + ".h": "4",
         "'single'.lib": "5"},
        {"INCLUDE/": None, "INCLUDE/with space.h": "1", 'INCLUDE/quo"ted.h': "2",
         "INCLUDE/new\nline.h": "3", "INCLUDE/" + "x" * 253 + ".h": "4", "LIB/": None,
         "LIB/'single'.lib": "5"},
        builds=("posix",)),
    Scenario(
        "an unreadable source is reported and stays",
        {"secret.h": "S", "a.h": "A"},
        {"secret.h": "S", "INCLUDE/": None, "INCLUDE/a.h": "A", "LIB/": None},
        exit_code=1, builds=("posix",), unreadable=("secret.h",),
        report=lines(INCOMPLETE, "secret.h: not copied to INCLUDE (Permission denied)")),
]


class Skip(Exception):
    pass


def write_tree(root, tree):
    for path, contents in sorted(tree.items()):
        full = os.path.join(root, path)
        if path.endswith("/"):
            os.makedirs(full, exist_ok=True)
            continue
        os.makedirs(os.path.dirname(full), exist_ok=True)
        if contents == FIFO:
            os.mkfifo(full)
        elif contents == SOCKET:
            make_socket(full)
        elif contents == DEVICE:
            try:
                os.mknod(full, 0o644 | stat.S_IFCHR, os.makedev(1, 3))
            except PermissionError:
                raise Skip("cannot make a device node here (needs CAP_MKNOD)")
        elif contents.startswith(LINK):
            os.symlink(contents[len(LINK):-1], full)
        else:
            with open(full, "w") as f:
                f.write(contents)


def make_socket(path):
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    directory, name = os.path.split(path)
    here = os.getcwd()
    os.chdir(directory)  # a socket's path is limited to about 100 bytes
    try:
        listener.bind(name)
    finally:
        os.chdir(here)
        listener.close()


def read_tree(root, program_name):
    tree = {}
    for directory, subdirs, files in os.walk(root):
        rel = os.path.relpath(directory, root)
        prefix = "" if rel == "." else rel + "/"
        for d in subdirs:
            tree[prefix + d + "/"] = None
        for f in files:
            tree[prefix + (PROGRAM if f == program_name else f)] = \
                read_node(os.path.join(directory, f), f == program_name)
    return tree


def read_node(path, is_program):
    if os.path.islink(path):
        return link_to(os.readlink(path))
    mode = os.lstat(path).st_mode
    if is_program:
        return None
    if stat.S_ISFIFO(mode):
        return FIFO
    if stat.S_ISSOCK(mode):
        return SOCKET
    if stat.S_ISCHR(mode) or stat.S_ISBLK(mode):
        return DEVICE
    with open(path, errors="replace") as stream:
        return stream.read()


def padded_directory(base, length):
    """A directory under `base` whose path has exactly `length` characters."""
    path = base
    while len(path) < length:
        step = min(200, length - len(path) - 1)
        if step < 1:
            raise ValueError("cannot pad to that length")
        path = os.path.join(path, "d" * step)
    os.makedirs(path)
    return path


def refuse_removal(path, build):
    """Makes the platform refuse to delete `path`: read-only on Windows,
    immutable on POSIX (where root would ignore any permission)."""
    if build == "win32":
        os.chmod(path, 0o444)
        return
    if subprocess.run(["chattr", "+i", path], capture_output=True).returncode != 0:
        raise Skip("chattr +i is not available here (needs root and a supporting file system)")


def make_immutable(path):
    if subprocess.run(["chattr", "+i", path], capture_output=True).returncode != 0:
        raise Skip("chattr +i is not available here (needs root and a supporting file system)")


def hand_to_nobody(root, unreadable):
    """Gives the fixture to the unprivileged user nobody, with `unreadable`
    files it may not read; the program then runs as nobody."""
    if os.geteuid() != 0 or shutil.which("setpriv") is None:
        raise Skip("running as nobody needs root and setpriv")
    for directory, subdirs, files in os.walk(root):
        for name in [directory] + [os.path.join(directory, n) for n in subdirs + files]:
            os.lchown(name, 65534, 65534)
    for name in unreadable:
        os.chmod(os.path.join(root, name), 0)
    # nobody must be able to reach the fixture
    path = root
    while path != "/":
        path = os.path.dirname(path)
        os.chmod(path, os.stat(path).st_mode | 0o711)


def allow_removal(root):
    subprocess.run(["chattr", "-R", "-i", root], capture_output=True)
    for directory, _, files in os.walk(root):
        for f in files:
            path = os.path.join(directory, f)
            if not os.path.islink(path):
                os.chmod(path, 0o644)


HOLD_HELPER = ""


def hold_open(path, wine):
    """Starts a Windows process that holds `path` open without sharing until
    its standard input closes."""
    if not wine or not HOLD_HELPER:
        raise Skip("holding a file without sharing needs the Windows build and its helper")
    holder = subprocess.Popen([wine, HOLD_HELPER, windows_path(path)], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, text=True)
    if holder.stdout.readline().strip() != "held":
        holder.kill()
        raise RuntimeError(f"the helper could not hold {path}")
    return holder


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def run_installer(scenario, program, wine, start):
    if wine and scenario.drive_root:
        prefix = wine_prefix(wine)
        drive = os.path.join(prefix, "dosdevices", "r:")
        if os.path.lexists(drive):
            os.remove(drive)
        os.symlink(start, drive)
        command = [wine, "cmd", "/c", f"cd /d R:\\ && {windows_path(program)}"]
    elif wine:
        command = [wine, program]
    else:
        command = [program]
    if scenario.unreadable:
        command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + command
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.pop("ZV_KEEP_DISPLAY", None)
    # Output goes to files, not pipes: a Wine service that a run starts
    # inherits them and would hold a pipe open long after the run ends.
    with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
        try:
            result = subprocess.run(command, cwd=start, env=env, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err, timeout=scenario.timeout)
        except subprocess.TimeoutExpired:
            return subprocess.CompletedProcess(command, "timed out", "", "")
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(command, result.returncode, out.read(), err.read())


def wine_prefix(wine):
    return subprocess.run([wine, "--headless-prefix"], capture_output=True, text=True,
                          check=True).stdout.strip()


def check_report(scenario, stderr, program_name):
    caption = program_name + ": "
    if not stderr.startswith(caption):
        return [f"report does not start with the caption {caption!r}: {stderr!r}"]
    report = stderr[len(caption):].rstrip("\n").split("\n")
    problems = []
    for pattern, count in scenario.report:
        matched = [line for line in report if re.fullmatch(pattern, line)]
        if len(matched) != count:
            problems.append(f"expected {count} line(s) matching {pattern!r}, got {len(matched)}")
        report = [line for line in report if line not in matched]
    if report:
        problems.append(f"unexpected report lines: {report}")
    return problems


def run_scenario(scenario, program, wine, base):
    build = "win32" if wine else "posix"
    if build not in scenario.builds:
        raise Skip(f"not for the {build} build")
    fixture = tempfile.mkdtemp(prefix="case-", dir=base)
    try:
        top = padded_directory(os.path.join(fixture, "t"), scenario.start_length) \
            if scenario.start_length else fixture
        write_tree(top, scenario.before)
        for name in scenario.refuse_removal:
            refuse_removal(os.path.join(top, name), build)
        if scenario.unreadable:
            hand_to_nobody(top, scenario.unreadable)
        for name in scenario.immutable:
            make_immutable(os.path.join(top, name))
        run_program = program
        if scenario.program_in:
            run_program = os.path.join(top, scenario.program_in, os.path.basename(program))
            shutil.copy2(program, run_program)
        start = os.path.join(top, scenario.start_in)
        holder = hold_open(os.path.join(top, scenario.held_open), wine) \
            if scenario.held_open else None
        problems = []
        for run in range(scenario.runs):
            if run > 0:
                write_tree(top, scenario.between_runs)
            result = run_installer(scenario, run_program, wine, start)
            if result.returncode != scenario.exit_code:
                problems.append(f"run {run + 1}: exit code {result.returncode}, "
                                f"expected {scenario.exit_code}; stderr: {result.stderr!r}")
            if build == "posix" and run == scenario.runs - 1:
                problems += check_report(scenario, result.stderr, os.path.basename(program))
        if holder:
            holder.stdin.close()
            holder.wait(timeout=30)
        tree = read_tree(top, os.path.basename(program))
        if tree != scenario.after:
            missing = {k: v for k, v in scenario.after.items() if tree.get(k, "<none>") != v}
            extra = {k: v for k, v in tree.items() if scenario.after.get(k, "<none>") != v}
            problems.append(f"tree differs: expected {missing}, found {extra}")
        return problems
    finally:
        allow_removal(fixture)
        shutil.rmtree(fixture, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--wine", default="")
    parser.add_argument("--only", default="")
    parser.add_argument("--hold-helper", default="")
    parser.add_argument("--dir", default=None, help="where to make the fixtures")
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    wine = os.path.abspath(args.wine) if args.wine else ""
    global HOLD_HELPER
    HOLD_HELPER = os.path.abspath(args.hold_helper) if args.hold_helper else ""

    passed = failed = skipped = 0
    base = tempfile.mkdtemp(prefix="zv-scenarios-", dir=args.dir)
    try:
        for scenario in SCENARIOS:
            if args.only and args.only not in scenario.name:
                continue
            try:
                problems = run_scenario(scenario, program, wine, base)
            except Skip as reason:
                print(f"SKIP {scenario.name}: {reason}")
                skipped += 1
                continue
            if problems:
                failed += 1
                print(f"FAIL {scenario.name}")
                for problem in problems:
                    print(f"     {problem}")
            else:
                passed += 1
                print(f"ok   {scenario.name}")
    finally:
        shutil.rmtree(base, ignore_errors=True)
    print(f"scenarios: {passed} passed, {failed} failed, {skipped} skipped")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
