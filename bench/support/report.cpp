#include "support/report.h"

#include <algorithm>
#include <cstdio>

namespace calvera::bench {

void PrintRow(const std::string& figure,
              const std::string& calvera,
              const std::string& floor,
              const std::string& ratio,
              const std::string& goal) {
  std::printf("ROW\t%s\t%s\t%s\t%s\t%s\n", figure.c_str(), calvera.c_str(), floor.c_str(),
              ratio.c_str(), goal.c_str());
  std::fflush(stdout);
}

double Median(std::vector<double> values) {
  if (values.empty())
    return 0.0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace calvera::bench
