#include "platform/win32/win32_api.h"
#include "platform/win32/win32_companion_parts.h"

namespace calvera::platform {
namespace {

HANDLE ProcessOf(ProcessHandle process) {
  return ToNative<HANDLE>(process);
}

ErrorCode Result(BOOL succeeded) {
  return succeeded ? kErrorSuccess : static_cast<ErrorCode>(::GetLastError());
}

}  // namespace

ErrorCode Win32WorkingSets::OpenForTrim(std::uint32_t processId, ProcessHandle* process) {
  const HANDLE opened =
      ::OpenProcess(PROCESS_SET_QUOTA | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  *process = FromNative<ProcessHandle>(opened);
  return Result(opened != nullptr);
}

ErrorCode Win32WorkingSets::QueryCreationTime(ProcessHandle process, std::int64_t* creationTime) {
  FILETIME creation{};
  FILETIME exit{};
  FILETIME kernel{};
  FILETIME user{};
  const BOOL succeeded = ::GetProcessTimes(ProcessOf(process), &creation, &exit, &kernel, &user);
  *creationTime = static_cast<std::int64_t>((std::uint64_t{creation.dwHighDateTime} << 32) |
                                            creation.dwLowDateTime);
  return Result(succeeded);
}

ErrorCode Win32WorkingSets::Trim(ProcessHandle process) {
  constexpr SIZE_T kAsFewAsPossible = static_cast<SIZE_T>(-1);
  return Result(::SetProcessWorkingSetSize(ProcessOf(process), kAsFewAsPossible, kAsFewAsPossible));
}

void Win32WorkingSets::CloseProcess(ProcessHandle process) {
  const LastErrorKeeper keeper;
  ::CloseHandle(ProcessOf(process));
}

}  // namespace calvera::platform
