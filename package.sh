#!/usr/bin/env bash
# Builds the release executables and writes the packages into build/package/:
#   Calvera-<version>-x64.msi  Calvera-<version>-x64.zip
#   Calvera-<version>-x86.msi  Calvera-<version>-x86.zip
# The MSIs install the service (packaging/msi/Calvera.wxs); each zip is the portable form of
# the same files, with the README, an example .reg file and the Group Policy templates.
#
# Usage: ./package.sh [--version X.Y.Z] [--output DIR] [--arch x64|x86]
#   --version  overrides the project's version (the tests build two versions to upgrade); the
#              executables' version resources take it too, and only they are built again
#   --output   another folder than build/package
#   --arch     one architecture's packages only
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
cd "$CALVERA_ROOT"

# The release build of each architecture.
declare -A presets=([x64]=win64-release [x86]=win32-release)

version=""
output="$CALVERA_ROOT/build/package"
architectures=(x64 x86)
usage() { echo "usage: $0 [--version X.Y.Z] [--output DIR] [--arch x64|x86]" >&2; exit 2; }
while (($#)); do
  case "$1" in
    --version) version="$2"; shift 2 ;;
    --output) output="$2"; shift 2 ;;
    --arch)
      [[ "${2:-}" == x64 || "${2:-}" == x86 ]] || usage
      architectures=("$2")
      shift 2
      ;;
    *) usage ;;
  esac
done

# The project's version: project(Calvera VERSION ...) in CMakeLists.txt.
project_version() {
  sed -n 's/^project(Calvera[^)]*VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt | head -1
}
if [[ -z "$version" ]]; then
  version=$(project_version)
  if [[ -z "$version" ]]; then
    version=1.0.0
    log "CMakeLists.txt names no project version; packaging as $version"
  fi
fi
# Windows Installer compares the first three fields, each at most 255.65535.65535.
[[ "$version" =~ ^[0-9]{1,3}\.[0-9]{1,5}\.[0-9]{1,5}$ ]] || {
  echo "version '$version' is not MAJOR.MINOR.PATCH" >&2
  exit 2
}

ensure_packages wixl msitools zip libxml2-utils python3
packaging/policy/check_templates.py >/dev/null

# package ARCH PRESET: the MSI and the zip of one architecture.
package() {
  # wixl finds no file by an absolute path: the sources are named from the repository root.
  local arch="$1" preset="$2" bin="build/$2/bin"
  # The version goes into the executables' version resources: configure the preset with it
  # (once configured, a new version rebuilds only the resources and the links).
  if [[ -f "build/$preset/CMakeCache.txt" ]]; then
    cmake -DCALVERA_VERSION="$version" "build/$preset" >"build/$preset.configure.log" 2>&1
  else
    mkdir -p build
    cmake --preset "$preset" -DCALVERA_VERSION="$version" >"build/$preset.configure.log" 2>&1
  fi || { cat "build/$preset.configure.log" >&2; return 1; }
  build_preset "$preset" Calvera CalveraDefrag
  local service="$bin/Calvera.exe" companion="$bin/CalveraDefrag.exe"
  local name="Calvera-$version-$arch"

  log "writing $name.msi"
  wixl --arch "$arch" -D Version="$version" -D Arch="$arch" -D CalveraExe="$service" \
    -D CompanionExe="$companion" -o "$output/$name.msi" packaging/msi/Calvera.wxs
  # The rollback flag (0x100) that wixl drops: an in-script (0x400), not impersonated
  # (0x800) program from an installed file (18) whose exit code is ignored (0x40).
  msibuild "$output/$name.msi" \
    -q "UPDATE CustomAction SET Type = 3410 WHERE Action = 'RollbackServiceInstall'"
  # A package of the same version also replaces the installed one rather than installing
  # beside it (two products sharing one service): the upgrade row's maximum becomes
  # inclusive (0x200), which wixl cannot express, next to migrating features (1).
  # Attributes is part of the Upgrade table's key, which libmsi cannot update: the row is
  # written anew.
  local upgrade_code
  upgrade_code=$(msiinfo export "$output/$name.msi" Property | tr -d '\r' |
    awk -F'\t' '$1 == "UpgradeCode" { print $2 }')
  msibuild "$output/$name.msi" \
    -q "DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'" \
    -q "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty)
        VALUES ('$upgrade_code', '$version', 513, 'WIX_UPGRADE_DETECTED')"

  log "writing $name.zip"
  local stage="$output/stage/$name"
  rm -rf "$output/stage"
  mkdir -p "$stage/PolicyDefinitions"
  cp "$service" "$companion" README.md packaging/calvera.reg "$stage/"
  cp -r packaging/policy/Calvera.admx packaging/policy/??-?? "$stage/PolicyDefinitions/"
  rm -f "$output/$name.zip"
  (cd "$output/stage" && zip -q -r -X "$output/$name.zip" "$name")
  rm -rf "$output/stage"
}

mkdir -p "$output"
output=$(cd "$output" && pwd)
for arch in "${architectures[@]}"; do
  package "$arch" "${presets[$arch]}"
done
log "packages of Calvera $version in $output"
ls -l "$output"/Calvera-"$version"-*
