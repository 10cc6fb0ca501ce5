// The optional map check: where the fitted matrix puts the drawing on the
// earth, as one GeoJSON FeatureCollection (RFC 7946: WGS84, coordinates
// [lon_deg, lat_deg], no height), UTF-8, for QGIS or geojson.io.
//
// The features, in this order:
//  - the outline of the placed drawing: the convex hull of every placed
//    point, fitted and check points alike, as a Polygon (one closed,
//    counter-clockwise ring; kind "hull"), left out where the placed
//    points span no area (fewer than 3 of them off one line);
//  - per control point, in the input's order (in a table, the check points
//    among the fitted ones): a Point where the matrix puts its drawing
//    point (kind "placed"), a Point at its target as read (kind "target")
//    and the LineString from the first to the second (kind "deviation").
// Each point's three features carry the same properties besides `kind`:
//   name         its name from the table, or null
//   index        its position in the input, counting from 1
//   used         false for a check point
//   deviation_m  its deviation's length under the matrix, metres (the
//                report's residual_m)
//   codes        the codes of the findings that name it, in the
//                diagnosis's order, each once
// A placed point is the fitted similarity applied to its drawing x, y, at
// its target's up, in the frame its target was converted in, converted
// back to WGS84 (ConvertToGeodetic): on the ellipsoid it lies
// deviation_m from its target. Numbers have 17 significant digits.
#ifndef GEOANCHOR_OUTPUT_GEOJSON_H_
#define GEOANCHOR_OUTPUT_GEOJSON_H_

#include <string>
#include <vector>

#include "common/language.h"
#include "common/types.h"
#include "diagnosis/diagnosis.h"

namespace geoanchor {

// The convex hull of `points` (x, y), counter-clockwise from the lowest x
// (then lowest y), without repeated points or points inside or on its
// edges; as many points as there are distinct ones, up to 2, where they
// all lie on one line.
std::vector<Point2> ConvexHull(std::vector<Point2> points);

// The map check's text for a run with these control points, this fit and
// this diagnosis.
std::string GeoJsonText(const ControlPoints& points, const SimilarityFit& fit,
                        const Diagnosis& diagnosis);

// Writes the map check to `path`, replacing any file there atomically.
// Returns 0, or -1 after one line on standard error naming the path and the
// system's reason in `language`.
int WriteGeoJson(const std::string& path, const ControlPoints& points,
                 const SimilarityFit& fit, const Diagnosis& diagnosis,
                 Language language);

}  // namespace geoanchor

#endif  // GEOANCHOR_OUTPUT_GEOJSON_H_
