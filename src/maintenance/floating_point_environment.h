// The floating-point environment that the tick's arithmetic is done in.
#pragma once

#if !(defined(__i386__) || defined(__x86_64__))
#include <cfenv>
#endif

namespace calvera::maintenance {

// For its lifetime the calling thread computes in the default environment: round to nearest,
// every exception masked, no flush of denormals to zero, and on the x87 a double's precision.
// Afterwards the thread has the caller's environment back, flags included. A DLL loaded into
// the thread (a shell extension of ShellExecuteW) may leave another rounding mode or precision
// behind, which would otherwise change decisions without a word. Any thread; one guard per
// scope, never handed to another thread.
class ScopedDefaultFloatingPoint {
 public:
  ScopedDefaultFloatingPoint() noexcept;
  ScopedDefaultFloatingPoint(const ScopedDefaultFloatingPoint&) = delete;
  ScopedDefaultFloatingPoint& operator=(const ScopedDefaultFloatingPoint&) = delete;
  ~ScopedDefaultFloatingPoint();

 private:
#if defined(__i386__) || defined(__x86_64__)
  // The register of the unit that does a double's arithmetic on this target: MXCSR, or the
  // x87 control word where doubles are computed on the x87.
  unsigned int caller_ = 0;
#else
  std::fenv_t caller_;
  bool saved_ = false;
#endif
};

}  // namespace calvera::maintenance
