#!/usr/bin/env bash
# Keeps what is clean clean: the C++ sources against the repository's .clang-format
# (clang-format 14), and the shell scripts with shellcheck (warnings and errors; .shellcheckrc
# at the root). One line per check, then "N passed, N failed". Run by test.sh.
#   scripts/lint.sh
set -uo pipefail
source "$(dirname "$0")/common.sh"
cd "$CALVERA_ROOT" || exit 1

ensure_packages clang-format-14 shellcheck || exit 1

# The repository's files, committed or not, without what .gitignore leaves out.
tracked() { git ls-files --cached --others --exclude-standard -- "$@"; }

passed=0
failed=0
# check NAME COMMAND...: one check; its complaints are shown when it fails.
check() {
  local name="$1" output
  shift
  if output=$("$@" 2>&1); then
    passed=$((passed + 1))
    printf '%s: clean\n' "$name"
  else
    failed=$((failed + 1))
    printf '%s: FAILED\n%s\n' "$name" "$output"
  fi
}

mapfile -t sources < <(tracked '*.cpp' '*.h')
mapfile -t scripts < <(tracked '*.sh' .ci/run)
check "clang-format (${#sources[@]} files)" clang-format-14 --dry-run --Werror "${sources[@]}"
check "shellcheck (${#scripts[@]} scripts)" shellcheck --severity=warning "${scripts[@]}"

echo "$passed passed, $failed failed"
((failed == 0))
