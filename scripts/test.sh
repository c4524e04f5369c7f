#!/usr/bin/env bash
# Sets up, builds and runs every test, in this order: format check; the native build and every
# test under AddressSanitizer and UBSan; a short run of every fuzz target (fuzz/run.sh); the
# 64-bit Windows build and its tests under wine64; the 32-bit Windows build (built, not run:
# this kernel cannot run 32-bit code).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${QUILLET_JOBS:-$(nproc)}
step() { printf '\n=== %s\n' "$*"; }

step "setup"
bash scripts/setup.sh
bash scripts/cross-libs.sh x86_64-w64-mingw32
bash scripts/cross-libs.sh i686-w64-mingw32

step "format check"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t sources < <(git ls-files -- '*.cpp' '*.h')
else
  mapfile -t sources < <(find scan lists report ui tests bench -name '*.cpp' -o -name '*.h')
fi
clang-format --dry-run -Werror "${sources[@]}"
echo "format: ${#sources[@]} files clean"

step "native build and tests (AddressSanitizer, UBSan)"
cmake --preset linux-asan >/dev/null
cmake --build --preset linux-asan -j "$jobs"
native_log=$(mktemp)
set +e
ctest --preset linux-asan -j "$jobs" 2>&1 | tee "$native_log"
native_rc=${PIPESTATUS[0]}
set -e

step "fuzz targets, short runs from the committed seeds (AddressSanitizer, UBSan)"
fuzz_log=$(mktemp)
set +e
bash fuzz/run.sh --runs "${QUILLET_FUZZ_RUNS:-2000}" 2>&1 | tee "$fuzz_log"
fuzz_rc=${PIPESTATUS[0]}
set -e

step "mingw64 build and tests under wine64"
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 -j "$jobs"
mkdir -p build/mingw64/wineprefix
WINEPREFIX=$root/build/mingw64/wineprefix WINEDEBUG=-all DISPLAY= /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
wine_log=$(mktemp)
set +e
ctest --preset mingw64 2>&1 | tee "$wine_log"
wine_rc=${PIPESTATUS[0]}
set -e

step "mingw32 build (not run)"
cmake --preset mingw32 >/dev/null
cmake --build --preset mingw32 -j "$jobs"
ls build/mingw32/bin/*.exe

step "summary"
echo "native (ASan+UBSan): $(grep -E 'tests passed|tests failed' "$native_log" | tail -n 1)"
echo "$(grep -E '^fuzz:' "$fuzz_log" | tail -n 1 || echo 'fuzz: did not run')"
echo "mingw64 under wine64: $(grep -E 'tests passed|tests failed' "$wine_log" | tail -n 1)"
rm -f "$native_log" "$fuzz_log" "$wine_log"
if [ "$native_rc" -ne 0 ] || [ "$fuzz_rc" -ne 0 ] || [ "$wine_rc" -ne 0 ]; then
  echo "FAILED"
  exit 1
fi
echo "all passed"
