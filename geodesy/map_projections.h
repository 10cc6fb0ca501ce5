// The map projections drawings are made in, as a catalogue: the CGCS2000
// Gauss-Krueger 3-degree zones (central meridians 75 to 135 E, EPSG 4513
// to 4533 with the zone number in front of the easting, 4534 to 4554
// without), the 6-degree zones (13 to 23, EPSG 4491 to 4501 and 4502 to
// 4512), the WGS84 UTM zones (EPSG 32601 to 32660 north, 32701 to 32760
// south), and a CGCS2000 transverse Mercator on any meridian (a city's own
// system). The projector itself is GeographicLib's TransverseMercator
// (Karney's series, accurate to nanometres within the zones).
//
// Longitudes and latitudes in degrees; projected coordinates in metres,
// false origin included (easting x, northing y). Nothing here prints,
// throws or keeps state beyond a projector's own constants.
#ifndef GEOANCHOR_GEODESY_MAP_PROJECTIONS_H_
#define GEOANCHOR_GEODESY_MAP_PROJECTIONS_H_

#include <memory>
#include <vector>

#include "common/types.h"
#include "geodesy/ellipsoid.h"

namespace GeographicLib {
class TransverseMercator;
}

namespace geoanchor {

// The false easting of every zone, and what a zone number in front of the
// easting adds per zone, metres.
inline constexpr double kFalseEastingM = 500000.0;
inline constexpr double kZoneEastingM = 1000000.0;

enum class ProjectionKind {
  kNone,                // no projection: the similarity is exact to the noise
  kGaussKruger3,        // CGCS2000 Gauss-Krueger, 3-degree zone
  kGaussKruger6,        // CGCS2000 Gauss-Krueger, 6-degree zone
  kUtm,                 // WGS84 UTM
  kTransverseMercator,  // CGCS2000 transverse Mercator, arbitrary meridian
};

// "gauss_kruger_3", "gauss_kruger_6", "utm", "transverse_mercator"; "none"
// for kNone (which the report writes as null).
const char* ProjectionKindName(ProjectionKind kind);

// The constants of one transverse Mercator: ellipsoid, scale on the central
// meridian, and the false origin added to the projected coordinates.
struct TransverseMercatorParameters {
  double a_m = kCgcs2000SemiMajorAxisM;  // equatorial radius
  double flattening = kCgcs2000Flattening;
  double k0 = 1.0;  // scale on the central meridian
  double central_meridian_deg = 0.0;
  double false_easting_m = 0.0;   // 500 km, plus zone * 1000 km in front
  double false_northing_m = 0.0;  // 10 000 km for UTM south, else 0
};

// One projection of the catalogue.
struct MapProjection {
  ProjectionKind kind = ProjectionKind::kNone;
  int zone = 0;  // the standard zone's number; 0 = none
  bool zone_in_easting = false;
  bool south = false;  // UTM south
  int epsg = 0;        // the standard projection's EPSG code; 0 = none
  TransverseMercatorParameters tm;
};

MapProjection GaussKruger3(int zone, bool zone_in_easting);
MapProjection GaussKruger6(int zone, bool zone_in_easting);
MapProjection Utm(int zone, bool south);
// CGCS2000, scale 1 on `central_meridian_deg`, no false origin.
MapProjection TransverseMercatorOn(double central_meridian_deg);

// The standard projection of an EPSG code (4491 to 4554, 32601 to 32660,
// 32701 to 32760); kind kNone for any other code.
MapProjection StandardProjectionOf(int epsg);

// The standard projections a drawing at this longitude, latitude and
// easting can be in. The zone number in front of the easting names the
// zone itself; without it, the 3-degree meridians and UTM zones around the
// site (a 6-degree zone without the number is the 3-degree zone on its
// meridian).
std::vector<MapProjection> StandardCandidates(double lon_deg, double lat_deg,
                                              double easting_m);

// The same kind of zone `step` zones away, with or without its number as
// `p` is; kind kNone beyond the zones or for an arbitrary meridian.
MapProjection NeighbourZone(const MapProjection& p, int step);

// A transverse Mercator with its constants. The meridian may be given with
// each call, so that one projector serves a whole meridian search.
class Projector {
 public:
  explicit Projector(const TransverseMercatorParameters& p);

  Point2 Forward(double lon0_deg, double lon_deg, double lat_deg) const;
  Point2 Forward(double lon_deg, double lat_deg) const;
  // Longitude (x) and latitude (y), degrees, on the parameters' meridian.
  Point2 Reverse(const Point2& p) const;

  const TransverseMercatorParameters& params() const { return params_; }

 private:
  TransverseMercatorParameters params_;
  std::shared_ptr<const GeographicLib::TransverseMercator> tm_;
};

// The projected coordinates of every geodetic point (x = lon, y = lat).
// Where the points far outnumber the nodes of a 0.01-degree grid over
// them (a site, not a continent), they are interpolated by cubic
// convolution between exact projections at the nodes, within 0.05 mm;
// otherwise each is projected exactly.
std::vector<Point2> ProjectMany(const Projector& projector,
                                const std::vector<Point3>& geodetic);

// Projected coordinates of a WGS84 or CGCS2000 position.
Point2 ProjectGeodetic(const TransverseMercatorParameters& tm, double lon_deg,
                       double lat_deg);

}  // namespace geoanchor

#endif  // GEOANCHOR_GEODESY_MAP_PROJECTIONS_H_
