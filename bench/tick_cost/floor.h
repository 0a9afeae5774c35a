// The floor of a tick path: the platform calls of its steps made directly through the Windows
// API, with nothing of the system in between. One thread.
#pragma once

#include <cstdint>
#include <span>

#include "support/tick_paths.h"

namespace calvera::bench {

class Floor {
 public:
  // The processor queries take the lengths the sampler picks for `versionCode`.
  explicit Floor(std::int32_t versionCode) : versionCode_(versionCode) {}

  // Makes the calls of `steps`, in order; a launch is a no-op, as in the measured tick.
  void Replay(std::span<const TickStep> steps);

 private:
  std::int32_t versionCode_;
};

}  // namespace calvera::bench
