#include "e2e/support/machine.h"

#include <windows.h>

namespace calvera::e2e {

MemoryReading ReadMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status))
    return {};
  return {static_cast<std::int64_t>(status.ullTotalPhys),
          static_cast<std::int64_t>(status.ullAvailPhys)};
}

std::optional<std::uint8_t> AcLineStatus() {
  SYSTEM_POWER_STATUS status{};
  if (!GetSystemPowerStatus(&status))
    return std::nullopt;
  return status.ACLineStatus;
}

std::int64_t LocalSecondsSince1970() {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  FILETIME asIfUtc{};
  SystemTimeToFileTime(&local, &asIfUtc);
  const std::uint64_t ticks = (std::uint64_t{asIfUtc.dwHighDateTime} << 32) | asIfUtc.dwLowDateTime;
  constexpr std::uint64_t kTicksFrom1601To1970 = 116444736000000000ull;
  return static_cast<std::int64_t>((ticks - kTicksFrom1601To1970) / 10000000ull);
}

}  // namespace calvera::e2e
