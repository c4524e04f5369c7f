#!/usr/bin/env bash
# The file view in the two windowed programs, driven as a user drives them, on a virtual display
# (Xvfb) with xdotool: each program starts on the file view benchmark's tree (10 folders of
# 100,111 entries), the first 1, 4 and 10 rows are selected with Home and Shift+Down, and
# Alt+V F runs the file view. A point is the time from that key until the progress dialog is
# gone, and the program's peak resident memory above its own before the key. Beside them, on
# the same folders in the same run: find -printf '%p %s\n' for the Linux program, and wine's
# own cmd /c dir /s /a (its output to a file) for the Windows program under wine.
# Then the Linux program's window, timed from inside (quillet-bench-window): Ctrl+End, and
# header clicks sorting the million rows, each until the list has repainted.
# Targets: the Linux program within 3x find at 1M and 100 bytes per entry; a sort 0.5 s;
# Ctrl+End 0.1 s; both programs' time per entry at 1M within 1.5x their time per entry at 100k.
# Usage: bash bench/fileview/window.sh [RUNS] [--linux-only]
#   RUNS: runs per Linux point, the best counts (default 3); the Windows points run once.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
runs=${1:-3}
windows=1
[[ ${2:-} == --linux-only ]] && windows=0
work=build/bench-fileview

bash bench/fileview/tree.sh tree 1000
tree=$root/$work/tree
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target quillet quillet-bench-window >/dev/null
# shellcheck source=bench/windowed.sh
source bench/windowed.sh
if ((windows)); then windowed_build_windows; fi

windowed_display

dialog='しばらくお待ちください'
peak_kb() { awk '/^VmHWM/ {print $2}' "/proc/$1/status"; }
# One point: runs the program command, selects the first $1 rows, runs the file view.
# Prints "seconds empty_kb peak_kb".
point() {
  local rows=$1
  shift
  "$@" >/dev/null 2>&1 &
  local launcher=$!
  programs+=("$launcher")
  await '^Quillet$' 1 120 || { echo "the window did not appear" >&2; return 1; }
  local window pid
  window=$(xdotool search --name '^Quillet$' | head -1)
  pid=$(xdotool getwindowpid "$window")  # under wine not the launcher's
  programs+=("$pid")
  sleep 2  # started and painted
  xdotool windowfocus --sync "$window"
  # Down first: the list may have made its first row current on getting the focus, and Home
  # on the current row selects nothing.
  xdotool key Down Home
  for ((i = 1; i < rows; ++i)); do xdotool key shift+Down; done
  xdotool key alt+v
  sleep 0.5
  local empty start end
  empty=$(peak_kb "$pid")
  start=$(now)
  xdotool key f
  await "$dialog" 1 30 || { echo "no progress dialog" >&2; return 1; }
  await "$dialog" 0 3600
  end=$(now)
  local peak
  peak=$(peak_kb "$pid")
  kill "$pid"
  wait "$launcher" 2>/dev/null || true
  await '^Quillet$' 0 30 || true
  awk -v s="$start" -v e="$end" -v a="$empty" -v b="$peak" 'BEGIN {printf "%.2f %d %d\n", e - s, a, b}'
}
best() { sort -n | head -1; }
# The folders the first n rows stand for: the program lists them in directory order.
folders() { find "$tree" -mindepth 1 -maxdepth 1 -printf '%p\n' | head -"$1"; }
entries() {
  local paths
  mapfile -t paths < <(folders "$1")
  find "${paths[@]}" -mindepth 1 | wc -l
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}'; }
per_entry() { awk -v a="$1" -v n="$2" 'BEGIN {printf "%.1f", a * 1e6 / n}'; }

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
ok=1
declare -A linux_us windows_us
printf 'Linux program (best of %s) beside find -P -printf %s:\n' "$runs" "'%p %s\n'"
for rows in 1 4 10; do
  n=$(entries "$rows")
  mapfile -t paths < <(folders "$rows")
  find -P "${paths[@]}" -printf '%p %s\n' >/dev/null  # warm for both
  find_s="" program_s=""
  for _ in $(seq "$runs"); do
    start=$(now)
    find -P "${paths[@]}" -printf '%p %s\n' >/dev/null
    find_s+="$(awk -v s="$start" -v e="$(now)" 'BEGIN {printf "%.2f", e - s}')"$'\n'
    read -r s empty peak < <(point "$rows" build/linux/bin/quillet "$tree")
    program_s+="$s $empty $peak"$'\n'
  done
  f=$(printf '%s' "$find_s" | best)
  read -r s empty peak < <(printf '%s' "$program_s" | sort -n | head -1)
  bytes=$(awk -v a="$empty" -v b="$peak" -v n="$n" 'BEGIN {printf "%.0f", (b - a) * 1024 / n}')
  linux_us[$rows]=$(per_entry "$s" "$n")
  printf '  %9d entries: %6.2f s (%s x find %.2f s), %s us per entry; peak %d KiB, empty %d KiB: %s B per entry\n' \
    "$n" "$s" "$(ratio "$s" "$f")" "$f" "${linux_us[$rows]}" "$peak" "$empty" "$bytes"
  if ((rows == 10)); then
    awk -v r="$(ratio "$s" "$f")" -v b="$bytes" 'BEGIN {exit !(r <= 3 && b <= 100)}' || ok=0
  fi
done
awk -v a="${linux_us[1]}" -v b="${linux_us[10]}" 'BEGIN {exit !(b <= 1.5 * a)}' || ok=0

if ((windows)); then
  echo "Windows program under wine (one run each) beside wine's cmd /c dir /s /a:"
  exe=$root/build/mingw64/bin/quillet.exe
  wtree=$(WINEPREFIX=$prefix WINEDEBUG=-all $wine winepath -w "$tree" 2>/dev/null)
  for rows in 1 4 10; do
    n=$(entries "$rows")
    wpaths=()
    # Wine lists the tree's folders in name order.
    for ((i = 0; i < rows; ++i)); do wpaths+=("$wtree\\dir$i"); done
    start=$(now)
    WINEPREFIX=$prefix WINEDEBUG=-all $wine cmd /c dir /s /a "${wpaths[@]}" >"$work/dir.txt" 2>&1
    d=$(awk -v s="$start" -v e="$(now)" 'BEGIN {printf "%.2f", e - s}')
    read -r s empty peak < <(point "$rows" env WINEPREFIX="$prefix" WINEDEBUG=-all $wine "$exe" "$wtree")
    windows_us[$rows]=$(per_entry "$s" "$n")
    printf '  %9d entries: %6.2f s (%s x dir /s %.2f s), %s us per entry; peak %d KiB, empty %d KiB\n' \
      "$n" "$s" "$(ratio "$s" "$d")" "$d" "${windows_us[$rows]}" "$peak" "$empty"
  done
  awk -v a="${windows_us[1]}" -v b="${windows_us[10]}" 'BEGIN {exit !(b <= 1.5 * a)}' || ok=0
fi

echo "Linux program, inside the window (all 10 rows):"
build/linux/bin/quillet-bench-window "$tree" 2>/dev/null | tee "$work/window.txt" | sed 's/^/  /'
awk '/^Ctrl\+End/ {if ($2 > 0.1) missed = 1}
     /^header click/ {if ($4 > 0.5) missed = 1}
     END {exit missed}' "$work/window.txt" || ok=0
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
if ((ok)); then echo "targets met"; else echo "TARGETS MISSED"; fi
((ok))
