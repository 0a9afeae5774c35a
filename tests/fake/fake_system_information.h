// Fake version, clock, local time and power status, each as a test scripts it. QueryVersion
// behaves like GetVersionExW: it honours the size field (284 extended, 276 basic, anything
// else fails) and writes only that much. Any thread may call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/system_information.h"

namespace calvera::fake {

class FakeSystemInformation : public platform::SystemInformation {
 public:
  enum class VersionFailure { kNone, kExtended, kBoth };

  // platform::SystemInformation
  std::int32_t QueryVersion(void* record) override;
  std::uint64_t MillisecondsSinceStart() override;
  platform::LocalTime GetLocalTime() override;
  std::optional<std::uint8_t> AcLineStatus() override;

  // The version GetVersionExW reports; 6.1 workstation (product type 1) at first.
  void SetVersion(std::uint32_t major, std::uint32_t minor, std::uint8_t productType);
  // kExtended: only the basic form (size 276) is answered, as before NT 4.0 SP6.
  void SetVersionFailure(VersionFailure failure);
  // GetVersionExW calls, failing ones included.
  std::size_t VersionQueries() const;

  // GetTickCount64; 0 at first.
  void SetMilliseconds(std::uint64_t milliseconds);
  void SetLocalTime(platform::LocalTime time);
  // nullopt: GetSystemPowerStatus fails. 1 (mains) at first.
  void SetAcLineStatus(std::optional<std::uint8_t> status);
  std::size_t PowerStatusQueries() const;

 private:
  mutable std::mutex mutex_;
  std::uint32_t major_ = 6;
  std::uint32_t minor_ = 1;
  std::uint8_t productType_ = 1;
  VersionFailure versionFailure_ = VersionFailure::kNone;
  std::size_t versionQueries_ = 0;
  std::uint64_t milliseconds_ = 0;
  platform::LocalTime localTime_{2024, 1, 1, 1, 0, 0, 0, 0};
  std::optional<std::uint8_t> acLineStatus_ = 1;
  std::size_t powerStatusQueries_ = 0;
};

}  // namespace calvera::fake
