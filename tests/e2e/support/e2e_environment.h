// Where the end-to-end tests find what they run, and the machine conditions they need.
// Callable from any thread.
#pragma once

#include <optional>
#include <string>

namespace calvera::e2e {

inline constexpr wchar_t kServiceName[] = L"Calvera";

// The folder of this program, ending in '\': the build's bin folder.
std::wstring BinDirectory();
// The service executable of this build.
std::wstring CalveraExecutable();
// The stand-in companion of this build, bin\standin\CalveraDefrag.exe: it records its starts
// and frees nothing.
std::wstring StandInCompanion();
// The real companion of this build, bin\CalveraDefrag.exe. Under Wine its freeing calls have no
// effect, so it frees nothing and says so.
std::wstring RealCompanion();
// The 32-bit build's bin folder, ending in '\': CALVERA_E2E_WIN32_BIN, which run_e2e.sh sets,
// or build\win32\bin beside this build.
std::wstring Win32BinDirectory();
// The 64-bit Program Files folder, ending in '\': C:\Program Files\.
std::wstring ProgramFilesFolder();
// The value of the environment variable `name`; nullopt when it is not set or empty.
std::optional<std::wstring> EnvironmentVariable(const wchar_t* name);
// Waits until the system has been up 302 s: the service frees nothing in its first five
// minutes of uptime, and Wine's tick count is the host's uptime. Returns at once after that.
void WaitForUptimeGate();

}  // namespace calvera::e2e
