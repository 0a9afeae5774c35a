#include "companion/freeing_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "fake/fake_companion.h"

namespace calvera::companion {
namespace {

using fake::FakeCompanionMachine;
using fake::FakeCompanionProcess;
using fake::FakePageLists;
using platform::MemoryListCommand;
using Outcome = RunReport::Outcome;
using State = StepReport::State;

constexpr std::uint64_t kMb = FakePageLists::kMegabyte;
constexpr std::int64_t kSignedMb = static_cast<std::int64_t>(kMb);
constexpr std::uint32_t kServiceId = FakeCompanionMachine::kServiceProcessId;

// A machine with 200 MB available, the service running, and a companion started by it.
struct Stand {
  Stand() {
    lists.SetFree(100 * kMb);
    lists.SetStandby(5, 100 * kMb);
    lists.AddProcess({u"Calvera.exe", kServiceId, 500, 7200, 20 * kMb, 0});
  }
  // Whatever a run did, the only command it ever sent is the flush of the modified list, and it
  // left no process handle open.
  ~Stand() {
    for (const MemoryListCommand command : lists.CommandsSent())
      EXPECT_EQ(command, MemoryListCommand::kFlushModifiedList);
    EXPECT_EQ(lists.OpenProcessHandles(), 0u);
  }

  std::uint32_t Idle(const char16_t* name, std::uint64_t cleanMb, std::uint64_t dirtyMb = 0) {
    return lists.AddProcess({name, 0, 0, 3600, cleanMb * kMb, dirtyMb * kMb});
  }

  RunReport Run(std::uint64_t megabytes) {
    FakeCompanionProcess companion(machine, companionParent, companionWorkingSet);
    const std::int64_t before = static_cast<std::int64_t>(lists.Available());
    RunReport report = FreeMemory(companion.Platform(), times, inputs, {1, megabytes});
    // The report holds what the machine did: no more, no less.
    if (report.outcome != Outcome::kMeasurementFailed) {
      EXPECT_EQ(report.availableBefore, before);
      EXPECT_EQ(report.availableAfter, static_cast<std::int64_t>(lists.Available()));
    }
    return report;
  }

  std::vector<std::u16string> TrimmedNames(const RunReport& report) {
    std::vector<std::u16string> names;
    for (const TrimmedProcessReport& process : report.trimmed)
      names.push_back(process.imageName);
    return names;
  }

  FakeCompanionMachine machine;
  FakePageLists& lists = machine.pageLists;
  RunTimes times;
  RunInputs inputs;
  std::uint64_t companionWorkingSet = 2 * kMb;
  std::uint32_t companionParent = kServiceId;
};

TEST(FreeingRunTest, TheCheapestStepsRunFirstAndTheRunStopsAtItsTarget) {
  struct Case {
    std::uint64_t asked;
    std::vector<std::u16string> trimmed;
    std::uint32_t idleLeft;
    State flush;
    std::int64_t gainedMb;
  } cases[] = {
      {100, {}, 0, State::kNotNeeded, 300},
      {300, {}, 0, State::kNotNeeded, 300},
      {301, {u"big.exe"}, 2, State::kNotNeeded, 700},
      {800, {u"big.exe", u"middle.exe"}, 1, State::kNotNeeded, 1000},
      {1100, {u"big.exe", u"middle.exe", u"mixed.exe"}, 0, State::kNotNeeded, 1100},
      {1200, {u"big.exe", u"middle.exe", u"mixed.exe"}, 0, State::kDone, 1250},
      {5000, {u"big.exe", u"middle.exe", u"mixed.exe"}, 0, State::kDone, 1250},
  };
  for (const Case& c : cases) {
    Stand stand;
    stand.lists.SetFileCacheWorkingSet(300 * kMb);
    stand.Idle(u"mixed.exe", 100, 150);  // its dirty pages go to the modified list
    stand.Idle(u"big.exe", 400);
    stand.Idle(u"middle.exe", 300);
    const RunReport report = stand.Run(c.asked);

    EXPECT_EQ(stand.lists.FileCacheTrims(), 1) << c.asked;
    EXPECT_EQ(stand.TrimmedNames(report), c.trimmed) << c.asked;
    EXPECT_EQ(report.idleLeft, c.idleLeft) << c.asked;
    EXPECT_EQ(report.modifiedList.state, c.flush) << c.asked;
    EXPECT_EQ(report.availableAfter - report.availableBefore, c.gainedMb * kSignedMb) << c.asked;
    EXPECT_EQ(report.StepsGainBytes(), c.gainedMb * kSignedMb) << c.asked;
    EXPECT_EQ(report.fileCache.gainBytes, 300 * kSignedMb) << c.asked;
    EXPECT_EQ(report.outcome, c.gainedMb >= static_cast<std::int64_t>(c.asked)
                                  ? Outcome::kReached
                                  : Outcome::kStepsRanOut)
        << c.asked;
  }
}

TEST(FreeingRunTest, EachStepThatRanIsMeasuredAfterOneSettle) {
  Stand stand;
  stand.lists.SetFileCacheWorkingSet(100 * kMb);
  for (int i = 0; i < 5; ++i)
    stand.Idle(u"app.exe", 40, 20);
  const RunReport report = stand.Run(1000);
  EXPECT_EQ(report.fileCache.state, State::kDone);
  EXPECT_EQ(report.fileCache.gainBytes, 100 * kSignedMb);
  EXPECT_EQ(report.idleProcesses.state, State::kDone);
  EXPECT_EQ(report.idleProcesses.gainBytes, 200 * kSignedMb);
  EXPECT_EQ(report.trimmed.size(), 5u);
  EXPECT_EQ(report.modifiedList.state, State::kDone);
  EXPECT_EQ(report.modifiedList.listBytes, 100 * kMb);
  EXPECT_EQ(report.modifiedList.gainBytes, 100 * kSignedMb);
  // Three settles of 200 ms; the sampling interval of 500 ms runs during the first.
  EXPECT_EQ(report.fileCache.milliseconds, 200u);
  EXPECT_EQ(report.idleProcesses.milliseconds, 300u + 200u);
  EXPECT_EQ(report.modifiedList.milliseconds, 200u);
  EXPECT_EQ(report.milliseconds, 500u + 200u + 200u);
}

TEST(FreeingRunTest, TheModifiedListIsFlushedOnlyBetweenItsFloorAndItsCap) {
  struct Case {
    std::uint64_t modifiedMb;
    State state;
  } cases[] = {
      {0, State::kNothingToDo}, {15, State::kNothingToDo}, {16, State::kDone},
      {1024, State::kDone},     {1025, State::kAboveCap},  {8192, State::kAboveCap},
  };
  for (const Case& c : cases) {
    Stand stand;
    stand.lists.SetModified(c.modifiedMb * kMb);
    const RunReport report = stand.Run(10'000);
    EXPECT_EQ(report.modifiedList.state, c.state) << c.modifiedMb;
    EXPECT_EQ(report.modifiedList.listBytes, c.modifiedMb * kMb) << c.modifiedMb;
    EXPECT_EQ(stand.lists.CommandsSent().size(), c.state == State::kDone ? 1u : 0u) << c.modifiedMb;
    EXPECT_EQ(stand.lists.Modified(), c.state == State::kDone ? 0 : c.modifiedMb * kMb)
        << c.modifiedMb;
    EXPECT_EQ(report.outcome, Outcome::kStepsRanOut) << c.modifiedMb;
  }
}

TEST(FreeingRunTest, AStepWithoutItsPrivilegeOrEntryPointIsSkippedAndTheOthersRun) {
  struct Case {
    const char* what;
    void (*breakIt)(Stand&);
    State cache, idle, flush;
    platform::ErrorCode cacheError, flushError;
  } cases[] = {
      {"no SeIncreaseQuotaPrivilege",
       [](Stand& s) { s.machine.privileges.SetHeld(platform::kIncreaseQuotaPrivilege, false); },
       State::kNoPrivilege, State::kDone, State::kDone, platform::kErrorNotAllAssigned, 0},
      {"no SeProfileSingleProcessPrivilege",
       [](Stand& s) {
         s.machine.privileges.SetHeld(platform::kProfileSingleProcessPrivilege, false);
       },
       State::kDone, State::kDone, State::kNoPrivilege, 0, platform::kErrorNotAllAssigned},
      {"no SetSystemFileCacheSize",
       [](Stand& s) { s.lists.SetFileCacheError(platform::kErrorProcNotFound); },
       State::kUnavailable, State::kDone, State::kDone, platform::kErrorProcNotFound, 0},
      {"SetSystemFileCacheSize not implemented, as under Wine",
       [](Stand& s) { s.lists.SetFileCacheError(platform::kErrorCallNotImplemented); },
       State::kFailed, State::kDone, State::kDone, platform::kErrorCallNotImplemented, 0},
      {"no process snapshot",
       [](Stand& s) { s.lists.SetSnapshotStatus(platform::kStatusProcedureNotFound); },
       State::kDone, State::kUnavailable, State::kNothingToDo, 0, 0},
      {"no memory list information",
       [](Stand& s) { s.lists.SetMemoryListQueryStatus(platform::kStatusProcedureNotFound); },
       State::kDone, State::kDone, State::kUnavailable, 0, 0},
      {"memory list information refused, as under Wine",
       [](Stand& s) { s.lists.SetMemoryListQueryStatus(platform::kStatusInvalidInfoClass); },
       State::kDone, State::kDone, State::kFailed, 0, 0},
      {"the flush refused",
       [](Stand& s) { s.lists.SetMemoryListCommandStatus(platform::kStatusPrivilegeNotHeld); },
       State::kDone, State::kDone, State::kFailed, 0, 0},
  };
  for (const Case& c : cases) {
    Stand stand;
    stand.lists.SetFileCacheWorkingSet(100 * kMb);
    stand.Idle(u"app.exe", 50, 50);
    c.breakIt(stand);
    const RunReport report = stand.Run(10'000);
    EXPECT_EQ(report.fileCache.state, c.cache) << c.what;
    EXPECT_EQ(report.idleProcesses.state, c.idle) << c.what;
    EXPECT_EQ(report.modifiedList.state, c.flush) << c.what;
    if (c.cacheError != 0) {
      EXPECT_EQ(report.fileCache.failure, CallFailure::Windows(c.cacheError)) << c.what;
    }
    if (c.flushError != 0) {
      EXPECT_EQ(report.modifiedList.failure, CallFailure::Windows(c.flushError)) << c.what;
    }
    EXPECT_EQ(stand.lists.FileCacheWorkingSet(), c.cache == State::kDone ? 0 : 100 * kMb) << c.what;
    EXPECT_EQ(report.outcome, Outcome::kStepsRanOut) << c.what;
  }
}

TEST(FreeingRunTest, ARefusedNativeCallIsReportedWithItsStatus) {
  Stand stand;
  stand.lists.SetModified(100 * kMb);
  stand.lists.SetMemoryListCommandStatus(platform::kStatusPrivilegeNotHeld);
  const RunReport report = stand.Run(10'000);
  EXPECT_EQ(report.modifiedList.failure, CallFailure::Native(platform::kStatusPrivilegeNotHeld));
  EXPECT_EQ(report.modifiedList.gainBytes, 0);
}

TEST(FreeingRunTest, ProcessesAreLeftAloneForEachRuleAndCounted) {
  Stand stand;
  stand.companionWorkingSet = 500 * kMb;  // large, and still never trimmed
  stand.lists.AddProcess({u"csrss.exe", 0, 0, 3600, 300 * kMb});
  stand.lists.AddProcess({u"vmmem", 0, 0, 3600, 300 * kMb});
  stand.lists.AddProcess({u"Game.exe", 0, 0, 3600, 300 * kMb});
  stand.lists.AddProcess({u"tiny.exe", 0, 0, 3600, 15 * kMb});
  stand.lists.AddProcess({u"fresh.exe", 0, 0, 30, 300 * kMb});
  const std::uint32_t trimmedBefore = stand.Idle(u"again.exe", 300);
  stand.lists.AddProcess({u"busy.exe", 0, 0, 3600, 300 * kMb, 0, 1000});
  stand.lists.AddProcess(
      {u"locked.exe", 0, 0, 3600, 300 * kMb, 0, 0, platform::kErrorAccessDenied});
  stand.lists.AddProcess({u"stubborn.exe", 0, 0, 3600, 300 * kMb, 0, 0, 0, 5});
  const std::uint32_t idle = stand.Idle(u"idle.exe", 300);
  stand.inputs.excludedNames = {u"game"};
  std::vector<platform::ProcessRecord> snapshot;
  ASSERT_EQ(stand.lists.Snapshot(&snapshot), 0);
  for (const auto& p : snapshot) {
    if (p.processId == trimmedBefore)
      stand.inputs.recentlyTrimmed = {{p.processId, p.creationTime}};
  }

  const RunReport report = stand.Run(10'000);
  EXPECT_EQ(stand.lists.TrimOrder(), std::vector<std::uint32_t>{idle});
  const SkipCounts& skipped = report.skipped;
  // The idle and system processes, csrss, the service and the companion itself.
  EXPECT_EQ(skipped[SkipReason::kProtected], 5u);
  EXPECT_EQ(skipped[SkipReason::kVirtualMachine], 1u);
  EXPECT_EQ(skipped[SkipReason::kExcluded], 1u);
  EXPECT_EQ(skipped[SkipReason::kSmall], 1u);
  EXPECT_EQ(skipped[SkipReason::kYoung], 1u);
  EXPECT_EQ(skipped[SkipReason::kRecentlyTrimmed], 1u);
  EXPECT_EQ(skipped[SkipReason::kBusy], 1u);
  EXPECT_EQ(skipped[SkipReason::kCannotOpen], 1u);
  EXPECT_EQ(skipped[SkipReason::kTrimFailed], 1u);
  EXPECT_EQ(skipped.Total(), 13u);
  ASSERT_EQ(report.trimmedIdentities.size(), 1u);
  EXPECT_EQ(report.trimmedIdentities[0].processId, idle);
}

TEST(FreeingRunTest, TheServiceIsKnownByTheServiceManagerOrAsTheCompanionsParent) {
  using Call = fake::FakeServiceControlManager::Call;
  struct Case {
    const char* name;
    std::uint32_t parent;
    std::optional<Call> failing;
    bool trimmed;
  } cases[] = {
      {"started by the service", kServiceId, std::nullopt, false},
      {"started by hand", 0, std::nullopt, false},
      {"started by the service, manager closed", kServiceId, Call::kOpenManager, false},
      {"started by the service, status refused", kServiceId, Call::kQueryServiceProcessId, false},
      {"started by hand, status refused", 0, Call::kQueryServiceProcessId, true},
  };
  for (const Case& c : cases) {
    Stand stand;
    stand.companionParent = c.parent;
    if (c.failing)
      stand.machine.services.FailCall(*c.failing, platform::kErrorAccessDenied);
    const RunReport report = stand.Run(10'000);
    EXPECT_EQ(stand.lists.TrimCount(kServiceId), c.trimmed ? 1 : 0) << c.name;
    EXPECT_EQ(report.skipped[SkipReason::kProtected], c.trimmed ? 3u : 4u) << c.name;
    EXPECT_EQ(stand.machine.services.OpenHandleCount(), 0u) << c.name;
  }
}

TEST(FreeingRunTest, AProcessWhoseIdWasTakenAfterTheSnapshotIsNotTrimmed) {
  Stand stand;
  const std::uint32_t gone = stand.Idle(u"gone.exe", 300);
  const std::uint32_t other = stand.Idle(u"other.exe", 200);
  // After the second snapshot, the process ends and a new one gets its id.
  stand.lists.SetSnapshotHook([&stand, gone](int number) {
    if (number == 2) {
      stand.lists.EndProcess(gone);
      stand.lists.AddProcess({u"newcomer.exe", gone, 0, 0, 300 * kMb});
    }
  });
  const RunReport report = stand.Run(10'000);
  EXPECT_EQ(stand.lists.TrimOrder(), std::vector<std::uint32_t>{other});
  EXPECT_EQ(report.skipped[SkipReason::kExited], 1u);
  EXPECT_EQ(stand.lists.WorkingSet(gone), 300 * kMb);
}

TEST(FreeingRunTest, IdleMeansNoProcessorTimeOverTheSamplingInterval) {
  Stand stand;
  stand.times.samplingInterval = 800;
  // A thousandth of a processor.
  const std::uint32_t slow =
      stand.lists.AddProcess({u"slow.exe", 0, 0, 3600, 300 * kMb, 0, 10'000});
  std::vector<std::uint64_t> snapshotTimes;
  stand.lists.SetSnapshotHook([&](int) { snapshotTimes.push_back(stand.lists.Now()); });
  const RunReport report = stand.Run(10'000);
  ASSERT_EQ(snapshotTimes.size(), 2u);
  EXPECT_EQ(snapshotTimes[1] - snapshotTimes[0], 800u);
  EXPECT_EQ(stand.lists.TrimCount(slow), 0);
  EXPECT_EQ(report.skipped[SkipReason::kBusy], 1u);
}

TEST(FreeingRunTest, AShortSettledReadingTrimsOnAndTheGainIsWhatWasMeasured) {
  Stand stand;
  // Another program takes 100 MB a second: during a settle of 200 ms, 20 MB.
  stand.lists.SetBackgroundConsumption(100 * kMb);
  stand.Idle(u"first.exe", 300);
  stand.Idle(u"second.exe", 200);
  const RunReport report = stand.Run(250);
  // first.exe alone read as enough before the settle; after it the gain was short.
  EXPECT_EQ(stand.TrimmedNames(report), (std::vector<std::u16string>{u"first.exe", u"second.exe"}));
  EXPECT_EQ(report.outcome, Outcome::kReached);
  EXPECT_LT(report.availableAfter - report.availableBefore, 500 * kSignedMb);
  EXPECT_GE(report.availableAfter - report.availableBefore, 250 * kSignedMb);
}

TEST(FreeingRunTest, TheDeadlineIsLookedAtBetweenProcessesAndBetweenSteps) {
  Stand stand;
  stand.times.deadline = 2000;
  stand.lists.SetTrimDuration(300);
  for (int i = 0; i < 20; ++i)
    stand.Idle(u"app.exe", 20);
  stand.lists.SetModified(100 * kMb);
  const RunReport report = stand.Run(10'000);
  EXPECT_EQ(report.outcome, Outcome::kDeadline);
  // Up to 500 ms pass before the first trim; each trim takes 300 ms.
  EXPECT_EQ(report.trimmed.size(), 5u);
  EXPECT_EQ(report.idleProcesses.state, State::kDone);
  EXPECT_EQ(report.modifiedList.state, State::kDeadline);
  EXPECT_TRUE(stand.lists.CommandsSent().empty());
  // The run ends after the settle of the last step that ran.
  EXPECT_EQ(report.milliseconds, 500u + 5 * 300u + 200u);
}

TEST(FreeingRunTest, CallsWithoutEffectAreReportedAsTheNothingTheyGained) {
  // Under Wine every trim answers success and changes nothing, and private working sets read 0.
  Stand stand;
  stand.lists.SetFileCacheWorkingSet(300 * kMb);
  stand.Idle(u"app.exe", 300);
  stand.lists.SetCallsWithoutEffect(true);
  const RunReport report = stand.Run(100);
  EXPECT_EQ(report.outcome, Outcome::kStepsRanOut);
  EXPECT_EQ(report.StepsGainBytes(), 0);
  EXPECT_EQ(report.availableAfter, report.availableBefore);
  EXPECT_EQ(report.idleProcesses.state, State::kNothingToDo);
  EXPECT_EQ(report.skipped[SkipReason::kSmall], 1u);
  // The sampling interval and the settle after the cache step, nothing more.
  EXPECT_EQ(report.milliseconds, 500u);
}

TEST(FreeingRunTest, WithoutAReadingOfAvailableMemoryNothingIsDone) {
  Stand stand;
  stand.lists.SetFileCacheWorkingSet(300 * kMb);
  stand.Idle(u"app.exe", 300);
  stand.lists.SetMemoryStatusFails(true);
  const RunReport report = stand.Run(100);
  EXPECT_EQ(report.outcome, Outcome::kMeasurementFailed);
  EXPECT_EQ(report.availableBefore, 0);
  EXPECT_EQ(stand.lists.FileCacheTrims(), 0);
  EXPECT_EQ(stand.lists.Snapshots(), 0);
  EXPECT_TRUE(stand.lists.TrimOrder().empty());
}

TEST(FreeingRunTest, AReadingLostDuringTheRunStopsIt) {
  Stand stand;
  stand.lists.SetFileCacheWorkingSet(300 * kMb);
  stand.Idle(u"app.exe", 300);
  stand.lists.SetSnapshotHook([&stand](int number) {
    if (number == 2)
      stand.lists.SetMemoryStatusFails(true);
  });
  const RunReport report = stand.Run(1000);
  EXPECT_EQ(report.outcome, Outcome::kMeasurementFailed);
  EXPECT_EQ(report.fileCache.state, State::kDone);
  EXPECT_EQ(report.availableAfter, report.availableBefore + 300 * kSignedMb);
  EXPECT_TRUE(stand.lists.TrimOrder().empty());
}

}  // namespace
}  // namespace calvera::companion
