// The shared measurements of the diagnosis, and the texts every rule
// writes.
#include "diagnosis/context.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "common/fixed_text.h"
#include "common/numbers.h"
#include "fit/plane_similarity.h"
#include "fit/similarity_fit.h"
#include "geodesy/web_map.h"

namespace geoanchor {

Message Metres(double v) {
  if (!std::isfinite(v)) return Message{"more than 1e308 m", "超过 1e308 m"};
  return Same(FormatDouble("%.3f", v) + " m");
}

Message PointName(const ControlPoints& points, size_t index) {
  return PointCalled(NameOrPosition(points.names, points.positions, index));
}

namespace {

// The fitted point at input position `p` (positions ascend with the
// index).
size_t IndexAt(const ControlPoints& points, int p) {
  if (points.positions.empty()) return static_cast<size_t>(p - 1);
  return static_cast<size_t>(
      std::lower_bound(points.positions.begin(), points.positions.end(), p) -
      points.positions.begin());
}

// A column's header text where a table named it, else `otherwise`.
Message ColumnOr(const ControlPoints& points, const std::string& column,
                 Message otherwise) {
  return points.table.read && !column.empty() ? Same(column)
                                              : std::move(otherwise);
}

}  // namespace

Message PointList(const ControlPoints& points, const std::vector<int>& named) {
  if (named.size() == 1) return PointName(points, IndexAt(points, named[0]));
  const std::string count = std::to_string(named.size());
  if (named.size() > 5) return Message{count + " points", count + " 个点"};
  Message text{"points ", "点 "};
  for (size_t i = 0; i < named.size(); ++i) {
    if (i != 0) {
      text += i + 1 == named.size() ? Message{" and ", " 和 "}
                                    : Message{", ", "、"};
    }
    text = text + NameOrPosition(points.names, points.positions,
                                 IndexAt(points, named[i]));
  }
  return text;
}

Message EastingName(const ControlPoints& points) {
  return ColumnOr(points, points.table.easting_column,
                  Message{"easting", "东坐标"});
}

Message NorthingName(const ControlPoints& points) {
  return ColumnOr(points, points.table.northing_column,
                  Message{"northing", "北坐标"});
}

Message WebMapDatumText(WebMapDatum datum) {
  const std::string code = WebMapDatumName(datum);
  return Message{code,
                 (datum == WebMapDatum::kGcj02 ? "火星坐标（" : "百度坐标（") +
                     code + "）"};
}

namespace {

// How far the fit's scale and angle lie from the grid's, and how far the
// datum and the points' accuracy let them: five standard deviations of
// what the points the fit rests on fix (sigma / sqrt(sum of their squared
// distances from their centroid, weighted by the fit's weights), metres).
void MeasureFitAgainstGrid(Context* c) {
  const SimilarityFit& fit = *c->fit;
  const GridJudgement& g = c->grid;
  if (!std::isfinite(g.K) || !std::isfinite(fit.similarity.K()) ||
      fit.similarity.K() == 0.0)
    return;
  // A negative K is a half turn more.
  c->grid_angle_off_rad =
      std::remainder(fit.similarity.angle_rad() +
                         (fit.similarity.K() < 0.0 ? kPi : 0.0) - g.angle_rad,
                     2.0 * kPi);
  c->grid_scale_off = std::fabs(fit.similarity.K()) / g.K - 1.0;
  // The points weighted as the fit weighs them: a far point it follows
  // fixes its scale and angle however wrong it is.
  const auto weight = [&](size_t i) {
    return i < fit.weights.size() ? fit.weights[i] : (c->inlier[i] ? 1.0 : 0.0);
  };
  double sx = 0.0, sy = 0.0, count = 0.0;
  for (size_t i = 0; i < c->n; ++i) {
    sx += weight(i) * c->points->source[i].x;
    sy += weight(i) * c->points->source[i].y;
    count += weight(i);
  }
  if (!(count >= 1.5)) return;
  sx /= count;
  sy /= count;
  double sum_m2 = 0.0;
  for (size_t i = 0; i < c->n; ++i) {
    const double dx = c->points->source[i].x - sx;
    const double dy = c->points->source[i].y - sy;
    sum_m2 += weight(i) * (dx * dx + dy * dy) * fit.similarity.K() *
              fit.similarity.K();
  }
  const double open = 5.0 * c->accuracy.accuracy_m / std::sqrt(sum_m2);
  c->grid_scale_limit = kDatumScale + open;
  c->grid_angle_limit_rad = kDatumRotationRad + open;
}

}  // namespace

Context MakeContext(const ControlPoints& points, const SimilarityFit& fit,
                    double scale, double accuracy_flag_m, bool full,
                    const SceneMatrix* scene) {
  Context c;
  c.scene = scene;
  c.points = &points;
  c.fit = &fit;
  c.scale = scale;
  c.accuracy_flag_m = accuracy_flag_m;
  c.n = points.source.size();
  const size_t n = c.n;
  c.survey = JudgeSurvey(points, fit);
  c.check_points = JudgeCheckPoints(points.check, fit, c.survey.projection);
  c.projected = c.survey.projection.kind != ProjectionKind::kNone;
  c.web_map = c.projected && c.survey.projection.web_map;
  c.inlier = fit.consensus_inlier;
  if (c.inlier.size() != n) c.inlier.assign(n, true);

  // The points' accuracy from their survey deviations, and the thresholds
  // that follow it.
  c.accuracy =
      ChooseAccuracy(WeightedSigmaZero(c.survey.survey_m, {}, fit.loss_scale_m,
                                       fit.free_scale),
                     TargetSpreadM(points.target, c.inlier), accuracy_flag_m);
  // A few points in their national grid: their accuracy from the grid
  // deviations, where every point counts, as the fit took it.
  const bool grid_judged =
      n <= kGridAccuracyPoints && !AccuracyGiven(accuracy_flag_m);
  if (grid_judged) {
    c.grid = JudgeAgainstGrid(points, 0.0, 0.0);
    if (c.grid.in_grid) {
      c.accuracy.accuracy_m = c.grid.accuracy_m;
      c.accuracy.estimate_m = c.grid.accuracy_m;
      c.accuracy.estimated = c.grid.accuracy_m > kSurveyGradeAccuracyM;
      c.accuracy.lists_disagree = false;
    }
    // Few points in no grid that coarse picks may explain: the fit took
    // them as least squares, and they are judged at the accuracy they
    // agree to.
    c.unlocatable_m =
        UnlocatableAccuracyM(points, scale, c.grid, accuracy_flag_m);
    if (std::isfinite(c.unlocatable_m)) {
      c.accuracy.accuracy_m = std::max(c.unlocatable_m, kSurveyGradeAccuracyM);
      c.accuracy.estimate_m = c.unlocatable_m;
      c.accuracy.estimated = c.unlocatable_m > kSurveyGradeAccuracyM;
      c.accuracy.lists_disagree = false;
    }
  }
  c.blunder_m = BlunderThresholdM(c.accuracy.accuracy_m);
  c.large_m = LargeDeviationThresholdM(c.accuracy.accuracy_m);
  c.outlier.resize(n);
  size_t outliers = 0;
  for (size_t i = 0; i < n; ++i) {
    // Blunders of the survey: a survey deviation above both 0.15 m and
    // five times the points' accuracy (without a projection, the fit's
    // own deviation).
    c.survey.blunder[i] = c.survey.survey_m[i] > c.blunder_m;
    c.outlier[i] = c.survey.blunder[i];
    outliers += c.outlier[i];
  }

  // The drawing's spread, closed form: all points at one place (relative
  // to the size of their coordinates) fix no rotation and no scale.
  double major = 0.0, minor = 0.0, largest_coordinate = 0.0;
  PrincipalSpreads(points.source, &major, &minor);
  for (const Point3& s : points.source) {
    largest_coordinate =
        std::max({largest_coordinate, std::fabs(s.x), std::fabs(s.y)});
  }
  c.one_place = !(major > 1e-12 * largest_coordinate);

  // Another reading of the input that fits ten times better explains the
  // fit's failure; it is only tried when the fit misses most points by
  // decimetres.
  const double fit_median_m = Median(fit.residuals_m);
  if (!c.one_place && (fit_median_m > kWarningM ||
                       (n <= kFewReadingPoints && fit.rms_m > kWarningM))) {
    c.exchange = FindExchange(points, fit, scale, fit_median_m);
  }
  size_t explained_outliers = 0;
  if (c.exchange.found) {
    for (size_t i = 0; i < n; ++i) {
      if (c.exchange.residuals_m[i] > kWarningM) continue;
      c.explained.push_back(c.Position(i));
      explained_outliers += c.outlier[i];
    }
  } else {
    if (outliers >= 2) {
      c.pairs = ExchangedPairsOf(points, fit, c.survey, c.outlier);
    }
    c.zone_slips = FindZoneSlips(points, c.survey,
                                 std::fabs(fit.similarity.K()), c.blunder_m);
  }
  c.unexplained_outliers = outliers - 2 * c.pairs.size() - explained_outliers;

  // Half the points or more outliers, far beyond the survey's accuracy.
  if (!c.one_place && c.unexplained_outliers > 0 &&
      2 * c.unexplained_outliers >= n) {
    std::vector<bool> accounted(n, false);
    for (size_t i = 0; i < n && c.exchange.found; ++i) {
      accounted[i] = !(c.exchange.residuals_m[i] > kWarningM);
    }
    for (const auto& pair : c.pairs) {
      accounted[pair.first] = accounted[pair.second] = true;
    }
    std::vector<double> deviations_m;
    for (size_t i = 0; i < n; ++i) {
      if (c.outlier[i] && !accounted[i]) {
        deviations_m.push_back(c.survey.survey_m[i]);
      }
    }
    const double median_m = Median(std::move(deviations_m));
    if (median_m > kDisagreementShare * c.accuracy.spread_m) {
      c.disagreeing_median_m = median_m;
    }
  }

  // The drawing against its national grid: it locates the blunder of
  // three points or fewer, which the points cannot among themselves, and
  // fixes the similarity the fit must find.
  if (!grid_judged) {
    c.grid = JudgeAgainstGrid(points, c.accuracy.accuracy_m, c.blunder_m);
  }
  const GridJudgement& grid = c.grid;
  if (grid.in_grid && grid.wrong.size() == n) {
    MeasureFitAgainstGrid(&c);
    // A few points in their grid are judged by it point by point.
    c.grid_locates = grid_judged;
    if (n <= 3 && !grid.undecided &&
        std::count(grid.wrong.begin(), grid.wrong.end(), true) > 0) {
      c.grid_locates = true;
      for (size_t i = 0; i < n; ++i) {
        c.outlier[i] = c.survey.blunder[i] = grid.wrong[i];
      }
    }
  }

  if (scene != nullptr) c.scene_judgement = JudgeAgainstScene(c);

  if (full) {
    c.heights = DiagnoseHeights(points);
    if (c.projected && !c.Unrelated() && !c.exchange.found) {
      c.hold = ComputeMatrixHold(points, fit, c.survey);
    }
  }
  return c;
}

}  // namespace geoanchor
