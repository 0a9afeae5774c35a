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
  std::uint32_t ServiceProcessId(const char16_t* serviceName) override;
};

class Win32WorkingSets final : public WorkingSets {
 public:
  ProcessHandle OpenForTrim(std::uint32_t processId, ErrorCode* error) override;
  std::optional<std::int64_t> CreationTime(ProcessHandle process) override;
  ErrorCode Trim(ProcessHandle process) override;
  void Close(ProcessHandle process) override;
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
  NamespaceHandle OpenSystemNamespace(const char16_t* alias, ErrorCode* error) override;
  void CloseNamespace(NamespaceHandle ns) override;
  MutexHandle OpenOrCreateMutex(const char16_t* name, ErrorCode* error) override;
  // Unlock on the thread that got the lock.
  LockResult TryLock(MutexHandle mutex) override;
  void Unlock(MutexHandle mutex) override;
  void CloseMutex(MutexHandle mutex) override;
  CounterHandle OpenOrCreateCounter(const char16_t* name, ErrorCode* error) override;
  std::uint64_t AddToCounter(CounterHandle counter, std::uint64_t amount) override;
  std::uint64_t TakeCounter(CounterHandle counter) override;
  std::uint64_t ReadCounter(CounterHandle counter) override;
  void CloseCounter(CounterHandle counter) override;
};

class Win32VolatileStore final : public VolatileStore {
 public:
  std::optional<std::vector<std::uint8_t>> Read(const VolatileValue& value) override;
  ErrorCode Write(const VolatileValue& value, std::span<const std::uint8_t> data) override;
};

}  // namespace calvera::platform
