// What the companion relies on from named objects, as one suite that runs against the fake
// (host) and against the real objects under Wine, so that the two cannot drift apart. An owner
// is what holds a mutex: a thread on Windows, a fake process in the fake. Include from exactly
// one test file per executable and instantiate with a factory of the objects under test.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/named_objects.h"

namespace calvera::contract {

using platform::LockResult;
using platform::NamedObjects;

class ObjectsUnderTest {
 public:
  virtual ~ObjectsUnderTest() = default;
  // The objects as owner `n` (1 or 2) reaches them.
  virtual NamedObjects& Owner(int n) = 0;
  // Runs `work` as owner `n`, to its end.
  virtual void As(int n, const std::function<void()>& work) = 0;
  // Owner `n` ends without releasing what it holds.
  virtual void End(int n) = 0;
};

using ObjectsFactory = std::unique_ptr<ObjectsUnderTest> (*)();

class NamedObjectsContract : public ::testing::TestWithParam<ObjectsFactory> {
 protected:
  void SetUp() override {
    objects_ = GetParam()();
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    // Each test closes what it opens, so the objects of one are gone before the next.
    name_ = u"Global\\CalveraContract." + std::u16string(test.begin(), test.end());
  }

  ObjectsUnderTest& objects() { return *objects_; }
  const char16_t* Name() const { return name_.c_str(); }

 private:
  std::unique_ptr<ObjectsUnderTest> objects_;
  std::u16string name_;
};

TEST_P(NamedObjectsContract, AMutexHeldByOneOwnerIsBusyForAnotherAndAbandonedWhenItsOwnerEnds) {
  NamedObjects& second = objects().Owner(2);
  platform::ErrorCode error = 0;
  platform::ScopedMutex mutex;
  objects().As(2, [&] {
    mutex = platform::ScopedMutex(second, second.OpenOrCreateMutex(Name(), &error));
  });
  ASSERT_TRUE(mutex) << error;
  objects().As(1, [&] {
    NamedObjects& first = objects().Owner(1);
    const platform::ScopedMutex own(first, first.OpenOrCreateMutex(Name(), &error));
    ASSERT_TRUE(own) << error;
    EXPECT_EQ(first.TryLock(own.get()), LockResult::kAcquired);
    // Its handle closes; it still owns the mutex.
  });
  objects().As(2, [&] { EXPECT_EQ(second.TryLock(mutex.get()), LockResult::kBusy); });
  objects().End(1);
  objects().As(2, [&] {
    EXPECT_EQ(second.TryLock(mutex.get()), LockResult::kAbandoned);
    // Once taken over, it is an ordinary mutex again, and the owner's own tries succeed.
    EXPECT_EQ(second.TryLock(mutex.get()), LockResult::kAcquired);
    second.Unlock(mutex.get());
    second.Unlock(mutex.get());
    mutex.reset();
  });
}

TEST_P(NamedObjectsContract, AReleasedMutexIsAcquiredByTheNextOwner) {
  platform::ErrorCode error = 0;
  NamedObjects& first = objects().Owner(1);
  NamedObjects& second = objects().Owner(2);
  platform::ScopedMutex a;
  platform::ScopedMutex b;
  objects().As(1, [&] {
    a = platform::ScopedMutex(first, first.OpenOrCreateMutex(Name(), &error));
    ASSERT_EQ(first.TryLock(a.get()), LockResult::kAcquired);
  });
  objects().As(2, [&] {
    b = platform::ScopedMutex(second, second.OpenOrCreateMutex(Name(), &error));
    EXPECT_EQ(second.TryLock(b.get()), LockResult::kBusy);
  });
  objects().As(1, [&] {
    first.Unlock(a.get());
    a.reset();
  });
  objects().As(2, [&] {
    EXPECT_EQ(second.TryLock(b.get()), LockResult::kAcquired);
    second.Unlock(b.get());
    b.reset();
  });
}

TEST_P(NamedObjectsContract, ACounterIsSharedByNameAndGoneWhenNoOneHoldsIt) {
  platform::ErrorCode error = 0;
  NamedObjects& first = objects().Owner(1);
  NamedObjects& second = objects().Owner(2);
  objects().As(1, [&] {
    platform::ScopedCounter one(first, first.OpenOrCreateCounter(Name(), &error));
    ASSERT_TRUE(one) << error;
    EXPECT_EQ(first.ReadCounter(one.get()), 0u);
    EXPECT_EQ(first.AddToCounter(one.get(), 5), 0u);
    platform::ScopedCounter two(second, second.OpenOrCreateCounter(Name(), &error));
    ASSERT_TRUE(two) << error;
    EXPECT_EQ(second.ReadCounter(two.get()), 5u);
    EXPECT_EQ(second.AddToCounter(two.get(), std::uint64_t{1} << 40), 5u);
    EXPECT_EQ(first.TakeCounter(one.get()), (std::uint64_t{1} << 40) + 5);
    EXPECT_EQ(second.ReadCounter(two.get()), 0u);
    EXPECT_EQ(second.AddToCounter(two.get(), 9), 0u);
  });
  objects().As(1, [&] {
    const platform::ScopedCounter again(first, first.OpenOrCreateCounter(Name(), &error));
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(first.ReadCounter(again.get()), 0u);
  });
}

TEST_P(NamedObjectsContract, ThePrivateNamespaceIsOpenedOrRefusedWithAReason) {
  NamedObjects& first = objects().Owner(1);
  objects().As(1, [&] {
    platform::ErrorCode error = 0;
    const platform::ScopedNamespace ns(first, first.OpenSystemNamespace(u"CalveraContract", &error));
    if (!ns) {
      EXPECT_NE(error, 0u);
      return;
    }
    // Its names are its own: the same name outside it is another object.
    const platform::ScopedCounter inside(
        first, first.OpenOrCreateCounter(u"CalveraContract\\Count", &error));
    ASSERT_TRUE(inside) << error;
    EXPECT_EQ(first.AddToCounter(inside.get(), 3), 0u);
    const platform::ScopedCounter outside(first, first.OpenOrCreateCounter(Name(), &error));
    ASSERT_TRUE(outside) << error;
    EXPECT_EQ(first.ReadCounter(outside.get()), 0u);
  });
}

}  // namespace calvera::contract
