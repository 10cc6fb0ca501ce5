#include "geodesy/geodetic_converter.h"

#include <cmath>

#include "common/numbers.h"

namespace {

// Degrees to radians, the division first.
double DegToRad(double deg) { return (deg / 180.0) * kPi; }

}  // namespace

void GeodeticConverter::GeodeticToEcef(const Point3& geodetic,
                                       Point3* ecef) const {
  const double phi = DegToRad(geodetic.y);
  const double lam = DegToRad(geodetic.x);
  const double h_m = geodetic.z;
  const double e2 = (2.0 - f) * f;
  const double sin_phi = std::sin(phi);
  // Radius of curvature in the prime vertical, metres.
  const double n_m = a / std::sqrt(1.0 - (sin_phi * e2) * sin_phi);
  const double cos_phi = std::cos(phi);
  const double x = std::cos(lam) * (cos_phi * (n_m + h_m));
  const double y = std::sin(lam) * (cos_phi * (n_m + h_m));
  const double z = ((1.0 - e2) * n_m + h_m) * sin_phi;
  ecef->x = x;
  ecef->y = y;
  ecef->z = z;
}

void GeodeticConverter::EcefToEnu(const Point3& ecef, Point3* enu) const {
  const double lam0 = DegToRad(lon0);
  const double phi0 = DegToRad(lat0);
  const double e2 = (2.0 - f) * f;
  const double sin_phi0 = std::sin(phi0);
  const double cos_phi0 = std::cos(phi0);
  const double sin_lam0 = std::sin(lam0);
  const double cos_lam0 = std::cos(lam0);
  const double n0_m = a / std::sqrt(1.0 - (sin_phi0 * e2) * sin_phi0);
  // (N0 + h0) * cos phi0 equals GeodeticToEcef's cos phi * (N + h) bit for
  // bit, so the origin's own ECEF position cancels exactly.
  const double x0 = ((n0_m + h0) * cos_phi0) * cos_lam0;
  const double y0 = ((n0_m + h0) * cos_phi0) * sin_lam0;
  const double z0 = ((1.0 - e2) * n0_m + h0) * sin_phi0;
  const double dx = ecef.x - x0;
  const double dy = ecef.y - y0;
  const double dz = ecef.z - z0;
  const double east = dy * cos_lam0 - dx * sin_lam0;
  const double north =
      dz * cos_phi0 - (sin_lam0 * sin_phi0 * dy + cos_lam0 * sin_phi0 * dx);
  const double up =
      (sin_lam0 * cos_phi0 * dy + cos_lam0 * cos_phi0 * dx) + dz * sin_phi0;
  enu->x = east;
  enu->y = north;
  enu->z = up;
}

void GeodeticConverter::GeodeticToEnu(const Point3& geodetic,
                                      Point3* enu) const {
  Point3 ecef{0.0, 0.0, 0.0};
  GeodeticToEcef(geodetic, &ecef);
  EcefToEnu(ecef, enu);
}

GeodeticConverter MakeGeodeticConverter(double lon0_deg, double lat0_deg) {
  return MakeGeodeticConverterAtHeight(lon0_deg, lat0_deg, 0.0);
}

GeodeticConverter MakeGeodeticConverterAtHeight(double lon0_deg,
                                                double lat0_deg, double h0_m) {
  GeodeticConverter converter;
  converter.lon0 = lon0_deg;
  converter.lat0 = lat0_deg;
  converter.h0 = h0_m;
  return converter;
}

std::array<double, 16> EnuToEcefMatrix(const GeodeticConverter& converter) {
  const double lam0 = DegToRad(converter.lon0);
  const double phi0 = DegToRad(converter.lat0);
  const double sin_lam0 = std::sin(lam0);
  const double cos_lam0 = std::cos(lam0);
  const double sin_phi0 = std::sin(phi0);
  const double cos_phi0 = std::cos(phi0);
  Point3 origin_ecef;
  converter.GeodeticToEcef(Point3{converter.lon0, converter.lat0, converter.h0},
                           &origin_ecef);
  // clang-format off
  return {
      -sin_lam0,            cos_lam0,             0.0,      0.0,  // east
      -sin_phi0 * cos_lam0, -sin_phi0 * sin_lam0, cos_phi0, 0.0,  // north
      cos_phi0 * cos_lam0,  cos_phi0 * sin_lam0,  sin_phi0, 0.0,  // up
      origin_ecef.x,        origin_ecef.y,        origin_ecef.z, 1.0,  // origin
  };
  // clang-format on
}

void ConvertTargets(InputMode mode, const Point3& base_point,
                    const Point3& model_point, double project_height_m,
                    const std::vector<Point3>& geodetic,
                    std::vector<Point2>* target, std::vector<double>* up_m) {
  const GeodeticConverter scene =
      MakeGeodeticConverter(base_point.x, base_point.y);
  const size_t n = geodetic.size();
  target->clear();
  target->reserve(n);
  up_m->clear();
  switch (mode) {
    case InputMode::kPair:
      for (size_t i = 0; i < n; ++i) {
        const Point3 at_height{geodetic[i].x, geodetic[i].y, project_height_m};
        Point3 ecef;
        Point3 enu;
        scene.GeodeticToEcef(at_height, &ecef);
        scene.EcefToEnu(ecef, &enu);
        target->push_back(Point2{enu.x, enu.y});
      }
      return;
    case InputMode::kHeight:
      up_m->reserve(n);
      for (size_t i = 0; i < n; ++i) {
        Point3 enu;
        scene.GeodeticToEnu(geodetic[i], &enu);
        target->push_back(Point2{enu.x, enu.y});
        up_m->push_back(enu.z);
      }
      return;
    case InputMode::kModelBasePoint: {
      up_m->reserve(n);
      const GeodeticConverter model_frame =
          MakeGeodeticConverter(model_point.x, model_point.y);
      Point3 shift_ecef;
      Point3 shift_enu;
      scene.GeodeticToEcef(Point3{model_point.x, model_point.y, 0.0},
                           &shift_ecef);
      scene.EcefToEnu(shift_ecef, &shift_enu);
      for (size_t i = 0; i < n; ++i) {
        Point3 ecef;
        Point3 enu;
        model_frame.GeodeticToEcef(geodetic[i], &ecef);
        model_frame.EcefToEnu(ecef, &enu);
        target->push_back(Point2{enu.x + shift_enu.x, enu.y + shift_enu.y});
        up_m->push_back(enu.z + shift_enu.z);
      }
      return;
    }
  }
}
