// Service runs of the whole program, with each platform call of the service host failing in
// turn: RegisterServiceCtrlHandlerW, SetServiceStatus at each report, RegisterEventSourceW and
// ReportEventW, CoInitialize, SetTimer on continue, StartServiceCtrlDispatcherW and
// GetModuleFileNameW. Each run
// writes the event log entries that belong to the failure, sends the reports that could be
// sent, ends with its exit code and gives back every handle it took.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "fault_injection/ledgers.h"
#include "service/calvera_service.h"
#include "service/event_ids.h"
#include "service/program_entry.h"
#include "service/service_reports.h"

namespace calvera::fault_injection {
namespace {

using fake::FakeEventLog;
using fake::FakeServiceControlManager;
using std::chrono::steady_clock;
using namespace service::reports;

const std::vector<std::uint32_t> kStartAndStop = {kServiceStartPending, kServiceStartPending,
                                                  kServiceRunning, kServiceStopPending,
                                                  kServiceStopped};

std::vector<std::uint32_t> States(const fake::FakeServiceControlManager& services) {
  std::vector<std::uint32_t> states;
  for (const auto& report : services.Reports())
    states.push_back(report.status.currentState);
  return states;
}

// The manager starts the service and, once the service has tried to report RUNNING, applies
// `whileRunning` and sends `controls` through the service's control handler, as the manager
// would had it seen the report. The last control ends the service.
int RunStartedByTheManager(fake::FakePlatform& fake,
                           const std::function<void(fake::FakePlatform&)>& whileRunning,
                           const std::vector<std::uint32_t>& controls) {
  fake.services.SetStartedByManager(true);
  fake.services.RequestStart(u"Calvera");
  std::atomic<bool> ended{false};
  auto controller = std::async(std::launch::async, [&] {
    const auto deadline = steady_clock::now() + kTimeout;
    while (!ended && fake.services.SetStatusCalls() < 3 && steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (ended || fake.services.SetStatusCalls() < 3)
      return;
    whileRunning(fake);
    // The service thread's queue keeps their order; a paused thread takes the next one.
    for (const std::uint32_t control : controls)
      fake.services.Handler(u"Calvera")(control);
  });
  const int exitCode = service::ProgramEntry(fake.platform, {});
  ended = true;
  controller.get();
  return exitCode;
}

struct Case {
  const char* name;
  std::function<void(fake::FakePlatform&)> fault;
  std::vector<std::uint32_t> reports;
  std::vector<FakeEventLog::Entry> log;
  std::function<void(fake::FakePlatform&)> check = [](fake::FakePlatform&) {};
  std::function<void(fake::FakePlatform&)> whileRunning = [](fake::FakePlatform&) {};
  std::vector<std::uint32_t> controls = {kServiceControlStop};
  int exitCode = 0;
};

// An error entry under the service's name, of the kind `id`.
FakeEventLog::Entry ServiceEntry(std::uint32_t id, std::u16string text) {
  return {u"Calvera", platform::kEventlogErrorType, 0, id, std::move(text)};
}

// An error entry under the executable's file name, of the kind `id`.
FakeEventLog::Entry ApplicationEntry(std::uint32_t id,
                                     std::u16string text,
                                     std::u16string source = u"Calvera.exe") {
  return {std::move(source), platform::kEventlogErrorType, 0, id, std::move(text)};
}

std::function<void(fake::FakePlatform&)> FailHandlerRegistration() {
  return [](fake::FakePlatform& f) {
    f.services.FailCall(FakeServiceControlManager::Call::kRegisterControlHandler,
                        platform::kErrorServiceDoesNotExist);
  };
}

const std::u16string kNoSuchService =
    u"The specified service does not exist as an installed service";

TEST(ServiceRunFaultsTest, EachPlatformCallOfAServiceRunFailsInTurn) {
  std::vector<Case> cases = {
      {"nothing fails", [](fake::FakePlatform&) {}, kStartAndStop, {}},
      // Nothing is reported, and the run ends with the service's entry.
      {"RegisterServiceCtrlHandlerW",
       FailHandlerRegistration(),
       {},
       {ServiceEntry(service::kControlHandlerNotRegisteredEvent, kNoSuchService)}},
      // Failures of the event log itself are not reported anywhere.
      {"RegisterEventSourceW",
       [](fake::FakePlatform& f) {
         FailHandlerRegistration()(f);
         f.eventLog.FailCall(FakeEventLog::Call::kRegisterSource, true);
       },
       {},
       {},
       [](fake::FakePlatform& f) { EXPECT_EQ(f.eventLog.RegisteredCount(), 0); }},
      {"ReportEventW",
       [](fake::FakePlatform& f) {
         FailHandlerRegistration()(f);
         f.eventLog.FailCall(FakeEventLog::Call::kReport, true);
       },
       {},
       {},
       [](fake::FakePlatform& f) { EXPECT_EQ(f.eventLog.RegisteredCount(), 1); }},
      // The run goes on without COM, and what did not succeed is not undone.
      {"CoInitialize",
       [](fake::FakePlatform& f) { f.process.SetCoInitializeSucceeds(false); },
       kStartAndStop,
       {},
       [](fake::FakePlatform& f) {
         EXPECT_EQ(f.process.CoInitializeCalls(), 1);
         EXPECT_EQ(f.process.CoUninitializeCalls(), 0);
       }},
  };
  // Without its timer the module cannot be created: the run ends before it connects.
  cases.push_back(
      {"SetTimer at the module's creation",
       [](fake::FakePlatform& f) { f.windowing.FailSetTimer(true); },
       {},
       {ApplicationEntry(service::kModuleNotCreatedEvent, u"Not enough timers available")},
       [](fake::FakePlatform& f) { EXPECT_EQ(f.process.CoInitializeCalls(), 1); },
       [](fake::FakePlatform&) {},
       {},
       1});
  // A continue whose timer cannot be armed is still accepted, and nothing is logged.
  cases.push_back({"SetTimer",
                   [](fake::FakePlatform&) {},
                   {kServiceStartPending, kServiceStartPending, kServiceRunning,
                    kServicePausePending, kServicePaused, kServiceContinuePending, kServiceRunning,
                    kServiceStopPending, kServiceStopped},
                   {},
                   [](fake::FakePlatform& f) {
                     const auto events = f.windowing.TimerEvents();
                     EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const auto& e) {
                       return e.call == fake::FakeWindowing::TimerCall::kSet && !e.succeeded;
                     }));
                   },
                   [](fake::FakePlatform& f) {
                     // Paused, and the timer off, before the continue that cannot arm it.
                     f.services.Handler(u"Calvera")(kServiceControlPause);
                     const auto window = service::CalveraModule()->MainTimer().Window();
                     EXPECT_TRUE(WaitForReportCount(f.services, 5));
                     EXPECT_TRUE(f.windowing.WaitUntilArmed(window, 1, false, kTimeout));
                     f.windowing.FailSetTimer(true);
                     f.services.Handler(u"Calvera")(kServiceControlContinue);
                     EXPECT_TRUE(WaitForReportCount(f.services, 7));
                     EXPECT_TRUE(f.windowing.WaitUntilIdle(window, kTimeout));
                   },
                   {kServiceControlStop}});
  // Each report refused in turn: an entry for it, and the run goes on.
  for (std::size_t refused = 0; refused < kStartAndStop.size(); ++refused) {
    std::vector<std::uint32_t> sent = kStartAndStop;
    sent.erase(sent.begin() + static_cast<std::ptrdiff_t>(refused));
    cases.push_back({"SetServiceStatus",
                     [refused](fake::FakePlatform& f) {
                       f.services.FailCall(FakeServiceControlManager::Call::kSetStatus,
                                           platform::kErrorInvalidHandle, 1,
                                           static_cast<int>(refused));
                     },
                     sent,
                     {ServiceEntry(service::kStatusReportRefusedEvent, u"The handle is invalid")}});
  }
  // Every report refused: an entry for each, and the run still ends.
  cases.push_back({"SetServiceStatus, every report",
                   [](fake::FakePlatform& f) {
                     f.services.FailCall(FakeServiceControlManager::Call::kSetStatus,
                                         platform::kErrorInvalidHandle);
                   },
                   {},
                   std::vector<FakeEventLog::Entry>(kStartAndStop.size(),
                                                    ServiceEntry(service::kStatusReportRefusedEvent,
                                                                 u"The handle is invalid"))});
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << c.name << " (case " << i << ")");
    LedgeredPlatform fake;
    c.fault(fake);
    EXPECT_EQ(RunStartedByTheManager(fake, c.whileRunning, c.controls), c.exitCode);
    EXPECT_EQ(States(fake.services), c.reports);
    EXPECT_EQ(fake.eventLog.Entries(), c.log);
    EXPECT_TRUE(fake.process.MessageBoxes().empty());
    c.check(fake);
  }
}

// The quit request after the last service has stopped is refused for a while, as Windows does
// while the main thread's queue is full: the run still ends once it is taken.
TEST(ServiceRunFaultsTest, ARefusedQuitRequestIsRepeatedUntilTaken) {
  LedgeredPlatform fake;
  std::future<void> recovery;
  const auto refuseQuit = [&](fake::FakePlatform& f) {
    f.windowing.FailPostMessage(true);
    recovery = std::async(std::launch::async, [&f] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      f.windowing.FailPostMessage(false);
    });
  };
  auto run = std::async(std::launch::async, [&] {
    return RunStartedByTheManager(fake, refuseQuit, {kServiceControlStop});
  });
  ASSERT_EQ(run.wait_for(kTimeout), std::future_status::ready);
  EXPECT_EQ(run.get(), 0);
  recovery.get();
  EXPECT_EQ(States(fake.services), kStartAndStop);
}

// The quit request that ends a run goes to the application window; without one it would land
// in the dispatcher thread's own queue and the main loop would wait for ever. The run ends
// before it connects instead, as when the module cannot be created.
TEST(ServiceRunFaultsTest, AnApplicationWindowThatCannotBeCreatedEndsTheRunAtOnce) {
  LedgeredPlatform fake;
  fake.windowing.FailCreateWindow(true, 1);  // the first window only: the application's
  auto run =
      std::async(std::launch::async, [&] { return service::ProgramEntry(fake.platform, {}); });
  if (run.wait_for(kTimeout) == std::future_status::timeout) {
    // Ends the loop through the timer's window, which the main thread owns as well.
    if (service::TCalvera* module = service::CalveraModule()) {
      static_cast<void>(
          fake.windowing.PostToWindow(module->MainTimer().Window(), platform::kWmQuit, 0, 0));
    }
    ADD_FAILURE() << "the run did not end";
  }
  EXPECT_EQ(run.get(), 1);
  const std::vector<FakeEventLog::Entry> expected = {ApplicationEntry(
      service::kModuleNotCreatedEvent, u"The application window cannot be created")};
  EXPECT_EQ(fake.eventLog.Entries(), expected);
  EXPECT_TRUE(fake.services.Reports().empty());
  EXPECT_TRUE(fake.process.MessageBoxes().empty());
}

// Started by hand, or refused by the manager, the dispatcher fails at once; its entry goes
// under the executable's name.
TEST(ServiceRunFaultsTest, ADispatcherThatFailsAtOnceEndsTheRunCleanly) {
  const std::u16string notConnected =
      u"The service process could not connect to the service controller";
  const Case cases[] = {
      {"RegisterEventSourceW",
       [](fake::FakePlatform& f) {
         f.eventLog.FailCall(FakeEventLog::Call::kRegisterSource, true);
       },
       {},
       {}},
      {"ReportEventW",
       [](fake::FakePlatform& f) { f.eventLog.FailCall(FakeEventLog::Call::kReport, true); },
       {},
       {}},
      {"CoInitialize",
       [](fake::FakePlatform& f) { f.process.SetCoInitializeSucceeds(false); },
       {},
       {ApplicationEntry(service::kDispatcherFailedEvent, notConnected)}},
      // Any other failure of the dispatcher is written the same way, with its own text.
      {"StartServiceCtrlDispatcherW",
       [](fake::FakePlatform& f) {
         f.services.SetStartedByManager(true);
         f.services.FailCall(FakeServiceControlManager::Call::kRunDispatcher,
                             platform::kErrorAccessDenied);
       },
       {},
       {ApplicationEntry(service::kDispatcherFailedEvent, u"Access is denied")}},
      // Without the module file name the source has no name of its own.
      {"GetModuleFileNameW",
       [](fake::FakePlatform& f) { f.process.SetModuleFileName(u""); },
       {},
       {ApplicationEntry(service::kDispatcherFailedEvent, notConnected, u"")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LedgeredPlatform fake;
    c.fault(fake);
    EXPECT_EQ(service::ProgramEntry(fake.platform, {}), 0);
    EXPECT_EQ(fake.eventLog.Entries(), c.log);
    EXPECT_TRUE(fake.process.MessageBoxes().empty());
  }
}

}  // namespace
}  // namespace calvera::fault_injection
