#include "companion/companion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "companion/companion_events.h"
#include "companion/coordination.h"
#include "companion/run_state.h"
#include "config/settings.h"
#include "fake/fake_companion.h"
#include "platform/text.h"

namespace calvera::companion {
namespace {

using fake::FakeCompanionMachine;
using fake::FakeCompanionProcess;
using fake::FakePageLists;

constexpr std::uint64_t kMb = FakePageLists::kMegabyte;

// Another companion that holds the shared count open, as a queued requester does for a moment.
struct CountHolder {
  explicit CountHolder(FakeCompanionMachine& machine)
      : process(machine), ns(objects()), count(objects()) {
    EXPECT_EQ(objects().OpenSystemNamespace(kNamespaceAlias, ns.put()), 0u);
    EXPECT_EQ(objects().OpenOrCreateCounter(kPendingCountName, count.put()), 0u);
  }
  fake::FakeNamedObjects& objects() { return process.NamedObjects(); }
  void Add(std::uint32_t megabytes) {
    std::uint64_t before = 0;
    EXPECT_EQ(objects().AddToCounter(count.get(),
                                     (std::uint64_t{1} << kRequestCountShift) + megabytes, &before),
              0u);
  }
  std::uint64_t Value() {
    std::uint64_t value = 0;
    EXPECT_EQ(objects().ReadCounter(count.get(), &value), 0u);
    return value;
  }

  FakeCompanionProcess process;
  platform::ScopedNamespace ns;
  platform::ScopedCounter count;
};

// A machine with 200 MB available and 600 MB that idle processes can give back.
class CompanionTest : public ::testing::Test {
 protected:
  CompanionTest() {
    lists().SetFree(100 * kMb);
    lists().SetStandby(5, 100 * kMb);
    for (const char16_t* name : {u"a.exe", u"b.exe", u"c.exe"})
      lists().AddProcess({name, 0, 0, 3600, 200 * kMb});
  }

  FakePageLists& lists() { return machine.pageLists; }

  ExitCode Start(std::vector<std::u16string> arguments) {
    FakeCompanionProcess process(machine);
    const ExitCode code = RunCompanion(process.Platform(), times, arguments);
    EXPECT_EQ(process.NamedObjects().OpenHandleCount(), 0u);
    EXPECT_EQ(process.NamedObjects().UnmatchedCloses(), 0u);
    return code;
  }

  std::vector<fake::FakeEventLog::Entry> Entries() const { return machine.eventLog.Entries(); }

  RunState StoredState() const {
    const auto data = machine.store.Data(kRunStateValue);
    return data ? ParseRunState(*data).value_or(RunState{}) : RunState{};
  }

  FakeCompanionMachine machine;
  RunTimes times;
};

TEST_F(CompanionTest, ABadArgumentEndsWithTwoAndAWarning) {
  for (const auto& arguments :
       std::vector<std::vector<std::u16string>>{{}, {u"1", u"2"}, {u"abc"}, {u"4294967296"}}) {
    FakeCompanionMachine fresh;
    FakeCompanionProcess process(fresh);
    EXPECT_EQ(RunCompanion(process.Platform(), times, arguments), ExitCode::kBadArgument);
    const auto entries = fresh.eventLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].source, kEventSourceName);
    EXPECT_EQ(entries[0].type, platform::kEventlogWarningType);
    EXPECT_EQ(entries[0].id, kBadArgumentEvent.id);
    EXPECT_EQ(fresh.objects.CounterValue(kPendingCountName, true), std::nullopt);
    EXPECT_EQ(fresh.eventLog.OpenSourceCount(), 0u);
  }
}

TEST_F(CompanionTest, NothingAskedEndsWithZeroAndTouchesNothing) {
  for (const char16_t* amount : {u"0", u"-5", u"-2147483648"}) {
    EXPECT_EQ(Start({amount}), ExitCode::kDone);
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(lists().Snapshots(), 0);
    EXPECT_EQ(lists().FileCacheTrims(), 0);
  }
}

TEST_F(CompanionTest, ARunThatReachesItsTargetEndsWithZeroAndOneInformationEntry) {
  EXPECT_EQ(Start({u"300"}), ExitCode::kDone);
  const auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].type, platform::kEventlogInformationType);
  EXPECT_EQ(entries[0].id, kTargetReachedEvent.id);
  EXPECT_EQ(ToUtf8(entries[0].text.substr(0, entries[0].text.find(u'\n'))),
            "Target reached: 400 MB more available memory, 300 MB asked.");
  // What it trimmed is left alone by the next run, which frees the rest.
  const RunState state = StoredState();
  EXPECT_EQ(state.trimmed.size(), 2u);
  EXPECT_EQ(state.cooldownUntil, 0u);
  EXPECT_EQ(Start({u"100"}), ExitCode::kDone);
  EXPECT_EQ(StoredState().trimmed.size(), 3u);
  EXPECT_EQ(lists().TrimOrder().size(), 3u);
}

TEST_F(CompanionTest, AmountsAboveTheLargestRequestAreCutToIt) {
  lists().SetFileCacheWorkingSet(2000 * kMb);
  EXPECT_EQ(Start({u"5000"}), ExitCode::kDone);
  const auto text = ToUtf8(Entries().at(0).text);
  EXPECT_NE(text.find("\nAsked: 1024 MB in 1 request."), std::string::npos) << text;
}

TEST_F(CompanionTest, AShortRunEndsWithOneAndStartsACooldownThatCountsAndDropsRequests) {
  ASSERT_EQ(Start({u"1000"}), ExitCode::kPartial);
  ASSERT_EQ(Entries().size(), 1u);
  EXPECT_EQ(Entries()[0].type, platform::kEventlogWarningType);
  EXPECT_EQ(Entries()[0].id, kFellShortEvent.id);
  const std::uint64_t cooldownUntil = StoredState().cooldownUntil;
  EXPECT_EQ(cooldownUntil, lists().Now() + 60'000);

  // Within the cooldown: dropped, counted, no entry and nothing done.
  lists().Sleep(30'000);
  const int snapshots = lists().Snapshots();
  EXPECT_EQ(Start({u"100"}), ExitCode::kPartial);
  EXPECT_EQ(Start({u"200"}), ExitCode::kPartial);
  EXPECT_EQ(Entries().size(), 1u);
  EXPECT_EQ(lists().Snapshots(), snapshots);
  EXPECT_EQ(StoredState().droppedRequests, 2u);
  EXPECT_EQ(StoredState().droppedMegabytes, 300u);

  // After it, a run again, whose entry reports what was dropped.
  lists().Sleep(30'000);
  lists().AddProcess({u"new.exe", 0, 0, 3600, 200 * kMb});
  EXPECT_EQ(Start({u"100"}), ExitCode::kDone);
  ASSERT_EQ(Entries().size(), 2u);
  const std::string text = ToUtf8(Entries()[1].text);
  EXPECT_NE(text.find("Dropped while cooling down before this run: 2 requests, 300 MB."),
            std::string::npos)
      << text;
  EXPECT_EQ(StoredState().droppedRequests, 0u);
}

TEST_F(CompanionTest, ARestartOfTheSystemEndsTheCooldownAndTheHistory) {
  ASSERT_EQ(Start({u"1000"}), ExitCode::kPartial);
  machine.store.Restart();
  EXPECT_EQ(Start({u"100"}), ExitCode::kPartial);  // ran, found nothing left to trim
  EXPECT_EQ(Entries().size(), 2u);
}

// The list of the settings key, or the policy key's, which wins where it holds one.
struct ExclusionCase {
  const char* name;
  std::u16string_view settings;  // the REG_MULTI_SZ data; empty: no value
  std::u16string_view policy;
  const char* excluded;  // in the record
};

class ExcludedProcessesTest : public CompanionTest,
                              public ::testing::WithParamInterface<ExclusionCase> {
 protected:
  void Store(const char16_t* keyPath, std::u16string_view names) {
    if (names.empty())
      return;
    std::vector<std::uint8_t> data(names.size() * sizeof(char16_t));
    std::memcpy(data.data(), names.data(), data.size());
    machine.registry.SetRaw(platform::RegistryRoot::kLocalMachine, keyPath,
                            config::kExcludeProcesses, platform::kRegMultiSz, data);
  }
};

TEST_P(ExcludedProcessesTest, AreReadFromThePolicyOrTheSettings) {
  Store(u"Software\\Wow6432Node\\Tolvane\\Calvera", GetParam().settings);
  Store(u"Software\\Policies\\Tolvane\\Calvera", GetParam().policy);
  EXPECT_EQ(Start({u"1000"}), ExitCode::kPartial);
  const std::string text = ToUtf8(Entries().at(0).text);
  EXPECT_NE(text.find(GetParam().excluded), std::string::npos) << text;
  EXPECT_EQ(machine.registry.OpenHandleCount(), 0u);
}

constexpr std::u16string_view kTwoNames(u"B.EXE\0c\0\0", 9);
INSTANTIATE_TEST_SUITE_P(
    Companion,
    ExcludedProcessesTest,
    ::testing::Values(
        ExclusionCase{"SettingsOnly", kTwoNames, {}, "2 excluded"},
        ExclusionCase{"PolicyOverSettings", kTwoNames, std::u16string_view(u"c\0\0", 3),
                      "1 excluded"},
        ExclusionCase{"AnEmptyPolicyList", kTwoNames, std::u16string_view(u"\0", 1), "2 excluded"},
        ExclusionCase{"PolicyOnly", {}, std::u16string_view(u"b\0c.EXE\0\0", 9), "2 excluded"}),
    [](const ::testing::TestParamInfo<ExclusionCase>& test) {
      return std::string(test.param.name);
    });

TEST_F(CompanionTest, WithoutTheServiceKeyTheRunStillWorksAndSaysWhatIsNotKept) {
  machine.store.SetParentPresent(false);
  EXPECT_EQ(Start({u"1000"}), ExitCode::kPartial);
  const std::string text = ToUtf8(Entries().at(0).text);
  EXPECT_NE(text.find("\nNot kept for the next run (error 2: "), std::string::npos) << text;
}

TEST_F(CompanionTest, WithoutTheServiceKeyTheWorkerStillKeepsTheCooldownForItsOwnRuns) {
  machine.store.SetParentPresent(false);
  CountHolder queued(machine);
  // A request comes in while the worker's first run waits.
  bool added = false;
  lists().SetSleepHook([&] {
    if (!std::exchange(added, true))
      queued.Add(200);
  });
  EXPECT_EQ(Start({u"1000"}), ExitCode::kPartial);
  EXPECT_EQ(Entries().size(), 1u);
  EXPECT_EQ(queued.Value(), 0u);
}

TEST_F(CompanionTest, WithoutPrivateNamespacesTheGlobalNamesAreUsedAndSaidSo) {
  machine.objects.SetPrivateNamespaces(false, platform::kErrorCallNotImplemented);
  EXPECT_EQ(Start({u"300"}), ExitCode::kDone);
  const std::string text = ToUtf8(Entries().at(0).text);
  EXPECT_NE(text.find("\nNamed objects: global names, for want of a private namespace (error 120"),
            std::string::npos)
      << text;
}

TEST_F(CompanionTest, ObjectsThatCannotBeHadEndWithThreeAndAnError) {
  struct Case {
    const char16_t* name;
    const char* object;
  } cases[] = {{kWorkerMutexName, "worker mutex"}, {kPendingCountName, "request count"}};
  for (const Case& c : cases) {
    FakeCompanionMachine fresh;
    fresh.objects.FailCreation(c.name, platform::kErrorAccessDenied);
    FakeCompanionProcess process(fresh);
    EXPECT_EQ(RunCompanion(process.Platform(), times, {u"100"}), ExitCode::kFailure);
    const auto entries = fresh.eventLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].type, platform::kEventlogErrorType);
    EXPECT_EQ(entries[0].id, kCoordinationFailedEvent.id);
    EXPECT_EQ(ToUtf8(entries[0].text), std::string("Dropped a request of 100 MB: the ") + c.object +
                                           " shared by the companions cannot be opened (error 5: "
                                           "Access is denied).");
    EXPECT_EQ(process.NamedObjects().OpenHandleCount(), 0u);
  }
}

TEST_F(CompanionTest, ASharedObjectThatFailsInUseEndsWithThreeAndAnErrorAndLosesNoQueuedRequest) {
  using Objects = fake::FakeObjectManager;
  constexpr std::uint64_t kOneRequest = std::uint64_t{1} << kRequestCountShift;
  struct Case {
    const char* name;
    void (*fail)(Objects&);
    std::uint64_t countAfter;  // the holder's 300 MB, and this companion's 100 MB if added
    const char* entry;
  } cases[] = {
      {"count cannot be changed", [](Objects& o) { o.FailCounterOperations(5); }, kOneRequest + 300,
       "Dropped a request of 100 MB: the request count shared by the companions cannot be "
       "changed (error 5: Access is denied)."},
      {"mutex cannot be tried", [](Objects& o) { o.FailLock(6); }, 2 * kOneRequest + 400,
       "Left a request of 100 MB in the count shared by the companions, for the next one: the "
       "worker mutex cannot be tried (error 6: The handle is invalid)."},
  };
  for (const Case& c : cases) {
    FakeCompanionMachine fresh;
    CountHolder holder(fresh);
    holder.Add(300);
    c.fail(fresh.objects);
    FakeCompanionProcess process(fresh);
    EXPECT_EQ(RunCompanion(process.Platform(), times, {u"100"}), ExitCode::kFailure) << c.name;
    const auto entries = fresh.eventLog.Entries();
    ASSERT_EQ(entries.size(), 1u) << c.name;
    EXPECT_EQ(entries[0].type, platform::kEventlogErrorType) << c.name;
    EXPECT_EQ(entries[0].id, kCoordinationFailedEvent.id) << c.name;
    EXPECT_EQ(ToUtf8(entries[0].text), c.entry) << c.name;
    fresh.objects.FailCounterOperations(0);
    fresh.objects.FailLock(0);
    EXPECT_EQ(holder.Value(), c.countAfter) << c.name;
  }
}

TEST_F(CompanionTest, AWorkerThatCannotTakeTheCountLeavesItForTheNextCompanion) {
  CountHolder holder(machine);
  // The companion's add and its lock work; from its take on, the count fails.
  int operations = 0;
  machine.objects.SetSwitchHook([&] {
    if (++operations == 3)
      machine.objects.FailCounterOperations(platform::kErrorNotEnoughMemory);
  });
  holder.Add(300);
  operations = 0;
  EXPECT_EQ(Start({u"100"}), ExitCode::kFailure);
  machine.objects.SetSwitchHook(nullptr);
  machine.objects.FailCounterOperations(0);
  ASSERT_FALSE(Entries().empty());
  EXPECT_EQ(Entries().back().id, kCoordinationFailedEvent.id);
  // Nothing the worker had not taken is lost; the next companion serves it.
  EXPECT_EQ(holder.Value(), (std::uint64_t{1} << kRequestCountShift) * 2 + 400);
  EXPECT_EQ(Start({u"1"}), ExitCode::kDone);
  EXPECT_NE(ToUtf8(Entries().back().text).find("\nAsked: 401 MB in 3 requests."),
            std::string::npos);
  EXPECT_EQ(holder.Value(), 0u);
}

TEST_F(CompanionTest, WithoutAReadingOfAvailableMemoryTheRunEndsWithThreeAndAnError) {
  lists().SetMemoryStatusFails(true);
  EXPECT_EQ(Start({u"100"}), ExitCode::kFailure);
  EXPECT_EQ(Entries().at(0).type, platform::kEventlogErrorType);
  EXPECT_EQ(Entries().at(0).id, kRunFailedEvent.id);
  EXPECT_TRUE(lists().TrimOrder().empty());
}

TEST_F(CompanionTest, AnAbandonedMutexIsTakenOverWithWhatThePreviousWorkerLeftPending) {
  // A worker ended without releasing the mutex; 300 MB were still pending.
  machine.objects.LeaveAbandonedMutex(kWorkerMutexName, true);
  CountHolder holder(machine);
  holder.Add(300);

  EXPECT_EQ(Start({u"100"}), ExitCode::kDone);
  const std::string text = ToUtf8(Entries().at(0).text);
  EXPECT_NE(text.find("\nAsked: 400 MB in 2 requests."), std::string::npos) << text;
  EXPECT_NE(text.find("\nThe previous worker ended without releasing its lock"), std::string::npos)
      << text;
  EXPECT_EQ(machine.objects.MutexOwner(kWorkerMutexName, true), 0u);
}

}  // namespace
}  // namespace calvera::companion
