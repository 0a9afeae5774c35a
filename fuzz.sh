#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/, with the fuzz preset: clang and libFuzzer) into build/fuzz and
# runs each fuzz/<name>_fuzzer for the given number of seconds (default 60) over a copy of its
# seed corpus fuzz/corpus/<name>/, so the committed corpus does not grow. A target that breaks a
# rule or crashes fails; its input is kept in build/fuzz/crashes/. One line per target, then
# "N passed, N failed".
#   ./fuzz.sh [seconds]
set -uo pipefail
source "$(dirname "$0")/scripts/common.sh"
cd "$CALVERA_ROOT" || exit 1

seconds="${1:-60}"
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "usage: $0 [seconds]" >&2; exit 2; }

build=build/fuzz
ensure_packages clang-14 libclang-rt-14-dev || exit 1
mkdir -p "$build/logs" "$build/crashes"

targets=()
for source in fuzz/*_fuzzer.cpp; do
  [[ -f "$source" ]] && targets+=("$(basename "$source" .cpp)")
done
# A build directory that an earlier layout configured from fuzz/ alone is configured afresh.
if [[ -f "$build/CMakeCache.txt" ]] &&
  ! grep -qxF "CMAKE_HOME_DIRECTORY:INTERNAL=$CALVERA_ROOT" "$build/CMakeCache.txt"; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
build_preset fuzz "${targets[@]}" || { echo "0 passed, 1 failed"; exit 1; }

passed=0
failed=0
for source in fuzz/*_fuzzer.cpp; do
  [[ -f "$source" ]] || continue
  target=$(basename "$source" .cpp)
  name=${target%_fuzzer}
  corpus="$build/corpus/$name"
  output="$build/logs/$name.log"
  rm -rf "$corpus"
  mkdir -p "$corpus"
  if [[ -d "fuzz/corpus/$name" ]]; then
    cp -r "fuzz/corpus/$name/." "$corpus/"
  fi
  # libFuzzer writes the input that broke a rule as crash-<sha1> (leak-, timeout-, oom- alike).
  "$build/bin/$target" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/crashes/$name-" -print_final_stats=1 >"$output" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$output" | tail -1)
  if ((status == 0)); then
    passed=$((passed + 1))
    printf '%s: passed, %s runs in %s s\n' "$name" "${runs:-0}" "$seconds"
  else
    failed=$((failed + 1))
    artifact=$(sed -n 's/^artifact_prefix=.*; Test unit written to \(.*\)$/\1/p' "$output" | tail -1)
    printf '%s: FAILED after %s runs, input %s, log %s\n' "$name" "${runs:-0}" \
      "${artifact:-(none written)}" "$output"
    grep -E -A3 'RULE BROKEN|ERROR: (AddressSanitizer|libFuzzer|LeakSanitizer)|runtime error' \
      "$output" | head -20 >&2
  fi
done

echo "$passed passed, $failed failed"
((failed == 0))
