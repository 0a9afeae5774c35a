// Fake module file name, shell, COM and message boxes. (Fleshed out with the launcher.)
#pragma once

#include "platform/process.h"

namespace calvera::fake {

class FakeProcess : public platform::Process {
 public:
  std::u16string ModuleFileName() override { return {}; }
  std::intptr_t ShellExecute(platform::WindowHandle, const char16_t*, const char16_t*,
                             const char16_t*, const char16_t*, std::int32_t) override {
    return 0;
  }
  bool CoInitialize() override { return false; }
  void CoUninitialize() override {}
  std::int32_t MessageBox(const char16_t*, const char16_t*, std::uint32_t) override { return 0; }
};

}  // namespace calvera::fake
