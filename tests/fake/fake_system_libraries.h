// Fake LoadLibraryW / GetProcAddress / FreeLibrary. (Fleshed out with the probes.)
#pragma once

#include "platform/system_libraries.h"

namespace calvera::fake {

class FakeSystemLibraries : public platform::SystemLibraries {
 public:
  platform::LibraryHandle Load(const char16_t*) override { return 0; }
  void* FindEntryPoint(platform::LibraryHandle, const char*) override { return nullptr; }
  void Free(platform::LibraryHandle) override {}
};

}  // namespace calvera::fake
