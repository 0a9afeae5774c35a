#!/usr/bin/env bash
# The companion's figures under Wine: its resident memory against a floor program (7) and the
# time from its launch to its end for a request it cannot meet (8).
#
# Usage: bench/companion_figures.sh [--quick]
# Environment:
#   CALVERA_BENCH_WIN64  win64 build dir with bin/CalveraDefrag.exe, bin/bench/calvera_reaction.exe
#                        and bin/bench/calvera_companion_floor.exe (default build/win64-release)
# Prints "ROW\t<figure>\t<calvera>\t<floor>\t<ratio>\t<goal>" lines on stdout, all else on
# stderr. Runs in a Wine prefix of its own, without the service installed: the companion keeps
# no state between runs there, so every launch makes a whole run. Leaves no wineserver running.
set -uo pipefail
source "$(dirname "$0")/../scripts/common.sh"
cd "$CALVERA_ROOT" || exit 1

win64="${CALVERA_BENCH_WIN64:-build/win64-release}"
[[ "$win64" = /* ]] || win64="$CALVERA_ROOT/$win64"
rounds=9
case "${1:-}" in
  --quick) rounds=3 ;;
  "") ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac
companion="$win64/bin/CalveraDefrag.exe"
floor="$win64/bin/bench/calvera_companion_floor.exe"
timer="$win64/bin/bench/calvera_reaction.exe"
for file in "$companion" "$floor" "$timer"; do
  [[ -f "$file" ]] || { log "missing $file"; exit 1; }
done

# What a run under Wine waits: the sampling interval between its two process snapshots, and a
# settle after each step whose call succeeded, of which there is none under Wine (the file
# cache's call fails, no process has a private working set worth trimming, the page lists
# cannot be read).
sampling_ms=500
settles_ms=0
request=1024

wine_environment "$CALVERA_ROOT/build/bench-companion-wineprefix"
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
trap 'exit 130' INT TERM
# The service is not installed in this prefix; an entry left by another use of it would let
# the companion keep a cooldown between the rounds.
wine reg delete 'HKLM\SYSTEM\CurrentControlSet\Services\Calvera' /f >/dev/null 2>&1 || true
work="$CALVERA_ROOT/build/logs/companion-figures"
rm -rf "$work"
mkdir -p "$work"

# pid_of TEXT: the process of this prefix whose command line contains TEXT (Wine shows a
# Windows program's own command line there), once it exists; empty after 5 s.
pid_of() {
  local file pid deadline=$((SECONDS + 5))
  while ((SECONDS < deadline)); do
    for file in $(grep -lsF -- "$1" /proc/[0-9]*/cmdline); do
      pid="${file#/proc/}"
      pid="${pid%/cmdline}"
      if grep -qsxzF "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ"; then
        echo "$pid"
        return
      fi
    done
    sleep 0.01
  done
}

# peak_kib PROGRAM ARGUMENT: runs the program and prints the highest VmHWM (peak resident set,
# KiB) seen while it ran, read every 10 ms, and its exit code.
peak_kib() {
  local name peak=0 hwm pid
  name=$(basename "$1")
  wine "$1" "$2" 2>>"$work/wine.log" &
  local launcher=$!
  pid=$(pid_of "$name")
  while [[ -n "$pid" && -d /proc/$pid ]]; do
    hwm=$(awk '$1 == "VmHWM:" { print $2 }' "/proc/$pid/status" 2>/dev/null)
    [[ -n "$hwm" ]] && ((hwm > peak)) && peak=$hwm
    sleep 0.01
  done
  wait "$launcher"
  echo "$peak $?"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# A first launch of each, so that neither pays for loading its image from disk.
wine "$companion" "$request" >/dev/null 2>&1
wine "$floor" 10 >/dev/null 2>&1

log "resident memory: $rounds rounds of the companion and its floor"
: >"$work/peaks"
failures=0
for ((round = 0; round < rounds; round++)); do
  read -r companion_peak companion_exit < <(peak_kib "$companion" "$request")
  read -r floor_peak _ < <(peak_kib "$floor" $((sampling_ms + settles_ms)))
  echo "$companion_peak $floor_peak" >>"$work/peaks"
  if ((companion_exit != 1 || companion_peak == 0 || floor_peak == 0)); then
    log "round $round: companion exit code $companion_exit, peaks $companion_peak / $floor_peak KiB"
    failures=$((failures + 1))
  fi
done
companion_kib=$(awk '{ print $1 }' "$work/peaks" | median)
floor_kib=$(awk '{ print $2 }' "$work/peaks" | median)
ratio=$(awk '{ print $1 / $2 }' "$work/peaks" | median)
printf 'ROW\t7. Companion peak resident memory, VmHWM (Wine, KiB)\t%s\t%s\t%.3f\t<= 1.10x floor\n' \
  "$companion_kib" "$floor_kib" "$ratio"

log "launch to exit: $rounds rounds of a request of $request MB that cannot be met"
: >"$work/launches"
for ((round = 0; round < rounds; round++)); do
  # The companion's record goes to Wine's warn:eventlog channel, checked below.
  companion_line=$(WINEDEBUG=warn+eventlog wine "$timer" launch "$companion" "$request" 1 \
    2>>"$work/records.log" | tr -d '\r')
  floor_line=$(wine "$timer" launch "$floor" $((sampling_ms + settles_ms)) 1 2>/dev/null |
    tr -d '\r')
  read -r _ companion_us companion_exit <<<"$companion_line"
  read -r _ floor_us _ <<<"$floor_line"
  echo "${companion_us:-0} ${floor_us:-0}" >>"$work/launches"
  if [[ "${companion_exit:-}" != 1 || -z "${floor_us:-}" ]]; then
    log "round $round: companion '$companion_line', floor '$floor_line'"
    failures=$((failures + 1))
  fi
done
# Every run falls short with the nothing it measured, and says so.
records=$(grep -c 'warn:eventlog:ReportEventW L"Fell short: 0 MB more available memory' \
  "$work/records.log")
if ((records != rounds)); then
  log "$records of $rounds runs recorded falling short with 0 MB gained; see $work/records.log"
  failures=$((failures + 1))
fi
companion_ms=$(awk '{ print $1 / 1000 }' "$work/launches" | median)
floor_ms=$(awk '{ print $2 / 1000 }' "$work/launches" | median)
ratio=$(awk '$2 > 0 { print $1 / $2 }' "$work/launches" | median)
printf 'ROW\t8. Companion launch to exit, request it cannot meet (Wine, ms)\t%.1f\t%.1f\t%.3f\t<= 1.10x floor\n' \
  "$companion_ms" "$floor_ms" "$ratio"
log "the floor waits ${sampling_ms} ms (the sampling interval) plus ${settles_ms} ms of settles"
((failures == 0))
