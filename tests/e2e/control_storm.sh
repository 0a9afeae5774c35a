#!/usr/bin/env bash
# End to end under Wine: bursts of random pause, continue, interrogate and custom controls sent
# as fast as the manager takes them. Every status the manager hands back must be a state the
# service can be in; after a burst the timer must follow the last pause or continue; a stop
# right after a burst must reach STOPPED within a second and end the process; and nothing may
# be logged. The seed is printed; set
# CALVERA_STORM_SEED to repeat a run.
set -uo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
source "$CALVERA_ROOT/scripts/wine_service.sh"
cd "$CALVERA_ROOT" || exit 1
begin_service_suite "Control Storm"

seed="${CALVERA_STORM_SEED:-$RANDOM}"
echo "    seed $seed"
controls=1000
stop_deadline_ms=1000
# Memory counts as low on every tick, so each tick does the whole decision while the controls
# come in; freeing is switched off during the storms (both enable flags false), and when it is
# on, every tick starts one companion.
calvera_reg replace MemoryMaintain dword dword:100 MemoryFree dword dword:1 \
  ProcessorLimit dword dword:0 ExecutePeriod dword dword:0 \
  LoadCalvera dword dword:0 DefragMemory dword dword:0

# only_states TEXT STATE...: every "state <name> <count>" line of TEXT names one of the STATEs.
only_states() {
  local text="$1" state
  shift
  for state in $(awk '$1 == "state" { print $2 }' <<<"$text"); do
    [[ " $* " == *" $state "* ]] || { echo "    unexpected state $state" >&2; return 1; }
  done
}
# only_words TEXT KEY WORD...: the second field of every "KEY ..." line of TEXT is a WORD.
only_words() {
  local text="$1" key="$2" word
  shift 2
  for word in $(awk -v key="$key" '$1 == key { print $2 }' <<<"$text"); do
    [[ " $* " == *" $word "* ]] || { echo "    unexpected $key $word" >&2; grep "^$key" <<<"$text" >&2; return 1; }
  done
}
within() { at_most "$1" "$2" "milliseconds"; }
# storm_checks LABEL STORM: while the controls come, the service is running, pausing, paused or
# continuing, every status accepts stop, pause, continue and shutdown, and the manager turns a
# control down only because the service cannot take it in its state.
storm_checks() {
  echo "    $1: $(tr '\n' ' ' <<<"$2")"
  check "$1: every status is a running, pausing or paused state" \
    only_states "$2" RUNNING PAUSED PAUSE_PENDING CONTINUE_PENDING
  check "$1: every status accepts stop, pause, continue and shutdown" only_words "$2" accepts 7
  check "$1: controls are refused only while the service cannot accept them" \
    only_words "$2" refused 1061
}
uptime_ms() { awk '{ printf "%d", $1 * 1000 }' /proc/uptime; }
# starts_after MS: the companion starts recorded later than MS since the system started.
starts_after() { awk -v after="$1" '$1 == "start" && $3 > after' "$CALVERA_COMPANION_LOG" 2>/dev/null | wc -l; }

wait_for_uptime 302
for round in 1 2 3; do
  calvera_sc start Calvera >/dev/null
  check "round $round: start reaches RUNNING" equals "$(calvera_sc wait Calvera RUNNING 20000)" RUNNING
  pid=$(service_pid)
  check "round $round: the service process is found" test -n "$pid"

  # A storm, then the timer must follow the last switch: on after a continue, off after a
  # pause. A freeing run on every tick shows the ticks.
  storm_checks "round $round, first storm" "$(calvera_sc storm Calvera "$controls" $((seed + 2 * round)))"
  check "round $round: after the storm, a continue reaches RUNNING" \
    contains "$(calvera_sc await Calvera continue RUNNING 2000)" RUNNING
  lines=$(log_lines)
  calvera_reg write DefragMemory dword dword:1
  check "round $round: then the timer ticks" wait_for 5 has_new_start "$lines"
  check "round $round: a pause reaches PAUSED" \
    contains "$(calvera_sc await Calvera pause PAUSED 2000)" PAUSED
  # A companion started just before the pause may take a while to record its start.
  paused_at=$(($(uptime_ms) + 1500))
  sleep 3
  check "round $round: then the timer is off" equals "$(starts_after "$paused_at")" 0
  calvera_reg write DefragMemory dword dword:0
  calvera_sc await Calvera continue RUNNING 2000 >/dev/null

  # A second storm, and a stop right after it.
  storm_checks "round $round, second storm" "$(calvera_sc storm Calvera "$controls" $((seed + 2 * round + 1)))"
  stop=$(calvera_sc await Calvera stop STOPPED 5000)
  echo "    round $round: stop: $stop"
  read -r stop_state stop_ms stop_seen <<<"$stop"
  check "round $round: the stop reaches STOPPED" equals "$stop_state" STOPPED
  check "round $round: STOPPED within ${stop_deadline_ms} ms of the stop" within "${stop_ms:-99999}" "$stop_deadline_ms"
  check "round $round: the stop passes only through valid states" \
    only_states "$(tr ',' '\n' <<<"$stop_seen" | sed 's/^/state /')" \
    RUNNING PAUSED PAUSE_PENDING CONTINUE_PENDING STOP_PENDING STOPPED
  check "round $round: the service process ends" wait_for 5 process_gone "${pid:-0}"
done

# Short sequences, each from RUNNING with freeing on: the state they end in, and whether the
# timer then ticks. Any control resumes a paused service thread, but only a continue switches
# the timer back on.
sequences=(
  "pause 200|PAUSED|off"
  "pause interrogate|PAUSED|off"
  "pause pause|PAUSED|off"
  "pause 255 128 interrogate|PAUSED|off"
  "continue|RUNNING|on"
  "pause 200 continue|RUNNING|on"
  "pause continue pause|PAUSED|off"
  "pause continue continue 130|RUNNING|on"
)
# ticking ON|OFF: whether companions are started after now, within 3 s; one started just
# before now may take a while to record its start.
ticking() {
  local after=$(($(uptime_ms) + 1500)) lines
  lines=$(log_lines)
  if [[ $1 == on ]]; then
    wait_for 5 has_new_start "$lines"
  else
    sleep 3
    equals "$(starts_after "$after")" 0
  fi
}
# LoadCalvera false would make the start clear DefragMemory.
calvera_reg write LoadCalvera dword dword:1 DefragMemory dword dword:1
calvera_sc start Calvera >/dev/null
calvera_sc wait Calvera RUNNING 20000 >/dev/null
for entry in "${sequences[@]}"; do
  IFS='|' read -r sequence state timer <<<"$entry"
  for control in $sequence; do
    [[ $control == pause || $control == continue || $control == interrogate ]] &&
      calvera_sc "$control" Calvera >/dev/null || calvera_sc control Calvera "$control" >/dev/null
  done
  check "$sequence: ends $state" equals "$(calvera_sc wait Calvera "$state" 2000)" "$state"
  check "$sequence: the timer is $timer" ticking "$timer"
  calvera_sc await Calvera continue RUNNING 2000 >/dev/null
done
check "after the sequences, stop reaches STOPPED within ${stop_deadline_ms} ms" \
  within "$(calvera_sc await Calvera stop STOPPED 5000 | awk '$1 == "STOPPED" { print $2 }' | grep . || echo 99999)" \
  "$stop_deadline_ms"

check "no failure was logged by the service" no_failure_logged "$session_log"
finish_suite
