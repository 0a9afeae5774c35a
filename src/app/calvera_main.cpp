// The executable's entry: hands the command line to the program entry and ends the process
// with its exit code.
#include <string>
#include <vector>

#include "platform/win32/win32_api.h"
#include "platform/win32/win32_platform.h"
#include "service/program_entry.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  std::vector<std::u16string> arguments;
  int count = 0;
  if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) {
      arguments.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    }
    LocalFree(argv);
  }
  return calvera::service::ProgramEntry(calvera::platform::Win32Platform(), std::move(arguments));
}
