#include "probes/windows_version.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>

#include "fake/fake_system_information.h"

namespace calvera::probes {
namespace {

using fake::FakeSystemInformation;

TEST(WindowsVersionTest, ClassifiesEveryVersionAndProductType) {
  struct Case {
    std::uint32_t major;
    std::uint32_t minor;
    std::int32_t codes[4];  // product types 0, 1 (workstation), 2 (domain controller), 3 (server)
  } cases[] = {
      {5, 0, {0, 0, 0, 0}},      {5, 1, {1, 1, 1, 1}},     {5, 2, {-1, 1, 2, 2}},
      {5, 3, {-1, -1, -1, -1}},  {6, 0, {-1, 3, 4, 4}},    {6, 1, {-1, 5, 4, 4}},
      {6, 2, {-1, 6, 7, 7}},     {6, 3, {-1, 6, 7, 7}},    {6, 4, {-1, -1, -1, -1}},
      {10, 0, {8, 8, 8, 8}},     {10, 7, {8, 8, 8, 8}},    {4, 0, {-1, -1, -1, -1}},
      {11, 0, {-1, -1, -1, -1}}, {0, 0, {-1, -1, -1, -1}}, {7, 1, {-1, -1, -1, -1}},
  };
  for (const auto& c : cases) {
    for (std::uint8_t productType = 0; productType < 4; ++productType) {
      FakeSystemInformation system;
      system.SetVersion(c.major, c.minor, productType);
      EXPECT_EQ(GetWindowsVersionCode(system), c.codes[productType])
          << c.major << '.' << c.minor << " product type " << int{productType};
      EXPECT_EQ(system.VersionQueries(), 1u);
    }
  }
}

TEST(WindowsVersionTest, AFailedExtendedQueryFallsBackToTheBasicFormWithoutProductType) {
  struct Case {
    std::uint32_t major;
    std::uint32_t minor;
    std::int32_t code;
  } cases[] = {{5, 0, 0}, {5, 1, 1}, {5, 2, -1}, {6, 1, -1}, {6, 3, -1}, {10, 0, 8}};
  for (const auto& c : cases) {
    FakeSystemInformation system;
    system.SetVersion(c.major, c.minor, 1);
    system.SetVersionFailure(FakeSystemInformation::VersionFailure::kExtended);
    EXPECT_EQ(GetWindowsVersionCode(system), c.code) << c.major << '.' << c.minor;
    EXPECT_EQ(system.VersionQueries(), 2u);
  }
}

TEST(WindowsVersionTest, BothQueriesFailingIsUnknown) {
  FakeSystemInformation system;
  system.SetVersion(5, 0, 1);  // would be 0, the code a cleared record must not give
  system.SetVersionFailure(FakeSystemInformation::VersionFailure::kBoth);
  EXPECT_EQ(GetWindowsVersionCode(system), -1);
  EXPECT_EQ(system.VersionQueries(), 2u);
}

class ThrowingSystemInformation : public FakeSystemInformation {
 public:
  std::int32_t QueryVersion(void*) override { throw std::runtime_error("version"); }
};

TEST(WindowsVersionTest, AFailureRaisedIsUnknown) {
  ThrowingSystemInformation system;
  EXPECT_EQ(GetWindowsVersionCode(system), -1);
}

}  // namespace
}  // namespace calvera::probes
