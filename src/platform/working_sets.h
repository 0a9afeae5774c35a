// Opening another process and trimming its working set. Any thread may call.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/scoped_handle.h"
#include "platform/types.h"

namespace calvera::platform {

// HANDLE of a process opened for trimming; {} is none.
enum class ProcessHandle : std::uintptr_t {};

class WorkingSets {
 public:
  virtual ~WorkingSets() = default;

  // OpenProcess(PROCESS_SET_QUOTA | PROCESS_QUERY_LIMITED_INFORMATION): the rights to trim and
  // to read the creation time, nothing more. {} with *error set on failure.
  virtual ProcessHandle OpenForTrim(std::uint32_t processId, ErrorCode* error) = 0;
  // The creation time (FILETIME) of GetProcessTimes; nullopt when the call fails. Tells whether
  // a process id still names the process of a snapshot, since ids are reused.
  virtual std::optional<std::int64_t> CreationTime(ProcessHandle process) = 0;
  // SetProcessWorkingSetSize(process, (SIZE_T)-1, (SIZE_T)-1): the system removes as many pages
  // as it can from the working set; clean ones go to the standby list, dirty ones to the
  // modified list. No limit stays set. 0 or the error.
  virtual ErrorCode Trim(ProcessHandle process) = 0;
  // CloseHandle. Keeps the thread's last error as it was.
  virtual void Close(ProcessHandle process) = 0;
};

using ScopedProcess = ScopedHandle<WorkingSets, ProcessHandle, &WorkingSets::Close>;

}  // namespace calvera::platform
