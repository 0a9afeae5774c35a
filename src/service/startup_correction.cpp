#include "service/startup_correction.h"

#include "config/custom_registry.h"
#include "config/settings.h"

namespace calvera::service {

void ApplyStartupCorrection(platform::Registry& registry) noexcept {
  using config::kDefragMemory;
  using config::kLoadCalvera;
  using config::kSettingsKeyPath;
  constexpr auto kRoot = platform::RegistryRoot::kLocalMachine;
  if (config::ReadRegistryBool(registry, kRoot, kSettingsKeyPath, kLoadCalvera.name,
                               kLoadCalvera.fallback, false)) {
    return;
  }
  if (!config::ReadRegistryBool(registry, kRoot, kSettingsKeyPath, kDefragMemory.name,
                                kDefragMemory.fallback, false)) {
    return;
  }
  config::WriteRegistryBool(registry, kRoot, kSettingsKeyPath, kDefragMemory.name, false, false);
}

}  // namespace calvera::service
