#!/usr/bin/env bash
# Makes a wine prefix for the Windows tests, once per prefix:
#   scripts/wineprefix.sh PREFIX [wine|wine64]
# wine64 (the default) makes a 64-bit prefix; wine makes a 32-bit one for the i686 build.
# Windows there use wine's null graphics driver, so GUI tests need no display, and the Japanese
# faces the program asks for (and the dialog faces wine maps to its kanji-less Tahoma) are
# substituted by a CJK face from fontconfig, so text measures and draws as it would on a Japanese
# system. The locale is left alone: wine needs a generated UTF-8 locale for non-ASCII file names,
# and a LANG naming one that is not generated breaks them.
set -euo pipefail
prefix=$(realpath -m "${1:?usage: wineprefix.sh PREFIX [wine|wine64]}")  # wine wants it absolute
loader=${2:-wine64}
case $loader in
  wine64) arch=win64 ;;
  wine) arch=win32 ;;
  *) echo "wineprefix: unknown loader '$loader' (wine or wine64)" >&2; exit 2 ;;
esac
wine=/usr/lib/wine/$loader
if [ ! -x "$wine" ]; then
  echo "wineprefix: $wine is missing (run scripts/setup.sh)" >&2
  exit 1
fi

mkdir -p "$(dirname "$prefix")"
stamp=$prefix/.quillet-prefix
# "making" while the prefix is made, then what it is; a prefix of ours whose stamp differs (made
# by an older version of this script, or half made) is made again. A prefix that is not ours is
# left alone.
ready="$arch 2"
# Tests may start in parallel: one makes the prefix, the others wait for it.
exec 9>"$prefix.lock"
flock 9
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$ready" ]; then
  exit 0
fi
if [ -e "$prefix" ] && [ ! -f "$stamp" ]; then
  echo "wineprefix: $prefix exists and was not made by this script; not touching it" >&2
  exit 1
fi
if [ -e "$prefix" ]; then
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -w  # its last processes may still be writing
  rm -rf "$prefix"
fi
mkdir -p "$prefix"
echo making >"$stamp"

export WINEPREFIX=$prefix WINEARCH=$arch WINEDEBUG=-all DISPLAY=
if ! log=$("$wine" wineboot --init 2>&1); then
  echo "wineprefix: wineboot failed in $prefix:" >&2
  echo "$log" >&2
  exit 1
fi

/usr/lib/wine/wineserver -w  # the new prefix's registry on disk
# The Japanese fonts, as any prefix gets them (scripts/wine-fonts.sh); then the null driver.
bash "$(dirname "$0")/wine-fonts.sh" "$prefix" >/dev/null
reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\r\n"Graphics"="null"\r\n' >"$reg"
"$wine" regedit /S "$(WINEPREFIX=$prefix "$wine" winepath -w "$reg" 2>/dev/null)"
# The registry reaches the disk when the server ends; wait for that, so the next process (which
# may start its own server) sees the settings.
WINEPREFIX=$prefix /usr/lib/wine/wineserver -w

grep -q '"Graphics"="null"' "$prefix/user.reg" ||
  { echo "wineprefix: the null driver setting did not reach $prefix/user.reg" >&2; exit 1; }
echo "$ready" >"$stamp"
echo "wineprefix: $arch prefix ready in $prefix"
