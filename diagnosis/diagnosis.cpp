#include "diagnosis/diagnosis.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "common/fixed_text.h"
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

std::string PointName(size_t index) {
  return "point " + std::to_string(index + 1);
}

// "points 1, 2 and 5" for up to five points, else "7 points".
std::string PointList(const std::vector<int>& points) {
  if (points.size() == 1) return "point " + std::to_string(points[0]);
  if (points.size() > 5) return std::to_string(points.size()) + " points";
  std::string text = "points ";
  for (size_t i = 0; i < points.size(); ++i) {
    if (i != 0) text += i + 1 == points.size() ? " and " : ", ";
    text += std::to_string(points[i]);
  }
  return text;
}

Finding MakeFinding(const char* code, std::vector<int> points,
                    std::string message, bool bad) {
  Finding f;
  f.code = code;
  f.points = std::move(points);
  f.message = std::move(message);
  f.bad = bad;
  return f;
}

// Every index up to n, or about kExchangeSubsample of them at a fixed
// stride, so that the subsample spreads over the input as given.
std::vector<size_t> SpreadSubsample(size_t n) {
  std::vector<size_t> index;
  const size_t stride = n > kExchangeSubsample
                            ? (n + kExchangeSubsample - 1) / kExchangeSubsample
                            : 1;
  index.reserve(n / stride + 1);
  for (size_t i = 0; i < n; i += stride) index.push_back(i);
  return index;
}

// RMS of the fit's own deviations over the points in `index`, metres.
double RmsOver(const SimilarityFit& fit, const std::vector<size_t>& index) {
  double sum_sq_m2 = 0.0;
  for (size_t i : index) sum_sq_m2 += fit.residuals_m[i] * fit.residuals_m[i];
  return std::sqrt(sum_sq_m2 / static_cast<double>(index.size()));
}

// Another reading of the same input: the drawing points and the targets,
// in the scene's frame, of the points in `index`; false when the reading
// gives no place on earth.
struct Reading {
  const char* what;  // for the message
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

bool Targets(const ControlPoints& points, const std::vector<size_t>& index,
             bool exchange_targets, bool exchange_base,
             std::vector<Point2>* target) {
  std::vector<Point3> geodetic;
  geodetic.reserve(index.size());
  for (size_t i : index) {
    Point3 g = points.geodetic[i];
    if (exchange_targets) std::swap(g.x, g.y);
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
    {"axes",
     [](const ControlPoints& p, const std::vector<size_t>& index,
        std::vector<Point2>* source, std::vector<Point2>* target) {
       *source = DrawingPoints(p, index, true);
       *target = FitTargets(p, index);
       return true;
     }},
    {"targets",
     [](const ControlPoints& p, const std::vector<size_t>& index,
        std::vector<Point2>* source, std::vector<Point2>* target) {
       *source = DrawingPoints(p, index, false);
       return Targets(p, index, true, false, target);
     }},
    {"base",
     [](const ControlPoints& p, const std::vector<size_t>& index,
        std::vector<Point2>* source, std::vector<Point2>* target) {
       *source = DrawingPoints(p, index, false);
       return Targets(p, index, false, true, target);
     }},
    {"both",
     [](const ControlPoints& p, const std::vector<size_t>& index,
        std::vector<Point2>* source, std::vector<Point2>* target) {
       *source = DrawingPoints(p, index, false);
       return Targets(p, index, true, true, target);
     }},
};

struct Exchange {
  const char* what = nullptr;  // nullptr: no reading fits better
  double rms_m = 0.0;
  std::vector<double> residuals_m;  // per point under that reading
};

// The reading whose robust fit has at most a tenth of the fit's RMS, the
// best of them; judged on a spread subsample first and confirmed on all
// points.
Exchange FindExchange(const ControlPoints& points, const SimilarityFit& fit,
                      double scale) {
  Exchange best;
  const size_t n = points.source.size();
  const std::vector<size_t> subsample = SpreadSubsample(n);
  const double subsample_rms_m = RmsOver(fit, subsample);
  std::vector<size_t> all;
  for (const Reading& reading : kReadings) {
    std::vector<Point2> source, target;
    if (!reading.build(points, subsample, &source, &target)) continue;
    RobustSimilarity r = FitRobustSimilarity(source, target, scale);
    if (!r.ok || !(r.rms_m <= 0.1 * subsample_rms_m)) continue;
    if (subsample.size() < n) {
      if (all.empty()) {
        all.resize(n);
        for (size_t i = 0; i < n; ++i) all[i] = i;
      }
      reading.build(points, all, &source, &target);
      r = FitRobustSimilarity(source, target, scale);
      if (!r.ok || !(r.rms_m <= 0.1 * fit.rms_m)) continue;
    }
    if (best.what == nullptr || r.rms_m < best.rms_m) {
      best.what = reading.what;
      best.rms_m = r.rms_m;
      best.residuals_m = std::move(r.residuals_m);
    }
  }
  return best;
}

std::string ExchangeMessage(const Exchange& e, double fit_rms_m) {
  const std::string figures =
      " (RMS " + Metres(e.rms_m) + " instead of " + Metres(fit_rms_m) + ")";
  const std::string what = e.what;
  if (what == "axes") {
    return "the drawing points fit with x and y exchanged" + figures +
           ": surveyors' X is north and Y is east, so give each drawing point "
           "easting first (exchange x and y in DWGsrcpoints)";
  }
  if (what == "targets") {
    return "the targets fit with longitude and latitude exchanged" + figures +
           ": give each target in DWGdespoints longitude first, then latitude";
  }
  if (what == "base") {
    return "the base point fits with longitude and latitude exchanged" +
           figures + ": give basepoint longitude first, then latitude";
  }
  return "the base point and the targets fit with longitude and latitude "
         "exchanged" +
         figures +
         ": give basepoint and each target in DWGdespoints longitude first, "
         "then latitude";
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
  // How far the other target lies from where the fit puts drawing point
  // i (its own target minus its deviation), less the part of that the
  // projection accounts for there (at most its length).
  auto at_other = [&](size_t i, size_t other) {
    const Point2& t = points.target[other];
    const Point2& own = points.target[i];
    const Point2& d = fit.deviations[i];
    return std::max(0.0, DeviationLength(t.x - own.x + d.x, t.y - own.y + d.y) -
                             survey.projection_m[i]);
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

// RMS distance of the targets from their centroid, metres.
double TargetSpreadM(const std::vector<Point2>& target) {
  double cx = 0.0, cy = 0.0;
  for (const Point2& t : target) {
    cx += t.x;
    cy += t.y;
  }
  const double n = static_cast<double>(target.size());
  cx /= n;
  cy /= n;
  double sum_sq_m2 = 0.0;
  for (const Point2& t : target) {
    sum_sq_m2 += (t.x - cx) * (t.x - cx) + (t.y - cy) * (t.y - cy);
  }
  return std::sqrt(sum_sq_m2 / n);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
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
    if (std::fabs(std::fabs(K) / unit.metres - 1.0) <= 0.01) return unit.name;
  }
  return std::string();
}

Diagnosis Diagnose(const ControlPoints& points, const SimilarityFit& fit,
                   double scale, DiagnosisDepth depth) {
  Diagnosis d;
  const size_t n = std::min(points.source.size(), fit.residuals_m.size());
  if (n == 0 || n != points.target.size()) return d;
  const bool full = depth == DiagnosisDepth::kFull;
  std::vector<Finding> findings;
  d.drawing_units = DrawingUnits(fit.K);
  d.survey = JudgeSurvey(points, fit);
  const SurveyJudgement& survey = d.survey;
  const bool projected = survey.projection.kind != ProjectionKind::kNone;

  // The drawing's spread, closed form: all points at one place (relative
  // to the size of their coordinates) fix no rotation and no scale.
  double spread_major = 0.0, spread_minor = 0.0;
  PrincipalSpreads(points.source, &spread_major, &spread_minor);
  double largest_coordinate = 0.0;
  for (size_t i = 0; i < n; ++i) {
    largest_coordinate =
        std::max({largest_coordinate, std::fabs(points.source[i].x),
                  std::fabs(points.source[i].y)});
  }
  const bool one_place = !(spread_major > 1e-12 * largest_coordinate);
  if (one_place) {
    findings.push_back(MakeFinding(
        "rank_deficient", {},
        std::string("the drawing points all lie at one place, so they fix ") +
            (fit.free_scale ? "neither the rotation nor the scale"
                            : "no rotation") +
            ": give control points spread over the drawing",
        true));
  }

  // Outliers are blunders of the survey: without a projection exactly the
  // fit's own outliers (a deviation above 0.15 m, a weight below 0.1).
  std::vector<bool> outlier(n);
  size_t outliers = 0;
  for (size_t i = 0; i < n; ++i) {
    outlier[i] = survey.blunder[i];
    if (outlier[i]) ++outliers;
  }

  // Another reading of the input that fits ten times better explains the
  // fit's failure; it is only tried when the fit misses by decimetres.
  Exchange exchange;
  if (!one_place && fit.rms_m > kWarningM) {
    exchange = FindExchange(points, fit, scale);
  }
  const bool exchanged = exchange.what != nullptr;
  // Points whose deviation the exchanged reading accounts for.
  std::vector<bool> explained(n, false);
  if (exchanged) {
    findings.push_back(
        MakeFinding(std::string(exchange.what) == "axes" ? "exchanged_axes"
                                                         : "exchanged_lon_lat",
                    {}, ExchangeMessage(exchange, fit.rms_m), true));
    for (size_t i = 0; i < n; ++i) {
      explained[i] = exchange.residuals_m[i] <= kWarningM;
    }
  }

  size_t unexplained_outliers = outliers;
  // Points whose targets (and with them their heights) look exchanged.
  std::vector<bool> paired(n, false);
  if (!exchanged && outliers >= 2) {
    for (const auto& pair : ExchangedPairs(points, fit, survey, outlier)) {
      const size_t i = pair.first, j = pair.second;
      explained[i] = explained[j] = true;
      paired[i] = paired[j] = true;
      unexplained_outliers -= 2;
      const std::string a = std::to_string(i + 1), b = std::to_string(j + 1);
      findings.push_back(MakeFinding(
          "exchanged_pairs", {static_cast<int>(i + 1), static_cast<int>(j + 1)},
          "the targets of points " + a + " and " + b +
              " fit each other's drawing points (both deviate by " +
              Metres(survey.survey_m[i]) + " and " +
              Metres(survey.survey_m[j]) +
              " as given): exchange the targets of points " + a + " and " + b,
          false));
    }
  }

  if (!exchanged && !one_place && fit.solver.termination != "CONVERGENCE") {
    findings.push_back(MakeFinding(
        "not_converged", {},
        "the solver stopped without converging (" + fit.solver.termination +
            " after " + std::to_string(fit.solver.iterations) +
            " iterations), so the matrix is no solution: check that each "
            "drawing point and its target belong together",
        true));
  }

  // Most points outliers far beyond the survey's accuracy: the fit is of
  // points that do not belong together, and what it makes of each point
  // (outliers, leverage, scale) says nothing more.
  // So are points at one place: their fit says nothing about any point.
  bool unrelated = one_place;
  if (!exchanged && !one_place && unexplained_outliers > 0 &&
      2 * unexplained_outliers >= n) {
    std::vector<double> deviations_m;
    for (size_t i = 0; i < n; ++i) {
      if (outlier[i] && !explained[i]) {
        deviations_m.push_back(survey.survey_m[i]);
      }
    }
    const double median_m = Median(deviations_m);
    const double spread_m = TargetSpreadM(points.target);
    if (median_m > 0.01 * spread_m) {
      unrelated = true;
      findings.push_back(MakeFinding(
          "most_points_outliers", {},
          std::to_string(unexplained_outliers) + " of " + std::to_string(n) +
              " points are outliers, with a median deviation of " +
              Metres(median_m) + " against a spread of " + Metres(spread_m) +
              ": the drawing points and the targets do not belong together; "
              "check that both lists hold the same points in the same order",
          true));
    }
  }

  if (full) {
    // Check residuals of the survey: with a projection, each point against
    // the similarity of the others between the drawing and the projected
    // positions (metres), so that the projection's distortion does not
    // count; without one, the fit's own.
    std::vector<CheckResidual> checks = fit.quality.checks;
    if (projected && fit.quality.computed) {
      std::vector<Point2> drawing(n), projected_m(n);
      for (size_t i = 0; i < n; ++i) {
        drawing[i] = Point2{points.source[i].x, points.source[i].y};
        projected_m[i] = ProjectGeodetic(
            survey.projection.tm, points.geodetic[i].x, points.geodetic[i].y);
      }
      checks = RobustCheckResiduals(drawing, projected_m, 0.0);
    }
    for (size_t i = 0; i < n && !unrelated; ++i) {
      if (explained[i]) continue;
      const double r_m = survey.survey_m[i];
      const std::vector<int> point = {static_cast<int>(i + 1)};
      // With a projection the survey's own measure, named as such.
      const std::string off =
          PointName(i) +
          (projected ? " lies " + Metres(r_m) + " from its projected position"
                     : " deviates by " + Metres(r_m));
      if (outlier[i]) {
        findings.push_back(MakeFinding(
            "outlier", point,
            off + " and is an outlier: check its drawing coordinates and its "
                  "WGS84 position",
            false));
      } else if (r_m > kWarningM) {
        findings.push_back(MakeFinding(
            "large_deviation", point,
            off + " but is not flagged as an outlier: check its coordinates, "
                  "or accept a survey that coarse",
            false));
      }
      if (!exchanged && i < checks.size() && checks[i].available) {
        const double check_m = checks[i].length_m;
        if (check_m > kWarningM && r_m < 0.5 * check_m) {
          findings.push_back(MakeFinding(
              "leverage", point,
              PointName(i) + " deviates by " + Metres(r_m) + " but by " +
                  Metres(check_m) +
                  " when left out, so it may hold the solution to itself: "
                  "check it, or add control points near it",
              false));
        }
      }
    }
    if (!one_place && !std::isfinite(fit.sigma0_m)) {
      findings.push_back(MakeFinding(
          "no_redundancy", {},
          std::to_string(n) + (n == 1 ? " point fixes" : " points fix") +
              " the transform exactly and nothing checks them: add control "
              "points",
          false));
    }
    // Two points always lie on a line; no redundancy says more of them.
    if (!one_place && n > 2 &&
        spread_minor < kWeakGeometryRatio * spread_major) {
      findings.push_back(MakeFinding(
          "collinear", {},
          "the drawing points lie nearly on one line (their spread across it "
          "is " +
              FormatDouble("%.2f", 100.0 * spread_minor / spread_major) +
              " % of that along it): add a control point away from that line",
          false));
    }
    std::vector<int> far;
    double farthest_m = 0.0;
    for (size_t i = 0; i < n; ++i) {
      const Point2& t = points.target[i];
      const double distance_m = DeviationLength(t.x, t.y);
      if (distance_m > kFarFromBaseM) {
        far.push_back(static_cast<int>(i + 1));
        farthest_m = std::max(farthest_m, distance_m);
      }
    }
    if (!far.empty() && !(exchanged && std::string(exchange.what) != "axes")) {
      findings.push_back(MakeFinding(
          "far_from_base", far,
          PointList(far) + (far.size() == 1 ? " lies " : " lie up to ") +
              (std::isfinite(farthest_m)
                   ? FormatDouble("%.3f", farthest_m / 1000.0) + " km"
                   : Metres(farthest_m)) +
              " from the base point, beyond 50 km: check the base point, "
              "and that these targets belong to this scene",
          false));
    }
    if (!exchanged && !unrelated && fit.free_scale && d.drawing_units.empty() &&
        std::isfinite(fit.K)) {
      findings.push_back(MakeFinding(
          "unusual_scale", {},
          "the fitted scale K = " + FormatDouble("%.7g", fit.K) +
              " matches no drawing unit (m, dm, cm, mm, km, in or ft, "
              "within 1 %): check the drawing's unit, and that its points "
              "and the targets belong together",
          false));
    }
    if (projected && !unrelated && !exchanged) {
      d.hold = ComputeMatrixHold(points, fit, survey);
      if (d.hold.matrix_error_m > kMatrixToleranceM) {
        findings.push_back(MakeFinding("projection_distortion", {},
                                       ProjectionDistortionMessage(d.hold),
                                       false));
      }
    }
    d.heights = DiagnoseHeights(points);
    if (d.heights.plane_fitted) {
      for (size_t i = 0; i < n; ++i) {
        const double off_m = d.heights.off_plane_m[i];
        if (std::fabs(off_m) > kWarningM && !paired[i]) {
          findings.push_back(MakeFinding(
              "height_off_lift", {static_cast<int>(i + 1)},
              PointName(i) + " is " + Metres(off_m) +
                  " off the height plane of the others: check its height "
                  "and its drawing z",
              false));
        }
      }
    }
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
  d.findings = std::move(findings);
  return d;
}
