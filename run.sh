#!/usr/bin/env bash
# Builds Calvera and runs it as a service under Wine with the real companion CalveraDefrag.exe
# beside it, and shows live what it does: the service's state, the memory, the companions alive
# and each event-log record as it comes. Ctrl-C stops and removes it.
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

# The session's event-log channels, with the writing process: errors, warnings and the rest, so
# that the companion's records of every kind come through.
begin_wine_session "$session_log" "+pid,err+eventlog,warn+eventlog,trace+eventlog"
install_calvera_files "Calvera Demo"
# The real companion in place of the stand-in that install_calvera_files lays out.
cp build/win64/bin/CalveraDefrag.exe "$CALVERA_INSTALL_UNIX/"
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

Calvera is installed in "$CALVERA_INSTALL_WINDOWS" of the Wine prefix and running, with the
real CalveraDefrag.exe beside it. Demo settings: MemoryMaintain=100 (memory always counts as
low), MemoryFree=2 (%), ExecutePeriod=1 (minute), ProcessorLimit=0. Expect a companion now and
one every minute; each record is shown as it comes.

Under Wine the freeing calls have no effect: SetSystemFileCacheSize fails with error 120, a
trimmed working set answers success and stays as it was, and the page lists cannot be read. The
gain a record shows is what was measured, so here it is 0 MB and the run falls short. The
request a minute later then falls into the 60 s cooldown, which counts it without a record; the
run after reports it. Wine 8 prints about the first 300 characters of an entry.
INFO
if ((uptime_seconds < 300)); then
  echo "This machine has been up ${uptime_seconds}s: the first run waits for 5 minutes of uptime."
fi
echo "Press Ctrl-C to stop and remove the service."
echo

# companions: the CalveraDefrag.exe processes of this prefix (Wine shows a Windows program's own
# command line in /proc).
companions() {
  local file pid count=0
  for file in $(grep -lsF -- "CalveraDefrag.exe" /proc/[0-9]*/cmdline); do
    pid="${file#/proc/}"
    pid="${pid%/cmdline}"
    grep -qsxzF "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" && count=$((count + 1))
  done
  echo "$count"
}

# show_records FROM: prints the event-log entries of the session log's whole lines after line
# FROM, one line of the record per line, with its level; prints the log's number of whole lines
# on the last line.
show_records() {
  local lines
  lines=$(wc -l <"$session_log")
  ((lines > $1)) && sed -n "$(($1 + 1)),${lines}p" "$session_log" |
    sed -n 's/^.*:\(err\|warn\|trace\):eventlog:ReportEventW L"\(.*\)$/\1 \2/p' |
    while read -r level text; do
      case "$level" in
        err) level="error" ;;
        warn) level="warning" ;;
        trace) level="information" ;;
      esac
      # Wine quotes the text as C does, and ends it with "..." where it cut it.
      local cut=""
      if [[ "$text" == *'"...' ]]; then
        text="${text%\"...}"
        cut="    [Wine prints no more of this entry]"
      else
        text="${text%\"}"
      fi
      printf '\n%s  %s entry:\n' "$(date +%T)" "$level"
      printf '%s\n' "$text" | sed -e 's/\\n/\n/g' -e 's/\\"/"/g' -e 's/\\\\/\\/g' |
        sed 's/^/    /'
      [[ -n "$cut" ]] && echo "$cut"
    done
  echo "$lines"
}

shown=0
while true; do
  state=$(calvera_sc query Calvera)
  readings=$(wine build/win64/bin/calvera_probes.exe | tr -d '\r')
  total=$(awk -F= '$1 == "total" { printf "%.0f", $2 / 1048576 }' <<<"$readings")
  available=$(awk -F= '$1 == "available" { printf "%.0f", $2 / 1048576 }' <<<"$readings")
  printf '\r%s  service %-8s  memory %6s MB available of %6s MB  companions %s  ' \
    "$(date +%T)" "$state" "$available" "$total" "$(companions)"
  output=$(show_records "$shown")
  shown=$(tail -1 <<<"$output")
  records=$(sed '$d' <<<"$output")
  [[ -n "$records" ]] && printf '%s\n' "$records"
  sleep 1
done
