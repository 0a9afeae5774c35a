#include "fake/fake_named_objects.h"

#include <algorithm>

namespace calvera::fake {

using platform::ErrorCode;
using platform::LockResult;

void FakeObjectManager::SetPrivateNamespaces(bool available, ErrorCode error) {
  std::lock_guard lock(mutex_);
  namespaces_ = available;
  namespaceError_ = error;
}

void FakeObjectManager::FailCreation(const std::u16string& name, ErrorCode error) {
  std::lock_guard lock(mutex_);
  if (error == 0)
    creationFailures_.erase(name);
  else
    creationFailures_[name] = error;
}

void FakeObjectManager::SetLockFails(bool fails) {
  std::lock_guard lock(mutex_);
  lockFails_ = fails;
}

void FakeObjectManager::SetSwitchHook(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  switchHook_ = std::move(hook);
}

std::optional<std::uint64_t> FakeObjectManager::CounterValue(const std::u16string& name,
                                                             bool inPrivateNamespace) const {
  std::lock_guard lock(mutex_);
  const auto found = counters_.find(Key(name, inPrivateNamespace));
  if (found == counters_.end())
    return std::nullopt;
  return found->second.value;
}

bool FakeObjectManager::MutexExists(const std::u16string& name, bool inPrivateNamespace) const {
  std::lock_guard lock(mutex_);
  return mutexes_.count(Key(name, inPrivateNamespace)) != 0;
}

std::uint32_t FakeObjectManager::MutexOwner(const std::u16string& name,
                                            bool inPrivateNamespace) const {
  std::lock_guard lock(mutex_);
  const auto found = mutexes_.find(Key(name, inPrivateNamespace));
  return found == mutexes_.end() ? 0 : found->second.owner;
}

void FakeObjectManager::LeaveAbandonedMutex(const std::u16string& name, bool inPrivateNamespace) {
  std::lock_guard lock(mutex_);
  Mutex& mutex = mutexes_[Key(name, inPrivateNamespace)];
  mutex.handles += 1;  // the manager's own, dropped when the abandonment is seen
  mutex.owner = 0;
  mutex.ownerCount = 0;
  mutex.abandoned = true;
}

std::u16string FakeObjectManager::Key(const std::u16string& name, bool inPrivateNamespace) {
  return (inPrivateNamespace ? u"private:" : u"") + name;
}

void FakeObjectManager::Switch() const {
  std::function<void()> hook;
  {
    std::lock_guard lock(mutex_);
    hook = switchHook_;
  }
  if (hook)
    hook();
}

FakeNamedObjects::FakeNamedObjects(FakeObjectManager& manager, std::uint32_t processId)
    : manager_(manager), processId_(processId) {}

FakeNamedObjects::~FakeNamedObjects() {
  std::lock_guard lock(manager_.mutex_);
  // The mutexes it owns are abandoned, whether or not it still has a handle to them.
  for (auto& [key, mutex] : manager_.mutexes_) {
    if (mutex.owner == processId_) {
      mutex.owner = 0;
      mutex.ownerCount = 0;
      mutex.abandoned = true;
    }
  }
  for (const auto& [handle, key] : mutexes_)
    --manager_.mutexes_.at(key).handles;
  std::erase_if(manager_.mutexes_, [](const auto& entry) {
    return entry.second.handles == 0 && entry.second.owner == 0;
  });
  for (const auto& [handle, key] : counters_) {
    auto found = manager_.counters_.find(key);
    if (found != manager_.counters_.end() && --found->second.handles == 0)
      manager_.counters_.erase(found);
  }
}

std::u16string FakeNamedObjects::Resolve(const char16_t* name) const {
  const std::u16string text = name;
  for (const std::u16string& alias : namespaces_) {
    if (text.size() > alias.size() && text.compare(0, alias.size(), alias) == 0 &&
        text[alias.size()] == u'\\') {
      return FakeObjectManager::Key(text, true);
    }
  }
  return FakeObjectManager::Key(text, false);
}

void FakeNamedObjects::Record(const char* operation) {
  operations_.emplace_back(operation);
}

platform::NamespaceHandle FakeNamedObjects::OpenSystemNamespace(const char16_t* alias,
                                                                ErrorCode* error) {
  std::lock_guard lock(manager_.mutex_);
  if (!manager_.namespaces_) {
    if (error != nullptr)
      *error = manager_.namespaceError_;
    return platform::NamespaceHandle{};
  }
  namespaces_.insert(alias);
  const std::uintptr_t handle = nextHandle_++;
  namespaceHandles_[handle] = alias;
  return static_cast<platform::NamespaceHandle>(handle);
}

void FakeNamedObjects::CloseNamespace(platform::NamespaceHandle ns) {
  const auto found = namespaceHandles_.find(static_cast<std::uintptr_t>(ns));
  if (found == namespaceHandles_.end()) {
    ++unmatchedCloses_;
    return;
  }
  namespaces_.erase(found->second);
  namespaceHandles_.erase(found);
}

platform::MutexHandle FakeNamedObjects::OpenOrCreateMutex(const char16_t* name, ErrorCode* error) {
  std::lock_guard lock(manager_.mutex_);
  if (const auto failure = manager_.creationFailures_.find(name);
      failure != manager_.creationFailures_.end()) {
    if (error != nullptr)
      *error = failure->second;
    return platform::MutexHandle{};
  }
  const std::u16string key = Resolve(name);
  ++manager_.mutexes_[key].handles;
  const std::uintptr_t handle = nextHandle_++;
  mutexes_[handle] = key;
  return static_cast<platform::MutexHandle>(handle);
}

LockResult FakeNamedObjects::TryLock(platform::MutexHandle handle) {
  manager_.Switch();
  std::lock_guard lock(manager_.mutex_);
  Record("lock");
  const auto found = mutexes_.find(static_cast<std::uintptr_t>(handle));
  if (found == mutexes_.end() || manager_.lockFails_)
    return LockResult::kFailed;
  FakeObjectManager::Mutex& mutex = manager_.mutexes_.at(found->second);
  if (mutex.owner != 0 && mutex.owner != processId_)
    return LockResult::kBusy;
  mutex.owner = processId_;
  ++mutex.ownerCount;
  if (!mutex.abandoned)
    return LockResult::kAcquired;
  mutex.abandoned = false;
  --mutex.handles;  // the manager's own, see LeaveAbandonedMutex
  return LockResult::kAbandoned;
}

void FakeNamedObjects::Unlock(platform::MutexHandle handle) {
  manager_.Switch();
  std::lock_guard lock(manager_.mutex_);
  Record("unlock");
  const auto found = mutexes_.find(static_cast<std::uintptr_t>(handle));
  if (found == mutexes_.end())
    return;
  FakeObjectManager::Mutex& mutex = manager_.mutexes_.at(found->second);
  if (mutex.owner == processId_ && --mutex.ownerCount == 0)
    mutex.owner = 0;
}

void FakeNamedObjects::CloseMutex(platform::MutexHandle handle) {
  std::lock_guard lock(manager_.mutex_);
  const auto found = mutexes_.find(static_cast<std::uintptr_t>(handle));
  if (found == mutexes_.end()) {
    ++unmatchedCloses_;
    return;
  }
  // Closing a handle does not release ownership; only the end of the owner does.
  const auto object = manager_.mutexes_.find(found->second);
  if (--object->second.handles == 0 && object->second.owner == 0)
    manager_.mutexes_.erase(object);
  mutexes_.erase(found);
}

platform::CounterHandle FakeNamedObjects::OpenOrCreateCounter(const char16_t* name,
                                                              ErrorCode* error) {
  std::lock_guard lock(manager_.mutex_);
  if (const auto failure = manager_.creationFailures_.find(name);
      failure != manager_.creationFailures_.end()) {
    if (error != nullptr)
      *error = failure->second;
    return platform::CounterHandle{};
  }
  const std::u16string key = Resolve(name);
  ++manager_.counters_[key].handles;
  const std::uintptr_t handle = nextHandle_++;
  counters_[handle] = key;
  return static_cast<platform::CounterHandle>(handle);
}

std::uint64_t FakeNamedObjects::AddToCounter(platform::CounterHandle handle,
                                             std::uint64_t amount) {
  manager_.Switch();
  std::lock_guard lock(manager_.mutex_);
  Record("add");
  std::uint64_t& value = manager_.counters_.at(counters_.at(static_cast<std::uintptr_t>(handle))).value;
  return std::exchange(value, value + amount);
}

std::uint64_t FakeNamedObjects::TakeCounter(platform::CounterHandle handle) {
  manager_.Switch();
  std::lock_guard lock(manager_.mutex_);
  Record("take");
  return std::exchange(
      manager_.counters_.at(counters_.at(static_cast<std::uintptr_t>(handle))).value, 0);
}

std::uint64_t FakeNamedObjects::ReadCounter(platform::CounterHandle handle) {
  manager_.Switch();
  std::lock_guard lock(manager_.mutex_);
  Record("read");
  return manager_.counters_.at(counters_.at(static_cast<std::uintptr_t>(handle))).value;
}

void FakeNamedObjects::CloseCounter(platform::CounterHandle handle) {
  std::lock_guard lock(manager_.mutex_);
  const auto found = counters_.find(static_cast<std::uintptr_t>(handle));
  if (found == counters_.end()) {
    ++unmatchedCloses_;
    return;
  }
  const auto object = manager_.counters_.find(found->second);
  if (--object->second.handles == 0)
    manager_.counters_.erase(object);
  counters_.erase(found);
}

std::size_t FakeNamedObjects::OpenHandleCount() const {
  std::lock_guard lock(manager_.mutex_);
  return mutexes_.size() + counters_.size() + namespaceHandles_.size();
}

std::size_t FakeNamedObjects::UnmatchedCloses() const {
  std::lock_guard lock(manager_.mutex_);
  return unmatchedCloses_;
}

std::vector<std::string> FakeNamedObjects::Operations() const {
  std::lock_guard lock(manager_.mutex_);
  return operations_;
}

}  // namespace calvera::fake
