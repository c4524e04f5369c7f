#!/usr/bin/env bash
# Sets up, builds and starts Quillet on FOLDER (default: your home folder). Without a display it
# says so and prints quillet-report's measurement of FOLDER instead.
#   scripts/run.sh [FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
folder=${1:-$HOME}
cd "$root"
bash scripts/setup.sh >/dev/null
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)" >/dev/null
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/linux/bin/quillet ]; then
  exec build/linux/bin/quillet "$folder"
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "quillet: no display (DISPLAY and WAYLAND_DISPLAY are unset); printing the report of $folder instead" >&2
fi
exec build/linux/bin/quillet-report "$folder"
