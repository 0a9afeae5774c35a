#include "fake/fake_named_objects.h"

#include <algorithm>
#include <utility>

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

void FakeObjectManager::FailLock(ErrorCode error) {
  std::lock_guard lock(mutex_);
  lockError_ = error;
}

void FakeObjectManager::FailCounterOperations(ErrorCode error) {
  std::lock_guard lock(mutex_);
  counterError_ = error;
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

ErrorCode FakeNamedObjects::OpenSystemNamespace(const char16_t* alias,
                                                platform::NamespaceHandle* ns) {
  std::lock_guard lock(manager_.mutex_);
  *ns = {};
  if (!manager_.namespaces_)
    return manager_.namespaceError_;
  namespaces_.insert(alias);
  *ns = namespaceHandleValues_.Next();
  namespaceHandles_[*ns] = alias;
  return platform::kErrorSuccess;
}

void FakeNamedObjects::CloseNamespace(platform::NamespaceHandle ns) {
  const auto found = namespaceHandles_.find(ns);
  if (found == namespaceHandles_.end()) {
    ++unmatchedCloses_;
    return;
  }
  namespaces_.erase(found->second);
  namespaceHandles_.erase(found);
}

ErrorCode FakeNamedObjects::OpenOrCreateMutex(const char16_t* name, platform::MutexHandle* mutex) {
  std::lock_guard lock(manager_.mutex_);
  *mutex = {};
  if (const auto failure = manager_.creationFailures_.find(name);
      failure != manager_.creationFailures_.end()) {
    return failure->second;
  }
  const std::u16string key = Resolve(name);
  ++manager_.mutexes_[key].handles;
  *mutex = mutexHandles_.Next();
  mutexes_[*mutex] = key;
  return platform::kErrorSuccess;
}

ErrorCode FakeNamedObjects::TryLock(platform::MutexHandle handle, LockResult* result) {
  manager_.Switch();
  std::lock_guard lock(manager_.mutex_);
  Record("lock");
  *result = LockResult::kBusy;
  const auto found = mutexes_.find(handle);
  if (found == mutexes_.end())
    return platform::kErrorInvalidHandle;
  if (manager_.lockError_ != 0)
    return manager_.lockError_;
  FakeObjectManager::Mutex& mutex = manager_.mutexes_.at(found->second);
  if (mutex.owner != 0 && mutex.owner != processId_)
    return platform::kErrorSuccess;
  mutex.owner = processId_;
  ++mutex.ownerCount;
  if (!mutex.abandoned) {
    *result = LockResult::kAcquired;
    return platform::kErrorSuccess;
  }
  mutex.abandoned = false;
  --mutex.handles;  // the manager's own, see LeaveAbandonedMutex
  *result = LockResult::kAbandoned;
  return platform::kErrorSuccess;
}

ErrorCode FakeNamedObjects::Unlock(platform::MutexHandle handle) {
  // ERROR_NOT_OWNER, as ReleaseMutex answers for a mutex that the caller does not own.
  constexpr ErrorCode kErrorNotOwner = 288;
  manager_.Switch();
  std::lock_guard lock(manager_.mutex_);
  Record("unlock");
  const auto found = mutexes_.find(handle);
  if (found == mutexes_.end())
    return platform::kErrorInvalidHandle;
  FakeObjectManager::Mutex& mutex = manager_.mutexes_.at(found->second);
  if (mutex.owner != processId_)
    return kErrorNotOwner;
  if (--mutex.ownerCount == 0)
    mutex.owner = 0;
  return platform::kErrorSuccess;
}

void FakeNamedObjects::CloseMutex(platform::MutexHandle handle) {
  std::lock_guard lock(manager_.mutex_);
  const auto found = mutexes_.find(handle);
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

ErrorCode FakeNamedObjects::OpenOrCreateCounter(const char16_t* name,
                                                platform::CounterHandle* counter) {
  std::lock_guard lock(manager_.mutex_);
  *counter = {};
  if (const auto failure = manager_.creationFailures_.find(name);
      failure != manager_.creationFailures_.end()) {
    return failure->second;
  }
  const std::u16string key = Resolve(name);
  ++manager_.counters_[key].handles;
  *counter = counterHandles_.Next();
  counters_[*counter] = key;
  return platform::kErrorSuccess;
}

ErrorCode FakeNamedObjects::Counter(platform::CounterHandle handle, std::uint64_t** value) {
  const auto found = counters_.find(handle);
  if (found == counters_.end())
    return platform::kErrorInvalidHandle;
  if (manager_.counterError_ != 0)
    return manager_.counterError_;
  *value = &manager_.counters_.at(found->second).value;
  return platform::kErrorSuccess;
}

ErrorCode FakeNamedObjects::AddToCounter(platform::CounterHandle handle,
                                         std::uint64_t amount,
                                         std::uint64_t* before) {
  manager_.Switch();
  std::lock_guard lock(manager_.mutex_);
  Record("add");
  *before = 0;
  std::uint64_t* value = nullptr;
  const ErrorCode error = Counter(handle, &value);
  if (error == platform::kErrorSuccess)
    *before = std::exchange(*value, *value + amount);
  return error;
}

ErrorCode FakeNamedObjects::TakeCounter(platform::CounterHandle handle, std::uint64_t* before) {
  manager_.Switch();
  std::lock_guard lock(manager_.mutex_);
  Record("take");
  *before = 0;
  std::uint64_t* value = nullptr;
  const ErrorCode error = Counter(handle, &value);
  if (error == platform::kErrorSuccess)
    *before = std::exchange(*value, 0);
  return error;
}

ErrorCode FakeNamedObjects::ReadCounter(platform::CounterHandle handle, std::uint64_t* value) {
  manager_.Switch();
  std::lock_guard lock(manager_.mutex_);
  Record("read");
  *value = 0;
  std::uint64_t* counter = nullptr;
  const ErrorCode error = Counter(handle, &counter);
  if (error == platform::kErrorSuccess)
    *value = *counter;
  return error;
}

void FakeNamedObjects::CloseCounter(platform::CounterHandle handle) {
  std::lock_guard lock(manager_.mutex_);
  const auto found = counters_.find(handle);
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
