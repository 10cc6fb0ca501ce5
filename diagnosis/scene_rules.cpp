// The rules of the scene's own files: what its metadata says against
// itself, and the drawing against the grid the scene was made in.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "common/fixed_text.h"
#include "common/numbers.h"
#include "diagnosis/context.h"
#include "geodesy/map_projections.h"

namespace geoanchor {

namespace {

// A meridian as the messages write it: "113.36°".
Message Meridian(double deg) { return Same(FormatDouble("%.10g", deg) + "°"); }

// The Gauss-Krueger projection whose zone number stands in front of most
// of the drawing's eastings (x, or y for a drawing with its axes the
// surveyors' way round); kNone without one.
MapProjection ZoneInFront(const std::vector<Point3>& source) {
  std::vector<double> x, y;
  for (const Point3& p : source) {
    x.push_back(p.x);
    y.push_back(p.y);
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const double easting_m : {Median(x), Median(y)}) {
    const std::vector<MapProjection> zone =
        StandardCandidates(nan, nan, easting_m);
    if (!zone.empty()) return zone.front();
  }
  return MapProjection();
}

}  // namespace

SceneJudgement JudgeAgainstScene(const Context& c) {
  SceneJudgement j;
  if (c.scene == nullptr || c.n == 0) return j;
  j.available = true;
  const PlaneSimilarity& s = c.scene->similarity;
  // The kept points' centroid, and each point's departure from the shift
  // that carries the centroid where the matrix does.
  Point2 centroid{0.0, 0.0};
  size_t kept = 0;
  for (size_t i = 0; i < c.n; ++i) {
    if (c.outlier[i]) continue;
    centroid.x += c.points->source[i].x;
    centroid.y += c.points->source[i].y;
    ++kept;
  }
  if (kept > 0) {
    centroid = Point2{centroid.x / kept, centroid.y / kept};
    const Point2 moved = s.Apply(centroid);
    for (size_t i = 0; i < c.n; ++i) {
      if (c.outlier[i]) continue;
      const Point2 p{c.points->source[i].x, c.points->source[i].y};
      const Point2 q = s.Apply(p);
      const double departure_m = std::hypot(q.x - moved.x - (p.x - centroid.x),
                                            q.y - moved.y - (p.y - centroid.y));
      // NaN stays NaN, and then no shift is claimed.
      j.shift_departure_m = std::isnan(departure_m)
                                ? departure_m
                                : std::max(j.shift_departure_m, departure_m);
    }
    j.drawing_in_scene_grid = j.shift_departure_m <= c.blunder_m;
  }
  const MapProjection zone = ZoneInFront(c.points->source);
  j.drawing_zone = zone.zone;
  // The same grid but for the zone number in front: the same meridian,
  // ellipsoid, scale and false northing (a UTM zone on the meridian of a
  // Gauss-Krueger one is another grid, 400 ppm smaller).
  const TransverseMercatorParameters& d = zone.tm;
  const TransverseMercatorParameters& g = c.scene->srs.projection.tm;
  j.zone_names_scene_grid =
      zone.kind != ProjectionKind::kNone &&
      c.scene->srs.kind == SceneSrsKind::kProjected &&
      std::fabs(d.central_meridian_deg - g.central_meridian_deg) < 1e-9 &&
      d.a_m == g.a_m && d.flattening == g.flattening && d.k0 == g.k0 &&
      d.false_northing_m == g.false_northing_m;
  return j;
}

void JudgeSceneSrsTag(const Context& c, Findings* out) {
  if (c.scene == nullptr) return;
  const SceneSrs& srs = c.scene->srs;
  if (!std::isfinite(srs.tag_central_meridian_deg)) return;
  const Message wkt = Meridian(srs.projection.tm.central_meridian_deg);
  const Message tag = Meridian(srs.tag_central_meridian_deg);
  const std::string code = "EPSG:" + std::to_string(srs.named_epsg);
  out->push_back(MakeFinding(
      {}, Message{"the scene's WKT puts its central meridian at " + wkt.en +
                      ", but its tag " + code + " names " + tag.en +
                      "; the tool follows the WKT's parameters: if the scene "
                      "was made in " +
                      code + ", correct its metadata.xml and run again",
                  "场景的 WKT 中央子午线为 " + wkt.zh + "，而其标识 " + code +
                      " 的中央子午线为 " + tag.zh +
                      "；本工具以 WKT 的参数为准：若场景实为 " + code +
                      " 所生成，请改正其 metadata.xml 后重新运行"}));
}

void JudgeSceneGridMismatch(const Context& c, Findings* out) {
  const SceneJudgement& j = c.scene_judgement;
  if (!j.available || !j.zone_names_scene_grid || j.drawing_in_scene_grid) {
    return;
  }
  const PlaneSimilarity& s = c.scene->similarity;
  const std::string zone = std::to_string(j.drawing_zone);
  const Message meridian =
      Meridian(c.scene->srs.projection.tm.central_meridian_deg);
  // Rounded first, so that a turn or scale of nothing reads 0, not -0.
  const double turn_arcsec =
      std::round(RadToDeg(s.angle_rad()) * 36000.0) / 10.0 + 0.0;
  const double scale_ppm = std::round((s.K() - 1.0) * 1e6) + 0.0;
  const std::string turn = FormatDouble("%.1f", turn_arcsec) + "″";
  const std::string scale = FormatDouble("%.0f", scale_ppm) + " ppm";
  const Message departure = Metres(j.shift_departure_m);
  out->push_back(MakeFinding(
      {},
      Message{"the drawing's eastings carry zone " + zone +
                  ", whose central meridian " + meridian.en +
                  " is the scene's grid's, yet the drawing is not in that "
                  "grid: into the scene it is turned by " +
                  turn + " and scaled by " + scale + ", " + departure.en +
                  " at the furthest point: place it with matrix_scene, "
                  "not by a shift, and check the drawing's datum and "
                  "projection height",
              "图纸东坐标带号为 " + zone + "，其中央子午线 " + meridian.zh +
                  " 与场景投影的相同，但图纸并不在该投影中：放入场景需旋转 " +
                  turn + "、比例差 " + scale + "，最远点处达 " + departure.zh +
                  "：请用 matrix_scene 放置图纸，不要只作平移，并检查图纸的"
                  "坐标系和投影高度"}));
}

}  // namespace geoanchor
