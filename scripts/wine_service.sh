# shellcheck shell=bash
# Running Calvera.exe as a service under Wine's own Service Control Manager. Source it after
# common.sh; used by run.sh and the end-to-end tests.

# The win64 build whose executables run, the prefix they run in and where the suites write
# their logs. All three can be pointed elsewhere, so that a second build tree can run the
# suites beside the project's own without sharing a prefix.
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
calvera_reg() { wine "$CALVERA_WIN64_BUILD/bin/calvera_reg.exe" "$@" | tr -d '\r'; }
# shellcheck disable=SC2120  # callers may pass --load
calvera_probes() { wine "$CALVERA_WIN64_BUILD/bin/calvera_probes.exe" "$@" | tr -d '\r'; }
# probe NAME: one reading of calvera_probes, e.g. probe total.
probe() { calvera_probes | sed -n "s/^$1=//p"; }

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

# --- processes of this prefix ----------------------------------------------------------------
# wine_pids TEXT: the processes of this prefix whose command line contains TEXT. Wine shows a
# Windows program's own command line there.
wine_pids() {
  local file pid
  for file in $(grep -lsF -- "$1" /proc/[0-9]*/cmdline); do
    pid="${file#/proc/}"
    pid="${pid%/cmdline}"
    grep -qsxzF "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" && echo "$pid"
  done
}
service_pid() { wine_pids "$CALVERA_INSTALL_WINDOWS\\Calvera.exe" | head -1; }
companion_count() { wine_pids "CalveraDefrag.exe" | wc -l; }
no_companions() { (($(companion_count) == 0)); }
# vm_rss_kb PID: the process's resident memory in kB, empty when it is gone.
vm_rss_kb() { awk '$1 == "VmRSS:" { print $2 }' "/proc/$1/status" 2>/dev/null; }

# wait_for_uptime SECONDS: Wine's millisecond count is the host's uptime, and the uptime gate
# and the first period need five minutes of it.
wait_for_uptime() {
  local uptime_seconds
  uptime_seconds=$(cut -d. -f1 /proc/uptime)
  if ((uptime_seconds < $1)); then
    echo "    waiting $(($1 - uptime_seconds)) s for $1 s of uptime (the uptime gate)"
    sleep $(($1 - uptime_seconds))
  fi
}

# --- checks and the GoogleTest-style summary that test.sh adds up ----------------------------
passed=0
failed=0
failures=()
# check NAME COMMAND...: one check, passed when the command succeeds.
check() {
  local name="$1"
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "[       OK ] $name"
  else
    failed=$((failed + 1))
    failures+=("$name")
    echo "[  FAILED  ] $name"
  fi
}
equals() {
  [[ "$1" == "$2" ]] || { echo "    expected: $2" >&2; echo "    actual:   $1" >&2; return 1; }
}
contains() {
  [[ "$1" == *"$2"* ]] || { echo "    expected to contain: $2" >&2; echo "    actual: $1" >&2; return 1; }
}
# at_most VALUE LIMIT [WHAT]: VALUE ≤ LIMIT, both integers.
at_most() {
  (($1 <= $2)) || { echo "    ${3:-value} $1 is above $2" >&2; return 1; }
}
# wait_for SECONDS COMMAND...: polls the command every 100 ms until it succeeds.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}
config_value() { calvera_sc config Calvera | sed -n "s/^$1=//p"; }
# starts: the companion starts the stand-in has recorded.
starts() { grep -c '^start ' "$CALVERA_COMPANION_LOG" 2>/dev/null || echo 0; }
has_starts() { (($(starts) >= $1)); }
# The stand-in's lines read "start|done <amount> <ms since the system started>". A suite notes
# log_lines before it lets the service run and reads what came after.
log_lines() { wc -l 2>/dev/null <"$CALVERA_COMPANION_LOG" || echo 0; }
new_lines() { tail -n +$(($1 + 1)) "$CALVERA_COMPANION_LOG" 2>/dev/null; }
new_amounts() { new_lines "$1" | awk '$1 == "start" { print $2 }'; }
has_new_start() { [[ -n "$(new_amounts "$1")" ]]; }
# settled LINES RUN: every companion started since the log had LINES lines has ended, the
# starts since then are whole runs of RUN launches, and no start follows within half a second.
# A tick under way when the service was paused ends its launches first; a run of 24 launches
# takes seconds under Wine on a loaded machine.
settled() {
  local before
  before=$(new_amounts "$1" | wc -l)
  ((before % $2 == 0)) && no_companions || return 1
  sleep 0.5
  ((before == $(new_amounts "$1" | wc -l))) && no_companions
}
process_gone() { [[ ! -d /proc/$1 ]]; }
no_failure_logged() {
  ! grep -q 'err:eventlog' "$1" || { grep 'err:eventlog' "$1" | head -5 >&2; return 1; }
}

# finish_suite: prints the summary; exit code 1 when a check failed.
finish_suite() {
  echo "[==========] $((passed + failed)) tests ran."
  echo "[  PASSED  ] $passed tests."
  if ((failed)); then
    echo "[  FAILED  ] $failed tests, listed below:"
    printf '[  FAILED  ] %s\n' "${failures[@]}"
    exit 1
  fi
  exit 0
}

# --- a suite with its own installed service -------------------------------------------------
# begin_service_suite NAME: the Wine session (its event log channel in $session_log), the
# files in C:\Program Files\Calvera NAME\ and the service installed with no settings stored;
# at exit, also after a failure, the service is stopped and removed, the settings are cleared
# and the wineserver is stopped, so that the next suite finds the prefix as this one did.
begin_service_suite() {
  wine_service_environment
  session_log="$CALVERA_E2E_LOGS/e2e-$1-session.log"
  mkdir -p "$CALVERA_E2E_LOGS"
  : >"$session_log"
  begin_wine_session "$session_log"
  trap end_service_suite EXIT
  install_calvera_files "Calvera $1"
  clear_settings
  calvera /uninstall /silent >/dev/null 2>&1
  calvera /install /silent >/dev/null 2>&1
}
end_service_suite() {
  local status=$?
  calvera_sc stop Calvera >/dev/null 2>&1
  calvera_sc wait Calvera STOPPED 5000 >/dev/null 2>&1
  calvera /uninstall /silent >/dev/null 2>&1
  clear_settings
  end_wine_session
  exit "$status"
}
