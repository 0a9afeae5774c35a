// The memory manager's page lists: their sizes, and the commands on them.
#pragma once

#include <array>
#include <cstdint>

#include "platform/nt_status.h"

namespace calvera::platform {

// SYSTEM_MEMORY_LIST_INFORMATION with its page counts turned into bytes.
struct MemoryListSizes {
  std::uint64_t zeroed = 0;
  std::uint64_t free = 0;
  std::uint64_t modified = 0;
  std::uint64_t modifiedNoWrite = 0;
  std::uint64_t bad = 0;
  std::array<std::uint64_t, 8> standbyByPriority{};
  std::array<std::uint64_t, 8> repurposedByPriority{};  // pages taken from standby since start
  std::uint64_t modifiedPageFile = 0;  // the part of `modified` bound for a paging file

  friend bool operator==(const MemoryListSizes&, const MemoryListSizes&) = default;
};

// SYSTEM_MEMORY_LIST_COMMAND. Every command is named so that a fake can model them all and a
// test can prove which were sent; the companion sends kFlushModifiedList only.
enum class MemoryListCommand : std::uint32_t {
  kCaptureAccessedBits = 0,
  kCaptureAndResetAccessedBits = 1,
  kEmptyWorkingSets = 2,
  kFlushModifiedList = 3,
  kPurgeStandbyList = 4,
  kPurgeLowPriorityStandbyList = 5,
};

// Both functions return the NTSTATUS of the native call. Any thread may call.
class MemoryLists {
 public:
  virtual ~MemoryLists() = default;

  // NtQuerySystemInformation(SystemMemoryListInformation), looked up in ntdll at run time;
  // needs SeProfileSingleProcessPrivilege enabled. Fills *sizes on success;
  // kStatusProcedureNotFound when the entry point is missing.
  [[nodiscard]] virtual NtStatus Query(MemoryListSizes* sizes) = 0;
  // NtSetSystemInformation(SystemMemoryListInformation, &command, 4), looked up in ntdll at run
  // time; needs SeProfileSingleProcessPrivilege enabled.
  [[nodiscard]] virtual NtStatus SendCommand(MemoryListCommand command) = 0;
};

}  // namespace calvera::platform
