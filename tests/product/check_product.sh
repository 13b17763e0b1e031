#!/usr/bin/env bash
# Checks the Windows product's file format, imports, resources and size.
#   check_product.sh EXE OBJDUMP
set -u
exe=$1 objdump=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

format=$(file -b "$exe")
case "$format" in
"PE32 executable (GUI) Intel 80386"*) echo "format: $format" ;;
*) fail "file calls it: $format" ;;
esac

imports=$("$objdump" -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr '[:lower:]' '[:upper:]' | sort -u)
echo "imports:" $imports
for dll in $imports; do
    case "$dll" in
    KERNEL32.DLL | USER32.DLL | MSVCRT.DLL) ;;
    *) fail "imports $dll, which not every Windows has" ;;
    esac
done

grep -aq 'requestedExecutionLevel level="asInvoker"' "$exe" || fail "no asInvoker manifest"
LC_ALL=C grep -aq 'O.r.i.g.i.n.a.l.F.i.l.e.n.a.m.e' "$exe" || fail "no version information"
"$objdump" -p "$exe" | grep -q 'AddressOfEntryPoint' || fail "no entry point"

size=$(stat -c %s "$exe")
echo "size: $size bytes"
[ "$size" -le $((48 * 1024)) ] || fail "larger than 48 KB"

[ "$failures" -eq 0 ] && echo "product: 1 passed, 0 failed" || echo "product: 0 passed, 1 failed"
[ "$failures" -eq 0 ]
