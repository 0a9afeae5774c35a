// Which processes a run may trim, in which order, and why the others are left alone. Plain
// functions of the snapshots and rules: any thread may call, and none fails.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/system_processes.h"

namespace calvera::companion {

// A process id names one process only together with the creation time: ids are reused.
struct ProcessIdentity {
  std::uint32_t processId = 0;
  std::int64_t creationTime = 0;

  friend auto operator<=>(const ProcessIdentity&, const ProcessIdentity&) = default;
};

enum class SkipReason {
  kProtected,        // ids 0 and 4, critical system processes, the companion, the service
  kVirtualMachine,   // a virtual machine's host
  kExcluded,         // named in ExcludeProcesses
  kSmall,            // private working set under 16 MB
  kYoung,            // started less than a minute ago, or since the first snapshot
  kRecentlyTrimmed,  // trimmed by an earlier run a short while ago
  kBusy,             // used the processor between the two snapshots
  kCannotOpen,       // OpenProcess refused
  kExited,           // gone, or its id taken by another process, before it was opened
  kTrimFailed,       // opened, but the trim was refused
};
inline constexpr std::size_t kSkipReasonCount = 10;

struct SkipCounts {
  std::array<std::uint32_t, kSkipReasonCount> counts{};

  std::uint32_t& operator[](SkipReason reason) { return counts[static_cast<std::size_t>(reason)]; }
  std::uint32_t operator[](SkipReason reason) const {
    return counts[static_cast<std::size_t>(reason)];
  }
  std::uint32_t Total() const;
};

struct Candidate {
  ProcessIdentity identity;
  std::u16string imageName;
  std::uint64_t privateWorkingSetBytes = 0;
};

struct SelectionRules {
  // The companion itself, the service, and the service as the companion's parent.
  std::vector<std::uint32_t> protectedIds;
  std::vector<std::u16string> excludedNames;
  // Sorted.
  std::vector<ProcessIdentity> recentlyTrimmed;
  // The time of the second snapshot, FILETIME.
  std::int64_t now = 0;
};

struct Selection {
  std::vector<Candidate> candidates;  // largest private working set first
  SkipCounts skipped;
};

// The ids that a run never trims besides the system's: `ownId`; the companion's parent when its
// image is the service's executable and it started before the companion, as when the service
// started it; and the service's process as `serviceProcessId` gives it (the Service Control
// Manager's answer; 0: none), asked only when the snapshot holds a process of the service's
// executable that is not that parent. A run that the service started so asks nothing: the
// question costs the companion the RPC runtime that the manager is reached through.
std::vector<std::uint32_t> CalveraProcessIds(
    std::span<const platform::ProcessRecord> snapshot,
    std::uint32_t ownId,
    const std::function<std::uint32_t()>& serviceProcessId);

// The processes of `second` that a run may trim: idle ones, whose processor time is the same as
// in `first`, taken a sampling interval before; every other process is counted under the first
// reason that applies, in the order of SkipReason. The idle ones go largest private working set
// first, equal ones by id.
Selection SelectIdleProcesses(std::span<const platform::ProcessRecord> first,
                              std::span<const platform::ProcessRecord> second,
                              const SelectionRules& rules);

}  // namespace calvera::companion
