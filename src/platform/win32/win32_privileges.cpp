#include "platform/win32/win32_api.h"
#include "platform/win32/win32_companion_parts.h"
#include "platform/win32/win32_system_function.h"

namespace calvera::platform {

ErrorCode Win32Privileges::Enable(const char16_t* privilegeName) {
  KernelHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          token.put())) {
    return static_cast<ErrorCode>(::GetLastError());
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!::LookupPrivilegeValueW(nullptr, Wide(privilegeName), &privileges.Privileges[0].Luid)) {
    return static_cast<ErrorCode>(::GetLastError());
  }
  if (!::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr)) {
    return static_cast<ErrorCode>(::GetLastError());
  }
  // Success still leaves ERROR_NOT_ALL_ASSIGNED when the token does not hold the privilege.
  return static_cast<ErrorCode>(::GetLastError());
}

}  // namespace calvera::platform
