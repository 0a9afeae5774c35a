// The companion's real platform under Wine: what the companion relies on from each Windows call,
// where the conversion between the interfaces and the API could go wrong. Wine's freeing calls
// change nothing; where Wine answers otherwise than Windows, the test takes either answer and
// says which one it got. The named objects have their own contract suite.
#include "platform/win32/win32_companion_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "config/custom_registry.h"
#include "platform/scoped_handle.h"
#include "platform/service_control_manager.h"
#include "platform/text.h"

namespace calvera::platform {
namespace {

CompanionPlatform& Real() {
  return Win32CompanionPlatform();
}

bool SameAscii(const std::u16string& a, std::u16string_view b) {
  return EqualIgnoringAsciiCase(a, b);
}

TEST(CompanionPlatformWineTest, TheSnapshotHoldsThisProcessAsOpeningItTellsIt) {
  std::vector<ProcessRecord> processes;
  ASSERT_EQ(Real().processes.Snapshot(&processes), kStatusSuccess);
  ASSERT_GT(processes.size(), 2u);
  const std::uint32_t self = Real().processes.CurrentProcessId();
  const auto own = std::find_if(processes.begin(), processes.end(),
                                [self](const ProcessRecord& p) { return p.processId == self; });
  ASSERT_NE(own, processes.end());
  EXPECT_TRUE(SameAscii(own->imageName, u"calvera_wine_tests.exe")) << ToUtf8(own->imageName);
  // Wine reports 0 for a process started from outside Wine, Windows the id of its parent.
  EXPECT_GT(own->creationTime, 0);
  EXPECT_LE(own->creationTime, Real().clock.SystemTime());
  std::printf("private working set of this process as reported: %llu bytes\n",
              static_cast<unsigned long long>(own->privateWorkingSetBytes));

  WorkingSets& workingSets = Real().workingSets;
  ScopedProcess process(workingSets);
  ASSERT_EQ(workingSets.OpenForTrim(self, process.put()), kErrorSuccess);
  std::int64_t created = 0;
  EXPECT_EQ(workingSets.QueryCreationTime(process.get(), &created), kErrorSuccess);
  EXPECT_EQ(created, own->creationTime);
  EXPECT_EQ(workingSets.Trim(process.get()), kErrorSuccess);
}

TEST(CompanionPlatformWineTest, AProcessThatDoesNotExistCannotBeOpened) {
  WorkingSets& workingSets = Real().workingSets;
  ScopedProcess process(workingSets);
  EXPECT_EQ(workingSets.OpenForTrim(0xFFFFFFF0u, process.put()), kErrorInvalidParameter);
  EXPECT_FALSE(process);
}

TEST(CompanionPlatformWineTest, AServiceThatDoesNotExistHasNoProcessToAskFor) {
  ServiceControlManager& services = Real().services;
  ScopedServiceHandle manager(services);
  ASSERT_EQ(services.OpenManager(kScManagerConnect, manager.put()), kErrorSuccess);
  ScopedServiceHandle service(services);
  EXPECT_EQ(services.OpenServiceEntry(manager.get(), u"CalveraNoSuchService", kServiceQueryStatus,
                                      service.put()),
            kErrorServiceDoesNotExist);
  // A stopped service's process is 0. The event log service of Wine's prefix runs; its process
  // is another than this one.
  ASSERT_EQ(
      services.OpenServiceEntry(manager.get(), u"EventLog", kServiceQueryStatus, service.put()),
      kErrorSuccess);
  std::uint32_t processId = 1;
  EXPECT_EQ(services.QueryServiceProcessId(service.get(), &processId), kErrorSuccess);
  EXPECT_NE(processId, Real().processes.CurrentProcessId());
  std::printf("process of the EventLog service: %u\n", static_cast<unsigned>(processId));
}

TEST(CompanionPlatformWineTest, PrivilegesAreEnabledOrRefusedWithTheReason) {
  EXPECT_EQ(Real().privileges.Enable(u"SeNoSuchPrivilege"), kErrorNoSuchPrivilege);
  for (const char16_t* name : {kIncreaseQuotaPrivilege, kProfileSingleProcessPrivilege}) {
    const ErrorCode error = Real().privileges.Enable(name);
    EXPECT_TRUE(error == kErrorSuccess || error == kErrorNotAllAssigned) << error;
    std::printf("%s: %u\n", ToUtf8(name).c_str(), static_cast<unsigned>(error));
  }
}

TEST(CompanionPlatformWineTest, TheFreeingCallsAnswerAsTheSystemDoes) {
  ASSERT_EQ(Real().privileges.Enable(kIncreaseQuotaPrivilege), kErrorSuccess);
  ASSERT_EQ(Real().privileges.Enable(kProfileSingleProcessPrivilege), kErrorSuccess);
  // Wine: SetSystemFileCacheSize is a stub that fails with ERROR_CALL_NOT_IMPLEMENTED.
  const ErrorCode cache = Real().fileCache.TrimWorkingSet();
  EXPECT_TRUE(cache == kErrorSuccess || cache == kErrorCallNotImplemented) << cache;
  // Wine: the page lists cannot be queried; Windows gives sizes within physical memory.
  MemoryListSizes sizes;
  const NtStatus query = Real().memoryLists.Query(&sizes);
  if (NtSuccess(query)) {
    EXPECT_GT(sizes.free + sizes.zeroed, 0u);
  } else {
    EXPECT_NE(query, kStatusProcedureNotFound);
  }
  // Wine answers success for every class and does nothing.
  const NtStatus flush = Real().memoryLists.SendCommand(MemoryListCommand::kFlushModifiedList);
  std::printf("file cache: %u, page lists: 0x%08X, flush: 0x%08X\n", static_cast<unsigned>(cache),
              static_cast<unsigned>(query), static_cast<unsigned>(flush));
}

TEST(CompanionPlatformWineTest, TheVolatileStoreKeepsDataInAVolatileKeyBelowAnExistingParent) {
  constexpr char16_t kParent[] = u"Software\\CalveraVolatileContract";
  Registry& registry = Real().registry;
  static_cast<void>(registry.DeleteTree(RegistryRoot::kLocalMachine, kParent, kKeyWow64_64Key));
  const VolatileValue value{kParent, u"State", u"Data"};
  const std::vector<std::uint8_t> data = {1, 2, 3, 0, 255};
  VolatileStore& store = Real().volatileStore;

  const auto read = [&store, &value](ErrorCode expected) {
    std::vector<std::uint8_t> stored = {9};
    EXPECT_EQ(store.Read(value, &stored), expected);
    return stored;
  };
  EXPECT_EQ(store.Write(value, data), kErrorFileNotFound);  // no parent, and none is made
  EXPECT_TRUE(read(kErrorFileNotFound).empty());

  ScopedRegistryKey parentKey(registry);
  ASSERT_EQ(registry.CreateKey(RegistryRoot::kLocalMachine, kParent, kKeyWrite, parentKey.put()),
            0u);
  EXPECT_TRUE(read(kErrorFileNotFound).empty());
  ASSERT_EQ(store.Write(value, data), kErrorSuccess);
  EXPECT_EQ(read(kErrorSuccess), data);
  ASSERT_EQ(store.Write(value, std::vector<std::uint8_t>{7}), kErrorSuccess);
  EXPECT_EQ(read(kErrorSuccess), std::vector<std::uint8_t>{7});

  // A key the system keeps in memory takes volatile keys only below it.
  ScopedRegistryKey childKey(registry);
  EXPECT_EQ(registry.CreateKey(RegistryRoot::kLocalMachine,
                               u"Software\\CalveraVolatileContract\\State\\Child", kKeyWrite,
                               childKey.put()),
            1021u);  // ERROR_CHILD_MUST_BE_VOLATILE

  // A value of another type is not the store's.
  ScopedRegistryKey stateKey(registry);
  ASSERT_EQ(
      registry.OpenKey(RegistryRoot::kLocalMachine, u"Software\\CalveraVolatileContract\\State",
                       kKeyWrite, stateKey.put()),
      0u);
  const std::uint32_t number = 5;
  ASSERT_EQ(registry.SetValue(stateKey.get(), u"Data", kRegDword, &number, sizeof number), 0u);
  EXPECT_TRUE(read(kErrorInvalidDatatype).empty());
  static_cast<void>(registry.DeleteTree(RegistryRoot::kLocalMachine, kParent, kKeyWow64_64Key));
}

TEST(CompanionPlatformWineTest, TheClocksRunAndSleepWaits) {
  Clock& clock = Real().clock;
  const std::uint64_t start = clock.MillisecondsSinceStart();
  const std::int64_t time = clock.SystemTime();
  const auto sleepStart = std::chrono::steady_clock::now();
  clock.Sleep(50);
  // Windows may end a sleep up to one timer tick (15.6 ms) early; it still waits.
  EXPECT_GE(std::chrono::steady_clock::now() - sleepStart, std::chrono::milliseconds(50 - 16));
  EXPECT_GT(clock.SystemTime(), time);
  // The tick count is no precise clock: Windows moves it with the system timer, Wine's
  // wineserver writes it about every 16 ms when it gets to run, so a reading right after the
  // sleep may lag. It must reach the 50 ms that passed, within a deadline.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (clock.MillisecondsSinceStart() - start < 50 && std::chrono::steady_clock::now() < deadline)
    clock.Sleep(1);
  EXPECT_GE(clock.MillisecondsSinceStart() - start, 50u);
  // 2020 to 2100, in FILETIME units.
  EXPECT_GT(time, 132'223'104'000'000'000);
  EXPECT_LT(time, 157'469'184'000'000'000);
}

}  // namespace
}  // namespace calvera::platform
