#include "output/geojson.h"

#include <algorithm>
#include <cmath>

#include "geodesy/geodetic_converter.h"
#include "output/json_text.h"
#include "output/write_file.h"

namespace geoanchor {

namespace {

// One control point as the map shows it.
struct MapPoint {
  Point3 source;    // drawing x, y, z
  Point3 geodetic;  // target as read
  Point2 target;    // east_m, north_m in the scene frame
  double up_m;      // the target's up in the frame it was converted in
  double deviation_m;
  std::string name;  // "" for none
  int position;      // in the input, from 1
  bool used;
};

// The up of each target in the frame its east and north came from: the
// converted up, or in the pair mode the scene frame's up of the target at
// the project height (the pair mode's targets are converted there).
std::vector<double> TargetUps(const ControlPoints& points,
                              const std::vector<Point3>& geodetic,
                              const std::vector<double>& up_m) {
  if (points.mode != InputMode::kPair) return up_m;
  const GeodeticConverter scene(points.base_point.x, points.base_point.y);
  std::vector<double> ups;
  for (const Point3& g : geodetic) {
    Point3 enu;
    scene.GeodeticToEnu(Point3{g.x, g.y, points.project_height_m}, &enu);
    ups.push_back(enu.z);
  }
  return ups;
}

// Every point, fitted and check, in the input's order.
std::vector<MapPoint> MapPoints(const ControlPoints& points,
                                const SimilarityFit& fit,
                                const Diagnosis& diagnosis) {
  std::vector<MapPoint> all;
  const std::vector<double> ups =
      TargetUps(points, points.geodetic, points.target_up_m);
  for (size_t i = 0; i < points.source.size() && i < fit.residuals_m.size();
       ++i) {
    all.push_back(MapPoint{points.source[i], points.geodetic[i],
                           points.target[i], i < ups.size() ? ups[i] : 0.0,
                           fit.residuals_m[i],
                           i < points.names.size() ? points.names[i] : "",
                           InputPosition(points.positions, i), true});
  }
  const CheckPoints& check = points.check;
  const std::vector<double> check_ups =
      TargetUps(points, check.geodetic, check.target_up_m);
  const std::vector<double>& residuals = diagnosis.check_points.residuals_m;
  for (size_t k = 0; k < check.source.size() && k < residuals.size(); ++k) {
    all.push_back(
        MapPoint{check.source[k], check.geodetic[k], check.target[k],
                 k < check_ups.size() ? check_ups[k] : 0.0, residuals[k],
                 k < check.names.size() ? check.names[k] : "",
                 k < check.positions.size() ? check.positions[k] : 0, false});
  }
  std::stable_sort(all.begin(), all.end(),
                   [](const MapPoint& a, const MapPoint& b) {
                     return a.position < b.position;
                   });
  return all;
}

// The sign of the turn o -> a -> b, > 0 counter-clockwise. Nearby points'
// differences are exact (Sterbenz), and each product is taken with its
// rounding error (fma), so points on one line in the drawing, whose turn
// is a difference of nearly equal products, get the sign they have.
double Turn(const Point2& o, const Point2& a, const Point2& b) {
  const double ax = a.x - o.x, ay = a.y - o.y;
  const double bx = b.x - o.x, by = b.y - o.y;
  const double p = ax * by, q = ay * bx;
  return (p - q) + (std::fma(ax, by, -p) - std::fma(ay, bx, -q));
}

std::string Position(const Point2& lon_lat) {
  return "[" + JsonNumber(lon_lat.x) + ", " + JsonNumber(lon_lat.y) + "]";
}

std::string Feature(const std::string& geometry,
                    const std::string& properties) {
  return "{\"type\": \"Feature\", \"geometry\": " + geometry +
         ", \"properties\": " + properties + "}";
}

// The codes of the findings naming input position `position`, each once.
std::string CodesJson(const std::vector<Finding>& findings, int position) {
  std::vector<std::string> codes;
  for (const Finding& f : findings) {
    const std::string code = FindingCodeName(f.code);
    if (std::find(f.points.begin(), f.points.end(), position) !=
            f.points.end() &&
        std::find(codes.begin(), codes.end(), code) == codes.end()) {
      codes.push_back(code);
    }
  }
  std::string out = "[";
  for (size_t k = 0; k < codes.size(); ++k) {
    out += (k == 0 ? "" : ", ") + JsonString(codes[k]);
  }
  return out + "]";
}

}  // namespace

std::vector<Point2> ConvexHull(std::vector<Point2> points) {
  // Andrew's monotone chain: the lower and the upper chain, each turning
  // left only.
  std::sort(points.begin(), points.end(), [](const Point2& a, const Point2& b) {
    return a.x < b.x || (a.x == b.x && a.y < b.y);
  });
  points.erase(std::unique(points.begin(), points.end(),
                           [](const Point2& a, const Point2& b) {
                             return a.x == b.x && a.y == b.y;
                           }),
               points.end());
  if (points.size() < 3) return points;
  std::vector<Point2> hull;
  for (int pass = 0; pass < 2; ++pass) {
    const size_t floor = hull.size();
    for (const Point2& p : points) {
      while (hull.size() >= floor + 2 &&
             Turn(hull[hull.size() - 2], hull.back(), p) <= 0.0) {
        hull.pop_back();
      }
      hull.push_back(p);
    }
    hull.pop_back();  // the next chain's first point
    std::reverse(points.begin(), points.end());
  }
  return hull;
}

std::string GeoJsonText(const ControlPoints& points, const SimilarityFit& fit,
                        const Diagnosis& diagnosis) {
  const std::vector<MapPoint> all = MapPoints(points, fit, diagnosis);
  // Where the matrix puts each drawing point: beside its target in the
  // frame the target was converted in, at the target's up.
  std::vector<Point3> placed_enu;
  for (const MapPoint& p : all) {
    const Point2 placed = fit.similarity.Apply(Point2{p.source.x, p.source.y});
    placed_enu.push_back(Point3{placed.x, placed.y, p.up_m});
  }
  std::vector<Point3> placed_geodetic;
  ConvertToGeodetic(points.mode, points.base_point, points.model_point,
                    placed_enu, &placed_geodetic);

  std::vector<std::string> features;
  std::vector<Point2> placed_lon_lat;
  for (const Point3& g : placed_geodetic) {
    placed_lon_lat.push_back(Point2{g.x, g.y});
  }
  const std::vector<Point2> hull = ConvexHull(placed_lon_lat);
  if (hull.size() >= 3) {
    std::string ring = "[";
    for (const Point2& p : hull) ring += Position(p) + ", ";
    ring += Position(hull.front()) + "]";
    features.push_back(
        Feature("{\"type\": \"Polygon\", \"coordinates\": [" + ring + "]}",
                "{\"kind\": \"hull\"}"));
  }
  for (size_t i = 0; i < all.size(); ++i) {
    const MapPoint& p = all[i];
    const std::string common =
        "\"name\": " +
        (p.name.empty() ? std::string("null") : JsonString(p.name)) +
        ", \"index\": " + std::to_string(p.position) +
        ", \"used\": " + (p.used ? "true" : "false") +
        ", \"deviation_m\": " + JsonNumber(p.deviation_m) +
        ", \"codes\": " + CodesJson(diagnosis.findings, p.position);
    const std::string placed = Position(placed_lon_lat[i]);
    const std::string target = Position(Point2{p.geodetic.x, p.geodetic.y});
    features.push_back(
        Feature("{\"type\": \"Point\", \"coordinates\": " + placed + "}",
                "{\"kind\": \"placed\", " + common + "}"));
    features.push_back(
        Feature("{\"type\": \"Point\", \"coordinates\": " + target + "}",
                "{\"kind\": \"target\", " + common + "}"));
    features.push_back(Feature("{\"type\": \"LineString\", \"coordinates\": [" +
                                   placed + ", " + target + "]}",
                               "{\"kind\": \"deviation\", " + common + "}"));
  }

  std::string text = "{\"type\": \"FeatureCollection\", \"features\": [";
  for (size_t k = 0; k < features.size(); ++k) {
    text += (k == 0 ? "\n" : ",\n") + features[k];
  }
  return text + (features.empty() ? "]}\n" : "\n]}\n");
}

int WriteGeoJson(const std::string& path, const ControlPoints& points,
                 const SimilarityFit& fit, const Diagnosis& diagnosis,
                 Language language) {
  return WriteFileOrSay(path, GeoJsonText(points, fit, diagnosis),
                        Message{"GeoJSON file", "GeoJSON 文件"}, language)
             ? 0
             : -1;
}

}  // namespace geoanchor
