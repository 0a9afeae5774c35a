#include "platform/win32/win32_api.h"
#include "platform/win32/win32_companion_parts.h"

namespace calvera::platform {
namespace {

HANDLE ProcessOf(ProcessHandle process) {
  return ToNative<HANDLE>(process);
}

}  // namespace

ErrorCode Win32WorkingSets::OpenForTrim(std::uint32_t processId, ProcessHandle* process) {
  return Handed(
      ::OpenProcess(PROCESS_SET_QUOTA | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId),
      process);
}

ErrorCode Win32WorkingSets::QueryCreationTime(ProcessHandle process, std::int64_t* creationTime) {
  FILETIME creation{};
  FILETIME exit{};
  FILETIME kernel{};
  FILETIME user{};
  const BOOL succeeded = ::GetProcessTimes(ProcessOf(process), &creation, &exit, &kernel, &user);
  *creationTime = static_cast<std::int64_t>((std::uint64_t{creation.dwHighDateTime} << 32) |
                                            creation.dwLowDateTime);
  return CallResult(succeeded);
}

ErrorCode Win32WorkingSets::Trim(ProcessHandle process) {
  constexpr SIZE_T kAsFewAsPossible = static_cast<SIZE_T>(-1);
  return CallResult(
      ::SetProcessWorkingSetSize(ProcessOf(process), kAsFewAsPossible, kAsFewAsPossible));
}

void Win32WorkingSets::CloseProcess(ProcessHandle process) {
  const LastErrorKeeper keeper;
  ::CloseHandle(ProcessOf(process));
}

}  // namespace calvera::platform
