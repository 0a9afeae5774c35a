#include "fake/fake_system_information.h"

#include <cstring>

namespace calvera::fake {
namespace {

struct VersionInfo {  // OSVERSIONINFOEXW; its first 276 bytes are OSVERSIONINFOW
  std::uint32_t dwOSVersionInfoSize;
  std::uint32_t dwMajorVersion;
  std::uint32_t dwMinorVersion;
  std::uint32_t dwBuildNumber;
  std::uint32_t dwPlatformId;
  char16_t szCSDVersion[128];
  std::uint16_t wServicePackMajor;
  std::uint16_t wServicePackMinor;
  std::uint16_t wSuiteMask;
  std::uint8_t wProductType;
  std::uint8_t wReserved;
};
constexpr std::uint32_t kExtendedSize = sizeof(VersionInfo);
constexpr std::uint32_t kBasicSize = 276;
static_assert(kExtendedSize == 284);

constexpr std::uint32_t kPlatformNt = 2;
constexpr std::uint16_t kSuiteSingleUserTs = 0x0100;

}  // namespace

std::int32_t FakeSystemInformation::QueryVersion(void* record) {
  std::lock_guard lock(mutex_);
  ++versionQueries_;
  if (record == nullptr || versionFailure_ == VersionFailure::kBoth)
    return 0;
  std::uint32_t size = 0;
  std::memcpy(&size, record, sizeof size);
  if (size != kExtendedSize && size != kBasicSize)
    return 0;
  if (size == kExtendedSize && versionFailure_ == VersionFailure::kExtended)
    return 0;
  VersionInfo info{};
  info.dwOSVersionInfoSize = size;
  info.dwMajorVersion = major_;
  info.dwMinorVersion = minor_;
  info.dwBuildNumber = 7601;
  info.dwPlatformId = kPlatformNt;
  const char16_t servicePack[] = u"Service Pack 1";
  std::memcpy(info.szCSDVersion, servicePack, sizeof servicePack);
  info.wServicePackMajor = 1;
  info.wSuiteMask = kSuiteSingleUserTs;
  info.wProductType = productType_;
  std::memcpy(record, &info, size);
  return 1;
}

std::uint64_t FakeSystemInformation::MillisecondsSinceStart() {
  std::lock_guard lock(mutex_);
  return milliseconds_;
}

platform::LocalTime FakeSystemInformation::GetLocalTime() {
  std::lock_guard lock(mutex_);
  return localTime_;
}

std::optional<std::uint8_t> FakeSystemInformation::AcLineStatus() {
  std::lock_guard lock(mutex_);
  ++powerStatusQueries_;
  return acLineStatus_;
}

void FakeSystemInformation::SetVersion(std::uint32_t major,
                                       std::uint32_t minor,
                                       std::uint8_t productType) {
  std::lock_guard lock(mutex_);
  major_ = major;
  minor_ = minor;
  productType_ = productType;
}

void FakeSystemInformation::SetVersionFailure(VersionFailure failure) {
  std::lock_guard lock(mutex_);
  versionFailure_ = failure;
}

std::size_t FakeSystemInformation::VersionQueries() const {
  std::lock_guard lock(mutex_);
  return versionQueries_;
}

void FakeSystemInformation::SetMilliseconds(std::uint64_t milliseconds) {
  std::lock_guard lock(mutex_);
  milliseconds_ = milliseconds;
}

void FakeSystemInformation::SetLocalTime(platform::LocalTime time) {
  std::lock_guard lock(mutex_);
  localTime_ = time;
}

void FakeSystemInformation::SetAcLineStatus(std::optional<std::uint8_t> status) {
  std::lock_guard lock(mutex_);
  acLineStatus_ = status;
}

std::size_t FakeSystemInformation::PowerStatusQueries() const {
  std::lock_guard lock(mutex_);
  return powerStatusQueries_;
}

}  // namespace calvera::fake
