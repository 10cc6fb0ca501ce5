// Every way the program estimates a plane similarity (the value type is
// common/plane_similarity.h). Whatever fits a similarity (the main fit's start,
// the leave-one-out check residuals, the exchanged readings of the diagnosis,
// the projection's identification and the matrix's hold) goes through this
// header.
//
// Scales follow the tool's --scale rule: |scale| < 1e-6 fits a free scale,
// anything else (NaN too) holds K at `scale`, sign included.
//
// Nothing here prints, throws or keeps state; the consensus draws its
// pairs from a generator seeded the same way on every platform.
#ifndef GEOANCHOR_FIT_PLANE_SIMILARITY_H_
#define GEOANCHOR_FIT_PLANE_SIMILARITY_H_

#include <cstddef>
#include <vector>

#include "common/plane_similarity.h"
#include "common/types.h"

namespace geoanchor {

// The weighted least-squares similarity, closed form: centroids weighted by
// `weights` (empty: all 1), then with centred points (x, y) -> (X, Y)
//   s = sum w (x^2 + y^2), P = sum w (x X + y Y), Q = sum w (x Y - y X),
// the rotation the direction of (P, Q) (angle = atan2(Q, P)) and K =
// sqrt(P^2 + Q^2) / s for a free scale; for a fixed K the direction of
// (P, Q), or of (-P, -Q) when K < 0. The result carries no last bit of the
// C library's trigonometry (FromDirection), so the robust fits below give
// the same bits on every platform. Returns
// false when the weighted points all lie at one place (relative to their
// extent) or a figure is not finite; `*out` then holds, where the centroids
// are finite, the shift of centroid onto centroid (K = 1 or the fixed
// scale, angle 0), and is left alone otherwise.
bool FitClosedForm(const std::vector<Point2>& from,
                   const std::vector<Point2>& to,
                   const std::vector<double>& weights, double scale,
                   PlaneSimilarity* out);

// No point is left out of a robust fit.
inline constexpr size_t kNoPointLeftOut = static_cast<size_t>(-1);

struct RobustSimilarity {
  bool ok = false;  // false: the points fix no transform
  PlaneSimilarity similarity;
  std::vector<double> weights;      // Cauchy weights at the solution
  std::vector<double> residuals_m;  // lengths of the deviations, `to` units
};

// The robust similarity under the Cauchy loss of scale `loss_scale` (in
// `to` units), by iteratively reweighted closed forms from `start`: each
// step weighs every point by 1 / (1 + r^2 / c^2) at the previous step's
// deviation r, which lowers the Cauchy cost every time and stops where its
// gradient vanishes, the stationary point Ceres seeks from the same basin.
// Stops when no point moves by more than 1e-7 `to` units. Point `left_out`
// gets weight 0 (its residual is still given).
RobustSimilarity FitRobust(const std::vector<Point2>& from,
                           const std::vector<Point2>& to, double scale,
                           double loss_scale, const PlaneSimilarity& start,
                           size_t left_out = kNoPointLeftOut);

// Finding the consensus: the pairs below tried exhaustively up to this many
// points, sampled beyond.
inline constexpr size_t kConsensusAllPairsPoints = 40;
// Sampled pairs are enough to find a clean one with this confidence when
// this share of the points is wrong: ceil(log(1 - 0.999) / log(1 - 0.5^2))
// = 25 pairs.
inline constexpr double kConsensusConfidence = 0.999;
inline constexpr double kConsensusContamination = 0.5;
// Candidates are scored on at most this many points, spread over the input.
inline constexpr size_t kConsensusScoredPoints = 1000;
// Median of chi-square with 2 degrees of freedom, 2 ln 2: the median of
// the squared deviation length of a point with per-coordinate sd sigma
// is sigma^2 times this.
inline constexpr double kChi2MedianTwoDof = 1.3862943611198906;
// An inlier's deviation is at most this many standard deviations (per
// coordinate) of the inliers' own, or the blunder threshold if larger.
inline constexpr double kInlierSigmas = 5.0;

// The similarity most points agree on. Every pair of points fixes a
// similarity (with a fixed scale, with one redundancy); each candidate is
// scored by the lower median of the squared deviations of the other points
// (least median of squares: survives up to half the points wrong, and
// needs no scale). The best candidate's inliers (deviation within
// max(min_blunder, kInlierSigmas sigma)) are refitted by the closed form,
// re-marked and refitted until they stay the same.
struct Consensus {
  bool found = false;
  PlaneSimilarity similarity;  // closed form on the inliers
  std::vector<bool> inlier;    // per point
  size_t inliers = 0;
  // Per coordinate, `to` units: sqrt(sum r^2 / (2 n - u)) over the n
  // inliers' deviations, u = 4 (free scale) or 3; NaN without redundancy.
  double sigma = 0.0;
  double redundancy = 0.0;  // 2 n - u
};
Consensus FindConsensus(const std::vector<Point2>& from,
                        const std::vector<Point2>& to, double scale,
                        double min_blunder);

// The consensus of the points marked in `inlier`, found otherwise (the
// drawing's grid names a blunder among three points, which they cannot
// among themselves): their closed form, count, redundancy and scatter.
// Not found when they fix no similarity.
Consensus ConsensusOf(const std::vector<Point2>& from,
                      const std::vector<Point2>& to, double scale,
                      const std::vector<bool>& inlier);

// The robust similarity (FitRobust at `loss_scale`) started from the
// consensus of the same points, so that blunders cannot drag its start.
RobustSimilarity FitRobustFromConsensus(const std::vector<Point2>& from,
                                        const std::vector<Point2>& to,
                                        double scale, double loss_scale,
                                        double min_blunder);

// The drawing points' x, y: the plane the similarity carries.
std::vector<Point2> PlanePoints(const std::vector<Point3>& source);

// At most `limit` indices below n at an even stride (every index when
// n <= limit), so that a subsample spreads over the input as given.
std::vector<size_t> SpreadSubsample(size_t n, size_t limit);

// sqrt(dx^2 + dy^2), the same to the last bit on every platform.
double DeviationLength(double dx, double dy);

}  // namespace geoanchor

#endif  // GEOANCHOR_FIT_PLANE_SIMILARITY_H_
