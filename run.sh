#!/usr/bin/env bash
# Builds Calvera and runs it as a service under Wine, beside a stand-in companion that only
# records what it is asked to free, and shows live what it does. Ctrl-C stops and removes it.
set -uo pipefail
source "$(dirname "$0")/scripts/common.sh"
source "$CALVERA_ROOT/scripts/wine_service.sh"
cd "$CALVERA_ROOT" || exit 1

ensure_packages || exit 1
build_presets win64 || exit 1
wine_environment
mkdir -p build/run
session_log="$CALVERA_ROOT/build/run/eventlog.log"
: >"$session_log"

probes=$(wine build/win64/bin/calvera_probes.exe --load | tr -d '\r')
echo "What Calvera's probes read on this machine under Wine:"
echo "$probes" | awk -F= '
  $1 == "total"     { printf "  total physical memory      %8.0f MB\n", $2 / 1048576 }
  $1 == "available" { printf "  available physical memory  %8.0f MB\n", $2 / 1048576 }
  $1 == "load"      { printf "  processor load over 1 s    %8.1f %%\n", $2 }
  $1 == "version"   { printf "  Windows version code       %8d\n", $2 }'

if [[ ! -f build/win64/bin/Calvera.exe ]]; then
  echo "Calvera.exe is not built yet; nothing more to run."
  exit 0
fi

begin_wine_session "$session_log"
install_calvera_files "Calvera Demo"
cleanup() {
  trap - INT TERM EXIT
  echo
  echo "Stopping and removing the service..."
  calvera_sc stop Calvera >/dev/null 2>&1
  calvera_sc wait Calvera STOPPED 5000 >/dev/null 2>&1
  calvera /uninstall /silent >/dev/null 2>&1
  clear_settings
  end_wine_session
  echo "Done: nothing left running."
  exit 0
}
trap cleanup INT TERM EXIT

# Settings that make the decision visible within a minute: memory always counts as low (the
# level is 100 % of the total), 2 % of it is freed per run, at most one run a minute, and the
# processor gate is off so a busy build machine does not hold it back.
clear_settings
set_setting MemoryMaintain 100
set_setting MemoryFree 2
set_setting ExecutePeriod 1
set_setting ProcessorLimit 0
calvera /install /silent || { echo "installation failed"; exit 1; }
calvera_sc start Calvera >/dev/null
calvera_sc wait Calvera RUNNING 20000 >/dev/null

uptime_seconds=$(cut -d. -f1 /proc/uptime)
cat <<INFO

Calvera is installed in "$CALVERA_INSTALL_WINDOWS" of the Wine prefix and running.
Demo settings: MemoryMaintain=100 (memory always counts as low), MemoryFree=2 (%),
ExecutePeriod=1 (minute), ProcessorLimit=0. Expect a run now and one every minute.
INFO
if ((uptime_seconds < 300)); then
  echo "This machine has been up ${uptime_seconds}s: the first run waits for 5 minutes of uptime."
fi
echo "Press Ctrl-C to stop and remove the service."
echo

seen=0
while true; do
  state=$(calvera_sc query Calvera)
  readings=$(wine build/win64/bin/calvera_probes.exe | tr -d '\r')
  total=$(awk -F= '$1 == "total" { printf "%.0f", $2 / 1048576 }' <<<"$readings")
  available=$(awk -F= '$1 == "available" { printf "%.0f", $2 / 1048576 }' <<<"$readings")
  printf '\r%s  service %-8s  memory %6s MB available of %6s MB  ' "$(date +%T)" "$state" \
    "$available" "$total"
  log="$CALVERA_INSTALL_UNIX/companion.log"
  if [[ -f "$log" ]]; then
    mapfile -t lines < <(grep '^start ' "$log")
    while ((seen < ${#lines[@]})); do
      read -r _ megabytes _ <<<"${lines[$seen]}"
      printf '\n%s  companion started: free %s MB\n' "$(date +%T)" "$megabytes"
      seen=$((seen + 1))
    done
  fi
  if grep -q 'err:eventlog' "$session_log" 2>/dev/null; then
    printf '\nevent log: %s\n' "$(grep 'err:eventlog' "$session_log" | tail -1)"
    : >"$session_log"
  fi
  sleep 1
done
