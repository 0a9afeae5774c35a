// A fake model of Windows' physical memory, as the companion sees it: the working sets of
// processes with their clean and dirty pages, the system file cache's working set, the standby
// list by priority, the modified, free and zero lists, and a clock. It behaves as the memory
// manager does where the companion relies on it:
//   - trimming a working set moves its clean pages to standby and its dirty ones to modified;
//   - trimming the file cache's working set moves its pages to standby;
//   - flushing the modified list writes its pages and moves them to standby;
//   - purging a standby list moves its pages to free;
//   - available memory, as GlobalMemoryStatusEx reports it through `libraries`, is standby plus
//     free plus zero.
// Every memory list command is modelled, so that a test can prove which were sent. Busy
// processes use processor time as the clock runs; a background consumer can eat available
// memory as it runs. Every call can be made to fail as Windows fails it. Any thread may call.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "fake/fake_system_libraries.h"
#include "fake/handle_values.h"
#include "platform/clock.h"
#include "platform/memory_lists.h"
#include "platform/system_file_cache.h"
#include "platform/system_processes.h"
#include "platform/working_sets.h"

namespace calvera::fake {

class FakePageLists final : public platform::SystemFileCache,
                            public platform::MemoryLists,
                            public platform::WorkingSets,
                            public platform::Clock {
 public:
  static constexpr std::uint64_t kPageSize = 4096;
  static constexpr std::uint64_t kMegabyte = 1048576;
  // 100-nanosecond units a second, as processor and file times count.
  static constexpr std::int64_t kFileTimeSecond = 10'000'000;
  // The priority of the standby list that trimmed and flushed pages go to.
  static constexpr std::size_t kNormalStandbyPriority = 5;

  struct ProcessSpec {
    std::u16string imageName = u"app.exe";
    std::uint32_t processId = 0;  // 0: the next free id
    std::uint32_t parentProcessId = 0;
    std::int64_t ageSeconds = 3600;
    std::uint64_t cleanBytes = 0;  // of its private working set
    std::uint64_t dirtyBytes = 0;
    // Processor time it uses per second of the clock, in 100-nanosecond units; 0 is idle.
    std::int64_t busyPerSecond = 0;
    platform::ErrorCode openError = 0;  // OpenProcess fails with it
    platform::ErrorCode trimError = 0;  // SetProcessWorkingSetSize fails with it
  };

  FakePageLists();
  FakePageLists(const FakePageLists&) = delete;
  FakePageLists& operator=(const FakePageLists&) = delete;

  // The memory status behind GlobalMemoryStatusEx, kept in step with the lists.
  FakeSystemLibraries libraries;

  // --- The machine, as a test sets it up. Sizes in bytes, rounded down to whole pages.
  // 1 GiB free, 1 GiB standby (priority 5) and nothing else at first.
  void SetFree(std::uint64_t bytes);
  void SetZeroed(std::uint64_t bytes);
  void SetStandby(std::size_t priority, std::uint64_t bytes);
  void SetModified(std::uint64_t bytes);
  void SetFileCacheWorkingSet(std::uint64_t bytes);
  // Returns the process id.
  std::uint32_t AddProcess(const ProcessSpec& spec);
  // The process ends; its working set goes to the free list.
  void EndProcess(std::uint32_t processId);
  // Available memory is eaten at this rate as the clock runs, free and zero pages first, then
  // standby from the lowest priority up.
  void SetBackgroundConsumption(std::uint64_t bytesPerSecond);
  // Each trim of a process takes this long on the clock.
  void SetTrimDuration(std::uint32_t milliseconds);
  // Called after each snapshot with its number (1 for the first), to change the machine
  // between a snapshot and what follows it.
  void SetSnapshotHook(std::function<void(int)> hook);
  // Called at every Sleep, before the clock moves: where a scheduler may switch processes.
  void SetSleepHook(std::function<void()> hook);

  // --- Failures, as Windows reports them.
  void SetFileCacheError(platform::ErrorCode error);  // kErrorProcNotFound: no entry point
  void SetSnapshotStatus(platform::NtStatus status);
  void SetMemoryListQueryStatus(platform::NtStatus status);
  void SetMemoryListCommandStatus(platform::NtStatus status);
  // Like Wine: trims and commands answer success and change nothing, snapshots report private
  // working sets of 0.
  void SetCallsWithoutEffect(bool withoutEffect);
  // GlobalMemoryStatusEx fails from now on.
  void SetMemoryStatusFails(bool fails);

  // --- What happened.
  std::uint64_t Available() const;
  std::uint64_t Standby() const;
  std::uint64_t StandbyAt(std::size_t priority) const;
  std::uint64_t Modified() const;
  std::uint64_t Free() const;
  std::uint64_t FileCacheWorkingSet() const;
  std::uint64_t WorkingSet(std::uint32_t processId) const;
  int TrimCount(std::uint32_t processId) const;
  // Process ids in the order they were trimmed.
  std::vector<std::uint32_t> TrimOrder() const;
  int FileCacheTrims() const;
  std::vector<platform::MemoryListCommand> CommandsSent() const;
  int Snapshots() const;
  std::size_t OpenProcessHandles() const;
  std::uint64_t Now() const;

  // platform::SystemFileCache
  platform::ErrorCode TrimWorkingSet() override;
  // platform::MemoryLists
  platform::NtStatus Query(platform::MemoryListSizes* sizes) override;
  platform::NtStatus SendCommand(platform::MemoryListCommand command) override;
  // platform::WorkingSets
  // ERROR_INVALID_PARAMETER for an id that names no process, as OpenProcess answers.
  platform::ErrorCode OpenForTrim(std::uint32_t processId,
                                  platform::ProcessHandle* process) override;
  platform::ErrorCode QueryCreationTime(platform::ProcessHandle process,
                                        std::int64_t* creationTime) override;
  platform::ErrorCode Trim(platform::ProcessHandle process) override;
  void CloseProcess(platform::ProcessHandle process) override;
  // platform::Clock. Starts an hour after the system's start.
  std::uint64_t MillisecondsSinceStart() override;
  std::int64_t SystemTime() override;
  void Sleep(std::uint32_t milliseconds) override;

  // What SystemProcesses answers for every process on this machine.
  platform::NtStatus Snapshot(std::vector<platform::ProcessRecord>* processes);

 private:
  struct Process {
    ProcessSpec spec;
    std::int64_t creationTime = 0;
    std::int64_t processorTime = 0;
    std::uint64_t cleanPages = 0;
    std::uint64_t dirtyPages = 0;
    int trims = 0;
  };
  struct OpenProcess {
    std::uint32_t processId;
    std::int64_t creationTime;
  };

  static std::uint64_t Pages(std::uint64_t bytes) { return bytes / kPageSize; }
  // Under mutex_.
  void Advance(std::uint64_t milliseconds);
  void TrimProcess(Process& process);
  std::uint64_t AvailablePages() const;
  std::uint64_t TotalPages() const;
  void Publish();

  mutable std::mutex mutex_;
  std::map<std::uint32_t, Process> processes_;
  std::uint32_t nextProcessId_ = 1000;
  std::uint64_t cachePages_ = 0;
  std::array<std::uint64_t, 8> standbyPages_{};
  std::uint64_t modifiedPages_ = 0;
  std::uint64_t freePages_ = 0;
  std::uint64_t zeroPages_ = 0;
  std::uint64_t consumedPages_ = 0;  // taken by the background consumer
  std::uint64_t consumptionPerSecond_ = 0;
  std::uint64_t consumptionCarry_ = 0;  // bytes not yet a whole page, times 1000
  std::uint32_t trimMilliseconds_ = 0;
  std::uint64_t milliseconds_ = 3'600'000;
  std::int64_t systemTime_ = 133'500'000'000'000'000;  // early 2024
  std::function<void(int)> snapshotHook_;
  std::function<void()> sleepHook_;

  platform::ErrorCode fileCacheError_ = 0;
  platform::NtStatus snapshotStatus_ = 0;
  platform::NtStatus queryStatus_ = 0;
  platform::NtStatus commandStatus_ = 0;
  bool withoutEffect_ = false;

  std::map<platform::ProcessHandle, OpenProcess> openProcesses_;
  HandleValues<platform::ProcessHandle> processHandles_{0x4000};
  std::vector<std::uint32_t> trimOrder_;
  int fileCacheTrims_ = 0;
  std::vector<platform::MemoryListCommand> commands_;
  int snapshots_ = 0;
};

// One process's view of the machine's processes: the snapshot is the machine's, the current
// process id its own.
class FakeSystemProcesses final : public platform::SystemProcesses {
 public:
  FakeSystemProcesses(FakePageLists& machine, std::uint32_t currentProcessId)
      : machine_(machine), currentProcessId_(currentProcessId) {}

  platform::NtStatus Snapshot(std::vector<platform::ProcessRecord>* processes) override {
    return machine_.Snapshot(processes);
  }
  std::uint32_t CurrentProcessId() override { return currentProcessId_; }

 private:
  FakePageLists& machine_;
  std::uint32_t currentProcessId_;
};

}  // namespace calvera::fake
