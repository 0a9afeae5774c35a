#!/usr/bin/env bash
# The policy templates pass their checker, and the checker fails loudly on each kind of broken
# reference and on a file the schema rejects: every case breaks one thing in a copy.
set -uo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
source "$CALVERA_ROOT/tests/packaging/checks.sh"

ensure_packages libxml2-utils python3 || exit 1
templates="$CALVERA_ROOT/packaging/policy"
checker="$templates/check_templates.py"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passes_as_shipped() { "$checker" "$templates" >/dev/null; }

# fails_with EXPECTED: the checker fails on the copy in $work/case and names the fault.
fails_with() {
  local output
  output=$("$checker" "$work/case" 2>&1) && { echo "    the checker passed" >&2; return 1; }
  contains "$output" "$1"
}
fresh_copy() { rm -rf "$work/case" && cp -r "$templates" "$work/case"; }

# broken FILE OLD NEW EXPECTED: OLD, a literal text of FILE, replaced once by NEW.
broken() {
  fresh_copy
  python3 - "$work/case/$1" "$2" "$3" <<'PY' || return 1
import pathlib, sys
path, old, new = pathlib.Path(sys.argv[1]), sys.argv[2], sys.argv[3]
text = path.read_text(encoding="utf-8")
if old not in text:
    sys.exit(f"    {old!r} is not in {path.name}")
path.write_text(text.replace(old, new, 1), encoding="utf-8")
PY
  fails_with "$4"
}
# missing FILE EXPECTED
missing() { fresh_copy && rm "$work/case/$1" && fails_with "$2"; }

check "the shipped templates pass" passes_as_shipped

# References between the .admx and a language file.
check "fails on a string missing from one language" broken fr-FR/Calvera.adml \
  '<string id="Language_korean">Coréen (한국어)</string>' '' \
  "fr-FR/Calvera.adml: string 'Language_korean', used by item"
check "fails on a string that nothing uses" broken ko-KR/Calvera.adml \
  '<string id="Tolvane">' '<string id="Unused">x</string><string id="Tolvane">' \
  "ko-KR/Calvera.adml: string 'Unused' is defined but Calvera.admx never uses it"
check "fails on a presentation missing" broken pt-BR/Calvera.adml \
  '<presentation id="ExecutePeriod">' '<presentation id="ExecutePeriodX">' \
  "pt-BR/Calvera.adml: presentation 'ExecutePeriod', used by policy 'ExecutePeriod' presentation"
check "fails on a control that names no element" broken ru-RU/Calvera.adml \
  'refId="ProcessorTrigger"' 'refId="ProcessorTriger"' \
  "refId 'ProcessorTriger' names no element of policy 'ProcessorLimit'"
check "fails on an element without a control" broken Calvera.admx \
  '<decimal id="ProcessorTrigger"' '<decimal id="ProcessorLevel" valueName="X"/><decimal id="ProcessorTrigger"' \
  "no control edits the element 'ProcessorLevel' of policy 'ProcessorLimit'"
check "fails on a control of the wrong kind" broken en-US/Calvera.adml \
  '<multiTextBox refId="ExcludeProcesses">Image names, one per line:</multiTextBox>' \
  '<decimalTextBox refId="ExcludeProcesses">Image names, one per line:</decimalTextBox>' \
  "a decimalTextBox cannot edit the multiText element 'ExcludeProcesses'"
check "fails on a language that lays out a control differently" broken fr-FR/Calvera.adml \
  'refId="MemoryFree" defaultValue="60"' 'refId="MemoryFree" defaultValue="50"' \
  "presentation 'MemoryFree' lays out its controls differently from en-US/Calvera.adml"
check "fails on a language below the required revision" broken ru-RU/Calvera.adml \
  'revision="1.0" schemaVersion' 'revision="0.9" schemaVersion' \
  "revision 0.9 is below the minRequiredRevision 1.0"
check "fails on a language file missing" missing ko-KR/Calvera.adml "ko-KR/Calvera.adml: missing"

# References inside the .admx.
check "fails on an unknown parent category" broken Calvera.admx \
  '<parentCategory ref="Calvera"/>' '<parentCategory ref="Calvara"/>' \
  "policy 'MemoryMaintain' parentCategory: category 'Calvara' is not defined"
check "fails on an undeclared namespace prefix" broken Calvera.admx \
  '<parentCategory ref="Tolvane"/>' '<parentCategory ref="windows:Tolvane"/>' \
  "the prefix 'windows', which no <using> declares"
check "fails on a cycle of categories" broken Calvera.admx \
  '<category name="Tolvane" displayName="$(string.Tolvane)"/>' \
  '<category name="Tolvane" displayName="$(string.Tolvane)"><parentCategory ref="Calvera"/></category>' \
  "categories form a cycle"
check "fails on an unknown supportedOn" broken Calvera.admx \
  '<supportedOn ref="SUPPORTED_Calvera_1_0"/>' '<supportedOn ref="SUPPORTED_Calvera_2_0"/>' \
  "supportedOn definition 'SUPPORTED_Calvera_2_0' is not defined"
check "fails on a superseded file that is no .adm" broken Calvera.admx \
  '<resources minRequiredRevision' '<supersededAdm fileName="calvera.txt"/><resources minRequiredRevision' \
  "supersededAdm fileName 'calvera.txt' is not an .adm file"
check "fails on a user policy" broken Calvera.admx 'class="Machine"' 'class="User"' \
  "policy 'MemoryMaintain' is of class 'User', not Machine"
check "fails on a policy under another key" broken Calvera.admx \
  'key="Software\Policies\Tolvane\Calvera">' 'key="Software\Tolvane\Calvera">' \
  "policy 'MemoryMaintain': policy key 'Software\\Tolvane\\Calvera' is not Software\\Policies\\Tolvane\\Calvera"

# What the schema rejects.
check "fails on an attribute the schema does not know" broken Calvera.admx \
  '<decimal id="MemoryFree"' '<decimal maximum="1" id="MemoryFree"' \
  "The attribute 'maximum' is not allowed"
check "fails on a malformed string reference" broken Calvera.admx \
  'displayName="$(string.BatteryCheck)"' 'displayName="$(strings.BatteryCheck)"' \
  "The value '\$(strings.BatteryCheck)' is not accepted by the pattern"
check "fails on two policies of one name" broken Calvera.admx \
  '<policy name="MemoryFree"' '<policy name="MemoryMaintain"' "Duplicate key-sequence ['MemoryMaintain']"
check "fails on two strings of one id" broken en-US/Calvera.adml \
  '<string id="Tolvane">' '<string id="Calvera">x</string><string id="Tolvane">' \
  "Duplicate key-sequence ['Calvera']"

finish_suite
