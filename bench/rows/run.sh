#!/usr/bin/env bash
# Many small rows: a folder of N subfolders holding one small file each, as a home or projects
# folder has, made once in build/bench-rows/. Each front end is timed on it beside the peer tools,
# in one run, warm: quillet-report (the analysis, and --files unsorted and sorted) against du -sb DIR/* and
# find -P DIR -printf '%p,%s\n'; the Linux program's analysis run (ファイル > 実行) and its file view
# of every row (Ctrl+A, 表示 > ファイルビュー), driven on a virtual display (Xvfb) with xdotool and
# timed from the key until the progress dialog is gone; the Windows program's analysis run under
# wine64 the same way, beside wine's own cmd /c dir /s /a over the rows (what wine's file queries
# cost). Targets: the report within 1.0x du, --files within 1.15x find, the Linux program's run
# within 2x du and its file view within 3x find; the Windows program under wine has none.
# The last line is "rows ratio to du: R", R the report's time over du's.
# Usage: bash bench/rows/run.sh [N] [RUNS] [--no-windows]
#   N: rows (default 20000); RUNS: runs per command line point, the best counts (default 5).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
rows=${1:-20000}
runs=${2:-5}
windows=1
[[ ${3:-} == --no-windows ]] && windows=0
work=build/bench-rows
dir=$root/$work/rows-$rows

mkdir -p "$work"
if [[ ! -f $dir.done ]]; then
  rm -rf "$dir"
  mkdir -p "$dir"
  echo "generating $dir ..."
  for ((i = 0; i < rows; ++i)); do
    mkdir "$dir/r$i"
    printf 'row %d\n' "$i" >"$dir/r$i/f"
  done
  touch "$dir.done"
fi
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target quillet quillet-report >/dev/null
report=$root/build/linux/bin/quillet-report
# shellcheck source=bench/windowed.sh
source bench/windowed.sh
if ((windows)); then windowed_build_windows; fi

# Seconds the command takes, its output discarded.
timed() {
  local start
  start=$(now)
  "$@" >/dev/null 2>&1
  awk -v s="$start" -v e="$(now)" 'BEGIN {printf "%.3f\n", e - s}'
}
best() { sort -n | head -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}'; }

windowed_display

dialog='しばらくお待ちください'
# Presses keys $2.. and times until the progress dialog they open is gone; $1 is the window.
dialog_time() {
  local window=$1 start
  shift
  xdotool windowfocus --sync "$window"
  start=$(now)
  xdotool key "$@"
  await "$dialog" 1 60 || { echo "no progress dialog" >&2; return 1; }
  await "$dialog" 0 3600
  awk -v s="$start" -v e="$(now)" 'BEGIN {printf "%.2f\n", e - s}'
}
# Starts a program (the command), waits for its window; prints "window pid".
start_program() {
  "$@" >/dev/null 2>&1 &
  programs+=("$!")
  await '^Quillet$' 1 120 || { echo "the window did not appear" >&2; return 1; }
  sleep 3  # started, listed and painted; wine may have made its window anew meanwhile
  local window
  window=$(xdotool search --onlyvisible --name '^Quillet$' | head -1)
  programs+=("$(xdotool getwindowpid "$window")")
  echo "$window $(xdotool getwindowpid "$window")"
}
stop_program() {
  kill "$1" 2>/dev/null || true
  await '^Quillet$' 0 30 || true
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$rows rows of one small file each, warm, best of $runs:"
du -sb "$dir"/* >/dev/null  # warm for everyone
du_s="" find_s="" report_s="" files_s="" sorted_s=""
for _ in $(seq "$runs"); do
  du_s+="$(timed du -sb "$dir"/*)"$'\n'
  find_s+="$(timed find -P "$dir" -printf '%p,%s\n')"$'\n'
  report_s+="$(timed "$report" --format csv "$dir")"$'\n'
  files_s+="$(timed "$report" --files --format csv "$dir")"$'\n'
  sorted_s+="$(timed "$report" --files --sort 0 --format csv "$dir")"$'\n'
done
du_t=$(printf '%s' "$du_s" | best)
find_t=$(printf '%s' "$find_s" | best)
report_t=$(printf '%s' "$report_s" | best)
files_t=$(printf '%s' "$files_s" | best)
sorted_t=$(printf '%s' "$sorted_s" | best)
printf '  %-44s %7.3f s\n' "du -sb DIR/*" "$du_t" "find -P DIR -printf '%p,%s\n'" "$find_t"
printf '  %-44s %7.3f s  %s x du\n' "quillet-report --format csv DIR" "$report_t" \
  "$(ratio "$report_t" "$du_t")"
printf '  %-44s %7.3f s  %s x find\n' "quillet-report --files --format csv DIR" "$files_t" \
  "$(ratio "$files_t" "$find_t")"
printf '  %-44s %7.3f s  %s x find\n' "quillet-report --files --sort 0 --format csv DIR" \
  "$sorted_t" "$(ratio "$sorted_t" "$find_t")"
ok=1
awk -v r="$(ratio "$report_t" "$du_t")" -v f="$(ratio "$files_t" "$find_t")" \
  -v s="$(ratio "$sorted_t" "$find_t")" 'BEGIN {exit !(r <= 1.0 && f <= 1.15 && s <= 1.15)}' || ok=0

read -r window pid < <(start_program "$root/build/linux/bin/quillet" "$dir")
run_t=$(dialog_time "$window" alt+f r)
# Ctrl+A in the result list, then the file view of every row.
xdotool windowfocus --sync "$window"
xdotool key Down Home ctrl+a alt+v
sleep 0.5
view_t=$(dialog_time "$window" f)
stop_program "$pid"
printf '  %-44s %7.2f s  %s x du\n' "Linux program: 実行" "$run_t" "$(ratio "$run_t" "$du_t")"
printf '  %-44s %7.2f s  %s x find\n' "Linux program: file view of every row" "$view_t" \
  "$(ratio "$view_t" "$find_t")"
awk -v r="$(ratio "$run_t" "$du_t")" -v f="$(ratio "$view_t" "$find_t")" \
  'BEGIN {exit !(r <= 2 && f <= 3)}' || ok=0

if ((windows)); then
  wdir=$(WINEPREFIX=$prefix WINEDEBUG=-all $wine winepath -w "$dir" 2>/dev/null)
  read -r window pid < <(start_program env WINEPREFIX="$prefix" WINEDEBUG=-all $wine \
    "$root/build/mingw64/bin/quillet.exe" "$wdir")
  wrun_t=$(dialog_time "$window" alt+f r)
  stop_program "$pid"
  # Wine's own walk of the same rows: what its file queries cost, whoever asks them.
  dir_t=$(timed env WINEPREFIX="$prefix" WINEDEBUG=-all $wine cmd /c dir /s /a "$wdir")
  printf '  %-44s %7.2f s  %s x du, %s x dir /s\n' "Windows program under wine64: 実行" \
    "$wrun_t" "$(ratio "$wrun_t" "$du_t")" "$(ratio "$wrun_t" "$dir_t")"
  printf '  %-44s %7.2f s\n' "wine's cmd /c dir /s /a DIR" "$dir_t"
fi
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
if ((ok)); then echo "targets met"; else echo "TARGETS MISSED"; fi
echo "rows ratio to du: $(ratio "$report_t" "$du_t")"
