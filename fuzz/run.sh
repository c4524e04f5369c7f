#!/usr/bin/env bash
# Builds and runs every fuzz target (one per folder of fuzz/corpus), one after the other:
#   fuzz/run.sh SECONDS     each target for SECONDS, growing its corpus in build/fuzz/corpus/
#   fuzz/run.sh --runs N    each target for N runs from the committed seeds alone (the test step)
# Prints each target's run count, then "fuzz: T targets, R runs, no failure" or the failures;
# exits non-zero when a target failed. A failing input is kept in build/fuzz/artifacts/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/fuzz
usage() { echo "usage: fuzz/run.sh SECONDS | --runs N" >&2; exit 2; }
if [ "${1:-}" = --runs ]; then
  [[ ${2:-} =~ ^[0-9]+$ ]] || usage
  limit=(-runs="$2" -seed=1)
  short=1
else
  [[ ${1:-} =~ ^[0-9]+$ ]] || usage
  limit=(-max_total_time="$1")
  short=0
fi

mkdir -p "$out"
if ! bash "$root/fuzz/build.sh" >"$out/build.log" 2>&1; then
  tail -n 40 "$out/build.log" >&2
  echo "fuzz: build failed" >&2
  exit 1
fi

# The file-list target makes a folder tree per input: in memory when the machine has /dev/shm.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
else
  mkdir -p "$out/tmp"
  export TMPDIR=$out/tmp
fi
export UBSAN_OPTIONS=print_stacktrace=1

# The About picture is the JPEG target's main seed; it stays in resources/ only.
mkdir -p "$out/seeds/jpeg" "$out/artifacts"
cp "$root/resources/about.jpg" "$out/seeds/jpeg/"

targets=0
total=0
failed=()
skipped=()
for seeds in "$root"/fuzz/corpus/*/; do
  name=$(basename "$seeds")
  bin=$out/targets/bin/fuzz_$name
  if [ "$name" = utf16 ] && [ ! -f "$root/scan/Utf16.h" ]; then
    skipped+=("$name")
    echo "$name: skipped (no scan/Utf16.h yet)"
    continue
  fi
  extra=()
  [ -d "$out/seeds/$name" ] && extra=("$out/seeds/$name")
  if [ $short = 1 ]; then
    work=$(mktemp -d "$out/short.XXXXXX")
  else
    work=$out/corpus/$name
    mkdir -p "$work"
  fi
  log=$out/$name.log
  targets=$((targets + 1))
  set +e
  "$bin" "${limit[@]}" -timeout=60 -rss_limit_mb=2560 -artifact_prefix="$out/artifacts/$name-" \
    "$work" "$seeds" "${extra[@]}" >"$log" 2>&1
  rc=$?
  set -e
  [ $short = 1 ] && rm -rf "$work"
  runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -n 1)
  if [ $rc -ne 0 ] || [ -z "$runs" ]; then
    failed+=("$name")
    echo "$name: FAILED (exit $rc), log $log"
    grep -v -E '^ *#[0-9]+|^INFO|NEW_FUNC|NOTE:|Combine libFuzzer|^MS:|^0x|^$' "$log" |
      head -n 30 | sed 's/^/  /'
    continue
  fi
  total=$((total + runs))
  echo "$name: $runs runs"
done

summary="fuzz: $targets targets, $total runs"
[ ${#skipped[@]} -gt 0 ] && summary+=" (skipped: ${skipped[*]})"
if [ ${#failed[@]} -gt 0 ]; then
  echo "$summary, FAILED: ${failed[*]}"
  exit 1
fi
echo "$summary, no failure"
