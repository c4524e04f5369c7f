#!/usr/bin/env bash
# Checks that scripts/run-windows.sh finds the project's CMake presets and its program from
# another folder than the checkout, as from the checkout itself, and refuses a bad build width.
#   tests/scripts/run-windows.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "run-windows: FAILED: $*"; exit 1; }

cd "$work"
out=$(bash "$root/scripts/run-windows.sh" --build 64 2>"$work/err") ||
  fail "--build from $work: $(cat "$work/err")"
[ "$out" = "$root/build/mingw64/bin/quillet.exe" ] || fail "program path '$out'"
[ -s "$out" ] || fail "no program at $out"
# Built from the checkout, the same program.
[ "$(cd "$root" && bash scripts/run-windows.sh --build 64)" = "$out" ] ||
  fail "another path from the checkout"

rc=0
bash "$root/scripts/run-windows.sh" --build 48 2>"$work/err" || rc=$?
[ "$rc" = 2 ] && grep -q "64 or 32" "$work/err" || fail "a width of 48 gave $rc: $(cat "$work/err")"
echo "run-windows: from another folder: ok"
