#!/usr/bin/env bash
# The setup of a build, installed and removed as a user would, in a fresh Wine prefix of its own:
#   1. makes the setup from this build's program (scripts/package.sh with QV_PACKAGE_FROM);
#   2. installs it silently (/S) and checks the files, the Start-menu shortcut and the Uninstall key;
#   3. starts the installed program through its shortcut's target, ticks an item, runs a Test and
#      closes the window (tests/package/drive_program.cpp), so that it saves its settings;
#   4. uninstalls silently: the program, shortcut and key go, the user's files stay;
#   5. installs again over the kept files, uninstalls with /REMOVEUSERDATA: nothing is left.
# Usage: install_test.sh BUILD_DIR ARCH DRIVER.exe     (run by CTest; exit 77 means skipped)
set -euo pipefail
build=$(cd "$1" && pwd); arch=$2; driver=$3
src=$(cd "$(dirname "$0")/../.." && pwd)
. "$src/scripts/wine-env.sh"

if [ "$arch" = x86 ] && ! qv_x86_runs; then
  echo "skipped: $QV_X86_WHY"
  exit 77
fi
command -v makensis >/dev/null || { echo "makensis is missing: run scripts/install-deps.sh" >&2; exit 1; }

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
step() { echo "--- $*"; }

# Everything below lives in one folder inside the build folder, made afresh on every run.
work=$build/package-test
if [ -d "$work/prefix" ]; then WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1 || true; fi
rm -rf "$work"
mkdir -p "$work"

step "making the setup"
QV_PACKAGE_FROM=$build QV_DIST=$work/dist bash "$src/scripts/package.sh" "$arch"
version=$(sed -n 's/^project(Quorvane VERSION \([0-9][0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
setup=$work/dist/Quorvane-$version-$arch-setup.exe
[ -f "$setup" ] || { echo "FAIL: no $setup" >&2; exit 1; }

step "making a fresh prefix"
qv_use_prefix "$work/prefix" "$arch" "$work/home"
case "$WINEPREFIX" in "$work"/*) ;; *) echo "refusing prefix $WINEPREFIX" >&2; exit 2 ;; esac
[ ! -e "$WINEPREFIX/dosdevices/z:" ] || { echo "z: drive still present" >&2; exit 2; }
drive_c=$WINEPREFIX/drive_c
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
cp "$setup" "$drive_c/setup.exe"
cp "$driver" "$drive_c/drive_program.exe"
cd "$drive_c"
if [ -z "${DISPLAY:-}" ]; then
  echo "no display: run under xvfb-run (scripts/test.sh does)" >&2
  exit 1
fi

# Runs a Windows program in the prefix and waits for every process it started.
run() {
  local code=0
  qv_wine "$@" || code=$?
  wineserver -w
  return $code
}

# The data of a value of the Uninstall key, or nothing when the key or value is missing.
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane'
value() {
  qv_wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 \{1,\}\(REG_[A-Z_]*\) \{1,\}\(.*\)$/\1 \2/p"
}
expect_value() {  # NAME EXPECTED ("TYPE data")
  local got
  got=$(value "$key" "$1")
  [ "$got" = "$2" ] || fail "Uninstall value $1 is '$got', expected '$2'"
}
key_present() { qv_wine reg query "$1" >/dev/null 2>&1; }

unix_path() {  # C:\a\b -> $drive_c/a/b
  local p=${1#[Cc]:}
  echo "$drive_c${p//\\//}"
}

shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quorvane.lnk"
program_files=(Quorvane.exe Zelbrin.dat README.txt LICENSE.txt Uninstall.exe)
user_files=(settings.ini Clist.dat Cookies.dat)
# The user's folders for the program's files: %APPDATA%\Quorvane of every user of the prefix.
appdata_dirs() { ls -d "$drive_c"/users/*/AppData/Roaming/Quorvane 2>/dev/null || true; }

# Lists what of the program is anywhere on the C: drive or in the registry, one line each.
traces() {
  (cd "$drive_c" && find . -iname '*quorvane*' -o -iname 'Zelbrin.*' -o -iname 'Uninstall.exe' | sort)
  grep -il 'quorvane' "$WINEPREFIX"/system.reg "$WINEPREFIX"/user.reg 2>/dev/null | sed 's/^/registry: /' || true
}

install() {
  local code=0
  run 'C:\setup.exe' /S || code=$?
  [ "$code" = 0 ] || fail "the setup ended with exit code $code"
  location=$(value "$key" InstallLocation | sed 's/^REG_SZ //')
  case "$arch:$location" in
    'x64:C:\Program Files\Quorvane') ;;
    'x86:C:\Program Files\Quorvane' | 'x86:C:\Program Files (x86)\Quorvane') ;;
    *) fail "installed into '$location'"; return 1 ;;
  esac
  instdir=$(unix_path "$location")
}

# 2. A silent install.
step "installing"
before=$(traces)
install || { echo "FAIL: no installation to check" >&2; exit 1; }
for f in "${program_files[@]}"; do [ -f "$instdir/$f" ] || fail "$f is not installed"; done
[ ! -e "$instdir/portable.dat" ] || fail "the setup installed portable.dat"
cmp -s "$build/Quorvane.exe" "$instdir/Quorvane.exe" || fail "the installed program is not this build's"
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
grep -aq 'Quorvane\.exe' "$shortcut" 2>/dev/null || iconv -f UTF-16LE -t UTF-8 "$shortcut" 2>/dev/null |
  grep -aq 'Quorvane\.exe' || fail "the shortcut does not lead to Quorvane.exe"
expect_value DisplayName "REG_SZ Quorvane"
expect_value DisplayVersion "REG_SZ $version"
expect_value Publisher "REG_SZ Marrowdale Software"
expect_value DisplayIcon "REG_SZ $location\\Quorvane.exe,0"
expect_value UninstallString "REG_SZ \"$location\\Uninstall.exe\""
expect_value QuietUninstallString "REG_SZ \"$location\\Uninstall.exe\" /S"
size=$(value "$key" EstimatedSize)
case "$size" in
  "REG_DWORD 0x"*) kb=$(( ${size#REG_DWORD } ))
    exe_kb=$(( ($(stat -c %s "$instdir/Quorvane.exe") + 1023) / 1024 ))
    [ "$kb" -ge "$exe_kb" ] || fail "EstimatedSize $kb KB is less than the program's $exe_kb KB" ;;
  *) fail "EstimatedSize is '$size'" ;;
esac
if [ "$arch" = x64 ]; then
  key_present 'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane' &&
    fail "the x64 setup wrote its Uninstall key into the 32-bit view"
fi

# 3. The installed program runs: its window, a Test of an item with something to find, a close.
step "running the installed program"
mru='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\RunMRU'
qv_wine reg add "$mru" /v a /d 'notepad\1' /f >/dev/null
qv_wine reg add "$mru" /v MRUList /d a /f >/dev/null
drive_out=$work/drive.log
if run 'C:\drive_program.exe' "$location\\Quorvane.exe" Windows 'Start Run' >"$drive_out" 2>&1; then
  sed 's/^/    /' "$drive_out"
  total=$(grep '^log: Total items will be removed = ' "$drive_out" | tr -d '\r' | head -n 1)
  case "$total" in
    *"= 0 ;"*) fail "the Test found nothing: $total" ;;
  esac
else
  sed 's/^/    /' "$drive_out"
  fail "the installed program did not run a Test"
fi

# What the program saved for the user, by place, with its content.
saved_user_files() {
  local d f
  for d in "$instdir" $(appdata_dirs); do
    for f in "${user_files[@]}"; do
      [ -f "$d/$f" ] && echo "$d/$f $(md5sum <"$d/$f" | cut -c1-32)"
    done
  done
  return 0
}
kept=$(saved_user_files)
[ -n "$kept" ] || fail "the program saved no settings on close"
echo "user files: ${kept//$drive_c/C:}"

# 4. A silent uninstall keeps the user's files and nothing else.
step "uninstalling, keeping the user's files"
code=0
run "$location\\Uninstall.exe" /S || code=$?
[ "$code" = 0 ] || fail "the uninstaller ended with exit code $code"
for f in "${program_files[@]}"; do [ ! -e "$instdir/$f" ] || fail "$f is left"; done
[ ! -e "$shortcut" ] || fail "the Start-menu shortcut is left"
key_present "$key" && fail "the Uninstall key is left"
[ "$(saved_user_files)" = "$kept" ] || fail "the user's files changed: $(saved_user_files)"
for d in "$instdir" $(appdata_dirs); do
  [ -d "$d" ] || continue
  extra=$(cd "$d" && ls -A | grep -vxF -e settings.ini -e Clist.dat -e Cookies.dat || true)
  [ -z "$extra" ] || fail "left in ${d#$drive_c/}: $extra"
done
# Outside those folders nothing of the program is left that was not there before the install.
allowed=$(for d in "$instdir" $(appdata_dirs); do echo ".${d#$drive_c}"; done)
left=$(comm -13 <(echo "$before") <(traces) | grep -vxF -e "$allowed" || true)
[ -z "$left" ] || fail "left after the uninstall: $left"
# The uninstaller ran from a copy in Temp; that copy is gone (its empty folder may stay).
temp_files() { find "$drive_c"/users/*/Temp -type f 2>/dev/null | sed "s|^$drive_c/||"; }
[ -z "$(temp_files)" ] || fail "left in Temp: $(temp_files)"

# 5. Again over the kept files; then an uninstall that removes the user's files too.
step "installing again, uninstalling with /REMOVEUSERDATA"
install || exit 1
[ "$(saved_user_files)" = "$kept" ] || fail "the setup changed the user's files"
code=0
run "$location\\Uninstall.exe" /S /REMOVEUSERDATA || code=$?
[ "$code" = 0 ] || fail "the uninstaller ended with exit code $code"
[ ! -e "$instdir" ] || fail "the program's folder is left: $(ls -A "$instdir")"
[ -z "$(appdata_dirs)" ] || fail "%APPDATA%\\Quorvane is left"
[ ! -e "$shortcut" ] || fail "the Start-menu shortcut is left"
key_present "$key" && fail "the Uninstall key is left"
left=$(comm -13 <(echo "$before") <(traces))
[ -z "$left" ] || fail "left after the uninstall: $left"
[ -z "$(temp_files)" ] || fail "left in Temp: $(temp_files)"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "install and uninstall of the $arch setup: all checks passed"
