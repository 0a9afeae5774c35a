// The Service Control Manager: the service side (dispatcher, control handler, status reports)
// and the installer side (opening the manager, creating, opening and deleting entries), with
// the numbers of its protocol.
#pragma once

#include <cstdint>
#include <span>

#include "platform/calling_convention.h"
#include "platform/types.h"

namespace calvera::platform {

// SERVICE_STATUS_HANDLE; {} is none. Never closed: it lives as long as the service.
enum class ServiceStatusHandle : std::uintptr_t {};
// SC_HANDLE of the manager or of a service entry; {} is none.
enum class ServiceHandle : std::uintptr_t {};

// Service types (SERVICE_KERNEL_DRIVER ...): an entry's type, and the type its reports carry.
inline constexpr std::uint32_t kServiceKernelDriver = 0x1;
inline constexpr std::uint32_t kServiceFileSystemDriver = 0x2;
inline constexpr std::uint32_t kServiceWin32OwnProcess = 0x10;
inline constexpr std::uint32_t kServiceInteractiveProcess = 0x100;

// Start types (SERVICE_BOOT_START ...) and error control (SERVICE_ERROR_IGNORE ...) of an entry.
inline constexpr std::uint32_t kServiceBootStart = 0;
inline constexpr std::uint32_t kServiceSystemStart = 1;
inline constexpr std::uint32_t kServiceAutoStart = 2;
inline constexpr std::uint32_t kServiceDemandStart = 3;
inline constexpr std::uint32_t kServiceDisabled = 4;
inline constexpr std::uint32_t kServiceErrorIgnore = 0;
inline constexpr std::uint32_t kServiceErrorNormal = 1;
inline constexpr std::uint32_t kServiceErrorSevere = 2;
inline constexpr std::uint32_t kServiceErrorCritical = 3;

// Current states of a status report (SERVICE_STOPPED ...).
inline constexpr std::uint32_t kServiceStopped = 1;
inline constexpr std::uint32_t kServiceStartPending = 2;
inline constexpr std::uint32_t kServiceStopPending = 3;
inline constexpr std::uint32_t kServiceRunning = 4;
inline constexpr std::uint32_t kServiceContinuePending = 5;
inline constexpr std::uint32_t kServicePausePending = 6;
inline constexpr std::uint32_t kServicePaused = 7;

// Control codes (SERVICE_CONTROL_STOP ...); codes from 128 on are the service's own.
inline constexpr std::uint32_t kServiceControlStop = 1;
inline constexpr std::uint32_t kServiceControlPause = 2;
inline constexpr std::uint32_t kServiceControlContinue = 3;
inline constexpr std::uint32_t kServiceControlInterrogate = 4;
inline constexpr std::uint32_t kServiceControlShutdown = 5;

// The controls a report accepts (SERVICE_ACCEPT_STOP ...), as bits.
inline constexpr std::uint32_t kServiceAcceptStop = 0x1;
inline constexpr std::uint32_t kServiceAcceptPauseContinue = 0x2;
inline constexpr std::uint32_t kServiceAcceptShutdown = 0x4;

// Access rights: SC_MANAGER_CONNECT, SC_MANAGER_ALL_ACCESS, SERVICE_CHANGE_CONFIG,
// SERVICE_QUERY_STATUS, SERVICE_START and SERVICE_ALL_ACCESS.
inline constexpr std::uint32_t kScManagerConnect = 0x0001;
inline constexpr std::uint32_t kScManagerAllAccess = 0xF003F;
inline constexpr std::uint32_t kServiceChangeConfig = 0x0002;
inline constexpr std::uint32_t kServiceQueryStatus = 0x0004;
inline constexpr std::uint32_t kServiceStart = 0x0010;
inline constexpr std::uint32_t kServiceAllAccess = 0xF01FF;

// The manager's error codes.
inline constexpr ErrorCode kErrorInvalidServiceControl = 1052;
inline constexpr ErrorCode kErrorServiceRequestTimeout = 1053;
inline constexpr ErrorCode kErrorServiceAlreadyRunning = 1056;
inline constexpr ErrorCode kErrorServiceDoesNotExist = 1060;
inline constexpr ErrorCode kErrorServiceCannotAcceptControl = 1061;
inline constexpr ErrorCode kErrorServiceNotActive = 1062;
inline constexpr ErrorCode kErrorFailedServiceControllerConnect = 1063;
// A report's Win32 exit code when its service-specific exit code holds the reason.
inline constexpr ErrorCode kErrorServiceSpecificError = 1066;
inline constexpr ErrorCode kErrorServiceMarkedForDelete = 1072;
inline constexpr ErrorCode kErrorServiceExists = 1073;

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

// What the manager does when the service's process ends without having reported SERVICE_STOPPED
// (SC_ACTION): SC_ACTION_NONE or SC_ACTION_RESTART, after `delayMilliseconds`.
inline constexpr std::uint32_t kScActionNone = 0;
inline constexpr std::uint32_t kScActionRestart = 1;
struct ServiceRecoveryAction {
  std::uint32_t type = kScActionNone;
  std::uint32_t delayMilliseconds = 0;
};

// SERVICE_FAILURE_ACTIONSW without a reboot message or a command (both left as they are): the
// n-th failure since the count was last reset takes the n-th action, and every later one the
// last; the count goes back to 0 after `resetPeriodSeconds` without a failure.
struct ServiceFailureActions {
  std::uint32_t resetPeriodSeconds = 0;
  std::span<const ServiceRecoveryAction> actions;
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

// Every function but the close returns the manager's error code, kErrorSuccess (0) when the
// call succeeded; a handle comes back through the last parameter, which holds {} whenever the
// call failed. Any thread may call, except where a function says otherwise.
class ServiceControlManager {
 public:
  virtual ~ServiceControlManager() = default;

  // StartServiceCtrlDispatcherW. Blocks the calling thread until every service of the table
  // has stopped; fails at once with kErrorFailedServiceControllerConnect when the process was
  // not started by the Service Control Manager.
  [[nodiscard]] virtual ErrorCode RunDispatcher(const ServiceTableEntry* table) = 0;
  // RegisterServiceCtrlHandlerW; on the service's entry thread.
  [[nodiscard]] virtual ErrorCode RegisterControlHandler(const char16_t* serviceName,
                                                         ServiceControlHandlerFunction handler,
                                                         ServiceStatusHandle* handle) = 0;
  // SetServiceStatus.
  [[nodiscard]] virtual ErrorCode SetStatus(ServiceStatusHandle handle,
                                            const ServiceStatus& status) = 0;

  // OpenSCManagerW(local computer, active database, access).
  [[nodiscard]] virtual ErrorCode OpenManager(std::uint32_t access, ServiceHandle* manager) = 0;
  // CreateServiceW: a new entry, opened with definition.desiredAccess.
  [[nodiscard]] virtual ErrorCode CreateServiceEntry(ServiceHandle manager,
                                                     const ServiceDefinition& definition,
                                                     ServiceHandle* service) = 0;
  // OpenServiceW.
  [[nodiscard]] virtual ErrorCode OpenServiceEntry(ServiceHandle manager,
                                                   const char16_t* serviceName,
                                                   std::uint32_t access,
                                                   ServiceHandle* service) = 0;
  // DeleteService: marks the entry for deletion; it goes when its last handle is closed.
  [[nodiscard]] virtual ErrorCode DeleteServiceEntry(ServiceHandle service) = 0;
  // QueryServiceStatusEx(SC_STATUS_PROCESS_INFO) of an entry opened with SERVICE_QUERY_STATUS:
  // the id of the process that runs the service, 0 while it is stopped.
  [[nodiscard]] virtual ErrorCode QueryServiceProcessId(ServiceHandle service,
                                                        std::uint32_t* processId) = 0;
  // ChangeServiceConfig2W(SERVICE_CONFIG_FAILURE_ACTIONS) of an entry opened with
  // kServiceChangeConfig (and kServiceStart for a restart action): the recovery actions.
  [[nodiscard]] virtual ErrorCode ChangeFailureActions(ServiceHandle service,
                                                       const ServiceFailureActions& actions) = 0;
  // CloseServiceHandle. Keeps the thread's last error as it was.
  virtual void CloseServiceHandle(ServiceHandle handle) = 0;
};

}  // namespace calvera::platform
