#!/usr/bin/env bash
# The executables import system libraries only: a LocalSystem service that needed
# libstdc++, libgcc or libwinpthread DLLs would load them from its own folder.
set -uo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
cd "$CALVERA_ROOT" || exit 1

allowed='^(ADVAPI32|KERNEL32|USER32|SHELL32|ole32|msvcrt|api-ms-win-[a-z0-9-]+)\.dll$'
passed=0
failed=0
for preset in win64 win32; do
  objdump=x86_64-w64-mingw32-objdump
  [[ $preset == win32 ]] && objdump=i686-w64-mingw32-objdump
  for exe in build/$preset/bin/Calvera.exe; do
    imports=$($objdump -p "$exe" 2>/dev/null | sed -n 's/^\s*DLL Name: //p')
    unexpected=$(grep -viE "$allowed" <<<"$imports")
    if [[ -n "$imports" && -z "$unexpected" ]]; then
      passed=$((passed + 1))
      echo "[       OK ] $exe imports only system libraries: $(tr '\n' ' ' <<<"$imports")"
    else
      failed=$((failed + 1))
      echo "[  FAILED  ] $exe imports: $(tr '\n' ' ' <<<"$imports")"
    fi
  done
done
echo "[  PASSED  ] $passed tests."
((failed == 0)) || { echo "[  FAILED  ] $failed tests, listed below:"; exit 1; }
