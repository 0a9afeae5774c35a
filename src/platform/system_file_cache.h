// The working set of the system file cache. Any thread may call.
#pragma once

#include "platform/status_codes.h"

namespace calvera::platform {

class SystemFileCache {
 public:
  virtual ~SystemFileCache() = default;

  // SetSystemFileCacheSize((SIZE_T)-1, (SIZE_T)-1, 0), looked up in kernel32 at run time: the
  // cache's working set is emptied, its pages stay in memory on the standby list. Flags 0: the
  // hard-limit flags would leave a lasting cap. Needs SeIncreaseQuotaPrivilege enabled. 0, the
  // error, or kErrorProcNotFound when the entry point is missing.
  virtual ErrorCode TrimWorkingSet() = 0;
};

}  // namespace calvera::platform
