// Blunders: points far beyond the survey's accuracy, alone, in exchanged
// pairs, too many to be blunders, or not to be located; and what one
// point does to the fit (leverage), and the check points.
#include <algorithm>
#include <cmath>
#include <utility>

#include "common/fixed_text.h"
#include "common/numbers.h"
#include "diagnosis/context.h"
#include "fit/plane_similarity.h"
#include "fit/similarity_fit.h"

namespace geoanchor {

std::vector<std::pair<size_t, size_t>> ExchangedPairsOf(
    const ControlPoints& points, const SimilarityFit& fit,
    const SurveyJudgement& survey, const std::vector<bool>& outlier) {
  std::vector<size_t> candidates;
  for (size_t i = 0; i < outlier.size(); ++i) {
    if (outlier[i]) candidates.push_back(i);
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [&](size_t a, size_t b) {
                     return survey.survey_m[a] > survey.survey_m[b];
                   });
  if (candidates.size() > kMaxPairedOutliers) {
    candidates.resize(kMaxPairedOutliers);
  }
  // How far drawing point i lies from where the other target puts it:
  // with a projection the survey's measure, as the original reading's, so
  // that a big site's distortion does not count; without one, from where
  // the fit puts it (its own target minus its deviation).
  const Projection& projection = survey.projection;
  const bool projected =
      projection.kind != ProjectionKind::kNone && !projection.web_map;
  const double m_per_unit = std::fabs(fit.similarity.K());
  auto at_other = [&](size_t i, size_t other) {
    if (projected) {
      const Point2 q = DrawingPositionOf(projection, points.geodetic[other].x,
                                         points.geodetic[other].y);
      return DeviationLength(q.x - points.source[i].x,
                             q.y - points.source[i].y) *
             m_per_unit;
    }
    const Point2& t = points.target[other];
    const Point2& own = points.target[i];
    const Point2& d = fit.deviations[i];
    return DeviationLength(t.x - own.x + d.x, t.y - own.y + d.y);
  };
  std::vector<bool> paired(outlier.size(), false);
  std::vector<std::pair<size_t, size_t>> pairs;
  for (size_t a = 0; a < candidates.size(); ++a) {
    const size_t i = candidates[a];
    if (paired[i]) continue;
    size_t partner = i;
    double partner_m = kWarningM;
    for (size_t b = a + 1; b < candidates.size(); ++b) {
      const size_t j = candidates[b];
      if (paired[j]) continue;
      const double worse_m = std::max(at_other(i, j), at_other(j, i));
      if (worse_m < partner_m) {
        partner = j;
        partner_m = worse_m;
      }
    }
    if (partner == i) continue;
    paired[i] = paired[partner] = true;
    pairs.emplace_back(std::min(i, partner), std::max(i, partner));
  }
  return pairs;
}

namespace {

// The check residuals of the survey: with a projection, each point against
// the similarity of the others between the drawing and the projected
// positions (metres), so that the projection's distortion does not count;
// without one, the fit's own.
std::vector<CheckResidual> SurveyChecks(const Context& c) {
  const SimilarityFit& fit = *c.fit;
  if (!c.projected || c.web_map || !fit.quality.computed) {
    return fit.quality.checks;
  }
  const std::vector<Point2> drawing = PlanePoints(c.points->source);
  std::vector<Point2> projected_m(c.n);
  for (size_t i = 0; i < c.n; ++i) {
    projected_m[i] =
        ProjectGeodetic(c.survey.projection.tm, c.points->geodetic[i].x,
                        c.points->geodetic[i].y);
  }
  const RobustSimilarity all = FitRobustFromConsensus(
      drawing, projected_m, 0.0, fit.loss_scale_m, c.blunder_m);
  if (!all.ok) return {};
  return RobustCheckResiduals(drawing, projected_m, 0.0, fit.loss_scale_m,
                              all.similarity);
}

// The points whose leaving out leaves a rest that agrees within the
// blunder threshold of the given accuracy, or of survey grade (so few
// points cannot estimate theirs), and that threshold; against the
// projected positions where there is a projection, so that its
// distortion does not count.
std::vector<size_t> Unlocated(const Context& c, double* limit_m) {
  *limit_m = BlunderThresholdM(AccuracyGiven(c.accuracy_flag_m)
                                   ? c.accuracy_flag_m
                                   : kSurveyGradeAccuracyM);
  const std::vector<Point2> from = PlanePoints(c.points->source);
  std::vector<Point2> to = c.points->target;
  double rest_scale = c.scale;
  if (c.projected && !c.web_map) {
    for (size_t i = 0; i < c.n; ++i) {
      to[i] = ProjectGeodetic(c.survey.projection.tm, c.points->geodetic[i].x,
                              c.points->geodetic[i].y);
    }
    rest_scale = 0.0;  // drawing units to metres
  }
  return AgreeingWithout(from, to, rest_scale, 1.0, *limit_m);
}

// "point 3 lies 0.500 m from its projected position": with a projection
// the survey's own measure, named as such.
Message Off(const Context& c, size_t i) {
  const Message r = Metres(c.survey.survey_m[i]);
  return PointName(*c.points, i) +
         (c.projected && !c.web_map
              ? Message{" lies " + r.en + " from its projected position",
                        " 距其投影位置 " + r.zh}
              : Message{" deviates by " + r.en, " 的偏差为 " + r.zh});
}

}  // namespace

void JudgeNotConverged(const Context& c, Findings* out) {
  const SolverOutcome& solver = c.fit->solver;
  if (c.one_place || solver.termination == "CONVERGENCE") return;
  const std::string termination = solver.termination;
  const std::string iterations = std::to_string(solver.iterations);
  out->push_back(MakeFinding(
      {},
      Message{"the solver stopped without converging (" + termination +
                  " after " + iterations +
                  " iterations), so the matrix is no solution: check "
                  "that each drawing point and its target belong "
                  "together",
              "求解器未收敛即停止（" + termination + "，迭代 " + iterations +
                  " 次），因此该矩阵不是解：请检查每个图纸点与其目标点"
                  "是否对应"}));
}

// Points far beyond the survey's accuracy: the fit is of points that do
// not belong together.
void JudgeMostPointsOutliers(const Context& c, Findings* out) {
  if (c.one_place) return;
  const Message remedy{
      ": the drawing points and the targets do not belong together; check "
      "that both lists hold the same points in the same order",
      "：图纸点与目标点不对应；请检查两个列表是否按相同顺序列出相同的点"};
  const std::string share =
      FormatDouble("%.0f", 100.0 * kDisagreementShare) + " %";
  const Message spread = Metres(c.accuracy.spread_m);
  if (c.accuracy.lists_disagree) {
    const Message agree = Metres(c.accuracy.estimate_m);
    out->push_back(MakeFinding(
        {}, Message{"the points agree only to " + agree.en +
                        " (one coordinate, one sigma) against a spread of " +
                        spread.en + ", more than " + share,
                    "这些点的符合精度仅为 " + agree.zh +
                        "（单个坐标的中误差），超过点位分布范围 " + spread.zh +
                        " 的 " + share} +
                remedy));
  } else if (std::isfinite(c.disagreeing_median_m)) {
    const std::string outliers = std::to_string(c.unexplained_outliers);
    const std::string n = std::to_string(c.n);
    const Message median = Metres(c.disagreeing_median_m);
    out->push_back(MakeFinding(
        {}, Message{outliers + " of " + n +
                        " points are outliers, with a median deviation of " +
                        median.en + " against a spread of " + spread.en,
                    n + " 个点中有 " + outliers + " 个是粗差点，偏差中位数为 " +
                        median.zh + "，而分布范围为 " + spread.zh} +
                remedy));
  }
}

// A blunder that the points cannot locate: leaving out any of several
// points leaves a rest that agrees, so no one of them is the outlier. Only
// for unexplained outliers among points whose fit means something, and
// not where the drawing's grid locates the blunder itself.
void JudgeBlunderUnlocated(const Context& c, Findings* out) {
  if (c.unexplained_outliers == 0 || c.Unrelated() ||
      std::isfinite(c.unlocatable_m) || c.grid_locates) {
    return;
  }
  double limit_m = 0.0;
  const std::vector<size_t> agreeing = Unlocated(c, &limit_m);
  if (agreeing.size() < 2) return;
  std::vector<int> named;
  double misfit_m = 0.0;
  for (double r_m : c.survey.survey_m) misfit_m = std::max(misfit_m, r_m);
  for (size_t i : agreeing) named.push_back(c.Position(i));
  const Message misfit = Metres(misfit_m), limit = Metres(limit_m);
  const Message list = PointList(*c.points, named);
  Finding f = MakeFinding(
      named,
      Message{"the points disagree by up to " + misfit.en +
                  ", beyond the blunder threshold of " + limit.en +
                  ", but leaving out any one of " + list.en +
                  " leaves points that agree, so the blunder cannot be "
                  "located: check every point, or add one more control point",
              "这些点的不符值最大为 " + misfit.zh + "，超过粗差限值 " +
                  limit.zh + "，但去掉" + list.zh +
                  " 中的任何一个后，其余的点都相符，因此无法定位粗差："
                  "请检查每个点，或再加一个控制点"});
  for (size_t i = 0; i < c.n; ++i) f.explains.push_back(c.Position(i));
  out->push_back(f);
}

// Text of the lists the input stage passed over: the fit lacks points.
void JudgeIgnoredInput(const Context& c, Findings* out) {
  for (const Message& message : c.points->ignored_input) {
    out->push_back(MakeFinding({}, message));
  }
}

void JudgeExchangedPairs(const Context& c, Findings* out) {
  for (const auto& pair : c.pairs) {
    const size_t i = pair.first, j = pair.second;
    const Message both = PointList(*c.points, {c.Position(i), c.Position(j)});
    const Message ri = Metres(c.survey.survey_m[i]);
    const Message rj = Metres(c.survey.survey_m[j]);
    out->push_back(MakeFinding(
        {c.Position(i), c.Position(j)},
        Message{"the targets of " + both.en +
                    " fit each other's drawing points (both deviate by " +
                    ri.en + " and " + rj.en +
                    " as given): exchange the targets of " + both.en,
                both.zh + " 的目标点与对方的图纸点吻合（原样偏差分别为 " +
                    ri.zh + " 和 " + rj.zh + "）：请交换" + both.zh +
                    " 的目标点"}));
  }
}

void JudgeOutlier(const Context& c, Findings* out) {
  for (size_t i = 0; i < c.n; ++i) {
    if (!c.outlier[i]) continue;
    out->push_back(MakeFinding(
        {c.Position(i)},
        Off(c, i) + Message{" and is an outlier: check its drawing "
                            "coordinates and its WGS84 position",
                            "，是粗差点：请检查其图纸坐标和 WGS84 坐标"}));
  }
}

void JudgeLargeDeviation(const Context& c, Findings* out) {
  for (size_t i = 0; i < c.n; ++i) {
    if (c.outlier[i] || !(c.survey.survey_m[i] > c.large_m)) continue;
    out->push_back(MakeFinding(
        {c.Position(i)},
        Off(c, i) + Message{" but is not flagged as an outlier: check its "
                            "coordinates, or accept a survey that coarse",
                            "，但未判为粗差点：请检查其坐标，或接受如此粗略的"
                            "测量"}));
  }
}

void JudgeLeverage(const Context& c, Findings* out) {
  // Points too few to tell a blunder from coarse picks tell no leverage
  // either; their finding says so.
  if (std::isfinite(c.unlocatable_m)) return;
  const GridJudgement& g = c.grid;
  const std::vector<CheckResidual> checks = SurveyChecks(c);
  for (size_t i = 0; i < c.n && i < checks.size(); ++i) {
    if (!checks[i].available) continue;
    // The drawing's grid checks a point the others cannot.
    if (g.in_grid && !g.undecided && i < g.wrong.size() && !g.wrong[i]) {
      continue;
    }
    const double r_m = c.survey.survey_m[i], check_m = checks[i].length_m;
    if (!(check_m > c.large_m && r_m < 0.5 * check_m)) continue;
    const Message r = Metres(r_m), check = Metres(check_m);
    out->push_back(MakeFinding(
        {c.Position(i)},
        PointName(*c.points, i) +
            Message{" deviates by " + r.en + " but by " + check.en +
                        " when left out, so it may hold the solution to "
                        "itself: check it, or add control points near it",
                    " 的偏差为 " + r.zh + "，但去掉它时为 " + check.zh +
                        "，因此它可能把解拉向自己：请检查该点，或在其附近"
                        "增加控制点"}));
  }
}

// A check point off the matrix, judged as the fitted points are.
void JudgeCheckPointOff(const Context& c, Findings* out) {
  const CheckPoints& points = c.points->check;
  const CheckPointJudgement& check = c.check_points;
  for (size_t k = 0; k < check.survey_m.size(); ++k) {
    if (!(check.survey_m[k] > c.large_m)) continue;
    const std::string name = NameOrPosition(points.names, points.positions, k);
    const Message off = Metres(check.survey_m[k]), limit = Metres(c.large_m);
    out->push_back(MakeFinding(
        {InputPosition(points.positions, k)},
        Message{"check point " + name, "检查点 " + name} +
            (c.projected
                 ? Message{" lies " + off.en + " from its projected position",
                           " 在不含它拟合的矩阵下距其投影位置 " + off.zh}
                 : Message{" deviates by " + off.en,
                           " 在不含它拟合的矩阵下偏差为 " + off.zh}) +
            Message{" under the matrix fitted without it, more than " +
                        limit.en +
                        ": check its drawing coordinates and its WGS84 "
                        "position; if both are right, the control points do "
                        "not hold the drawing there, so add control points "
                        "near it",
                    "，超过 " + limit.zh +
                        "：请检查其图纸坐标和 WGS84 坐标；如果两者都正确，"
                        "说明控制点在该处控制不住图纸，请在其附近增加控制点"}));
  }
}

}  // namespace geoanchor
