#!/usr/bin/env bash
# Checks the Debian package in build/packages/ the way Debian checks one, without installing it:
# lintian finds no error and no warning; the package holds every file a user needs; its
# dependencies were computed from the binaries and name a Debian font with Japanese glyphs; its
# desktop entry is valid and claims no folder type (Quillet must never become the desktop's
# folder opener); its icons are there at every size (lintian checks that each has the size its
# folder says); its AppStream metadata is valid (appstreamcli, offline), named after its id,
# launches the package's desktop entry and has the package's version as its newest release; its
# manual pages format without a warning; and the quillet-report it carries prints the package's
# version.
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

# The font: one dependency whose alternatives are all fonts Debian has; those installed here
# must give fontconfig Japanese faces, and one of them must be installed (setup.sh installs it).
fonts=$(tr ',' '\n' <<<"$depends" | grep -E '(^|[ |])fonts-' | head -n 1 | tr -d ' ')
[ -n "$fonts" ] || fail "Depends names no font: $depends"
japanese=$(fc-list :lang=ja file | sed 's/: *$//')
covering=0
IFS='|' read -ra alternatives <<<"$fonts"
for font in "${alternatives[@]}"; do
  font=${font%%(*}
  apt-cache show "$font" >/dev/null 2>&1 || fail "Depends names $font, which apt does not know"
  dpkg-query -W -f='${Status}' "$font" 2>/dev/null | grep -q 'install ok installed' || continue
  grep -qxFf <(dpkg-query -L "$font") <<<"$japanese" ||
    fail "the installed $font gives fontconfig no face with Japanese glyphs"
  covering=$((covering + 1))
done
[ "$covering" -gt 0 ] || fail "no font of '$fonts' is installed here to check it"

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
for file in usr/bin/quillet usr/bin/quillet-report usr/share/applications/quillet.desktop \
  usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/quillet.png \
  usr/share/icons/hicolor/scalable/apps/quillet.svg \
  usr/share/man/man1/quillet.1.gz usr/share/man/man1/quillet-report.1.gz \
  usr/share/doc/quillet/copyright usr/share/doc/quillet/changelog.gz; do
  [ -f "$tree/$file" ] || fail "missing /$file"
done

entry=$tree/usr/share/applications/quillet.desktop
problems=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $problems"
if grep -E '^MimeType=' "$entry" | grep -q 'inode/directory'; then
  fail "the desktop entry claims folders: $(grep '^MimeType=' "$entry")"
fi

metainfos=("$tree"/usr/share/metainfo/*.metainfo.xml)
if [ ${#metainfos[@]} != 1 ] || [ ! -f "${metainfos[0]}" ]; then
  fail "not one file in /usr/share/metainfo"
fi
metainfo=${metainfos[0]}
id=$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "$metainfo")
[ "$(basename "$metainfo")" = "$id.metainfo.xml" ] || fail "$(basename "$metainfo") holds the id '$id'"
problems=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli: $problems"
release=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
[ "$release" = "$version" ] || fail "the AppStream metadata's newest release is $release, the package $version"
launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
[ -f "$tree/usr/share/applications/$launchable" ] || fail "the AppStream metadata launches $launchable, not in the package"
for page in "$tree"/usr/share/man/man1/*.1.gz; do
  warnings=$(zcat "$page" | LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l - 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
printed=$("$tree/usr/bin/quillet-report" --version)
[ "$printed" = "quillet-report $version" ] || fail "quillet-report --version says '$printed', the package $version"
echo "linux package $(basename "$deb"): lintian, files, depends, font, desktop entry, icons, AppStream, manual pages, version: ok"
