// Each platform call of the maintenance tick fails in turn: the probes' library loads and
// entry-point lookups, GlobalMemoryStatusEx, NtQuerySystemInformation per information class,
// GetVersionExW in both forms, GetSystemPowerStatus, ShellExecuteW, GetModuleFileNameW and the
// registry functions. The tick goes on with the fallback its callee promises (0 bytes, a load
// of 0, the unknown version, an open battery gate, a setting's default, no write) and gives back
// every key and library it took.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/stored_settings.h"
#include "fault_injection/ledgers.h"
#include "maintenance/maintenance_tick.h"
#include "platform/text.h"
#include "probes/cpu.h"

namespace calvera::fault_injection {
namespace {

using fake::FakeRegistry;
using fake::FakeSystemInformation;
using Chunks = std::vector<std::u16string>;

constexpr std::uint64_t kMegabyte = 1048576;
constexpr std::uint64_t kFirstTick = 600000;  // ten minutes: past the uptime gate
// Five minutes later, so that even the default period has passed.
constexpr std::uint64_t kSecondTick = 900000;
constexpr std::int32_t kStatusFailure = static_cast<std::int32_t>(0xC0000017u);  // no memory
// 8192 MB, 60 % of it: four full chunks and 819.
const Chunks kFullRun = {u"1024", u"1024", u"1024", u"1024", u"819"};

struct Scenario {
  LedgeredPlatform fake;
  maintenance::MaintenanceTick tick{fake.platform};

  Scenario() {
    fake.libraries.SetMemoryStatus(8192 * kMegabyte, 0);  // memory low
    fake.libraries.SetProcessorCounters(1000, 1000, 1);
    fake.system.SetMilliseconds(kFirstTick);
    Set(u"ExecutePeriod", 0);  // every low-memory tick may run
    tick.SetServiceStarted();
  }
  void Set(const char16_t* name, std::uint32_t value) {
    config::StoreSetting(fake.registry, name, value);
  }
  std::optional<std::uint32_t> Dword(const char16_t* name) const {
    return config::StoredDword(fake.registry, name);
  }
  bool HasUpdatedDate() const {
    return config::StoredString(fake.registry, u"UpdatedDate").has_value();
  }
  Chunks Tick() {
    const auto before = fake.process.LaunchedParameters().size();
    tick.MainTimerTimer();
    const auto all = fake.process.LaunchedParameters();
    return Chunks(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
  }
  // The interval up to the second tick: the processors were idle all along, or never.
  void Idle() { fake.libraries.SetProcessorCounters(2000, 2000, 1); }
  void Busy() { fake.libraries.SetProcessorCounters(1000, 2000, 1); }
  // An update to stamp, and both enable flags off, so that the gate is closed.
  void UpdatePendingAndFreeingOff() {
    Set(u"Updated", 1);
    Set(u"LoadCalvera", 0);
    Set(u"DefragMemory", 0);
  }
};

struct Case {
  const char* name;
  std::function<void(Scenario&)> before;  // the state of the second tick
  std::function<void(Scenario&)> fault;   // nothing for the unharmed baselines
  Chunks launches;
  std::function<void(Scenario&)> check = [](Scenario&) {};
};

void NoFault(Scenario&) {}

std::vector<Case> Cases() {
  const auto idle = [](Scenario& s) { s.Idle(); };
  const auto busy = [](Scenario& s) { s.Busy(); };
  const auto updatePending = [](Scenario& s) {
    s.Idle();
    s.UpdatePendingAndFreeingOff();
  };
  const auto failRegistry = [](FakeRegistry::Call call, int times = -1) {
    return [call, times](Scenario& s) {
      s.fake.registry.FailCall(call, platform::kErrorNotEnoughMemory, times);
    };
  };
  const auto failClass = [](std::int32_t infoClass) {
    return [infoClass](Scenario& s) {
      s.fake.libraries.SetSystemInformationStatus(infoClass, kStatusFailure);
    };
  };
  const auto stamped = [](bool written) {
    return [written](Scenario& s) {
      EXPECT_EQ(s.Dword(u"Updated"), written ? 0u : 1u);
      EXPECT_EQ(s.HasUpdatedDate(), written);
    };
  };
  const auto performanceLength = [](std::uint32_t length) {
    return [length](Scenario& s) {
      EXPECT_EQ(
          s.fake.libraries.SystemInformationLengths(probes::kSystemPerformanceInformation).back(),
          length);
    };
  };
  return {
      // Baselines: what the faults below change.
      {"nothing fails, idle processors", idle, NoFault, kFullRun, performanceLength(1000)},
      {"nothing fails, busy processors", busy, NoFault, {}},
      {"nothing fails, update pending", updatePending, NoFault, {}, stamped(true)},

      // The memory probes read 0 bytes: 0 ≤ 0 is low memory, and a run frees 0 megabytes.
      {"LoadLibraryW Kernel32.dll",
       idle,
       [](Scenario& s) { s.fake.libraries.SetLibraryMissing(u"KERNEL32.DLL", true); },
       {u"0"}},
      {"GetProcAddress GlobalMemoryStatusEx",
       idle,
       [](Scenario& s) { s.fake.libraries.SetEntryPointMissing("GlobalMemoryStatusEx", true); },
       {u"0"}},
      {"GlobalMemoryStatusEx",
       idle,
       [](Scenario& s) { s.fake.libraries.SetMemoryStatusFails(true); },
       {u"0"}},

      // The sampler yields 0, which passes the processor gate of a busy machine.
      {"LoadLibraryW ntdll.dll", busy,
       [](Scenario& s) { s.fake.libraries.SetLibraryMissing(u"ntdll.dll", true); }, kFullRun},
      {"GetProcAddress NtQuerySystemInformation", busy,
       [](Scenario& s) { s.fake.libraries.SetEntryPointMissing("NtQuerySystemInformation", true); },
       kFullRun},
      {"NtQuerySystemInformation SystemBasicInformation", busy,
       failClass(probes::kSystemBasicInformation), kFullRun},
      {"NtQuerySystemInformation SystemTimeOfDayInformation", busy,
       failClass(probes::kSystemTimeOfDayInformation), kFullRun},
      {"NtQuerySystemInformation SystemPerformanceInformation", busy,
       failClass(probes::kSystemPerformanceInformation), kFullRun},

      // Windows 7 is unknown without the extended form, so the short record is asked for.
      {"GetVersionExW extended form", idle,
       [](Scenario& s) {
         s.fake.system.SetVersionFailure(FakeSystemInformation::VersionFailure::kExtended);
       },
       kFullRun, performanceLength(312)},
      {"GetVersionExW both forms", idle,
       [](Scenario& s) {
         s.fake.system.SetVersionFailure(FakeSystemInformation::VersionFailure::kBoth);
       },
       kFullRun, performanceLength(312)},

      // A power status that cannot be had leaves the battery gate open.
      {"GetSystemPowerStatus",
       [](Scenario& s) {
         s.Idle();
         s.Set(u"BatteryCheck", 1);
       },
       [](Scenario& s) { s.fake.system.SetAcLineStatus(std::nullopt); }, kFullRun},

      // Every chunk is still asked for, and the run counts as made.
      {"ShellExecuteW", idle,
       [](Scenario& s) { s.fake.process.SetShellExecuteResult(2); },  // file not found
       kFullRun, [](Scenario& s) { EXPECT_EQ(s.tick.LastExecuteTime(), 900); }},
      // Without the executable's path there is no companion beside it to start.
      {"GetModuleFileNameW",
       idle,
       [](Scenario& s) { s.fake.process.SetModuleFileName(u""); },
       {},
       [](Scenario& s) { EXPECT_EQ(s.tick.LastExecuteTime(), 900); }},

      // Reads that fail give the defaults: no update seen, freeing enabled.
      {"RegOpenKeyExW", updatePending, failRegistry(FakeRegistry::Call::kOpenKey), kFullRun,
       stamped(false)},
      {"RegQueryValueExW", updatePending, failRegistry(FakeRegistry::Call::kQueryValue), kFullRun,
       stamped(false)},
      // Writes that fail store nothing; the next tick tries again.
      {"RegCreateKeyExW",
       updatePending,
       failRegistry(FakeRegistry::Call::kCreateKey),
       {},
       stamped(false)},
      {"RegSetValueExW",
       updatePending,
       failRegistry(FakeRegistry::Call::kSetValue),
       {},
       stamped(false)},
      {"RegSetValueExW of Updated only",
       updatePending,
       failRegistry(FakeRegistry::Call::kSetValue, 1),
       {},
       [](Scenario& s) {
         EXPECT_EQ(s.Dword(u"Updated"), 1u);
         EXPECT_TRUE(s.HasUpdatedDate());
       }},
      {"RegCloseKey",
       updatePending,
       failRegistry(FakeRegistry::Call::kCloseKey),
       {},
       stamped(true)},
  };
}

TEST(MaintenanceFaultsTest, EachPlatformCallOfTheTickFailsInTurn) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    Scenario s;
    // The first tick stores the sampler's first sample, so the second one measures a load.
    ASSERT_EQ(s.Tick(), kFullRun);
    s.fake.system.SetMilliseconds(kSecondTick);
    c.before(s);
    c.fault(s);
    EXPECT_EQ(s.Tick(), c.launches);
    c.check(s);
    EXPECT_TRUE(s.fake.eventLog.Entries().empty());
    EXPECT_TRUE(s.fake.process.MessageBoxes().empty());
  }
}

// Every single registry call of a tick, failing alone: whichever it is, the tick ends whole,
// silent, and with every key closed; a read falls back, a write is not retried.
TEST(MaintenanceFaultsTest, AnySingleRegistryCallOfTheTickFailsAlone) {
  const FakeRegistry::Call calls[] = {FakeRegistry::Call::kOpenKey, FakeRegistry::Call::kQueryValue,
                                      FakeRegistry::Call::kCreateKey, FakeRegistry::Call::kSetValue,
                                      FakeRegistry::Call::kCloseKey};
  const auto prepare = [](Scenario& s) {
    ASSERT_EQ(s.Tick(), kFullRun);
    s.fake.system.SetMilliseconds(kSecondTick);
    s.Idle();
    s.UpdatePendingAndFreeingOff();
  };
  for (const auto call : calls) {
    std::size_t count = 0;
    {
      Scenario s;
      prepare(s);
      const std::size_t before = s.fake.registry.CallCount(call);
      EXPECT_TRUE(s.Tick().empty());
      count = s.fake.registry.CallCount(call) - before;
    }
    EXPECT_GT(count, 0u);
    for (std::size_t index = 0; index < count; ++index) {
      SCOPED_TRACE(testing::Message() << "call " << static_cast<int>(call) << " #" << index + 1);
      Scenario s;
      prepare(s);
      s.fake.registry.FailCall(call, platform::kErrorNotEnoughMemory, 1, static_cast<int>(index));
      const Chunks launches = s.Tick();
      EXPECT_TRUE(launches.empty() || launches == kFullRun);
      EXPECT_TRUE(s.fake.eventLog.Entries().empty());
      s.fake.registry.FailCall(call, 0);
      s.fake.system.SetMilliseconds(kSecondTick + 300000);
      static_cast<void>(s.Tick());
      EXPECT_EQ(s.Dword(u"Updated"), 0u) << "cleared by this tick or the next";
      // Only a stamp whose own write failed is lost: its update was cleared already.
      const bool stampWrite =
          (call == FakeRegistry::Call::kCreateKey || call == FakeRegistry::Call::kSetValue) &&
          index == 1;
      EXPECT_EQ(s.HasUpdatedDate(), !stampWrite);
    }
  }
}

// Each library load of a tick failing alone. The three memory readings fall back one by one:
// the first total only chooses the defaults, the second sets the level and the amount, the
// third is the available memory. Any of the sampler's three loads failing gives a load of 0.
TEST(MaintenanceFaultsTest, EachLibraryLoadOfTheTickFailsAlone) {
  const struct {
    const char16_t* library;
    std::size_t index;
    Chunks launches;
    std::size_t loads;  // a failing query ends the sample
  } cases[] = {
      // 1 GiB of 8 available: low at the larger level of 30 % and at the smaller of 20 %.
      {u"Kernel32.dll", 0, {u"1024", u"1024", u"1024", u"205"}, 3},  // 40 % of 8192 MB
      {u"Kernel32.dll", 1, {}, 3},                                   // a level of 0 bytes
      {u"Kernel32.dll", 2, kFullRun, 3},                             // 0 bytes available
      // The processors were busy all along, which only a failing sample lets pass.
      {u"ntdll.dll", 0, kFullRun, 1},
      {u"ntdll.dll", 1, kFullRun, 2},
      {u"ntdll.dll", 2, kFullRun, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << ToUtf8(c.library) << " #" << c.index + 1);
    Scenario s;
    ASSERT_EQ(s.Tick(), kFullRun);
    s.fake.system.SetMilliseconds(kSecondTick);
    s.fake.libraries.SetMemoryStatus(8192 * kMegabyte, 1024 * kMegabyte);
    if (c.library == std::u16string(u"ntdll.dll"))
      s.Busy();
    else
      s.Idle();
    const std::size_t loads = s.fake.libraries.LoadCalls(c.library);
    s.fake.libraries.FailLoads(c.library, 1, static_cast<int>(c.index));
    EXPECT_EQ(s.Tick(), c.launches);
    EXPECT_EQ(s.fake.libraries.LoadCalls(c.library) - loads, c.loads);
  }
}

}  // namespace
}  // namespace calvera::fault_injection
