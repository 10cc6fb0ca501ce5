// The points every stage hands on: plain coordinates, their meaning set by
// the list they stand in.
#ifndef GEOANCHOR_COMMON_POINTS_H_
#define GEOANCHOR_COMMON_POINTS_H_

#include <cmath>

namespace geoanchor {

// Three doubles whose meaning depends on the list they stand in:
//  - a drawing (source) point: x, y plane coordinates; z the drawing's
//    third number (0 for pairs);
//  - a geodetic point: x = longitude in degrees, y = latitude in degrees
//    (longitude first), z = ellipsoidal height in metres;
//  - an ECEF point: X, Y, Z in metres; an ENU point: east, north, up in
//    metres.
struct Point3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

// An east/north position in metres in the scene base point's local frame.
struct Point2 {
  double x = 0.0;  // east, metres
  double y = 0.0;  // north, metres
};

// Both coordinates finite (neither NaN nor infinite).
inline bool Finite(const Point2& p) {
  return std::isfinite(p.x) && std::isfinite(p.y);
}

}  // namespace geoanchor

#endif  // GEOANCHOR_COMMON_POINTS_H_
