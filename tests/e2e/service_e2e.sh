#!/usr/bin/env bash
# End to end under Wine: the win64 Calvera.exe installed in a folder whose name has a blank,
# beside the recording stand-in companion, run by Wine's own Service Control Manager.
# Prints a line per check and a GoogleTest-style summary that test.sh adds up.
set -uo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
source "$CALVERA_ROOT/scripts/wine_service.sh"
cd "$CALVERA_ROOT" || exit 1
wine_service_environment

session_log="$CALVERA_E2E_LOGS/e2e-session.log"
mkdir -p "$CALVERA_E2E_LOGS"
: >"$session_log"
begin_wine_session "$session_log"
trap end_wine_session EXIT
install_calvera_files "Calvera E2E"
companion_log="$CALVERA_COMPANION_LOG"

clear_settings
calvera /uninstall /silent >/dev/null 2>&1

# A start by hand, without switches and not by the manager: no window, the dispatcher fails
# with 1063 (Wine takes about 10 s to say so), one event log entry, exit code 0. It runs in
# the background while the rest goes on.
by_hand_log="$CALVERA_E2E_LOGS/e2e-by-hand.log"
(WINEDEBUG=err+eventlog calvera >/dev/null 2>"$by_hand_log"; echo "exit $?" >>"$by_hand_log") &
by_hand=$!

# --- installation -------------------------------------------------------------------------
calvera /install /silent
check "silent install exits 0" equals "$?" 0
check "entry type is own process" equals "$(config_value type)" 16
check "entry starts automatically" equals "$(config_value start)" 2
check "entry has normal error control" equals "$(config_value error)" 1
check "entry path is quoted" equals "$(config_value path)" "\"$CALVERA_INSTALL_WINDOWS\\Calvera.exe\""
check "entry runs as local system" equals "$(config_value account)" "LocalSystem"
check "english display name" equals "$(config_value display)" "Calvera Memory Service"
check "english description" equals "$(config_value registry_description)" \
  "Maintains memory performance by defragmenting used memory and allocating it back to the computer system."

calvera /install /silent
check "installing twice fails with exit 1" equals "$?" 1
check "installing twice leaves the entry unchanged" equals "$(config_value display)" "Calvera Memory Service"

calvera /uninstall /silent >/dev/null
set_string_setting Language KOREAN
calvera /install /silent
check "korean display name" equals "$(config_value display)" "Calvera 서비스"
check "korean description" equals "$(config_value registry_description)" \
  "사용된 RAM을 조각모음하고 시스템에 할당시켜 RAM 성능을 유지합니다."
calvera /uninstall /silent >/dev/null
set_string_setting Language klingon
calvera /install
check "a language without a table still installs" equals "$?" 0
check "without a table the display name is the service name" equals "$(config_value display)" "Calvera"
check "without a table the description is empty" equals "$(config_value registry_description)" ""
calvera /uninstall /silent >/dev/null
clear_settings
calvera /install /silent >/dev/null

# --- the control protocol -------------------------------------------------------------------
# Memory counts as low on every tick, but freeing is switched off until the run below.
set_setting LoadCalvera 0
set_setting DefragMemory 0
calvera_sc start Calvera >/dev/null
check "start reaches RUNNING" equals "$(calvera_sc wait Calvera RUNNING 20000)" RUNNING
check "pause reaches PAUSED" equals "$(calvera_sc pause Calvera >/dev/null; calvera_sc wait Calvera PAUSED 3000)" PAUSED
check "continue reaches RUNNING" equals "$(calvera_sc continue Calvera >/dev/null; calvera_sc wait Calvera RUNNING 3000)" RUNNING
check "interrogate reports RUNNING" equals "$(calvera_sc interrogate Calvera)" RUNNING
check "a custom code changes nothing" equals "$(calvera_sc control Calvera 128; calvera_sc query Calvera)" $'RUNNING\nRUNNING'
check "stop reaches STOPPED" equals "$(calvera_sc stop Calvera >/dev/null; calvera_sc wait Calvera STOPPED 3000)" STOPPED

calvera_sc start Calvera >/dev/null
calvera_sc wait Calvera RUNNING 20000 >/dev/null
calvera_sc pause Calvera >/dev/null
calvera_sc wait Calvera PAUSED 3000 >/dev/null
check "stop while paused reaches STOPPED" equals "$(calvera_sc stop Calvera >/dev/null; calvera_sc wait Calvera STOPPED 3000)" STOPPED

# --- freeing memory -------------------------------------------------------------------------
# Wine's millisecond count is the host's uptime: the uptime gate and the first period need
# five minutes of it.
wait_for_uptime 302
total=$(probe total)
# A share that gives between two and three chunks.
percent=$(awk -v total="$total" 'BEGIN { p = int(2500 * 100 * 1048576 / total); print (p < 1 ? 1 : p) }')
expected=$(awk -v total="$total" -v p="$percent" 'BEGIN {
  mb = p / 100 * total / 1048576; mb = int(mb + 0.5); all = int(total / 1048576 + 0.5)
  if (mb > all) mb = all
  for (r = mb; ; r -= 1024) { printf "%s ", (r >= 1024 ? 1024 : r); if (r - 1024 <= 0) break }
}')
rm -f "$companion_log"
clear_settings
set_setting MemoryMaintain 100
set_setting MemoryFree "$percent"
set_setting ProcessorLimit 0
calvera_sc start Calvera >/dev/null
calvera_sc wait Calvera RUNNING 20000 >/dev/null
chunks=$(wc -w <<<"$expected")
check "the companion is started once per chunk" wait_for 10 has_starts "$chunks"
# The companions are not waited for, so they may write their lines in any order: the amounts
# are compared as a sorted list (the launch order itself is checked by the unit tests).
sorted_amounts() { tr ' ' '\n' | sed '/^$/d' | sort -n | tr '\n' ' '; }
check "the chunks are the share of memory, 1024 MB at most" equals \
  "$(grep '^start ' "$companion_log" | awk '{ print $2 }' | sorted_amounts)" \
  "$(sorted_amounts <<<"$expected")"
first_done=$(grep -n '^done ' "$companion_log" | head -1 | cut -d: -f1)
check "no companion is waited for" test "${first_done:-99}" -gt "$chunks"
sleep 3
check "the period holds back the next run" equals "$(starts)" "$chunks"
calvera_sc stop Calvera >/dev/null
calvera_sc wait Calvera STOPPED 5000 >/dev/null

# --- the start-up correction, removal and the start by hand ---------------------------------
set_setting LoadCalvera 0
set_setting DefragMemory 1
calvera /uninstall /silent
check "removal exits 0" equals "$?" 0
check "the start-up correction clears DefragMemory" equals "$(get_setting DefragMemory)" 0x0
check "the entry is gone" contains "$(calvera_sc query Calvera)" "error 1060"
calvera /uninstall /silent
check "removing twice fails with exit 1" equals "$?" 1

wait "$by_hand"
check "a start by hand exits 0" contains "$(cat "$by_hand_log")" "exit 0"
check "a start by hand logs the dispatcher's failure" grep -qiE 'err:eventlog.*(connect|1063)' "$by_hand_log"
check "no failure was logged by the service" no_failure_logged "$session_log"
clear_settings

finish_suite
