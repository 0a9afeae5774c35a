#!/usr/bin/env bash
# End to end under Wine: settings of every wrong type, with empty or oversized data and with
# extreme values, fed to the running service, and installations under hostile Language texts.
# The service must keep running, read a value of the wrong type as its default, decide as the
# values say (seen in the stand-in companion's starts), write nothing but its update stamp and
# log no failure.
# shellcheck disable=SC2046,SC2206  # settings pass as words: dwords prints NAME TYPE DATA ...
set -uo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
source "$CALVERA_ROOT/scripts/wine_service.sh"
cd "$CALVERA_ROOT" || exit 1
begin_service_suite "Hostile Settings"
wait_for_uptime 302

utf16_hex() { printf '%s' "$1" | iconv -f utf-8 -t utf-16le | xxd -p | tr -d '\n'; }
# int32_hex N [BYTES]: N as little-endian two's complement, 4 bytes or BYTES.
int32_hex() {
  local value=$(($1 & 0xFFFFFFFF)) bytes="${2:-4}" out="" i
  for ((i = 0; i < bytes; i++)); do
    out+=$(printf '%02x' $(((i < 4 ? value >> (8 * i) : (value >> 31 ? 0xFF : 0)) & 0xFF)))
  done
  echo "$out"
}
# dwords "NAME=VALUE ...": calvera_reg triples of REG_DWORD values.
dwords() {
  local pair
  for pair in $1; do
    printf '%s dword dword:%s ' "${pair%%=*}" "${pair#*=}"
  done
}
event_entries() { grep -c 'err:eventlog' "$session_log"; }

# --- Language, read only at installation ------------------------------------------------------
declare -A display=(
  [english]="Calvera Memory Service" [french]="Calvera Service Mémoire"
  [korean]="Calvera 서비스" [russian]="Calvera Служба Памяти" [none]="Calvera")
declare -A description=(
  [english]="Maintains memory performance by defragmenting used memory and allocating it back to the computer system."
  [french]="Maintenant les performances en défragmentant la mémoire utilisée et la ré-allouer au système."
  [korean]="사용된 RAM을 조각모음하고 시스템에 할당시켜 RAM 성능을 유지합니다."
  [russian]="Поддерживает производительность подсистемы памяти за счет дефрагментации используемой памяти и выделение его обратно на компьютер."
  [none]="")
# name | type | data | the table the captions come from ("none": no table has that name)
language_cases=(
  "100,000 characters|sz|repeat:100000:x|none"
  "non-ASCII text|sz|hex:$(utf16_hex Français)0000|none"
  "a Kelvin sign for the K of KOREAN (lower-cased in ASCII only)|sz|hex:$(utf16_hex 'KOREAN' | sed 's/^4b00/2a21/')0000|none"
  "an inner NUL after russian|sz|hex:$(utf16_hex russian)0000$(utf16_hex korean)0000|russian"
  "a NUL first|sz|hex:0000$(utf16_hex french)0000|english"
  "no terminating NUL|sz|hex:$(utf16_hex korean)|korean"
  "an odd byte count|sz|hex:$(utf16_hex korean)00|korean"
  "empty data|sz|hex:|english"
  "REG_EXPAND_SZ|expand_sz|text:French|french"
  "REG_MULTI_SZ|multi_sz|hex:$(utf16_hex french)00000000|english"
  "REG_BINARY of the text|binary|hex:$(utf16_hex french)0000|english"
  "REG_DWORD|dword|dword:1|english"
  "REG_QWORD|qword|qword:1|english"
)
for entry in "${language_cases[@]}"; do
  IFS='|' read -r name type data table <<<"$entry"
  calvera /uninstall /silent >/dev/null 2>&1
  calvera_reg replace Language "$type" "$data"
  calvera /install /silent >/dev/null 2>&1
  status=$?
  config=$(calvera_sc config Calvera)
  check "Language as $name: installs" equals "$status" 0
  check "Language as $name: display name from the $table table" \
    equals "$(sed -n 's/^display=//p' <<<"$config")" "${display[$table]}"
  check "Language as $name: description from the $table table" \
    equals "$(sed -n 's/^registry_description=//p' <<<"$config")" "${description[$table]}"
done

# --- the start-up correction under hostile values (it runs at every start of the executable) --
# LoadCalvera | DefragMemory | DefragMemory afterwards, as calvera_reg dumps it
correction_cases=(
  "sz text:0|dword dword:1|type=4 size=4 data=01000000"
  "dword dword:0|sz text:0|type=4 size=4 data=00000000"
  "dword dword:0|binary hex:00000000|type=4 size=4 data=00000000"
  "dword dword:0|dword hex:0000000000000000|type=4 size=4 data=00000000"
  "dword dword:0x80000000|dword dword:1|type=4 size=4 data=01000000"
  "qword qword:0|dword dword:0xFFFFFFFF|type=4 size=4 data=ffffffff"
)
for entry in "${correction_cases[@]}"; do
  IFS='|' read -r load defrag expected <<<"$entry"
  # shellcheck disable=SC2086  # type and data are two words
  calvera_reg replace LoadCalvera $load DefragMemory $defrag
  calvera /uninstall /silent >/dev/null 2>&1
  calvera /install /silent >/dev/null 2>&1
  check "start-up correction with LoadCalvera $load, DefragMemory $defrag" \
    equals "$(calvera_reg dump | sed -n 's/^DefragMemory //p')" "$expected"
done

# --- the running service ----------------------------------------------------------------------
calvera_reg clear
calvera_sc start Calvera >/dev/null
check "the service starts" equals "$(calvera_sc wait Calvera RUNNING 20000)" RUNNING
pid=$(service_pid)
check "the service process is found" test -n "$pid"
total=$(probe total)
available=$(probe available)

# chunks PERCENT: the companion amounts of one run freeing PERCENT of the memory: rounded to
# even, at most the whole memory, split into 1024 MB.
chunks() {
  awk -v p="$1" -v total="$total" 'BEGIN {
    mb = sprintf("%.0f", sprintf("%.0f", p / 100 * total) / 1048576) + 0
    all = sprintf("%.0f", total / 1048576) + 0
    if (mb > all) mb = all
    if (mb < -2147483648) mb = -2147483648
    for (r = mb; ; r -= 1024) { printf "%.0f ", (r >= 1024 ? 1024 : r); if (r - 1024 <= 0) break }
  }'
}
# MemoryMaintain's default (30 % of this machine's memory) decides by the memory free now.
default_level=$(awk -v a="$available" -v t="$total" 'BEGIN { print (a <= 0.3 * t ? "run" : "none") }')

sorted() { tr ' ' '\n' | sed '/^$/d' | sort -n | tr '\n' ' '; }
# runs_of AMOUNTS CHUNKS: the amounts are one or more whole runs of CHUNKS.
runs_of() {
  local amounts=($1) run=($2) expected=() i
  ((${#amounts[@]} > 0 && ${#amounts[@]} % ${#run[@]} == 0)) ||
    { echo "    amounts: ${amounts[*]:-none}; a run: ${run[*]}" >&2; return 1; }
  for ((i = 0; i < ${#amounts[@]} / ${#run[@]}; i++)); do expected+=("${run[@]}"); done
  equals "$(sorted <<<"${amounts[*]}")" "$(sorted <<<"${expected[*]}")"
}
no_run() { [[ -z "$1" ]] || { echo "    amounts: $1" >&2; return 1; }; }
# healthy PAUSE_OUTPUT ERRORS_BEFORE WRITTEN AFTER STAMP: the service ran until the pause, the
# process lives, nothing was logged, and the key holds what was written, apart from the update
# stamp when STAMP is yes: Updated cleared to 0 and UpdatedDate the local time in seconds.
healthy() {
  local paused="$1" errors="$2" written="$3" after="$4" stamp="$5"
  contains "$paused" "PAUSED" && [[ "${paused#* * }" == RUNNING,* ]] ||
    { echo "    the pause saw: $paused" >&2; return 1; }
  [[ -d /proc/$pid ]] || { echo "    the service process $pid is gone" >&2; return 1; }
  equals "$(event_entries)" "$errors" || return 1
  if [[ $stamp == yes ]]; then
    written=$(sed -e '/^UpdatedDate /d' -e 's/^Updated .*/Updated type=4 size=4 data=00000000/' <<<"$written")
    local date_hex seconds now
    date_hex=$(sed -n 's/^UpdatedDate type=1 size=[0-9]* data=//p' <<<"$after")
    seconds=$(xxd -r -p <<<"$date_hex" | iconv -f utf-16le -t utf-8 | tr -d '\0')
    now=$(($(date +%s) + $(date +%z | awk '{ s = substr($1, 1, 1) == "-" ? -1 : 1
      print s * (substr($1, 2, 2) * 3600 + substr($1, 4, 2) * 60) }')))
    [[ "$seconds" =~ ^[0-9]+$ ]] && ((seconds > now - 120 && seconds <= now + 5)) ||
      { echo "    UpdatedDate '$seconds', local time $now" >&2; return 1; }
    after=$(sed '/^UpdatedDate /d' <<<"$after")
  fi
  equals "$after" "$written"
}

# run_case NAME EXPECT STAMP TRIPLES...: with the service paused, stores exactly the values
# given, lets it run until the decision shows (a first start, or 2 s of none), pauses it again
# and checks the decision and the service's health. EXPECT: "none", "any" (depends on the
# processor load; only the health counts), or the amounts of one run.
run_case() {
  local name="$1" expect="$2" stamp="$3"
  shift 3
  calvera_reg replace "$@"
  local written errors lines
  written=$(calvera_reg dump)
  errors=$(event_entries)
  lines=$(log_lines)
  calvera_sc await Calvera continue RUNNING 2000 >/dev/null
  case "$expect" in
    none | any) sleep 1.5 ;;  # the first tick comes a second after the continue
    *) wait_for 10 has_new_start "$lines" ;;
  esac
  local paused amounts
  paused=$(calvera_sc await Calvera pause PAUSED 2000)
  local run_length=1
  [[ $expect == none || $expect == any ]] || run_length=$(wc -w <<<"$expect")
  wait_for 20 settled "$lines" "$run_length"
  amounts=$(new_amounts "$lines" | tr '\n' ' ')
  case "$expect" in
    none) check "$name: no run" no_run "$amounts" ;;
    any) ;;
    *) check "$name: runs of $expect MB" runs_of "$amounts" "$expect" ;;
  esac
  check "$name: runs on, logs nothing, writes nothing else" \
    healthy "$paused" "$errors" "$written" "$(calvera_reg dump)" "$stamp"
}

calvera_sc await Calvera pause PAUSED 2000 >/dev/null
marker=$(chunks 1)
base="MemoryMaintain=100 MemoryFree=1 ProcessorLimit=0 ExecutePeriod=0"
run_case "base settings" "$marker" no $(dwords "$base")

# The context each setting is tried in: the other values that make it decide the outcome.
declare -A context=(
  [MemoryMaintain]="MemoryFree=1 ProcessorLimit=0 ExecutePeriod=0"
  [MemoryFree]="MemoryMaintain=100 ProcessorLimit=0 ExecutePeriod=0"
  [ProcessorLimit]="$base ProcessorTrigger=-1"
  [ProcessorTrigger]="MemoryMaintain=100 MemoryFree=1 ExecutePeriod=0 ProcessorLimit=1"
  [BatteryCheck]="$base"
  [FullScreen]="$base"
  [FullScreenCheck]="$base FullScreen=1"
  [ExecutePeriod]="MemoryMaintain=100 MemoryFree=1 ProcessorLimit=0"
  [LoadCalvera]="$base DefragMemory=0"
  [DefragMemory]="$base LoadCalvera=0"
  [Updated]="$base"
)

# Wrong types: each must read as the default. The digits are a value that, read as a number,
# would decide otherwise. Settings whose default lets a run start are tried together, since
# any one of them misread stops the run or changes its amounts; BatteryCheck cannot show it
# (Wine reports no battery), nor ProcessorTrigger (only the processor load would tell 85 from
# -1, and the build machine's load is anyone's), but they are read on every tick all the same.
# The others one by one.
wrong_forms=(
  "REG_SZ digits|sz|text"
  "REG_BINARY of the DWORD|binary|binary"
  "REG_QWORD|qword|qword"
  "REG_MULTI_SZ digits|multi_sz|multi"
  "empty REG_SZ|sz|empty"
  "REG_DWORD of 8 bytes|dword|long"
)
# form_data KIND DIGITS: the data of a wrong form for calvera_reg.
form_data() {
  case "$1" in
    text) echo "text:$2" ;;
    binary) echo "hex:$(int32_hex "$2")" ;;
    qword) echo "qword:$2" ;;
    multi) echo "hex:$(utf16_hex "$2")00000000" ;;
    empty) echo "hex:" ;;
    long) echo "hex:$(int32_hex "$2" 8)" ;;
  esac
}
# Tried together, in a context where nothing else holds a run back; their defaults free 60 %.
together_context="MemoryMaintain=100 ProcessorLimit=0 ExecutePeriod=0 DefragMemory=0"
together="MemoryFree=1 FullScreen=1 LoadCalvera=0 BatteryCheck=1 ProcessorTrigger=-1 Updated=1"
# setting=digits | expected decision with the default
wrong_alone=(
  "MemoryMaintain=100|$([[ $default_level == run ]] && echo "$marker" || echo none)"
  "ProcessorLimit=0|none"
  "FullScreenCheck=0|none"
  "DefragMemory=0|$marker"
  "ExecutePeriod=0|none"  # the default 5 minutes since the run just made
)
for entry in "${wrong_forms[@]}"; do
  IFS='|' read -r form type kind <<<"$entry"
  values=() names=()
  for pair in $together; do
    values+=("${pair%%=*}" "$type" "$(form_data "$kind" "${pair#*=}")")
    names+=("${pair%%=*}")
  done
  run_case "$form for ${names[*]}" "$(chunks 60)" no \
    $(dwords "$together_context") "${values[@]}"
  for alone in "${wrong_alone[@]}"; do
    IFS='|' read -r pair expect <<<"$alone"
    setting="${pair%%=*}"
    run_case "$setting as $form" "$expect" no $(dwords "${context[$setting]}") \
      "$setting" "$type" "$(form_data "$kind" "${pair#*=}")"
  done
done

# Extreme DWORDs, and a REG_DWORD without data, which reads as 0. Per setting, the decision
# for: 0 | 0x7FFFFFFF | 0x80000000 | 0xFFFFFFFF | no data. "runs:P": the amounts of freeing P
# percent; "stamp": a run, and the update stamp written.
extreme_data=(dword:0 dword:0x7FFFFFFF dword:0x80000000 dword:0xFFFFFFFF hex:)
extreme_names=(0 0x7FFFFFFF 0x80000000 0xFFFFFFFF "a REG_DWORD without data")
extreme_cases=(
  "MemoryMaintain|none run none none none"
  "MemoryFree|runs:0 runs:2147483647 runs:-2147483648 runs:-1 runs:0"
  "ProcessorLimit|run none none none run"
  "ProcessorTrigger|any run none none any"
  "BatteryCheck|run run run run run"
  "FullScreen|run none none none run"
  "FullScreenCheck|run none none none run"
  "ExecutePeriod|run none run run run"
  "LoadCalvera|none run run run none"
  "DefragMemory|none run run run none"
  "Updated|run stamp stamp stamp run"
)
for entry in "${extreme_cases[@]}"; do
  IFS='|' read -r setting decisions <<<"$entry"
  read -r -a decision <<<"$decisions"
  for i in "${!extreme_data[@]}"; do
    expect="${decision[$i]}" stamp=no
    case "$expect" in
      run) expect="$marker" ;;
      stamp) expect="$marker" stamp=yes ;;
      runs:*) expect="$(chunks "${expect#runs:}")" ;;
    esac
    run_case "$setting ${extreme_names[$i]}" "$expect" "$stamp" \
      $(dwords "${context[$setting]}") "$setting" dword "${extreme_data[$i]}"
  done
done

# The stamp replaces an UpdatedDate of another type with its text.
run_case "Updated 1 over an UpdatedDate of REG_BINARY" "$marker" yes \
  $(dwords "$base Updated=1") UpdatedDate binary hex:0102

calvera_sc await Calvera continue RUNNING 2000 >/dev/null
check "stop reaches STOPPED" contains "$(calvera_sc await Calvera stop STOPPED 3000)" STOPPED
check "no failure was logged by the service" no_failure_logged "$session_log"
finish_suite
