// The coordinates of Chinese web maps: GCJ-02, which maps inside China must
// show by law (Amap, Tencent, Google's China tiles), and Baidu's BD-09 on
// top of it. Both move WGS84 positions by hundreds of metres, with a shift
// that bends by metres per kilometre; outside China the maps show WGS84.
//
// Only the published forward formulas: WGS84 -> GCJ-02 (the Krasovsky
// ellipsoid's radii scale a fixed trigonometric offset field) and GCJ-02
// -> BD-09 (a small turn and stretch about the origin and a fixed shift).
// Their inverses are iterations that nothing here needs: the tool names a
// web map's coordinates, it does not convert them.
//
// Longitudes (x) and latitudes (y) in degrees; plain arithmetic, no state.
#ifndef GEOANCHOR_GEODESY_WEB_MAP_H_
#define GEOANCHOR_GEODESY_WEB_MAP_H_

#include "common/types.h"

namespace geoanchor {

enum class WebMapDatum { kGcj02, kBd09 };

// "GCJ-02" or "BD-09".
const char* WebMapDatumName(WebMapDatum datum);

// Where the published formula applies: the box 72.004 to 137.8347 E,
// 0.8293 to 55.8271 N (the formula's own bounds; outside it the maps
// show WGS84 unchanged).
bool InsideWebMapChina(double lon_deg, double lat_deg);

// WGS84 -> GCJ-02. Outside the box the position comes back unchanged.
Point2 Wgs84ToGcj02(double lon_deg, double lat_deg);

// GCJ-02 -> BD-09.
Point2 Gcj02ToBd09(double lon_deg, double lat_deg);

// WGS84 -> the web map's coordinates.
Point2 Wgs84ToWebMap(WebMapDatum datum, double lon_deg, double lat_deg);

}  // namespace geoanchor

#endif  // GEOANCHOR_GEODESY_WEB_MAP_H_
