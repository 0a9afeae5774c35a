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

inline constexpr std::uint32_t kStopped = 1;
inline constexpr std::uint32_t kStartPending = 2;
inline constexpr std::uint32_t kStopPending = 3;
inline constexpr std::uint32_t kRunning = 4;
inline constexpr std::uint32_t kContinuePending = 5;
inline constexpr std::uint32_t kPausePending = 6;
inline constexpr std::uint32_t kPaused = 7;

inline constexpr std::uint32_t kStop = 1;
inline constexpr std::uint32_t kPause = 2;
inline constexpr std::uint32_t kContinue = 3;
inline constexpr std::uint32_t kInterrogate = 4;
inline constexpr std::uint32_t kShutdown = 5;

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
    EXPECT_EQ(report.status.serviceType, 0x10u);
    EXPECT_EQ(report.status.win32ExitCode, 0u);
    EXPECT_EQ(report.status.serviceSpecificExitCode, 0u);
    EXPECT_EQ(report.status.waitHint, 5000u);
  }
}

inline const std::vector<Report> kStartReports = {{kStartPending, 0, 1},
                                                  {kStartPending, 0, 2},
                                                  {kRunning, 7, 0}};

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
  const Step stop{kStop, {{kStopPending, 7, 0}, {kStopped, 7, 0}}};
  const Step pause{kPause, {{kPausePending, 7, 0}, {kPaused, 7, 0}}};
  const Step resume{kContinue, {{kContinuePending, 7, 0}, {kRunning, 7, 0}}};
  const Step shutdown{kShutdown, {{kStopPending, 7, 0}, {kStopped, 7, 0}}};
  return {
      {"Stop", {stop}},
      {"PauseThenContinue", {pause, resume, stop}},
      {"StopWhilePaused", {pause, stop}},
      {"PauseWhilePaused", {pause, pause, resume, stop}},
      {"ShutdownWhileRunning", {shutdown}},
      {"ShutdownWhilePaused", {pause, shutdown}},
      {"InterrogateWhileRunning", {{kInterrogate, {{kRunning, 7, 0}}}, stop}},
      {"InterrogateWhilePaused", {pause, {kInterrogate, {{kPaused, 7, 0}}}, resume, stop}},
      // The interrogate behind it shows that the custom code was handled without a report.
      {"CustomCodeReportsNothing", {{128, {}}, {kInterrogate, {{kRunning, 7, 0}}}, stop}},
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
  services.StartService(u"Calvera", serviceMain);
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
