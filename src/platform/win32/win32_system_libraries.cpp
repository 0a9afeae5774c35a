#include "platform/win32/win32_system_libraries.h"

#include "platform/win32/win32_api.h"

namespace calvera::platform {

LibraryHandle Win32SystemLibraries::Load(const char16_t* name) {
  return FromNative<LibraryHandle>(::LoadLibraryW(Wide(name)));
}

void* Win32SystemLibraries::FindEntryPoint(LibraryHandle library, const char* name) {
  // The caller casts back to the entry point's real signature (platform/entry_points.h).
  return reinterpret_cast<void*>(::GetProcAddress(ToNative<HMODULE>(library), name));
}

void Win32SystemLibraries::Free(LibraryHandle library) {
  const LastErrorKeeper keeper;
  ::FreeLibrary(ToNative<HMODULE>(library));
}

}  // namespace calvera::platform
