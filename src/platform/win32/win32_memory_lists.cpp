#include "platform/entry_points.h"
#include "platform/native_records.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/win32_companion_parts.h"
#include "platform/win32/win32_system_function.h"

namespace calvera::platform {
namespace {

using NtSetSystemInformationFunction = std::int32_t(CALVERA_WINAPI*)(std::int32_t infoClass,
                                                                     void* buffer,
                                                                     std::uint32_t length);

std::uint64_t PageSize() {
  SYSTEM_INFO info{};
  ::GetSystemInfo(&info);
  return info.dwPageSize;
}

}  // namespace

NtStatus Win32MemoryLists::Query(MemoryListSizes* sizes) {
  const auto query = FindSystemFunction<NtQuerySystemInformationFunction>(
      L"ntdll.dll", "NtQuerySystemInformation");
  if (query == nullptr) {
    return kStatusProcedureNotFound;
  }
  NativeMemoryListInformation<std::uintptr_t> record{};
  std::uint32_t returned = 0;
  const NtStatus status = query(kSystemMemoryListInformation, &record, sizeof record, &returned);
  if (!NtSuccess(status)) {
    return status;
  }
  const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(&record),
                                         sizeof record);
  return ParseMemoryListInformation(bytes, kProcessPointerWidth, PageSize(), sizes)
             ? kStatusSuccess
             : kStatusDataError;
}

NtStatus Win32MemoryLists::SendCommand(MemoryListCommand command) {
  const auto set =
      FindSystemFunction<NtSetSystemInformationFunction>(L"ntdll.dll", "NtSetSystemInformation");
  if (set == nullptr) {
    return kStatusProcedureNotFound;
  }
  std::uint32_t value = static_cast<std::uint32_t>(command);
  return set(kSystemMemoryListInformation, &value, sizeof value);
}

}  // namespace calvera::platform
