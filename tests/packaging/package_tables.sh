#!/usr/bin/env bash
# The packages of ./package.sh (build/package/), checked on the Linux side: the tables of both
# MSIs with msiinfo (the x86 one cannot run on these machines) and the contents of both zips,
# which carry the release executables. What the x64 MSI does under Wine's msiexec is the
# end-to-end program's (tests/e2e/msi_installation_test.cpp).
#   tests/packaging/package_tables.sh
set -uo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
source "$CALVERA_ROOT/tests/packaging/checks.sh"
cd "$CALVERA_ROOT" || exit 1

ensure_packages msitools unzip || exit 1
version=$(sed -n 's/^project(Calvera[^)]*VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt | head -1)
packages=build/package
if [[ ! -f "$packages/Calvera-$version-x64.msi" || ! -f "$packages/Calvera-$version-x86.msi" ]]; then
  ./package.sh >build/package.log 2>&1 || { cat build/package.log; exit 1; }
fi

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
  equals "$(table "$msi" Property | awk -F'\t' '$1 == "ProductVersion" { print $2 }')" \
    "$version" || ok=1
  equals "$(table "$msi" Directory | cut -f1,2 | tr '\t\n' ': ')" \
    "INSTALLDIR:$folder $folder:TARGETDIR TARGETDIR: " || ok=1
  equals "$(table "$msi" File | cut -f2,3 | tr '\t\n' ': ')" \
    "Companion:CalveraDefrag.exe Service:Calvera.exe " || ok=1
  equals "$(table "$msi" Component | cut -f1,4 | tr '\t\n' ': ')" \
    "Companion:$component_bits Service:$component_bits " || ok=1
  # 18 an installed program; +0x400 deferred, +0x800 not impersonated, +0x40 exit code
  # ignored, +0x100 rollback. /quiet: no box where nobody can answer one.
  equals "$(table "$msi" CustomAction | cut -f1-4 | tr '\t' ' ')" \
"InstallService 3090 CalveraExe /install /quiet
RemoveServiceEntry 3154 CalveraExe /uninstall /quiet
RollbackServiceInstall 3410 CalveraExe /uninstall /quiet
UninstallService 3154 CalveraExe /uninstall /quiet" || ok=1
  equals "$(sequence "$msi")" "InstallValidate[] RemoveExistingProducts[] StopServices[VersionNT] UninstallService[REMOVE~=\"ALL\"] RemoveFiles[] InstallFiles[] RollbackServiceInstall[NOT Installed] RemoveServiceEntry[NOT Installed] InstallService[NOT Installed] StartServices[VersionNT] InstallFinalize[] " || ok=1
  # Start on installation (1), stop on installation (2) and on removal (0x20), waiting.
  equals "$(table "$msi" ServiceControl | cut -f2-6 | tr '\t' ' ')" "Calvera 35  1 Service" || ok=1
  # Lower versions and this one are replaced (1 | 0x200, the maximum inclusive); a higher
  # one installed stops the installation.
  equals "$(table "$msi" Upgrade | awk -F'\t' '{ print $7, "min=" $2, "max=" $3, $5 }' | sort)" \
"WIX_DOWNGRADE_DETECTED min=$version max= 2
WIX_UPGRADE_DETECTED min= max=$version 513" || ok=1
  equals "$(table "$msi" LaunchCondition | cut -f1)" "NOT WIX_DOWNGRADE_DETECTED" || ok=1
  return $ok
}
check "the x64 MSI's tables" tables_as_expected "$packages/Calvera-$version-x64.msi" \
  ProgramFiles64Folder "x64;1033" 256
check "the x86 MSI's tables" tables_as_expected "$packages/Calvera-$version-x86.msi" \
  ProgramFilesFolder "Intel;1033" 0

# zip_holds_the_portable_files ARCH PRESET: the files, and the executables those of the
# architecture's release build (the real companion, not a stand-in).
zip_holds_the_portable_files() {
  local name="Calvera-$version-$1" zip="$packages/Calvera-$version-$1.zip" ok=0 file
  equals "$(unzip -Z1 "$zip" | grep -v '/$' | sort | tr '\n' ' ')" \
"$name/Calvera.exe $name/CalveraDefrag.exe $name/PolicyDefinitions/Calvera.admx $name/PolicyDefinitions/en-US/Calvera.adml $name/PolicyDefinitions/fr-FR/Calvera.adml $name/PolicyDefinitions/ko-KR/Calvera.adml $name/PolicyDefinitions/pt-BR/Calvera.adml $name/PolicyDefinitions/ru-RU/Calvera.adml $name/README.md $name/calvera.reg " || ok=1
  for file in Calvera.exe CalveraDefrag.exe; do
    unzip -p "$zip" "$name/$file" | cmp -s - "build/$2/bin/$file" ||
      { echo "    $name/$file is not build/$2/bin/$file" >&2; ok=1; }
  done
  return $ok
}
check "the x64 zip holds the portable files" zip_holds_the_portable_files x64 win64-release
check "the x86 zip holds the portable files" zip_holds_the_portable_files x86 win32-release

finish_suite
