// Windows Installer as the MSI tests drive it: msiexec run to its end, the Calvera products it
// has installed, and the packages that tests/packaging/test_packages.sh builds, found through
// CALVERA_E2E_PACKAGES (set by run_e2e.sh when they are there). On the test's thread.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "e2e/support/child_process.h"

namespace calvera::e2e {

// The x64 packages of the tests, full paths. `lower` and `higher` are two versions, `rebuilt`
// another build of `higher`'s version, `broken` a package of the lower version whose
// Calvera.exe fails every run.
struct TestPackages {
  std::wstring lower;
  std::wstring higher;
  std::wstring rebuilt;
  std::wstring broken;
  std::string lowerVersion;
  std::string higherVersion;
};

// The packages, or nullopt with the reason in *why (no CALVERA_E2E_PACKAGES, a file missing).
std::optional<TestPackages> FindTestPackages(std::string* why);

// A Calvera product that Windows Installer holds (its upgrade code).
struct InstalledProduct {
  std::wstring productCode;  // "{...}"
  std::string version;       // "1.1.0"
};
std::vector<InstalledProduct> InstalledProducts();

// msiexec.exe with `arguments` and /qn, to its end (3 minutes at most).
ChildResult RunMsiexec(const std::wstring& arguments);

// Where the packages install: C:\Program Files\Calvera\.
std::wstring InstallFolder();

}  // namespace calvera::e2e
