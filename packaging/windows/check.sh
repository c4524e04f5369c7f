#!/usr/bin/env bash
# Checks the Windows packages of one architecture, as packaging/windows/build.sh left them in
# build/packages/, under wine and without a display:
#   packaging/windows/check.sh x86_64|i686
# The zip: its listing and its texts. The installer, in a wine prefix made afresh for each run
# in build/<preset>/package-check (null graphics driver; kept for a look only when the check
# fails), once for the current user (the default) and once for all users (/AllUsers): installed
# silently, it must add exactly its files, its shortcut and its uninstall entry and change
# nothing else; the installed program's version must be the installer's; the program must
# start, show its main window and end when that is closed; the registered silent uninstall must
# leave the prefix as it was before the install. Last, the welcome page of each mode must end
# with its "click Next" line. The last line says the outcome.
set -euo pipefail
arch=${1:?usage: check.sh x86_64|i686}
case $arch in
  x86_64) preset=mingw64 triple=x86_64-w64-mingw32 loader=wine64 ;;
  i686) preset=mingw32 triple=i686-w64-mingw32 loader=wine ;;
  *) echo "check.sh: x86_64 or i686, not '$arch'" >&2; exit 2 ;;
esac
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
summary="windows packages $arch"

fail() {
  echo "$summary: FAILED: $*"
  exit 1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build/$preset/CMakeCache.txt" 2>/dev/null || true)
setup=$root/build/packages/quillet-$version-setup-$arch.exe
portable=$root/build/packages/quillet-$version-windows-$arch.zip
if [ -z "$version" ] || [ ! -f "$setup" ] || [ ! -f "$portable" ]; then
  fail "no packages of version '${version}' in build/packages (run packaging/windows/build.sh $arch)"
fi

# The 32-bit loader runs only where the kernel runs 32-bit code and wine32 is installed.
if [ "$loader" = wine ] && ! probe_out=$(/usr/lib/wine/wine --version 2>&1); then
  echo "$summary: NOT RUN: this machine cannot run the 32-bit wine loader (${probe_out:-no output})"
  exit 0
fi

work=$root/build/$preset/package-check
prefix=$work/prefix
wine=/usr/lib/wine/$loader
wineserver=/usr/lib/wine/wineserver
# No display: windows go to wine's null driver. winemenubuilder would copy every Start menu
# shortcut into the desktop menus of the real home folder.
export WINEDEBUG=-all DISPLAY='' WINEDLLOVERRIDES="winemenubuilder.exe=d"

# A prefix of a run that was stopped may still have its server and programs.
if [ -d "$prefix" ]; then
  WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true
fi
rm -rf "$work"
mkdir -p "$work"
trap 'WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true' EXIT

# --- The zip -----------------------------------------------------------------------------------
listing=$(unzip -Z1 "$portable" | LC_ALL=C sort | tr '\n' ' ')
[ "$listing" = "LICENSE.txt THIRD-PARTY-NOTICES.txt quillet.exe " ] ||
  fail "the zip holds '$listing', not LICENSE.txt THIRD-PARTY-NOTICES.txt quillet.exe"
unzip -q "$portable" -d "$work/zip"
tr -d '\r' <"$work/zip/LICENSE.txt" | cmp -s - "$root/LICENSE" ||
  fail "the zip's LICENSE.txt is not the project's LICENSE"
tail -c +4 "$work/zip/THIRD-PARTY-NOTICES.txt" | tr -d '\r' | cmp -s - "$here/THIRD-PARTY-NOTICES.txt" ||
  fail "the zip's THIRD-PARTY-NOTICES.txt is not packaging/windows/THIRD-PARTY-NOTICES.txt"
if "$triple-objdump" -h "$work/zip/quillet.exe" | grep -q '\.debug_'; then
  fail "the zip's quillet.exe still has debug sections (not stripped)"
fi

# --- The probe: what the check asks of Windows (see probe.cpp) ---------------------------------
probe=$root/build/$preset/package-probe.exe
if [ ! -f "$probe" ] || [ "$here/probe.cpp" -nt "$probe" ]; then
  "$triple-g++-posix" -std=c++20 -O1 -Wall -Wextra -Werror -municode -static \
    -o "$probe" "$here/probe.cpp" -lversion -lole32 -luuid
fi

# A Windows path of the prefix's C: drive, as a path here.
unix_path() {
  local p=${1#[Cc]:\\}
  echo "$prefix/drive_c/${p//\\//}"
}
# A path here, as wine sees it on its Z: drive.
windows_path() {
  local p=$1
  echo "Z:${p//\//\\}"
}

# --- The prefix ------------------------------------------------------------------------------
bash "$root/scripts/wineprefix.sh" "$prefix" "$loader" >/dev/null
export WINEPREFIX=$prefix
users=()
for folder in "$prefix"/drive_c/users/*/; do
  folder=${folder%/}
  [ "${folder##*/}" = Public ] || users+=("${folder##*/}")
done
[ ${#users[@]} = 1 ] || fail "the prefix has not one user but: ${users[*]}"
user=${users[0]}

# The prefix as lines: every file and folder of drive C, the size and time of every file (so that
# a file written over counts), every registry key (alone, so that an empty key counts) and every
# value with its key. The times wine keeps on keys are left out.
snapshot() {
  # The registry reaches the disk when the server ends, after the last process.
  "$wineserver" -w
  {
    (cd "$prefix" && find drive_c -mindepth 1 -printf 'file %y %p\n' -type f -printf 'data %p %s %T@\n')
    reg_lines HKLM "$prefix/system.reg"
    reg_lines HKCU "$prefix/user.reg"
  } | LC_ALL=C sort >"$1"
}
reg_lines() {
  awk -v hive="$1" '
    /^\[/ { key = $0; sub(/\] [0-9]+$/, "]", key); print "reg " hive key; next }
    /^(#|;|WINE REGISTRY|$)/ { next }
    {
      line = $0
      # Long binary values go on over lines that end in a backslash.
      while (line ~ /,\\$/ && (getline more) > 0) { sub(/\\$/, "", line); sub(/^ +/, "", more); line = line more }
      print "reg " hive key " " line
    }' "$2"
}
# What wine itself changes between two starts, whatever ran: it registers its display devices
# anew (dates, and the class names it sets when making the prefix). And after a restart an
# empty folder of NSIS's own in the user's temp folder: the uninstaller copies itself there to
# run (so that it can delete its own file) and leaves the copy for Windows to delete at the
# next start; wine deletes the file but not the folder.
noise='reg HKLM\[System\\\\CurrentControlSet\\\\Control\\\\Class\\\\|file d drive_c/users/[^/]+/Temp/~nsu[^/]*\.tmp$'
# Lines in $2 and not in $1, wine's own changes left out.
added() { LC_ALL=C comm -13 "$1" "$2" | grep -Ev "^($noise)" || true; }
changed() { diff "$1" "$2" | grep -E '^[<>]' | grep -Ev "^[<>] ($noise)" || true; }

# The value lines of one key of a snapshot, as name=value, strings unquoted and unescaped.
key_values() {
  local header="reg ${2}[${3//\\/\\\\}]"
  # Through the environment: awk -v would take the backslashes for escapes.
  H=$header awk 'index($0, ENVIRON["H"] " ") == 1 { print substr($0, length(ENVIRON["H"]) + 2) }' "$1" |
    sed -E 's/^"([^"]*)"=/\1=/; s/=dword:0*([0-9a-f])/=dword:\1/; s/="(.*)"$/=\1/; s/\\"/"/g; s/\\\\/\\/g'
}

# --- One install, start and uninstall --------------------------------------------------------
cycle() {
  local mode=$1 hive instdir menu
  local uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall'
  local -a options=(/S)
  if [ "$mode" = "all users" ]; then
    options+=(/AllUsers)
    hive=HKLM
    instdir='C:\Program Files\Quillet'
    menu='C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
  else
    hive=HKCU
    instdir="C:\\users\\$user\\AppData\\Local\\Programs\\Quillet"
    menu="C:\\users\\$user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"
  fi
  local snap=$work/${mode// /-}
  snapshot "$snap.before"

  "$wine" "$setup" "${options[@]}" || fail "$mode: the installer ended with $?"
  snapshot "$snap.installed"

  # Exactly these files and folders are new: the install folder with its files, the folders
  # above it that were not there, the shortcut.
  local dir=$instdir created=0
  local -a expect=()
  for f in quillet.exe LICENSE.txt THIRD-PARTY-NOTICES.txt uninstall.exe; do
    expect+=("file f $(unix_path "$instdir\\$f" | sed "s|^$prefix/||")")
  done
  expect+=("file f $(unix_path "$menu\\Quillet.lnk" | sed "s|^$prefix/||")")
  while [[ $dir == *\\* ]] && ! grep -qxF "file d $(unix_path "$dir" | sed "s|^$prefix/||")" "$snap.before"; do
    expect+=("file d $(unix_path "$dir" | sed "s|^$prefix/||")")
    created=$((created + 1))
    dir=${dir%\\*}
  done
  created=$((created - 1))  # the install folder itself is not above it
  local new_files
  new_files=$(grep '^file ' "$snap.installed" | added <(grep '^file ' "$snap.before") -)
  if [ "$new_files" != "$(printf '%s\n' "${expect[@]}" | LC_ALL=C sort)" ]; then
    { diff <(printf '%s\n' "${expect[@]}" | LC_ALL=C sort) <(echo "$new_files") || true; } |
      sed 's/^/  /'
    fail "$mode: the install did not add exactly its files (< expected, > found)"
  fi
  cmp -s "$(unix_path "$instdir\\quillet.exe")" "$work/zip/quillet.exe" ||
    fail "$mode: the installed quillet.exe is not the zip's"

  # The registry: only the uninstall entry is new, and nothing else changed. Wine saves a key
  # that has neither values nor subkeys as a line of its own, so the Uninstall key's line comes
  # and goes with its first subkey.
  local entry="$uninstall_key\\Quillet" escaped_entry
  escaped_entry="reg ${hive}[${entry//\\/\\\\}]"
  local other
  other=$(grep '^reg ' "$snap.installed" | changed <(grep '^reg ' "$snap.before") - |
    grep -vF "> $escaped_entry" |
    grep -vxF -e "> reg ${hive}[${uninstall_key//\\/\\\\}]" -e "< reg ${hive}[${uninstall_key//\\/\\\\}]" ||
    true)
  if [ -n "$other" ]; then
    echo "$other" | sed 's/^/  /'
    fail "$mode: the install changed the registry outside its uninstall entry"
  fi
  # Wine saves a key with subkeys and no values only through its subkeys.
  local created_key=0 parent="reg ${hive}[${uninstall_key//\\/\\\\}"
  grep -qF -e "$parent]" -e "$parent\\\\" "$snap.before" || created_key=1
  local size=0
  for f in quillet.exe LICENSE.txt THIRD-PARTY-NOTICES.txt uninstall.exe; do
    size=$((size + $(stat -c %s "$(unix_path "$instdir\\$f")")))
  done
  local values expect_values
  values=$(key_values "$snap.installed" "$hive" "$entry" | LC_ALL=C sort)
  expect_values=$(LC_ALL=C sort <<EOF
CreatedFolders=dword:$created
CreatedUninstallKey=dword:$created_key
DisplayIcon=$instdir\\quillet.exe,0
DisplayName=Quillet
DisplayVersion=$version
EstimatedSize=dword:$(printf '%x' $((size / 1024)))
InstallLocation=$instdir
NoModify=dword:1
NoRepair=dword:1
Publisher=The Quillet developers
QuietUninstallString="$instdir\\uninstall.exe" /S
UninstallString="$instdir\\uninstall.exe"
EOF
  )
  if [ "$values" != "$expect_values" ]; then
    { diff <(echo "$expect_values") <(echo "$values") || true; } | sed 's/^/  /'
    fail "$mode: the uninstall entry $hive\\$entry is not as expected (< expected, > found)"
  fi

  # The shortcut starts the installed program.
  local target
  target=$("$wine" "$probe" link "$menu\\Quillet.lnk" | tr -d '\r') ||
    fail "$mode: cannot read the shortcut"
  [ "$target" = "$instdir\\quillet.exe" ] || fail "$mode: the shortcut starts '$target'"

  # The installed program carries the installer's version, which is the project's.
  local exe_version setup_version
  exe_version=$("$wine" "$probe" version "$instdir\\quillet.exe" | tr -d '\r' | tr '\n' ' ') ||
    fail "$mode: cannot read the version of the installed quillet.exe"
  setup_version=$("$wine" "$probe" version "$(windows_path "$setup")" | tr -d '\r' | tr '\n' ' ') ||
    fail "$mode: cannot read the version of the installer"
  [ "$exe_version" = "$setup_version" ] ||
    fail "$mode: quillet.exe has version $exe_version, its installer $setup_version"
  [ "$exe_version" = "$version.0 $version.0 $version $version " ] ||
    fail "$mode: the version resources say $exe_version, the project $version"

  # The program starts, shows its main window and ends when that is closed.
  "$wine" "$probe" run "$instdir\\quillet.exe" Quillet >/dev/null ||
    fail "$mode: the installed program did not show its window and end cleanly"

  # The uninstall Windows would run. It copies itself to the temp folder and returns at once;
  # the server ends when the copy has finished. A restart then carries out what it left for
  # the next start.
  "$wine" "$(unix_path "$instdir\\uninstall.exe")" /S || fail "$mode: the uninstaller ended with $?"
  "$wineserver" -w
  "$wine" wineboot -r
  snapshot "$snap.after"
  local left
  left=$(changed "$snap.before" "$snap.after")
  if [ -n "$left" ]; then
    echo "$left" | sed 's/^/  /'
    fail "$mode: the prefix is not as it was before the install (< before, > after)"
  fi
}

cycle "current user"
cycle "all users"

# The welcome page of each mode ends with the line that says to click Next, in the language the
# setup chose (English or Japanese, by the prefix's locale).
for options in "" /AllUsers; do
  welcome=$("$wine" "$probe" text "$(windows_path "$setup")" "$options" "Quillet $version") ||
    fail "${options:-current user}: no welcome page naming Quillet $version"
  case $welcome in
    *"Click Next to continue." | *"「次へ」をクリックし続行します。") ;;
    *) fail "${options:-current user}: the welcome page ends without its click-Next line: $welcome" ;;
  esac
done
# The prefix is large (wine copies its DLLs into it); it stays only when something failed.
"$wineserver" -w
rm -rf "$work"
echo "$summary: zip, installer (current user, all users), version, start, uninstall, welcome page: ok"
