// The x64 package under Wine's msiexec and Service Control Manager, as an administrator
// deploys it: a silent installation leaves the service running with the captions of the
// Language setting and its event sources registered; removal leaves only the settings; an
// upgrade replaces the product and keeps one service; a downgrade is refused; a failing
// /install fails the installation. The packages come from tests/packaging/test_packages.sh;
// without them every case is skipped. (The x86 package cannot run on these machines: its
// tables are checked by tests/packaging/package_tables.sh.)
#include <gtest/gtest.h>

#include "e2e/support/e2e_environment.h"
#include "e2e/support/event_source_keys.h"
#include "e2e/support/installed_service.h"
#include "e2e/support/installer_packages.h"
#include "e2e/support/module_resources.h"
#include "e2e/support/processes.h"
#include "e2e/support/text.h"

namespace calvera::e2e {
namespace {

constexpr Milliseconds kRunningTimeout(30000);
constexpr Milliseconds kRemovalTimeout(20000);
constexpr DWORD kInstallFailure = ERROR_INSTALL_FAILURE;  // 1603

constexpr char kKoreanDisplayName[] = "Calvera 서비스";
constexpr char kKoreanDescription[] =
    "사용된 RAM을 조각모음하고 시스템에 할당시켜 RAM 성능을 유지합니다.";

std::wstring Quoted(const std::wstring& path) {
  return L"\"" + path + L"\"";
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Describe(const std::vector<InstalledProduct>& products) {
  std::string text;
  for (const InstalledProduct& product : products)
    text += " " + Utf8(product.productCode) + " " + product.version;
  return products.empty() ? " none" : text;
}

std::string InstalledVersion(const std::wstring& path) {
  const std::optional<VersionInfo> info = ReadVersionInfo(path);
  return info ? info->fileVersion : "no version resource";
}

class MsiInstallation : public testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    const std::optional<TestPackages> packages = FindTestPackages(&why);
    if (!packages)
      GTEST_SKIP() << why;
    packages_ = *packages;
    ASSERT_TRUE(ResetMachine()) << "before the test";
  }

  void TearDown() override {
    if (!packages_.lower.empty()) {
      EXPECT_TRUE(ResetMachine()) << "after the test";
    }
  }

  // Installs `package`, which must succeed, and waits until the service runs.
  testing::AssertionResult Install(const std::wstring& package) {
    const ChildResult run = RunMsiexec(L"/i " + Quoted(package));
    if (!run.ended || run.exitCode != 0)
      return testing::AssertionFailure()
             << "msiexec /i " << Utf8(package) << ": " << run.Describe();
    return WaitForRunning();
  }

  testing::AssertionResult WaitForRunning() {
    ServiceController controller(kServiceName);
    if (!controller.IsOpen())
      return testing::AssertionFailure() << "no entry: " << ErrorText(controller.OpenError());
    const StateTrace trace =
        controller.WaitForState(SERVICE_RUNNING, Deadline::After(kRunningTimeout));
    if (!trace.reached)
      return testing::AssertionFailure() << "the service does not run: " << trace.Describe();
    return testing::AssertionSuccess();
  }

  DWORD ServiceProcess() { return ServiceController(kServiceName).ProcessId(); }

  ServiceConfig Config() {
    ServiceConfig config;
    DWORD error = ERROR_SUCCESS;
    ServiceController controller(kServiceName);
    EXPECT_TRUE(controller.IsOpen() && controller.QueryConfig(&config, &error))
        << ErrorText(controller.IsOpen() ? error : controller.OpenError());
    return config;
  }

  // Back to a machine without Calvera: every product removed, and whatever a failed test left
  // (an entry, the event sources) deleted.
  testing::AssertionResult ResetMachine() {
    for (const InstalledProduct& product : InstalledProducts()) {
      const ChildResult run = RunMsiexec(L"/x " + product.productCode);
      if (!run.ended || run.exitCode != 0) {
        return testing::AssertionFailure()
               << "msiexec /x " << Utf8(product.productCode) << ": " << run.Describe();
      }
    }
    if (!InstalledProducts().empty())
      return testing::AssertionFailure() << "products left:" << Describe(InstalledProducts());
    DWORD error = ERROR_SUCCESS;
    if (ServiceController::Exists(kServiceName, &error)) {
      // An entry without a product, left by a failed test: a scoped installation finds it
      // at its end, stops it and removes it with Calvera.exe's own /uninstall.
      const ScopedInstalledService leftOver(L"Calvera Left Over");
    }
    if (!EventSourcesAbsent())
      DeleteEventSources();
    return EventSourcesAbsent();
  }

  static void DeleteEventSources() {
    for (const wchar_t* source : {L"Calvera", L"Calvera.exe", L"CalveraDefrag"}) {
      static_cast<void>(RegDeleteTreeW(
          HKEY_LOCAL_MACHINE,
          (std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + source)
              .c_str()));
    }
  }

  TestPackages packages_;
  ScopedSettingsKey settings_;
};

TEST_F(MsiInstallation, SilentInstallLeavesTheServiceRunningWithItsCaptionsAndSources) {
  ASSERT_EQ(settings_.Write(L"Language", REG_SZ, Utf16Data(L"korean" + std::wstring(1, L'\0'))),
            ERROR_SUCCESS);
  ASSERT_TRUE(Install(packages_.lower));

  const ServiceConfig config = Config();
  // Program Files has a blank: the path is quoted.
  EXPECT_EQ(Utf8(config.binaryPath), Utf8(Quoted(InstallFolder() + L"Calvera.exe")));
  EXPECT_EQ(config.startType, DWORD{SERVICE_AUTO_START});
  EXPECT_EQ(Utf8(config.displayName), kKoreanDisplayName);
  EXPECT_EQ(Utf8(config.registryDescription), kKoreanDescription);
  for (const wchar_t* file : {L"Calvera.exe", L"CalveraDefrag.exe"}) {
    EXPECT_EQ(InstalledVersion(InstallFolder() + file), packages_.lowerVersion + ".0")
        << Utf8(file);
  }
  EXPECT_TRUE(EventSourcesRegistered(InstallFolder()));
  const std::vector<InstalledProduct> products = InstalledProducts();
  ASSERT_EQ(products.size(), 1u) << Describe(products);
  EXPECT_EQ(products[0].version, packages_.lowerVersion);
}

TEST_F(MsiInstallation, RemovalLeavesOnlyTheSettings) {
  ASSERT_EQ(settings_.WriteDword(L"MemoryFree", 25), ERROR_SUCCESS);
  ASSERT_TRUE(Install(packages_.lower));
  const DWORD process = ServiceProcess();
  const std::vector<InstalledProduct> products = InstalledProducts();
  ASSERT_EQ(products.size(), 1u) << Describe(products);

  const ChildResult removal = RunMsiexec(L"/x " + products[0].productCode);
  EXPECT_TRUE(removal.ended && removal.exitCode == 0) << removal.Describe();
  DWORD error = ERROR_SUCCESS;
  EXPECT_TRUE(WaitUntil([&] { return !ServiceController::Exists(kServiceName, &error) && !error; },
                        Deadline::After(kRemovalTimeout)))
      << "the entry is still there";
  EXPECT_TRUE(WaitForProcessEnd(process, Deadline::After(kRemovalTimeout)));
  EXPECT_FALSE(Exists(InstallFolder())) << Utf8(InstallFolder()) << " is still there";
  EXPECT_TRUE(EventSourcesAbsent());
  EXPECT_TRUE(InstalledProducts().empty()) << Describe(InstalledProducts());
  EXPECT_EQ(settings_.Read(L"MemoryFree"), (RegistryValue{REG_DWORD, DwordData(25)}));
}

TEST_F(MsiInstallation, AnUpgradeReplacesTheProductAndKeepsOneRunningService) {
  ASSERT_EQ(settings_.WriteDword(L"MemoryFree", 25), ERROR_SUCCESS);
  ASSERT_TRUE(Install(packages_.lower));
  const DWORD before = ServiceProcess();

  ASSERT_TRUE(Install(packages_.higher));
  std::vector<InstalledProduct> products = InstalledProducts();
  ASSERT_EQ(products.size(), 1u) << Describe(products);
  EXPECT_EQ(products[0].version, packages_.higherVersion);
  EXPECT_EQ(Utf8(Config().binaryPath), Utf8(Quoted(InstallFolder() + L"Calvera.exe")));
  EXPECT_EQ(InstalledVersion(InstallFolder() + L"Calvera.exe"), packages_.higherVersion + ".0");
  // The old product's removal stopped the old service; the new one runs in a new process.
  const DWORD after = ServiceProcess();
  EXPECT_TRUE(after != 0 && after != before) << "before " << before << ", after " << after;
  EXPECT_TRUE(EventSourcesRegistered(InstallFolder()));
  EXPECT_EQ(settings_.Read(L"MemoryFree"), (RegistryValue{REG_DWORD, DwordData(25)}));

  // Another build of the same version replaces it as well, rather than installing beside it.
  const std::wstring upgraded = products[0].productCode;
  ASSERT_TRUE(Install(packages_.rebuilt));
  products = InstalledProducts();
  ASSERT_EQ(products.size(), 1u) << Describe(products);
  EXPECT_NE(Utf8(products[0].productCode), Utf8(upgraded));
}

TEST_F(MsiInstallation, ALowerVersionIsRefusedAndTheInstalledOneKeepsRunning) {
  ASSERT_TRUE(Install(packages_.higher));
  const DWORD process = ServiceProcess();
  const ChildResult downgrade = RunMsiexec(L"/i " + Quoted(packages_.lower));
  EXPECT_TRUE(downgrade.ended && downgrade.exitCode == kInstallFailure) << downgrade.Describe();
  const std::vector<InstalledProduct> products = InstalledProducts();
  ASSERT_EQ(products.size(), 1u) << Describe(products);
  EXPECT_EQ(products[0].version, packages_.higherVersion);
  EXPECT_EQ(ServiceController(kServiceName).State(), DWORD{SERVICE_RUNNING});
  EXPECT_EQ(ServiceProcess(), process);
}

// A service installed by hand, as the README describes, is replaced by the package's.
TEST_F(MsiInstallation, TakesOverAServiceInstalledByHand) {
  ScopedInstalledService hand(L"Calvera Hand", RealCompanion());
  ASSERT_TRUE(hand.Install());
  ASSERT_TRUE(hand.Start());
  ASSERT_TRUE(Install(packages_.lower));
  EXPECT_EQ(Utf8(Config().binaryPath), Utf8(Quoted(InstallFolder() + L"Calvera.exe")));
  EXPECT_TRUE(EventSourcesRegistered(InstallFolder()));
}

// The broken package's Calvera.exe answers /install with a failure.
TEST_F(MsiInstallation, AFailingInstallFailsTheInstallationAndLeavesNoProduct) {
  const ChildResult run = RunMsiexec(L"/i " + Quoted(packages_.broken));
  // Windows answers 1603; Wine's msiexec answers 1627 (function failed) for a failed action.
  EXPECT_TRUE(run.ended &&
              (run.exitCode == kInstallFailure || run.exitCode == DWORD{ERROR_FUNCTION_FAILED}))
      << run.Describe();
  EXPECT_TRUE(InstalledProducts().empty()) << Describe(InstalledProducts());
  EXPECT_FALSE(Exists(InstallFolder())) << Utf8(InstallFolder()) << " is still there";
  DWORD error = ERROR_SUCCESS;
  EXPECT_FALSE(ServiceController::Exists(kServiceName, &error));
}

// The example .reg file of the portable packages writes the values where the service reads
// them.
TEST(PortablePackage, TheExampleRegFileWritesTheSettingsTheServiceReads) {
  const std::optional<std::wstring> file = EnvironmentVariable(L"CALVERA_E2E_EXAMPLE_REG");
  if (!file)
    GTEST_SKIP() << "CALVERA_E2E_EXAMPLE_REG, the path of packaging/calvera.reg, is not set";
  ScopedSettingsKey settings;
  wchar_t windows[MAX_PATH] = L"";
  const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH);
  const ChildResult run = RunToEnd(std::wstring(windows, length) + L"\\regedit.exe",
                                   L"/s " + Quoted(*file), Deadline::After(Milliseconds(30000)));
  ASSERT_TRUE(run.ended && run.exitCode == 0) << run.Describe();
  const SettingsKey::Contents expected = {
      {L"MemoryMaintain", {REG_DWORD, DwordData(40)}},
      {L"MemoryFree", {REG_DWORD, DwordData(25)}},
      {L"ExecutePeriod", {REG_DWORD, DwordData(10)}},
      {L"BatteryCheck", {REG_DWORD, DwordData(1)}},
  };
  EXPECT_EQ(settings.Snapshot(), expected);
}

}  // namespace
}  // namespace calvera::e2e
