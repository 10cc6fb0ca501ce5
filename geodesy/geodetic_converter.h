// WGS84 geodetic <-> earth-centred earth-fixed <-> local east/north/up.
//
// Geodetic points are Point3 with x = longitude in degrees, y = latitude in
// degrees (longitude first) and z = ellipsoidal height in metres.
// ECEF points are X, Y, Z in metres: X towards longitude 0 on the equator,
// Z towards the north pole, Y completing a right-handed frame.
// ENU points are east, north, up in metres relative to the converter's
// origin.
//
// Rotation from ECEF differences (dX, dY, dZ) to ENU, rows in this order,
// with origin longitude lam0 and latitude phi0:
//   east  = (-sin lam0,             cos lam0,             0       )
//   north = (-sin phi0 * cos lam0, -sin phi0 * sin lam0,  cos phi0)
//   up    = ( cos phi0 * cos lam0,  cos phi0 * sin lam0,  sin phi0)
//
// Every product and sum is formed in a fixed order, and the origin's ECEF
// position is computed with exactly the products of GeodeticToEcef, so the
// origin itself maps to an exact zero difference. Closed form, no input
// validated: non-finite input gives non-finite output.
#ifndef GEOANCHOR_GEODESY_GEODETIC_CONVERTER_H_
#define GEOANCHOR_GEODESY_GEODETIC_CONVERTER_H_

#include <array>
#include <vector>

#include "common/types.h"

namespace geoanchor {

// The local east/north/up frame of one origin on WGS84 (the ellipsoid's
// kWgs84SemiMajorAxisM and kWgs84FlatteningDecimal), after GeographicLib's
// LocalCartesian: fixed at construction, which works out the origin's
// sines, cosines and ECEF position once; every conversion after is a few
// products. Cheap to copy.
class GeodeticConverter {
 public:
  // The frame around longitude `lon0_deg`, latitude `lat0_deg` and
  // ellipsoidal height `h0_m`. The tool's frames are on the ellipsoid
  // (height 0); published test vectors put origins above it.
  GeodeticConverter(double lon0_deg, double lat0_deg, double h0_m = 0.0);

  // Geodetic (lon_deg, lat_deg, h_m) -> ECEF metres. `geodetic` is read in
  // full before `ecef` is written, so both may be the same point. Does not
  // depend on the origin.
  void GeodeticToEcef(const Point3& geodetic, Point3* ecef) const;

  // ECEF metres -> ENU metres around the origin. May alias.
  void EcefToEnu(const Point3& ecef, Point3* enu) const;

  // GeodeticToEcef followed by EcefToEnu. May alias.
  void GeodeticToEnu(const Point3& geodetic, Point3* enu) const;

  // ENU metres around the origin -> ECEF metres: the rotation's transpose,
  // then the origin's position added. May alias.
  void EnuToEcef(const Point3& enu, Point3* ecef) const;

  // ECEF metres -> geodetic (lon_deg, lat_deg, h_m) on the same ellipsoid,
  // by GeographicLib's Geocentric::Reverse (exact to a few nanometres at
  // any height a site has). May alias. Does not depend on the origin.
  void EcefToGeodetic(const Point3& ecef, Point3* geodetic) const;

  // EnuToEcef followed by EcefToGeodetic: GeodeticToEnu's inverse. May
  // alias.
  void EnuToGeodetic(const Point3& enu, Point3* geodetic) const;

 private:
  friend std::array<double, 16> EnuToEcefMatrix(
      const GeodeticConverter& converter);

  double sin_lam0_;  // of the origin's longitude
  double cos_lam0_;
  double sin_phi0_;  // of the origin's latitude
  double cos_phi0_;
  Point3 origin_ecef_;  // metres
};

// The 4x4 homogeneous matrix, column-major (index = 4 * column + row), that
// carries ENU metres around the converter's origin into ECEF metres: its
// first three columns are the east, north and up unit vectors in ECEF (the
// rows of the rotation above), its last column the origin's ECEF position.
std::array<double, 16> EnuToEcefMatrix(const GeodeticConverter& converter);

// Where the input modes put the targets in the scene base point's east/
// north/up frame, metres, index-aligned with `geodetic` (lon_deg, lat_deg,
// h_m):
//  - pair mode: each target at the height `project_height_m` (its own z is
//    not read), converted in the scene frame; `up_m` is left empty;
//  - height mode: each target at its own height, in the scene frame;
//  - model-base-point mode: each target in the tangent frame of
//    `model_point` (lon_deg, lat_deg, height 0), moved by the model base
//    point's east/north/up in the scene frame; the two frames are not
//    rotated against each other.
// `base_point` is the scene base point (lon_deg, lat_deg; height 0).
void ConvertTargets(InputMode mode, const Point3& base_point,
                    const Point3& model_point, double project_height_m,
                    const std::vector<Point3>& geodetic,
                    std::vector<Point2>* target, std::vector<double>* up_m);

// ConvertTargets' conversion undone: where the points `enu` (east, north,
// up in the scene base point's frame, metres, as ConvertTargets gives
// them) lie on WGS84, (lon_deg, lat_deg, h_m), index-aligned:
//  - pair and height modes: from the scene frame;
//  - model-base-point mode: the model base point's east/north/up in the
//    scene frame taken off, then from `model_point`'s tangent frame.
// A target's own east, north and up come back to its lon, lat and height
// (to rounding); the pair mode's up is the one its targets have at
// `project_height_m` in the scene frame (ConvertTargets does not keep it).
void ConvertToGeodetic(InputMode mode, const Point3& base_point,
                       const Point3& model_point,
                       const std::vector<Point3>& enu,
                       std::vector<Point3>* geodetic);

}  // namespace geoanchor

#endif  // GEOANCHOR_GEODESY_GEODETIC_CONVERTER_H_
