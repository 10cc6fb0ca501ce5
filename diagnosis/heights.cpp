// The heights judged on their own: the plane of (ellipsoidal height -
// drawing z) over the site, and the points off it.
#include <algorithm>
#include <cmath>
#include <utility>

#include "common/numbers.h"
#include "diagnosis/context.h"
#include "geodesy/ellipsoid.h"

namespace geoanchor {

namespace {

// Scale of the Cauchy loss of the height plane, metres, as for the fit.
constexpr double kHeightCauchyScaleM = 0.05;

// Solves the 3x3 system m x = v by Gaussian elimination with partial
// pivoting; false when m is singular relative to its size.
bool Solve3(double m[3][3], double v[3], double x[3]) {
  double scale = 0.0;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) scale = std::max(scale, std::fabs(m[r][c]));
  }
  if (!(scale > 0.0)) return false;
  for (int col = 0; col < 3; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 3; ++r) {
      if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) pivot = r;
    }
    if (!(std::fabs(m[pivot][col]) > 1e-12 * scale)) return false;
    std::swap(m[col], m[pivot]);
    std::swap(v[col], v[pivot]);
    for (int r = col + 1; r < 3; ++r) {
      const double factor = m[r][col] / m[col][col];
      for (int c = col; c < 3; ++c) m[r][c] -= factor * m[col][c];
      v[r] -= factor * v[col];
    }
  }
  for (int r = 2; r >= 0; --r) {
    double sum = v[r];
    for (int c = r + 1; c < 3; ++c) sum -= m[r][c] * x[c];
    x[r] = sum / m[r][r];
  }
  return true;
}

}  // namespace

// The height plane: (ellipsoidal height - drawing z) = c + se * east +
// sn * north, fitted with the Cauchy loss by iteratively reweighted least
// squares from the plain least-squares plane, as survey calibrations fit
// their vertical plane. The geoid's slope between a drawing's normal
// heights and the targets' ellipsoidal ones goes into the plane.
HeightDiagnosis DiagnoseHeights(const ControlPoints& points) {
  HeightDiagnosis h;
  const size_t n = points.source.size();
  if (points.mode == InputMode::kPair || n == 0) return h;
  h.available = true;
  h.flat_drawing = true;
  for (const Point3& s : points.source) {
    h.flat_drawing = h.flat_drawing && s.z == points.source[0].z;
  }
  double drop_min_m = INFINITY, drop_max_m = -INFINITY;
  for (const Point2& t : points.target) {
    const double drop_m = (t.x * t.x + t.y * t.y) / (2.0 * kMeanEarthRadiusM);
    drop_min_m = std::min(drop_min_m, drop_m);
    drop_max_m = std::max(drop_max_m, drop_m);
  }
  h.curvature_m = drop_max_m - drop_min_m;
  if (h.flat_drawing || n < 4) return h;

  double ce = 0.0, cn = 0.0;
  for (const Point2& t : points.target) {
    ce += t.x;
    cn += t.y;
  }
  ce /= static_cast<double>(n);
  cn /= static_cast<double>(n);
  std::vector<double> v(n), w(n, 1.0);
  for (size_t i = 0; i < n; ++i)
    v[i] = points.geodetic[i].z - points.source[i].z;
  double plane[3] = {0.0, 0.0, 0.0};
  const double c2 = kHeightCauchyScaleM * kHeightCauchyScaleM;
  for (int iteration = 0; iteration < 100; ++iteration) {
    double m[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    double rhs[3] = {0, 0, 0};
    for (size_t i = 0; i < n; ++i) {
      const double row[3] = {1.0, points.target[i].x - ce,
                             points.target[i].y - cn};
      for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) m[r][c] += w[i] * row[r] * row[c];
        rhs[r] += w[i] * row[r] * v[i];
      }
    }
    double next[3];
    if (!Solve3(m, rhs, next)) return h;
    const double change_m = std::fabs(next[0] - plane[0]);
    for (int k = 0; k < 3; ++k) plane[k] = next[k];
    for (size_t i = 0; i < n; ++i) {
      const double r = v[i] - (plane[0] + plane[1] * (points.target[i].x - ce) +
                               plane[2] * (points.target[i].y - cn));
      w[i] = CauchyWeightOfSquaredRatio(r * r / c2);
    }
    if (iteration > 0 && change_m < 1e-7) break;
  }
  if (!std::isfinite(plane[0] + plane[1] + plane[2])) return h;
  h.plane_fitted = true;
  h.slope_east_ppm = plane[1] * 1e6;
  h.slope_north_ppm = plane[2] * 1e6;
  h.off_plane_m.resize(n);
  for (size_t i = 0; i < n; ++i) {
    h.off_plane_m[i] = v[i] - (plane[0] + plane[1] * (points.target[i].x - ce) +
                               plane[2] * (points.target[i].y - cn));
  }
  return h;
}

void JudgeHeightOffLift(const Context& c, Findings* out) {
  if (!c.heights.plane_fitted) return;
  for (size_t i = 0; i < c.n; ++i) {
    const double off_m = c.heights.off_plane_m[i];
    if (!(std::fabs(off_m) > kWarningM)) continue;
    const Message off = Metres(off_m);
    out->push_back(MakeFinding(
        {c.Position(i)},
        PointName(*c.points, i) +
            Message{" is " + off.en +
                        " off the height plane of the others: check its "
                        "height and its drawing z",
                    " 偏离其他点的高程面 " + off.zh +
                        "：请检查其高程和图纸 z 值"}));
  }
}

}  // namespace geoanchor
