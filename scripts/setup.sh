#!/usr/bin/env bash
# Installs everything Quillet needs to build, test, package and run on a Debian 12 machine, as
# root, from the machine's own apt sources, and adds the deb-src entries the Windows builds'
# libjpeg source comes from. Safe to run again: what is installed is skipped, and apt is asked
# only when something is missing or the deb-src entries changed. (The cross libraries are built
# by scripts/cross-libs.sh, once per tree.)
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config clang-format dpkg-dev
  clang libclang-rt-14-dev
  libgtest-dev googletest
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
  libjpeg62-turbo-dev
  rapidjson-dev  # the reader of scan exports (header-only; the Windows builds use it too)
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine64 fonts-wine xvfb xauth xdotool imagemagick fonts-noto-cjk
  ncdu gdu hyperfine time  # peers the tests and benchmarks compare with; time for peak memory
  lintian help2man debootstrap  # the Debian package: its check, its manual page, its chroot check
  appstream desktop-file-utils  # the package check: AppStream metadata, desktop entry
  librsvg2-bin  # resources/make-images.sh renders the large icons from the SVG
  nsis zip unzip  # the Windows installers (makensis) and portable zips, and their check
)

# A mirror caught mid-sync fails an index download ("File has unexpected size"). The update is
# tried again; if one index still fails, setup goes on with the indexes it has, and the install
# below is what tells whether a package is really out of reach.
update() {
  local tries
  for tries in 1 2 3; do
    apt-get update -q && return 0
    [ "$tries" = 3 ] || sleep $((tries * 5))
  done
  echo "setup: apt-get update left an index out (see above); going on with the others" >&2
}

# The 32-bit Windows tests run under Debian's 32-bit wine, which is an i386 package. It is
# installed on its own, after the rest: where the i386 indexes cannot all be read (a mirror
# mid-sync), the rest is still set up, and the 32-bit tests say NOT RUN in the summary.
packages32=(wine32:i386)
need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# Sources of libjpeg-turbo for the Windows cross builds come from Debian itself, through deb-src
# entries kept in a file of their own. They mirror this machine's own Debian entries (whatever
# mirror, proxy or snapshot those name), so the file is written anew when those change; none is
# written for a suite that has its deb-src entry already.
srcfile=/etc/apt/sources.list.d/quillet-src.sources
if ! wanted=$(bash "$(dirname "$0")/debian-sources.sh" deb-src "$srcfile" 2>/dev/null); then
  update  # apt knows an entry as Debian's from a Release file it has fetched
  wanted=$(bash "$(dirname "$0")/debian-sources.sh" deb-src "$srcfile")
fi
if [ "$wanted" != "$(cat "$srcfile" 2>/dev/null)" ]; then
  if [ -n "$wanted" ]; then echo "$wanted" >"$srcfile"; else rm -f "$srcfile"; fi
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ $need_update = 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  update
  [ ${#missing[@]} -gt 0 ] && apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
for p in "${packages32[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' && continue
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$p" ||
    echo "setup: $p could not be installed (see above); the 32-bit Windows tests will not run" >&2
done
echo "setup: packages present"
