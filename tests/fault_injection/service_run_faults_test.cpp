// Service runs of the whole program, with each platform call of the service host failing in
// turn: RegisterServiceCtrlHandlerW, SetServiceStatus at each report, RegisterEventSourceW and
// ReportEventW, CoInitialize, StartServiceCtrlDispatcherW and GetModuleFileNameW. Each run
// writes the event log entries that belong to the failure, sends the reports that could be
// sent, ends with exit code 0 and gives back every handle it took.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "fault_injection/ledgers.h"
#include "service/program_entry.h"

namespace calvera::fault_injection {
namespace {

using fake::FakeEventLog;
using fake::FakeServiceControlManager;
using std::chrono::steady_clock;

constexpr std::uint32_t kStopped = 1;
constexpr std::uint32_t kStartPending = 2;
constexpr std::uint32_t kStopPending = 3;
constexpr std::uint32_t kRunning = 4;
constexpr std::uint32_t kStop = 1;
constexpr auto kTimeout = std::chrono::seconds(10);
const std::vector<std::uint32_t> kStartAndStop = {kStartPending, kStartPending, kRunning,
                                                  kStopPending, kStopped};

std::vector<std::uint32_t> States(const fake::FakeServiceControlManager& services) {
  std::vector<std::uint32_t> states;
  for (const auto& report : services.Reports())
    states.push_back(report.status.currentState);
  return states;
}

// The manager starts the service and, once the service has tried to report RUNNING, stops it
// through its control handler, as the manager would had it seen the report.
int RunStartedByTheManager(fake::FakePlatform& fake) {
  fake.services.SetStartedByManager(true);
  fake.services.StartService(u"Calvera");
  std::atomic<bool> ended{false};
  auto stopper = std::async(std::launch::async, [&] {
    const auto deadline = steady_clock::now() + kTimeout;
    while (!ended && fake.services.SetStatusCalls() < 3 && steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!ended && fake.services.SetStatusCalls() >= 3)
      fake.services.Handler(u"Calvera")(kStop);
  });
  const int exitCode = service::ProgramEntry(fake.platform, {});
  ended = true;
  stopper.get();
  return exitCode;
}

struct Case {
  const char* name;
  std::function<void(fake::FakePlatform&)> fault;
  std::vector<std::uint32_t> reports;
  std::vector<FakeEventLog::Entry> log;
  std::function<void(fake::FakePlatform&)> check = [](fake::FakePlatform&) {};
};

FakeEventLog::Entry ServiceEntry(std::u16string text) {
  return {u"Calvera", 1, 0, 0, std::move(text)};
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
      {"RegisterServiceCtrlHandlerW", FailHandlerRegistration(), {},
       {ServiceEntry(kNoSuchService)}},
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
      {"CoInitialize", [](fake::FakePlatform& f) { f.process.SetCoInitializeSucceeds(false); },
       kStartAndStop, {},
       [](fake::FakePlatform& f) {
         EXPECT_EQ(f.process.CoInitializeCalls(), 1);
         EXPECT_EQ(f.process.CoUninitializeCalls(), 0);
       }},
  };
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
                     {ServiceEntry(u"The handle is invalid")}});
  }
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << c.name << " (case " << i << ")");
    LedgeredPlatform fake;
    c.fault(fake);
    EXPECT_EQ(RunStartedByTheManager(fake), 0);
    EXPECT_EQ(States(fake.services), c.reports);
    EXPECT_EQ(fake.eventLog.Entries(), c.log);
    EXPECT_TRUE(fake.process.MessageBoxes().empty());
    c.check(fake);
  }
}

// Started by hand, or refused by the manager, the dispatcher fails at once; its entry goes
// under the executable's name.
TEST(ServiceRunFaultsTest, ADispatcherThatFailsAtOnceEndsTheRunCleanly) {
  const std::u16string notConnected =
      u"The service process could not connect to the service controller";
  const Case cases[] = {
      {"RegisterEventSourceW",
       [](fake::FakePlatform& f) { f.eventLog.FailCall(FakeEventLog::Call::kRegisterSource, true); },
       {},
       {}},
      {"ReportEventW",
       [](fake::FakePlatform& f) { f.eventLog.FailCall(FakeEventLog::Call::kReport, true); },
       {},
       {}},
      {"CoInitialize", [](fake::FakePlatform& f) { f.process.SetCoInitializeSucceeds(false); },
       {},
       {{u"Calvera.exe", 1, 0, 0, notConnected}}},
      // Any other failure of the dispatcher is written the same way, with its own text.
      {"StartServiceCtrlDispatcherW",
       [](fake::FakePlatform& f) {
         f.services.SetStartedByManager(true);
         f.services.FailCall(FakeServiceControlManager::Call::kRunDispatcher,
                             platform::kErrorAccessDenied);
       },
       {},
       {{u"Calvera.exe", 1, 0, 0, u"Access is denied"}}},
      // Without the module file name the source has no name of its own.
      {"GetModuleFileNameW", [](fake::FakePlatform& f) { f.process.SetModuleFileName(u""); },
       {},
       {{u"", 1, 0, 0, notConnected}}},
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
