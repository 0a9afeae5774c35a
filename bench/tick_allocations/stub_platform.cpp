#include "tick_allocations/stub_platform.h"

#include <cstring>
#include <string_view>

#include "config/settings.h"
#include "platform/calling_convention.h"
#include "platform/text.h"
#include "probes/cpu.h"
#include "probes/ram.h"

namespace calvera::bench {
namespace {

constexpr platform::RegistryKeyHandle kSettingsKey{1};
constexpr platform::LibraryHandle kKernel32{1};
constexpr platform::LibraryHandle kNtdll{2};

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;
constexpr std::uint8_t kProcessors = 4;
constexpr std::int64_t kSecond = 10'000'000;  // in 100-nanosecond units

bool IsSettingsKey(platform::RegistryRoot root, const char16_t* subKey) {
  return root == platform::RegistryRoot::kLocalMachine &&
         EqualIgnoringAsciiCase(subKey, config::kSettingsKeyPath + 1);
}

std::int32_t CALVERA_WINAPI GlobalMemoryStatusEx(void* record) {
  probes::MemoryStatusRecord status{};
  std::memcpy(&status, record, sizeof status);
  status.ullTotalPhys = 8 * kGiB;
  status.ullAvailPhys = 4 * kGiB;
  std::memcpy(record, &status, sizeof status);
  return 1;
}

// Each time-of-day query is a second later, with the processors half idle meanwhile.
std::int32_t CALVERA_WINAPI NtQuerySystemInformation(std::int32_t infoClass,
                                                     void* buffer,
                                                     std::uint32_t length,
                                                     std::uint32_t* returned) {
  static std::int64_t systemTime = 1000 * kSecond;
  static std::int64_t idleTime = 1000 * kSecond;
  const auto& layout = probes::kSystemInformationLayout;
  auto* const bytes = static_cast<unsigned char*>(buffer);
  std::memset(buffer, 0, length);
  switch (infoClass) {
    case probes::kSystemBasicInformation:
      bytes[layout.processorsOffset] = kProcessors;
      break;
    case probes::kSystemTimeOfDayInformation:
      systemTime += kSecond;
      std::memcpy(bytes + layout.currentTimeOffset, &systemTime, sizeof systemTime);
      break;
    default:
      idleTime += kProcessors * kSecond / 2;
      std::memcpy(bytes + layout.idleTimeOffset, &idleTime, sizeof idleTime);
      break;
  }
  if (returned != nullptr)
    *returned = length;
  return 0;
}

}  // namespace

platform::ErrorCode StubRegistry::OpenKey(platform::RegistryRoot root,
                                          const char16_t* subKey,
                                          std::uint32_t,
                                          platform::RegistryKeyHandle* key) {
  *key = IsSettingsKey(root, subKey) ? kSettingsKey : platform::RegistryKeyHandle{};
  return *key == kSettingsKey ? platform::kErrorSuccess : platform::kErrorFileNotFound;
}

platform::ErrorCode StubRegistry::CreateKey(platform::RegistryRoot root,
                                            const char16_t* subKey,
                                            std::uint32_t access,
                                            platform::RegistryKeyHandle* key) {
  return OpenKey(root, subKey, access, key);
}

platform::ErrorCode StubRegistry::QueryValue(platform::RegistryKeyHandle key,
                                             const char16_t* name,
                                             std::uint32_t* type,
                                             void* data,
                                             std::uint32_t* size) {
  if (key != kSettingsKey)
    return platform::kErrorInvalidHandle;
  for (const StoredSetting& setting : settings_) {
    if (!EqualIgnoringAsciiCase(name, setting.name))
      continue;
    if (type != nullptr)
      *type = platform::kRegDword;
    if (data != nullptr && size != nullptr && *size < sizeof setting.value) {
      *size = sizeof setting.value;
      return platform::kErrorMoreData;
    }
    if (data != nullptr)
      std::memcpy(data, &setting.value, sizeof setting.value);
    if (size != nullptr)
      *size = sizeof setting.value;
    return platform::kErrorSuccess;
  }
  return platform::kErrorFileNotFound;
}

platform::ErrorCode StubRegistry::SetValue(platform::RegistryKeyHandle,
                                           const char16_t*,
                                           std::uint32_t,
                                           const void*,
                                           std::uint32_t) {
  return platform::kErrorAccessDenied;
}

platform::ErrorCode StubRegistry::DeleteTree(platform::RegistryRoot,
                                             const char16_t*,
                                             std::uint32_t) {
  return platform::kErrorAccessDenied;
}

void StubRegistry::CloseKey(platform::RegistryKeyHandle) {}

platform::LibraryHandle StubLibraries::Load(const char16_t* name) {
  if (EqualIgnoringAsciiCase(name, u"Kernel32.dll"))
    return kKernel32;
  return EqualIgnoringAsciiCase(name, u"ntdll.dll") ? kNtdll : platform::LibraryHandle{};
}

void* StubLibraries::FindEntryPoint(platform::LibraryHandle library, const char* name) {
  if (library == kKernel32 && std::string_view(name) == "GlobalMemoryStatusEx")
    return reinterpret_cast<void*>(&GlobalMemoryStatusEx);
  if (library == kNtdll && std::string_view(name) == "NtQuerySystemInformation")
    return reinterpret_cast<void*>(&NtQuerySystemInformation);
  return nullptr;
}

void StubLibraries::Free(platform::LibraryHandle) {}

std::int32_t StubSystemInformation::QueryVersion(void* record) {
  // OSVERSIONINFOEXW: Windows 10, a workstation; the product type only in the extended form.
  constexpr std::size_t kMajorVersionOffset = 4;
  constexpr std::size_t kProductTypeOffset = 282;
  constexpr std::uint32_t kExtendedLength = 284;
  constexpr std::uint32_t kMajor = 10;
  constexpr std::uint8_t kWorkstation = 1;
  auto* const bytes = static_cast<unsigned char*>(record);
  std::memcpy(bytes + kMajorVersionOffset, &kMajor, sizeof kMajor);
  std::uint32_t size = 0;
  std::memcpy(&size, bytes, sizeof size);
  if (size >= kExtendedLength)
    bytes[kProductTypeOffset] = kWorkstation;
  return 1;
}

std::uint64_t StubSystemInformation::MillisecondsSinceStart() {
  return 3'600'000;
}

platform::LocalTime StubSystemInformation::GetLocalTime() {
  return {2026, 12, 4, 10, 12, 0, 0, 0};
}

std::optional<std::uint8_t> StubSystemInformation::AcLineStatus() {
  return 1;  // mains
}

std::u16string StubProcess::ModuleFileName() {
  return u"C:\\Program Files\\Calvera\\Calvera.exe";
}

std::intptr_t StubProcess::ShellExecuteFile(platform::WindowHandle,
                                            const char16_t*,
                                            const char16_t*,
                                            const char16_t*,
                                            const char16_t*,
                                            std::int32_t) {
  return 42;  // above 32: started, as far as the caller could tell
}

}  // namespace calvera::bench
