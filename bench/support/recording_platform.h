// A platform that passes every call the tick makes on to another one and records it in a
// CallSequence: the registry, the libraries (with the two entry points looked up by name), the
// system information and the process. Calls a tick never makes (deleting keys, COM, message
// boxes) pass unrecorded, and the rest of the platform is the inner one's. Records without
// allocating. One thread; one recording platform at a time, since the entry points it hands
// out are plain functions.
#pragma once

#include "fake/forwarding.h"
#include "platform/platform.h"
#include "support/call_sequence.h"

namespace calvera::bench {

class RecordingRegistry final : public fake::ForwardingRegistry {
 public:
  RecordingRegistry(platform::Registry& inner, CallSequence& calls)
      : ForwardingRegistry(inner), calls_(calls) {}
  platform::ErrorCode OpenKey(platform::RegistryRoot root,
                              const char16_t* subKey,
                              std::uint32_t access,
                              platform::RegistryKeyHandle* key) override;
  platform::ErrorCode CreateKey(platform::RegistryRoot root,
                                const char16_t* subKey,
                                std::uint32_t access,
                                platform::RegistryKeyHandle* key) override;
  platform::ErrorCode QueryValue(platform::RegistryKeyHandle key,
                                 const char16_t* name,
                                 std::uint32_t* type,
                                 void* data,
                                 std::uint32_t* size) override;
  platform::ErrorCode SetValue(platform::RegistryKeyHandle key,
                               const char16_t* name,
                               std::uint32_t type,
                               const void* data,
                               std::uint32_t size) override;
  void CloseKey(platform::RegistryKeyHandle key) override;

 private:
  CallSequence& calls_;
};

class RecordingLibraries final : public fake::ForwardingSystemLibraries {
 public:
  RecordingLibraries(platform::SystemLibraries& inner, CallSequence& calls);
  platform::LibraryHandle Load(const char16_t* name) override;
  // GlobalMemoryStatusEx and NtQuerySystemInformation come back wrapped, so that their calls
  // are recorded too.
  void* FindEntryPoint(platform::LibraryHandle library, const char* name) override;
  void Free(platform::LibraryHandle library) override;

 private:
  CallSequence& calls_;
};

class RecordingSystemInformation final : public fake::ForwardingSystemInformation {
 public:
  RecordingSystemInformation(platform::SystemInformation& inner, CallSequence& calls)
      : ForwardingSystemInformation(inner), calls_(calls) {}
  std::int32_t QueryVersion(void* record) override;
  std::uint64_t MillisecondsSinceStart() override;
  platform::LocalTime GetLocalTime() override;
  std::optional<std::uint8_t> AcLineStatus() override;

 private:
  CallSequence& calls_;
};

class RecordingProcess final : public fake::ForwardingProcess {
 public:
  RecordingProcess(platform::Process& inner, CallSequence& calls)
      : ForwardingProcess(inner), calls_(calls) {}
  std::u16string ModuleFileName() override;
  std::intptr_t ShellExecuteFile(platform::WindowHandle owner,
                                 const char16_t* verb,
                                 const char16_t* file,
                                 const char16_t* parameters,
                                 const char16_t* directory,
                                 std::int32_t show) override;

 private:
  CallSequence& calls_;
};

struct RecordingPlatform {
  RecordingPlatform(const platform::Platform& inner, CallSequence& calls)
      : registry(inner.registry, calls),
        libraries(inner.libraries, calls),
        system(inner.system, calls),
        process(inner.process, calls),
        platform{registry,       libraries,      system,          process,
                 inner.services, inner.eventLog, inner.windowing, inner.resources} {}
  RecordingPlatform(const RecordingPlatform&) = delete;
  RecordingPlatform& operator=(const RecordingPlatform&) = delete;

  RecordingRegistry registry;
  RecordingLibraries libraries;
  RecordingSystemInformation system;
  RecordingProcess process;
  platform::Platform platform;
};

}  // namespace calvera::bench
