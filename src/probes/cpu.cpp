#include "probes/cpu.h"

#include <array>
#include <cstring>
#include <optional>

#include "platform/entry_points.h"
#include "platform/failure_policy.h"
#include "platform/scoped_handle.h"
#include "probes/windows_version.h"

namespace calvera::probes {
namespace {

constexpr const SystemInformationLayout& kLayout = kSystemInformationLayout;
constexpr std::int32_t kFirstVersionWithLargePerformanceRecord = 5;

// Large enough for either performance length, and aligned as the system's records are.
template <std::size_t Size>
struct alignas(8) Record {
  std::array<unsigned char, Size> bytes{};

  template <typename T>
  T Read(std::size_t offset) const {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
  }
};

double ToDouble(std::int64_t value) {
  const auto bits = static_cast<std::uint64_t>(value);
  return LargeIntegerToDouble(static_cast<std::uint32_t>(bits),
                              static_cast<std::int32_t>(bits >> 32));
}

struct Sample {
  std::int64_t idleTime;
  std::int64_t systemTime;
  std::uint8_t processors;
};

// The three queries in their order; the first failing one ends the sample.
std::optional<Sample> TakeSample(platform::Platform& platform) {
  Record<kLayout.basicLength> basic;
  if (QuerySystemInformation(platform.libraries, kSystemBasicInformation, basic.bytes.data(),
                             kLayout.basicLength, nullptr) != 0) {
    return std::nullopt;
  }
  Record<kLayout.timeOfDayLength> timeOfDay;
  if (QuerySystemInformation(platform.libraries, kSystemTimeOfDayInformation,
                             timeOfDay.bytes.data(), kLayout.timeOfDayLength, nullptr) != 0) {
    return std::nullopt;
  }
  const std::uint32_t performanceLength =
      GetWindowsVersionCode(platform.system) < kFirstVersionWithLargePerformanceRecord
          ? kLayout.shortPerformanceLength
          : kLayout.longPerformanceLength;
  Record<kLayout.longPerformanceLength> performance;
  static_assert(kLayout.shortPerformanceLength <= kLayout.longPerformanceLength);
  if (QuerySystemInformation(platform.libraries, kSystemPerformanceInformation,
                             performance.bytes.data(), performanceLength, nullptr) != 0) {
    return std::nullopt;
  }
  return Sample{performance.Read<std::int64_t>(kLayout.idleTimeOffset),
                timeOfDay.Read<std::int64_t>(kLayout.currentTimeOffset),
                basic.Read<std::uint8_t>(kLayout.processorsOffset)};
}

}  // namespace

std::int32_t QuerySystemInformation(platform::SystemLibraries& libraries,
                                    std::int32_t infoClass,
                                    void* buffer,
                                    std::uint32_t length,
                                    std::uint32_t* returnedLength) noexcept {
  return TryOrDefault(
      [&] {
        const platform::ScopedLibrary ntdll(libraries, libraries.Load(u"ntdll.dll"));
        if (!ntdll)
          return platform::kStatusProcedureNotFound;
        const auto ntQuerySystemInformation =
            reinterpret_cast<platform::NtQuerySystemInformationFunction>(
                libraries.FindEntryPoint(ntdll.get(), "NtQuerySystemInformation"));
        if (ntQuerySystemInformation == nullptr)
          return platform::kStatusProcedureNotFound;
        return ntQuerySystemInformation(infoClass, buffer, length, returnedLength);
      },
      platform::kStatusProcedureNotFound);
}

double LargeIntegerToDouble(std::uint32_t lowPart, std::int32_t highPart) noexcept {
  // high × 2^32 is exact in a double; the one addition rounds the 64-bit sum once.
  return static_cast<double>(highPart) * 4294967296.0 + static_cast<double>(lowPart);
}

double ProcessorLoadSampler::GetProcessorLoad(platform::Platform& platform) noexcept {
  return TryOrDefault(
      [&] {
        const std::optional<Sample> sample = TakeSample(platform);
        if (!sample)
          return 0.0;
        double load = 0.0;
        if (previousIdleTime_ != 0) {
          const double idleDifference = ToDouble(sample->idleTime) - ToDouble(previousIdleTime_);
          const double timeDifference =
              ToDouble(sample->systemTime) - ToDouble(previousSystemTime_);
          // A division by zero fails the sample and keeps the stored one.
          if (timeDifference == 0.0 || sample->processors == 0)
            return 0.0;
          const double ratio = idleDifference / timeDifference;
          load = 100.0 - ratio * 100.0 / sample->processors + 0.5;
          if (!(load >= 0.0))
            load = 0.0;
          if (load > 100.0)
            load = 100.0;
        }
        previousIdleTime_ = sample->idleTime;
        previousSystemTime_ = sample->systemTime;
        return load;
      },
      0.0);
}

}  // namespace calvera::probes
