# Wine for the two builds, sourced by the scripts that run a build under Wine.
#
#   qv_loader ARCH        the loader that runs ARCH's programs: x64 needs the 64-bit loader of the
#                         wine64 package, x86 the 32-bit one of wine32
#   qv_x86_runs           true when this host runs the 32-bit loader (tried, never guessed); sets
#                         QV_X86_WHY to the reason when it does not
#   qv_arches_to_run      the builds this host can run, x64 first
#   qv_use_prefix DIR ARCH HOME
#                         points WINEPREFIX (and HOME) at a throwaway prefix inside a build folder,
#                         makes it on first use and removes its z: drive (the host's root), so no
#                         Windows path reaches the host's files; refuses a prefix elsewhere
#   qv_wine ARGS...       runs a program (or a builtin such as reg, cmd) with the prefix's loader

qv_loader() {
  case "$1" in
    x64) echo /usr/lib/wine/wine64 ;;
    x86) echo /usr/lib/wine/wine ;;
    *) echo "unknown build '$1'" >&2; return 2 ;;
  esac
}

qv_x86_runs() {
  local loader out
  loader=$(qv_loader x86)
  if [ ! -x "$loader" ]; then
    QV_X86_WHY="the 32-bit Wine loader ($loader) is not installed"
    return 1
  fi
  if ! out=$("$loader" --version 2>&1); then
    QV_X86_WHY="this host cannot run 32-bit code: $loader --version failed: $(printf '%s' "$out" | head -n 1)"
    return 1
  fi
  QV_X86_WHY=""
  return 0
}

qv_arches_to_run() {
  if qv_x86_runs; then echo "x64 x86"; else echo "x64"; fi
}

qv_use_prefix() {
  local dir=$1 arch=$2 home=$3
  mkdir -p "$dir" "$home"
  local parent
  parent=$(cd "$(dirname "$dir")" && pwd)
  export WINEPREFIX="$parent/$(basename "$dir")"
  export HOME
  HOME=$(cd "$home" && pwd)
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME
  QV_LOADER=$(qv_loader "$arch")
  export WINELOADER=$QV_LOADER
  # The x64 build needs a 64-bit prefix; the x86 one keeps Wine's default for its loader.
  if [ "$arch" = x64 ]; then export WINEARCH=win64; else unset WINEARCH; fi
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$QV_LOADER" wineboot --init >/dev/null 2>&1 || true
      wineserver -w
    fi
    rm -f "$WINEPREFIX/dosdevices/z:"
    # Under Xvfb there is no window manager: Wine would wait for one on every hide or destroy of a
    # top-level window. Wine manages the windows itself instead.
    if ! grep -qs '"Managed"="N"' "$WINEPREFIX/user.reg"; then
      "$QV_LOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
      wineserver -w
    fi
  ) 9>"$WINEPREFIX.lock"
  # Wine keeps the recycle bin as a trash folder under HOME (here inside the build folder), and has
  # none until the folder exists.
  mkdir -p "$HOME/.local/share/Trash/files" "$HOME/.local/share/Trash/info"
  [ -f "$WINEPREFIX/system.reg" ] || { echo "could not make the prefix $WINEPREFIX" >&2; return 2; }
  [ ! -e "$WINEPREFIX/dosdevices/z:" ] || { echo "z: drive still present in $WINEPREFIX" >&2; return 2; }
}

qv_wine() { "$QV_LOADER" "$@"; }
