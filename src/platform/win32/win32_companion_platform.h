// The companion program's real platform. This header stays free of <windows.h>.
#pragma once

#include "platform/companion_platform.h"

namespace calvera::platform {

// The process's one real companion platform, created on first use.
CompanionPlatform& Win32CompanionPlatform();

}  // namespace calvera::platform
