#include "geodesy/geodetic_converter.h"

#include <GeographicLib/Geocentric.hpp>
#include <cmath>

#include "common/numbers.h"
#include "geodesy/ellipsoid.h"

namespace geoanchor {

namespace {

// First eccentricity squared, e^2 = (2 - f) f.
constexpr double kE2 =
    (2.0 - kWgs84FlatteningDecimal) * kWgs84FlatteningDecimal;

}  // namespace

GeodeticConverter::GeodeticConverter(double lon0_deg, double lat0_deg,
                                     double h0_m) {
  const double lam0 = DegToRad(lon0_deg);
  const double phi0 = DegToRad(lat0_deg);
  sin_lam0_ = std::sin(lam0);
  cos_lam0_ = std::cos(lam0);
  sin_phi0_ = std::sin(phi0);
  cos_phi0_ = std::cos(phi0);
  // Exactly GeodeticToEcef's products, so that the origin's own ECEF
  // position cancels exactly in EcefToEnu.
  GeodeticToEcef(Point3{lon0_deg, lat0_deg, h0_m}, &origin_ecef_);
}

void GeodeticConverter::GeodeticToEcef(const Point3& geodetic,
                                       Point3* ecef) const {
  const double phi = DegToRad(geodetic.y);
  const double lam = DegToRad(geodetic.x);
  const double h_m = geodetic.z;
  const double sin_phi = std::sin(phi);
  // Radius of curvature in the prime vertical, metres.
  const double n_m =
      kWgs84SemiMajorAxisM / std::sqrt(1.0 - (sin_phi * kE2) * sin_phi);
  const double cos_phi = std::cos(phi);
  const double x = std::cos(lam) * (cos_phi * (n_m + h_m));
  const double y = std::sin(lam) * (cos_phi * (n_m + h_m));
  const double z = ((1.0 - kE2) * n_m + h_m) * sin_phi;
  ecef->x = x;
  ecef->y = y;
  ecef->z = z;
}

void GeodeticConverter::EcefToEnu(const Point3& ecef, Point3* enu) const {
  const double dx = ecef.x - origin_ecef_.x;
  const double dy = ecef.y - origin_ecef_.y;
  const double dz = ecef.z - origin_ecef_.z;
  const double east = dy * cos_lam0_ - dx * sin_lam0_;
  const double north = dz * cos_phi0_ - (sin_lam0_ * sin_phi0_ * dy +
                                         cos_lam0_ * sin_phi0_ * dx);
  const double up = (sin_lam0_ * cos_phi0_ * dy + cos_lam0_ * cos_phi0_ * dx) +
                    dz * sin_phi0_;
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

void GeodeticConverter::EnuToEcef(const Point3& enu, Point3* ecef) const {
  const double e = enu.x, n = enu.y, u = enu.z;
  const double x =
      origin_ecef_.x +
      (-sin_lam0_ * e - sin_phi0_ * cos_lam0_ * n + cos_phi0_ * cos_lam0_ * u);
  const double y = origin_ecef_.y + (cos_lam0_ * e - sin_phi0_ * sin_lam0_ * n +
                                     cos_phi0_ * sin_lam0_ * u);
  const double z = origin_ecef_.z + (cos_phi0_ * n + sin_phi0_ * u);
  ecef->x = x;
  ecef->y = y;
  ecef->z = z;
}

void GeodeticConverter::EcefToGeodetic(const Point3& ecef,
                                       Point3* geodetic) const {
  const GeographicLib::Geocentric earth(kWgs84SemiMajorAxisM,
                                        kWgs84FlatteningDecimal);
  double lat_deg = 0.0, lon_deg = 0.0, h_m = 0.0;
  earth.Reverse(ecef.x, ecef.y, ecef.z, lat_deg, lon_deg, h_m);
  geodetic->x = lon_deg;
  geodetic->y = lat_deg;
  geodetic->z = h_m;
}

void GeodeticConverter::EnuToGeodetic(const Point3& enu,
                                      Point3* geodetic) const {
  Point3 ecef{0.0, 0.0, 0.0};
  EnuToEcef(enu, &ecef);
  EcefToGeodetic(ecef, geodetic);
}

std::array<double, 16> EnuToEcefMatrix(const GeodeticConverter& converter) {
  const double sin_lam0 = converter.sin_lam0_;
  const double cos_lam0 = converter.cos_lam0_;
  const double sin_phi0 = converter.sin_phi0_;
  const double cos_phi0 = converter.cos_phi0_;
  const Point3& origin_ecef = converter.origin_ecef_;
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
  const GeodeticConverter scene(base_point.x, base_point.y);
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
      const GeodeticConverter model_frame(model_point.x, model_point.y);
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

void ConvertToGeodetic(InputMode mode, const Point3& base_point,
                       const Point3& model_point,
                       const std::vector<Point3>& enu,
                       std::vector<Point3>* geodetic) {
  const GeodeticConverter scene(base_point.x, base_point.y);
  geodetic->clear();
  geodetic->reserve(enu.size());
  if (mode != InputMode::kModelBasePoint) {
    for (const Point3& p : enu) {
      Point3 g;
      scene.EnuToGeodetic(p, &g);
      geodetic->push_back(g);
    }
    return;
  }
  // The model base point's shift exactly as ConvertTargets formed it.
  const GeodeticConverter model_frame(model_point.x, model_point.y);
  Point3 shift_enu;
  scene.GeodeticToEnu(Point3{model_point.x, model_point.y, 0.0}, &shift_enu);
  for (const Point3& p : enu) {
    Point3 g;
    model_frame.EnuToGeodetic(
        Point3{p.x - shift_enu.x, p.y - shift_enu.y, p.z - shift_enu.z}, &g);
    geodetic->push_back(g);
  }
}

}  // namespace geoanchor
