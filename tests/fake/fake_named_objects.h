// Fake named kernel objects: one FakeObjectManager holds the objects of a machine, and each fake
// process reaches them through a FakeNamedObjects of its own, as processes do through their
// handles. Objects live while any process holds a handle to them, so a shared counter that no
// process holds is gone, as a section is. A mutex is owned by a process; a process that ends
// (its FakeNamedObjects destroyed) while it owns one leaves it abandoned. A private namespace's
// names are its own, apart from the global ones. Every operation on an open object can be a
// switch point for a scheduler. Any thread may call.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fake/handle_values.h"
#include "platform/named_objects.h"

namespace calvera::fake {

class FakeObjectManager {
 public:
  // Private namespaces at first; without them OpenSystemNamespace fails with `error`, as Wine's
  // CreateBoundaryDescriptorW does.
  void SetPrivateNamespaces(bool available, platform::ErrorCode error = 120);
  // Creating an object of this name (as the process passes it) fails with `error`; 0 undoes it.
  void FailCreation(const std::u16string& name, platform::ErrorCode error);
  // TryLock fails with `error` from now on; 0 undoes it.
  void FailLock(platform::ErrorCode error);
  // Every operation on a counter (add, take, read) fails with `error` from now on, as it does
  // when no view of the section can be mapped; 0 undoes it.
  void FailCounterOperations(platform::ErrorCode error);
  // Called before every operation on an object once it is open (add, take, read, lock,
  // unlock): where a scheduler may switch processes.
  void SetSwitchHook(std::function<void()> hook);

  // The object's state by the name a process used, in the namespace it would resolve to
  // (`inPrivateNamespace`); nullopt when no process holds it.
  std::optional<std::uint64_t> CounterValue(const std::u16string& name,
                                            bool inPrivateNamespace) const;
  bool MutexExists(const std::u16string& name, bool inPrivateNamespace) const;
  // The id of the process that owns the mutex; 0 when none does.
  std::uint32_t MutexOwner(const std::u16string& name, bool inPrivateNamespace) const;
  // Makes a mutex as a process leaves it that ended while it held it: it exists, no one owns
  // it, and the next TryLock reports it abandoned. Kept alive by the manager until then.
  void LeaveAbandonedMutex(const std::u16string& name, bool inPrivateNamespace);

 private:
  friend class FakeNamedObjects;
  struct Mutex {
    int handles = 0;
    std::uint32_t owner = 0;
    int ownerCount = 0;  // recursive acquisitions by the owner
    bool abandoned = false;
  };
  struct Counter {
    int handles = 0;
    std::uint64_t value = 0;
  };

  static std::u16string Key(const std::u16string& name, bool inPrivateNamespace);
  void Switch() const;

  mutable std::mutex mutex_;
  bool namespaces_ = true;
  platform::ErrorCode namespaceError_ = 120;
  platform::ErrorCode lockError_ = 0;
  platform::ErrorCode counterError_ = 0;
  std::map<std::u16string, platform::ErrorCode> creationFailures_;
  std::function<void()> switchHook_;
  std::map<std::u16string, Mutex> mutexes_;
  std::map<std::u16string, Counter> counters_;
};

class FakeNamedObjects final : public platform::NamedObjects {
 public:
  FakeNamedObjects(FakeObjectManager& manager, std::uint32_t processId);
  FakeNamedObjects(const FakeNamedObjects&) = delete;
  FakeNamedObjects& operator=(const FakeNamedObjects&) = delete;
  // The process ends: its handles close, and a mutex it owns is left abandoned.
  ~FakeNamedObjects() override;

  platform::ErrorCode OpenSystemNamespace(const char16_t* alias,
                                          platform::NamespaceHandle* ns) override;
  void CloseNamespace(platform::NamespaceHandle ns) override;
  platform::ErrorCode OpenOrCreateMutex(const char16_t* name,
                                        platform::MutexHandle* mutex) override;
  // ERROR_INVALID_HANDLE for a handle this process does not hold.
  platform::ErrorCode TryLock(platform::MutexHandle mutex, platform::LockResult* result) override;
  // ERROR_NOT_OWNER when this process does not own the mutex.
  platform::ErrorCode Unlock(platform::MutexHandle mutex) override;
  void CloseMutex(platform::MutexHandle mutex) override;
  platform::ErrorCode OpenOrCreateCounter(const char16_t* name,
                                          platform::CounterHandle* counter) override;
  platform::ErrorCode AddToCounter(platform::CounterHandle counter,
                                   std::uint64_t amount,
                                   std::uint64_t* before) override;
  platform::ErrorCode TakeCounter(platform::CounterHandle counter, std::uint64_t* before) override;
  platform::ErrorCode ReadCounter(platform::CounterHandle counter, std::uint64_t* value) override;
  void CloseCounter(platform::CounterHandle counter) override;

  // Handles of any kind still open, and closes of handles that were not.
  std::size_t OpenHandleCount() const;
  std::size_t UnmatchedCloses() const;
  // Every operation this process made on an object, in order: "add", "take", "read", "lock",
  // "unlock".
  std::vector<std::string> Operations() const;

 private:
  std::u16string Resolve(const char16_t* name) const;
  void Record(const char* operation);
  // The counter behind `handle` for one operation, or the error it fails with. Under the
  // manager's lock.
  platform::ErrorCode Counter(platform::CounterHandle handle, std::uint64_t** value);

  FakeObjectManager& manager_;
  std::uint32_t processId_;
  std::set<std::u16string> namespaces_;                                   // aliases held open
  std::map<platform::MutexHandle, std::u16string> mutexes_;               // handle -> key
  std::map<platform::CounterHandle, std::u16string> counters_;            // handle -> key
  std::map<platform::NamespaceHandle, std::u16string> namespaceHandles_;  // handle -> alias
  HandleValues<platform::MutexHandle> mutexHandles_{0x100};
  HandleValues<platform::CounterHandle> counterHandles_{0x200};
  HandleValues<platform::NamespaceHandle> namespaceHandleValues_{0x300};
  std::size_t unmatchedCloses_ = 0;
  std::vector<std::string> operations_;
};

}  // namespace calvera::fake
