#!/usr/bin/env bash
# Benchmarks of the program and its removal primitives against their Linux limits. Builds the bench
# programs and the program itself into build/bench-build-<build>, makes a throwaway Wine prefix
# build/benchprefix-<build> (its z: drive removed) and works only inside it:
#   - a tree of 100,000 files of 1 KB in 100 folders: a Test through DeleteFolderTree (FastScan on
#     and off) against `find` (count and sizes); a Clean with the checked delete and one with plain
#     DeleteFileW against `rm -rf` on an identical tree (with QV_BENCH_SHELL=1, also one with the
#     shell's file operation);
#   - the real Quorvane.exe, started as a user starts it: "-cleanonce" of a custom list aimed at the
#     tree, Fast Mode on, then off (every file a line in the log list), watched from another process
#     (bench/window_bench.cpp): its time, how fast its window answers, how its progress bar moves,
#     and its peak memory;
#   - OverwriteFileContents with 3 passes on a 256 MiB file against `dd` writing constant bytes in
#     place three times, in blocks of the same size;
#   - chains of folders 100, 200 and 400 levels deep (QV_BENCH_LEVELS="100 200 400 800" adds
#     deeper ones), one file on each level: a Test and a Clean, their time per level against that
#     of the first chain;
#   - peak memory of a Test and a Clean of 10,000 files (against the 100,000 above);
#   - the index.dat reader on a file of 100,000 records made by the test builder (keeping the
#     entries as the viewer does, only counting them, and processing a window message before every
#     entry as the viewer does), with msiecfexport on the same file as the limit, its peak memory
#     against a file of 10,000 records, and a 3-pass wipe of the file;
#   - the index.dat viewer on the same file: read and shown, then paged down from its top, its
#     middle and near its end;
#   - the load of a settings.ini of 100,000 stored names (10 MB) into the built-in catalogue.
# Each row and its reference are run in turn (reference, row, reference, row, ...), QV_BENCH_ROUNDS
# times (3), and the medians are compared. Wall time is printed beside CPU time: the CPU time of the
# process and every process it started (bench/rusage.c), plus, for Wine programs, that of the
# prefix's wineserver over the same span. CPU time is far steadier than wall time on a shared
# machine. It takes about a quarter of an hour on a 2-core machine; QV_BENCH_FILES, QV_BENCH_MIB, QV_BENCH_RECORDS,
# QV_BENCH_LEVELS and QV_BENCH_ROUNDS make it smaller.
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
mib=${QV_BENCH_MIB:-256}
records=${QV_BENCH_RECORDS:-100000}
levels=${QV_BENCH_LEVELS:-100 200 400}
shell_row=${QV_BENCH_SHELL:-0}
rounds=${QV_BENCH_ROUNDS:-3}
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
for exe in removal_bench index_dat_bench window_bench settings_bench; do cp -f "$bdir/bench/$exe.exe" "$work/bin/"; done
cp -f "$bdir/Quorvane.exe" "$bdir/Zelbrin.dat" "$here/installer/portable.dat" "$work/app/"
# The prefix's services and desktop start here, under the bench's server, not inside a measured row
# (the program, with nothing ticked, ends at once).
qv_wine cmd /c exit >/dev/null 2>&1 || true
qv_wine 'C:\qvbench\app\Quorvane.exe' -cleanonce >/dev/null 2>&1 || true
rm -f "$work/app/settings.ini"

# measure NAME COMMAND...: runs the command under rusage; sets W_<NAME> (wall s), C_<NAME> (CPU s,
# with the wineserver's), O_<NAME> (what it printed) and appends them to the NAME's lists.
declare -A WALLS CPUS OUTS
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

# make_chain DIR LEVELS: folders "d" inside each other LEVELS deep, a 1-byte file on every level,
# made level by level (a path that deep is past what one Linux call takes).
make_chain() {
  local dir=$1 n=$2 i
  rm -rf "$dir"
  mkdir -p "$dir"
  (cd "$dir" && for ((i = 0; i < n; i++)); do mkdir d && cd d && printf x >f; done)
  sync
}

bench() { measure "$1" "$QV_LOADER" 'C:\qvbench\bin\removal_bench.exe' "${@:2}"; }
idx() { measure "$1" "$QV_LOADER" 'C:\qvbench\bin\index_dat_bench.exe' "${@:2}"; }
# The real program: settings.ini and Clist.dat beside it (a portable copy) tick the custom list,
# which empties the tree.
program() { # NAME FASTSCAN
  cat >"$work/app/settings.ini" <<EOF
[Settings]
FastScan=$2
AskForSweep=0
[Hotkey]
EnableHotkey=0
[SChedule]
AutoWash=0
[NodeSelected]
SelectedCount=1
1=Custom Lists - <New List>
EOF
  printf '[<New List>]\r\nDelFile1=C:\\qvbench\\tree\r\n' >"$work/app/Clist.dat"
  measure "$1" "$QV_LOADER" 'C:\qvbench\bin\window_bench.exe' 'C:\qvbench\app\Quorvane.exe' -cleanonce
}

for ((r = 1; r <= rounds; r++)); do
  echo "round $r of $rounds: tree of $files files" >&2
  make_tree "$work/tree" "$files"
  cp -a "$work/tree" "$work/linux"
  measure find sh -c "find '$work/linux' -type f -printf '%s\n' | awk '{ n++; s += \$1 } END { print \"count=\" n \" bytes=\" s }'"
  bench test_fast tree 'C:\qvbench\tree' test fast
  measure find sh -c "find '$work/linux' -type f -printf '%s\n' | awk '{ n++; s += \$1 } END { print \"count=\" n \" bytes=\" s }'"
  bench test_full tree 'C:\qvbench\tree' test full
  measure rm rm -rf "$work/linux"
  bench clean_checked tree 'C:\qvbench\tree' clean fast
  make_tree "$work/tree" "$files"
  bench clean_plain tree 'C:\qvbench\tree' clean fast plain
  if [ "$shell_row" = 1 ]; then
    make_tree "$work/tree" "$files"
    bench clean_shell tree 'C:\qvbench\tree' clean fast shell
  fi
  [ ! -e "$work/tree" ] || echo "warning: the tree was not removed completely" >&2

  echo "round $r of $rounds: the program" >&2
  make_tree "$work/tree" "$files"
  program prog_fast 1
  make_tree "$work/tree" "$files"
  program prog_log 0
  [ ! -e "$work/tree" ] || echo "warning: the program left the tree" >&2

  echo "round $r of $rounds: overwrite of a $mib MiB file, 3 passes" >&2
  head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/big.bin"
  sync
  measure dd sh -c "for p in 1 2 3; do dd if=/dev/zero of='$work/big.bin' bs=4096 count=$((mib * 256)) conv=notrunc,fsync status=none; done"
  bench overwrite overwrite 'C:\qvbench\big.bin' 3
  rm -f "$work/big.bin"

  echo "round $r of $rounds: deep trees" >&2
  for n in $levels; do
    make_chain "$work/deep$n" "$n"
    bench "deep_test_$n" tree "C:\\qvbench\\deep$n" test fast
    bench "deep_clean_$n" tree "C:\\qvbench\\deep$n" clean fast
    [ ! -e "$work/deep$n" ] || echo "warning: the $n-level tree was not removed completely" >&2
  done
done

echo "memory: trees of $((files / 10)) files" >&2
small=$((files / 10))
make_tree "$work/tree" "$small"
bench small_test tree 'C:\qvbench\tree' test full
bench small_clean tree 'C:\qvbench\tree' clean full

echo "index.dat of $records records" >&2
small_records=$((records / 10))
"$QV_LOADER" 'C:\qvbench\bin\index_dat_bench.exe' make 'C:\qvbench\index.dat' "$records" >/dev/null 2>&1
"$QV_LOADER" 'C:\qvbench\bin\index_dat_bench.exe' make 'C:\qvbench\small.dat' "$small_records" >/dev/null 2>&1
idx_bytes=$(stat -c %s "$work/index.dat")
# The independent reader of the tests as the limit; it opens only files with the browser's own
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

echo "settings.ini of 100,000 stored names" >&2
"$QV_LOADER" 'C:\qvbench\bin\settings_bench.exe' make 'C:\qvbench\settings.ini' 100000 >/dev/null 2>&1
for ((r = 1; r <= rounds; r++)); do
  measure settings_load "$QV_LOADER" 'C:\qvbench\bin\settings_bench.exe' load 'C:\qvbench\settings.ini'
done

# The table. wall: the row's own figure where its program measures itself (the engine and index.dat
# rows time the work inside the process; the program rows time the program from its start to its
# end), else the command's; CPU: the command's, with the wineserver's.
W() { # the median wall time of a row
  case "$1" in
    find | rm | dd | msiecf) median "${WALLS[$1]:-}" ;;
    *) omedian "$1" seconds ;;
  esac
}
C() { median "${CPUS[$1]:-}"; }
P() { mb "$(omedian "$1" peak_ws_kb)"; }
n_of() { wc -w <<<"${CPUS[$1]:-}" | tr -d ' '; }

echo
echo "Tree: $files files of 1 KB in $( [ "$files" -lt $((folders * 100)) ] && echo $(((files + 99) / 100)) || echo $folders) folders; overwrite: $mib MiB; index.dat: $records records in $idx_bytes bytes."
echo "Medians of $rounds runs of each row and of its reference, run in turn. CPU: the process and what it started, with the wineserver."
fmt='%-38s %2s %9s %9s %7s %9s %9s %7s %8s  %s\n'
printf "$fmt" "row" "n" "wall s" "ref s" "ratio" "CPU s" "ref CPU" "ratio" "peak MB" "reference; notes"
row() { # LABEL NAME REF REFLABEL NOTES
  local w c rw rc notes
  notes=$4
  [ -z "${5:-}" ] || notes="${notes:+$notes; }$5"
  w=$(W "$2")
  c=$(C "$2")
  rw=-; rc=-
  if [ -n "$3" ]; then rw=$(W "$3"); rc=$(C "$3"); fi
  printf "$fmt" "$1" "$(n_of "$2")" "$w" "$rw" "$(ratio "$w" "$rw")" "$c" "$rc" "$(ratio "$c" "$rc")" "$(P "$2")" "$notes"
}
row "Test, FastScan on" test_fast find find "$(omedian test_fast count) files"
row "Test, FastScan off" test_full find find "lines made, not kept"
row "Clean, checked delete" clean_checked rm "rm -rf"
row "Clean, plain DeleteFileW" clean_plain rm "rm -rf"
row "Clean, checked / plain" clean_checked clean_plain "plain DeleteFileW" "the same rounds"
[ "$shell_row" != 1 ] || row "Clean, shell file operation" clean_shell rm "rm -rf"
row "Program -cleanonce, Fast Mode on" prog_fast "" "" "answer p99 $(omedian prog_fast answer_p99_ms) ms, bar still at most $(omedian prog_fast progress_max_gap_ms) ms"
row "Program -cleanonce, Fast Mode off" prog_log prog_fast "Fast Mode on" "$(omedian prog_log lines) log lines; answer p50/p99/max $(omedian prog_log answer_p50_ms)/$(omedian prog_log answer_p99_ms)/$(omedian prog_log answer_max_ms) ms; bar still at most $(omedian prog_log progress_max_gap_ms) ms"
row "Overwrite, 3 passes, $mib MiB" overwrite dd "dd, 3 passes of 4 KiB blocks"
first=
for n in $levels; do
  [ -n "$first" ] || first=$n
  for kind in test clean; do
    name="deep_${kind}_$n"
    w=$(W "$name"); c=$(C "$name")
    wf=$(W "deep_${kind}_$first"); cf=$(C "deep_${kind}_$first")
    # Per level, against the first chain's time per level.
    pw=$(awk -v w="$w" -v n="$n" 'BEGIN { printf "%.4f", w / n }')
    pc=$(awk -v c="$c" -v n="$n" 'BEGIN { printf "%.4f", c / n }')
    rpw=$(awk -v w="$wf" -v n="$first" 'BEGIN { printf "%.4f", w / n }')
    rpc=$(awk -v c="$cf" -v n="$first" 'BEGIN { printf "%.4f", c / n }')
    printf "$fmt" "Deep $kind, $n levels (per level)" "$(n_of "$name")" "$pw" "$rpw" "$(ratio "$pw" "$rpw")" "$pc" "$rpc" \
      "$(ratio "$pc" "$rpc")" "$(P "$name")" "$first levels; $(omedian "$name" count) files, $w s in all"
  done
done
row "Test of $small files (memory)" small_test "" "" "against $(P test_full) MB for $files"
row "Clean of $small files (memory)" small_clean "" "" "FastScan off"
row "index.dat read, entries kept" read_keep "${have_msiecf:+msiecf}" "${have_msiecf:+msiecfexport}"
row "index.dat read, entries counted" read_count "${have_msiecf:+msiecf}" "${have_msiecf:+msiecfexport}"
row "index.dat read, kept, messages" read_pump "${have_msiecf:+msiecf}" "${have_msiecf:+msiecfexport}"
row "index.dat read of $small_records, kept" small_keep "" ""
row "index.dat read of $small_records, counted" small_count "" ""
row "index.dat wipe, 3 passes" idx_wipe "" ""
row "settings.ini of 100,000 names, loaded" settings_load "" "" "$(omedian settings_load bytes) bytes"
view=$(tr -d '\r' <<<"${OUTS[view]:-}" | sed '/^$/d' | tail -n 1)
echo "index.dat viewer: $(field rows "$view") rows read and shown in $(field read_seconds "$view") s;" \
  "$(field pages "$view") pages drawn (down from the top, the middle, near the end, and the last) in" \
  "$(field scroll_seconds "$view") s, $(field ms_per_page "$view") ms a page;" \
  "peak $(mb "$(field peak_ws_kb "$view")") MB"
rm -rf "$work"
