#!/usr/bin/env bash
# The header-click sorts of the lists, timed on the optimised build: every column of a file
# list of about a million rows (the file view benchmark's tree) and of a result list of 100,000
# rows, both directions. Targets: 0.3 s per file list column, 0.1 s per result list column.
# Usage: bash bench/sort/run.sh [--compare]   (--compare: the comparators' stable sort as well)
set -euo pipefail
cd "$(dirname "$0")/../.."
work=build/bench-fileview
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target quillet-bench-sort >/dev/null
bash bench/fileview/tree.sh tree 1000
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
build/linux/bin/quillet-bench-sort "$@" "$work/tree" 100000 | tee "$work/sort.txt"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
# The best wall time of each column and direction against its target.
awk '/^file list/ {limit = 0.3} /^result list/ {limit = 0.1}
     /column/ {if ($5 > limit) missed = 1}
     END {print (missed ? "TARGETS MISSED" : "targets met"); exit missed}' "$work/sort.txt"
