#!/usr/bin/env bash
# The treemap's layout and picture on the optimised build, beside find's time on the same tree:
# a real tree (default /usr/share) and a generated one of a million entries. Targets: the first
# picture within 1 s of the listing's end, a repaint after a resize within 0.3 s, the layout
# keeping at most 16 bytes per tile.
# Usage: bash bench/treemap/run.sh [FOLDER]
set -euo pipefail
cd "$(dirname "$0")/../.."
folder=${1:-/usr/share}
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target quillet-bench-treemap >/dev/null
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
start=$(date +%s.%N)
find "$folder" -printf '%s %p\n' >/dev/null 2>&1 || true
echo "find -printf over $folder: $(echo "$(date +%s.%N) - $start" | bc) s"
build/linux/bin/quillet-bench-treemap "$folder"
build/linux/bin/quillet-bench-treemap --generate 1000000
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
