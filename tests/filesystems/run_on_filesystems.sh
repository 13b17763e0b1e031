#!/usr/bin/env bash
# Runs the scenario table and the fault trials of the POSIX port on file
# systems that share blocks between files (btrfs, XFS), each on a loop
# image of its own, and checks that copies there share blocks (FICLONE)
# instead of copying bytes. Needs root, loop devices and the mkfs tools;
# skipped (exit 77) where they are missing.
#   run_on_filesystems.sh PROGRAM
set -u
program=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
[ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root to mount loop images"; exit 77; }

work=$(mktemp -d)
mounted=
cleanup() {
    [ -n "$mounted" ] && umount "$mounted" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

passed=0 failed=0 tried=0
for fs in btrfs xfs; do
    command -v "mkfs.$fs" >/dev/null || { echo "SKIP $fs: mkfs.$fs is not installed"; continue; }
    image="$work/$fs.img" mnt="$work/$fs"
    mkdir -p "$mnt"
    truncate -s 320M "$image"
    if ! "mkfs.$fs" -q "$image" >/dev/null 2>&1 || ! mount -o loop "$image" "$mnt" 2>/dev/null; then
        echo "SKIP $fs: cannot make or mount a loop image here"
        continue
    fi
    mounted=$mnt
    chmod 755 "$mnt"
    tried=$((tried + 1))

    # The copies share blocks: every FICLONE of a run succeeds.
    sample="$mnt/sample"
    mkdir "$sample" "$work/originals"
    head -c 200000 /dev/urandom >"$work/originals/a.h"
    head -c 300000 /dev/urandom >"$work/originals/b.lib"
    cp "$work/originals/"* "$sample/"
    clones=$(cd "$sample" && strace -qq -e trace=ioctl -o /dev/stdout "$program" 2>/dev/null |
        grep -c 'FICLONE.* = 0$')
    if [ "$clones" -eq 2 ] && cmp -s "$work/originals/a.h" "$sample/INCLUDE/a.h" &&
        cmp -s "$work/originals/b.lib" "$sample/LIB/b.lib"; then
        echo "ok   $fs: copies share blocks ($clones clones)"
        passed=$((passed + 1))
    else
        echo "FAIL $fs: expected 2 successful FICLONE calls, saw $clones"
        failed=$((failed + 1))
    fi

    for suite in "scenarios/run_scenarios.py" "faults/run_fault_trials.py"; do
        if python3 "$here/../$suite" --program "$program" --dir "$mnt" >"$work/out.txt" 2>&1; then
            echo "ok   $fs: $(tail -n 1 "$work/out.txt")"
            passed=$((passed + 1))
        else
            echo "FAIL $fs: $suite"
            sed 's/^/     /' "$work/out.txt" | grep -v '^     ok' | cut -c1-300
            failed=$((failed + 1))
        fi
    done
    umount "$mnt" && mounted=
    rm -rf "$image" "$work/originals"
done

[ "$tried" -gt 0 ] || { echo "SKIP: no file system that shares blocks could be mounted"; exit 77; }
echo "file systems: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
