// The processes of the system: one snapshot of them all, and the calling process's id.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/nt_status.h"

namespace calvera::platform {

// One process of a snapshot, from its SYSTEM_PROCESS_INFORMATION record.
struct ProcessRecord {
  std::uint32_t processId = 0;
  std::uint32_t parentProcessId = 0;  // InheritedFromUniqueProcessId; may name a process gone
  std::int64_t creationTime = 0;      // FILETIME: with the id, names this one process
  std::int64_t processorTime = 0;     // user plus kernel time, 100-nanosecond units
  std::uint64_t privateWorkingSetBytes = 0;
  std::u16string imageName;  // file name as the system reports it; empty for the idle process

  friend bool operator==(const ProcessRecord&, const ProcessRecord&) = default;
};

// Snapshot returns the NTSTATUS of the native call; CurrentProcessId cannot fail. Any thread
// may call.
class SystemProcesses {
 public:
  virtual ~SystemProcesses() = default;

  // NtQuerySystemInformation(SystemProcessInformation), looked up in ntdll at run time, into a
  // buffer grown until the records fit: every process, in the system's order. Replaces
  // *processes on success; kStatusProcedureNotFound when the entry point is missing.
  [[nodiscard]] virtual NtStatus Snapshot(std::vector<ProcessRecord>* processes) = 0;
  // GetCurrentProcessId.
  virtual std::uint32_t CurrentProcessId() = 0;
};

}  // namespace calvera::platform
