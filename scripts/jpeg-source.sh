#!/usr/bin/env bash
# Prints the folder of Debian's libjpeg-turbo source, which the Windows cross builds and the
# fuzz build compile: unpacked once into build/_deps/src (from the deb-src entries setup.sh adds).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
src=$root/build/_deps/src
mkdir -p "$src"
tree=$(ls -d "$src"/libjpeg-turbo-*/ 2>/dev/null | head -n 1 || true)
if [ -z "$tree" ]; then
  log=$src/apt-source.log
  if ! (cd "$src" && apt-get source -q --download-only libjpeg-turbo && dpkg-source -q -x libjpeg-turbo_*.dsc) >"$log" 2>&1; then
    tail -n 20 "$log" >&2
    exit 1
  fi
  tree=$(ls -d "$src"/libjpeg-turbo-*/ | head -n 1)
fi
echo "${tree%/}"
