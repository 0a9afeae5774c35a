// Counts every allocation through the global operator new of this program (all its forms,
// which this program replaces). Any thread.
#pragma once

#include <cstdint>

namespace calvera::bench {

std::uint64_t AllocationCount();

// While on, each allocation also writes a backtrace of its caller to stderr: to find where
// one comes from. Turn on only around the code under study.
void SetAllocationTracing(bool on);

}  // namespace calvera::bench
