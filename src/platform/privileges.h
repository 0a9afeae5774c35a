// The privileges of the calling process's token.
#pragma once

#include "platform/types.h"

namespace calvera::platform {

inline constexpr char16_t kIncreaseQuotaPrivilege[] = u"SeIncreaseQuotaPrivilege";
inline constexpr char16_t kProfileSingleProcessPrivilege[] = u"SeProfileSingleProcessPrivilege";

// AdjustTokenPrivileges succeeded, but the token does not hold the privilege.
inline constexpr ErrorCode kErrorNotAllAssigned = 1300;
inline constexpr ErrorCode kErrorNoSuchPrivilege = 1313;

// Enable returns the Windows error code, kErrorSuccess (0) when the privilege is enabled. Any
// thread may call.
class Privileges {
 public:
  virtual ~Privileges() = default;

  // Enables the privilege for the rest of the process's life (OpenProcessToken,
  // LookupPrivilegeValueW, AdjustTokenPrivileges). kErrorNotAllAssigned when the token does not
  // hold it, although AdjustTokenPrivileges itself succeeds then; kErrorNoSuchPrivilege for an
  // unknown name; otherwise the error of the call that failed.
  [[nodiscard]] virtual ErrorCode Enable(const char16_t* privilegeName) = 0;
};

}  // namespace calvera::platform
