// The fault-injection cases run on a fake Windows that checks, when it goes, that the system
// gave back everything it took, whatever failed on the way.
#pragma once

#include <gtest/gtest.h>

#include "fake/fake_platform.h"

namespace calvera::fault_injection {

// Every key opened is closed, every library loaded is freed, every service handle and event
// source is closed, every window destroyed and every COM initialization undone; and nothing
// was closed that was not open.
inline void ExpectLedgersBalance(const fake::FakePlatform& fake) {
  EXPECT_EQ(fake.registry.OpenHandleCount(), 0u) << "registry keys left open";
  EXPECT_EQ(fake.registry.UnmatchedCloses(), 0u) << "registry keys closed that were not open";
  EXPECT_EQ(fake.libraries.LoadedLibraryCount(), 0u) << "libraries left loaded";
  EXPECT_EQ(fake.libraries.UnmatchedFrees(), 0u) << "libraries freed that were not loaded";
  EXPECT_EQ(fake.services.OpenHandleCount(), 0u) << "service handles left open";
  EXPECT_EQ(fake.services.UnmatchedCloses(), 0u) << "service handles closed that were not open";
  EXPECT_EQ(fake.eventLog.OpenSourceCount(), 0u) << "event sources left registered";
  EXPECT_EQ(fake.eventLog.UnmatchedDeregistrations(), 0u)
      << "event sources deregistered that were not registered";
  EXPECT_EQ(fake.windowing.WindowCount(), 0u) << "windows left";
  EXPECT_EQ(fake.process.OpenComInitializations(), 0) << "COM initializations not undone";
}

// Declared before the system's objects, so it goes after them and checks what they left.
struct LedgeredPlatform : fake::FakePlatform {
  LedgeredPlatform() = default;
  LedgeredPlatform(const LedgeredPlatform&) = delete;
  LedgeredPlatform& operator=(const LedgeredPlatform&) = delete;
  ~LedgeredPlatform() { ExpectLedgersBalance(*this); }
};

}  // namespace calvera::fault_injection
