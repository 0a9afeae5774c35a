// The processes of the system: one snapshot of them all, the calling process's id, and the
// process of a running service. Any thread may call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/status_codes.h"

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

class SystemProcesses {
 public:
  virtual ~SystemProcesses() = default;

  // NtQuerySystemInformation(SystemProcessInformation), looked up in ntdll at run time, into a
  // buffer grown until the records fit: every process, in the system's order. Replaces
  // *processes on success; kStatusProcedureNotFound when the entry point is missing.
  [[nodiscard]] virtual NtStatus Snapshot(std::vector<ProcessRecord>* processes) = 0;
  // GetCurrentProcessId.
  virtual std::uint32_t CurrentProcessId() = 0;
  // dwProcessId of QueryServiceStatusEx for the service `serviceName`, asked with the least
  // rights (SC_MANAGER_CONNECT, SERVICE_QUERY_STATUS); 0 when it is not running or cannot be
  // asked.
  virtual std::uint32_t ServiceProcessId(const char16_t* serviceName) = 0;
};

}  // namespace calvera::platform
