#include "service/status_protocol.h"

#include "service/service.h"

namespace calvera::service {

std::uint32_t ServiceTypeCode(TServiceType type, bool interactive) {
  switch (type) {
    case TServiceType::stDevice:
      return platform::kServiceKernelDriver;
    case TServiceType::stFileSystem:
      return platform::kServiceFileSystemDriver;
    case TServiceType::stWin32:
      break;
  }
  return interactive ? platform::kServiceWin32OwnProcess | platform::kServiceInteractiveProcess
                     : platform::kServiceWin32OwnProcess;
}

std::uint32_t StatusCheckPoint::Advance(TCurrentStatus status) {
  statusCheckPoint_ =
      IsPending(status) && status == lastReportedStatus_ ? statusCheckPoint_ + 1 : 0;
  lastReportedStatus_ = status;
  return statusCheckPoint_;
}

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
