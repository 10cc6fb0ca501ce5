// Where an oblique-photography scene sits on the earth, from what its
// metadata says: the text of a ContextCapture <SRS> element with its
// <SRSOrigin>, or a 3D Tiles tileset's root transform.
//
// A scene is either a local east/north/up frame at a base point
// ("ENU:lat,lon", latitude first) or a projected grid in which SRSOrigin
// gives the base point's easting and northing. The grids read are the
// catalogue's (geodesy/map_projections.h: CGCS2000 Gauss-Krueger and WGS84
// UTM, by EPSG code) and any transverse Mercator given as WKT on CGCS2000
// or WGS84 (a city's own meridian). CGCS2000 positions are taken as WGS84
// ones, as everywhere in the tool (they differ by under 1.5 m). Grids on
// Beijing 1954 or Xi'an 1980 are refused: their origin lies tens of metres
// to 150 m off WGS84, and the tool has no datum transformation.
//
// Nothing here reads files, prints, throws or keeps state; a refusal is a
// value with its reason in both languages.
#ifndef GEOANCHOR_GEODESY_SCENE_SRS_H_
#define GEOANCHOR_GEODESY_SCENE_SRS_H_

#include <array>
#include <limits>
#include <string>

#include "common/types.h"
#include "geodesy/map_projections.h"

namespace geoanchor {

enum class SceneSrsKind {
  kRefused,    // not a system the tool places a scene in; see `refusal`
  kEnu,        // a local east/north/up frame at `enu_base_point`
  kProjected,  // a transverse Mercator grid, `projection`
};

struct SceneSrs {
  SceneSrsKind kind = SceneSrsKind::kRefused;
  // kEnu: the frame's origin, x = lon_deg, y = lat_deg.
  Point2 enu_base_point{std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::quiet_NaN()};
  // kProjected: the grid. A catalogue code (EPSG text, or a WKT whose
  // parameters are a catalogue code's) gives the catalogue's projection,
  // epsg set; any other transverse Mercator is kTransverseMercator with
  // the WKT's constants on its datum's ellipsoid, epsg 0.
  MapProjection projection;
  // The EPSG code the text names: the code itself, or a WKT's authority
  // tag (0 without one). A WKT's parameters win over its tag.
  int named_epsg = 0;
  // A WKT whose tag names a catalogue code on another meridian: the tag's
  // central meridian, degrees (the WKT's own is projection.tm's); NaN
  // otherwise.
  double tag_central_meridian_deg = std::numeric_limits<double>::quiet_NaN();
  // kRefused: what the text is and what the tool takes instead.
  Message refusal;
};

// What the text of an <SRS> element says:
//  - "ENU:lat,lon", decimal degrees, latitude first, spaces allowed;
//  - "EPSG:code" or "EPSG:code+vertical" (the horizontal code is read):
//    CGCS2000 Gauss-Krueger 4491 to 4554, WGS84 UTM 32601 to 32660 and
//    32701 to 32760;
//  - a WKT (OGC WKT1, ESRI's, or WKT2) of a transverse Mercator (or
//    Gauss-Krueger) on CGCS2000 or WGS 84, in metres.
// Anything else is refused: geographic and local systems, other
// projections, datums and codes, malformed and empty texts.
SceneSrs ReadSceneSrs(const std::string& srs_text);

// The scene's base point, x = lon_deg, y = lat_deg: for an ENU frame its
// origin; for a grid, `srs_origin` (x easting, y northing, metres, false
// origin included) carried back through the projection. NaN for a refused
// SRS.
Point2 SceneBasePoint(const SceneSrs& srs, const Point3& srs_origin);

// Whether a 3D Tiles root transform (4x4, column-major, ECEF metres) is an
// east/north/up frame at a point on WGS84: its last row (0, 0, 0, 1), its
// first three columns the east, north and up unit vectors at the
// geodetic position of its translation, each component within `tol`, the
// translation at least 1000 km from the earth's centre. The point (lon_deg,
// lat_deg, h_m) goes to `lon_lat_h` when it is and that is not null.
bool IsEastNorthUpFrame(const std::array<double, 16>& column_major,
                        double tol = 1e-9, Point3* lon_lat_h = nullptr);

}  // namespace geoanchor

#endif  // GEOANCHOR_GEODESY_SCENE_SRS_H_
