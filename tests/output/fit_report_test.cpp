#include "output/fit_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "geodesy/geodetic_converter.h"
#include "output/transform_output.h"

namespace geoanchor {

namespace {

using nlohmann::json;

// The report of a run with no z offset, with the matrix the run writes.
std::string Report(const ControlPoints& points, const SimilarityFit& fit,
                   const VerticalLift& vertical, const Diagnosis& diagnosis,
                   Language language = Language::kEnglish) {
  return FitReportJson(points, fit, vertical, diagnosis,
                       ResultMatrix(fit, points, 0.0).numbers, language);
}

TEST(FitReportTest, MatrixProductIsColumnMajor) {
  // a translates by (1, 2, 3); b scales x by 2: a * b maps (1, 0, 0) to
  // (3, 2, 3) (hand calculation).
  std::array<double, 16> a{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1};
  std::array<double, 16> b{2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const std::array<double, 16> c = MultiplyMatrices(a, b);
  EXPECT_EQ(2.0, c[0]);
  EXPECT_EQ(1.0, c[12]);
  EXPECT_EQ(2.0, c[13]);
  EXPECT_EQ(3.0, c[14]);
}

TEST(FitReportTest, EnuFrameIsOrthonormalWithTheOriginInItsLastColumn) {
  const GeodeticConverter converter(116.3, 39.9);
  const std::array<double, 16> m = EnuToEcefMatrix(converter);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      double dot = 0.0;
      for (int k = 0; k < 3; ++k) dot += m[4 * i + k] * m[4 * j + k];
      EXPECT_NEAR(i == j ? 1.0 : 0.0, dot, 1e-15);
    }
  }
  Point3 origin;
  converter.GeodeticToEcef(Point3{116.3, 39.9, 0.0}, &origin);
  EXPECT_EQ(origin.x, m[12]);
  EXPECT_EQ(origin.z, m[14]);
  EXPECT_EQ(1.0, m[15]);
}

// A fit of points at (x, 0) with the given deviations, weights as the
// Cauchy loss gives them (1 / (1 + (r / 0.05)^2), by hand), and quality
// figures that raise nothing unless a case sets them.
SimilarityFit MakeFit(const std::vector<Point2>& deviations) {
  SimilarityFit fit;
  fit.deviations = deviations;
  double sum_sq = 0.0;
  for (const Point2& d : deviations) {
    const double r = std::sqrt(d.x * d.x + d.y * d.y);
    fit.residuals_m.push_back(r);
    fit.weights.push_back(1.0 / (1.0 + (r / 0.05) * (r / 0.05)));
    fit.quality.checks.push_back(CheckResidual{true, d.x, d.y, r});
    sum_sq += r * r;
  }
  const double n = static_cast<double>(deviations.size());
  fit.rms_m = std::sqrt(sum_sq / n);
  fit.sigma0_m = 2 * n > 4 ? std::sqrt(sum_sq / (2 * n - 4)) : std::nan("");
  fit.quality.computed = true;
  fit.quality.precision.available = std::isfinite(fit.sigma0_m);
  fit.quality.spread_major = 100.0;
  fit.quality.spread_minor = 50.0;
  return fit;
}

// Two points 10 m apart in the pair mode, the base point at (lon, lat).
ControlPoints TwoPairs(double lon_deg, double lat_deg) {
  ControlPoints points;
  points.mode = InputMode::kPair;
  points.base_point = Point3{lon_deg, lat_deg, 0};
  points.source = {{0, 0, 0}, {10, 0, 0}};
  points.target = {{0, 0}, {10, 0}};
  return points;
}

TEST(FitReportTest, MissingFiguresAreNullWithAReason) {
  const ControlPoints points = TwoPairs(116.3, 39.9);
  SimilarityFit fit = MakeFit({{0.3, 0.4}, {0, 0}});
  fit.quality.checks.assign(2, CheckResidual());
  fit.quality.checks_note = Message{"check residuals need at least 3 points",
                                    "检核残差至少需要 3 个点"};
  fit.quality.precision.note = Message{"no redundancy", "没有多余观测"};
  fit.solver.termination = "CONVERGENCE";
  fit.solver.final_cost = std::numeric_limits<double>::infinity();
  const json j = json::parse(Report(points, fit, VerticalLift(), Diagnosis()));
  EXPECT_TRUE(j["sigma0_m"].is_null());  // 2n = 4 = u
  EXPECT_TRUE(j["precision"].is_null());
  EXPECT_EQ("no redundancy", j["precision_note"]);
  EXPECT_EQ("check residuals need at least 3 points", j["checks_note"]);
  // The notes in the report's language.
  const json zh = json::parse(
      Report(points, fit, VerticalLift(), Diagnosis(), Language::kChinese));
  EXPECT_EQ("没有多余观测", zh["precision_note"]);
  EXPECT_EQ("检核残差至少需要 3 个点", zh["checks_note"]);
  EXPECT_TRUE(j["points"][0]["check_m"].is_null());
  EXPECT_FALSE(j["points"][0].contains("dz_m"));  // no heights in pairs
  EXPECT_TRUE(j["vertical"].is_null());
  EXPECT_TRUE(j["points"][0]["outlier"].get<bool>());  // 0.5 m
  EXPECT_TRUE(j["solver"]["final_cost"].is_null());
  EXPECT_TRUE(j["findings"].empty());
  EXPECT_TRUE(j["warnings"].empty());
  EXPECT_EQ("good", j["verdict"]);
  EXPECT_TRUE(j["drawing_units"].is_null());
}

// The diagnosis is rendered as given: findings in their order, their
// messages again as warnings, the verdict, the unit and the height figures.
TEST(FitReportTest, DiagnosisIsWrittenInItsOrder) {
  ControlPoints points;
  points.mode = InputMode::kHeight;
  points.base_point = Point3{116.3, 39.9, 0};
  points.source = {{0, 0, 1}, {10, 0, 2}, {0, 10, 3}};
  points.target = {{0, 0}, {10, 0}, {0, 10}};
  points.target_up_m = {4, 5, 6.5};
  const SimilarityFit fit = MakeFit({{0.001, 0}, {0, 0.002}, {0, 0}});
  Diagnosis d;
  d.verdict = Verdict::kBad;
  d.drawing_units = "mm";
  d.findings = {
      {FindingCode::kExchangedAxes, {}, Same("x \"and\" y"), true, {}},
      {FindingCode::kExchangedPairs,
       {1, 3},
       Message{"targets of 1 and 3", "点 1 与点 3 的目标点"},
       false,
       {}}};
  d.heights.available = true;
  d.heights.flat_drawing = false;
  d.heights.plane_fitted = true;
  d.heights.slope_east_ppm = 25.5;
  d.heights.slope_north_ppm = -3.0;
  d.heights.curvature_m = 0.125;
  // A city's own meridian, not determined well enough to be given.
  d.survey.projection.kind = ProjectionKind::kTransverseMercator;
  d.survey.projection.rms_m = 0.004;
  d.survey.survey_m = {0.001, 0.2, 0.003};
  d.survey.projection_m = {0.0, 0.05, 0.01};
  d.survey.blunder = {false, true, false};
  d.hold.matrix_error_m = 0.07;
  const VerticalLift v{true, {0, 0, 0.5}, 3.0, 0.29, 0.5};
  const json j = json::parse(Report(points, fit, v, d));
  EXPECT_EQ("bad", j["verdict"]);
  EXPECT_EQ("mm", j["drawing_units"]);
  ASSERT_EQ(2u, j["findings"].size());
  EXPECT_EQ("exchanged_axes", j["findings"][0]["code"]);
  EXPECT_TRUE(j["findings"][0]["points"].empty());
  EXPECT_EQ("x \"and\" y", j["findings"][0]["message"]);
  EXPECT_EQ(json::array({1, 3}), j["findings"][1]["points"]);
  EXPECT_EQ(json::array({"x \"and\" y", "targets of 1 and 3"}), j["warnings"]);
  EXPECT_FALSE(j["vertical"]["flat_drawing"].get<bool>());
  EXPECT_EQ(25.5, j["vertical"]["slope_east_ppm"].get<double>());
  EXPECT_EQ(-3.0, j["vertical"]["slope_north_ppm"].get<double>());
  EXPECT_EQ(0.125, j["vertical"]["curvature_m"].get<double>());
  const json& projection = j["projection"];
  EXPECT_EQ("transverse_mercator", projection["kind"]);
  EXPECT_TRUE(projection["central_meridian_deg"].is_null());
  EXPECT_TRUE(projection["zone"].is_null());
  EXPECT_TRUE(projection["epsg"].is_null());
  EXPECT_FALSE(projection["zone_in_easting"].get<bool>());
  EXPECT_EQ(0.004, projection["rms_m"].get<double>());
  EXPECT_EQ(0.07, j["matrix_error_m"].get<double>());
  EXPECT_EQ(0.2, j["points"][1]["survey_m"].get<double>());
  EXPECT_EQ(0.05, j["points"][1]["projection_m"].get<double>());
  EXPECT_TRUE(j["points"][1]["blunder"].get<bool>());
  EXPECT_FALSE(j["points"][1]["outlier"].get<bool>());  // the fit's 2 mm
  // No plane (a flat drawing): its slopes are null, the curvature stays.
  d.heights.flat_drawing = true;
  d.heights.plane_fitted = false;
  const json flat = json::parse(Report(points, fit, v, d));
  EXPECT_TRUE(flat["vertical"]["flat_drawing"].get<bool>());
  EXPECT_TRUE(flat["vertical"]["slope_east_ppm"].is_null());
  EXPECT_EQ(0.125, flat["vertical"]["curvature_m"].get<double>());
  // No projection: null, and so is the matrix error.
  const json none = json::parse(Report(points, fit, v, Diagnosis()));
  EXPECT_TRUE(none["projection"].is_null());
  EXPECT_TRUE(none["matrix_error_m"].is_null());
}

TEST(FitReportTest, PrecisionAndHeightsAreWritten) {
  ControlPoints points;
  points.mode = InputMode::kHeight;
  points.base_point = Point3{116.3, 39.9, 0};
  points.source = {{0, 0, 1}, {10, 0, 2}, {0, 10, 3}};
  points.target = {{0, 0}, {10, 0}, {0, 10}};
  points.target_up_m = {4, 5, 6.5};
  SimilarityFit fit = MakeFit({{0.001, 0}, {0, 0.002}, {0, 0}});
  FitPrecision& p = fit.quality.precision;
  p.centroid_src_x = 3.25;
  p.east_m = 0.001;
  p.scale_ppm = 12.5;
  p.correlation = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0.5, 0, 0, 0.5, 1};
  p.correlation_size = 4;
  const VerticalLift v{true, {0, 0, 0.5}, 3.0, 0.29, 0.5};
  const json j = json::parse(Report(points, fit, v, Diagnosis()));
  EXPECT_EQ(3.25, j["precision"]["centroid_src"][0].get<double>());
  EXPECT_EQ(12.5, j["precision"]["scale_ppm"].get<double>());
  EXPECT_EQ(0.5, j["precision"]["correlation"][2][3].get<double>());
  EXPECT_EQ(4u, j["precision"]["correlation"].size());
  EXPECT_FALSE(j.contains("precision_note"));
  EXPECT_EQ(6.5, j["points"][2]["up_m"].get<double>());
  EXPECT_EQ(3.0, j["points"][2]["src_z"].get<double>());
  EXPECT_EQ(0.5, j["points"][2]["dz_m"].get<double>());
  EXPECT_EQ(3.0, j["vertical"]["lift_m"].get<double>());
  EXPECT_EQ(0.002, j["points"][1]["check_m"].get<double>());
  fit.free_scale = false;
  EXPECT_TRUE(
      json::parse(Report(points, fit, v, Diagnosis()))["precision"]["scale_ppm"]
          .is_null());
}

// The drawing's grid: its EPSG code, name, datum shift and similarity, and
// each point's grid deviation; null for a drawing in none.
TEST(FitReportTest, GridDeviationsAreWritten) {
  const ControlPoints points = TwoPairs(117.2, 39.1);
  const SimilarityFit fit = MakeFit({{0, 0}, {0, 0}});
  const json none =
      json::parse(Report(points, fit, VerticalLift(), Diagnosis()));
  EXPECT_TRUE(none["grid"].is_null());
  EXPECT_TRUE(none["points"][0]["grid_m"].is_null());

  Diagnosis d;
  d.grid.in_grid = true;
  d.grid.grid = GaussKruger3(39, true);
  d.grid.deviation_m = {{0.3, -0.4}, {45.0, 60.0}};
  d.grid.grid_m = {0.5, 75.0};
  d.grid.datum_shift_m = {0.3, -0.4};
  d.grid.K = 1.0000123;
  d.grid.angle_rad = -0.0022;
  const json j = json::parse(Report(points, fit, VerticalLift(), d));
  EXPECT_EQ(4527, j["grid"]["epsg"].get<int>());
  EXPECT_EQ("CGCS2000 3-degree Gauss-Kruger zone 39 (EPSG:4527)",
            j["grid"]["name"].get<std::string>());
  EXPECT_EQ(-0.4, j["grid"]["datum_dy_m"].get<double>());
  EXPECT_EQ(1.0000123, j["grid"]["K"].get<double>());
  EXPECT_EQ(45.0, j["points"][1]["grid_dx_m"].get<double>());
  EXPECT_EQ(60.0, j["points"][1]["grid_dy_m"].get<double>());
  EXPECT_EQ(75.0, j["points"][1]["grid_m"].get<double>());
}

// The report's float32-safe placement: the origin is the fitted points'
// centroid in whole units (by hand: (10/3, 11/3, 4/3) -> (3, 4, 1)), and the
// matrix about it is matrix_local with its last column at the origin's
// place (2*3 + 100, 2*4 - 50, 1). Both follow the existing matrices.
TEST(FitReportTest, LocalOriginAndTheMatrixAboutItFollowTheMatrices) {
  ControlPoints points;
  points.mode = InputMode::kHeight;
  points.base_point = Point3{116.3, 39.9, 0};
  points.source = {{0, 0, 0}, {10, 0, 1}, {0, 11, 3}};
  points.target = {{100, -50}, {120, -50}, {100, -28}};
  points.target_up_m = {0, 1, 3};
  SimilarityFit fit = MakeFit({{0, 0}, {0, 0}, {0, 0}});
  fit.similarity = PlaneSimilarity::FromModel(100.0, -50.0, 2.0, 0.0);
  const std::string text = Report(points, fit, VerticalLift(), Diagnosis());
  const json j = json::parse(text);
  EXPECT_EQ(json::array({3.0, 4.0, 1.0}), j["local_origin"]);
  const json want = json::array({2.0, 0.0, 0.0, 0.0, 0.0, 2.0, 0.0, 0.0, 0.0,
                                 0.0, 1.0, 0.0, 106.0, -42.0, 1.0, 1.0});
  EXPECT_EQ(want, j["matrix_local_rtc"]);
  size_t at = 0;
  for (const char* key :
       {"\"matrix_local\"", "\"matrix_ecef\"", "\"local_origin\"",
        "\"matrix_local_rtc\"", "\"points\""}) {
    const size_t next = text.find(key);
    EXPECT_LT(at, next) << key;
    at = next;
  }
  // Halves round away from zero; no points, no shift.
  const Point3 half = LocalOrigin({{-1, 2, 0.5}, {-4, 3, 0}});
  EXPECT_EQ(-3.0, half.x);
  EXPECT_EQ(3.0, half.y);
  EXPECT_EQ(0.0, half.z);
  EXPECT_EQ(0.0, LocalOrigin({}).x);
}

// The translation about the origin is the exact value rounded once, where
// adding the rounded products loses it (sums by hand, in powers of two).
TEST(FitReportTest, MatrixAboutOriginRoundsItsTranslationOnce) {
  const double p30 = std::ldexp(1.0, 30), p53 = std::ldexp(1.0, 53);
  struct Case {
    const char* what;
    double m0, m4, m12;  // row 0 of the matrix; the others are the identity's
    Point3 origin;
    double want;
  };
  const Case cases[] = {
      // (1 + 2^-30)(2^30 + 1) - (2^30 + 2) = 2^-30; the rounded product
      // is 2^30 + 2 and the plain sum 0.
      {"cancellation",
       1.0 + 1.0 / p30,
       0.0,
       -(p30 + 2.0),
       {p30 + 1.0, 0, 0},
       1.0 / p30},
      // 2^53 + 1 + 2^-60 lies above the half-way point between 2^53 and
      // 2^53 + 2; adding 1 first rounds to even, 2^53.
      {"half way", 1.0, std::ldexp(1.0, -60), p53, {1.0, 1.0, 0}, p53 + 2.0},
      {"nothing to round", 0.5, -0.25, 10.0, {4.0, 8.0, 0}, 10.0},
      // The bundled example's easting about its origin; the value from
      // exact rational arithmetic (Python's fractions). The plain sum gives
      // 160.57658521085978.
      {"the example",
       0.9996377047496906,
       -0.021499075949249751,
       -39410190.200558051,
       {39517739, 4329076, 0},
       160.57658520780538},
      // A product beyond the doubles: the plain sum, infinite.
      {"overflow", 1e300, 0.0, 0.0, {1e10, 0, 0}, HUGE_VAL},
  };
  for (const Case& c : cases) {
    std::array<double, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    m[0] = c.m0;
    m[4] = c.m4;
    m[12] = c.m12;
    const std::array<double, 16> about = MatrixAboutOrigin(m, c.origin);
    EXPECT_EQ(c.want, about[12]) << c.what;
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(m[i], about[i]) << c.what;
    EXPECT_EQ(c.origin.y, about[13]) << c.what;  // 0 * x + 1 * y + 0
    EXPECT_EQ(1.0, about[15]) << c.what;
  }
}

// A point p of the drawing as a float32 viewer places it: (p - origin)
// subtracted in double once, then the coordinates and the matrix in float,
// every operation rounded to float. Without an origin, p itself in float.
Point3 InFloat(const std::array<double, 16>& m, const Point3& p,
               const Point3& origin) {
  const float x = static_cast<float>(p.x - origin.x);
  const float y = static_cast<float>(p.y - origin.y);
  const float z = static_cast<float>(p.z - origin.z);
  float f[16];
  for (size_t i = 0; i < 16; ++i) f[i] = static_cast<float>(m[i]);
  return Point3{f[0] * x + f[4] * y + f[8] * z + f[12],
                f[1] * x + f[5] * y + f[9] * z + f[13],
                f[2] * x + f[6] * y + f[10] * z + f[14]};
}

Point3 InDouble(const std::array<double, 16>& m, const Point3& p) {
  return Point3{m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12],
                m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
                m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
}

double Distance(const Point3& a, const Point3& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}

// A 10 km drawing whose centre lands a few km from the base point: every
// place of it, on a 41 x 41 grid at its lowest and highest z, placed in
// float32 through the origin and matrix_local_rtc lands within 1 mm of
// where matrix_local puts it in double. matrix_local itself in float32
// misses by metres on a zone-numbered drawing (a float holds 39 500 000
// to 4 m). The margin is float32's own: a float spaces 0.5 mm apart at 4 to
// 8 km from the base point, and these drawings reach 9 km from it; the
// worst here is 0.92 to 0.96 mm, with the centre at the base point 0.6 to
// 0.7 mm.
TEST(FitReportTest, Float32ViewerPlacesTenKilometresWithinAMillimetre) {
  struct Case {
    const char* drawing;
    double K, angle_rad;
    Point2 centre;  // drawing units
    double half;    // half the drawing's width, drawing units
    Point2 lands;   // where the centre lands, metres from the base point
    double z_low, z_high, zoffset_m;
    bool plain_float_fails;
  };
  const Case cases[] = {
      {"zone-numbered Gauss-Kruger",
       0.99987,
       0.0215,
       {39517738.855, 4329075.554},
       5000.0,
       {1500.0, -2500.0},
       0.0,
       120.0,
       3.93,
       true},
      {"local grid",
       1.0000123,
       -0.35,
       {2000.0, 3000.0},
       5000.0,
       {-2800.0, 1200.0},
       -5.0,
       80.0,
       0.0,
       false},
      {"millimetres",
       0.001,
       0.8,
       {2.5e6, 4.0e6},
       5e6,
       {2000.0, 2000.0},
       0.0,
       150000.0,
       -12.5,
       false},
  };
  for (const Case& c : cases) {
    const double p = c.K * std::cos(c.angle_rad),
                 q = c.K * std::sin(c.angle_rad);
    SimilarityFit fit;
    fit.similarity = PlaneSimilarity::FromModel(
        c.lands.x - (p * c.centre.x - q * c.centre.y),
        c.lands.y - (q * c.centre.x + p * c.centre.y), c.K, c.angle_rad);
    // Six control points spread over the drawing, not around its centre.
    ControlPoints points;
    const double spread[6][2] = {{-0.8, -0.7}, {0.9, -0.6}, {0.7, 0.8},
                                 {-0.5, 0.9},  {0.1, 0.2},  {0.6, 0.1}};
    for (const auto& s : spread) {
      points.source.push_back(Point3{c.centre.x + s[0] * c.half,
                                     c.centre.y + s[1] * c.half,
                                     c.z_low + 0.3 * (c.z_high - c.z_low)});
    }
    const std::array<double, 16> local =
        ResultMatrix(fit, points, c.zoffset_m).numbers;
    const Point3 origin = LocalOrigin(points.source);
    const std::array<double, 16> rtc = MatrixAboutOrigin(local, origin);
    double worst_rtc_m = 0.0, worst_plain_m = 0.0;
    for (int i = 0; i <= 40; ++i) {
      for (int k = 0; k <= 40; ++k) {
        for (double z : {c.z_low, c.z_high}) {
          const Point3 at{c.centre.x + c.half * (i / 20.0 - 1.0),
                          c.centre.y + c.half * (k / 20.0 - 1.0), z};
          const Point3 exact = InDouble(local, at);
          worst_rtc_m =
              std::max(worst_rtc_m, Distance(exact, InFloat(rtc, at, origin)));
          worst_plain_m = std::max(
              worst_plain_m, Distance(exact, InFloat(local, at, Point3{})));
        }
      }
    }
    EXPECT_LT(worst_rtc_m, 1e-3) << c.drawing;
    if (c.plain_float_fails) {
      EXPECT_GT(worst_plain_m, 1e-3) << c.drawing;
    }
  }
}

}  // namespace

}  // namespace geoanchor
