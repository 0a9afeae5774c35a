#include "tick_cost/floor.h"

#include <windows.h>

#include "config/settings.h"

namespace calvera::bench {
namespace {

using NtQuerySystemInformationFunction = LONG(WINAPI*)(int, void*, ULONG, ULONG*);
using GlobalMemoryStatusExFunction = BOOL(WINAPI*)(MEMORYSTATUSEX*);

// Results land here, so that nothing of a call's answer can be dropped as unused.
volatile std::uint64_t sink = 0;

const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}

// Through void*, as the system casts GetProcAddress's answer.
template <typename Function>
Function EntryPoint(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

void ReadSetting(const char16_t* name) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(config::kSettingsKeyPath + 1), 0,
                      KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) {
    return;
  }
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (::RegQueryValueExW(key, Wide(name), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
      ERROR_SUCCESS) {
    sink = sink + value;
  }
  ::RegCloseKey(key);
}

// The policy key is shared by both views; the system asks for it in the 64-bit one.
void OpenPolicyKey() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(config::kPolicyKeyPath + 1), 0,
                      KEY_READ | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
    ::RegCloseKey(key);
  }
}

void QueryMemoryStatus() {
  const HMODULE kernel32 = ::LoadLibraryW(L"Kernel32.dll");
  if (kernel32 == nullptr)
    return;
  if (const auto query =
          EntryPoint<GlobalMemoryStatusExFunction>(kernel32, "GlobalMemoryStatusEx")) {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    query(&status);
    sink = sink + status.ullAvailPhys;
  }
  ::FreeLibrary(kernel32);
}

void QuerySystemInformation(int infoClass, ULONG length) {
  alignas(8) static unsigned char buffer[1000];
  const HMODULE ntdll = ::LoadLibraryW(L"ntdll.dll");
  if (ntdll == nullptr)
    return;
  if (const auto query =
          EntryPoint<NtQuerySystemInformationFunction>(ntdll, "NtQuerySystemInformation")) {
    sink = sink + static_cast<std::uint64_t>(query(infoClass, buffer, length, nullptr));
  }
  ::FreeLibrary(ntdll);
}

void QueryVersion() {
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  sink = sink + ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
}

void QueryPowerStatus() {
  SYSTEM_POWER_STATUS status{};
  if (::GetSystemPowerStatus(&status))
    sink = sink + status.ACLineStatus;
}

void QueryModuleFileName() {
  wchar_t name[MAX_PATH];
  sink = sink + ::GetModuleFileNameW(nullptr, name, MAX_PATH);
}

}  // namespace

void Floor::Replay(std::span<const TickStep> steps) {
  for (const TickStep& step : steps) {
    switch (step.step) {
      case Step::kReadSetting:
        ReadSetting(step.setting);
        break;
      case Step::kOpenPolicyKey:
        OpenPolicyKey();
        break;
      case Step::kMemoryStatus:
        QueryMemoryStatus();
        break;
      case Step::kSystemInformation:
        QuerySystemInformation(step.infoClass,
                               SystemInformationLength(step.infoClass, versionCode_));
        break;
      case Step::kVersion:
        QueryVersion();
        break;
      case Step::kPowerStatus:
        QueryPowerStatus();
        break;
      case Step::kMilliseconds:
        sink = sink + ::GetTickCount64();
        break;
      case Step::kModuleFileName:
        QueryModuleFileName();
        break;
      case Step::kLaunch:
        break;
    }
  }
}

}  // namespace calvera::bench
