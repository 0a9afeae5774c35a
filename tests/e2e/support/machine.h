// What the service's probes read on this machine, taken the same way: for the expected
// decision. Callable from any thread; a memory reading that fails is 0, as the probes' is.
#pragma once

#include <cstdint>
#include <optional>

namespace calvera::e2e {

struct MemoryReading {
  std::int64_t total = 0;      // bytes
  std::int64_t available = 0;  // bytes
};
MemoryReading ReadMemory();
// ACLineStatus of GetSystemPowerStatus; nullopt when it cannot be had.
std::optional<std::uint8_t> AcLineStatus();
// The local time read as if it were UTC, in seconds since 1970: what the service writes as
// its update stamp.
std::int64_t LocalSecondsSince1970();

}  // namespace calvera::e2e
