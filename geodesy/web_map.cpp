#include "geodesy/web_map.h"

#include <cmath>

#include "common/numbers.h"

namespace geoanchor {

namespace {

// The Krasovsky 1940 ellipsoid that GCJ-02's offsets are scaled on.
constexpr double kKrasovskyA_m = 6378245.0;
constexpr double kKrasovskyE2 = 0.00669342162296594323;

// The offset field, in metres of the ellipsoid's radii, at x = lon - 105,
// y = lat - 35 degrees.
double OffsetLat(double x, double y) {
  double r = -100.0 + 2.0 * x + 3.0 * y + 0.2 * y * y + 0.1 * x * y +
             0.2 * std::sqrt(std::fabs(x));
  r += (20.0 * std::sin(6.0 * x * kPi) + 20.0 * std::sin(2.0 * x * kPi)) * 2.0 /
       3.0;
  r += (20.0 * std::sin(y * kPi) + 40.0 * std::sin(y / 3.0 * kPi)) * 2.0 / 3.0;
  r += (160.0 * std::sin(y / 12.0 * kPi) + 320.0 * std::sin(y * kPi / 30.0)) *
       2.0 / 3.0;
  return r;
}

double OffsetLon(double x, double y) {
  double r = 300.0 + x + 2.0 * y + 0.1 * x * x + 0.1 * x * y +
             0.1 * std::sqrt(std::fabs(x));
  r += (20.0 * std::sin(6.0 * x * kPi) + 20.0 * std::sin(2.0 * x * kPi)) * 2.0 /
       3.0;
  r += (20.0 * std::sin(x * kPi) + 40.0 * std::sin(x / 3.0 * kPi)) * 2.0 / 3.0;
  r += (150.0 * std::sin(x / 12.0 * kPi) + 300.0 * std::sin(x / 30.0 * kPi)) *
       2.0 / 3.0;
  return r;
}

}  // namespace

const char* WebMapDatumName(WebMapDatum datum) {
  return datum == WebMapDatum::kGcj02 ? "GCJ-02" : "BD-09";
}

bool InsideWebMapChina(double lon_deg, double lat_deg) {
  return lon_deg >= 72.004 && lon_deg <= 137.8347 && lat_deg >= 0.8293 &&
         lat_deg <= 55.8271;
}

Point2 Wgs84ToGcj02(double lon_deg, double lat_deg) {
  if (!InsideWebMapChina(lon_deg, lat_deg)) return Point2{lon_deg, lat_deg};
  const double x = lon_deg - 105.0, y = lat_deg - 35.0;
  const double lat_rad = DegToRad(lat_deg);
  const double s = std::sin(lat_rad);
  const double magic = 1.0 - kKrasovskyE2 * s * s;
  const double sqrt_magic = std::sqrt(magic);
  // Offsets in metres over the meridian and the parallel's radii.
  const double dlat_deg =
      OffsetLat(x, y) * 180.0 /
      (kKrasovskyA_m * (1.0 - kKrasovskyE2) / (magic * sqrt_magic) * kPi);
  const double dlon_deg =
      OffsetLon(x, y) * 180.0 /
      (kKrasovskyA_m / sqrt_magic * std::cos(lat_rad) * kPi);
  return Point2{lon_deg + dlon_deg, lat_deg + dlat_deg};
}

Point2 Gcj02ToBd09(double lon_deg, double lat_deg) {
  const double x_pi = kPi * 3000.0 / 180.0;
  const double z = std::sqrt(lon_deg * lon_deg + lat_deg * lat_deg) +
                   0.00002 * std::sin(lat_deg * x_pi);
  const double theta =
      std::atan2(lat_deg, lon_deg) + 0.000003 * std::cos(lon_deg * x_pi);
  return Point2{z * std::cos(theta) + 0.0065, z * std::sin(theta) + 0.006};
}

Point2 Wgs84ToWebMap(WebMapDatum datum, double lon_deg, double lat_deg) {
  const Point2 gcj = Wgs84ToGcj02(lon_deg, lat_deg);
  return datum == WebMapDatum::kGcj02 ? gcj : Gcj02ToBd09(gcj.x, gcj.y);
}

}  // namespace geoanchor
