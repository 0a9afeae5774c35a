// The Service Control Manager: the service side (dispatcher, control handler, status reports)
// and the installer side (opening the manager, creating, opening and deleting entries).
#pragma once

#include <cstdint>

#include "platform/calling_convention.h"
#include "platform/types.h"

namespace calvera::platform {

// SERVICE_STATUS_HANDLE; {} is none. Never closed: it lives as long as the service.
enum class ServiceStatusHandle : std::uintptr_t {};
// SC_HANDLE of the manager or of a service entry; {} is none.
enum class ServiceHandle : std::uintptr_t {};

// SERVICE_STATUS, field by field.
struct ServiceStatus {
  std::uint32_t serviceType = 0;
  std::uint32_t currentState = 0;
  std::uint32_t controlsAccepted = 0;
  std::uint32_t win32ExitCode = 0;
  std::uint32_t serviceSpecificExitCode = 0;
  std::uint32_t checkPoint = 0;
  std::uint32_t waitHint = 0;

  friend bool operator==(const ServiceStatus&, const ServiceStatus&) = default;
};

// LPSERVICE_MAIN_FUNCTIONW: argv[0] is the service name.
using ServiceMainFunction = void(CALVERA_WINAPI*)(std::uint32_t argc, char16_t** argv);
// LPHANDLER_FUNCTION.
using ServiceControlHandlerFunction = void(CALVERA_WINAPI*)(std::uint32_t control);

// SERVICE_TABLE_ENTRYW; a table ends with an all-null entry.
struct ServiceTableEntry {
  const char16_t* serviceName = nullptr;
  ServiceMainFunction serviceMain = nullptr;
};

// The arguments of CreateServiceW after the manager handle. Strings are NUL-terminated;
// `dependencies` is a list of NUL-terminated names ended by one more NUL.
struct ServiceDefinition {
  const char16_t* serviceName = nullptr;
  const char16_t* displayName = nullptr;
  std::uint32_t desiredAccess = 0;
  std::uint32_t serviceType = 0;
  std::uint32_t startType = 0;
  std::uint32_t errorControl = 0;
  const char16_t* binaryPathName = nullptr;
  const char16_t* loadOrderGroup = nullptr;
  std::uint32_t* tagId = nullptr;  // may be null
  const char16_t* dependencies = nullptr;
  const char16_t* serviceStartName = nullptr;  // null: the local system account
  const char16_t* password = nullptr;
};

// Functions that fail return 0 (or false) and put the error code in *error where given.
class ServiceControlManager {
 public:
  virtual ~ServiceControlManager() = default;

  // StartServiceCtrlDispatcherW. Blocks until every service of the table has stopped;
  // fails at once (1063) when the process was not started by the Service Control Manager.
  // Returns 0 or the error code.
  virtual ErrorCode RunDispatcher(const ServiceTableEntry* table) = 0;
  // RegisterServiceCtrlHandlerW; called on the service's entry thread.
  virtual ServiceStatusHandle RegisterControlHandler(const char16_t* serviceName,
                                                     ServiceControlHandlerFunction handler,
                                                     ErrorCode* error) = 0;
  // SetServiceStatus. Returns 0 or the error code.
  virtual ErrorCode SetStatus(ServiceStatusHandle handle, const ServiceStatus& status) = 0;

  // OpenSCManagerW(local computer, active database, access).
  virtual ServiceHandle OpenManager(std::uint32_t access, ErrorCode* error) = 0;
  // CreateServiceW.
  virtual ServiceHandle CreateService(ServiceHandle manager,
                                      const ServiceDefinition& definition,
                                      ErrorCode* error) = 0;
  // OpenServiceW.
  virtual ServiceHandle OpenService(ServiceHandle manager,
                                    const char16_t* serviceName,
                                    std::uint32_t access,
                                    ErrorCode* error) = 0;
  // DeleteService. Returns 0 or the error code.
  virtual ErrorCode DeleteService(ServiceHandle service) = 0;
  // CloseServiceHandle. Keeps the thread's last error as it was.
  virtual void CloseServiceHandle(ServiceHandle handle) = 0;
};

}  // namespace calvera::platform
