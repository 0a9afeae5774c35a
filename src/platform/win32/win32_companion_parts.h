// The real platform's parts that only the companion program uses. This header stays free of
// <windows.h>. Every part holds no state: any thread may call.
#pragma once

#include "platform/clock.h"
#include "platform/memory_lists.h"
#include "platform/named_objects.h"
#include "platform/privileges.h"
#include "platform/system_file_cache.h"
#include "platform/system_processes.h"
#include "platform/volatile_store.h"
#include "platform/working_sets.h"

namespace calvera::platform {

class Win32Clock final : public Clock {
 public:
  std::uint64_t MillisecondsSinceStart() override;
  std::int64_t SystemTime() override;
  void Sleep(std::uint32_t milliseconds) override;
};

class Win32SystemProcesses final : public SystemProcesses {
 public:
  NtStatus Snapshot(std::vector<ProcessRecord>* processes) override;
  std::uint32_t CurrentProcessId() override;
};

class Win32WorkingSets final : public WorkingSets {
 public:
  ErrorCode OpenForTrim(std::uint32_t processId, ProcessHandle* process) override;
  ErrorCode QueryCreationTime(ProcessHandle process, std::int64_t* creationTime) override;
  ErrorCode Trim(ProcessHandle process) override;
  void CloseProcess(ProcessHandle process) override;
};

class Win32SystemFileCache final : public SystemFileCache {
 public:
  ErrorCode TrimWorkingSet() override;
};

class Win32MemoryLists final : public MemoryLists {
 public:
  NtStatus Query(MemoryListSizes* sizes) override;
  NtStatus SendCommand(MemoryListCommand command) override;
};

class Win32Privileges final : public Privileges {
 public:
  ErrorCode Enable(const char16_t* privilegeName) override;
};

class Win32NamedObjects final : public NamedObjects {
 public:
  ErrorCode OpenSystemNamespace(const char16_t* alias, NamespaceHandle* ns) override;
  void CloseNamespace(NamespaceHandle ns) override;
  ErrorCode OpenOrCreateMutex(const char16_t* name, MutexHandle* mutex) override;
  // Unlock on the thread that got the lock.
  ErrorCode TryLock(MutexHandle mutex, LockResult* result) override;
  ErrorCode Unlock(MutexHandle mutex) override;
  void CloseMutex(MutexHandle mutex) override;
  ErrorCode OpenOrCreateCounter(const char16_t* name, CounterHandle* counter) override;
  ErrorCode AddToCounter(CounterHandle counter,
                         std::uint64_t amount,
                         std::uint64_t* before) override;
  ErrorCode TakeCounter(CounterHandle counter, std::uint64_t* before) override;
  ErrorCode ReadCounter(CounterHandle counter, std::uint64_t* value) override;
  void CloseCounter(CounterHandle counter) override;
};

class Win32VolatileStore final : public VolatileStore {
 public:
  ErrorCode Read(const VolatileValue& value, std::vector<std::uint8_t>* data) override;
  ErrorCode Write(const VolatileValue& value, std::span<const std::uint8_t> data) override;
};

}  // namespace calvera::platform
