#include <cstddef>
#include <memory>

#include "platform/entry_points.h"
#include "platform/failure_policy.h"
#include "platform/native_records.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/win32_companion_parts.h"
#include "platform/win32/win32_system_function.h"

// After <windows.h>: the published declaration of the process record, to check ours against.
#include <winternl.h>

namespace calvera::platform {
namespace {

// Room for a few hundred processes with their threads; grown when the system asks for more.
constexpr std::uint32_t kFirstSnapshotLength = 256 * 1024;
// Processes start between the call that tells the length and the one that uses it.
constexpr std::uint32_t kSnapshotHeadroom = 64 * 1024;
constexpr int kSnapshotAttempts = 6;

NtStatus TakeSnapshot(std::vector<ProcessRecord>* processes) {
  const auto query = FindSystemFunction<NtQuerySystemInformationFunction>(
      L"ntdll.dll", "NtQuerySystemInformation");
  if (query == nullptr) {
    return kStatusProcedureNotFound;
  }
  std::uint32_t length = kFirstSnapshotLength;
  for (int attempt = 0; attempt < kSnapshotAttempts; ++attempt) {
    // In 8-byte units: the records hold 8-byte fields and the system wants them aligned. Not
    // cleared: the system writes what it returns, and the pages it does not write stay out of
    // the working set.
    const auto buffer =
        std::make_unique_for_overwrite<std::uint64_t[]>(length / sizeof(std::uint64_t));
    std::uint32_t returned = 0;
    const NtStatus status = query(kSystemProcessInformation, buffer.get(), length, &returned);
    if (status == kStatusInfoLengthMismatch) {
      const std::uint32_t wanted = returned > length ? returned : length * 2;
      length = (wanted + kSnapshotHeadroom + 7) & ~std::uint32_t{7};
      continue;
    }
    if (!NtSuccess(status)) {
      return status;
    }
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(buffer.get()),
                                           returned != 0 && returned < length ? returned : length);
    return ParseProcessInformation(bytes, reinterpret_cast<std::uintptr_t>(buffer.get()),
                                   kProcessPointerWidth, processes)
               ? kStatusSuccess
               : kStatusDataError;
  }
  return kStatusInfoLengthMismatch;
}

}  // namespace

// The native record as the system's headers declare it, for the fields they name.
static_assert(sizeof(SYSTEM_PROCESS_INFORMATION) ==
              sizeof(NativeProcessInformation<std::uintptr_t>));
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, CreateTime) ==
              offsetof(NativeProcessInformation<std::uintptr_t>, createTime));
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, ImageName) ==
              offsetof(NativeProcessInformation<std::uintptr_t>, imageName));
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, UniqueProcessId) ==
              offsetof(NativeProcessInformation<std::uintptr_t>, uniqueProcessId));
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, InheritedFromUniqueProcessId) ==
              offsetof(NativeProcessInformation<std::uintptr_t>, inheritedFromUniqueProcessId));
static_assert(offsetof(SYSTEM_PROCESS_INFORMATION, PrivatePageCount) ==
              offsetof(NativeProcessInformation<std::uintptr_t>, privatePageCount));

NtStatus Win32SystemProcesses::Snapshot(std::vector<ProcessRecord>* processes) {
  return TryOrDefault([processes] { return TakeSnapshot(processes); }, kStatusNoMemory);
}

std::uint32_t Win32SystemProcesses::CurrentProcessId() {
  return ::GetCurrentProcessId();
}

}  // namespace calvera::platform
