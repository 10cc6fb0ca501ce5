#include "output/fit_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "geodesy/geodetic_converter.h"

namespace {

using nlohmann::json;

TEST(FitReportTest, CauchyWeights) {
  // Hand calculation of 1 / (1 + (r / 0.05)^2).
  const double cases[][2] = {
      {0.0, 1.0}, {0.05, 0.5}, {0.15, 0.1}, {10.0, 1.0 / 40001.0}};
  for (const auto& c : cases) EXPECT_NEAR(c[1], CauchyWeight(c[0]), 1e-15);
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
  const GeodeticConverter converter = MakeGeodeticConverter(116.3, 39.9);
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

TEST(FitReportTest, SigmaZeroNeedsRedundancyAndNonFiniteIsNull) {
  FitReport report;
  report.free_scale = true;
  report.points = {{0, 0, 0, 0, 0.3, 0.4}, {1, 1, 1, 1, 0.0, 0.0}};
  report.termination = "CONVERGENCE";
  json j = json::parse(FitReportJson(report));
  EXPECT_TRUE(j["sigma0_m"].is_null());  // 2n = 4 = u
  EXPECT_NEAR(std::sqrt(0.25 / 2), j["rms_m"].get<double>(), 1e-15);
  EXPECT_TRUE(j["points"][0]["outlier"].get<bool>());  // 0.5 m: weight 0.0099
  report.free_scale = false;
  j = json::parse(FitReportJson(report));
  EXPECT_NEAR(0.5, j["sigma0_m"].get<double>(), 1e-15);  // sqrt(0.25 / 1)
  report.final_cost = std::numeric_limits<double>::infinity();
  j = json::parse(FitReportJson(report));
  EXPECT_TRUE(j["solver"]["final_cost"].is_null());
}

}  // namespace
