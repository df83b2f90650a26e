#!/usr/bin/env bash
# Installs what is missing, builds Quorvane and starts it under Wine: the x86 build where this host
# runs 32-bit code, else the x64 build. Only the program is built (no test programs), into the
# build's usual folder (build/x86 or build/x64, which scripts/test.sh uses too). It runs in a Wine
# prefix of its own inside the build folder (its z: drive removed, so nothing the program cleans can
# reach the host's files), with Zelbrin.dat and the help pages beside it, under Xvfb when there is
# no display. Arguments go to the program (for instance -cleanonce, or /? for its switches).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/wine-env.sh"
bash "$here/scripts/install-deps.sh"
if qv_x86_runs; then arch=x86; else arch=x64; echo "starting the x64 build: $QV_X86_WHY" >&2; fi
build=${QV_BUILD_ROOT:-$here/build}/$arch
case "$arch" in
  x86) toolchain=mingw-i686.cmake ;;
  x64) toolchain=mingw-x86_64.cmake ;;
esac
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$here")}
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
echo "building the $arch program into $build" >&2
# A folder configured before keeps its settings (scripts/test.sh configures it with the tests).
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" >/dev/null
else
  cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/$toolchain" -DCMAKE_BUILD_TYPE=Release \
    "${launcher[@]}" >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target Quorvane

qv_use_prefix "$build/startprefix" "$arch" "$build/starthome"
dest="$WINEPREFIX/drive_c/Quorvane"
mkdir -p "$dest"
cp -f "$build/Quorvane.exe" "$here/data/Zelbrin.dat" "$dest/"
rm -rf "$dest/help"
cp -r "$here/help" "$dest/help"
cd "$dest"
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: starting under Xvfb" >&2
  exec xvfb-run -a "$QV_LOADER" 'C:\Quorvane\Quorvane.exe' "$@"
fi
exec "$QV_LOADER" 'C:\Quorvane\Quorvane.exe' "$@"
