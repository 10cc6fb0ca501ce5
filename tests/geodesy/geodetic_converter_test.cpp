#include "geodesy/geodetic_converter.h"

#include <gtest/gtest.h>

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>
#include <cmath>
#include <random>

namespace {

Point3 ToEnu(const GeodeticConverter& converter, const Point3& geodetic) {
  Point3 enu;
  converter.GeodeticToEnu(geodetic, &enu);
  return enu;
}

TEST(GeodeticConverterTest, EcefOfSpecialPoints) {
  const GeodeticConverter converter = MakeGeodeticConverter(0.0, 0.0);
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
  // 6356752.314245179 m (hand calculation), not the stored b.
  converter.GeodeticToEcef(Point3{0.0, 90.0, 0.0}, &ecef);
  EXPECT_NEAR(6356752.314245179, ecef.z, 1e-9);  // 1 nm
  EXPECT_NEAR(3.89e-10, ecef.x, 1e-11);
  EXPECT_EQ(0.0, ecef.y);
}

TEST(GeodeticConverterTest, OriginMapsToExactZero) {
  struct Case {
    double lon_deg, lat_deg;
    bool negative_zero_east;
  };
  // east = dY cos(lam0) - dX sin(lam0) with dX = dY = +0: the sign of the
  // zero is that of -sin(lam0) * 0 + cos(lam0) * 0, negative exactly when
  // cos(lam0) < 0 and sin(lam0) > 0, i.e. 90 < lon < 180.
  const Case cases[] = {{116.3, 39.9, true},    {0.0, 0.0, false},
                        {-73.98, 40.75, false}, {151.2, -33.87, true},
                        {5.0, 55.0, false},     {179.0, 89.0, true}};
  for (const Case& c : cases) {
    const GeodeticConverter converter =
        MakeGeodeticConverter(c.lon_deg, c.lat_deg);
    const Point3 enu = ToEnu(converter, Point3{c.lon_deg, c.lat_deg, 0.0});
    EXPECT_EQ(0.0, enu.x) << c.lon_deg;
    EXPECT_EQ(0.0, enu.y) << c.lon_deg;
    EXPECT_EQ(0.0, enu.z) << c.lon_deg;
    EXPECT_EQ(c.negative_zero_east, std::signbit(enu.x)) << c.lon_deg;
  }
}

TEST(GeodeticConverterTest, NearbyPointsAroundBeijing) {
  const GeodeticConverter converter = MakeGeodeticConverter(116.3, 39.9);
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
  const GeodeticConverter converter = MakeGeodeticConverter(116.3, 39.9);
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
  const GeodeticConverter converter =
      MakeGeodeticConverterAtHeight(5.0, 55.0, 200.0);
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
    const GeodeticConverter converter = MakeGeodeticConverter(lon0, lat0);
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

TEST(GeodeticConverterTest, NonFiniteInputPassesThrough) {
  const GeodeticConverter converter = MakeGeodeticConverter(116.3, 39.9);
  const Point3 enu = ToEnu(converter, Point3{std::nan(""), 39.9, 0.0});
  EXPECT_TRUE(std::isnan(enu.x));
}

}  // namespace
