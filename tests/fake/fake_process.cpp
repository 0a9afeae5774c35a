#include "fake/fake_process.h"

namespace calvera::fake {

namespace {
constexpr std::int32_t kIdOk = 1;
}

std::u16string FakeProcess::ModuleFileName() {
  std::lock_guard lock(mutex_);
  return moduleFileName_;
}

std::intptr_t FakeProcess::ShellExecuteFile(platform::WindowHandle owner,
                                            const char16_t* verb,
                                            const char16_t* file,
                                            const char16_t* parameters,
                                            const char16_t* directory,
                                            std::int32_t show) {
  std::lock_guard lock(mutex_);
  shellCalls_.push_back({owner, verb ? verb : u"", file ? file : u"", parameters ? parameters : u"",
                         directory ? std::optional<std::u16string>(directory) : std::nullopt,
                         show});
  return shellExecuteResult_;
}

bool FakeProcess::CoInitialize() {
  std::lock_guard lock(mutex_);
  ++coInitializeCalls_;
  if (coInitializeSucceeds_)
    ++openComInitializations_;
  return coInitializeSucceeds_;
}

void FakeProcess::CoUninitialize() {
  std::lock_guard lock(mutex_);
  ++coUninitializeCalls_;
  --openComInitializations_;
}

std::int32_t FakeProcess::ShowMessageBox(const char16_t* text,
                                         const char16_t* caption,
                                         std::uint32_t type) {
  std::lock_guard lock(mutex_);
  messageBoxes_.push_back({text ? text : u"", caption ? caption : u"", type});
  return kIdOk;
}

void FakeProcess::SetModuleFileName(std::u16string name) {
  std::lock_guard lock(mutex_);
  moduleFileName_ = std::move(name);
}

void FakeProcess::SetShellExecuteResult(std::intptr_t result) {
  std::lock_guard lock(mutex_);
  shellExecuteResult_ = result;
}

void FakeProcess::SetCoInitializeSucceeds(bool succeeds) {
  std::lock_guard lock(mutex_);
  coInitializeSucceeds_ = succeeds;
}

std::vector<FakeProcess::ShellCall> FakeProcess::ShellCalls() const {
  std::lock_guard lock(mutex_);
  return shellCalls_;
}

std::vector<std::u16string> FakeProcess::LaunchedParameters() const {
  std::lock_guard lock(mutex_);
  std::vector<std::u16string> parameters;
  for (const auto& call : shellCalls_)
    parameters.push_back(call.parameters);
  return parameters;
}

std::vector<FakeProcess::MessageBoxCall> FakeProcess::MessageBoxes() const {
  std::lock_guard lock(mutex_);
  return messageBoxes_;
}

int FakeProcess::CoInitializeCalls() const {
  std::lock_guard lock(mutex_);
  return coInitializeCalls_;
}

int FakeProcess::CoUninitializeCalls() const {
  std::lock_guard lock(mutex_);
  return coUninitializeCalls_;
}

int FakeProcess::OpenComInitializations() const {
  std::lock_guard lock(mutex_);
  return openComInitializations_;
}

}  // namespace calvera::fake
