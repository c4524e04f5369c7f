#!/usr/bin/env bash
# The file view against find: lists a generated tree of about one million entries into the
# file list and compares time and peak memory with find printing every path and size.
# Usage: bash bench/fileview/run.sh [RUNS]   (the tree is cached in build/bench-fileview/)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-3}
work=build/bench-fileview
tree=$work/tree
mkdir -p "$work"

cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target quillet_lists >/dev/null
flags=(-std=c++20 -O2 -I. -pthread)
c++ "${flags[@]}" bench/fileview/MakeTree.cpp -o "$work/MakeTree"
c++ "${flags[@]}" bench/fileview/FileViewBench.cpp build/linux/lib/libquillet_lists.a \
  build/linux/lib/libquillet_scan.a -o "$work/FileViewBench"

if [[ ! -f $work/tree.done ]]; then
  rm -rf "$tree"
  echo "generating $tree ..."
  "$work/MakeTree" "$tree"
  touch "$work/tree.done"
fi
mkdir -p "$work/empty"

# Seconds and peak resident kilobytes of one command, from /usr/bin/time -v.
measure() {
  /usr/bin/time -v "$@" 2>"$work/time.txt" >"$work/out.txt"
  local seconds kilobytes
  seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0;
    for (i = 1; i <= n; ++i) s = s * 60 + p[i]; print s}' "$work/time.txt")
  kilobytes=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
  echo "$seconds $kilobytes"
}

find "$tree" -printf '%p %s\n' >/dev/null  # warm the cache for both
best() { sort -n | head -1; }
find_s=$(for _ in $(seq "$runs"); do measure find "$tree" -printf '%p %s\n' | cut -d' ' -f1; done | best)
view_s=""
for _ in $(seq "$runs"); do
  read -r s kb < <(measure "$work/FileViewBench" "$tree")
  view_s+="$s"$'\n'
  view_kb=$kb
done
view_s=$(printf '%s' "$view_s" | best)
read -r rows path_bytes < <(awk '{print $2, $4}' "$work/out.txt")
read -r _ empty_kb < <(measure "$work/FileViewBench" "$work/empty")

per_entry=$(awk -v kb="$view_kb" -v e="$empty_kb" -v p="$path_bytes" -v n="$rows" \
  'BEGIN {printf "%.1f", ((kb - e) * 1024 - p) / n}')
ratio=$(awk -v a="$view_s" -v b="$find_s" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}')
echo "entries:            $rows (path text $path_bytes bytes)"
echo "find -printf:       ${find_s}s (best of $runs)"
echo "file view:          ${view_s}s (best of $runs), ${ratio}x find"
echo "peak memory:        ${view_kb} KiB (empty listing ${empty_kb} KiB)"
echo "beyond path text:   ${per_entry} bytes per entry"
awk -v r="$ratio" -v b="$per_entry" 'BEGIN {
  ok = (r <= 2.0 && b <= 60.0); print (ok ? "targets met" : "TARGETS MISSED"); exit !ok }'
