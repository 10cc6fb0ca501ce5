#include "output/fit_report.h"

#include <gtest/gtest.h>

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
                                    "检查残差至少需要 3 个点"};
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
  EXPECT_EQ("检查残差至少需要 3 个点", zh["checks_note"]);
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

}  // namespace

}  // namespace geoanchor
