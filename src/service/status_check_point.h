// The check point that status reports count while a state stays pending.
#pragma once

#include <cstdint>

#include "service/current_status.h"

namespace calvera::service {

// One per service; the executable hosts one service with one run, so its starting values are
// those of the process's load. Used by whichever thread reports, one at a time.
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

}  // namespace calvera::service
