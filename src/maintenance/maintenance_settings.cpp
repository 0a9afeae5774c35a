#include "maintenance/maintenance_settings.h"

#include "config/custom_registry.h"
#include "config/policy_key.h"
#include "config/settings.h"

namespace calvera::maintenance {

MaintenanceSettings ReadMaintenanceSettings(platform::Registry& registry,
                                            std::int64_t totalMegabytes) {
  const bool large = totalMegabytes >= config::kLargeMemoryMegabytes;
  // Opened once for the whole reading; without a policy key this is one failed open.
  const config::PolicyKey policy(registry);
  MaintenanceSettings settings;
  settings.memoryMaintain =
      policy.ReadInteger(config::kMemoryMaintain.name, config::kMemoryMaintain.Fallback(large));
  settings.memoryFree =
      policy.ReadInteger(config::kMemoryFree.name, config::kMemoryFree.Fallback(large));
  settings.processorLimit = policy.ReadBool(config::kProcessorLimit);
  settings.processorTrigger =
      policy.ReadInteger(config::kProcessorTrigger.name, config::kProcessorTrigger.fallback);
  settings.batteryCheck = policy.ReadBool(config::kBatteryCheck);
  // The desktop application's report of the moment, never a policy.
  settings.fullScreen = config::ReadRegistryBool(registry, platform::RegistryRoot::kLocalMachine,
                                                 config::kSettingsKeyPath, config::kFullScreen.name,
                                                 config::kFullScreen.fallback, false);
  settings.fullScreenCheck = policy.ReadBool(config::kFullScreenCheck);
  settings.executePeriod =
      policy.ReadInteger(config::kExecutePeriod.name, config::kExecutePeriod.fallback);
  settings.loadCalvera = policy.ReadBool(config::kLoadCalvera);
  settings.defragMemory = policy.ReadBool(config::kDefragMemory);
  return settings;
}

}  // namespace calvera::maintenance
