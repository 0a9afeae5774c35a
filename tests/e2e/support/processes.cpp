#include "e2e/support/processes.h"

#include <psapi.h>
#include <tlhelp32.h>

#include "e2e/support/unique_handle.h"

namespace calvera::e2e {

std::vector<DWORD> ProcessesNamed(const std::wstring& imageName) {
  std::vector<DWORD> found;
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot)
    return found;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (_wcsicmp(entry.szExeFile, imageName.c_str()) == 0)
      found.push_back(entry.th32ProcessID);
  }
  return found;
}

std::optional<std::uint64_t> ResidentBytes(DWORD processId) {
  UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process)
    return std::nullopt;
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process.get(), &counters, sizeof counters))
    return std::nullopt;
  DWORD exitCode = 0;
  if (GetExitCodeProcess(process.get(), &exitCode) && exitCode != STILL_ACTIVE)
    return std::nullopt;
  return counters.WorkingSetSize;
}

bool WaitForProcessEnd(DWORD processId, Deadline deadline) {
  UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
  if (!process)
    return true;  // no such process: it has ended
  return WaitForSingleObject(process.get(), static_cast<DWORD>(deadline.Remaining().count())) ==
         WAIT_OBJECT_0;
}

}  // namespace calvera::e2e
