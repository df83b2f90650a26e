#!/usr/bin/env bash
# Checks the index.dat reader against an independent reader of the format, on the host. For every
# NAME.dat that index_dat_test left (an index.dat written by Wine's WinINet) with NAME.urls (the URLs
# the reader yielded from it, one a line), msiecfexport's items -- the allocated records that a hash
# entry points to -- must be exactly those URLs. Records that only its recovery mode finds (entries
# WinINet has deleted, whose hash entry is marked empty) are not items and are left out.
# Usage: index_dat_msiecf.sh FOLDER
set -euo pipefail
dir=$1
command -v msiecfexport >/dev/null || { echo "msiecfexport is missing (package libmsiecf-utils)"; exit 1; }
shopt -s nullglob
files=("$dir"/*.dat)
[ ${#files[@]} -gt 0 ] || { echo "no index.dat files in $dir"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for dat in "${files[@]}"; do
  name=$(basename "$dat" .dat)
  [ -f "$dir/$name.urls" ] || { echo "$name: no URL list beside it"; status=1; continue; }
  # msiecfexport opens only files that begin with the browser's own signature text; Wine writes its
  # own there. The reader never looks at it, so a copy carries the one msiecfexport wants.
  cp "$dat" "$work/$name.dat"
  printf 'Client UrlCache MMF Ver 5.2\0' | dd of="$work/$name.dat" bs=1 conv=notrunc status=none
  if ! msiecfexport -m items "$work/$name.dat" >"$work/$name.out" 2>"$work/$name.err"; then
    echo "$name: msiecfexport failed:"; cat "$work/$name.err"; status=1; continue
  fi
  # The items section: from "Exporting items." to the end of the export.
  sed -n '/^Exporting items\./,/^Export completed\./p' "$work/$name.out" >"$work/$name.items"
  items=$(sed -n 's/^Number of items: \([0-9]*\)\.$/\1/p' "$work/$name.items")
  sed -n 's/^Location\t*: //p' "$work/$name.items" | sort >"$work/$name.theirs"
  tr -d '\r' <"$dir/$name.urls" | sed '/^$/d' | sort >"$work/$name.ours"
  theirs=$(wc -l <"$work/$name.theirs")
  ours=$(wc -l <"$work/$name.ours")
  if [ "${items:-x}" != "$theirs" ]; then
    echo "$name: msiecfexport reports $items items but lists $theirs locations"; status=1
  fi
  if [ "$ours" -eq 0 ]; then
    echo "$name: the reader found no URL"; status=1
  fi
  if ! diff "$work/$name.ours" "$work/$name.theirs" >"$work/$name.diff"; then
    echo "$name: the reader (<) and msiecfexport (>) differ:"; cat "$work/$name.diff"; status=1
  else
    recovered=$(msiecfexport -m recovered "$work/$name.dat" 2>/dev/null | grep -c '^Location' || true)
    echo "$name: $ours URLs, the same in both ($recovered more records only msiecfexport's recovery finds)"
  fi
done
exit $status
