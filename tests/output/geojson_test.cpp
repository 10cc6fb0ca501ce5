// The map check: read back as JSON, measured on the ellipsoid with
// GeographicLib's geodesics, and read by shapely as a GIS reads it.
#include "output/geojson.h"

#include <gtest/gtest.h>

#include <GeographicLib/Geodesic.hpp>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "geodesy/geodetic_converter.h"
#include "tests/output/read_geojson.h"

namespace geoanchor {

namespace {

using nlohmann::json;

TEST(ConvexHullTest, KeepsTheCornersCounterClockwise) {
  struct Case {
    const char* what;
    std::vector<Point2> points;
    std::vector<Point2> hull;
  };
  const Case cases[] = {
      {"a square with a point inside, points on its edges and a repeat",
       {{2, 2}, {0, 0}, {1, 0}, {2, 0}, {1, 1}, {0, 2}, {0, 1}, {2, 2}},
       {{0, 0}, {2, 0}, {2, 2}, {0, 2}}},
      {"clockwise input", {{0, 0}, {0, 3}, {3, 0}}, {{0, 0}, {3, 0}, {0, 3}}},
      {"two lowest x: the lower first",
       {{0, 1}, {0, 0}, {1, 0}},
       {{0, 0}, {1, 0}, {0, 1}}},
      {"on one line: its ends", {{2, 2}, {0, 0}, {1, 1}}, {{0, 0}, {2, 2}}},
      {"one point twice", {{5, 5}, {5, 5}}, {{5, 5}}},
      {"none", {}, {}},
      // Lon/lat a few metres apart: the turns are differences of products
      // near 1e-10, where a plain cross product's rounding would decide.
      {"a site's lon/lat",
       {{116.3, 39.9},
        {116.30001, 39.9},
        {116.30001, 39.90001},
        {116.300005, 39.900005},
        {116.3, 39.90001}},
       {{116.3, 39.9},
        {116.30001, 39.9},
        {116.30001, 39.90001},
        {116.3, 39.90001}}},
  };
  for (const Case& c : cases) {
    const std::vector<Point2> hull = ConvexHull(c.points);
    ASSERT_EQ(c.hull.size(), hull.size()) << c.what;
    for (size_t i = 0; i < hull.size(); ++i) {
      EXPECT_EQ(c.hull[i].x, hull[i].x) << c.what << " " << i;
      EXPECT_EQ(c.hull[i].y, hull[i].y) << c.what << " " << i;
    }
  }
}

// A site: targets (fitted ones, then check points), the deviations planted
// on them, and where the check points sit in the input.
struct Site {
  const char* what;
  InputMode mode;
  Point3 base;
  Point3 model;
  double project_height_m;
  std::vector<Point3> geodetic;  // lon_deg, lat_deg, h_m
  std::vector<Point2> deviations;
  std::vector<int> positions;  // from 1, per point
  size_t checks;               // the last `checks` points
};

// The matrix every site is placed with: a turn of 0.3 rad and 200 ppm.
const PlaneSimilarity kSimilarity =
    PlaneSimilarity::FromModel(-3.0e6, 4.4e6, 1.0002, 0.3);

// The site's control points, drawn so that the matrix misses each target
// by its planted deviation, and the fit and the diagnosis that say so.
void Prepare(const Site& site, ControlPoints* points, SimilarityFit* fit,
             Diagnosis* diagnosis) {
  points->mode = site.mode;
  points->base_point = site.base;
  points->model_point = site.model;
  points->project_height_m = site.project_height_m;
  const size_t fitted = site.geodetic.size() - site.checks;
  points->geodetic.assign(site.geodetic.begin(),
                          site.geodetic.begin() + fitted);
  CheckPoints& check = points->check;
  check.geodetic.assign(site.geodetic.begin() + fitted, site.geodetic.end());
  ConvertTargets(site.mode, site.base, site.model, site.project_height_m,
                 points->geodetic, &points->target, &points->target_up_m);
  ConvertTargets(site.mode, site.base, site.model, site.project_height_m,
                 check.geodetic, &check.target, &check.target_up_m);
  fit->similarity = kSimilarity;
  for (size_t i = 0; i < site.geodetic.size(); ++i) {
    const bool used = i < fitted;
    const Point2 t = used ? points->target[i] : check.target[i - fitted];
    const Point2 d = site.deviations[i];
    const Point2 drawn = kSimilarity.Invert(Point2{t.x - d.x, t.y - d.y});
    const double length = std::hypot(d.x, d.y);
    const std::string name = "K" + std::to_string(site.positions[i]);
    if (used) {
      points->source.push_back(Point3{drawn.x, drawn.y, 0.0});
      points->names.push_back(name);
      points->positions.push_back(site.positions[i]);
      fit->residuals_m.push_back(length);
    } else {
      check.source.push_back(Point3{drawn.x, drawn.y, 0.0});
      check.names.push_back(name);
      check.positions.push_back(site.positions[i]);
      diagnosis->check_points.residuals_m.push_back(length);
    }
  }
  diagnosis->findings = {
      {FindingCode::kOutlier, {3}, Same("3"), false, {}},
      {FindingCode::kExchangedPairs, {1, 3}, Same("1 3"), false, {}}};
}

// What the shapely reader says of `text`, written to a file.
std::string ReadWithShapely(const std::string& text) {
  const std::string path = ::testing::TempDir() + "/map_check.geojson";
  std::ofstream(path, std::ios::binary) << text;
  const std::string out = ReadGeoJsonFile(path);
  std::remove(path.c_str());
  return out;
}

const Site kSites[] = {
    {"pair mode at a project height of 50 m",
     InputMode::kPair,
     {116.3, 39.9, 0},
     {},
     50.0,
     {{116.301, 39.901, 0},
      {116.305, 39.9005, 0},
      {116.3045, 39.904, 0},
      {116.302, 39.9052, 0},
      {116.303, 39.902, 0}},
     {{0.01, -0.02}, {0.03, 0.01}, {1.2, -0.9}, {-0.02, 0.0}, {0.6, 0.8}},
     {1, 3, 4, 5, 2},
     1},
    // 20 km out, the tangent plane is 31 m below the ellipsoid: a placed
    // point put back at up 0 instead would land 0.1 m off.
    {"pair mode 20 km from the base point",
     InputMode::kPair,
     {116.1, 39.8, 0},
     {},
     0.0,
     {{116.33, 39.8, 0},
      {116.334, 39.801, 0},
      {116.331, 39.805, 0},
      {116.333, 39.803, 0}},
     {{0.5, 0.5}, {-0.4, 0.3}, {2.0, 1.0}, {0.0, -0.7}},
     {1, 2, 3, 4},
     1},
    {"height mode at heights of 80 m to 420 m",
     InputMode::kHeight,
     {114.05, 22.55, 0},
     {},
     0.0,
     {{114.06, 22.56, 80},
      {114.07, 22.555, 120},
      {114.065, 22.57, 420},
      {114.055, 22.565, 95}},
     {{0.3, -0.4}, {-0.5, 0.2}, {3.0, 4.0}, {0.7, 0.7}},
     {2, 3, 4, 1},
     1},
    {"model-base-point mode, the model point 3 km from the scene's",
     InputMode::kModelBasePoint,
     {121.47, 31.23, 0},
     {121.50, 31.24, 0},
     0.0,
     {{121.501, 31.241, 30}, {121.503, 31.2405, 35}, {121.5025, 31.243, 40}},
     {{0.2, 0.1}, {-0.3, 0.6}, {1.5, -2.0}},
     {1, 2, 3},
     0},
};

TEST(GeoJsonTest, PlacedPointsLieTheirDeviationFromTheirTargets) {
  const GeographicLib::Geodesic& earth = GeographicLib::Geodesic::WGS84();
  for (const Site& site : kSites) {
    ControlPoints points;
    SimilarityFit fit;
    Diagnosis diagnosis;
    Prepare(site, &points, &fit, &diagnosis);
    const std::string text = GeoJsonText(points, fit, diagnosis);
    EXPECT_EQ("ok " + std::to_string(1 + 3 * site.geodetic.size()) + " " +
                  std::to_string(site.geodetic.size()) + "\nexit 0",
              ReadWithShapely(text))
        << site.what;
    const json j = json::parse(text);
    ASSERT_EQ("FeatureCollection", j["type"]) << site.what;
    const json& features = j["features"];
    ASSERT_EQ(1 + 3 * site.geodetic.size(), features.size()) << site.what;
    EXPECT_EQ("Polygon", features[0]["geometry"]["type"]);
    EXPECT_EQ("hull", features[0]["properties"]["kind"]);

    for (size_t n = 0; n < site.geodetic.size(); ++n) {
      // The point at input position n + 1.
      size_t i = 0;
      while (site.positions[i] != static_cast<int>(n + 1)) ++i;
      const std::string what =
          std::string(site.what) + ", position " + std::to_string(n + 1);
      const json& placed = features[1 + 3 * n];
      const json& target = features[2 + 3 * n];
      const json& line = features[3 + 3 * n];
      EXPECT_EQ("placed", placed["properties"]["kind"]) << what;
      EXPECT_EQ("target", target["properties"]["kind"]) << what;
      EXPECT_EQ("deviation", line["properties"]["kind"]) << what;
      const json& p = placed["geometry"]["coordinates"];
      const json& t = target["geometry"]["coordinates"];
      ASSERT_EQ(2u, p.size()) << what;  // no height
      EXPECT_EQ(site.geodetic[i].x, t[0].get<double>()) << what;
      EXPECT_EQ(site.geodetic[i].y, t[1].get<double>()) << what;
      EXPECT_EQ(json::array({p, t}), line["geometry"]["coordinates"]) << what;

      const Point2 d = site.deviations[i];
      const double planted_m = std::hypot(d.x, d.y);
      EXPECT_NEAR(planted_m, placed["properties"]["deviation_m"], 1e-12);
      double distance_m = 0.0, azimuth_deg = 0.0, back_deg = 0.0;
      earth.Inverse(p[1], p[0], t[1], t[0], distance_m, azimuth_deg, back_deg);
      EXPECT_NEAR(planted_m, distance_m, 0.001) << what;
      // From the placed point towards its target: the deviation's
      // direction, but for the meridians' convergence over the site.
      const double planted_deg = std::atan2(d.x, d.y) * 180.0 / M_PI;
      EXPECT_NEAR(0.0, std::remainder(azimuth_deg - planted_deg, 360.0), 0.3)
          << what;

      const json expected = {
          {"name", "K" + std::to_string(n + 1)},
          {"index", n + 1},
          {"used", i < site.geodetic.size() - site.checks},
          {"codes", n == 0   ? json{"exchanged_pairs"}
                    : n == 2 ? json{"outlier", "exchanged_pairs"}
                             : json::array()}};
      for (const json* f : {&placed, &target, &line}) {
        for (const auto& [key, value] : expected.items()) {
          EXPECT_EQ(value, (*f)["properties"][key]) << what << " " << key;
        }
        EXPECT_EQ(placed["properties"]["deviation_m"],
                  (*f)["properties"]["deviation_m"]);
      }
    }
  }
}

// Two placed points span no area: no outline, and no name is null.
TEST(GeoJsonTest, TwoPointsHaveNoOutline) {
  ControlPoints points;
  SimilarityFit fit;
  Diagnosis diagnosis;
  Prepare(kSites[0], &points, &fit, &diagnosis);
  points.source.resize(2);
  points.geodetic.resize(2);
  points.target.resize(2);
  points.names = {"", "K3"};
  points.check = CheckPoints();
  diagnosis.check_points = CheckPointJudgement();
  const json j = json::parse(GeoJsonText(points, fit, diagnosis));
  ASSERT_EQ(6u, j["features"].size());
  EXPECT_EQ("Point", j["features"][0]["geometry"]["type"]);
  EXPECT_TRUE(j["features"][0]["properties"]["name"].is_null());
  EXPECT_EQ("K3", j["features"][3]["properties"]["name"]);
  EXPECT_EQ(3, j["features"][3]["properties"]["index"]);
}

}  // namespace

}  // namespace geoanchor
