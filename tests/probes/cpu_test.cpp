#include "probes/cpu.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake/fake_platform.h"

namespace calvera::probes {
namespace {

using fake::FakePlatform;
using fake::FakeSystemLibraries;

TEST(LargeIntegerToDoubleTest, ReadsTheHighHalfSignedAndTheLowHalfUnsigned) {
  struct Case {
    std::uint32_t low;
    std::int32_t high;
    double value;
  } cases[] = {
      {0, 0, 0.0},
      {0x80000000u, 0, 2147483648.0},
      {0xFFFFFFFFu, 0, 4294967295.0},
      {0, 1, 4294967296.0},
      {0xFFFFFFFFu, -1, -1.0},
      {0, INT32_MIN, -9223372036854775808.0},
      {0xFFFFFFFFu, INT32_MAX, 9223372036854775808.0},
      // Beyond 2^53 the sum is rounded once, to the nearest double, ties to even.
      {1, 0x00200000, 9007199254740992.0},
      {3, 0x00200000, 9007199254740996.0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LargeIntegerToDouble(c.low, c.high), c.value) << c.low << ' ' << c.high;
}

struct Counters {
  std::int64_t idleTime;
  std::int64_t systemTime;
  std::uint8_t processors = 4;
};

// Counters that, measured from `stored` with 4 processors, show twice as much idle time as clock
// time: the machine half busy, 50.5. Measured from any other sample, the answer differs. The
// steps are exact as doubles even where the counters are large.
Counters HalfBusyAfter(const Counters& stored) {
  return {stored.idleTime + 2048, stored.systemTime + 1024, 4};
}

class ProcessorLoadSamplerTest : public testing::Test {
 protected:
  // One call with the platform showing `counters`; every call releases what it loaded.
  double LoadAt(const Counters& counters) {
    fake_.libraries.SetProcessorCounters(counters.idleTime, counters.systemTime,
                                         counters.processors);
    const double load = sampler_.GetProcessorLoad(fake_.platform);
    EXPECT_EQ(fake_.libraries.LoadedLibraryCount(), 0u);
    EXPECT_EQ(fake_.libraries.UnmatchedFrees(), 0u);
    return load;
  }

  double LoadMeasuredFrom(const Counters& stored) { return LoadAt(HalfBusyAfter(stored)); }

  FakePlatform fake_;
  ProcessorLoadSampler sampler_;
};

TEST_F(ProcessorLoadSamplerTest, TheFirstCallOnlyStoresItsSample) {
  EXPECT_EQ(LoadAt({1000, 10000}), 0.0);
  EXPECT_EQ(LoadAt({1600, 10200}), 25.5);
  EXPECT_EQ(LoadMeasuredFrom({1600, 10200}), 50.5);
}

TEST_F(ProcessorLoadSamplerTest, AStoredIdleTimeOfZeroIsNoSample) {
  EXPECT_EQ(LoadAt({0, 10000}), 0.0);
  EXPECT_EQ(LoadAt({1000, 20000}), 0.0);
  EXPECT_EQ(LoadMeasuredFrom({1000, 20000}), 50.5);
}

TEST(ProcessorLoadSamplerIntervalTest, MeasuresTheIntervalOrKeepsTheOlderSample) {
  constexpr std::int64_t kLate = std::int64_t{1} << 60;  // doubles step by 256 here
  struct Case {
    const char* what;
    Counters previous;
    Counters current;
    double load;
    bool storesCurrent;
  } cases[] = {
      {"ratio 3 of 4 processors", {1000, 10000}, {1600, 10200}, 25.5, true},
      {"idle all the time", {1000, 10000}, {1400, 10100}, 0.5, true},
      {"never idle", {1000, 10000}, {1000, 10100}, 100.0, true},
      {"one processor, half idle", {1000, 10000, 1}, {1050, 10100, 1}, 50.5, true},
      {"more idle than there is time", {1000, 10000}, {1500, 10100}, 0.0, true},
      {"idle time going back", {5000, 10000}, {4000, 10100}, 100.0, true},
      {"clock set back", {1000, 10000}, {1100, 9000}, 100.0, true},
      {"clock standing still", {1000, 10000}, {1500, 10000}, 0.0, false},
      {"clock times equal as doubles", {1000, kLate}, {1500, kLate + 1}, 0.0, false},
      {"no processors", {1000, 10000}, {1600, 10200, 0}, 0.0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform fake;
    ProcessorLoadSampler sampler;
    const auto loadAt = [&](const Counters& counters) {
      fake.libraries.SetProcessorCounters(counters.idleTime, counters.systemTime,
                                          counters.processors);
      return sampler.GetProcessorLoad(fake.platform);
    };
    EXPECT_EQ(loadAt(c.previous), 0.0);
    EXPECT_EQ(loadAt(c.current), c.load);
    const Counters& stored = c.storesCurrent ? c.current : c.previous;
    EXPECT_EQ(loadAt(HalfBusyAfter(stored)), 50.5);
    EXPECT_EQ(fake.libraries.LoadedLibraryCount(), 0u);
  }
}

TEST(ProcessorLoadSamplerQueryTest, AFailingQueryEndsTheCallAndKeepsTheSample) {
  struct Case {
    std::int32_t failingClass;
    std::size_t timeOfDayCalls;
    std::size_t versionQueries;
    std::size_t performanceCalls;
  } cases[] = {
      {kSystemBasicInformation, 0, 0, 0},
      {kSystemTimeOfDayInformation, 1, 0, 0},
      {kSystemPerformanceInformation, 1, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failingClass);
    FakePlatform fake;
    auto& libraries = fake.libraries;
    ProcessorLoadSampler sampler;
    const Counters first{1000, 10000};
    libraries.SetProcessorCounters(first.idleTime, first.systemTime, first.processors);
    EXPECT_EQ(sampler.GetProcessorLoad(fake.platform), 0.0);

    const auto calls = [&](std::int32_t infoClass) {
      return libraries.SystemInformationCalls(infoClass);
    };
    const std::size_t basicBefore = calls(kSystemBasicInformation);
    const std::size_t timeOfDayBefore = calls(kSystemTimeOfDayInformation);
    const std::size_t performanceBefore = calls(kSystemPerformanceInformation);
    const std::size_t versionBefore = fake.system.VersionQueries();
    libraries.SetSystemInformationStatus(c.failingClass, static_cast<std::int32_t>(0xC0000001u));
    libraries.SetProcessorCounters(1600, 10200, 4);
    EXPECT_EQ(sampler.GetProcessorLoad(fake.platform), 0.0);
    EXPECT_EQ(calls(kSystemBasicInformation) - basicBefore, 1u);
    EXPECT_EQ(calls(kSystemTimeOfDayInformation) - timeOfDayBefore, c.timeOfDayCalls);
    EXPECT_EQ(fake.system.VersionQueries() - versionBefore, c.versionQueries);
    EXPECT_EQ(calls(kSystemPerformanceInformation) - performanceBefore, c.performanceCalls);
    EXPECT_EQ(libraries.LoadedLibraryCount(), 0u);

    libraries.SetSystemInformationStatus(c.failingClass, 0);
    const Counters next = HalfBusyAfter(first);
    libraries.SetProcessorCounters(next.idleTime, next.systemTime, next.processors);
    EXPECT_EQ(sampler.GetProcessorLoad(fake.platform), 50.5);
  }
}

TEST_F(ProcessorLoadSamplerTest, WithoutNtQuerySystemInformationEveryCallIsZero) {
  struct Case {
    const char* what;
    void (*breakIt)(FakeSystemLibraries&);
    void (*repair)(FakeSystemLibraries&);
  } cases[] = {
      {"library", [](FakeSystemLibraries& l) { l.SetLibraryMissing(u"NTDLL.DLL", true); },
       [](FakeSystemLibraries& l) { l.SetLibraryMissing(u"ntdll.dll", false); }},
      {"entry point",
       [](FakeSystemLibraries& l) { l.SetEntryPointMissing("NtQuerySystemInformation", true); },
       [](FakeSystemLibraries& l) { l.SetEntryPointMissing("NtQuerySystemInformation", false); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform fake;
    ProcessorLoadSampler sampler;
    const Counters first{1000, 10000};
    fake.libraries.SetProcessorCounters(first.idleTime, first.systemTime, first.processors);
    EXPECT_EQ(sampler.GetProcessorLoad(fake.platform), 0.0);

    c.breakIt(fake.libraries);
    std::uint32_t cell = 0;
    EXPECT_EQ(QuerySystemInformation(fake.libraries, kSystemTimeOfDayInformation, &cell,
                                     sizeof cell, nullptr),
              platform::kStatusProcedureNotFound);
    fake.libraries.SetProcessorCounters(1600, 10200, 4);
    EXPECT_EQ(sampler.GetProcessorLoad(fake.platform), 0.0);
    EXPECT_EQ(fake.libraries.SystemInformationCalls(kSystemBasicInformation), 1u);
    EXPECT_EQ(fake.libraries.LoadedLibraryCount(), 0u);
    EXPECT_EQ(fake.libraries.UnmatchedFrees(), 0u);

    c.repair(fake.libraries);
    const Counters next = HalfBusyAfter(first);
    fake.libraries.SetProcessorCounters(next.idleTime, next.systemTime, next.processors);
    EXPECT_EQ(sampler.GetProcessorLoad(fake.platform), 50.5);
  }
}

TEST(ProcessorLoadSamplerRecordTest, RequestsEachRecordAtTheLengthOfTheVersionAndBitness) {
  struct Case {
    std::uint32_t major;
    std::uint32_t minor;
    std::uint8_t productType;
    std::int32_t code;  // for the reader; the version test checks the classification
    std::uint32_t performanceLength;
  } cases[] = {
      {4, 0, 1, -1, 312}, {5, 0, 1, 0, 312},   {5, 1, 1, 1, 312},  {5, 2, 3, 2, 312},
      {6, 0, 1, 3, 312},  {6, 1, 3, 4, 312},   {6, 1, 1, 5, 1000}, {6, 2, 1, 6, 1000},
      {6, 3, 2, 7, 1000}, {10, 0, 1, 8, 1000},
  };
  // A 64-bit process's basic record has pointer-sized fields before the processor count.
  const std::uint32_t basicLength = sizeof(void*) == 8 ? 64 : 44;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.code));
    FakePlatform fake;
    fake.system.SetVersion(c.major, c.minor, c.productType);
    ProcessorLoadSampler sampler;
    fake.libraries.SetProcessorCounters(1000, 10000, 4);
    EXPECT_EQ(sampler.GetProcessorLoad(fake.platform), 0.0);
    fake.libraries.SetProcessorCounters(1600, 10200, 4);
    EXPECT_EQ(sampler.GetProcessorLoad(fake.platform), 25.5);
    using Lengths = std::vector<std::uint32_t>;
    EXPECT_EQ(fake.libraries.SystemInformationLengths(kSystemBasicInformation),
              Lengths(2, basicLength));
    EXPECT_EQ(fake.libraries.SystemInformationLengths(kSystemTimeOfDayInformation),
              Lengths(2, 32u));
    EXPECT_EQ(fake.libraries.SystemInformationLengths(kSystemPerformanceInformation),
              Lengths(2, c.performanceLength));
    // The version is asked afresh by every call.
    EXPECT_EQ(fake.system.VersionQueries(), 2u);
  }
}

TEST(ProcessorLoadSamplerRecordTest, ReadsTheProcessorCountWhereTheSystemPutsIt) {
  FakePlatform fake;
  fake.libraries.SetProcessorCounters(0, 0, 7);
  unsigned char basic[64] = {};
  ASSERT_EQ(QuerySystemInformation(fake.libraries, kSystemBasicInformation, basic,
                                   kSystemInformationLayout.basicLength, nullptr),
            0);
  EXPECT_EQ(basic[kSystemInformationLayout.processorsOffset], 7);
}

class ThrowingLibraries : public platform::SystemLibraries {
 public:
  platform::LibraryHandle Load(const char16_t*) override { throw std::runtime_error("load"); }
  void* FindEntryPoint(platform::LibraryHandle, const char*) override { return nullptr; }
  void Free(platform::LibraryHandle) override {}
};

TEST(ProcessorLoadSamplerFailureTest, AFailureRaisedIsANonZeroStatusAndALoadOfZero) {
  FakePlatform fake;
  ThrowingLibraries libraries;
  platform::Platform& platform = fake.platform;
  platform::Platform throwing{fake.registry, libraries,     fake.system,    fake.process,
                              fake.services, fake.eventLog, fake.windowing, fake.resources};
  std::uint32_t cell = 0;
  EXPECT_NE(
      QuerySystemInformation(libraries, kSystemTimeOfDayInformation, &cell, sizeof cell, nullptr),
      0);
  ProcessorLoadSampler sampler;
  fake.libraries.SetProcessorCounters(1000, 10000, 4);
  EXPECT_EQ(sampler.GetProcessorLoad(platform), 0.0);
  EXPECT_EQ(sampler.GetProcessorLoad(throwing), 0.0);
  const Counters next = HalfBusyAfter({1000, 10000});
  fake.libraries.SetProcessorCounters(next.idleTime, next.systemTime, next.processors);
  EXPECT_EQ(sampler.GetProcessorLoad(platform), 50.5);
}

}  // namespace
}  // namespace calvera::probes
