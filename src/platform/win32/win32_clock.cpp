#include "platform/win32/win32_api.h"
#include "platform/win32/win32_companion_parts.h"

namespace calvera::platform {

std::uint64_t Win32Clock::MillisecondsSinceStart() {
  return ::GetTickCount64();
}

std::int64_t Win32Clock::SystemTime() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return static_cast<std::int64_t>((std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime);
}

void Win32Clock::Sleep(std::uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

}  // namespace calvera::platform
