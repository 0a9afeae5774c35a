// Named kernel objects that processes share: a private namespace bound to the LocalSystem
// account, mutexes, and counters in shared sections. Any thread may call.
#pragma once

#include <cstdint>

#include "platform/scoped_handle.h"
#include "platform/status_codes.h"

namespace calvera::platform {

// A private namespace's handle; {} is none.
enum class NamespaceHandle : std::uintptr_t {};
// A mutex's HANDLE; {} is none.
enum class MutexHandle : std::uintptr_t {};
// A shared section's HANDLE, the section holding one 64-bit counter; {} is none.
enum class CounterHandle : std::uintptr_t {};

// What WaitForSingleObject(mutex, 0) answered.
enum class LockResult {
  kAcquired,
  kAbandoned,  // acquired from an owner that ended without releasing it
  kBusy,       // another owner holds it
  kFailed,
};

class NamedObjects {
 public:
  virtual ~NamedObjects() = default;

  // The private namespace `alias` whose boundary holds the LocalSystem SID (S-1-5-18):
  // OpenPrivateNamespaceW, or CreatePrivateNamespaceW with the caller's default security when
  // it does not exist yet; only a LocalSystem process can create it, and only the accounts of
  // its default security (LocalSystem and Administrators) can open it, so no other user can
  // take its names first. The namespace functions are looked up in kernel32 at run time. {} with
  // *error set when the system has no such namespaces (kErrorProcNotFound, or the error of
  // CreateBoundaryDescriptorW) or the caller may neither open nor create it. Objects are named
  // "<alias>\<name>" inside it.
  virtual NamespaceHandle OpenSystemNamespace(const char16_t* alias, ErrorCode* error) = 0;
  // ClosePrivateNamespace without destroying it. Keeps the thread's last error as it was.
  virtual void CloseNamespace(NamespaceHandle ns) = 0;

  // CreateMutexW(default security, not owned, name): the mutex of that name, created when none
  // exists. {} with *error set on failure.
  virtual MutexHandle OpenOrCreateMutex(const char16_t* name, ErrorCode* error) = 0;
  // WaitForSingleObject(mutex, 0): never waits.
  virtual LockResult TryLock(MutexHandle mutex) = 0;
  // ReleaseMutex; on the thread that holds it.
  virtual void Unlock(MutexHandle mutex) = 0;
  // CloseHandle. Keeps the thread's last error as it was.
  virtual void CloseMutex(MutexHandle mutex) = 0;

  // CreateFileMappingW on the paging file (8 bytes, default security, name): the shared counter
  // of that name, 0 when it is created. It lasts while any process holds a handle to it. {} with
  // *error set on failure. Each operation maps a view for its moment (MapViewOfFile) and answers
  // 0 when it cannot.
  virtual CounterHandle OpenOrCreateCounter(const char16_t* name, ErrorCode* error) = 0;
  // Atomically adds `amount` and returns the value before.
  virtual std::uint64_t AddToCounter(CounterHandle counter, std::uint64_t amount) = 0;
  // Atomically sets 0 and returns the value before.
  virtual std::uint64_t TakeCounter(CounterHandle counter) = 0;
  // The value at this moment.
  virtual std::uint64_t ReadCounter(CounterHandle counter) = 0;
  // CloseHandle. Keeps the thread's last error as it was.
  virtual void CloseCounter(CounterHandle counter) = 0;
};

using ScopedNamespace = ScopedHandle<NamedObjects, NamespaceHandle, &NamedObjects::CloseNamespace>;
using ScopedMutex = ScopedHandle<NamedObjects, MutexHandle, &NamedObjects::CloseMutex>;
using ScopedCounter = ScopedHandle<NamedObjects, CounterHandle, &NamedObjects::CloseCounter>;

}  // namespace calvera::platform
