# shellcheck shell=bash
# Running Calvera.exe as a service under Wine's own Service Control Manager. Source it after
# common.sh; used by run.sh, the benchmarks and the end-to-end tests' session script.

# The win64 build whose executables run, the prefix they run in and where the end-to-end tests
# write their logs. All three can be pointed elsewhere, so that a second build tree can run the
# tests beside the project's own without sharing a prefix.
CALVERA_WIN64_BUILD="${CALVERA_WIN64_BUILD:-$CALVERA_ROOT/build/win64}"
CALVERA_E2E_LOGS="${CALVERA_E2E_LOGS:-$CALVERA_ROOT/build/logs}"

# The folder inside the prefix that the service is installed to: its name has a blank, as
# "Program Files" has on Windows.
CALVERA_INSTALL_UNIX="${CALVERA_INSTALL_UNIX:-}"
CALVERA_INSTALL_WINDOWS="${CALVERA_INSTALL_WINDOWS:-}"
CALVERA_COMPANION_LOG="${CALVERA_COMPANION_LOG:-}"

# wine_service_environment: wine_environment, in the prefix CALVERA_WINEPREFIX when that is
# set.
wine_service_environment() { wine_environment "${CALVERA_WINEPREFIX:-}"; }

# begin_wine_session LOG [CHANNELS]: a persistent wineserver, and a session begun by us so that
# the service manager, and every service it starts, writes Wine's debug CHANNELS (by default
# err:eventlog, where event-log errors appear) to LOG. Services die about 2 s after the command
# that started them exits unless the wineserver persists.
begin_wine_session() {
  local log="$1" channels="${2:-err+eventlog}"
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  wineserver -p
  WINEDEBUG="$channels" wine wineboot >>"$log" 2>&1 || true
}

end_wine_session() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

# install_calvera_files NAME: copies Calvera.exe and the recording stand-in companion into
# C:\Program Files\NAME\ of the prefix.
install_calvera_files() {
  local name="$1" bin="$CALVERA_WIN64_BUILD/bin"
  CALVERA_INSTALL_UNIX="$WINEPREFIX/drive_c/Program Files/$name"
  CALVERA_INSTALL_WINDOWS="C:\\Program Files\\$name"
  CALVERA_COMPANION_LOG="$CALVERA_INSTALL_UNIX/companion.log"
  rm -rf "$CALVERA_INSTALL_UNIX"
  mkdir -p "$CALVERA_INSTALL_UNIX"
  cp "$bin/Calvera.exe" "$bin/standin/CalveraDefrag.exe" "$CALVERA_INSTALL_UNIX/"
}

calvera() { wine "$CALVERA_INSTALL_WINDOWS\\Calvera.exe" "$@"; }
calvera_sc() { wine "$CALVERA_WIN64_BUILD/bin/calvera_sc.exe" "$@" | tr -d '\r'; }

# set_setting NAME DWORD: a value under the settings key, in the 32-bit view the service uses.
set_setting() {
  wine reg add 'HKLM\Software\Tolvane\Calvera' /v "$1" /t REG_DWORD /d "$2" /f /reg:32 >/dev/null
}
clear_settings() {
  wine reg delete 'HKLM\Software\Tolvane\Calvera' /f /reg:32 >/dev/null 2>&1 || true
}
