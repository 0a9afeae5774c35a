// Fake LoadLibraryW / GetProcAddress / FreeLibrary with the two system functions the probes
// look up: GlobalMemoryStatusEx in Kernel32.dll and NtQuerySystemInformation in ntdll.dll.
// Library names are matched without regard to case, entry points exactly, as Windows does.
// The entry points are plain functions, as on Windows; they act on the fake that last handed
// one out, which must still be alive when they are called. A ledger counts loads not yet
// freed. Any thread may call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/calling_convention.h"
#include "platform/nt_status.h"
#include "platform/system_libraries.h"

namespace calvera::fake {

class FakeSystemLibraries : public platform::SystemLibraries {
 public:
  static constexpr platform::NtStatus kStatusInvalidInfoClass = platform::kStatusInvalidInfoClass;
  static constexpr platform::NtStatus kStatusInfoLengthMismatch =
      platform::kStatusInfoLengthMismatch;

  FakeSystemLibraries() = default;
  FakeSystemLibraries(const FakeSystemLibraries&) = delete;
  FakeSystemLibraries& operator=(const FakeSystemLibraries&) = delete;
  ~FakeSystemLibraries() override;

  // platform::SystemLibraries
  platform::LibraryHandle Load(const char16_t* name) override;
  void* FindEntryPoint(platform::LibraryHandle library, const char* name) override;
  void Free(platform::LibraryHandle library) override;

  // What GlobalMemoryStatusEx reports, in bytes; 8 GiB with 4 GiB available at first.
  void SetMemoryStatus(std::uint64_t totalPhys, std::uint64_t availPhys);
  // GlobalMemoryStatusEx returns FALSE and writes nothing.
  void SetMemoryStatusFails(bool fails);
  // Calls of GlobalMemoryStatusEx, failing ones included.
  std::size_t MemoryStatusCalls() const;

  // What NtQuerySystemInformation reports: the idle time of all processors together (class 2)
  // and the system time (class 3), both in 100-nanosecond units, and the number of processors
  // (class 0). (0, 0) and 4 at first.
  void SetProcessorCounters(std::int64_t idleTime,
                            std::int64_t systemTime,
                            std::uint8_t processors);
  // NtQuerySystemInformation answers `status` for that class and writes nothing; 0 undoes it.
  void SetSystemInformationStatus(std::int32_t infoClass, std::int32_t status);
  // Calls of NtQuerySystemInformation for that class, failing ones included.
  std::size_t SystemInformationCalls(std::int32_t infoClass) const;
  // The buffer length of each of those calls, in order.
  std::vector<std::uint32_t> SystemInformationLengths(std::int32_t infoClass) const;

  // LoadLibraryW of that library fails (any letter case); false undoes it.
  void SetLibraryMissing(const std::u16string& name, bool missing);
  // After `after` loads of that library that succeed, the next `times` fail (-1: every later
  // one), as a load can fail for want of memory.
  void FailLoads(const std::u16string& name, int times, int after = 0);
  // LoadLibraryW calls for that library (any letter case), failing ones included.
  std::size_t LoadCalls(const std::u16string& name) const;
  // GetProcAddress of that entry point fails; false undoes it.
  void SetEntryPointMissing(const std::string& name, bool missing);

  // Loads not yet freed.
  std::size_t LoadedLibraryCount() const;
  // FreeLibrary calls on a handle that was not loaded, or already freed as often as loaded.
  std::size_t UnmatchedFrees() const;

 private:
  static std::int32_t CALVERA_WINAPI GlobalMemoryStatusExEntry(void* record);
  static std::int32_t CALVERA_WINAPI NtQuerySystemInformationEntry(std::int32_t infoClass,
                                                                   void* buffer,
                                                                   std::uint32_t length,
                                                                   std::uint32_t* returned);
  std::int32_t GlobalMemoryStatusEx(void* record);
  std::int32_t NtQuerySystemInformation(std::int32_t infoClass,
                                        void* buffer,
                                        std::uint32_t length,
                                        std::uint32_t* returned);

  mutable std::mutex mutex_;
  std::set<std::u16string> missingLibraries_;  // lower case
  struct LoadFailure {
    int times = 0;  // -1: without end
    int after = 0;
  };
  std::map<std::u16string, LoadFailure> loadFailures_;  // lower case
  std::map<std::u16string, std::size_t> loadCalls_;     // lower case
  std::set<std::string> missingEntryPoints_;
  std::map<platform::LibraryHandle, std::size_t> loads_;  // per handle, loads minus frees
  std::size_t unmatchedFrees_ = 0;

  std::uint64_t totalPhys_ = 8ull << 30;
  std::uint64_t availPhys_ = 4ull << 30;
  bool memoryStatusFails_ = false;
  std::size_t memoryStatusCalls_ = 0;

  std::int64_t idleTime_ = 0;
  std::int64_t systemTime_ = 0;
  std::uint8_t processors_ = 4;
  std::map<std::int32_t, std::int32_t> classStatus_;
  std::map<std::int32_t, std::vector<std::uint32_t>> classLengths_;
};

}  // namespace calvera::fake
