// LoadLibraryW, GetProcAddress and FreeLibrary: reaching a system function by name.
#pragma once

#include <cstdint>

namespace calvera::platform {

// HMODULE of a loaded library; {} is none.
enum class LibraryHandle : std::uintptr_t {};

// A failure gives none or null and no error code: the probes that use these only need to know
// whether they can go on. Any thread may call.
class SystemLibraries {
 public:
  virtual ~SystemLibraries() = default;

  // LoadLibraryW; 0 when the library cannot be loaded.
  virtual LibraryHandle Load(const char16_t* name) = 0;
  // GetProcAddress; null when the library has no such entry point.
  virtual void* FindEntryPoint(LibraryHandle library, const char* name) = 0;
  // FreeLibrary. Keeps the thread's last error as it was.
  virtual void Free(LibraryHandle library) = 0;
};

}  // namespace calvera::platform
