// The tick's one rounding rule: to the nearest integer, a half going to the even neighbour
// (1534.5 gives 1534, 1535.5 gives 1536), whatever the thread's rounding mode.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace calvera::maintenance {

// Rounds half to even; throws std::range_error when the result does not fit 64 bits or the
// value is not a number, which ends the tick.
inline std::int64_t RoundToInt64(double value) {
  // 2^63 is exactly representable; every double below it converts without overflow.
  if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0)) {
    throw std::range_error("rounded value does not fit 64 bits");
  }
  // The conversion truncates in every rounding mode, and the fraction it leaves is exact, so
  // no step here depends on the mode. A value with a fraction is below 2^52, so the step to
  // the neighbour cannot overflow.
  std::int64_t whole = static_cast<std::int64_t>(value);
  const double fraction = value - static_cast<double>(whole);
  const bool odd = (whole & 1) != 0;
  if (fraction > 0.5 || (fraction == 0.5 && odd)) {
    ++whole;
  } else if (fraction < -0.5 || (fraction == -0.5 && odd)) {
    --whole;
  }
  return whole;
}

}  // namespace calvera::maintenance
