# Running Calvera.exe as a service under Wine's own Service Control Manager. Source it after
# common.sh; used by run.sh and the end-to-end tests.

# The folder inside the prefix that the service is installed to: its name has a blank, as
# "Program Files" has on Windows.
CALVERA_INSTALL_UNIX="${CALVERA_INSTALL_UNIX:-}"
CALVERA_INSTALL_WINDOWS="${CALVERA_INSTALL_WINDOWS:-}"

# begin_wine_session LOG: a persistent wineserver, and a session begun by us so that the
# service manager, and every service it starts, writes Wine's err:eventlog channel (where
# event-log entries appear) to LOG. Services die about 2 s after the command that started
# them exits unless the wineserver persists.
begin_wine_session() {
  local log="$1"
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  wineserver -p
  WINEDEBUG=err+eventlog wine wineboot >>"$log" 2>&1 || true
}

end_wine_session() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

# install_calvera_files NAME: copies Calvera.exe and the recording stand-in companion into
# C:\Program Files\NAME\ of the prefix.
install_calvera_files() {
  local name="$1" bin="$CALVERA_ROOT/build/win64/bin"
  CALVERA_INSTALL_UNIX="$WINEPREFIX/drive_c/Program Files/$name"
  CALVERA_INSTALL_WINDOWS="C:\\Program Files\\$name"
  rm -rf "$CALVERA_INSTALL_UNIX"
  mkdir -p "$CALVERA_INSTALL_UNIX"
  cp "$bin/Calvera.exe" "$bin/standin/CalveraDefrag.exe" "$CALVERA_INSTALL_UNIX/"
}

calvera() { wine "$CALVERA_INSTALL_WINDOWS\\Calvera.exe" "$@"; }
calvera_sc() { wine "$CALVERA_ROOT/build/win64/bin/calvera_sc.exe" "$@" | tr -d '\r'; }

# set_setting NAME DWORD: a value under the settings key, in the 32-bit view the service uses.
set_setting() {
  wine reg add 'HKLM\Software\Tolvane\Calvera' /v "$1" /t REG_DWORD /d "$2" /f /reg:32 >/dev/null
}
set_string_setting() {
  wine reg add 'HKLM\Software\Tolvane\Calvera' /v "$1" /t REG_SZ /d "$2" /f /reg:32 >/dev/null
}
clear_settings() {
  wine reg delete 'HKLM\Software\Tolvane\Calvera' /f /reg:32 >/dev/null 2>&1 || true
}
# get_setting NAME: the value's data as reg.exe prints it, or nothing.
get_setting() {
  wine reg query 'HKLM\Software\Tolvane\Calvera' /v "$1" /reg:32 2>/dev/null | tr -d '\r' |
    awk -v name="$1" '$1 == name { print $3 }'
}
