// What one companion leaves to the next: the processes it trimmed, the cooldown after a run that
// fell short, and the requests dropped during it. The companions do not overlap in time (with
// ExecutePeriod 0 one starts each second after the last has ended), so this lives in a volatile
// registry key below the service's own key: a restart of the system clears it, as it resets the
// clock the times are taken on; only LocalSystem and administrators may write there; the 32-bit
// and the 64-bit program see the same key; and removing the service removes it. Written only by
// the worker, while it holds the worker mutex.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "companion/freeing_policy.h"
#include "companion/process_selection.h"
#include "config/settings.h"
#include "platform/volatile_store.h"

namespace calvera::companion {

// HKLM\SYSTEM\CurrentControlSet\Services\Calvera\CompanionState, value RunState.
inline constexpr platform::VolatileValue kRunStateValue{config::kServiceKeyPath + 1,
                                                        u"CompanionState", u"RunState"};

struct TrimmedProcess {
  ProcessIdentity identity;
  std::uint64_t trimmedAt = 0;  // milliseconds since the system started

  friend bool operator==(const TrimmedProcess&, const TrimmedProcess&) = default;
};

struct RunState {
  std::uint64_t cooldownUntil = 0;  // milliseconds since the system started; 0: none
  std::uint32_t droppedRequests = 0;
  std::uint64_t droppedMegabytes = 0;
  std::vector<TrimmedProcess> trimmed;

  friend bool operator==(const RunState&, const RunState&) = default;

  bool CoolingDown(std::uint64_t now) const { return now < cooldownUntil; }
  // The identities of `trimmed`, sorted.
  std::vector<ProcessIdentity> RecentlyTrimmed() const;
};

// At most this many trimmed processes are kept, the latest ones.
inline constexpr std::size_t kMostTrimmedKept = 2048;

// A fixed little-endian layout, the same for the 32-bit and the 64-bit program. Any thread.
std::vector<std::uint8_t> SerializeRunState(const RunState& state);
// nullopt for data that is not such a layout, whole and exact. Any thread.
std::optional<RunState> ParseRunState(std::span<const std::uint8_t> data);

// The state as of `now`: a cooldown that has ended is gone, and so are processes trimmed longer
// than the history ago; times ahead of `now` by more than they can be (the clock went back) are
// dropped too. Any thread.
void ForgetExpired(RunState& state, std::uint64_t now, const RunTimes& times);

// The stored state as of `now`, ForgetExpired applied. An empty state when none is stored or it
// cannot be read. By the worker, holding the worker mutex.
RunState LoadRunState(platform::VolatileStore& store, std::uint64_t now, const RunTimes& times);
// kErrorSuccess or the registry's error; kErrorFileNotFound when the service is not installed.
// By the worker, holding the worker mutex.
[[nodiscard]] platform::ErrorCode SaveRunState(platform::VolatileStore& store,
                                               const RunState& state);

}  // namespace calvera::companion
