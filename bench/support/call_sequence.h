// The platform calls a tick makes, as the recording platform sees them, and the calls a path's
// steps stand for: the check that the tick and its floor do the same work. Fixed capacity, so
// recording allocates nothing. One thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "support/tick_paths.h"

namespace calvera::bench {

enum class Call {
  kOpenKey,     // wide: key path, first: access
  kQueryValue,  // wide: value name, first: size offered, second: with a buffer
  kCloseKey,
  kCreateKey,       // wide: key path
  kSetValue,        // wide: value name
  kLoadLibrary,     // wide: library name
  kFindEntryPoint,  // narrow: entry point name
  kFreeLibrary,
  kGlobalMemoryStatusEx,      // first: dwLength
  kNtQuerySystemInformation,  // first: class, second: length
  kGetVersionEx,              // first: size field
  kMilliseconds,
  kLocalTime,
  kPowerStatus,
  kModuleFileName,
  kShellExecute,
  kOther,  // anything else the platform was asked
};

struct PlatformCall {
  Call call = Call::kOther;
  const char16_t* wide = nullptr;
  const char* narrow = nullptr;
  std::int64_t first = 0;
  std::int64_t second = 0;
};

bool operator==(const PlatformCall& a, const PlatformCall& b);

class CallSequence {
 public:
  static constexpr std::size_t kCapacity = 128;

  void Add(const PlatformCall& call);
  void Clear();
  // False once more calls came than fit.
  bool Complete() const { return count_ <= kCapacity; }
  std::span<const PlatformCall> Calls() const;

 private:
  std::array<PlatformCall, kCapacity> calls_{};
  std::size_t count_ = 0;
};

// The calls that `steps` stand for, with the lengths the sampler picks for `versionCode`.
CallSequence ExpectedCalls(std::span<const TickStep> steps, std::int32_t versionCode);

// Prints to stderr where `actual` first departs from `expected`; true when they are equal.
bool ReportDifference(const char* label, const CallSequence& expected, const CallSequence& actual);

}  // namespace calvera::bench
