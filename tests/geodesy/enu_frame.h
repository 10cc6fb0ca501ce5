// A 3D Tiles root transform as writers make it: GeographicLib's
// east/north/up frame at a point, column-major, ECEF metres.
#ifndef GEOANCHOR_TESTS_GEODESY_ENU_FRAME_H_
#define GEOANCHOR_TESTS_GEODESY_ENU_FRAME_H_

#include <GeographicLib/Geocentric.hpp>
#include <array>
#include <vector>

namespace geoanchor {

inline std::array<double, 16> EnuFrame(double lat, double lon, double h) {
  std::vector<double> r(9);
  double X, Y, Z;
  GeographicLib::Geocentric::WGS84().Forward(lat, lon, h, X, Y, Z, r);
  std::array<double, 16> m{};
  for (int col = 0; col < 3; ++col) {
    for (int row = 0; row < 3; ++row) m[4 * col + row] = r[3 * row + col];
  }
  m[12] = X, m[13] = Y, m[14] = Z, m[15] = 1;
  return m;
}

}  // namespace geoanchor

#endif  // GEOANCHOR_TESTS_GEODESY_ENU_FRAME_H_
