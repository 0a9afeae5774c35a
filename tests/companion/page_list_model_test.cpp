// The fake page lists move pages as the memory manager does; the companion's tests rest on it.
#include "fake/fake_page_lists.h"

#include <gtest/gtest.h>

#include "probes/ram.h"

namespace calvera::fake {
namespace {

using platform::MemoryListCommand;

constexpr std::uint64_t kMb = FakePageLists::kMegabyte;

// A small machine: 160 MB available of 460 MB; returns the id of a.exe.
std::uint32_t Build(FakePageLists& lists) {
  lists.SetFree(100 * kMb);
  lists.SetZeroed(10 * kMb);
  lists.SetStandby(0, 20 * kMb);
  lists.SetStandby(5, 30 * kMb);
  lists.SetModified(40 * kMb);
  lists.SetFileCacheWorkingSet(50 * kMb);
  const std::uint32_t a = lists.AddProcess({u"a.exe", 0, 0, 3600, 60 * kMb, 70 * kMb});
  lists.AddProcess({u"b.exe", 0, 0, 3600, 80 * kMb, 0});
  return a;
}

class PageListModelTest : public ::testing::Test {
 protected:
  PageListModelTest() : a(Build(lists)) {}

  // Through GlobalMemoryStatusEx, as the companion reads it.
  std::uint64_t Available() {
    return static_cast<std::uint64_t>(probes::GetAvailablePhysicalMemory(lists.libraries));
  }

  FakePageLists lists;
  std::uint32_t a;
};

TEST_F(PageListModelTest, AvailableIsStandbyFreeAndZeroAndTheTotalNeverChanges) {
  EXPECT_EQ(Available(), 160 * kMb);
  EXPECT_EQ(probes::GetTotalPhysicalMemory(lists.libraries), 460 * static_cast<std::int64_t>(kMb));
}

TEST(PageListModelTableTest, EachOperationMovesThePagesItMoves) {
  struct Case {
    const char* what;
    void (*act)(FakePageLists&, std::uint32_t a);
    std::uint64_t available, standby, modified, free, cache, workingSetA;
  } cases[] = {
      {"trim: clean to standby, dirty to modified",
       [](FakePageLists& l, std::uint32_t p) {
         platform::ScopedProcess process(l);
         ASSERT_EQ(l.OpenForTrim(p, process.put()), 0u);
         ASSERT_EQ(l.Trim(process.get()), 0u);
       },
       220, 110, 110, 100, 50, 0},
      {"file cache trim: to standby",
       [](FakePageLists& l, std::uint32_t) { ASSERT_EQ(l.TrimWorkingSet(), 0u); }, 210, 100, 40,
       100, 0, 130},
      {"flush of the modified list: to standby",
       [](FakePageLists& l, std::uint32_t) {
         ASSERT_EQ(l.SendCommand(MemoryListCommand::kFlushModifiedList), 0);
       },
       200, 90, 0, 100, 50, 130},
      {"standby purge: to free, nothing gained",
       [](FakePageLists& l, std::uint32_t) {
         ASSERT_EQ(l.SendCommand(MemoryListCommand::kPurgeStandbyList), 0);
       },
       160, 0, 40, 150, 50, 130},
      {"low-priority standby purge: priority 0 only",
       [](FakePageLists& l, std::uint32_t) {
         ASSERT_EQ(l.SendCommand(MemoryListCommand::kPurgeLowPriorityStandbyList), 0);
       },
       160, 30, 40, 120, 50, 130},
      {"every working set at once",
       [](FakePageLists& l, std::uint32_t) {
         ASSERT_EQ(l.SendCommand(MemoryListCommand::kEmptyWorkingSets), 0);
       },
       350, 240, 110, 100, 0, 0},
  };
  for (const Case& c : cases) {
    FakePageLists model;
    const std::uint32_t first = Build(model);
    const std::int64_t total = probes::GetTotalPhysicalMemory(model.libraries);
    c.act(model, first);
    EXPECT_EQ(static_cast<std::uint64_t>(probes::GetAvailablePhysicalMemory(model.libraries)),
              c.available * kMb)
        << c.what;
    EXPECT_EQ(model.Standby(), c.standby * kMb) << c.what;
    EXPECT_EQ(model.Modified(), c.modified * kMb) << c.what;
    EXPECT_EQ(model.Free(), c.free * kMb) << c.what;
    EXPECT_EQ(model.FileCacheWorkingSet(), c.cache * kMb) << c.what;
    EXPECT_EQ(model.WorkingSet(first), c.workingSetA * kMb) << c.what;
    EXPECT_EQ(probes::GetTotalPhysicalMemory(model.libraries), total) << c.what;
  }
}

TEST_F(PageListModelTest, AHandleHoldsTheProcessItWasOpenedOnWhenItsIdIsReused) {
  platform::ScopedProcess process(lists);
  ASSERT_EQ(lists.OpenForTrim(a, process.put()), 0u);
  std::int64_t created = 0;
  ASSERT_EQ(lists.QueryCreationTime(process.get(), &created), 0u);
  lists.EndProcess(a);
  lists.AddProcess({u"new.exe", a, 0, 0, 10 * kMb, 0});
  std::int64_t createdNow = 0;
  ASSERT_EQ(lists.QueryCreationTime(process.get(), &createdNow), 0u);
  EXPECT_EQ(createdNow, created);
  EXPECT_EQ(lists.Trim(process.get()), platform::kErrorAccessDenied);
  EXPECT_EQ(lists.WorkingSet(a), 10 * kMb);
}

TEST_F(PageListModelTest, BusyProcessesUseProcessorTimeAsTheClockRuns) {
  const std::uint32_t busy = lists.AddProcess({u"busy.exe", 0, 0, 3600, kMb, 0, 2'000'000});
  std::vector<platform::ProcessRecord> before;
  std::vector<platform::ProcessRecord> after;
  ASSERT_EQ(lists.Snapshot(&before), 0);
  lists.Sleep(500);
  ASSERT_EQ(lists.Snapshot(&after), 0);
  const auto time = [busy](const std::vector<platform::ProcessRecord>& snapshot, std::uint32_t id) {
    for (const auto& process : snapshot) {
      if (process.processId == id)
        return process.processorTime;
    }
    return std::int64_t{-1};
  };
  EXPECT_EQ(time(after, busy) - time(before, busy), 1'000'000);
  EXPECT_EQ(time(after, a), time(before, a));
  EXPECT_EQ(before[0].processId, 0u);
  EXPECT_EQ(before[1].processId, 4u);
}

}  // namespace
}  // namespace calvera::fake
