#!/usr/bin/env bash
# Checks scripts/debian-sources.sh on a made-up apt configuration in both formats: which entries
# count as Debian's (by their Release files' Origin), what their deb-src stanzas carry (URIs,
# suites, components, keyring, options, a key written into the entry), that a suite with its own
# deb-src entry gets none, and which URI the chroot check takes.
#   tests/scripts/debian-sources.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "debian-sources: FAILED: $*"; exit 1; }

mkdir -p "$work"/etc/{sources.list.d,apt.conf.d,preferences.d} "$work"/{lists/partial,cache,state}
cat >"$work/apt.conf" <<CONF
Dir::Etc "$work/etc";
Dir::State "$work/state";
Dir::State::Lists "$work/lists";
Dir::Cache "$work/cache";
CONF
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
cat >"$work/etc/sources.list" <<LIST
# a local mirror of the main archive; its deb-src entry is there already
deb [arch=amd64 signed-by=$keyring] http://mirror.test/debian bookworm main contrib # comment
deb-src [signed-by=$keyring] http://mirror.test/debian bookworm main contrib
deb [ signed-by=$keyring ] http://mirror.test/debian bookworm-backports main contrib
  deb [trusted=yes] http://other.test/repo bookworm stable
LIST
cat >"$work/etc/sources.list.d/debian.sources" <<SOURCES
Types: deb
# a comment inside a stanza
URIs: http://mirror.test/debian/
Suites: bookworm-updates
Components: main
Signed-By: $keyring

Types: deb
URIs: http://dated.test/archive/debian-security/20250520T000000Z
Suites: bookworm-security
Components: main non-free-firmware
check-valid-until: no
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mDMEZ
 -----END PGP PUBLIC KEY BLOCK-----
SOURCES
# Not read by apt: a name without its ending.
cp "$work/etc/sources.list.d/debian.sources" "$work/etc/sources.list.d/debian.sources.disabled"
printf 'Types: deb\nEnabled: no\nURIs: http://mirror.test/debian\nSuites: trixie\nComponents: main\n' \
  >"$work/etc/sources.list.d/off.sources"

# What apt update would have fetched: a Release file and one index for each suite.
fetched() {  # fetched LISTS-NAME ORIGIN SUITE
  printf 'Origin: %s\nSuite: %s\nCodename: %s\nArchitectures: amd64\nComponents: main\n' \
    "$2" "$3" "$3" >"$work/lists/$1_dists_$3_Release"
  touch "$work/lists/$1_dists_$3_main_binary-amd64_Packages"
}
fetched mirror.test_debian Debian bookworm
fetched mirror.test_debian Debian bookworm-backports
fetched mirror.test_debian Debian bookworm-updates
fetched mirror.test_debian Debian trixie
fetched other.test_repo Other bookworm
fetched dated.test_archive_debian-security_20250520T000000Z Debian bookworm-security

export APT_CONFIG=$work/apt.conf
got=$(bash "$root/scripts/debian-sources.sh" deb-src) || fail "deb-src ended with $?"
expected="Types: deb-src
URIs: http://mirror.test/debian
Suites: bookworm-backports
Components: main contrib
Signed-By: $keyring

Types: deb-src
URIs: http://mirror.test/debian/
Suites: bookworm-updates
Components: main
Signed-By: $keyring

Types: deb-src
URIs: http://dated.test/archive/debian-security/20250520T000000Z
Suites: bookworm-security
Components: main non-free-firmware
Signed-By: 
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mDMEZ
 -----END PGP PUBLIC KEY BLOCK-----
Check-Valid-Until: no"
[ "$got" = "$expected" ] || fail "deb-src printed (< expected, > printed):
$(diff <(echo "$expected") <(echo "$got"))"

# Apt itself must take the result, beside the entries it mirrors.
echo "$got" >"$work/etc/sources.list.d/src.sources"
if ! apt-get indextargets --no-release-info >/dev/null 2>"$work/errors" || [ -s "$work/errors" ]; then
  fail "apt reads the deb-src stanzas with: $(cat "$work/errors")"
fi
rm "$work/etc/sources.list.d/src.sources"

for pair in "bookworm http://mirror.test/debian" \
  "bookworm-security http://dated.test/archive/debian-security/20250520T000000Z"; do
  got=$(bash "$root/scripts/debian-sources.sh" uri "${pair%% *}") || fail "uri ${pair%% *} ended with $?"
  [ "$got" = "${pair#* }" ] || fail "uri ${pair%% *} printed '$got', not ${pair#* }"
done
status=0
bash "$root/scripts/debian-sources.sh" uri trixie 2>/dev/null || status=$?
[ $status = 3 ] || fail "uri of a suite only a disabled stanza has ended with $status, not 3"

rm "$work"/lists/*Release
status=0
bash "$root/scripts/debian-sources.sh" deb-src >/dev/null 2>&1 || status=$?
[ $status = 3 ] || fail "with no Release file fetched, deb-src ended with $status, not 3"
echo "debian-sources: both formats, Debian's entries only, keyring and options, existing deb-src, uri: ok"
