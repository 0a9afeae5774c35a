// The NTSTATUS values that the native calls of ntdll answer.
#pragma once

#include <cstdint>

namespace calvera::platform {

// An NTSTATUS: 0 and the other non-negative values are success.
using NtStatus = std::int32_t;

inline constexpr NtStatus kStatusSuccess = 0;
inline constexpr NtStatus kStatusInvalidInfoClass = static_cast<NtStatus>(0xC0000003u);
inline constexpr NtStatus kStatusInfoLengthMismatch = static_cast<NtStatus>(0xC0000004u);
inline constexpr NtStatus kStatusNoMemory = static_cast<NtStatus>(0xC0000017u);
inline constexpr NtStatus kStatusDataError = static_cast<NtStatus>(0xC000003Eu);
inline constexpr NtStatus kStatusPrivilegeNotHeld = static_cast<NtStatus>(0xC0000061u);
// What a caller of a native function answers when the system has no such entry point, or when
// ntdll cannot be reached at all.
inline constexpr NtStatus kStatusProcedureNotFound = static_cast<NtStatus>(0xC000007Au);

constexpr bool NtSuccess(NtStatus status) {
  return status >= 0;
}

}  // namespace calvera::platform
