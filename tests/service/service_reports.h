// What the service tests compare in the manager's record: the report sequences of the
// protocol, shared by the tests of the service base and of the Calvera module.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <ostream>
#include <vector>

#include "fake/fake_service_control_manager.h"

namespace calvera::service::reports {

// The manager's states and controls.
using platform::kServiceContinuePending;
using platform::kServiceControlContinue;
using platform::kServiceControlInterrogate;
using platform::kServiceControlPause;
using platform::kServiceControlShutdown;
using platform::kServiceControlStop;
using platform::kServicePaused;
using platform::kServicePausePending;
using platform::kServiceRunning;
using platform::kServiceStartPending;
using platform::kServiceStopped;
using platform::kServiceStopPending;

inline constexpr auto kTimeout = std::chrono::seconds(10);

// The fields of a report that change from one to the next.
struct Report {
  std::uint32_t state;
  std::uint32_t controls;
  std::uint32_t checkPoint;

  friend bool operator==(const Report&, const Report&) = default;
  friend std::ostream& operator<<(std::ostream& out, const Report& r) {
    return out << "{state " << r.state << ", controls " << r.controls << ", check point "
               << r.checkPoint << "}";
  }
};

using Record = std::vector<fake::FakeServiceControlManager::StatusReport>;

inline std::vector<Report> Summaries(const Record& record) {
  std::vector<Report> summaries;
  for (const auto& report : record) {
    summaries.push_back(
        {report.status.currentState, report.status.controlsAccepted, report.status.checkPoint});
  }
  return summaries;
}

// Every report of this service: its own process type, exit codes 0, wait hint 5000, and the
// handle that registering the control handler gave.
inline void ExpectPlainFields(const Record& record) {
  for (const auto& report : record) {
    EXPECT_NE(report.handle, platform::ServiceStatusHandle{});
    EXPECT_EQ(report.handle, record.front().handle);
    EXPECT_EQ(report.status.serviceType, platform::kServiceWin32OwnProcess);
    EXPECT_EQ(report.status.win32ExitCode, 0u);
    EXPECT_EQ(report.status.serviceSpecificExitCode, 0u);
    EXPECT_EQ(report.status.waitHint, 5000u);
  }
}

inline const std::vector<Report> kStartReports = {{kServiceStartPending, 0, 1},
                                                  {kServiceStartPending, 0, 2},
                                                  {kServiceRunning, 7, 0}};

// A control and the reports it adds.
struct Step {
  std::uint32_t control;
  std::vector<Report> reports;
};

struct Sequence {
  const char* name;
  std::vector<Step> steps;  // the last one ends the service
};

inline std::vector<Sequence> ProtocolSequences() {
  const Step stop{kServiceControlStop, {{kServiceStopPending, 7, 0}, {kServiceStopped, 7, 0}}};
  const Step pause{kServiceControlPause, {{kServicePausePending, 7, 0}, {kServicePaused, 7, 0}}};
  const Step resume{kServiceControlContinue,
                    {{kServiceContinuePending, 7, 0}, {kServiceRunning, 7, 0}}};
  const Step shutdown{kServiceControlShutdown,
                      {{kServiceStopPending, 7, 0}, {kServiceStopped, 7, 0}}};
  return {
      {"Stop", {stop}},
      {"PauseThenContinue", {pause, resume, stop}},
      {"StopWhilePaused", {pause, stop}},
      {"PauseWhilePaused", {pause, pause, resume, stop}},
      {"ShutdownWhileRunning", {shutdown}},
      {"ShutdownWhilePaused", {pause, shutdown}},
      {"InterrogateWhileRunning", {{kServiceControlInterrogate, {{kServiceRunning, 7, 0}}}, stop}},
      {"InterrogateWhilePaused",
       {pause, {kServiceControlInterrogate, {{kServicePaused, 7, 0}}}, resume, stop}},
      // The interrogate behind it shows that the custom code was handled without a report.
      {"CustomCodeReportsNothing",
       {{128, {}}, {kServiceControlInterrogate, {{kServiceRunning, 7, 0}}}, stop}},
  };
}

inline bool WaitForReportCount(const fake::FakeServiceControlManager& services, std::size_t count) {
  return services.WaitForReports([&](const Record& r) { return r.size() >= count; }, kTimeout);
}

// Starts the service and sends the sequence's controls one by one, each once the reports of
// the one before have arrived; then compares the whole record.
inline void RunSequence(fake::FakeServiceControlManager& services,
                        platform::ServiceMainFunction serviceMain,
                        const Sequence& sequence) {
  SCOPED_TRACE(sequence.name);
  std::vector<Report> expected = kStartReports;
  services.RequestStart(u"Calvera", serviceMain);
  ASSERT_TRUE(WaitForReportCount(services, expected.size()));
  for (const Step& step : sequence.steps) {
    ASSERT_EQ(services.SendControl(u"Calvera", step.control), 0u) << step.control;
    expected.insert(expected.end(), step.reports.begin(), step.reports.end());
    ASSERT_TRUE(WaitForReportCount(services, expected.size())) << step.control;
  }
  ASSERT_TRUE(services.WaitForServiceMainReturn(u"Calvera", kTimeout));
  const Record record = services.Reports();
  EXPECT_EQ(Summaries(record), expected);
  ExpectPlainFields(record);
}

}  // namespace calvera::service::reports
