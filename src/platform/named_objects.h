// Named kernel objects that processes share: a private namespace bound to the LocalSystem
// account, mutexes, and counters in shared sections.
#pragma once

#include <cstdint>

#include "platform/scoped_handle.h"
#include "platform/types.h"

namespace calvera::platform {

// A private namespace's handle; {} is none.
enum class NamespaceHandle : std::uintptr_t {};
// A mutex's HANDLE; {} is none.
enum class MutexHandle : std::uintptr_t {};
// A shared section's HANDLE, the section holding one 64-bit counter; {} is none.
enum class CounterHandle : std::uintptr_t {};

// What a wait of no time on a mutex found.
enum class LockResult {
  kAcquired,
  kAbandoned,  // acquired from an owner that ended without releasing it
  kBusy,       // another owner holds it
};

// Every function but the closes returns the Windows error code, kErrorSuccess (0) when the call
// succeeded; what it hands out comes back through the last parameter, a handle holding {}
// whenever the call failed. Any thread may call, except where a function says otherwise.
class NamedObjects {
 public:
  virtual ~NamedObjects() = default;

  // The private namespace `alias` whose boundary holds the LocalSystem SID (S-1-5-18):
  // OpenPrivateNamespaceW, or CreatePrivateNamespaceW with the caller's default security when
  // it does not exist yet; only a LocalSystem process can create it, and only the accounts of
  // its default security (LocalSystem and Administrators) can open it, so no other user can
  // take its names first. The namespace functions are looked up in kernel32 at run time:
  // kErrorProcNotFound without them; the error of CreateBoundaryDescriptorW where the system
  // has no such namespaces. Objects are named "<alias>\<name>" inside it.
  [[nodiscard]] virtual ErrorCode OpenSystemNamespace(const char16_t* alias,
                                                      NamespaceHandle* ns) = 0;
  // ClosePrivateNamespace without destroying it. Keeps the thread's last error as it was.
  virtual void CloseNamespace(NamespaceHandle ns) = 0;

  // CreateMutexW(default security, not owned, name): the mutex of that name, created when none
  // exists.
  [[nodiscard]] virtual ErrorCode OpenOrCreateMutex(const char16_t* name, MutexHandle* mutex) = 0;
  // WaitForSingleObject(mutex, 0): never waits. An owner may lock again, as often as it
  // unlocks.
  [[nodiscard]] virtual ErrorCode TryLock(MutexHandle mutex, LockResult* result) = 0;
  // ReleaseMutex; on the thread that holds it.
  [[nodiscard]] virtual ErrorCode Unlock(MutexHandle mutex) = 0;
  // CloseHandle. Keeps the thread's last error as it was.
  virtual void CloseMutex(MutexHandle mutex) = 0;

  // CreateFileMappingW on the paging file (8 bytes, default security, name): the shared counter
  // of that name, 0 when it is created. It lasts while any process holds a handle to it. Each
  // operation maps a view for its moment (MapViewOfFile), and fails when it cannot.
  [[nodiscard]] virtual ErrorCode OpenOrCreateCounter(const char16_t* name,
                                                      CounterHandle* counter) = 0;
  // Atomically adds `amount`; *before receives the value before.
  [[nodiscard]] virtual ErrorCode AddToCounter(CounterHandle counter,
                                               std::uint64_t amount,
                                               std::uint64_t* before) = 0;
  // Atomically sets 0; *before receives the value before.
  [[nodiscard]] virtual ErrorCode TakeCounter(CounterHandle counter, std::uint64_t* before) = 0;
  // The value at this moment.
  [[nodiscard]] virtual ErrorCode ReadCounter(CounterHandle counter, std::uint64_t* value) = 0;
  // CloseHandle. Keeps the thread's last error as it was.
  virtual void CloseCounter(CounterHandle counter) = 0;
};

using ScopedNamespace = ScopedHandle<NamedObjects, NamespaceHandle, &NamedObjects::CloseNamespace>;
using ScopedMutex = ScopedHandle<NamedObjects, MutexHandle, &NamedObjects::CloseMutex>;
using ScopedCounter = ScopedHandle<NamedObjects, CounterHandle, &NamedObjects::CloseCounter>;

}  // namespace calvera::platform
