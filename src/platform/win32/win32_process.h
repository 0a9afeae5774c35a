// The running process through kernel32, shell32, ole32 and user32.
#pragma once

#include "platform/process.h"

namespace calvera::platform {

class Win32Process final : public Process {
 public:
  // Any thread may call.
  std::u16string ModuleFileName() override;
  // Any thread may call; the owner's thread if an owner is given.
  std::intptr_t ShellExecuteFile(WindowHandle owner,
                                 const char16_t* verb,
                                 const char16_t* file,
                                 const char16_t* parameters,
                                 const char16_t* directory,
                                 std::int32_t show) override;
  // CoInitialize and CoUninitialize pair up on the calling thread.
  bool CoInitialize() override;
  void CoUninitialize() override;
  // Blocks the calling thread while the box is shown.
  std::int32_t ShowMessageBox(const char16_t* text,
                              const char16_t* caption,
                              std::uint32_t type) override;
};

}  // namespace calvera::platform
