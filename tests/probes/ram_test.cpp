#include "probes/ram.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>

#include "fake/fake_system_libraries.h"

namespace calvera::probes {
namespace {

using fake::FakeSystemLibraries;

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
constexpr std::uint64_t kMaxSigned = 0x7FFFFFFFFFFFFFFFull;

TEST(RamTest, EachFieldIsReadAsANonNegativeSignedCount) {
  struct Case {
    std::uint64_t stored;
    std::int64_t result;
  } cases[] = {
      {0, 0},
      {1, 1},
      {16 * kGiB, static_cast<std::int64_t>(16 * kGiB)},
      {kMaxSigned, static_cast<std::int64_t>(kMaxSigned)},
      {kMaxSigned + 1, 0},
      {~std::uint64_t{0}, 0},
  };
  for (const auto& c : cases) {
    FakeSystemLibraries libraries;
    libraries.SetMemoryStatus(c.stored, 3 * kGiB);
    EXPECT_EQ(GetTotalPhysicalMemory(libraries), c.result) << c.stored;
    EXPECT_EQ(GetAvailablePhysicalMemory(libraries), 3 * kGiB) << c.stored;
    libraries.SetMemoryStatus(5 * kGiB, c.stored);
    EXPECT_EQ(GetAvailablePhysicalMemory(libraries), c.result) << c.stored;
    EXPECT_EQ(GetTotalPhysicalMemory(libraries), 5 * kGiB) << c.stored;

    // One query of its own per answer, each library load released again.
    EXPECT_EQ(libraries.MemoryStatusCalls(), 4u);
    EXPECT_EQ(libraries.LoadedLibraryCount(), 0u);
    EXPECT_EQ(libraries.UnmatchedFrees(), 0u);
  }
}

TEST(RamTest, WithoutTheFunctionBothAnswersAreZero) {
  struct Case {
    const char* what;
    void (*breakIt)(FakeSystemLibraries&);
  } cases[] = {
      {"library", [](FakeSystemLibraries& l) { l.SetLibraryMissing(u"KERNEL32.dll", true); }},
      {"entry point",
       [](FakeSystemLibraries& l) { l.SetEntryPointMissing("GlobalMemoryStatusEx", true); }},
  };
  for (const auto& c : cases) {
    FakeSystemLibraries libraries;
    c.breakIt(libraries);
    MemoryStatusRecord record{};
    record.dwLength = kMemoryStatusRecordLength;
    EXPECT_FALSE(QueryMemoryStatus(libraries, record)) << c.what;
    EXPECT_EQ(GetTotalPhysicalMemory(libraries), 0) << c.what;
    EXPECT_EQ(GetAvailablePhysicalMemory(libraries), 0) << c.what;
    EXPECT_EQ(libraries.MemoryStatusCalls(), 0u) << c.what;
    EXPECT_EQ(libraries.LoadedLibraryCount(), 0u) << c.what;
    EXPECT_EQ(libraries.UnmatchedFrees(), 0u) << c.what;
  }
}

TEST(RamTest, ACallThatReturnsFalseCountsAsMadeAndReadsZero) {
  FakeSystemLibraries libraries;
  libraries.SetMemoryStatusFails(true);
  MemoryStatusRecord record{};
  record.dwLength = kMemoryStatusRecordLength;
  EXPECT_TRUE(QueryMemoryStatus(libraries, record));
  EXPECT_EQ(GetTotalPhysicalMemory(libraries), 0);
  EXPECT_EQ(GetAvailablePhysicalMemory(libraries), 0);
  EXPECT_EQ(libraries.MemoryStatusCalls(), 3u);
  EXPECT_EQ(libraries.LoadedLibraryCount(), 0u);
}

TEST(RamTest, QueryPassesTheCallersRecordAsItStands) {
  // The length is the caller's to set; a wrong one makes GlobalMemoryStatusEx refuse, and the
  // query still counts as made.
  FakeSystemLibraries libraries;
  MemoryStatusRecord record{};
  record.dwLength = kMemoryStatusRecordLength - 8;
  EXPECT_TRUE(QueryMemoryStatus(libraries, record));
  EXPECT_EQ(record.ullTotalPhys, 0u);

  record.dwLength = kMemoryStatusRecordLength;
  EXPECT_TRUE(QueryMemoryStatus(libraries, record));
  EXPECT_EQ(record.ullTotalPhys, 8 * kGiB);
  EXPECT_EQ(record.ullAvailPhys, 4 * kGiB);
}

// A platform whose loader throws: the probes must swallow it, not end the process.
class ThrowingLibraries : public platform::SystemLibraries {
 public:
  platform::LibraryHandle Load(const char16_t*) override { throw std::runtime_error("load"); }
  void* FindEntryPoint(platform::LibraryHandle, const char*) override { return nullptr; }
  void Free(platform::LibraryHandle) override {}
};

TEST(RamTest, AFailureRaisedOnTheWayGivesZero) {
  ThrowingLibraries libraries;
  MemoryStatusRecord record{};
  EXPECT_FALSE(QueryMemoryStatus(libraries, record));
  EXPECT_EQ(GetTotalPhysicalMemory(libraries), 0);
  EXPECT_EQ(GetAvailablePhysicalMemory(libraries), 0);
}

}  // namespace
}  // namespace calvera::probes
