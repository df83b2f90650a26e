#!/usr/bin/env bash
# Installs what building, testing and packaging Quorvane needs on Debian 12: the mingw-w64 cross
# compilers for both builds, CMake, Wine (its 64-bit loader, and the 32-bit one, which only some
# hosts can run), Xvfb, GoogleTest's sources, NSIS and wixl (with msitools, to read what it made),
# SQLite's sources for the target builds, clang
# with its fuzzer runtime (the host-side fuzzing of the index.dat code), msiecfexport (an
# independent index.dat reader the tests compare with) and ImageMagick (scripts/screenshots.sh).
# Safe to run again: it installs only what is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 cmake make gcc libc6-dev wine wine64 wine32:i386 xvfb xauth
  googletest tcl util-linux xz-utils dpkg-dev ca-certificates nsis wixl msitools zip unzip clang libclang-rt-14-dev
  libmsiecf-utils imagemagick)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  # The 32-bit Wine loader installs on every host, even one whose kernel cannot run it; the
  # scripts try it before they use it.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Source entries for the machine's own Debian archives: the same URIs, suites and components as
# its binary entries, so that `apt-get source` works with whatever mirror the machine uses. Only
# entries of this release's suites are taken (a third-party archive may publish no sources).
derive_source_entries() {
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || return 0
  # deb822 files: one paragraph per entry.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v codename="$codename" '
      function flush() {
        if (types ~ /(^|[ \t])deb([ \t]|$)/ && enabled !~ /^[Nn]o/ && uris != "" && suites != "") {
          n = split(suites, s, /[ \t]+/); kept = ""
          for (i = 1; i <= n; i++)
            if (s[i] == codename || index(s[i], codename "-") == 1) kept = kept (kept == "" ? "" : " ") s[i]
          if (kept != "") {
            print "Types: deb-src"; print "URIs: " uris; print "Suites: " kept
            if (comps != "") print "Components: " comps
            if (signed != "") print "Signed-By: " signed
            print ""
          }
        }
        types = uris = suites = comps = signed = enabled = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      {
        key = $0; sub(/:.*/, "", key); val = $0; sub(/^[^:]*:[ \t]*/, "", val)
        if (key == "Types") types = val; else if (key == "URIs") uris = val
        else if (key == "Suites") suites = val; else if (key == "Components") comps = val
        else if (key == "Signed-By") signed = val; else if (key == "Enabled") enabled = val
      }
      END { flush() }
    ' "$f"
  done
  # One-line files: "deb [options] URI suite components...".
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v codename="$codename" '
      $1 == "deb" {
        i = 2; opts = ""
        if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) { opts = opts " " $i; i++ } opts = opts " " $i; i++ }
        uri = $i; suite = $(i + 1); comps = ""
        for (j = i + 2; j <= NF; j++) comps = comps " " $j
        if (suite == codename || index(suite, codename "-") == 1) {
          print "Types: deb-src"; print "URIs: " uri; print "Suites: " suite
          if (comps != "") print "Components:" comps
          if (match(opts, /signed-by=[^ \]]+/)) print "Signed-By: " substr(opts, RSTART + 10, RLENGTH - 10)
          print ""
        }
      }
    ' "$f"
  done
}

# SQLite sources for the target builds: Debian's source package, made into its single-file form
# under third_party/ (not committed).
sqdir="$here/third_party/sqlite"
if [ ! -f "$sqdir/sqlite3.c" ]; then
  srclist=/etc/apt/sources.list.d/quorvane-src.sources
  entries=$(derive_source_entries)
  if [ -z "$entries" ] && ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "no Debian archive of this release in the apt sources: cannot fetch SQLite's sources" >&2
    exit 1
  fi
  if [ -n "$entries" ] && ! { [ -f "$srclist" ] && [ "$(cat "$srclist")" = "$entries" ]; }; then
    printf '%s\n' "$entries" | $SUDO tee "$srclist" >/dev/null
    $SUDO apt-get update -qq
  elif ! apt-cache showsrc sqlite3 >/dev/null 2>&1 || [ -z "$(apt-cache showsrc sqlite3 2>/dev/null)" ]; then
    $SUDO apt-get update -qq
  fi
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  (cd "$work" && apt-get source --download-only -qq sqlite3 >/dev/null)
  tarball=$(ls "$work"/sqlite3_*.orig.tar.xz | head -n 1)
  mkdir -p "$work/src" "$sqdir"
  tar -xf "$tarball" -C "$work/src" --strip-components=1
  mkdir -p "$work/bld"
  (cd "$work/bld" && "$work/src/configure" --disable-tcl >/dev/null && make -s sqlite3.c >/dev/null)
  cp "$work/bld/sqlite3.c" "$work/bld/sqlite3.h" "$sqdir/"
fi
echo "dependencies ready"
