#include "probes/windows_version.h"

#include <cstddef>
#include <cstring>

#include "platform/failure_policy.h"

namespace calvera::probes {
namespace {

// OSVERSIONINFOEXW; its first 276 bytes are OSVERSIONINFOW.
struct VersionRecord {
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
static_assert(sizeof(VersionRecord) == 284);
static_assert(offsetof(VersionRecord, dwMajorVersion) == 4);
static_assert(offsetof(VersionRecord, dwMinorVersion) == 8);
static_assert(offsetof(VersionRecord, szCSDVersion) == 20);
static_assert(offsetof(VersionRecord, wServicePackMajor) == 276);
static_assert(offsetof(VersionRecord, wProductType) == 282);

constexpr std::uint32_t kExtendedLength = sizeof(VersionRecord);
constexpr std::uint32_t kBasicLength = offsetof(VersionRecord, wServicePackMajor);

constexpr std::uint8_t kNoProductType = 0;
constexpr std::uint8_t kWorkstation = 1;

constexpr std::uint32_t kAnyMinor = 0xFFFFFFFF;

struct VersionRow {
  std::uint32_t major;
  std::uint32_t minor;  // kAnyMinor matches every minor version
  std::int32_t workstation;
  std::int32_t server;  // domain controller (2) and server (3)
  std::int32_t noProductType;
};

// Versions missing here, other minor versions of 5 and 6 among them, are unknown (-1).
constexpr VersionRow kVersionTable[] = {
    {5, 0, 0, 0, 0},           // 2000
    {5, 1, 1, 1, 1},           // XP
    {5, 2, 1, 2, -1},          // XP Professional x64 Edition; Server 2003 and 2003 R2
    {6, 0, 3, 4, -1},          // Vista; Server 2008
    {6, 1, 5, 4, -1},          // 7; Server 2008 R2
    {6, 2, 6, 7, -1},          // 8; Server 2012
    {6, 3, 6, 7, -1},          // 8.1; Server 2012 R2
    {10, kAnyMinor, 8, 8, 8},  // 10 and later
};

std::int32_t Classify(std::uint32_t major, std::uint32_t minor, std::uint8_t productType) {
  for (const VersionRow& row : kVersionTable) {
    if (row.major != major || (row.minor != kAnyMinor && row.minor != minor))
      continue;
    if (productType == kNoProductType)
      return row.noProductType;
    return productType == kWorkstation ? row.workstation : row.server;
  }
  return kUnknownWindowsVersion;
}

}  // namespace

std::int32_t GetWindowsVersionCode(platform::SystemInformation& system) noexcept {
  return TryOrDefault(
      [&] {
        VersionRecord record{};
        record.dwOSVersionInfoSize = kExtendedLength;
        std::uint8_t productType = kNoProductType;
        if (system.QueryVersion(&record) != 0) {
          productType = record.wProductType;
        } else {
          // Systems without the extended form still answer the basic one. Its result is not
          // looked at: a failed query leaves the cleared record, major version 0, unknown.
          std::memset(&record, 0, kBasicLength);
          record.dwOSVersionInfoSize = kBasicLength;
          static_cast<void>(system.QueryVersion(&record));
        }
        return Classify(record.dwMajorVersion, record.dwMinorVersion, productType);
      },
      kUnknownWindowsVersion);
}

}  // namespace calvera::probes
