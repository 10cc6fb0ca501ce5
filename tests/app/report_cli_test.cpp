// The opt-in fit report, through the real executable.
#include <gtest/gtest.h>

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "common/version.h"
#include "tests/app/cli_runner.h"

namespace geoanchor {

namespace {

using nlohmann::json;

const char kExample[] = "--flagfile=" GEOANCHOR_EXAMPLES_DIR "/tianjin.flags";

std::vector<double> FileNumbers(const std::string& text) {
  std::vector<double> numbers;
  const char* p = text.c_str() + 1;
  while (*p != '\0' && *p != ']') {
    char* end = nullptr;
    numbers.push_back(std::strtod(p, &end));
    p = *end == ',' ? end + 1 : end;
  }
  return numbers;
}

TEST_F(CliTest, WithoutTheFlagNothingChanges) {
  const Result plain = Run({kExample, "--zoffset=2.5"});
  ASSERT_EQ(0, plain.status);
  const std::string plain_file = ReadFile(result_path_);
  const std::string report = dir_ + "/report.json";
  const Result with = Run({kExample, "--zoffset=2.5", "--report=" + report});
  ASSERT_EQ(0, with.status) << with.err;
  EXPECT_EQ(plain.out, with.out);
  EXPECT_EQ(plain.err, with.err);
  EXPECT_EQ(plain_file, ReadFile(result_path_));
  EXPECT_TRUE(Exists(report));
  // An empty --report writes nothing anywhere.
  const Result empty = Run({kExample, "--zoffset=2.5", "--report="});
  EXPECT_EQ(plain.out, empty.out);
}

TEST_F(CliTest, ReportAgreesWithTheConsoleAndTheResultFile) {
  const std::string path = dir_ + "/report.json";
  const Result r = Run({kExample, "--zoffset=1.75", "--report=" + path});
  ASSERT_EQ(0, r.status) << r.err;
  const json report = json::parse(ReadFile(path));
  EXPECT_EQ(kToolVersion, report["version"]);
  EXPECT_EQ("height", report["mode"]);
  EXPECT_EQ("free", report["scale_mode"]);
  EXPECT_EQ(117.2, report["base_point"]["lon_deg"].get<double>());
  EXPECT_FALSE(report.contains("model_point"));
  EXPECT_EQ("CONVERGENCE", report["solver"]["termination"]);

  // matrix_local is exactly the result file's numbers.
  const std::vector<double> file = FileNumbers(ReadFile(result_path_));
  ASSERT_EQ(16u, file.size());
  for (size_t i = 0; i < 16; ++i) {
    EXPECT_EQ(file[i], report["matrix_local"][i].get<double>()) << i;
  }

  // The float32-safe origin is the control points' centroid in whole
  // metres (the example's drawing is flat, z = 0).
  const json& centroid = report["precision"]["centroid_src"];
  EXPECT_EQ(json::array({std::round(centroid[0].get<double>()),
                         std::round(centroid[1].get<double>()), 0.0}),
            report["local_origin"]);

  // Points agree with the fitcheck lines to their six printed decimals.
  const std::regex line("fitcheck---deltax:(-?[0-9.]+),deltay:(-?[0-9.]+)");
  std::vector<std::pair<double, double>> printed;
  for (std::sregex_iterator it(r.out.begin(), r.out.end(), line), end;
       it != end; ++it) {
    printed.emplace_back(std::stod((*it)[1]), std::stod((*it)[2]));
  }
  const json& points = report["points"];
  ASSERT_EQ(6u, printed.size());
  ASSERT_EQ(6u, points.size());
  double sum_sq = 0.0;
  for (size_t i = 0; i < printed.size(); ++i) {
    const double dx = points[i]["dx_m"], dy = points[i]["dy_m"];
    EXPECT_NEAR(printed[i].first, dx, 5e-7);  // half the last printed digit
    EXPECT_NEAR(printed[i].second, dy, 5e-7);
    EXPECT_NEAR(std::hypot(dx, dy), points[i]["residual_m"].get<double>(),
                1e-15);
    EXPECT_FALSE(points[i]["outlier"].get<bool>());
    sum_sq += dx * dx + dy * dy;
  }
  // Hand-checked definitions: n = 6, u = 4 unknowns.
  EXPECT_NEAR(std::sqrt(sum_sq / 6), report["rms_m"].get<double>(), 1e-15);
  EXPECT_NEAR(std::sqrt(sum_sq / 8), report["sigma0_m"].get<double>(), 1e-15);
  const double K = report["parameters"]["K"];
  EXPECT_NEAR((K - 1) * 1e6, report["parameters"]["scale_ppm"].get<double>(),
              1e-6);
}

TEST_F(CliTest, EcefMatrixAgreesWithGeographicLib) {
  const std::string path = dir_ + "/report.json";
  ASSERT_EQ(0, Run({kExample, "--zoffset=3.5", "--report=" + path}).status);
  const json report = json::parse(ReadFile(path));
  std::vector<double> local, ecef;
  for (int i = 0; i < 16; ++i) {
    local.push_back(report["matrix_local"][i]);
    ecef.push_back(report["matrix_ecef"][i]);
  }
  // Independent oracle: GeographicLib's local frame at the base point,
  // height 0, and its geocentric conversion.
  const GeographicLib::LocalCartesian frame(39.1, 117.2, 0.0);
  const GeographicLib::Geocentric& earth = GeographicLib::Geocentric::WGS84();
  const double sources[][3] = {{39517250.31, 4328460.775, 0.0},
                               {39518605.125, 4329310.96, 25.0},
                               {39516000.0, 4331000.0, -40.0}};
  for (const auto& s : sources) {
    double enu[3], want[3], got[3];
    for (int row = 0; row < 3; ++row) {
      enu[row] = local[row] * s[0] + local[4 + row] * s[1] +
                 local[8 + row] * s[2] + local[12 + row];
      got[row] = ecef[row] * s[0] + ecef[4 + row] * s[1] +
                 ecef[8 + row] * s[2] + ecef[12 + row];
    }
    double lat, lon, h;
    frame.Reverse(enu[0], enu[1], enu[2], lat, lon, h);
    earth.Forward(lat, lon, h, want[0], want[1], want[2]);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(want[k], got[k], 1e-6);  // 1 um
  }
}

TEST_F(CliTest, OneGrossOutlierAmongEightGoodPointsIsMarked) {
  // Eight points of a 600 m site carried by K = 1.0002, angle = 0.4 rad,
  // with the sixth target moved 10 m; longitudes and latitudes on the
  // ellipsoid come from GeographicLib's LocalCartesian.
  const GeographicLib::LocalCartesian frame(30.5, 114.3, 0.0);
  const double K = 1.0002, angle = 0.4, cx = 500000.0, cy = 3375000.0;
  std::string src = "--DWGsrcpoints=", des = "--DWGdespoints=";
  char buf[128];
  for (int i = 0; i < 9; ++i) {
    const double x = cx + 300.0 * std::cos(i * 0.7) + 13.0 * i;
    const double y = cy + 300.0 * std::sin(i * 1.3) - 7.0 * i;
    double e = ((x - cx) * std::cos(angle) - (y - cy) * std::sin(angle)) * K;
    double n = ((x - cx) * std::sin(angle) + (y - cy) * std::cos(angle)) * K;
    if (i == 5) e += 10.0;
    double up = 0.0, lat, lon, h;
    for (int it = 0; it < 5; ++it) {  // find the up that lies at height 0
      frame.Reverse(e, n, up, lat, lon, h);
      up -= h;
    }
    frame.Reverse(e, n, up, lat, lon, h);
    std::snprintf(buf, sizeof buf, "%.4f,%.4f ", x, y);
    src += buf;
    std::snprintf(buf, sizeof buf, "%.12f,%.12f ", lon, lat);
    des += buf;
  }
  const std::string path = dir_ + "/report.json";
  const Result r = Run({"--basepoint=114.3,30.5", src, des, "--projectheight=0",
                        "--report=" + path});
  ASSERT_EQ(0, r.status) << r.err;
  const json report = json::parse(ReadFile(path));
  EXPECT_EQ("pair", report["mode"]);
  ASSERT_EQ(9u, report["points"].size());
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(i == 5, report["points"][i]["outlier"].get<bool>()) << i;
  }
  EXPECT_NEAR(10.0, report["points"][5]["residual_m"].get<double>(), 0.01);
}

TEST_F(CliTest, ModelPointAndFixedScaleAppearInTheReport) {
  const std::string path = dir_ + "/report.json";
  const Result r = Run({kExample, "--modelpoint=117.201,39.101",
                        "--scale=0.99987", "--report=" + path});
  ASSERT_EQ(0, r.status) << r.err;
  const json report = json::parse(ReadFile(path));
  EXPECT_EQ("model_base_point", report["mode"]);
  EXPECT_EQ("fixed", report["scale_mode"]);
  EXPECT_EQ(117.201, report["model_point"]["lon_deg"].get<double>());
  EXPECT_EQ(0.99987, report["parameters"]["K"].get<double>());
}

TEST_F(CliTest, QualityFiguresOfTheBundledExample) {
  const std::string path = dir_ + "/report.json";
  const Result r = Run({kExample, "--report=" + path});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.err);
  const json report = json::parse(ReadFile(path));
  const json& points = report["points"];
  ASSERT_EQ(6u, points.size());

  // Precision: about sigma0 / sqrt(n) at the centroid of the drawing points
  // (the plain least-squares value; the weights are all above 0.99).
  const double sigma0 = report["sigma0_m"];
  const json& precision = report["precision"];
  ASSERT_TRUE(precision.is_object());
  double cx = 0.0;
  for (const json& p : points) cx += p["src_x"].get<double>() / 6.0;
  EXPECT_NEAR(cx, precision["centroid_src"][0].get<double>(), 1e-6);
  EXPECT_NEAR(sigma0 / std::sqrt(6.0), precision["east_m"].get<double>(),
              0.05 * sigma0 / std::sqrt(6.0));
  EXPECT_GT(precision["scale_ppm"].get<double>(), 0.0);
  EXPECT_EQ(4u, precision["correlation"].size());

  // Heights: up of each target in the scene frame, independently from
  // GeographicLib's LocalCartesian at the base point; the drawing's z are 0,
  // so the lift is the median of the ups.
  const GeographicLib::LocalCartesian frame(39.1, 117.2, 0.0);
  const double des[6][3] = {{117.1963623000, 39.0929411793, 3.21},
                            {117.2066646068, 39.0925251848, 4.05},
                            {117.2118069595, 39.1008583666, 2.87},
                            {117.2013207095, 39.1060365750, 5.62},
                            {117.1911594243, 39.1014978852, 3.94},
                            {117.2038138992, 39.0975688009, 12.48}};
  std::vector<double> ups;
  for (int i = 0; i < 6; ++i) {
    double e, n, u;
    frame.Forward(des[i][1], des[i][0], des[i][2], e, n, u);
    EXPECT_NEAR(u, points[i]["up_m"].get<double>(), 1e-6) << i;  // 1 um
    EXPECT_EQ(0.0, points[i]["src_z"].get<double>());
    ups.push_back(u);
  }
  std::sort(ups.begin(), ups.end());
  const double lift = 0.5 * (ups[2] + ups[3]);
  EXPECT_NEAR(lift, report["vertical"]["lift_m"].get<double>(), 1e-6);
  EXPECT_NEAR(ups[5] - lift, report["vertical"]["max_abs_m"].get<double>(),
              1e-6);

  // Check residuals exist for every point, and for a well-spread site they
  // are of the size of the deviations.
  for (const json& p : points) {
    ASSERT_TRUE(p["check_m"].is_number());
    EXPECT_LT(p["check_m"].get<double>(),
              4 * p["residual_m"].get<double>() + 0.002);
    EXPECT_GE(p["check_m"].get<double>(), p["residual_m"].get<double>());
  }
  // A flat drawing (every z 0) says nothing of heights: no finding, and
  // the verdict is good. The curvature is a figure: the largest minus the
  // smallest drop d^2 / 2R (R = 6371008.8 m, the IUGG mean radius) of the
  // targets below the base point's tangent plane, from GeographicLib's
  // east and north; 1 um.
  EXPECT_EQ("good", report["verdict"]);
  EXPECT_TRUE(report["findings"].empty());
  EXPECT_TRUE(report["warnings"].empty());
  EXPECT_EQ("m", report["drawing_units"]);
  EXPECT_TRUE(report["vertical"]["flat_drawing"].get<bool>());
  EXPECT_TRUE(report["vertical"]["slope_east_ppm"].is_null());
  double drop_min = 1e9, drop_max = -1e9;
  for (int i = 0; i < 6; ++i) {
    double e, n, u;
    frame.Forward(des[i][1], des[i][0], des[i][2], e, n, u);
    const double drop = (e * e + n * n) / (2 * 6371008.8);
    drop_min = std::min(drop_min, drop);
    drop_max = std::max(drop_max, drop);
  }
  EXPECT_NEAR(drop_max - drop_min,
              report["vertical"]["curvature_m"].get<double>(), 1e-6);

  // The pair mode has no heights.
  ASSERT_EQ(0, Run({kExample, "--projectheight=0",
                    "--DWGsrcpoints=39517250.31,4328460.775,39518140.52,"
                    "4328395.44,39518605.125,4329310.96",
                    "--DWGdespoints=117.1963623,39.0929411793,117.2066646068,"
                    "39.0925251848,117.2118069595,39.1008583666",
                    "--report=" + path})
                   .status);
  const json pairs = json::parse(ReadFile(path));
  EXPECT_TRUE(pairs["vertical"].is_null());
  EXPECT_FALSE(pairs["points"][0].contains("up_m"));
}

// The bundled example's six points, with the classic mistakes made in
// them. Each is named by its code; each finding reaches standard error in
// every run, in the report's words and order, with or without the report,
// and changes nothing else.
TEST_F(CliTest, DiagnosisNamesTheMistake) {
  const std::string src[6] = {
      "39517250.310,4328460.775", "39518140.520,4328395.440",
      "39518605.125,4329310.960", "39517710.480,4329905.215",
      "39516820.760,4329420.330", "39517905.935,4328960.605"};
  const std::string des[6] = {"117.1963623000,39.0929411793,3.21",
                              "117.2066646068,39.0925251848,4.05",
                              "117.2118069595,39.1008583666,2.87",
                              "117.2013207095,39.1060365750,5.62",
                              "117.1911594243,39.1014978852,3.94",
                              "117.2038138992,39.0975688009,12.48"};
  auto flags = [&](bool exchange_xy, int swap_a, int swap_b) {
    std::string s = "--DWGsrcpoints=", d = "--DWGdespoints=";
    for (int i = 0; i < 6; ++i) {
      const std::string& xy = src[i];
      const size_t comma = xy.find(',');
      s += (exchange_xy ? xy.substr(comma + 1) + "," + xy.substr(0, comma)
                        : xy) +
           ",0 ";
      const int j = i == swap_a ? swap_b : i == swap_b ? swap_a : i;
      d += des[j] + " ";
    }
    return std::vector<std::string>{"--basepoint=117.2,39.1", s, d};
  };
  struct Case {
    const char* what;
    std::vector<std::string> args;
    const char* verdict;
    const char* code;  // the first finding, "" for none
    std::vector<int> points;
  };
  const Case cases[] = {
      {"the example", flags(false, -1, -1), "good", "", {}},
      {"an outlier",
       {"--flagfile=" GEOANCHOR_EXAMPLES_DIR "/tianjin-outlier.flags"},
       "check",
       "outlier",
       {3}},
      {"targets 3 and 4 exchanged",
       flags(false, 2, 3),
       "check",
       "exchanged_pairs",
       {3, 4}},
      {"x and y exchanged", flags(true, -1, -1), "bad", "exchanged_axes", {}},
  };
  const std::string path = dir_ + "/report.json";
  for (const Case& c : cases) {
    std::vector<std::string> with_report = c.args;
    with_report.push_back("--report=" + path);
    const Result bare = Run(c.args);
    const std::string result_file = ReadFile(result_path_);
    const Result r = Run(with_report);
    ASSERT_EQ(0, bare.status) << c.what;
    ASSERT_EQ(0, r.status) << c.what;
    EXPECT_EQ(bare.out, r.out) << c.what;
    EXPECT_EQ(result_file, ReadFile(result_path_)) << c.what;
    EXPECT_EQ(bare.err, r.err) << c.what;
    const json report = json::parse(ReadFile(path));
    EXPECT_EQ(c.verdict, report["verdict"]) << c.what;
    if (*c.code == '\0') {
      EXPECT_TRUE(report["findings"].empty()) << c.what << report["findings"];
      EXPECT_EQ("", r.err) << c.what;
      continue;
    }
    ASSERT_FALSE(report["findings"].empty()) << c.what;
    const json& first = report["findings"][0];
    EXPECT_EQ(c.code, first["code"]) << c.what << report["findings"];
    EXPECT_EQ(json(c.points), first["points"]) << c.what;
    EXPECT_EQ(report["warnings"][0], first["message"]) << c.what;
    std::string lines;
    for (const json& f : report["findings"]) {
      lines += "GeoAnchorSolve: warning: " + f["message"].get<std::string>() +
               " (" + f["code"].get<std::string>() + ")\n";
    }
    EXPECT_EQ(lines, r.err) << c.what;
  }

  // Targets written latitude first: no such latitude, so no run at all; an
  // earlier result file stays as it was.
  ASSERT_EQ(0, Run(flags(false, -1, -1)).status);
  const std::string before = ReadFile(result_path_);
  const Result lat_first =
      Run({"--basepoint=117.2,39.1", "--DWGsrcpoints=1,2,0 3,4,0",
           "--DWGdespoints=117.1963623,39.0929411793,3.21 "
           "39.0925251848,117.2066646068,4.05",
           "--report=" + path + "2"});
  EXPECT_EQ(255, lat_first.status);
  EXPECT_EQ("", lat_first.out);
  EXPECT_EQ(
      "GeoAnchorSolve: point 2 of DWGdespoints has latitude 117.2066646068 "
      "degrees, beyond +-90: write longitude first, then latitude "
      "(lon,lat)\n",
      lat_first.err);
  EXPECT_EQ(before, ReadFile(result_path_));
  EXPECT_FALSE(Exists(path + "2"));
}

TEST_F(CliTest, ReportFailures) {
  // Not writable: the run fails after its whole normal output.
  const std::string taken = dir_ + "/taken";
  ASSERT_EQ(0, mkdir(taken.c_str(), 0755));
  const Result r = Run({kExample, "--report=" + taken});
  EXPECT_EQ(255, r.status);
  EXPECT_NE(std::string::npos, r.out.find("A B K Angle :"));
  EXPECT_EQ(
      "GeoAnchorSolve: cannot write report " + taken + ": " +
          (kUnderWine ? "cannot replace (Windows error 5)" : "Is a directory") +
          "\n",
      r.err);
  // A failed run writes no report and leaves an old one alone.
  const std::string path = dir_ + "/report.json";
  std::ofstream(path) << "{}";
  EXPECT_EQ(255, Run({kExample, "--zoffset=nan", "--report=" + path}).status);
  EXPECT_EQ("{}", ReadFile(path));
  EXPECT_EQ(255, Run({"--report=" + path}).status);
  EXPECT_EQ("{}", ReadFile(path));
}

}  // namespace

}  // namespace geoanchor
