// The fake system functions the probes are tested against behave as Windows does where the
// probes rely on it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fake/fake_system_information.h"
#include "fake/fake_system_libraries.h"
#include "platform/entry_points.h"
#include "probes/cpu.h"

namespace calvera::fake {
namespace {

using platform::GlobalMemoryStatusExFunction;
using platform::NtQuerySystemInformationFunction;

constexpr unsigned char kUntouched = 0xAB;

NtQuerySystemInformationFunction FindNtQuery(FakeSystemLibraries& libraries,
                                             platform::LibraryHandle ntdll) {
  return reinterpret_cast<NtQuerySystemInformationFunction>(
      libraries.FindEntryPoint(ntdll, "NtQuerySystemInformation"));
}

TEST(FakeSystemLibrariesTest, LibrariesByAnyCaseEntryPointsExactlyAndOnlyWhileLoaded) {
  FakeSystemLibraries libraries;
  const auto kernel32 = libraries.Load(u"KeRnEl32.DlL");
  const auto ntdll = libraries.Load(u"NTDLL.dll");
  ASSERT_NE(kernel32, platform::LibraryHandle{});
  ASSERT_NE(ntdll, platform::LibraryHandle{});
  EXPECT_EQ(libraries.Load(u"user32.dll"), platform::LibraryHandle{});
  EXPECT_EQ(libraries.LoadedLibraryCount(), 2u);

  EXPECT_NE(libraries.FindEntryPoint(kernel32, "GlobalMemoryStatusEx"), nullptr);
  EXPECT_EQ(libraries.FindEntryPoint(kernel32, "globalmemorystatusex"), nullptr);
  EXPECT_EQ(libraries.FindEntryPoint(kernel32, "NtQuerySystemInformation"), nullptr);
  EXPECT_NE(FindNtQuery(libraries, ntdll), nullptr);
  EXPECT_EQ(libraries.FindEntryPoint(ntdll, "GlobalMemoryStatusEx"), nullptr);

  libraries.Free(ntdll);
  EXPECT_EQ(FindNtQuery(libraries, ntdll), nullptr);
  libraries.Free(ntdll);
  libraries.Free(kernel32);
  EXPECT_EQ(libraries.LoadedLibraryCount(), 0u);
  EXPECT_EQ(libraries.UnmatchedFrees(), 1u);
}

TEST(FakeSystemLibrariesTest, GlobalMemoryStatusExHonoursTheLengthAndFillsTheWholeRecord) {
  FakeSystemLibraries libraries;
  const auto kernel32 = libraries.Load(u"Kernel32.dll");
  const auto function = reinterpret_cast<GlobalMemoryStatusExFunction>(
      libraries.FindEntryPoint(kernel32, "GlobalMemoryStatusEx"));
  ASSERT_NE(function, nullptr);
  for (std::uint32_t length : {0u, 32u, 63u, 65u}) {
    std::vector<unsigned char> record(80, kUntouched);
    std::memcpy(record.data(), &length, sizeof length);
    EXPECT_EQ(function(record.data()), 0) << length;
    EXPECT_EQ(std::vector<unsigned char>(record.begin() + 4, record.end()),
              std::vector<unsigned char>(76, kUntouched))
        << length;
  }
  std::vector<unsigned char> record(64, kUntouched);
  record[0] = 64;
  record[1] = record[2] = record[3] = 0;
  ASSERT_NE(function(record.data()), 0);
  std::uint32_t load = 0;
  std::uint64_t total = 0;
  std::uint64_t available = 0;
  std::memcpy(&load, record.data() + 4, 4);
  std::memcpy(&total, record.data() + 8, 8);
  std::memcpy(&available, record.data() + 16, 8);
  EXPECT_EQ(load, 50u);
  EXPECT_EQ(total, std::uint64_t{8} << 30);
  EXPECT_EQ(available, std::uint64_t{4} << 30);
  EXPECT_NE(record[63], kUntouched);
  libraries.Free(kernel32);
}

TEST(FakeSystemLibrariesTest, NtQuerySystemInformationChecksTheLengthPerClass) {
  const std::uint32_t basic = sizeof(void*) == 8 ? 64 : 44;
  struct Case {
    std::int32_t infoClass;
    std::uint32_t length;
    std::int32_t status;
    std::uint32_t written;  // bytes the call may change, from the start of the buffer
  } cases[] = {
      {0, basic, 0, basic},
      {0, basic - 4, FakeSystemLibraries::kStatusInfoLengthMismatch, 0},
      {0, basic + 4, FakeSystemLibraries::kStatusInfoLengthMismatch, 0},
      {3, 32, 0, 32},
      {3, 16, 0, 16},
      {3, 48, 0, 48},
      {3, 49, FakeSystemLibraries::kStatusInfoLengthMismatch, 0},
      {2, 311, FakeSystemLibraries::kStatusInfoLengthMismatch, 0},
      {2, 312, 0, 312},
      {2, 1000, 0, 1000},
      {99, 64, FakeSystemLibraries::kStatusInvalidInfoClass, 0},
  };
  FakeSystemLibraries libraries;
  libraries.SetProcessorCounters(0x1111111111111111, 0x2222222222222222, 3);
  const auto ntdll = libraries.Load(u"ntdll.dll");
  const auto function = FindNtQuery(libraries, ntdll);
  ASSERT_NE(function, nullptr);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.infoClass << " / " << c.length);
    std::vector<unsigned char> buffer(1100, kUntouched);
    std::uint32_t returned = 0;
    EXPECT_EQ(function(c.infoClass, buffer.data(), c.length, &returned), c.status);
    EXPECT_EQ(std::vector<unsigned char>(buffer.begin() + c.written, buffer.end()),
              std::vector<unsigned char>(buffer.size() - c.written, kUntouched));
    if (c.status == 0) {
      EXPECT_EQ(returned, c.written);
    }
  }
  libraries.Free(ntdll);
}

TEST(FakeSystemLibrariesTest, RecordsCarryTheCountersAtTheBitnessOffsets) {
  FakeSystemLibraries libraries;
  libraries.SetProcessorCounters(0x1111111111111111, 0x2222222222222222, 3);
  const auto& layout = probes::kSystemInformationLayout;
  std::vector<unsigned char> basic(layout.basicLength);
  std::vector<unsigned char> timeOfDay(layout.timeOfDayLength);
  std::vector<unsigned char> performance(layout.longPerformanceLength);
  ASSERT_EQ(probes::QuerySystemInformation(libraries, probes::kSystemBasicInformation, basic.data(),
                                           layout.basicLength, nullptr),
            0);
  ASSERT_EQ(probes::QuerySystemInformation(libraries, probes::kSystemTimeOfDayInformation,
                                           timeOfDay.data(), layout.timeOfDayLength, nullptr),
            0);
  ASSERT_EQ(
      probes::QuerySystemInformation(libraries, probes::kSystemPerformanceInformation,
                                     performance.data(), layout.longPerformanceLength, nullptr),
      0);
  std::int64_t systemTime = 0;
  std::int64_t idleTime = 0;
  std::memcpy(&systemTime, timeOfDay.data() + layout.currentTimeOffset, 8);
  std::memcpy(&idleTime, performance.data() + layout.idleTimeOffset, 8);
  EXPECT_EQ(basic[layout.processorsOffset], 3);
  EXPECT_EQ(systemTime, 0x2222222222222222);
  EXPECT_EQ(idleTime, 0x1111111111111111);
  EXPECT_EQ(libraries.LoadedLibraryCount(), 0u);
}

TEST(FakeSystemLibrariesTest, EntryPointsActOnTheFakeThatHandedThemOut) {
  FakeSystemLibraries first;
  FakeSystemLibraries second;
  first.SetMemoryStatus(1000, 500);
  second.SetMemoryStatus(2000, 700);
  for (FakeSystemLibraries* libraries : {&first, &second, &first}) {
    const auto kernel32 = libraries->Load(u"kernel32.dll");
    const auto function = reinterpret_cast<GlobalMemoryStatusExFunction>(
        libraries->FindEntryPoint(kernel32, "GlobalMemoryStatusEx"));
    unsigned char record[64] = {64};
    ASSERT_NE(function(record), 0);
    std::uint64_t total = 0;
    std::memcpy(&total, record + 8, 8);
    EXPECT_EQ(total, libraries == &first ? 1000u : 2000u);
    libraries->Free(kernel32);
  }
  EXPECT_EQ(first.MemoryStatusCalls(), 2u);
  EXPECT_EQ(second.MemoryStatusCalls(), 1u);
}

TEST(FakeSystemInformationTest, GetVersionExWritesOnlyTheFormItsSizeNames) {
  struct Case {
    std::uint32_t size;
    FakeSystemInformation::VersionFailure failure;
    bool succeeds;
  } cases[] = {
      {284, FakeSystemInformation::VersionFailure::kNone, true},
      {276, FakeSystemInformation::VersionFailure::kNone, true},
      {280, FakeSystemInformation::VersionFailure::kNone, false},
      {0, FakeSystemInformation::VersionFailure::kNone, false},
      {284, FakeSystemInformation::VersionFailure::kExtended, false},
      {276, FakeSystemInformation::VersionFailure::kExtended, true},
      {276, FakeSystemInformation::VersionFailure::kBoth, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << ' ' << static_cast<int>(c.failure));
    FakeSystemInformation system;
    system.SetVersion(6, 3, 3);
    system.SetVersionFailure(c.failure);
    std::vector<unsigned char> record(300, kUntouched);
    std::memcpy(record.data(), &c.size, 4);
    EXPECT_EQ(system.QueryVersion(record.data()) != 0, c.succeeds);
    const std::size_t written = c.succeeds ? c.size : 4;
    EXPECT_EQ(std::vector<unsigned char>(record.begin() + written, record.end()),
              std::vector<unsigned char>(record.size() - written, kUntouched));
    if (c.succeeds) {
      std::uint32_t major = 0;
      std::uint32_t minor = 0;
      std::memcpy(&major, record.data() + 4, 4);
      std::memcpy(&minor, record.data() + 8, 4);
      EXPECT_EQ(major, 6u);
      EXPECT_EQ(minor, 3u);
      if (c.size == 284) {
        EXPECT_EQ(record[282], 3);
      }
    }
  }
}

}  // namespace
}  // namespace calvera::fake
