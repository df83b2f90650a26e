#!/usr/bin/env bash
# Installs what is missing, builds Quorvane and starts it under Wine: the x86 build where this host
# runs 32-bit code, else the x64 build. It runs in a Wine prefix of its own inside the build folder
# (its z: drive removed, so nothing the program cleans can reach the host's files), with Xvfb when
# there is no display. Arguments go to the program (for instance -cleanonce).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/wine-env.sh"
bash "$here/scripts/install-deps.sh"
if qv_x86_runs; then arch=x86; else arch=x64; echo "starting the x64 build: $QV_X86_WHY" >&2; fi
bash "$here/scripts/build.sh" "$arch"
build=${QV_BUILD_ROOT:-$here/build}/$arch
qv_use_prefix "$build/startprefix" "$arch" "$build/starthome"
dest="$WINEPREFIX/drive_c/Quorvane"
mkdir -p "$dest"
cp -f "$build/Quorvane.exe" "$here/data/Zelbrin.dat" "$dest/"
cd "$dest"
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: starting under Xvfb" >&2
  exec xvfb-run -a "$QV_LOADER" 'C:\Quorvane\Quorvane.exe' "$@"
fi
exec "$QV_LOADER" 'C:\Quorvane\Quorvane.exe' "$@"
