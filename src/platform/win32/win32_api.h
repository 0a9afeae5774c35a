// The Windows API for the real platform, and the conversions between the interfaces' portable
// types and the API's own. Every file of the real platform includes <windows.h> through here.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <cstdint>

#include "platform/types.h"

namespace calvera::platform {

static_assert(sizeof(char16_t) == sizeof(wchar_t), "UTF-16 text crosses the API as wchar_t");
static_assert(sizeof(DWORD) == sizeof(std::uint32_t), "DWORD is the interfaces' 32-bit value");

inline const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}

inline const char16_t* Utf16(const wchar_t* text) {
  return reinterpret_cast<const char16_t*>(text);
}

// Handles cross the interfaces as the handle kinds of platform/, {} being null.
template <typename Native, typename Handle>
Native ToNative(Handle handle) {
  return reinterpret_cast<Native>(static_cast<std::uintptr_t>(handle));
}

template <typename Handle, typename Native>
Handle FromNative(Native native) {
  return static_cast<Handle>(reinterpret_cast<std::uintptr_t>(native));
}

// ERROR_SUCCESS when a BOOL call succeeded, else the thread's last error.
inline ErrorCode CallResult(BOOL succeeded) {
  return succeeded ? kErrorSuccess : static_cast<ErrorCode>(::GetLastError());
}

// The handle an opener returned, through `opened`, and the thread's last error when it is null.
template <typename Handle, typename Native>
ErrorCode Handed(Native native, Handle* opened) {
  *opened = FromNative<Handle>(native);
  return CallResult(native != nullptr);
}

// Restores the thread's last error when it goes out of scope, so that releasing a handle
// never hides the error of the call that failed before it.
class LastErrorKeeper {
 public:
  LastErrorKeeper() : saved_(::GetLastError()) {}
  LastErrorKeeper(const LastErrorKeeper&) = delete;
  LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;
  ~LastErrorKeeper() { ::SetLastError(saved_); }

 private:
  DWORD saved_;
};

}  // namespace calvera::platform
