#include "diagnosis/diagnosis.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "common/fixed_text.h"
#include "common/numbers.h"
#include "fit/plane_similarity.h"
#include "fit/similarity_fit.h"
#include "geodesy/geodetic_converter.h"

namespace {

// Mean radius of the earth (IUGG R1), metres: the drop below a tangent
// plane is a figure, not a measurement, and this radius is good to 0.3 %.
constexpr double kEarthRadiusM = 6371008.8;

// Scale of the Cauchy loss of the height plane, metres, as for the fit.
constexpr double kHeightCauchyScaleM = 0.05;

// A distance in a message; an overflowed one is said in words, so no "inf"
// reaches a reader.
std::string Metres(double v) {
  if (!std::isfinite(v)) return "more than 1e308 m";
  return FormatDouble("%.3f", v) + " m";
}

// "point K7" by its name in the table, else "point 7" by its position.
std::string PointName(const ControlPoints& points, size_t index) {
  return "point " + NameOrPosition(points.names, points.positions, index);
}

// "points 1, 2 and K5" for up to five points (`named`: indices + 1), else
// "7 points".
std::string PointList(const ControlPoints& points,
                      const std::vector<int>& named) {
  if (named.size() == 1) return PointName(points, named[0] - 1);
  if (named.size() > 5) return std::to_string(named.size()) + " points";
  std::string text = "points ";
  for (size_t i = 0; i < named.size(); ++i) {
    if (i != 0) text += i + 1 == named.size() ? " and " : ", ";
    text += NameOrPosition(points.names, points.positions, named[i] - 1);
  }
  return text;
}

Finding MakeFinding(FindingCode code, std::vector<int> points,
                    std::string message, bool bad) {
  Finding f;
  f.code = code;
  f.points = std::move(points);
  f.message = std::move(message);
  f.bad = bad;
  return f;
}

// The median of the fit's own deviations over the points in `index`,
// metres: what most points miss by, whatever a few blunders do.
double MedianOver(const SimilarityFit& fit, const std::vector<size_t>& index) {
  std::vector<double> r_m;
  r_m.reserve(index.size());
  for (size_t i : index) r_m.push_back(fit.residuals_m[i]);
  return Median(std::move(r_m));
}

// The other readings of an input.
enum class ReadingKind {
  kAxes,           // the drawing's x and y exchanged
  kTargetsLonLat,  // the targets' longitude and latitude exchanged
  kBaseLonLat,     // the base point's
  kBothLonLat,     // both
  kDmsAsDecimal,   // the targets' 116.234567 meaning 116 deg 23' 45.67"
};

// Another reading of the same input: the drawing points and the targets,
// in the scene's frame, of the points in `index`; false when the reading
// gives no place on earth.
struct Reading {
  ReadingKind kind;
  bool (*build)(const ControlPoints& points, const std::vector<size_t>& index,
                std::vector<Point2>* source, std::vector<Point2>* target);
};

std::vector<Point2> DrawingPoints(const ControlPoints& points,
                                  const std::vector<size_t>& index,
                                  bool exchanged) {
  std::vector<Point2> source;
  source.reserve(index.size());
  for (size_t i : index) {
    const Point3& s = points.source[i];
    source.push_back(exchanged ? Point2{s.y, s.x} : Point2{s.x, s.y});
  }
  return source;
}

// Degrees, minutes and seconds written as one decimal number, as
// surveyors do (116.234567 meaning 116°23'45.67"), in degrees; false when
// the minutes or seconds are 60 or more, so the number cannot be one.
bool FromSurveyorsDms(double v, double* deg) {
  const double a = std::fabs(v);
  const double d = std::floor(a);
  const double minutes_seconds = (a - d) * 100.0;
  const double m = std::floor(minutes_seconds);
  const double sec = (minutes_seconds - m) * 100.0;
  if (!(m < 60.0) || !(sec < 60.0)) return false;
  *deg = std::copysign(d + m / 60.0 + sec / 3600.0, v);
  return true;
}

bool Targets(const ControlPoints& points, const std::vector<size_t>& index,
             bool exchange_targets, bool exchange_base,
             std::vector<Point2>* target, bool surveyors_dms = false) {
  std::vector<Point3> geodetic;
  geodetic.reserve(index.size());
  for (size_t i : index) {
    Point3 g = points.geodetic[i];
    if (exchange_targets) std::swap(g.x, g.y);
    if (surveyors_dms &&
        (!FromSurveyorsDms(g.x, &g.x) || !FromSurveyorsDms(g.y, &g.y))) {
      return false;
    }
    if (!(std::fabs(g.y) <= 90.0)) return false;
    geodetic.push_back(g);
  }
  Point3 base = points.base_point;
  if (exchange_base) std::swap(base.x, base.y);
  if (!(std::fabs(base.y) <= 90.0)) return false;
  std::vector<double> up_m;
  ConvertTargets(points.mode, base, points.model_point, points.project_height_m,
                 geodetic, target, &up_m);
  return true;
}

std::vector<Point2> FitTargets(const ControlPoints& points,
                               const std::vector<size_t>& index) {
  std::vector<Point2> target;
  target.reserve(index.size());
  for (size_t i : index) target.push_back(points.target[i]);
  return target;
}

const Reading kReadings[] = {
    {ReadingKind::kAxes,
     [](const ControlPoints& p, const std::vector<size_t>& index,
        std::vector<Point2>* source, std::vector<Point2>* target) {
       *source = DrawingPoints(p, index, true);
       *target = FitTargets(p, index);
       return true;
     }},
    {ReadingKind::kTargetsLonLat,
     [](const ControlPoints& p, const std::vector<size_t>& index,
        std::vector<Point2>* source, std::vector<Point2>* target) {
       *source = DrawingPoints(p, index, false);
       return Targets(p, index, true, false, target);
     }},
    {ReadingKind::kBaseLonLat,
     [](const ControlPoints& p, const std::vector<size_t>& index,
        std::vector<Point2>* source, std::vector<Point2>* target) {
       *source = DrawingPoints(p, index, false);
       return Targets(p, index, false, true, target);
     }},
    {ReadingKind::kBothLonLat,
     [](const ControlPoints& p, const std::vector<size_t>& index,
        std::vector<Point2>* source, std::vector<Point2>* target) {
       *source = DrawingPoints(p, index, false);
       return Targets(p, index, true, true, target);
     }},
    {ReadingKind::kDmsAsDecimal,
     [](const ControlPoints& p, const std::vector<size_t>& index,
        std::vector<Point2>* source, std::vector<Point2>* target) {
       *source = DrawingPoints(p, index, false);
       return Targets(p, index, false, false, target, true);
     }},
};

// A reading's robust fit from its own consensus, and its RMS, metres.
struct Reweighted {
  bool ok = false;
  std::vector<double> residuals_m;
  double rms_m = 0.0;
  double median_m = 0.0;
};
Reweighted FitReading(const std::vector<Point2>& source,
                      const std::vector<Point2>& target, double scale,
                      double loss_scale_m) {
  Reweighted out;
  const RobustSimilarity r =
      FitRobustFromConsensus(source, target, scale, loss_scale_m, kBlunderM);
  if (!r.ok) return out;
  out.ok = true;
  double sum_sq_m2 = 0.0;
  for (double r_m : r.residuals_m) sum_sq_m2 += r_m * r_m;
  out.rms_m = std::sqrt(sum_sq_m2 / static_cast<double>(r.residuals_m.size()));
  out.median_m = Median(r.residuals_m);
  out.residuals_m = r.residuals_m;
  return out;
}

struct Exchange {
  bool found = false;  // false: no reading fits better
  ReadingKind kind = ReadingKind::kAxes;
  double rms_m = 0.0;
  double median_m = 0.0;
  std::vector<double> residuals_m;  // per point under that reading
};

// Up to this many points a robust fit passes exactly through most of them
// whatever the reading, so readings are judged by their RMS.
constexpr size_t kFewReadingPoints = 4;

// The reading whose robust fit misses most points by at most a tenth of
// what the fit misses them by (medians: a blunder or two move neither),
// the best of them; judged on a spread subsample first and confirmed on
// all points.
Exchange FindExchange(const ControlPoints& points, const SimilarityFit& fit,
                      double scale, double fit_median_m) {
  Exchange best;
  const size_t n = points.source.size();
  const std::vector<size_t> subsample = SpreadSubsample(n, kExchangeSubsample);
  const double subsample_median_m = MedianOver(fit, subsample);
  std::vector<size_t> all;
  for (const Reading& reading : kReadings) {
    std::vector<Point2> source, target;
    if (!reading.build(points, subsample, &source, &target)) continue;
    Reweighted r = FitReading(source, target, scale, fit.loss_scale_m);
    // A robust fit of so few points fits most of them exactly whatever
    // the reading: their RMS tells, not their median.
    const bool better = n <= kFewReadingPoints
                            ? r.rms_m <= 0.1 * fit.rms_m
                            : r.median_m <= 0.1 * subsample_median_m;
    if (!r.ok || !better) continue;
    if (subsample.size() < n) {
      if (all.empty()) {
        all.resize(n);
        for (size_t i = 0; i < n; ++i) all[i] = i;
      }
      reading.build(points, all, &source, &target);
      r = FitReading(source, target, scale, fit.loss_scale_m);
      if (!r.ok || !(r.median_m <= 0.1 * fit_median_m)) continue;
    }
    if (!best.found || r.median_m < best.median_m) {
      best.found = true;
      best.kind = reading.kind;
      best.rms_m = r.rms_m;
      best.median_m = r.median_m;
      best.residuals_m = std::move(r.residuals_m);
    }
  }
  return best;
}

// ": give the targets ... in decimal degrees": `table` as below.
std::string DmsRemedy(bool table) {
  return std::string(": give ") +
         (table ? "the table's longitudes and latitudes"
                : "the targets in DWGdespoints") +
         " in decimal degrees (degrees + minutes/60 + seconds/3600)" +
         (table ? ", or written as 116°23′45.67″" : "");
}

// `table`: the points came from a control-point table, whose columns the
// remedy names instead of the flags.
std::string ExchangeMessage(const Exchange& e, double fit_rms_m, bool table) {
  const std::string figures =
      " (RMS " + Metres(e.rms_m) + " instead of " + Metres(fit_rms_m) + ")";
  const std::string lon_lat =
      table ? "exchange the names of the lon and lat columns in the table's "
              "header"
            : "give each target in DWGdespoints longitude first, then latitude";
  if (e.kind == ReadingKind::kAxes) {
    return "the drawing points fit with x and y exchanged" + figures +
           ": surveyors' X is north and Y is east, so give each drawing point "
           "easting first (" +
           (table ? "exchange the names of the x and y columns in the table's "
                    "header)"
                  : "exchange x and y in DWGsrcpoints)");
  }
  if (e.kind == ReadingKind::kTargetsLonLat) {
    return "the targets fit with longitude and latitude exchanged" + figures +
           ": " + lon_lat;
  }
  if (e.kind == ReadingKind::kBaseLonLat) {
    return "the base point fits with longitude and latitude exchanged" +
           figures + ": give basepoint longitude first, then latitude";
  }
  if (e.kind == ReadingKind::kDmsAsDecimal) {
    return "the targets fit as degrees, minutes and seconds written as one "
           "number (116.234567 meaning 116°23′45.67″)" +
           figures + DmsRemedy(table);
  }
  if (table) {
    return "the base point and the targets fit with longitude and latitude "
           "exchanged" +
           figures + ": give basepoint longitude first, then latitude, and " +
           lon_lat;
  }
  return "the base point and the targets fit with longitude and latitude "
         "exchanged" +
         figures +
         ": give basepoint and each target in DWGdespoints longitude first, "
         "then latitude";
}

// "point 4's easting 448324.112 lacks the zone number 39: write
// 39448324.112", and the like for the other slips.
// `drawing_zone` is the drawing's own zone number.
Finding ZoneSlipFinding(const ControlPoints& points, const ZoneSlip& slip,
                        int drawing_zone) {
  const std::string point = PointName(points, slip.point);
  const std::string zone = std::to_string(drawing_zone);
  const std::string written = FormatDouble("%.3f", slip.written.x);
  std::string message;
  switch (slip.kind) {
    case ZoneSlipKind::kMissing:
      message = point + "'s easting " + written + " lacks the zone number " +
                zone + ": write " + FormatDouble("%.3f", slip.corrected.x);
      break;
    case ZoneSlipKind::kAdded:
      message = point + "'s easting " + written + " holds the zone number " +
                zone + ", which the other eastings lack: write " +
                FormatDouble("%.3f", slip.corrected.x);
      break;
    case ZoneSlipKind::kNeighbour:
      message = point + "'s coordinates " + written + ", " +
                FormatDouble("%.3f", slip.written.y) + " are zone " +
                std::to_string(slip.written_zone) +
                "'s, the neighbouring zone: the drawing is in zone " + zone +
                ", so write " + FormatDouble("%.3f", slip.corrected.x) + ", " +
                FormatDouble("%.3f", slip.corrected.y);
      break;
    case ZoneSlipKind::kOther:
      message = point + "'s easting " + written + " carries the zone number " +
                std::to_string(slip.written_zone) + " where the drawing's is " +
                zone + ": write " + FormatDouble("%.3f", slip.corrected.x);
      break;
  }
  return MakeFinding(FindingCode::kZoneNumber,
                     {static_cast<int>(slip.point + 1)}, message, false);
}

// Pairs of outliers whose targets, exchanged, both land within kWarningM
// of where the fit puts their drawing points. The largest outliers first;
// each point in one pair at most.
std::vector<std::pair<size_t, size_t>> ExchangedPairs(
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
  const double m_per_unit = std::fabs(fit.K);
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
                                   bool free_scale) {
  AccuracyEstimate e;
  const double unknowns = free_scale ? 4.0 : 3.0;
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
                              double accuracy_flag_m) {
  AccuracyChoice c;
  c.estimate_m = e.sigma_m;
  c.spread_m = spread_m;
  if (accuracy_flag_m > 0.0 && std::isfinite(accuracy_flag_m)) {
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

// With few points a blunder may have no place: the points whose leaving
// out leaves a rest that agrees within `limit_m` (every deviation of the
// rest's least-squares similarity), positions from 0. Only for up to
// kMaxUnlocatedPoints points; beyond that leaving out one good point keeps
// the blunder and the rest's redundancy shows it.
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

// Solves the 3x3 system m x = v by Gaussian elimination with partial
// pivoting; false when m is singular relative to its size.
bool Solve3(double m[3][3], double v[3], double x[3]) {
  double scale = 0.0;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) scale = std::max(scale, std::fabs(m[r][c]));
  }
  if (!(scale > 0.0)) return false;
  for (int col = 0; col < 3; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 3; ++r) {
      if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) pivot = r;
    }
    if (!(std::fabs(m[pivot][col]) > 1e-12 * scale)) return false;
    std::swap(m[col], m[pivot]);
    std::swap(v[col], v[pivot]);
    for (int r = col + 1; r < 3; ++r) {
      const double factor = m[r][col] / m[col][col];
      for (int c = col; c < 3; ++c) m[r][c] -= factor * m[col][c];
      v[r] -= factor * v[col];
    }
  }
  for (int r = 2; r >= 0; --r) {
    double sum = v[r];
    for (int c = r + 1; c < 3; ++c) sum -= m[r][c] * x[c];
    x[r] = sum / m[r][r];
  }
  return true;
}

// The height plane: (ellipsoidal height - drawing z) = c + se * east +
// sn * north, fitted with the Cauchy loss by iteratively reweighted least
// squares from the plain least-squares plane, as survey calibrations fit
// their vertical plane. The geoid's slope between a drawing's normal
// heights and the targets' ellipsoidal ones goes into the plane.
HeightDiagnosis DiagnoseHeights(const ControlPoints& points) {
  HeightDiagnosis h;
  const size_t n = points.source.size();
  if (points.mode == InputMode::kPair || n == 0) return h;
  h.available = true;
  h.flat_drawing = true;
  for (const Point3& s : points.source) {
    h.flat_drawing = h.flat_drawing && s.z == points.source[0].z;
  }
  double drop_min_m = INFINITY, drop_max_m = -INFINITY;
  for (const Point2& t : points.target) {
    const double drop_m = (t.x * t.x + t.y * t.y) / (2.0 * kEarthRadiusM);
    drop_min_m = std::min(drop_min_m, drop_m);
    drop_max_m = std::max(drop_max_m, drop_m);
  }
  h.curvature_m = drop_max_m - drop_min_m;
  if (h.flat_drawing || n < 4) return h;

  double ce = 0.0, cn = 0.0;
  for (const Point2& t : points.target) {
    ce += t.x;
    cn += t.y;
  }
  ce /= static_cast<double>(n);
  cn /= static_cast<double>(n);
  std::vector<double> v(n), w(n, 1.0);
  for (size_t i = 0; i < n; ++i)
    v[i] = points.geodetic[i].z - points.source[i].z;
  double plane[3] = {0.0, 0.0, 0.0};
  const double c2 = kHeightCauchyScaleM * kHeightCauchyScaleM;
  for (int iteration = 0; iteration < 100; ++iteration) {
    double m[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    double rhs[3] = {0, 0, 0};
    for (size_t i = 0; i < n; ++i) {
      const double row[3] = {1.0, points.target[i].x - ce,
                             points.target[i].y - cn};
      for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) m[r][c] += w[i] * row[r] * row[c];
        rhs[r] += w[i] * row[r] * v[i];
      }
    }
    double next[3];
    if (!Solve3(m, rhs, next)) return h;
    const double change_m = std::fabs(next[0] - plane[0]);
    for (int k = 0; k < 3; ++k) plane[k] = next[k];
    for (size_t i = 0; i < n; ++i) {
      const double r = v[i] - (plane[0] + plane[1] * (points.target[i].x - ce) +
                               plane[2] * (points.target[i].y - cn));
      w[i] = 1.0 / (1.0 + r * r / c2);
    }
    if (iteration > 0 && change_m < 1e-7) break;
  }
  if (!std::isfinite(plane[0] + plane[1] + plane[2])) return h;
  h.plane_fitted = true;
  h.slope_east_ppm = plane[1] * 1e6;
  h.slope_north_ppm = plane[2] * 1e6;
  h.off_plane_m.resize(n);
  for (size_t i = 0; i < n; ++i) {
    h.off_plane_m[i] = v[i] - (plane[0] + plane[1] * (points.target[i].x - ce) +
                               plane[2] * (points.target[i].y - cn));
  }
  return h;
}

}  // namespace

const char* VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::kGood:
      return "good";
    case Verdict::kCheck:
      return "check";
    case Verdict::kBad:
      return "bad";
  }
  return "bad";
}

std::string DrawingUnits(double K) {
  struct Unit {
    const char* name;
    double metres;
  };
  // The international foot; the US survey foot (1200/3937 m) is 2 ppm
  // from it and counts as "ft" too.
  static const Unit kUnits[] = {{"m", 1.0},    {"dm", 0.1},    {"cm", 0.01},
                                {"mm", 0.001}, {"km", 1000.0}, {"in", 0.0254},
                                {"ft", 0.3048}};
  for (const Unit& unit : kUnits) {
    if (std::fabs(std::fabs(K) / unit.metres - 1.0) <= kDrawingUnitShare) {
      return unit.name;
    }
  }
  return std::string();
}

namespace {

// A base point that another reading puts among the targets.
struct BaseReading {
  bool found = false;
  bool dms = false;      // read as d.mmss in one number; else lat, lon
  Point2 read_deg;       // the base point so read: lon, lat
  double given_m = 0.0;  // as given, from the targets' centre
  double read_m = 0.0;   // so read, from the targets' centre
};

// The base point as given lies beyond the targets' reach (their farthest
// from their centre, plus 5 km), while read as d.mmss in one number, or
// latitude first, it lies within their reach plus 1 km: then that is how
// it was written. A base point some kilometres from its points (a
// city-wide scene) is ordinary, and reads as neither.
BaseReading FindBaseReading(const ControlPoints& points) {
  BaseReading out;
  const size_t n = points.geodetic.size();
  if (n == 0) return out;
  double lon0 = 0.0, lat0 = 0.0;
  for (const Point3& g : points.geodetic) {
    lon0 += g.x / static_cast<double>(n);
    lat0 += g.y / static_cast<double>(n);
  }
  // Metres on a plane tangent at the targets' centre: kilometres off is
  // all that is asked.
  const double m_per_deg = kEarthRadiusM * kPi / 180.0;
  const double m_per_deg_lon = m_per_deg * std::cos(lat0 / 180.0 * kPi);
  const auto from_centre_m = [&](double lon, double lat) {
    return DeviationLength((lon - lon0) * m_per_deg_lon,
                           (lat - lat0) * m_per_deg);
  };
  double reach_m = 0.0;
  for (const Point3& g : points.geodetic) {
    reach_m = std::max(reach_m, from_centre_m(g.x, g.y));
  }
  const Point3& base = points.base_point;
  out.given_m = from_centre_m(base.x, base.y);
  if (!(out.given_m > reach_m + 5000.0)) return out;
  Point2 dms;
  if (FromSurveyorsDms(base.x, &dms.x) && FromSurveyorsDms(base.y, &dms.y) &&
      from_centre_m(dms.x, dms.y) <= reach_m + 1000.0) {
    out.found = true;
    out.dms = true;
    out.read_deg = dms;
  } else if (std::fabs(base.x) <= 90.0 &&
             from_centre_m(base.y, base.x) <= reach_m + 1000.0) {
    out.found = true;
    out.read_deg = Point2{base.y, base.x};
  }
  if (out.found) out.read_m = from_centre_m(out.read_deg.x, out.read_deg.y);
  return out;
}

// What the rules judge, worked out once: the survey, the points' accuracy
// and the thresholds that follow it, the other readings of the input and
// what they explain.
struct Context {
  const ControlPoints* points = nullptr;
  const SimilarityFit* fit = nullptr;
  double scale = 0.0;
  double accuracy_flag_m = 0.0;  // --accuracy; 0 or NaN: estimated
  bool full = false;
  size_t n = 0;
  const SurveyJudgement* survey = nullptr;
  bool projected = false;  // a map projection is identified
  bool web_map = false;    // through a web map's reading of the targets
  AccuracyChoice accuracy;
  double blunder_m = kBlunderM;
  double large_m = kLargeDeviationM;
  std::vector<bool> inlier;  // the consensus's inliers
  bool one_place = false;    // the drawing points all at one place
  std::vector<bool> outlier;
  Exchange exchange;
  std::vector<int> explained;  // positions from 1 the exchange accounts for
  std::vector<std::pair<size_t, size_t>> pairs;
  std::vector<ZoneSlip> zone_slips;
  size_t unexplained_outliers = 0;  // neither exchanged nor paired
  // The median survey deviation of those, when half the points or more
  // are among them and it exceeds kDisagreementShare of the spread; NaN
  // otherwise.
  double disagreeing_median_m = std::numeric_limits<double>::quiet_NaN();
  // The points whose leaving out leaves a rest that agrees, and the limit.
  std::vector<size_t> agreeing;
  double unlocated_limit_m = kBlunderM;
  // With the full depth only.
  std::vector<CheckResidual> checks;
  const HeightDiagnosis* heights = nullptr;
  const MatrixHold* hold = nullptr;
  // Too few points in no grid to tell a blunder from coarse picks: fitted
  // as least squares, they agree to this (UnlocatableAccuracyM); NaN.
  double unlocatable_m = std::numeric_limits<double>::quiet_NaN();
  // The base point read otherwise lands among the targets, as given it
  // lies far from them.
  BaseReading base_reading;
  // The drawing against its national grid.
  const GridJudgement* grid = nullptr;
  // Read as degrees, minutes and seconds in one number, the targets lie in
  // this grid; as given they lie in none.
  bool grid_dms = false;
  MapProjection dms_grid;
  // On a plain CAD grid: the drawing unit that K / 0.36 names, where the
  // targets all share one degree and minute and K names none ("" else).
  std::string dms_unit;
  // The fit against the similarity the grid fixes: its scale's relative
  // difference and its angle's difference, radians, and how far the
  // datum and the points' accuracy let each go.
  double grid_scale_off = 0.0;
  double grid_angle_off_rad = 0.0;
  double grid_scale_limit = std::numeric_limits<double>::infinity();
  double grid_angle_limit_rad = std::numeric_limits<double>::infinity();

  // The fit means nothing point by point.
  bool Unrelated() const {
    return one_place || accuracy.lists_disagree ||
           std::isfinite(disagreeing_median_m);
  }
  const Point3& Source(size_t i) const { return points->source[i]; }
};

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
        ProjectGeodetic(c.survey->projection.tm, c.points->geodetic[i].x,
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
// points cannot estimate theirs); against the projected positions where
// there is a projection, so that its distortion does not count.
void FindUnlocated(Context* c) {
  c->unlocated_limit_m = BlunderThresholdM(
      c->accuracy_flag_m > 0.0 && std::isfinite(c->accuracy_flag_m)
          ? c->accuracy_flag_m
          : kSurveyGradeAccuracyM);
  const std::vector<Point2> from = PlanePoints(c->points->source);
  std::vector<Point2> to = c->points->target;
  double rest_scale = c->scale;
  if (c->projected && !c->web_map) {
    for (size_t i = 0; i < c->n; ++i) {
      to[i] =
          ProjectGeodetic(c->survey->projection.tm, c->points->geodetic[i].x,
                          c->points->geodetic[i].y);
    }
    rest_scale = 0.0;  // drawing units to metres
  }
  c->agreeing =
      AgreeingWithout(from, to, rest_scale, 1.0, c->unlocated_limit_m);
}

// Targets that all share one degree and one minute, in longitude and in
// latitude, read as decimal degrees where they are d.mmss in one number,
// differ only in their seconds, read as ten-thousandths of a degree rather
// than 3600ths: an exact similarity with 0.36 of the true scale. So a
// fitted K that names no drawing unit while K / 0.36 does tells it, on a
// drawing with no grid to ask. Returns that unit, or "".
std::string DmsUnit(const ControlPoints& points, const SimilarityFit& fit) {
  if (!fit.free_scale || !DrawingUnits(fit.K).empty() ||
      !std::isfinite(fit.K) || points.geodetic.empty()) {
    return std::string();
  }
  const double dms_scale = 3600.0 / 10000.0;
  const std::string unit = DrawingUnits(fit.K / dms_scale);
  if (unit.empty()) return unit;
  // Degrees and minutes of the d.mmss reading: 116.2345 is 116 deg 23'.
  const auto minute = [](double v) { return std::floor(std::fabs(v) * 100.0); };
  const Point3& first = points.geodetic[0];
  for (const Point3& g : points.geodetic) {
    double unused = 0.0;
    if (!FromSurveyorsDms(g.x, &unused) || !FromSurveyorsDms(g.y, &unused) ||
        minute(g.x) != minute(first.x) || minute(g.y) != minute(first.y)) {
      return std::string();
    }
  }
  return unit;
}

// The grid the targets lie in when read as degrees, minutes and seconds
// written as one number; false when they cannot be read so or lie in none.
bool InGridAsDms(const ControlPoints& points, double accuracy_m,
                 double blunder_m, MapProjection* grid) {
  ControlPoints dms;
  dms.mode = points.mode;
  dms.base_point = points.base_point;
  dms.model_point = points.model_point;
  dms.project_height_m = points.project_height_m;
  dms.source = points.source;
  dms.geodetic = points.geodetic;
  for (Point3& g : dms.geodetic) {
    if (!FromSurveyorsDms(g.x, &g.x) || !FromSurveyorsDms(g.y, &g.y)) {
      return false;
    }
  }
  const GridJudgement judged = JudgeAgainstGrid(dms, accuracy_m, blunder_m);
  *grid = judged.grid;
  return judged.in_grid;
}

// How far the fit's scale and angle lie from the grid's, and how far the
// datum and the points' accuracy let them: five standard deviations of
// what the points the fit rests on fix (sigma / sqrt(sum of their squared
// distances from their centroid, weighted by the fit's weights), metres).
void JudgeFitAgainstGrid(Context* c) {
  const SimilarityFit& fit = *c->fit;
  const GridJudgement& g = *c->grid;
  if (!std::isfinite(g.K) || !std::isfinite(fit.K) || fit.K == 0.0) return;
  // A negative K is a half turn more.
  c->grid_angle_off_rad = std::remainder(
      fit.angle_rad + (fit.K < 0.0 ? kPi : 0.0) - g.angle_rad, 2.0 * kPi);
  c->grid_scale_off = std::fabs(fit.K) / g.K - 1.0;
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
    sum_m2 += weight(i) * (dx * dx + dy * dy) * fit.K * fit.K;
  }
  const double open = 5.0 * c->accuracy.accuracy_m / std::sqrt(sum_m2);
  c->grid_scale_limit = kDatumScale + open;
  c->grid_angle_limit_rad = kDatumRotationRad + open;
}

Context MakeContext(const ControlPoints& points, const SimilarityFit& fit,
                    double scale, double accuracy_flag_m, bool full,
                    Diagnosis* d) {
  Context c;
  c.points = &points;
  c.fit = &fit;
  c.scale = scale;
  c.accuracy_flag_m = accuracy_flag_m;
  c.full = full;
  c.n = points.source.size();
  const size_t n = c.n;
  d->survey = JudgeSurvey(points, fit);
  d->check_points = JudgeCheckPoints(points.check, fit, d->survey.projection);
  c.survey = &d->survey;
  c.projected = d->survey.projection.kind != ProjectionKind::kNone;
  c.web_map = c.projected && d->survey.projection.web_map;
  c.inlier = fit.consensus_inlier;
  if (c.inlier.size() != n) c.inlier.assign(n, true);

  // The points' accuracy from their survey deviations, and the thresholds
  // that follow it.
  c.accuracy =
      ChooseAccuracy(WeightedSigmaZero(d->survey.survey_m, {}, fit.loss_scale_m,
                                       fit.free_scale),
                     TargetSpreadM(points.target, c.inlier), accuracy_flag_m);
  // A few points in their national grid: their accuracy from the grid
  // deviations, where every point counts, as the fit took it.
  const bool flag_given =
      accuracy_flag_m > 0.0 && std::isfinite(accuracy_flag_m);
  bool grid_judged = false;
  if (n <= kGridAccuracyPoints && !flag_given) {
    d->grid = JudgeAgainstGrid(points, 0.0, 0.0);
    grid_judged = true;
    if (d->grid.in_grid) {
      c.accuracy.accuracy_m = d->grid.accuracy_m;
      c.accuracy.estimate_m = d->grid.accuracy_m;
      c.accuracy.estimated = d->grid.accuracy_m > kSurveyGradeAccuracyM;
      c.accuracy.lists_disagree = false;
    }
  }
  // Few points in no grid that coarse picks may explain: the fit took
  // them as least squares, and they are judged at the accuracy they agree
  // to.
  if (grid_judged) {
    c.unlocatable_m =
        UnlocatableAccuracyM(points, scale, d->grid, accuracy_flag_m);
    if (std::isfinite(c.unlocatable_m)) {
      c.accuracy.accuracy_m = std::max(c.unlocatable_m, kSurveyGradeAccuracyM);
      c.accuracy.estimate_m = c.unlocatable_m;
      c.accuracy.estimated = c.unlocatable_m > kSurveyGradeAccuracyM;
      c.accuracy.lists_disagree = false;
    }
  }
  d->point_accuracy_m = c.accuracy.accuracy_m;
  c.blunder_m = BlunderThresholdM(d->point_accuracy_m);
  c.large_m = LargeDeviationThresholdM(d->point_accuracy_m);
  c.outlier.resize(n);
  size_t outliers = 0;
  for (size_t i = 0; i < n; ++i) {
    // Blunders of the survey: a survey deviation above both 0.15 m and
    // five times the points' accuracy (without a projection, the fit's
    // own deviation).
    d->survey.blunder[i] = d->survey.survey_m[i] > c.blunder_m;
    c.outlier[i] = d->survey.blunder[i];
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
  c.base_reading = FindBaseReading(points);

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
      c.explained.push_back(static_cast<int>(i + 1));
      explained_outliers += c.outlier[i];
    }
  }
  if (!c.exchange.found && outliers >= 2) {
    c.pairs = ExchangedPairs(points, fit, d->survey, c.outlier);
  }
  if (!c.exchange.found) {
    c.zone_slips =
        FindZoneSlips(points, d->survey, std::fabs(fit.K), c.blunder_m);
  }
  c.unexplained_outliers = outliers - 2 * c.pairs.size() - explained_outliers;

  // Half the points or more outliers, far beyond the survey's accuracy.
  if (!c.one_place && c.unexplained_outliers > 0 &&
      2 * c.unexplained_outliers >= n) {
    std::vector<bool> accounted(n, false);
    for (int p : c.explained) accounted[static_cast<size_t>(p - 1)] = true;
    for (const auto& pair : c.pairs) {
      accounted[pair.first] = accounted[pair.second] = true;
    }
    std::vector<double> deviations_m;
    for (size_t i = 0; i < n; ++i) {
      if (c.outlier[i] && !accounted[i]) {
        deviations_m.push_back(d->survey.survey_m[i]);
      }
    }
    const double median_m = Median(std::move(deviations_m));
    if (median_m > kDisagreementShare * c.accuracy.spread_m) {
      c.disagreeing_median_m = median_m;
    }
  }
  if (c.unexplained_outliers > 0 && !c.Unrelated() &&
      !std::isfinite(c.unlocatable_m)) {
    FindUnlocated(&c);
  }

  // The drawing against its national grid: it locates the blunder of
  // three points or fewer, which the points cannot among themselves, and
  // fixes the similarity the fit must find. Where the drawing lies in no
  // grid, the targets may as degrees, minutes and seconds.
  if (!grid_judged) {
    d->grid = JudgeAgainstGrid(points, d->point_accuracy_m, c.blunder_m);
  }
  c.grid = &d->grid;
  const GridJudgement& grid = d->grid;
  if (grid.in_grid && grid.wrong.size() == n) {
    JudgeFitAgainstGrid(&c);
    // A few points in their grid are judged by it point by point.
    if (grid_judged) c.agreeing.clear();
    if (n <= 3 && !grid.undecided &&
        std::count(grid.wrong.begin(), grid.wrong.end(), true) > 0) {
      c.agreeing.clear();
      for (size_t i = 0; i < n; ++i) {
        c.outlier[i] = d->survey.blunder[i] = grid.wrong[i];
      }
    }
  } else if (!c.exchange.found && !c.one_place) {
    c.grid_dms =
        InGridAsDms(points, d->point_accuracy_m, c.blunder_m, &c.dms_grid);
    if (!c.grid_dms) c.dms_unit = DmsUnit(points, fit);
  }

  if (full) {
    c.checks = SurveyChecks(c);
    d->heights = DiagnoseHeights(points);
    if (c.projected && !c.Unrelated() && !c.exchange.found) {
      d->hold = ComputeMatrixHold(points, fit, d->survey);
    }
  }
  c.heights = &d->heights;
  c.hold = &d->hold;
  return c;
}

using Findings = std::vector<Finding>;

// ---------------------------------------------------------------------------
// The rules. Each adds the findings of one mistake; which finding hides
// which is said once, in kHides below.

void RankDeficient(const Context& c, Findings* out) {
  if (!c.one_place) return;
  out->push_back(MakeFinding(
      FindingCode::kRankDeficient, {},
      std::string("the drawing points all lie at one place, so they fix ") +
          (c.fit->free_scale ? "neither the rotation nor the scale"
                             : "no rotation") +
          ": give control points spread over the drawing",
      true));
}

void ExchangedReading(const Context& c, Findings* out) {
  if (!c.exchange.found) return;
  const FindingCode code = c.exchange.kind == ReadingKind::kAxes
                               ? FindingCode::kExchangedAxes
                           : c.exchange.kind == ReadingKind::kDmsAsDecimal
                               ? FindingCode::kDmsAsDecimal
                               : FindingCode::kExchangedLonLat;
  Finding f = MakeFinding(
      code, {},
      ExchangeMessage(c.exchange, c.fit->rms_m, !c.points->positions.empty()),
      true);
  f.explains = c.explained;
  out->push_back(f);
}

void WebMapCoordinates(const Context& c, Findings* out) {
  // Told by the projection's identification, or, for a few points, by the
  // drawing's grid point by point.
  const Projection& p = c.survey->projection;
  const GridJudgement& g = *c.grid;
  if (!c.web_map && !g.web_map) return;
  const WebMapDatum datum = c.web_map ? p.web_map_datum : g.web_map_datum;
  const double offset_m = c.web_map ? p.web_map_offset_m : g.web_map_offset_m;
  const int epsg = c.web_map ? p.epsg : g.grid.epsg;
  out->push_back(MakeFinding(
      FindingCode::kWebMapCoordinates, {},
      std::string("the targets are ") + WebMapDatumName(datum) +
          " coordinates from a Chinese web map, not WGS84: they lie a "
          "median of " +
          Metres(offset_m) + " from where the drawing's own projection (EPSG:" +
          std::to_string(epsg) +
          ") puts its points, and the matrix is off by about that much: "
          "take WGS84 positions instead (GNSS, or the scene's own "
          "coordinates)",
      true));
}

void BasePointReadingRule(const Context& c, Findings* out) {
  const BaseReading& b = c.base_reading;
  if (!b.found) return;
  const std::string read = FormatDouble("%.6f", b.read_deg.x) + "," +
                           FormatDouble("%.6f", b.read_deg.y);
  out->push_back(MakeFinding(
      FindingCode::kBasePointReading, {},
      "the base point lies " + FormatDouble("%.1f", b.given_m / 1000.0) +
          " km from the control points, but read " +
          (b.dms ? std::string("as degrees, minutes and seconds written as "
                               "one number (116.234567 meaning 116°23′45.67″)")
                 : std::string("latitude first")) +
          " it lies among them (" + FormatDouble("%.1f", b.read_m / 1000.0) +
          " km from their centre), so the scene frame is wrong: give "
          "basepoint as " +
          read + " (longitude, latitude in decimal degrees)",
      true));
}

// Targets in degrees, minutes and seconds that the drawing's grid reveals
// on a site too small for the fit to tell.
void DmsByGrid(const Context& c, Findings* out) {
  if (!c.grid_dms && c.dms_unit.empty()) return;
  const std::string what =
      c.grid_dms
          ? "the targets lie where the drawing's grid, " +
                GridName(c.dms_grid) +
                ", puts its points only when read as degrees, minutes and "
                "seconds written as one number (116.234567 meaning "
                "116°23′45.67″)"
          : "the fitted scale K = " + FormatDouble("%.7g", c.fit->K) +
                " is 0.36 times a drawing in " + c.dms_unit +
                ": the targets, all within one minute, are degrees, minutes "
                "and seconds written as one number (116.234567 meaning "
                "116°23′45.67″), whose seconds read as decimals shrink the "
                "site to 0.36";
  Finding f = MakeFinding(FindingCode::kDmsAsDecimal, {},
                          what + DmsRemedy(!c.points->positions.empty()), true);
  for (size_t i = 0; i < c.n; ++i)
    f.explains.push_back(static_cast<int>(i + 1));
  out->push_back(f);
}

// The fit's scale or angle where the drawing's grid does not allow them,
// or two points the grid does not place alike: the matrix is wrong, and
// the grid names the point where it can.
void GridMismatch(const Context& c, Findings* out) {
  const GridJudgement& g = *c.grid;
  if (!g.in_grid || c.one_place || c.exchange.found || c.web_map ||
      g.deviation_m.size() != c.n) {
    return;
  }
  const bool scale_off =
      c.fit->free_scale && std::fabs(c.grid_scale_off) > c.grid_scale_limit;
  const bool angle_off =
      std::fabs(c.grid_angle_off_rad) > c.grid_angle_limit_rad;
  std::vector<int> wrong;
  double worst_m = 0.0, others_m = 0.0;
  for (size_t i = 0; i < c.n; ++i) {
    const double off_m =
        DeviationLength(g.deviation_m[i].x - g.datum_shift_m.x,
                        g.deviation_m[i].y - g.datum_shift_m.y);
    if (g.wrong[i] || g.undecided) {
      wrong.push_back(static_cast<int>(i + 1));
      worst_m = std::max(worst_m, off_m);
    } else {
      others_m = std::max(others_m, off_m);
    }
  }
  const bool two_disagree = c.n == 2 && !wrong.empty();
  if (!scale_off && !angle_off && !two_disagree) return;
  const double deg_per_rad = 180.0 / kPi;
  std::string what;
  if (scale_off || angle_off) {
    const std::string angle_off_deg =
        FormatDouble("%.4f", std::fabs(c.grid_angle_off_rad) * deg_per_rad) +
        "°";
    const std::string grid_angle =
        "angle " + FormatDouble("%.4f", g.angle_rad * deg_per_rad) + "°";
    const std::string fitted_angle =
        FormatDouble("%.4f", c.fit->angle_rad * deg_per_rad) + "°";
    // A scale the user held is not judged: only the angle.
    what =
        c.fit->free_scale
            ? "the fitted scale K = " + FormatDouble("%.7f", c.fit->K) +
                  " and angle " + fitted_angle + " are " +
                  FormatDouble("%.0f", std::fabs(c.grid_scale_off) * 1e6) +
                  " ppm and " + angle_off_deg +
                  " from what the drawing's grid, " + GridName(g.grid) +
                  ", fixes at this site (K = " + FormatDouble("%.7f", g.K) +
                  ", " + grid_angle + "; within " +
                  FormatDouble("%.0f", c.grid_scale_limit * 1e6) + " ppm here)"
            : "the fitted angle " + fitted_angle + " is " + angle_off_deg +
                  " from what the drawing's grid, " + GridName(g.grid) +
                  ", fixes at this site (" + grid_angle + "; within " +
                  FormatDouble("%.4f", c.grid_angle_limit_rad * deg_per_rad) +
                  "° here)";
  } else {
    what = "the two points do not lie alike in the drawing's grid, " +
           GridName(g.grid) + ", so the matrix through both is wrong";
  }
  std::string cause;
  if (g.undecided) {
    cause =
        PointList(*c.points, wrong) + " disagree by up to " + Metres(worst_m) +
        " with the grid, which cannot tell which is wrong: check both, "
        "or add a control point; if they were picked that coarsely (an "
        "orthophoto), give --accuracy=" +
        FormatDouble("%.1f", std::max(0.1, std::ceil(worst_m * 4.0) / 10.0)) +
        " to accept the matrix";
  } else if (!wrong.empty()) {
    cause = PointList(*c.points, wrong) +
            (wrong.size() == 1 ? " lies " : " lie up to ") + Metres(worst_m) +
            " from where the grid puts " + (wrong.size() == 1 ? "it" : "them") +
            ", the other points within " + Metres(others_m) +
            ": check its drawing coordinates and its WGS84 position, or leave "
            "it out" +
            (c.n <= 3 ? " and add a control point" : "");
  } else {
    cause =
        "no point stands out: check that the targets are the WGS84 "
        "positions of the drawing points";
  }
  Finding f =
      MakeFinding(FindingCode::kGridMismatch, wrong, what + ": " + cause, true);
  out->push_back(f);
}

void NotConverged(const Context& c, Findings* out) {
  const SolverOutcome& solver = c.fit->solver;
  if (c.one_place || solver.termination == "CONVERGENCE") return;
  out->push_back(MakeFinding(
      FindingCode::kNotConverged, {},
      "the solver stopped without converging (" + solver.termination +
          " after " + std::to_string(solver.iterations) +
          " iterations), so the matrix is no solution: check that each "
          "drawing point and its target belong together",
      true));
}

// Points far beyond the survey's accuracy: the fit is of points that do
// not belong together.
void MostPointsOutliers(const Context& c, Findings* out) {
  if (c.one_place) return;
  const std::string remedy =
      ": the drawing points and the targets do not belong together; check "
      "that both lists hold the same points in the same order";
  const std::string share =
      FormatDouble("%.0f", 100.0 * kDisagreementShare) + " %";
  if (c.accuracy.lists_disagree) {
    out->push_back(MakeFinding(
        FindingCode::kMostPointsOutliers, {},
        "the points agree only to " + Metres(c.accuracy.estimate_m) +
            " (one coordinate, one sigma) against a spread of " +
            Metres(c.accuracy.spread_m) + ", more than " + share + remedy,
        true));
  } else if (std::isfinite(c.disagreeing_median_m)) {
    out->push_back(MakeFinding(
        FindingCode::kMostPointsOutliers, {},
        std::to_string(c.unexplained_outliers) + " of " + std::to_string(c.n) +
            " points are outliers, with a median deviation of " +
            Metres(c.disagreeing_median_m) + " against a spread of " +
            Metres(c.accuracy.spread_m) + remedy,
        true));
  }
}

// A blunder that the points cannot locate: leaving out any of several
// points leaves a rest that agrees, so no one of them is the outlier.
void BlunderUnlocated(const Context& c, Findings* out) {
  if (c.agreeing.size() < 2) return;
  std::vector<int> named;
  double misfit_m = 0.0;
  for (double r_m : c.survey->survey_m) misfit_m = std::max(misfit_m, r_m);
  for (size_t i : c.agreeing) named.push_back(static_cast<int>(i + 1));
  Finding f = MakeFinding(
      FindingCode::kBlunderUnlocated, named,
      "the points disagree by up to " + Metres(misfit_m) +
          ", beyond the blunder threshold of " + Metres(c.unlocated_limit_m) +
          ", but leaving out any one of " + PointList(*c.points, named) +
          " leaves points that agree, so the blunder cannot be located: "
          "check every point, or add one more control point",
      true);
  for (size_t i = 0; i < c.n; ++i)
    f.explains.push_back(static_cast<int>(i + 1));
  out->push_back(f);
}

// Text of the lists the input stage passed over: the fit lacks points.
void IgnoredInput(const Context& c, Findings* out) {
  for (const std::string& message : c.points->ignored_input) {
    out->push_back(MakeFinding(FindingCode::kIgnoredInput, {}, message, true));
  }
}

void ExchangedPairsRule(const Context& c, Findings* out) {
  for (const auto& pair : c.pairs) {
    const size_t i = pair.first, j = pair.second;
    const std::string a =
        NameOrPosition(c.points->names, c.points->positions, i);
    const std::string b =
        NameOrPosition(c.points->names, c.points->positions, j);
    out->push_back(MakeFinding(
        FindingCode::kExchangedPairs,
        {static_cast<int>(i + 1), static_cast<int>(j + 1)},
        "the targets of points " + a + " and " + b +
            " fit each other's drawing points (both deviate by " +
            Metres(c.survey->survey_m[i]) + " and " +
            Metres(c.survey->survey_m[j]) +
            " as given): exchange the targets of points " + a + " and " + b,
        false));
  }
}

void ZoneNumber(const Context& c, Findings* out) {
  for (const ZoneSlip& slip : c.zone_slips) {
    out->push_back(ZoneSlipFinding(*c.points, slip, c.survey->projection.zone));
  }
}

// A wrong point's own mistake, as the drawing's grid tells it: a zone
// number, x and y exchanged, a web map's target, a slip in one coordinate.
// Check where the fit left the point out and the matrix holds; bad where
// the matrix follows it.
void GridCauses(const Context& c, Findings* out) {
  const GridJudgement& g = *c.grid;
  if (!g.in_grid || g.undecided || c.exchange.found || c.web_map ||
      c.one_place || g.cause.size() != c.n) {
    return;
  }
  const bool matrix_off =
      (c.fit->free_scale && std::fabs(c.grid_scale_off) > c.grid_scale_limit) ||
      std::fabs(c.grid_angle_off_rad) > c.grid_angle_limit_rad;
  // Where the grid fixes a value only to the datum's and the points'
  // accuracy, it is given to the metre.
  const bool to_cm = c.n >= 3 && c.accuracy.accuracy_m < kCoarseAccuracyM;
  const auto value = [&](double v) {
    return to_cm ? FormatDouble("%.2f", v) : "about " + FormatDouble("%.0f", v);
  };
  for (size_t i = 0; i < c.n && i < g.cause.size(); ++i) {
    if (g.cause[i] == GridCause::kNone) continue;
    if (std::any_of(c.zone_slips.begin(), c.zone_slips.end(),
                    [&](const ZoneSlip& z) { return z.point == i; })) {
      continue;  // named by the survey already
    }
    const Point3& s = c.points->source[i];
    const Point2& e = g.expected[i];
    const std::string point = PointName(*c.points, i);
    const std::string x = FormatDouble("%.3f", s.x);
    const std::string y = FormatDouble("%.3f", s.y);
    FindingCode code = FindingCode::kCoordinateSlip;
    std::string message;
    switch (g.cause[i]) {
      case GridCause::kZoneNumber: {
        ZoneSlip slip;
        slip.point = i;
        slip.written = Point2{s.x, s.y};
        slip.corrected = Point2{
            s.x + std::round((e.x - s.x) / kZoneEastingM) * kZoneEastingM, s.y};
        slip.written_zone = static_cast<int>(std::floor(s.x / kZoneEastingM));
        slip.kind = slip.written_zone == 0    ? ZoneSlipKind::kMissing
                    : !g.grid.zone_in_easting ? ZoneSlipKind::kAdded
                                              : ZoneSlipKind::kOther;
        const Finding f = ZoneSlipFinding(*c.points, slip, g.grid.zone);
        code = f.code;
        message = f.message;
        break;
      }
      case GridCause::kSwapped:
        code = FindingCode::kSwappedPoint;
        message = point + "'s x and y are exchanged: its target lies where " +
                  GridName(g.grid) + " puts " + y + ", " + x +
                  ", so write the point easting first (x " + y + ", y " + x +
                  ")";
        break;
      case GridCause::kWebMap:
        code = FindingCode::kWebMapPoint;
        message = point +
                  "'s target is a Chinese web map's position, not WGS84: it "
                  "lies " +
                  Metres(g.grid_m[i]) +
                  " from where the grid puts its drawing point, as GCJ-02 or "
                  "BD-09 would: take its WGS84 position (GNSS, or the scene's "
                  "own coordinates), or leave it out";
        break;
      case GridCause::kEasting:
        message = point + "'s easting " + x + " should be " + value(e.x) +
                  " by " + GridName(g.grid) +
                  ", and its northing agrees: check the easting";
        break;
      case GridCause::kNorthing:
        message = point + "'s northing " + y + " should be " + value(e.y) +
                  " by " + GridName(g.grid) +
                  ", and its easting agrees: check the northing";
        break;
      case GridCause::kNone:
        break;
    }
    // The fit left the point out where it does not follow it; through two
    // points it follows both.
    const bool left_out = c.n >= 3 && c.outlier[i];
    out->push_back(MakeFinding(code, {static_cast<int>(i + 1)}, message,
                               matrix_off || !left_out));
  }
}

// "point 3 lies 0.500 m from its projected position": with a projection
// the survey's own measure, named as such.
std::string Off(const Context& c, size_t i) {
  const double r_m = c.survey->survey_m[i];
  return PointName(*c.points, i) +
         (c.projected && !c.web_map
              ? " lies " + Metres(r_m) + " from its projected position"
              : " deviates by " + Metres(r_m));
}

void PointDeviations(const Context& c, Findings* out) {
  for (size_t i = 0; i < c.n; ++i) {
    const std::vector<int> point = {static_cast<int>(i + 1)};
    if (c.outlier[i]) {
      out->push_back(MakeFinding(
          FindingCode::kOutlier, point,
          Off(c, i) +
              " and is an outlier: check its drawing coordinates and its "
              "WGS84 position",
          false));
    } else if (c.survey->survey_m[i] > c.large_m) {
      out->push_back(MakeFinding(
          FindingCode::kLargeDeviation, point,
          Off(c, i) +
              " but is not flagged as an outlier: check its coordinates, or "
              "accept a survey that coarse",
          false));
    }
  }
}

void Leverage(const Context& c, Findings* out) {
  // Points too few to tell a blunder from coarse picks tell no leverage
  // either; their finding says so.
  if (std::isfinite(c.unlocatable_m)) return;
  const GridJudgement& g = *c.grid;
  for (size_t i = 0; i < c.n && i < c.checks.size(); ++i) {
    if (!c.checks[i].available) continue;
    // The drawing's grid checks a point the others cannot.
    if (g.in_grid && !g.undecided && i < g.wrong.size() && !g.wrong[i]) {
      continue;
    }
    const double r_m = c.survey->survey_m[i], check_m = c.checks[i].length_m;
    if (!(check_m > c.large_m && r_m < 0.5 * check_m)) continue;
    out->push_back(MakeFinding(
        FindingCode::kLeverage, {static_cast<int>(i + 1)},
        PointName(*c.points, i) + " deviates by " + Metres(r_m) + " but by " +
            Metres(check_m) +
            " when left out, so it may hold the solution to itself: check "
            "it, or add control points near it",
        false));
  }
}

void NoRedundancy(const Context& c, Findings* out) {
  if (std::isfinite(c.fit->sigma0_m)) return;
  out->push_back(MakeFinding(
      FindingCode::kNoRedundancy, {},
      std::to_string(c.n) + (c.n == 1 ? " point fixes" : " points fix") +
          " the transform exactly and nothing checks them: add control "
          "points",
      false));
}

// Two points always lie on a line; no redundancy says more of them. A
// blunder in a drawing coordinate is no part of the layout.
void Collinear(const Context& c, Findings* out) {
  double major = 0.0, minor = 0.0;
  PrincipalSpreads(c.points->source, &major, &minor, &c.inlier);
  const size_t inliers =
      static_cast<size_t>(std::count(c.inlier.begin(), c.inlier.end(), true));
  if (inliers <= 2 || !(minor < kWeakGeometryRatio * major)) return;
  out->push_back(MakeFinding(
      FindingCode::kCollinear, {},
      "the drawing points lie nearly on one line (their spread across it "
      "is " +
          FormatDouble("%.2f", 100.0 * minor / major) +
          " % of that along it): add a control point away from that line",
      false));
}

void CoarsePoints(const Context& c, Findings* out) {
  if (std::isfinite(c.unlocatable_m)) {
    // Round up to the decimetre the remedy names.
    const double picks_m =
        std::max(0.1, std::ceil(c.unlocatable_m * 10.0) / 10.0);
    out->push_back(MakeFinding(
        FindingCode::kCoarsePoints, {},
        "the " + std::to_string(c.n) + " control points agree only to " +
            Metres(c.unlocatable_m) +
            " (one coordinate, one sigma), and so few points cannot tell a "
            "blunder from coarse picks, so none was set aside: if they were "
            "picked to about that (an orthophoto or a web map), give "
            "--accuracy=" +
            FormatDouble("%.1f", picks_m) +
            "; otherwise check them, or add control points",
        false));
    return;
  }
  if (!c.accuracy.estimated || !(c.accuracy.accuracy_m > kCoarseAccuracyM)) {
    return;
  }
  out->push_back(MakeFinding(
      FindingCode::kCoarsePoints, {},
      "the control points agree only to about " +
          Metres(c.accuracy.accuracy_m) +
          " (one coordinate, one sigma), so the matrix is good only to that "
          "order; points picked on an orthophoto or a web map are the usual "
          "cause: survey them (GNSS or total station) for a better "
          "placement, or give --accuracy if that is expected",
      false));
}

void FarFromBase(const Context& c, Findings* out) {
  std::vector<int> far;
  double farthest_m = 0.0;
  for (size_t i = 0; i < c.n; ++i) {
    const Point2& t = c.points->target[i];
    const double distance_m = DeviationLength(t.x, t.y);
    if (distance_m > kFarFromBaseM) {
      far.push_back(static_cast<int>(i + 1));
      farthest_m = std::max(farthest_m, distance_m);
    }
  }
  if (far.empty()) return;
  out->push_back(MakeFinding(
      FindingCode::kFarFromBase, far,
      PointList(*c.points, far) + (far.size() == 1 ? " lies " : " lie up to ") +
          (std::isfinite(farthest_m)
               ? FormatDouble("%.3f", farthest_m / 1000.0) + " km"
               : Metres(farthest_m)) +
          " from the base point, beyond " +
          FormatDouble("%.0f", kFarFromBaseM / 1000.0) +
          " km: check the base point, and that these targets belong to this "
          "scene",
      false));
}

void UnusualScale(const Context& c, Findings* out) {
  const SimilarityFit& fit = *c.fit;
  if (!fit.free_scale || !DrawingUnits(fit.K).empty() ||
      !std::isfinite(fit.K)) {
    return;
  }
  out->push_back(MakeFinding(
      FindingCode::kUnusualScale, {},
      "the fitted scale K = " + FormatDouble("%.7g", fit.K) +
          " matches no drawing unit (m, dm, cm, mm, km, in or ft, within " +
          FormatDouble("%.0f", 100.0 * kDrawingUnitShare) +
          " %): check the drawing's unit, and that its points and the "
          "targets belong together",
      false));
}

void ProjectionDistortion(const Context& c, Findings* out) {
  if (!(c.hold->matrix_error_m > kMatrixToleranceM)) return;
  out->push_back(MakeFinding(FindingCode::kProjectionDistortion, {},
                             ProjectionDistortionMessage(*c.hold), false));
}

void HeightOffLift(const Context& c, Findings* out) {
  if (!c.heights->plane_fitted) return;
  for (size_t i = 0; i < c.n; ++i) {
    const double off_m = c.heights->off_plane_m[i];
    if (!(std::fabs(off_m) > kWarningM)) continue;
    out->push_back(MakeFinding(
        FindingCode::kHeightOffLift, {static_cast<int>(i + 1)},
        PointName(*c.points, i) + " is " + Metres(off_m) +
            " off the height plane of the others: check its height and its "
            "drawing z",
        false));
  }
}

// A check point off the matrix, judged as the fitted points are, unless a
// bad finding already says the matrix is not to be trusted.
void CheckPointOff(const Context& c, const CheckPointJudgement& check,
                   Findings* out) {
  const CheckPoints& points = c.points->check;
  for (size_t k = 0; k < check.survey_m.size(); ++k) {
    if (!(check.survey_m[k] > c.large_m)) continue;
    out->push_back(MakeFinding(
        FindingCode::kCheckPointOff, {InputPosition(points.positions, k)},
        "check point " + NameOrPosition(points.names, points.positions, k) +
            (c.projected ? " lies " + Metres(check.survey_m[k]) +
                               " from its projected position"
                         : " deviates by " + Metres(check.survey_m[k])) +
            " under the matrix fitted without it, more than " +
            Metres(c.large_m) +
            ": check its drawing coordinates and its WGS84 position; if "
            "both are right, the control points do not hold the drawing "
            "there, so add control points near it",
        false));
  }
}

// Every rule, in order; `every_run`: it is judged without a report too, and
// comes out the same, so its findings reach standard error. The others
// stay in the report: leverage needs the check residuals (n leave-one-out
// fits), projection_distortion the matrix's hold, and height_off_lift
// takes the drawing's z for metres (the matrix does not scale z), so it
// flags the points of a drawing whose z are millimetres.
struct Rule {
  void (*judge)(const Context& c, Findings* out);
  bool every_run;
};
const Rule kRules[] = {
    {RankDeficient, true},
    {ExchangedReading, true},
    {WebMapCoordinates, true},
    {DmsByGrid, true},
    {BasePointReadingRule, true},
    {GridMismatch, true},
    {NotConverged, true},
    {MostPointsOutliers, true},
    {BlunderUnlocated, true},
    {IgnoredInput, true},
    {GridCauses, true},
    {ExchangedPairsRule, true},
    {ZoneNumber, true},
    {PointDeviations, true},
    {Leverage, false},
    {NoRedundancy, true},
    {Collinear, true},
    {CoarsePoints, true},
    {FarFromBase, true},
    {UnusualScale, true},
    {ProjectionDistortion, false},
    {HeightOffLift, false},
};

// A finding that explains others hides them, so that one mistake reads as
// one line. `points_only`: only the findings of the points it explains
// (Finding::explains, or else the points it names).
struct Hide {
  FindingCode by;
  FindingCode hidden;
  bool points_only;
};
using C = FindingCode;
constexpr Hide kHides[] = {
    // An exchanged reading explains the broken fit and what it makes of
    // scale, leverage and the points it accounts for; latitudes read as
    // longitudes (or minutes as decimals) put the targets far from the
    // base point.
    {C::kExchangedAxes, C::kNotConverged, false},
    {C::kExchangedAxes, C::kMostPointsOutliers, false},
    {C::kExchangedAxes, C::kBlunderUnlocated, false},
    {C::kExchangedAxes, C::kWebMapCoordinates, false},
    {C::kExchangedAxes, C::kExchangedPairs, false},
    {C::kExchangedAxes, C::kZoneNumber, false},
    {C::kExchangedAxes, C::kOutlier, true},
    {C::kExchangedAxes, C::kLargeDeviation, true},
    {C::kExchangedAxes, C::kLeverage, false},
    {C::kExchangedAxes, C::kCoarsePoints, false},
    {C::kExchangedAxes, C::kUnusualScale, false},
    {C::kExchangedAxes, C::kProjectionDistortion, false},
    {C::kExchangedLonLat, C::kNotConverged, false},
    {C::kExchangedLonLat, C::kMostPointsOutliers, false},
    {C::kExchangedLonLat, C::kBlunderUnlocated, false},
    {C::kExchangedLonLat, C::kWebMapCoordinates, false},
    {C::kExchangedLonLat, C::kExchangedPairs, false},
    {C::kExchangedLonLat, C::kZoneNumber, false},
    {C::kExchangedLonLat, C::kOutlier, true},
    {C::kExchangedLonLat, C::kLargeDeviation, true},
    {C::kExchangedLonLat, C::kLeverage, false},
    {C::kExchangedLonLat, C::kCoarsePoints, false},
    {C::kExchangedLonLat, C::kFarFromBase, false},
    {C::kExchangedLonLat, C::kUnusualScale, false},
    {C::kExchangedLonLat, C::kProjectionDistortion, false},
    {C::kDmsAsDecimal, C::kNotConverged, false},
    {C::kDmsAsDecimal, C::kMostPointsOutliers, false},
    {C::kDmsAsDecimal, C::kBlunderUnlocated, false},
    {C::kDmsAsDecimal, C::kWebMapCoordinates, false},
    {C::kDmsAsDecimal, C::kExchangedPairs, false},
    {C::kDmsAsDecimal, C::kZoneNumber, false},
    {C::kDmsAsDecimal, C::kOutlier, true},
    {C::kDmsAsDecimal, C::kLargeDeviation, true},
    {C::kDmsAsDecimal, C::kLeverage, false},
    {C::kDmsAsDecimal, C::kCoarsePoints, false},
    {C::kDmsAsDecimal, C::kFarFromBase, false},
    {C::kDmsAsDecimal, C::kUnusualScale, false},
    {C::kDmsAsDecimal, C::kProjectionDistortion, false},
    // Targets read otherwise lie elsewhere than as given: the base point
    // is then as far from them as they are from it.
    {C::kExchangedLonLat, C::kBasePointReading, false},
    {C::kDmsAsDecimal, C::kBasePointReading, false},
    // A base point written otherwise: the scene frame is wrong, and the
    // targets lie far from it.
    {C::kBasePointReading, C::kFarFromBase, false},
    {C::kBasePointReading, C::kGridMismatch, false},
    {C::kBasePointReading, C::kProjectionDistortion, false},
    {C::kExchangedAxes, C::kGridMismatch, false},
    {C::kExchangedLonLat, C::kGridMismatch, false},
    {C::kDmsAsDecimal, C::kGridMismatch, false},
    {C::kRankDeficient, C::kGridMismatch, false},
    {C::kWebMapCoordinates, C::kGridMismatch, false},
    // The grid names what the points' own agreement cannot: the blunder
    // among a few points. The matrix is wrong, so what it makes of each
    // point and of the scale says nothing.
    {C::kGridMismatch, C::kBlunderUnlocated, false},
    {C::kGridMismatch, C::kOutlier, false},
    {C::kGridMismatch, C::kLargeDeviation, false},
    {C::kGridMismatch, C::kLeverage, false},
    {C::kGridMismatch, C::kCoarsePoints, false},
    {C::kGridMismatch, C::kUnusualScale, false},
    // Points at one place fix nothing: their fit says nothing about any
    // point, nor about the drawing's layout.
    {C::kRankDeficient, C::kNotConverged, false},
    {C::kRankDeficient, C::kMostPointsOutliers, false},
    {C::kRankDeficient, C::kBlunderUnlocated, false},
    {C::kRankDeficient, C::kExchangedPairs, false},
    {C::kRankDeficient, C::kOutlier, false},
    {C::kRankDeficient, C::kLargeDeviation, false},
    {C::kRankDeficient, C::kLeverage, false},
    {C::kRankDeficient, C::kNoRedundancy, false},
    {C::kRankDeficient, C::kCollinear, false},
    {C::kRankDeficient, C::kCoarsePoints, false},
    {C::kRankDeficient, C::kUnusualScale, false},
    {C::kRankDeficient, C::kProjectionDistortion, false},
    // Web-map targets: the fit absorbs most of the offset, and what is
    // left bends over the site.
    {C::kWebMapCoordinates, C::kMostPointsOutliers, false},
    {C::kWebMapCoordinates, C::kBlunderUnlocated, false},
    {C::kWebMapCoordinates, C::kZoneNumber, false},
    {C::kWebMapCoordinates, C::kOutlier, false},
    {C::kWebMapCoordinates, C::kLargeDeviation, false},
    {C::kWebMapCoordinates, C::kLeverage, false},
    {C::kWebMapCoordinates, C::kCoarsePoints, false},
    {C::kWebMapCoordinates, C::kUnusualScale, false},
    {C::kWebMapCoordinates, C::kSwappedPoint, false},
    {C::kWebMapCoordinates, C::kWebMapPoint, false},
    {C::kWebMapCoordinates, C::kCoordinateSlip, false},
    {C::kWebMapCoordinates, C::kProjectionDistortion, false},
    // Lists that do not belong together: what their fit makes of each
    // point, of the scale and of the site says nothing, and some of their
    // points pair up by chance.
    {C::kMostPointsOutliers, C::kBlunderUnlocated, false},
    {C::kMostPointsOutliers, C::kExchangedPairs, false},
    {C::kMostPointsOutliers, C::kOutlier, false},
    {C::kMostPointsOutliers, C::kLargeDeviation, false},
    {C::kMostPointsOutliers, C::kLeverage, false},
    {C::kMostPointsOutliers, C::kCoarsePoints, false},
    {C::kMostPointsOutliers, C::kUnusualScale, false},
    {C::kMostPointsOutliers, C::kProjectionDistortion, false},
    // A blunder no point can be blamed for.
    {C::kBlunderUnlocated, C::kOutlier, true},
    {C::kBlunderUnlocated, C::kLargeDeviation, true},
    {C::kBlunderUnlocated, C::kLeverage, true},
    {C::kBlunderUnlocated, C::kCoarsePoints, false},
    // Two exchanged targets: their deviations, and their heights, which
    // travel with the targets.
    {C::kExchangedPairs, C::kOutlier, true},
    {C::kExchangedPairs, C::kLargeDeviation, true},
    {C::kExchangedPairs, C::kHeightOffLift, true},
    // A zone-number slip is its point's blunder, named with its cause;
    // so are the other causes the drawing's grid tells.
    {C::kZoneNumber, C::kOutlier, true},
    {C::kZoneNumber, C::kLargeDeviation, true},
    {C::kSwappedPoint, C::kOutlier, true},
    {C::kSwappedPoint, C::kLargeDeviation, true},
    {C::kWebMapPoint, C::kOutlier, true},
    {C::kWebMapPoint, C::kLargeDeviation, true},
    {C::kCoordinateSlip, C::kOutlier, true},
    {C::kCoordinateSlip, C::kLargeDeviation, true},
};

// How a finding of code `by` hides one of code `hidden`.
enum class Hiding { kNot, kWholly, kByPoints };
Hiding HidingOf(FindingCode by, FindingCode hidden) {
  for (const Hide& h : kHides) {
    if (h.by == by && h.hidden == hidden) {
      return h.points_only ? Hiding::kByPoints : Hiding::kWholly;
    }
  }
  return Hiding::kNot;
}

// The findings no kept one hides. Codes are ordered so that a finding
// hides only findings of later codes; so, code by code, only findings
// already kept can hide (a hidden finding explains nothing). A finding is
// checked only against the kept ones that hide some code wholly (a few)
// and those that explain its first point, so that a job with thousands of
// outliers is judged in time linear in its findings.
Findings WithoutHidden(Findings all) {
  std::stable_sort(all.begin(), all.end(),
                   [](const Finding& a, const Finding& b) {
                     return static_cast<int>(a.code) < static_cast<int>(b.code);
                   });
  Findings kept;
  std::vector<size_t> wholly;  // indices into kept
  // Per point (a fitted position from 1), the kept findings that hide the
  // findings of the points they explain and explain that one.
  std::vector<std::vector<size_t>> explaining;
  auto explained = [&](int p, size_t k) {
    const size_t i = static_cast<size_t>(p);
    return i < explaining.size() &&
           std::find(explaining[i].begin(), explaining[i].end(), k) !=
               explaining[i].end();
  };
  for (Finding& f : all) {
    bool hidden = std::any_of(wholly.begin(), wholly.end(), [&](size_t k) {
      return HidingOf(kept[k].code, f.code) == Hiding::kWholly;
    });
    const size_t first =
        f.points.empty() ? 0 : static_cast<size_t>(f.points[0]);
    if (!hidden && first != 0 && first < explaining.size()) {
      for (size_t k : explaining[first]) {
        hidden = HidingOf(kept[k].code, f.code) == Hiding::kByPoints &&
                 std::all_of(f.points.begin(), f.points.end(),
                             [&](int p) { return explained(p, k); });
        if (hidden) break;
      }
    }
    if (hidden) continue;
    const size_t k = kept.size();
    bool hides_wholly = false, hides_by_points = false;
    for (const Hide& h : kHides) {
      if (h.by != f.code) continue;
      (h.points_only ? hides_by_points : hides_wholly) = true;
    }
    if (hides_wholly) wholly.push_back(k);
    if (hides_by_points) {
      for (int p : f.explains.empty() ? f.points : f.explains) {
        if (p < 1) continue;
        const size_t i = static_cast<size_t>(p);
        if (i >= explaining.size()) explaining.resize(i + 1);
        explaining[i].push_back(k);
      }
    }
    kept.push_back(std::move(f));
  }
  return kept;
}

}  // namespace

const char* FindingCodeName(FindingCode code) {
  switch (code) {
    case FindingCode::kExchangedAxes:
      return "exchanged_axes";
    case FindingCode::kExchangedLonLat:
      return "exchanged_lon_lat";
    case FindingCode::kDmsAsDecimal:
      return "dms_as_decimal";
    case FindingCode::kBasePointReading:
      return "base_point_reading";
    case FindingCode::kRankDeficient:
      return "rank_deficient";
    case FindingCode::kWebMapCoordinates:
      return "web_map_coordinates";
    case FindingCode::kGridMismatch:
      return "grid_mismatch";
    case FindingCode::kNotConverged:
      return "not_converged";
    case FindingCode::kMostPointsOutliers:
      return "most_points_outliers";
    case FindingCode::kBlunderUnlocated:
      return "blunder_unlocated";
    case FindingCode::kIgnoredInput:
      return "ignored_input";
    case FindingCode::kExchangedPairs:
      return "exchanged_pairs";
    case FindingCode::kZoneNumber:
      return "zone_number";
    case FindingCode::kSwappedPoint:
      return "swapped_point";
    case FindingCode::kWebMapPoint:
      return "web_map_point";
    case FindingCode::kCoordinateSlip:
      return "coordinate_slip";
    case FindingCode::kOutlier:
      return "outlier";
    case FindingCode::kLargeDeviation:
      return "large_deviation";
    case FindingCode::kLeverage:
      return "leverage";
    case FindingCode::kNoRedundancy:
      return "no_redundancy";
    case FindingCode::kCollinear:
      return "collinear";
    case FindingCode::kCoarsePoints:
      return "coarse_points";
    case FindingCode::kFarFromBase:
      return "far_from_base";
    case FindingCode::kUnusualScale:
      return "unusual_scale";
    case FindingCode::kProjectionDistortion:
      return "projection_distortion";
    case FindingCode::kHeightOffLift:
      return "height_off_lift";
    case FindingCode::kCheckPointOff:
      return "check_point_off";
  }
  return "";
}

Diagnosis Diagnose(const ControlPoints& points, const SimilarityFit& fit,
                   double scale, DiagnosisDepth depth, double accuracy_m) {
  Diagnosis d;
  d.loss_scale_m = fit.loss_scale_m;
  const size_t n = std::min(points.source.size(), fit.residuals_m.size());
  if (n == 0 || n != points.target.size()) return d;
  const bool full = depth == DiagnosisDepth::kFull;
  d.drawing_units = DrawingUnits(fit.K);
  const Context c = MakeContext(points, fit, scale, accuracy_m, full, &d);

  Findings all;
  for (const Rule& rule : kRules) {
    if (!full && !rule.every_run) continue;
    const size_t before = all.size();
    rule.judge(c, &all);
    for (size_t k = before; k < all.size(); ++k) {
      all[k].report_only = !rule.every_run;
    }
  }
  Findings findings = WithoutHidden(std::move(all));
  // Findings name the points by their positions in the input; in a table
  // the check points count too.
  for (Finding& f : findings) {
    for (int& p : f.points) p = InputPosition(points.positions, p - 1);
  }
  if (std::none_of(findings.begin(), findings.end(),
                   [](const Finding& f) { return f.bad; })) {
    CheckPointOff(c, d.check_points, &findings);
  }

  // Bad first, then by first point, then those that name no point.
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) {
                     if (a.bad != b.bad) return a.bad;
                     if (a.points.empty() != b.points.empty()) {
                       return !a.points.empty();
                     }
                     return !a.points.empty() && a.points[0] < b.points[0];
                   });
  for (const Finding& f : findings) {
    if (f.bad) {
      d.verdict = Verdict::kBad;
    } else if (d.verdict == Verdict::kGood) {
      d.verdict = Verdict::kCheck;
    }
  }
  // A blunder that cannot be located is marked at no point: not in the
  // report's blunders, nor in the plot's red.
  if (std::any_of(findings.begin(), findings.end(), [](const Finding& f) {
        return f.code == FindingCode::kBlunderUnlocated;
      })) {
    d.survey.blunder.assign(d.survey.blunder.size(), false);
  }
  d.findings = std::move(findings);
  return d;
}

double UnlocatableAccuracyM(const ControlPoints& points, double scale,
                            const GridJudgement& grid, double accuracy_flag_m) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const size_t n = std::min(points.source.size(), points.target.size());
  const double unknowns = IsFreeScale(scale) ? 4.0 : 3.0;
  const double redundancy = 2.0 * static_cast<double>(n) - unknowns;
  if ((accuracy_flag_m > 0.0 && std::isfinite(accuracy_flag_m)) ||
      grid.in_grid || !(redundancy > 0.0) ||
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
  if (accuracy_m > 0.0 && std::isfinite(accuracy_m)) {
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
  const PlaneSimilarity& t = consensus.similarity;
  SimilarityFit at_consensus;
  at_consensus.A_m = t.A_m();
  at_consensus.B_m = t.B_m();
  at_consensus.K = t.K();
  at_consensus.angle_rad = t.angle_rad();
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
