#!/usr/bin/env bash
# The program's layers, each using only those below it:
#   base/  <  engine/  <  cleaners/  <  dialogs/  <  shell/
# Fails, naming the file and the line, when a source file includes a header of a layer above its
# own. Run by CTest on the host (it reads the sources; nothing runs under Wine).
set -euo pipefail
src=$(cd "${1:-$(dirname "$0")/..}" && pwd)
cd "$src"
allowed() {
  case "$1" in
    base) echo "base" ;;
    engine) echo "base engine" ;;
    cleaners) echo "base engine cleaners" ;;
    dialogs) echo "base engine cleaners dialogs" ;;
    shell) echo "base engine cleaners dialogs shell" ;;
  esac
}
bad=0 checked=0
for layer in base engine cleaners dialogs shell; do
  [ -d "$layer" ] || continue
  ok=" $(allowed "$layer") third_party "
  while IFS= read -r -d '' f; do
    checked=$((checked + 1))
    while IFS=: read -r line text; do
      inc=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' <<<"$text")
      case "$inc" in */*) ;; *) continue ;; esac
      top=${inc%%/*}
      case "$ok" in *" $top "*) ;; *)
        echo "$f:$line: the $layer layer includes \"$inc\" from the $top layer above it" >&2
        bad=1 ;;
      esac
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$f" || true)
  done < <(find "$layer" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)
done
[ "$checked" -gt 0 ] || { echo "no sources found under $src" >&2; exit 1; }
[ "$bad" = 0 ] && echo "layering holds in $checked files"
