#include "support/decision_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace calvera::test_support {
namespace {

constexpr double kMegabyte = 1048576.0;
constexpr std::int64_t kChunk = 1024;
constexpr std::int64_t kUptimeMinutes = 5;

// For quantities that fit by construction: a byte count divided by a million, seconds.
std::int64_t RoundFitting(double value) {
  return *RoundHalfEven(value);
}

}  // namespace

const char* const kSettingNames[kSettingCount] = {
    "MemoryMaintain", "MemoryFree",      "ProcessorLimit", "ProcessorTrigger", "BatteryCheck",
    "FullScreen",     "FullScreenCheck", "ExecutePeriod",  "LoadCalvera",      "DefragMemory"};

std::optional<std::int64_t> RoundHalfEven(double value) {
  const double whole = std::floor(value);
  const double fraction = value - whole;
  double rounded = whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
    rounded = whole + 1.0;
  if (!(rounded >= -0x1p63 && rounded < 0x1p63))
    return std::nullopt;
  return static_cast<std::int64_t>(rounded);
}

Chunks ChunksOf(std::int64_t freeMegabytes) {
  if (freeMegabytes <= 0)
    return {{freeMegabytes, 1}};
  Chunks chunks;
  if (freeMegabytes / kChunk > 0)
    chunks.push_back({kChunk, freeMegabytes / kChunk});
  if (freeMegabytes % kChunk > 0)
    chunks.push_back({freeMegabytes % kChunk, 1});
  return chunks;
}

std::vector<std::int64_t> Amounts(const Chunks& chunks) {
  std::vector<std::int64_t> amounts;
  for (const ChunkRun& run : chunks)
    amounts.insert(amounts.end(), static_cast<std::size_t>(run.times), run.megabytes);
  return amounts;
}

TickDecision DecisionModel::Decide(const TickReadings& r,
                                   const std::function<double()>& processorLoad) {
  TickDecision d;
  if (!started_)
    return d;
  d.measured = true;
  const auto setting = [&r](SettingIndex index, std::int32_t fallback) {
    return r.settings[index].value_or(fallback);
  };
  const auto flag = [&](SettingIndex index) {
    return setting(index, kSettingDefaults[index]) != 0;
  };

  const bool large = RoundFitting(static_cast<double>(r.firstTotal) / kMegabyte) >= 1536;
  const std::int32_t maintain =
      setting(kMemoryMaintain, large ? kSettingDefaults[kMemoryMaintain] : kSmallMachineMaintain);
  const std::int32_t free =
      setting(kMemoryFree, large ? kSettingDefaults[kMemoryFree] : kSmallMachineFree);
  const auto maintainBytes = RoundHalfEven(maintain / 100.0 * static_cast<double>(r.total));
  const auto freeBytes = RoundHalfEven(free / 100.0 * static_cast<double>(r.total));
  if (!maintainBytes || !freeBytes)
    return d;  // a level or amount beyond 64 bits ends the tick
  // Never more than the machine has, and a 32-bit amount.
  const std::int64_t totalMegabytes = RoundFitting(static_cast<double>(r.total) / kMegabyte);
  std::int64_t freeMegabytes = RoundFitting(static_cast<double>(*freeBytes) / kMegabyte);
  freeMegabytes =
      std::min(freeMegabytes,
               std::min<std::int64_t>(totalMegabytes, std::numeric_limits<std::int32_t>::max()));
  freeMegabytes = std::max<std::int64_t>(freeMegabytes, std::numeric_limits<std::int32_t>::min());
  if (r.available > *maintainBytes)
    return d;

  d.gates = true;
  const std::int64_t now = RoundFitting(static_cast<double>(r.firstClock) / 1000.0);
  bool allowed = true;
  if (flag(kProcessorLimit)) {
    d.sampled = true;
    if (RoundFitting(processorLoad()) >
        setting(kProcessorTrigger, kSettingDefaults[kProcessorTrigger]))
      allowed = false;
  }
  if (flag(kBatteryCheck)) {
    d.powerQueried = true;
    if (r.acLineStatus == std::uint8_t{0})
      allowed = false;
  }
  if (flag(kFullScreenCheck) && flag(kFullScreen))
    allowed = false;
  if (!flag(kLoadCalvera) && !flag(kDefragMemory))
    allowed = false;
  if (RoundFitting(static_cast<double>(now) / 60.0) < kUptimeMinutes)
    allowed = false;
  if (!allowed)
    return d;
  const std::int64_t period = setting(kExecutePeriod, kSettingDefaults[kExecutePeriod]);
  if (now - lastExecuteTime_ < period * 60)
    return d;
  d.run = true;
  d.freeMegabytes = freeMegabytes;
  lastExecuteTime_ = RoundFitting(static_cast<double>(r.secondClock) / 1000.0);
  d.chunks = ChunksOf(freeMegabytes);
  return d;
}

}  // namespace calvera::test_support
