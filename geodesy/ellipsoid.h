// The ellipsoids the tool's coordinates are on: WGS84, of the targets and
// of UTM, and CGCS2000, of China's Gauss-Krueger zones. Each constant is
// written here once; semi-major axes in metres, flattenings unitless.
#ifndef GEOANCHOR_GEODESY_ELLIPSOID_H_
#define GEOANCHOR_GEODESY_ELLIPSOID_H_

namespace geoanchor {

// WGS84 (EPSG 7030).
inline constexpr double kWgs84SemiMajorAxisM = 6378137.0;
// The defining inverse flattening, as 1 / 298.257223563 (the quotient
// rounded once, as GeographicLib forms it): UTM's projector.
inline constexpr double kWgs84Flattening = 1 / 298.257223563;
// The same flattening written as the decimal 0.003352810664747481, one unit
// in the last place above kWgs84Flattening: the geodetic <-> ECEF <-> ENU
// conversion has always used this one, and the targets' east, north and up
// and the ECEF matrix the tool writes keep their bits only with it.
inline constexpr double kWgs84FlatteningDecimal = 0.003352810664747481;

// CGCS2000 (EPSG 1024's ellipsoid; GRS 80's within 0.1 mm).
inline constexpr double kCgcs2000SemiMajorAxisM = 6378137.0;
inline constexpr double kCgcs2000Flattening = 1 / 298.257222101;

// The mean radius of the earth (IUGG R1), metres: for figures, not
// measurements (the drop below a tangent plane, kilometres on a map),
// good to 0.3 %.
inline constexpr double kMeanEarthRadiusM = 6371008.8;

}  // namespace geoanchor

#endif  // GEOANCHOR_GEODESY_ELLIPSOID_H_
