// The site and its layout: points at one place, on one line or without
// redundancy, coarse points, targets far from the base point, a scale no
// drawing unit names, and a projection one matrix cannot follow.
#include <algorithm>
#include <cmath>

#include "common/fixed_text.h"
#include "diagnosis/context.h"
#include "fit/similarity_fit.h"

namespace geoanchor {

namespace {

// The drawing points lie "nearly on one line" when their smaller principal
// spread is below this share of the larger.
constexpr double kWeakGeometryRatio = 0.01;

}  // namespace

std::string DrawingUnits(double K) {
  struct Unit {
    const char* name;
    double metres;
  };
  // The international foot; the US survey foot (1200/3937 m) is 2 ppm
  // from it and counts as "ft" too.
  static const Unit kUnits[] = {{"m", 1.0},    {"dm", 0.1},    {"cm", 0.01},
                                {"mm", 0.001}, {"km", 1000.0}, {"in", 0.0254},
                                {"ft", 0.3048}};
  for (const Unit& unit : kUnits) {
    if (std::fabs(std::fabs(K) / unit.metres - 1.0) <= kDrawingUnitShare) {
      return unit.name;
    }
  }
  return std::string();
}

void JudgeRankDeficient(const Context& c, Findings* out) {
  if (!c.one_place) return;
  out->push_back(MakeFinding(
      {}, std::string("the drawing points all lie at one place, so they fix ") +
              (c.fit->free_scale ? "neither the rotation nor the scale"
                                 : "no rotation") +
              ": give control points spread over the drawing"));
}

void JudgeNoRedundancy(const Context& c, Findings* out) {
  if (std::isfinite(c.fit->sigma0_m)) return;
  out->push_back(MakeFinding(
      {}, std::to_string(c.n) + (c.n == 1 ? " point fixes" : " points fix") +
              " the transform exactly and nothing checks them: add control "
              "points"));
}

// Two points always lie on a line; no redundancy says more of them. A
// blunder in a drawing coordinate is no part of the layout.
void JudgeCollinear(const Context& c, Findings* out) {
  double major = 0.0, minor = 0.0;
  PrincipalSpreads(c.points->source, &major, &minor, &c.inlier);
  const size_t inliers =
      static_cast<size_t>(std::count(c.inlier.begin(), c.inlier.end(), true));
  if (inliers <= 2 || !(minor < kWeakGeometryRatio * major)) return;
  out->push_back(MakeFinding(
      {},
      "the drawing points lie nearly on one line (their spread across it "
      "is " +
          FormatDouble("%.2f", 100.0 * minor / major) +
          " % of that along it): add a control point away from that line"));
}

void JudgeCoarsePoints(const Context& c, Findings* out) {
  if (std::isfinite(c.unlocatable_m)) {
    // Round up to the decimetre the remedy names.
    const double picks_m =
        std::max(0.1, std::ceil(c.unlocatable_m * 10.0) / 10.0);
    out->push_back(MakeFinding(
        {},
        "the " + std::to_string(c.n) + " control points agree only to " +
            Metres(c.unlocatable_m) +
            " (one coordinate, one sigma), and so few points cannot tell a "
            "blunder from coarse picks, so none was set aside: if they were "
            "picked to about that (an orthophoto or a web map), give "
            "--accuracy=" +
            FormatDouble("%.1f", picks_m) +
            "; otherwise check them, or add control points"));
    return;
  }
  if (!c.accuracy.estimated || !(c.accuracy.accuracy_m > kCoarseAccuracyM)) {
    return;
  }
  out->push_back(MakeFinding(
      {},
      "the control points agree only to about " +
          Metres(c.accuracy.accuracy_m) +
          " (one coordinate, one sigma), so the matrix is good only to that "
          "order; points picked on an orthophoto or a web map are the usual "
          "cause: survey them (GNSS or total station) for a better "
          "placement, or give --accuracy if that is expected"));
}

void JudgeFarFromBase(const Context& c, Findings* out) {
  std::vector<int> far;
  double farthest_m = 0.0;
  for (size_t i = 0; i < c.n; ++i) {
    const Point2& t = c.points->target[i];
    const double distance_m = DeviationLength(t.x, t.y);
    if (distance_m > kFarFromBaseM) {
      far.push_back(c.Position(i));
      farthest_m = std::max(farthest_m, distance_m);
    }
  }
  if (far.empty()) return;
  out->push_back(MakeFinding(
      far,
      PointList(*c.points, far) + (far.size() == 1 ? " lies " : " lie up to ") +
          (std::isfinite(farthest_m)
               ? FormatDouble("%.3f", farthest_m / 1000.0) + " km"
               : Metres(farthest_m)) +
          " from the base point, beyond " +
          FormatDouble("%.0f", kFarFromBaseM / 1000.0) +
          " km: check the base point, and that these targets belong to this "
          "scene"));
}

void JudgeUnusualScale(const Context& c, Findings* out) {
  const SimilarityFit& fit = *c.fit;
  if (!fit.free_scale || !DrawingUnits(fit.similarity.K()).empty() ||
      !std::isfinite(fit.similarity.K())) {
    return;
  }
  out->push_back(MakeFinding(
      {}, "the fitted scale K = " + FormatDouble("%.7g", fit.similarity.K()) +
              " matches no drawing unit (m, dm, cm, mm, km, in or ft, within " +
              FormatDouble("%.0f", 100.0 * kDrawingUnitShare) +
              " %): check the drawing's unit, and that its points and the "
              "targets belong together"));
}

void JudgeProjectionDistortion(const Context& c, Findings* out) {
  if (!(c.hold.matrix_error_m > kMatrixToleranceM)) return;
  out->push_back(MakeFinding({}, ProjectionDistortionMessage(c.hold)));
}

}  // namespace geoanchor
