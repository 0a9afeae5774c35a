// The benchmarks' output: one tab-separated ROW line per figure on stdout, which bench.sh
// gathers into its table, and the median of repeated measurements.
#pragma once

#include <string>
#include <vector>

namespace calvera::bench {

// ROW\t<figure>\t<calvera>\t<floor>\t<ratio>\t<goal>; "-" where there is nothing to show.
void PrintRow(const std::string& figure,
              const std::string& calvera,
              const std::string& floor,
              const std::string& ratio,
              const std::string& goal);

// The middle value; the mean of the two middle ones for an even count. 0 for none.
double Median(std::vector<double> values);

// `value` with `decimals` digits after the point.
std::string Fixed(double value, int decimals);

}  // namespace calvera::bench
