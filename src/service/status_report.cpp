#include "service/status_report.h"

#include "service/service.h"

namespace calvera::service {

namespace {
constexpr std::uint32_t kAcceptStop = 0x1;
constexpr std::uint32_t kAcceptPauseContinue = 0x2;
constexpr std::uint32_t kAcceptShutdown = 0x4;
constexpr std::uint32_t kErrorServiceSpecificError = 1066;
}  // namespace

platform::ServiceStatus MakeStatusReport(const TService& service, std::uint32_t checkPoint) {
  platform::ServiceStatus record;
  record.serviceType = ServiceTypeCode(service.ServiceType(), service.Interactive());
  if (service.Status() != TCurrentStatus::csStartPending) {
    record.controlsAccepted = kAcceptShutdown;
    if (service.AllowStop()) {
      record.controlsAccepted |= kAcceptStop;
    }
    if (service.AllowPause()) {
      record.controlsAccepted |= kAcceptPauseContinue;
    }
  }
  record.checkPoint = checkPoint;
  record.currentState = ReportedState(service.Status());
  record.win32ExitCode =
      service.ErrCode() != 0 ? kErrorServiceSpecificError : service.Win32ErrCode();
  record.serviceSpecificExitCode = service.ErrCode();
  record.waitHint = service.WaitHint();
  return record;
}

}  // namespace calvera::service
