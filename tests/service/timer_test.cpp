// The timer on the test's thread, which creates it and so owns it, against the fake windows.
#include "service/timer.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fake/fake_windowing.h"

namespace calvera::service {
namespace {

using fake::FakeWindowing;
using Call = FakeWindowing::TimerCall;

constexpr std::uintptr_t kTimerId = 1;

// Runs `work` on another thread and waits for it.
void OnOtherThread(const std::function<void()>& work) {
  std::thread thread(work);
  thread.join();
}

struct TimerFixture {
  FakeWindowing windowing;
  TTimer timer{windowing};
  int ticks = 0;

  void CountTicks() {
    timer.SetOnTimer([this](TTimer& sender) {
      EXPECT_EQ(&sender, &timer);
      ++ticks;
    });
  }
  std::optional<std::uint32_t> Armed() const { return windowing.ArmedInterval(timer.Window(), 1); }
  // One expiry, handled.
  void Expire() {
    windowing.ElapseTimers();
    windowing.DispatchPending();
  }
  std::vector<std::pair<Call, std::uint32_t>> Calls() const {
    std::vector<std::pair<Call, std::uint32_t>> calls;
    for (const auto& e : windowing.TimerEvents()) {
      EXPECT_EQ(e.window, timer.Window());
      EXPECT_EQ(e.timerId, kTimerId);
      EXPECT_TRUE(e.onOwnerThread);
      calls.emplace_back(e.call, e.milliseconds);
    }
    return calls;
  }
};

TEST(TimerTest, OwnsAMessageWindowOnItsThreadAndArmsOnlyWithAHandler) {
  TimerFixture f;
  EXPECT_EQ(f.windowing.WindowOwner(f.timer.Window()), std::this_thread::get_id());
  EXPECT_TRUE(f.timer.Enabled());
  EXPECT_EQ(f.timer.Interval(), 1000u);
  EXPECT_TRUE(f.windowing.TimerEvents().empty());
  f.CountTicks();
  EXPECT_EQ(f.Armed(), 1000u);
}

TEST(TimerTest, CancelsAndRearmsOnlyOnARealChange) {
  const auto kill = std::pair(Call::kKill, 0u);
  const auto set = [](std::uint32_t ms) { return std::pair(Call::kSet, ms); };
  const auto handler = [](TTimer&) {};
  struct Case {
    const char* name;
    std::function<void(TTimer&)> change;
    std::vector<std::pair<Call, std::uint32_t>> calls;
    std::optional<std::uint32_t> armed;
  } cases[] = {
      {"same enabled", [](TTimer& t) { t.SetEnabled(true); }, {}, 1000},
      {"same interval", [](TTimer& t) { t.SetInterval(1000); }, {}, 1000},
      {"off", [](TTimer& t) { t.SetEnabled(false); }, {kill}, std::nullopt},
      {"off and on",
       [](TTimer& t) {
         t.SetEnabled(false);
         t.SetEnabled(true);
       },
       {kill, kill, set(1000)},
       1000},
      {"interval", [](TTimer& t) { t.SetInterval(250); }, {kill, set(250)}, 250},
      {"interval 0", [](TTimer& t) { t.SetInterval(0); }, {kill}, std::nullopt},
      {"interval while off",
       [&](TTimer& t) {
         t.SetEnabled(false);
         t.SetInterval(40);
       },
       {kill, kill},
       std::nullopt},
      {"handler replaced", [&](TTimer& t) { t.SetOnTimer(handler); }, {kill, set(1000)}, 1000},
      {"handler cleared", [](TTimer& t) { t.SetOnTimer(nullptr); }, {kill}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TimerFixture f;
    f.CountTicks();
    f.windowing.ClearTimerEvents();
    c.change(f.timer);
    EXPECT_EQ(f.Calls(), c.calls);
    EXPECT_EQ(f.Armed(), c.armed);
  }
}

TEST(TimerTest, TimerThatCannotBeArmedFailsAndKeepsTheNewState) {
  TimerFixture f;
  f.windowing.FailSetTimer(true);
  try {
    f.CountTicks();
    ADD_FAILURE() << "no failure";
  } catch (const std::runtime_error& failure) {
    EXPECT_STREQ(failure.what(), "Not enough timers available");
  }
  f.timer.SetEnabled(false);
  EXPECT_THROW(f.timer.SetEnabled(true), std::runtime_error);
  EXPECT_TRUE(f.timer.Enabled());
  EXPECT_FALSE(f.Armed());
  f.windowing.FailSetTimer(false);
  f.timer.SetEnabled(false);
  f.timer.SetEnabled(true);
  EXPECT_EQ(f.Armed(), 1000u);
}

TEST(TimerTest, EachExpiryCallsTheHandlerWhateverTheTimerId) {
  TimerFixture f;
  f.CountTicks();
  f.Expire();
  f.Expire();
  EXPECT_EQ(f.ticks, 2);
  ASSERT_TRUE(f.windowing.PostToWindow(f.timer.Window(), platform::kWmTimer, 7, 0));
  f.windowing.DispatchPending();
  EXPECT_EQ(f.ticks, 3);
}

TEST(TimerTest, FailureEscapingTheHandlerGoesToTheExceptionHandler) {
  TimerFixture f;
  int calls = 0;
  f.timer.SetOnTimer([&](TTimer&) {
    if (++calls == 1) {
      throw std::runtime_error("tick broke");
    }
  });
  f.Expire();  // no exception handler yet: dropped
  std::vector<std::string> failures;
  f.timer.SetOnException([&](std::exception_ptr failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      failures.emplace_back(e.what());
    }
  });
  calls = 0;
  f.Expire();
  f.Expire();
  EXPECT_EQ(failures, std::vector<std::string>{"tick broke"});
  EXPECT_EQ(calls, 2);
}

TEST(TimerTest, SwitchFromAnotherThreadTakesEffectOnTheOwnerThread) {
  TimerFixture f;
  f.CountTicks();
  // Why the switch is carried over: the platform refuses another thread's timer calls.
  OnOtherThread([&] { EXPECT_FALSE(f.windowing.SetTimer(f.timer.Window(), 2, 10)); });

  f.windowing.ElapseTimers();  // an expiry is queued before the switch
  OnOtherThread([&] { f.timer.SetEnabled(false); });
  EXPECT_FALSE(f.timer.Enabled());
  EXPECT_EQ(f.Armed(), 1000u);  // not yet carried over
  f.windowing.DispatchPending();
  EXPECT_EQ(f.ticks, 0);  // the switch was recorded before the queued expiry was handled
  EXPECT_FALSE(f.Armed());

  OnOtherThread([&] { f.timer.SetEnabled(true); });
  EXPECT_FALSE(f.Armed());
  f.windowing.DispatchPending();
  EXPECT_EQ(f.Armed(), 1000u);
  f.Expire();
  EXPECT_EQ(f.ticks, 1);
  f.windowing.ClearTimerEvents();
  // Every timer call was made on the owner thread (checked by Calls).
  OnOtherThread([&] { f.timer.SetEnabled(false); });
  f.windowing.DispatchPending();
  EXPECT_EQ(f.Calls(), (std::vector<std::pair<Call, std::uint32_t>>{{Call::kKill, 0}}));
}

TEST(TimerTest, CarriedSwitchesEndInTheStateRecordedLast) {
  TimerFixture f;
  f.CountTicks();
  OnOtherThread([&] { f.timer.SetEnabled(false); });
  f.timer.SetEnabled(true);  // on the owner thread before the carried switch arrives
  f.windowing.DispatchPending();
  EXPECT_EQ(f.Armed(), 1000u);

  OnOtherThread([&] {
    f.timer.SetEnabled(false);
    f.timer.SetEnabled(true);
    f.timer.SetEnabled(false);
  });
  f.windowing.DispatchPending();
  EXPECT_FALSE(f.Armed());
}

TEST(TimerTest, CarriedArmingThatFailsLeavesTheTimerOffUntilSwitchedAgain) {
  TimerFixture f;
  f.CountTicks();
  OnOtherThread([&] { f.timer.SetEnabled(false); });
  f.windowing.DispatchPending();
  f.windowing.FailSetTimer(true);
  OnOtherThread([&] { EXPECT_NO_THROW(f.timer.SetEnabled(true)); });
  f.windowing.DispatchPending();
  EXPECT_TRUE(f.timer.Enabled());
  EXPECT_FALSE(f.Armed());
  f.windowing.FailSetTimer(false);
  OnOtherThread([&] {
    f.timer.SetEnabled(false);
    f.timer.SetEnabled(true);
  });
  f.windowing.DispatchPending();
  EXPECT_EQ(f.Armed(), 1000u);

  // A switch that cannot even be handed over fails where it was made.
  OnOtherThread([&] { f.timer.SetEnabled(false); });
  f.windowing.DispatchPending();
  f.windowing.FailPostMessage(true);
  OnOtherThread([&] { EXPECT_THROW(f.timer.SetEnabled(true), std::runtime_error); });
  EXPECT_TRUE(f.timer.Enabled());
}

TEST(TimerTest, DestroyingTheTimerCancelsItAndDestroysItsWindow) {
  FakeWindowing windowing;
  platform::WindowHandle window{};
  {
    TTimer timer(windowing);
    timer.SetOnTimer([](TTimer&) {});
    window = timer.Window();
    windowing.ElapseTimers();
  }
  EXPECT_FALSE(windowing.WindowExists(window));
  EXPECT_FALSE(windowing.ArmedInterval(window, kTimerId));
  EXPECT_EQ(windowing.TimerEvents().back().call, Call::kKill);
  EXPECT_EQ(windowing.DispatchPending(), 0);  // the queued expiry went with the window
}

TEST(TimerTest, WindowThatCannotBeCreatedFailsTheTimer) {
  FakeWindowing windowing;
  windowing.FailCreateWindow(true);
  EXPECT_THROW(TTimer timer(windowing), std::runtime_error);
}

}  // namespace
}  // namespace calvera::service
