// The correction applied at every start of the executable, installation runs included.
#pragma once

#include "platform/registry.h"

namespace calvera::service {

// When "LoadCalvera" reads false and "DefragMemory" reads true (both default true), writes
// "DefragMemory" := false; otherwise writes nothing. Swallows every failure.
void ApplyStartupCorrection(platform::Registry& registry) noexcept;

}  // namespace calvera::service
