#!/usr/bin/env bash
# Installs what is missing, builds both builds, and runs every test under Wine in a throwaway
# prefix inside each build folder, with an Xvfb display for the tests that create windows.
# The x64 suite runs on every host (64-bit loader); the x86 suite wherever the host runs the
# 32-bit loader, which is tried first. Extra arguments go to CTest (for instance -R name).
# $QV_ARCHES limits the builds (for instance QV_ARCHES=x64).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/wine-env.sh"
bash "$here/scripts/install-deps.sh"
bash "$here/scripts/build.sh"
root=${QV_BUILD_ROOT:-$here/build}
wanted=${QV_ARCHES:-x86 x64}

tested=() skipped=() failed=()
for arch in x64 x86; do
  case " $wanted " in *" $arch "*) ;; *) continue ;; esac
  if [ "$arch" = x86 ] && ! qv_x86_runs; then
    skipped+=("x86 suite skipped: $QV_X86_WHY")
    continue
  fi
  echo "=== $arch suite (loader $(qv_loader "$arch")) ==="
  if (cd "$root/$arch" && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure "$@"); then
    tested+=("$arch")
  else
    failed+=("$arch")
  fi
done

echo
echo "=== builds tested ==="
[ ${#tested[@]} -eq 0 ] || echo "passed: ${tested[*]}"
[ ${#failed[@]} -eq 0 ] || echo "FAILED: ${failed[*]}"
for s in "${skipped[@]}"; do echo "$s"; done
[ ${#failed[@]} -eq 0 ] && [ ${#tested[@]} -gt 0 ]
