// One RAII owner per kind of Windows handle the tests hold: get(), put() to fill it from an
// out-parameter, release() to give it up, reset() to close it early. An owner is used by one
// thread at a time.
#pragma once

#include <windows.h>

#include <utility>

namespace calvera::e2e {

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other)
      reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::Invalid(); }
  // Closes what is held and hands out the address to fill.
  Handle* put() {
    reset();
    return &handle_;
  }
  Handle release() { return std::exchange(handle_, Traits::Invalid()); }
  // Closes what is held; the caller's last error survives the close.
  void reset(Handle handle = Traits::Invalid()) {
    if (handle_ != Traits::Invalid()) {
      const DWORD error = GetLastError();
      Traits::Close(handle_);
      SetLastError(error);
    }
    handle_ = handle;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { CloseHandle(handle); }
};
// CreateFileW and CreateToolhelp32Snapshot fail with INVALID_HANDLE_VALUE, not null.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { CloseHandle(handle); }
};
struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { CloseServiceHandle(handle); }
};
struct RegistryKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { RegCloseKey(handle); }
};
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { FindClose(handle); }
};

// LoadLibraryExW.
struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { FreeLibrary(handle); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;

}  // namespace calvera::e2e
