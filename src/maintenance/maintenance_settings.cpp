#include "maintenance/maintenance_settings.h"

#include "config/custom_registry.h"
#include "config/settings.h"

namespace calvera::maintenance {
namespace {

using platform::RegistryRoot;

std::int32_t Read(platform::Registry& registry, const char16_t* name, std::int32_t fallback) {
  return config::ReadRegistryInteger(registry, RegistryRoot::kLocalMachine,
                                     config::kSettingsKeyPath, name, fallback, false);
}

bool Read(platform::Registry& registry, const config::Setting<bool>& setting) {
  return config::ReadRegistryBool(registry, RegistryRoot::kLocalMachine, config::kSettingsKeyPath,
                                  setting.name, setting.fallback, false);
}

}  // namespace

MaintenanceSettings ReadMaintenanceSettings(platform::Registry& registry,
                                            std::int64_t totalMegabytes) {
  const bool large = totalMegabytes >= config::kLargeMemoryMegabytes;
  MaintenanceSettings settings;
  settings.memoryMaintain =
      Read(registry, config::kMemoryMaintain.name, config::kMemoryMaintain.Fallback(large));
  settings.memoryFree =
      Read(registry, config::kMemoryFree.name, config::kMemoryFree.Fallback(large));
  settings.processorLimit = Read(registry, config::kProcessorLimit);
  settings.processorTrigger =
      Read(registry, config::kProcessorTrigger.name, config::kProcessorTrigger.fallback);
  settings.batteryCheck = Read(registry, config::kBatteryCheck);
  settings.fullScreen = Read(registry, config::kFullScreen);
  settings.fullScreenCheck = Read(registry, config::kFullScreenCheck);
  settings.executePeriod =
      Read(registry, config::kExecutePeriod.name, config::kExecutePeriod.fallback);
  settings.loadCalvera = Read(registry, config::kLoadCalvera);
  settings.defragMemory = Read(registry, config::kDefragMemory);
  return settings;
}

}  // namespace calvera::maintenance
