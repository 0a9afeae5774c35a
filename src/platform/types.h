// Basic vocabulary shared by the platform seam and the system's own code.
#pragma once

#include <cstdint>

namespace calvera::platform {

// A Windows error code as GetLastError() or a registry function reports it; 0 is success.
using ErrorCode = std::uint32_t;

inline constexpr ErrorCode kErrorSuccess = 0;
inline constexpr ErrorCode kErrorFileNotFound = 2;
inline constexpr ErrorCode kErrorAccessDenied = 5;
inline constexpr ErrorCode kErrorInvalidHandle = 6;
inline constexpr ErrorCode kErrorNotEnoughMemory = 8;
inline constexpr ErrorCode kErrorInvalidParameter = 87;
inline constexpr ErrorCode kErrorCallNotImplemented = 120;
// What an interface answers for a function that the system does not export, where the real
// platform looks it up at run time.
inline constexpr ErrorCode kErrorProcNotFound = 127;
// The codes that only one interface gives are declared beside it.

// Each kind of handle is a type of its own over the value the API hands out, so that a handle
// can only be passed to the functions of its kind: closing a registry key through the service
// manager does not compile. A value-initialized handle ({}) is none; no kind has a valid
// handle of that value. The kinds are declared beside the interfaces that open them.
//
// HWND.
enum class WindowHandle : std::uintptr_t {};

}  // namespace calvera::platform
