#!/usr/bin/env bash
# Builds the static libraries the Windows builds link, from Debian's own source packages, into
# the build tree: build/_deps/<triple>/{include,lib}. Done once; a second run finds them there.
#   scripts/cross-libs.sh x86_64-w64-mingw32|i686-w64-mingw32
set -euo pipefail
triple=${1:?usage: cross-libs.sh TRIPLE}
root=$(cd "$(dirname "$0")/.." && pwd)
deps=$root/build/_deps
prefix=$deps/$triple
if [ -f "$prefix/lib/libjpeg.a" ]; then
  echo "cross-libs: libjpeg for $triple present"
  exit 0
fi

tree=$(bash "$root/scripts/jpeg-source.sh")

case $triple in
  x86_64-*) toolchain=$root/cmake/mingw64.cmake ;;
  i686-*) toolchain=$root/cmake/mingw32.cmake ;;
  *) echo "cross-libs: unknown triple $triple" >&2; exit 2 ;;
esac

work=$deps/build-libjpeg-$triple
cmake -S "$tree" -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
  -DWITH_JPEG8=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=OFF >"$work.log" 2>&1 ||
  { tail -n 30 "$work.log" >&2; exit 1; }
cmake --build "$work" --target jpeg-static >>"$work.log" 2>&1 || { tail -n 30 "$work.log" >&2; exit 1; }
mkdir -p "$prefix/lib" "$prefix/include"
cp "$work/libjpeg.a" "$prefix/lib/libjpeg.a"
cp "$work/jconfig.h" "$tree/jerror.h" "$tree/jmorecfg.h" "$tree/jpeglib.h" "$prefix/include/"
echo "cross-libs: libjpeg for $triple built into $prefix"
