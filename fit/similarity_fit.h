// Robust least-squares fit of a 2D similarity transform.
//
// The model carries a drawing (source) point (x, y) onto the scene's local
// east/north frame, in metres:
//   east  = (x * cos(angle_rad) - y * sin(angle_rad)) * K + A_m
//   north = (x * sin(angle_rad) + y * cos(angle_rad)) * K + B_m
// angle_rad turns counter-clockwise from east towards north. K is the scale
// (dimensionless); a negative K adds a half turn.
//
// Residual of one control point = transformed source minus target, in
// metres, with a Cauchy loss on each point: kCauchyScaleM (0.05 m) for
// survey-grade points, wider for coarser ones.
//
// This stage computes and returns; it prints nothing.
#ifndef GEOANCHOR_FIT_SIMILARITY_FIT_H_
#define GEOANCHOR_FIT_SIMILARITY_FIT_H_

#include <cmath>
#include <vector>

#include "common/fit_rules.h"
#include "common/types.h"
#include "fit/plane_similarity.h"

namespace ceres {
class CostFunction;
}

namespace geoanchor {

// Residual of one control point under the similarity, metres:
//   r0 = (src_x * cos(angle) - src_y * sin(angle)) * K + A - des_x
//   r1 = (src_x * sin(angle) + src_y * cos(angle)) * K + B - des_y
// evaluated in that order: bracket, times K, plus offset, minus target,
// as PlaneSimilarity::Apply and the matrix compute the model.
struct SimilarityResidual {
  SimilarityResidual(double src_x, double src_y, double des_x, double des_y)
      : src_x(src_x), src_y(src_y), des_x(des_x), des_y(des_y) {}

  template <typename T>
  void operator()(const T& A, const T& B, const T& K, const T& angle,
                  T* residual) const {
    using std::cos;
    using std::sin;
    const T c = cos(angle);
    const T s = sin(angle);
    residual[0] = (src_x * c - src_y * s) * K + A - des_x;
    residual[1] = (src_x * s + src_y * c) * K + B - des_y;
  }

  const double src_x;  // drawing x
  const double src_y;  // drawing y
  const double des_x;  // target east, metres
  const double des_y;  // target north, metres
};

// The residual with the scale fitted: parameter blocks A, B, K, angle.
struct FreeScaleError {
  FreeScaleError(double src_x, double src_y, double des_x, double des_y)
      : residual(src_x, src_y, des_x, des_y) {}

  template <typename T>
  bool operator()(const T* const A, const T* const B, const T* const K,
                  const T* const angle, T* r) const {
    residual(A[0], B[0], K[0], angle[0], r);
    return true;
  }

  // A new AutoDiffCostFunction<FreeScaleError, 2, 1, 1, 1, 1> owning a new
  // functor.
  static ceres::CostFunction* Create(double src_x, double src_y, double des_x,
                                     double des_y);

  const SimilarityResidual residual;
};

// The residual with the scale held at `K`: parameter blocks A, B, angle.
struct FixedScaleError {
  FixedScaleError(double src_x, double src_y, double des_x, double des_y,
                  double K)
      : residual(src_x, src_y, des_x, des_y), K(K) {}

  template <typename T>
  bool operator()(const T* const A, const T* const B, const T* const angle,
                  T* r) const {
    residual(A[0], B[0], T(K), angle[0], r);
    return true;
  }

  // A new AutoDiffCostFunction<FixedScaleError, 2, 1, 1, 1> owning a new
  // functor.
  static ceres::CostFunction* Create(double src_x, double src_y, double des_x,
                                     double des_y, double K);

  const SimilarityResidual residual;
  const double K;  // fixed scale
};

// Check residuals are n extra solves of about n points each; beyond this
// many points they are not computed (FitQuality::checks_note says so).
inline constexpr size_t kMaxCheckPoints = 5000;

struct FitOptions {
  // Also compute FitQuality: the precision of the parameters, the check
  // residuals and the spread of the drawing points. The solution itself is
  // the same either way.
  bool quality = false;
  // The similarity most of the same points agree on (FindConsensus), or
  // nullptr: then only the plain solve runs, with the 0.05 m loss.
  const Consensus* consensus = nullptr;
  // The Cauchy loss's scale that the points' accuracy calls for, metres.
  double loss_scale_m = kCauchyScaleM;
  // A deviation above this is a blunder, metres.
  double blunder_m = kBlunderM;
  // The consensus was told from outside the points (the drawing's grid
  // names the blunder among three points, each pair of which fits
  // exactly): its solve is kept whatever the plain one costs, since the
  // Cauchy cost prefers the pair that leaves the smallest misfit, not the
  // right pair.
  bool keep_consensus = false;
};

// Fits the transform to the index-aligned lists (only x, y of `source` are
// read). The solve runs in centred coordinates, starting from the
// closed-form least-squares similarity, with the 0.05 m Cauchy loss, and
// the offsets are carried back to the original coordinates.
//
// With a consensus, a second solve starts from the consensus's robust fit
// (at options.loss_scale_m) when the first one places a consensus inlier
// more than options.blunder_m away from where the consensus puts it (one
// blunder dragged it onto a few points), or when the loss scale is above
// 0.05 m; the solve with the lower Cauchy cost at that scale is kept (the
// first on a tie, so that clean jobs keep their solution to the bit), or
// the second with options.keep_consensus.
//
// The result means exactly the model above, with the deviations and Cauchy
// weights of every point at the solution. Requires source.size() ==
// target.size() >= 1; with no points every parameter comes back NaN and no
// solve is run.
SimilarityFit FitSimilarity(const std::vector<Point3>& source,
                            const std::vector<Point2>& target, double scale,
                            const FitOptions& options = FitOptions());

// Per point: target minus transformed source (deltax, deltay), metres,
// computed in the original coordinates with the fitted parameters.
std::vector<Point2> ComputeDeviations(const SimilarityFit& fit,
                                      const std::vector<Point3>& source,
                                      const std::vector<Point2>& target);

// Weight of the Cauchy loss of scale `loss_scale_m` at a deviation of
// length `residual_m`: 1 / (1 + r^2 / c^2).
double CauchyWeight(double residual_m, double loss_scale_m = kCauchyScaleM);

// Root mean square of the deviations' lengths, sqrt(sum r^2 / n), metres.
double RmsOfDeviations(const std::vector<Point2>& deviations);

// Standard error of unit weight, sqrt(sum r^2 / (2n - u)), metres, with
// u = 4 unknowns (free scale) or 3 (fixed); NaN when 2n <= u (no
// redundancy).
double SigmaZero(const std::vector<Point2>& deviations, bool free_scale);

// Principal spreads of the drawing points (x, y) about their centroid:
// the standard deviations along the principal axes, drawing units,
// major >= minor; both 0 without points. Only the points whose `use` is
// true count when `use` is given.
void PrincipalSpreads(const std::vector<Point3>& source, double* major,
                      double* minor, const std::vector<bool>* use = nullptr);

// Per point: its check residual under the robust similarity of the other
// points (as FitQuality::checks, in `target`'s units), each fitted at
// `loss_scale` by the same reweighted solves from `full`, the robust fit of
// all points. None available beyond kMaxCheckPoints points, with fewer
// than 3, or where the others fix no transform.
std::vector<CheckResidual> RobustCheckResiduals(
    const std::vector<Point2>& source, const std::vector<Point2>& target,
    double scale, double loss_scale, const PlaneSimilarity& full);

// The heights in the height and model-base-point modes: per point
// d = up - z (target's up minus the drawing's z), lift = median of d (the
// z offset that seats the drawing's heights on the targets), dz = d - lift,
// and the RMS and largest magnitude of dz. Not available without ups (the
// pair mode) or without points.
VerticalLift ComputeVerticalLift(const std::vector<Point3>& source,
                                 const std::vector<double>& target_up_m);

}  // namespace geoanchor

#endif  // GEOANCHOR_FIT_SIMILARITY_FIT_H_
