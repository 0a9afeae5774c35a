// The states of a service, and what a status report tells the Service Control Manager for each.
#pragma once

#include <cstdint>

#include "platform/service_control_manager.h"

namespace calvera::service {

enum class TCurrentStatus : std::uint8_t {
  csStopped = 0,
  csStartPending = 1,
  csStopPending = 2,
  csRunning = 3,
  csContinuePending = 4,
  csPausePending = 5,
  csPaused = 6,
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

}  // namespace calvera::service
