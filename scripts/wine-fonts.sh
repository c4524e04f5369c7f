#!/usr/bin/env bash
# Gives a wine prefix the Japanese fonts the Windows program's prefixes have, so that what wine
# draws itself (window captions, message boxes) shows kanji and kana instead of boxes:
#   scripts/wine-fonts.sh [PREFIX]
# PREFIX defaults to $WINEPREFIX, then ~/.wine; it must exist (wineboot -i makes one). The faces
# the program asks for and the dialog faces wine maps to its kanji-less Tahoma are substituted by
# a CJK face from fontconfig, and wine's Marlett (its caption buttons) goes into the prefix's
# font folder, where Debian's wine finds it. Safe to run again.
set -euo pipefail
prefix=${1:-${WINEPREFIX:-$HOME/.wine}}
if [ ! -f "$prefix/system.reg" ]; then
  echo "wine-fonts: $prefix is not a wine prefix (make one with: WINEPREFIX=$prefix wineboot -i)" >&2
  exit 1
fi
prefix=$(realpath "$prefix")  # wine wants it absolute
# A 32-bit prefix is served by the 32-bit loader only.
if grep -q '^#arch=win32' "$prefix/system.reg"; then loader=wine; else loader=wine64; fi
wine=/usr/lib/wine/$loader
if [ ! -x "$wine" ]; then
  echo "wine-fonts: $wine is missing (run scripts/setup.sh)" >&2
  exit 1
fi
# The face every substitute points at; fonts-noto-cjk installs it and wine finds it through
# fontconfig.
cjk_face="Noto Sans CJK JP"
if ! fc-list ":family=$cjk_face" family | grep -q .; then
  echo "wine-fonts: fontconfig has no '$cjk_face' (run scripts/setup.sh)" >&2
  exit 1
fi

mkdir -p "$prefix/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"

# regedit reads a Unicode .reg file as UTF-16 with a byte order mark.
reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
subst='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[%s]\r\n' "${subst//\\/\\}"
  for face in "ＭＳ Ｐゴシック" "ＭＳ ゴシック" "MS UI Gothic" "Tahoma" "MS Shell Dlg" \
    "MS Shell Dlg 2"; do
    printf '"%s"="%s"\r\n' "$face" "$cjk_face"
  done
} | { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } >"$reg"
export WINEPREFIX=$prefix WINEDEBUG=-all
"$wine" regedit /S "$("$wine" winepath -w "$reg" 2>/dev/null)"
# The registry reaches the disk when the server ends; wait for that, so the next process (which
# may start its own server) sees the settings, and check that they are there.
/usr/lib/wine/wineserver -w
grep -q "\"Tahoma\"=\"$cjk_face\"" "$prefix/system.reg" ||
  { echo "wine-fonts: the substitutes did not reach $prefix/system.reg" >&2; exit 1; }
echo "wine-fonts: Japanese font substitutes set in $prefix"
