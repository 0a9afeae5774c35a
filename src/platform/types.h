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
inline constexpr ErrorCode kErrorMoreData = 234;
inline constexpr ErrorCode kErrorServiceDoesNotExist = 1060;
inline constexpr ErrorCode kErrorFailedServiceControllerConnect = 1063;
inline constexpr ErrorCode kErrorServiceMarkedForDelete = 1072;
inline constexpr ErrorCode kErrorServiceExists = 1073;

// Each kind of handle is a type of its own over the value the API hands out, so that a handle
// can only be passed to the functions of its kind: closing a registry key through the service
// manager does not compile. A value-initialized handle ({}) is none; no kind has a valid
// handle of that value. The kinds are declared beside the interfaces that open them.
//
// HWND.
enum class WindowHandle : std::uintptr_t {};

}  // namespace calvera::platform
