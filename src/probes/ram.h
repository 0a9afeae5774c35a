// Total and available physical memory, from a fresh GlobalMemoryStatusEx query each time.
// The function is looked up by name in Kernel32.dll, which is loaded and released at every
// query. No state: any thread may call, also at the same time; the maintenance tick on the main
// thread is the only caller.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/system_libraries.h"

namespace calvera::probes {

// MEMORYSTATUSEX, the same 64 bytes in 32-bit and 64-bit processes.
struct MemoryStatusRecord {
  std::uint32_t dwLength;
  std::uint32_t dwMemoryLoad;
  std::uint64_t ullTotalPhys;
  std::uint64_t ullAvailPhys;
  std::uint64_t ullTotalPageFile;
  std::uint64_t ullAvailPageFile;
  std::uint64_t ullTotalVirtual;
  std::uint64_t ullAvailVirtual;
  std::uint64_t ullAvailExtendedVirtual;
};
static_assert(sizeof(MemoryStatusRecord) == 64);
static_assert(offsetof(MemoryStatusRecord, dwMemoryLoad) == 4);
static_assert(offsetof(MemoryStatusRecord, ullTotalPhys) == 8);
static_assert(offsetof(MemoryStatusRecord, ullAvailPhys) == 16);
static_assert(offsetof(MemoryStatusRecord, ullTotalPageFile) == 24);
static_assert(offsetof(MemoryStatusRecord, ullAvailPageFile) == 32);
static_assert(offsetof(MemoryStatusRecord, ullTotalVirtual) == 40);
static_assert(offsetof(MemoryStatusRecord, ullAvailVirtual) == 48);
static_assert(offsetof(MemoryStatusRecord, ullAvailExtendedVirtual) == 56);

inline constexpr std::uint32_t kMemoryStatusRecordLength = sizeof(MemoryStatusRecord);

// Calls GlobalMemoryStatusEx once on `record` as the caller prepared it. True when the
// function was found and called, whatever it returned; false when Kernel32.dll cannot be
// loaded, has no such entry point, or anything fails on the way.
[[nodiscard]] bool QueryMemoryStatus(platform::SystemLibraries& libraries,
                                     MemoryStatusRecord& record) noexcept;

// ullTotalPhys / ullAvailPhys of a query of their own, in bytes. 0 when the query fails,
// when GlobalMemoryStatusEx returns FALSE, and when the value does not fit a signed 64-bit
// count (2^63 or more).
[[nodiscard]] std::int64_t GetTotalPhysicalMemory(platform::SystemLibraries& libraries) noexcept;
[[nodiscard]] std::int64_t GetAvailablePhysicalMemory(
    platform::SystemLibraries& libraries) noexcept;

}  // namespace calvera::probes
