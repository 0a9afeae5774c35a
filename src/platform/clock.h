// The clocks and the sleep of the companion program. None of them can fail. Any thread may
// call.
#pragma once

#include <cstdint>

namespace calvera::platform {

class Clock {
 public:
  virtual ~Clock() = default;

  // GetTickCount64: milliseconds since the system started. Steady, and it starts again with
  // the system, as volatile registry keys do.
  virtual std::uint64_t MillisecondsSinceStart() = 0;
  // GetSystemTimeAsFileTime: UTC in 100-nanosecond units since 1601, the time base of process
  // creation times.
  virtual std::int64_t SystemTime() = 0;
  // Sleep: the calling thread waits for that long.
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace calvera::platform
