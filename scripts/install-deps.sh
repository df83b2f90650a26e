#!/usr/bin/env bash
# Installs what building and testing Quorvane needs on Debian 12: the mingw-w64 cross compiler,
# CMake, Wine with its 32-bit part, Xvfb, GoogleTest's sources and SQLite's sources.
set -euo pipefail

need_apt=0
for cmd in i686-w64-mingw32-g++-posix cmake wine xvfb-run tclsh xauth gcc make flock; do
  command -v "$cmd" >/dev/null 2>&1 || need_apt=1
done
[ -d /usr/src/googletest ] || need_apt=1
dpkg -s wine32:i386 >/dev/null 2>&1 || need_apt=1

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

if [ "$need_apt" = 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends \
    g++-mingw-w64-i686 cmake make gcc libc6-dev wine wine32:i386 wine64 xvfb xauth googletest tcl util-linux \
    xz-utils dpkg-dev ca-certificates >/dev/null
fi

# SQLite sources for the target build: Debian's source package, unpacked under third_party/ (not committed).
here=$(cd "$(dirname "$0")/.." && pwd)
sqdir="$here/third_party/sqlite"
if [ ! -f "$sqdir/sqlite3.c" ]; then
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    $SUDO tee /etc/apt/sources.list.d/quorvane-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    $SUDO apt-get update -qq
  fi
  work=$(mktemp -d)
  (cd "$work" && apt-get source --download-only -qq sqlite3 >/dev/null)
  tarball=$(ls "$work"/sqlite3_*.orig.tar.xz | head -n 1)
  mkdir -p "$work/src" "$sqdir"
  tar -xf "$tarball" -C "$work/src" --strip-components=1
  mkdir -p "$work/bld"
  (cd "$work/bld" && "$work/src/configure" --disable-tcl >/dev/null && make -s sqlite3.c >/dev/null)
  cp "$work/bld/sqlite3.c" "$work/bld/sqlite3.h" "$sqdir/"
  rm -rf "$work"
fi
echo "dependencies ready"
