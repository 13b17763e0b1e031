#!/usr/bin/env bash
# Runs the Windows product for real under Xvfb: the box appears captioned
# with the program's file name while the tree is already sorted, a
# screenshot is saved, and pressing OK ends the process with exit code 0.
# The same again with a command line that quotes the program path and ends
# in a space.
#   gui_test.sh PROGRAM LAUNCHER WINE_WRAPPER OUTPUT_DIR
set -u
program=$(realpath "$1") launcher=$(realpath "$2") wine=$(realpath "$3") out=$4
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
mkdir -p "$out"
work=$(mktemp -d)
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and tells us which.
exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 30 number <&3 || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=":$number" ZV_KEEP_DISPLAY=1

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# check_box NAME SCREENSHOT COMMAND...: runs COMMAND in a fresh distribution
# and checks the box and the tree while it is up.
check_box() {
    local name=$1 shot=$2
    shift 2
    local dist="$work/$name"
    mkdir -p "$dist"
    echo header >"$dist/zorvalt.h"
    echo demo >"$dist/showcase.h"
    echo library >"$dist/zorvalt.lib"
    (cd "$dist" && exec "$@") &
    local pid=$!
    local exe
    exe=$(basename "$program")
    local window
    window=$(timeout 60 xdotool search --sync --name "^${exe//./\\.}\$" | head -n 1)
    if [ -z "$window" ]; then
        fail "$name: no window captioned $exe appeared"
        kill "$pid" 2>/dev/null
        return
    fi
    local title
    title=$(xdotool getwindowname "$window")
    [ "$title" = "$exe" ] || fail "$name: caption is '$title', expected '$exe'"
    [ -f "$dist/INCLUDE/zorvalt.h" ] && [ -f "$dist/LIB/zorvalt.lib" ] &&
        [ -f "$dist/showcase.h" ] && [ ! -e "$dist/zorvalt.h" ] ||
        fail "$name: the tree is not sorted while the box is up"
    import -window root "$out/$shot" || fail "$name: no screenshot"
    [ -s "$out/$shot" ] || fail "$name: empty screenshot"
    xdotool windowfocus --sync "$window" key Return
    local rc=0
    timeout 30 tail --pid="$pid" -f /dev/null || fail "$name: the process did not end after OK"
    wait "$pid" || rc=$?
    [ "$rc" -eq 0 ] || fail "$name: exit code $rc after OK"
    echo "$name: caption '$title', screenshot $out/$shot, exit code $rc"
}

check_box plain box.png "$wine" "$program"
check_box quoted box-quoted.png "$wine" "$launcher" "Z:${program//\//\\}"

[ "$failures" -eq 0 ] && echo "gui: 2 passed, 0 failed" || echo "gui: failures: $failures"
[ "$failures" -eq 0 ]
