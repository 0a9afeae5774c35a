// The status codes that the companion's seams report: NTSTATUS values of the native calls and
// the Windows error codes beyond the basic ones of types.h.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace calvera::platform {

// An NTSTATUS: 0 and other non-negative values are success.
using NtStatus = std::int32_t;

inline constexpr NtStatus kStatusSuccess = 0;
inline constexpr NtStatus kStatusInvalidInfoClass = static_cast<NtStatus>(0xC0000003u);
inline constexpr NtStatus kStatusInfoLengthMismatch = static_cast<NtStatus>(0xC0000004u);
inline constexpr NtStatus kStatusDataError = static_cast<NtStatus>(0xC000003Eu);
inline constexpr NtStatus kStatusNoMemory = static_cast<NtStatus>(0xC0000017u);
inline constexpr NtStatus kStatusPrivilegeNotHeld = static_cast<NtStatus>(0xC0000061u);
// What a seam answers when the system has no such native entry point.
inline constexpr NtStatus kStatusProcedureNotFound = static_cast<NtStatus>(0xC000007Au);

constexpr bool NtSuccess(NtStatus status) {
  return status >= 0;
}

inline constexpr ErrorCode kErrorCallNotImplemented = 120;
// What a seam answers when the system has no such entry point.
inline constexpr ErrorCode kErrorProcNotFound = 127;
inline constexpr ErrorCode kErrorAlreadyExists = 183;
// AdjustTokenPrivileges succeeded, but the token does not hold the privilege.
inline constexpr ErrorCode kErrorNotAllAssigned = 1300;
inline constexpr ErrorCode kErrorNoSuchPrivilege = 1313;

}  // namespace calvera::platform
