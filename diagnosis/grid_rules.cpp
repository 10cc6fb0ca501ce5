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
// 39448324.112", and the like for the other slips.
// `drawing_zone` is the drawing's own zone number.
Finding ZoneSlipFinding(const ControlPoints& points, const ZoneSlip& slip,
                        int drawing_zone) {
  const std::string point = PointName(points, slip.point);
  const std::string zone = std::to_string(drawing_zone);
  const std::string written = FormatDouble("%.3f", slip.written.x);
  std::string message;
  switch (slip.kind) {
    case ZoneSlipKind::kMissing:
      message = point + "'s easting " + written + " lacks the zone number " +
                zone + ": write " + FormatDouble("%.3f", slip.corrected.x);
      break;
    case ZoneSlipKind::kAdded:
      message = point + "'s easting " + written + " holds the zone number " +
                zone + ", which the other eastings lack: write " +
                FormatDouble("%.3f", slip.corrected.x);
      break;
    case ZoneSlipKind::kNeighbour:
      message = point + "'s coordinates " + written + ", " +
                FormatDouble("%.3f", slip.written.y) + " are zone " +
                std::to_string(slip.written_zone) +
                "'s, the neighbouring zone: the drawing is in zone " + zone +
                ", so write " + FormatDouble("%.3f", slip.corrected.x) + ", " +
                FormatDouble("%.3f", slip.corrected.y);
      break;
    case ZoneSlipKind::kOther:
      message = point + "'s easting " + written + " carries the zone number " +
                std::to_string(slip.written_zone) + " where the drawing's is " +
                zone + ": write " + FormatDouble("%.3f", slip.corrected.x);
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
    return to_cm ? FormatDouble("%.2f", v) : "about " + FormatDouble("%.0f", v);
  };
  for (size_t i = 0; i < c.n; ++i) {
    if (g.cause[i] != cause) continue;
    if (std::any_of(c.zone_slips.begin(), c.zone_slips.end(),
                    [&](const ZoneSlip& z) { return z.point == i; })) {
      continue;  // named by the survey already
    }
    const Point3& s = c.points->source[i];
    const Point2& e = g.expected[i];
    const std::string point = PointName(*c.points, i);
    const std::string x = FormatDouble("%.3f", s.x);
    const std::string y = FormatDouble("%.3f", s.y);
    std::string message;
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
        message = ZoneSlipFinding(*c.points, slip, g.grid.zone).message.en;
        break;
      }
      case GridCause::kSwapped:
        message = point + "'s x and y are exchanged: its target lies where " +
                  GridName(g.grid) + " puts " + y + ", " + x +
                  ", so write the point easting first (x " + y + ", y " + x +
                  ")";
        break;
      case GridCause::kWebMap:
        message = point +
                  "'s target is a Chinese web map's position, not WGS84: it "
                  "lies " +
                  Metres(g.grid_m[i]) +
                  " from where the grid puts its drawing point, as GCJ-02 or "
                  "BD-09 would: take its WGS84 position (GNSS, or the scene's "
                  "own coordinates), or leave it out";
        break;
      case GridCause::kEasting:
        message = point + "'s easting " + x + " should be " + value(e.x) +
                  " by " + GridName(g.grid) +
                  ", and its northing agrees: check the easting";
        break;
      case GridCause::kNorthing:
        message = point + "'s northing " + y + " should be " + value(e.y) +
                  " by " + GridName(g.grid) +
                  ", and its easting agrees: check the northing";
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
  std::string what;
  if (scale_off || angle_off) {
    const std::string angle_off_deg =
        FormatDouble("%.4f", RadToDeg(std::fabs(c.grid_angle_off_rad))) + "°";
    const std::string grid_angle =
        "angle " + FormatDouble("%.4f", RadToDeg(g.angle_rad)) + "°";
    const std::string fitted_angle =
        FormatDouble("%.4f", RadToDeg(c.fit->similarity.angle_rad())) + "°";
    // A scale the user held is not judged: only the angle.
    what = c.fit->free_scale
               ? "the fitted scale K = " +
                     FormatDouble("%.7f", c.fit->similarity.K()) +
                     " and angle " + fitted_angle + " are " +
                     FormatDouble("%.0f", std::fabs(c.grid_scale_off) * 1e6) +
                     " ppm and " + angle_off_deg +
                     " from what the drawing's grid, " + GridName(g.grid) +
                     ", fixes at this site (K = " + FormatDouble("%.7f", g.K) +
                     ", " + grid_angle + "; within " +
                     FormatDouble("%.0f", c.grid_scale_limit * 1e6) +
                     " ppm here)"
               : "the fitted angle " + fitted_angle + " is " + angle_off_deg +
                     " from what the drawing's grid, " + GridName(g.grid) +
                     ", fixes at this site (" + grid_angle + "; within " +
                     FormatDouble("%.4f", RadToDeg(c.grid_angle_limit_rad)) +
                     "° here)";
  } else {
    what = "the two points do not lie alike in the drawing's grid, " +
           GridName(g.grid) + ", so the matrix through both is wrong";
  }
  std::string cause;
  if (g.undecided) {
    cause =
        PointList(*c.points, wrong) + " disagree by up to " + Metres(worst_m) +
        " with the grid, which cannot tell which is wrong: check both, "
        "or add a control point; if they were picked that coarsely (an "
        "orthophoto), give --accuracy=" +
        FormatDouble("%.1f", std::max(0.1, std::ceil(worst_m * 4.0) / 10.0)) +
        " to accept the matrix";
  } else if (!wrong.empty()) {
    cause = PointList(*c.points, wrong) +
            (wrong.size() == 1 ? " lies " : " lie up to ") + Metres(worst_m) +
            " from where the grid puts " + (wrong.size() == 1 ? "it" : "them") +
            ", the other points within " + Metres(others_m) +
            ": check its drawing coordinates and its WGS84 position, or leave "
            "it out" +
            (c.n <= 3 ? " and add a control point" : "");
  } else {
    cause =
        "no point stands out: check that the targets are the WGS84 "
        "positions of the drawing points";
  }
  out->push_back(MakeFinding(wrong, what + ": " + cause));
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
