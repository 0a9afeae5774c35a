// The fake manager's own rules, which the service tests and the installation rely on.
#include "fake/fake_service_control_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

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
  const auto handle = services.RegisterControlHandler(argv[0], &RecordControl, nullptr);
  auto report = [&](std::uint32_t state, std::uint32_t accepted) {
    platform::ServiceStatus status;
    status.currentState = state;
    status.controlsAccepted = accepted;
    EXPECT_EQ(services.SetStatus(handle, status), 0u);
  };
  report(kRunning, 1);
  const auto deadline = std::chrono::steady_clock::now() + kTimeout;
  while (lastControl != kStop && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  report(kStopped, 0);
}

TEST(FakeServiceControlManagerTest, DispatcherConnectsOnlyWhenStartedByTheManager) {
  FakeServiceControlManager services;
  manager = &services;
  lastControl = 0;
  const platform::ServiceTableEntry table[] = {{u"Mini", &MiniServiceMain}, {}};
  EXPECT_EQ(services.RunDispatcher(table), platform::kErrorFailedServiceControllerConnect);

  services.SetStartedByManager(true);
  services.StartService(u"mini");
  auto dispatcher = std::async(std::launch::async, [&] { return services.RunDispatcher(table); });
  ASSERT_TRUE(WaitForReportCount(services, 1));
  // Refused as the manager refuses: pause is not accepted, an unknown service is not running.
  EXPECT_EQ(services.SendControl(u"Mini", kPause), 1052u);
  EXPECT_EQ(services.SendControl(u"Other", kStop), 1062u);
  EXPECT_EQ(lastControl, 0u);
  EXPECT_EQ(services.SendControl(u"MINI", kStop), 0u);
  ASSERT_EQ(dispatcher.wait_for(kTimeout), std::future_status::ready);
  EXPECT_EQ(dispatcher.get(), 0u);
  EXPECT_EQ(services.SendControl(u"Mini", kInterrogate), 1062u);
  EXPECT_EQ(services.SetStatus(platform::ServiceStatusHandle{0x1234}, {}), platform::kErrorInvalidHandle);
  manager = nullptr;
}

TEST(FakeServiceControlManagerTest, EntriesKeepWindowsRulesForCreatingOpeningAndDeleting) {
  FakeServiceControlManager services;
  platform::ErrorCode error = 0;
  const auto scm = services.OpenManager(0xF003F, &error);
  ASSERT_NE(scm, platform::ServiceHandle{});
  platform::ServiceDefinition definition;
  definition.serviceName = u"Calvera";
  definition.displayName = u"Calvera Memory Service";
  definition.binaryPathName = u"\"C:\\Program Files\\Calvera\\Calvera.exe\"";
  definition.dependencies = u"RpcSs\0+Group\0";
  const auto created = services.CreateService(scm, definition, &error);
  ASSERT_NE(created, platform::ServiceHandle{});
  EXPECT_EQ(services.FindEntry(u"calvera")->dependencies,
            (std::vector<std::u16string>{u"RpcSs", u"+Group"}));
  EXPECT_FALSE(services.FindEntry(u"calvera")->serviceStartName);
  EXPECT_EQ(services.CreateService(scm, definition, &error), platform::ServiceHandle{});
  EXPECT_EQ(error, platform::kErrorServiceExists);

  const auto opened = services.OpenService(scm, u"CALVERA", 0xF01FF, &error);
  ASSERT_NE(opened, platform::ServiceHandle{});
  EXPECT_EQ(services.DeleteService(opened), 0u);
  EXPECT_EQ(services.DeleteService(created), platform::kErrorServiceMarkedForDelete);
  EXPECT_EQ(services.CreateService(scm, definition, &error), platform::ServiceHandle{});
  EXPECT_EQ(error, platform::kErrorServiceMarkedForDelete);
  services.CloseServiceHandle(opened);
  EXPECT_TRUE(services.FindEntry(u"Calvera"));  // a handle is still open
  services.CloseServiceHandle(created);
  EXPECT_FALSE(services.FindEntry(u"Calvera"));
  EXPECT_EQ(services.OpenService(scm, u"Calvera", 0xF01FF, &error), platform::ServiceHandle{});
  EXPECT_EQ(error, platform::kErrorServiceDoesNotExist);
  services.CloseServiceHandle(scm);
  EXPECT_EQ(services.OpenHandleCount(), 0u);

  services.FailCall(Call::kOpenManager, platform::kErrorAccessDenied, 1);
  EXPECT_EQ(services.OpenManager(0xF003F, &error), platform::ServiceHandle{});
  EXPECT_EQ(error, platform::kErrorAccessDenied);
  const auto again = services.OpenManager(0xF003F, &error);
  EXPECT_NE(again, platform::ServiceHandle{});
  services.CloseServiceHandle(again);
}

}  // namespace
}  // namespace calvera::fake
