#include "platform/win32/win32_api.h"
#include "platform/win32/win32_companion_parts.h"

namespace calvera::platform {
namespace {

HANDLE ProcessOf(ProcessHandle process) {
  return ToHandle<HANDLE>(static_cast<std::uintptr_t>(process));
}

}  // namespace

ProcessHandle Win32WorkingSets::OpenForTrim(std::uint32_t processId, ErrorCode* error) {
  const HANDLE process =
      ::OpenProcess(PROCESS_SET_QUOTA | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process == nullptr) {
    StoreLastError(error);
  }
  return static_cast<ProcessHandle>(FromHandle(process));
}

std::optional<std::int64_t> Win32WorkingSets::CreationTime(ProcessHandle process) {
  FILETIME creation{};
  FILETIME exit{};
  FILETIME kernel{};
  FILETIME user{};
  if (!::GetProcessTimes(ProcessOf(process), &creation, &exit, &kernel, &user)) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>((std::uint64_t{creation.dwHighDateTime} << 32) |
                                   creation.dwLowDateTime);
}

ErrorCode Win32WorkingSets::Trim(ProcessHandle process) {
  constexpr SIZE_T kAsFewAsPossible = static_cast<SIZE_T>(-1);
  return ::SetProcessWorkingSetSize(ProcessOf(process), kAsFewAsPossible, kAsFewAsPossible)
             ? kErrorSuccess
             : static_cast<ErrorCode>(::GetLastError());
}

void Win32WorkingSets::Close(ProcessHandle process) {
  const LastErrorKeeper keeper;
  ::CloseHandle(ProcessOf(process));
}

}  // namespace calvera::platform
