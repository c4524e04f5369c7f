#!/usr/bin/env bash
# Installs everything Quillet needs to build, test and run on a Debian 12 machine, as root.
# Safe to run again: apt skips what is there, and the cross libraries are built once per tree.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config clang-format dpkg-dev
  clang libclang-rt-14-dev
  libgtest-dev googletest
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
  libjpeg62-turbo-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine64 wine32:i386 fonts-wine xvfb xauth xdotool imagemagick fonts-noto-cjk
  ncdu gdu hyperfine
  lintian help2man debootstrap  # the Debian package: its check, its manual page, its chroot check
  appstream desktop-file-utils  # the package check: AppStream metadata, desktop entry
  librsvg2-bin  # resources/make-images.sh renders the large icons from the SVG
  nsis zip unzip  # the Windows installers (makensis) and portable zips, and their check
)

# The 32-bit Windows tests run under Debian's 32-bit wine, which is an i386 package.
need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# Sources of libjpeg-turbo for the Windows cross builds come from Debian itself, through a
# deb-src entry kept in a file of its own.
srcfile=/etc/apt/sources.list.d/quillet-src.sources
if [ ! -f "$srcfile" ]; then
  cat >"$srcfile" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ $need_update = 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  [ ${#missing[@]} -gt 0 ] && apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
echo "setup: packages present"
