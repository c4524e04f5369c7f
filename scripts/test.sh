#!/usr/bin/env bash
# Sets up, builds and runs every test, in this order: format check; the scripts' own checks
# (tests/scripts); the native build and every test under AddressSanitizer and UBSan; a short run of every fuzz target (fuzz/run.sh); the 64-bit
# Windows build and its tests under wine64; the 32-bit Windows build and its tests under the
# 32-bit wine, where this machine can run 32-bit code (the summary says so when it cannot). Each
# Windows build's tests make and use a wine prefix of their own in its build tree. Last, every
# package is built (scripts/package.sh) and checked: lintian, the contents, the dependencies,
# the desktop entry, the icons and the AppStream metadata of the Debian package, and each
# Windows installer installed, started and uninstalled in a scratch prefix, and its welcome page.
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

step "scripts' own checks"
scripts_log=$(mktemp)
scripts_rc=0
set +e
for check in tests/scripts/*.sh; do
  bash "$check" 2>&1 | tee -a "$scripts_log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || scripts_rc=1
done
set -e

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
wine64_log=$(mktemp)
set +e
ctest --preset mingw64 2>&1 | tee "$wine64_log"
wine64_rc=${PIPESTATUS[0]}
set -e

step "mingw32 build and tests under the 32-bit wine"
cmake --preset mingw32 >/dev/null
cmake --build --preset mingw32 -j "$jobs"
# The 32-bit loader runs only where the kernel runs 32-bit code and wine32 is installed.
wine32_log=$(mktemp)
wine32_rc=0
if [ ! -x /usr/lib/wine/wine ]; then
  echo "NOT RUN: the 32-bit wine (wine32:i386) is not installed; setup could not install it" |
    tee "$wine32_log"
elif wine32_probe=$(/usr/lib/wine/wine --version 2>&1); then
  set +e
  ctest --preset mingw32 2>&1 | tee "$wine32_log"
  wine32_rc=${PIPESTATUS[0]}
  set -e
else
  echo "NOT RUN: this machine cannot run the 32-bit wine loader (${wine32_probe:-no output})" |
    tee "$wine32_log"
fi

step "packages: build and check"
packages_log=$(mktemp)
set +e
{
  bash scripts/package.sh && bash packaging/linux/check.sh &&
    bash packaging/windows/check.sh x86_64 && bash packaging/windows/check.sh i686
} 2>&1 | tee "$packages_log"
packages_rc=${PIPESTATUS[0]}
set -e

step "summary"
echo "scripts: $(grep -c ': ok$' "$scripts_log") checks ok$([ "$scripts_rc" -eq 0 ] || echo ', FAILED')"
echo "native (ASan+UBSan): $(grep -E 'tests passed|tests failed' "$native_log" | tail -n 1)"
echo "$(grep -E '^fuzz:' "$fuzz_log" | tail -n 1 || echo 'fuzz: did not run')"
echo "mingw64 under wine64: $(grep -E 'tests passed|tests failed' "$wine64_log" | tail -n 1)"
echo "mingw32 under wine32: $(grep -E 'tests passed|tests failed|NOT RUN' "$wine32_log" | tail -n 1)"
# One line per package check: its outcome (ok, FAILED or NOT RUN), or that it was not reached.
checks=$(grep -E '^(linux|windows) packages?( [^:]*)?: (.*: ok|FAILED|NOT RUN)' "$packages_log" || true)
echo "packages: ${checks:-no check reached}" | sed '2,$s/^/          /'
[ "$packages_rc" -eq 0 ] || echo "packages: FAILED (see the log above)"
rm -f "$scripts_log" "$native_log" "$fuzz_log" "$wine64_log" "$wine32_log" "$packages_log"
if [ "$scripts_rc" -ne 0 ] || [ "$native_rc" -ne 0 ] || [ "$fuzz_rc" -ne 0 ] || [ "$wine64_rc" -ne 0 ] ||
  [ "$wine32_rc" -ne 0 ] || [ "$packages_rc" -ne 0 ]; then
  echo "FAILED"
  exit 1
fi
echo "all passed"
