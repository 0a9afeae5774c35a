// The service base against the fake manager, with a module that waits for its requests.
#include "service/service.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <thread>
#include <utility>

#include "fake/fake_platform.h"
#include "platform/text.h"
#include "service/event_ids.h"
#include "service_reports.h"

namespace calvera::service {
namespace {

using namespace reports;
using fake::FakeEventLog;
using fake::FakeServiceControlManager;

// An entry of the event log: its kind (service/event_ids.h) and its text.
struct Logged {
  std::uint32_t id;
  std::u16string text;
  friend bool operator==(const Logged&, const Logged&) = default;
};

void PrintTo(const Logged& logged, std::ostream* out) {
  *out << logged.id << " \"" << ToUtf8(logged.text) << "\"";
}

class TestService;
std::atomic<TestService*> currentService{nullptr};

void CALVERA_WINAPI TestControlHandler(std::uint32_t code);
void CALVERA_WINAPI TestServiceMain(std::uint32_t argc, char16_t** argv);

// A module without an execute handler, so its service thread waits for requests. Its
// interrogate and custom operations can be made to fail.
class TestService : public TService {
 public:
  explicit TestService(platform::Platform& platform) : TService(platform, u"Calvera") {
    currentService = this;
  }
  ~TestService() override { currentService = nullptr; }

  platform::ServiceControlHandlerFunction GetServiceController() override {
    return &TestControlHandler;
  }

  bool interrogateFails = false;
  bool customFails = false;

 protected:
  void HandleInterrogate() override {
    if (std::exchange(interrogateFails, false)) {
      throw std::runtime_error("broken");
    }
    TService::HandleInterrogate();
  }
  bool HandleCustomControl(std::uint32_t code) override {
    if (std::exchange(customFails, false)) {
      throw std::runtime_error("broken");
    }
    return TService::HandleCustomControl(code);
  }
};

void CALVERA_WINAPI TestControlHandler(std::uint32_t code) {
  if (TestService* service = currentService.load()) {
    service->ForwardControl(code);
  }
}

void CALVERA_WINAPI TestServiceMain(std::uint32_t argc, char16_t** argv) {
  currentService.load()->ServiceEntry(argc, argv);
}

// The first call fails (throws, or leaves the flag false); later calls accept.
std::function<void(TService&, bool&)> FirstCall(bool throws) {
  auto calls = std::make_shared<int>(0);
  return [calls, throws](TService&, bool& accepted) {
    if ((*calls)++ == 0) {
      if (throws) {
        throw std::runtime_error("broken");
      }
      accepted = false;
    }
  };
}

struct ServiceRun {
  fake::FakePlatform fake;
  TestService service{fake.platform};

  ~ServiceRun() {
    // A test that failed half-way still ends its service, so the threads can be joined.
    if (fake.services.SendControl(u"Calvera", kServiceControlStop) == 0) {
      static_cast<void>(fake.services.WaitForServiceMainReturn(u"Calvera", kTimeout));
    }
  }

  // The entries under the service's name; every one is an error.
  std::vector<Logged> Log() const {
    std::vector<Logged> log;
    for (const FakeEventLog::Entry& entry : fake.eventLog.Entries()) {
      if (entry.source != u"Calvera")
        continue;
      EXPECT_EQ(entry.type, platform::kEventlogErrorType) << ToUtf8(entry.text);
      log.push_back({entry.id, entry.text});
    }
    return log;
  }
};

TEST(ServiceProtocolTest, ReportSequences) {
  for (const Sequence& sequence : ProtocolSequences()) {
    ServiceRun run;
    RunSequence(run.fake.services, &TestServiceMain, sequence);
    EXPECT_TRUE(run.Log().empty()) << sequence.name;
  }
}

TEST(ServiceProtocolTest, EntryKeepsTheStartArgumentsAndRegistersUnderTheServiceName) {
  ServiceRun run;
  run.fake.services.RequestStart(u"Calvera", &TestServiceMain, {u"-verbose"});
  ASSERT_TRUE(WaitForReportCount(run.fake.services, 3));
  EXPECT_EQ(run.fake.services.Handler(u"CALVERA"), &TestControlHandler);
  ASSERT_EQ(run.service.ParamCount(), 2u);
  EXPECT_EQ(run.service.Param(0), u"Calvera");
  EXPECT_EQ(run.service.Param(1), u"-verbose");
  EXPECT_EQ(run.service.StatusHandle(), run.fake.services.Reports().front().handle);
}

TEST(ServiceProtocolTest, StartThatEndsEarly) {
  struct Case {
    const char* name;
    std::function<void(TestService&)> setUp;
    std::vector<Report> reports;
    std::vector<Logged> log;
  } cases[] = {
      {"refused",
       [](TestService& s) { s.SetOnStart([](TService&, bool& started) { started = false; }); },
       {{kServiceStartPending, 0, 1}, {kServiceStartPending, 0, 2}, {kServiceStopped, 7, 0}},
       {}},
      {"start handler fails",
       [](TestService& s) {
         s.SetOnStart([](TService&, bool&) { throw std::runtime_error("no disk"); });
       },
       {{kServiceStartPending, 0, 1}, {kServiceStartPending, 0, 2}, {kServiceStopped, 7, 0}},
       {{kStartFailedEvent, u"Service failed on start: no disk"}}},
      {"execute handler fails",
       [](TestService& s) { s.SetOnExecute([](TService&) { throw std::runtime_error("lost"); }); },
       {{kServiceStartPending, 0, 1},
        {kServiceStartPending, 0, 2},
        {kServiceRunning, 7, 0},
        {kServiceStopped, 7, 0}},
       {{kExecuteFailedEvent, u"Service failed on execute: lost"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ServiceRun run;
    c.setUp(run.service);
    run.fake.services.RequestStart(u"Calvera", &TestServiceMain);
    ASSERT_TRUE(run.fake.services.WaitForServiceMainReturn(u"Calvera", kTimeout));
    EXPECT_EQ(Summaries(run.fake.services.Reports()), c.reports);
    EXPECT_EQ(run.Log(), c.log);
  }
}

TEST(ServiceProtocolTest, FailedOrRefusedControlReportsTheOldStateAgainAndTheServiceRunsOn) {
  const Step pause{kServiceControlPause, {{kServicePausePending, 7, 0}, {kServicePaused, 7, 0}}};
  struct Case {
    const char* name;
    std::function<void(TestService&)> setUp;
    std::vector<Step> steps;  // then a stop that works
    std::vector<Logged> log;
  } cases[] = {
      {"stop refused",
       [](TestService& s) { s.SetOnStop(FirstCall(false)); },
       {{kServiceControlStop, {{kServiceStopPending, 7, 0}, {kServiceRunning, 7, 0}}}},
       {}},
      {"stop fails",
       [](TestService& s) { s.SetOnStop(FirstCall(true)); },
       {{kServiceControlStop, {{kServiceStopPending, 7, 0}, {kServiceRunning, 7, 0}}}},
       {{kControlFailedEvent, u"Service failed on stop: broken"}}},
      {"pause refused",
       [](TestService& s) { s.SetOnPause(FirstCall(false)); },
       {{kServiceControlPause, {{kServicePausePending, 7, 0}, {kServiceRunning, 7, 0}}}},
       {}},
      {"pause fails",
       [](TestService& s) { s.SetOnPause(FirstCall(true)); },
       {{kServiceControlPause, {{kServicePausePending, 7, 0}, {kServiceRunning, 7, 0}}}},
       {{kControlFailedEvent, u"Service failed on pause: broken"}}},
      {"continue refused",
       [](TestService& s) { s.SetOnContinue(FirstCall(false)); },
       {pause,
        {kServiceControlContinue, {{kServiceContinuePending, 7, 0}, {kServicePaused, 7, 0}}}},
       {}},
      {"continue fails",
       [](TestService& s) { s.SetOnContinue(FirstCall(true)); },
       {pause,
        {kServiceControlContinue, {{kServiceContinuePending, 7, 0}, {kServicePaused, 7, 0}}}},
       {{kControlFailedEvent, u"Service failed on continue: broken"}}},
      {"interrogate fails",
       [](TestService& s) { s.interrogateFails = true; },
       {{kServiceControlInterrogate, {{kServiceRunning, 7, 0}}}},
       {{kControlFailedEvent, u"Service failed on interrogate: broken"}}},
      {"custom control fails",
       [](TestService& s) { s.customFails = true; },
       {{200, {{kServiceRunning, 7, 0}}}},
       {{kCustomControlFailedEvent, u"Service failed in custom message(200): broken"}}},
  };
  for (const auto& c : cases) {
    ServiceRun run;
    c.setUp(run.service);
    Sequence sequence{c.name, c.steps};
    sequence.steps.push_back(
        {kServiceControlStop, {{kServiceStopPending, 7, 0}, {kServiceStopped, 7, 0}}});
    RunSequence(run.fake.services, &TestServiceMain, sequence);
    EXPECT_EQ(run.Log(), c.log) << c.name;
  }
}

TEST(ServiceProtocolTest, PauseHoldsTheExecutePhaseUntilTheNextRequest) {
  ServiceRun run;
  std::atomic<int> polls{0};
  run.service.SetOnExecute([&](TService& sender) {
    while (!sender.Terminated()) {
      ++polls;
      sender.ServiceThread()->ProcessRequests(false);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  run.fake.services.RequestStart(u"Calvera", &TestServiceMain);
  ASSERT_TRUE(WaitForReportCount(run.fake.services, 3));
  ASSERT_EQ(run.fake.services.SendControl(u"Calvera", kServiceControlPause), 0u);
  ASSERT_TRUE(WaitForReportCount(run.fake.services, 5));
  const int pausedAt = polls;
  // Time for a poll that should not happen; the request below does not depend on it.
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(polls, pausedAt);
  ASSERT_EQ(run.fake.services.SendControl(u"Calvera", kServiceControlContinue), 0u);
  ASSERT_TRUE(WaitForReportCount(run.fake.services, 7));
  EXPECT_EQ(Summaries(run.fake.services.Reports()).back(), (Report{kServiceRunning, 7, 0}));
}

TEST(ServiceProtocolTest, FailedShutdownStillEndsTheServiceWithoutReportingTheOldState) {
  ServiceRun run;
  run.service.SetOnShutdown([](TService&) { throw std::runtime_error("broken"); });
  RunSequence(
      run.fake.services, &TestServiceMain,
      {"shutdown fails",
       {{kServiceControlShutdown, {{kServiceStopPending, 7, 0}, {kServiceStopped, 7, 0}}}}});
  EXPECT_EQ(run.Log(),
            (std::vector<Logged>{{kControlFailedEvent, u"Service failed on shutdown: broken"}}));
}

// A second control that the manager passed on before the service had reported the first one,
// so it waits in the queue behind it. Once a stop or shutdown has been accepted, nothing takes
// the service back from its way to STOPPED, and no handler runs again; a refused stop leaves
// the service running and the control behind it is handled as usual.
TEST(ServiceProtocolTest, ControlQueuedBehindAnAcceptedStopChangesNothing) {
  const Report stopPending{kServiceStopPending, 7, 0};
  const Report stopped{kServiceStopped, 7, 0};
  struct Case {
    const char* name;
    std::uint32_t first;
    std::uint32_t queued;
    bool refuseFirst;
    std::vector<Report> reports;  // after the start's
  } cases[] = {
      {"stop, pause", kServiceControlStop, kServiceControlPause, false, {stopPending, stopped}},
      {"stop, continue",
       kServiceControlStop,
       kServiceControlContinue,
       false,
       {stopPending, stopped}},
      {"stop, shutdown",
       kServiceControlStop,
       kServiceControlShutdown,
       false,
       {stopPending, stopped}},
      {"stop, stop", kServiceControlStop, kServiceControlStop, false, {stopPending, stopped}},
      {"stop, interrogate",
       kServiceControlStop,
       kServiceControlInterrogate,
       false,
       {stopPending, {kServiceStopPending, 7, 1}, stopped}},
      {"shutdown, pause",
       kServiceControlShutdown,
       kServiceControlPause,
       false,
       {stopPending, stopped}},
      {"refused stop, pause",
       kServiceControlStop,
       kServiceControlPause,
       true,
       {stopPending,
        {kServiceRunning, 7, 0},
        {kServicePausePending, 7, 0},
        {kServicePaused, 7, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Before the run, whose end may still call the handlers.
    std::atomic<int> stops{0}, pauses{0}, continues{0}, shutdowns{0};
    ServiceRun run;
    // Queued once, from inside the first control's handler, before the flag is set.
    run.service.SetOnStop([&](TService& sender, bool& accepted) {
      if (stops++ == 0) {
        sender.ForwardControl(c.queued);
        accepted = !c.refuseFirst;
      }
    });
    run.service.SetOnShutdown([&](TService& sender) {
      if (shutdowns++ == 0)
        sender.ForwardControl(c.queued);
    });
    run.service.SetOnPause([&](TService&, bool&) { ++pauses; });
    run.service.SetOnContinue([&](TService&, bool&) { ++continues; });

    std::vector<Report> expected = kStartReports;
    expected.insert(expected.end(), c.reports.begin(), c.reports.end());
    run.fake.services.RequestStart(u"Calvera", &TestServiceMain);
    ASSERT_TRUE(WaitForReportCount(run.fake.services, kStartReports.size()));
    ASSERT_EQ(run.fake.services.SendControl(u"Calvera", c.first), 0u);
    if (c.refuseFirst) {
      ASSERT_TRUE(WaitForReportCount(run.fake.services, expected.size()));
      EXPECT_EQ(Summaries(run.fake.services.Reports()), expected);
      EXPECT_EQ(pauses, 1);
      continue;  // the run's end stops it
    }
    EXPECT_TRUE(run.fake.services.WaitForServiceMainReturn(u"Calvera", kTimeout));
    EXPECT_EQ(Summaries(run.fake.services.Reports()), expected);
    EXPECT_EQ(stops + shutdowns, 1);
    EXPECT_EQ(pauses, 0);
    EXPECT_EQ(continues, 0);
    EXPECT_TRUE(run.Log().empty());
  }
}

TEST(ServiceProtocolTest, HandlerThatCannotBeRegisteredLogsOnceAndReportsNothing) {
  ServiceRun run;
  run.fake.services.FailCall(FakeServiceControlManager::Call::kRegisterControlHandler,
                             platform::kErrorServiceDoesNotExist);
  run.fake.services.RequestStart(u"Calvera", &TestServiceMain);
  ASSERT_TRUE(run.fake.services.WaitForServiceMainReturn(u"Calvera", kTimeout));
  EXPECT_EQ(run.fake.services.SetStatusCalls(), 0u);
  const std::vector<FakeEventLog::Entry> expected = {
      {u"Calvera", platform::kEventlogErrorType, 0, kControlHandlerNotRegisteredEvent,
       u"The specified service does not exist as an installed service"}};
  EXPECT_EQ(run.fake.eventLog.Entries(), expected);
}

TEST(ServiceProtocolTest, RefusedStatusReportIsLoggedAndTheRunGoesOn) {
  ServiceRun run;
  // Both START_PENDING reports are refused; the manager sees the service first running.
  run.fake.services.FailCall(FakeServiceControlManager::Call::kSetStatus,
                             platform::kErrorAccessDenied, 2);
  run.fake.services.RequestStart(u"Calvera", &TestServiceMain);
  ASSERT_TRUE(WaitForReportCount(run.fake.services, 1));
  ASSERT_EQ(run.fake.services.SendControl(u"Calvera", kServiceControlStop), 0u);
  ASSERT_TRUE(run.fake.services.WaitForServiceMainReturn(u"Calvera", kTimeout));
  EXPECT_EQ(Summaries(run.fake.services.Reports()),
            (std::vector<Report>{
                {kServiceRunning, 7, 0}, {kServiceStopPending, 7, 0}, {kServiceStopped, 7, 0}}));
  EXPECT_EQ(run.Log(), (std::vector<Logged>{{kStatusReportRefusedEvent, u"Access is denied"},
                                            {kStatusReportRefusedEvent, u"Access is denied"}}));
  EXPECT_EQ(run.fake.eventLog.RegisteredCount(), 1);
}

TEST(ServiceProtocolTest, ControlsWithoutAServiceThreadAreDropped) {
  ServiceRun run;
  // Before the service thread exists: a stop that went through would end the run at once.
  TestControlHandler(kServiceControlStop);
  run.fake.services.RequestStart(u"Calvera", &TestServiceMain);
  ASSERT_TRUE(WaitForReportCount(run.fake.services, 3));
  ASSERT_EQ(run.fake.services.SendControl(u"Calvera", kServiceControlInterrogate), 0u);
  ASSERT_TRUE(WaitForReportCount(run.fake.services, 4));
  EXPECT_EQ(Summaries(run.fake.services.Reports()).back(), (Report{kServiceRunning, 7, 0}));

  ASSERT_EQ(run.fake.services.SendControl(u"Calvera", kServiceControlStop), 0u);
  ASSERT_TRUE(run.fake.services.WaitForServiceMainReturn(u"Calvera", kTimeout));
  const std::size_t reports = run.fake.services.Reports().size();
  // After the thread has gone, as from a dispatcher that was already on its way.
  const auto handler = run.fake.services.Handler(u"Calvera");
  for (std::uint32_t code : {kServiceControlInterrogate, kServiceControlStop, kServiceControlPause,
                             kServiceControlShutdown, 128u}) {
    handler(code);
  }
  EXPECT_EQ(run.fake.services.Reports().size(), reports);
  EXPECT_TRUE(run.Log().empty());
  EXPECT_EQ(run.service.ServiceThread(), nullptr);
  EXPECT_EQ(run.service.Status(), TCurrentStatus::csStopped);
}

}  // namespace
}  // namespace calvera::service
