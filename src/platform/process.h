// The running process: its module, the shell, COM and message boxes.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace calvera::platform {

inline constexpr std::int32_t kSwShow = 5;

inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbIconError = 0x10;
inline constexpr std::uint32_t kMbIconInformation = 0x40;
inline constexpr std::uint32_t kMbTaskModal = 0x2000;

// Each function gives the API's own result, as its comment says, and no error code: the system
// only tells success from failure here. Which thread may call is said for each.
class Process {
 public:
  virtual ~Process() = default;

  // GetModuleFileNameW of the executable, in full: not cut at 260 characters. Empty when the
  // call fails.
  virtual std::u16string ModuleFileName() = 0;
  // ShellExecuteW; the result is what ShellExecuteW returned. directory may be null.
  virtual std::intptr_t ShellExecuteFile(WindowHandle owner,
                                         const char16_t* verb,
                                         const char16_t* file,
                                         const char16_t* parameters,
                                         const char16_t* directory,
                                         std::int32_t show) = 0;
  // CoInitialize(nullptr) on the calling thread; true when it succeeded (S_OK or S_FALSE).
  virtual bool CoInitialize() = 0;
  // CoUninitialize on the calling thread.
  virtual void CoUninitialize() = 0;
  // MessageBoxW without owner; modal on the calling thread. Returns its result.
  virtual std::int32_t ShowMessageBox(const char16_t* text,
                                      const char16_t* caption,
                                      std::uint32_t type) = 0;
};

}  // namespace calvera::platform
