// The fake manager's own rules, which the service tests and the installation rely on.
#include "fake/fake_service_control_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "platform/scoped_handle.h"
#include "service_reports.h"

namespace calvera::fake {
namespace {

using namespace service::reports;
using Call = FakeServiceControlManager::Call;

std::atomic<FakeServiceControlManager*> manager{nullptr};
std::atomic<std::uint32_t> lastControl{0};

void CALVERA_WINAPI RecordControl(std::uint32_t code) {
  lastControl = code;
}

// Reports what it is told through the controls: 2 pauses it, 3 resumes, 1 stops it.
void CALVERA_WINAPI MiniServiceMain(std::uint32_t, char16_t** argv) {
  FakeServiceControlManager& services = *manager.load();
  platform::ServiceStatusHandle handle{};
  EXPECT_EQ(services.RegisterControlHandler(argv[0], &RecordControl, &handle), 0u);
  auto report = [&](std::uint32_t state, std::uint32_t accepted) {
    platform::ServiceStatus status;
    status.currentState = state;
    status.controlsAccepted = accepted;
    EXPECT_EQ(services.SetStatus(handle, status), 0u);
  };
  report(kServiceRunning, platform::kServiceAcceptStop);
  const auto deadline = std::chrono::steady_clock::now() + kTimeout;
  while (lastControl != kServiceControlStop && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  report(kServiceStopped, 0);
}

TEST(FakeServiceControlManagerTest, DispatcherConnectsOnlyWhenStartedByTheManager) {
  FakeServiceControlManager services;
  manager = &services;
  lastControl = 0;
  const platform::ServiceTableEntry table[] = {{u"Mini", &MiniServiceMain}, {}};
  EXPECT_EQ(services.RunDispatcher(table), platform::kErrorFailedServiceControllerConnect);

  services.SetStartedByManager(true);
  services.RequestStart(u"mini");
  auto dispatcher = std::async(std::launch::async, [&] { return services.RunDispatcher(table); });
  ASSERT_TRUE(WaitForReportCount(services, 1));
  // Refused as the manager refuses: pause is not accepted, an unknown service is not running.
  EXPECT_EQ(services.SendControl(u"Mini", kServiceControlPause),
            platform::kErrorInvalidServiceControl);
  EXPECT_EQ(services.SendControl(u"Other", kServiceControlStop), platform::kErrorServiceNotActive);
  EXPECT_EQ(lastControl, 0u);
  EXPECT_EQ(services.SendControl(u"MINI", kServiceControlStop), 0u);
  ASSERT_EQ(dispatcher.wait_for(kTimeout), std::future_status::ready);
  EXPECT_EQ(dispatcher.get(), 0u);
  EXPECT_EQ(services.SendControl(u"Mini", kServiceControlInterrogate),
            platform::kErrorServiceNotActive);
  EXPECT_EQ(services.SetStatus(platform::ServiceStatusHandle{0x1234}, {}),
            platform::kErrorInvalidHandle);
  manager = nullptr;
}

TEST(FakeServiceControlManagerTest, EntriesKeepWindowsRulesForCreatingOpeningAndDeleting) {
  using platform::ScopedServiceHandle;
  FakeServiceControlManager services;
  ScopedServiceHandle scm(services);
  ASSERT_EQ(services.OpenManager(platform::kScManagerAllAccess, scm.put()), 0u);
  platform::ServiceDefinition definition;
  definition.serviceName = u"Calvera";
  definition.displayName = u"Calvera Memory Service";
  definition.binaryPathName = u"\"C:\\Program Files\\Calvera\\Calvera.exe\"";
  definition.dependencies = u"RpcSs\0+Group\0";
  ScopedServiceHandle created(services);
  ASSERT_EQ(services.CreateServiceEntry(scm.get(), definition, created.put()), 0u);
  EXPECT_EQ(services.FindEntry(u"calvera")->dependencies,
            (std::vector<std::u16string>{u"RpcSs", u"+Group"}));
  EXPECT_FALSE(services.FindEntry(u"calvera")->serviceStartName);
  platform::ServiceHandle refused{0x1234};
  EXPECT_EQ(services.CreateServiceEntry(scm.get(), definition, &refused),
            platform::kErrorServiceExists);
  EXPECT_EQ(refused, platform::ServiceHandle{});

  ScopedServiceHandle opened(services);
  ASSERT_EQ(
      services.OpenServiceEntry(scm.get(), u"CALVERA", platform::kServiceAllAccess, opened.put()),
      0u);
  EXPECT_EQ(services.DeleteServiceEntry(opened.get()), 0u);
  EXPECT_EQ(services.DeleteServiceEntry(created.get()), platform::kErrorServiceMarkedForDelete);
  EXPECT_EQ(services.CreateServiceEntry(scm.get(), definition, &refused),
            platform::kErrorServiceMarkedForDelete);
  opened.reset();
  EXPECT_TRUE(services.FindEntry(u"Calvera"));  // a handle is still open
  created.reset();
  EXPECT_FALSE(services.FindEntry(u"Calvera"));
  EXPECT_EQ(
      services.OpenServiceEntry(scm.get(), u"Calvera", platform::kServiceAllAccess, opened.put()),
      platform::kErrorServiceDoesNotExist);
  EXPECT_FALSE(opened);
  scm.reset();
  EXPECT_EQ(services.OpenHandleCount(), 0u);

  services.FailCall(Call::kOpenManager, platform::kErrorAccessDenied, 1);
  EXPECT_EQ(services.OpenManager(platform::kScManagerAllAccess, scm.put()),
            platform::kErrorAccessDenied);
  EXPECT_FALSE(scm);
  EXPECT_EQ(services.OpenManager(platform::kScManagerAllAccess, scm.put()), 0u);
  EXPECT_TRUE(scm);
}

}  // namespace
}  // namespace calvera::fake
