// The states of a service, and what a status report tells the Service Control Manager for each.
#pragma once

#include <cstdint>

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

// SERVICE_STOPPED (1) to SERVICE_PAUSED (7): the values follow the states one to one.
constexpr std::uint32_t ReportedState(TCurrentStatus status) {
  return static_cast<std::uint32_t>(status) + 1;
}

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
