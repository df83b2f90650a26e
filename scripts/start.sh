#!/usr/bin/env bash
# Installs what is missing, builds Quorvane and starts it (under Wine where not on Windows).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
bash "$here/scripts/build.sh"
build=${QV_BUILD_DIR:-$here/build}
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: starting under Xvfb" >&2
  exec xvfb-run -a wine "$build/Quorvane.exe" "$@"
fi
exec wine "$build/Quorvane.exe" "$@"
