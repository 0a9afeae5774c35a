// A platform that answers the tick from fixed tables and allocates nothing itself, so that
// every allocation counted around a tick is the system's own: the settings of one path, 8 GiB
// of memory with 4 GiB available, four processors with advancing counters, Windows 10, an
// hour of uptime on mains power. The services, event log, windows and resources, which a tick
// never asks for, are the fake Windows'. One thread.
#pragma once

#include <span>

#include "fake/fake_platform.h"
#include "fake/forwarding.h"
#include "platform/platform.h"
#include "support/tick_paths.h"

namespace calvera::bench {

class StubRegistry final : public platform::Registry {
 public:
  // The values of the settings key from now on; `settings` must outlive the registry's use.
  void SetSettings(std::span<const StoredSetting> settings) { settings_ = settings; }

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
  platform::ErrorCode DeleteTree(platform::RegistryRoot root,
                                 const char16_t* subKey,
                                 std::uint32_t access) override;
  void CloseKey(platform::RegistryKeyHandle key) override;

 private:
  std::span<const StoredSetting> settings_;
};

class StubLibraries final : public platform::SystemLibraries {
 public:
  platform::LibraryHandle Load(const char16_t* name) override;
  void* FindEntryPoint(platform::LibraryHandle library, const char* name) override;
  void Free(platform::LibraryHandle library) override;
};

class StubSystemInformation final : public platform::SystemInformation {
 public:
  std::int32_t QueryVersion(void* record) override;
  std::uint64_t MillisecondsSinceStart() override;
  platform::LocalTime GetLocalTime() override;
  std::optional<std::uint8_t> AcLineStatus() override;
};

// The one part that allocates: the executable's name is a string. Only a run asks for it. The
// calls a tick never makes go to the fake.
class StubProcess final : public fake::ForwardingProcess {
 public:
  using ForwardingProcess::ForwardingProcess;

  std::u16string ModuleFileName() override;
  std::intptr_t ShellExecuteFile(platform::WindowHandle owner,
                                 const char16_t* verb,
                                 const char16_t* file,
                                 const char16_t* parameters,
                                 const char16_t* directory,
                                 std::int32_t show) override;
};

struct StubPlatform {
  fake::FakePlatform unused;
  StubRegistry registry;
  StubLibraries libraries;
  StubSystemInformation system;
  StubProcess process{unused.process};
  platform::Platform platform{registry,        libraries,       system,           process,
                              unused.services, unused.eventLog, unused.windowing, unused.resources};
};

}  // namespace calvera::bench
