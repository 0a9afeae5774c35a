// Opening another process and trimming its working set.
#pragma once

#include <cstdint>

#include "platform/scoped_handle.h"
#include "platform/types.h"

namespace calvera::platform {

// HANDLE of a process opened for trimming; {} is none.
enum class ProcessHandle : std::uintptr_t {};

// Every function but the close returns the Windows error code, kErrorSuccess (0) when the call
// succeeded; what it hands out comes back through the last parameter, a handle holding {}
// whenever the call failed. Any thread may call.
class WorkingSets {
 public:
  virtual ~WorkingSets() = default;

  // OpenProcess(PROCESS_SET_QUOTA | PROCESS_QUERY_LIMITED_INFORMATION): the rights to trim and
  // to read the creation time, nothing more.
  [[nodiscard]] virtual ErrorCode OpenForTrim(std::uint32_t processId, ProcessHandle* process) = 0;
  // The creation time (FILETIME) of GetProcessTimes: tells whether a process id still names the
  // process of a snapshot, since ids are reused.
  [[nodiscard]] virtual ErrorCode QueryCreationTime(ProcessHandle process,
                                                    std::int64_t* creationTime) = 0;
  // SetProcessWorkingSetSize(process, (SIZE_T)-1, (SIZE_T)-1): the system removes as many pages
  // as it can from the working set; clean ones go to the standby list, dirty ones to the
  // modified list. No limit stays set.
  [[nodiscard]] virtual ErrorCode Trim(ProcessHandle process) = 0;
  // CloseHandle. Keeps the thread's last error as it was.
  virtual void CloseProcess(ProcessHandle process) = 0;
};

using ScopedProcess = ScopedHandle<WorkingSets, ProcessHandle, &WorkingSets::CloseProcess>;

}  // namespace calvera::platform
