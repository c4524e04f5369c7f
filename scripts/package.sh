#!/usr/bin/env bash
# Sets up, builds the cross libraries when missing, and builds every package into build/packages/:
#   quillet_<version>_amd64.deb                  Debian 12 and later: apt install ./quillet_*.deb
#   quillet-<version>-setup-x86_64.exe, -i686    Windows installers (per user; /AllUsers per machine)
#   quillet-<version>-windows-x86_64.zip, -i686  portable quillet.exe with its licences
# The version is the one of project() in CMakeLists.txt, the same --version prints. The checks
# are packaging/linux/check.sh and packaging/windows/check.sh (scripts/test.sh runs them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/cross-libs.sh x86_64-w64-mingw32
bash scripts/cross-libs.sh i686-w64-mingw32
bash packaging/linux/build.sh
bash packaging/windows/build.sh x86_64
bash packaging/windows/build.sh i686
echo "packages in build/packages:"
ls -l build/packages
