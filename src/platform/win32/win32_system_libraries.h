// System libraries through kernel32. Any thread may call.
#pragma once

#include "platform/system_libraries.h"

namespace calvera::platform {

class Win32SystemLibraries final : public SystemLibraries {
 public:
  LibraryHandle Load(const char16_t* name) override;
  void* FindEntryPoint(LibraryHandle library, const char* name) override;
  void Free(LibraryHandle library) override;
};

}  // namespace calvera::platform
