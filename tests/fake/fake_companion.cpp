#include "fake/fake_companion.h"

#include <utility>

namespace calvera::fake {

FakePrivileges::FakePrivileges()
    : held_{platform::kIncreaseQuotaPrivilege, platform::kProfileSingleProcessPrivilege} {}

platform::ErrorCode FakePrivileges::Enable(const char16_t* privilegeName) {
  std::lock_guard lock(mutex_);
  const std::u16string name = privilegeName;
  if (name != platform::kIncreaseQuotaPrivilege && name != platform::kProfileSingleProcessPrivilege)
    return platform::kErrorNoSuchPrivilege;
  if (held_.count(name) == 0)
    return platform::kErrorNotAllAssigned;
  enabled_.insert(name);
  return platform::kErrorSuccess;
}

void FakePrivileges::SetHeld(const std::u16string& name, bool held) {
  std::lock_guard lock(mutex_);
  if (held)
    held_.insert(name);
  else
    held_.erase(name);
}

std::set<std::u16string> FakePrivileges::Enabled() const {
  std::lock_guard lock(mutex_);
  return enabled_;
}

std::u16string FakeVolatileStore::Key(const platform::VolatileValue& value) {
  return std::u16string(value.parentKeyPath) + u"|" + value.keyName + u"|" + value.valueName;
}

platform::ErrorCode FakeVolatileStore::Read(const platform::VolatileValue& value,
                                            std::vector<std::uint8_t>* data) {
  auto stored = Data(value);
  data->clear();
  if (!stored)
    return platform::kErrorFileNotFound;
  *data = std::move(*stored);
  return platform::kErrorSuccess;
}

platform::ErrorCode FakeVolatileStore::Write(const platform::VolatileValue& value,
                                             std::span<const std::uint8_t> data) {
  std::lock_guard lock(mutex_);
  if (!parentPresent_)
    return platform::kErrorFileNotFound;
  ++writes_;
  values_[Key(value)].assign(data.begin(), data.end());
  return platform::kErrorSuccess;
}

void FakeVolatileStore::SetParentPresent(bool present) {
  std::lock_guard lock(mutex_);
  parentPresent_ = present;
  if (!present)
    values_.clear();
}

void FakeVolatileStore::Restart() {
  std::lock_guard lock(mutex_);
  values_.clear();
}

std::optional<std::vector<std::uint8_t>> FakeVolatileStore::Data(
    const platform::VolatileValue& value) const {
  std::lock_guard lock(mutex_);
  const auto found = values_.find(Key(value));
  if (found == values_.end())
    return std::nullopt;
  return found->second;
}

void FakeVolatileStore::SetData(const platform::VolatileValue& value,
                                std::vector<std::uint8_t> data) {
  std::lock_guard lock(mutex_);
  values_[Key(value)] = std::move(data);
}

int FakeVolatileStore::Writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

FakeCompanionMachine::FakeCompanionMachine() {
  FakeServiceControlManager::Entry calvera;
  calvera.name = u"Calvera";
  calvera.processId = kServiceProcessId;
  services.AddEntry(std::move(calvera));
}

std::vector<std::u16string> FakeCompanionMachine::Records() const {
  return eventLog.Texts(u"CalveraDefrag");
}

FakeCompanionProcess::FakeCompanionProcess(FakeCompanionMachine& machine,
                                           std::uint32_t parentProcessId,
                                           std::uint64_t workingSetBytes)
    : machine_(machine),
      processId_(machine.pageLists.AddProcess(
          {u"CalveraDefrag.exe", 0, parentProcessId, 0, workingSetBytes, 0, 0, 0, 0})),
      processes_(machine.pageLists, processId_),
      namedObjects_(machine.objects, processId_),
      platform_{machine.registry,   machine.pageLists.libraries,
                machine.eventLog,   machine.services,
                processes_,         machine.pageLists,
                machine.pageLists,  machine.pageLists,
                machine.privileges, namedObjects_,
                machine.store,      machine.pageLists} {}

FakeCompanionProcess::~FakeCompanionProcess() {
  machine_.pageLists.EndProcess(processId_);
}

}  // namespace calvera::fake
