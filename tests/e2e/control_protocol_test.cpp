// The control protocol as the Service Control Manager sees it: start, pause, continue,
// interrogate, a custom code and stop, each reaching its state within a deadline.
#include <gtest/gtest.h>

#include "e2e/support/event_log_channel.h"
#include "e2e/support/installed_service.h"
#include "e2e/support/processes.h"
#include "e2e/support/text.h"

namespace calvera::e2e {
namespace {

constexpr Milliseconds kControlTimeout(3000);

class ControlProtocol : public testing::Test {
 protected:
  void SetUp() override {
    // Memory may count as low on any tick, but freeing is switched off.
    ASSERT_EQ(service_.Settings().WriteDword(L"LoadCalvera", 0), ERROR_SUCCESS);
    ASSERT_EQ(service_.Settings().WriteDword(L"DefragMemory", 0), ERROR_SUCCESS);
    ASSERT_TRUE(service_.Install());
    ASSERT_TRUE(service_.Start());
  }
  void TearDown() override {
    const auto errors = EventLogChannel::Session().ErrorsSince(errorsMark_);
    EXPECT_TRUE(errors.empty()) << "event-log errors:" << Describe(errors);
  }

  const std::uint64_t errorsMark_ = EventLogChannel::Session().Mark();
  ScopedInstalledService service_{L"Calvera Control Protocol"};
};

TEST_F(ControlProtocol, EachControlReachesItsState) {
  ServiceController controller = service_.Controller();
  const DWORD process = controller.ProcessId();
  const auto pause = controller.Await(SERVICE_CONTROL_PAUSE, SERVICE_PAUSED, kControlTimeout);
  EXPECT_TRUE(pause.reached) << "pause " << pause.Describe();
  const auto resume = controller.Await(SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING, kControlTimeout);
  EXPECT_TRUE(resume.reached) << "continue " << resume.Describe();

  const ControlResult interrogate = controller.Send(SERVICE_CONTROL_INTERROGATE);
  EXPECT_TRUE(interrogate.accepted) << ErrorText(interrogate.error);
  EXPECT_EQ(StateName(interrogate.status.dwCurrentState), "RUNNING");

  const ControlResult custom = controller.Send(128);
  EXPECT_TRUE(custom.accepted) << ErrorText(custom.error);
  EXPECT_EQ(StateName(custom.status.dwCurrentState), "RUNNING");
  EXPECT_EQ(StateName(controller.State()), "RUNNING") << "a custom code changes nothing";

  const auto stop = controller.Await(SERVICE_CONTROL_STOP, SERVICE_STOPPED, kControlTimeout);
  EXPECT_TRUE(stop.reached) << "stop " << stop.Describe();
  EXPECT_TRUE(WaitForProcessEnd(process, Deadline::After(Milliseconds(5000))));
}

TEST_F(ControlProtocol, AStopWhilePausedReachesStopped) {
  ServiceController controller = service_.Controller();
  ASSERT_TRUE(controller.Await(SERVICE_CONTROL_PAUSE, SERVICE_PAUSED, kControlTimeout).reached);
  const auto stop = controller.Await(SERVICE_CONTROL_STOP, SERVICE_STOPPED, kControlTimeout);
  EXPECT_TRUE(stop.reached) << "stop " << stop.Describe();
}

}  // namespace
}  // namespace calvera::e2e
