// The once-a-second decision whether and how much memory to free, and the companion
// launches it leads to.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "platform/platform.h"
#include "probes/cpu.h"

namespace calvera::maintenance {

struct MaintenanceSettings;

class MaintenanceTick {
 public:
  // The largest amount one companion launch is asked to free, in megabytes.
  static constexpr std::int64_t kChunkMegabytes = 1024;

  explicit MaintenanceTick(platform::Platform& platform);
  MaintenanceTick(const MaintenanceTick&) = delete;
  MaintenanceTick& operator=(const MaintenanceTick&) = delete;

  // The handler of the service module's timer, on the main thread: the update stamp on every
  // tick, and once the service has started, the decision and the launches. Never throws; a
  // failure ends the tick where it happened, and what was done stays done. The arithmetic is
  // done in the default floating-point environment; the caller's is restored on return.
  void MainTimerTimer() noexcept;

  // Set once by the service's start handler, on the service thread; read by every tick.
  void SetServiceStarted() { serviceStarted_.store(true, std::memory_order_relaxed); }
  bool ServiceStarted() const { return serviceStarted_.load(std::memory_order_relaxed); }

  // The owner window of the companion launches: the hidden application window. Set before
  // the first tick, on the main thread.
  void SetOwnerWindow(platform::WindowHandle window) { ownerWindow_ = window; }

  // Seconds since system start when the latest freeing run began; 0 before the first.
  std::int64_t LastExecuteTime() const { return lastExecuteTime_; }

 private:
  void Tick();
  void WriteUpdateStamp();
  // The megabytes to free when a freeing run is due now (and then records its start), else
  // nullopt.
  std::optional<std::int64_t> FreeMegabytesIfDue();
  bool GatesAllow(const MaintenanceSettings& settings, std::int64_t nowSeconds);
  void Launch(std::int64_t freeMegabytes);
  std::int64_t SecondsSinceStart();

  platform::Platform& platform_;
  std::atomic<bool> serviceStarted_{false};
  platform::WindowHandle ownerWindow_{};
  // Seconds from the 64-bit millisecond count, so that neither the period nor the uptime
  // test is thrown off when the 32-bit count would wrap after 49.7 days.
  std::int64_t lastExecuteTime_ = 0;
  probes::ProcessorLoadSampler processorLoad_;
};

}  // namespace calvera::maintenance
