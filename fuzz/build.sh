#!/usr/bin/env bash
# Builds the fuzz targets into build/fuzz/targets/bin with clang, AddressSanitizer, UBSan and
# libFuzzer.
# libjpeg is built once from Debian's libjpeg-turbo source package (the one scripts/cross-libs.sh
# uses) with AddressSanitizer and coverage, so the decoder's reads inside it are checked too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/fuzz
jobs=${QUILLET_JOBS:-$(nproc)}
mkdir -p "$out"

jpeg=$out/libjpeg
if [ ! -f "$jpeg/lib/libjpeg.a" ]; then
  tree=$(bash "$root/scripts/jpeg-source.sh")
  # Its own code is Debian's: checked for memory errors, not held to our UBSan rules.
  flags="-g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address"
  cmake -S "$tree" -B "$out/libjpeg-build" -G Ninja -DCMAKE_C_COMPILER=clang \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="$flags" -DCMAKE_C_FLAGS_RELEASE= \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
    >"$out/libjpeg.log" 2>&1 || { tail -n 30 "$out/libjpeg.log" >&2; exit 1; }
  cmake --build "$out/libjpeg-build" --target jpeg-static -j "$jobs" >>"$out/libjpeg.log" 2>&1 ||
    { tail -n 30 "$out/libjpeg.log" >&2; exit 1; }
  mkdir -p "$jpeg/lib" "$jpeg/include"
  cp "$out/libjpeg-build/libjpeg.a" "$jpeg/lib/"
  cp "$out/libjpeg-build/jconfig.h" "$tree/jerror.h" "$tree/jmorecfg.h" "$tree/jpeglib.h" \
    "$jpeg/include/"
fi

cmake -S "$root/fuzz" -B "$out/targets" -G Ninja -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=None -DQUILLET_JPEG_PREFIX="$jpeg" >/dev/null
cmake --build "$out/targets" -j "$jobs"
