// The four paths through the maintenance tick that the benchmarks measure: the settings that
// lead a tick down each, and the platform work the tick must do on it, in order. The floors
// replay exactly these steps, and both benchmarks check the tick against them first.
#pragma once

#include <cstdint>
#include <span>

namespace calvera::bench {

// One unit of platform work the tick cannot leave out.
enum class Step {
  kReadSetting,    // RegOpenKeyExW, RegQueryValueExW into 4 bytes, RegCloseKey
  kOpenPolicyKey,  // RegOpenKeyExW of the policy key, 64-bit view, which fails: no policy is set
  kMemoryStatus,   // LoadLibraryW Kernel32.dll, GetProcAddress, GlobalMemoryStatusEx, FreeLibrary
  kSystemInformation,  // LoadLibraryW ntdll.dll, GetProcAddress, NtQuerySystemInformation,
                       // FreeLibrary
  kVersion,            // GetVersionExW, extended form
  kPowerStatus,        // GetSystemPowerStatus
  kMilliseconds,       // GetTickCount64
  kModuleFileName,     // GetModuleFileNameW
  kLaunch,             // ShellExecuteW: a no-op in the benchmarks
};

struct TickStep {
  Step step;
  const char16_t* setting = nullptr;  // kReadSetting: the value name
  std::int32_t infoClass = 0;         // kSystemInformation
};

// A setting stored as REG_DWORD for the path; every other value of the key is absent.
struct StoredSetting {
  const char16_t* name;
  std::uint32_t value;
};

struct TickPath {
  const char* label;  // as the table names it
  bool serviceStarted;
  std::span<const StoredSetting> settings;
  std::span<const TickStep> steps;  // of every tick after the first
  bool launches;
};

// Before the start; started with memory high; memory low with a gate closed; memory low with
// every gate open (its launches go to a no-op launcher).
std::span<const TickPath> TickPaths();

// The buffer length the processor load sampler passes for `infoClass`, given the version code
// it classified.
std::uint32_t SystemInformationLength(std::int32_t infoClass, std::int32_t versionCode);

}  // namespace calvera::bench
