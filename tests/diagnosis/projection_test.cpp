// The drawing's projection, told from its points. Test drawings are made
// with GeographicLib's transverse Mercator and the EPSG parameters (PROJ's
// database, checked below), their targets with the tool's own converter as
// the driver makes them, and the fit is the real one.
#include "diagnosis/projection.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <GeographicLib/LocalCartesian.hpp>
#include <GeographicLib/TransverseMercator.hpp>
#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "fit/similarity_fit.h"
#include "geodesy/geodetic_converter.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kGrs80F = 1 / 298.257222101;  // EPSG 7019 (CGCS2000)
constexpr double kWgs84F = 1 / 298.257223563;  // EPSG 7030

// How the drawing is made from the WGS84 positions.
struct DrawingSpec {
  // A transverse Mercator (EPSG parameters): meridian, scale, false origin.
  double lon0_deg;
  double k0;
  double x0_m;
  double y0_m;
  double flattening;
  // Then a similarity: rotation, metres per drawing unit, shift (units).
  double rotation_deg = 0;
  double unit_m = 1;
  double shift_x = 0;
  double shift_y = 0;
  bool tangent_plane = false;  // a CAD grid: the east/north frame instead
};

DrawingSpec Epsg(double lon0, double k0, double x0, double y0, double f) {
  return DrawingSpec{lon0, k0, x0, y0, f};
}
DrawingSpec Gk(double lon0, double x0) { return Epsg(lon0, 1, x0, 0, kGrs80F); }
DrawingSpec Tm(double lon0, double rotation_deg, double x0, double y0) {
  DrawingSpec d = Gk(lon0, 0);
  d.rotation_deg = rotation_deg;
  d.shift_x = x0;
  d.shift_y = y0;
  return d;
}
DrawingSpec CadGridMm(double rotation_deg) {
  DrawingSpec d = Gk(0, 0);
  d.tangent_plane = true;
  d.rotation_deg = rotation_deg;
  d.unit_m = 0.001;
  d.shift_x = 1.5e6;
  d.shift_y = -2.5e6;
  return d;
}

struct Site {
  double lon_deg;  // centre, also the scene base point
  double lat_deg;
  double size_m;  // side of the square the points cover
  DrawingSpec drawing;
  InputMode mode = InputMode::kHeight;
  double noise_m = 0.003;  // per axis, on the drawing
  int blunder = -1;        // index of the point moved by 0.5 m, or none
  int extra_points = 0;    // more points, spread at random over the site
};

// Twelve points: the corners, the edges' midpoints and four inside, as a
// fraction of the side.
constexpr double kLayout[12][2] = {
    {0, 0},   {1, 0},   {0, 1},     {1, 1},     {0.5, 0},   {0.5, 1},
    {0, 0.5}, {1, 0.5}, {0.3, 0.4}, {0.7, 0.6}, {0.4, 0.8}, {0.6, 0.2}};
constexpr double kBlunderM = 0.5;
constexpr double kProjectHeightM = 500.0;

Point2 DrawingOf(const DrawingSpec& d, const GeographicLib::LocalCartesian& lc,
                 double lon, double lat) {
  double x, y;
  if (d.tangent_plane) {
    double z;
    lc.Forward(lat, lon, 0, x, y, z);
  } else {
    GeographicLib::TransverseMercator tm(6378137.0, d.flattening, d.k0);
    tm.Forward(d.lon0_deg, lat, lon, x, y);
    x += d.x0_m, y += d.y0_m;
  }
  const double t = d.rotation_deg / 180 * M_PI;
  return Point2{(x * std::cos(t) - y * std::sin(t)) / d.unit_m + d.shift_x,
                (x * std::sin(t) + y * std::cos(t)) / d.unit_m + d.shift_y};
}

struct Built {
  ControlPoints points;
  SimilarityFit fit;
};

Built Build(const Site& site) {
  Built b;
  ControlPoints& p = b.points;
  p.mode = site.mode;
  p.base_point = Point3{site.lon_deg, site.lat_deg, 0};
  // The model base point 8 km east and 5 km north of the scene's.
  const GeographicLib::LocalCartesian centre(site.lat_deg, site.lon_deg, 0);
  double mlat, mlon, mh;
  centre.Reverse(8000, 5000, 0, mlat, mlon, mh);
  p.model_point = Point3{mlon, mlat, 0};
  p.project_height_m = kProjectHeightM;
  std::mt19937_64 rng(12345);
  std::normal_distribution<double> noise(0, site.noise_m);
  const GeodeticConverter scene =
      MakeGeodeticConverter(site.lon_deg, site.lat_deg);
  const GeodeticConverter model = MakeGeodeticConverter(mlon, mlat);
  Point3 shift;
  scene.GeodeticToEnu(Point3{mlon, mlat, 0}, &shift);
  std::uniform_real_distribution<double> anywhere(0, 1);
  for (int i = 0; i < 12 + site.extra_points; ++i) {
    const double u = i < 12 ? kLayout[i][0] : anywhere(rng);
    const double v = i < 12 ? kLayout[i][1] : anywhere(rng);
    double lat, lon, h;
    centre.Reverse((u - 0.5) * site.size_m, (v - 0.5) * site.size_m, 0, lat,
                   lon, h);
    const double height = 5.0 + 0.5 * (i % 12);
    Point2 d = DrawingOf(site.drawing, centre, lon, lat);
    d.x += noise(rng) / site.drawing.unit_m;
    d.y += noise(rng) / site.drawing.unit_m;
    if (i == site.blunder) d.x += kBlunderM / site.drawing.unit_m;
    p.source.push_back(Point3{d.x, d.y, 0});
    Point3 enu;
    if (site.mode == InputMode::kPair) {
      p.geodetic.push_back(Point3{lon, lat, 0});
      scene.GeodeticToEnu(Point3{lon, lat, kProjectHeightM}, &enu);
    } else if (site.mode == InputMode::kHeight) {
      p.geodetic.push_back(Point3{lon, lat, height});
      scene.GeodeticToEnu(Point3{lon, lat, height}, &enu);
    } else {
      p.geodetic.push_back(Point3{lon, lat, height});
      model.GeodeticToEnu(Point3{lon, lat, height}, &enu);
      enu.x += shift.x, enu.y += shift.y;
    }
    p.target.push_back(Point2{enu.x, enu.y});
  }
  b.fit = FitSimilarity(p.source, p.target, 0.0);
  return b;
}

// Sites near Tianjin (117.2 E, 39.1 N), in CGCS2000 zone 39 (3-degree,
// meridian 117) unless said otherwise.
constexpr double kLat = 39.1;

// ---------------------------------------------------------------------------
// Which projection, by its absolute coordinates or its meridian.

struct IdentifyCase {
  const char* name;
  Site site;
  ProjectionKind kind;
  int epsg;
  int zone;
  bool zone_in_easting;
  double meridian_deg;      // NaN: not given
  double meridian_tol_deg;  // how close the found meridian must be
};

class Identify : public testing::TestWithParam<IdentifyCase> {};

TEST_P(Identify, NamesTheProjection) {
  const IdentifyCase& c = GetParam();
  const Built b = Build(c.site);
  const SurveyJudgement j = JudgeSurvey(b.points, b.fit);
  const Projection& p = j.projection;
  EXPECT_EQ(p.kind, c.kind) << ProjectionKindName(p.kind);
  EXPECT_EQ(p.epsg, c.epsg);
  EXPECT_EQ(p.zone, c.zone);
  EXPECT_EQ(p.zone_in_easting, c.zone_in_easting);
  if (std::isnan(c.meridian_deg)) {
    EXPECT_TRUE(std::isnan(p.central_meridian_deg)) << p.central_meridian_deg;
  } else {
    EXPECT_NEAR(p.central_meridian_deg, c.meridian_deg, c.meridian_tol_deg)
        << "sd " << p.central_meridian_sd_deg;
  }
  if (c.kind == ProjectionKind::kNone) {
    // Nothing changes: the survey is the fit's own deviation.
    EXPECT_EQ(j.survey_m, b.fit.residuals_m);
    EXPECT_TRUE(std::isnan(p.rms_m));
  } else {
    // Clean 3 mm survey: within 4 sigma (of a 2D length) everywhere.
    for (size_t i = 0; i < j.survey_m.size(); ++i) {
      EXPECT_LT(j.survey_m[i], 0.015) << "point " << i + 1;
    }
  }
  for (bool blunder : j.blunder) EXPECT_FALSE(blunder);
}

// Old-datum drawing: zone 39 coordinates 40 m east and 60 m south of
// CGCS2000's, as a Xi'an 80 or Beijing 54 drawing lies.
DrawingSpec OldDatumZone39() {
  DrawingSpec d = Gk(117, 39500000);
  d.shift_x = 40, d.shift_y = -60;
  return d;
}

// 0.0001 of rotation and 30 ppm of scale: a standard zone's coordinates,
// but not the zone itself.
DrawingSpec NearlyZone39() {
  DrawingSpec d = Gk(117, 39500000);
  d.rotation_deg = 0.0005;  // 1.8 arcseconds, within the limit
  d.unit_m = 1 - 30e-6;     // beyond the 20 ppm
  d.shift_x = -39500000 * 30e-6, d.shift_y = -4.33e6 * 30e-6;
  return d;
}

const IdentifyCase kIdentifyCases[] = {
    {"zone39_with_number_5km",
     {117.6, kLat, 5000, Gk(117, 39500000)},
     ProjectionKind::kGaussKruger3,
     4527,
     39,
     true,
     117,
     0},
    {"cm117_without_number_5km",
     {117.6, kLat, 5000, Gk(117, 500000)},
     ProjectionKind::kGaussKruger3,
     4548,
     39,
     false,
     117,
     0},
    // A site 100 m across still names its zone.
    {"zone40_100m",
     {120.2, 31.3, 100, Gk(120, 40500000)},
     ProjectionKind::kGaussKruger3,
     4528,
     40,
     true,
     120,
     0},
    {"zone26_edge_20km",
     {79.4, 37.1, 20000, Gk(78, 26500000)},
     ProjectionKind::kGaussKruger3,
     4514,
     26,
     true,
     78,
     0},
    {"six_degree_zone20_with_number",
     {118.6, kLat, 10000, Gk(117, 20500000)},
     ProjectionKind::kGaussKruger6,
     4498,
     20,
     true,
     117,
     0},
    {"six_degree_zone23_with_number",
     {133.1, 46.6, 3000, Gk(135, 23500000)},
     ProjectionKind::kGaussKruger6,
     4501,
     23,
     true,
     135,
     0},
    // Without the number it is the 3-degree zone on the same meridian.
    {"six_degree_cm117_without_number",
     {118.6, kLat, 10000, Gk(117, 500000)},
     ProjectionKind::kGaussKruger3,
     4548,
     39,
     false,
     117,
     0},
    {"utm50_north",
     {116.4, 39.9, 8000, Epsg(117, 0.9996, 500000, 0, kWgs84F)},
     ProjectionKind::kUtm,
     32650,
     50,
     false,
     117,
     0},
    {"utm23_south",
     {-46.6, -23.5, 8000, Epsg(-45, 0.9996, 500000, 10000000, kWgs84F)},
     ProjectionKind::kUtm,
     32723,
     23,
     false,
     -45,
     0},
    {"utm31_north_near_greenwich",
     {2.35, 48.85, 4000, Epsg(3, 0.9996, 500000, 0, kWgs84F)},
     ProjectionKind::kUtm,
     32631,
     31,
     false,
     3,
     0},
    // A city system: its own meridian, rotated and shifted.
    {"city_meridian_117_4_20km",
     {118.3, kLat, 20000, Tm(117.4, 0.7, 52000, -4.3e6)},
     ProjectionKind::kTransverseMercator,
     0,
     0,
     false,
     117.4,
     0.05},
    {"city_meridian_117_4_40km_mm",
     {118.3, kLat, 40000,
      [] {
        DrawingSpec d = Tm(117.4, -1.2, 3e7, 4e6);
        d.unit_m = 0.001;
        return d;
      }()},
     ProjectionKind::kTransverseMercator,
     0,
     0,
     false,
     117.4,
     0.03},
    {"old_datum_zone39_20km",
     {118.2, kLat, 20000, OldDatumZone39()},
     ProjectionKind::kTransverseMercator,
     0,
     0,
     false,
     117,
     0.05},
    // 30 ppm off a standard zone on a site too small to show its
    // distortion: no standard projection, nothing to tell.
    {"nearly_zone39_2km",
     {117.3, kLat, 2000, NearlyZone39()},
     ProjectionKind::kNone,
     0,
     0,
     false,
     kNaN,
     0},
    // The same 2 km site as a city system: too small to tell.
    {"city_meridian_2km",
     {118.3, kLat, 2000, Tm(117.4, 0.7, 52000, -4.3e6)},
     ProjectionKind::kNone,
     0,
     0,
     false,
     kNaN,
     0},
    {"cad_grid_mm_2km",
     {117.2, kLat, 2000, CadGridMm(23)},
     ProjectionKind::kNone,
     0,
     0,
     false,
     kNaN,
     0},
    {"cad_grid_mm_20km",
     {117.2, kLat, 20000, CadGridMm(-110)},
     ProjectionKind::kNone,
     0,
     0,
     false,
     kNaN,
     0},
};

INSTANTIATE_TEST_SUITE_P(Sites, Identify, testing::ValuesIn(kIdentifyCases),
                         [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Judging the survey, not the distortion.

struct SurveyCase {
  const char* name;
  Site site;
  double fit_worst_above_m;  // the fit's own largest residual exceeds this
};

class Survey : public testing::TestWithParam<SurveyCase> {};

TEST_P(Survey, OnlyTheBlunderIsOne) {
  const SurveyCase& c = GetParam();
  const Built b = Build(c.site);
  double fit_worst = 0;
  for (double r : b.fit.residuals_m) fit_worst = std::max(fit_worst, r);
  // What the fit alone says, so that the judgement below has work to do.
  EXPECT_GT(fit_worst, c.fit_worst_above_m);
  const SurveyJudgement j = JudgeSurvey(b.points, b.fit);
  ASSERT_NE(j.projection.kind, ProjectionKind::kNone);
  for (size_t i = 0; i < j.survey_m.size(); ++i) {
    const bool blunder = static_cast<int>(i) == c.site.blunder;
    EXPECT_EQ(j.blunder[i], blunder) << "point " << i + 1;
    // 0.5 m moved, 3 mm of noise: within 2 cm; the rest within 4 sigma.
    EXPECT_NEAR(j.survey_m[i], blunder ? kBlunderM : 0.0,
                blunder ? 0.02 : 0.015)
        << "point " << i + 1;
    // The survey measure is the published similarity's (many points are
    // interpolated: the header promises 0.05 mm, 0.1 um was measured).
    const Projection& p = j.projection;
    const Point2 q =
        ProjectGeodetic(p.tm, b.points.geodetic[i].x, b.points.geodetic[i].y);
    const double px = q.x - p.projected_centroid.x;
    const double py = q.y - p.projected_centroid.y;
    EXPECT_NEAR(j.survey_m[i],
                std::hypot(b.points.source[i].x - p.drawing_centroid.x -
                               (p.a * px - p.b * py),
                           b.points.source[i].y - p.drawing_centroid.y -
                               (p.b * px + p.a * py)) *
                    std::fabs(b.fit.K),
                5e-5)
        << "point " << i + 1;
    // The deviation is the projection's part plus the survey's: by the
    // triangle inequality each bounds the other.
    EXPECT_LE(std::fabs(b.fit.residuals_m[i] - j.projection_m[i]),
              j.survey_m[i] + 1e-9);
  }
}

const SurveyCase kSurveyCases[] = {
    // The issue's case: 20 km, 1.4 degrees from the meridian; the fit
    // alone misses clean points by more than the blunder threshold.
    {"zone_edge_20km_clean", {118.4, kLat, 20000, Gk(117, 39500000)}, 0.15},
    {"zone_edge_20km_blunder",
     {118.4, kLat, 20000, Gk(117, 39500000), InputMode::kHeight, 0.003, 5},
     0.4},
    {"zone_edge_20km_blunder_corner",
     {118.4, kLat, 20000, Gk(117, 39500000), InputMode::kPair, 0.003, 3},
     0.4},
    {"zone_edge_10km_model_point",
     {118.4, kLat, 10000, Gk(117, 39500000), InputMode::kModelBasePoint},
     0.02},
    {"city_40km_blunder",
     {118.3, kLat, 40000, Tm(117.4, 0.7, 52000, -4.3e6), InputMode::kHeight,
      0.003, 9},
     0.5},
    // 3000 points: the projection is told from a spread sample of them,
    // and every point is judged (the blunder is late in the list, where
    // the sample, each grid cell's first point, rarely looks).
    {"zone_edge_20km_3000_points",
     {118.4, kLat, 20000, Gk(117, 39500000), InputMode::kHeight, 0.003, 2011,
      2988},
     0.4},
    // A 2 km site is a similarity to the noise either way.
    {"zone_edge_2km", {118.4, kLat, 2000, Gk(117, 39500000)}, 0.0},
};

INSTANTIATE_TEST_SUITE_P(Sites, Survey, testing::ValuesIn(kSurveyCases),
                         [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// How well one matrix holds the drawing.

// Independently: the drawing's own projection, inverted, and GeographicLib's
// local east/north/up frame (as the targets were converted).
struct IndependentScene {
  IndependentScene(const Site& site, const Built& b, double h_m)
      : d(site.drawing),
        tm(6378137.0, d.flattening, d.k0),
        model(site.mode == InputMode::kModelBasePoint),
        frame(model ? b.points.model_point.y : site.lat_deg,
              model ? b.points.model_point.x : site.lon_deg, 0),
        height_m(h_m) {
    double z;
    if (model) {
      GeographicLib::LocalCartesian(site.lat_deg, site.lon_deg, 0)
          .Forward(b.points.model_point.y, b.points.model_point.x, 0, sx, sy,
                   z);
    }
  }
  Point2 operator()(double x, double y) const {
    const double t = d.rotation_deg / 180 * M_PI;
    const double ux = (x - d.shift_x) * d.unit_m,
                 uy = (y - d.shift_y) * d.unit_m;
    const double px = ux * std::cos(t) + uy * std::sin(t) - d.x0_m;
    const double py = -ux * std::sin(t) + uy * std::cos(t) - d.y0_m;
    double lat, lon, e, n, u;
    tm.Reverse(d.lon0_deg, px, py, lat, lon);
    frame.Forward(lat, lon, height_m, e, n, u);
    return Point2{e + sx, n + sy};
  }
  DrawingSpec d;
  GeographicLib::TransverseMercator tm;
  bool model;
  GeographicLib::LocalCartesian frame;
  double height_m;
  double sx = 0, sy = 0;
};

struct Box {
  double lo_x, lo_y, hi_x, hi_y;
};

Box BoundingBox(const Built& b) {
  Box box{INFINITY, INFINITY, -INFINITY, -INFINITY};
  for (const Point3& d : b.points.source) {
    box.lo_x = std::min(box.lo_x, d.x), box.hi_x = std::max(box.hi_x, d.x);
    box.lo_y = std::min(box.lo_y, d.y), box.hi_y = std::max(box.hi_y, d.y);
  }
  return box;
}

// The fit's matrix against the scene, on a 41 x 41 grid over the box.
double IndependentMatrixError(const IndependentScene& scene, const Built& b) {
  const Box box = BoundingBox(b);
  const SimilarityFit& f = b.fit;
  double worst = 0;
  for (int j = 0; j <= 40; ++j) {
    for (int i = 0; i <= 40; ++i) {
      const double x = box.lo_x + (box.hi_x - box.lo_x) * i / 40;
      const double y = box.lo_y + (box.hi_y - box.lo_y) * j / 40;
      const Point2 e = scene(x, y);
      const double east =
          (x * std::cos(f.angle_rad) - y * std::sin(f.angle_rad)) * f.K + f.A_m;
      const double north =
          (x * std::sin(f.angle_rad) + y * std::cos(f.angle_rad)) * f.K + f.B_m;
      worst = std::max(worst, std::hypot(east - e.x, north - e.y));
    }
  }
  return worst;
}

// The least-squares similarity over a 17 x 17 grid on each corner part of
// side `side_m` (clipped to the box), the largest miss of the four.
double IndependentPartError(const IndependentScene& scene, const Built& b,
                            double side_m) {
  const Box box = BoundingBox(b);
  const double side = side_m / std::fabs(b.fit.K);
  const double sx = std::min(side, box.hi_x - box.lo_x);
  const double sy = std::min(side, box.hi_y - box.lo_y);
  double worst = 0;
  for (const double x0 : {box.lo_x, box.hi_x - sx}) {
    for (const double y0 : {box.lo_y, box.hi_y - sy}) {
      std::vector<std::complex<double>> p, q;
      std::complex<double> pm, qm;
      for (int j = 0; j <= 16; ++j) {
        for (int i = 0; i <= 16; ++i) {
          const double x = x0 + sx * i / 16, y = y0 + sy * j / 16;
          const Point2 e = scene(x, y);
          p.emplace_back(x - box.lo_x, y - box.lo_y);
          q.emplace_back(e.x, e.y);
          pm += p.back(), qm += q.back();
        }
      }
      pm /= static_cast<double>(p.size()), qm /= static_cast<double>(q.size());
      std::complex<double> num, den;
      for (size_t k = 0; k < p.size(); ++k) {
        num += (q[k] - qm) * std::conj(p[k] - pm);
        den += std::norm(p[k] - pm);
      }
      const std::complex<double> z = num / den;
      for (size_t k = 0; k < p.size(); ++k) {
        worst = std::max(worst, std::abs(q[k] - qm - z * (p[k] - pm)));
      }
    }
  }
  return worst;
}

struct HoldCase {
  const char* name;
  Site site;
  double height_m;     // of the evaluation
  double reference_m;  // a published figure for this site, or NaN
  double reference_tol_m;
};

class Hold : public testing::TestWithParam<HoldCase> {};

TEST_P(Hold, MatrixErrorAndPartSize) {
  const HoldCase& c = GetParam();
  const Built b = Build(c.site);
  const SurveyJudgement j = JudgeSurvey(b.points, b.fit);
  const MatrixHold hold = ComputeMatrixHold(b.points, b.fit, j);
  EXPECT_EQ(hold.height_m, c.height_m);
  const IndependentScene scene(c.site, b, c.height_m);
  const double independent = IndependentMatrixError(scene, b);
  // The tool's similarity to the projection is fitted to 3 mm points.
  EXPECT_NEAR(hold.matrix_error_m, independent, 0.004);
  if (!std::isnan(c.reference_m)) {
    EXPECT_NEAR(hold.matrix_error_m, c.reference_m, c.reference_tol_m);
  }
  // The drawing's box holds the square site turned by the meridian's
  // convergence (up to about a degree here).
  EXPECT_NEAR(hold.site_width_m, c.site.size_m, 0.03 * c.site.size_m);
  if (hold.matrix_error_m > kMatrixToleranceM) {
    // The part holds within the tolerance (1 mm for the grids' difference),
    // and a part a tenth larger does not.
    EXPECT_LE(IndependentPartError(scene, b, hold.part_size_m),
              kMatrixToleranceM + 0.001);
    EXPECT_GT(IndependentPartError(scene, b, 1.1 * hold.part_size_m),
              kMatrixToleranceM);
    const std::string message = ProjectionDistortionMessage(hold);
    // The figures, and what to do.
    char figures[64];
    std::snprintf(figures, sizeof figures, "by up to %.3f m",
                  hold.matrix_error_m);
    EXPECT_NE(message.find(figures), std::string::npos) << message;
    std::snprintf(figures, sizeof figures, "a part of %.1f km by",
                  hold.part_size_m / 1000);
    EXPECT_NE(message.find(figures), std::string::npos) << message;
    EXPECT_NE(message.find("register the drawing in parts"), std::string::npos)
        << message;
  } else {
    EXPECT_EQ(hold.part_size_m,
              std::max(hold.site_width_m, hold.site_height_m));
  }
}

const HoldCase kHoldCases[] = {
    // The issue's table, 20 km at 1.4 degrees: 30.9 cm for the best
    // similarity over the site; the fit to 12 points does a little worse.
    {"zone_edge_20km",
     {118.4, kLat, 20000, Gk(117, 39500000)},
     5.0 + 0.5 * 5.5,
     0.309,
     0.06},
    {"zone_edge_20km_pair_mode",
     {118.4, kLat, 20000, Gk(117, 39500000), InputMode::kPair},
     kProjectHeightM,
     0.309,
     0.06},
    // 10 km at 0.7 degrees: 3.9 cm in the table.
    {"off_meridian_10km_model_point",
     {117.7, kLat, 10000, Gk(117, 39500000), InputMode::kModelBasePoint},
     5.0 + 0.5 * 5.5,
     0.039,
     0.015},
    {"city_40km_mm",
     {118.3, kLat, 40000,
      [] {
        DrawingSpec d = Tm(117.4, -1.2, 3e7, 4e6);
        d.unit_m = 0.001;
        return d;
      }()},
     5.0 + 0.5 * 5.5,
     kNaN,
     0},
};

INSTANTIATE_TEST_SUITE_P(Sites, Hold, testing::ValuesIn(kHoldCases),
                         [](const auto& info) { return info.param.name; });

TEST(Hold, NoProjectionNoFigure) {
  const Built b = Build(Site{117.2, kLat, 2000, CadGridMm(23)});
  const MatrixHold hold =
      ComputeMatrixHold(b.points, b.fit, JudgeSurvey(b.points, b.fit));
  EXPECT_TRUE(std::isnan(hold.matrix_error_m));
  EXPECT_TRUE(std::isnan(hold.part_size_m));
}

// ---------------------------------------------------------------------------
// Every standard code against PROJ's database: its name, and where it puts
// a point a degree east of its meridian.

TEST(StandardProjection, MatchesProjDatabase) {
  std::vector<int> codes;
  for (int c = 4491; c <= 4554; ++c) codes.push_back(c);
  for (int c = 32601; c <= 32660; ++c) codes.push_back(c);
  for (int c = 32701; c <= 32760; ++c) codes.push_back(c);
  char path[] = "/tmp/projection_test_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  {
    std::ofstream out(path);
    out.precision(17);
    for (int code : codes) {
      const Projection p = StandardProjection(code);
      ASSERT_EQ(p.epsg, code);
      const double lon = p.central_meridian_deg + 1.0, lat = p.south ? -30 : 30;
      const Point2 xy = ProjectGeodetic(p.tm, lon, lat);
      out << code << ' ' << ProjectionKindName(p.kind) << ' ' << p.zone << ' '
          << p.zone_in_easting << ' ' << p.south << ' '
          << p.central_meridian_deg << ' ' << lon << ' ' << lat << ' ' << xy.x
          << ' ' << xy.y << '\n';
    }
  }
  const std::string script = R"PY(
import sys
from pyproj import CRS, Transformer
bad = 0
n = 0
for line in open(sys.argv[1]):
    code, kind, zone, with_zone, south, cm, lon, lat, x, y = line.split()
    zone, with_zone, south = int(zone), with_zone == "1", south == "1"
    cm = round(float(cm))
    crs = CRS.from_epsg(int(code))
    if kind == "utm":
        name = "WGS 84 / UTM zone %d%s" % (zone, "S" if south else "N")
    else:
        deg = "3-degree " if kind == "gauss_kruger_3" else ""
        where = ("zone %d" % zone) if with_zone else ("CM %dE" % cm)
        name = "CGCS2000 / %sGauss-Kruger %s" % (deg, where)
    t = Transformer.from_crs(crs.geodetic_crs, crs, always_xy=True)
    px, py = t.transform(float(lon), float(lat))
    if crs.name != name or abs(px - float(x)) > 1e-3 or abs(py - float(y)) > 1e-3:
        bad += 1
        print("mismatch", code, crs.name, name, px - float(x), py - float(y))
    n += 1
print("checked", n, "bad", bad)
)PY";
  const std::string command = std::string(GEOANCHOR_PYPROJ_PYTHON) + " -c '" +
                              script + "' " + path + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
  const int status = pclose(pipe);
  std::remove(path);
  EXPECT_EQ(status, 0) << output;
  EXPECT_NE(output.find("checked " + std::to_string(codes.size()) + " bad 0"),
            std::string::npos)
      << output;
  EXPECT_EQ(StandardProjection(4490).kind, ProjectionKind::kNone);
  EXPECT_EQ(StandardProjection(32661).kind, ProjectionKind::kNone);
}

}  // namespace
