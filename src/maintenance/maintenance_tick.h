// The once-a-second decision whether and how much memory to free, and the companion
// launches it leads to.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"
#include "probes/cpu.h"

namespace calvera::maintenance {

class MaintenanceTick {
 public:
  explicit MaintenanceTick(platform::Platform& platform);
  MaintenanceTick(const MaintenanceTick&) = delete;
  MaintenanceTick& operator=(const MaintenanceTick&) = delete;

  // The handler of the service module's timer; on the main thread. Never throws.
  void MainTimerTimer() noexcept;

  // Set once by the service's start handler, on the service thread; read by every tick.
  void SetServiceStarted() { serviceStarted_.store(true, std::memory_order_relaxed); }
  bool ServiceStarted() const { return serviceStarted_.load(std::memory_order_relaxed); }

  // The owner window of the companion launches: the hidden application window.
  void SetOwnerWindow(platform::WindowHandle window) { ownerWindow_ = window; }

  // Seconds since system start at the start of the latest freeing run; 0 before the first.
  std::int64_t LastExecuteTime() const { return lastExecuteTime_; }

 private:
  platform::Platform& platform_;
  std::atomic<bool> serviceStarted_{false};
  platform::WindowHandle ownerWindow_ = 0;
  std::int64_t lastExecuteTime_ = 0;
  probes::ProcessorLoadSampler processorLoad_;
};

}  // namespace calvera::maintenance
