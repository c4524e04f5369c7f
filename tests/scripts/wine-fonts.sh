#!/usr/bin/env bash
# Checks scripts/wine-fonts.sh on a plain wine prefix, made as a user makes one (wineboot -i):
# afterwards wine itself reads the Japanese substitutes for the faces it draws captions and
# message boxes with, Marlett is in the prefix's fonts, a second run changes nothing, and a
# folder that is not a prefix is refused with a reason.
#   tests/scripts/wine-fonts.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
export WINEDEBUG=-all DISPLAY=
prefix=$work/plain
trap 'WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "wine-fonts: FAILED: $*"; exit 1; }

WINEPREFIX=$prefix /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || fail "wineboot -i"
WINEPREFIX=$prefix /usr/lib/wine/wineserver -w
substitute() {
  WINEPREFIX=$prefix /usr/lib/wine/wine64 reg query \
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v "$1" 2>/dev/null |
    tr -d '\r' | sed -n "s/^ *$1 *REG_SZ *//p"
}
[ "$(substitute Tahoma)" != "Noto Sans CJK JP" ] || fail "a plain prefix has the substitute already"
(cd "$work" && WINEPREFIX=$prefix bash "$root/scripts/wine-fonts.sh" >/dev/null) ||
  fail "the script failed on $prefix"
for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "MS UI Gothic"; do
  [ "$(substitute "$face")" = "Noto Sans CJK JP" ] || fail "$face is '$(substitute "$face")'"
done
[ -s "$prefix/drive_c/windows/Fonts/marlett.ttf" ] || fail "no Marlett"
# The values of the substitutes key (wine rewrites other keys at every start).
substitutes() {
  awk '/^\[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\FontSubstitutes\]/ {on = 1; next}
       on && /^$/ {exit} on && !/^#/ {print}' "$prefix/system.reg"
}
before=$(substitutes)
[ -n "$before" ] || fail "no substitutes key in system.reg"
bash "$root/scripts/wine-fonts.sh" "$prefix" >/dev/null || fail "a second run"
[ "$(substitutes)" = "$before" ] || fail "a second run changed the substitutes"

mkdir "$work/not-a-prefix"
rc=0
bash "$root/scripts/wine-fonts.sh" "$work/not-a-prefix" 2>"$work/err" >/dev/null || rc=$?
[ "$rc" = 1 ] && grep -q "not a wine prefix" "$work/err" || fail "a plain folder gave $rc"
echo "wine-fonts: a plain prefix gets the Japanese substitutes: ok"
