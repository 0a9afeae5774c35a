// The Calvera module through the whole protocol, with its timer on a main thread that runs a
// message loop, as the program's main thread does.
#include "service/calvera_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "config/stored_settings.h"
#include "fake/fake_platform.h"
#include "service_reports.h"

namespace calvera::service {
namespace {

using namespace reports;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

void CALVERA_WINAPI CalveraServiceMain(std::uint32_t argc, char16_t** argv) {
  CalveraModule()->ServiceEntry(argc, argv);
}

// A service run: the module lives on its own main thread from construction to destruction.
class CalveraRun {
 public:
  struct Tick {
    bool serviceStarted;
    std::size_t reportsBefore;  // reports the manager had when the tick started
  };

  // `queuedBehindStop`: a control that the module's stop handler queues once, as if the
  // manager had passed it on just before the stop's report.
  explicit CalveraRun(std::optional<std::uint32_t> queuedBehindStop = std::nullopt)
      : queuedBehindStop_(queuedBehindStop) {
    mainThread_ = std::thread([this] { MainThread(); });
    EXPECT_EQ(created_.get_future().wait_for(kTimeout), std::future_status::ready);
  }
  ~CalveraRun() {
    if (fake.services.SendControl(u"Calvera", kServiceControlStop) == 0) {
      static_cast<void>(fake.services.WaitForServiceMainReturn(u"Calvera", kTimeout));
    }
    EXPECT_TRUE(fake.windowing.PostToWindow(window, platform::kWmQuit, 0, 0));
    mainThread_.join();
    EXPECT_EQ(fake.windowing.WindowCount(), 0u);
  }

  void Start() {
    fake.services.RequestStart(u"Calvera", &CalveraServiceMain);
    ASSERT_TRUE(WaitForReportCount(fake.services, 3));
  }
  // Sends the control and waits until the reports count `reports`.
  void Control(std::uint32_t code, std::size_t reports) {
    ASSERT_EQ(fake.services.SendControl(u"Calvera", code), 0u) << code;
    ASSERT_TRUE(WaitForReportCount(fake.services, reports)) << code;
  }
  std::uint32_t LastState() const { return fake.services.Reports().back().status.currentState; }

  std::vector<Tick> Ticks() const {
    std::lock_guard lock(mutex_);
    return ticks_;
  }
  bool WaitForTicks(std::size_t count) {
    std::unique_lock lock(mutex_);
    return ticked_.wait_for(lock, kTimeout, [&] { return ticks_.size() >= count; });
  }
  bool Armed(bool armed) { return fake.windowing.WaitUntilArmed(window, 1, armed, kTimeout); }
  bool Idle() { return fake.windowing.WaitUntilIdle(window, kTimeout); }
  // Expiries from the platform timer, and one that was queued late, as if just before the
  // timer was cancelled; all handled before this returns.
  void OfferTicks() {
    fake.windowing.ElapseTimers();
    ASSERT_TRUE(fake.windowing.PostToWindow(window, platform::kWmTimer, 1, 0));
    ASSERT_TRUE(Idle());
  }

  fake::FakePlatform fake;
  maintenance::MaintenanceTick tick{fake.platform};
  platform::WindowHandle window{};
  std::optional<std::uint32_t> armedAtCreation;
  std::thread::id mainThreadId;

 private:
  void MainThread() {
    {
      TCalvera calvera(fake.platform, tick);
      window = calvera.MainTimer().Window();
      armedAtCreation = fake.windowing.ArmedInterval(window, 1);
      mainThreadId = std::this_thread::get_id();
      // The module's own handler still runs; the wrapper only notes when each tick starts.
      TTimer::TNotifyEvent wired = calvera.MainTimer().OnTimer();
      calvera.MainTimer().SetOnTimer([this, wired](TTimer& sender) {
        {
          std::lock_guard lock(mutex_);
          ticks_.push_back({tick.ServiceStarted(), fake.services.Reports().size()});
        }
        ticked_.notify_all();
        wired(sender);
      });
      if (queuedBehindStop_) {
        calvera.SetOnStop([this, &calvera](TService& sender, bool& stopped) {
          calvera.ServiceStop(sender, stopped);
          if (const auto code = std::exchange(queuedBehindStop_, std::nullopt))
            calvera.ForwardControl(*code);
        });
      }
      SetCalveraModule(&calvera);
      created_.set_value();
      platform::WindowMessage message;
      while (fake.windowing.WaitForMessage(&message)) {
        fake.windowing.DispatchToWindow(message);
      }
      SetCalveraModule(nullptr);
    }
  }

  std::optional<std::uint32_t> queuedBehindStop_;
  std::promise<void> created_;
  std::thread mainThread_;
  mutable std::mutex mutex_;
  std::condition_variable ticked_;
  std::vector<Tick> ticks_;
};

TEST(CalveraServiceTest, ModuleProperties) {
  fake::FakePlatform fake;
  maintenance::MaintenanceTick tick(fake.platform);
  TCalvera calvera(fake.platform, tick);
  EXPECT_EQ(calvera.Name(), u"Calvera");
  EXPECT_EQ(calvera.DisplayName(), u"Calvera");
  EXPECT_TRUE(calvera.AllowStop());
  EXPECT_TRUE(calvera.AllowPause());
  EXPECT_EQ(calvera.StartType(), TStartType::stAuto);
  EXPECT_EQ(calvera.GetServiceController(), &ServiceControlHandler);
  EXPECT_EQ(calvera.MainTimer().Interval(), 1000u);
  EXPECT_TRUE(calvera.MainTimer().Enabled());
  // Without a module the control handler has nowhere to go, and says nothing.
  SetCalveraModule(nullptr);
  ServiceControlHandler(kServiceControlStop);
}

TEST(CalveraServiceTest, ReportSequences) {
  for (const Sequence& sequence : ProtocolSequences()) {
    CalveraRun run;
    RunSequence(run.fake.services, &CalveraServiceMain, sequence);
    EXPECT_TRUE(run.fake.eventLog.Entries().empty()) << sequence.name;
  }
}

TEST(CalveraServiceTest, TimerTicksFromCreationAndTheStartSetsServiceStarted) {
  CalveraRun run;
  EXPECT_EQ(run.armedAtCreation, 1000u);
  EXPECT_EQ(run.fake.windowing.WindowOwner(run.window), run.mainThreadId);
  // The tick's update stamp shows that the expiry reached the maintenance tick.
  config::StoreSetting(run.fake.registry, u"Updated", 1);
  run.fake.windowing.ElapseTimers();
  ASSERT_TRUE(run.WaitForTicks(1));
  ASSERT_TRUE(run.Idle());
  EXPECT_FALSE(run.Ticks()[0].serviceStarted);
  EXPECT_EQ(config::StoredDword(run.fake.registry, u"Updated"), 0u);

  run.Start();
  EXPECT_TRUE(run.tick.ServiceStarted());
  run.fake.windowing.ElapseTimers();
  ASSERT_TRUE(run.WaitForTicks(2));
  EXPECT_TRUE(run.Ticks()[1].serviceStarted);
}

TEST(CalveraServiceTest, TimerIsOffExactlyBetweenPauseAndContinueAndAfterTheEnd) {
  for (std::uint32_t end : {kServiceControlStop, kServiceControlShutdown}) {
    SCOPED_TRACE(end);
    CalveraRun run;
    run.Start();
    run.fake.windowing.ElapseTimers();
    ASSERT_TRUE(run.WaitForTicks(1));

    run.Control(kServiceControlPause, 5);
    ASSERT_EQ(run.LastState(), kServicePaused);
    ASSERT_TRUE(run.Armed(false));
    run.OfferTicks();
    EXPECT_EQ(run.Ticks().size(), 1u);
    EXPECT_TRUE(run.tick.ServiceStarted());

    run.Control(kServiceControlContinue, 7);
    ASSERT_EQ(run.LastState(), kServiceRunning);
    ASSERT_TRUE(run.Armed(true));
    EXPECT_EQ(run.fake.windowing.ArmedInterval(run.window, 1), 1000u);
    run.fake.windowing.ElapseTimers();
    ASSERT_TRUE(run.WaitForTicks(2));

    run.Control(end, 9);
    ASSERT_EQ(run.LastState(), kServiceStopped);
    ASSERT_TRUE(run.Armed(false));
    run.OfferTicks();
    const auto ticks = run.Ticks();
    ASSERT_EQ(ticks.size(), 2u);
    // No tick started while the manager's latest report was PAUSED.
    for (const auto& t : ticks) {
      EXPECT_TRUE(t.reportsBefore < 5 || t.reportsBefore >= 7) << t.reportsBefore;
    }
    EXPECT_TRUE(run.tick.ServiceStarted());
  }
}

TEST(CalveraServiceTest, ControlQueuedBehindTheStopLeavesTheTimerOff) {
  for (std::uint32_t queued : {kServiceControlContinue, kServiceControlPause}) {
    SCOPED_TRACE(queued);
    CalveraRun run(queued);
    run.Start();
    ASSERT_EQ(run.fake.services.SendControl(u"Calvera", kServiceControlStop), 0u);
    EXPECT_TRUE(run.fake.services.WaitForServiceMainReturn(u"Calvera", kTimeout));
    std::vector<Report> expected = kStartReports;
    expected.push_back({kServiceStopPending, 7, 0});
    expected.push_back({kServiceStopped, 7, 0});
    EXPECT_EQ(Summaries(run.fake.services.Reports()), expected);
    ASSERT_TRUE(run.Idle());
    EXPECT_FALSE(run.fake.windowing.ArmedInterval(run.window, 1));
  }
}

TEST(CalveraServiceTest, ContinueWhoseTimerCannotBeArmedStillRuns) {
  CalveraRun run;
  run.Start();
  run.Control(kServiceControlPause, 5);
  run.fake.windowing.FailSetTimer(true);
  run.Control(kServiceControlContinue, 7);
  EXPECT_EQ(run.LastState(), kServiceRunning);
  ASSERT_TRUE(run.Idle());
  run.fake.windowing.FailSetTimer(false);
  EXPECT_FALSE(run.fake.windowing.ArmedInterval(run.window, 1));
  EXPECT_EQ(run.fake.windowing.ElapseTimers(), 0);  // no expiry comes from an unarmed timer
  ASSERT_TRUE(run.Idle());
  EXPECT_TRUE(run.Ticks().empty());
  // Off and on again arms it.
  run.Control(kServiceControlPause, 9);
  run.Control(kServiceControlContinue, 11);
  EXPECT_TRUE(run.Armed(true));
  EXPECT_TRUE(run.fake.eventLog.Entries().empty());
}

// The execute phase wakes every half second while idle, but a queued request wakes it at once:
// a blind half-second sleep would put the median near 250 ms.
TEST(CalveraServiceTest, ControlIsHandledAtOnceNotAtTheNextHalfSecond) {
  CalveraRun run;
  run.Start();
  std::vector<steady_clock::duration> delays;
  for (std::size_t reports = 4; reports <= 10; ++reports) {
    const auto sent = steady_clock::now();
    run.Control(kServiceControlInterrogate, reports);
    delays.push_back(steady_clock::now() - sent);
    EXPECT_LT(delays.back(), milliseconds(900));
  }
  std::sort(delays.begin(), delays.end());
  EXPECT_LT(delays[delays.size() / 2], milliseconds(100));
}

}  // namespace
}  // namespace calvera::service
