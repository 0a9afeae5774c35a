// The service's side of the status protocol: the states of a service, the kinds a service
// module declares, the check point that pending reports count and the record that each status
// report sends the Service Control Manager. The functions are pure: any thread may call them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/service_control_manager.h"

namespace calvera::service {

class TService;

enum class TCurrentStatus : std::uint8_t {
  csStopped = 0,
  csStartPending = 1,
  csStopPending = 2,
  csRunning = 3,
  csContinuePending = 4,
  csPausePending = 5,
  csPaused = 6,
};

enum class TServiceType { stWin32, stDevice, stFileSystem };

enum class TStartType { stBoot, stSystem, stAuto, stManual, stDisabled };

enum class TErrorSeverity { esIgnore, esNormal, esSevere, esCritical };

// A service or load-order group that must start before this service.
struct TDependency {
  std::u16string name;
  bool isGroup = false;
};

// The state a report carries: the manager's states follow these one to one.
constexpr std::uint32_t ReportedState(TCurrentStatus status) {
  return platform::kServiceStopped + static_cast<std::uint32_t>(status);
}
static_assert(ReportedState(TCurrentStatus::csStartPending) == platform::kServiceStartPending);
static_assert(ReportedState(TCurrentStatus::csStopPending) == platform::kServiceStopPending);
static_assert(ReportedState(TCurrentStatus::csRunning) == platform::kServiceRunning);
static_assert(ReportedState(TCurrentStatus::csContinuePending) ==
              platform::kServiceContinuePending);
static_assert(ReportedState(TCurrentStatus::csPausePending) == platform::kServicePausePending);
static_assert(ReportedState(TCurrentStatus::csPaused) == platform::kServicePaused);

// A pending state promises the manager a change within the wait hint; its reports count
// check points.
constexpr bool IsPending(TCurrentStatus status) {
  switch (status) {
    case TCurrentStatus::csStartPending:
    case TCurrentStatus::csStopPending:
    case TCurrentStatus::csContinuePending:
    case TCurrentStatus::csPausePending:
      return true;
    case TCurrentStatus::csStopped:
    case TCurrentStatus::csRunning:
    case TCurrentStatus::csPaused:
      return false;
  }
  return false;
}

// The service type that status reports and the service's entry carry: SERVICE_WIN32_OWN_PROCESS
// for stWin32, with SERVICE_INTERACTIVE_PROCESS when interactive; SERVICE_KERNEL_DRIVER for
// stDevice and SERVICE_FILE_SYSTEM_DRIVER for stFileSystem. The executable hosts a single
// service, so the share-process type never applies.
std::uint32_t ServiceTypeCode(TServiceType type, bool interactive);

// The check point that status reports count while a state stays pending. One per service; the
// executable hosts one service with one run, so its starting values are those of the process's
// load. Used by whichever thread reports, one at a time.
class StatusCheckPoint {
 public:
  // The check point of a report of `status`: one more than the last while the same pending
  // state is reported again, else 0.
  std::uint32_t Advance(TCurrentStatus status);

 private:
  std::uint32_t statusCheckPoint_ = 0;
  // As if the start had been reported already, so the first START_PENDING carries 1.
  TCurrentStatus lastReportedStatus_ = TCurrentStatus::csStartPending;
};

// The SERVICE_STATUS record for the service's current `Status`, with its properties and
// `checkPoint`. On the thread that reports.
platform::ServiceStatus MakeStatusReport(const TService& service, std::uint32_t checkPoint);

}  // namespace calvera::service
