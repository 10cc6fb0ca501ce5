// The matrix from the drawing into the coordinates in which a scene
// stores its vertices, beside the tool's east/north/up one.
//
// A scene's vertices are its SRS's coordinates minus its SRSOrigin
// (input/scene_file.h):
//  - an east/north/up scene (ContextCapture's ENU:lat,lon, or a tileset's
//    frame): east/north/up at the base point less SRSOrigin. The matrix
//    is the tool's own, its offsets less SRSOrigin's: the third row gives
//    z + zoffset - SRSOrigin's z.
//  - a projected scene: grid easting and northing less SRSOrigin's. The
//    earth's curvature and the grid's scale and convergence make these
//    another plane than east/north, so the plane part is its own
//    similarity, fitted between the drawing and the targets carried
//    through the scene's projection, each point weighted as the main fit
//    weighed it (so its outliers stay out); the third row is as above.
//
// Nothing here prints, throws or keeps state.
#ifndef GEOANCHOR_FIT_SCENE_MATRIX_H_
#define GEOANCHOR_FIT_SCENE_MATRIX_H_

#include "common/plane_similarity.h"
#include "common/types.h"
#include "geodesy/scene_srs.h"

namespace geoanchor {

struct SceneMatrix {
  SceneSrs srs;  // the scene's SRS (kEnu or kProjected)
  Point3 srs_origin{0.0, 0.0, 0.0};
  // Drawing x, y to the scene's stored x, y, in the model form.
  PlaneSimilarity similarity;
  // Column-major 4x4: (x, y, z, 1) of the drawing to the scene's stored
  // coordinates.
  TransformMatrix matrix{};
};

// For a scene in `srs` (kEnu or kProjected) with `srs_origin`, the run's
// `points` and `fit`, and `matrix_local`, the tool's east/north/up matrix
// as the result file carries it: the matrix into the scene's stored
// coordinates. In a projected scene whose weighted points all lie at one
// place, the fit's own rotation and scale are kept and the points'
// centroid carried onto its targets'.
SceneMatrix FitSceneMatrix(const SceneSrs& srs, const Point3& srs_origin,
                           const ControlPoints& points,
                           const SimilarityFit& fit,
                           const TransformMatrix& matrix_local);

}  // namespace geoanchor

#endif  // GEOANCHOR_FIT_SCENE_MATRIX_H_
