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
  # Under Xvfb there is no window manager: Wine would wait for one on every hide or destroy of a
  # top-level window. Wine manages the windows itself instead.
  if ! grep -qs '"Managed"="N"' "$WINEPREFIX/user.reg"; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    wineserver -w
  fi
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
# The program itself, for tests that start it as a second process. Replaced by a rename, so a copy
# that is running keeps its own file.
if [ -f "$build/Quorvane.exe" ] && ! cmp -s "$build/Quorvane.exe" "$dest/Quorvane.exe"; then
  cp -f "$build/Quorvane.exe" "$dest/.Quorvane.exe.$$"
  mv -f "$dest/.Quorvane.exe.$$" "$dest/Quorvane.exe"
fi
# Some fixtures cannot be made with Windows calls under Wine (symbolic links made on the host): a
# program may have tests/fixtures/<program>.sh, run first with the prefix's C: drive folder.
fixture="$src/tests/fixtures/${name%.exe}.sh"
if [ -f "$fixture" ]; then bash "$fixture" "$WINEPREFIX/drive_c"; fi
cd "$dest"
exec wine "C:\\qvtest\\$name" "$@"
