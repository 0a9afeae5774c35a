#include "e2e/support/e2e_environment.h"

#include <windows.h>

#include <cstdio>

#include "e2e/support/deadline.h"

namespace calvera::e2e {

std::wstring BinDirectory() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring CalveraExecutable() {
  return BinDirectory() + L"Calvera.exe";
}

std::wstring StandInCompanion() {
  return BinDirectory() + L"standin\\CalveraDefrag.exe";
}

std::wstring RealCompanion() {
  return BinDirectory() + L"CalveraDefrag.exe";
}

std::wstring Win32BinDirectory() {
  std::optional<std::wstring> folder = EnvironmentVariable(L"CALVERA_E2E_WIN32_BIN");
  if (!folder)
    return BinDirectory() + L"..\\..\\win32\\bin\\";
  if (folder->back() != L'\\')
    folder->push_back(L'\\');
  return *folder;
}

std::wstring ProgramFilesFolder() {
  // Where a 64-bit installer puts its files, whichever view this program has.
  return EnvironmentVariable(L"ProgramW6432").value_or(L"C:\\Program Files") + L"\\";
}

std::optional<std::wstring> EnvironmentVariable(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size <= 1)
    return std::nullopt;
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  if (value.empty())
    return std::nullopt;
  return value;
}

void WaitForUptimeGate() {
  constexpr std::uint64_t kUptimeNeededMs = 302000;
  const std::uint64_t now = NowMs();
  if (now >= kUptimeNeededMs)
    return;
  std::printf("    waiting %llu s for 302 s of uptime (the service's uptime gate)\n",
              static_cast<unsigned long long>((kUptimeNeededMs - now) / 1000 + 1));
  std::fflush(stdout);
  // The condition is the clock itself: it is reached exactly when the sleep ends.
  Sleep(static_cast<DWORD>(kUptimeNeededMs - now));
}

}  // namespace calvera::e2e
