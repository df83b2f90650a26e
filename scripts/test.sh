#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine in a throwaway prefix inside
# the build folder, with an Xvfb display for the tests that create windows.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
bash "$here/scripts/build.sh"
build=${QV_BUILD_DIR:-$here/build}
cd "$build"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure "$@"
