// The tick's rounding and the floating-point environment it computes in, under every rounding
// mode that a DLL could leave behind on the main thread.
#include "maintenance/rounding.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "maintenance/floating_point_environment.h"

namespace calvera::maintenance {
namespace {

constexpr int kModes[] = {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO};

// Volatile, so that the compiler cannot do the arithmetic in its own mode at compile time.
std::int64_t RoundInMode(int mode, double value) {
  volatile double input = value;
  std::fesetround(mode);
  const std::int64_t rounded = RoundToInt64(input);
  std::fesetround(FE_TONEAREST);
  return rounded;
}

TEST(RoundingTest, HalvesGoToTheEvenNeighbourInEveryRoundingMode) {
  const struct {
    double value;
    std::int64_t rounded;
  } cases[] = {
      {1534.5, 1534},
      {1535.5, 1536},
      {4.5, 4},
      {270.5, 270},
      {0.5, 0},
      {-0.5, 0},
      {-2.5, -2},
      {-3.5, -4},
      {4915.2, 4915},
      {409.6, 410},
      {2.4999, 2},
      {-2.5001, -3},
      {0.0, 0},
      {-9223372036854775808.0, std::numeric_limits<std::int64_t>::min()},
      {4503599627370495.5, 4503599627370496},  // the largest doubles with a fraction
      {-4503599627370494.5, -4503599627370494},
  };
  for (const int mode : kModes) {
    for (const auto& c : cases) {
      EXPECT_EQ(RoundInMode(mode, c.value), c.rounded) << "mode " << mode << ", " << c.value;
    }
    EXPECT_THROW(RoundInMode(mode, 9223372036854775808.0), std::range_error);
  }
}

// 1/3 comes out differently in each directed mode: a plain check of the unit that does a
// double's arithmetic on this target.
double OneThird() {
  volatile double one = 1.0;
  volatile double three = 3.0;
  return one / three;
}

TEST(RoundingTest, TheGuardComputesInTheDefaultEnvironmentAndGivesTheCallersBack) {
  const double nearest = OneThird();
  for (const int mode : kModes) {
    std::fesetround(mode);
    const double before = OneThird();
    double inside = 0.0;
    {
      const ScopedDefaultFloatingPoint guard;
      inside = OneThird();
    }
    const double after = OneThird();
    std::fesetround(FE_TONEAREST);
    EXPECT_EQ(inside, nearest) << "mode " << mode;
    EXPECT_EQ(after, before) << "mode " << mode;
    if (mode == FE_UPWARD) {
      EXPECT_NE(before, nearest);  // the mode did reach the arithmetic
    }
  }
}

}  // namespace
}  // namespace calvera::maintenance
