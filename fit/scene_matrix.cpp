#include "fit/scene_matrix.h"

#include <vector>

#include "common/numbers.h"
#include "fit/plane_similarity.h"
#include "geodesy/map_projections.h"

namespace geoanchor {

namespace {

constexpr double kTargetGridM = 1.52587890625e-05;  // 2^-16

}  // namespace

SceneMatrix FitSceneMatrix(const SceneSrs& srs, const Point3& srs_origin,
                           const ControlPoints& points,
                           const SimilarityFit& fit,
                           const TransformMatrix& matrix_local) {
  SceneMatrix out;
  out.srs = srs;
  out.srs_origin = srs_origin;
  out.matrix = matrix_local;
  out.matrix[14] = matrix_local[14] - srs_origin.z;
  const PlaneSimilarity& enu = fit.similarity;
  if (srs.kind != SceneSrsKind::kProjected) {
    out.similarity = PlaneSimilarity::FromModel(enu.A_m() - srs_origin.x,
                                                enu.B_m() - srs_origin.y,
                                                enu.K(), enu.angle_rad());
    out.matrix[12] = matrix_local[12] - srs_origin.x;
    out.matrix[13] = matrix_local[13] - srs_origin.y;
    return out;
  }
  const Projector grid(srs.projection.tm);
  std::vector<Point2> from, to;
  from.reserve(points.source.size());
  to.reserve(points.source.size());
  for (size_t i = 0; i < points.source.size() && i < points.geodetic.size();
       ++i) {
    from.push_back(Point2{points.source[i].x, points.source[i].y});
    // On a grid of 2^-16 m (15 µm), far below any point's accuracy: the
    // projection's last bits differ between C libraries, and the 4e7 m of
    // a zone-numbered drawing's eastings would turn them into micrometres
    // of the matrix's offsets from one platform to the other.
    const Point2 g = grid.Forward(points.geodetic[i].x, points.geodetic[i].y);
    to.push_back(Point2{OnGrid(g.x - srs_origin.x, kTargetGridM),
                        OnGrid(g.y - srs_origin.y, kTargetGridM)});
  }
  // A free scale always: the grid's point scale is not the scene frame's,
  // so a scale the run held for east/north holds nothing here.
  PlaneSimilarity s;
  if (!FitClosedForm(from, to, fit.weights, 0.0, &s)) {
    // One place: the centroids' shift (K = 1, angle 0) turned and scaled
    // as the fit turned and scaled the drawing.
    s = PlaneSimilarity(s.from_c(), s.to_c(), enu.K(), enu.angle_rad());
  }
  out.similarity = s.InModelForm();
  const TransformMatrix plane = out.similarity.ToMatrix(0.0);
  for (int i : {0, 1, 4, 5, 12, 13}) out.matrix[i] = plane[i];
  return out;
}

}  // namespace geoanchor
