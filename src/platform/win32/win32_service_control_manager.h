// The Service Control Manager through advapi32. The dispatcher blocks its calling thread;
// the other functions may be called from any thread.
#pragma once

#include "platform/service_control_manager.h"

namespace calvera::platform {

class Win32ServiceControlManager final : public ServiceControlManager {
 public:
  ErrorCode RunDispatcher(const ServiceTableEntry* table) override;
  ErrorCode RegisterControlHandler(const char16_t* serviceName,
                                   ServiceControlHandlerFunction handler,
                                   ServiceStatusHandle* handle) override;
  ErrorCode SetStatus(ServiceStatusHandle handle, const ServiceStatus& status) override;
  ErrorCode OpenManager(std::uint32_t access, ServiceHandle* manager) override;
  ErrorCode CreateServiceEntry(ServiceHandle manager,
                               const ServiceDefinition& definition,
                               ServiceHandle* service) override;
  ErrorCode OpenServiceEntry(ServiceHandle manager,
                             const char16_t* serviceName,
                             std::uint32_t access,
                             ServiceHandle* service) override;
  ErrorCode DeleteServiceEntry(ServiceHandle service) override;
  ErrorCode QueryServiceProcessId(ServiceHandle service, std::uint32_t* processId) override;
  ErrorCode ChangeFailureActions(ServiceHandle service,
                                 const ServiceFailureActions& actions) override;
  void CloseServiceHandle(ServiceHandle handle) override;
};

}  // namespace calvera::platform
