#include "fake/fake_page_lists.h"

#include <algorithm>
#include <numeric>
#include <string_view>

namespace calvera::fake {

using platform::ErrorCode;
using platform::MemoryListCommand;
using platform::NtStatus;

FakePageLists::FakePageLists() {
  freePages_ = Pages(1024 * kMegabyte);
  standbyPages_[kNormalStandbyPriority] = Pages(1024 * kMegabyte);
  Publish();
}

void FakePageLists::SetFree(std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  freePages_ = Pages(bytes);
  Publish();
}

void FakePageLists::SetZeroed(std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  zeroPages_ = Pages(bytes);
  Publish();
}

void FakePageLists::SetStandby(std::size_t priority, std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  standbyPages_.at(priority) = Pages(bytes);
  Publish();
}

void FakePageLists::SetModified(std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  modifiedPages_ = Pages(bytes);
  Publish();
}

void FakePageLists::SetFileCacheWorkingSet(std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  cachePages_ = Pages(bytes);
  Publish();
}

std::uint32_t FakePageLists::AddProcess(const ProcessSpec& spec) {
  std::lock_guard lock(mutex_);
  Process process;
  process.spec = spec;
  if (process.spec.processId == 0) {
    while (processes_.count(nextProcessId_) != 0)
      nextProcessId_ += 4;
    process.spec.processId = nextProcessId_;
    nextProcessId_ += 4;
  }
  process.creationTime = systemTime_ - spec.ageSeconds * kFileTimeSecond;
  process.cleanPages = Pages(spec.cleanBytes);
  process.dirtyPages = Pages(spec.dirtyBytes);
  const std::uint32_t id = process.spec.processId;
  processes_[id] = process;
  Publish();
  return id;
}

void FakePageLists::EndProcess(std::uint32_t processId) {
  std::lock_guard lock(mutex_);
  const auto found = processes_.find(processId);
  if (found == processes_.end())
    return;
  freePages_ += found->second.cleanPages + found->second.dirtyPages;
  processes_.erase(found);
  Publish();
}

void FakePageLists::SetBackgroundConsumption(std::uint64_t bytesPerSecond) {
  std::lock_guard lock(mutex_);
  consumptionPerSecond_ = bytesPerSecond;
}

void FakePageLists::SetTrimDuration(std::uint32_t milliseconds) {
  std::lock_guard lock(mutex_);
  trimMilliseconds_ = milliseconds;
}

void FakePageLists::SetSnapshotHook(std::function<void(int)> hook) {
  std::lock_guard lock(mutex_);
  snapshotHook_ = std::move(hook);
}

void FakePageLists::SetSleepHook(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  sleepHook_ = std::move(hook);
}

void FakePageLists::SetFileCacheError(ErrorCode error) {
  std::lock_guard lock(mutex_);
  fileCacheError_ = error;
}

void FakePageLists::SetSnapshotStatus(NtStatus status) {
  std::lock_guard lock(mutex_);
  snapshotStatus_ = status;
}

void FakePageLists::SetMemoryListQueryStatus(NtStatus status) {
  std::lock_guard lock(mutex_);
  queryStatus_ = status;
}

void FakePageLists::SetMemoryListCommandStatus(NtStatus status) {
  std::lock_guard lock(mutex_);
  commandStatus_ = status;
}

void FakePageLists::SetCallsWithoutEffect(bool withoutEffect) {
  std::lock_guard lock(mutex_);
  withoutEffect_ = withoutEffect;
}

void FakePageLists::SetMemoryStatusFails(bool fails) {
  libraries.SetMemoryStatusFails(fails);
}

std::uint64_t FakePageLists::Available() const {
  std::lock_guard lock(mutex_);
  return AvailablePages() * kPageSize;
}

std::uint64_t FakePageLists::Standby() const {
  std::lock_guard lock(mutex_);
  return std::accumulate(standbyPages_.begin(), standbyPages_.end(), std::uint64_t{0}) * kPageSize;
}

std::uint64_t FakePageLists::StandbyAt(std::size_t priority) const {
  std::lock_guard lock(mutex_);
  return standbyPages_.at(priority) * kPageSize;
}

std::uint64_t FakePageLists::Modified() const {
  std::lock_guard lock(mutex_);
  return modifiedPages_ * kPageSize;
}

std::uint64_t FakePageLists::Free() const {
  std::lock_guard lock(mutex_);
  return freePages_ * kPageSize;
}

std::uint64_t FakePageLists::FileCacheWorkingSet() const {
  std::lock_guard lock(mutex_);
  return cachePages_ * kPageSize;
}

std::uint64_t FakePageLists::WorkingSet(std::uint32_t processId) const {
  std::lock_guard lock(mutex_);
  const auto found = processes_.find(processId);
  return found == processes_.end()
             ? 0
             : (found->second.cleanPages + found->second.dirtyPages) * kPageSize;
}

int FakePageLists::TrimCount(std::uint32_t processId) const {
  std::lock_guard lock(mutex_);
  const auto found = processes_.find(processId);
  return found == processes_.end() ? 0 : found->second.trims;
}

std::vector<std::uint32_t> FakePageLists::TrimOrder() const {
  std::lock_guard lock(mutex_);
  return trimOrder_;
}

int FakePageLists::FileCacheTrims() const {
  std::lock_guard lock(mutex_);
  return fileCacheTrims_;
}

std::vector<MemoryListCommand> FakePageLists::CommandsSent() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

int FakePageLists::Snapshots() const {
  std::lock_guard lock(mutex_);
  return snapshots_;
}

std::size_t FakePageLists::OpenProcessHandles() const {
  std::lock_guard lock(mutex_);
  return openProcesses_.size();
}

std::uint64_t FakePageLists::Now() const {
  std::lock_guard lock(mutex_);
  return milliseconds_;
}

ErrorCode FakePageLists::TrimWorkingSet() {
  std::lock_guard lock(mutex_);
  ++fileCacheTrims_;
  if (fileCacheError_ != 0)
    return fileCacheError_;
  if (!withoutEffect_) {
    standbyPages_[kNormalStandbyPriority] += cachePages_;
    cachePages_ = 0;
    Publish();
  }
  return platform::kErrorSuccess;
}

NtStatus FakePageLists::Query(platform::MemoryListSizes* sizes) {
  std::lock_guard lock(mutex_);
  if (queryStatus_ != 0)
    return queryStatus_;
  platform::MemoryListSizes result;
  result.zeroed = zeroPages_ * kPageSize;
  result.free = freePages_ * kPageSize;
  result.modified = modifiedPages_ * kPageSize;
  for (std::size_t priority = 0; priority < standbyPages_.size(); ++priority)
    result.standbyByPriority[priority] = standbyPages_[priority] * kPageSize;
  result.modifiedPageFile = result.modified;
  *sizes = result;
  return platform::kStatusSuccess;
}

NtStatus FakePageLists::SendCommand(MemoryListCommand command) {
  std::lock_guard lock(mutex_);
  commands_.push_back(command);
  if (commandStatus_ != 0)
    return commandStatus_;
  if (withoutEffect_)
    return platform::kStatusSuccess;
  switch (command) {
    case MemoryListCommand::kCaptureAccessedBits:
    case MemoryListCommand::kCaptureAndResetAccessedBits:
      break;
    case MemoryListCommand::kEmptyWorkingSets:
      for (auto& [id, process] : processes_)
        TrimProcess(process);
      standbyPages_[kNormalStandbyPriority] += cachePages_;
      cachePages_ = 0;
      break;
    case MemoryListCommand::kFlushModifiedList:
      standbyPages_[kNormalStandbyPriority] += modifiedPages_;
      modifiedPages_ = 0;
      break;
    case MemoryListCommand::kPurgeStandbyList:
      for (std::uint64_t& pages : standbyPages_)
        freePages_ += std::exchange(pages, 0);
      break;
    case MemoryListCommand::kPurgeLowPriorityStandbyList:
      freePages_ += std::exchange(standbyPages_[0], 0);
      break;
  }
  Publish();
  return platform::kStatusSuccess;
}

ErrorCode FakePageLists::OpenForTrim(std::uint32_t processId, platform::ProcessHandle* process) {
  std::lock_guard lock(mutex_);
  *process = {};
  const auto found = processes_.find(processId);
  if (found == processes_.end())
    return platform::kErrorInvalidParameter;
  if (found->second.spec.openError != 0)
    return found->second.spec.openError;
  *process = processHandles_.Next();
  openProcesses_[*process] = OpenProcess{processId, found->second.creationTime};
  return platform::kErrorSuccess;
}

ErrorCode FakePageLists::QueryCreationTime(platform::ProcessHandle process,
                                           std::int64_t* creationTime) {
  std::lock_guard lock(mutex_);
  *creationTime = 0;
  const auto open = openProcesses_.find(process);
  if (open == openProcesses_.end())
    return platform::kErrorInvalidHandle;
  *creationTime = open->second.creationTime;
  return platform::kErrorSuccess;
}

ErrorCode FakePageLists::Trim(platform::ProcessHandle process) {
  std::lock_guard lock(mutex_);
  const auto open = openProcesses_.find(process);
  if (open == openProcesses_.end())
    return platform::kErrorInvalidHandle;
  const auto found = processes_.find(open->second.processId);
  // The handle holds the process it was opened on, even when its id has been reused since.
  if (found == processes_.end() || found->second.creationTime != open->second.creationTime)
    return platform::kErrorAccessDenied;
  if (found->second.spec.trimError != 0)
    return found->second.spec.trimError;
  Advance(trimMilliseconds_);
  ++found->second.trims;
  trimOrder_.push_back(found->first);
  if (!withoutEffect_)
    TrimProcess(found->second);
  Publish();
  return platform::kErrorSuccess;
}

void FakePageLists::CloseProcess(platform::ProcessHandle process) {
  std::lock_guard lock(mutex_);
  openProcesses_.erase(process);
}

std::uint64_t FakePageLists::MillisecondsSinceStart() {
  std::lock_guard lock(mutex_);
  return milliseconds_;
}

std::int64_t FakePageLists::SystemTime() {
  std::lock_guard lock(mutex_);
  return systemTime_;
}

void FakePageLists::Sleep(std::uint32_t milliseconds) {
  std::function<void()> hook;
  {
    std::lock_guard lock(mutex_);
    hook = sleepHook_;
  }
  if (hook)
    hook();
  std::lock_guard lock(mutex_);
  Advance(milliseconds);
  Publish();
}

NtStatus FakePageLists::Snapshot(std::vector<platform::ProcessRecord>* processes) {
  std::function<void(int)> hook;
  int number = 0;
  {
    std::lock_guard lock(mutex_);
    number = ++snapshots_;
    if (snapshotStatus_ != 0)
      return snapshotStatus_;
    processes->clear();
    // The idle and the system process head every snapshot, as on Windows.
    processes->push_back(platform::ProcessRecord{0, 0, 0, 0, 0, u""});
    processes->push_back(
        platform::ProcessRecord{4, 0, systemTime_ - 3600 * kFileTimeSecond, 0, 0, u"System"});
    for (const auto& [id, process] : processes_) {
      const std::uint64_t privateBytes =
          withoutEffect_ ? 0 : (process.cleanPages + process.dirtyPages) * kPageSize;
      processes->push_back(platform::ProcessRecord{id, process.spec.parentProcessId,
                                                   process.creationTime, process.processorTime,
                                                   privateBytes, process.spec.imageName});
    }
    hook = snapshotHook_;
  }
  if (hook)
    hook(number);
  return platform::kStatusSuccess;
}

void FakePageLists::Advance(std::uint64_t milliseconds) {
  milliseconds_ += milliseconds;
  systemTime_ += static_cast<std::int64_t>(milliseconds) * (kFileTimeSecond / 1000);
  for (auto& [id, process] : processes_)
    process.processorTime +=
        process.spec.busyPerSecond * static_cast<std::int64_t>(milliseconds) / 1000;
  consumptionCarry_ += consumptionPerSecond_ * milliseconds;
  std::uint64_t pages = consumptionCarry_ / (1000 * kPageSize);
  consumptionCarry_ %= 1000 * kPageSize;
  const auto take = [&pages, this](std::uint64_t& list) {
    const std::uint64_t taken = std::min(pages, list);
    list -= taken;
    pages -= taken;
    consumedPages_ += taken;
  };
  take(freePages_);
  take(zeroPages_);
  for (std::uint64_t& standby : standbyPages_)
    take(standby);
}

void FakePageLists::TrimProcess(Process& process) {
  standbyPages_[kNormalStandbyPriority] += std::exchange(process.cleanPages, 0);
  modifiedPages_ += std::exchange(process.dirtyPages, 0);
}

std::uint64_t FakePageLists::AvailablePages() const {
  return std::accumulate(standbyPages_.begin(), standbyPages_.end(), freePages_ + zeroPages_);
}

std::uint64_t FakePageLists::TotalPages() const {
  std::uint64_t pages = AvailablePages() + modifiedPages_ + cachePages_ + consumedPages_;
  for (const auto& [id, process] : processes_)
    pages += process.cleanPages + process.dirtyPages;
  return pages;
}

void FakePageLists::Publish() {
  libraries.SetMemoryStatus(TotalPages() * kPageSize, AvailablePages() * kPageSize);
}

}  // namespace calvera::fake
