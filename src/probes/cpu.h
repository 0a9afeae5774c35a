// How busy the processors have been, in percent, since the previous successful sample. The
// counters come from NtQuerySystemInformation, looked up by name in ntdll.dll, which is loaded
// and released at every query.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/nt_status.h"
#include "platform/platform.h"

namespace calvera::probes {

// NtQuerySystemInformation's information classes, and the records' layouts for this
// process's bitness. The basic record holds pointer-sized fields before the processor count,
// so it grows in a 64-bit process; the other two records are the same in both.
inline constexpr std::int32_t kSystemBasicInformation = 0;
inline constexpr std::int32_t kSystemPerformanceInformation = 2;
inline constexpr std::int32_t kSystemTimeOfDayInformation = 3;

struct SystemInformationLayout {
  std::uint32_t basicLength;             // SYSTEM_BASIC_INFORMATION; the system wants it exactly
  std::size_t processorsOffset;          // its NumberOfProcessors, one unsigned byte
  std::uint32_t timeOfDayLength;         // SYSTEM_TIMEOFDAY_INFORMATION, the classic 32 bytes
  std::size_t currentTimeOffset;         // its CurrentTime, 100-nanosecond units
  std::size_t idleTimeOffset;            // SYSTEM_PERFORMANCE_INFORMATION's IdleTime, same unit
  std::uint32_t shortPerformanceLength;  // requested when the version code is below 5
  std::uint32_t longPerformanceLength;   // requested from version code 5 on
};

inline constexpr SystemInformationLayout kSystemInformationLayout32{44, 40, 32, 8, 0, 312, 1000};
inline constexpr SystemInformationLayout kSystemInformationLayout64{64, 56, 32, 8, 0, 312, 1000};
inline constexpr const SystemInformationLayout& kSystemInformationLayout =
    sizeof(void*) == 8 ? kSystemInformationLayout64 : kSystemInformationLayout32;

// NtQuerySystemInformation(infoClass, buffer, length, returnedLength) through a fresh load of
// ntdll.dll; its status, 0 for success. returnedLength may be null. When it could not call
// NtQuerySystemInformation at all (no ntdll.dll, no such entry point, or a failure on the
// way): platform::kStatusProcedureNotFound. Any thread may call.
[[nodiscard]] std::int32_t QuerySystemInformation(platform::SystemLibraries& libraries,
                                                  std::int32_t infoClass,
                                                  void* buffer,
                                                  std::uint32_t length,
                                                  std::uint32_t* returnedLength) noexcept;

// The signed 64-bit value of a LARGE_INTEGER's two halves, rounded to the nearest double.
[[nodiscard]] double LargeIntegerToDouble(std::uint32_t lowPart, std::int32_t highPart) noexcept;

// One per process, owned by the maintenance tick. The stored sample is the object's state, so
// calls come from one thread at a time (the main thread's tick).
class ProcessorLoadSampler {
 public:
  // The processor load in percent, 0 to 100, over the time since the stored sample, with 0.5
  // added before the upper limit; stores the new sample. 0 without a stored sample (idle time
  // 0) and on every failure; a failure (a failing query, equal system times, no processors)
  // keeps the stored sample. Never throws.
  double GetProcessorLoad(platform::Platform& platform) noexcept;

 private:
  std::int64_t previousIdleTime_ = 0;
  std::int64_t previousSystemTime_ = 0;
};

}  // namespace calvera::probes
