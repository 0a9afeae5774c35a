// Bursts of random pause, continue, interrogate and custom controls sent as fast as the
// manager takes them. Every status the manager hands back must be a state the service can be
// in; after a burst the timer must follow the last pause or continue; a stop right after a
// burst must reach STOPPED within a second and end the process; nothing may be logged. The
// seed is printed; set CALVERA_STORM_SEED to repeat a run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>
#include <set>

#include "e2e/support/event_log_channel.h"
#include "e2e/support/installed_service.h"
#include "e2e/support/processes.h"
#include "e2e/support/text.h"
#include "e2e/support/tick_witness.h"

namespace calvera::e2e {
namespace {

constexpr int kControlsPerStorm = 1000;
constexpr Milliseconds kControlTimeout(2000);
constexpr std::uint64_t kStopWithinMs = 1000;
constexpr Milliseconds kTickTimeout(20000);
// How long a paused timer is watched for a tick: three of its periods of 1000 ms, or three
// times as long as the running timer just took to show a tick, whichever is longer, so that a
// timer left on would have ticked in it even on this loaded machine.
Milliseconds NoTickInterval(Milliseconds runningTickTook) {
  return std::max(Milliseconds(3000), 3 * runningTickTook);
}

unsigned Seed() {
  static const unsigned seed = [] {
    const char* given = std::getenv("CALVERA_STORM_SEED");
    const unsigned value =
        given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : std::random_device{}();
    std::printf("    storm seed %u (CALVERA_STORM_SEED repeats it)\n", value);
    return value;
  }();
  return seed;
}

// What the manager handed back during one storm.
struct StormTally {
  std::map<DWORD, int> states;
  std::map<DWORD, int> accepts;
  std::map<DWORD, int> refusals;
  std::string Describe() const {
    std::string text;
    for (const auto& [state, n] : states)
      text += " " + StateName(state) + "x" + std::to_string(n);
    for (const auto& [accepted, n] : accepts)
      text += " accepts" + std::to_string(accepted) + "x" + std::to_string(n);
    for (const auto& [error, n] : refusals)
      text += " refused" + std::to_string(error) + "x" + std::to_string(n);
    return text;
  }
};

StormTally Storm(ServiceController& controller, unsigned seed) {
  std::mt19937 random(seed);
  const DWORD standard[] = {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE,
                            SERVICE_CONTROL_INTERROGATE};
  StormTally tally;
  for (int i = 0; i < kControlsPerStorm; ++i) {
    const unsigned pick = random() % 4;  // a custom code (128 to 255) as often as each other
    const DWORD code = pick < 3 ? standard[pick] : 128 + random() % 128;
    const ControlResult result = controller.Send(code);
    if (!result.accepted) {
      ++tally.refusals[result.error];  // e.g. a pause while one is pending
      if (result.status.dwCurrentState == 0)
        continue;  // nothing handed back with the refusal
    }
    ++tally.states[result.status.dwCurrentState];
    ++tally.accepts[result.status.dwControlsAccepted];
  }
  return tally;
}

// While the controls come, the service is running, pausing, paused or continuing, every
// status accepts stop, pause, continue and shutdown, and the manager turns a control down
// only because the service cannot take it in its state.
void ExpectStormStatuses(const StormTally& tally) {
  SCOPED_TRACE("statuses:" + tally.Describe());
  const std::set<DWORD> valid = {SERVICE_RUNNING, SERVICE_PAUSED, SERVICE_PAUSE_PENDING,
                                 SERVICE_CONTINUE_PENDING};
  for (const auto& [state, n] : tally.states)
    EXPECT_TRUE(valid.count(state)) << "state " << StateName(state);
  for (const auto& [accepted, n] : tally.accepts) {
    EXPECT_EQ(accepted,
              DWORD{SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN});
  }
  for (const auto& [error, n] : tally.refusals)
    EXPECT_EQ(error, DWORD{ERROR_SERVICE_CANNOT_ACCEPT_CTRL});
}

class ControlStorm : public testing::Test {
 protected:
  void SetUp() override {
    // Memory counts as low on every tick, so each tick does the whole decision while the
    // controls come in; freeing is switched off (both enable flags false).
    for (const auto& [name, value] : {std::pair{L"MemoryMaintain", 100u},
                                      {L"MemoryFree", 1u},
                                      {L"ProcessorLimit", 0u},
                                      {L"ExecutePeriod", 0u},
                                      {L"LoadCalvera", 0u},
                                      {L"DefragMemory", 0u}}) {
      ASSERT_EQ(service_.Settings().WriteDword(name, value), ERROR_SUCCESS);
    }
    ASSERT_TRUE(service_.Install());
  }
  void TearDown() override {
    const auto errors = EventLogChannel::Session().ErrorsSince(errorsMark_);
    EXPECT_TRUE(errors.empty()) << "event-log errors:" << Describe(errors);
  }

  const std::uint64_t errorsMark_ = EventLogChannel::Session().Mark();
  ScopedInstalledService service_{L"Calvera Control Storm"};
  TickWitness witness_{service_.Settings()};
};

TEST_F(ControlStorm, StormsThenTheTimerFollowsAndAStopEndsTheProcess) {
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_TRUE(service_.Start());
    ServiceController controller = service_.Controller();
    const DWORD process = controller.ProcessId();
    ASSERT_NE(process, 0u);

    ExpectStormStatuses(Storm(controller, Seed() + 2 * round));
    const auto resumed =
        controller.Await(SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING, kControlTimeout);
    EXPECT_TRUE(resumed.reached) << "continue after the storm " << resumed.Describe();
    Milliseconds took(0);
    EXPECT_TRUE(witness_.WaitForTickBegun(Deadline::After(kTickTimeout), &took))
        << "then the timer ticks";
    const auto paused = controller.Await(SERVICE_CONTROL_PAUSE, SERVICE_PAUSED, kControlTimeout);
    EXPECT_TRUE(paused.reached) << "pause " << paused.Describe();
    EXPECT_TRUE(witness_.NoTickFor(NoTickInterval(took))) << "then the timer is off";
    EXPECT_TRUE(
        controller.Await(SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING, kControlTimeout).reached);

    ExpectStormStatuses(Storm(controller, Seed() + 2 * round + 1));
    const auto stop = controller.Await(SERVICE_CONTROL_STOP, SERVICE_STOPPED, Milliseconds(5000));
    std::printf("    round %d: stop %s\n", round, stop.Describe().c_str());
    EXPECT_TRUE(stop.reached) << stop.Describe();
    EXPECT_LE(stop.elapsedMs, kStopWithinMs) << stop.Describe();
    for (const DWORD state : stop.seen) {
      EXPECT_TRUE(state == SERVICE_RUNNING || state == SERVICE_PAUSED ||
                  state == SERVICE_PAUSE_PENDING || state == SERVICE_CONTINUE_PENDING ||
                  state == SERVICE_STOP_PENDING || state == SERVICE_STOPPED)
          << "the stop passed through " << StateName(state);
    }
    EXPECT_TRUE(WaitForProcessEnd(process, Deadline::After(Milliseconds(5000))))
        << "the process ends";
  }
}

// Short control sequences from RUNNING: the state each ends in, and whether the timer then
// ticks. Any control resumes a paused service thread, but only a continue switches the timer
// back on.
struct Sequence {
  const char* name;
  std::vector<DWORD> controls;
  DWORD state;
  bool timerOn;
};

class ControlSequence : public ControlStorm, public testing::WithParamInterface<Sequence> {};

TEST_P(ControlSequence, EndsInItsStateWithTheTimerFollowing) {
  ASSERT_TRUE(service_.Start());
  ServiceController controller = service_.Controller();
  Milliseconds took(0);
  ASSERT_TRUE(witness_.WaitForTickBegun(Deadline::After(kTickTimeout), &took)) << "the timer ticks";
  for (const DWORD control : GetParam().controls)
    controller.Send(control);
  const auto ended = controller.WaitForState(GetParam().state, Deadline::After(kControlTimeout));
  EXPECT_TRUE(ended.reached) << "ends " << StateName(GetParam().state) << ": " << ended.Describe();
  if (GetParam().timerOn)
    EXPECT_TRUE(witness_.WaitForTickBegun(Deadline::After(kTickTimeout))) << "the timer is on";
  else
    EXPECT_TRUE(witness_.NoTickFor(NoTickInterval(took))) << "the timer is off";

  const auto resumed = controller.Await(SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING, kControlTimeout);
  EXPECT_TRUE(resumed.reached) << resumed.Describe();
  const auto stop = controller.Await(SERVICE_CONTROL_STOP, SERVICE_STOPPED, Milliseconds(5000));
  EXPECT_TRUE(stop.reached) << stop.Describe();
  EXPECT_LE(stop.elapsedMs, kStopWithinMs) << stop.Describe();
}

constexpr DWORD kPause = SERVICE_CONTROL_PAUSE;
constexpr DWORD kContinue = SERVICE_CONTROL_CONTINUE;
constexpr DWORD kInterrogate = SERVICE_CONTROL_INTERROGATE;

INSTANTIATE_TEST_SUITE_P(
    ,
    ControlSequence,
    testing::Values(
        Sequence{"Pause_200", {kPause, 200}, SERVICE_PAUSED, false},
        Sequence{"Pause_Interrogate", {kPause, kInterrogate}, SERVICE_PAUSED, false},
        Sequence{"Pause_Pause", {kPause, kPause}, SERVICE_PAUSED, false},
        Sequence{"Pause_255_128_Interrogate",
                 {kPause, 255, 128, kInterrogate},
                 SERVICE_PAUSED,
                 false},
        Sequence{"Continue", {kContinue}, SERVICE_RUNNING, true},
        Sequence{"Pause_200_Continue", {kPause, 200, kContinue}, SERVICE_RUNNING, true},
        Sequence{"Pause_Continue_Pause", {kPause, kContinue, kPause}, SERVICE_PAUSED, false},
        Sequence{"Pause_Continue_Continue_130",
                 {kPause, kContinue, kContinue, 130},
                 SERVICE_RUNNING,
                 true}),
    [](const testing::TestParamInfo<Sequence>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace calvera::e2e
