#include "service/status_check_point.h"

namespace calvera::service {

std::uint32_t StatusCheckPoint::Advance(TCurrentStatus status) {
  statusCheckPoint_ =
      IsPending(status) && status == lastReportedStatus_ ? statusCheckPoint_ + 1 : 0;
  lastReportedStatus_ = status;
  return statusCheckPoint_;
}

}  // namespace calvera::service
