#include "service/startup_correction.h"

#include <gtest/gtest.h>

#include <optional>

#include "config/stored_settings.h"
#include "fake/fake_registry.h"

namespace calvera::service {
namespace {

TEST(StartupCorrectionTest, ClearsDefragMemoryOnlyWhenLoadCalveraIsOffAndItIsOn) {
  const struct {
    std::optional<std::uint32_t> loadCalvera, defragMemory;
    std::optional<std::uint32_t> defragMemoryAfter;
  } cases[] = {
      {std::nullopt, std::nullopt, std::nullopt},  // nothing read beyond LoadCalvera
      {1, 1, 1},
      {1, std::nullopt, std::nullopt},
      {0, 1, 0},
      {0, 7, 0},
      {0, std::nullopt, 0},  // created when missing
      {0, 0, 0},
  };
  for (const auto& c : cases) {
    fake::FakeRegistry registry;
    if (c.loadCalvera)
      config::StoreSetting(registry, u"LoadCalvera", *c.loadCalvera);
    if (c.defragMemory)
      config::StoreSetting(registry, u"DefragMemory", *c.defragMemory);
    const auto before = registry.SetValueCount();
    ApplyStartupCorrection(registry);
    EXPECT_EQ(config::StoredDword(registry, u"DefragMemory"), c.defragMemoryAfter);
    const bool writes = c.loadCalvera == 0u && c.defragMemory != 0u;
    EXPECT_EQ(registry.SetValueCount() - before, writes ? 1u : 0u);
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
  }
}

// The correction mends the settings key's own pair: the policy key is neither read nor written.
TEST(StartupCorrectionTest, ThePolicyKeyPlaysNoPart) {
  const struct {
    std::optional<std::uint32_t> loadCalvera, defragMemory;  // in the settings key
    std::uint32_t policyLoadCalvera, policyDefragMemory;
    std::optional<std::uint32_t> defragMemoryAfter;
  } cases[] = {
      {std::nullopt, std::nullopt, 0, 1, std::nullopt},
      {1, 1, 0, 1, 1},
      {0, 1, 1, 1, 0},
      {0, 1, 1, 0, 0},
  };
  const std::u16string policyKey = std::u16string(config::kPolicyKeyPath + 1);
  for (const auto& c : cases) {
    fake::FakeRegistry registry;
    if (c.loadCalvera)
      config::StoreSetting(registry, u"LoadCalvera", *c.loadCalvera);
    if (c.defragMemory)
      config::StoreSetting(registry, u"DefragMemory", *c.defragMemory);
    config::StorePolicy(registry, u"LoadCalvera", c.policyLoadCalvera);
    config::StorePolicy(registry, u"DefragMemory", c.policyDefragMemory);
    ApplyStartupCorrection(registry);
    EXPECT_EQ(config::StoredDword(registry, u"DefragMemory"), c.defragMemoryAfter);
    for (const auto& opening : registry.Openings()) {
      EXPECT_NE(opening.subKey, policyKey);
    }
    const auto policy = [&](const char16_t* name) {
      return registry.GetDword(platform::RegistryRoot::kLocalMachine, config::kStoredPolicyPath,
                               name);
    };
    EXPECT_EQ(policy(u"LoadCalvera"), c.policyLoadCalvera);
    EXPECT_EQ(policy(u"DefragMemory"), c.policyDefragMemory);
  }
}

}  // namespace
}  // namespace calvera::service
