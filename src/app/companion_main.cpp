// The companion program's entry: splits its command line, runs the companion on the real
// platform and ends with its exit code. Reads the command line itself rather than through
// CommandLineToArgvW, so that it loads no shell32.
#include "companion/arguments.h"
#include "companion/companion.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/win32_companion_platform.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using calvera::companion::ExitCode;
  try {
    const auto arguments =
        calvera::companion::SplitArguments(calvera::platform::Utf16(::GetCommandLineW()));
    return static_cast<int>(calvera::companion::RunCompanion(
        calvera::platform::Win32CompanionPlatform(), calvera::companion::RunTimes{}, arguments));
  } catch (...) {
    // Only the copy of the command line can fail here, for want of memory.
    return static_cast<int>(ExitCode::kFailure);
  }
}
