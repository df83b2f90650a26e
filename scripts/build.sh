#!/usr/bin/env bash
# Configures and builds Quorvane and its tests for each build into its own folder:
#   build/x86/   32-bit Windows, XP and later    (toolchain cmake/mingw-i686.cmake)
#   build/x64/   64-bit Windows                  (toolchain cmake/mingw-x86_64.cmake)
# Usage: build.sh [x86|x64|all] [CMAKE ARGS...]     (default: all, or the builds in $QV_ARCHES)
# $QV_BUILD_ROOT moves build/; $QV_BUILD_DIR builds a single build into that folder instead.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
arches=${QV_ARCHES:-x86 x64}
case "${1:-}" in
  x86|x64) arches=$1; shift ;;
  all) shift ;;
esac
root=${QV_BUILD_ROOT:-$here/build}
launcher=()
# A compiler cache, where the machine has one, shared by every checkout below the same parent.
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$here")}
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
for arch in $arches; do
  case "$arch" in
    x86) toolchain=mingw-i686.cmake ;;
    x64) toolchain=mingw-x86_64.cmake ;;
    *) echo "unknown build '$arch'" >&2; exit 2 ;;
  esac
  dir=${QV_BUILD_DIR:-$root/$arch}
  echo "building $arch into $dir" >&2
  cmake -S "$here" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/$toolchain" -DCMAKE_BUILD_TYPE=Release \
    "${launcher[@]}" "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
done
