#!/usr/bin/env bash
# Builds the Debian package of the Linux programs into build/packages/:
#   packaging/linux/build.sh
# A Release build with Debian's own compiler and linker flags (dpkg-buildflags: hardening on),
# packed by CPack; its dependencies are computed from the binaries by dpkg-shlibdeps.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
out=$root/build/packages
mkdir -p "$out"

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
for flag in CFLAGS CXXFLAGS CPPFLAGS LDFLAGS; do
  export "$flag=$(dpkg-buildflags --get "$flag")"
done
# CMake reads no CPPFLAGS; the preprocessor's (_FORTIFY_SOURCE) go with the compilers'.
export CFLAGS="$CPPFLAGS $CFLAGS" CXXFLAGS="$CPPFLAGS $CXXFLAGS"
# The flags are read when the build tree is first configured; a tree from other flags is redone.
stamp=build/package/.buildflags
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$CFLAGS $CXXFLAGS $CPPFLAGS $LDFLAGS" ]; then
  rm -rf build/package
fi
cmake --preset package >/dev/null
echo "$CFLAGS $CXXFLAGS $CPPFLAGS $LDFLAGS" >"$stamp"
cmake --build --preset package -j "${QUILLET_JOBS:-$(nproc)}"
rm -rf build/package/cpack
(cd build/package && cpack -G DEB --config CPackConfig.cmake >/dev/null)
deb=$(ls build/package/cpack/quillet_*.deb)
rm -f "$out"/quillet_*.deb
cp "$deb" "$out/"
echo "packaging: $out/$(basename "$deb")"
