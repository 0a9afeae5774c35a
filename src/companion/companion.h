// The companion program CalveraDefrag.exe: frees the megabytes that its one argument asks for,
// cheapest loss first, and writes what it measured to the event log. Started by the service
// with its own identity, without being waited for, often several at once: the requests of
// those that run together are served by one of them (see coordination.h).
#pragma once

#include <string>
#include <vector>

#include "companion/freeing_policy.h"
#include "platform/companion_platform.h"

namespace calvera::companion {

// The exit codes; the service does not look at them, tests do.
enum class ExitCode : int {
  kDone = 0,         // the target was reached, nothing was asked, or a worker took the request
  kPartial = 1,      // the steps ran out, the deadline passed, or the cooldown dropped it
  kBadArgument = 2,  // the argument is missing, malformed or out of range
  kFailure = 3,      // available memory cannot be read, or an unexpected failure
};

// The whole program after its entry, on the calling thread. `arguments` are those after the
// program's name. Never throws.
ExitCode RunCompanion(platform::CompanionPlatform& platform,
                      const RunTimes& times,
                      const std::vector<std::u16string>& arguments) noexcept;

}  // namespace calvera::companion
