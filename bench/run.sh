#!/usr/bin/env bash
# Benchmarks of the program and its removal primitives against what a Windows user already has, run
# under the same Wine so that Wine's own costs cancel. Builds the bench programs and the program
# itself into build/bench-build-<build>, makes a throwaway Wine prefix build/benchprefix-<build> (its
# z: drive removed) and works only inside it. On a tree of QV_BENCH_FILES (100,000) files of 1 KB in
# 100 folders:
#   - a Test through DeleteFolderTree (FastScan on and off) against `cmd /c dir /s /b` (and `find`
#     as background);
#   - the real Quorvane.exe, `-cleanonce` of a custom list aimed at the tree (Fast Mode on), less
#     the unattended floor (the same run of a list naming an empty folder), against `cmd /c del /s
#     /q` and `cmd /c rd /s /q` less the floor of cmd (`cmd /c exit`); the floor itself against
#     the least window program (bench/peer_bench.cpp);
#   - the same Clean through DeleteFolderTree in one process, with the checked delete and with plain
#     DeleteFileW (with QV_BENCH_SHELL=1, also the shell's file operation);
#   - the program's Clean with Fast Mode off (every file a line in its log list), watched from
#     another process (bench/window_bench.cpp): its time, how fast its window answers, how its
#     progress bar moves, its log lines and peak memory; the same at QV_BENCH_FILES / 10 files and,
#     with QV_BENCH_MILLION=1, at 1,000,000 files, for time and memory against the count;
# and besides:
#   - OverwriteFileContents, 3 passes, on QV_BENCH_OW_FILES (50) files of QV_BENCH_OW_MIB (5) MiB
#     against a plain Windows program doing the same (64 KiB writes, a flush per pass), `dd` as
#     background;
#   - chains of folders 100, 200 and 400 levels deep (QV_BENCH_LEVELS), one file on each level: a
#     Test and a Clean per level, against `cmd /c dir /s` and a plain program's listing of the
#     same chain;
#   - start-up to the main window shown: plain, with a winapp2.ini (build/winapp2.ini when it is
#     there, else a made-up one of 4,000 entries), and with a settings.ini of QV_BENCH_SETTINGS_KEYS
#     (100,000) [NodeSelected] keys (about 10 MB), and the load of such a file alone inside one
#     process (bench/settings_bench.cpp);
#   - the index.dat reader on a file of QV_BENCH_RECORDS (100,000) records made by the test builder
#     (keeping the entries as the viewer does, only counting them, and processing a window message
#     before every entry as the viewer does), with msiecfexport on the same file as background, its
#     peak memory against a file of a tenth of that, a 3-pass wipe of the file, and the viewer on it.
# Each row and its reference are run in turn, QV_BENCH_ROUNDS times (3), and the medians are
# compared. Wall time is printed beside CPU time: the CPU time of the process and every process it
# started (bench/rusage.c), plus that of the prefix's wineserver over the same span. CPU time is far
# steadier than wall time on a shared machine. QV_BENCH_RD=0 leaves out `rd /s /q`, the slowest
# peer. QV_BENCH_FILES, QV_BENCH_OW_FILES, QV_BENCH_OW_MIB, QV_BENCH_RECORDS, QV_BENCH_LEVELS,
# QV_BENCH_SETTINGS_KEYS and QV_BENCH_ROUNDS make it smaller or larger.
# Usage: bash bench/run.sh
set -euo pipefail
# The program makes windows: without a display, the bench runs on a virtual one.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QV_BUILD_DIR:-$here/build}
mkdir -p "$build"
build=$(cd "$build" && pwd)
files=${QV_BENCH_FILES:-100000}
ow_files=${QV_BENCH_OW_FILES:-50}
ow_mib=${QV_BENCH_OW_MIB:-5}
records=${QV_BENCH_RECORDS:-100000}
levels=${QV_BENCH_LEVELS:-100 200 400}
settings_keys=${QV_BENCH_SETTINGS_KEYS:-100000}
shell_row=${QV_BENCH_SHELL:-0}
rd_row=${QV_BENCH_RD:-1}
every_round=${QV_BENCH_ALL_ROUNDS:-0}
# The slowest rows (rd /s /q, and the Cleans inside one process that locate the program's costs)
# run in the first round only, unless QV_BENCH_ALL_ROUNDS=1.
slow_round() { [ "$1" = 1 ] || [ "$every_round" = 1 ]; }
million=${QV_BENCH_MILLION:-0}
rounds=${QV_BENCH_ROUNDS:-3}
parts=" ${QV_BENCH_PARTS:-startup tree overwrite deep scale index} "
part() { [[ "$parts" == *" $1 "* ]]; }
small=$((files / 10))
small_records=$((records / 10))
large=1000000
folders=100

. "$here/scripts/wine-env.sh"
# The x86 build where this host runs 32-bit code, else the x64 build.
if qv_x86_runs; then arch=x86; else arch=x64; fi
echo "building the $arch bench..." >&2
bdir="$build/bench-build-$arch"
QV_BUILD_DIR="$bdir" bash "$here/scripts/build.sh" "$arch" -DQV_TESTS=OFF -DQV_BENCH=ON >/dev/null
ru="$bdir/rusage"
cc -O2 -o "$ru" "$here/bench/rusage.c"

# The bench prefix's own server and programs end with the bench. The server is kept running for the
# whole bench (and the prefix's own services started once) so that every row meets it warm.
qv_use_prefix "$build/benchprefix-$arch" "$arch" "$build/benchhome-$arch"
case "$WINEPREFIX" in "$build"/*) ;; *) echo "refusing prefix $WINEPREFIX" >&2; exit 2;; esac
[ ! -e "$WINEPREFIX/dosdevices/z:" ] || { echo "z: drive still present" >&2; exit 2; }
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineserver -k >/dev/null 2>&1 || true
wineserver -w || true
wineserver -p
# A program that crashes ends at once instead of waiting in Wine's debugger: Wine's cmd overflows
# its stack in `dir /s` of a deep chain.
qv_wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d false /f >/dev/null 2>&1 || true

# The wineserver of this prefix: the one whose folder is named after the prefix's device and inode.
wanted=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
wspid=
for p in $(pgrep -x wineserver64 || true) $(pgrep -x wineserver || true); do
  case $(readlink "/proc/$p/cwd" 2>/dev/null) in */"$wanted") wspid=$p ;; esac
done
[ -n "$wspid" ] || echo "warning: the prefix's wineserver was not found; its CPU time is not counted" >&2
ticks=$(getconf CLK_TCK)
server_cpu() {
  if [ -n "$wspid" ] && [ -r "/proc/$wspid/stat" ]; then
    awk -v t="$ticks" '{ print ($14 + $15) / t }' "/proc/$wspid/stat"
  else
    echo 0
  fi
}

work="$WINEPREFIX/drive_c/qvbench"
tmp="$work/tmp"
rm -rf "$work"
mkdir -p "$work/bin" "$work/app" "$tmp"
for exe in removal_bench index_dat_bench window_bench peer_bench settings_bench; do cp -f "$bdir/bench/$exe.exe" "$work/bin/"; done
cp -f "$bdir/Quorvane.exe" "$bdir/Zelbrin.dat" "$here/installer/portable.dat" "$work/app/"
# The prefix's services and desktop start here, under the bench's server, not inside a measured row
# (the program, with nothing ticked, ends at once).
qv_wine cmd /c exit >/dev/null 2>&1 || true
qv_wine 'C:\qvbench\app\Quorvane.exe' -cleanonce >/dev/null 2>&1 || true
rm -f "$work/app/settings.ini"

# measure NAME COMMAND...: runs the command under rusage and appends to the NAME's lists its wall
# time (WALLS), its CPU time with the wineserver's (CPUS) and the last line it printed (OUTS). What
# it printed stays in $tmp/out until the next measure.
declare -A WALLS CPUS OUTS LISTED
measure() {
  local name=$1 a b r
  shift
  a=$(server_cpu)
  "$ru" "$tmp/ru" "$@" >"$tmp/out" 2>"$tmp/err" || true
  b=$(server_cpu)
  r=$(cat "$tmp/ru")
  local wall cpu
  wall=$(field wall "$r")
  cpu=$(awk -v c="$(field cpu "$r")" -v a="$a" -v b="$b" 'BEGIN { printf "%.3f", c + b - a }')
  WALLS[$name]="${WALLS[$name]:-} $wall"
  CPUS[$name]="${CPUS[$name]:-} $cpu"
  OUTS[$name]="${OUTS[$name]:-}$(tr -d '\r' <"$tmp/out" | tail -n 1)
"
}
field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2" | head -n 1; }
median() { tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 } END { if (NR) print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2); else print "-" }'; }
# The median of one figure of a row's printed lines.
omedian() { median "$(while read -r line; do [ -n "$line" ] && field "$2" "$line"; done <<<"${OUTS[$1]:-}" | tr '\n' ' ')"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a != "-" && b != "-" && b > 0) printf "%.2f", a / b; else printf "-" }'; }
minus() { awk -v a="$1" -v b="${2:-0}" 'BEGIN { if (a == "-" || b == "-") printf "-"; else printf "%.3f", a - b }'; }
per() { awk -v a="$1" -v n="$2" -v k="${3:-1}" 'BEGIN { if (a == "-" || n + 0 <= 0) printf "-"; else printf "%.4f", a * k / n }'; }
mb() { awk -v k="$1" 'BEGIN { if (k == "-" || k == "") print "-"; else printf "%.1f", k / 1024 }'; }

# make_tree DIR FILES: FILES files of 1 KB spread over 100 folders (or fewer for small trees).
make_tree() {
  local dir=$1 n=$2 per d
  local nf=$folders
  [ "$n" -lt $((folders * 100)) ] && nf=$(((n + 99) / 100))
  per=$((n / nf))
  rm -rf "$dir"
  mkdir -p "$dir"
  for ((d = 0; d < nf; d++)); do
    mkdir "$dir/folder$d"
    head -c $((per * 1024)) /dev/urandom | split -b 1024 -a 4 -d - "$dir/folder$d/file"
  done
  sync
}
# What of a tree is left: "files folders" (0 0 when it is gone).
left_of() { [ -e "$1" ] && echo "$(find "$1" -type f | wc -l) $(find "$1" -mindepth 1 -type d | wc -l)" || echo "0 0"; }

# make_chain DIR LEVELS: folders "d" inside each other LEVELS deep, a 1-byte file "f" on every
# level, made level by level (a path that deep is past what one Linux call takes).
make_chain() {
  local dir=$1 n=$2 i
  rm -rf "$dir"
  mkdir -p "$dir"
  (cd "$dir" && for ((i = 0; i < n; i++)); do mkdir d && cd d && printf x >f; done)
  sync
}

bench() { measure "$1" "$QV_LOADER" 'C:\qvbench\bin\removal_bench.exe' "${@:2}"; }
peer() { measure "$1" "$QV_LOADER" 'C:\qvbench\bin\peer_bench.exe' "${@:2}"; }
idx() { measure "$1" "$QV_LOADER" 'C:\qvbench\bin\index_dat_bench.exe' "${@:2}"; }
wcmd() { measure "$1" "$QV_LOADER" cmd /c "${@:2}"; }
watch() { measure "$1" "$QV_LOADER" 'C:\qvbench\bin\window_bench.exe' "${@:2}"; }

# settings FASTSCAN [LIST FOLDER]: the program's settings.ini beside it (a portable copy), with the
# custom list ticked and aimed at FOLDER when one is given.
settings() {
  {
    printf '[Settings]\r\nFastScan=%s\r\nAskForSweep=0\r\n[Hotkey]\r\nEnableHotkey=0\r\n[SChedule]\r\nAutoWash=0\r\n' "$1"
    if [ -n "${2:-}" ]; then
      printf '[NodeSelected]\r\nSelectedCount=1\r\n1=Custom Lists - <New List>\r\n'
    fi
  } >"$work/app/settings.ini"
  if [ -n "${2:-}" ]; then
    printf '[<New List>]\r\nDelFile1=C:\\qvbench\\%s\r\n' "$2" >"$work/app/Clist.dat"
  else
    rm -f "$work/app/Clist.dat"
  fi
}
# program NAME FASTSCAN FOLDER [-quiet]: the real program, "-cleanonce" of the custom list aimed
# at FOLDER, watched (or with -quiet only waited for) by window_bench.
program() {
  settings "$2" "$3"
  watch "$1" ${4:-} 'C:\qvbench\app\Quorvane.exe' -cleanonce
}
# The unattended floor: the same run of a list naming an empty folder.
floor() {
  mkdir -p "$work/empty"
  program prog_floor 1 empty -quiet
  rm -rf "$work/empty"
}
# startup NAME: the program started as a user starts it, to its main window shown and answering.
startup() { watch "$1" -visible 'C:\qvbench\app\Quorvane.exe'; }

# The winapp2.ini of the start-up row: the community's file where it was put in the build folder
# (it is never part of the repository), else one made up of 4,000 entries of the same shape, ten of
# them detected by a wildcard file.
winapp2="$build/winapp2.ini"
winapp2_what="the community's winapp2.ini"
if [ ! -s "$winapp2" ]; then
  winapp2="$build/winapp2-synthetic.ini"
  winapp2_what="a made-up winapp2.ini"
  awk 'BEGIN {
    printf "; made up for the bench: 4,000 entries\r\n\r\n"
    for (i = 1; i <= 4000; i++) {
      printf "[Bench Application %d *]\r\nLangSecRef=3021\r\n", i
      if (i % 400 == 0) printf "DetectFile=%%LocalAppData%%\\Bench Vendor*\\App %d*\\*.cfg\r\n", i
      else if (i % 3 == 0) printf "DetectFile=%%AppData%%\\Bench Vendor\\Application %d\r\n", i
      else printf "Detect=HKCU\\Software\\Bench Vendor\\Application %d\r\n", i
      printf "Default=False\r\nFileKey1=%%AppData%%\\Bench Vendor\\Application %d|*.log;*.tmp\r\n", i
      printf "FileKey2=%%LocalAppData%%\\Bench Vendor\\Application %d\\Cache|*.*|RECURSE\r\n", i
      printf "RegKey1=HKCU\\Software\\Bench Vendor\\Application %d\\Recent\r\n\r\n", i
    }
  }' >"$winapp2"
fi
winapp2_entries=$(grep -c '^\[' "$winapp2" || true)
winapp2_wild=$(grep -ci '^DetectFile[0-9]*=.*[*?]' "$winapp2" || true)
# A settings.ini of many ticked items, as a user who ticked everything of a large winapp2.ini has.
big_settings="$tmp/settings-big.ini"
awk -v n="$settings_keys" 'BEGIN {
  printf "[Settings]\r\nFastScan=1\r\nAskForSweep=0\r\n[Hotkey]\r\nEnableHotkey=0\r\n[SChedule]\r\nAutoWash=0\r\n"
  printf "[NodeSelected]\r\nSelectedCount=%d\r\n", n
  for (i = 1; i <= n; i++) printf "%d=Applications - Bench Application %d with a name as long as many of them are (cache, logs, history)\r\n", i, i
}' >"$big_settings"
"$QV_LOADER" 'C:\qvbench\bin\settings_bench.exe' make 'C:\qvbench\settings-load.ini' "$settings_keys" >/dev/null 2>&1 </dev/null || true
settings_mb=$(awk -v b="$(stat -c %s "$big_settings")" 'BEGIN { printf "%.1f", b / 1048576 }')

for ((r = 1; r <= rounds; r++)); do
  echo "round $r of $rounds: floors" >&2
  wcmd cmd_floor exit
  measure bench_floor "$QV_LOADER" 'C:\qvbench\bin\removal_bench.exe'
  measure peer_bench_floor "$QV_LOADER" 'C:\qvbench\bin\peer_bench.exe'
  floor
  watch peer_window -quiet 'C:\qvbench\bin\peer_bench.exe' window

  if part startup; then
  echo "round $r of $rounds: start-up" >&2
  settings 1
  startup start_plain
  cp "$winapp2" "$work/app/winapp2.ini"
  startup start_winapp2
  rm -f "$work/app/winapp2.ini"
  # A read that takes long is measured once.
  if [ "$r" = 1 ] || awk -v w="$(omedian start_settings visible_seconds)" 'BEGIN { exit !(w != "-" && w < 10) }'; then
    cp "$big_settings" "$work/app/settings.ini"
    startup start_settings
    rm -f "$work/app/settings.ini"
  fi
  measure settings_load "$QV_LOADER" 'C:\qvbench\bin\settings_bench.exe' load 'C:\qvbench\settings-load.ini'
  fi

  if part tree; then
  echo "round $r of $rounds: Test of a tree of $files files" >&2
  make_tree "$work/tree" "$files"
  measure find sh -c "find '$work/tree' -type f -printf '%s\n' | awk '{ n++; s += \$1 } END { print \"count=\" n \" bytes=\" s }'"
  bench test_fast tree 'C:\qvbench\tree' test fast
  wcmd dir dir /s /b 'C:\qvbench\tree'
  LISTED[dir]="${LISTED[dir]:-} $(tr -d '\r' <"$tmp/out" | grep -c 'file[0-9]*$' || true)"
  bench test_full tree 'C:\qvbench\tree' test full

  echo "round $r of $rounds: Clean of a tree of $files files" >&2
  wcmd cmd_floor exit
  wcmd del del /s /q 'C:\qvbench\tree'
  read -r lf _ <<<"$(left_of "$work/tree")"
  [ "$lf" = 0 ] || echo "warning: del /s /q left $lf files" >&2
  make_tree "$work/tree" "$files"
  floor
  program prog_clean 1 tree -quiet
  [ ! -e "$work/tree" ] || echo "warning: the program left of the tree: $(left_of "$work/tree")" >&2
  if [ "$rd_row" = 1 ] && slow_round "$r"; then
    make_tree "$work/tree" "$files"
    wcmd rd rd /s /q 'C:\qvbench\tree'
    [ ! -e "$work/tree" ] || echo "warning: rd /s /q left of the tree: $(left_of "$work/tree")" >&2
  fi
  if slow_round "$r"; then
    make_tree "$work/tree" "$files"
    bench clean_checked tree 'C:\qvbench\tree' clean fast
    make_tree "$work/tree" "$files"
    bench clean_plain tree 'C:\qvbench\tree' clean fast plain
    if [ "$shell_row" = 1 ]; then
      make_tree "$work/tree" "$files"
      bench clean_shell tree 'C:\qvbench\tree' clean fast shell
    fi
  fi
  [ ! -e "$work/tree" ] || echo "warning: the tree was not removed completely" >&2

  echo "round $r of $rounds: the program with its log" >&2
  make_tree "$work/tree" "$files"
  program prog_log 0 tree
  [ ! -e "$work/tree" ] || echo "warning: the program left of the tree: $(left_of "$work/tree")" >&2
  fi

  if part overwrite; then
  echo "round $r of $rounds: overwrite of $ow_files files of $ow_mib MiB, 3 passes" >&2
  rm -rf "$work/ow"
  mkdir -p "$work/ow"
  owargs=()
  for ((i = 0; i < ow_files; i++)); do
    head -c $((ow_mib * 1024 * 1024)) /dev/urandom >"$work/ow/f$i.bin"
    owargs+=("C:\\qvbench\\ow\\f$i.bin")
  done
  sync
  peer ow_peer overwrite 3 "${owargs[@]}"
  bench overwrite overwrite 3 "${owargs[@]}"
  measure dd sh -c "for f in '$work/ow'/*.bin; do for p in 1 2 3; do dd if=/dev/zero of=\"\$f\" bs=65536 count=$((ow_mib * 16)) conv=notrunc,fsync status=none; done; done"
  rm -rf "$work/ow"
  fi

  if part deep; then
  echo "round $r of $rounds: deep trees" >&2
  for n in $levels; do
    make_chain "$work/deep$n" "$n"
    wcmd cmd_floor exit
    wcmd "deep_dir_$n" dir /s "C:\\qvbench\\deep$n"
    LISTED["deep_dir_$n"]="${LISTED["deep_dir_$n"]:-} $(tr -d '\r' <"$tmp/out" | grep -c ' f$' || true)"
    peer "deep_walk_$n" walk "C:\\qvbench\\deep$n"
    bench "deep_test_$n" tree "C:\\qvbench\\deep$n" test fast
    bench "deep_clean_$n" tree "C:\\qvbench\\deep$n" clean fast
    [ ! -e "$work/deep$n" ] || { echo "warning: the $n-level tree was not removed completely" >&2; rm -rf "$work/deep$n"; }
  done
  fi
done

if part scale; then
echo "time and memory against the count: $small files, with the log" >&2
make_tree "$work/tree" "$small"
program scale_small 0 tree
make_tree "$work/tree" "$small"
bench small_test tree 'C:\qvbench\tree' test full
bench small_clean tree 'C:\qvbench\tree' clean full
if [ -z "${OUTS[prog_log]:-}" ]; then
  echo "time and memory against the count: $files files, with the log" >&2
  make_tree "$work/tree" "$files"
  program prog_log 0 tree
fi
if [ "$million" = 1 ]; then
  echo "time and memory against the count: $large files, with the log" >&2
  make_tree "$work/tree" "$large"
  program scale_large 0 tree
  [ ! -e "$work/tree" ] || echo "warning: the program left of the tree: $(left_of "$work/tree")" >&2
  rm -rf "$work/tree"
fi
fi

if part index; then
echo "index.dat of $records records" >&2
"$QV_LOADER" 'C:\qvbench\bin\index_dat_bench.exe' make 'C:\qvbench\index.dat' "$records" >/dev/null 2>&1
"$QV_LOADER" 'C:\qvbench\bin\index_dat_bench.exe' make 'C:\qvbench\small.dat' "$small_records" >/dev/null 2>&1
idx_bytes=$(stat -c %s "$work/index.dat")
idx_what="index.dat: $records records in $idx_bytes bytes"
# The independent reader of the tests as background; it opens only files with the browser's own
# signature text, which the builder does not write, so it reads a copy that carries it.
have_msiecf=
if command -v msiecfexport >/dev/null 2>&1; then
  have_msiecf=1
  cp "$work/index.dat" "$work/msiecf.dat"
  printf 'Client UrlCache MMF Ver 5.2\0' | dd of="$work/msiecf.dat" bs=1 conv=notrunc status=none
fi
for ((r = 1; r <= rounds; r++)); do
  [ -z "$have_msiecf" ] || measure msiecf msiecfexport -m items "$work/msiecf.dat"
  idx read_keep read 'C:\qvbench\index.dat' keep
  [ -z "$have_msiecf" ] || measure msiecf msiecfexport -m items "$work/msiecf.dat"
  idx read_count read 'C:\qvbench\index.dat' count
  [ -z "$have_msiecf" ] || measure msiecf msiecfexport -m items "$work/msiecf.dat"
  idx read_pump read 'C:\qvbench\index.dat' keep pump
done
idx small_keep read 'C:\qvbench\small.dat' keep
idx small_count read 'C:\qvbench\small.dat' count
# The viewer itself, on the display the bench runs on.
idx view view 'C:\qvbench\index.dat'
idx idx_wipe wipe 'C:\qvbench\index.dat' 3
fi

# The table. wall: the row's own figure where its program measures itself (the engine, overwrite,
# walk and index.dat rows time the work inside the process; the watched program rows time the
# program from its start to its end, the start-up rows to its window shown), else the command's;
# CPU: the command's, with the wineserver's. A row and its reference can each have a floor
# subtracted from both: what the same harness costs doing nothing.
W() { # the median wall time of a row
  # The in-process rows time their work alone: their floor (the bench program doing nothing) counts
  # in their CPU time only.
  if [[ "$1" == *bench_floor ]]; then echo 0
  elif grep -q 'visible_seconds=' <<<"${OUTS[$1]:-}"; then omedian "$1" visible_seconds
  elif grep -q 'seconds=' <<<"${OUTS[$1]:-}"; then omedian "$1" seconds
  else median "${WALLS[$1]:-}"; fi
}
C() { median "${CPUS[$1]:-}"; }
P() { mb "$(omedian "$1" peak_ws_kb)"; }
PP() { mb "$(omedian "$1" peak_private_kb)"; }
n_of() { wc -w <<<"${CPUS[$1]:-}" | tr -d ' '; }
WF() { minus "$(W "$1")" "${2:+$(W "$2")}"; }
CF() { minus "$(C "$1")" "${2:+$(C "$2")}"; }

echo
echo "Tree: $files files of 1 KB in $( [ "$files" -lt $((folders * 100)) ] && echo $(((files + 99) / 100)) || echo $folders) folders; overwrite: $ow_files files of $ow_mib MiB; ${idx_what:-no index.dat};"
echo "start-up: $winapp2_what of $winapp2_entries entries ($winapp2_wild detected by wildcard files), a settings.ini of $settings_keys keys ($settings_mb MB)."
echo "Medians of $rounds runs of each row and of its reference, run in turn. CPU: the process and what it started, with the wineserver."
echo "A row marked '- floor' has the same harness doing nothing subtracted, and so has its reference."
fmt='%-42s %2s %9s %9s %7s %9s %9s %7s %8s  %s\n'
printf "$fmt" "row" "n" "wall s" "ref s" "ratio" "CPU s" "ref CPU" "ratio" "peak MB" "reference; notes"
row() { # LABEL NAME NAME_FLOOR REF REF_FLOOR REFLABEL NOTES
  local w c rw rc notes
  [ "$(n_of "$2")" != 0 ] || return 0
  notes=$6
  [ -z "${7:-}" ] || notes="${notes:+$notes; }$7"
  w=$(WF "$2" "$3")
  c=$(CF "$2" "$3")
  rw=-; rc=-
  if [ -n "$4" ]; then rw=$(WF "$4" "$5"); rc=$(CF "$4" "$5"); fi
  printf "$fmt" "$1" "$(n_of "$2")" "$w" "$rw" "$(ratio "$w" "$rw")" "$c" "$rc" "$(ratio "$c" "$rc")" "$(P "$2")" "$notes"
}
ms_file() { per "$(WF "$1" "$2")" "$3" 1000; }
row "Floor: -cleanonce of an empty folder" prog_floor "" peer_window "" "least window program" "private $(PP prog_floor) MB; cmd /c exit $(W cmd_floor) s, $(C cmd_floor) s CPU"
row "Start-up to the window shown" start_plain "" peer_window "" "least window program, to its end" "answers after $(omedian start_plain answer_seconds) s"
row "Start-up with winapp2.ini" start_winapp2 "" start_plain "" "plain start-up" "$winapp2_entries entries"
row "Start-up with a $settings_mb MB settings.ini" start_settings "" start_plain "" "plain start-up" "the read: $(minus "$(W start_settings)" "$(W start_plain)") s"
row "settings.ini of $settings_keys names, loaded" settings_load "" "" "" "" "in one process; $(omedian settings_load bytes) bytes, $(omedian settings_load ticked) ticked"
row "Clean by -cleanonce - floor" prog_clean prog_floor del cmd_floor "del /s /q" "$(ms_file prog_clean prog_floor "$files") against $(ms_file del cmd_floor "$files") ms a file"
[ "$rd_row" != 1 ] || row "Clean by -cleanonce - floor" prog_clean prog_floor rd cmd_floor "rd /s /q" "rd: $(ms_file rd cmd_floor "$files") ms a file"
row "Clean, checked delete (in one process)" clean_checked bench_floor del cmd_floor "del /s /q" "$(ms_file clean_checked "" "$files") ms a file"
row "Clean, plain DeleteFileW (in one process)" clean_plain bench_floor del cmd_floor "del /s /q"
row "Clean, checked / plain" clean_checked bench_floor clean_plain bench_floor "plain DeleteFileW" "the same rounds"
[ "$shell_row" != 1 ] || row "Clean, shell file operation" clean_shell bench_floor del cmd_floor "del /s /q"
row "Test, FastScan on" test_fast bench_floor dir cmd_floor "dir /s /b" "$(omedian test_fast count) files; dir listed $(median "${LISTED[dir]:-}"); find $(W find) s"
row "Test, FastScan off" test_full bench_floor dir cmd_floor "dir /s /b" "lines made, not kept"
row "Clean by -cleanonce, Fast Mode off" prog_log "" prog_clean "" "Fast Mode on" "$(omedian prog_log lines) log lines; private $(PP prog_log) MB; answer p50/p99/max $(omedian prog_log answer_p50_ms)/$(omedian prog_log answer_p99_ms)/$(omedian prog_log answer_max_ms) ms; bar still at most $(omedian prog_log progress_max_gap_ms) ms"
row "Overwrite, 3 passes, $ow_files x $ow_mib MiB" overwrite bench_floor ow_peer peer_bench_floor "plain program, 64 KiB, flush a pass" "dd: $(W dd) s"
first=
for n in $levels; do
  [ -n "$first" ] || first=$n
  for kind in test clean; do
    name="deep_${kind}_$n"
    [ "$(n_of "$name")" != 0 ] || continue
    w=$(WF "$name" bench_floor); c=$(CF "$name" bench_floor)
    pw=$(per "$w" "$n"); pc=$(per "$c" "$n")
    if [ "$kind" = test ]; then
      # cmd's dir stops where a path passes MAX_PATH; the plain program's walk by \\?\ paths
      # reaches the bottom, so it is the reference, and dir is shown beside it.
      ref="a plain program's walk, per level"
      rpw=$(per "$(W "deep_walk_$n")" "$n"); rpc=$(per "$(CF "deep_walk_$n" peer_bench_floor)" "$n")
      notes="it found $(omedian "deep_walk_$n" count); dir /s $(per "$(WF "deep_dir_$n" cmd_floor)" "$n") s a level, $(per "$(CF "deep_dir_$n" cmd_floor)" "$n") s CPU, listed $(median "${LISTED["deep_dir_$n"]:-}") of $n files"
    else
      ref="$first-level chain, per level"
      rpw=$(per "$(WF "deep_clean_$first" bench_floor)" "$first"); rpc=$(per "$(CF "deep_clean_$first" bench_floor)" "$first")
      notes="$(omedian "$name" count) files, $w s in all"
    fi
    printf "$fmt" "Deep $kind, $n levels, per level" "$(n_of "$name")" "$pw" "$rpw" "$(ratio "$pw" "$rpw")" "$pc" "$rpc" \
      "$(ratio "$pc" "$rpc")" "$(P "$name")" "$ref; $notes"
  done
done
# Time and memory against the count, with a detailed log (the window's log list holds every line).
scale_row() { # LABEL NAME COUNT
  [ "$(n_of "$2")" != 0 ] || return 0
  printf "$fmt" "$1" "$(n_of "$2")" "$(W "$2")" "-" "-" "$(C "$2")" "-" "-" "$(P "$2")" \
    "$(per "$(WF "$2" prog_floor)" "$3" 1000) ms a file less the floor; private $(PP "$2") MB; $(omedian "$2" lines) log lines"
}
scale_row "Program, log, $small files" scale_small "$small"
scale_row "Program, log, $files files" prog_log "$files"
[ "$million" != 1 ] || scale_row "Program, log, $large files" scale_large "$large"
row "Test of $small files (memory)" small_test "" "" "" "" "against $(P test_full) MB for $files"
row "Clean of $small files (memory)" small_clean "" "" "" "" "FastScan off"
row "index.dat read, entries kept" read_keep "" "${have_msiecf:+msiecf}" "" "${have_msiecf:+msiecfexport}"
row "index.dat read, entries counted" read_count "" "${have_msiecf:+msiecf}" "" "${have_msiecf:+msiecfexport}"
row "index.dat read, kept, messages" read_pump "" "${have_msiecf:+msiecf}" "" "${have_msiecf:+msiecfexport}"
row "index.dat read of $small_records, kept" small_keep "" "" "" ""
row "index.dat read of $small_records, counted" small_count "" "" "" ""
row "index.dat wipe, 3 passes" idx_wipe "" "" "" ""
view=$(tr -d '\r' <<<"${OUTS[view]:-}" | sed '/^$/d' | tail -n 1)
[ -z "$view" ] || echo "index.dat viewer: $(field rows "$view") rows read and shown in $(field read_seconds "$view") s;" \
  "$(field pages "$view") pages drawn (down from the top, the middle, near the end, and the last) in" \
  "$(field scroll_seconds "$view") s, $(field ms_per_page "$view") ms a page;" \
  "peak $(mb "$(field peak_ws_kb "$view")") MB"
rm -rf "$work"
