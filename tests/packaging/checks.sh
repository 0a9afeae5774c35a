# shellcheck shell=bash
# The checks of the packaging suites, which run on the Linux side (xmllint, msiinfo, unzip),
# with the GoogleTest-style summary that test.sh adds up. Source it after common.sh.

passed=0
failed=0
failures=()
# check NAME COMMAND...: one check, passed when the command succeeds.
check() {
  local name="$1"
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "[       OK ] $name"
  else
    failed=$((failed + 1))
    failures+=("$name")
    echo "[  FAILED  ] $name"
  fi
}
equals() {
  [[ "$1" == "$2" ]] || { echo "    expected: $2" >&2; echo "    actual:   $1" >&2; return 1; }
}
contains() {
  [[ "$1" == *"$2"* ]] || { echo "    expected to contain: $2" >&2; echo "    actual: $1" >&2; return 1; }
}

# finish_suite: prints the summary; exit code 1 when a check failed.
finish_suite() {
  echo "[==========] $((passed + failed)) tests ran."
  echo "[  PASSED  ] $passed tests."
  if ((failed)); then
    echo "[  FAILED  ] $failed tests, listed below:"
    local name
    for name in "${failures[@]}"; do echo "[  FAILED  ] $name"; done
    exit 1
  fi
  exit 0
}
