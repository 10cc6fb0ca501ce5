// The other readings of an input: the drawing's x and y exchanged, the
// targets' or the base point's longitude and latitude exchanged, and
// degrees, minutes and seconds written as one number; and web-map targets.
#include <algorithm>
#include <cmath>
#include <utility>

#include "common/fixed_text.h"
#include "common/numbers.h"
#include "diagnosis/context.h"
#include "fit/plane_similarity.h"
#include "fit/similarity_fit.h"
#include "geodesy/ellipsoid.h"
#include "geodesy/geodetic_converter.h"

namespace geoanchor {

namespace {

// The median of the fit's own deviations over the points in `index`,
// metres: what most points miss by, whatever a few blunders do.
double MedianOver(const SimilarityFit& fit, const std::vector<size_t>& index) {
  std::vector<double> r_m;
  r_m.reserve(index.size());
  for (size_t i : index) r_m.push_back(fit.residuals_m[i]);
  return Median(std::move(r_m));
}

// Another reading of the same input: what it exchanges or reads otherwise.
struct Reading {
  ReadingKind kind;
  bool drawing_axes;   // the drawing points' x and y
  bool targets;        // the targets' longitude and latitude
  bool base;           // the base point's
  bool surveyors_dms;  // the targets as d.mmss in one number
};

const Reading kReadings[] = {
    {ReadingKind::kAxes, true, false, false, false},
    {ReadingKind::kTargetsLonLat, false, true, false, false},
    {ReadingKind::kBaseLonLat, false, false, true, false},
    {ReadingKind::kBothLonLat, false, true, true, false},
    {ReadingKind::kDmsAsDecimal, false, false, false, true},
};

std::vector<Point2> DrawingPoints(const ControlPoints& points,
                                  const std::vector<size_t>& index,
                                  bool exchanged) {
  std::vector<Point2> source;
  source.reserve(index.size());
  for (size_t i : index) {
    const Point3& s = points.source[i];
    source.push_back(exchanged ? Point2{s.y, s.x} : Point2{s.x, s.y});
  }
  return source;
}

// Degrees, minutes and seconds written as one decimal number, as
// surveyors do (116.234567 meaning 116°23'45.67"), in degrees; false when
// the minutes or seconds are 60 or more, so the number cannot be one.
bool FromSurveyorsDms(double v, double* deg) {
  const double a = std::fabs(v);
  const double d = std::floor(a);
  const double minutes_seconds = (a - d) * 100.0;
  const double m = std::floor(minutes_seconds);
  const double sec = (minutes_seconds - m) * 100.0;
  if (!(m < 60.0) || !(sec < 60.0)) return false;
  *deg = std::copysign(d + m / 60.0 + sec / 3600.0, v);
  return true;
}

// The targets of the points in `index`, in the scene's frame, as
// `reading` reads them; false when it gives no place on earth.
bool Targets(const ControlPoints& points, const std::vector<size_t>& index,
             const Reading& reading, std::vector<Point2>* target) {
  if (!reading.targets && !reading.base && !reading.surveyors_dms) {
    target->clear();
    target->reserve(index.size());
    for (size_t i : index) target->push_back(points.target[i]);
    return true;
  }
  std::vector<Point3> geodetic;
  geodetic.reserve(index.size());
  for (size_t i : index) {
    Point3 g = points.geodetic[i];
    if (reading.targets) std::swap(g.x, g.y);
    if (reading.surveyors_dms &&
        (!FromSurveyorsDms(g.x, &g.x) || !FromSurveyorsDms(g.y, &g.y))) {
      return false;
    }
    if (!(std::fabs(g.y) <= 90.0)) return false;
    geodetic.push_back(g);
  }
  Point3 base = points.base_point;
  if (reading.base) std::swap(base.x, base.y);
  if (!(std::fabs(base.y) <= 90.0)) return false;
  std::vector<double> up_m;
  ConvertTargets(points.mode, base, points.model_point, points.project_height_m,
                 geodetic, target, &up_m);
  return true;
}

// The drawing points and the targets of the points in `index` as `reading`
// reads them; false when it gives no place on earth.
bool Read(const ControlPoints& points, const std::vector<size_t>& index,
          const Reading& reading, std::vector<Point2>* source,
          std::vector<Point2>* target) {
  *source = DrawingPoints(points, index, reading.drawing_axes);
  return Targets(points, index, reading, target);
}

// A reading's robust fit from its own consensus, and its RMS, metres.
struct Reweighted {
  bool ok = false;
  std::vector<double> residuals_m;
  double rms_m = 0.0;
  double median_m = 0.0;
};
Reweighted FitReading(const std::vector<Point2>& source,
                      const std::vector<Point2>& target, double scale,
                      double loss_scale_m) {
  Reweighted out;
  const RobustSimilarity r =
      FitRobustFromConsensus(source, target, scale, loss_scale_m, kBlunderM);
  if (!r.ok) return out;
  out.ok = true;
  double sum_sq_m2 = 0.0;
  for (double r_m : r.residuals_m) sum_sq_m2 += r_m * r_m;
  out.rms_m = std::sqrt(sum_sq_m2 / static_cast<double>(r.residuals_m.size()));
  out.median_m = Median(r.residuals_m);
  out.residuals_m = r.residuals_m;
  return out;
}

}  // namespace

Exchange FindExchange(const ControlPoints& points, const SimilarityFit& fit,
                      double scale, double fit_median_m) {
  Exchange best;
  const size_t n = points.source.size();
  const std::vector<size_t> subsample = SpreadSubsample(n, kExchangeSubsample);
  const double subsample_median_m = MedianOver(fit, subsample);
  std::vector<size_t> all;
  for (const Reading& reading : kReadings) {
    std::vector<Point2> source, target;
    if (!Read(points, subsample, reading, &source, &target)) continue;
    Reweighted r = FitReading(source, target, scale, fit.loss_scale_m);
    // A robust fit of so few points fits most of them exactly whatever
    // the reading: their RMS tells, not their median.
    const bool better = n <= kFewReadingPoints
                            ? r.rms_m <= 0.1 * fit.rms_m
                            : r.median_m <= 0.1 * subsample_median_m;
    if (!r.ok || !better) continue;
    if (subsample.size() < n) {
      if (all.empty()) {
        all.resize(n);
        for (size_t i = 0; i < n; ++i) all[i] = i;
      }
      Read(points, all, reading, &source, &target);
      r = FitReading(source, target, scale, fit.loss_scale_m);
      if (!r.ok || !(r.median_m <= 0.1 * fit_median_m)) continue;
    }
    if (!best.found || r.median_m < best.median_m) {
      best.found = true;
      best.kind = reading.kind;
      best.rms_m = r.rms_m;
      best.median_m = r.median_m;
      best.residuals_m = std::move(r.residuals_m);
    }
  }
  return best;
}

namespace {

// ": give the targets ... in decimal degrees": `table` as below.
Message DmsRemedy(bool table) {
  return Message{std::string(": give ") +
                     (table ? "the table's longitudes and latitudes"
                            : "the targets in DWGdespoints") +
                     " in decimal degrees (degrees + minutes/60 + "
                     "seconds/3600)" +
                     (table ? ", or written as 116°23′45.67″" : ""),
                 std::string("：") +
                     (table ? "表中的经度和纬度" : "DWGdespoints 中的目标点") +
                     "须以十进制度给出（度 + 分/60 + 秒/3600）" +
                     (table ? "，或写成 116°23′45.67″" : "")};
}

// Targets "... degrees, minutes and seconds written as one number" and its
// example, as every reading of that mistake says it.
const Message kDmsAsOneNumber{
    "degrees, minutes and seconds written as one number (116.234567 meaning "
    "116°23′45.67″)",
    "连写成一个数的度分秒（116.234567 即 116°23′45.67″）"};

// The points came from a control-point table when they have positions in
// it: the remedy then names its columns instead of the flags.
Message ExchangeMessage(const Exchange& e, double fit_rms_m,
                        const ControlPoints& points) {
  const bool table = !points.positions.empty();
  const Message rms = Metres(e.rms_m), given = Metres(fit_rms_m);
  const Message figures{
      " (RMS " + rms.en + " instead of " + given.en + ")",
      "（改正后均方根 " + rms.zh + "，按原输入为 " + given.zh + "）"};
  const Message lon_lat =
      table ? Message{"exchange the names of the lon and lat columns in the "
                      "table's header",
                      "交换表头中 lon 列与 lat 列的名称"}
            : Message{"give each target in DWGdespoints longitude first, then "
                      "latitude",
                      "DWGdespoints 中每个目标点须先写经度，再写纬度"};
  const Message base_first{"give basepoint longitude first, then latitude",
                           "basepoint 须先写经度，再写纬度"};
  if (e.kind == ReadingKind::kAxes) {
    const Message easting = EastingName(points),
                  northing = NorthingName(points);
    return Message{"the drawing points fit with x and y exchanged",
                   "图纸点的 x 与 y 互换后才吻合"} +
           figures +
           Message{
               ": surveyors' X is north and Y is east, so give each "
               "drawing point easting first (",
               "：测量的 X 指北、Y 指东，因此每个图纸点须先写东坐标（"} +
           (table
                ? Message{"exchange the names of the " + easting.en + " and " +
                              northing.en + " columns in the table's header)",
                          "交换表头中 " + easting.zh + " 列与 " + northing.zh +
                              " 列的名称）"}
                : Message{"exchange x and y in DWGsrcpoints)",
                          "交换 DWGsrcpoints 中的 x 与 y）"});
  }
  if (e.kind == ReadingKind::kTargetsLonLat) {
    return Message{"the targets fit with longitude and latitude exchanged",
                   "目标点的经度与纬度互换后才吻合"} +
           figures + Message{": ", "："} + lon_lat;
  }
  if (e.kind == ReadingKind::kBaseLonLat) {
    return Message{"the base point fits with longitude and latitude exchanged",
                   "基点的经度与纬度互换后才吻合"} +
           figures + Message{": ", "："} + base_first;
  }
  if (e.kind == ReadingKind::kDmsAsDecimal) {
    return Message{"the targets fit as ", "目标点按"} + kDmsAsOneNumber +
           Message{"", "读取才吻合"} + figures + DmsRemedy(table);
  }
  const Message both{
      "the base point and the targets fit with longitude and latitude "
      "exchanged",
      "基点和目标点的经度与纬度互换后才吻合"};
  if (table) {
    return both + figures + Message{": ", "："} + base_first +
           Message{", and ", "，并"} + lon_lat;
  }
  return both + figures +
         Message{
             ": give basepoint and each target in DWGdespoints longitude "
             "first, then latitude",
             "：basepoint 和 DWGdespoints 中的每个目标点都须先写经度，"
             "再写纬度"};
}

// A base point that another reading puts among the targets.
struct BaseReading {
  bool found = false;
  bool dms = false;      // read as d.mmss in one number; else lat, lon
  Point2 read_deg;       // the base point so read: lon, lat
  double given_m = 0.0;  // as given, from the targets' centre
  double read_m = 0.0;   // so read, from the targets' centre
};

// The base point as given lies beyond the targets' reach (their farthest
// from their centre, plus 5 km), while read as d.mmss in one number, or
// latitude first, it lies within their reach plus 1 km: then that is how
// it was written. A base point some kilometres from its points (a
// city-wide scene) is ordinary, and reads as neither.
BaseReading FindBaseReading(const ControlPoints& points) {
  BaseReading out;
  const size_t n = points.geodetic.size();
  if (n == 0) return out;
  double lon0 = 0.0, lat0 = 0.0;
  for (const Point3& g : points.geodetic) {
    lon0 += g.x / static_cast<double>(n);
    lat0 += g.y / static_cast<double>(n);
  }
  // Metres on a plane tangent at the targets' centre: kilometres off is
  // all that is asked.
  const double m_per_deg = kMeanEarthRadiusM * kPi / 180.0;
  const double m_per_deg_lon = m_per_deg * std::cos(DegToRad(lat0));
  const auto from_centre_m = [&](double lon, double lat) {
    return DeviationLength((lon - lon0) * m_per_deg_lon,
                           (lat - lat0) * m_per_deg);
  };
  double reach_m = 0.0;
  for (const Point3& g : points.geodetic) {
    reach_m = std::max(reach_m, from_centre_m(g.x, g.y));
  }
  const Point3& base = points.base_point;
  out.given_m = from_centre_m(base.x, base.y);
  if (!(out.given_m > reach_m + 5000.0)) return out;
  Point2 dms;
  if (FromSurveyorsDms(base.x, &dms.x) && FromSurveyorsDms(base.y, &dms.y) &&
      from_centre_m(dms.x, dms.y) <= reach_m + 1000.0) {
    out.found = true;
    out.dms = true;
    out.read_deg = dms;
  } else if (std::fabs(base.x) <= 90.0 &&
             from_centre_m(base.y, base.x) <= reach_m + 1000.0) {
    out.found = true;
    out.read_deg = Point2{base.y, base.x};
  }
  if (out.found) out.read_m = from_centre_m(out.read_deg.x, out.read_deg.y);
  return out;
}

// Targets that all share one degree and one minute, in longitude and in
// latitude, read as decimal degrees where they are d.mmss in one number,
// differ only in their seconds, read as ten-thousandths of a degree rather
// than 3600ths: an exact similarity with 0.36 of the true scale. So a
// fitted K that names no drawing unit while K / 0.36 does tells it, on a
// drawing with no grid to ask. Returns that unit, or "".
std::string DmsUnit(const ControlPoints& points, const SimilarityFit& fit) {
  if (!fit.free_scale || !DrawingUnits(fit.similarity.K()).empty() ||
      !std::isfinite(fit.similarity.K()) || points.geodetic.empty()) {
    return std::string();
  }
  const double dms_scale = 3600.0 / 10000.0;
  const std::string unit = DrawingUnits(fit.similarity.K() / dms_scale);
  if (unit.empty()) return unit;
  // Degrees and minutes of the d.mmss reading: 116.2345 is 116 deg 23'.
  const auto minute = [](double v) { return std::floor(std::fabs(v) * 100.0); };
  const Point3& first = points.geodetic[0];
  for (const Point3& g : points.geodetic) {
    double unused = 0.0;
    if (!FromSurveyorsDms(g.x, &unused) || !FromSurveyorsDms(g.y, &unused) ||
        minute(g.x) != minute(first.x) || minute(g.y) != minute(first.y)) {
      return std::string();
    }
  }
  return unit;
}

// The grid the targets lie in when read as degrees, minutes and seconds
// written as one number; false when they cannot be read so or lie in none.
bool InGridAsDms(const ControlPoints& points, double accuracy_m,
                 double blunder_m, MapProjection* grid) {
  ControlPoints dms = points;
  for (Point3& g : dms.geodetic) {
    if (!FromSurveyorsDms(g.x, &g.x) || !FromSurveyorsDms(g.y, &g.y)) {
      return false;
    }
  }
  const GridJudgement judged = JudgeAgainstGrid(dms, accuracy_m, blunder_m);
  *grid = judged.grid;
  return judged.in_grid;
}

// The exchanged reading of `kind`'s finding: it explains the points it
// fits.
void ExchangedReading(const Context& c, bool kind_matches, Findings* out) {
  if (!c.exchange.found || !kind_matches) return;
  Finding f =
      MakeFinding({}, ExchangeMessage(c.exchange, c.fit->rms_m, *c.points));
  f.explains = c.explained;
  out->push_back(f);
}

}  // namespace

void JudgeExchangedAxes(const Context& c, Findings* out) {
  ExchangedReading(c, c.exchange.kind == ReadingKind::kAxes, out);
}

void JudgeExchangedLonLat(const Context& c, Findings* out) {
  const ReadingKind kind = c.exchange.kind;
  ExchangedReading(c,
                   kind == ReadingKind::kTargetsLonLat ||
                       kind == ReadingKind::kBaseLonLat ||
                       kind == ReadingKind::kBothLonLat,
                   out);
}

// Targets in degrees, minutes and seconds written as one number: told by
// the fit of that reading, or, on a site too small for the fit to tell, by
// the drawing's grid, which puts the points where the targets so read lie
// (while as given they lie in none), or on a plain CAD grid by a scale
// 0.36 times a drawing unit.
void JudgeDmsAsDecimal(const Context& c, Findings* out) {
  ExchangedReading(c, c.exchange.kind == ReadingKind::kDmsAsDecimal, out);
  const GridJudgement& g = c.grid;
  if (c.exchange.found || c.one_place || (g.in_grid && g.wrong.size() == c.n)) {
    return;
  }
  MapProjection dms_grid;
  const bool grid_dms =
      InGridAsDms(*c.points, c.accuracy.accuracy_m, c.blunder_m, &dms_grid);
  const std::string dms_unit =
      grid_dms ? std::string() : DmsUnit(*c.points, *c.fit);
  if (!grid_dms && dms_unit.empty()) return;
  Message what;
  if (grid_dms) {
    const Message grid = GridName(dms_grid);
    what = Message{"the targets lie where the drawing's grid, " + grid.en +
                       ", puts its points only when read as ",
                   "只有按"} +
           kDmsAsOneNumber +
           Message{"", "读取时，目标点才落在图纸的投影带 " + grid.zh +
                           " 所定的点位上"};
  } else {
    const std::string k = FormatDouble("%.7g", c.fit->similarity.K());
    what = Message{"the fitted scale K = " + k +
                       " is 0.36 times a drawing in " + dms_unit +
                       ": the targets, all within one minute, are degrees, "
                       "minutes and seconds written as one number "
                       "(116.234567 meaning 116°23′45.67″), whose seconds "
                       "read as decimals shrink the site to 0.36",
                   "拟合的比例 K = " + k + " 是以 " + dms_unit +
                       " 为单位的图纸的 0.36 倍：目标点都在同一分之内，"
                       "是连写成一个数的度分秒（116.234567 即 "
                       "116°23′45.67″），其秒被当作小数读取，"
                       "场地缩小为 0.36"};
  }
  Finding f = MakeFinding({}, what + DmsRemedy(!c.points->positions.empty()));
  for (size_t i = 0; i < c.n; ++i) f.explains.push_back(c.Position(i));
  out->push_back(f);
}

void JudgeBasePointReading(const Context& c, Findings* out) {
  const BaseReading b = FindBaseReading(*c.points);
  if (!b.found) return;
  const std::string read = FormatDouble("%.6f", b.read_deg.x) + "," +
                           FormatDouble("%.6f", b.read_deg.y);
  const std::string given_km = FormatDouble("%.1f", b.given_m / 1000.0);
  const std::string read_km = FormatDouble("%.1f", b.read_m / 1000.0);
  const Message how =
      b.dms ? Message{"as ", "按"} + kDmsAsOneNumber + Message{"", "读取"}
            : Message{"latitude first", "按纬度在前读取"};
  out->push_back(MakeFinding(
      {}, Message{"the base point lies " + given_km +
                      " km from the control points, but read ",
                  "基点距控制点 " + given_km + " km，但"} +
              how +
              Message{" it lies among them (" + read_km +
                          " km from their centre), so the scene frame is "
                          "wrong: give basepoint as " +
                          read + " (longitude, latitude in decimal degrees)",
                      "时它位于控制点之间（距其中心 " + read_km +
                          " km），因此场景坐标系有误：basepoint 应写为 " +
                          read + "（经度、纬度，十进制度）"}));
}

void JudgeWebMapCoordinates(const Context& c, Findings* out) {
  // Told by the projection's identification, or, for a few points, by the
  // drawing's grid point by point.
  const Projection& p = c.survey.projection;
  const GridJudgement& g = c.grid;
  if (!c.web_map && !g.web_map) return;
  const WebMapDatum datum_kind = c.web_map ? p.web_map_datum : g.web_map_datum;
  const double offset_m = c.web_map ? p.web_map_offset_m : g.web_map_offset_m;
  const int epsg = c.web_map ? p.epsg : g.grid.epsg;
  const Message datum = WebMapDatumText(datum_kind);
  const Message offset = Metres(offset_m);
  const std::string code = "EPSG:" + std::to_string(epsg);
  out->push_back(MakeFinding(
      {},
      Message{"the targets are " + datum.en +
                  " coordinates from a Chinese web map, not WGS84: they lie "
                  "a median of " +
                  offset.en + " from where the drawing's own projection (" +
                  code +
                  ") puts its points, and the matrix is off by about that "
                  "much: take WGS84 positions instead (GNSS, or the scene's "
                  "own coordinates)",
              "目标点是中国网络地图的" + datum.zh +
                  "，不是 WGS84：它们与图纸自身投影（" + code +
                  "）所定点位的偏差中位数为 " + offset.zh +
                  "，矩阵也因此偏移约这么多：请改用 WGS84 坐标（GNSS，"
                  "或场景自身的坐标）"}));
}

}  // namespace geoanchor
