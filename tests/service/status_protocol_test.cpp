#include "service/status_protocol.h"

#include <gtest/gtest.h>

#include "fake/fake_platform.h"
#include "service/service.h"

namespace calvera::service {
namespace {

using S = TCurrentStatus;
constexpr TServiceType kWin32 = TServiceType::stWin32;
constexpr TServiceType kDevice = TServiceType::stDevice;
constexpr TServiceType kFileSystem = TServiceType::stFileSystem;

class BareService : public TService {
 public:
  explicit BareService(platform::Platform& platform) : TService(platform, u"Calvera") {}
  platform::ServiceControlHandlerFunction GetServiceController() override { return nullptr; }
};

TEST(StatusReportTest, FieldsFollowTheServiceProperties) {
  struct Case {
    TServiceType type;
    bool interactive;
    bool allowStop;
    bool allowPause;
    S status;
    std::uint32_t win32ErrCode;
    std::uint32_t errCode;
    platform::ServiceStatus expected;  // check point 9 passed through
  } cases[] = {
      {kWin32, false, true, true, S::csRunning, 0, 0, {0x10, 4, 7, 0, 0, 9, 5000}},
      {kWin32, false, true, true, S::csStartPending, 0, 0, {0x10, 2, 0, 0, 0, 9, 5000}},
      {kWin32, true, true, true, S::csPaused, 0, 0, {0x110, 7, 7, 0, 0, 9, 5000}},
      {kDevice, true, true, true, S::csStopped, 0, 0, {0x1, 1, 7, 0, 0, 9, 5000}},
      {kFileSystem, false, true, true, S::csStopPending, 0, 0, {0x2, 3, 7, 0, 0, 9, 5000}},
      {kWin32, false, false, true, S::csContinuePending, 0, 0, {0x10, 5, 6, 0, 0, 9, 5000}},
      {kWin32, false, true, false, S::csPausePending, 0, 0, {0x10, 6, 5, 0, 0, 9, 5000}},
      {kWin32, false, false, false, S::csRunning, 5, 0, {0x10, 4, 4, 5, 0, 9, 5000}},
      {kWin32, false, true, true, S::csStopped, 5, 42, {0x10, 1, 7, 1066, 42, 9, 5000}},
  };
  for (const auto& c : cases) {
    fake::FakePlatform fake;
    BareService service(fake.platform);
    service.SetServiceType(c.type);
    service.SetInteractive(c.interactive);
    service.SetAllowStop(c.allowStop);
    service.SetAllowPause(c.allowPause);
    service.SetWin32ErrCode(c.win32ErrCode);
    service.SetErrCode(c.errCode);
    service.SetStatus(c.status);
    EXPECT_EQ(MakeStatusReport(service, 9), c.expected) << static_cast<int>(c.status);
  }
}

TEST(StatusReportTest, CheckPointCountsRepeatsOfAPendingState) {
  const struct {
    S status;
    std::uint32_t checkPoint;
  } sequence[] = {
      // The first start counts as a repeat: the count begins as if it had been reported.
      {S::csStartPending, 1}, {S::csStartPending, 2}, {S::csRunning, 0},
      {S::csRunning, 0},      {S::csStopPending, 0},  {S::csStopPending, 1},
      {S::csStopPending, 2},  {S::csPausePending, 0}, {S::csContinuePending, 0},
      {S::csPaused, 0},       {S::csStopped, 0},      {S::csStartPending, 0},
  };
  StatusCheckPoint checkPoint;
  int step = 0;
  for (const auto& s : sequence) {
    EXPECT_EQ(checkPoint.Advance(s.status), s.checkPoint) << "step " << step++;
  }
}

TEST(StatusReportTest, DefaultsAndTheHandlersThatAllowControls) {
  fake::FakePlatform fake;
  BareService service(fake.platform);
  EXPECT_EQ(service.Name(), u"Calvera");
  EXPECT_TRUE(service.AllowStop());
  EXPECT_TRUE(service.AllowPause());
  EXPECT_FALSE(service.Interactive());
  EXPECT_EQ(service.ServiceType(), TServiceType::stWin32);
  EXPECT_EQ(service.StartType(), TStartType::stAuto);
  EXPECT_EQ(service.ErrorSeverity(), TErrorSeverity::esNormal);
  EXPECT_EQ(service.TagID(), 0u);
  EXPECT_EQ(service.WaitHint(), 5000u);
  EXPECT_EQ(service.Status(), S::csStopped);
  EXPECT_EQ(service.StatusHandle(), platform::ServiceStatusHandle{});
  EXPECT_EQ(service.ServiceThread(), nullptr);
  EXPECT_FALSE(service.Terminated());
  EXPECT_TRUE(service.LoadGroup().empty());
  EXPECT_TRUE(service.Dependencies().empty());
  EXPECT_TRUE(service.ServiceStartName().empty());
  EXPECT_TRUE(service.Password().empty());

  service.SetAllowStop(false);
  service.SetAllowPause(false);
  service.SetOnStop([](TService&, bool&) {});
  EXPECT_TRUE(service.AllowStop());
  EXPECT_FALSE(service.AllowPause());
  service.SetOnContinue([](TService&, bool&) {});
  EXPECT_TRUE(service.AllowPause());
  service.SetAllowPause(false);
  service.SetOnPause([](TService&, bool&) {});
  EXPECT_TRUE(service.AllowPause());
}

}  // namespace
}  // namespace calvera::service
