#include "geodesy/geodetic_converter.h"

#include <gtest/gtest.h>

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>
#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace geoanchor {

namespace {

Point3 ToEnu(const GeodeticConverter& converter, const Point3& geodetic) {
  Point3 enu;
  converter.GeodeticToEnu(geodetic, &enu);
  return enu;
}

TEST(GeodeticConverterTest, EcefOfSpecialPoints) {
  const GeodeticConverter converter(0.0, 0.0);
  Point3 ecef;
  // Hand calculation: N = a on the equator, cos 0 = 1, sin 0 = 0.
  converter.GeodeticToEcef(Point3{0.0, 0.0, 0.0}, &ecef);
  EXPECT_EQ(6378137.0, ecef.x);
  EXPECT_EQ(0.0, ecef.y);
  EXPECT_EQ(0.0, ecef.z);

  // cos of the double nearest pi/2 is 6.123e-17, not 0: X = a * 6.123e-17.
  converter.GeodeticToEcef(Point3{90.0, 0.0, 0.0}, &ecef);
  EXPECT_NEAR(3.905e-10, ecef.x, 1e-12);  // 1 pm
  EXPECT_EQ(6378137.0, ecef.y);
  EXPECT_EQ(0.0, ecef.z);

  // At the pole Z = (1 - e^2) * a / sqrt(1 - e^2) = a * (1 - f), which is
  // 6356752.314245179 m (hand calculation), not the rounded 6356752.3142.
  converter.GeodeticToEcef(Point3{0.0, 90.0, 0.0}, &ecef);
  EXPECT_NEAR(6356752.314245179, ecef.z, 1e-9);  // 1 nm
  EXPECT_NEAR(3.89e-10, ecef.x, 1e-11);
  EXPECT_EQ(0.0, ecef.y);
}

TEST(GeodeticConverterTest, OriginMapsToExactZero) {
  struct Case {
    double lon_deg, lat_deg;
    bool negative_zero_east;
    double h_m = 0.0;  // the origin's height, and the point's
  };
  // east = dY cos(lam0) - dX sin(lam0) with dX = dY = +0: the sign of the
  // zero is that of -sin(lam0) * 0 + cos(lam0) * 0, negative exactly when
  // cos(lam0) < 0 and sin(lam0) > 0, i.e. 90 < lon < 180. The origin's
  // ECEF position, worked out at construction, takes its height along.
  const Case cases[] = {{116.3, 39.9, true},
                        {0.0, 0.0, false},
                        {-73.98, 40.75, false},
                        {151.2, -33.87, true},
                        {5.0, 55.0, false},
                        {179.0, 89.0, true},
                        {5.0, 55.0, false, 200.0},
                        {116.3, 39.9, true, 4500.0},
                        {-120.0, -60.0, false, -80.0},
                        {100.0, 89.9, true, 8848.0}};
  for (const Case& c : cases) {
    const GeodeticConverter converter(c.lon_deg, c.lat_deg, c.h_m);
    const Point3 enu = ToEnu(converter, Point3{c.lon_deg, c.lat_deg, c.h_m});
    EXPECT_EQ(0.0, enu.x) << c.lon_deg;
    EXPECT_EQ(0.0, enu.y) << c.lon_deg;
    EXPECT_EQ(0.0, enu.z) << c.lon_deg;
    EXPECT_EQ(c.negative_zero_east, std::signbit(enu.x)) << c.lon_deg;
  }
}

TEST(GeodeticConverterTest, NearbyPointsAroundBeijing) {
  const GeodeticConverter converter(116.3, 39.9);
  struct Case {
    Point3 geodetic;
    Point3 enu;
    double tolerance_m;
  };
  // Approximate values by hand (one milli-degree of longitude is
  // N cos(lat) * 1.745e-5 = 85.518 m, of latitude M * 1.745e-5 = 111.033 m;
  // the up values are the drop of the tangent plane, d^2 / 2R).
  const Case cases[] = {
      {{116.3, 39.9, 100.0}, {0.0, 0.0, 100.0}, 1e-9},  // 1 nm
      {{116.301, 39.9, 0.0}, {85.518, 0.0005, -0.0006}, 1e-3},
      {{116.3, 39.901, 0.0}, {0.0, 111.033, -0.001}, 1e-3},
  };
  for (const Case& c : cases) {
    const Point3 enu = ToEnu(converter, c.geodetic);
    EXPECT_NEAR(c.enu.x, enu.x, c.tolerance_m);
    EXPECT_NEAR(c.enu.y, enu.y, c.tolerance_m);
    EXPECT_NEAR(c.enu.z, enu.z, c.tolerance_m);
  }
}

TEST(GeodeticConverterTest, InputAndOutputMayBeTheSamePoint) {
  const GeodeticConverter converter(116.3, 39.9);
  const Point3 geodetic{116.31, 39.92, 55.0};
  const Point3 expected = ToEnu(converter, geodetic);
  Point3 p = geodetic;
  converter.GeodeticToEnu(p, &p);
  EXPECT_EQ(expected.x, p.x);
  EXPECT_EQ(expected.y, p.y);
  EXPECT_EQ(expected.z, p.z);
  Point3 q = geodetic;
  Point3 ecef;
  converter.GeodeticToEcef(geodetic, &ecef);
  converter.GeodeticToEcef(q, &q);
  EXPECT_EQ(ecef.x, q.x);
  converter.EcefToEnu(q, &q);
  EXPECT_EQ(expected.y, q.y);
}

// IOGP Publication 373-7-2, Geomatics Guidance Note 7 part 2, method 9836
// (geocentric to topocentric), WGS84 example: origin 55 N, 5 E, 200 m;
// point 53.80939444444444 N, 2.12955 E, 73 m.
TEST(GeodeticConverterTest, IogpTopocentricTestVector) {
  const GeodeticConverter converter(5.0, 55.0, 200.0);
  const Point3 enu = ToEnu(converter, Point3{2.12955, 53.80939444444444, 73.0});
  EXPECT_NEAR(-189013.869, enu.x, 1e-3);  // 1 mm
  EXPECT_NEAR(-128642.040, enu.y, 1e-3);
  EXPECT_NEAR(-4220.171, enu.z, 1e-3);
}

TEST(GeodeticConverterTest, AgreesWithGeographicLibEverywhere) {
  std::mt19937_64 rng(20261208);
  std::uniform_real_distribution<double> lon(-180.0, 180.0);
  std::uniform_real_distribution<double> lat(-89.0, 89.0);
  std::uniform_real_distribution<double> offset(-1.0, 1.0);
  std::uniform_real_distribution<double> height(-100.0, 3000.0);
  const GeographicLib::Geocentric& wgs84 = GeographicLib::Geocentric::WGS84();
  double worst_m = 0.0;
  for (int origin = 0; origin < 50; ++origin) {
    const double lon0 = lon(rng);
    const double lat0 = lat(rng);
    const GeodeticConverter converter(lon0, lat0);
    const GeographicLib::LocalCartesian oracle(lat0, lon0, 0.0, wgs84);
    for (int i = 0; i < 25; ++i) {
      const double p_lon = lon0 + offset(rng);
      const double p_lat = lat0 + offset(rng);
      const double p_h = height(rng);
      double east_m, north_m, up_m;
      oracle.Forward(p_lat, p_lon, p_h, east_m, north_m, up_m);
      const Point3 enu = ToEnu(converter, Point3{p_lon, p_lat, p_h});
      worst_m = std::max({worst_m, std::fabs(enu.x - east_m),
                          std::fabs(enu.y - north_m), std::fabs(enu.z - up_m)});
    }
  }
  EXPECT_LT(worst_m, 1e-8);  // 10 nm over 1250 points
}

// Origins on, above and below the ellipsoid, at the antimeridian, near a
// pole and in the south, against GeographicLib at the same origin (the
// oracle): LocalCartesian's east, north and up of points around it, and
// Geocentric's rotation from east/north/up to ECEF (v0 = M v1, M
// row-major) and position of the origin as the matrix back to ECEF.
TEST(GeodeticConverterTest, FramesAboveTheEllipsoidAgreeWithGeographicLib) {
  struct Case {
    double lon0_deg, lat0_deg, h0_m;
  };
  const Case cases[] = {{116.3, 39.9, 0.0},      {5.0, 55.0, 200.0},
                        {116.3, 39.9, 4500.0},   {-179.95, -45.0, -80.0},
                        {179.95, 89.5, 1200.0},  {0.0, 0.0, 8848.0},
                        {-73.98, 40.75, -430.0}, {90.0, -89.9, 2800.0}};
  // Offsets from the origin: degrees of longitude and latitude, metres up.
  const Point3 offsets[] = {
      {0.3, 0.2, -50.0}, {-0.25, -0.3, 900.0}, {0.0, 0.0, 25.0}};
  const GeographicLib::Geocentric& wgs84 = GeographicLib::Geocentric::WGS84();
  for (const Case& c : cases) {
    const GeodeticConverter converter(c.lon0_deg, c.lat0_deg, c.h0_m);
    const GeographicLib::LocalCartesian oracle(c.lat0_deg, c.lon0_deg, c.h0_m,
                                               wgs84);
    for (const Point3& d : offsets) {
      const double lat_deg = std::clamp(c.lat0_deg + d.y, -90.0, 90.0);
      const Point3 p{c.lon0_deg + d.x, lat_deg, c.h0_m + d.z};
      double east_m, north_m, up_m;
      oracle.Forward(p.y, p.x, p.z, east_m, north_m, up_m);
      const Point3 enu = ToEnu(converter, p);
      EXPECT_NEAR(east_m, enu.x, 1e-8) << c.lon0_deg << " " << c.h0_m;
      EXPECT_NEAR(north_m, enu.y, 1e-8) << c.lon0_deg << " " << c.h0_m;
      EXPECT_NEAR(up_m, enu.z, 1e-8) << c.lon0_deg << " " << c.h0_m;
    }
    double x_m, y_m, z_m;
    std::vector<double> rotation(9);
    wgs84.Forward(c.lat0_deg, c.lon0_deg, c.h0_m, x_m, y_m, z_m, rotation);
    const std::array<double, 16> m = EnuToEcefMatrix(converter);
    for (int column = 0; column < 3; ++column) {
      for (int row = 0; row < 3; ++row) {
        EXPECT_NEAR(rotation[3 * row + column], m[4 * column + row], 1e-15)
            << c.lon0_deg << " " << c.lat0_deg << " " << row << column;
      }
      EXPECT_EQ(0.0, m[4 * column + 3]);
    }
    EXPECT_NEAR(x_m, m[12], 1e-8) << c.lon0_deg << " " << c.h0_m;  // 10 nm
    EXPECT_NEAR(y_m, m[13], 1e-8) << c.lon0_deg << " " << c.h0_m;
    EXPECT_NEAR(z_m, m[14], 1e-8) << c.lon0_deg << " " << c.h0_m;
    EXPECT_EQ(1.0, m[15]);
  }
}

TEST(GeodeticConverterTest, NonFiniteInputPassesThrough) {
  const GeodeticConverter converter(116.3, 39.9);
  const Point3 enu = ToEnu(converter, Point3{std::nan(""), 39.9, 0.0});
  EXPECT_TRUE(std::isnan(enu.x));
}

// Each mode's conversion undone: a target's own east, north and up come
// back to its lon, lat and height, and a point 5 m beside it lands where
// GeographicLib's LocalCartesian (the oracle) puts that east/north/up, in
// the frame the mode converts in.
TEST(GeodeticConverterTest, ConvertToGeodeticUndoesConvertTargets) {
  struct Case {
    const char* what;
    InputMode mode;
    Point3 base, model;
    double project_height_m;
    Point3 target;
  };
  const Case cases[] = {
      {"pair",
       InputMode::kPair,
       {116.3, 39.9, 0},
       {},
       45.0,
       {116.31, 39.91, 0}},
      {"height",
       InputMode::kHeight,
       {114.05, 22.55, 0},
       {},
       -1.0,
       {114.2, 22.6, 380.0}},
      {"south and west",
       InputMode::kHeight,
       {-70.6, -33.4, 0},
       {},
       -1.0,
       {-70.5, -33.45, 700.0}},
      {"model base point",
       InputMode::kModelBasePoint,
       {121.47, 31.23, 0},
       {121.5, 31.24, 0},
       -1.0,
       {121.51, 31.245, 30.0}},
  };
  const GeographicLib::Geocentric& wgs84 = GeographicLib::Geocentric::WGS84();
  for (const Case& c : cases) {
    std::vector<Point2> target;
    std::vector<double> up_m;
    ConvertTargets(c.mode, c.base, c.model, c.project_height_m, {c.target},
                   &target, &up_m);
    const GeodeticConverter scene(c.base.x, c.base.y);
    const double up =
        c.mode == InputMode::kPair
            ? ToEnu(scene, Point3{c.target.x, c.target.y, c.project_height_m}).z
            : up_m[0];
    const Point3 enu{target[0].x, target[0].y, up};
    const Point3 beside{enu.x + 3.0, enu.y - 4.0, up};
    std::vector<Point3> back;
    ConvertToGeodetic(c.mode, c.base, c.model, {enu, beside}, &back);
    ASSERT_EQ(2u, back.size()) << c.what;
    EXPECT_NEAR(c.target.x, back[0].x, 1e-11) << c.what;
    EXPECT_NEAR(c.target.y, back[0].y, 1e-11) << c.what;
    EXPECT_NEAR(c.mode == InputMode::kPair ? c.project_height_m : c.target.z,
                back[0].z, 1e-6)
        << c.what;

    const bool model = c.mode == InputMode::kModelBasePoint;
    double shift_e = 0, shift_n = 0, shift_u = 0;
    if (model) {
      GeographicLib::LocalCartesian(c.base.y, c.base.x, 0.0, wgs84)
          .Forward(c.model.y, c.model.x, 0.0, shift_e, shift_n, shift_u);
    }
    const Point3& frame = model ? c.model : c.base;
    double lat = 0, lon = 0, h = 0;
    GeographicLib::LocalCartesian(frame.y, frame.x, 0.0, wgs84)
        .Reverse(beside.x - shift_e, beside.y - shift_n, beside.z - shift_u,
                 lat, lon, h);
    EXPECT_NEAR(lon, back[1].x, 1e-10) << c.what;
    EXPECT_NEAR(lat, back[1].y, 1e-10) << c.what;
    EXPECT_NEAR(h, back[1].z, 1e-5) << c.what;
  }
}

}  // namespace

}  // namespace geoanchor
