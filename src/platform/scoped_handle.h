// One RAII owner per platform handle kind: the handle is closed through the platform
// interface that opened it, exactly once, when the owner goes out of scope. The close
// functions keep the thread's last error, so releasing a handle never hides the error of the
// call that failed before it.
#pragma once

#include <cassert>
#include <utility>

#include "platform/event_log.h"
#include "platform/registry.h"
#include "platform/service_control_manager.h"
#include "platform/system_libraries.h"
#include "platform/windowing.h"

namespace calvera::platform {

// Owns a `Handle` that `Close` of `Owner` releases; {} is none. Movable, not copyable; one
// thread at a time. An opener that hands its handle out through a parameter fills the owner in
// one step:
//
//   ScopedRegistryKey key(registry);
//   if (registry.OpenKey(root, path, access, key.put()) != kErrorSuccess) ...
template <typename Owner, typename Handle, void (Owner::*Close)(Handle)>
class ScopedHandle {
 public:
  // Owns nothing and has no owner: put() and reset(handle) need one.
  ScopedHandle() = default;
  // Owns nothing yet; put() and reset(handle) close through `owner`.
  explicit ScopedHandle(Owner& owner) : owner_(&owner) {}
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

  // Closes the handle held, if any, and holds `handle` instead.
  void reset(Handle handle = Handle{}) {
    assert(handle == Handle{} || owner_ != nullptr);
    if (handle_ != Handle{}) {
      (owner_->*Close)(std::exchange(handle_, Handle{}));
    }
    handle_ = handle;
  }

  // Closes the handle held, if any, and returns where an opener writes the new one. The
  // openers leave {} there when they fail.
  [[nodiscard]] Handle* put() {
    reset();
    assert(owner_ != nullptr);
    return &handle_;
  }

  // Gives the handle up without closing it; the caller closes it from now on.
  [[nodiscard]] Handle release() { return std::exchange(handle_, Handle{}); }

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
