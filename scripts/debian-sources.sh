#!/usr/bin/env bash
# Reads this machine's apt sources and prints what the project's scripts need of Debian's own
# entries, so that no archive address is written into the project:
#   scripts/debian-sources.sh deb-src [EXCLUDE]   deb822 deb-src stanzas mirroring the Debian deb
#                                                 entries: their URIs, suites, components and
#                                                 keyring (and Trusted, Check-Valid-Until)
#   scripts/debian-sources.sh uri SUITE           the first configured Debian URI with SUITE
# Both apt formats are read: one-line entries in sources.list and sources.list.d/*.list, deb822
# stanzas in sources.list.d/*.sources (a stanza with "Enabled: no" is skipped). An entry is
# Debian's when apt's copy of its Release file says "Origin: Debian", so apt must have fetched
# them once (apt-get update); a suite that already has a deb-src entry (other than in the file
# EXCLUDE) gets none. Exits with 3 when no entry is known as Debian's (or none has SUITE). Apt's
# own settings (APT_CONFIG, Dir::Etc, Dir::State::Lists) say where the sources and lists are.
set -euo pipefail
mode=${1:?usage: debian-sources.sh deb-src [EXCLUDE] | uri SUITE}
case $mode in
  deb-src) exclude=${2:-} suite= ;;
  uri) suite=${2:?usage: debian-sources.sh uri SUITE} exclude= ;;
  *) echo "debian-sources: deb-src or uri, not '$mode'" >&2; exit 2 ;;
esac

sourcelist='' parts=''
eval "$(apt-config shell sourcelist Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d)"
files=()
[ -f "$sourcelist" ] && files+=("$sourcelist")
# Apt reads the parts in name order, only names of these characters with these endings.
for file in "${parts%/}"/*; do
  name=${file##*/}
  [[ $name =~ ^[A-Za-z0-9_.-]+\.(list|sources)$ ]] && [ -f "$file" ] && [ "$file" != "$exclude" ] &&
    files+=("$file")
done

# "URI SUITE" of every suite apt knows as Debian's, the URI ending in one slash.
# shellcheck disable=SC2016 # $(...) here is apt's format, not the shell's
debian=$(apt-get indextargets --format '$(TARGET_OF) $(REPO_URI) $(RELEASE) $(ORIGIN)' |
  awk '$1 == "deb" && $4 == "Debian" { print $2, $3 }' | sort -u)

# Every (type, URI, suite) of the entries, with the entry's components and options, as
# tab-separated records; a deb822 field's continuation lines are kept, joined by \001.
LC_ALL=C awk -v debian="$debian" -v mode="$mode" -v wanted="$suite" '
  BEGIN {
    n = split(debian, lines, "\n")
    for (i = 1; i <= n; i++) isDebian[lines[i]] = 1
  }
  function slash(uri) { sub(/\/+$/, "", uri); return uri "/" }
  # One record per URI and suite; k: the options as deb822 fields.
  function emit(types, uris, suites, components, signedBy, trusted, validUntil,   t, u, s, nt, nu, ns, T, U, S) {
    nt = split(types, T, " "); nu = split(uris, U, " "); ns = split(suites, S, " ")
    for (t = 1; t <= nt; t++) for (u = 1; u <= nu; u++) for (s = 1; s <= ns; s++) {
      if (T[t] == "deb-src") { hasSource[slash(U[u]) " " S[s]] = 1; continue }
      if (T[t] != "deb" || !((slash(U[u]) " " S[s]) in isDebian)) continue
      count++
      rUri[count] = U[u]; rSuite[count] = S[s]; rComponents[count] = components
      rSignedBy[count] = signedBy; rTrusted[count] = trusted; rValidUntil[count] = validUntil
    }
  }
  function flushStanza() {
    if (inStanza && tolower(f["enabled"]) != "no")
      emit(f["types"], f["uris"], f["suites"], f["components"], f["signed-by"], f["trusted"], f["check-valid-until"])
    delete f; inStanza = 0; key = ""
  }
  FNR == 1 { flushStanza(); deb822 = FILENAME ~ /\.sources$/ }
  deb822 {
    if ($0 ~ /^#/) next
    if ($0 ~ /^[ \t]*$/) { flushStanza(); next }
    if ($0 ~ /^[ \t]/ && key != "") { f[key] = f[key] "\001" $0; next }
    colon = index($0, ":")
    if (colon == 0) next
    key = tolower(substr($0, 1, colon - 1)); value = substr($0, colon + 1)
    gsub(/^[ \t]+|[ \t]+$/, "", value)
    f[key] = value; inStanza = 1
    next
  }
  {
    line = $0
    sub(/#.*/, "", line)
    n = split(line, w, /[ \t]+/)
    i = 1; if (w[1] == "") i++
    type = w[i++]
    if (type != "deb" && type != "deb-src") next
    signedBy = ""; trusted = ""; validUntil = ""
    if (substr(w[i], 1, 1) == "[") {
      options = ""
      for (; i <= n; i++) { options = options " " w[i]; if (w[i] ~ /\]$/) { i++; break } }
      gsub(/[\[\]]/, " ", options)
      m = split(options, o, " ")
      for (j = 1; j <= m; j++) {
        eq = index(o[j], "="); name = substr(o[j], 1, eq - 1); value = substr(o[j], eq + 1)
        if (name == "signed-by") signedBy = value
        else if (name == "trusted") trusted = value
        else if (name == "check-valid-until") validUntil = value
      }
    }
    uri = w[i++]; s = w[i++]; components = ""
    for (; i <= n; i++) if (w[i] != "") components = components (components == "" ? "" : " ") w[i]
    emit(type, uri, s, components, signedBy, trusted, validUntil)
  }
  END {
    flushStanza()
    if (count == 0) {
      print "debian-sources: no deb entry of apt'"'"'s sources is known as Debian'"'"'s (run apt-get update once)" > "/dev/stderr"
      exit 3
    }
    for (r = 1; r <= count; r++) {
      if (mode == "uri") {
        if (rSuite[r] == wanted) { print rUri[r]; exit }
        if (r == count) { print "debian-sources: no Debian entry has the suite " wanted > "/dev/stderr"; exit 3 }
        continue
      }
      if ((slash(rUri[r]) " " rSuite[r]) in hasSource) continue
      # Suites of the same URI, components and options go into one stanza, in their order.
      group = rUri[r] SUBSEP rComponents[r] SUBSEP rSignedBy[r] SUBSEP rTrusted[r] SUBSEP rValidUntil[r]
      if (!(group in suites)) { order[++groups] = group; first[group] = r }
      suites[group] = suites[group] (suites[group] == "" ? "" : " ") rSuite[r]
    }
    for (g = 1; g <= groups; g++) {
      r = first[order[g]]
      printf "%sTypes: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n", (g > 1 ? "\n" : ""), rUri[r], suites[order[g]], rComponents[r]
      if (rSignedBy[r] != "") { v = rSignedBy[r]; gsub("\001", "\n", v); print "Signed-By: " v }
      if (rTrusted[r] != "") print "Trusted: " rTrusted[r]
      if (rValidUntil[r] != "") print "Check-Valid-Until: " rValidUntil[r]
    }
  }' "${files[@]}" /dev/null
