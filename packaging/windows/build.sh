#!/usr/bin/env bash
# Builds the Windows packages of one architecture into build/packages/:
#   packaging/windows/build.sh x86_64|i686
# quillet-<version>-setup-<arch>.exe, the installer (NSIS), and quillet-<version>-windows-<arch>.zip,
# the program to run from any folder. The version is the one CMake has from project(); it is
# written nowhere else. Safe to run again: every output is made anew from the build tree.
set -euo pipefail
arch=${1:?usage: build.sh x86_64|i686}
case $arch in
  x86_64) preset=mingw64 triple=x86_64-w64-mingw32 ;;
  i686) preset=mingw32 triple=i686-w64-mingw32 ;;
  *) echo "build.sh: x86_64 or i686, not '$arch'" >&2; exit 2 ;;
esac
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cd "$root"  # the presets are found from the source folder

for tool in makensis zip "$triple-strip"; do
  command -v "$tool" >/dev/null || { echo "build.sh: $tool is missing (run scripts/setup.sh)" >&2; exit 1; }
done

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target quillet

# The installer's version information takes four numbers and the program's resource is made
# from major.minor.patch and a 0, so a version of any other shape would make the two disagree.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "build/$preset/CMakeCache.txt")
if ! [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  echo "build.sh: project version '$version' is not major.minor.patch" >&2
  exit 1
fi

# What both packages hold, as it lands in the install folder.
stage=$root/build/$preset/package
rm -rf "$stage"
mkdir -p "$stage"
# Fixed times (the last commit's) make the packages the same bytes for the same sources.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}
# The build keeps its debug information (RelWithDebInfo); users get the program without it.
# strip stamps the PE header with the time, SOURCE_DATE_EPOCH's when set.
"$triple-strip" -o "$stage/quillet.exe" "build/$preset/bin/quillet.exe"
# Text for Windows: CRLF line ends, and a byte order mark on the notices (they are UTF-8 and not
# ASCII) so that every Notepad reads them as UTF-8.
sed 's/\r*$/\r/' LICENSE >"$stage/LICENSE.txt"
{ printf '\xef\xbb\xbf'; sed 's/\r*$/\r/' "$here/THIRD-PARTY-NOTICES.txt"; } \
  >"$stage/THIRD-PARTY-NOTICES.txt"
touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*

out=$root/build/packages
mkdir -p "$out"
setup=$out/quillet-$version-setup-$arch.exe
portable=$out/quillet-$version-windows-$arch.zip
# Each package is made beside its name and renamed when complete, so a failed run never leaves
# a package that looks whole.
rm -f "$setup.part" "$portable.part"
makensis -V2 -WX -INPUTCHARSET UTF8 -DARCH="$arch" -DVERSION="$version" -DSTAGE="$stage" \
  -DICON="$root/build/$preset/ui/win32/generated/quillet.ico" -DOUTFILE="$setup.part" \
  "$here/quillet.nsi"
(cd "$stage" && TZ=UTC zip -q -X -D "$portable.part" quillet.exe LICENSE.txt THIRD-PARTY-NOTICES.txt)
mv -f "$setup.part" "$setup"
mv -f "$portable.part" "$portable"
echo "windows packages $arch: ${setup#"$root"/} ${portable#"$root"/}"
