# shellcheck shell=bash disable=SC2154
# Sourced by the benchmarks that drive the windowed programs: the Windows build and its desktop
# wine prefix, a virtual display of their own, and waiting for windows. Expects root (the
# checkout), work (a folder of build/) and windows (1: the Windows program too) to be set.

prefix=$root/build/mingw64/wineprefix-desktop
wine=/usr/lib/wine/wine64

now() { date +%s.%N; }

# Builds the Windows program and makes the prefix of scripts/run-windows.sh once: the test
# prefix's fonts, wine's X11 driver.
windowed_build_windows() {
  bash scripts/cross-libs.sh x86_64-w64-mingw32 >/dev/null
  cmake --preset mingw64 >/dev/null
  cmake --build --preset mingw64 -j2 --target quillet >/dev/null
  if [[ ! -f $prefix/.quillet-desktop ]]; then
    bash scripts/wineprefix.sh "$prefix" wine64 >/dev/null
    WINEPREFIX=$prefix WINEDEBUG=-all $wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics \
      /f >/dev/null 2>&1 || true
    WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
    touch "$prefix/.quillet-desktop"
  fi
}

# Starts a display of our own and exports DISPLAY; on exit the programs listed in programs, wine
# and the display are stopped.
programs=()
windowed_display() {
  Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$work/display.txt" 2>/dev/null &
  xvfb=$!
  trap windowed_finish EXIT
  for _ in $(seq 100); do [[ -s $work/display.txt ]] && break; sleep 0.1; done
  local display
  display=$(cat "$work/display.txt")
  export DISPLAY=:$display
}
windowed_finish() {
  for pid in "${programs[@]}"; do kill "$pid" 2>/dev/null || true; done
  if ((windows)); then WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true; fi
  kill "$xvfb" 2>/dev/null || true
}

# Waits until a shown window whose name matches $1 exists (want=1) or none does (want=0), at
# most $3 seconds; false when the time ran out.
await() {
  local name=$1 want=$2 limit=$3 start
  start=$(now)
  while true; do
    if xdotool search --onlyvisible --name "$name" >/dev/null 2>&1; then
      ((want)) && return 0
    else
      ((want)) || return 0
    fi
    awk -v s="$start" -v n="$(now)" -v l="$limit" 'BEGIN {exit !(n - s > l)}' && return 1
    sleep 0.01
  done
}
