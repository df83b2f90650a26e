#!/usr/bin/env bash
# The program's layers, each using only those below it:
#   base/  <  engine/  <  cleaners/  <  dialogs/  <  shell/
# Fails, naming the file and the line, when a source file includes a header of a layer above its
# own, in any form: "layer/file.h", <layer/file.h>, a name beside the file, or a relative path
# ("../shell/Main.h"). Each include is resolved as the compiler would find it (beside the file for
# the quoted form, then from the source root) and judged by the folder it lands in. The linker
# enforces the same rule (CMakeLists.txt); this is the faster guard. Run by CTest on the host.
#   layering_check.sh [SOURCE ROOT]    check a tree (default: this checkout)
#   layering_check.sh --self-test      check that every form of an upward include is caught
set -euo pipefail

# Sets `rank` to the layer's place from the bottom (0: no layer).
rank_of() {
  case "$1" in
    base) rank=1 ;;
    engine) rank=2 ;;
    cleaners) rank=3 ;;
    dialogs) rank=4 ;;
    shell) rank=5 ;;
    *) rank=0 ;;
  esac
}

# Sets `normalized` to the path without "." and ".." steps (no subprocess: this runs for every
# include).
normalize() {
  local IFS=/ part out=()
  for part in $1; do
    case "$part" in
      '' | .) ;;
      ..) [ ${#out[@]} -gt 0 ] && unset 'out[${#out[@]}-1]' ;;
      *) out+=("$part") ;;
    esac
  done
  normalized="/${out[*]}"
}

# check ROOT: prints one line per upward include; returns 1 when there is any.
check() {
  local root=$1 bad=0 checked=0 layer f line inc dir normalized rel top rank own
  for layer in base engine cleaners dialogs shell; do
    [ -d "$root/$layer" ] || continue
    rank_of "$layer"
    own=$rank
    while IFS= read -r -d '' f; do
      checked=$((checked + 1))
      dir=${f%/*}
      while IFS=: read -r line inc; do
        # Where the compiler finds it: beside the file, else from the source root (the one
        # include folder of the program). A name found in neither is a system header.
        normalized=
        if [ -e "$dir/$inc" ]; then
          normalize "$dir/$inc"
        elif [ -e "$root/$inc" ]; then
          normalize "$root/$inc"
        else
          continue
        fi
        rel=${normalized#"$root"/}
        [ "$rel" != "$normalized" ] || continue  # outside the tree
        top=${rel%%/*}
        rank_of "$top"
        if [ "$rank" -gt "$own" ]; then
          echo "${f#"$root"/}:$line: the $layer layer includes \"$inc\" from the $top layer above it" >&2
          bad=1
        fi
      done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]\([^">]*\)[">].*/\1/p;T;=' "$f" |
                 sed -n 'h;n;G;s/\n/:/p')
    done < <(find "$root/$layer" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)
  done
  [ "$checked" -gt 0 ] || { echo "no sources found under $root" >&2; return 1; }
  [ "$bad" = 0 ] && echo "layering holds in $checked files"
  return "$bad"
}

self_test() {
  local tree out expected
  tree=$(mktemp -d)
  trap 'rm -rf "$tree"' RETURN
  mkdir -p "$tree"/{base,engine,cleaners/ie,dialogs,shell}
  echo '#pragma once' >"$tree/shell/Main.h"
  echo '#pragma once' >"$tree/dialogs/Options.h"
  echo '#pragma once' >"$tree/engine/Run.h"
  echo '#pragma once' >"$tree/cleaners/ie/Ie.h"
  # Every form of an upward include, and includes that are allowed.
  cat >"$tree/engine/Upward.cpp" <<'EOF'
#include "shell/Main.h"
#include <dialogs/Options.h>
#include "../shell/Main.h"
  #  include   <../dialogs/Options.h>
#include "Run.h"
#include <windows.h>
#include "base/Nothing.h"
EOF
  cat >"$tree/cleaners/ie/Beside.cpp" <<'EOF'
#include "Ie.h"
#include "../../engine/Run.h"
#include "../../dialogs/Options.h"
EOF
  out=$(check "$tree" 2>&1 >/dev/null) && { echo "self-test: upward includes went unnoticed" >&2; return 1; }
  expected="engine/Upward.cpp:1: the engine layer includes \"shell/Main.h\" from the shell layer above it
engine/Upward.cpp:2: the engine layer includes \"dialogs/Options.h\" from the dialogs layer above it
engine/Upward.cpp:3: the engine layer includes \"../shell/Main.h\" from the shell layer above it
engine/Upward.cpp:4: the engine layer includes \"../dialogs/Options.h\" from the dialogs layer above it
cleaners/ie/Beside.cpp:3: the cleaners layer includes \"../../dialogs/Options.h\" from the dialogs layer above it"
  if [ "$(sort <<<"$out")" != "$(sort <<<"$expected")" ]; then
    printf 'self-test: expected\n%s\ngot\n%s\n' "$expected" "$out" >&2
    return 1
  fi
  echo "every form of an upward include is caught"
}

if [ "${1:-}" = "--self-test" ]; then
  self_test
else
  check "$(cd "${1:-$(dirname "$0")/..}" && pwd)"
fi
