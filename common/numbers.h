// The few numeric helpers every stage shares: pi and angles, the Cauchy
// weight, the median and rounding onto a grid.
#ifndef GEOANCHOR_COMMON_NUMBERS_H_
#define GEOANCHOR_COMMON_NUMBERS_H_

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace geoanchor {

// pi to the last digit a double holds.
inline constexpr double kPi = 3.141592653589793;

// Degrees to radians, (degrees / 180) * kPi, and back, (radians / kPi) *
// 180: the division first, so that an angle converted at two places has
// the same bits at both.
inline double DegToRad(double deg) { return deg / 180.0 * kPi; }
inline double RadToDeg(double rad) { return rad / kPi * 180.0; }

// The weight of the Cauchy loss, 1 / (1 + (r / c)^2), given (r / c)^2 as
// its caller forms it: r^2 / c^2 and (r / c) * (r / c) differ in their
// last bits, and each caller keeps its own.
inline double CauchyWeightOfSquaredRatio(double ratio_sq) {
  return 1.0 / (1.0 + ratio_sq);
}

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

}  // namespace geoanchor

#endif  // GEOANCHOR_COMMON_NUMBERS_H_
