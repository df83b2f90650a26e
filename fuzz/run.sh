#!/usr/bin/env bash
# Fuzzes the index.dat reader and wiper on the host: builds the libFuzzer target (with
# AddressSanitizer and UndefinedBehaviorSanitizer) and the seed maker with clang into WORKDIR,
# writes the seed corpus of odd files, and fuzzes for SECONDS. The corpus that libFuzzer grows is
# kept in WORKDIR/corpus for the next run; an input that fails is saved in WORKDIR/artifacts/.
# Usage: fuzz/run.sh [SECONDS] [WORKDIR]        (defaults: 600, build/fuzz)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
work=${2:-$here/build/fuzz}
mkdir -p "$work"
work=$(cd "$work" && pwd)
cxx=${QV_FUZZ_CXX:-clang++}
command -v "$cxx" >/dev/null || { echo "$cxx is missing (packages clang, libclang-rt-14-dev)" >&2; exit 1; }
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$here")}
  launcher=(ccache)
fi
flags=(-std=c++17 -g -O1 -Wall -Wextra -I"$here" -I"$here/tests")
"${launcher[@]}" "$cxx" "${flags[@]}" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  "$here/fuzz/index_dat_fuzz.cpp" "$here/cleaners/ie/IndexDat.cpp" -o "$work/index_dat_fuzz"
"${launcher[@]}" "$cxx" "${flags[@]}" "$here/fuzz/index_dat_seeds.cpp" "$here/tests/support/IndexDatBuilder.cpp" \
  -o "$work/index_dat_seeds"

rm -rf "$work/seeds"
mkdir -p "$work/seeds" "$work/corpus" "$work/artifacts"
"$work/index_dat_seeds" "$work/seeds"
"$work/index_dat_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" "$work/seeds"
