// The probes against the real system functions.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "probes/cpu.h"
#include "probes/ram.h"
#include "probes/windows_version.h"

namespace calvera::probes {
namespace {

TEST(ProbesWineTest, MemoryIsPresentAndAvailableIsAtMostTotal) {
  platform::SystemLibraries& libraries = platform::Win32Platform().libraries;
  const std::int64_t total = GetTotalPhysicalMemory(libraries);
  const std::int64_t available = GetAvailablePhysicalMemory(libraries);
  EXPECT_GT(total, 0);
  EXPECT_GT(available, 0);
  EXPECT_LE(available, total);
}

TEST(ProbesWineTest, VersionCodeOfTheTestExecutable) {
  // This prefix's Wine reports 6.1 build 7601, a workstation: Windows 7, whatever the
  // manifest declares.
  EXPECT_EQ(GetWindowsVersionCode(platform::Win32Platform().system), 5);
}

// The records at the lengths and offsets this build uses, as the system fills them.
TEST(ProbesWineTest, TheSystemAcceptsTheRecordLengthsAndFillsTheFieldsRead) {
  platform::SystemLibraries& libraries = platform::Win32Platform().libraries;
  const SystemInformationLayout& layout = kSystemInformationLayout;

  std::vector<unsigned char> basic(layout.basicLength);
  ASSERT_EQ(QuerySystemInformation(libraries, kSystemBasicInformation, basic.data(),
                                   layout.basicLength, nullptr),
            0);
  EXPECT_GE(basic[layout.processorsOffset], 1);
  EXPECT_LE(basic[layout.processorsOffset], 64);
  // The basic record is taken at its exact size only: the other bitness's length is refused.
  const std::uint32_t otherBasicLength = sizeof(void*) == 8 ? 44 : 64;
  std::vector<unsigned char> other(64);
  EXPECT_NE(QuerySystemInformation(libraries, kSystemBasicInformation, other.data(),
                                   otherBasicLength, nullptr),
            0);

  std::vector<unsigned char> timeOfDay(layout.timeOfDayLength);
  ASSERT_EQ(QuerySystemInformation(libraries, kSystemTimeOfDayInformation, timeOfDay.data(),
                                   layout.timeOfDayLength, nullptr),
            0);
  std::int64_t systemTime = 0;
  std::memcpy(&systemTime, timeOfDay.data() + layout.currentTimeOffset, sizeof systemTime);
  constexpr std::int64_t kYear2020 = 132223104000000000;  // 100 ns since 1601
  EXPECT_GT(systemTime, kYear2020);

  for (std::uint32_t length : {layout.shortPerformanceLength, layout.longPerformanceLength}) {
    std::vector<unsigned char> performance(layout.longPerformanceLength);
    ASSERT_EQ(QuerySystemInformation(libraries, kSystemPerformanceInformation, performance.data(),
                                     length, nullptr),
              0)
        << length;
    std::int64_t idleTime = 0;
    std::memcpy(&idleTime, performance.data() + layout.idleTimeOffset, sizeof idleTime);
    EXPECT_GT(idleTime, 0) << length;
  }
}

TEST(ProbesWineTest, TheSecondSampleMeasuresTheLoad) {
  ProcessorLoadSampler sampler;
  platform::Platform& platform = platform::Win32Platform();
  EXPECT_EQ(sampler.GetProcessorLoad(platform), 0.0);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  volatile std::uint64_t spins = 0;
  while (std::chrono::steady_clock::now() < end)
    spins = spins + 1;
  const double load = sampler.GetProcessorLoad(platform);
  EXPECT_GT(load, 0.0);
  EXPECT_LE(load, 100.0);
}

}  // namespace
}  // namespace calvera::probes
