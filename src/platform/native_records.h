// The native records that the companion reads from NtQuerySystemInformation, in both of their
// layouts: a 32-bit process gets 4-byte pointers and sizes in them, a 64-bit one 8-byte ones.
// Declared with fixed-width fields for either width, so that every build checks both layouts
// and the host tests can read records of either kind. The field names are those of the
// published declarations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/memory_lists.h"
#include "platform/system_processes.h"

namespace calvera::platform {

inline constexpr std::int32_t kSystemProcessInformation = 5;
inline constexpr std::int32_t kSystemMemoryListInformation = 80;

// `Pointer` is std::uint32_t for the records of a 32-bit process, std::uint64_t for a 64-bit one.
template <typename Pointer>
struct NativeUnicodeString {  // UNICODE_STRING
  std::uint16_t length;       // bytes, without a terminating NUL
  std::uint16_t maximumLength;
  Pointer buffer;
};

template <typename Pointer>
struct NativeProcessInformation {  // SYSTEM_PROCESS_INFORMATION, followed by its threads
  std::uint32_t nextEntryOffset;   // 0 in the last record
  std::uint32_t numberOfThreads;
  std::int64_t workingSetPrivateSize;  // since Windows Vista
  std::uint32_t hardFaultCount;
  std::uint32_t numberOfThreadsHighWatermark;
  std::uint64_t cycleTime;
  std::int64_t createTime;
  std::int64_t userTime;
  std::int64_t kernelTime;
  NativeUnicodeString<Pointer> imageName;
  std::int32_t basePriority;
  Pointer uniqueProcessId;
  Pointer inheritedFromUniqueProcessId;
  std::uint32_t handleCount;
  std::uint32_t sessionId;
  Pointer uniqueProcessKey;
  Pointer peakVirtualSize;  // VM_COUNTERS_EX from here
  Pointer virtualSize;
  std::uint32_t pageFaultCount;
  Pointer peakWorkingSetSize;
  Pointer workingSetSize;
  Pointer quotaPeakPagedPoolUsage;
  Pointer quotaPagedPoolUsage;
  Pointer quotaPeakNonPagedPoolUsage;
  Pointer quotaNonPagedPoolUsage;
  Pointer pagefileUsage;
  Pointer peakPagefileUsage;
  Pointer privatePageCount;
  std::int64_t readOperationCount;  // IO_COUNTERS from here
  std::int64_t writeOperationCount;
  std::int64_t otherOperationCount;
  std::int64_t readTransferCount;
  std::int64_t writeTransferCount;
  std::int64_t otherTransferCount;
};

template <typename Pointer>
struct NativeMemoryListInformation {  // SYSTEM_MEMORY_LIST_INFORMATION, page counts
  Pointer zeroPageCount;
  Pointer freePageCount;
  Pointer modifiedPageCount;
  Pointer modifiedNoWritePageCount;
  Pointer badPageCount;
  Pointer pageCountByPriority[8];
  Pointer repurposedPagesByPriority[8];
  Pointer modifiedPageCountPageFile;
};

// The published offsets and sizes, 32-bit layout then 64-bit layout.
static_assert(sizeof(NativeProcessInformation<std::uint32_t>) == 0xB8);
static_assert(sizeof(NativeProcessInformation<std::uint64_t>) == 0x100);
static_assert(offsetof(NativeProcessInformation<std::uint32_t>, workingSetPrivateSize) == 0x08);
static_assert(offsetof(NativeProcessInformation<std::uint64_t>, workingSetPrivateSize) == 0x08);
static_assert(offsetof(NativeProcessInformation<std::uint32_t>, createTime) == 0x20);
static_assert(offsetof(NativeProcessInformation<std::uint64_t>, createTime) == 0x20);
static_assert(offsetof(NativeProcessInformation<std::uint32_t>, userTime) == 0x28);
static_assert(offsetof(NativeProcessInformation<std::uint64_t>, kernelTime) == 0x30);
static_assert(offsetof(NativeProcessInformation<std::uint32_t>, imageName) == 0x38);
static_assert(offsetof(NativeProcessInformation<std::uint64_t>, imageName) == 0x38);
static_assert(offsetof(NativeProcessInformation<std::uint32_t>, uniqueProcessId) == 0x44);
static_assert(offsetof(NativeProcessInformation<std::uint64_t>, uniqueProcessId) == 0x50);
static_assert(offsetof(NativeProcessInformation<std::uint32_t>, inheritedFromUniqueProcessId) ==
              0x48);
static_assert(offsetof(NativeProcessInformation<std::uint64_t>, inheritedFromUniqueProcessId) ==
              0x58);
static_assert(offsetof(NativeProcessInformation<std::uint32_t>, peakPagefileUsage) == 0x80);
static_assert(offsetof(NativeProcessInformation<std::uint64_t>, peakPagefileUsage) == 0xC0);
static_assert(offsetof(NativeProcessInformation<std::uint32_t>, readOperationCount) == 0x88);
static_assert(offsetof(NativeProcessInformation<std::uint64_t>, readOperationCount) == 0xD0);
static_assert(sizeof(NativeMemoryListInformation<std::uint32_t>) == 88);
static_assert(sizeof(NativeMemoryListInformation<std::uint64_t>) == 176);

enum class PointerWidth { k32Bit, k64Bit };
inline constexpr PointerWidth kProcessPointerWidth =
    sizeof(void*) == 8 ? PointerWidth::k64Bit : PointerWidth::k32Bit;

// The records of a SystemProcessInformation answer in `buffer`, which the system filled at
// `bufferAddress` (image names point into it). False, leaving *processes alone, when a record
// or a name lies outside the buffer or the chain does not move forward.
[[nodiscard]] bool ParseProcessInformation(std::span<const std::byte> buffer,
                                           std::uint64_t bufferAddress,
                                           PointerWidth width,
                                           std::vector<ProcessRecord>* processes);

// The length of a SystemMemoryListInformation answer for that width.
std::uint32_t MemoryListInformationLength(PointerWidth width);

// The page counts of a SystemMemoryListInformation answer in bytes; false when the buffer is
// shorter than the record.
[[nodiscard]] bool ParseMemoryListInformation(std::span<const std::byte> buffer,
                                              PointerWidth width,
                                              std::uint64_t pageSize,
                                              MemoryListSizes* sizes);

}  // namespace calvera::platform
