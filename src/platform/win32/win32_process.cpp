#include "platform/win32/win32_process.h"

#include "platform/failure_policy.h"
#include "platform/win32/win32_api.h"

namespace calvera::platform {
namespace {

// GetModuleFileNameW cuts a long name to the buffer and then fills it completely (on newer
// systems also reporting ERROR_INSUFFICIENT_BUFFER): grow until the name fits with room left.
std::u16string ExecutableFileName() {
  std::u16string name(MAX_PATH, u'\0');
  for (;;) {
    const DWORD capacity = static_cast<DWORD>(name.size());
    const DWORD length =
        ::GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(name.data()), capacity);
    if (length == 0) {
      return {};
    }
    if (length < capacity) {
      name.resize(length);
      return name;
    }
    name.resize(name.size() * 2);
  }
}

}  // namespace

std::u16string Win32Process::ModuleFileName() {
  return TryOrDefault(ExecutableFileName, std::u16string());
}

std::intptr_t Win32Process::ShellExecuteFile(WindowHandle owner,
                                             const char16_t* verb,
                                             const char16_t* file,
                                             const char16_t* parameters,
                                             const char16_t* directory,
                                             std::int32_t show) {
  const HINSTANCE result = ::ShellExecuteW(ToNative<HWND>(owner), Wide(verb), Wide(file),
                                           Wide(parameters), Wide(directory), show);
  return reinterpret_cast<std::intptr_t>(result);
}

bool Win32Process::CoInitialize() {
  const HRESULT result = ::CoInitialize(nullptr);
  return result == S_OK || result == S_FALSE;
}

void Win32Process::CoUninitialize() {
  ::CoUninitialize();
}

std::int32_t Win32Process::ShowMessageBox(const char16_t* text,
                                          const char16_t* caption,
                                          std::uint32_t type) {
  return ::MessageBoxW(nullptr, Wide(text), Wide(caption), type);
}

}  // namespace calvera::platform
