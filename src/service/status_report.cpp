#include "service/status_report.h"

#include "service/service.h"

namespace calvera::service {

platform::ServiceStatus MakeStatusReport(const TService& service, std::uint32_t checkPoint) {
  platform::ServiceStatus record;
  record.serviceType = ServiceTypeCode(service.ServiceType(), service.Interactive());
  if (service.Status() != TCurrentStatus::csStartPending) {
    record.controlsAccepted = platform::kServiceAcceptShutdown;
    if (service.AllowStop()) {
      record.controlsAccepted |= platform::kServiceAcceptStop;
    }
    if (service.AllowPause()) {
      record.controlsAccepted |= platform::kServiceAcceptPauseContinue;
    }
  }
  record.checkPoint = checkPoint;
  record.currentState = ReportedState(service.Status());
  record.win32ExitCode =
      service.ErrCode() != 0 ? platform::kErrorServiceSpecificError : service.Win32ErrCode();
  record.serviceSpecificExitCode = service.ErrCode();
  record.waitHint = service.WaitHint();
  return record;
}

}  // namespace calvera::service
