// The ten settings that every started tick reads, in the order it reads them.
#pragma once

#include <cstdint>

#include "platform/registry.h"

namespace calvera::maintenance {

struct MaintenanceSettings {
  std::int32_t memoryMaintain = 0;
  std::int32_t memoryFree = 0;
  bool processorLimit = false;
  std::int32_t processorTrigger = 0;
  bool batteryCheck = false;
  bool fullScreen = false;
  bool fullScreenCheck = false;
  std::int32_t executePeriod = 0;
  bool loadCalvera = false;
  bool defragMemory = false;
};

// Opens the policy key once, then reads each value with its default, the policy's value where
// it holds one of the right type (all but FullScreen), else the settings key's, each of those
// on its own; the level's and the amount's defaults follow the machine's total megabytes.
// Never fails.
MaintenanceSettings ReadMaintenanceSettings(platform::Registry& registry,
                                            std::int64_t totalMegabytes);

}  // namespace calvera::maintenance
