// The drawing's map projection, told from its control points, and what it
// means for judging them.
//
// A drawing of a large site is usually a map projection: a CGCS2000
// Gauss-Krueger zone, a WGS84 UTM zone, or a city's own transverse Mercator
// on a meridian of its choosing. The scene is a flat east/north/up frame,
// and no similarity carries a projection onto it exactly: the error grows
// with the square of the site's size away from the central meridian and
// with its cube on it. A point that deviates from the fit only through that
// distortion is no blunder.
//
// JudgeSurvey identifies the projection from the points themselves (every
// control point is given both in the drawing and as a WGS84 position) and
// measures each point against it:
//   - standard projections by their absolute coordinates: the CGCS2000
//     Gauss-Krueger 3-degree zones (central meridians 75 to 135 E) and
//     6-degree zones (13 to 23), each with or without the zone number in
//     front of the easting (false easting 500 km), and the WGS84 UTM zones,
//     north and south. One is accepted when a similarity carries it onto
//     the drawing within 5 m of shift (at the points' centroid), 20 ppm of
//     scale and 5 arcseconds of rotation, each widened by three standard
//     deviations of that parameter as the points determine it (a site of a
//     few points 100 m across fixes its scale only to tens of ppm). Today's
//     WGS84 positions lie up to about 1 m from CGCS2000's epoch-2000 ones;
//     UTM and Gauss-Krueger on one meridian differ by 400 ppm of scale.
//     Without the zone number a 6-degree zone is the 3-degree zone on the
//     same meridian, and is named as that;
//   - otherwise a transverse Mercator on the meridian that makes the
//     drawing a similarity of it (a city system, or an older national
//     datum tens of metres off), taken only when it explains the drawing
//     significantly better than a plain similarity (free scale) onto the
//     scene does: by 25 sigma^2 in the weighted sum of squares, sigma never
//     below 1 mm. Its meridian is given when its standard deviation is at
//     most kMeridianSdLimitDeg.
//
// Without a projection (a plain CAD grid, or a site too small for any
// distortion to show above the noise) the fit's similarity is exact to the
// noise, and a point's survey deviation is its fit residual.
//
// All similarities are fitted robustly (the fit's Cauchy loss, from the
// points most agree on), so a blunder shows at its own size and is not
// smeared over the other points. At more than
// kMaxIdentificationPoints points the identification works on a subsample
// spread over the drawing; every point is then measured. Where the points
// far outnumber the nodes of a 0.01-degree grid over them, their projected
// coordinates are interpolated (cubic convolution) between exact ones at
// the nodes, within 0.05 mm.
//
// Nothing here prints, throws or changes the fit.
#ifndef GEOANCHOR_GRID_PROJECTION_H_
#define GEOANCHOR_GRID_PROJECTION_H_

#include <limits>
#include <string>
#include <vector>

#include "common/types.h"
#include "fit/plane_similarity.h"
#include "geodesy/map_projections.h"
#include "geodesy/web_map.h"

namespace geoanchor {

// An arbitrary meridian is given only when its standard deviation is at
// most this, degrees (about 4 km on the ground at 40 degrees of latitude).
inline constexpr double kMeridianSdLimitDeg = 0.05;

// Identification reads at most this many points, spread over the drawing.
inline constexpr size_t kMaxIdentificationPoints = 256;

// An identified projection: one of the catalogue's (or a transverse
// Mercator on a meridian found), and how it sits on the drawing.
struct Projection : MapProjection {
  // The central meridian, degrees; NaN when it is not determined (an
  // arbitrary meridian with a standard deviation above
  // kMeridianSdLimitDeg) or without a projection.
  double central_meridian_deg = std::numeric_limits<double>::quiet_NaN();
  // Its standard deviation, degrees: 0 for a standard projection, NaN
  // without a projection.
  double central_meridian_sd_deg = std::numeric_limits<double>::quiet_NaN();
  // RMS over all points of survey_m, metres; NaN without a projection.
  double rms_m = std::numeric_limits<double>::quiet_NaN();
  // tm: the projection itself (for an arbitrary meridian the best
  // meridian, whether or not it is determined well enough to be given).
  // The similarity that carries projected coordinates p (metres, false
  // origin included) onto the drawing's coordinates (drawing units), about
  // the points' centroids (from_c projected, to_c in the drawing). Its
  // scale is 1 within 20 ppm for a standard projection.
  PlaneSimilarity similarity;
  // The targets are a Chinese web map's coordinates, not WGS84: the
  // drawing's own standard projection fits them only once its points are
  // carried to WGS84 and on into the web map's coordinates. The similarity
  // above then carries the projected targets onto the drawing so carried.
  bool web_map = false;
  WebMapDatum web_map_datum = WebMapDatum::kGcj02;
  // The median distance, metres, between a target and the WGS84 position
  // of its drawing point; NaN without a web map.
  double web_map_offset_m = std::numeric_limits<double>::quiet_NaN();
};

struct SurveyJudgement {
  Projection projection;
  // Per point, always filled, metres: how far the drawing point lies from
  // where its WGS84 position projects (through the similarity), in the
  // fit's metres (drawing units times |K|). Without a projection it is the
  // fit's own residual_m.
  std::vector<double> survey_m;
  // Per point, metres: the part of the fit's deviation that the projection
  // explains. The deviation (target minus fitted drawing point) is exactly
  // the sum of this part and the survey part; 0 without a projection.
  std::vector<double> projection_m;
  // Per point: survey_m above the blunder threshold (kBlunderM for
  // survey-grade points; Diagnose sets it for the points' accuracy).
  std::vector<bool> blunder;
};

// Identifies the projection and judges every point. Cheap enough for every
// run: a few dozen projections of at most kMaxIdentificationPoints points,
// then one projection of each point.
SurveyJudgement JudgeSurvey(const ControlPoints& points,
                            const SimilarityFit& fit);

// Each point's survey deviation (survey_m) and the projection's part of its
// deviation (projection_m), metres, as JudgeSurvey measures them, against
// `projection` as it was identified (of the fitted points) and the fit's
// K and angle. `deviations` are the points' target minus transformed
// source. Without a projection survey_m is the deviation's length and
// projection_m 0. For the fitted points and for points judged but never
// fitted (check points) alike. Web-map targets (projection.web_map) are
// measured against the drawing in the web map's coordinates, and the
// median distance of the points' positions from the drawing, as
// Projection::web_map_offset_m, is given too.
struct SurveyMeasure {
  std::vector<double> survey_m;
  std::vector<double> projection_m;
  double web_map_offset_m = std::numeric_limits<double>::quiet_NaN();
};
SurveyMeasure MeasureSurvey(const Projection& projection,
                            const SimilarityFit& fit,
                            const std::vector<Point3>& source,
                            const std::vector<Point3>& geodetic,
                            const std::vector<Point2>& deviations);

// Where a WGS84 position puts its drawing point: projected, and carried by
// the identified similarity onto the drawing (drawing units). NaN without
// a projection, and for web-map targets (whose reading is the web map's).
Point2 DrawingPositionOf(const Projection& p, double lon_deg, double lat_deg);

// A blunder that is a slip of the zone number, in a drawing whose standard
// projection (a Gauss-Krueger or UTM zone) is identified.
enum class ZoneSlipKind {
  kMissing,    // the easting lacks the zone number the others carry
  kNeighbour,  // the point was computed in the neighbouring zone
  kAdded,      // the easting carries a zone number the others lack
  kOther,      // the easting carries another zone's number than the drawing's
};
struct ZoneSlip {
  ZoneSlipKind kind = ZoneSlipKind::kMissing;
  size_t point = 0;  // position from 0
  // kNeighbour: the zone the point was computed in; kOther: the zone its
  // easting names.
  int written_zone = 0;
  Point2 written;    // the drawing point as given
  Point2 corrected;  // as the drawing's own zone has it
};

// The blunders (survey_m above `limit_m`) that are zone-number slips: a
// point whose drawing coordinates, with the zone number put in, taken out,
// or recomputed from the neighbouring zone, lie within `limit_m` of where
// its target puts them. `m_per_unit` is the fit's |K|. None for web-map
// targets or an arbitrary meridian.
std::vector<ZoneSlip> FindZoneSlips(const ControlPoints& points,
                                    const SurveyJudgement& survey,
                                    double m_per_unit, double limit_m);

// The metres of one drawing unit as the fit sees them, |K|; NaN for a K
// that is zero or not finite.
double MetresPerUnit(const SimilarityFit& fit);

}  // namespace geoanchor

#endif  // GEOANCHOR_GRID_PROJECTION_H_
