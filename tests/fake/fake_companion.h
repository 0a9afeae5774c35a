// A fake machine for the companion program and the companion processes that a test starts on
// it. The machine holds what all its processes share: the page lists with their clock, the
// registry, the event log, the service manager, the named objects, the volatile store and the
// token's privileges.
// Each FakeCompanionProcess is one process of the program: an id of its own in the process
// list, handles of its own, and the CompanionPlatform it runs on. Any thread may call.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "fake/fake_event_log.h"
#include "fake/fake_named_objects.h"
#include "fake/fake_page_lists.h"
#include "fake/fake_registry.h"
#include "fake/fake_service_control_manager.h"
#include "platform/companion_platform.h"
#include "platform/privileges.h"
#include "platform/volatile_store.h"

namespace calvera::fake {

// The token's privileges: those held can be enabled, others answer ERROR_NOT_ALL_ASSIGNED.
class FakePrivileges final : public platform::Privileges {
 public:
  // Holds both of the companion's privileges at first, as LocalSystem does.
  FakePrivileges();
  platform::ErrorCode Enable(const char16_t* privilegeName) override;

  void SetHeld(const std::u16string& name, bool held);
  // The privileges enabled so far.
  std::set<std::u16string> Enabled() const;

 private:
  mutable std::mutex mutex_;
  std::set<std::u16string> held_;
  std::set<std::u16string> enabled_;
};

// Volatile keys below existing parents, as RegCreateKeyExW with REG_OPTION_VOLATILE makes them.
class FakeVolatileStore final : public platform::VolatileStore {
 public:
  platform::ErrorCode Read(const platform::VolatileValue& value,
                           std::vector<std::uint8_t>* data) override;
  platform::ErrorCode Write(const platform::VolatileValue& value,
                            std::span<const std::uint8_t> data) override;

  // Whether the parent key exists (the service is installed); true at first.
  void SetParentPresent(bool present);
  // The system restarts: every volatile key is gone.
  void Restart();
  std::optional<std::vector<std::uint8_t>> Data(const platform::VolatileValue& value) const;
  void SetData(const platform::VolatileValue& value, std::vector<std::uint8_t> data);
  int Writes() const;

 private:
  static std::u16string Key(const platform::VolatileValue& value);

  mutable std::mutex mutex_;
  bool parentPresent_ = true;
  std::map<std::u16string, std::vector<std::uint8_t>> values_;
  int writes_ = 0;
};

struct FakeCompanionMachine {
  // The service "Calvera" is installed, and runs as the process `kServiceProcessId`.
  FakeCompanionMachine();

  static constexpr std::uint32_t kServiceProcessId = 4242;

  FakePageLists pageLists;
  FakeRegistry registry;
  FakeEventLog eventLog;
  FakeServiceControlManager services;
  FakeObjectManager objects;
  FakeVolatileStore store;
  FakePrivileges privileges;

  // The texts of the companion's entries, in order.
  std::vector<std::u16string> Records() const;
};

class FakeCompanionProcess {
 public:
  // Appears in the machine's process list as CalveraDefrag.exe, a child of `parentProcessId`,
  // with `workingSetBytes` of its own; ends with the object.
  explicit FakeCompanionProcess(FakeCompanionMachine& machine,
                                std::uint32_t parentProcessId = 0,
                                std::uint64_t workingSetBytes = 2 * FakePageLists::kMegabyte);
  FakeCompanionProcess(const FakeCompanionProcess&) = delete;
  FakeCompanionProcess& operator=(const FakeCompanionProcess&) = delete;
  ~FakeCompanionProcess();

  std::uint32_t ProcessId() const { return processId_; }
  platform::CompanionPlatform& Platform() { return platform_; }
  FakeNamedObjects& NamedObjects() { return namedObjects_; }

 private:
  FakeCompanionMachine& machine_;
  std::uint32_t processId_;
  FakeSystemProcesses processes_;
  FakeNamedObjects namedObjects_;
  platform::CompanionPlatform platform_;
};

}  // namespace calvera::fake
