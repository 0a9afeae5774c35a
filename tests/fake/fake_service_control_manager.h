// Fake Service Control Manager. (Fleshed out with the service base.)
#pragma once

#include "platform/service_control_manager.h"

namespace calvera::fake {

class FakeServiceControlManager : public platform::ServiceControlManager {
 public:
  platform::ErrorCode RunDispatcher(const platform::ServiceTableEntry*) override {
    return platform::kErrorFailedServiceControllerConnect;
  }
  platform::ServiceStatusHandle RegisterControlHandler(const char16_t*,
                                                       platform::ServiceControlHandlerFunction,
                                                       platform::ErrorCode* error) override {
    if (error) *error = platform::kErrorInvalidHandle;
    return 0;
  }
  platform::ErrorCode SetStatus(platform::ServiceStatusHandle,
                                const platform::ServiceStatus&) override {
    return platform::kErrorInvalidHandle;
  }
  platform::ServiceHandle OpenManager(std::uint32_t, platform::ErrorCode* error) override {
    if (error) *error = platform::kErrorAccessDenied;
    return 0;
  }
  platform::ServiceHandle CreateService(platform::ServiceHandle, const platform::ServiceDefinition&,
                                        platform::ErrorCode* error) override {
    if (error) *error = platform::kErrorAccessDenied;
    return 0;
  }
  platform::ServiceHandle OpenService(platform::ServiceHandle, const char16_t*, std::uint32_t,
                                      platform::ErrorCode* error) override {
    if (error) *error = platform::kErrorServiceDoesNotExist;
    return 0;
  }
  platform::ErrorCode DeleteService(platform::ServiceHandle) override {
    return platform::kErrorInvalidHandle;
  }
  void CloseServiceHandle(platform::ServiceHandle) override {}
};

}  // namespace calvera::fake
