// The rules of the similarity that every stage applies alike: which scale
// value leaves the scale free, and how many unknowns a solve has then.
#ifndef GEOANCHOR_COMMON_FIT_RULES_H_
#define GEOANCHOR_COMMON_FIT_RULES_H_

#include <cmath>

namespace geoanchor {

// Free scale when |scale| < 1e-6 (strictly); otherwise K is held at `scale`,
// sign included. NaN selects the fixed scale.
inline bool IsFreeScale(double scale) { return std::fabs(scale) < 1e-6; }

// The similarity's unknowns: the two offsets and the angle, and K when the
// scale is free. A double, as the redundancy 2n - u is formed in doubles.
inline double SimilarityUnknowns(bool free_scale) {
  return free_scale ? 4.0 : 3.0;
}

}  // namespace geoanchor

#endif  // GEOANCHOR_COMMON_FIT_RULES_H_
