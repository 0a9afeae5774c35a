// The processes of this Wine session as Windows shows them: the ones with an executable's
// name, a process's resident memory, a process's end. Wine's process list holds only the
// processes of this prefix's wineserver, and Wine answers a process's working set with VmRSS
// from /proc/<pid>/status. Callable from any thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "e2e/support/deadline.h"

namespace calvera::e2e {

// The processes whose executable's file name is `imageName` (case-insensitive).
std::vector<DWORD> ProcessesNamed(const std::wstring& imageName);
// The process's resident memory in bytes; nullopt when it cannot be read (e.g. it has ended).
std::optional<std::uint64_t> ResidentBytes(DWORD processId);
// True once the process has ended (also when it was gone already); false at the deadline.
bool WaitForProcessEnd(DWORD processId, Deadline deadline);

}  // namespace calvera::e2e
