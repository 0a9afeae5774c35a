// The privileges of the calling process's token. Any thread may call.
#pragma once

#include "platform/status_codes.h"

namespace calvera::platform {

inline constexpr char16_t kIncreaseQuotaPrivilege[] = u"SeIncreaseQuotaPrivilege";
inline constexpr char16_t kProfileSingleProcessPrivilege[] = u"SeProfileSingleProcessPrivilege";

class Privileges {
 public:
  virtual ~Privileges() = default;

  // Enables the privilege for the rest of the process's life (OpenProcessToken,
  // LookupPrivilegeValueW, AdjustTokenPrivileges). 0 when it is enabled; kErrorNotAllAssigned
  // when the token does not hold it, although AdjustTokenPrivileges itself succeeds then;
  // kErrorNoSuchPrivilege for an unknown name; otherwise the error of the call that failed.
  virtual ErrorCode Enable(const char16_t* privilegeName) = 0;
};

}  // namespace calvera::platform
