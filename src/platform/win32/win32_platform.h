// The real platform. This header stays free of <windows.h>.
#pragma once

#include "platform/platform.h"

namespace calvera::platform {

// The process's one real platform, created on first use.
Platform& Win32Platform();

}  // namespace calvera::platform
