#!/usr/bin/env bash
# Builds the x64 packages that the MSI tests of the end-to-end program install, into
# build/package-tests/ (run_e2e.sh hands that folder to the tests):
#   1.0.0/Calvera-1.0.0-x64.msi    a lower version
#   1.1.0/Calvera-1.1.0-x64.msi    a higher version, to upgrade to
#   rebuilt/Calvera-1.1.0-x64.msi  another build of the higher version
#   broken/Calvera-1.0.0-x64.msi   a package whose Calvera.exe fails every run (the service
#                                  tool, which answers "/install /quiet" with exit code 1)
# package.sh builds the release preset once; each other version rebuilds only the version
# resources and the links.
#   tests/packaging/test_packages.sh
set -euo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
cd "$CALVERA_ROOT"

packages="${CALVERA_TEST_PACKAGES:-$CALVERA_ROOT/build/package-tests}"
rm -rf "$packages"
mkdir -p "$packages"
# package FOLDER VERSION
package() {
  ./package.sh --arch x64 --version "$2" --output "$packages/$1" >"$packages/$1.log" 2>&1 ||
    { cat "$packages/$1.log" >&2; return 1; }
}
package 1.0.0 1.0.0
package 1.1.0 1.1.0
package rebuilt 1.1.0

build_preset win64-release service_control
mkdir -p "$packages/broken"
# wixl finds no file by an absolute path: the sources are named from the repository root.
wixl --arch x64 -D Version=1.0.0 -D Arch=x64 -D CalveraExe=build/win64-release/bin/calvera_sc.exe \
  -D CompanionExe=build/win64-release/bin/CalveraDefrag.exe \
  -o "$packages/broken/Calvera-1.0.0-x64.msi" packaging/msi/Calvera.wxs
log "test packages in $packages"
