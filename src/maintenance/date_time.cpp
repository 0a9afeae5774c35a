#include "maintenance/date_time.h"

#include "maintenance/rounding.h"

namespace calvera::maintenance {
namespace {

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

constexpr std::int64_t kUnixEpochDayCount = 25569;  // 1899-12-30 to 1970-01-01
constexpr double kMillisecondsPerDay = 86400000.0;

}  // namespace

double LocalTimeToDateTime(const platform::LocalTime& time) {
  const std::int64_t days = DaysFromCivil(time.year, time.month, time.day) + kUnixEpochDayCount;
  const double milliseconds =
      ((time.hour * 60.0 + time.minute) * 60.0 + time.second) * 1000.0 + time.milliseconds;
  return static_cast<double>(days) + milliseconds / kMillisecondsPerDay;
}

std::int64_t DateTimeToUnixSeconds(double dateTime) {
  return RoundToInt64((dateTime - static_cast<double>(kUnixEpochDayCount)) * 86400.0);
}

}  // namespace calvera::maintenance
