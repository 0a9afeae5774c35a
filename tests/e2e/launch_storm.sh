#!/usr/bin/env bash
# End to end under Wine: memory held low with no period between runs, so the service starts
# the companion on every tick for a minute. Meanwhile it must answer pause, continue and
# interrogate within a deadline, keep its resident memory flat, and not let companions pile
# up; at the end it stops in time and nothing has been logged.
set -uo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
source "$CALVERA_ROOT/scripts/wine_service.sh"
cd "$CALVERA_ROOT" || exit 1
begin_service_suite "Launch Storm"
wait_for_uptime 302

storm_seconds=60
control_deadline_ms=1000
# The stand-in lives 1.5 s and one starts a second; a few more may overlap while Wine is slow
# to start or end them.
companion_limit=5
# Resident memory may grow by this much from its level after the first 10 s.
rss_margin_kb=2048
rss_margin_percent=10

# One companion of 1 % of the memory per tick, whatever the processor load.
calvera_reg replace MemoryMaintain dword dword:100 MemoryFree dword dword:1 \
  ExecutePeriod dword dword:0 ProcessorLimit dword dword:0
calvera_sc start Calvera >/dev/null
check "start reaches RUNNING" equals "$(calvera_sc wait Calvera RUNNING 20000)" RUNNING
pid=$(service_pid)
check "the service process is found" test -n "$pid"

# await_within CONTROL STATE: the control reaches the state within the deadline. Records the
# slowest answer and the first failure.
slowest_ms=0
late=""
await_within() {
  local state ms seen
  read -r state ms seen < <(calvera_sc await Calvera "$1" "$2" 5000)
  ((${ms:-99999} > slowest_ms)) && slowest_ms=${ms:-99999}
  if [[ "$state" != "$2" || ${ms:-99999} -gt $control_deadline_ms ]] && [[ -z "$late" ]]; then
    late="$1 at $((SECONDS - started)) s: $state after ${ms:-?} ms ($seen)"
  fi
}

rss_times=()
rss_samples=()
most_companions=0
started=$SECONDS
next_round=$SECONDS
while ((SECONDS - started < storm_seconds)); do
  companions=$(companion_count)
  ((companions > most_companions)) && most_companions=$companions
  if ((SECONDS >= next_round)); then
    rss_times+=($((SECONDS - started)))
    rss_samples+=("$(vm_rss_kb "$pid")")
    await_within pause PAUSED
    await_within continue RUNNING
    await_within interrogate RUNNING
    next_round=$((SECONDS + 5))
  fi
  sleep 0.5
done
rss_times+=($((SECONDS - started)))
rss_samples+=("$(vm_rss_kb "$pid")")
echo "    resident kB by second: $(paste -d: <(printf '%s\n' "${rss_times[@]}") <(printf '%s\n' "${rss_samples[@]}") | tr '\n' ' ')"
echo "    slowest control ${slowest_ms} ms, at most $most_companions companions at once"

check "the service still runs" equals "$(calvera_sc query Calvera)" RUNNING
check "every control is answered within ${control_deadline_ms} ms" equals "$late" ""
check "companions do not pile up" at_most "$most_companions" "$companion_limit" "companions at once"

# Starts recorded by the stand-in, in milliseconds since the system started: the launches
# kept coming, with no gap longer than a few ticks (a pause and continue restarts the timer).
start_ticks=$(awk '$1 == "start" { print $3 }' "$CALVERA_COMPANION_LOG" 2>/dev/null | sort -n)
longest_gap=$(awk 'NR > 1 && $1 - last > gap { gap = $1 - last } { last = $1 } END { print gap + 0 }' <<<"$start_ticks")
echo "    $(wc -l <<<"$start_ticks") starts, the longest gap between two ${longest_gap} ms"
check "the companion is started on every tick, with no gap above 4 s" \
  at_most "$longest_gap" 4000 "milliseconds between starts"

# Flat: no sample of the last 15 s above the highest of the 10th to 25th second by more than
# the margin.
rss_flat() {
  local early=0 latest=0 i margin
  for i in "${!rss_samples[@]}"; do
    local t=${rss_times[$i]} kb=${rss_samples[$i]:-0}
    ((t >= 10 && t <= 25 && kb > early)) && early=$kb
    ((t >= storm_seconds - 15 && kb > latest)) && latest=$kb
  done
  margin=$((early * rss_margin_percent / 100))
  ((margin < rss_margin_kb)) && margin=$rss_margin_kb
  ((early > 0)) || { echo "    no early sample" >&2; return 1; }
  at_most "$latest" $((early + margin)) "resident kB of the last 15 s (early level $early)"
}
check "resident memory stays flat" rss_flat

stop=$(calvera_sc await Calvera stop STOPPED 5000)
check "stop reaches STOPPED within ${control_deadline_ms} ms" \
  at_most "$(awk '$1 == "STOPPED" { print $2 }' <<<"$stop" | grep . || echo 99999)" "$control_deadline_ms" milliseconds
check "the service process ends" wait_for 5 process_gone "$pid"
check "the last companions end" wait_for 10 no_companions
check "no failure was logged by the service" no_failure_logged "$session_log"
finish_suite
