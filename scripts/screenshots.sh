#!/usr/bin/env bash
# Photographs the main window and every dialog at 96 and 192 DPI into docs/screenshots/ (shown by
# docs/screenshots.md). For each DPI it makes a throwaway 64-bit Wine prefix inside build/shots/
# (its z: drive removed), sets the prefix's DPI (HKCU\Control Panel\Desktop, LogPixels), copies the
# program there, fills the prefix with something to show (scripts/screenshots/shoot.cpp), starts the
# program under its own Xvfb display and has the driver open each dialog through the main window's
# menu commands; ImageMagick's `import` takes the screen and crops it to the window.
# Usage: bash scripts/screenshots.sh [DPI...]        (default: 96 192)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/wine-env.sh"
dpis=${*:-96 192}
root=${QV_BUILD_ROOT:-$here/build}/shots
out=$here/docs/screenshots
mkdir -p "$root" "$out"
root=$(cd "$root" && pwd)

command -v import >/dev/null || bash "$here/scripts/install-deps.sh"
QV_BUILD_DIR="$root/build" bash "$here/scripts/build.sh" x64 -DQV_TESTS=OFF -DQV_SCREENSHOTS=ON >/dev/null

# One display for the whole script, large enough for the main window at 192 DPI.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 2000x1500x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
sleep 1

shoot_dpi() {
  local dpi=$1
  qv_use_prefix "$root/prefix-$dpi" x64 "$root/home-$dpi"
  case "$WINEPREFIX" in "$root"/*) ;; *) echo "refusing prefix $WINEPREFIX" >&2; exit 2 ;; esac
  qv_wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  wineserver -w
  local dest=$WINEPREFIX/drive_c/qvshots
  rm -rf "$dest"
  mkdir -p "$dest"
  cp "$root/build/Quorvane.exe" "$root/build/shoot.exe" "$here/data/Zelbrin.dat" "$dest/"
  [ -d "$root/build/help" ] && cp -r "$root/build/help" "$dest/"
  qv_wine 'C:\qvshots\shoot.exe' seed 'C:\qvshots'
  (cd "$dest" && qv_wine 'C:\qvshots\Quorvane.exe' >/dev/null 2>&1 &)

  snap() {  # NAME GEOMETRY
    import -window root -crop "$2" +repage "$out/$1-$dpi.png"
    echo "  $1-$dpi.png ($2)"
  }
  echo "at $dpi DPI:"
  snap main-window "$(qv_wine 'C:\qvshots\shoot.exe' main | tr -d '\r')"
  for what in settings settings-schedule settings-bosskey cookies customlists addfolder addregistry indexdat \
    askdelete; do
    geometry=$(qv_wine 'C:\qvshots\shoot.exe' open "$what" | tr -d '\r')
    snap "$what" "$geometry"
    qv_wine 'C:\qvshots\shoot.exe' close
  done
  qv_wine 'C:\qvshots\shoot.exe' quit
  wineserver -w
}

for dpi in $dpis; do shoot_dpi "$dpi"; done
echo "screenshots in $out"
