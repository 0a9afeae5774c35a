#include "probes/ram.h"

#include <limits>

#include "platform/entry_points.h"
#include "platform/failure_policy.h"
#include "platform/scoped_handle.h"

namespace calvera::probes {
namespace {

// One query into a record of its own, read at `field`. The record is cleared first, so a
// call that returns FALSE without writing reads as 0 rather than as stack contents.
std::int64_t ReadField(platform::SystemLibraries& libraries,
                       std::uint64_t MemoryStatusRecord::*field) noexcept {
  return TryOrDefault(
      [&]() -> std::int64_t {
        MemoryStatusRecord record{};
        record.dwLength = kMemoryStatusRecordLength;
        if (!QueryMemoryStatus(libraries, record))
          return 0;
        const std::uint64_t value = record.*field;
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
          return 0;
        return static_cast<std::int64_t>(value);
      },
      std::int64_t{0});
}

}  // namespace

bool QueryMemoryStatus(platform::SystemLibraries& libraries, MemoryStatusRecord& record) noexcept {
  return TryOrDefault(
      [&] {
        const platform::ScopedLibrary kernel32(libraries, libraries.Load(u"Kernel32.dll"));
        if (!kernel32)
          return false;
        const auto globalMemoryStatusEx = reinterpret_cast<platform::GlobalMemoryStatusExFunction>(
            libraries.FindEntryPoint(kernel32.get(), "GlobalMemoryStatusEx"));
        if (globalMemoryStatusEx == nullptr)
          return false;
        // Its BOOL is not looked at: the cleared record already reads 0 when nothing was written.
        static_cast<void>(globalMemoryStatusEx(&record));
        return true;
      },
      false);
}

std::int64_t GetTotalPhysicalMemory(platform::SystemLibraries& libraries) noexcept {
  return ReadField(libraries, &MemoryStatusRecord::ullTotalPhys);
}

std::int64_t GetAvailablePhysicalMemory(platform::SystemLibraries& libraries) noexcept {
  return ReadField(libraries, &MemoryStatusRecord::ullAvailPhys);
}

}  // namespace calvera::probes
