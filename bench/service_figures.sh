#!/usr/bin/env bash
# The service's own figures under Wine: footprint against a floor program (3), reaction times
# (4) and a soak with a freeing run every minute (5).
#
# Usage: bench/service_figures.sh [--quick]   (--quick is CALVERA_BENCH_QUICK=1)
# Environment:
#   CALVERA_BENCH_WIN64       win64 build dir with bin/Calvera.exe, bin/standin/CalveraDefrag.exe
#                             and bin/calvera_sc.exe (default build/win64)
#   CALVERA_TICK_COST_US      measured processor cost of one maintenance tick, microseconds
#   CALVERA_BENCH_QUICK=1     short windows for development (15 s footprint, 2 min soak)
#   CALVERA_BENCH_WINEPREFIX  Wine prefix to run in (default build/bench-service-wineprefix)
#   CALVERA_BENCH_FIGURES     which of the figures to run (default "3 4 5")
# Prints "ROW\t<figure>\t<calvera>\t<floor>\t<ratio>\t<goal>" lines on stdout, all else on
# stderr. Leaves no service installed and no wineserver running, also on failure.
set -uo pipefail
source "$(dirname "$0")/../scripts/common.sh"
source "$CALVERA_ROOT/scripts/wine_service.sh"
cd "$CALVERA_ROOT" || exit 1

win64="${CALVERA_BENCH_WIN64:-build/win64}"
[[ "$win64" = /* ]] || win64="$CALVERA_ROOT/$win64"
quick="${CALVERA_BENCH_QUICK:-0}"
case "${1:-}" in
  --quick) quick=1 ;;
  "") ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac
figures="${CALVERA_BENCH_FIGURES:-3 4 5}"
tick_cost_us="${CALVERA_TICK_COST_US:-}"
if [[ "$quick" == 1 ]]; then
  footprint_seconds=15 footprint_runs=1 reaction_rounds=5 restart_rounds=3 soak_seconds=130
else
  footprint_seconds=60 footprint_runs=3 reaction_rounds=15 restart_rounds=10 soak_seconds=610
fi

for file in bin/Calvera.exe bin/standin/CalveraDefrag.exe bin/calvera_sc.exe; do
  [[ -f "$win64/$file" ]] || { log "missing $win64/$file"; exit 1; }
done

# The bench tools: from the build when it has them (the release presets build them), otherwise
# from the win64 release build, with the main build's sources and flags.
tools="$win64/bin/bench"
if [[ ! -f "$tools/calvera_floor.exe" || ! -f "$tools/calvera_reaction.exe" ]]; then
  build_preset win64-release bench_floor_program bench_reaction_timer || exit 1
  tools="$CALVERA_ROOT/build/win64-release/bin/bench"
fi

# Our own prefix, so that no other Wine user shares the wineserver or the service manager.
wine_environment "${CALVERA_BENCH_WINEPREFIX:-$CALVERA_ROOT/build/bench-service-wineprefix}"

work="$CALVERA_ROOT/build/logs/service-figures"
rm -rf "$work"
mkdir -p "$work"
install_name="Calvera Bench"
CALVERA_INSTALL_UNIX="$WINEPREFIX/drive_c/Program Files/$install_name"
CALVERA_INSTALL_WINDOWS="C:\\Program Files\\$install_name"
companion_log="$CALVERA_INSTALL_UNIX/companion.log"
companion_log_windows="$CALVERA_INSTALL_WINDOWS\\companion.log"
sc() { wine "$win64/bin/calvera_sc.exe" "$@" 2>/dev/null | tr -d '\r'; }
reaction() { wine "$tools/calvera_reaction.exe" "$@" 2>/dev/null | tr -d '\r'; }

floor_pid=""
cleanup() {
  [[ -n "$floor_pid" ]] && kill "$floor_pid" 2>/dev/null
  sc stop Calvera >/dev/null
  sc wait Calvera STOPPED 5000 >/dev/null
  calvera /uninstall /silent >/dev/null 2>&1
  clear_settings
  end_wine_session
}
trap cleanup EXIT
trap 'exit 130' INT TERM

begin_wine_session "$work/session.log"
rm -rf "$CALVERA_INSTALL_UNIX"
mkdir -p "$CALVERA_INSTALL_UNIX"
cp "$win64/bin/Calvera.exe" "$win64/bin/standin/CalveraDefrag.exe" "$CALVERA_INSTALL_UNIX/"
# An entry left behind by an interrupted run is started by wineboot (it starts automatically):
# stopped first, so that the removal is not merely scheduled.
sc stop Calvera >/dev/null
sc wait Calvera STOPPED 5000 >/dev/null
clear_settings
calvera /uninstall /silent >/dev/null 2>&1
calvera /install /silent || { log "install failed"; exit 1; }

# --- helpers --------------------------------------------------------------------------------
row() { printf 'ROW\t%s\t%s\t%s\t%s\t%s\n' "$@"; }
median() {
  sort -n | awk '{ v[NR] = $1 }
    END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]
          else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 > 0 && a != "-") printf "%.2f", a / b; else print "-" }'
}
# linux_pid PATTERN: the Linux process of this prefix whose command line contains PATTERN.
linux_pid() {
  local pid
  for pid in $(pgrep -f -- "$1"); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
      { echo "$pid"; return 0; }
  done
  return 1
}
no_floor() { log "no Linux process for the floor"; exit 1; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# Nanoseconds on a processor, summed over the process's threads: finer than the clock ticks.
cpu_ns() {
  cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f", s }'
}
status_kib() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }
clock_ticks=$(getconf CLK_TCK)
start_service() {
  sc start Calvera >/dev/null
  [[ "$(sc wait Calvera RUNNING 30000)" == RUNNING ]] ||
    { log "the service did not start"; exit 1; }
}
bench_service_pid() {
  local pid
  for _ in $(seq 50); do
    pid=$(linux_pid "$install_name\\\\Calvera.exe") && { echo "$pid"; return 0; }
    sleep 0.1
  done
  log "no Linux process for the service"
  exit 1
}

# --- 3. footprint ---------------------------------------------------------------------------
footprint() {
  log "footprint: ${footprint_runs} x ${footprint_seconds} s, service and floor side by side"
  set_setting MemoryMaintain 0  # memory never counts as low: every tick ends at the memory test
  start_service
  wine "$tools/calvera_floor.exe" >/dev/null 2>&1 &
  floor_pid=$!
  sleep 5
  calvera_pid=$(bench_service_pid)
  floor_linux=$(linux_pid 'calvera_floor.exe') || no_floor
  server_pid=$(linux_pid wineserver) || { log "no wineserver"; exit 1; }
  log "service pid $calvera_pid, floor pid $floor_linux, wineserver pid $server_pid"
  : >"$work/footprint.txt"
  for run in $(seq "$footprint_runs"); do
    c0=$(cpu_ticks "$calvera_pid") f0=$(cpu_ticks "$floor_linux")
    cn0=$(cpu_ns "$calvera_pid") fn0=$(cpu_ns "$floor_linux") sn0=$(cpu_ns "$server_pid")
    for _ in $(seq "$footprint_seconds"); do
      sleep 1
      echo "rss $(status_kib "$calvera_pid" VmRSS) $(status_kib "$floor_linux" VmRSS)" \
        "$(status_kib "$calvera_pid" RssAnon) $(status_kib "$floor_linux" RssAnon)" \
        >>"$work/footprint.txt"
    done
    c1=$(cpu_ticks "$calvera_pid") f1=$(cpu_ticks "$floor_linux")
    cn1=$(cpu_ns "$calvera_pid") fn1=$(cpu_ns "$floor_linux") sn1=$(cpu_ns "$server_pid")
    # Processor time per 60 s, in milliseconds.
    per_minute=$((60000 / clock_ticks))
    echo "cpu $(((c1 - c0) * per_minute / footprint_seconds))" \
      "$(((f1 - f0) * per_minute / footprint_seconds))" >>"$work/footprint.txt"
    awk -v c="$((cn1 - cn0))" -v f="$((fn1 - fn0))" -v s="$((sn1 - sn0))" \
      -v w="$footprint_seconds" 'BEGIN { k = 60 / w / 1e6
        printf "ns %.2f %.2f %.2f\n", c * k, f * k, s * k }' >>"$work/footprint.txt"
    log "footprint run $run: $(tail -2 "$work/footprint.txt" | tr '\n' ' ')"
  done
  field() {
    awk -v kind="$1" -v column="$2" '$1 == kind { print $column }' "$work/footprint.txt" | median
  }
  rss_c=$(field rss 2) rss_f=$(field rss 3) anon_c=$(field rss 4) anon_f=$(field rss 5)
  cpu_c=$(field cpu 2) cpu_f=$(field cpu 3)
  row "3 footprint VmRSS (KiB)" "$rss_c" "$rss_f" "$(ratio "$rss_c" "$rss_f")" "<= 1.10x floor"
  row "3 footprint RssAnon (KiB)" "$anon_c" "$anon_f" "$(ratio "$anon_c" "$anon_f")" \
    "<= 1.10x floor"
  if [[ -n "$tick_cost_us" ]]; then
    cpu_goal="<= floor + $(awk -v t="$tick_cost_us" 'BEGIN { printf "%.1f", 60 * t / 1000 }') ms"
  else
    cpu_goal="<= floor + 60 ticks"
  fi
  row "3 footprint processor time per 60 s (ms)" "$cpu_c" "$cpu_f" "$(ratio "$cpu_c" "$cpu_f")" \
    "$cpu_goal"
  fine_c=$(field ns 2) fine_f=$(field ns 3)
  row "3 footprint processor time per 60 s, schedstat (ms)" "$fine_c" "$fine_f" \
    "$(ratio "$fine_c" "$fine_f")" "$cpu_goal"
  # The wineserver answers every registry and window call of both programs; the floor makes
  # next to none, so this is mostly the service's cost outside its own process.
  row "3 footprint wineserver processor time per 60 s (ms)" "$(field ns 4)" "-" "-" "-"
}

# --- 4. reaction times ----------------------------------------------------------------------
reactions() {
  # The uptime gate (Wine's millisecond count is the host's uptime) needs five minutes of it.
  uptime_seconds=$(cut -d. -f1 /proc/uptime)
  if ((uptime_seconds < 302)); then
    log "waiting $((302 - uptime_seconds)) s for five minutes of uptime"
    sleep $((302 - uptime_seconds))
  fi
  log "reactions: low memory to companion start, $reaction_rounds rounds"
  set_setting ExecutePeriod 0  # every low-memory tick may start a run
  set_setting ProcessorLimit 0  # the shared machine's load must not hold a run back
  set_setting MemoryFree 1
  reaction lowmem "$companion_log_windows" "$reaction_rounds" >"$work/lowmem.txt"
  reaction direct "$CALVERA_INSTALL_WINDOWS\\CalveraDefrag.exe" "$companion_log_windows" \
    "$reaction_rounds" >"$work/direct.txt"
  lowmem=$(awk '$1 == "lowmem" { print $2 }' "$work/lowmem.txt" | median)
  direct=$(awk '$1 == "direct" { print $2 }' "$work/direct.txt" | median)
  log "low memory: $(awk '{ print $2 }' "$work/lowmem.txt" | tr '\n' ' ')"
  log "direct launch: $(awk '{ print $2 }' "$work/direct.txt" | tr '\n' ' ')"
  row "4 reaction low memory -> companion start (ms)" "$lowmem" "$direct" \
    "$(ratio "$lowmem" "$direct")" "<= 1100 ms"

  log "reactions: pause and continue, $reaction_rounds rounds"
  reaction controls Calvera "$reaction_rounds" >"$work/controls.txt"
  log "reactions: stop and start, $restart_rounds rounds"
  reaction restarts Calvera "$restart_rounds" >"$work/restarts.txt"
  grep -h '^error' "$work/controls.txt" "$work/restarts.txt" >&2
  for control in stop pause continue; do
    value=$(awk -v c="$control" '$1 == c { printf "%.1f\n", $2 / 1000 }' "$work"/controls.txt \
      "$work"/restarts.txt | median)
    log "$control: $(awk -v c="$control" '$1 == c { printf "%.1f ", $2 / 1000 }' \
      "$work"/controls.txt "$work"/restarts.txt)"
    row "4 reaction $control -> state reported (ms)" "$value" "-" "-" "<= 20 ms"
  done
  start=$(awk '$1 == "start" { printf "%.1f\n", $2 / 1000 }' "$work/restarts.txt" | median)
  log "start: $(awk '$1 == "start" { printf "%.1f ", $2 / 1000 }' "$work/restarts.txt")"
  row "4 reaction StartServiceW -> RUNNING (ms)" "$start" "-" "-" "-"
}

# --- 5. soak ----------------------------------------------------------------------------------
# growth COLUMN: the soak's last sample of that column less its first sample after $settle s.
growth() {
  awk -v settle="$settle" -v column="$1" '$1 >= settle && first == "" { first = $column }
    { last = $column } END { print last - first }' "$work/soak.txt"
}
# handle_growth IMAGE: the same for the handle counts of that image.
handle_growth() {
  awk -v image="$1" -v settle="$settle" '$2 == image { if (start == "") start = $1
      if ($1 - start >= settle * 1000 && first == "") first = $4; last = $4 }
    END { print (first == "" ? "-" : last - first) }' "$work/handles.txt"
}
soak() {
  log "soak: $soak_seconds s, a freeing run every minute"
  sc stop Calvera >/dev/null
  sc wait Calvera STOPPED 5000 >/dev/null
  set_setting MemoryMaintain 100
  set_setting ExecutePeriod 1
  start_service
  calvera_pid=$(bench_service_pid)
  offset=$(stat -c %s "$companion_log" 2>/dev/null || echo 0)
  reaction handles 10000 $((soak_seconds * 1000)) Calvera.exe calvera_floor.exe \
    >"$work/handles.txt" &
  handles_pid=$!
  : >"$work/soak.txt"
  for ((t = 0; t <= soak_seconds; t += 10)); do
    echo "$t $(status_kib "$calvera_pid" VmRSS) $(status_kib "$floor_linux" VmRSS)" \
      "$(status_kib "$calvera_pid" RssAnon) $(status_kib "$floor_linux" RssAnon)" \
      "$(ls "/proc/$calvera_pid/fd" | wc -l) $(ls "/proc/$floor_linux/fd" | wc -l)" \
      >>"$work/soak.txt"
    ((t + 10 <= soak_seconds)) && sleep 10
  done
  wait "$handles_pid"
  # Growth from the end of the first minutes (two, or half a short soak) to the end.
  settle=$((soak_seconds / 2 < 120 ? soak_seconds / 2 : 120))
  log "soak samples (s, VmRSS, floor VmRSS, RssAnon, floor RssAnon, fds, floor fds):"
  sed 's/^/    /' "$work/soak.txt" >&2
  log "handle counts: $(awk '$2 == "Calvera.exe" { printf "%s ", $4 }' "$work/handles.txt")"
  log "floor handle counts:" \
    "$(awk '$2 == "calvera_floor.exe" { printf "%s ", $4 }' "$work/handles.txt")"
  row "5 soak VmRSS growth after ${settle} s (KiB)" "$(growth 2)" "$(growth 3)" "-" "0 (flat)"
  row "5 soak RssAnon growth after ${settle} s (KiB)" "$(growth 4)" "$(growth 5)" "-" "0 (flat)"
  row "5 soak handle count growth after ${settle} s" "$(handle_growth Calvera.exe)" \
    "$(handle_growth calvera_floor.exe)" "-" "0"
  row "5 soak Linux fd count growth after ${settle} s" "$(growth 6)" "$(growth 7)" "-" "0"
  # The companion's start lines of the soak; the first is the run on the service's first tick.
  tail -c +"$((offset + 1))" "$companion_log" | awk '$1 == "start" { print $3 }' >"$work/runs.txt"
  log "run times (ms): $(tr '\n' ' ' <"$work/runs.txt")"
  awk 'NR > 1 { printf "%.3f\n", ($1 - previous) / 1000 } { previous = $1 }' "$work/runs.txt" \
    >"$work/intervals.txt"
  runs=$(wc -l <"$work/runs.txt")
  expected=$((soak_seconds / 60 + 1))
  worst=$(awk '{ d = $1 - 60; if (d < 0) d = -d; if (d > w) w = d } END { printf "%.3f", w }' \
    "$work/intervals.txt")
  row "5 soak runs" "$runs" "-" "-" "$expected (one a minute)"
  row "5 soak run interval, median (s)" "$(median <"$work/intervals.txt")" "-" "-" "60 +- 2"
  row "5 soak run interval, worst deviation from 60 s (s)" "$worst" "-" "-" "<= 2"
}

# The floor runs through all figures: the soak compares the service's drift with its drift.
[[ "$figures" == *3* ]] && footprint
if [[ -z "$floor_pid" ]]; then
  set_setting MemoryMaintain 0
  start_service
  wine "$tools/calvera_floor.exe" >/dev/null 2>&1 &
  floor_pid=$!
  sleep 3
  floor_linux=$(linux_pid 'calvera_floor.exe') || no_floor
fi
[[ "$figures" == *4* ]] && reactions
[[ "$figures" == *5* ]] && soak
