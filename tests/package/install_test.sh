#!/usr/bin/env bash
# The setup of a build, installed and removed as a user would, in a fresh Wine prefix of its own:
#   1. makes the setup from this build's program (scripts/package.sh with QV_PACKAGE_FROM);
#   2. installs it silently (/S) and checks the files, the Start-menu shortcut and the Uninstall key;
#   3. starts the installed program, ticks an item, runs a Test and closes the window
#      (tests/package/drive_program.cpp), so that it saves its settings;
#   3b. runs the README's Task Scheduler and deployment-script examples as written against the
#      installed program (the command line the task would run: Wine has no Task Scheduler), and finds
#      the same examples in the help's Deployment page;
#   4. uninstalls silently: the program, shortcut and key go, the user's files stay;
#   5. installs again over the kept files; while the program runs, neither the setup nor the
#      uninstaller goes on; uninstalls through the window, answering No to the question about the
#      user's files: they stay;
#   6. with user files in %APPDATA%\Quorvane too, installs and uninstalls with /REMOVEUSERDATA:
#      nothing is left;
#   7. installs, and uninstalls through the window answering Yes: the user's files go, a file of
#      the user's own in the program's folder stays;
#   8. installs, and uninstalls silently in place (_?=), as a script that waits for it does: when it
#      returns, with exit code 0, the program is gone but for the uninstaller's own file, which the
#      next start of Windows removes; the auto-run value that starts the program goes, one that
#      starts another copy stays;
#   9. the Windows Installer package (msiexec /i ... /qn) over the setup: it replaces it, keeping
#      the auto-run value for the new copy; a Test in the installed program; the setup over the
#      package and the package over the setup again, each replacing the other; msiexec /x ... /qn:
#      nothing of the program is left.
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
if [ -z "${DISPLAY:-}" ]; then
  echo "no display: run under xvfb-run (scripts/test.sh does)" >&2
  exit 1
fi
[ -f "$build/CMakeCache.txt" ] || { echo "$build is not a build folder" >&2; exit 2; }

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
step() { echo "--- [${SECONDS}s] $*"; }

# Everything below lives in one folder inside the build folder, made afresh on every run.
work=$build/package-test
if [ -d "$work/prefix" ]; then WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1 || true; fi
rm -rf "$work"
mkdir -p "$work"

step "making the setup"
QV_PACKAGE_FROM=$build QV_DIST=$work/dist bash "$src/scripts/package.sh" "$arch"
version=$(sed -n 's/^project(Quorvane VERSION \([0-9][0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
setup=$work/dist/Quorvane-$version-$arch-setup.exe
msi=$work/dist/Quorvane-$version-$arch.msi
[ -f "$setup" ] || { echo "FAIL: no $setup" >&2; exit 1; }
[ -f "$msi" ] || { echo "FAIL: no $msi" >&2; exit 1; }

step "making a fresh prefix"
qv_use_prefix "$work/prefix" "$arch" "$work/home"
case "$WINEPREFIX" in "$work"/*) ;; *) echo "refusing prefix $WINEPREFIX" >&2; exit 2 ;; esac
[ ! -e "$WINEPREFIX/dosdevices/z:" ] || { echo "z: drive still present" >&2; exit 2; }
drive_c=$WINEPREFIX/drive_c
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
cp "$setup" "$drive_c/setup.exe"
cp "$msi" "$drive_c/Quorvane.msi"
cp "$driver" "$drive_c/drive_program.exe"
cd "$drive_c"

# Runs a Windows program in the prefix and waits for every process it started (the uninstaller
# hands over to a copy of itself and ends at once).
run() {
  local code=0
  qv_wine "$@" || code=$?
  wineserver -w
  return $code
}

# Runs tests/package/drive_program.cpp with ARGS and shows what it printed. When it fails, whatever
# it drove is ended, so that no window waits for an answer.
drive() {
  local code=0
  qv_wine 'C:\drive_program.exe' "$@" >"$work/drive.log" 2>&1 || code=$?
  [ "$code" = 0 ] || wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  sed 's/^/    /' "$work/drive.log"
  return $code
}

# The Uninstall key; its values are read at once into $values by read_key.
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane'
read_key() { values=$(qv_wine reg query "$key" 2>/dev/null | tr -d '\r'); }
value() {  # NAME -> "TYPE data", or nothing when missing
  sed -n "s/^ *$1 \{1,\}\(REG_[A-Z_]*\) \{1,\}\(.*\)$/\1 \2/p" <<<"$values"
}
expect_value() {  # NAME "TYPE data"
  local got
  got=$(value "$1")
  [ "$got" = "$2" ] || fail "Uninstall value $1 is '$got', expected '$2'"
}
key_present() { qv_wine reg query "$1" >/dev/null 2>&1; }

unix_path() {  # C:\a\b -> $drive_c/a/b
  local p=${1#[Cc]:}
  echo "$drive_c${p//\\//}"
}

shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quorvane.lnk"
program_files=(Quorvane.exe Zelbrin.dat README.txt LICENSE.txt Uninstall.exe)
for page in "$src"/help/*; do program_files+=("help/$(basename "$page")"); done
# The user's folders for the program's files: %APPDATA%\Quorvane of every user of the prefix.
appdata_dirs() { ls -d "$drive_c"/users/*/AppData/Roaming/Quorvane 2>/dev/null || true; }

# Lists what of the program is anywhere on the C: drive or in the registry, one line each.
# (The registry's text files: each value that names the program, and each key, without its time stamp.)
traces() {
  (cd "$drive_c" && find . -iname '*quorvane*' -o -iname 'Zelbrin.*' -o -iname 'Uninstall.exe' | sort)
  grep -ih 'quorvane' "$WINEPREFIX"/system.reg "$WINEPREFIX"/user.reg 2>/dev/null | sed -e 's/^\(\[.*\]\) [0-9]*$/\1/' \
    -e 's/^/registry: /' | sort -u || true
}
# Lines of traces() that an uninstall may leave (one a line), besides the user's files and folders.
may_stay=""

# The auto-run value, as the program writes it.
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
set_run_value() { qv_wine reg add "$run_key" /v Quorvane /d "\"$1\" -Start" /f >/dev/null 2>&1; }
run_value() { qv_wine reg query "$run_key" /v Quorvane 2>/dev/null | tr -d '\r' | sed -n 's/^ *Quorvane *REG_SZ *//p'; }
# The entries of the list of installed programs that are the program's (its setup's and its package's).
entries() {
  wineserver -w
  awk '/^\[/ { uninstall = ($0 ~ /^\[Software\\\\(Wow6432Node\\\\)?Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\/) }
       uninstall && /^"DisplayName"="Quorvane"$/ { n++ }
       END { print n + 0 }' "$WINEPREFIX/system.reg"
}

install() {
  local code=0
  qv_wine 'C:\setup.exe' /S || code=$?
  [ "$code" = 0 ] || fail "the setup ended with exit code $code"
  read_key
  location=$(value InstallLocation | sed 's/^REG_SZ //')
  case "$arch:$location" in
    'x64:C:\Program Files\Quorvane') ;;
    'x86:C:\Program Files\Quorvane' | 'x86:C:\Program Files (x86)\Quorvane') ;;
    *) fail "installed into '$location'"; return 1 ;;
  esac
  instdir=$(unix_path "$location")
}

# The files in the program's folder and in %APPDATA%\Quorvane that are not the setup's, with their
# content: what an uninstall must leave alone or remove as asked.
others() {
  local d f
  for d in "$instdir" $(appdata_dirs); do
    [ -d "$d" ] || continue
    find "$d" -type f | sort | while read -r f; do
      case "$f" in
        "$instdir/Quorvane.exe" | "$instdir/Zelbrin.dat" | "$instdir/README.txt" | "$instdir/LICENSE.txt" | \
          "$instdir/Uninstall.exe" | "$instdir/help/"*) ;;
        *) echo "${f#$drive_c/} $(md5sum <"$f" | cut -c1-32)" ;;
      esac
    done
  done
}
temp_files() { find "$drive_c"/users/*/Temp -type f 2>/dev/null | sed "s|^$drive_c/||"; }
# User files as the program writes them, for the rounds that need them where it did not write.
seed_user_files() {
  mkdir -p "$1"
  printf '[Settings]\r\nFastScan=1\r\n' >"$1/settings.ini"
  printf '[My list]\r\nDelFile1=C:\\Temp\\*.log\r\n' >"$1/Clist.dat"
  printf '[Cookies]\r\nCount=1\r\n1=example.com\r\n' >"$1/Cookies.dat"
}
user_appdata=$(ls -d "$drive_c"/users/*/AppData/Roaming | grep -v /Public/ | head -n 1)/Quorvane

install_and_check() {  # full|brief
  install || { echo "FAIL: no installation to check" >&2; exit 1; }
  for f in "${program_files[@]}"; do [ -f "$instdir/$f" ] || fail "$f is not installed"; done
  [ -f "$shortcut" ] || fail "no Start-menu shortcut"
  [ "$1" = full ] || return 0
  [ ! -e "$instdir/portable.dat" ] || fail "the setup installed portable.dat"
  cmp -s "$build/Quorvane.exe" "$instdir/Quorvane.exe" || fail "the installed program is not this build's"
  grep -aq 'Quorvane\.exe' "$shortcut" 2>/dev/null || iconv -f UTF-16LE -t UTF-8 "$shortcut" 2>/dev/null |
    grep -aq 'Quorvane\.exe' || fail "the shortcut does not lead to Quorvane.exe"
  expect_value DisplayName "REG_SZ Quorvane"
  expect_value DisplayVersion "REG_SZ $version"
  expect_value Publisher "REG_SZ Marrowdale Software"
  expect_value DisplayIcon "REG_SZ $location\\Quorvane.exe,0"
  expect_value UninstallString "REG_SZ \"$location\\Uninstall.exe\""
  expect_value QuietUninstallString "REG_SZ \"$location\\Uninstall.exe\" /S _?=$location"
  local size kb exe_kb
  size=$(value EstimatedSize)
  case "$size" in
    "REG_DWORD 0x"*)
      kb=$(( ${size#REG_DWORD } ))
      exe_kb=$(( ($(stat -c %s "$instdir/Quorvane.exe") + 1023) / 1024 ))
      [ "$kb" -ge "$exe_kb" ] || fail "EstimatedSize $kb KB is less than the program's $exe_kb KB" ;;
    *) fail "EstimatedSize is '$size'" ;;
  esac
  if [ "$arch" = x64 ]; then
    key_present 'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane' &&
      fail "the x64 setup wrote its Uninstall key into the 32-bit view"
  fi
  return 0
}

# Uninstalls (HOW: silent, silent-remove, answer-no, answer-yes) and checks that the program, its
# shortcut and key are gone and that, of the other files, exactly those stay that should.
uninstall_and_check() {
  local how=$1 expected code=0 d left allowed=""
  expected=$(others)
  case "$how" in
    silent) run "$location\\Uninstall.exe" /S || code=$? ;;
    in-place)
      # As a script that waits for it: what is there the moment it returns.
      drive exec "\"$location\\Uninstall.exe\" /S _?=$location" "$location\\Quorvane.exe" \
        "$location\\Zelbrin.dat" "$location\\help" "$location\\README.txt" || code=$?
      grep -qx 'exit code: 0' <(tr -d '\r' <"$work/drive.log") || fail "the uninstall in place did not end with 0"
      grep 'still there' "$work/drive.log" && fail "the program's files were there when the uninstall returned"
      # Its own file, still running when it ended, goes at the next start of Windows: under Wine, the
      # next start of the prefix's server.
      [ -f "$instdir/Uninstall.exe" ] || fail "the uninstaller run in place removed its own running file"
      for _ in 1 2 3; do
        qv_wine reg query 'HKCU\Software' >/dev/null 2>&1 || true
        wineserver -w
        [ -e "$instdir/Uninstall.exe" ] || break
      done
      [ ! -e "$instdir/Uninstall.exe" ] || fail "the uninstaller's own file is still there after a restart" ;;
    silent-remove) run "$location\\Uninstall.exe" /S /REMOVEUSERDATA || code=$? ;;
    answer-no | answer-yes)
      drive uninstall "$location\\Uninstall.exe" "${how#answer-}" || code=$? ;;
  esac
  [ "$code" = 0 ] || fail "the uninstall ($how) ended with exit code $code"
  case "$how" in
    silent-remove | answer-yes)
      expected=$(grep -vE '/(settings\.ini|Clist\.dat|Cookies\.dat) ' <<<"$expected" || true) ;;
  esac
  for f in "${program_files[@]}"; do [ ! -e "$instdir/$f" ] || fail "$f is left"; done
  [ ! -e "$shortcut" ] || fail "the Start-menu shortcut is left"
  key_present "$key" && fail "the Uninstall key is left"
  [ "$(others)" = "$expected" ] || fail "other files are '$(others)', expected '$expected'"
  # A folder stays only for a file that stays in it.
  for d in "$instdir" $(appdata_dirs); do
    if grep -q "^${d#$drive_c/}/" <<<"$expected"; then
      allowed+=".${d#$drive_c}"$'\n'
    else
      [ ! -e "$d" ] || fail "the folder ${d#$drive_c/} is left"
    fi
  done
  # Anywhere else, nothing of the program that was not there before the first install.
  left=$(comm -13 <(echo "$before") <(traces) | grep -vxF -e "${allowed:-/}" ${may_stay:+-e "$may_stay"} || true)
  [ -z "$left" ] || fail "left after the uninstall: $left"
  # The uninstaller ran from a copy of itself in Temp; that copy is gone (an empty folder may stay).
  [ -z "$(temp_files)" ] || fail "left in Temp: $(temp_files)"
}

# 2. A silent install.
step "installing"
before=$(traces)
install_and_check full

# 3. The installed program runs: its window, a Test of an item with something to find, a close.
step "running the installed program"
mru='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\RunMRU'
qv_wine reg add "$mru" /v a /d 'notepad\1' /f >/dev/null
qv_wine reg add "$mru" /v MRUList /d a /f >/dev/null
if drive run "$location\\Quorvane.exe" Windows 'Start Run'; then
  total=$(grep '^log: Total items will be removed = ' "$work/drive.log" | tr -d '\r' | head -n 1)
  case "$total" in *"= 0 ;"*) fail "the Test found nothing: $total" ;; esac
else
  fail "the installed program did not run a Test"
fi
kept=$(others)
grep -q '/settings\.ini ' <<<"$kept" || fail "the program saved no settings on close"
echo "user files: $kept"

# 3b. The README's examples, as written.
step "running the README's examples"
example() {  # TAG: the indented lines after <!-- example: TAG --> in the README
  awk -v tag="$1" '$0 == "<!-- example: " tag " -->" { on = 1; next }
    on && /^    / { print substr($0, 5); next } on { exit }' "$src/README.md"
}
unescape_html() { sed -e 's/<[^>]*>//g' -e 's/&quot;/"/g' -e 's/&lt;/</g' -e 's/&gt;/>/g' -e 's/&amp;/\&/g'; }
deployment_page=$(unescape_html <"$src/help/deployment.html")
for tag in "scheduler x64" "scheduler x86" script; do
  lines=$(example "$tag")
  [ -n "$lines" ] || fail "the README has no example '$tag'"
  while IFS= read -r line; do
    grep -qxF -- "$line" <<<"$deployment_page" || fail "the help's Deployment page lacks: $line"
  done <<<"$lines"
done
# The folder the examples name is this installation's.
case "$location" in *"(x86)"*) variant="scheduler x86" ;; *) variant="scheduler x64" ;; esac
[ "$(example "$variant")" != "" ] && grep -qF "\\\"$location\\Quorvane.exe\\\"" <<<"$(example "$variant")" ||
  fail "the example '$variant' does not name $location"
# The task's command line: what /TR holds, the variables expanded by the shell that made the task.
task=$(example "$variant" | sed -n 's/.* \/TR "\(.*\)"$/\1/p' | sed 's/\\"/"/g')
local_appdata=$(qv_wine cmd /c 'echo %LOCALAPPDATA%' | tr -d '\r')
task=${task//%LOCALAPPDATA%/$local_appdata}
log_file=$(unix_path "$local_appdata\\Quorvane-clean.log")
rm -f "$log_file"
if drive exec "$task"; then
  grep -qx 'exit code: 0' <(tr -d '\r' <"$work/drive.log") || fail "the task's command did not end with 0"
else
  fail "could not run the task's command: $task"
fi
check_example_log() {  # FILE: one run, under its header
  [ -f "$1" ] || { fail "no log ${1#$drive_c/}"; return; }
  grep -q '==== .* Quorvane .*: unattended clean ====' "$1" || fail "no header in ${1#$drive_c/}"
  grep -q 'Total items to be removed = ' "$1" || fail "no run in ${1#$drive_c/}: $(cat "$1")"
}
check_example_log "$log_file"
# The deployment script, for this installation's folder, as a batch file run by cmd.
example script | sed "s|C:\\\\Program Files\\\\Quorvane|${location//\\/\\\\}|g" | sed 's/$/\r/' >"$drive_c/deploy.cmd"
temp_dir=$(qv_wine cmd /c 'echo %TEMP%' | tr -d '\r')
rm -f "$(unix_path "$temp_dir\\Quorvane-clean.log")"
script_out=$(qv_wine cmd /c 'C:\deploy.cmd' 2>&1 | tr -d '\r' || true)
wineserver -w
grep -q '^Quorvane ended with exit code' <<<"$script_out" && fail "the deployment script saw a failure: $script_out"
check_example_log "$(unix_path "$temp_dir\\Quorvane-clean.log")"
rm -f "$log_file" "$(unix_path "$temp_dir\\Quorvane-clean.log")" "$drive_c/deploy.cmd"
kept=$(others)

# 4. A silent uninstall keeps the user's files.
step "uninstalling silently"
# An auto-run value that starts another copy is not the setup's to remove.
set_run_value 'C:\Portable\Quorvane\Quorvane.exe'
wineserver -w
may_stay=$(comm -13 <(echo "$before") <(traces) | grep '^registry: ' | grep -i 'portable' || true)
uninstall_and_check silent
[ "$(run_value)" = '"C:\Portable\Quorvane\Quorvane.exe" -Start' ] || fail "the auto-run value of another copy is gone"
qv_wine reg delete "$run_key" /v Quorvane /f >/dev/null 2>&1
may_stay=""

# 5. Again, over the kept files; the uninstaller's question answered No.
step "installing again, uninstalling with No to the question"
install_and_check brief
[ "$(others)" = "$kept" ] || fail "the setup changed the user's files: $(others)"
# A running copy holds its files open: the setup and the uninstaller (run in place) refuse, with
# exit code 2, and change nothing.
for cmd in '"C:\setup.exe" /S' "\"$location\\Uninstall.exe\" /S _?=$location"; do
  if drive while-running "$location\\Quorvane.exe" "$cmd"; then
    grep -qx 'exit code: 2' <(tr -d '\r' <"$work/drive.log") || fail "$cmd went on while the program ran"
  else
    fail "could not run $cmd while the program ran"
  fi
done
for f in "${program_files[@]}"; do [ -f "$instdir/$f" ] || fail "$f is gone"; done
[ -f "$shortcut" ] || fail "the Start-menu shortcut is gone"
key_present "$key" || fail "the Uninstall key is gone"
kept=$(others)
uninstall_and_check answer-no

# 6. User files in both places; a silent uninstall told to remove them.
step "installing again, uninstalling with /REMOVEUSERDATA"
seed_user_files "$user_appdata"
install_and_check brief
uninstall_and_check silent-remove

# 7. User files in both places and a file of the user's own; the question answered Yes.
step "installing again, uninstalling with Yes to the question"
install_and_check brief
seed_user_files "$user_appdata"
seed_user_files "$instdir"
echo "my notes" >"$instdir/my notes.txt"
uninstall_and_check answer-yes

# 8. Silently, in place, as a script that waits for the end; the auto-run value starts this copy.
step "installing again, uninstalling silently in place"
install_and_check brief
set_run_value "$location\\Quorvane.exe"
uninstall_and_check in-place
[ -z "$(run_value)" ] || fail "the auto-run value of the uninstalled program is left: $(run_value)"

# 9. The Windows Installer package: over the setup, under it, over it again, and removed.
msi_location() {  # the folder the package of this build installs into
  if [ "$arch" = x86 ] && [ -d "$drive_c/Program Files (x86)" ]; then echo 'C:\Program Files (x86)\Quorvane'
  else echo 'C:\Program Files\Quorvane'; fi
}
msi_shortcuts() { find "$drive_c" -path '*/Start Menu/Programs/Quorvane.lnk' | wc -l; }
msi() {  # /i or /x
  local code=0
  qv_wine msiexec "$1" 'C:\Quorvane.msi' /qn || code=$?
  wineserver -w
  [ "$code" = 0 ] || fail "msiexec $1 ended with exit code $code"
}
check_msi_installed() {
  local m f
  m=$(unix_path "$(msi_location)")
  for f in "${program_files[@]}"; do
    [ "$f" = Uninstall.exe ] && continue
    [ -f "$m/$f" ] || fail "the package did not install $f"
  done
  [ ! -e "$m/Uninstall.exe" ] || fail "the setup's uninstaller is left beside the package's program"
  cmp -s "$build/Quorvane.exe" "$m/Quorvane.exe" || fail "the package's program is not this build's"
  key_present "$key" && fail "the setup's Uninstall key is left beside the package"
  [ "$(entries)" = 1 ] || fail "$(entries) entries in the list of installed programs"
  [ "$(msi_shortcuts)" = 1 ] || fail "$(msi_shortcuts) Start-menu shortcuts"
}

step "the package over the setup"
install_and_check brief
set_run_value "$location\\Quorvane.exe"
msi /i
check_msi_installed
[ "$(run_value)" = "\"$(msi_location)\\Quorvane.exe\" -Start" ] ||
  fail "the auto-run value does not start the package's program: $(run_value)"

step "running the package's program"
qv_wine reg add "$mru" /v a /d 'notepad\1' /f >/dev/null
qv_wine reg add "$mru" /v MRUList /d a /f >/dev/null
if drive run "$(msi_location)\\Quorvane.exe" Windows 'Start Run'; then
  total=$(grep '^log: Total items will be removed = ' "$work/drive.log" | tr -d '\r' | head -n 1)
  case "$total" in *"= 0 ;"*) fail "the Test found nothing: $total" ;; esac
else
  fail "the package's program did not run a Test"
fi

step "the setup over the package, and the package over the setup"
code=0
qv_wine 'C:\setup.exe' /S || code=$?
wineserver -w
[ "$code" = 0 ] || fail "the setup over the package ended with exit code $code"
read_key
[ -n "$(value InstallLocation)" ] || fail "the setup over the package wrote no Uninstall key"
[ "$(entries)" = 1 ] || fail "$(entries) entries in the list of installed programs after the setup"
[ "$(msi_shortcuts)" = 1 ] || fail "$(msi_shortcuts) Start-menu shortcuts after the setup"
msi /i
check_msi_installed

step "removing the package"
kept=$(others)
msi /x
m=$(unix_path "$(msi_location)")
for f in "${program_files[@]}"; do [ ! -e "$m/$f" ] || fail "$f is left after msiexec /x"; done
[ "$(msi_shortcuts)" = 0 ] || fail "the Start-menu shortcut is left after msiexec /x"
[ "$(entries)" = 0 ] || fail "the package's entry is left in the list of installed programs"
[ -z "$(run_value)" ] || fail "the auto-run value of the removed program is left: $(run_value)"
allowed=""
grep -q "^${m#$drive_c/}/" <<<"$(others)" && allowed=".${m#$drive_c}"
left=$(comm -13 <(echo "$before") <(traces) | grep -vxF -e "${allowed:-/}" || true)
left=$(grep -v -e '/settings\.ini$' -e '/Clist\.dat$' -e '/Cookies\.dat$' <<<"$left" || true)
[ -z "$left" ] || fail "left after msiexec /x: $left"
echo "what remains: $(others | tr '\n' ' ')"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "install and uninstall of the $arch setup: all checks passed (${SECONDS}s)"
