// Version, clock, local time and power status of the machine.
#pragma once

#include <cstdint>
#include <optional>

namespace calvera::platform {

// SYSTEMTIME.
struct LocalTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t dayOfWeek = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
};

// The version and power queries say a failure by their result, as their comments say, with no
// error code; the clocks cannot fail. Any thread may call.
class SystemInformation {
 public:
  virtual ~SystemInformation() = default;

  // GetVersionExW on the OSVERSIONINFO(EX)W record at `record`, whose first 4 bytes hold its
  // size (284 or 276). Non-zero on success, as the BOOL.
  virtual std::int32_t QueryVersion(void* record) = 0;
  // GetTickCount64: milliseconds since the system started. 64 bits wide, so it does not
  // wrap after 49.7 days as GetTickCount does.
  virtual std::uint64_t MillisecondsSinceStart() = 0;
  // GetLocalTime.
  virtual LocalTime GetLocalTime() = 0;
  // ACLineStatus of GetSystemPowerStatus (0 battery, 1 mains, 255 unknown); nullopt when
  // the call fails.
  virtual std::optional<std::uint8_t> AcLineStatus() = 0;
};

}  // namespace calvera::platform
