// One run of the freeing ladder: raise available memory (GlobalMemoryStatusEx's ullAvailPhys,
// the sum of the standby, free and zero lists, the figure the service watches) by the asked
// amount from where it stood, trying the cheapest loss first and each step only while still
// short:
//   1. the system file cache's working set, whose pages stay in memory as standby;
//   2. the working sets of idle processes, one at a time, largest first;
//   3. the modified list, flushed to disk only when it is big enough to help and small enough
//      not to hold up the machine.
// Never a standby purge (it gains nothing in that figure and costs hard faults later), never
// every working set at once, no hard working-set limits, nothing else. Each step is measured
// after a settle; the report holds what was measured and nothing more.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "companion/coordination.h"
#include "companion/freeing_policy.h"
#include "companion/process_selection.h"
#include "platform/companion_platform.h"

namespace calvera::companion {

// A failed call, as the system reported it.
struct CallFailure {
  enum class Kind { kNone, kWindowsError, kNtStatus };
  Kind kind = Kind::kNone;
  std::uint32_t code = 0;

  static CallFailure Windows(platform::ErrorCode error) { return {Kind::kWindowsError, error}; }
  static CallFailure Native(platform::NtStatus status) {
    return {Kind::kNtStatus, static_cast<std::uint32_t>(status)};
  }
  friend bool operator==(const CallFailure&, const CallFailure&) = default;
};

struct StepReport {
  enum class State {
    kNotNeeded,    // the target was reached before it
    kDone,         // it ran; gain and duration were measured
    kNoPrivilege,  // the privilege it needs could not be enabled (`failure` says why)
    kUnavailable,  // the system has no such entry point
    kFailed,       // its call failed (`failure`)
    kNothingToDo,  // no idle process to trim, or the modified list below the floor
    kAboveCap,     // the modified list above the cap
    kDeadline,     // not run: the deadline had passed
  };
  State state = State::kNotNeeded;
  std::int64_t gainBytes = 0;  // measured after the settle; may be negative
  std::uint32_t milliseconds = 0;
  CallFailure failure;
  std::uint64_t listBytes = 0;  // the modified list's size when step 3 looked at it
};

struct TrimmedProcessReport {
  std::u16string imageName;
  std::uint64_t privateWorkingSetBytes = 0;  // in the snapshot before the trim
};

struct RunReport {
  enum class Outcome {
    kReached,            // the measured gain reached the target
    kStepsRanOut,        // every step was tried and the gain is short
    kDeadline,           // the deadline passed with the gain short
    kMeasurementFailed,  // available memory could not be read
  };
  Outcome outcome = Outcome::kStepsRanOut;
  PendingRequests asked;
  std::int64_t availableBefore = 0;
  std::int64_t availableAfter = 0;
  std::uint32_t milliseconds = 0;
  StepReport fileCache;
  StepReport idleProcesses;
  StepReport modifiedList;
  std::vector<TrimmedProcessReport> trimmed;       // in the order trimmed, largest first
  std::vector<ProcessIdentity> trimmedIdentities;  // the same processes
  std::uint32_t idleLeft = 0;                      // idle processes left alone: target reached
  SkipCounts skipped;
  std::uint64_t finishedAt = 0;  // milliseconds since the system started

  // The sum of the steps' measured gains.
  std::int64_t StepsGainBytes() const;
};

// What a run takes from outside: the settings and what earlier runs left.
struct RunInputs {
  std::vector<std::u16string> excludedNames;     // ExcludeProcesses
  std::vector<ProcessIdentity> recentlyTrimmed;  // sorted
};

// Runs the ladder for `asked` on the calling thread and reports it. Waits only in its settles and
// in the sampling interval; the deadline is looked at between steps and between processes.
RunReport FreeMemory(platform::CompanionPlatform& platform,
                     const RunTimes& times,
                     const RunInputs& inputs,
                     PendingRequests asked);

}  // namespace calvera::companion
