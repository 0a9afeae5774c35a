// Fake module file name, shell, COM and message boxes: records what the system asked for.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/process.h"

namespace calvera::fake {

class FakeProcess : public platform::Process {
 public:
  struct ShellCall {
    platform::WindowHandle owner;
    std::u16string verb;
    std::u16string file;
    std::u16string parameters;
    std::optional<std::u16string> directory;
    std::int32_t show;
  };
  struct MessageBoxCall {
    std::u16string text;
    std::u16string caption;
    std::uint32_t type;
  };

  // platform::Process
  std::u16string ModuleFileName() override;
  std::intptr_t ShellExecuteFile(platform::WindowHandle owner,
                                 const char16_t* verb,
                                 const char16_t* file,
                                 const char16_t* parameters,
                                 const char16_t* directory,
                                 std::int32_t show) override;
  bool CoInitialize() override;
  void CoUninitialize() override;
  std::int32_t ShowMessageBox(const char16_t* text,
                              const char16_t* caption,
                              std::uint32_t type) override;

  // An empty name makes GetModuleFileNameW fail.
  void SetModuleFileName(std::u16string name);
  // What ShellExecuteW returns: above 32 is success, 2 is "file not found".
  void SetShellExecuteResult(std::intptr_t result);
  void SetCoInitializeSucceeds(bool succeeds);

  std::vector<ShellCall> ShellCalls() const;
  // The parameters of every launch, in order.
  std::vector<std::u16string> LaunchedParameters() const;
  std::vector<MessageBoxCall> MessageBoxes() const;
  int CoInitializeCalls() const;
  int CoUninitializeCalls() const;
  // Successful CoInitialize calls not yet undone by CoUninitialize; below 0 when
  // CoUninitialize was called more often than CoInitialize succeeded.
  int OpenComInitializations() const;

 private:
  mutable std::mutex mutex_;
  std::u16string moduleFileName_ = u"C:\\Program Files\\Calvera\\Calvera.exe";
  std::intptr_t shellExecuteResult_ = 42;
  bool coInitializeSucceeds_ = true;
  std::vector<ShellCall> shellCalls_;
  std::vector<MessageBoxCall> messageBoxes_;
  int coInitializeCalls_ = 0;
  int coUninitializeCalls_ = 0;
  int openComInitializations_ = 0;
};

}  // namespace calvera::fake
