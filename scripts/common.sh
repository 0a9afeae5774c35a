# shellcheck shell=bash
# Shared by run.sh, test.sh and the other scripts at the repository root. Source it.

CALVERA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck disable=SC2034  # read by the scripts that source this file
CALVERA_PRESETS=(host win64 win32)

# Debian packages the project needs. wine32 and the i386 architecture break wine on these
# machines, and wine-binfmt would run .exe files during configure steps: never install them.
CALVERA_PACKAGES=(cmake make g++ googletest libgtest-dev libgmock-dev mingw-w64
                  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 wine)

log() { printf '==> %s\n' "$*" >&2; }

ensure_packages() {
  local missing=()
  local package
  for package in "${CALVERA_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  if ((${#missing[@]})); then
    log "installing ${missing[*]}"
    local sudo=()
    [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    "${sudo[@]}" apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends \
      "${missing[@]}" >/dev/null
  fi
}

# build_preset PRESET [TARGET...]: configures PRESET (once) and builds it, or only TARGETs.
build_preset() {
  local preset="$1"
  shift
  local dir="$CALVERA_ROOT/build/$preset" targets=()
  (($#)) && targets=(--target "$@")
  mkdir -p "$CALVERA_ROOT/build"
  if [[ ! -f "$dir/CMakeCache.txt" ]]; then
    log "configuring $preset"
    cmake --preset "$preset" -S "$CALVERA_ROOT" >"$dir.configure.log" 2>&1 || {
      cat "$dir.configure.log" >&2
      rm -f "$dir/CMakeCache.txt"
      return 1
    }
  fi
  log "building $preset"
  cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}" -- --no-print-directory \
    >"$dir.build.log" 2>&1 || {
    cat "$dir.build.log" >&2
    return 1
  }
}

# build_presets [preset...]: configures (once) and builds each preset.
build_presets() {
  local preset
  for preset in "$@"; do
    build_preset "$preset" || return 1
  done
}

# wine_environment [PREFIX]: exports the Wine environment for PREFIX, by default the project's
# private prefix, and creates the prefix on first use.
wine_environment() {
  export WINEPREFIX="${1:-$CALVERA_ROOT/build/wineprefix}"
  export WINEARCH=win64
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEDEBUG="${WINEDEBUG:--all}"
  unset DISPLAY
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    log "creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1 || true
    wineserver --wait || true
  fi
}
