#!/usr/bin/env bash
# Builds the release variants and runs every benchmark figure: under Wine with the win64
# build, on the host against a platform that allocates nothing or the fake model of the page
# lists. Prints one table (figure,
# Calvera, floor, ratio, goal) and writes it, with the date and the machine, into the table
# section of BENCHMARKS.md, which says how each figure is taken.
#
#   ./bench.sh           the full run (a few minutes)
#   ./bench.sh --quick   a short run while developing; BENCHMARKS.md is left as it is
#
# Each figure program prints its rows as "ROW<TAB>figure<TAB>calvera<TAB>floor<TAB>ratio<TAB>goal"
# on stdout; everything else it prints goes to the terminal. bench/service_figures.sh, when
# present, adds the service's own figures; it gets the median tick cost of the started,
# memory-high path in CALVERA_TICK_COST_US (microseconds), the win64 release build directory in
# CALVERA_BENCH_WIN64, and --quick when this run is quick. bench/companion_figures.sh adds the
# companion's figures under Wine, with the same build directory and --quick.
set -uo pipefail
source "$(dirname "$0")/scripts/common.sh"
cd "$CALVERA_ROOT" || exit 1

quick=0
case "${1:-}" in
  --quick) quick=1 ;;
  "") ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

BENCH_HOST="$CALVERA_ROOT/build/host-release"
BENCH_WIN64="$CALVERA_ROOT/build/win64-release"
# What the figures run: the benchmark programs, for the service's figures the product, the
# stand-in companion, the service control tool and the probe report, and for the companion's
# the companion itself and its floor.
BENCH_HOST_TARGETS=(tick_allocations companion_cost)
BENCH_WIN64_TARGETS=(tick_cost Calvera companion_standin service_control probe_report
                     bench_floor_program bench_reaction_timer CalveraDefrag bench_companion_floor)

# A Wine prefix of the benchmarks' own, so that a run never meets the tests' wineserver or
# their settings.
bench_wine_environment() {
  wine_environment "$CALVERA_ROOT/build/bench-wineprefix"
  # One wineserver for the whole run, so that no figure pays for starting one; this prefix's
  # alone, ended by cleanup.
  wineserver -p
  wine_started=1
}

rows_file=$(mktemp)
wine_started=0
cleanup() {
  rm -f "$rows_file"
  if ((wine_started)); then
    wineserver -k >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT
failures=0

# collect NAME COMMAND...: runs one figure program, passes its ROW lines on to the table and
# prints the rest; a program that fails is reported and counted.
collect() {
  local name="$1"
  shift
  log "running $name"
  local output status
  output=$(
    "$@" | tr -d '\r'
    exit "${PIPESTATUS[0]}"
  )
  status=$?
  grep '^ROW'$'\t' <<<"$output" | cut -f2- >>"$rows_file"
  grep -v -e '^ROW'$'\t' -e '^VALUE'$'\t' -e '^$' <<<"$output" >&2
  last_output="$output"
  if ((status != 0)); then
    echo "$name failed (exit code $status)" >&2
    failures=$((failures + 1))
  fi
}

ensure_packages || exit 1
build_preset host-release "${BENCH_HOST_TARGETS[@]}" || exit 1
build_preset win64-release "${BENCH_WIN64_TARGETS[@]}" || exit 1
bench_wine_environment

tick_cost_options=()
((quick)) && tick_cost_options=(--rounds 21 --ticks 10)
collect "tick cost under Wine" wine "$BENCH_WIN64/bin/tick_cost.exe" "${tick_cost_options[@]}"
tick_cost_us=$(awk -F'\t' '$1 == "VALUE" && $2 == "tick_cost_started_memory_high_us" { print $3 }' \
  <<<"$last_output")

collect "heap allocations per tick on the host" "$BENCH_HOST/bin/tick_allocations"

if [[ -f bench/service_figures.sh ]]; then
  service_options=()
  ((quick)) && service_options=(--quick)
  collect "service figures under Wine" env CALVERA_TICK_COST_US="$tick_cost_us" \
    CALVERA_BENCH_WIN64="$BENCH_WIN64" bash bench/service_figures.sh "${service_options[@]}"
fi

quick_option=()
((quick)) && quick_option=(--quick)
collect "companion processor time on the host" "$BENCH_HOST/bin/companion_cost" \
  "${quick_option[@]}"
collect "companion figures under Wine" env CALVERA_BENCH_WIN64="$BENCH_WIN64" \
  bash bench/companion_figures.sh "${quick_option[@]}"

# The table as Markdown, its columns padded so that it reads as well in a terminal.
table=$(awk -F'\t' '
  # Characters, not bytes: the figures may carry UTF-8 signs.
  function chars(text,   copy) { copy = text; return length(text) - gsub(/[\200-\277]/, "", copy) }
  function pad(text, width, right,   fill) {
    fill = sprintf("%" (width - chars(text)) "s", "")
    return right ? fill text : text fill
  }
  BEGIN { n = 1; split("figure|Calvera|floor|ratio|goal", header, "|")
          for (c = 1; c <= 5; c++) cell[1, c] = header[c] }
  NF >= 5 { n++; for (c = 1; c <= 5; c++) cell[n, c] = $c }
  END {
    for (r = 1; r <= n; r++) for (c = 1; c <= 5; c++)
      if (chars(cell[r, c]) > width[c]) width[c] = chars(cell[r, c])
    for (r = 1; r <= n; r++) {
      line = "|"
      for (c = 1; c <= 5; c++) line = line " " pad(cell[r, c], width[c], c > 1) " |"
      print line
      if (r == 1) {
        line = "|"
        for (c = 1; c <= 5; c++) {
          dashes = sprintf("%" width[c] "s", ""); gsub(/ /, "-", dashes)
          line = line " " dashes (c == 1 ? " |" : ":|")
        }
        print line
      }
    }
  }' "$rows_file")

machine="$(uname -srm), $(nproc) processors, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1), $(wine --version 2>/dev/null)"
stamp="$(date -u '+%Y-%m-%d %H:%M UTC')"

echo
echo "$table"
echo
echo "$stamp on $machine"

if ((quick)); then
  log "quick run: BENCHMARKS.md left as it was"
elif ((failures)); then
  log "$failures figure program(s) failed: BENCHMARKS.md left as it was"
else
  section=$(printf '%s\n\nTaken %s on %s, by `./bench.sh`.\n' "$table" "$stamp" "$machine")
  section="$section" awk '
    /<!-- bench:table:begin -->/ { print; print ""; print ENVIRON["section"]; print ""; skipping = 1; next }
    /<!-- bench:table:end -->/ { skipping = 0 }
    !skipping { print }' BENCHMARKS.md >BENCHMARKS.md.new && mv BENCHMARKS.md.new BENCHMARKS.md
  log "BENCHMARKS.md updated"
fi
((failures == 0))
