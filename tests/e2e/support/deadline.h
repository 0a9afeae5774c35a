// Waiting for a condition with a deadline. Every wait of the end-to-end tests is one of these:
// a state reached, a record present, a process ended; none is a fixed sleep and a check.
// Callable from any thread; a wait blocks its caller.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace calvera::e2e {

using Milliseconds = std::chrono::milliseconds;

// Milliseconds since the system started, 64 bits: the clock the service's own tick reads.
inline std::uint64_t NowMs() {
  return GetTickCount64();
}

class Deadline {
 public:
  static Deadline After(Milliseconds duration) {
    return Deadline(NowMs() + static_cast<std::uint64_t>(duration.count()));
  }
  bool Passed() const { return NowMs() >= end_; }
  Milliseconds Remaining() const {
    const std::uint64_t now = NowMs();
    return Milliseconds(now >= end_ ? 0 : end_ - now);
  }

 private:
  explicit Deadline(std::uint64_t end) : end_(end) {}
  std::uint64_t end_;
};

// Polls `condition` every `poll` until it holds (true) or the deadline passes (false, after
// one last look).
template <typename Condition>
bool WaitUntil(Condition&& condition, Deadline deadline, Milliseconds poll = Milliseconds(20)) {
  for (;;) {
    if (condition())
      return true;
    if (deadline.Passed())
      return false;
    const Milliseconds remaining = deadline.Remaining();
    Sleep(static_cast<DWORD>(std::min(poll, remaining).count()));
  }
}

}  // namespace calvera::e2e
