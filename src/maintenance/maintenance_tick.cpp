#include "maintenance/maintenance_tick.h"

#include <algorithm>
#include <limits>

#include "config/custom_registry.h"
#include "config/settings.h"
#include "maintenance/date_time.h"
#include "maintenance/floating_point_environment.h"
#include "maintenance/maintenance_settings.h"
#include "maintenance/rounding.h"
#include "maintenance/shell.h"
#include "platform/failure_policy.h"
#include "platform/text.h"
#include "probes/ram.h"

namespace calvera::maintenance {
namespace {

using platform::RegistryRoot;

constexpr double kBytesPerMegabyte = 1048576.0;
constexpr std::int64_t kUptimeMinutesBeforeFreeing = 5;
constexpr std::uint8_t kOnBattery = 0;

std::int64_t Megabytes(std::int64_t bytes) {
  return RoundToInt64(static_cast<double>(bytes) / kBytesPerMegabyte);
}

// A percentage of a byte count, applied in floating point and rounded once.
std::int64_t PercentOf(std::int32_t percent, std::int64_t bytes) {
  return RoundToInt64(static_cast<double>(percent) / 100.0 * static_cast<double>(bytes));
}

}  // namespace

MaintenanceTick::MaintenanceTick(platform::Platform& platform) : platform_(platform) {}

void MaintenanceTick::MainTimerTimer() noexcept {
  // Every decision is made in the default environment, whatever a DLL loaded into this thread
  // left behind; the caller's environment is back when the tick returns.
  const ScopedDefaultFloatingPoint defaultFloatingPoint;
  TryOrIgnore([this] { Tick(); });
}

void MaintenanceTick::Tick() {
  WriteUpdateStamp();
  if (!ServiceStarted())
    return;
  if (const auto freeMegabytes = FreeMegabytesIfDue())
    Launch(*freeMegabytes);
}

void MaintenanceTick::WriteUpdateStamp() {
  auto& registry = platform_.registry;
  if (!config::ReadRegistryBool(registry, RegistryRoot::kLocalMachine, config::kSettingsKeyPath,
                                config::kUpdated.name, config::kUpdated.fallback, false)) {
    return;
  }
  // Cleared before the stamp, so a stamp is never written for an update seen twice.
  config::WriteRegistryBool(registry, RegistryRoot::kLocalMachine, config::kSettingsKeyPath,
                            config::kUpdated.name, false, false);
  const auto seconds = DateTimeToUnixSeconds(LocalTimeToDateTime(platform_.system.GetLocalTime()));
  config::WriteRegistryString(registry, RegistryRoot::kLocalMachine, config::kSettingsKeyPath,
                              config::kUpdatedDate, ToDecimal(seconds), false);
}

std::optional<std::int64_t> MaintenanceTick::FreeMegabytesIfDue() {
  auto& libraries = platform_.libraries;
  // The first reading only chooses the defaults; the second is the one the level and the
  // amount are taken from.
  const auto settings = ReadMaintenanceSettings(
      platform_.registry, Megabytes(probes::GetTotalPhysicalMemory(libraries)));
  const std::int64_t total = probes::GetTotalPhysicalMemory(libraries);
  const std::int64_t available = probes::GetAvailablePhysicalMemory(libraries);
  const std::int64_t maintainBytes = PercentOf(settings.memoryMaintain, total);
  const std::int64_t freeBytes = PercentOf(settings.memoryFree, total);
  // Never more than the machine has, and always a 32-bit amount: a stray MemoryFree must not
  // start millions of companions in one tick.
  const std::int64_t freeMegabytes = std::clamp(
      Megabytes(freeBytes), std::int64_t{std::numeric_limits<std::int32_t>::min()},
      std::min(Megabytes(total), std::int64_t{std::numeric_limits<std::int32_t>::max()}));

  if (available > maintainBytes)
    return std::nullopt;

  const std::int64_t nowSeconds = SecondsSinceStart();
  if (!GatesAllow(settings, nowSeconds))
    return std::nullopt;
  // 64-bit, so a huge period cannot overflow; a negative one still passes.
  if (nowSeconds - lastExecuteTime_ < std::int64_t{settings.executePeriod} * 60) {
    return std::nullopt;
  }
  // Recorded before the first launch: a failing launch does not undo the run.
  lastExecuteTime_ = SecondsSinceStart();
  return freeMegabytes;
}

bool MaintenanceTick::GatesAllow(const MaintenanceSettings& settings, std::int64_t nowSeconds) {
  // Every gate is evaluated, in this order, whatever the earlier ones said: the processor
  // sampler's interval runs from one low-memory tick to the next.
  bool allowed = true;
  if (settings.processorLimit &&
      RoundToInt64(processorLoad_.GetProcessorLoad(platform_)) > settings.processorTrigger) {
    allowed = false;
  }
  if (settings.batteryCheck) {
    // A power status that cannot be had leaves the gate open.
    TryOrIgnore([&] {
      if (platform_.system.AcLineStatus() == kOnBattery)
        allowed = false;
    });
  }
  if (settings.fullScreenCheck && settings.fullScreen)
    allowed = false;
  if (!settings.loadCalvera && !settings.defragMemory)
    allowed = false;
  if (RoundToInt64(static_cast<double>(nowSeconds) / 60.0) < kUptimeMinutesBeforeFreeing) {
    allowed = false;
  }
  return allowed;
}

void MaintenanceTick::Launch(std::int64_t freeMegabytes) {
  const std::u16string companion = CompanionProgramPath(platform_.process);
  if (companion.empty())
    return;
  // One launch at least, even for 0 or a negative amount; none is waited for.
  std::int64_t remaining = freeMegabytes;
  do {
    LaunchProgram(platform_.process, ownerWindow_, companion,
                  remaining >= kChunkMegabytes ? u"1024" : ToDecimal(remaining));
    remaining -= kChunkMegabytes;
  } while (remaining > 0);
}

std::int64_t MaintenanceTick::SecondsSinceStart() {
  return RoundToInt64(static_cast<double>(platform_.system.MillisecondsSinceStart()) / 1000.0);
}

}  // namespace calvera::maintenance
