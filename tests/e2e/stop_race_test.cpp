// A stop and a pause or continue sent at the same moment from two controllers, as two tools or
// administrators might: the service's process ends, and whenever both controls reached the
// service, it reports STOPPED and is never seen running or paused again after STOP_PENDING.
// Wine's manager hands controls to a service one at a time and refuses any control after a
// stop it has passed on (ending the process when that stop has not been answered yet), so in
// most rounds one of the two never reaches the service: the rounds are many for that reason,
// and the tally of what the manager said is printed. When Wine's manager ends the process for
// a control that came after the stop, it forgets the process but keeps the state it had
// (programs/services/rpc.c sets the entry's process to NULL before process_terminate looks
// for the entries of that process), so an entry without a process counts as stopped there.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>

#include "e2e/support/deadline.h"
#include "e2e/support/event_log_channel.h"
#include "e2e/support/installed_service.h"
#include "e2e/support/processes.h"
#include "e2e/support/service_controller.h"
#include "e2e/support/text.h"

namespace calvera::e2e {
namespace {

constexpr int kRoundsPerControl = 50;
constexpr Milliseconds kStopTimeout(5000);

bool RunningOrPaused(DWORD state) {
  return state == SERVICE_RUNNING || state == SERVICE_PAUSED || state == SERVICE_PAUSE_PENDING ||
         state == SERVICE_CONTINUE_PENDING;
}

class StopRace : public testing::Test {
 protected:
  void SetUp() override {
    // Freeing is switched off: only the protocol is under test.
    ASSERT_EQ(service_.Settings().WriteDword(L"LoadCalvera", 0), ERROR_SUCCESS);
    ASSERT_EQ(service_.Settings().WriteDword(L"DefragMemory", 0), ERROR_SUCCESS);
    ASSERT_TRUE(service_.Install());
  }
  void TearDown() override {
    const auto errors = EventLogChannel::Session().ErrorsSince(errorsMark_);
    EXPECT_TRUE(errors.empty()) << "event-log errors:" << Describe(errors);
  }

  // One round: the service running, then the stop and `second` let go at the same moment from
  // two threads, each with a controller of its own. Returns what the manager said to each.
  std::string Round(DWORD second) {
    ServiceController stopper = service_.Controller();
    EXPECT_EQ(stopper.ProcessId(), 0u) << "before the start";
    EXPECT_TRUE(service_.Start());
    const DWORD process = stopper.ProcessId();

    ServiceController other = service_.Controller();
    ControlResult secondResult;
    // Spun on rather than waited for, so that both threads go within the same moment.
    std::atomic<bool> ready{false};
    std::atomic<bool> go{false};
    std::thread sender([&] {
      ready = true;
      while (!go) {
      }
      secondResult = other.Send(second);
    });
    while (!ready) {
    }
    go = true;
    const ControlResult stop = stopper.Send(SERVICE_CONTROL_STOP);
    sender.join();

    EXPECT_TRUE(WaitForProcessEnd(process, Deadline::After(kStopTimeout)))
        << "the service process still runs";
    EXPECT_TRUE(WaitUntil([&] { return stopper.ProcessId() == 0; }, Deadline::After(kStopTimeout)))
        << "the manager still holds the ended process";
    const DWORD left = stopper.State();
    if (stop.accepted && secondResult.accepted) {
      const StateTrace stopped =
          stopper.WaitForState(SERVICE_STOPPED, Deadline::After(kStopTimeout));
      EXPECT_TRUE(stopped.reached) << stopped.Describe();
      bool stopping = false;
      for (const DWORD state : stopped.seen) {
        stopping = stopping || state == SERVICE_STOP_PENDING;
        EXPECT_FALSE(stopping && RunningOrPaused(state)) << stopped.Describe();
      }
    }
    const auto said = [](const ControlResult& result) {
      return result.accepted ? std::string("accepted") : "refused " + std::to_string(result.error);
    };
    std::string outcome = "stop " + said(stop) + ", other " + said(secondResult);
    if (left != SERVICE_STOPPED)
      outcome += ", the manager ended the process and left " + StateName(left);
    return outcome;
  }

  const std::uint64_t errorsMark_ = EventLogChannel::Session().Mark();
  ScopedInstalledService service_{L"Calvera Stop Race"};
};

TEST_F(StopRace, AStopWithAPauseOrContinueAtTheSameMomentEndsTheService) {
  for (const DWORD second : {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE}) {
    std::map<std::string, int> outcomes;
    for (int round = 1; round <= kRoundsPerControl && !HasFailure(); ++round) {
      SCOPED_TRACE(testing::Message() << "control " << second << ", round " << round);
      ++outcomes[Round(second)];
    }
    std::printf("    control %lu with a stop:\n", second);
    for (const auto& [outcome, n] : outcomes)
      std::printf("      %s: %d\n", outcome.c_str(), n);
  }
}

}  // namespace
}  // namespace calvera::e2e
