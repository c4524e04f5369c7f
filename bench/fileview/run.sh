#!/usr/bin/env bash
# Listing every entry against find, on generated trees of about 300,000 and one million entries:
#  - quillet-report --files --format csv DIR (one walk per row, entries streamed through a
#    temporary file) against find -P DIR -printf '%p,%s\n': time, ratio and peak memory;
#  - the file view filling the model's file list (what the windows hold): time and bytes per
#    row, names included;
#  - the file list's store alone, fed the same tree's entries without a walk at one and ten
#    million entries (a ten-million-entry tree on disk would take ten million inodes): bytes per
#    entry, the time to build every path and to sort by name and by path.
# Runs alternate between the tools and the best of RUNS counts, so a busy machine hurts less.
# Usage: bash bench/fileview/run.sh [RUNS]   (trees are cached in build/bench-fileview/)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-3}
work=build/bench-fileview
mkdir -p "$work"

cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target quillet_lists quillet-report >/dev/null
report=build/linux/bin/quillet-report
# The image names are generated at configure time, into the build tree.
flags=(-std=c++20 -O2 -I. -Ibuild/linux/resources/generated -pthread)
c++ "${flags[@]}" bench/fileview/FileViewBench.cpp build/linux/lib/libquillet_lists.a \
  build/linux/lib/libquillet_scan.a -o "$work/FileViewBench"
c++ "${flags[@]}" bench/fileview/StoreBench.cpp build/linux/lib/libquillet_lists.a \
  build/linux/lib/libquillet_scan.a -o "$work/StoreBench"

# tree-300k: 300 files per leaf folder; tree: 1,000.
bash bench/fileview/tree.sh tree-300k 300
bash bench/fileview/tree.sh tree 1000
mkdir -p "$work/empty"

# Wall seconds, peak resident kilobytes and CPU seconds (user + system) of one command, its
# output to a file, from /usr/bin/time -v. On a machine shared with other work the CPU seconds
# say more than the wall clock.
measure() {
  /usr/bin/time -v "$@" 2>"$work/time.txt" >"$work/out.txt"
  local seconds kilobytes cpu
  seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0;
    for (i = 1; i <= n; ++i) s = s * 60 + p[i]; print s}' "$work/time.txt")
  kilobytes=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
  cpu=$(awk -F': ' '/(User|System) time/ {s += $2} END {printf "%.2f", s}' "$work/time.txt")
  echo "$seconds $kilobytes $cpu"
}
best() { sort -n | head -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}'; }

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
ok=1
for name in tree-300k tree; do
  tree=$work/$name
  find -P "$tree" -printf '%p,%s\n' >/dev/null  # warm the cache for all
  find_s="" report_s="" find_cpu="" report_cpu="" report_kb=0
  for _ in $(seq "$runs"); do
    read -r s _ cpu < <(measure find -P "$tree" -printf '%p,%s\n')
    find_s+="$s"$'\n'
    find_cpu+="$cpu"$'\n'
    read -r s kb cpu < <(measure "$report" --files --format csv "$tree")
    report_s+="$s"$'\n'
    report_cpu+="$cpu"$'\n'
    ((kb > report_kb)) && report_kb=$kb
  done
  find_s=$(printf '%s' "$find_s" | best)
  report_s=$(printf '%s' "$report_s" | best)
  find_cpu=$(printf '%s' "$find_cpu" | best)
  report_cpu=$(printf '%s' "$report_cpu" | best)
  entries=$(find "$tree" -mindepth 2 | wc -l)  # below the rows, the tree's subfolders
  report_ratio=$(ratio "$report_s" "$find_s")
  echo "$name ($entries entries)"
  echo "  find -P -printf:          ${find_s}s (best of $runs), CPU ${find_cpu}s"
  echo "  quillet-report --files:   ${report_s}s (best of $runs), ${report_ratio}x find," \
    "CPU ${report_cpu}s ($(ratio "$report_cpu" "$find_cpu")x), peak ${report_kb} KiB"
  if ! awk -v r="$report_ratio" -v kb="$report_kb" -v n="$name" \
    'BEGIN {exit !(r <= 1.15 && (n != "tree-300k" || kb < 12 * 1024))}'; then
    ok=0
  fi
done

# The file view of the million-entry tree into the model, as the windows list it.
tree=$work/tree
view_s=""
for _ in $(seq "$runs"); do
  read -r s kb _ < <(measure "$work/FileViewBench" "$tree")
  view_s+="$s"$'\n'
  view_kb=$kb
done
view_s=$(printf '%s' "$view_s" | best)
read -r rows path_bytes < <(awk '{print $2, $4}' "$work/out.txt")
read -r _ empty_kb _ < <(measure "$work/FileViewBench" "$work/empty")
per_entry=$(awk -v kb="$view_kb" -v e="$empty_kb" -v n="$rows" \
  'BEGIN {printf "%.1f", (kb - e) * 1024 / n}')
names=$(find "$tree" -mindepth 1 -printf '%f\n' | awk '{n += length} END {printf "%.1f", n / NR}')
echo "file view into the model ($rows rows, path text $path_bytes bytes, names $names bytes on average)"
echo "  time:                     ${view_s}s (best of $runs), $(ratio "$view_s" "$find_s")x find"
echo "  peak memory:              ${view_kb} KiB (empty listing ${empty_kb} KiB)," \
  "${per_entry} bytes per row, names included"
awk -v r="$(ratio "$view_s" "$find_s")" -v b="$per_entry" \
  'BEGIN {exit !(r <= 1.5 && b <= 40.0)}' || ok=0

# The store alone at one and ten million entries (1,000 and 10,000 files per leaf folder).
for files in 1000 10000; do
  read -r line < <("$work/StoreBench" "$(realpath "$tree")" "$files")
  echo "store alone: $line"
  # Resident bytes per entry; each sort at most 0.5 s per million entries.
  awk -v l="$line" 'BEGIN {split(l, f, " "); limit = 0.5 * f[2] / 1e6
    exit !(f[6] <= 40.0 && f[16] <= limit && f[18] <= limit)}' || ok=0
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
if ((ok)); then echo "targets met"; else echo "TARGETS MISSED"; fi
((ok))
