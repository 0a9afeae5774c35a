#include "companion/run_state.h"

#include <gtest/gtest.h>

#include "fake/fake_companion.h"

namespace calvera::companion {
namespace {

using fake::FakeVolatileStore;

constexpr std::uint64_t kNow = 3'600'000;

RunState Sample() {
  RunState state;
  state.cooldownUntil = kNow + 30'000;
  state.droppedRequests = 3;
  state.droppedMegabytes = 3072;
  state.trimmed = {{{1234, 133'000'000'000'000'000}, kNow - 1000}, {{0xFFFFFFFC, -1}, kNow - 2000}};
  return state;
}

TEST(RunStateTest, TheStoredFormIsFixedAndReadsBackTheSame) {
  const std::vector<std::uint8_t> bytes = SerializeRunState(Sample());
  // Format, cooldown, dropped requests and megabytes, count, then 20 bytes a process.
  ASSERT_EQ(bytes.size(), 28u + 2 * 20u);
  EXPECT_EQ((std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 4)),
            (std::vector<std::uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(bytes[24], 2);  // little-endian count
  EXPECT_EQ(ParseRunState(bytes), Sample());
  EXPECT_EQ(ParseRunState(SerializeRunState(RunState{})), RunState{});
}

TEST(RunStateTest, DataOfAnotherShapeIsNotAState) {
  const std::vector<std::uint8_t> good = SerializeRunState(Sample());
  std::vector<std::vector<std::uint8_t>> bad = {
      {},
      std::vector<std::uint8_t>(good.begin(), good.begin() + 27),
      std::vector<std::uint8_t>(good.begin(), good.end() - 1),
  };
  bad.push_back(good);
  bad.back().push_back(0);
  bad.push_back(good);
  bad.back()[0] = 2;  // a format this program does not know
  bad.push_back(good);
  bad.back()[24] = 3;  // a count the data does not hold
  for (const auto& data : bad)
    EXPECT_FALSE(ParseRunState(data).has_value()) << data.size();
}

TEST(RunStateTest, ALoadDropsWhatHasRunOutOrCannotBeTrue) {
  const RunTimes times;  // 60 s cooldown, 5 minutes of history
  struct Case {
    const char* what;
    std::uint64_t cooldownUntil;
    std::uint64_t trimmedAt;
    std::uint64_t loadedCooldown;
    bool trimmedKept;
  } cases[] = {
      {"both running", kNow + 1, kNow - 299'999, kNow + 1, true},
      {"a cooldown as long as it can be", kNow + 60'000, kNow, kNow + 60'000, true},
      {"both just over", kNow, kNow - 300'000, 0, false},
      // Ahead by more than they can be: the clock started again since they were written.
      {"from a clock further on", kNow + 60'001, kNow + 1, 0, false},
  };
  for (const Case& c : cases) {
    FakeVolatileStore store;
    RunState stored;
    stored.cooldownUntil = c.cooldownUntil;
    stored.droppedRequests = 2;
    stored.trimmed = {{{8, 1}, c.trimmedAt}};
    ASSERT_EQ(SaveRunState(store, stored), 0u);
    const RunState loaded = LoadRunState(store, kNow, times);
    EXPECT_EQ(loaded.cooldownUntil, c.loadedCooldown) << c.what;
    EXPECT_EQ(loaded.trimmed.size(), c.trimmedKept ? 1u : 0u) << c.what;
    EXPECT_EQ(loaded.droppedRequests, 2u) << c.what;  // kept until a run reports them
  }
}

TEST(RunStateTest, NothingStoredOrUnreadableLoadsAsAFreshState) {
  FakeVolatileStore store;
  EXPECT_EQ(LoadRunState(store, kNow, RunTimes{}), RunState{});
  store.SetData(kRunStateValue, {1, 2, 3});
  EXPECT_EQ(LoadRunState(store, kNow, RunTimes{}), RunState{});
  store.SetParentPresent(false);
  EXPECT_EQ(SaveRunState(store, Sample()), platform::kErrorFileNotFound);
}

TEST(RunStateTest, OnlyTheLatestTrimmedProcessesAreKept) {
  RunState state;
  for (std::uint32_t id = 0; id < kMostTrimmedKept + 5; ++id)
    state.trimmed.push_back({{id, 1}, kNow});
  const auto parsed = ParseRunState(SerializeRunState(state));
  ASSERT_TRUE(parsed.has_value());
  ASSERT_EQ(parsed->trimmed.size(), kMostTrimmedKept);
  EXPECT_EQ(parsed->trimmed.front().identity.processId, 5u);
  EXPECT_EQ(parsed->trimmed.back().identity.processId, kMostTrimmedKept + 4);
}

}  // namespace
}  // namespace calvera::companion
