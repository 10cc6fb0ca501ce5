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
      {},
      c.fit->free_scale
          ? Message{"the drawing points all lie at one place, so they fix "
                    "neither the rotation nor the scale: give control points "
                    "spread over the drawing",
                    "图纸点都位于同一处，因此既不能确定旋转也不能确定比例："
                    "请给出分布于整个图纸的控制点"}
          : Message{"the drawing points all lie at one place, so they fix no "
                    "rotation: give control points spread over the drawing",
                    "图纸点都位于同一处，因此不能确定旋转：请给出分布于整个"
                    "图纸的控制点"}));
}

void JudgeNoRedundancy(const Context& c, Findings* out) {
  if (std::isfinite(c.fit->sigma0_m)) return;
  const std::string n = std::to_string(c.n);
  out->push_back(MakeFinding(
      {},
      Message{n + (c.n == 1 ? " point fixes" : " points fix") +
                  " the transform exactly and nothing checks them: add "
                  "control points",
              n + " 个点恰好确定变换，没有多余观测检核它们：请增加控制点"}));
}

// Two points always lie on a line; no redundancy says more of them. A
// blunder in a drawing coordinate is no part of the layout.
void JudgeCollinear(const Context& c, Findings* out) {
  double major = 0.0, minor = 0.0;
  PrincipalSpreads(c.points->source, &major, &minor, &c.inlier);
  const size_t inliers =
      static_cast<size_t>(std::count(c.inlier.begin(), c.inlier.end(), true));
  if (inliers <= 2 || !(minor < kWeakGeometryRatio * major)) return;
  const std::string share = FormatDouble("%.2f", 100.0 * minor / major);
  out->push_back(MakeFinding(
      {}, Message{"the drawing points lie nearly on one line (their spread "
                  "across it is " +
                      share +
                      " % of that along it): add a control point away from "
                      "that line",
                  "图纸点几乎位于一条直线上（垂直于该线的分布仅为沿线分布的 " +
                      share + " %）：请在远离该线处增加一个控制点"}));
}

void JudgeCoarsePoints(const Context& c, Findings* out) {
  if (std::isfinite(c.unlocatable_m)) {
    // Round up to the decimetre the remedy names.
    const double picks_m =
        std::max(0.1, std::ceil(c.unlocatable_m * 10.0) / 10.0);
    const std::string n = std::to_string(c.n);
    const Message agree = Metres(c.unlocatable_m);
    const std::string picks = FormatDouble("%.1f", picks_m);
    out->push_back(MakeFinding(
        {},
        Message{"the " + n + " control points agree only to " + agree.en +
                    " (one coordinate, one sigma), and so few points cannot "
                    "tell a blunder from coarse picks, so none was set aside: "
                    "if they were picked to about that (an orthophoto or a "
                    "web map), give --accuracy=" +
                    picks + "; otherwise check them, or add control points",
                "这 " + n + " 个控制点仅符合到 " + agree.zh +
                    "（单个坐标的中误差），点数太少，无法区分粗差与粗略选点，"
                    "因此没有剔除任何点：如果它们本就是以此精度选取的"
                    "（正射影像或网络地图），请给出 --accuracy=" +
                    picks + "；否则请检查这些点，或增加控制点"}));
    return;
  }
  if (!c.accuracy.estimated || !(c.accuracy.accuracy_m > kCoarseAccuracyM)) {
    return;
  }
  const Message agree = Metres(c.accuracy.accuracy_m);
  out->push_back(MakeFinding(
      {},
      Message{"the control points agree only to about " + agree.en +
                  " (one coordinate, one sigma), so the matrix is good only "
                  "to that order; points picked on an orthophoto or a web "
                  "map are the usual cause: survey them (GNSS or total "
                  "station) for a better placement, or give --accuracy if "
                  "that is expected",
              "控制点仅符合到约 " + agree.zh +
                  "（单个坐标的中误差），因此矩阵也只准确到这一量级；"
                  "通常是因为在正射影像或网络地图上选点：请实测这些点"
                  "（GNSS 或全站仪）以获得更好的定位，或者如果这在预期之内，"
                  "请给出 --accuracy"}));
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
  const Message list = PointList(*c.points, far);
  const Message distance =
      std::isfinite(farthest_m)
          ? Same(FormatDouble("%.3f", farthest_m / 1000.0) + " km")
          : Metres(farthest_m);
  const std::string limit = FormatDouble("%.0f", kFarFromBaseM / 1000.0);
  const bool one = far.size() == 1;
  out->push_back(MakeFinding(
      far, Message{list.en + (one ? " lies " : " lie up to ") + distance.en +
                       " from the base point, beyond " + limit +
                       " km: check the base point, and that these targets "
                       "belong to this scene",
                   list.zh + (one ? " 距基点 " : " 距基点最远 ") + distance.zh +
                       "，超过 " + limit +
                       " km：请检查基点，以及这些目标点是否属于本场景"}));
}

void JudgeUnusualScale(const Context& c, Findings* out) {
  const SimilarityFit& fit = *c.fit;
  if (!fit.free_scale || !DrawingUnits(fit.similarity.K()).empty() ||
      !std::isfinite(fit.similarity.K())) {
    return;
  }
  const std::string k = FormatDouble("%.7g", fit.similarity.K());
  const std::string share = FormatDouble("%.0f", 100.0 * kDrawingUnitShare);
  out->push_back(MakeFinding(
      {}, Message{"the fitted scale K = " + k +
                      " matches no drawing unit (m, dm, cm, mm, km, in or "
                      "ft, within " +
                      share +
                      " %): check the drawing's unit, and that its points "
                      "and the targets belong together",
                  "拟合的比例 K = " + k +
                      " 与任何图纸单位都不符（m、dm、cm、mm、km、in 或 ft，"
                      "相差 " +
                      share +
                      " % 以内）：请检查图纸的单位，以及图纸点与目标点"
                      "是否对应"}));
}

void JudgeProjectionDistortion(const Context& c, Findings* out) {
  if (!(c.hold.matrix_error_m > kMatrixToleranceM)) return;
  out->push_back(MakeFinding({}, ProjectionDistortionMessage(c.hold)));
}

}  // namespace geoanchor
