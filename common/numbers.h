// The few numeric helpers every stage shares: pi, the median and rounding
// onto a grid.
#ifndef GEOANCHOR_COMMON_NUMBERS_H_
#define GEOANCHOR_COMMON_NUMBERS_H_

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

// pi to the last digit a double holds; angles in degrees become radians as
// (degrees / 180) * kPi, the division first.
inline constexpr double kPi = 3.141592653589793;

// The median of `values` (the mean of the two middle values for an even
// count); NaN for none. Takes its own copy, which it reorders.
inline double Median(std::vector<double> values) {
  if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
  const size_t mid = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + mid, values.end());
  const double upper = values[mid];
  if (values.size() % 2 == 1) return upper;
  const double lower = *std::max_element(values.begin(), values.begin() + mid);
  return 0.5 * (lower + upper);
}

// `v` rounded to the nearest multiple of `step`, a power of two: exact
// arithmetic, so values that differ only in their last bits (a C library's
// sin or atan2 on another platform) land on the same multiple, but for
// the rare one that lies within those bits of a half step.
inline double OnGrid(double v, double step) {
  return std::round(v / step) * step;
}

#endif  // GEOANCHOR_COMMON_NUMBERS_H_
