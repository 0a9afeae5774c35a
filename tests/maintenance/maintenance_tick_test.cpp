#include "maintenance/maintenance_tick.h"

#include "maintenance/date_time.h"
#include "maintenance/shell.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/stored_settings.h"
#include "fake/fake_platform.h"

namespace calvera::maintenance {
namespace {

using Chunks = std::vector<std::u16string>;

constexpr std::uint64_t kMegabyte = 1048576;
constexpr std::uint64_t kTenMinutes = 600000;  // past the uptime gate and the first period

class MaintenanceTickTest : public ::testing::Test {
 protected:
  MaintenanceTickTest() {
    // Memory low by default, every gate open, the sampler's first call due (it yields 0).
    SetMemory(8192 * kMegabyte, 0);
    fake_.system.SetMilliseconds(kTenMinutes);
    fake_.system.SetAcLineStatus(1);
  }

  void SetMemory(std::uint64_t total, std::uint64_t available) {
    fake_.libraries.SetMemoryStatus(total, available);
  }
  void Set(const char16_t* name, std::uint32_t value) {
    config::StoreSetting(fake_.registry, name, value);
  }
  std::optional<std::u16string> Stored(const char16_t* name) const {
    return config::StoredString(fake_.registry, name);
  }
  // One started tick; the companion's parameters it launched with.
  Chunks StartedTick() {
    tick_.SetServiceStarted();
    return Tick();
  }
  Chunks Tick() {
    const auto before = fake_.process.LaunchedParameters().size();
    tick_.MainTimerTimer();
    const auto all = fake_.process.LaunchedParameters();
    return Chunks(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
  }

  fake::FakePlatform fake_;
  MaintenanceTick tick_{fake_.platform};
};

TEST_F(MaintenanceTickTest, FreesTheConfiguredShareInChunksOfAtMost1024Megabytes) {
  struct Case {
    std::uint64_t totalMegabytes;
    std::optional<std::int32_t> memoryFree;
    Chunks chunks;
  } cases[] = {
      {8192, std::nullopt, {u"1024", u"1024", u"1024", u"1024", u"819"}},
      {1024, std::nullopt, {u"410"}},
      {10000, 25, {u"1024", u"1024", u"452"}},
      {8192, 25, {u"1024", u"1024"}},
      {4096, 25, {u"1024"}},
      {8192, 0, {u"0"}},
      {700, -1, {u"-7"}},
  };
  for (const auto& c : cases) {
    fake::FakePlatform fake;
    MaintenanceTick tick(fake.platform);
    fake.libraries.SetMemoryStatus(c.totalMegabytes * kMegabyte, 0);
    fake.system.SetMilliseconds(kTenMinutes);
    if (c.memoryFree) {
      config::StoreSetting(fake.registry, u"MemoryFree", static_cast<std::uint32_t>(*c.memoryFree));
    }
    tick.SetServiceStarted();
    tick.MainTimerTimer();
    EXPECT_EQ(fake.process.LaunchedParameters(), c.chunks) << c.totalMegabytes << " MB";
  }
}

TEST_F(MaintenanceTickTest, LaunchesTheCompanionBesideTheExecutableWithoutWaiting) {
  const std::u16string directory = u"C:\\Program Files\\" + std::u16string(300, u'd') + u"\\";
  fake_.process.SetModuleFileName(directory + u"Calvera.exe");
  tick_.SetOwnerWindow(platform::WindowHandle{0x1234});
  fake_.process.SetShellExecuteResult(2);  // a failing launch does not stop the next chunk
  ASSERT_EQ(StartedTick().size(), 5u);
  for (const auto& call : fake_.process.ShellCalls()) {
    EXPECT_EQ(call.owner, platform::WindowHandle{0x1234});
    EXPECT_EQ(call.verb, u"open");
    EXPECT_EQ(call.file, directory + u"CalveraDefrag.exe");
    EXPECT_FALSE(call.directory.has_value());
    EXPECT_EQ(call.show, platform::kSwShow);
  }
}

TEST_F(MaintenanceTickTest, CompanionPathEndsAtTheLastDelimiterAndNeedsOne) {
  const struct {
    std::u16string module;
    std::u16string companion;
  } cases[] = {
      {u"C:\\Program Files\\Calvera\\Calvera.exe",
       u"C:\\Program Files\\Calvera\\CalveraDefrag.exe"},
      {u"D:Calvera.exe", u"D:CalveraDefrag.exe"},
      {u"Calvera.exe", u""},  // no directory: nothing is started from the search path
      {u"", u""},             // the executable's name cannot be had
  };
  for (const auto& c : cases) {
    fake_.process.SetModuleFileName(c.module);
    EXPECT_EQ(CompanionProgramPath(fake_.process), c.companion);
  }
  fake_.process.SetModuleFileName(u"Calvera.exe");
  EXPECT_TRUE(StartedTick().empty());
  EXPECT_EQ(tick_.LastExecuteTime(), 600);
}

TEST_F(MaintenanceTickTest, TheFirstTotalChoosesTheDefaultsAt1536Megabytes) {
  // 1535.5 MB rounds to 1536 and takes 30 and 60 percent; one byte less takes 20 and 40.
  const std::uint64_t boundary = 1535 * kMegabyte + kMegabyte / 2;
  SetMemory(boundary, 0);
  EXPECT_EQ(StartedTick(), Chunks{u"921"});
  fake::FakePlatform fake;
  MaintenanceTick tick(fake.platform);
  fake.libraries.SetMemoryStatus(boundary - 1, 0);
  fake.system.SetMilliseconds(kTenMinutes);
  tick.SetServiceStarted();
  tick.MainTimerTimer();
  EXPECT_EQ(fake.process.LaunchedParameters(), Chunks{u"614"});
}

TEST_F(MaintenanceTickTest, MemoryIsLowAtTheLevelAndNotOneByteAbove) {
  const std::uint64_t level = 2576980378;  // 30 % of 8 GiB, rounded
  SetMemory(8192 * kMegabyte, level + 1);
  EXPECT_TRUE(StartedTick().empty());
  EXPECT_EQ(fake_.libraries.SystemInformationCalls(0), 0u);  // no sampling on a high tick
  EXPECT_EQ(tick_.LastExecuteTime(), 0);
  SetMemory(8192 * kMegabyte, level);
  EXPECT_EQ(Tick().size(), 5u);

  // 0 % counts as low only when nothing is available; a negative level never does.
  Set(u"ExecutePeriod", 0);
  Set(u"MemoryMaintain", 0);
  SetMemory(8192 * kMegabyte, 1);
  EXPECT_TRUE(Tick().empty());
  Set(u"MemoryMaintain", static_cast<std::uint32_t>(-1));
  SetMemory(8192 * kMegabyte, 0);
  EXPECT_TRUE(Tick().empty());
}

TEST_F(MaintenanceTickTest, FailingMemoryProbesStillLaunchOnceWithZero) {
  SetMemory(0, 0);
  EXPECT_EQ(StartedTick(), Chunks{u"0"});
  SetMemory(0, 5);  // only the total failing: never low
  fake_.system.SetMilliseconds(kTenMinutes * 2);
  EXPECT_TRUE(Tick().empty());
}

TEST_F(MaintenanceTickTest, TheProcessorGatePassesAtTheTriggerAndClosesAboveIt) {
  // One processor, 1000 units of time per interval: an idle difference of i gives a load of
  // 100.5 - i / 10, so 155 gives 85 and 145 gives 86.
  Set(u"ExecutePeriod", 0);
  fake_.libraries.SetProcessorCounters(1000, 1000, 1);
  EXPECT_EQ(StartedTick().size(), 5u);  // first sample: 0
  fake_.libraries.SetProcessorCounters(1000 + 155, 2000, 1);
  EXPECT_EQ(Tick().size(), 5u);
  fake_.libraries.SetProcessorCounters(1000 + 155 + 145, 3000, 1);
  EXPECT_TRUE(Tick().empty());

  Set(u"ProcessorTrigger", static_cast<std::uint32_t>(-1));
  fake_.libraries.SetProcessorCounters(1000 + 155 + 145 + 1000, 4000, 1);  // idle all along
  EXPECT_TRUE(Tick().empty());
  Set(u"ProcessorLimit", 0);
  const auto sampled = fake_.libraries.SystemInformationCalls(0);
  EXPECT_EQ(Tick().size(), 5u);
  EXPECT_EQ(fake_.libraries.SystemInformationCalls(0), sampled);
}

TEST_F(MaintenanceTickTest, BatteryFullScreenAndEnableGates) {
  struct Case {
    std::uint32_t batteryCheck;
    std::optional<std::uint8_t> acLine;
    std::uint32_t fullScreen, fullScreenCheck, loadCalvera, defragMemory;
    bool launches;
  } cases[] = {
      {1, 0, 0, 1, 1, 1, false},  {1, 1, 0, 1, 1, 1, true},
      {1, 255, 0, 1, 1, 1, true}, {1, std::nullopt, 0, 1, 1, 1, true},
      {0, 0, 0, 1, 1, 1, true},   {0, 1, 1, 1, 1, 1, false},
      {0, 1, 1, 0, 1, 1, true},   {0, 1, 0, 1, 1, 1, true},
      {0, 1, 0, 1, 0, 1, true},   {0, 1, 0, 1, 1, 0, true},
      {0, 1, 0, 1, 0, 0, false},
  };
  for (const auto& c : cases) {
    fake::FakePlatform fake;
    MaintenanceTick tick(fake.platform);
    fake.libraries.SetMemoryStatus(8192 * kMegabyte, 0);
    fake.system.SetMilliseconds(kTenMinutes);
    fake.system.SetAcLineStatus(c.acLine);
    const std::pair<const char16_t*, std::uint32_t> values[] = {
        {u"BatteryCheck", c.batteryCheck},
        {u"FullScreen", c.fullScreen},
        {u"FullScreenCheck", c.fullScreenCheck},
        {u"LoadCalvera", c.loadCalvera},
        {u"DefragMemory", c.defragMemory}};
    for (const auto& [name, value] : values) {
      config::StoreSetting(fake.registry, name, value);
    }
    tick.SetServiceStarted();
    tick.MainTimerTimer();
    EXPECT_EQ(!fake.process.LaunchedParameters().empty(), c.launches)
        << "battery " << c.batteryCheck << " full screen " << c.fullScreen << c.fullScreenCheck
        << " enable " << c.loadCalvera << c.defragMemory;
    // The power status is asked for only when the battery gate is on, and every gate is
    // evaluated even after one has closed.
    EXPECT_EQ(fake.system.PowerStatusQueries(), c.batteryCheck ? 1u : 0u);
    EXPECT_EQ(fake.libraries.SystemInformationCalls(0), 1u);
    EXPECT_EQ(tick.LastExecuteTime(), c.launches ? 600 : 0);
  }
}

TEST_F(MaintenanceTickTest, UptimeAndPeriodBoundaries) {
  const struct {
    std::uint64_t milliseconds;
    std::uint32_t executePeriod;
    bool launches;
  } cases[] = {
      {270500, 0, false},
      {270501, 0, true},  // 270.5 s is 4.5 min, rounded to even: 4
      {299499, 5, false},
      {299500, 5, true},  // now seconds 299 and 300
  };
  for (const auto& c : cases) {
    fake::FakePlatform fake;
    MaintenanceTick tick(fake.platform);
    fake.libraries.SetMemoryStatus(8192 * kMegabyte, 0);
    fake.system.SetMilliseconds(c.milliseconds);
    config::StoreSetting(fake.registry, u"ExecutePeriod", c.executePeriod);
    tick.SetServiceStarted();
    tick.MainTimerTimer();
    EXPECT_EQ(!fake.process.LaunchedParameters().empty(), c.launches) << c.milliseconds;
  }
}

TEST_F(MaintenanceTickTest, ThePeriodHoldsBackTheNextRunUntilItHasPassed) {
  EXPECT_EQ(StartedTick().size(), 5u);
  EXPECT_EQ(tick_.LastExecuteTime(), 600);
  fake_.system.SetMilliseconds(kTenMinutes + 299499);
  EXPECT_TRUE(Tick().empty());
  EXPECT_EQ(tick_.LastExecuteTime(), 600);
  fake_.system.SetMilliseconds(kTenMinutes + 299500);
  EXPECT_EQ(Tick().size(), 5u);
  EXPECT_EQ(tick_.LastExecuteTime(), 900);

  Set(u"ExecutePeriod", 0);  // every low tick runs
  EXPECT_EQ(Tick().size(), 5u);
  EXPECT_EQ(Tick().size(), 5u);
}

TEST_F(MaintenanceTickTest, TheMillisecondCountDoesNotWrapAfter49Days) {
  const std::uint64_t wrap = std::uint64_t{1} << 32;
  fake_.system.SetMilliseconds(wrap - 1000);
  EXPECT_EQ(StartedTick().size(), 5u);
  fake_.system.SetMilliseconds(wrap + 5);  // the uptime gate stays open across the wrap
  EXPECT_TRUE(Tick().empty());             // but the period has not passed
  fake_.system.SetMilliseconds(wrap - 1000 + 300000);
  EXPECT_EQ(Tick().size(), 5u);
  EXPECT_EQ(tick_.LastExecuteTime(), 4295266);
}

TEST_F(MaintenanceTickTest, SettingsFarOutOfRangeAreBounded) {
  // A huge amount is bounded to the machine's own memory.
  Set(u"MemoryFree", 0x7FFFFFFF);
  EXPECT_EQ(StartedTick(), Chunks(8, u"1024"));
  // A huge period never passes; a negative one always does.
  Set(u"ExecutePeriod", 0x7FFFFFFF);
  fake_.system.SetMilliseconds(kTenMinutes * 100);
  EXPECT_TRUE(Tick().empty());
  Set(u"ExecutePeriod", 0x80000000);
  EXPECT_EQ(Tick().size(), 8u);
  // A level whose bytes do not fit 64 bits ends the tick before anything is decided.
  SetMemory(std::uint64_t{1} << 62, 0);
  Set(u"MemoryMaintain", 0x7FFFFFFF);
  const auto before = tick_.LastExecuteTime();
  fake_.system.SetMilliseconds(kTenMinutes * 200);
  EXPECT_TRUE(Tick().empty());
  EXPECT_EQ(tick_.LastExecuteTime(), before);
}

TEST_F(MaintenanceTickTest, TheUpdateStampIsWrittenOnEveryTickEvenBeforeTheStart) {
  Set(u"Updated", 1);
  fake_.system.SetLocalTime({1970, 1, 5, 2, 0, 0, 1, 0});
  EXPECT_TRUE(Tick().empty());  // not started: nothing else happens
  EXPECT_EQ(config::StoredDword(fake_.registry, u"Updated"), 0u);
  EXPECT_EQ(Stored(u"UpdatedDate"), u"86401");
  EXPECT_EQ(fake_.registry.SetValueNames(),
            (std::vector<std::u16string>{u"Updated", u"UpdatedDate"}));
  EXPECT_EQ(fake_.libraries.MemoryStatusCalls(), 0u);

  fake_.system.SetLocalTime({2040, 1, 0, 1, 0, 0, 0, 0});
  EXPECT_TRUE(Tick().empty());  // Updated is false now: nothing written
  EXPECT_EQ(fake_.registry.SetValueCount(), 2u);
  Set(u"Updated", 1);
  Tick();
  EXPECT_EQ(Stored(u"UpdatedDate"), u"2208988800");  // past 2038, not wrapped
  EXPECT_EQ(fake_.registry.OpenHandleCount(), 0u);
  EXPECT_EQ(fake_.libraries.LoadedLibraryCount(), 0u);
}

// A DLL loaded into the main thread (a shell extension of a launch) may leave another rounding
// mode behind: every decision stays as it is in the default mode, and the tick gives the mode
// back as it found it. The cases sit where rounding or a product's last bit decides.
TEST(MaintenanceTickRoundingTest, TheDecisionsAreTheSameInEveryRoundingMode) {
  const Chunks full = {u"1024", u"1024", u"1024", u"1024", u"819"};
  struct Case {
    const char* name;
    std::uint64_t total;
    std::uint64_t available;
    std::uint64_t milliseconds;
    std::uint32_t executePeriod;
    Chunks chunks;
  } cases[] = {
      {"8192 MB: 4915.2 MB to free", 8192 * kMegabyte, 0, kTenMinutes, 5, full},
      {"1024 MB: 409.6 MB to free", 1024 * kMegabyte, 0, kTenMinutes, 5, {u"410"}},
      {"1535.5 MB: the larger defaults",
       1535 * kMegabyte + kMegabyte / 2,
       0,
       kTenMinutes,
       5,
       {u"921"}},
      {"a byte less: the smaller defaults",
       1535 * kMegabyte + kMegabyte / 2 - 1,
       0,
       kTenMinutes,
       5,
       {u"614"}},
      // 30 % of these totals is exactly half a byte past an integer, rounded to the even one.
      {"level 2576980378.5 rounds down", 8192 * kMegabyte + 3, 2576980379, kTenMinutes, 5, {}},
      {"level 2576980381.5 rounds up", 8192 * kMegabyte + 13, 2576980382, kTenMinutes, 5, full},
      {"uptime 270.5 s", 8192 * kMegabyte, 0, 270500, 0, {}},
      {"uptime 270.501 s", 8192 * kMegabyte, 0, 270501, 0, full},
      {"299.499 s of a 5-minute period", 8192 * kMegabyte, 0, 299499, 5, {}},
      {"299.5 s of a 5-minute period", 8192 * kMegabyte, 0, 299500, 5, full},
  };
  for (const int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    for (const auto& c : cases) {
      fake::FakePlatform fake;
      MaintenanceTick tick(fake.platform);
      fake.libraries.SetMemoryStatus(c.total, c.available);
      fake.system.SetMilliseconds(c.milliseconds);
      config::StoreSetting(fake.registry, u"ExecutePeriod", c.executePeriod);
      tick.SetServiceStarted();
      std::fesetround(mode);
      tick.MainTimerTimer();
      const int after = std::fegetround();
      std::fesetround(FE_TONEAREST);
      EXPECT_EQ(fake.process.LaunchedParameters(), c.chunks) << c.name << ", mode " << mode;
      EXPECT_EQ(after, mode);
    }

    // A load of 85.5 % rounds to 86 and closes the gate at 85; 84.5 % rounds to 84.
    fake::FakePlatform fake;
    MaintenanceTick tick(fake.platform);
    fake.libraries.SetMemoryStatus(8192 * kMegabyte, 0);
    fake.system.SetMilliseconds(kTenMinutes);
    config::StoreSetting(fake.registry, u"ExecutePeriod", 0);
    tick.SetServiceStarted();
    std::vector<std::size_t> launches;
    // One processor: idle 150 of 1000 units, then 160 of 1000; the first sample yields 0.
    for (const std::int64_t idle : {1000, 1150, 1310}) {
      fake.libraries.SetProcessorCounters(idle,
                                          1000 * static_cast<std::int64_t>(launches.size() + 1), 1);
      std::fesetround(mode);
      tick.MainTimerTimer();
      std::fesetround(FE_TONEAREST);
      launches.push_back(fake.process.LaunchedParameters().size());
    }
    EXPECT_EQ(launches, (std::vector<std::size_t>{5, 5, 10})) << "mode " << mode;

    // Half a second past a whole one: the day count's fraction puts the first a little above
    // the half, the second a little below, in the default mode.
    const std::pair<std::uint16_t, const char16_t*> stamps[] = {{0, u"86401"}, {2, u"86402"}};
    for (const auto& [second, stamp] : stamps) {
      config::StoreSetting(fake.registry, u"Updated", 1);
      fake.system.SetLocalTime({1970, 1, 5, 2, 0, 0, second, 500});
      std::fesetround(mode);
      tick.MainTimerTimer();
      std::fesetround(FE_TONEAREST);
      EXPECT_EQ(config::StoredString(fake.registry, u"UpdatedDate"), stamp) << "mode " << mode;
    }
  }
}

TEST(DateTimeTest, LocalTimeBecomesSecondsSince1970RoundedToTheSecond) {
  const struct {
    platform::LocalTime time;
    std::int64_t seconds;
  } cases[] = {
      {{1970, 1, 4, 1, 0, 0, 0, 0}, 0},
      {{1970, 1, 5, 2, 0, 0, 1, 0}, 86401},
      {{2038, 1, 2, 19, 3, 14, 7, 0}, 2147483647},
      {{2038, 1, 2, 19, 3, 14, 8, 0}, 2147483648},
      {{2024, 2, 4, 29, 23, 59, 59, 999}, 1709251200},  // leap day; milliseconds round up
      {{1969, 12, 3, 31, 23, 59, 59, 0}, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DateTimeToUnixSeconds(LocalTimeToDateTime(c.time)), c.seconds) << c.seconds;
  }
}

}  // namespace
}  // namespace calvera::maintenance
