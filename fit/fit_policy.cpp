#include "fit/fit_policy.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/fit_rules.h"
#include "fit/similarity_fit.h"
#include "grid/projection.h"

namespace geoanchor {

// RMS distance of the targets from their centroid, metres, over the
// points whose `use` is true (all of them when none is).
double TargetSpreadM(const std::vector<Point2>& target,
                     const std::vector<bool>& use) {
  const bool all = use.size() != target.size() ||
                   std::find(use.begin(), use.end(), true) == use.end();
  double cx = 0.0, cy = 0.0, n = 0.0;
  for (size_t i = 0; i < target.size(); ++i) {
    if (!all && !use[i]) continue;
    cx += target[i].x;
    cy += target[i].y;
    n += 1.0;
  }
  cx /= n;
  cy /= n;
  double sum_sq_m2 = 0.0;
  for (size_t i = 0; i < target.size(); ++i) {
    if (!all && !use[i]) continue;
    const Point2& t = target[i];
    sum_sq_m2 += (t.x - cx) * (t.x - cx) + (t.y - cy) * (t.y - cy);
  }
  return std::sqrt(sum_sq_m2 / n);
}

AccuracyEstimate WeightedSigmaZero(const std::vector<double>& r_m,
                                   const std::vector<bool>& use, double loss_m,
                                   bool free_scale) {
  AccuracyEstimate e;
  const double unknowns = SimilarityUnknowns(free_scale);
  double wss_m2 = 0.0, sum_w = 0.0, kept = 0.0;
  for (size_t i = 0; i < r_m.size(); ++i) {
    if (i < use.size() && !use[i]) continue;
    if (!std::isfinite(r_m[i])) continue;
    const double w = CauchyWeight(r_m[i], loss_m);
    wss_m2 += w * r_m[i] * r_m[i];
    sum_w += w;
    if (w >= kOutlierWeight) kept += 1.0;
  }
  e.redundancy = 2.0 * kept - unknowns;
  if (2.0 * sum_w - unknowns > 0.0) {
    e.sigma_m = std::sqrt(wss_m2 / (2.0 * sum_w - unknowns));
  }
  return e;
}

AccuracyChoice ChooseAccuracy(const AccuracyEstimate& e, double spread_m,
                              double accuracy_flag_m) {
  AccuracyChoice c;
  c.estimate_m = e.sigma_m;
  c.spread_m = spread_m;
  if (AccuracyGiven(accuracy_flag_m)) {
    c.accuracy_m = accuracy_flag_m;
    return c;
  }
  if (!(e.redundancy >= kMinAccuracyRedundancy) ||
      !(e.sigma_m > kSurveyGradeAccuracyM)) {
    return c;
  }
  if (e.sigma_m > kDisagreementShare * spread_m) {
    c.lists_disagree = true;
    return c;
  }
  c.accuracy_m = e.sigma_m;
  c.estimated = true;
  return c;
}

std::vector<size_t> AgreeingWithout(const std::vector<Point2>& from,
                                    const std::vector<Point2>& to, double scale,
                                    double m_per_unit, double limit_m) {
  std::vector<size_t> out;
  const size_t n = from.size();
  if (n < 3 || n > kMaxUnlocatedPoints) return out;
  std::vector<double> w(n, 1.0);
  for (size_t i = 0; i < n; ++i) {
    w[i] = 0.0;
    PlaneSimilarity rest;
    bool agrees = FitClosedForm(from, to, w, scale, &rest);
    for (size_t k = 0; k < n && agrees; ++k) {
      if (k == i) continue;
      const Point2 d = rest.Deviation(from[k], to[k]);
      agrees = DeviationLength(d.x, d.y) * m_per_unit <= limit_m;
    }
    if (agrees) out.push_back(i);
    w[i] = 1.0;
  }
  return out;
}

double UnlocatableAccuracyM(const ControlPoints& points, double scale,
                            const GridJudgement& grid, double accuracy_flag_m) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const size_t n = std::min(points.source.size(), points.target.size());
  const double unknowns = SimilarityUnknowns(IsFreeScale(scale));
  const double redundancy = 2.0 * static_cast<double>(n) - unknowns;
  if (AccuracyGiven(accuracy_flag_m) || grid.in_grid || !(redundancy > 0.0) ||
      !(redundancy < kMinAccuracyRedundancy)) {
    return nan;
  }
  PlaneSimilarity ls;
  if (!FitClosedForm(PlanePoints(points.source), points.target, {}, scale,
                     &ls)) {
    return nan;
  }
  double largest_m = 0.0, sum_m2 = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const Point2 d = ls.Deviation({points.source[i].x, points.source[i].y},
                                  points.target[i]);
    const double r_m = DeviationLength(d.x, d.y);
    largest_m = std::max(largest_m, r_m);
    sum_m2 += r_m * r_m;
  }
  if (!(largest_m > kCoarseAccuracyM) || !(largest_m <= kCoarseMisfitM) ||
      !(largest_m <= kCoarseMisfitShare * TargetSpreadM(points.target, {}))) {
    return nan;
  }
  // Four points whose blunder one leaving out locates (the rest of three
  // agree to a survey's centimetres) are no coarse picks: three agree
  // only exactly, whichever is left out.
  if (AgreeingWithout(PlanePoints(points.source), points.target, scale, 1.0,
                      kCoarseAccuracyM)
          .size() == 1) {
    return nan;
  }
  return std::sqrt(sum_m2 / redundancy);
}

double ChooseLossScale(const ControlPoints& points, const Consensus& consensus,
                       double scale, double accuracy_m) {
  if (AccuracyGiven(accuracy_m)) {
    return LossScaleForAccuracy(accuracy_m);
  }
  const size_t n = points.source.size();
  if (!consensus.found || consensus.inlier.size() != n ||
      points.target.size() != n || points.geodetic.size() != n) {
    return kCauchyScaleM;
  }
  // The fit's own deviations hold the projection's distortion on top of
  // the survey's: survey grade by them is survey grade.
  if (!(consensus.redundancy >= kMinAccuracyRedundancy) ||
      !(consensus.sigma > kSurveyGradeAccuracyM)) {
    return kCauchyScaleM;
  }
  // Otherwise judge the survey deviations of the consensus's similarity.
  SimilarityFit at_consensus;
  at_consensus.similarity = consensus.similarity.InModelForm();
  at_consensus.free_scale = IsFreeScale(scale);
  at_consensus.loss_scale_m = LossScaleForAccuracy(consensus.sigma);
  at_consensus.consensus_inlier = consensus.inlier;
  at_consensus.deviations =
      ComputeDeviations(at_consensus, points.source, points.target);
  for (const Point2& dev : at_consensus.deviations) {
    at_consensus.residuals_m.push_back(DeviationLength(dev.x, dev.y));
  }
  const SurveyJudgement survey = JudgeSurvey(points, at_consensus);
  // The consensus's inliers were cut on the fit's deviations, which hold
  // the projection's distortion: cut them again on the survey's, at
  // kInlierSigmas of their median scatter, before their plain sigma.
  std::vector<double> inlier_sq_m2;
  for (size_t i = 0; i < n; ++i) {
    if (consensus.inlier[i]) {
      inlier_sq_m2.push_back(survey.survey_m[i] * survey.survey_m[i]);
    }
  }
  const double cut_m = std::max(
      kBlunderM, kInlierSigmas * std::sqrt(Median(std::move(inlier_sq_m2)) /
                                           kChi2MedianTwoDof));
  std::vector<bool> use = consensus.inlier;
  for (size_t i = 0; i < n; ++i) {
    use[i] = use[i] && survey.survey_m[i] <= cut_m;
  }
  const AccuracyChoice choice =
      ChooseAccuracy(WeightedSigmaZero(survey.survey_m, use, INFINITY,
                                       at_consensus.free_scale),
                     TargetSpreadM(points.target, use), 0.0);
  return LossScaleForAccuracy(choice.accuracy_m);
}

SimilarityFit FitControlPoints(const ControlPoints& points, double scale,
                               double accuracy_m, bool quality) {
  // The similarity most points agree on, and the loss their accuracy calls
  // for, before the solve.
  const bool accuracy_given = AccuracyGiven(accuracy_m);
  const size_t n = points.source.size();
  // A few points in their national grid: the grid tells their accuracy and
  // their blunders point by point, where the points among themselves
  // cannot (each pair of three fits exactly).
  GridJudgement grid;
  if (n <= kGridAccuracyPoints) {
    grid =
        JudgeAgainstGrid(points, accuracy_given ? accuracy_m : 0.0,
                         accuracy_given ? BlunderThresholdM(accuracy_m) : 0.0);
  }
  const double fit_accuracy_m = accuracy_given ? accuracy_m
                                : grid.in_grid ? grid.accuracy_m
                                               : 0.0;
  const double blunder_m =
      fit_accuracy_m > 0.0 ? BlunderThresholdM(fit_accuracy_m) : kBlunderM;
  const std::vector<Point2> drawing = PlanePoints(points.source);
  Consensus consensus = FindConsensus(drawing, points.target, scale, blunder_m);
  bool keep_consensus = false;
  const size_t wrong = static_cast<size_t>(
      std::count(grid.wrong.begin(), grid.wrong.end(), true));
  if (grid.in_grid && grid.wrong.size() == n && !grid.undecided && wrong > 0 &&
      n - wrong >= 2) {
    std::vector<bool> inlier(n);
    for (size_t i = 0; i < n; ++i) inlier[i] = !grid.wrong[i];
    if (inlier != consensus.inlier) {
      const Consensus located =
          ConsensusOf(drawing, points.target, scale, inlier);
      if (located.found) {
        consensus = located;
        keep_consensus = true;
      }
    }
  }
  FitOptions options;
  options.loss_scale_m =
      ChooseLossScale(points, consensus, scale, fit_accuracy_m);
  // Too few points in no grid to tell a blunder from coarse picks: none is
  // set aside, as least squares sets none.
  if (n <= kGridAccuracyPoints &&
      std::isfinite(UnlocatableAccuracyM(points, scale, grid, accuracy_m))) {
    const Consensus all =
        ConsensusOf(drawing, points.target, scale, std::vector<bool>(n, true));
    if (all.found) {
      consensus = all;
      keep_consensus = true;
      options.loss_scale_m = kLeastSquaresLossM;
    }
  }
  options.quality = quality;
  options.consensus = &consensus;
  options.keep_consensus = keep_consensus;
  options.blunder_m =
      BlunderThresholdM(options.loss_scale_m / kLossScalePerAccuracy);
  return FitSimilarity(points.source, points.target, scale, options);
}

}  // namespace geoanchor
