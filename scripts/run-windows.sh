#!/usr/bin/env bash
# Sets up, builds and starts the Windows program under wine on a folder (default your home
# folder), on this machine's display:
#   scripts/run-windows.sh [FOLDER] [64|32]
#   scripts/run-windows.sh --build [64|32]   sets up and builds only, and prints the program's path
# It works from any folder. The program runs in a prefix of its own in the build tree, with the
# Japanese fonts of the test prefix and wine's ordinary graphics driver.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_only=0
if [ "${1:-}" = --build ]; then
  build_only=1
  shift
  set -- "$HOME" "$@"
fi
folder=${1:-$HOME}
bits=${2:-64}
case $bits in
  64) preset=mingw64 triple=x86_64-w64-mingw32 loader=wine64 ;;
  32) preset=mingw32 triple=i686-w64-mingw32 loader=wine ;;
  *) echo "run-windows: 64 or 32, not '$bits'" >&2; exit 2 ;;
esac
bash "$root/scripts/setup.sh" >/dev/null
bash "$root/scripts/cross-libs.sh" "$triple" >/dev/null
# CMake reads its presets from the current folder.
(cd "$root" && cmake --preset "$preset" >/dev/null &&
  cmake --build --preset "$preset" --target quillet >/dev/null)
program=$root/build/$preset/bin/quillet.exe
if [ "$build_only" = 1 ]; then
  echo "$program"
  exit 0
fi
prefix=$root/build/$preset/wineprefix-desktop
if [ ! -f "$prefix/.quillet-desktop" ]; then
  bash "$root/scripts/wineprefix.sh" "$prefix" "$loader"
  WINEPREFIX=$prefix WINEDEBUG=-all "/usr/lib/wine/$loader" reg delete \
    'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
  # The prefix was made without a display; its wine server must not outlive that.
  WINEPREFIX=$prefix "/usr/lib/wine/${loader/wine/wineserver}" -k 2>/dev/null || true
  touch "$prefix/.quillet-desktop"
fi
exec env WINEPREFIX="$prefix" WINEDEBUG=-all "/usr/lib/wine/$loader" \
  "$program" "$(WINEPREFIX=$prefix /usr/lib/wine/$loader winepath -w "$folder" 2>/dev/null)"
