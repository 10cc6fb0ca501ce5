// The drawing against its national grid: a fit whose scale or angle the
// grid does not allow, and each wrong point's own mistake as the grid
// tells it (a zone number, x and y exchanged, a web map's target, a slip
// in one coordinate); and the zone-number slips the survey finds.
#include <algorithm>
#include <cmath>

#include "common/fixed_text.h"
#include "common/numbers.h"
#include "diagnosis/context.h"

namespace geoanchor {

namespace {

// "point 4's easting 448324.112 lacks the zone number 39: write
// 39448324.112", and the like for the other slips; the easting as the
// user's table names it.
// `drawing_zone` is the drawing's own zone number.
Finding ZoneSlipFinding(const ControlPoints& points, const ZoneSlip& slip,
                        int drawing_zone) {
  const Message point = PointName(points, slip.point);
  const Message easting = EastingName(points);
  const std::string zone = std::to_string(drawing_zone);
  const std::string written = FormatDouble("%.3f", slip.written.x);
  const std::string corrected = FormatDouble("%.3f", slip.corrected.x);
  const std::string written_zone = std::to_string(slip.written_zone);
  // "point 4's easting 448324.112"
  const Message value{point.en + "'s " + easting.en + " " + written,
                      point.zh + " 的" + easting.zh + " " + written};
  Message message;
  switch (slip.kind) {
    case ZoneSlipKind::kMissing:
      message = value + Message{" lacks the zone number " + zone + ": write " +
                                    corrected,
                                " 缺少带号 " + zone + "，应写为 " + corrected};
      break;
    case ZoneSlipKind::kAdded: {
      const std::string others =
          points.table.read ? "points' " + easting.en : "eastings";
      message = value + Message{" holds the zone number " + zone +
                                    ", which the other " + others +
                                    " lack: write " + corrected,
                                " 带有带号 " + zone + "，而其他点的" +
                                    easting.zh + "没有，应写为 " + corrected};
      break;
    }
    case ZoneSlipKind::kNeighbour: {
      const std::string written_xy =
          written + ", " + FormatDouble("%.3f", slip.written.y);
      const std::string corrected_xy =
          corrected + ", " + FormatDouble("%.3f", slip.corrected.y);
      message =
          point +
          Message{"'s coordinates " + written_xy + " are zone " + written_zone +
                      "'s, the neighbouring zone: the drawing "
                      "is in zone " +
                      zone + ", so write " + corrected_xy,
                  " 的坐标 " + written_xy + " 属于相邻的 " + written_zone +
                      " 带：图纸位于 " + zone + " 带，应写为 " + corrected_xy};
      break;
    }
    case ZoneSlipKind::kOther:
      message =
          value + Message{" carries the zone number " + written_zone +
                              " where the drawing's is " + zone + ": write " +
                              corrected,
                          " 带有带号 " + written_zone + "，而图纸的带号是 " +
                              zone + "，应写为 " + corrected};
      break;
  }
  return MakeFinding({InputPosition(points.positions, slip.point)}, message);
}

// The findings of the points whose own mistake the drawing's grid names
// as `cause`: check where the fit left the point out and the matrix
// holds; bad where the matrix follows it. A point the survey names a
// zone-number slip already is left to that.
void GridCauses(const Context& c, GridCause cause, Findings* out) {
  const GridJudgement& g = c.grid;
  if (!g.in_grid || g.undecided || c.exchange.found || c.web_map ||
      c.one_place || g.cause.size() != c.n) {
    return;
  }
  const bool matrix_off = c.MatrixOffGrid();
  // Where the grid fixes a value only to the datum's and the points'
  // accuracy, it is given to the metre.
  const bool to_cm = c.n >= 3 && c.accuracy.accuracy_m < kCoarseAccuracyM;
  const auto value = [&](double v) {
    const std::string metres = FormatDouble(to_cm ? "%.2f" : "%.0f", v);
    // The Chinese verb carries the "about": 应为 448324.61, 应约为 448325.
    return to_cm ? Message{metres, "为 " + metres}
                 : Message{"about " + metres, "约为 " + metres};
  };
  const Message grid = GridName(g.grid);
  const Message easting = EastingName(*c.points);
  const Message northing = NorthingName(*c.points);
  // "point 4's easting 448324.112 should be 448324.61 by <grid>, and its
  // northing agrees: check the easting"
  const auto slip = [&](const Message& point, const Message& off,
                        const std::string& written, const Message& should,
                        const Message& other) {
    return Message{point.en + "'s " + off.en + " " + written + " should be " +
                       should.en + " by " + grid.en + ", and its " + other.en +
                       " agrees: check the " + off.en,
                   point.zh + " 的" + off.zh + " " + written + " 按 " +
                       grid.zh + " 应" + should.zh + "，其" + other.zh +
                       "相符：请检查" + off.zh};
  };
  for (size_t i = 0; i < c.n; ++i) {
    if (g.cause[i] != cause) continue;
    if (std::any_of(c.zone_slips.begin(), c.zone_slips.end(),
                    [&](const ZoneSlip& z) { return z.point == i; })) {
      continue;  // named by the survey already
    }
    const Point3& s = c.points->source[i];
    const Point2& e = g.expected[i];
    const Message point = PointName(*c.points, i);
    const std::string x = FormatDouble("%.3f", s.x);
    const std::string y = FormatDouble("%.3f", s.y);
    Message message;
    switch (cause) {
      case GridCause::kZoneNumber: {
        ZoneSlip slip;
        slip.point = i;
        slip.written = Point2{s.x, s.y};
        slip.corrected = Point2{
            s.x + std::round((e.x - s.x) / kZoneEastingM) * kZoneEastingM, s.y};
        slip.written_zone = static_cast<int>(std::floor(s.x / kZoneEastingM));
        slip.kind = slip.written_zone == 0    ? ZoneSlipKind::kMissing
                    : !g.grid.zone_in_easting ? ZoneSlipKind::kAdded
                                              : ZoneSlipKind::kOther;
        message = ZoneSlipFinding(*c.points, slip, g.grid.zone).message;
        break;
      }
      case GridCause::kSwapped:
        if (c.points->table.read) {
          // A surveyor's table may call the easting Y: name the columns.
          const Message& east = easting;
          const Message& north = northing;
          message = Message{
              point.en + "'s " + east.en + " and " + north.en +
                  " are exchanged: its target lies where " + grid.en +
                  " puts " + y + ", " + x + ", so write its " + east.en + " " +
                  y + " and its " + north.en + " " + x,
              point.zh + " 的" + east.zh + "与" + north.zh +
                  "互换了：其目标点位于 " + grid.zh + " 中的 " + y + ", " + x +
                  " 处，应写" + east.zh + " " + y + "，" + north.zh + " " + x};
          break;
        }
        message = Message{
            point.en +
                "'s x and y are exchanged: its target "
                "lies where " +
                grid.en + " puts " + y + ", " + x +
                ", so write the point easting first (x " + y + ", y " + x + ")",
            point.zh + " 的 x 与 y 互换了：其目标点位于 " + grid.zh + " 中的 " +
                y + ", " + x + " 处，应先写东坐标（x " + y + "，y " + x + "）"};
        break;
      case GridCause::kWebMap: {
        const Message off = Metres(g.grid_m[i]);
        message = Message{
            point.en +
                "'s target is a Chinese web map's position, not WGS84: it "
                "lies " +
                off.en +
                " from where the grid puts its drawing point, as GCJ-02 or "
                "BD-09 would: take its WGS84 position (GNSS, or the scene's "
                "own coordinates), or leave it out",
            point.zh +
                " 的目标点是中国网络地图上的位置，不是 WGS84：它距投影带"
                "所定的图纸点位置 " +
                off.zh +
                "，正如火星坐标（GCJ-02）或百度坐标（BD-09）那样：请改用其 "
                "WGS84 坐标（GNSS，或场景自身的坐标），或舍去该点"};
        break;
      }
      case GridCause::kEasting:
        message = slip(point, easting, x, value(e.x), northing);
        break;
      case GridCause::kNorthing:
        message = slip(point, northing, y, value(e.y), easting);
        break;
      case GridCause::kNone:
        break;
    }
    // The fit left the point out where it does not follow it; through two
    // points it follows both.
    const bool left_out = c.n >= 3 && c.outlier[i];
    out->push_back(
        MakeFinding({c.Position(i)}, message, matrix_off || !left_out));
  }
}

}  // namespace

// The fit's scale or angle where the drawing's grid does not allow them,
// or two points the grid does not place alike: the matrix is wrong, and
// the grid names the point where it can.
void JudgeGridMismatch(const Context& c, Findings* out) {
  const GridJudgement& g = c.grid;
  if (!g.in_grid || c.one_place || c.exchange.found || c.web_map ||
      g.deviation_m.size() != c.n) {
    return;
  }
  const bool scale_off = c.ScaleOffGrid();
  const bool angle_off = c.AngleOffGrid();
  std::vector<int> wrong;
  double worst_m = 0.0, others_m = 0.0;
  for (size_t i = 0; i < c.n; ++i) {
    const double off_m =
        DeviationLength(g.deviation_m[i].x - g.datum_shift_m.x,
                        g.deviation_m[i].y - g.datum_shift_m.y);
    if (g.wrong[i] || g.undecided) {
      wrong.push_back(c.Position(i));
      worst_m = std::max(worst_m, off_m);
    } else {
      others_m = std::max(others_m, off_m);
    }
  }
  const bool two_disagree = c.n == 2 && !wrong.empty();
  if (!scale_off && !angle_off && !two_disagree) return;
  const Message grid = GridName(g.grid);
  Message what;
  if (scale_off || angle_off) {
    const std::string angle_off_deg =
        FormatDouble("%.4f", RadToDeg(std::fabs(c.grid_angle_off_rad))) + "°";
    const std::string grid_angle =
        FormatDouble("%.4f", RadToDeg(g.angle_rad)) + "°";
    const std::string fitted_angle =
        FormatDouble("%.4f", RadToDeg(c.fit->similarity.angle_rad())) + "°";
    // A scale the user held is not judged: only the angle.
    if (c.fit->free_scale) {
      const std::string k = FormatDouble("%.7f", c.fit->similarity.K());
      const std::string ppm =
          FormatDouble("%.0f", std::fabs(c.grid_scale_off) * 1e6);
      const std::string grid_k = FormatDouble("%.7f", g.K);
      const std::string limit = FormatDouble("%.0f", c.grid_scale_limit * 1e6);
      what = Message{
          "the fitted scale K = " + k + " and angle " + fitted_angle + " are " +
              ppm + " ppm and " + angle_off_deg +
              " from what the drawing's grid, " + grid.en +
              ", fixes at this site (K = " + grid_k + ", angle " + grid_angle +
              "; within " + limit + " ppm here)",
          "拟合的比例 K = " + k + " 和旋转角 " + fitted_angle +
              " 与图纸的投影带 " + grid.zh + " 在此处所定的值（K = " + grid_k +
              "，旋转角 " + grid_angle + "；此处允许 " + limit + " ppm）相差 " +
              ppm + " ppm 和 " + angle_off_deg};
    } else {
      const std::string limit =
          FormatDouble("%.4f", RadToDeg(c.grid_angle_limit_rad)) + "°";
      what = Message{"the fitted angle " + fitted_angle + " is " +
                         angle_off_deg + " from what the drawing's grid, " +
                         grid.en + ", fixes at this site (angle " + grid_angle +
                         "; within " + limit + " here)",
                     "拟合的旋转角 " + fitted_angle + " 与图纸的投影带 " +
                         grid.zh + " 在此处所定的值（旋转角 " + grid_angle +
                         "；此处允许 " + limit + "）相差 " + angle_off_deg};
    }
  } else {
    what = Message{"the two points do not lie alike in the drawing's grid, " +
                       grid.en + ", so the matrix through both is wrong",
                   "两个点在图纸的投影带 " + grid.zh +
                       " 中的位置不一致，因此通过这两点的矩阵是错的"};
  }
  const Message list = PointList(*c.points, wrong);
  const Message worst = Metres(worst_m);
  Message cause;
  if (g.undecided) {
    const std::string accuracy =
        FormatDouble("%.1f", std::max(0.1, std::ceil(worst_m * 4.0) / 10.0));
    cause = Message{
        list.en + " disagree by up to " + worst.en +
            " with the grid, which cannot tell which is wrong: check both, "
            "or add a control point; if they were picked that coarsely (an "
            "orthophoto), give --accuracy=" +
            accuracy + " to accept the matrix",
        list.zh + " 与投影带的不符值最大为 " + worst.zh +
            "，无法判断哪个有误：请检查这两个点，或增加一个控制点；"
            "如果它们就是这样粗略选取的（正射影像），请给出 --accuracy=" +
            accuracy + " 以接受该矩阵"};
  } else if (!wrong.empty()) {
    const bool one = wrong.size() == 1;
    const Message others = Metres(others_m);
    cause = Message{
        list.en + (one ? " lies " : " lie up to ") + worst.en +
            " from where the grid puts " + (one ? "it" : "them") +
            ", the other points within " + others.en +
            ": check its drawing coordinates and its WGS84 position, or "
            "leave it out" +
            (c.n <= 3 ? " and add a control point" : ""),
        list.zh + (one ? " 距投影带所定位置 " : " 距投影带所定位置最多 ") +
            worst.zh + "，其他点都在 " + others.zh +
            " 以内：请检查其图纸坐标和 WGS84 坐标，或舍去该点" +
            (c.n <= 3 ? "并增加一个控制点" : "")};
  } else {
    cause = Message{
        "no point stands out: check that the targets are the WGS84 "
        "positions of the drawing points",
        "没有哪个点特别突出：请检查目标点是否确为图纸点的 WGS84 坐标"};
  }
  out->push_back(MakeFinding(wrong, what + Message{": ", "："} + cause));
}

// Zone-number slips: those the drawing's grid names, then those the survey
// finds in a drawing whose zone is identified (always check: the robust
// fit left the blunder out).
void JudgeZoneNumber(const Context& c, Findings* out) {
  GridCauses(c, GridCause::kZoneNumber, out);
  for (const ZoneSlip& slip : c.zone_slips) {
    out->push_back(ZoneSlipFinding(*c.points, slip, c.survey.projection.zone));
  }
}

void JudgeSwappedPoint(const Context& c, Findings* out) {
  GridCauses(c, GridCause::kSwapped, out);
}

void JudgeWebMapPoint(const Context& c, Findings* out) {
  GridCauses(c, GridCause::kWebMap, out);
}

void JudgeCoordinateSlip(const Context& c, Findings* out) {
  GridCauses(c, GridCause::kEasting, out);
  GridCauses(c, GridCause::kNorthing, out);
}

}  // namespace geoanchor
