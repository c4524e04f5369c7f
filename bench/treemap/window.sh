#!/usr/bin/env bash
# The treemap pane of the Windows program under wine64 on a virtual display (Xvfb), on the file
# view benchmark's tree (10 folders of 100,111 entries, about a million): in one process
# (quillet-bench-treemap-window) the file view fills the list with the treemap shown, then the
# first picture after the listing's end and a repaint after each of three resizes are timed,
# beside the same layout and picture without a window and a repaint that only blits. Then
# bench/treemap's own program, native, on the same tree: what the layout and picture cost
# without wine. Targets: the first picture within 1 s of the listing's end, a repaint after a
# resize within 0.3 s.
# Usage: bash bench/treemap/window.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
work=build/bench-fileview
windows=1
bash bench/fileview/tree.sh tree 1000
tree=$root/$work/tree
# shellcheck source=bench/windowed.sh
source bench/windowed.sh
windowed_build_windows
cmake --build --preset mingw64 -j2 --target quillet-bench-treemap-window >/dev/null
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target quillet-bench-treemap >/dev/null
windowed_display
export WINEPREFIX=$prefix WINEDEBUG=-all

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
$wine build/mingw64/bin/quillet-bench-treemap-window.exe "$($wine winepath -w "$tree" 2>/dev/null)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "native, bench/treemap's program on the same tree:"
build/linux/bin/quillet-bench-treemap "$tree"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
