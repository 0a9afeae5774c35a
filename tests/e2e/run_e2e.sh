#!/usr/bin/env bash
# Runs the end-to-end tests, calvera_e2e_tests.exe, under Wine's own Service Control Manager.
# This script keeps only what runs on the Linux side: a Wine session of its own (a persistent
# wineserver, without which services die about 2 s after the command that started them) whose
# event-log channels go to a file the tests read, and the exit status. Arguments go to the
# program, e.g. --gtest_filter='HostileSettings.*'. Prints GoogleTest's summary, which
# test.sh adds up.
#   tests/e2e/run_e2e.sh [gtest arguments...]
set -uo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
source "$CALVERA_ROOT/scripts/wine_service.sh"
cd "$CALVERA_ROOT" || exit 1

program="$CALVERA_WIN64_BUILD/bin/calvera_e2e_tests.exe"
[[ -f "$program" ]] || { echo "no $program: build the win64 preset first" >&2; exit 1; }
wine_service_environment
mkdir -p "$CALVERA_E2E_LOGS"
channels="$CALVERA_E2E_LOGS/e2e-channels.log"
: >"$channels"

# Every process of the session writes its debug output, with its process id, to one file
# opened for appending, so that each line lands whole at its end: the service manager and the
# services it starts (through the session's first process), this program and what it starts.
export WINEDEBUG="+pid,err+eventlog,warn+eventlog,trace+eventlog"
export CALVERA_E2E_CHANNELS="Z:${channels//\//\\}"
# The 32-bit build, whose images the tests read without running them.
win32_bin="${CALVERA_WIN32_BUILD:-$CALVERA_ROOT/build/win32}/bin/"
export CALVERA_E2E_WIN32_BIN="Z:${win32_bin//\//\\}"
# The example settings file of the portable packages, and the test packages when
# tests/packaging/test_packages.sh has built them.
export CALVERA_E2E_EXAMPLE_REG="Z:${CALVERA_ROOT//\//\\}\\packaging\\calvera.reg"
packages="${CALVERA_TEST_PACKAGES:-$CALVERA_ROOT/build/package-tests}"
if [[ -d "$packages" ]]; then
  export CALVERA_E2E_PACKAGES="Z:${packages//\//\\}"
fi
begin_wine_session "$channels" "$WINEDEBUG"
trap end_wine_session EXIT

wine "$program" "$@" 2>>"$channels"
