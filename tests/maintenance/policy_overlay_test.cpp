#include "maintenance/maintenance_settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/policy_key.h"
#include "config/stored_settings.h"
#include "fake/fake_platform.h"
#include "maintenance/maintenance_tick.h"
#include "platform/text.h"

namespace calvera::maintenance {
namespace {

using fake::FakeRegistry;
using platform::RegistryRoot;

constexpr std::int64_t kLargeMachine = 8192;  // megabytes

// A setting the policy key may hold, and where the reading puts it.
struct Overridable {
  const char16_t* name;
  std::int32_t (*field)(const MaintenanceSettings&);
};

constexpr Overridable kOverridable[] = {
    {u"MemoryMaintain", [](const MaintenanceSettings& s) { return s.memoryMaintain; }},
    {u"MemoryFree", [](const MaintenanceSettings& s) { return s.memoryFree; }},
    {u"ProcessorLimit",
     [](const MaintenanceSettings& s) -> std::int32_t { return s.processorLimit; }},
    {u"ProcessorTrigger", [](const MaintenanceSettings& s) { return s.processorTrigger; }},
    {u"BatteryCheck", [](const MaintenanceSettings& s) -> std::int32_t { return s.batteryCheck; }},
    {u"FullScreenCheck",
     [](const MaintenanceSettings& s) -> std::int32_t { return s.fullScreenCheck; }},
    {u"ExecutePeriod", [](const MaintenanceSettings& s) { return s.executePeriod; }},
    {u"LoadCalvera", [](const MaintenanceSettings& s) -> std::int32_t { return s.loadCalvera; }},
    {u"DefragMemory", [](const MaintenanceSettings& s) -> std::int32_t { return s.defragMemory; }},
};

std::vector<std::uint8_t> Dword(std::uint32_t value, std::size_t size = 4) {
  std::vector<std::uint8_t> data(size, 0);
  for (std::size_t i = 0; i < 4 && i < size; ++i)
    data[i] = static_cast<std::uint8_t>(value >> (8 * i));
  return data;
}

void StoreRawPolicy(FakeRegistry& registry,
                    const std::u16string& name,
                    std::uint32_t type,
                    std::vector<std::uint8_t> data) {
  registry.SetRaw(RegistryRoot::kLocalMachine, config::kStoredPolicyPath, name, type,
                  std::move(data));
}

// Every overridable value, one at a time: a policy value of the settings store's type wins over
// the settings key's; any other type, an absent value and an absent key leave the settings key
// in force, and with neither the default holds.
TEST(PolicyOverlayTest, APolicyValueOfTheRightTypeWinsOverTheSettingsKey) {
  struct PolicyValue {
    std::uint32_t type;
    std::vector<std::uint8_t> data;
  };
  const struct Case {
    const char* label;
    std::optional<std::uint32_t> stored;  // in the settings key
    bool policyKey;
    std::optional<PolicyValue> policy;
    std::optional<std::int32_t> expected;  // nullopt: the default
  } cases[] = {
      {"policy 1 over 0", 0, true, PolicyValue{platform::kRegDword, Dword(1)}, 1},
      {"policy 0 over 1", 1, true, PolicyValue{platform::kRegDword, Dword(0)}, 0},
      {"policy without a settings value", std::nullopt, true,
       PolicyValue{platform::kRegDword, Dword(1)}, 1},
      {"a short REG_DWORD reads as the settings key reads one", 0, true,
       PolicyValue{platform::kRegDword, Dword(1, 2)}, 1},
      {"REG_DWORD of 8 bytes", 0, true, PolicyValue{platform::kRegDword, Dword(1, 8)}, 0},
      {"REG_QWORD", 0, true, PolicyValue{platform::kRegQword, Dword(1, 8)}, 0},
      {"REG_BINARY", 0, true, PolicyValue{platform::kRegBinary, Dword(1)}, 0},
      {"REG_SZ", 0, true, PolicyValue{platform::kRegSz, {u'1', 0, 0, 0}}, 0},
      {"the value absent from the policy key", 0, true, std::nullopt, 0},
      {"no policy key", 1, false, std::nullopt, 1},
      {"nothing anywhere", std::nullopt, false, std::nullopt, std::nullopt},
  };
  const MaintenanceSettings defaults = [] {
    FakeRegistry empty;
    return ReadMaintenanceSettings(empty, kLargeMachine);
  }();
  for (const auto& setting : kOverridable) {
    for (const auto& c : cases) {
      FakeRegistry registry;
      if (c.stored)
        config::StoreSetting(registry, setting.name, *c.stored);
      if (c.policyKey)
        config::StorePolicy(registry, u"SomeOtherValue", 5);
      if (c.policy)
        StoreRawPolicy(registry, setting.name, c.policy->type, c.policy->data);
      const auto settings = ReadMaintenanceSettings(registry, kLargeMachine);
      EXPECT_EQ(setting.field(settings), c.expected.value_or(setting.field(defaults)))
          << ToUtf8(setting.name) << ": " << c.label;
      EXPECT_EQ(registry.OpenHandleCount(), 0u);
    }
  }
}

TEST(PolicyOverlayTest, FullScreenIsNeverTakenFromThePolicy) {
  for (const std::uint32_t stored : {0u, 1u}) {
    FakeRegistry registry;
    config::StoreSetting(registry, u"FullScreen", stored);
    config::StorePolicy(registry, u"FullScreen", 1 - stored);
    EXPECT_EQ(ReadMaintenanceSettings(registry, kLargeMachine).fullScreen, stored == 1);
  }
}

// Without a policy key the reading is today's, after one failed open; with one, the key is
// opened once, every overridable value is asked of it through that handle, and it is closed.
TEST(PolicyOverlayTest, ThePolicyKeyIsOpenedOnceAndAbsentCostsOneFailedOpen) {
  const std::u16string policyKey = std::u16string(config::kPolicyKeyPath + 1);
  const std::u16string settingsKey = std::u16string(config::kSettingsKeyPath + 1);
  const struct {
    const char* label;
    std::vector<const char16_t*> policyValues;
    std::size_t settingsOpens;
  } cases[] = {
      {"no policy key", {}, 10},
      {"a policy key with one value", {u"MemoryMaintain"}, 9},
      {"every overridable value in the policy key",
       {u"MemoryMaintain", u"MemoryFree", u"ProcessorLimit", u"ProcessorTrigger", u"BatteryCheck",
        u"FullScreenCheck", u"ExecutePeriod", u"LoadCalvera", u"DefragMemory"},
       1},  // FullScreen
  };
  for (const auto& c : cases) {
    FakeRegistry registry;
    config::StoreSetting(registry, u"Language", u"english");  // the settings key exists
    for (const auto* name : c.policyValues)
      config::StorePolicy(registry, name, 1);
    static_cast<void>(ReadMaintenanceSettings(registry, kLargeMachine));
    const auto openings = registry.Openings();
    ASSERT_EQ(openings.size(), 1 + c.settingsOpens) << c.label;
    EXPECT_EQ(openings[0].call, FakeRegistry::Call::kOpenKey);
    EXPECT_EQ(openings[0].subKey, policyKey);
    EXPECT_EQ(openings[0].access, platform::kKeyRead | platform::kKeyWow64_64Key);
    for (std::size_t i = 1; i < openings.size(); ++i) {
      EXPECT_EQ(openings[i].call, FakeRegistry::Call::kOpenKey) << c.label;
      EXPECT_EQ(openings[i].subKey, settingsKey) << c.label;
    }
    const bool present = !c.policyValues.empty();
    // The policy key is asked for the nine values it may hold; each settings open, for one.
    EXPECT_EQ(registry.CallCount(FakeRegistry::Call::kQueryValue),
              (present ? 9u : 0u) + c.settingsOpens)
        << c.label;
    EXPECT_EQ(registry.CallCount(FakeRegistry::Call::kCloseKey),
              (present ? 1u : 0u) + c.settingsOpens)
        << c.label;
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
  }
}

TEST(PolicyOverlayTest, AnUnopenablePolicyKeyLeavesTheSettingsKeyInForce) {
  FakeRegistry registry;
  config::StoreSetting(registry, u"ExecutePeriod", 42);
  config::StorePolicy(registry, u"ExecutePeriod", 7);
  registry.DenyAccess(RegistryRoot::kLocalMachine, config::kStoredPolicyPath);
  EXPECT_EQ(ReadMaintenanceSettings(registry, kLargeMachine).executePeriod, 42);
}

class PolicyTickTest : public ::testing::Test {
 protected:
  PolicyTickTest() {
    fake_.libraries.SetMemoryStatus(std::uint64_t{8192} << 20, 0);  // memory low
    fake_.system.SetMilliseconds(600000);
    fake_.system.SetAcLineStatus(1);
    tick_.SetServiceStarted();
  }
  std::size_t Launches() {
    const auto before = fake_.process.LaunchedParameters().size();
    tick_.MainTimerTimer();
    return fake_.process.LaunchedParameters().size() - before;
  }

  fake::FakePlatform fake_;
  MaintenanceTick tick_{fake_.platform};
};

TEST_F(PolicyTickTest, APolicyTurnsFreeingOffWhereTheSettingsKeyHasItOn) {
  config::StoreSetting(fake_.registry, u"LoadCalvera", 1);
  config::StorePolicy(fake_.registry, u"LoadCalvera", 0);
  config::StorePolicy(fake_.registry, u"DefragMemory", 0);
  EXPECT_EQ(Launches(), 0u);
  fake_.registry.DeleteValue(RegistryRoot::kLocalMachine, config::kStoredPolicyPath,
                             u"DefragMemory");
  EXPECT_EQ(Launches(), 5u);  // the default DefragMemory 1 opens the gate again
}

// The update stamp is the system's own bookkeeping in the settings key: a policy's Updated
// neither asks for it nor stops it, and nothing is ever written to the policy key.
TEST_F(PolicyTickTest, TheUpdateStampIgnoresThePolicyKeyAndNothingWritesIt) {
  config::StorePolicy(fake_.registry, u"Updated", 1);
  tick_.MainTimerTimer();
  EXPECT_EQ(fake_.registry.SetValueCount(), 0u);
  EXPECT_EQ(config::StoredString(fake_.registry, u"UpdatedDate"), std::nullopt);

  config::StoreSetting(fake_.registry, u"Updated", 1);
  config::StorePolicy(fake_.registry, u"Updated", 0);
  tick_.MainTimerTimer();
  EXPECT_EQ(config::StoredDword(fake_.registry, u"Updated"), 0u);
  EXPECT_TRUE(config::StoredString(fake_.registry, u"UpdatedDate"));

  const std::u16string policyKey = std::u16string(config::kPolicyKeyPath + 1);
  for (const auto& opening : fake_.registry.Openings()) {
    if (opening.subKey == policyKey) {
      EXPECT_EQ(opening.access, platform::kKeyRead | platform::kKeyWow64_64Key);
    }
  }
  EXPECT_EQ(
      fake_.registry.GetDword(RegistryRoot::kLocalMachine, config::kStoredPolicyPath, u"Updated"),
      0u);
}

}  // namespace
}  // namespace calvera::maintenance
