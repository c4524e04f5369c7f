#!/usr/bin/env bash
# A scan carried between machines, warm, beside ncdu in one run: writing the export of FOLDER
# (quillet-report --format ncdu against ncdu -0 -o, and gdu -n -o), reading it back
# (quillet-report --import against ncdu -f FILE -o /dev/null), and the peak memory of each.
# Targets: writing within 0.6x ncdu, reading within 1.0x ncdu; memory flat when writing.
# Usage: bash bench/ncdu/run.sh [FOLDER] [RUNS]   (default /usr, 5 runs, the best counts)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
folder=${1:-/usr}
runs=${2:-5}
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target quillet-report >/dev/null
report=$root/build/linux/bin/quillet-report
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The best wall time of RUNS runs, and the peak resident size of the last, of a command line.
measure() {
  local best="" kb=0 s
  for ((i = 0; i < runs; ++i)); do
    /usr/bin/time -o "$work/time" -f '%e %M' "$@" >/dev/null 2>&1
    s=$(tail -n 1 "$work/time")
    kb=${s#* }
    s=${s% *}
    if [[ -z $best ]] || awk -v a="$s" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$s; fi
  done
  echo "$best $kb"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

"$report" --format ncdu "$folder" >"$work/ours.json"  # warms the tree
ncdu -0 -o "$work/theirs.json" "$folder"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
read -r ours ours_kb < <(measure "$report" --format ncdu "$folder")
read -r ncdu ncdu_kb < <(measure ncdu -0 -o /dev/null "$folder")
read -r gdu gdu_kb < <(measure gdu -n -o /dev/null "$folder")
read -r imp imp_kb < <(measure "$report" --import "$work/theirs.json")
read -r nf nf_kb < <(measure ncdu -f "$work/theirs.json" -o /dev/null)
entries=$(grep -c '"name"' "$work/ours.json" || true)
printf '%s: %s entries, export %s bytes\n' "$folder" "$entries" "$(stat -c %s "$work/ours.json")"
printf '  %-44s %7.3f s  %8d KiB  %s x ncdu\n' "quillet-report --format ncdu" "$ours" "$ours_kb" \
  "$(ratio "$ours" "$ncdu")"
printf '  %-44s %7.3f s  %8d KiB\n' "ncdu -0 -o FILE" "$ncdu" "$ncdu_kb"
printf '  %-44s %7.3f s  %8d KiB\n' "gdu -n -o FILE" "$gdu" "$gdu_kb"
printf '  %-44s %7.3f s  %8d KiB  %s x ncdu -f\n' "quillet-report --import FILE" "$imp" "$imp_kb" \
  "$(ratio "$imp" "$nf")"
printf '  %-44s %7.3f s  %8d KiB\n' "ncdu -f FILE -o /dev/null" "$nf" "$nf_kb"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
