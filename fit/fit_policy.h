// How the control points are fitted: their accuracy (given, told by the
// drawing's grid, or estimated from their survey deviations), the Cauchy
// loss it calls for, the consensus the solve starts from, and the solve.
// The diagnosis judges the fit by the same accuracy.
//
// This stage computes and returns; it prints nothing.
#ifndef GEOANCHOR_FIT_FIT_POLICY_H_
#define GEOANCHOR_FIT_FIT_POLICY_H_

#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "common/types.h"
#include "fit/plane_similarity.h"
#include "grid/grid_reference.h"

namespace geoanchor {

// The points' accuracy is estimated only with at least this redundancy
// (2 sum w - u); with less it is taken as survey grade.
inline constexpr double kMinAccuracyRedundancy = 6.0;

// Points that agree only to more than this share of their spread (the RMS
// distance of the targets from their centroid) do not belong together.
inline constexpr double kDisagreementShare = 0.01;

// Points that agree only to more than this, metres, are coarse: the matrix
// is good only to that order.
inline constexpr double kCoarseAccuracyM = 0.05;

// A misfit that the coarsest plausible picks explain, metres: the blunder
// threshold at kCoarsestPicksM (0.5 m a coordinate gives 2.5 m).
inline constexpr double kCoarseMisfitM = kBlunderSigmas * kCoarsestPicksM;

// A misfit above this share of the points' spread is no coarse picking.
inline constexpr double kCoarseMisfitShare = 0.003;

// A Cauchy loss this wide, metres, weighs every deviation of decimetre
// points at above 0.99999: least squares.
inline constexpr double kLeastSquaresLossM = 1e4;

// A blunder that cannot be located is looked for up to this many points.
inline constexpr size_t kMaxUnlocatedPoints = 20;

// --accuracy was given: the points' accuracy, metres, is not estimated.
inline bool AccuracyGiven(double accuracy_m) {
  return accuracy_m > 0.0 && std::isfinite(accuracy_m);
}

// RMS distance of the targets from their centroid, metres, over the
// points whose `use` is true (all of them when none is).
double TargetSpreadM(const std::vector<Point2>& target,
                     const std::vector<bool>& use);

// The points' accuracy from deviations (lengths, metres) weighted by the
// Cauchy loss of scale `loss_m`: the weighted sigma0,
// sqrt(sum w r^2 / (2 sum w - u)). Its redundancy, for judging whether
// there are enough points, counts those the loss does not reject (weight
// at least kOutlierWeight) in full: 2 n - u.
struct AccuracyEstimate {
  double sigma_m = std::numeric_limits<double>::quiet_NaN();
  double redundancy = 0.0;
};
AccuracyEstimate WeightedSigmaZero(const std::vector<double>& r_m,
                                   const std::vector<bool>& use, double loss_m,
                                   bool free_scale);

// The accuracy the thresholds follow: --accuracy when given; else the
// estimate when it has redundancy and lies between survey grade and 1 %
// of the points' spread (beyond that the lists disagree).
struct AccuracyChoice {
  double accuracy_m = kSurveyGradeAccuracyM;
  bool estimated = false;       // from the points, above survey grade
  bool lists_disagree = false;  // the estimate exceeds 1 % of the spread
  double estimate_m = std::numeric_limits<double>::quiet_NaN();
  double spread_m = 0.0;
};
AccuracyChoice ChooseAccuracy(const AccuracyEstimate& e, double spread_m,
                              double accuracy_flag_m);

// With few points a blunder may have no place: the points whose leaving
// out leaves a rest that agrees within `limit_m` (every deviation of the
// rest's least-squares similarity), positions from 0. Only for up to
// kMaxUnlocatedPoints points; beyond that leaving out one good point keeps
// the blunder and the rest's redundancy shows it.
std::vector<size_t> AgreeingWithout(const std::vector<Point2>& from,
                                    const std::vector<Point2>& to, double scale,
                                    double m_per_unit, double limit_m);

// Too few points for their own accuracy (redundancy below
// kMinAccuracyRedundancy), in no national grid (`grid`), whose least
// squares misses one by more than a survey does (kCoarseAccuracyM: a
// robust fit through two of three such points makes a blunder of the
// third) but by no more than coarse picks explain (kCoarseMisfitM, and
// kCoarseMisfitShare of their spread): nothing tells a blunder from
// coarse picks, so they are fitted as least squares and said to agree to
// this, the least squares' sigma0, metres. NaN where that does not apply,
// and with --accuracy (`accuracy_flag_m` > 0).
double UnlocatableAccuracyM(const ControlPoints& points, double scale,
                            const GridJudgement& grid, double accuracy_flag_m);

// Before the solve: the Cauchy loss's scale, metres, that the points call
// for. With --accuracy (`accuracy_m` > 0) it follows that; otherwise the
// survey deviations of the consensus's inliers estimate the accuracy (the
// consensus is scored without a scale, so this is not circular), and
// survey-grade points, too little redundancy or lists that disagree keep
// the 0.05 m loss.
double ChooseLossScale(const ControlPoints& points, const Consensus& consensus,
                       double scale, double accuracy_m);

// The fit of prepared control points: the similarity most of them agree
// on, the Cauchy loss their accuracy calls for (`accuracy_m` > 0: the
// given accuracy; else estimated), and the robust solve. With `quality`
// also the fit's quality figures.
SimilarityFit FitControlPoints(const ControlPoints& points, double scale,
                               double accuracy_m, bool quality);

}  // namespace geoanchor

#endif  // GEOANCHOR_FIT_FIT_POLICY_H_
