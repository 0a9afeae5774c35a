// A model of the maintenance tick's decision, written from the rules and not from the
// service's code: what one tick measures, whether it starts a freeing run, and the companion
// amounts of that run. The tick fuzzer checks the service against it tick by tick on the fake
// Windows; the end-to-end tests take the amounts they expect from the running service from it.
// Plain C++, no Windows and no service code, so that both can use it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace calvera::test_support {

// The ten settings the tick reads, in the order it reads them.
enum SettingIndex {
  kMemoryMaintain,
  kMemoryFree,
  kProcessorLimit,
  kProcessorTrigger,
  kBatteryCheck,
  kFullScreen,
  kFullScreenCheck,
  kExecutePeriod,
  kLoadCalvera,
  kDefragMemory,
  kSettingCount
};
extern const char* const kSettingNames[kSettingCount];
// The defaults; MemoryMaintain's and MemoryFree's are those of a machine of 1536 MB or more.
inline constexpr std::int32_t kSettingDefaults[kSettingCount] = {30, 60, 1, 85, 0, 0, 1, 5, 1, 1};
inline constexpr std::int32_t kSmallMachineMaintain = 20;
inline constexpr std::int32_t kSmallMachineFree = 40;

// Half to even, as every rounding of the tick; nullopt when the result leaves 64 bits.
std::optional<std::int64_t> RoundHalfEven(double value);

// What one tick reads. A setting is nullopt when it is absent or cannot be read as a DWORD;
// the probes' readings are as the probes yield them (0 for a failure).
struct TickReadings {
  std::array<std::optional<std::int32_t>, kSettingCount> settings{};
  std::int64_t firstTotal = 0;    // bytes: the reading that chooses the defaults
  std::int64_t total = 0;         // bytes: the reading the level and the amount come from
  std::int64_t available = 0;     // bytes
  std::uint64_t firstClock = 0;   // milliseconds since the system started: the gates' reading
  std::uint64_t secondClock = 0;  // and the reading that becomes the run's start
  std::optional<std::uint8_t> acLineStatus;  // nullopt: the power status cannot be had
};

// Consecutive launches of one amount: a run of 2500 MB is {1024, 2}, {452, 1}.
struct ChunkRun {
  std::int64_t megabytes = 0;
  std::int64_t times = 0;
  bool operator==(const ChunkRun&) const = default;
};
using Chunks = std::vector<ChunkRun>;

// The launches of a run that frees `freeMegabytes`: 1024 MB each and the rest last; one
// launch of the amount itself when it is 0 or negative.
Chunks ChunksOf(std::int64_t freeMegabytes);
// The amounts one by one, in launch order.
std::vector<std::int64_t> Amounts(const Chunks& chunks);

// What one tick must do, and how far it must get.
struct TickDecision {
  bool measured = false;      // read the memory and the settings
  bool gates = false;         // reached the gates (and so read the clock once)
  bool sampled = false;       // asked for the processor load
  bool powerQueried = false;  // asked for the power status
  bool run = false;           // started a run (and so read the clock again)
  std::int64_t freeMegabytes = 0;
  Chunks chunks;
};

// The state the decision keeps between ticks. Not thread-safe; one per modelled service run.
class DecisionModel {
 public:
  void SetServiceStarted() { started_ = true; }
  bool ServiceStarted() const { return started_; }
  // Seconds since the system started when the latest run began; 0 before the first.
  std::int64_t LastExecuteTime() const { return lastExecuteTime_; }
  void SetLastExecuteTime(std::int64_t seconds) { lastExecuteTime_ = seconds; }

  // The decision of one tick. processorLoad is called only where the tick asks for the
  // processor load, and gives it in percent.
  TickDecision Decide(const TickReadings& readings, const std::function<double()>& processorLoad);

 private:
  bool started_ = false;
  std::int64_t lastExecuteTime_ = 0;
};

}  // namespace calvera::test_support
