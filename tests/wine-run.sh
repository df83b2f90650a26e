#!/usr/bin/env bash
# Runs a Windows test program under Wine in a throwaway prefix inside the build folder.
# Usage: wine-run.sh BUILD_DIR ARCH PROGRAM.exe [ARGS...]     (ARCH: x86 or x64)
# Each build has its own prefix (a 64-bit one for x64). The prefix's HOME lies inside the build
# folder and its z: drive (the host's root) is removed, so no Windows path a test uses can reach
# the host's files. The program is copied into C:\qvtest\ with the shipped data files, so that
# "the program's own folder" is a folder inside the prefix.
set -euo pipefail
build=$(cd "$1" && pwd); arch=$2; shift 2
exe=$1; shift
src=$(cd "$(dirname "$0")/.." && pwd)
. "$src/scripts/wine-env.sh"

qv_use_prefix "$build/wineprefix" "$arch" "$build/winehome"
# Guard: never run against a prefix that is not this build's own.
case "$WINEPREFIX" in "$build"/*) ;; *) echo "refusing prefix $WINEPREFIX" >&2; exit 2;; esac
[ ! -e "$WINEPREFIX/dosdevices/z:" ] || { echo "z: drive still present" >&2; exit 2; }

dest="$WINEPREFIX/drive_c/qvtest"
mkdir -p "$dest"
name=$(basename "$exe")
cp -f "$exe" "$dest/$name"
cp -f "$src/data/Zelbrin.dat" "$dest/Zelbrin.dat"
# The help pages ship beside the program too.
rm -rf "$dest/help"
cp -r "$src/help" "$dest/help"
# Replaced by a rename, so a copy that is running keeps its own file.
put() {
  if [ -f "$1" ] && ! cmp -s "$1" "$2"; then
    mkdir -p "$(dirname "$2")"
    cp -f "$1" "$2.$$"
    mv -f "$2.$$" "$2"
  fi
}
# The program itself, for tests that start it as a second process; and every build of it that
# sits beside this build folder, for the tests that read the built programs.
put "$build/Quorvane.exe" "$dest/Quorvane.exe"
# A build that is no longer there takes its old copy with it.
for other in x86 x64; do
  if [ -f "$build/../$other/Quorvane.exe" ]; then
    put "$build/../$other/Quorvane.exe" "$dest/builds/$other/Quorvane.exe"
  else
    rm -rf "$dest/builds/$other"
  fi
done
# Some fixtures cannot be made with Windows calls under Wine (symbolic links made on the host): a
# program may have tests/fixtures/<program>.sh, run first with the prefix's C: drive folder.
fixture="$src/tests/fixtures/${name%.exe}.sh"
if [ -f "$fixture" ]; then bash "$fixture" "$WINEPREFIX/drive_c"; fi
cd "$dest"
exec "$QV_LOADER" "C:\\qvtest\\$name" "$@"
