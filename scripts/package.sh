#!/usr/bin/env bash
# Makes the release packages of both builds into dist/:
#   Quorvane-<version>-<arch>.zip        Quorvane.exe, Zelbrin.dat, help\, portable.dat, README.txt, LICENSE.txt
#   Quorvane-<version>-<arch>-setup.exe  the NSIS setup (installer/Quorvane.nsi) of the same files, without
#                                        portable.dat
#   Quorvane-<version>-<arch>.msi        the Windows Installer package (installer/Quorvane.wxs, made with
#                                        wixl) of the same files as the setup
# for <arch> x86 and x64. The version is the project's, from CMakeLists.txt.
# Usage: package.sh [x86|x64|all]
# Each build is made without its tests into build/release/<arch> (ccache makes that quick).
#   $QV_PACKAGE_FROM  packages the Quorvane.exe of this build folder instead of building (one build only)
#   $QV_DIST          writes the packages there instead of dist/
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
arches="x86 x64"
case "${1:-}" in
  x86|x64) arches=$1 ;;
  ""|all) ;;
  *) echo "usage: package.sh [x86|x64|all]" >&2; exit 2 ;;
esac
from=${QV_PACKAGE_FROM:-}
if [ -n "$from" ] && [ "$arches" != x86 ] && [ "$arches" != x64 ]; then
  echo "QV_PACKAGE_FROM packages one build: name it (x86 or x64)" >&2
  exit 2
fi

version=$(sed -n 's/^project(Quorvane VERSION \([0-9][0-9.]*\).*/\1/p' "$here/CMakeLists.txt")
[ -n "$version" ] || { echo "no project version in CMakeLists.txt" >&2; exit 1; }
# The four-part version that Windows' version resource wants.
version4=$version
while [ "$(tr -cd . <<<"$version4" | wc -c)" -lt 3 ]; do version4=$version4.0; done

if [ -z "$from" ] || ! command -v makensis >/dev/null || ! command -v zip >/dev/null || ! command -v wixl >/dev/null
then
  bash "$here/scripts/install-deps.sh"
fi

dist=${QV_DIST:-$here/dist}
mkdir -p "$dist"
dist=$(cd "$dist" && pwd)
root=${QV_BUILD_ROOT:-$here/build}
mkdir -p "$root"
stage=$(mktemp -d "$root/package-stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT

# Text files for Windows: CRLF line ends, the version and build filled in.
windows_text() {  # SOURCE DEST ARCH
  sed -e "s/@VERSION@/$version/g" -e "s/@ARCH@/$3/g" -e 's/\r$//' -e 's/$/\r/' "$1" >"$2"
}

for arch in $arches; do
  if [ -n "$from" ]; then
    build=$(cd "$from" && pwd)
  else
    build=$root/release/$arch
    QV_BUILD_DIR=$build bash "$here/scripts/build.sh" "$arch" -DQV_TESTS=OFF
  fi
  exe=$build/Quorvane.exe
  [ -f "$exe" ] || { echo "no $exe" >&2; exit 1; }
  case "$arch:$(od -An -tx1 -j"$(( $(od -An -tu4 -j60 -N4 "$exe") + 4 ))" -N2 "$exe" | tr -d ' ')" in
    x86:4c01|x64:6486) ;;
    *) echo "$exe is not a $arch program" >&2; exit 1 ;;
  esac

  name=Quorvane-$version-$arch
  files=$stage/$name
  mkdir -p "$files"
  cp "$exe" "$files/Quorvane.exe"
  cp "$here/data/Zelbrin.dat" "$files/Zelbrin.dat"
  cp -r "$here/help" "$files/help"
  windows_text "$here/installer/README.txt.in" "$files/README.txt" "$arch"
  windows_text "$here/LICENSE.txt" "$files/LICENSE.txt" "$arch"

  # The setup installs beside the program only what the zip holds but portable.dat.
  setup=$dist/$name-setup.exe
  rm -f "$setup"
  makensis -V2 -WX -DVERSION="$version" -DVERSION4="$version4" -DARCH="$arch" -DSTAGE="$files" \
    -DICON="$here/res/Quorvane.ico" -DOUTFILE="$setup" "$here/installer/Quorvane.nsi"

  # The Windows Installer package of the same files: its help component lists the help pages.
  # wixl takes paths relative to the folder it works in: it runs in the stage folder.
  wxi=$stage/$arch-help-files.wxi
  cp "$here/res/Quorvane.ico" "$stage/Quorvane.ico"
  cp "$here/installer/Quorvane.wxs" "$stage/Quorvane.wxs"
  {
    echo '<?xml version="1.0" encoding="utf-8"?>'
    echo '<Include>'
    echo "  <Component Id=\"HelpPages\" Guid=\"*\" Win64=\"\$(var.Win64)\">"
    key=' KeyPath="yes"'
    for page in "$files"/help/*; do
      base=$(basename "$page")
      echo "    <File Id=\"help_${base//[^A-Za-z0-9_.]/_}\" Name=\"$base\" Source=\"$name/help/$base\"$key />"
      key=
    done
    echo '  </Component>'
    echo '</Include>'
  } >"$wxi"
  msi=$dist/$name.msi
  rm -f "$msi"
  (cd "$stage" && wixl -a "$arch" -D Version="$version" -D Arch="$arch" -D Stage="$name" \
    -D HelpFiles="$(basename "$wxi")" -D Icon=Quorvane.ico -o "$msi" Quorvane.wxs)

  windows_text "$here/installer/portable.dat" "$files/portable.dat" "$arch"
  zipfile=$dist/$name.zip
  rm -f "$zipfile"
  (cd "$stage" && zip -q -X -r "$zipfile" "$name")
  echo "made $zipfile, $setup and $msi" >&2
done
