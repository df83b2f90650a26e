#!/usr/bin/env bash
# Benchmarks of the removal primitives against their Linux limits. Builds the bench program into
# build/bench-build-<build>, makes a throwaway Wine prefix build/benchprefix-<build> (its z: drive removed) and
# works only inside it:
#   - a tree of 100,000 files of 1 KB in 100 folders: a Test and a Clean through DeleteFolderTree
#     with FastScan on and off, a Clean with the plain delete call and one with the shell's file
#     operation; `find` (count and sizes) and `rm -rf` on an identical tree as the limit;
#   - OverwriteFileContents with 3 passes on a 256 MiB file against `shred -n 3`;
#   - peak memory of a Test and a Clean of 100,000 files against 10,000;
#   - the index.dat reader on a file of 100,000 records made by the test builder (keeping the
#     entries as the viewer does, only counting them, and processing a window message before every
#     entry), with msiecfexport on the same file as the limit, its peak memory against a file of
#     10,000 records, and a 3-pass wipe of the file;
#   - the index.dat viewer on the same file: read and shown, then paged down from its top, its
#     middle and near its end (under an Xvfb display of its own when there is none).
# Usage: bash bench/run.sh            (QV_BENCH_FILES / QV_BENCH_MIB / QV_BENCH_RECORDS make it smaller)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QV_BUILD_DIR:-$here/build}
mkdir -p "$build"
build=$(cd "$build" && pwd)
files=${QV_BENCH_FILES:-100000}
mib=${QV_BENCH_MIB:-256}
records=${QV_BENCH_RECORDS:-100000}
folders=100

. "$here/scripts/wine-env.sh"
# The x86 build where this host runs 32-bit code, else the x64 build.
if qv_x86_runs; then arch=x86; else arch=x64; fi
echo "building the $arch bench..." >&2
QV_BUILD_DIR="$build/bench-build-$arch" bash "$here/scripts/build.sh" "$arch" -DQV_TESTS=OFF -DQV_BENCH=ON >/dev/null
exe="$build/bench-build-$arch/bench/removal_bench.exe"
idx_exe="$build/bench-build-$arch/bench/index_dat_bench.exe"

# The bench prefix's own server and programs end with the bench.
qv_use_prefix "$build/benchprefix-$arch" "$arch" "$build/benchhome-$arch"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
case "$WINEPREFIX" in "$build"/*) ;; *) echo "refusing prefix $WINEPREFIX" >&2; exit 2;; esac
[ ! -e "$WINEPREFIX/dosdevices/z:" ] || { echo "z: drive still present" >&2; exit 2; }

work="$WINEPREFIX/drive_c/qvbench"
rm -rf "$work"
mkdir -p "$work/bin"
cp -f "$exe" "$work/bin/removal_bench.exe"
cp -f "$idx_exe" "$work/bin/index_dat_bench.exe"

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }
field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p" <<<"$2"; }

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

bench() { (cd "$work/bin" && qv_wine 'C:\qvbench\bin\removal_bench.exe' "$@" 2>&1 | tr -d '\r'); }
idx() { (cd "$work/bin" && qv_wine 'C:\qvbench\bin\index_dat_bench.exe' "$@" 2>&1 | tr -d '\r'); }

echo "tree of $files files of 1 KB" >&2
make_tree "$work/linux" "$files"
t0=$(now); find_out=$(find "$work/linux" -type f -printf '%s\n' | awk '{ n++; s += $1 } END { print n, s }'); t1=$(now)
find_s=$(elapsed "$t0" "$t1")
t0=$(now); rm -rf "$work/linux"; t1=$(now)
rm_s=$(elapsed "$t0" "$t1")

make_tree "$work/tree" "$files"
test_fast=$(bench tree 'C:\qvbench\tree' test fast)
test_full=$(bench tree 'C:\qvbench\tree' test full)
clean_fast=$(bench tree 'C:\qvbench\tree' clean fast)
make_tree "$work/tree" "$files"
clean_full=$(bench tree 'C:\qvbench\tree' clean full)
make_tree "$work/tree" "$files"
clean_plain=$(bench tree 'C:\qvbench\tree' clean fast plain)
make_tree "$work/tree" "$files"
clean_shell=$(bench tree 'C:\qvbench\tree' clean fast shell)
[ ! -e "$work/tree" ] || echo "warning: the tree was not removed completely" >&2

small=$((files / 10))
make_tree "$work/tree" "$small"
small_test=$(bench tree 'C:\qvbench\tree' test full)
small_clean=$(bench tree 'C:\qvbench\tree' clean full)

echo "overwrite of a $mib MiB file, 3 passes" >&2
head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/big.bin"
cp "$work/big.bin" "$work/big-linux.bin"
sync
over=$(bench overwrite 'C:\qvbench\big.bin' 3)
t0=$(now); shred -n 3 "$work/big-linux.bin"; t1=$(now)
shred_s=$(elapsed "$t0" "$t1")
rm -f "$work/big.bin" "$work/big-linux.bin"

echo "index.dat of $records records" >&2
small_records=$((records / 10))
idx make 'C:\qvbench\index.dat' "$records" >/dev/null
idx make 'C:\qvbench\small.dat' "$small_records" >/dev/null
idx_bytes=$(stat -c %s "$work/index.dat")
read_keep=$(idx read 'C:\qvbench\index.dat' keep)
read_count=$(idx read 'C:\qvbench\index.dat' count)
read_pump=$(idx read 'C:\qvbench\index.dat' keep pump)
# The viewer itself, which needs a display: its own Xvfb when there is none (with the prefix's
# programs ended first, so that its desktop is made again on that display).
if [ -n "${DISPLAY:-}" ]; then
  view=$(idx view 'C:\qvbench\index.dat')
else
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  view=$(cd "$work/bin" && xvfb-run -a -s "-screen 0 1280x1024x24" "$QV_LOADER" 'C:\qvbench\bin\index_dat_bench.exe' \
    view 'C:\qvbench\index.dat' 2>&1 | tr -d '\r')
fi
small_keep=$(idx read 'C:\qvbench\small.dat' keep)
small_count=$(idx read 'C:\qvbench\small.dat' count)
# The independent reader of the tests as the limit; it opens only files with the browser's own
# signature text, which the builder does not write, so it reads a copy that carries it.
msiecf_s=-
if command -v msiecfexport >/dev/null 2>&1; then
  cp "$work/index.dat" "$work/msiecf.dat"
  printf 'Client UrlCache MMF Ver 5.2\0' | dd of="$work/msiecf.dat" bs=1 conv=notrunc status=none
  t0=$(now); msiecfexport -m items "$work/msiecf.dat" >/dev/null 2>&1; t1=$(now)
  msiecf_s=$(elapsed "$t0" "$t1")
  rm -f "$work/msiecf.dat"
fi
idx_wipe=$(idx wipe 'C:\qvbench\index.dat' 3)
rm -f "$work/index.dat" "$work/small.dat"

echo
echo "Tree: $files files of 1 KB in $( [ "$files" -lt $((folders * 100)) ] && echo $(((files + 99) / 100)) || echo $folders) folders; overwrite: $mib MiB."
echo "Linux limits: find $find_s s ($find_out), rm -rf $rm_s s, shred -n 3 $shred_s s"
printf '%-34s %9s %8s %12s %9s %11s\n' "run" "seconds" "entries" "bytes" "ratio" "peak MB"
row() { # name output limit limitname
  local s; s=$(field seconds "$2")
  printf '%-34s %9s %8s %12s %9s %11s\n' "$1" "$s" "$(field count "$2")" "$(field bytes "$2")" \
    "$(ratio "$s" "$3")${4:+x $4}" "$(awk -v k="$(field peak_ws_kb "$2")" 'BEGIN { printf "%.1f", k / 1024 }')"
}
row "Test, FastScan on" "$test_fast" "$find_s" find
row "Test, FastScan off" "$test_full" "$find_s" find
row "Clean, FastScan on" "$clean_fast" "$rm_s" rm
row "Clean, FastScan off" "$clean_full" "$rm_s" rm
row "Clean, plain DeleteFileW" "$clean_plain" "$rm_s" rm
row "Clean, shell file operation" "$clean_shell" "$rm_s" rm
row "Test of $small files (memory)" "$small_test" 0 ""
row "Clean of $small files (memory)" "$small_clean" 0 ""
s=$(field seconds "$over")
printf '%-34s %9s %8s %12s %9s %11s\n' "Overwrite, 3 passes, $mib MiB" "$s" "-" "$((mib * 1024 * 1024))" \
  "$(ratio "$s" "$shred_s")x shred" "$(awk -v k="$(field peak_ws_kb "$over")" 'BEGIN { printf "%.1f", k / 1024 }')"
row "index.dat read, entries kept" "$read_keep" "$msiecf_s" msiecf
row "index.dat read, entries counted" "$read_count" "$msiecf_s" msiecf
row "index.dat read, kept, messages" "$read_pump" "$msiecf_s" msiecf
row "index.dat read of $small_records, kept" "$small_keep" 0 ""
row "index.dat read of $small_records, counted" "$small_count" 0 ""
s=$(field seconds "$idx_wipe")
printf '%-34s %9s %8s %12s %9s %11s\n' "index.dat wipe, 3 passes" "$s" "-" "$idx_bytes" "-" \
  "$(awk -v k="$(field peak_ws_kb "$idx_wipe")" 'BEGIN { printf "%.1f", k / 1024 }')"
echo "index.dat: $records records in $idx_bytes bytes; msiecfexport $msiecf_s s"
echo "index.dat viewer: $(field rows "$view") rows read and shown in $(field read_seconds "$view") s;" \
  "$(field pages "$view") pages drawn (down from the top, the middle, near the end, and the last) in" \
  "$(field scroll_seconds "$view") s, $(field ms_per_page "$view") ms a page;" \
  "peak $(awk -v k="$(field peak_ws_kb "$view")" 'BEGIN { printf "%.1f", k / 1024 }') MB"
echo "shell / plain delete: $(ratio "$(field seconds "$clean_shell")" "$(field seconds "$clean_plain")")x;" \
  "checked / plain delete: $(ratio "$(field seconds "$clean_fast")" "$(field seconds "$clean_plain")")x"
rm -rf "$work"
