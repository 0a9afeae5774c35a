#!/usr/bin/env bash
# Builds all three presets and the packages, and runs every test: the formatting and script
# checks, the host unit tests against the fake platform, the win64 tests under Wine, the policy
# templates, the packages' tables, the end-to-end suites (the installer's among them) and the
# fuzz targets. Ends with "N passed, N failed".
set -uo pipefail
source "$(dirname "$0")/scripts/common.sh"
cd "$CALVERA_ROOT" || exit 1

ensure_packages || exit 1
build_presets "${CALVERA_PRESETS[@]}" || { echo "0 passed, 1 failed"; exit 1; }
wine_environment

mkdir -p build/logs
passed=0
failed=0

# run_suite NAME COMMAND...: runs one GoogleTest executable and adds up its results.
run_suite() {
  local name="$1"
  shift
  local output="build/logs/$name.log"
  log "running $name"
  "$@" >"$output" 2>&1
  local status=$?
  local suite_passed suite_failed
  suite_passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$output" | tail -1)
  suite_failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below:.*/\1/p' "$output" | tail -1)
  if [[ -z "$suite_passed" ]]; then  # a suite with the plain closing line
    read -r suite_passed suite_failed < <(sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed$/\1 \2/p' "$output" | tail -1)
  fi
  suite_passed=${suite_passed:-0}
  suite_failed=${suite_failed:-0}
  if ((status != 0 && suite_failed == 0)); then
    suite_failed=1  # crashed or failed outside any test
  fi
  if ((status != 0)); then
    grep -E '^\[  FAILED  \]|Failure|ERROR|runtime error' "$output" | head -40 >&2
    tail -20 "$output" >&2
  fi
  printf '    %s: %d passed, %d failed\n' "$name" "$suite_passed" "$suite_failed" >&2
  passed=$((passed + suite_passed))
  failed=$((failed + suite_failed))
}

# The packages: the upgrade tests' versions first, then the project's own, so that the
# release builds end with the project's version (each version rebuilds only the version
# resources and the links of the one release build of each architecture).
package_builds() {
  tests/packaging/test_packages.sh && ./package.sh
}
log "building the packages"
if ! package_builds >build/logs/packages.log 2>&1; then
  tail -30 build/logs/packages.log >&2
  printf '    packages: not built\n' >&2
  failed=$((failed + 1))
fi

run_suite lint bash scripts/lint.sh
run_suite host-unit build/host/bin/calvera_unit_tests
run_suite win64-unit wine build/win64/bin/calvera_unit_tests.exe
if [[ -f build/win64/bin/calvera_wine_tests.exe ]]; then
  run_suite win64-wine wine build/win64/bin/calvera_wine_tests.exe
fi
run_suite policy-templates bash tests/packaging/policy_templates.sh
run_suite package-tables bash tests/packaging/package_tables.sh
# The end-to-end tests: one GoogleTest program under Wine's own Service Control Manager, in a
# Wine session of its own (tests/e2e/run_e2e.sh), which hands it the test packages.
run_suite e2e tests/e2e/run_e2e.sh
wineserver -k >/dev/null 2>&1 || true
run_suite fuzz ./fuzz.sh 20

echo "$passed passed, $failed failed"
((failed == 0))
