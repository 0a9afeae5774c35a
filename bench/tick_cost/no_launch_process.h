// The real process with a launcher that starts nothing, so that a tick that decides on a run
// is measured without the shell's cost and without companions. One thread.
#pragma once

#include "platform/process.h"

namespace calvera::bench {

class NoLaunchProcess final : public platform::Process {
 public:
  explicit NoLaunchProcess(platform::Process& inner) : inner_(inner) {}

  std::u16string ModuleFileName() override { return inner_.ModuleFileName(); }
  // Starts nothing; answers as a started program would (above 32).
  std::intptr_t ShellExecuteFile(platform::WindowHandle,
                             const char16_t*,
                             const char16_t*,
                             const char16_t*,
                             const char16_t*,
                             std::int32_t) override {
    return 42;
  }
  bool CoInitialize() override { return inner_.CoInitialize(); }
  void CoUninitialize() override { inner_.CoUninitialize(); }
  std::int32_t ShowMessageBox(const char16_t* text,
                          const char16_t* caption,
                          std::uint32_t type) override {
    return inner_.ShowMessageBox(text, caption, type);
  }

 private:
  platform::Process& inner_;
};

}  // namespace calvera::bench
