#!/usr/bin/env bash
# Runs a Windows test program under Wine in a throwaway prefix inside the build folder.
# Usage: wine-run.sh BUILD_DIR PROGRAM.exe [ARGS...]
# The prefix's HOME lies inside it and its z: drive (the host's root) is removed, so no Windows
# path a test uses can reach the host's files. The program is copied into C:\qvtest\ with the
# shipped data files, so that "the program's own folder" is a folder inside the prefix.
set -euo pipefail
build=$(cd "$1" && pwd); shift
exe=$1; shift

export WINEPREFIX="$build/wineprefix"
export HOME="$build/winehome"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME
mkdir -p "$HOME"

(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w
  fi
  rm -f "$WINEPREFIX/dosdevices/z:"
) 9>"$build/.wineprefix.lock"

# Guard: never run against a prefix that is not this build's own.
case "$WINEPREFIX" in "$build"/*) ;; *) echo "refusing prefix $WINEPREFIX" >&2; exit 2;; esac
[ ! -e "$WINEPREFIX/dosdevices/z:" ] || { echo "z: drive still present" >&2; exit 2; }

dest="$WINEPREFIX/drive_c/qvtest"
mkdir -p "$dest"
name=$(basename "$exe")
cp -f "$exe" "$dest/$name"
src=$(cd "$(dirname "$0")/.." && pwd)
cp -f "$src/data/Zelbrin.dat" "$dest/Zelbrin.dat"
# Some fixtures cannot be made with Windows calls under Wine (symbolic links made on the host): a
# program may have tests/fixtures/<program>.sh, run first with the prefix's C: drive folder.
fixture="$src/tests/fixtures/${name%.exe}.sh"
if [ -f "$fixture" ]; then bash "$fixture" "$WINEPREFIX/drive_c"; fi
cd "$dest"
exec wine "C:\\qvtest\\$name" "$@"
