#include "e2e/support/installer_packages.h"

#include <msi.h>

#include "e2e/support/e2e_environment.h"
#include "e2e/support/text.h"

namespace calvera::e2e {
namespace {

// The upgrade code of every Calvera package, x64 and x86 (packaging/msi/Calvera.wxs).
constexpr wchar_t kUpgradeCode[] = L"{0FAD8CDE-3714-4EC8-90F6-8FD6F4FA798D}";
constexpr char kLowerVersion[] = "1.0.0";
constexpr char kHigherVersion[] = "1.1.0";
constexpr Milliseconds kMsiexecTimeout(180000);

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::optional<TestPackages> FindTestPackages(std::string* why) {
  std::optional<std::wstring> folder = EnvironmentVariable(L"CALVERA_E2E_PACKAGES");
  if (!folder) {
    *why =
        "CALVERA_E2E_PACKAGES is not set: no packages were built "
        "(tests/packaging/test_packages.sh builds them, test.sh runs it)";
    return std::nullopt;
  }
  if (folder->back() != L'\\')
    folder->push_back(L'\\');
  const auto package = [&](const char* subfolder, const char* version) {
    return *folder + Utf16(subfolder) + L"\\Calvera-" + Utf16(version) + L"-x64.msi";
  };
  TestPackages packages{package(kLowerVersion, kLowerVersion),
                        package(kHigherVersion, kHigherVersion),
                        package("rebuilt", kHigherVersion),
                        package("broken", kLowerVersion),
                        kLowerVersion,
                        kHigherVersion};
  for (const std::wstring* path :
       {&packages.lower, &packages.higher, &packages.rebuilt, &packages.broken}) {
    if (!IsFile(*path)) {
      *why = "no package " + Utf8(*path) + " (tests/packaging/test_packages.sh builds it)";
      return std::nullopt;
    }
  }
  return packages;
}

std::vector<InstalledProduct> InstalledProducts() {
  std::vector<InstalledProduct> products;
  wchar_t code[39];
  for (DWORD index = 0; MsiEnumRelatedProductsW(kUpgradeCode, 0, index, code) == ERROR_SUCCESS;
       ++index) {
    wchar_t version[64] = L"";
    DWORD length = 64;
    if (MsiGetProductInfoW(code, INSTALLPROPERTY_VERSIONSTRING, version, &length) !=
        ERROR_SUCCESS) {
      version[0] = L'\0';
    }
    products.push_back({code, Utf8(version)});
  }
  return products;
}

ChildResult RunMsiexec(const std::wstring& arguments) {
  wchar_t system[MAX_PATH] = L"";
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring folder =
      length == 0 || length >= MAX_PATH ? L"C:\\windows\\system32" : std::wstring(system, length);
  return RunToEnd(folder + L"\\msiexec.exe", arguments + L" /qn", Deadline::After(kMsiexecTimeout));
}

std::wstring InstallFolder() {
  return ProgramFilesFolder() + L"Calvera\\";
}

}  // namespace calvera::e2e
