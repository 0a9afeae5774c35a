// The working set of the system file cache.
#pragma once

#include "platform/types.h"

namespace calvera::platform {

// TrimWorkingSet returns the Windows error code, kErrorSuccess (0) when the call succeeded. Any
// thread may call.
class SystemFileCache {
 public:
  virtual ~SystemFileCache() = default;

  // SetSystemFileCacheSize((SIZE_T)-1, (SIZE_T)-1, 0), looked up in kernel32 at run time: the
  // cache's working set is emptied, its pages stay in memory on the standby list. Flags 0: the
  // hard-limit flags would leave a lasting cap. Needs SeIncreaseQuotaPrivilege enabled.
  // kErrorProcNotFound when the entry point is missing.
  [[nodiscard]] virtual ErrorCode TrimWorkingSet() = 0;
};

}  // namespace calvera::platform
