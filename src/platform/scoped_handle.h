// One RAII owner per platform handle kind: the handle is closed through the platform
// interface that opened it, exactly once, when the owner goes out of scope.
#pragma once

#include <utility>

#include "platform/event_log.h"
#include "platform/registry.h"
#include "platform/service_control_manager.h"
#include "platform/system_libraries.h"
#include "platform/windowing.h"

namespace calvera::platform {

template <typename Owner, typename Handle, void (Owner::*Close)(Handle)>
class ScopedHandle {
 public:
  ScopedHandle() = default;
  ScopedHandle(Owner& owner, Handle handle) : owner_(&owner), handle_(handle) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept
      : owner_(other.owner_), handle_(std::exchange(other.handle_, Handle{})) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      reset();
      owner_ = other.owner_;
      handle_ = std::exchange(other.handle_, Handle{});
    }
    return *this;
  }
  ~ScopedHandle() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Handle{}; }

  void reset() {
    if (handle_ != Handle{}) {
      (owner_->*Close)(std::exchange(handle_, Handle{}));
    }
  }

 private:
  Owner* owner_ = nullptr;
  Handle handle_{};
};

using ScopedRegistryKey = ScopedHandle<Registry, RegistryKeyHandle, &Registry::CloseKey>;
using ScopedLibrary = ScopedHandle<SystemLibraries, LibraryHandle, &SystemLibraries::Free>;
using ScopedServiceHandle =
    ScopedHandle<ServiceControlManager, ServiceHandle, &ServiceControlManager::CloseServiceHandle>;
using ScopedEventSource = ScopedHandle<EventLog, EventSourceHandle, &EventLog::DeregisterSource>;
using ScopedWindow = ScopedHandle<Windowing, WindowHandle, &Windowing::DestroyWindow>;

}  // namespace calvera::platform
