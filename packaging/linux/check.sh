#!/usr/bin/env bash
# Checks the Debian package in build/packages/ the way Debian checks one, without installing it:
# lintian finds no error and no warning; the package holds every file a user needs; its
# dependencies were computed from the binaries; its manual pages format without a warning; and
# the quillet-report it carries runs and prints the package's version.
#   packaging/linux/check.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
debs=("$root"/build/packages/quillet_*.deb)
[ -f "${debs[0]}" ] || { echo "linux package: no build/packages/quillet_*.deb; run packaging/linux/build.sh" >&2; exit 1; }
deb=${debs[0]}
fail() { echo "linux package: FAILED: $*"; exit 1; }

lintian --fail-on error,warning "$deb" ||
  fail "lintian reported the tags above"

version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libqt6gui6 libqt6core6 libjpeg62-turbo libc6 qt6-qpa-plugins; do
  [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
for file in usr/bin/quillet usr/bin/quillet-report usr/share/applications/quillet.desktop \
  usr/share/icons/hicolor/{16x16,32x32,48x48}/apps/quillet.png \
  usr/share/man/man1/quillet.1.gz usr/share/man/man1/quillet-report.1.gz \
  usr/share/doc/quillet/copyright usr/share/doc/quillet/changelog.gz; do
  [ -f "$tree/$file" ] || fail "missing /$file"
done
for page in "$tree"/usr/share/man/man1/*.1.gz; do
  warnings=$(zcat "$page" | LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l - 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
printed=$("$tree/usr/bin/quillet-report" --version)
[ "$printed" = "quillet-report $version" ] || fail "quillet-report --version says '$printed', the package $version"
echo "linux package $(basename "$deb"): lintian, files, depends, manual pages, version: ok"
