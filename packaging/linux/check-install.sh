#!/usr/bin/env bash
# Installs the Debian package the way a user does, on a Debian 12 that has none of the build's
# dependencies, and removes it again (root; downloads Debian packages, so it is not part of the
# test command):
#   packaging/linux/check-install.sh
# A minimal Debian 12 (debootstrap --variant=minbase, from the Debian archive this machine's apt
# names first, or DEBIAN_MIRROR) is made in build/chroot-bookworm; there
# `apt install ./quillet_*.deb` must fetch every dependency, quillet-report --version must run
# from the installed place, the Qt program must start (offscreen) and stay up, and `apt remove`
# must leave no file of the package behind. The tree is compared before the install and after
# the removal and the purge of every package the install brought; any difference is printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# The Debian archive this machine's apt uses (its first Debian entry for bookworm), unless
# DEBIAN_MIRROR names another.
mirror=${DEBIAN_MIRROR:-$(bash "$root/scripts/debian-sources.sh" uri bookworm)}
debs=("$root"/build/packages/quillet_*.deb)
[ -f "${debs[0]}" ] || { echo "install check: no build/packages/quillet_*.deb; run packaging/linux/build.sh" >&2; exit 1; }
deb=${debs[0]}
[ "$(id -u)" = 0 ] || { echo "install check: needs root (debootstrap, chroot)" >&2; exit 1; }
command -v debootstrap >/dev/null || bash "$root/scripts/setup.sh"

target=$root/build/chroot-bookworm
cleanup() {
  for mount in proc sys dev/pts dev; do umount "$target/$mount" 2>/dev/null || true; done
}
trap cleanup EXIT
cleanup
rm -rf "$target"
echo "install check: debootstrap --variant=minbase bookworm from $mirror"
debootstrap --variant=minbase bookworm "$target" "$mirror" >"$root/build/debootstrap.log" 2>&1 ||
  { tail -n 20 "$root/build/debootstrap.log"; exit 1; }
for mount in dev dev/pts proc sys; do mount --bind "/$mount" "$target/$mount"; done
run() { chroot "$target" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }

# Everything but the package manager's own records, caches and logs, and the kernel's trees.
snapshot() {
  (cd "$target" && find . -xdev \( -path ./proc -o -path ./sys -o -path ./dev -o -path ./tmp -o -path ./run \
    -o -path ./var/lib/dpkg -o -path ./var/lib/apt -o -path ./var/cache -o -path ./var/log \
    -o -path ./root \) -prune -o -print | sort)
}

run apt-get update -q >/dev/null
for dependency in cmake g++ qt6-base-dev libjpeg62-turbo-dev; do
  if run dpkg-query -W -f='${Status}' "$dependency" 2>/dev/null | grep -q 'ok installed'; then
    echo "install check: the chroot already has the build dependency $dependency" >&2; exit 1
  fi
done
snapshot >"$root/build/chroot-before.txt"
installedBefore=$(run dpkg-query -W -f='${Package}\n' | sort)

cp "$deb" "$target/tmp/"
run apt install -y -q "./tmp/$(basename "$deb")" 2>&1 | grep -E '^(Setting up|E:)' | sed 's/^/  /' | tail -n 5
version=$(dpkg-deb -f "$deb" Version)
printed=$(run quillet-report --version)
[ "$printed" = "quillet-report $version" ] || { echo "install check: quillet-report --version says '$printed'" >&2; exit 1; }
echo "install check: /usr/bin/quillet-report --version: $printed"
run quillet-report --format csv --add /usr/share/doc/quillet | sed 's/^/  /'
# The Qt program must find every library and its platform plugin and keep running until stopped.
status=0
run env QT_QPA_PLATFORM=offscreen timeout 5 quillet /usr/share 2>&1 | sed 's/^/  quillet: /' || status=${PIPESTATUS[0]}
[ "$status" = 124 ] || { echo "install check: quillet ended with status $status instead of running" >&2; exit 1; }
echo "install check: quillet started offscreen and ran until stopped"

mapfile -t packaged < <(run dpkg-query -L quillet)
mapfile -t brought < <(comm -13 <(echo "$installedBefore") \
  <(run dpkg-query -W -f='${Package}\n' | sort) | grep -vx quillet)
echo "install check: apt install brought ${#brought[@]} packages besides quillet"
run apt remove -y -q quillet >/dev/null 2>&1
left=()
for path in "${packaged[@]}"; do
  [ -f "$target$path" ] && left+=("$path")
done
[ ${#left[@]} = 0 ] || { echo "install check: apt remove left ${left[*]}" >&2; exit 1; }
state=$(run dpkg-query -W -f='${db:Status-Abbrev}' quillet 2>/dev/null || true)
echo "install check: apt remove: no file of the package left; dpkg state '${state:-unknown}'"
named=$(cd "$target" && find . -xdev -path ./proc -prune -o -iname '*quillet*' -print | grep -v '^./tmp/' || true)
[ -z "$named" ] || { echo "install check: left after remove: $named" >&2; exit 1; }

# Purging what the install brought must give back the tree from before it, but for what
# the dependencies' maintainer scripts leave (printed, not a failure of this package).
run apt-get purge -y -q "${brought[@]}" >/dev/null
snapshot >"$root/build/chroot-after.txt"
if diff "$root/build/chroot-before.txt" "$root/build/chroot-after.txt" >"$root/build/chroot-diff.txt"; then
  echo "install check: after purging the dependencies too, the tree equals the one before the install"
else
  echo "install check: after purging the dependencies too, left by their scripts:"
  grep '^[<>]' "$root/build/chroot-diff.txt" | sed 's/^/  /'
fi
echo "install check: ok"
