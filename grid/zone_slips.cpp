// Blunders that are slips of the zone number, in a drawing whose standard
// projection is identified.
#include <cmath>
#include <vector>

#include "geodesy/map_projections.h"
#include "grid/projection.h"

namespace geoanchor {

std::vector<ZoneSlip> FindZoneSlips(const ControlPoints& points,
                                    const SurveyJudgement& survey,
                                    double m_per_unit, double limit_m) {
  std::vector<ZoneSlip> slips;
  const Projection& p = survey.projection;
  const bool zoned = p.kind == ProjectionKind::kGaussKruger3 ||
                     p.kind == ProjectionKind::kGaussKruger6 ||
                     p.kind == ProjectionKind::kUtm;
  const size_t n = points.source.size();
  if (!zoned || p.web_map || !(m_per_unit > 0) || points.geodetic.size() != n ||
      survey.survey_m.size() != n) {
    return slips;
  }
  const PlaneSimilarity& sim = p.similarity;
  const Projector own(p.tm);
  const bool numbered = p.kind != ProjectionKind::kUtm;
  const double number_m = p.zone * kZoneEastingM;
  for (size_t i = 0; i < n; ++i) {
    if (!(survey.survey_m[i] > limit_m)) continue;
    const Point2 written{points.source[i].x, points.source[i].y};
    const Point3& g = points.geodetic[i];
    // Where the target puts the drawing point in the drawing's own zone,
    // and the similarity's own correction there (datum and survey).
    const Point2 projected = own.Forward(g.x, g.y);
    const Point2 expected = sim.Apply(projected);
    const Point2 correction{expected.x - projected.x, expected.y - projected.y};
    auto fits = [&](const Point2& q) {
      return DeviationLength(q.x - expected.x, q.y - expected.y) * m_per_unit <=
             limit_m;
    };
    ZoneSlip slip;
    slip.point = i;
    slip.written = written;
    slip.corrected = expected;
    if (numbered && p.zone_in_easting &&
        fits(Point2{written.x + number_m, written.y})) {
      slip.kind = ZoneSlipKind::kMissing;
      slip.corrected = Point2{written.x + number_m, written.y};
      slips.push_back(slip);
      continue;
    }
    if (numbered && !p.zone_in_easting &&
        fits(Point2{written.x - number_m, written.y})) {
      slip.kind = ZoneSlipKind::kAdded;
      slip.corrected = Point2{written.x - number_m, written.y};
      slips.push_back(slip);
      continue;
    }
    for (int step : {-1, 1}) {
      const MapProjection other = NeighbourZone(p, step);
      if (other.kind == ProjectionKind::kNone) continue;
      const Projector there(other.tm);
      const Point2 q = there.Forward(g.x, g.y);
      if (DeviationLength(q.x + correction.x - written.x,
                          q.y + correction.y - written.y) *
              m_per_unit <=
          limit_m) {
        slip.kind = ZoneSlipKind::kNeighbour;
        slip.written_zone = other.zone;
        // The point as given, carried from the neighbouring zone into the
        // drawing's own.
        const Point2 lonlat = there.Reverse(
            Point2{written.x - correction.x, written.y - correction.y});
        const Point2 own_q = own.Forward(lonlat.x, lonlat.y);
        slip.corrected = Point2{own_q.x + correction.x, own_q.y + correction.y};
        slips.push_back(slip);
        break;
      }
    }
  }
  return slips;
}

}  // namespace geoanchor
