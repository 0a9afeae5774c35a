// Reaching a system function that not every Windows version exports: looked up at run time in a
// system library that every process has loaded, so that a missing one skips what needs it
// instead of keeping the program from loading.
#pragma once

#include "platform/win32/win32_api.h"

namespace calvera::platform {

// The entry point `name` of the loaded module `module` (kernel32.dll or ntdll.dll) as a
// `Function`; null when the system has none.
template <typename Function>
Function FindSystemFunction(const wchar_t* module, const char* name) {
  const HMODULE loaded = ::GetModuleHandleW(module);
  if (loaded == nullptr) {
    return nullptr;
  }
  // GetProcAddress hands out every entry point as FARPROC; the caller names the real signature.
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(loaded, name)));
}

// One kernel HANDLE, closed once when the owner goes; the thread's last error survives the close.
class KernelHandle {
 public:
  KernelHandle() = default;
  explicit KernelHandle(HANDLE handle) : handle_(handle) {}
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;
  ~KernelHandle() { reset(); }

  HANDLE get() const { return handle_; }
  // For a call that hands out a handle: the one held before is closed first.
  HANDLE* put() {
    reset();
    return &handle_;
  }
  void reset() {
    if (handle_ != nullptr) {
      const LastErrorKeeper keeper;
      ::CloseHandle(handle_);
      handle_ = nullptr;
    }
  }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace calvera::platform
