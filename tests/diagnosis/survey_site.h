// Realistic control-point jobs for the diagnosis and the fit: a surveyed
// site made with GeographicLib, run through the preparation, the fit and
// the diagnosis exactly as the tool runs them.
#ifndef GEOANCHOR_TESTS_DIAGNOSIS_SURVEY_SITE_H_
#define GEOANCHOR_TESTS_DIAGNOSIS_SURVEY_SITE_H_

#include <GeographicLib/TransverseMercator.hpp>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app/run.h"
#include "diagnosis/diagnosis.h"
#include "fit/fit_policy.h"
#include "fit/scene_matrix.h"
#include "fit/similarity_fit.h"
#include "geodesy/web_map.h"
#include "tests/common/bilingual_checks.h"

namespace geoanchor {

// A surveyed site: control points around (lon, lat) whose drawing
// coordinates are CGCS2000 Gauss-Krueger coordinates (GeographicLib's
// transverse Mercator, scale 1 on the central meridian, false easting
// 500 km with the zone number in front), and whose drawing heights are
// normal heights: the ellipsoidal height minus a geoid that rises 3 cm per
// km towards the north-east. Noise of `noise_m` on every drawing
// coordinate; targets picked to `target_noise_m` (an orthophoto's
// decimetres) on top.
struct Site {
  double lon_deg = 117.2;
  double lat_deg = 39.1;
  double zone_cm_deg = 117.0;  // 3-degree zone 39
  int points = 8;
  double size_m = 400.0;        // side of the square the points lie in
  double height_m = 20.0;       // the targets' mean ellipsoidal height
  double across = 1.0;          // the square's height as a share of its side
  double far_point_m = 0.0;     // if not 0: the last point this far east
  int mode = 1;                 // 0 pair, 1 height, 2 model base point
  bool flat = false;            // every drawing z 0
  double unit_m = 1.0;          // metres per drawing unit
  double rotation_deg = 0.0;    // drawing turned about its first point
  double scale = 0.0;           // --scale
  double accuracy_m = 0.0;      // --accuracy
  double noise_m = 0.002;       // per drawing coordinate, one sigma
  double target_noise_m = 0.0;  // per target coordinate, one sigma
  // Targets read off a Chinese web map in this datum, rather than WGS84.
  bool web_map = false;
  WebMapDatum web_map_datum = WebMapDatum::kGcj02;
  // The drawing a WGS84 UTM zone's (no zone number), rather than
  // Gauss-Krueger.
  bool utm = false;
  // The drawing a plain CAD grid: the same shape about its first point at
  // (1000, 2000), no absolute position.
  bool grid = false;
  unsigned seed = 1;
  // A mistake made in a clean job: on the drawing's numbers (x, y, z a
  // point), the targets' (lon, lat, h a point) and the flags.
  std::function<void(std::vector<double>* src, std::vector<double>* des,
                     RunInputs* in)>
      alter;
  // What a table gives that flags cannot (names, check points, its
  // columns), made on the prepared points before the fit; and a change to
  // the fit before the diagnosis.
  std::function<void(ControlPoints* points)> prepared;
  std::function<void(SimilarityFit* fit)> fitted;
  // The scene's <SRS> and <SRSOrigin>, when the job takes its base point
  // from the scene's file ("" = from --basepoint).
  std::string scene_srs;
  Point3 scene_origin{0.0, 0.0, 0.0};
};

// The site of a city, `points` points over `size_m`.
inline Site At(double lon_deg, double lat_deg, double cm_deg, int points,
               double size_m, unsigned seed) {
  Site s;
  s.lon_deg = lon_deg;
  s.lat_deg = lat_deg;
  s.zone_cm_deg = cm_deg;
  s.points = points;
  s.size_m = size_m;
  s.seed = seed;
  return s;
}

// The faults of every finding's message in its two languages, with the
// points' names and the table's column headers as the user's own text;
// "" when every message of the diagnosis's own is sound.
inline std::string MessageFaults(const ControlPoints& points,
                                 const Diagnosis& d) {
  std::vector<std::string> verbatim = points.names;
  verbatim.insert(verbatim.end(), points.check.names.begin(),
                  points.check.names.end());
  // A one-letter header ("x") is in the words of every English sentence.
  for (const std::string* column :
       {&points.table.easting_column, &points.table.northing_column}) {
    if (column->size() > 1) verbatim.push_back(*column);
  }
  std::string faults;
  for (const Finding& f : d.findings) {
    const std::string found = bilingual::Faults(f.message, verbatim);
    if (!found.empty()) faults += FindingCodeName(f.code) + (": " + found);
  }
  return faults;
}

// The diagnosis as the tool makes it, every finding checked in both
// languages.
inline Diagnosis Diagnosed(const ControlPoints& points,
                           const SimilarityFit& fit, double scale,
                           DiagnosisDepth depth, double accuracy_m = 0.0,
                           const SceneMatrix* scene = nullptr) {
  Diagnosis d = Diagnose(points, fit, scale, depth, accuracy_m, scene);
  EXPECT_EQ("", MessageFaults(points, d));
  return d;
}

struct Outcome {
  bool prepared = false;
  ControlPoints points;
  SimilarityFit fit;
  Diagnosis full;
  Diagnosis verdict_only;
  // Per point: the east/north of its true target (no picking noise, no
  // mistake), metres.
  std::vector<Point2> truth;
};

inline std::string Join(const std::vector<double>& values, const char* format) {
  std::string text;
  char number[64];
  for (double v : values) {
    std::snprintf(number, sizeof number, format, v);
    if (!text.empty()) text += ',';
    text += number;
  }
  return text;
}

inline Outcome Survey(const Site& s) {
  const GeographicLib::TransverseMercator tm =
      s.utm ? GeographicLib::TransverseMercator(6378137.0, 1 / 298.257223563,
                                                0.9996)
            : GeographicLib::TransverseMercator(6378137.0, 1 / 298.257222101,
                                                1.0);
  std::mt19937 random(s.seed);
  std::uniform_real_distribution<double> offset(-0.5, 0.5);
  std::normal_distribution<double> noise(0.0, s.noise_m);
  // The picking noise has a generator of its own, so that the sites
  // themselves stay what they are without it.
  std::mt19937 picking(s.seed + 7919u);
  std::normal_distribution<double> pick(0.0, 1.0);
  const double m_per_deg_lat = 111000.0;
  const double m_per_deg_lon = m_per_deg_lat * std::cos(s.lat_deg * M_PI / 180);
  const double turn = s.rotation_deg * M_PI / 180.0;
  std::vector<double> src, des, des_true;
  double x0 = 0.0, y0 = 0.0;
  for (int i = 0; i < s.points; ++i) {
    const double east_m = s.far_point_m != 0.0 && i + 1 == s.points
                              ? s.far_point_m
                              : offset(random) * s.size_m;
    const double north_m = offset(random) * s.size_m * s.across;
    const double lon = s.lon_deg + east_m / m_per_deg_lon;
    const double lat = s.lat_deg + north_m / m_per_deg_lat;
    const double h_m = s.height_m + 10.0 * offset(random);
    double x, y;
    tm.Forward(s.zone_cm_deg, lat, lon, x, y);
    // A 3-degree zone's number in front; none for UTM.
    x += 500000.0 + (s.utm ? 0.0 : 1e6 * std::round(s.zone_cm_deg / 3.0));
    if (i == 0) x0 = x, y0 = y;
    const double dx = x - x0, dy = y - y0;
    const double gx = s.grid ? 1000.0 : x0, gy = s.grid ? 2000.0 : y0;
    x = gx + dx * std::cos(turn) - dy * std::sin(turn) + noise(random);
    y = gy + dx * std::sin(turn) + dy * std::cos(turn) + noise(random);
    const double geoid_m = -8.5 + 3e-5 * (east_m + north_m);
    const double z = s.flat ? 0.0 : h_m - geoid_m + noise(random);
    src.insert(src.end(), {x / s.unit_m, y / s.unit_m, z / s.unit_m});
    des_true.insert(des_true.end(), {lon, lat, h_m});
    const double pick_east_m = s.target_noise_m * pick(picking);
    const double pick_north_m = s.target_noise_m * pick(picking);
    Point2 shown{lon + pick_east_m / m_per_deg_lon,
                 lat + pick_north_m / m_per_deg_lat};
    if (s.web_map) shown = Wgs84ToWebMap(s.web_map_datum, shown.x, shown.y);
    des.insert(des.end(), {shown.x, shown.y, h_m});
  }
  RunInputs in;
  in.basepoint = Join({s.lon_deg + 0.001, s.lat_deg - 0.002}, "%.10f");
  in.projectheight_m = s.mode == 0 ? 25.0 : -1.0;
  if (s.mode == 2) in.modelpoint = Join({s.lon_deg, s.lat_deg}, "%.10f");
  in.scale = s.scale;
  if (s.alter) s.alter(&src, &des, &in);
  auto pairs = [&](std::vector<double>* v) {  // drop every third number
    if (s.mode != 0) return;
    std::vector<double> kept;
    for (size_t i = 0; i < v->size(); ++i) {
      if (i % 3 != 2) kept.push_back((*v)[i]);
    }
    *v = kept;
  };
  const std::vector<double> src_as_given = src;
  pairs(&src);
  pairs(&des);
  pairs(&des_true);
  in.DWGsrcpoints = Join(src, "%.4f");
  in.DWGdespoints = Join(des, "%.10f");
  Outcome o;
  std::string error;
  o.prepared = PrepareControlPoints(in, &o.points, &error);
  if (!o.prepared) return o;
  RunInputs truth_in = in;
  truth_in.DWGdespoints = Join(des_true, "%.10f");
  ControlPoints truth;
  if (PrepareControlPoints(truth_in, &truth, &error)) o.truth = truth.target;
  if (s.prepared) s.prepared(&o.points);
  o.fit = FitControlPoints(o.points, s.scale, s.accuracy_m, true);
  if (s.fitted) s.fitted(&o.fit);
  SceneMatrix scene;
  if (!s.scene_srs.empty()) {
    scene = FitSceneMatrix(ReadSceneSrs(s.scene_srs), s.scene_origin, o.points,
                           o.fit, o.fit.similarity.ToMatrix(0.0));
  }
  const SceneMatrix* in_scene = s.scene_srs.empty() ? nullptr : &scene;
  o.full = Diagnosed(o.points, o.fit, s.scale, DiagnosisDepth::kFull,
                     s.accuracy_m, in_scene);
  o.verdict_only = Diagnosed(o.points, o.fit, s.scale, DiagnosisDepth::kVerdict,
                             s.accuracy_m, in_scene);
  return o;
}

inline std::string Describe(const Diagnosis& d) {
  std::string text = VerdictName(d.verdict);
  for (const Finding& f : d.findings)
    text += std::string("\n  ") + FindingCodeName(f.code) + ": " + f.message.en;
  return text;
}

}  // namespace geoanchor

#endif  // GEOANCHOR_TESTS_DIAGNOSIS_SURVEY_SITE_H_
