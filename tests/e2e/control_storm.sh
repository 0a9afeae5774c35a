#!/usr/bin/env bash
# End to end under Wine: bursts of random pause, continue, interrogate and custom controls sent
# as fast as the manager takes them, each burst followed at once by a stop. Every status the
# manager hands back must be a state the service can be in, the stop must reach STOPPED within
# a second and end the process, and nothing may be logged. The seed is printed; set
# CALVERA_STORM_SEED to repeat a run.
set -uo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
source "$CALVERA_ROOT/scripts/wine_service.sh"
cd "$CALVERA_ROOT"
begin_service_suite "Control Storm"

seed="${CALVERA_STORM_SEED:-$RANDOM}"
echo "    seed $seed"
controls=1000
stop_deadline_ms=1000
# Memory counts as low on every tick, so each tick does the whole decision while the controls
# come in; freeing is switched off, so nothing is launched.
calvera_reg replace MemoryMaintain dword dword:100 ProcessorLimit dword dword:0 \
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
gone() { [[ ! -d /proc/$1 ]]; }

for round in 1 2 3; do
  calvera_sc start Calvera >/dev/null
  check "round $round: start reaches RUNNING" equals "$(calvera_sc wait Calvera RUNNING 20000)" RUNNING
  pid=$(service_pid)
  check "round $round: the service process is found" test -n "$pid"
  storm=$(calvera_sc storm Calvera "$controls" $((seed + round)))
  echo "    round $round: $(tr '\n' ' ' <<<"$storm")"
  stop=$(calvera_sc await Calvera stop STOPPED 5000)
  echo "    round $round: stop: $stop"
  read -r stop_state stop_ms stop_seen <<<"$stop"
  # While the controls come, the service is running, pausing, paused or continuing, and every
  # status accepts stop, pause and continue, and shutdown.
  check "round $round: every status of the storm is a running, pausing or paused state" \
    only_states "$storm" RUNNING PAUSED PAUSE_PENDING CONTINUE_PENDING
  check "round $round: every status of the storm accepts stop, pause, continue and shutdown" \
    only_words "$storm" accepts 7
  # The manager may turn a control down only because a pause or continue is under way.
  check "round $round: controls are refused only while the service cannot accept them" \
    only_words "$storm" refused 1061
  check "round $round: the stop reaches STOPPED" equals "$stop_state" STOPPED
  check "round $round: STOPPED within ${stop_deadline_ms} ms of the stop" within "${stop_ms:-99999}" "$stop_deadline_ms"
  check "round $round: the stop passes only through valid states" \
    only_states "$(tr ',' '\n' <<<"$stop_seen" | sed 's/^/state /')" \
    RUNNING PAUSED PAUSE_PENDING CONTINUE_PENDING STOP_PENDING STOPPED
  check "round $round: the service process ends" wait_for 5 gone "${pid:-0}"
done

check "no failure was logged by the service" no_failure_logged "$session_log"
finish_suite
