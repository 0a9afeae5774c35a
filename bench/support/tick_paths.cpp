#include "support/tick_paths.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "config/settings.h"
#include "probes/cpu.h"

namespace calvera::bench {
namespace {

using config::kBatteryCheck;
using config::kDefragMemory;
using config::kExecutePeriod;
using config::kFullScreen;
using config::kFullScreenCheck;
using config::kLoadCalvera;
using config::kMemoryFree;
using config::kMemoryMaintain;
using config::kProcessorLimit;
using config::kProcessorTrigger;
using config::kUpdated;

constexpr TickStep Read(const char16_t* name) {
  return {Step::kReadSetting, name};
}
constexpr TickStep Query(std::int32_t infoClass) {
  return {Step::kSystemInformation, nullptr, infoClass};
}
constexpr TickStep kMemory{Step::kMemoryStatus};

// The sampler asks for the longer performance record from this version code on (7 and later).
constexpr std::int32_t kFirstVersionWithLongPerformanceRecord = 5;

template <std::size_t... Sizes>
constexpr auto Join(const std::array<TickStep, Sizes>&... parts) {
  std::array<TickStep, (Sizes + ...)> joined{};
  std::size_t next = 0;
  ((std::copy(parts.begin(), parts.end(), joined.begin() + next), next += Sizes), ...);
  return joined;
}

// The update stamp's read, on every tick.
constexpr std::array kStamp{Read(kUpdated.name)};
// From the defaults' memory reading to the memory test; the policy key is looked for once.
constexpr std::array kDecision{kMemory,
                               TickStep{Step::kOpenPolicyKey},
                               Read(kMemoryMaintain.name),
                               Read(kMemoryFree.name),
                               Read(kProcessorLimit.name),
                               Read(kProcessorTrigger.name),
                               Read(kBatteryCheck.name),
                               Read(kFullScreen.name),
                               Read(kFullScreenCheck.name),
                               Read(kExecutePeriod.name),
                               Read(kLoadCalvera.name),
                               Read(kDefragMemory.name),
                               kMemory,
                               kMemory};
// The clock, then the gates with the processor and battery gates on.
constexpr std::array kGates{TickStep{Step::kMilliseconds},
                            Query(probes::kSystemBasicInformation),
                            Query(probes::kSystemTimeOfDayInformation),
                            TickStep{Step::kVersion},
                            Query(probes::kSystemPerformanceInformation),
                            TickStep{Step::kPowerStatus}};
// The run's start time, the companion's path, one launch.
constexpr std::array kRun{TickStep{Step::kMilliseconds}, TickStep{Step::kModuleFileName},
                          TickStep{Step::kLaunch}};

constexpr auto kBeforeStartSteps = kStamp;
constexpr auto kMemoryHighSteps = Join(kStamp, kDecision);
constexpr auto kGateClosedSteps = Join(kStamp, kDecision, kGates);
constexpr auto kGatesOpenSteps = Join(kStamp, kDecision, kGates, kRun);

constexpr StoredSetting kBeforeStartSettings[] = {{kUpdated.name, 0}};
// Nothing counts as low at a level of 0 %.
constexpr StoredSetting kMemoryHighSettings[] = {{kMemoryMaintain.name, 0}};
// Everything counts as low at 100 %; the power status is queried, and the enable gate closes.
constexpr StoredSetting kGateClosedSettings[] = {{kMemoryMaintain.name, 100},
                                                 {kBatteryCheck.name, 1},
                                                 {kLoadCalvera.name, 0},
                                                 {kDefragMemory.name, 0}};
// Every gate passes on mains power after five minutes of uptime, no period holds a run back,
// and 1 % of the memory is one companion launch.
constexpr StoredSetting kGatesOpenSettings[] = {{kMemoryMaintain.name, 100},
                                                {kMemoryFree.name, 1},
                                                {kProcessorTrigger.name, 100},
                                                {kBatteryCheck.name, 1},
                                                {kExecutePeriod.name, 0}};

constexpr TickPath kPaths[] = {
    {"before the start", false, kBeforeStartSettings, kBeforeStartSteps, false},
    {"started, memory high", true, kMemoryHighSettings, kMemoryHighSteps, false},
    {"memory low, a gate closed", true, kGateClosedSettings, kGateClosedSteps, false},
    {"memory low, gates open, no-op launcher", true, kGatesOpenSettings, kGatesOpenSteps, true},
};

}  // namespace

std::span<const TickPath> TickPaths() {
  return kPaths;
}

std::uint32_t SystemInformationLength(std::int32_t infoClass, std::int32_t versionCode) {
  const auto& layout = probes::kSystemInformationLayout;
  switch (infoClass) {
    case probes::kSystemBasicInformation:
      return layout.basicLength;
    case probes::kSystemTimeOfDayInformation:
      return layout.timeOfDayLength;
    default:
      return versionCode < kFirstVersionWithLongPerformanceRecord ? layout.shortPerformanceLength
                                                                  : layout.longPerformanceLength;
  }
}

}  // namespace calvera::bench
