#include "platform/scoped_handle.h"

#include <gtest/gtest.h>

#include <utility>

#include "fake/fake_registry.h"

namespace calvera::platform {
namespace {

constexpr auto kRoot = RegistryRoot::kLocalMachine;

// Each owner closes exactly the handle it holds when it is done with it, and nothing else.
TEST(ScopedHandleTest, ClosesWhatItHoldsOnceAndNothingItGaveUp) {
  fake::FakeRegistry registry;
  {
    ScopedRegistryKey key(registry);
    ASSERT_EQ(registry.CreateKey(kRoot, u"Software\\A", kKeyWrite, key.put()), kErrorSuccess);
    ASSERT_TRUE(key);
    // put() on a full owner closes the old key before the opener writes the new one.
    ASSERT_EQ(registry.CreateKey(kRoot, u"Software\\B", kKeyWrite, key.put()), kErrorSuccess);
    EXPECT_EQ(registry.OpenHandleCount(), 1u);

    ScopedRegistryKey moved = std::move(key);
    EXPECT_FALSE(key);
    EXPECT_TRUE(moved);
    EXPECT_EQ(registry.OpenHandleCount(), 1u);
  }
  EXPECT_EQ(registry.OpenHandleCount(), 0u);

  RegistryKeyHandle kept{};
  {
    ScopedRegistryKey key(registry);
    ASSERT_EQ(registry.OpenKey(kRoot, u"Software\\A", kKeyRead, key.put()), kErrorSuccess);
    kept = key.release();
    EXPECT_FALSE(key);
  }
  EXPECT_EQ(registry.OpenHandleCount(), 1u);
  registry.CloseKey(kept);

  // A failing opener leaves the owner empty: nothing to close.
  {
    ScopedRegistryKey key(registry);
    EXPECT_EQ(registry.OpenKey(kRoot, u"Software\\Missing", kKeyRead, key.put()),
              kErrorFileNotFound);
    EXPECT_FALSE(key);
  }
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
  EXPECT_EQ(registry.UnmatchedCloses(), 0u);
}

}  // namespace
}  // namespace calvera::platform
