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

// The operations of the cases, each expected to succeed.
inline LockResult Lock(NamedObjects& objects, platform::MutexHandle mutex) {
  LockResult result = LockResult::kBusy;
  EXPECT_EQ(objects.TryLock(mutex, &result), platform::kErrorSuccess);
  return result;
}
inline void Unlock(NamedObjects& objects, platform::MutexHandle mutex) {
  EXPECT_EQ(objects.Unlock(mutex), platform::kErrorSuccess);
}
inline std::uint64_t Read(NamedObjects& objects, platform::CounterHandle counter) {
  std::uint64_t value = 0;
  EXPECT_EQ(objects.ReadCounter(counter, &value), platform::kErrorSuccess);
  return value;
}
inline std::uint64_t Add(NamedObjects& objects,
                         platform::CounterHandle counter,
                         std::uint64_t amount) {
  std::uint64_t before = 0;
  EXPECT_EQ(objects.AddToCounter(counter, amount, &before), platform::kErrorSuccess);
  return before;
}
inline std::uint64_t Take(NamedObjects& objects, platform::CounterHandle counter) {
  std::uint64_t before = 0;
  EXPECT_EQ(objects.TakeCounter(counter, &before), platform::kErrorSuccess);
  return before;
}

TEST_P(NamedObjectsContract, AMutexHeldByOneOwnerIsBusyForAnotherAndAbandonedWhenItsOwnerEnds) {
  NamedObjects& first = objects().Owner(1);
  NamedObjects& second = objects().Owner(2);
  platform::ScopedMutex mutex(second);
  objects().As(2, [&] { ASSERT_EQ(second.OpenOrCreateMutex(Name(), mutex.put()), 0u); });
  ASSERT_TRUE(mutex);
  objects().As(1, [&] {
    platform::ScopedMutex own(first);
    ASSERT_EQ(first.OpenOrCreateMutex(Name(), own.put()), 0u);
    EXPECT_EQ(Lock(first, own.get()), LockResult::kAcquired);
    // Its handle closes; it still owns the mutex.
  });
  objects().As(2, [&] {
    EXPECT_EQ(Lock(second, mutex.get()), LockResult::kBusy);
    // ERROR_NOT_OWNER: only the owner releases it.
    EXPECT_EQ(second.Unlock(mutex.get()), 288u);
  });
  objects().End(1);
  objects().As(2, [&] {
    EXPECT_EQ(Lock(second, mutex.get()), LockResult::kAbandoned);
    // Once taken over, it is an ordinary mutex again, and the owner's own tries succeed.
    EXPECT_EQ(Lock(second, mutex.get()), LockResult::kAcquired);
    Unlock(second, mutex.get());
    Unlock(second, mutex.get());
    mutex.reset();
  });
}

TEST_P(NamedObjectsContract, AReleasedMutexIsAcquiredByTheNextOwner) {
  NamedObjects& first = objects().Owner(1);
  NamedObjects& second = objects().Owner(2);
  platform::ScopedMutex a(first);
  platform::ScopedMutex b(second);
  objects().As(1, [&] {
    ASSERT_EQ(first.OpenOrCreateMutex(Name(), a.put()), 0u);
    ASSERT_EQ(Lock(first, a.get()), LockResult::kAcquired);
  });
  objects().As(2, [&] {
    ASSERT_EQ(second.OpenOrCreateMutex(Name(), b.put()), 0u);
    EXPECT_EQ(Lock(second, b.get()), LockResult::kBusy);
  });
  objects().As(1, [&] {
    Unlock(first, a.get());
    a.reset();
  });
  objects().As(2, [&] {
    EXPECT_EQ(Lock(second, b.get()), LockResult::kAcquired);
    Unlock(second, b.get());
    b.reset();
  });
}

TEST_P(NamedObjectsContract, ACounterIsSharedByNameAndGoneWhenNoOneHoldsIt) {
  NamedObjects& first = objects().Owner(1);
  NamedObjects& second = objects().Owner(2);
  objects().As(1, [&] {
    platform::ScopedCounter one(first);
    ASSERT_EQ(first.OpenOrCreateCounter(Name(), one.put()), 0u);
    EXPECT_EQ(Read(first, one.get()), 0u);
    EXPECT_EQ(Add(first, one.get(), 5), 0u);
    platform::ScopedCounter two(second);
    ASSERT_EQ(second.OpenOrCreateCounter(Name(), two.put()), 0u);
    EXPECT_EQ(Read(second, two.get()), 5u);
    EXPECT_EQ(Add(second, two.get(), std::uint64_t{1} << 40), 5u);
    EXPECT_EQ(Take(first, one.get()), (std::uint64_t{1} << 40) + 5);
    EXPECT_EQ(Read(second, two.get()), 0u);
    EXPECT_EQ(Add(second, two.get(), 9), 0u);
  });
  objects().As(1, [&] {
    platform::ScopedCounter again(first);
    ASSERT_EQ(first.OpenOrCreateCounter(Name(), again.put()), 0u);
    EXPECT_EQ(Read(first, again.get()), 0u);
  });
}

TEST_P(NamedObjectsContract, ThePrivateNamespaceIsOpenedOrRefusedWithAReason) {
  NamedObjects& first = objects().Owner(1);
  objects().As(1, [&] {
    platform::ScopedNamespace ns(first);
    const platform::ErrorCode error = first.OpenSystemNamespace(u"CalveraContract", ns.put());
    EXPECT_EQ(error == platform::kErrorSuccess, static_cast<bool>(ns)) << error;
    if (!ns)
      return;
    // Its names are its own: the same name outside it is another object.
    platform::ScopedCounter inside(first);
    ASSERT_EQ(first.OpenOrCreateCounter(u"CalveraContract\\Count", inside.put()), 0u);
    EXPECT_EQ(Add(first, inside.get(), 3), 0u);
    platform::ScopedCounter outside(first);
    ASSERT_EQ(first.OpenOrCreateCounter(Name(), outside.put()), 0u);
    EXPECT_EQ(Read(first, outside.get()), 0u);
  });
}

}  // namespace calvera::contract
