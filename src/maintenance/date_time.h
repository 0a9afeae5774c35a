// The update stamp's clock arithmetic: local wall-clock time as a day count since
// 1899-12-30 (the time of day as the fraction), and that count as seconds since 1970.
#pragma once

#include <cstdint>

#include "platform/system_information.h"

namespace calvera::maintenance {

// Days since 1899-12-30 00:00, with the time of day, milliseconds included, as the fraction.
// Computed from the calendar fields alone, so no 32-bit time_t is involved.
double LocalTimeToDateTime(const platform::LocalTime& time);

// (dateTime − 25569) × 86400 rounded: the local time read as if it were UTC, in seconds
// since 1970-01-01. 64 bits wide, so times after 2038-01-19 03:14:07 keep their exact value.
std::int64_t DateTimeToUnixSeconds(double dateTime);

}  // namespace calvera::maintenance
