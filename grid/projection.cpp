#include "grid/projection.h"

#include <algorithm>
#include <cmath>

#include "common/fixed_text.h"
#include "common/numbers.h"
#include "fit/plane_similarity.h"
#include "geodesy/geodetic_converter.h"
#include "geodesy/map_projections.h"

namespace geoanchor {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kRadPerArcsec = kPi / (180.0 * 3600.0);

// How far a standard projection may sit from the drawing.
constexpr double kStandardShiftM = 5.0;
constexpr double kStandardScale = 20e-6;
constexpr double kStandardRotationRad = 5.0 * kRadPerArcsec;
// Without the zone number, a site up to this size (metres) is read in a
// web map's coordinates on the shift alone: the scale and rotation of a few
// hundred metres carry ppm of noise, while the web map's shift is hundreds
// of metres against WGS84 and under a metre against its own reading.
constexpr double kWebMapShiftOnlySiteM = 2000.0;
// A candidate's projected centroid must lie this close to the drawing's
// before it is fitted at all: a first cut, far wider than any site's
// curvature makes the two centroids differ.
constexpr double kCandidateReachM = 5000.0;

// Drawing coordinates are given to the millimetre: no survey is credibly
// better than that, whatever its residuals say.
constexpr double kNoiseFloorM = 0.001;

// An arbitrary meridian is taken when the projection lowers the weighted
// sum of squares below the plain similarity's by at least this many
// sigma^2 (its one extra parameter at five standard deviations).
constexpr double kSignificance = 25.0;
// The meridian is searched within this reach of the points' longitude,
// degrees (a 6-degree zone's edge lies 3 degrees from its meridian).
constexpr double kMeridianReachDeg = 6.0;
constexpr double kMeridianStepDeg = 0.01;  // finite difference

// A similarity between a plane in metres and the drawing, weighted by the
// Cauchy loss, and what it says about the points.
struct SurveyFit {
  bool ok = false;
  PlaneSimilarity sim;
  std::vector<double> w;    // weights at the solution
  std::vector<double> r_m;  // residual lengths, metres
  double wss_m2 = 0;        // sum of w r^2
  double sum_w = 0;         // sum of w
  double spread = 0;        // sum of w |from - from_c|^2, from units squared
};

void SetWeights(const std::vector<double>& r_m, double c_m,
                std::vector<double>* w) {
  w->resize(r_m.size());
  for (size_t i = 0; i < r_m.size(); ++i) {
    const double u = r_m[i] / c_m;
    (*w)[i] = std::isfinite(u) ? CauchyWeightOfSquaredRatio(u * u) : 0.0;
  }
}

// The residual lengths and the sums of `fit` (its similarity and weights
// set), metres (`to` units times `m_per_unit`).
void Summarise(const std::vector<Point2>& from, const std::vector<Point2>& to,
               double m_per_unit, SurveyFit* fit) {
  fit->r_m.resize(from.size());
  fit->wss_m2 = 0, fit->sum_w = 0, fit->spread = 0;
  for (size_t i = 0; i < from.size(); ++i) {
    const Point2 r = fit->sim.Deviation(from[i], to[i]);
    fit->r_m[i] = DeviationLength(r.x, r.y) * m_per_unit;
    fit->wss_m2 += fit->w[i] * fit->r_m[i] * fit->r_m[i];
    fit->sum_w += fit->w[i];
    const double dx = from[i].x - fit->sim.from_c().x;
    const double dy = from[i].y - fit->sim.from_c().y;
    fit->spread += fit->w[i] * (dx * dx + dy * dy);
  }
}

// The closed form with the weights `w` as they are.
SurveyFit FitWithWeights(const std::vector<Point2>& from,
                         const std::vector<Point2>& to, double m_per_unit,
                         const std::vector<double>& w) {
  SurveyFit fit;
  fit.ok = FitClosedForm(from, to, w, 0.0, &fit.sim);
  if (!fit.ok) return fit;
  fit.w = w;
  Summarise(from, to, m_per_unit, &fit);
  return fit;
}

// The robust similarity (free scale, the fit's Cauchy loss of `loss_m`
// metres) from the closed form of the points weighted by `start_w` (the
// consensus's inliers), so that blunders do not drag the start.
SurveyFit FitSurvey(const std::vector<Point2>& from,
                    const std::vector<Point2>& to, double m_per_unit,
                    double loss_m, const std::vector<double>& start_w) {
  SurveyFit fit;
  PlaneSimilarity start;
  if (!FitClosedForm(from, to, start_w, 0.0, &start)) return fit;
  const RobustSimilarity r =
      FitRobust(from, to, 0.0, loss_m / m_per_unit, start);
  if (!r.ok) return fit;
  fit.ok = true;
  fit.sim = r.similarity;
  fit.w = r.weights;
  Summarise(from, to, m_per_unit, &fit);
  return fit;
}

// Standard error of unit weight, metres, with `unknowns` parameters, never
// below the noise floor.
double SigmaOf(double wss_m2, double sum_w, int unknowns) {
  const double dof = 2.0 * sum_w - unknowns;
  if (!(dof > 0)) return kNoiseFloorM;
  return std::max(kNoiseFloorM, std::sqrt(wss_m2 / dof));
}

// A standard projection of the catalogue as identified: its meridian
// exactly; kind kNone stays none.
Projection Identified(const MapProjection& m) {
  Projection p;
  static_cast<MapProjection&>(p) = m;
  if (m.kind == ProjectionKind::kNone) return p;
  p.central_meridian_deg = p.tm.central_meridian_deg;
  p.central_meridian_sd_deg = 0.0;
  return p;
}

// At most kMaxIdentificationPoints indices, spread over the drawing: the
// first point of each cell of a grid over the drawing's bounding box, and
// the points at its four extremes. All points when there are few.
std::vector<size_t> SpreadSample(const std::vector<Point3>& source) {
  const size_t n = source.size();
  std::vector<size_t> sample;
  if (n <= kMaxIdentificationPoints) {
    for (size_t i = 0; i < n; ++i) sample.push_back(i);
    return sample;
  }
  constexpr int kCells = 15;  // 225 cells and 4 extremes
  size_t ext[4] = {0, 0, 0, 0};
  for (size_t i = 1; i < n; ++i) {
    if (source[i].x < source[ext[0]].x) ext[0] = i;
    if (source[i].x > source[ext[1]].x) ext[1] = i;
    if (source[i].y < source[ext[2]].y) ext[2] = i;
    if (source[i].y > source[ext[3]].y) ext[3] = i;
  }
  const double x0 = source[ext[0]].x, y0 = source[ext[2]].y;
  const double wx = source[ext[1]].x - x0, wy = source[ext[3]].y - y0;
  std::vector<bool> taken(kCells * kCells, false);
  std::vector<bool> chosen(n, false);
  for (size_t i = 0; i < n; ++i) {
    const int cx =
        wx > 0 ? std::min(kCells - 1,
                          static_cast<int>((source[i].x - x0) / wx * kCells))
               : 0;
    const int cy =
        wy > 0 ? std::min(kCells - 1,
                          static_cast<int>((source[i].y - y0) / wy * kCells))
               : 0;
    if (!taken[cy * kCells + cx]) {
      taken[cy * kCells + cx] = true;
      chosen[i] = true;
    }
  }
  for (size_t e : ext) chosen[e] = true;
  for (size_t i = 0; i < n; ++i) {
    if (chosen[i]) sample.push_back(i);
  }
  return sample;
}

// The sample's points, gathered.
struct Sample {
  std::vector<size_t> index;
  std::vector<Point2> drawing;   // drawing x, y
  std::vector<Point2> target;    // east, north, metres
  std::vector<Point2> geodetic;  // lon, lat, degrees
  double mean_lon_deg = 0;
  double mean_lat_deg = 0;
  Point2 mean_drawing;
  double extent = 0;  // the drawing's larger bounding-box side, units
  // Per sample point: 1 for the points most agree on, 0 for the others;
  // the weights every robust fit starts from.
  std::vector<double> start_w;
  double loss_m = kCauchyScaleM;  // the fit's Cauchy scale, metres
};

// The sample, and its centre over the points most agree on (a drawing
// point without its zone number would otherwise move the centre by
// thousands of kilometres).
Sample GatherSample(const ControlPoints& points, const SimilarityFit& fit) {
  Sample s;
  s.index = SpreadSample(points.source);
  s.loss_m = fit.loss_scale_m;
  double min_x = INFINITY, max_x = -INFINITY, min_y = INFINITY,
         max_y = -INFINITY;
  for (size_t i : s.index) {
    const Point3& d = points.source[i];
    s.drawing.push_back(Point2{d.x, d.y});
    s.target.push_back(points.target[i]);
    s.geodetic.push_back(Point2{points.geodetic[i].x, points.geodetic[i].y});
    s.start_w.push_back(
        i < fit.consensus_inlier.size() && !fit.consensus_inlier[i] ? 0.0
                                                                    : 1.0);
    if (s.start_w.back() == 0.0) continue;
    min_x = std::min(min_x, d.x), max_x = std::max(max_x, d.x);
    min_y = std::min(min_y, d.y), max_y = std::max(max_y, d.y);
  }
  double m = 0;
  for (double w : s.start_w) m += w;
  if (m == 0) {  // no consensus among the sample: all of it
    s.start_w.assign(s.index.size(), 1.0);
    m = static_cast<double>(s.index.size());
  }
  const Point2 d0 = s.drawing[0];
  double lon = 0, lat = 0, dx = 0, dy = 0;
  for (size_t k = 0; k < s.index.size(); ++k) {
    if (s.start_w[k] == 0.0) continue;
    lon += s.geodetic[k].x, lat += s.geodetic[k].y;
    dx += s.drawing[k].x - d0.x, dy += s.drawing[k].y - d0.y;
  }
  s.mean_lon_deg = lon / m;
  s.mean_lat_deg = lat / m;
  s.mean_drawing = Point2{d0.x + dx / m, d0.y + dy / m};
  s.extent = std::max(max_x - min_x, max_y - min_y);
  return s;
}

std::vector<Point2> ProjectAll(const Projector& projector, double lon0_deg,
                               const std::vector<Point2>& geodetic) {
  std::vector<Point2> out(geodetic.size());
  for (size_t k = 0; k < geodetic.size(); ++k) {
    out[k] = projector.Forward(lon0_deg, geodetic[k].x, geodetic[k].y);
  }
  return out;
}

// How far a candidate's fitted similarity lies from the identity, as the
// largest of its shift, scale and rotation over their limits (each limit
// widened by three standard deviations of the parameter); at most 1 when
// it is accepted.
double StandardMisfit(const SurveyFit& fit, double m_per_unit) {
  const PlaneSimilarity& s = fit.sim;
  const double sigma = SigmaOf(fit.wss_m2, fit.sum_w, 4) / m_per_unit;
  const double scale = s.K();
  const double sd_ab = sigma / std::sqrt(fit.spread);
  const double sd_shift = sigma * std::sqrt(2.0 / fit.sum_w);
  const double shift =
      DeviationLength(s.to_c().x - s.from_c().x, s.to_c().y - s.from_c().y);
  const double rotation = s.angle_rad();
  return std::max(
      {shift / (kStandardShiftM + 3.0 * sd_shift),
       std::fabs(scale - 1.0) / (kStandardScale + 3.0 * sd_ab),
       std::fabs(rotation) / (kStandardRotationRad + 3.0 * sd_ab / scale)});
}

// StandardMisfit's test of the shift alone.
double ShiftMisfit(const SurveyFit& fit, double m_per_unit) {
  const PlaneSimilarity& s = fit.sim;
  const double sigma = SigmaOf(fit.wss_m2, fit.sum_w, 4) / m_per_unit;
  const double sd_shift = sigma * std::sqrt(2.0 / fit.sum_w);
  return DeviationLength(s.to_c().x - s.from_c().x, s.to_c().y - s.from_c().y) /
         (kStandardShiftM + 3.0 * sd_shift);
}

// The drawing points as a web map shows them: each taken as coordinates of
// `projector`'s projection, carried to WGS84, into the web map's
// coordinates and projected again. Where the drawing is in that projection
// and the targets were read off the web map, the targets project onto
// these.
std::vector<Point2> InWebMap(const Projector& projector, WebMapDatum datum,
                             const std::vector<Point2>& drawing) {
  std::vector<Point2> out(drawing.size());
  for (size_t k = 0; k < drawing.size(); ++k) {
    const Point2 wgs = projector.Reverse(drawing[k]);
    const Point2 web = Wgs84ToWebMap(datum, wgs.x, wgs.y);
    out[k] = projector.Forward(web.x, web.y);
  }
  return out;
}

// Residual vectors, metres, of a similarity fitted with fixed weights:
// 2 per point.
void ResidualVector(const std::vector<Point2>& from,
                    const std::vector<Point2>& to, const std::vector<double>& w,
                    double m_per_unit, std::vector<double>* r) {
  PlaneSimilarity sim;
  r->assign(2 * from.size(), kNaN);
  if (!FitClosedForm(from, to, w, 0.0, &sim)) return;
  for (size_t k = 0; k < from.size(); ++k) {
    const Point2 d = sim.Deviation(from[k], to[k]);
    (*r)[2 * k] = d.x * m_per_unit;
    (*r)[2 * k + 1] = d.y * m_per_unit;
  }
}

struct MeridianSearch {
  bool found = false;
  double lon0_deg = kNaN;
  double sd_deg = kNaN;
  SurveyFit fit;
};

// The meridian that makes the drawing a similarity of the transverse
// Mercator: Gauss-Newton on the residuals of the similarity (profiled
// out), which are nearly linear in the meridian, alternating with the
// robust weights.
MeridianSearch SearchMeridian(const Sample& s, const Projector& projector,
                              double m_per_unit) {
  MeridianSearch out;
  const size_t m = s.index.size();
  std::vector<double> w = s.start_w, r0, r1, lengths(m);
  double lon0 = s.mean_lon_deg, gg = 0;
  for (int it = 0; it < 20; ++it) {
    const std::vector<Point2> p0 = ProjectAll(projector, lon0, s.geodetic);
    const std::vector<Point2> p1 =
        ProjectAll(projector, lon0 + kMeridianStepDeg, s.geodetic);
    ResidualVector(p0, s.drawing, w, m_per_unit, &r0);
    ResidualVector(p1, s.drawing, w, m_per_unit, &r1);
    double gr = 0;
    gg = 0;
    for (size_t k = 0; k < 2 * m; ++k) {
      const double g = (r1[k] - r0[k]) / kMeridianStepDeg;
      gg += w[k / 2] * g * g;
      gr += w[k / 2] * g * r0[k];
    }
    if (!(gg > 0) || !std::isfinite(gr)) return out;
    for (size_t k = 0; k < m; ++k)
      lengths[k] = DeviationLength(r0[2 * k], r0[2 * k + 1]);
    std::vector<double> next;
    SetWeights(lengths, s.loss_m, &next);
    double change = 0;
    for (size_t k = 0; k < m; ++k) {
      change = std::max(change, std::fabs(next[k] - w[k]));
    }
    const double step = std::clamp(-gr / gg, -2.0, 2.0);
    double wss = 0, sw = 0;
    for (size_t k = 0; k < m; ++k) {
      wss += w[k] * lengths[k] * lengths[k];
      sw += w[k];
    }
    const double sd = SigmaOf(wss, sw, 5) / std::sqrt(gg);
    if (std::fabs(step) < std::max(1e-6, 1e-3 * sd) && change < 1e-4) break;
    w.swap(next);
    lon0 += step;
    if (std::fabs(lon0 - s.mean_lon_deg) > kMeridianReachDeg) return out;
  }
  out.fit = FitWithWeights(ProjectAll(projector, lon0, s.geodetic), s.drawing,
                           m_per_unit, w);
  if (!out.fit.ok) return out;
  out.found = true;
  out.lon0_deg = lon0;
  out.sd_deg = SigmaOf(out.fit.wss_m2, out.fit.sum_w, 5) / std::sqrt(gg);
  return out;
}

bool UsablePoints(const ControlPoints& points, const SimilarityFit& fit) {
  const size_t n = points.source.size();
  if (n < 2 || points.geodetic.size() != n || points.target.size() != n ||
      fit.deviations.size() != n || fit.residuals_m.size() != n) {
    return false;
  }
  for (size_t i = 0; i < n; ++i) {
    const Point3& d = points.source[i];
    const Point3& g = points.geodetic[i];
    if (!std::isfinite(d.x) || !std::isfinite(d.y) || !std::isfinite(g.x) ||
        !(std::fabs(g.y) <= 90.0) || !Finite(points.target[i]) ||
        !Finite(fit.deviations[i])) {
      return false;
    }
  }
  return std::isfinite(fit.similarity.angle_rad()) &&
         std::isfinite(MetresPerUnit(fit));
}

// The similarity as the projection keeps it: its scale and rotation from
// K cos and K sin, so that the drawing is placed the same whichever way
// the fit got them.
void SetSimilarity(const PlaneSimilarity& sim, Projection* p) {
  p->similarity = PlaneSimilarity(sim.from_c(), sim.to_c(),
                                  DeviationLength(sim.p(), sim.q()),
                                  std::atan2(sim.q(), sim.p()));
}

// The standard projection that carries the targets onto the drawing within
// the standard limits, the best of them; kind kNone for none. With
// `web_map`, the targets are read in that web map's coordinates: the
// drawing is carried into them first, and a drawing without its zone
// number on a small site is judged on the shift alone.
Projection BestStandard(const Sample& s, double m_per_unit,
                        const WebMapDatum* web_map) {
  const double reach = kCandidateReachM + 0.05 * s.extent;
  double best_misfit = INFINITY;
  Projection best;
  for (const MapProjection& m :
       StandardCandidates(s.mean_lon_deg, s.mean_lat_deg, s.mean_drawing.x)) {
    const Projection c = Identified(m);
    const Projector projector(c.tm);
    const Point2 centre = projector.Forward(s.mean_lon_deg, s.mean_lat_deg);
    if (!(DeviationLength(centre.x - s.mean_drawing.x,
                          centre.y - s.mean_drawing.y) <= reach)) {
      continue;
    }
    const SurveyFit fit =
        FitSurvey(ProjectAll(projector, c.tm.central_meridian_deg, s.geodetic),
                  web_map != nullptr ? InWebMap(projector, *web_map, s.drawing)
                                     : s.drawing,
                  m_per_unit, s.loss_m, s.start_w);
    if (!fit.ok) continue;
    const bool shift_only = web_map != nullptr && !c.zone_in_easting &&
                            s.extent * m_per_unit <= kWebMapShiftOnlySiteM;
    const double misfit = shift_only ? ShiftMisfit(fit, m_per_unit)
                                     : StandardMisfit(fit, m_per_unit);
    if (misfit <= 1.0 && misfit < best_misfit) {
      best_misfit = misfit;
      best = c;
      best.web_map = web_map != nullptr;
      if (web_map != nullptr) best.web_map_datum = *web_map;
      SetSimilarity(fit.sim, &best);
    }
  }
  return best;
}

// Identifies the projection and its similarity on the sample; kind kNone
// when there is none.
Projection Identify(const Sample& s, double m_per_unit) {
  Projection none;
  // Standard projections, by absolute coordinates; else targets read off
  // a Chinese web map, only where the web maps shift at all.
  Projection best = BestStandard(s, m_per_unit, nullptr);
  if (best.kind != ProjectionKind::kNone) return best;
  if (InsideWebMapChina(s.mean_lon_deg, s.mean_lat_deg)) {
    for (WebMapDatum datum : {WebMapDatum::kGcj02, WebMapDatum::kBd09}) {
      best = BestStandard(s, m_per_unit, &datum);
      if (best.kind != ProjectionKind::kNone) return best;
    }
  }

  // An arbitrary meridian: only where it explains the drawing
  // significantly better than a plain similarity onto the scene does.
  if (s.index.size() < 3) return none;
  Projection tm;
  tm.kind = ProjectionKind::kTransverseMercator;
  tm.tm = TransverseMercatorOn(s.mean_lon_deg).tm;
  const Projector projector(tm.tm);
  MeridianSearch search = SearchMeridian(s, projector, m_per_unit);
  if (!search.found) return none;
  if (!(search.sd_deg <= kMeridianSdLimitDeg)) {
    // The points do not fix the meridian, and any meridian near the best
    // explains them as well: take the one through their mean longitude.
    // Where the search stopped on such a flat cost would follow the C
    // library's last bits, and every survey deviation with it.
    // Its weights anew from the consensus, not from the search's path.
    search.lon0_deg = s.mean_lon_deg;
    search.fit = FitSurvey(ProjectAll(projector, s.mean_lon_deg, s.geodetic),
                           s.drawing, m_per_unit, s.loss_m, s.start_w);
    if (!search.fit.ok) return none;
  }
  const SurveyFit plain =
      FitSurvey(s.drawing, s.target, 1.0, s.loss_m, s.start_w);
  if (!plain.ok) return none;
  double wss_plain = 0;
  for (size_t k = 0; k < s.index.size(); ++k) {
    wss_plain += search.fit.w[k] * plain.r_m[k] * plain.r_m[k];
  }
  const double sigma = SigmaOf(search.fit.wss_m2, search.fit.sum_w, 5);
  if (!((wss_plain - search.fit.wss_m2) / (sigma * sigma) >= kSignificance)) {
    return none;
  }
  tm.tm.central_meridian_deg = search.lon0_deg;
  if (search.sd_deg <= kMeridianSdLimitDeg) {
    tm.central_meridian_deg = search.lon0_deg;
  }
  tm.central_meridian_sd_deg = search.sd_deg;
  SetSimilarity(search.fit.sim, &tm);
  return tm;
}

}  // namespace

Point2 DrawingPositionOf(const Projection& p, double lon_deg, double lat_deg) {
  if (p.kind == ProjectionKind::kNone || p.web_map) return Point2{kNaN, kNaN};
  return p.similarity.Apply(Projector(p.tm).Forward(lon_deg, lat_deg));
}

SurveyJudgement JudgeSurvey(const ControlPoints& points,
                            const SimilarityFit& fit) {
  SurveyJudgement judgement;
  const size_t n = points.source.size();
  judgement.survey_m = fit.residuals_m;
  judgement.survey_m.resize(n, kNaN);
  judgement.projection_m.assign(n, 0.0);
  const auto finish = [&judgement]() {
    judgement.blunder.resize(judgement.survey_m.size());
    for (size_t i = 0; i < judgement.survey_m.size(); ++i) {
      judgement.blunder[i] = judgement.survey_m[i] > kBlunderM;
    }
    return judgement;
  };
  if (!UsablePoints(points, fit)) return finish();
  const double m_per_unit = MetresPerUnit(fit);

  const Sample s = GatherSample(points, fit);
  Projection projection = Identify(s, m_per_unit);
  if (projection.kind == ProjectionKind::kNone) return finish();

  // Every point, projected, through the sample's similarity: a spread
  // sample of a few hundred points fixes it to a fraction of a millimetre.
  SurveyMeasure measure = MeasureSurvey(projection, fit, points.source,
                                        points.geodetic, fit.deviations);
  judgement.survey_m = std::move(measure.survey_m);
  judgement.projection_m = std::move(measure.projection_m);
  if (projection.web_map) {
    projection.web_map_offset_m = measure.web_map_offset_m;
  }
  double sum2 = 0;
  for (size_t i = 0; i < n; ++i) {
    sum2 += judgement.survey_m[i] * judgement.survey_m[i];
  }
  projection.rms_m = std::sqrt(sum2 / static_cast<double>(n));
  judgement.projection = projection;
  return finish();
}

SurveyMeasure MeasureSurvey(const Projection& projection,
                            const SimilarityFit& fit,
                            const std::vector<Point3>& source,
                            const std::vector<Point3>& geodetic,
                            const std::vector<Point2>& deviations) {
  const size_t n = source.size();
  SurveyMeasure out;
  out.survey_m.resize(n);
  out.projection_m.assign(n, 0.0);
  if (projection.kind == ProjectionKind::kNone) {
    for (size_t i = 0; i < n; ++i) {
      out.survey_m[i] = DeviationLength(deviations[i].x, deviations[i].y);
    }
    return out;
  }
  const double m_per_unit = MetresPerUnit(fit);
  const Projector projector(projection.tm);
  const PlaneSimilarity& sim = projection.similarity;
  // The deviation (target minus fitted drawing point) splits exactly into
  // the survey's part, K R (D* - d) with D* where the position projects,
  // and the projection's part, the rest.
  const std::vector<Point2> projected = ProjectMany(projector, geodetic);
  // Web-map targets are measured against the drawing in the web map's
  // coordinates, and how far they lie from WGS84 against the drawing's own
  // projection (an identity similarity for a standard one).
  std::vector<Point2> drawing = PlanePoints(source);
  if (projection.web_map) {
    std::vector<double> offset_m(n);
    for (size_t i = 0; i < n; ++i) {
      offset_m[i] = DeviationLength(projected[i].x - drawing[i].x,
                                    projected[i].y - drawing[i].y) *
                    m_per_unit;
    }
    out.web_map_offset_m = Median(std::move(offset_m));
    drawing = InWebMap(projector, projection.web_map_datum, drawing);
  }
  for (size_t i = 0; i < n; ++i) {
    const Point2 r = sim.Deviation(projected[i], drawing[i]);
    // D* - d: where the position projects, minus the drawing point.
    const Point2 v{-r.x, -r.y};
    out.survey_m[i] = DeviationLength(v.x, v.y) * m_per_unit;
    const Point2 e = fit.similarity.Turn(v);
    out.projection_m[i] =
        DeviationLength(deviations[i].x - e.x, deviations[i].y - e.y);
  }
  return out;
}

// The metres of one drawing unit as the fit sees them.
double MetresPerUnit(const SimilarityFit& fit) {
  const double k = std::fabs(fit.similarity.K());
  return std::isfinite(k) && k > 0 ? k : kNaN;
}

}  // namespace geoanchor
