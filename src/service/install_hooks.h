// The service module's installation hooks: the localized display name before the entry is
// created, and the description after. On the main thread; each swallows its own failures.
#pragma once

#include "platform/platform.h"
#include "service/service.h"

namespace calvera::service {

// DisplayName := the "DisplayName" caption of the module's form; an empty caption leaves it
// empty, so the entry takes the service name.
void ServiceBeforeInstall(platform::Platform& platform, TService& sender) noexcept;

// Writes the "Description" caption, even an empty one, as the value Description of the
// service's own registry key.
void ServiceAfterInstall(platform::Platform& platform, TService& sender) noexcept;

}  // namespace calvera::service
