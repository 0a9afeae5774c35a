// The tick's one rounding rule: to the nearest integer, a half going to the even neighbour
// (1534.5 gives 1534, 1535.5 gives 1536).
#pragma once

#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace calvera::maintenance {

// Rounds half to even; throws std::range_error when the result does not fit 64 bits or the
// value is not a number, which ends the tick.
inline std::int64_t RoundToInt64(double value) {
  // nearbyint rounds in the current mode, which is round-to-nearest-even unless someone
  // changed it; rint and lround would not all agree on halves.
  const double rounded = std::nearbyint(value);
  // 2^63 is exactly representable; every double below it converts without overflow.
  if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) {
    throw std::range_error("rounded value does not fit 64 bits");
  }
  return static_cast<std::int64_t>(rounded);
}

}  // namespace calvera::maintenance
