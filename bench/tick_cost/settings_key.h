// The settings key of the real registry, in the 32-bit view that the system reads, set up for
// one tick path. One thread.
#pragma once

#include <span>

#include "platform/registry.h"
#include "support/tick_paths.h"

namespace calvera::bench {

// Replaces the key's values with `settings`, each a REG_DWORD. False when it cannot.
[[nodiscard]] bool StoreSettings(platform::Registry& registry,
                                 std::span<const StoredSetting> settings);

// Deletes the key with its values.
void RemoveSettings(platform::Registry& registry);

}  // namespace calvera::bench
