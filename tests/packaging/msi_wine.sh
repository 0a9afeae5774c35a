#!/usr/bin/env bash
# The packages of package.sh: the tables of both MSIs and the contents of both zips, then the
# x64 MSI under Wine's msiexec and Service Control Manager: a silent installation leaves the
# service running, an upgrade keeps one entry, a downgrade is refused, a failing /install
# fails the installation, removal leaves only the settings. (The x86 MSI cannot run here.)
set -uo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
CALVERA_WIN64_BUILD="$CALVERA_ROOT/build/win64-release"
source "$CALVERA_ROOT/scripts/wine_service.sh"

packages="$CALVERA_ROOT/build/package-tests"
rm -rf "$packages"
# Two versions to upgrade between, and a second build of the higher one.
for build in 1.0.0 1.1.0 1.1.0-again; do
  "$CALVERA_ROOT/package.sh" --version "${build%-again}" --output "$packages/$build" \
    >"$packages.$build.log" 2>&1 || { cat "$packages.$build.log"; exit 1; }
done
build_preset win64-release service_control settings_writer || exit 1
lower="$packages/1.0.0/Calvera-1.0.0-x64.msi"
higher="$packages/1.1.0/Calvera-1.1.0-x64.msi"
higher_again="$packages/1.1.0-again/Calvera-1.1.0-x64.msi"

# --- the tables --------------------------------------------------------------------------
# table MSI NAME: the rows of one table, tab-separated, without the three header lines.
table() { msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4 | sort; }
# Windows Installer's view of what runs when: the actions that matter here, in their order.
sequence() {
  msiinfo export "$1" InstallExecuteSequence | tr -d '\r' | tail -n +4 | sort -t$'\t' -k3 -n |
    awk -F'\t' '$1 ~ /^(InstallValidate|RemoveExistingProducts|StopServices|UninstallService|RemoveFiles|InstallFiles|RollbackServiceInstall|RemoveServiceEntry|InstallService|StartServices|InstallFinalize)$/ { printf "%s[%s] ", $1, $2 }'
}
tables_as_expected() {
  local msi="$1" folder="$2" template="$3" component_bits="$4" ok=0
  equals "$(msiinfo suminfo "$msi" | sed -n 's/^Template: //p')" "$template" || ok=1
  equals "$(table "$msi" Directory | cut -f1,2 | tr '\t\n' ': ')" \
    "INSTALLDIR:$folder $folder:TARGETDIR TARGETDIR: " || ok=1
  equals "$(table "$msi" File | cut -f2,3 | tr '\t\n' ': ')" \
    "Companion:CalveraDefrag.exe Service:Calvera.exe " || ok=1
  equals "$(table "$msi" Component | cut -f1,4 | tr '\t\n' ': ')" \
    "Companion:$component_bits Service:$component_bits " || ok=1
  # 18 an installed program; +0x400 deferred, +0x800 not impersonated, +0x40 exit code
  # ignored, +0x100 rollback.
  equals "$(table "$msi" CustomAction | cut -f1-4 | tr '\t' ' ')" \
"InstallService 3090 CalveraExe /install /silent
RemoveServiceEntry 3154 CalveraExe /uninstall /silent
RollbackServiceInstall 3410 CalveraExe /uninstall /silent
UninstallService 3154 CalveraExe /uninstall /silent" || ok=1
  equals "$(sequence "$msi")" "InstallValidate[] RemoveExistingProducts[] StopServices[VersionNT] UninstallService[REMOVE~=\"ALL\"] RemoveFiles[] InstallFiles[] RollbackServiceInstall[NOT Installed] RemoveServiceEntry[NOT Installed] InstallService[NOT Installed] StartServices[VersionNT] InstallFinalize[] " || ok=1
  # Start on installation (1), stop on installation (2) and on removal (0x20), waiting.
  equals "$(table "$msi" ServiceControl | cut -f2-6 | tr '\t' ' ')" "Calvera 35  1 Service" || ok=1
  # Lower versions and this one are replaced (1 | 0x200, the maximum inclusive); a higher
  # one installed stops the installation.
  equals "$(table "$msi" Upgrade | awk -F'\t' '{ print $7, "min=" $2, "max=" $3, $5 }' | sort)" \
"WIX_DOWNGRADE_DETECTED min=1.0.0 max= 2
WIX_UPGRADE_DETECTED min= max=1.0.0 513" || ok=1
  equals "$(table "$msi" LaunchCondition | cut -f1)" "NOT WIX_DOWNGRADE_DETECTED" || ok=1
  return $ok
}
check "the x64 MSI's tables" tables_as_expected "$lower" ProgramFiles64Folder "x64;1033" 256
check "the x86 MSI's tables" tables_as_expected "$packages/1.0.0/Calvera-1.0.0-x86.msi" \
  ProgramFilesFolder "Intel;1033" 0

zip_holds_the_portable_files() {
  local arch="$1" name="Calvera-1.0.0-$1"
  equals "$(unzip -Z1 "$packages/1.0.0/$name.zip" | grep -v '/$' | sort | tr '\n' ' ')" \
"$name/Calvera.exe $name/CalveraDefrag.exe $name/PolicyDefinitions/Calvera.admx $name/PolicyDefinitions/en-US/Calvera.adml $name/PolicyDefinitions/fr-FR/Calvera.adml $name/PolicyDefinitions/ko-KR/Calvera.adml $name/PolicyDefinitions/pt-BR/Calvera.adml $name/PolicyDefinitions/ru-RU/Calvera.adml $name/README.md $name/calvera.reg "
}
check "the x64 zip holds the portable files" zip_holds_the_portable_files x64
check "the x86 zip holds the portable files" zip_holds_the_portable_files x86

# --- under Wine --------------------------------------------------------------------------
wine_service_environment
session_log="$CALVERA_E2E_LOGS/packaging-msi-session.log"
mkdir -p "$CALVERA_E2E_LOGS"
: >"$session_log"
begin_wine_session "$session_log"
program_files="$WINEPREFIX/drive_c/Program Files"
installed_exe='C:\Program Files\Calvera\Calvera.exe'

# products: "ProductCode version" of each installed Calvera product.
products() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | awk '
      /^HKEY/ { key = $0; sub(/.*\\/, "", key); name = ""; version = "" }
      $1 == "DisplayName" { $1 = $2 = ""; name = substr($0, 3) }
      $1 == "DisplayVersion" { version = $3 }
      name == "Calvera Memory Service" && version != "" { print key, version; name = "" }'
}
# msiexec ARGUMENTS...: its exit code. Wine hands a Linux shell the code modulo 256.
msiexec() { wine msiexec "$@" /qn >/dev/null 2>&1; echo $(($? % 256)); }
windows_path() { echo "Z:${1//\//\\}"; }
# Back to a machine without Calvera: every product removed, any entry deleted, no settings.
reset_machine() {
  local code
  for code in $(products | cut -d' ' -f1); do msiexec /x "$code" >/dev/null; done
  calvera_sc stop Calvera >/dev/null 2>&1
  calvera_sc wait Calvera STOPPED 10000 >/dev/null 2>&1
  wine "$installed_exe" /uninstall /silent >/dev/null 2>&1
  [[ -n "$CALVERA_INSTALL_WINDOWS" ]] &&
    wine "$CALVERA_INSTALL_WINDOWS\\Calvera.exe" /uninstall /silent >/dev/null 2>&1
  clear_settings
}
end_suite() {
  local status=$?
  reset_machine
  end_wine_session
  exit "$status"
}
trap end_suite EXIT
reset_machine

service_state() { calvera_sc query Calvera 2>&1; }
# Only the tool's answer: Wine may write its own notes to the error stream.
running() { [[ "$(calvera_sc query Calvera 2>/dev/null)" == RUNNING ]]; }
# (wine_pids ends on a failed test when the last process it looks at is not one of them.)
service_process() { wine_pids "$installed_exe" | head -1 || true; }

# A silent installation with the korean captions chosen.
installs_and_starts() {
  set_string_setting Language korean
  set_setting MemoryFree 7
  equals "$(msiexec /i "$(windows_path "$lower")")" 0 &&
    wait_for 20 running &&
    equals "$(config_value path)" "\"$installed_exe\"" &&
    equals "$(config_value display)" "Calvera 서비스" &&
    equals "$(config_value registry_description)" \
      "사용된 RAM을 조각모음하고 시스템에 할당시켜 RAM 성능을 유지합니다." &&
    [[ -f "$program_files/Calvera/Calvera.exe" && -f "$program_files/Calvera/CalveraDefrag.exe" ]] &&
    [[ -n "$(service_process)" ]] &&
    equals "$(products | cut -d' ' -f2)" 1.0.0
}
check "msiexec /i /qn installs the files and leaves the service running with its captions" \
  installs_and_starts

example_reg_reaches_the_settings() {
  wine regedit /s "$(windows_path "$CALVERA_ROOT/packaging/calvera.reg")" >/dev/null 2>&1
  equals "$(get_setting MemoryMaintain) $(get_setting MemoryFree) $(get_setting ExecutePeriod) $(get_setting BatteryCheck)" \
    "0x28 0x19 0xa 0x1"
}
check "the example .reg file writes the settings the service reads" \
  example_reg_reaches_the_settings

upgrades_with_one_entry() {
  local before after
  before=$(service_process)
  equals "$(msiexec /i "$(windows_path "$higher")")" 0 &&
    wait_for 20 running &&
    equals "$(products | cut -d' ' -f2)" 1.1.0 &&
    equals "$(config_value path)" "\"$installed_exe\"" &&
    equals "$(get_setting MemoryFree)" 0x19 || return 1
  after=$(service_process)
  [[ -n "$after" && "$after" != "$before" ]] ||
    { echo "    service process before ${before:-none}, after ${after:-none}" >&2; return 1; }
}
check "an upgrade replaces the product and keeps one running service" upgrades_with_one_entry

same_version_replaces() {
  equals "$(msiexec /i "$(windows_path "$higher_again")")" 0 &&
    wait_for 20 running &&
    equals "$(products | wc -l)" 1
}
check "another build of the same version replaces the installed one" same_version_replaces

downgrade_refused() {
  equals "$(msiexec /i "$(windows_path "$lower")")" $((1603 % 256)) &&
    equals "$(products | cut -d' ' -f2)" 1.1.0 && running
}
check "a lower version is refused and the installed one keeps running" downgrade_refused

removes_all_but_the_settings() {
  local code
  code=$(products | cut -d' ' -f1)
  equals "$(msiexec /x "$code")" 0 &&
    contains "$(service_state)" "error 1060" &&
    wait_for 10 test -z "$(service_process)" &&
    [[ ! -e "$program_files/Calvera" ]] &&
    equals "$(products)" "" &&
    equals "$(get_setting Language) $(get_setting MemoryFree)" "korean 0x19"
}
check "msiexec /x /qn removes the service and the files and keeps the settings" \
  removes_all_but_the_settings

# A service installed by hand (as the README describes) is taken over.
takes_over_a_hand_installation() {
  reset_machine
  install_calvera_files "Calvera Hand"
  calvera /install /silent >/dev/null 2>&1
  calvera_sc start Calvera >/dev/null 2>&1
  wait_for 20 running &&
    equals "$(msiexec /i "$(windows_path "$lower")")" 0 &&
    wait_for 20 running &&
    equals "$(config_value path)" "\"$installed_exe\""
}
check "the MSI replaces a service installed by hand" takes_over_a_hand_installation

# A package whose Calvera.exe fails every run (the service tool answers these switches with
# its usage and exit code 2).
failing_install_fails() {
  reset_machine
  local broken="$packages/broken.msi"
  (cd "$CALVERA_ROOT" && wixl -a x64 -D Version=1.0.0 -D Arch=x64 \
    -D CalveraExe=build/win64-release/bin/calvera_sc.exe \
    -D CompanionExe=build/win64-release/bin/standin/CalveraDefrag.exe \
    -o "$broken" packaging/msi/Calvera.wxs) || return 1
  local code
  code=$(msiexec /i "$(windows_path "$broken")")
  # Windows answers 1603; Wine's msiexec answers 1627 for a failed custom action.
  [[ "$code" == $((1603 % 256)) || "$code" == $((1627 % 256)) ]] ||
    { echo "    exit code $code" >&2; return 1; }
  equals "$(products)" "" && [[ ! -e "$program_files/Calvera" ]]
}
check "a failing /install fails the installation and leaves no product" failing_install_fails

finish_suite
