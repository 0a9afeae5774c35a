#include "platform/win32/win32_service_control_manager.h"

#include <type_traits>
#include <vector>

#include "platform/failure_policy.h"
#include "platform/win32/win32_api.h"

namespace calvera::platform {
namespace {

// The interface's callback types differ from the API's only in DWORD against std::uint32_t
// and wchar_t against char16_t, which share size and representation here.
static_assert(sizeof(ServiceMainFunction) == sizeof(LPSERVICE_MAIN_FUNCTIONW));
static_assert(sizeof(ServiceControlHandlerFunction) == sizeof(LPHANDLER_FUNCTION));

SC_HANDLE ServiceOf(ServiceHandle handle) {
  return ToNative<SC_HANDLE>(handle);
}

ErrorCode StartDispatcher(const ServiceTableEntry* table) {
  std::vector<SERVICE_TABLE_ENTRYW> entries;
  for (const ServiceTableEntry* entry = table;; ++entry) {
    if (entry->serviceName == nullptr && entry->serviceMain == nullptr) {
      break;
    }
    entries.push_back(
        SERVICE_TABLE_ENTRYW{const_cast<wchar_t*>(Wide(entry->serviceName)),
                             reinterpret_cast<LPSERVICE_MAIN_FUNCTIONW>(entry->serviceMain)});
  }
  entries.push_back(SERVICE_TABLE_ENTRYW{nullptr, nullptr});
  return CallResult(::StartServiceCtrlDispatcherW(entries.data()));
}

}  // namespace

ErrorCode Win32ServiceControlManager::RunDispatcher(const ServiceTableEntry* table) {
  return TryOrDefault([table] { return StartDispatcher(table); }, kErrorNotEnoughMemory);
}

ErrorCode Win32ServiceControlManager::RegisterControlHandler(const char16_t* serviceName,
                                                             ServiceControlHandlerFunction handler,
                                                             ServiceStatusHandle* handle) {
  return Handed(::RegisterServiceCtrlHandlerW(Wide(serviceName),
                                              reinterpret_cast<LPHANDLER_FUNCTION>(handler)),
                handle);
}

ErrorCode Win32ServiceControlManager::SetStatus(ServiceStatusHandle handle,
                                                const ServiceStatus& status) {
  SERVICE_STATUS record{status.serviceType,
                        status.currentState,
                        status.controlsAccepted,
                        status.win32ExitCode,
                        status.serviceSpecificExitCode,
                        status.checkPoint,
                        status.waitHint};
  return CallResult(::SetServiceStatus(ToNative<SERVICE_STATUS_HANDLE>(handle), &record));
}

ErrorCode Win32ServiceControlManager::OpenManager(std::uint32_t access, ServiceHandle* manager) {
  return Handed(::OpenSCManagerW(nullptr, nullptr, access), manager);
}

ErrorCode Win32ServiceControlManager::CreateServiceEntry(ServiceHandle manager,
                                                         const ServiceDefinition& definition,
                                                         ServiceHandle* service) {
  DWORD tag = definition.tagId != nullptr ? *definition.tagId : 0;
  const SC_HANDLE created = ::CreateServiceW(
      ServiceOf(manager), Wide(definition.serviceName), Wide(definition.displayName),
      definition.desiredAccess, definition.serviceType, definition.startType,
      definition.errorControl, Wide(definition.binaryPathName), Wide(definition.loadOrderGroup),
      definition.tagId != nullptr ? &tag : nullptr, Wide(definition.dependencies),
      Wide(definition.serviceStartName), Wide(definition.password));
  const ErrorCode error = Handed(created, service);
  if (created != nullptr && definition.tagId != nullptr) {
    *definition.tagId = tag;
  }
  return error;
}

ErrorCode Win32ServiceControlManager::OpenServiceEntry(ServiceHandle manager,
                                                       const char16_t* serviceName,
                                                       std::uint32_t access,
                                                       ServiceHandle* service) {
  return Handed(::OpenServiceW(ServiceOf(manager), Wide(serviceName), access), service);
}

ErrorCode Win32ServiceControlManager::DeleteServiceEntry(ServiceHandle service) {
  return CallResult(::DeleteService(ServiceOf(service)));
}

ErrorCode Win32ServiceControlManager::QueryServiceProcessId(ServiceHandle service,
                                                            std::uint32_t* processId) {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  const BOOL succeeded =
      ::QueryServiceStatusEx(ServiceOf(service), SC_STATUS_PROCESS_INFO,
                             reinterpret_cast<BYTE*>(&status), sizeof status, &needed);
  *processId = succeeded && status.dwCurrentState != SERVICE_STOPPED ? status.dwProcessId : 0;
  return CallResult(succeeded);
}

ErrorCode Win32ServiceControlManager::ChangeFailureActions(ServiceHandle service,
                                                           const ServiceFailureActions& actions) {
  return TryOrDefault(
      [&] {
        std::vector<SC_ACTION> native;
        for (const ServiceRecoveryAction& action : actions.actions) {
          native.push_back(
              SC_ACTION{static_cast<SC_ACTION_TYPE>(action.type), action.delayMilliseconds});
        }
        SERVICE_FAILURE_ACTIONSW record{actions.resetPeriodSeconds, nullptr, nullptr,
                                        static_cast<DWORD>(native.size()), native.data()};
        return CallResult(
            ::ChangeServiceConfig2W(ServiceOf(service), SERVICE_CONFIG_FAILURE_ACTIONS, &record));
      },
      kErrorNotEnoughMemory);
}

void Win32ServiceControlManager::CloseServiceHandle(ServiceHandle handle) {
  const LastErrorKeeper keeper;
  ::CloseServiceHandle(ServiceOf(handle));
}

}  // namespace calvera::platform
