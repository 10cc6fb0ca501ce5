#include "geodesy/map_projections.h"

#include <GeographicLib/TransverseMercator.hpp>
#include <algorithm>
#include <cmath>
#include <iterator>

namespace geoanchor {

namespace {

constexpr double kUtmK0 = 0.9996;
constexpr double kUtmSouthFalseNorthingM = 10000000.0;

TransverseMercatorParameters GaussKruger(double cm_deg, double false_e_m) {
  TransverseMercatorParameters tm;
  tm.flattening = kCgcs2000Flattening;
  tm.k0 = 1.0;
  tm.central_meridian_deg = cm_deg;
  tm.false_easting_m = false_e_m;
  return tm;
}

// A CGCS2000 Gauss-Krueger zone on central meridian `cm_deg`, EPSG code
// `epsg`; its eastings with the zone number in front or without.
MapProjection GaussKrugerZone(ProjectionKind kind, int zone,
                              bool zone_in_easting, double cm_deg, int epsg) {
  MapProjection p;
  p.kind = kind;
  p.zone = zone;
  p.zone_in_easting = zone_in_easting;
  p.epsg = epsg;
  p.tm = GaussKruger(
      cm_deg, kFalseEastingM + (zone_in_easting ? zone * kZoneEastingM : 0));
  return p;
}

// Spacing of the grid that ProjectMany interpolates, degrees. The
// projection's third derivatives are of the order of the earth's radius,
// so cubic convolution over 0.01 degrees (1.7e-4 rad) is within
// R h^3 = 0.04 mm of the exact value.
constexpr double kInterpolationStepDeg = 0.01;

// Catmull-Rom weights of the four nodes around fraction t of a cell.
void CubicWeights(double t, double w[4]) {
  const double t2 = t * t, t3 = t2 * t;
  w[0] = 0.5 * (-t3 + 2 * t2 - t);
  w[1] = 0.5 * (3 * t3 - 5 * t2 + 2);
  w[2] = 0.5 * (-3 * t3 + 4 * t2 + t);
  w[3] = 0.5 * (t3 - t2);
}

}  // namespace

const char* ProjectionKindName(ProjectionKind kind) {
  static const char* const kNames[] = {
      "none", "gauss_kruger_3", "gauss_kruger_6", "utm", "transverse_mercator"};
  // A name for every kind: a new one fails here until it has one.
  static_assert(std::size(kNames) ==
                static_cast<size_t>(ProjectionKind::kTransverseMercator) + 1);
  const size_t i = static_cast<size_t>(kind);
  return i < std::size(kNames) ? kNames[i] : "none";
}

MapProjection GaussKruger3(int zone, bool zone_in_easting) {
  return GaussKrugerZone(
      ProjectionKind::kGaussKruger3, zone, zone_in_easting, 3.0 * zone,
      zone_in_easting ? 4513 + (zone - 25) : 4534 + (zone - 25));
}

MapProjection GaussKruger6(int zone, bool zone_in_easting) {
  return GaussKrugerZone(
      ProjectionKind::kGaussKruger6, zone, zone_in_easting, 6.0 * zone - 3.0,
      zone_in_easting ? 4491 + (zone - 13) : 4502 + (zone - 13));
}

MapProjection Utm(int zone, bool south) {
  MapProjection p;
  p.kind = ProjectionKind::kUtm;
  p.zone = zone;
  p.south = south;
  p.epsg = (south ? 32700 : 32600) + zone;
  p.tm.a_m = kWgs84SemiMajorAxisM;
  p.tm.flattening = kWgs84Flattening;
  p.tm.k0 = kUtmK0;
  p.tm.central_meridian_deg = 6.0 * zone - 183.0;
  p.tm.false_easting_m = kFalseEastingM;
  p.tm.false_northing_m = south ? kUtmSouthFalseNorthingM : 0.0;
  return p;
}

MapProjection TransverseMercatorOn(double central_meridian_deg) {
  MapProjection p;
  p.kind = ProjectionKind::kTransverseMercator;
  p.tm = GaussKruger(central_meridian_deg, 0.0);
  return p;
}

MapProjection StandardProjectionOf(int epsg) {
  if (epsg >= 4491 && epsg <= 4501)
    return GaussKruger6(13 + (epsg - 4491), true);
  if (epsg >= 4502 && epsg <= 4512)
    return GaussKruger6(13 + (epsg - 4502), false);
  if (epsg >= 4513 && epsg <= 4533)
    return GaussKruger3(25 + (epsg - 4513), true);
  if (epsg >= 4534 && epsg <= 4554)
    return GaussKruger3(25 + (epsg - 4534), false);
  if (epsg >= 32601 && epsg <= 32660) return Utm(epsg - 32600, false);
  if (epsg >= 32701 && epsg <= 32760) return Utm(epsg - 32700, true);
  return MapProjection();
}

std::vector<MapProjection> StandardCandidates(double lon_deg, double lat_deg,
                                              double easting_m) {
  std::vector<MapProjection> out;
  if (easting_m >= 10.0 * kZoneEastingM) {
    const double zone_d = std::floor(easting_m / kZoneEastingM);
    if (zone_d >= 25 && zone_d <= 45) {
      out.push_back(GaussKruger3(static_cast<int>(zone_d), true));
    } else if (zone_d >= 13 && zone_d <= 23) {
      out.push_back(GaussKruger6(static_cast<int>(zone_d), true));
    }
  } else if (std::fabs(lon_deg) <= 180.0) {  // false for NaN
    // Whole zones as integers: counting in doubles would never end at a
    // longitude so large that adding 1 changes nothing.
    const int near3 = static_cast<int>(std::round(lon_deg / 3.0));
    for (int z = near3 - 1; z <= near3 + 1; ++z) {
      if (z >= 25 && z <= 45) out.push_back(GaussKruger3(z, false));
    }
    const int near6 = static_cast<int>(std::floor((lon_deg + 180.0) / 6.0)) + 1;
    for (int z = near6 - 1; z <= near6 + 1; ++z) {
      out.push_back(Utm(z < 1 ? z + 60 : (z > 60 ? z - 60 : z), lat_deg < 0));
    }
  }
  return out;
}

MapProjection NeighbourZone(const MapProjection& p, int step) {
  const int zone = p.zone + step;
  switch (p.kind) {
    case ProjectionKind::kGaussKruger3:
      return zone >= 25 && zone <= 45 ? GaussKruger3(zone, p.zone_in_easting)
                                      : MapProjection();
    case ProjectionKind::kGaussKruger6:
      return zone >= 13 && zone <= 23 ? GaussKruger6(zone, p.zone_in_easting)
                                      : MapProjection();
    case ProjectionKind::kUtm:
      return zone >= 1 && zone <= 60 ? Utm(zone, p.south) : MapProjection();
    default:
      return MapProjection();
  }
}

Projector::Projector(const TransverseMercatorParameters& p)
    : params_(p),
      tm_(std::make_shared<const GeographicLib::TransverseMercator>(
          p.a_m, p.flattening, p.k0)) {}

Point2 Projector::Forward(double lon0_deg, double lon_deg,
                          double lat_deg) const {
  double x, y;
  tm_->Forward(lon0_deg, lat_deg, lon_deg, x, y);
  return Point2{x + params_.false_easting_m, y + params_.false_northing_m};
}

Point2 Projector::Forward(double lon_deg, double lat_deg) const {
  return Forward(params_.central_meridian_deg, lon_deg, lat_deg);
}

Point2 Projector::Reverse(const Point2& p) const {
  double lat, lon;
  tm_->Reverse(params_.central_meridian_deg, p.x - params_.false_easting_m,
               p.y - params_.false_northing_m, lat, lon);
  return Point2{lon, lat};
}

std::vector<Point2> ProjectMany(const Projector& projector,
                                const std::vector<Point3>& geodetic) {
  const size_t n = geodetic.size();
  std::vector<Point2> out(n);
  double lon_lo = INFINITY, lon_hi = -INFINITY, lat_lo = INFINITY,
         lat_hi = -INFINITY;
  bool finite = true;  // a NaN would slip past the min and max
  for (const Point3& g : geodetic) {
    finite = finite && std::isfinite(g.x) && std::isfinite(g.y);
    lon_lo = std::min(lon_lo, g.x), lon_hi = std::max(lon_hi, g.x);
    lat_lo = std::min(lat_lo, g.y), lat_hi = std::max(lat_hi, g.y);
  }
  // Two nodes beyond the points on each side, for the four-node stencil.
  const double h = kInterpolationStepDeg;
  const double nx_d = std::floor((lon_hi - lon_lo) / h) + 5;
  const double ny_d = std::floor((lat_hi - lat_lo) / h) + 5;
  if (!finite || !(nx_d * ny_d * 4 < static_cast<double>(n)) ||
      lat_lo - 2 * h < -90 || lat_hi + 3 * h > 90) {
    for (size_t i = 0; i < n; ++i) {
      out[i] = projector.Forward(geodetic[i].x, geodetic[i].y);
    }
    return out;
  }
  const int nx = static_cast<int>(nx_d), ny = static_cast<int>(ny_d);
  const double lon0 = lon_lo - 2 * h, lat0 = lat_lo - 2 * h;
  std::vector<Point2> node(static_cast<size_t>(nx) * ny);
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) {
      node[static_cast<size_t>(j) * nx + i] =
          projector.Forward(lon0 + i * h, lat0 + j * h);
    }
  }
  for (size_t k = 0; k < n; ++k) {
    const double u = (geodetic[k].x - lon0) / h, v = (geodetic[k].y - lat0) / h;
    const int i = std::clamp(static_cast<int>(u), 1, nx - 3);
    const int j = std::clamp(static_cast<int>(v), 1, ny - 3);
    double wu[4], wv[4];
    CubicWeights(u - i, wu);
    CubicWeights(v - j, wv);
    // Relative to one node, so that the sums keep every digit.
    const Point2 base = node[static_cast<size_t>(j) * nx + i];
    double x = 0, y = 0;
    for (int b = 0; b < 4; ++b) {
      const Point2* row = &node[static_cast<size_t>(j - 1 + b) * nx + i - 1];
      double rx = 0, ry = 0;
      for (int a = 0; a < 4; ++a) {
        rx += wu[a] * (row[a].x - base.x);
        ry += wu[a] * (row[a].y - base.y);
      }
      x += wv[b] * rx, y += wv[b] * ry;
    }
    out[k] = Point2{base.x + x, base.y + y};
  }
  return out;
}

Point2 ProjectGeodetic(const TransverseMercatorParameters& tm, double lon_deg,
                       double lat_deg) {
  return Projector(tm).Forward(lon_deg, lat_deg);
}

}  // namespace geoanchor
