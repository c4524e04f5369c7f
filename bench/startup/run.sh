#!/usr/bin/env bash
# The Windows program's start on a folder of N empty subfolders (1,000 and 20,000 by default,
# made once in build/bench-startup/), under wine64 on a virtual display (Xvfb): in one process,
# the row model's start-up population, the main window made and its first paint
# (quillet-bench-startup, best of RUNS); then quillet.exe itself, timed from its start until its
# window is shown, beside its start on an empty folder (what wine's own start costs). Target:
# the window shown with its rows within 2 s of the start for 20,000 rows.
# Usage: bash bench/startup/run.sh [RUNS] [N...]
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
runs=${1:-3}
shift || true
sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(1000 20000)
work=build/bench-startup
windows=1
mkdir -p "$work"
for n in 0 "${sizes[@]}"; do
  dir=$work/rows-$n
  if [[ ! -f $dir.done ]]; then
    rm -rf "$dir"
    mkdir -p "$dir"
    (cd "$dir" && for ((i = 0; i < n; ++i)); do echo "d$i"; done | xargs -r mkdir)
    touch "$dir.done"
  fi
done
# shellcheck source=bench/windowed.sh
source bench/windowed.sh
windowed_build_windows
cmake --build --preset mingw64 -j2 --target quillet-bench-startup >/dev/null
windowed_display
export WINEPREFIX=$prefix WINEDEBUG=-all
winpath() { $wine winepath -w "$root/$1" 2>/dev/null; }

echo "load average: $(uptime | sed 's/.*load average: //')"
for n in "${sizes[@]}"; do
  $wine build/mingw64/bin/quillet-bench-startup.exe "$(winpath "$work/rows-$n")" "$runs"
done
# Seconds from quillet.exe's start until its window is shown, the best of RUNS.
shown() {
  local folder best=
  folder=$(winpath "$1")
  for ((r = 0; r < runs; ++r)); do
    local start pid t
    start=$(now)
    $wine build/mingw64/bin/quillet.exe "$folder" &
    pid=$!
    await '^Quillet$' 1 120 || { echo "the window did not appear" >&2; return 1; }
    t=$(awk -v s="$start" -v e="$(now)" 'BEGIN {printf "%.2f", e - s}')
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    await '^Quillet$' 0 30 || true
    if [[ -z $best ]] || awk -v a="$t" -v b="$best" 'BEGIN {exit !(a < b)}'; then best=$t; fi
  done
  echo "$best"
}
echo "quillet.exe shown: empty folder $(shown "$work/rows-0") s"
for n in "${sizes[@]}"; do
  echo "quillet.exe shown: $n rows $(shown "$work/rows-$n") s"
done
echo "load average: $(uptime | sed 's/.*load average: //')"
