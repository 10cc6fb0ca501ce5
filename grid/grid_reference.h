// The drawing's national grid as an absolute reference, point by point.
//
// Most drawings are in a national grid: a CGCS2000 Gauss-Krueger zone
// (often with its number in front of the easting) or a UTM zone. Such a
// drawing says, for each point on its own, where on earth it lies: the
// grid position of a point's WGS84 target is its drawing point, give or
// take the drawing's datum and the point's accuracy. So a point can be
// judged without the others, from one point up, where judging points
// against each other needs many.
//
// A drawing counts as in a grid only when the grid positions of its
// targets agree with it within an old datum's allowance: one common shift
// of at most kDatumShiftM (Beijing 1954 and Xi'an 1980 lie tens of metres
// to about 150 m off), at most kDatumScale of scale and kDatumRotationRad
// of rotation, each widened by what the points' accuracy leaves open. With
// one or two points, at least one point must lie within kWgs84AllowanceM
// of its grid position: the shift of two points alone could be anything.
// Many drawings carry numbers that look like a zone's in a local or turned
// system, and compensation-surface drawings (projected at a chosen height
// or meridian) are off by hundreds of ppm: neither passes.
//
// In the grid, the site fixes the similarity the fit must find: the
// rotation is the meridian convergence (and the scene frame's own turn at
// the base point), the scale (1 + h/R) / k with k the grid's point scale
// and h the targets' height.
//
// Nothing here prints, throws or keeps state.
#ifndef GEOANCHOR_GRID_GRID_REFERENCE_H_
#define GEOANCHOR_GRID_GRID_REFERENCE_H_

#include <limits>
#include <string>
#include <vector>

#include "common/types.h"
#include "geodesy/map_projections.h"
#include "geodesy/web_map.h"

namespace geoanchor {

// An old datum's shift from CGCS2000 at most, metres.
inline constexpr double kDatumShiftM = 150.0;
// An old datum's scale against CGCS2000 at most (PROJ gives -9 ppm for
// Beijing 1954).
inline constexpr double kDatumScale = 10e-6;
// An old datum's rotation against CGCS2000 at most: 5 arcseconds.
inline constexpr double kDatumRotationRad = 2.4240684055476e-05;
// Today's WGS84 against CGCS2000 (epoch 2000) at most, metres: plate motion
// alone is up to 0.9 m in southern China.
inline constexpr double kWgs84AllowanceM = 1.5;

// Points picked no coarser than this, metres, one coordinate, one sigma
// (an orthophoto's or a web map's): what the grid and its datum are found
// at when the points' accuracy is not known.
inline constexpr double kCoarsestPicksM = 0.5;

// At most this many points, a drawing in its grid takes the points'
// accuracy from their grid deviations, where every point counts and only
// the datum's shift is spent, rather than from the fit's deviations,
// which spend four unknowns and cannot tell one blunder from coarse picks.
inline constexpr size_t kGridAccuracyPoints = 6;

// What the grid says a wrong point's own mistake is.
enum class GridCause {
  kNone,        // no single cause fits
  kZoneNumber,  // the easting's zone number differs from the drawing's
  kSwapped,     // the point's x and y are exchanged
  kWebMap,      // its target is a Chinese web map's, not WGS84
  kEasting,     // a slip in the easting alone
  kNorthing,    // a slip in the northing alone
};

struct GridJudgement {
  bool in_grid = false;
  MapProjection grid;  // the grid the drawing is in
  // Per point, metres: the grid position of its target minus its drawing
  // point, along the grid's easting and northing. Empty unless in_grid.
  std::vector<Point2> deviation_m;
  std::vector<double> grid_m;  // their lengths
  // The datum's common part of the deviations: the median over the points
  // that agree on it (with two points that agree, their mean).
  Point2 datum_shift_m;
  // Per point: its deviation departs from the common part by more than
  // the blunder threshold (and the datum's scale and rotation over its
  // distance from the others): the grid names it wrong.
  std::vector<bool> wrong;
  // Per point: what its mistake is, where the grid names it wrong, and
  // the drawing point the grid puts its target at (its grid position
  // minus the datum's shift), drawing units.
  std::vector<GridCause> cause;
  std::vector<Point2> expected;
  // Two points that disagree, both or neither within kWgs84AllowanceM of
  // their grid positions: one is wrong, and nothing tells which.
  bool undecided = false;
  // The similarity that the grid fixes between drawing and scene at the
  // site: its scale and angle, as the fit's K and angle_rad mean them.
  double K = std::numeric_limits<double>::quiet_NaN();
  double angle_rad = std::numeric_limits<double>::quiet_NaN();
  // Up to kGridAccuracyPoints points (beyond, the projection's
  // identification tells it): the targets are a Chinese web map's
  // coordinates: the drawing's points,
  // carried through `grid` to WGS84 and on into `web_map_datum`, land
  // within 5 m of most targets, where as WGS84 positions they need more
  // than kWgs84AllowanceM of datum (GCJ-02 moves them 170 m at Xining,
  // 700 m in the south-east: an old datum's size in the north-west).
  // in_grid is then false: the WGS84 reading says nothing of the points.
  bool web_map = false;
  WebMapDatum web_map_datum = WebMapDatum::kGcj02;
  // The median distance, metres, between a target and the WGS84 position
  // of its drawing point; NaN without a web map.
  double web_map_offset_m = std::numeric_limits<double>::quiet_NaN();
  // The points' accuracy the judgement was made at, metres, one
  // coordinate, one sigma: as given, or estimated from the grid deviations
  // (never below survey grade).
  double accuracy_m = std::numeric_limits<double>::quiet_NaN();
};

// Judges the drawing against the grids its points can be in (the zone in
// front of the eastings, or the zones around the targets' longitude, and
// UTM), with `blunder_m` the points' blunder threshold and `accuracy_m`
// their accuracy (one coordinate, one sigma), metres. With `accuracy_m` 0
// (not known), two points or fewer are judged as surveyed
// (kSurveyGradeAccuracyM: they cannot tell coarse picks from a blunder);
// more are found in their grid at kCoarsestPicksM, the accuracy estimated
// from the deviations of the points that agree there (leaving out, from
// five points on, one that lies beyond the others' blunder threshold,
// again and again), and every point judged at that accuracy and its
// blunder threshold. At most kMaxIdentificationPoints spread points decide
// the grid; every point is then measured.
GridJudgement JudgeAgainstGrid(const ControlPoints& points, double accuracy_m,
                               double blunder_m);

// "CGCS2000 3-degree Gauss-Krueger zone 39 (EPSG:4527)" and the like, in
// both languages (the report's grid name is the English).
Message GridName(const MapProjection& grid);

}  // namespace geoanchor

#endif  // GEOANCHOR_GRID_GRID_REFERENCE_H_
