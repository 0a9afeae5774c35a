#include "fake/fake_system_libraries.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <limits>

#include "platform/entry_points.h"

namespace calvera::fake {
namespace {

// The records as the system declares them, so that their sizes and offsets follow the
// build's bitness the way Windows' own headers do.
struct BasicInformation {  // SYSTEM_BASIC_INFORMATION
  std::uint32_t reserved;
  std::uint32_t timerResolution;
  std::uint32_t pageSize;
  std::uint32_t numberOfPhysicalPages;
  std::uint32_t lowestPhysicalPageNumber;
  std::uint32_t highestPhysicalPageNumber;
  std::uint32_t allocationGranularity;
  std::uintptr_t minimumUserModeAddress;
  std::uintptr_t maximumUserModeAddress;
  std::uintptr_t activeProcessorsAffinityMask;
  std::uint8_t numberOfProcessors;
};
// The published sizes; i686 builds are not run, so they are checked here.
static_assert(sizeof(BasicInformation) == (sizeof(void*) == 8 ? 64 : 44));
static_assert(offsetof(BasicInformation, numberOfProcessors) == (sizeof(void*) == 8 ? 56 : 40));

struct TimeOfDayInformation {  // SYSTEM_TIMEOFDAY_INFORMATION since Windows 7
  std::int64_t bootTime;
  std::int64_t currentTime;
  std::int64_t timeZoneBias;
  std::uint32_t timeZoneId;
  std::uint32_t reserved;
  std::uint64_t bootTimeBias;
  std::uint64_t sleepTimeBias;
};
static_assert(sizeof(TimeOfDayInformation) == 48);
static_assert(offsetof(TimeOfDayInformation, currentTime) == 8);

// SYSTEM_PERFORMANCE_INFORMATION begins with IdleTime; the system refuses shorter buffers.
// Newer systems have longer records, so the fake writes all of the buffer it is given.
constexpr std::uint32_t kPerformanceInformationMinimum = 312;

struct MemoryStatus {  // MEMORYSTATUSEX
  std::uint32_t dwLength;
  std::uint32_t dwMemoryLoad;
  std::uint64_t ullTotalPhys;
  std::uint64_t ullAvailPhys;
  std::uint64_t ullTotalPageFile;
  std::uint64_t ullAvailPageFile;
  std::uint64_t ullTotalVirtual;
  std::uint64_t ullAvailVirtual;
  std::uint64_t ullAvailExtendedVirtual;
};

constexpr std::uint64_t kUserAddressSpace =
    sizeof(void*) == 8 ? (std::uint64_t{128} << 40) : (std::uint64_t{2} << 30);

struct KnownLibrary {
  const char16_t* name;  // lower case
  platform::LibraryHandle handle;
};
constexpr auto kKernel32 = static_cast<platform::LibraryHandle>(0x7FF10000);
constexpr auto kNtdll = static_cast<platform::LibraryHandle>(0x7FF20000);
constexpr KnownLibrary kLibraries[] = {{u"kernel32.dll", kKernel32}, {u"ntdll.dll", kNtdll}};

std::u16string LowerCase(std::u16string text) {
  for (char16_t& unit : text) {
    if (unit >= u'A' && unit <= u'Z')
      unit = static_cast<char16_t>(unit - u'A' + u'a');
  }
  return text;
}

// The fake that last handed out an entry point; the entry points act on it.
std::atomic<FakeSystemLibraries*> activeFake{nullptr};

}  // namespace

FakeSystemLibraries::~FakeSystemLibraries() {
  FakeSystemLibraries* self = this;
  activeFake.compare_exchange_strong(self, nullptr);
}

platform::LibraryHandle FakeSystemLibraries::Load(const char16_t* name) {
  if (name == nullptr)
    return {};
  const std::u16string wanted = LowerCase(name);
  std::lock_guard lock(mutex_);
  ++loadCalls_[wanted];
  if (missingLibraries_.count(wanted) != 0)
    return {};
  if (auto failure = loadFailures_.find(wanted);
      failure != loadFailures_.end() && failure->second.times != 0) {
    if (failure->second.after > 0) {
      --failure->second.after;
    } else {
      if (failure->second.times > 0)
        --failure->second.times;
      return {};
    }
  }
  for (const KnownLibrary& library : kLibraries) {
    if (wanted == library.name) {
      ++loads_[library.handle];
      return library.handle;
    }
  }
  return {};
}

void* FakeSystemLibraries::FindEntryPoint(platform::LibraryHandle library, const char* name) {
  if (name == nullptr)
    return nullptr;
  const std::string wanted = name;
  {
    std::lock_guard lock(mutex_);
    const auto loaded = loads_.find(library);
    if (loaded == loads_.end() || loaded->second == 0 || missingEntryPoints_.count(wanted) != 0)
      return nullptr;
  }
  void* entry = nullptr;
  if (library == kKernel32 && wanted == "GlobalMemoryStatusEx") {
    platform::GlobalMemoryStatusExFunction function = &GlobalMemoryStatusExEntry;
    entry = reinterpret_cast<void*>(function);
  } else if (library == kNtdll && wanted == "NtQuerySystemInformation") {
    platform::NtQuerySystemInformationFunction function = &NtQuerySystemInformationEntry;
    entry = reinterpret_cast<void*>(function);
  }
  if (entry != nullptr)
    activeFake.store(this);
  return entry;
}

void FakeSystemLibraries::Free(platform::LibraryHandle library) {
  std::lock_guard lock(mutex_);
  const auto loaded = loads_.find(library);
  if (loaded == loads_.end() || loaded->second == 0) {
    ++unmatchedFrees_;
    return;
  }
  --loaded->second;
}

void FakeSystemLibraries::SetMemoryStatus(std::uint64_t totalPhys, std::uint64_t availPhys) {
  std::lock_guard lock(mutex_);
  totalPhys_ = totalPhys;
  availPhys_ = availPhys;
}

void FakeSystemLibraries::SetMemoryStatusFails(bool fails) {
  std::lock_guard lock(mutex_);
  memoryStatusFails_ = fails;
}

std::size_t FakeSystemLibraries::MemoryStatusCalls() const {
  std::lock_guard lock(mutex_);
  return memoryStatusCalls_;
}

void FakeSystemLibraries::SetProcessorCounters(std::int64_t idleTime,
                                               std::int64_t systemTime,
                                               std::uint8_t processors) {
  std::lock_guard lock(mutex_);
  idleTime_ = idleTime;
  systemTime_ = systemTime;
  processors_ = processors;
}

void FakeSystemLibraries::SetSystemInformationStatus(std::int32_t infoClass, std::int32_t status) {
  std::lock_guard lock(mutex_);
  classStatus_[infoClass] = status;
}

std::size_t FakeSystemLibraries::SystemInformationCalls(std::int32_t infoClass) const {
  return SystemInformationLengths(infoClass).size();
}

std::vector<std::uint32_t> FakeSystemLibraries::SystemInformationLengths(
    std::int32_t infoClass) const {
  std::lock_guard lock(mutex_);
  const auto lengths = classLengths_.find(infoClass);
  return lengths == classLengths_.end() ? std::vector<std::uint32_t>() : lengths->second;
}

void FakeSystemLibraries::SetLibraryMissing(const std::u16string& name, bool missing) {
  std::lock_guard lock(mutex_);
  if (missing)
    missingLibraries_.insert(LowerCase(name));
  else
    missingLibraries_.erase(LowerCase(name));
}

void FakeSystemLibraries::FailLoads(const std::u16string& name, int times, int after) {
  std::lock_guard lock(mutex_);
  loadFailures_[LowerCase(name)] = {times, after};
}

std::size_t FakeSystemLibraries::LoadCalls(const std::u16string& name) const {
  std::lock_guard lock(mutex_);
  const auto found = loadCalls_.find(LowerCase(name));
  return found == loadCalls_.end() ? 0 : found->second;
}

void FakeSystemLibraries::SetEntryPointMissing(const std::string& name, bool missing) {
  std::lock_guard lock(mutex_);
  if (missing)
    missingEntryPoints_.insert(name);
  else
    missingEntryPoints_.erase(name);
}

std::size_t FakeSystemLibraries::LoadedLibraryCount() const {
  std::lock_guard lock(mutex_);
  std::size_t count = 0;
  for (const auto& [handle, loads] : loads_)
    count += loads;
  return count;
}

std::size_t FakeSystemLibraries::UnmatchedFrees() const {
  std::lock_guard lock(mutex_);
  return unmatchedFrees_;
}

std::int32_t CALVERA_WINAPI FakeSystemLibraries::GlobalMemoryStatusExEntry(void* record) {
  FakeSystemLibraries* fake = activeFake.load();
  return fake == nullptr ? 0 : fake->GlobalMemoryStatusEx(record);
}

std::int32_t CALVERA_WINAPI
FakeSystemLibraries::NtQuerySystemInformationEntry(std::int32_t infoClass,
                                                   void* buffer,
                                                   std::uint32_t length,
                                                   std::uint32_t* returned) {
  FakeSystemLibraries* fake = activeFake.load();
  return fake == nullptr ? kStatusInvalidInfoClass
                         : fake->NtQuerySystemInformation(infoClass, buffer, length, returned);
}

std::int32_t FakeSystemLibraries::GlobalMemoryStatusEx(void* record) {
  std::lock_guard lock(mutex_);
  ++memoryStatusCalls_;
  if (record == nullptr || memoryStatusFails_)
    return 0;
  std::uint32_t length = 0;
  std::memcpy(&length, record, sizeof length);
  if (length != sizeof(MemoryStatus))
    return 0;
  MemoryStatus status{};
  status.dwLength = length;
  if (totalPhys_ != 0 && availPhys_ <= totalPhys_) {
    const double used =
        static_cast<double>(totalPhys_ - availPhys_) / static_cast<double>(totalPhys_);
    status.dwMemoryLoad = static_cast<std::uint32_t>(used * 100.0);
  }
  status.ullTotalPhys = totalPhys_;
  status.ullAvailPhys = availPhys_;
  // A page file of 1 GiB beside the memory, saturated for totals near the top of the range.
  constexpr std::uint64_t kMaxBytes = std::numeric_limits<std::uint64_t>::max();
  status.ullTotalPageFile =
      totalPhys_ > kMaxBytes - (1ull << 30) ? kMaxBytes : totalPhys_ + (1ull << 30);
  status.ullAvailPageFile = availPhys_ / 2;
  status.ullTotalVirtual = kUserAddressSpace;
  status.ullAvailVirtual = kUserAddressSpace - (64ull << 20);
  std::memcpy(record, &status, sizeof status);
  return 1;
}

std::int32_t FakeSystemLibraries::NtQuerySystemInformation(std::int32_t infoClass,
                                                           void* buffer,
                                                           std::uint32_t length,
                                                           std::uint32_t* returned) {
  std::lock_guard lock(mutex_);
  classLengths_[infoClass].push_back(length);
  const auto scripted = classStatus_.find(infoClass);
  if (scripted != classStatus_.end() && scripted->second != 0)
    return scripted->second;

  const auto answer = [&](std::int32_t status, std::uint32_t written) {
    if (returned != nullptr)
      *returned = written;
    return status;
  };
  switch (infoClass) {
    case 0: {
      // The basic record must be asked for at exactly its size.
      if (length != sizeof(BasicInformation))
        return answer(kStatusInfoLengthMismatch, sizeof(BasicInformation));
      BasicInformation basic{};
      basic.timerResolution = 156250;
      basic.pageSize = 4096;
      basic.numberOfPhysicalPages = static_cast<std::uint32_t>(totalPhys_ / 4096);
      basic.lowestPhysicalPageNumber = 1;
      basic.highestPhysicalPageNumber = basic.numberOfPhysicalPages;
      basic.allocationGranularity = 65536;
      basic.minimumUserModeAddress = 0x10000;
      basic.maximumUserModeAddress = static_cast<std::uintptr_t>(kUserAddressSpace - 0x10001);
      basic.activeProcessorsAffinityMask = processors_ >= sizeof(std::uintptr_t) * 8
                                               ? ~std::uintptr_t{0}
                                               : (std::uintptr_t{1} << processors_) - 1;
      basic.numberOfProcessors = processors_;
      std::memcpy(buffer, &basic, sizeof basic);
      return answer(0, sizeof basic);
    }
    case 3: {
      // Any length up to the record's gets that much of it.
      if (length > sizeof(TimeOfDayInformation))
        return answer(kStatusInfoLengthMismatch, 0);
      TimeOfDayInformation timeOfDay{};
      // Booted an hour before; a clock set within the hour of the range's bottom boots at it.
      constexpr std::int64_t kHour = 36000000000;
      constexpr std::int64_t kEarliest = std::numeric_limits<std::int64_t>::min();
      timeOfDay.bootTime = systemTime_ < kEarliest + kHour ? kEarliest : systemTime_ - kHour;
      timeOfDay.currentTime = systemTime_;
      timeOfDay.timeZoneBias = -kHour;
      timeOfDay.timeZoneId = 1;
      std::memcpy(buffer, &timeOfDay, length);
      return answer(0, length);
    }
    case 2: {
      if (length < kPerformanceInformationMinimum)
        return answer(kStatusInfoLengthMismatch, kPerformanceInformationMinimum);
      std::memset(buffer, 0, length);
      std::memcpy(buffer, &idleTime_, sizeof idleTime_);
      return answer(0, length);
    }
    default:
      return answer(kStatusInvalidInfoClass, 0);
  }
}

}  // namespace calvera::fake
