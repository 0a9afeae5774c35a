#include "support/recording_platform.h"

#include <cstring>

#include "platform/entry_points.h"

namespace calvera::bench {
namespace {

// The entry points handed out last, and where their calls go; plain functions cannot carry
// their recorder with them.
CallSequence* entryPointCalls = nullptr;
platform::GlobalMemoryStatusExFunction innerGlobalMemoryStatusEx = nullptr;
platform::NtQuerySystemInformationFunction innerNtQuerySystemInformation = nullptr;

std::int32_t CALVERA_WINAPI RecordedGlobalMemoryStatusEx(void* record) {
  std::uint32_t length = 0;
  std::memcpy(&length, record, sizeof length);
  entryPointCalls->Add({Call::kGlobalMemoryStatusEx, nullptr, nullptr, length});
  return innerGlobalMemoryStatusEx(record);
}

std::int32_t CALVERA_WINAPI RecordedNtQuerySystemInformation(std::int32_t infoClass,
                                                             void* buffer,
                                                             std::uint32_t length,
                                                             std::uint32_t* returned) {
  entryPointCalls->Add({Call::kNtQuerySystemInformation, nullptr, nullptr, infoClass, length});
  return innerNtQuerySystemInformation(infoClass, buffer, length, returned);
}

}  // namespace

platform::ErrorCode RecordingRegistry::OpenKey(platform::RegistryRoot root,
                                               const char16_t* subKey,
                                               std::uint32_t access,
                                               platform::RegistryKeyHandle* key) {
  calls_.Add({Call::kOpenKey, subKey, nullptr, access});
  return inner().OpenKey(root, subKey, access, key);
}

platform::ErrorCode RecordingRegistry::CreateKey(platform::RegistryRoot root,
                                                 const char16_t* subKey,
                                                 std::uint32_t access,
                                                 platform::RegistryKeyHandle* key) {
  calls_.Add({Call::kCreateKey, subKey, nullptr, access});
  return inner().CreateKey(root, subKey, access, key);
}

platform::ErrorCode RecordingRegistry::QueryValue(platform::RegistryKeyHandle key,
                                                  const char16_t* name,
                                                  std::uint32_t* type,
                                                  void* data,
                                                  std::uint32_t* size) {
  calls_.Add({Call::kQueryValue, name, nullptr, size != nullptr ? *size : -1, data != nullptr});
  return inner().QueryValue(key, name, type, data, size);
}

platform::ErrorCode RecordingRegistry::SetValue(platform::RegistryKeyHandle key,
                                                const char16_t* name,
                                                std::uint32_t type,
                                                const void* data,
                                                std::uint32_t size) {
  calls_.Add({Call::kSetValue, name});
  return inner().SetValue(key, name, type, data, size);
}

void RecordingRegistry::CloseKey(platform::RegistryKeyHandle key) {
  calls_.Add({Call::kCloseKey});
  inner().CloseKey(key);
}

RecordingLibraries::RecordingLibraries(platform::SystemLibraries& inner, CallSequence& calls)
    : ForwardingSystemLibraries(inner), calls_(calls) {
  entryPointCalls = &calls;
}

platform::LibraryHandle RecordingLibraries::Load(const char16_t* name) {
  calls_.Add({Call::kLoadLibrary, name});
  return inner().Load(name);
}

void* RecordingLibraries::FindEntryPoint(platform::LibraryHandle library, const char* name) {
  calls_.Add({Call::kFindEntryPoint, nullptr, name});
  void* const entryPoint = inner().FindEntryPoint(library, name);
  if (entryPoint == nullptr)
    return nullptr;
  if (std::strcmp(name, "GlobalMemoryStatusEx") == 0) {
    innerGlobalMemoryStatusEx =
        reinterpret_cast<platform::GlobalMemoryStatusExFunction>(entryPoint);
    return reinterpret_cast<void*>(&RecordedGlobalMemoryStatusEx);
  }
  if (std::strcmp(name, "NtQuerySystemInformation") == 0) {
    innerNtQuerySystemInformation =
        reinterpret_cast<platform::NtQuerySystemInformationFunction>(entryPoint);
    return reinterpret_cast<void*>(&RecordedNtQuerySystemInformation);
  }
  return entryPoint;
}

void RecordingLibraries::Free(platform::LibraryHandle library) {
  calls_.Add({Call::kFreeLibrary});
  inner().Free(library);
}

std::int32_t RecordingSystemInformation::QueryVersion(void* record) {
  std::uint32_t size = 0;
  std::memcpy(&size, record, sizeof size);
  calls_.Add({Call::kGetVersionEx, nullptr, nullptr, size});
  return inner().QueryVersion(record);
}

std::uint64_t RecordingSystemInformation::MillisecondsSinceStart() {
  calls_.Add({Call::kMilliseconds});
  return inner().MillisecondsSinceStart();
}

platform::LocalTime RecordingSystemInformation::GetLocalTime() {
  calls_.Add({Call::kLocalTime});
  return inner().GetLocalTime();
}

std::optional<std::uint8_t> RecordingSystemInformation::AcLineStatus() {
  calls_.Add({Call::kPowerStatus});
  return inner().AcLineStatus();
}

std::u16string RecordingProcess::ModuleFileName() {
  calls_.Add({Call::kModuleFileName});
  return inner().ModuleFileName();
}

std::intptr_t RecordingProcess::ShellExecuteFile(platform::WindowHandle owner,
                                                 const char16_t* verb,
                                                 const char16_t* file,
                                                 const char16_t* parameters,
                                                 const char16_t* directory,
                                                 std::int32_t show) {
  calls_.Add({Call::kShellExecute});
  return inner().ShellExecuteFile(owner, verb, file, parameters, directory, show);
}

}  // namespace calvera::bench
