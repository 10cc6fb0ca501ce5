#include "grid/grid_reference.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/numbers.h"
#include "fit/plane_similarity.h"
#include "geodesy/geodetic_converter.h"
#include "geodesy/web_map.h"
#include "grid/projection.h"

namespace geoanchor {

namespace {

// How much two points' deviations may differ per metre between them: the
// datum's scale and rotation.
constexpr double kDatumPerMetre = kDatumScale + kDatumRotationRad;

// Metres of one degree of latitude, near enough to place the points that
// sample the grid's similarity around the site.
constexpr double kMetresPerDegree = 111320.0;

double Length(const Point2& p) { return DeviationLength(p.x, p.y); }

Point2 Minus(const Point2& a, const Point2& b) {
  return Point2{a.x - b.x, a.y - b.y};
}

// The grid as the spread sample of points sees it.
struct Candidate {
  bool in_grid = false;
  MapProjection grid;
  std::vector<Point2> grid_xy;  // per sample point, metres
  std::vector<Point2> deviation_m;
  std::vector<bool> agrees;
  size_t agreeing = 0;
  bool undecided = false;
  Point2 shift;
};

Point2 MedianOf(const std::vector<Point2>& v, const std::vector<bool>& use) {
  std::vector<double> x, y;
  for (size_t i = 0; i < v.size(); ++i) {
    if (!use[i]) continue;
    x.push_back(v[i].x);
    y.push_back(v[i].y);
  }
  return Point2{Median(std::move(x)), Median(std::move(y))};
}

Point2 CentroidOf(const std::vector<Point2>& v, const std::vector<bool>& use) {
  Point2 c{0.0, 0.0};
  double n = 0.0;
  for (size_t i = 0; i < v.size(); ++i) {
    if (!use[i]) continue;
    c.x += v[i].x;
    c.y += v[i].y;
    n += 1.0;
  }
  return Point2{c.x / n, c.y / n};
}

// Marks the points whose deviation lies within the blunder threshold (and
// the datum's scale and rotation over their distance from the centroid)
// of `shift`; returns how many.
size_t MarkAgreeing(const Candidate& c, const Point2& shift,
                    const Point2& centroid, double blunder_m,
                    std::vector<bool>* agrees) {
  size_t count = 0;
  agrees->assign(c.deviation_m.size(), false);
  for (size_t i = 0; i < c.deviation_m.size(); ++i) {
    const double limit_m =
        blunder_m + kDatumPerMetre * Length(Minus(c.grid_xy[i], centroid));
    (*agrees)[i] = Length(Minus(c.deviation_m[i], shift)) <= limit_m;
    count += (*agrees)[i];
  }
  return count;
}

// One or two points: the shift of two could be anything, so one must lie
// where WGS84 (or CGCS2000) puts it.
void JudgeFew(double blunder_m, Candidate* c) {
  const size_t n = c->deviation_m.size();
  std::vector<bool> inside(n);
  size_t insiders = 0;
  for (size_t i = 0; i < n; ++i) {
    inside[i] = Length(c->deviation_m[i]) <= kWgs84AllowanceM;
    insiders += inside[i];
  }
  if (insiders == 0) return;
  c->in_grid = true;
  c->agrees = inside;
  if (n == 2) {
    const double apart_m = Length(Minus(c->grid_xy[0], c->grid_xy[1]));
    const bool agree = Length(Minus(c->deviation_m[0], c->deviation_m[1])) <=
                       blunder_m + kDatumPerMetre * apart_m;
    if (agree) {
      c->agrees.assign(2, true);
    } else if (insiders == 2) {
      c->undecided = true;
      c->agrees.assign(2, false);
    }
  }
  c->agreeing =
      static_cast<size_t>(std::count(c->agrees.begin(), c->agrees.end(), true));
  c->shift = c->agreeing > 0 ? CentroidOf(c->deviation_m, c->agrees)
                             : CentroidOf(c->deviation_m, inside);
}

// Three points or more: the shift most points agree on, within the old
// datums' reach, and a similarity of the agreeing points that is a datum's
// (scale and rotation within its allowance, widened by five standard
// deviations of what the points fix).
void JudgeMany(double accuracy_m, double blunder_m, Candidate* c) {
  const size_t n = c->deviation_m.size();
  size_t best = 0, best_count = 0;
  double best_spread_m = 0.0;
  for (size_t i = 0; i < n; ++i) {
    size_t count = 0;
    double spread_m = 0.0;
    for (size_t j = 0; j < n; ++j) {
      const double d_m = Length(Minus(c->deviation_m[j], c->deviation_m[i]));
      if (d_m <= blunder_m + kDatumPerMetre *
                                 Length(Minus(c->grid_xy[j], c->grid_xy[i]))) {
        ++count;
        spread_m += d_m;
      }
    }
    if (count > best_count ||
        (count == best_count && spread_m < best_spread_m)) {
      best = i;
      best_count = count;
      best_spread_m = spread_m;
    }
  }
  std::vector<bool> agrees(n, false);
  for (size_t j = 0; j < n; ++j) {
    agrees[j] = Length(Minus(c->deviation_m[j], c->deviation_m[best])) <=
                blunder_m + kDatumPerMetre *
                                Length(Minus(c->grid_xy[j], c->grid_xy[best]));
  }
  const Point2 shift = MedianOf(c->deviation_m, agrees);
  const size_t count = MarkAgreeing(*c, shift, CentroidOf(c->grid_xy, agrees),
                                    blunder_m, &c->agrees);
  c->shift = shift;
  c->agreeing = count;
  if (count < 2 || 2 * count <= n || !(Length(shift) <= kDatumShiftM)) return;

  std::vector<Point2> from, to;
  for (size_t i = 0; i < n; ++i) {
    if (!c->agrees[i]) continue;
    from.push_back(c->grid_xy[i]);
    to.push_back(Minus(c->grid_xy[i], c->deviation_m[i]));
  }
  PlaneSimilarity datum;
  if (!FitClosedForm(from, to, {}, 0.0, &datum)) return;
  const Point2 centroid = CentroidOf(c->grid_xy, c->agrees);
  double sum_m2 = 0.0;
  for (const Point2& g : from) {
    const Point2 d = Minus(g, centroid);
    sum_m2 += d.x * d.x + d.y * d.y;
  }
  const double open = 5.0 * accuracy_m / std::sqrt(sum_m2);
  c->in_grid = std::fabs(datum.K() - 1.0) <= kDatumScale + open &&
               std::fabs(datum.angle_rad()) <= kDatumRotationRad + open;
}

Candidate Judge(const MapProjection& grid, const ControlPoints& points,
                const std::vector<size_t>& sample, double accuracy_m,
                double blunder_m) {
  Candidate c;
  c.grid = grid;
  const Projector projector(grid.tm);
  for (size_t i : sample) {
    const Point3& g = points.geodetic[i];
    const Point3& s = points.source[i];
    const Point2 xy = projector.Forward(g.x, g.y);
    const Point2 d{xy.x - s.x, xy.y - s.y};
    if (!Finite(d)) return Candidate();
    c.grid_xy.push_back(xy);
    c.deviation_m.push_back(d);
  }
  if (sample.size() <= 2) {
    JudgeFew(blunder_m, &c);
  } else {
    JudgeMany(accuracy_m, blunder_m, &c);
  }
  return c;
}

// The similarity that carries the grid onto the scene at the site: fitted
// exactly to four points a site's radius around the agreeing targets'
// centroid, converted as the run converts its targets.
void GridSimilarity(const ControlPoints& points, const Projector& projector,
                    const std::vector<bool>& agrees,
                    const std::vector<Point2>& grid_xy, GridJudgement* out) {
  Point3 centre{0.0, 0.0, 0.0};
  double n = 0.0;
  for (size_t i = 0; i < agrees.size(); ++i) {
    if (!agrees[i]) continue;
    centre.x += points.geodetic[i].x;
    centre.y += points.geodetic[i].y;
    centre.z += points.geodetic[i].z;
    n += 1.0;
  }
  if (n == 0.0) return;
  centre = Point3{centre.x / n, centre.y / n, centre.z / n};
  const Point2 grid_centroid = CentroidOf(grid_xy, agrees);
  double sum_m2 = 0.0;
  for (size_t i = 0; i < agrees.size(); ++i) {
    if (!agrees[i]) continue;
    const Point2 d = Minus(grid_xy[i], grid_centroid);
    sum_m2 += d.x * d.x + d.y * d.y;
  }
  const double radius_m = std::max(100.0, std::sqrt(sum_m2 / n));
  const double dlat = radius_m / kMetresPerDegree;
  const double dlon = dlat / std::cos(DegToRad(centre.y));
  const std::vector<Point3> around = {{centre.x + dlon, centre.y, centre.z},
                                      {centre.x - dlon, centre.y, centre.z},
                                      {centre.x, centre.y + dlat, centre.z},
                                      {centre.x, centre.y - dlat, centre.z}};
  std::vector<Point2> scene, grid;
  std::vector<double> up_m;
  ConvertTargets(points.mode, points.base_point, points.model_point,
                 points.project_height_m, around, &scene, &up_m);
  for (const Point3& g : around) grid.push_back(projector.Forward(g.x, g.y));
  PlaneSimilarity s;
  if (!FitClosedForm(grid, scene, {}, 0.0, &s)) return;
  out->K = s.K();
  out->angle_rad = s.angle_rad();
}

// Within this, metres, a target is a web map's reading of its drawing
// point: the maps differ from the published formula by up to a metre.
constexpr double kWebMapPointM = 5.0;

// Each wrong point's own mistake, the first that explains it within the
// blunder threshold: a zone number other than the drawing's in its
// easting (the zone's 1000 km and more), x and y exchanged, a web map's
// target, or a slip in one coordinate.
void FindCauses(const ControlPoints& points, const Projector& projector,
                double blunder_m, GridJudgement* g) {
  const size_t n = g->deviation_m.size();
  g->cause.assign(n, GridCause::kNone);
  g->expected.resize(n);
  const Point2 shift = g->datum_shift_m;
  for (size_t i = 0; i < n; ++i) {
    const Point3& s = points.source[i];
    // Where the grid puts the target in the drawing.
    const Point2 expected{s.x + g->deviation_m[i].x - shift.x,
                          s.y + g->deviation_m[i].y - shift.y};
    g->expected[i] = expected;
    if (!g->wrong[i]) continue;
    const Point2 off = Minus(expected, Point2{s.x, s.y});
    const double zones = std::round(off.x / kZoneEastingM);
    if (zones != 0.0 &&
        Length(Point2{off.x - zones * kZoneEastingM, off.y}) <= blunder_m) {
      g->cause[i] = GridCause::kZoneNumber;
    } else if (Length(Minus(expected, Point2{s.y, s.x})) <= blunder_m) {
      g->cause[i] = GridCause::kSwapped;
    } else if (Length(shift) <= kWgs84AllowanceM &&
               InsideWebMapChina(points.geodetic[i].x, points.geodetic[i].y)) {
      // The drawing point's WGS84 position, carried into each web map,
      // against the target.
      const Point2 wgs84 =
          projector.Reverse(Point2{s.x + shift.x, s.y + shift.y});
      for (WebMapDatum datum : {WebMapDatum::kGcj02, WebMapDatum::kBd09}) {
        const Point2 shown = Wgs84ToWebMap(datum, wgs84.x, wgs84.y);
        const Point2 at = projector.Forward(shown.x, shown.y);
        const Point2 target =
            projector.Forward(points.geodetic[i].x, points.geodetic[i].y);
        if (Length(Minus(at, target)) <= kWebMapPointM) {
          g->cause[i] = GridCause::kWebMap;
          break;
        }
      }
    }
    if (g->cause[i] != GridCause::kNone) continue;
    // A slip leaves the other coordinate within the blunder threshold and
    // far below the slip itself (a coarse pick's scatter is no slip).
    if (std::fabs(off.y) <= std::min(blunder_m, 0.2 * std::fabs(off.x))) {
      g->cause[i] = GridCause::kEasting;
    } else if (std::fabs(off.x) <=
               std::min(blunder_m, 0.2 * std::fabs(off.y))) {
      g->cause[i] = GridCause::kNorthing;
    }
  }
}

// The points' accuracy, metres, one coordinate, one sigma, from the
// deviations of the points `g` does not name wrong about their mean: 2m - 2
// degrees of freedom for m points. From five points on, the point that
// departs most from the others' mean is left out while it lies beyond
// their blunder threshold: one blunder must not pass for coarse picks.
// (With fewer, the rest's accuracy is too uncertain: four clean picks
// would lose one in about fifteen jobs.)
// The mean of the deviations of the points in `kept` but `left_out`, and
// their scatter, metres, one coordinate (2m - 2 degrees of freedom for m
// points; NaN below two).
struct Scatter {
  Point2 mean;
  double sigma_m = 0.0;
};
Scatter ScatterOf(const GridJudgement& g, const std::vector<size_t>& kept,
                  size_t left_out) {
  Scatter out;
  double m = 0.0;
  for (size_t i : kept) {
    if (i == left_out) continue;
    out.mean.x += g.deviation_m[i].x;
    out.mean.y += g.deviation_m[i].y;
    m += 1.0;
  }
  out.mean = Point2{out.mean.x / m, out.mean.y / m};
  double sum_m2 = 0.0;
  for (size_t i : kept) {
    if (i == left_out) continue;
    const double e_m = Length(Minus(g.deviation_m[i], out.mean));
    sum_m2 += e_m * e_m;
  }
  out.sigma_m = m >= 2.0 ? std::sqrt(sum_m2 / (2.0 * m - 2.0))
                         : std::numeric_limits<double>::quiet_NaN();
  return out;
}

double GridAccuracy(const GridJudgement& g) {
  std::vector<size_t> kept;
  for (size_t i = 0; i < g.deviation_m.size(); ++i) {
    if (!g.wrong[i]) kept.push_back(i);
  }
  for (;;) {
    const Scatter all = ScatterOf(g, kept, kNoPointLeftOut);
    if (kept.size() < 5) return all.sigma_m;
    size_t worst = kept[0];
    for (size_t i : kept) {
      if (Length(Minus(g.deviation_m[i], all.mean)) >
          Length(Minus(g.deviation_m[worst], all.mean))) {
        worst = i;
      }
    }
    const Scatter rest = ScatterOf(g, kept, worst);
    if (!(Length(Minus(g.deviation_m[worst], rest.mean)) >
          BlunderThresholdM(std::max(rest.sigma_m, kSurveyGradeAccuracyM)))) {
      return all.sigma_m;
    }
    kept.erase(std::find(kept.begin(), kept.end(), worst));
  }
}

// GCJ-02 moves WGS84 by at least about 100 m inside China (170 m at
// Xining) and BD-09 by at most about 1.2 km: a drawing whose WGS84 reading
// lies elsewhere is read no further.
constexpr double kWebMapLeastOffsetM = 50.0;
constexpr double kWebMapMostOffsetM = 2000.0;

// The web-map reading: the grid and datum in which most of the spread
// sample's drawing points, carried to WGS84 and on into the web map, land
// within kWebMapPointM of their targets (all of one or two points).
bool FindWebMap(const ControlPoints& points, const std::vector<size_t>& sample,
                double lon_deg, double lat_deg,
                const std::vector<MapProjection>& grids, GridJudgement* out) {
  if (!InsideWebMapChina(lon_deg, lat_deg)) return false;
  for (const MapProjection& grid : grids) {
    const Projector projector(grid.tm);
    for (WebMapDatum datum : {WebMapDatum::kGcj02, WebMapDatum::kBd09}) {
      size_t near = 0;
      std::vector<double> offset_m;
      for (size_t i : sample) {
        const Point3& s = points.source[i];
        const Point3& t = points.geodetic[i];
        const Point2 wgs84 = projector.Reverse(Point2{s.x, s.y});
        const Point2 shown = Wgs84ToWebMap(datum, wgs84.x, wgs84.y);
        const Point2 target_xy = projector.Forward(t.x, t.y);
        const double miss_m =
            Length(Minus(projector.Forward(shown.x, shown.y), target_xy));
        near += miss_m <= kWebMapPointM;
        offset_m.push_back(Length(Minus(target_xy, Point2{s.x, s.y})));
      }
      const bool most =
          sample.size() <= 2 ? near == sample.size() : 2 * near > sample.size();
      if (!most || !(Median(offset_m) > kWgs84AllowanceM)) continue;
      out->web_map = true;
      out->web_map_datum = datum;
      out->web_map_offset_m = Median(offset_m);
      out->grid = grid;
      return true;
    }
  }
  return false;
}

GridJudgement JudgeAt(const ControlPoints& points, double accuracy_m,
                      double blunder_m) {
  GridJudgement out;
  const size_t n = std::min(points.source.size(), points.geodetic.size());
  if (n == 0) return out;
  const std::vector<size_t> sample =
      SpreadSubsample(n, kMaxIdentificationPoints);
  std::vector<double> lon, lat, easting;
  for (size_t i : sample) {
    lon.push_back(points.geodetic[i].x);
    lat.push_back(points.geodetic[i].y);
    easting.push_back(points.source[i].x);
  }
  const double lon_deg = Median(lon), lat_deg = Median(lat);
  if (!(std::fabs(lat_deg) <= 90.0) || !std::isfinite(lon_deg)) return out;

  // The grid most points agree with, then the one nearest its datum.
  Candidate best;
  // The grids whose WGS84 reading lies a web map's offset from the drawing.
  std::vector<MapProjection> web_map_reach;
  for (const MapProjection& grid :
       StandardCandidates(lon_deg, lat_deg, Median(easting))) {
    Candidate c = Judge(grid, points, sample, accuracy_m, blunder_m);
    std::vector<double> offset_m;
    for (const Point2& d : c.deviation_m) offset_m.push_back(Length(d));
    const double median_m = Median(offset_m);
    if (n <= kGridAccuracyPoints && median_m >= kWebMapLeastOffsetM &&
        median_m <= kWebMapMostOffsetM) {
      web_map_reach.push_back(grid);
    }
    if (!c.in_grid) continue;
    if (!best.in_grid || c.agreeing > best.agreeing ||
        (c.agreeing == best.agreeing && Length(c.shift) < Length(best.shift))) {
      best = std::move(c);
    }
  }
  // A web map's targets look like an old datum's where its shift is small:
  // that reading is tried before an old datum is accepted.
  // From kGridAccuracyPoints points on the projection's identification
  // tells web-map targets itself.
  if (n <= kGridAccuracyPoints &&
      (!best.in_grid || Length(best.shift) > kWgs84AllowanceM) &&
      FindWebMap(points, sample, lon_deg, lat_deg, web_map_reach, &out)) {
    return out;
  }
  if (!best.in_grid) return out;

  out.in_grid = true;
  out.grid = best.grid;
  out.datum_shift_m = best.shift;
  out.undecided = best.undecided;
  const Projector projector(best.grid.tm);
  std::vector<Point2> grid_xy;
  if (sample.size() == n) {
    grid_xy = std::move(best.grid_xy);
    out.deviation_m = std::move(best.deviation_m);
  } else {
    grid_xy = ProjectMany(projector, points.geodetic);
    grid_xy.resize(n);
    for (size_t i = 0; i < n; ++i) {
      out.deviation_m.push_back(Point2{grid_xy[i].x - points.source[i].x,
                                       grid_xy[i].y - points.source[i].y});
    }
  }
  for (const Point2& d : out.deviation_m) out.grid_m.push_back(Length(d));
  std::vector<bool> agrees;
  if (n <= 2) {
    agrees = best.agrees;
  } else {
    Candidate all;
    all.grid_xy = grid_xy;
    all.deviation_m = out.deviation_m;
    // The centroid of the points the sample found agreeing.
    std::vector<bool> sampled(n, false);
    for (size_t k = 0; k < sample.size(); ++k) {
      sampled[sample[k]] = best.agrees[k];
    }
    MarkAgreeing(all, best.shift, CentroidOf(grid_xy, sampled), blunder_m,
                 &agrees);
  }
  out.wrong.resize(n);
  for (size_t i = 0; i < n; ++i) out.wrong[i] = !agrees[i] && !out.undecided;
  FindCauses(points, projector, blunder_m, &out);
  GridSimilarity(points, projector,
                 out.undecided ? std::vector<bool>(n, true) : agrees, grid_xy,
                 &out);
  return out;
}

}  // namespace

GridJudgement JudgeAgainstGrid(const ControlPoints& points, double accuracy_m,
                               double blunder_m) {
  // Two points cannot tell their accuracy from a blunder: they are taken
  // as surveyed, unless the accuracy is given.
  const bool few = std::min(points.source.size(), points.geodetic.size()) <= 2;
  if (accuracy_m > 0.0 || few) {
    if (!(accuracy_m > 0.0)) {
      accuracy_m = kSurveyGradeAccuracyM;
      blunder_m = BlunderThresholdM(accuracy_m);
    }
    GridJudgement known = JudgeAt(points, accuracy_m, blunder_m);
    known.accuracy_m = accuracy_m;
    return known;
  }
  // The grid and its datum as the coarsest plausible picks see them, the
  // accuracy of the points that agree there, then every point judged at
  // that accuracy.
  const GridJudgement coarse =
      JudgeAt(points, kCoarsestPicksM, BlunderThresholdM(kCoarsestPicksM));
  if (!coarse.in_grid) return coarse;
  double sigma_m = GridAccuracy(coarse);
  if (!(sigma_m > kSurveyGradeAccuracyM)) sigma_m = kSurveyGradeAccuracyM;
  GridJudgement fine = JudgeAt(points, sigma_m, BlunderThresholdM(sigma_m));
  fine.accuracy_m = sigma_m;
  return fine;
}

Message GridName(const MapProjection& grid) {
  const std::string zone = std::to_string(grid.zone);
  const std::string cm = std::to_string(
      static_cast<int>(std::lround(grid.tm.central_meridian_deg)));
  // Where the zone number is not in the easting, the zone is named by its
  // central meridian.
  const Message where =
      grid.zone_in_easting
          ? Message{"zone " + zone, zone + " 带"}
          : Message{"CM " + cm + "E", "中央子午线 " + cm + "°"};
  Message name;
  switch (grid.kind) {
    case ProjectionKind::kGaussKruger3:
      name = Message{"CGCS2000 3-degree Gauss-Kruger ",
                     "CGCS2000 3度带高斯-克吕格投影 "} +
             where;
      break;
    case ProjectionKind::kGaussKruger6:
      name = Message{"CGCS2000 Gauss-Kruger ", "CGCS2000 高斯-克吕格投影 "} +
             where;
      break;
    case ProjectionKind::kUtm:
      name = Message{"WGS 84 UTM zone " + zone + (grid.south ? "S" : "N"),
                     "WGS 84 UTM " + zone + (grid.south ? "S" : "N") + " 带"};
      break;
    default:
      return Message{"no grid", "无投影带"};
  }
  const std::string epsg = std::to_string(grid.epsg);
  return name + Message{" (EPSG:" + epsg + ")", "（EPSG:" + epsg + "）"};
}

}  // namespace geoanchor
