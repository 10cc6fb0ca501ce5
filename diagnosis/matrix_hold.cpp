#include "diagnosis/matrix_hold.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/fixed_text.h"
#include "common/numbers.h"
#include "fit/plane_similarity.h"
#include "geodesy/geodetic_converter.h"
#include "geodesy/map_projections.h"

namespace geoanchor {

namespace {

// Grids over the drawing: the matrix error is a cubic at most, so these
// find its largest value (at the corners, which are nodes) to well under a
// millimetre.
constexpr int kErrorGridNodes = 21;
constexpr int kPartGridNodes = 9;
constexpr int kPartBisections = 12;

// The height, metres, at which the drawing is placed in the scene: the pair
// mode's project height (at which its targets were converted), else the
// targets' median height.
double PlacementHeightM(const ControlPoints& points) {
  if (points.mode == InputMode::kPair) return points.project_height_m;
  std::vector<double> h;
  for (const Point3& g : points.geodetic) h.push_back(g.z);
  return Median(h);
}

// Where the projection puts drawing points in the scene's frame: each
// converted at `height_m` exactly as the targets were (ConvertTargets: the
// scene's frame, or in the model-base-point mode the model's frame moved
// by the model base point).
struct ExactPlacement {
  const ControlPoints& points;
  double height_m;
  const Projector& projector;
  PlaneSimilarity sim;  // projected -> drawing

  std::vector<Point2> operator()(const std::vector<Point2>& drawing) const {
    std::vector<Point3> geodetic(drawing.size());
    for (size_t k = 0; k < drawing.size(); ++k) {
      const Point2 lonlat = projector.Reverse(sim.Invert(drawing[k]));
      geodetic[k] = Point3{lonlat.x, lonlat.y, height_m};
    }
    std::vector<Point2> scene;
    std::vector<double> up_m;
    ConvertTargets(points.mode, points.base_point, points.model_point,
                   points.project_height_m, geodetic, &scene, &up_m);
    return scene;
  }
};

// Drawing points on an nodes x nodes grid over [lo, hi] (one node along a
// side of no extent).
std::vector<Point2> Grid(const Point2& lo, const Point2& hi, int nodes) {
  const int nx = hi.x > lo.x ? nodes : 1, ny = hi.y > lo.y ? nodes : 1;
  std::vector<Point2> out;
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) {
      const double u = nx > 1 ? static_cast<double>(i) / (nx - 1) : 0.0;
      const double v = ny > 1 ? static_cast<double>(j) / (ny - 1) : 0.0;
      out.push_back(Point2{i == nx - 1 ? hi.x : lo.x + u * (hi.x - lo.x),
                           j == ny - 1 ? hi.y : lo.y + v * (hi.y - lo.y)});
    }
  }
  return out;
}

// The largest miss of the least-squares similarity fitted to the exact
// placement over the part [lo, hi], metres.
double PartError(const ExactPlacement& exact, const Point2& lo,
                 const Point2& hi) {
  const std::vector<Point2> drawing = Grid(lo, hi, kPartGridNodes);
  const std::vector<Point2> scene = exact(drawing);
  PlaneSimilarity sim;
  if (!FitClosedForm(drawing, scene, {}, 0.0, &sim)) {
    return 0.0;  // a single node: one matrix holds it exactly
  }
  double worst = 0;
  for (size_t k = 0; k < drawing.size(); ++k) {
    const Point2 r = sim.Deviation(drawing[k], scene[k]);
    worst = std::max(worst, DeviationLength(r.x, r.y));
  }
  return worst;
}

// Whether parts of side `side` (drawing units; clipped to the box) are held
// within the tolerance at each corner of the box, where the distortion is
// largest.
bool PartsHeld(const ExactPlacement& exact, const Point2& lo, const Point2& hi,
               double side) {
  const double sx = std::min(side, hi.x - lo.x);
  const double sy = std::min(side, hi.y - lo.y);
  const Point2 corners[4] = {lo, Point2{hi.x - sx, lo.y},
                             Point2{lo.x, hi.y - sy},
                             Point2{hi.x - sx, hi.y - sy}};
  for (const Point2& c : corners) {
    if (!(PartError(exact, c, Point2{c.x + sx, c.y + sy}) <=
          kMatrixToleranceM)) {
      return false;
    }
  }
  return true;
}

std::string Length(double m) {
  return m >= 1000.0 ? FormatDouble("%.1f km", m / 1000.0)
                     : FormatDouble("%.0f m", m);
}

}  // namespace

MatrixHold ComputeMatrixHold(const ControlPoints& points,
                             const SimilarityFit& fit,
                             const SurveyJudgement& judgement) {
  MatrixHold hold;
  if (points.source.empty()) return hold;
  // The box of the points most agree on: a blunder in a drawing
  // coordinate would stretch it over kilometres of nothing.
  Point2 lo{INFINITY, INFINITY}, hi{-INFINITY, -INFINITY};
  for (size_t i = 0; i < points.source.size(); ++i) {
    if (i < fit.consensus_inlier.size() && !fit.consensus_inlier[i]) continue;
    const Point3& d = points.source[i];
    lo.x = std::min(lo.x, d.x), lo.y = std::min(lo.y, d.y);
    hi.x = std::max(hi.x, d.x), hi.y = std::max(hi.y, d.y);
  }
  const double m_per_unit = MetresPerUnit(fit);
  hold.site_width_m = (hi.x - lo.x) * m_per_unit;
  hold.site_height_m = (hi.y - lo.y) * m_per_unit;
  const Projection& projection = judgement.projection;
  if (projection.kind == ProjectionKind::kNone || !std::isfinite(m_per_unit) ||
      !Finite(lo) || !Finite(hi)) {
    return hold;
  }

  hold.height_m = PlacementHeightM(points);
  if (!std::isfinite(hold.height_m)) return hold;
  const Projector projector(projection.tm);
  // With web-map targets, the drawing's true place is where its own
  // projection puts it, not where the targets' reading does.
  const ExactPlacement exact{
      points, hold.height_m, projector,
      projection.web_map ? PlaneSimilarity() : projection.similarity};

  // The matrix against the projection over the whole box.
  const PlaneSimilarity& matrix = fit.similarity;
  hold.matrix_error_m = 0;
  const std::vector<Point2> grid = Grid(lo, hi, kErrorGridNodes);
  const std::vector<Point2> placed_exactly = exact(grid);
  for (size_t k = 0; k < grid.size(); ++k) {
    const Point2& d = grid[k];
    const Point2& e = placed_exactly[k];
    const Point2 placed = matrix.Apply(d);
    const double miss = DeviationLength(placed.x - e.x, placed.y - e.y);
    if (!(miss <= hold.matrix_error_m)) {
      hold.matrix_error_m = miss;
      hold.worst_drawing = d;
    }
  }

  // The largest part one matrix holds: bisection on its side, from the
  // whole box down.
  const double whole = std::max(hi.x - lo.x, hi.y - lo.y);
  double held = 0, missed = whole;
  if (PartsHeld(exact, lo, hi, whole)) {
    held = whole;
  } else {
    for (int i = 0; i < kPartBisections; ++i) {
      const double mid = 0.5 * (held + missed);
      if (PartsHeld(exact, lo, hi, mid)) {
        held = mid;
      } else {
        missed = mid;
      }
    }
  }
  hold.part_size_m = held * m_per_unit;
  return hold;
}

Message ProjectionDistortionMessage(const MatrixHold& hold) {
  const std::string error = FormatDouble("%.3f m", hold.matrix_error_m);
  const std::string tolerance = FormatDouble("%.2f m", kMatrixToleranceM);
  const std::string width = Length(hold.site_width_m);
  const std::string height = Length(hold.site_height_m);
  const Message site{width + " by " + height,
                     "东西 " + width + "、南北 " + height};
  if (!(hold.part_size_m <
        std::max(hold.site_width_m, hold.site_height_m) * (1 - 1e-9))) {
    // The projection itself would let one matrix hold the whole drawing:
    // it is the control points' layout that tilts this one.
    return Message{
        "one matrix misses this " + site.en + " drawing by up to " + error +
            " against its map projection, though one fitted to control "
            "points spread evenly over the whole drawing would hold it "
            "within " +
            tolerance + ": add control points at its corners and edges",
        "一个矩阵与这幅" + site.zh + "的图纸的地图投影最多相差 " + error +
            "，而用均匀分布于整幅图纸的控制点拟合的矩阵可使其保持在 " +
            tolerance + " 以内：请在图纸的四角和边缘增加控制点"};
  }
  const std::string part_width =
      Length(std::min(hold.part_size_m, hold.site_width_m));
  const std::string part_height =
      Length(std::min(hold.part_size_m, hold.site_height_m));
  return Message{
      "one matrix misses this " + site.en + " drawing by up to " + error +
          " because of its map projection, and holds a part of " + part_width +
          " by " + part_height + " within " + tolerance +
          ": register the drawing in parts of that size, each with its own "
          "control points",
      "由于地图投影，一个矩阵与这幅" + site.zh + "的图纸最多相差 " + error +
          "，只能使东西 " + part_width + "、南北 " + part_height +
          " 的部分保持在 " + tolerance +
          " 以内：请将图纸按此大小分块配准，每块使用各自的控制点"};
}

}  // namespace geoanchor
