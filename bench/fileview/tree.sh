#!/usr/bin/env bash
# Makes a benchmark tree once: build/bench-fileview/NAME, 10 x 10 x 10 folders of FILES files
# each (MakeTree.cpp). A tree whose generation finished is kept; a half-made one is made again.
# Usage: bash bench/fileview/tree.sh NAME FILES
set -euo pipefail
cd "$(dirname "$0")/../.."
name=${1:?usage: tree.sh NAME FILES}
files=${2:?usage: tree.sh NAME FILES}
work=build/bench-fileview
mkdir -p "$work"
if [[ -f $work/$name.done ]]; then exit 0; fi
c++ -std=c++20 -O2 bench/fileview/MakeTree.cpp -o "$work/MakeTree"
rm -rf "${work:?}/$name"
echo "generating $work/$name ..."
"$work/MakeTree" "$work/$name" "$files"
touch "$work/$name.done"
