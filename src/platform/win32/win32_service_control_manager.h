// The Service Control Manager through advapi32. The dispatcher blocks its calling thread;
// the other functions may be called from any thread.
#pragma once

#include "platform/service_control_manager.h"

namespace calvera::platform {

class Win32ServiceControlManager final : public ServiceControlManager {
 public:
  ErrorCode RunDispatcher(const ServiceTableEntry* table) override;
  ServiceStatusHandle RegisterControlHandler(const char16_t* serviceName,
                                             ServiceControlHandlerFunction handler,
                                             ErrorCode* error) override;
  ErrorCode SetStatus(ServiceStatusHandle handle, const ServiceStatus& status) override;
  ServiceHandle OpenManager(std::uint32_t access, ErrorCode* error) override;
  ServiceHandle CreateService(ServiceHandle manager,
                              const ServiceDefinition& definition,
                              ErrorCode* error) override;
  ServiceHandle OpenService(ServiceHandle manager,
                            const char16_t* serviceName,
                            std::uint32_t access,
                            ErrorCode* error) override;
  ErrorCode DeleteService(ServiceHandle service) override;
  void CloseServiceHandle(ServiceHandle handle) override;
};

}  // namespace calvera::platform
