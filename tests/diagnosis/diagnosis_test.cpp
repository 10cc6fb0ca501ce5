#include "diagnosis/diagnosis.h"

#include <gtest/gtest.h>

#include <GeographicLib/TransverseMercator.hpp>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <utility>

#include "tests/diagnosis/survey_site.h"

namespace geoanchor {

namespace {

// The points as a control-point table gives them: named K1, K2, ... in
// its rows, its drawing x and y read from the columns `easting` and
// `northing`, and its last `check` rows check points (use 0).
void AsTable(ControlPoints* p, size_t check, const char* easting = "x",
             const char* northing = "y") {
  const size_t n = p->source.size();
  p->table = TableColumns{true, easting, northing, {}};
  for (size_t i = 0; i < n; ++i) {
    const std::string name = "K" + std::to_string(i + 1);
    const int position = static_cast<int>(i + 1);
    if (i + check < n) {
      p->names.push_back(name);
      p->positions.push_back(position);
      continue;
    }
    p->check.source.push_back(p->source[i]);
    p->check.geodetic.push_back(p->geodetic[i]);
    p->check.target.push_back(p->target[i]);
    if (i < p->target_up_m.size()) {
      p->check.target_up_m.push_back(p->target_up_m[i]);
    }
    p->check.names.push_back(name);
    p->check.positions.push_back(position);
  }
  const size_t kept = n - check;
  p->source.resize(kept);
  p->geodetic.resize(kept);
  p->target.resize(kept);
  if (p->target_up_m.size() > kept) p->target_up_m.resize(kept);
}

// 116.40 degrees written as the surveyors' 116.24 (116 deg 24').
double AsSurveyorsDms(double deg) {
  const double d = std::floor(deg);
  const double minutes = (deg - d) * 60.0;
  const double m = std::floor(minutes);
  return d + m / 100.0 + (minutes - m) * 60.0 / 10000.0;
}

TEST(DiagnosisTest, CleanSitesRaiseNoAlarm) {
  std::vector<std::pair<std::string, Site>> cases;
  for (int mode : {0, 1, 2}) {
    for (int points : {4, 7, 50}) {
      Site s;
      s.mode = mode;
      s.points = points;
      s.seed = static_cast<unsigned>(10 * mode + points);
      cases.emplace_back("mode " + std::to_string(mode) + ", " +
                             std::to_string(points) + " points",
                         s);
    }
  }
  Site fixed;
  fixed.scale = 1.0;
  cases.emplace_back("fixed scale", fixed);
  Site mm;  // flat: the matrix carries z unscaled, so z in mm cannot fit
  mm.unit_m = 0.001;
  mm.flat = true;
  cases.emplace_back("millimetres", mm);
  mm.scale = 0.001;
  cases.emplace_back("millimetres, fixed scale", mm);
  for (double turn : {37.0, 180.0, -123.4}) {
    Site turned;
    turned.rotation_deg = turn;
    turned.flat = turn > 100.0;
    cases.emplace_back("turned " + std::to_string(turn), turned);
  }
  Site flat;
  flat.flat = true;
  flat.mode = 2;
  cases.emplace_back("flat drawing", flat);
  Site west;  // west of 90 E: latitude-first readings are places too
  west.lon_deg = 87.6;
  west.lat_deg = 43.8;
  west.zone_cm_deg = 87.0;
  cases.emplace_back("Urumqi", west);
  Site big;  // 2 km: 0.3 m of earth curvature under the flat frame
  big.size_m = 2000.0;
  big.points = 12;
  cases.emplace_back("2 km", big);

  for (const auto& c : cases) {
    const Outcome o = Survey(c.second);
    ASSERT_TRUE(o.prepared) << c.first;
    EXPECT_EQ(Verdict::kGood, o.full.verdict)
        << c.first << ": " << Describe(o.full);
    EXPECT_TRUE(o.verdict_only.findings.empty()) << c.first;
    EXPECT_NE("", o.full.drawing_units) << c.first;
  }
}

TEST(DiagnosisTest, EachMistakeIsNamed) {
  struct Case {
    const char* what;
    Site site;
    const char* code;         // the first finding
    std::vector<int> points;  // its points
    Verdict verdict;
    size_t findings;  // how many in all
  };
  using Alter =
      void (*)(std::vector<double>*, std::vector<double>*, RunInputs*);
  auto site = [](Alter alter, int n = 8) {
    Site s;
    s.alter = alter;
    s.points = n;
    return s;
  };
  Site xinjiang;
  xinjiang.lon_deg = 87.6;
  xinjiang.lat_deg = 43.8;
  xinjiang.zone_cm_deg = 87.0;
  Site targets_lat_first = xinjiang, base_lat_first = xinjiang;
  targets_lat_first.alter = [](std::vector<double>*, std::vector<double>* des,
                               RunInputs*) {
    for (size_t i = 0; i + 2 < des->size(); i += 3) {
      std::swap((*des)[i], (*des)[i + 1]);
    }
  };
  base_lat_first.alter = [](std::vector<double>*, std::vector<double>*,
                            RunInputs* in) {
    in->basepoint = "43.7980000000,87.6010000000";
  };
  Site far = site([](std::vector<double>*, std::vector<double>*,
                     RunInputs* in) { in->basepoint = "117.9,39.1"; });
  Site shifted =
      site([](std::vector<double>* src, std::vector<double>*, RunInputs*) {
        std::rotate(src->begin(), src->begin() + 3, src->end());
      });
  shifted.flat = true;
  Site road = site(nullptr);  // 400 m along a road, 1.2 m across
  road.across = 0.003;
  // Seven points within 100 m and one 1.5 km away, 0.3 m off: the fit
  // follows it, and only leaving it out, or the drawing's grid, shows its
  // error.
  Site lever =
      site([](std::vector<double>* src, std::vector<double>*, RunInputs*) {
        (*src)[7 * 3] += 0.18;
        (*src)[7 * 3 + 1] += 0.24;
      });
  lever.size_m = 100.0;
  lever.far_point_m = 1500.0;
  Site scaled =
      site([](std::vector<double>* src, std::vector<double>*, RunInputs*) {
        for (size_t i = 0; i + 2 < src->size(); i += 3) {
          (*src)[i] = 39500000.0 + ((*src)[i] - 39500000.0) * 1.05;
          (*src)[i + 1] *= 1.05;
        }
      });
  Site dms = At(116.40, 39.90, 117, 4, 300, 30);
  dms.alter = [](std::vector<double>*, std::vector<double>* des, RunInputs*) {
    for (size_t i = 0; i + 2 < des->size(); i += 3) {
      (*des)[i] = AsSurveyorsDms((*des)[i]);
      (*des)[i + 1] = AsSurveyorsDms((*des)[i + 1]);
    }
  };
  Site base_dms = At(116.40, 39.90, 117, 4, 600, 45);
  base_dms.alter = [](std::vector<double>*, std::vector<double>*,
                      RunInputs* in) { in->basepoint = "116.24036,39.53528"; };
  Site web_map;
  web_map.web_map = true;
  Site stalled;
  stalled.fitted = [](SimilarityFit* fit) {
    fit->solver.termination = "NO_CONVERGENCE";
  };
  Site unlocated = At(116.40, 39.90, 117, 3, 500, 600);
  unlocated.grid = true;
  unlocated.alter = [](std::vector<double>* src, std::vector<double>*,
                       RunInputs*) { (*src)[0] += 5.0; };
  Site ignored = site([](std::vector<double>*, std::vector<double>* des,
                         RunInputs*) { des->push_back(116.302); });
  Site zone = At(116.40, 39.90, 117, 8, 800, 1);
  zone.alter = [](std::vector<double>* src, std::vector<double>*, RunInputs*) {
    (*src)[3 * 3] -= 39e6;
  };
  Site swapped = At(113.26, 23.13, 114, 5, 700, 51);
  swapped.alter = [](std::vector<double>* src, std::vector<double>*,
                     RunInputs*) { std::swap((*src)[6], (*src)[7]); };
  Site amap = At(108.94, 34.34, 108, 6, 900, 52);
  amap.alter = [](std::vector<double>*, std::vector<double>* des, RunInputs*) {
    const Point2 shown = Wgs84ToGcj02((*des)[3], (*des)[4]);
    (*des)[3] = shown.x;
    (*des)[4] = shown.y;
  };
  Site cad_lever = lever;  // no grid to check the far point
  cad_lever.grid = true;
  Site coarse = At(116.40, 39.90, 117, 3, 400, 100);
  coarse.target_noise_m = 0.2;
  Site distorted = At(118.4, 39.1, 117, 12, 20000, 1);
  Site checked = site(nullptr, 9);  // K9 a check point 0.5 m off
  checked.prepared = [](ControlPoints* p) {
    p->source[8].x += 0.5;
    AsTable(p, 1);
  };
  // A scene made in zone 39 (EPSG:4527, zone number in front): its WKT
  // moved to a city meridian under the zone's tag; or the drawing carrying
  // zone 39's numbers while turned half a degree off the grid.
  Site scene_tag = site(nullptr);
  scene_tag.scene_srs =
      "PROJCS[\"CGCS2000 / city grid\",GEOGCS[\"China Geodetic Coordinate "
      "System 2000\",DATUM[\"China_2000\",SPHEROID[\"CGCS2000\",6378137,"
      "298.257222101]],PRIMEM[\"Greenwich\",0],UNIT[\"degree\","
      "0.0174532925199433]],PROJECTION[\"Transverse_Mercator\"],PARAMETER["
      "\"latitude_of_origin\",0],PARAMETER[\"central_meridian\",116.5],"
      "PARAMETER[\"scale_factor\",1],PARAMETER[\"false_easting\",39500000],"
      "PARAMETER[\"false_northing\",0],UNIT[\"metre\",1],AUTHORITY[\"EPSG\","
      "\"4527\"]]";
  scene_tag.scene_origin = Point3{39500000.0, 4330000.0, 0.0};
  Site scene_turned = site(nullptr);
  scene_turned.rotation_deg = 0.5;
  scene_turned.scene_srs = "EPSG:4527";
  scene_turned.scene_origin = Point3{39517000.0, 4330000.0, 0.0};
  // Clean: the drawing in zone 39's grid, the scene in UTM 50 N on the same
  // meridian (another grid, 400 ppm smaller); and a broken fit in the
  // scene's zone, whose matrix says nothing of the grid.
  Site scene_utm = site(nullptr);
  scene_utm.scene_srs = "EPSG:32650";
  scene_utm.scene_origin = Point3{517000.0, 4330000.0, 0.0};
  Site scene_axes =
      site([](std::vector<double>* src, std::vector<double>*, RunInputs*) {
        for (size_t i = 0; i + 2 < src->size(); i += 3) {
          std::swap((*src)[i], (*src)[i + 1]);
        }
      });
  scene_axes.scene_srs = "EPSG:4527";
  scene_axes.scene_origin = Point3{39517000.0, 4330000.0, 0.0};
  const Case cases[] = {
      {"UTM scene on the drawing's meridian",
       scene_utm,
       nullptr,
       {},
       Verdict::kGood,
       0},
      {"x and y exchanged in the scene's zone",
       scene_axes,
       "exchanged_axes",
       {},
       Verdict::kBad,
       1},
      {"scene's WKT off its tag",
       scene_tag,
       "scene_srs_tag",
       {},
       Verdict::kCheck,
       1},
      {"drawing in the scene's zone, turned",
       scene_turned,
       "scene_grid_mismatch",
       {},
       Verdict::kCheck,
       1},
      {"targets as d.mmss", dms, "dms_as_decimal", {}, Verdict::kBad, 1},
      {"base point as d.mmss",
       base_dms,
       "base_point_reading",
       {},
       Verdict::kBad,
       1},
      {"GCJ-02 targets", web_map, "web_map_coordinates", {}, Verdict::kBad, 1},
      {"no convergence", stalled, "not_converged", {}, Verdict::kBad, 1},
      {"3 points of a CAD grid, one 5 m off",
       unlocated,
       "blunder_unlocated",
       {1, 2, 3},
       Verdict::kBad,
       2},
      {"a number after the last target",
       ignored,
       "ignored_input",
       {},
       Verdict::kBad,
       1},
      {"zone number missing", zone, "zone_number", {4}, Verdict::kCheck, 1},
      {"x and y of one point",
       swapped,
       "swapped_point",
       {3},
       Verdict::kCheck,
       1},
      {"one target from Amap", amap, "web_map_point", {2}, Verdict::kCheck, 1},
      {"far point of a CAD grid holds the fit",
       cad_lever,
       "leverage",
       {8},
       Verdict::kCheck,
       1},
      {"orthophoto picks", coarse, "coarse_points", {}, Verdict::kCheck, 1},
      {"20 km site",
       distorted,
       "projection_distortion",
       {},
       Verdict::kCheck,
       1},
      {"check point 0.5 m off",
       checked,
       "check_point_off",
       {9},
       Verdict::kCheck,
       1},
      {"outlier",
       site([](std::vector<double>* src, std::vector<double>*, RunInputs*) {
         (*src)[2 * 3] += 0.4;
         (*src)[2 * 3 + 1] -= 0.3;
       }),
       "outlier",
       {3},
       Verdict::kCheck,
       1},
      {"slip in an easting",
       site([](std::vector<double>* src, std::vector<double>*, RunInputs*) {
         (*src)[2 * 3] += 0.5;
       }),
       "coordinate_slip",
       {3},
       Verdict::kCheck,
       1},
      {"large deviation",
       site([](std::vector<double>* src, std::vector<double>*, RunInputs*) {
         (*src)[4 * 3 + 1] += 0.13;
       }),
       "large_deviation",
       {5},
       Verdict::kCheck,
       1},
      {"x and y exchanged",
       site([](std::vector<double>* src, std::vector<double>*, RunInputs*) {
         for (size_t i = 0; i + 2 < src->size(); i += 3) {
           std::swap((*src)[i], (*src)[i + 1]);
         }
       }),
       "exchanged_axes",
       {},
       Verdict::kBad,
       1},
      {"targets latitude first",
       targets_lat_first,
       "exchanged_lon_lat",
       {},
       Verdict::kBad,
       1},
      {"base point latitude first",
       base_lat_first,
       "exchanged_lon_lat",
       {},
       Verdict::kBad,
       1},
      {"targets 3 and 4 exchanged",
       site([](std::vector<double>* src, std::vector<double>*, RunInputs*) {
         for (int k = 0; k < 3; ++k) std::swap((*src)[6 + k], (*src)[9 + k]);
       }),
       "exchanged_pairs",
       {3, 4},
       Verdict::kCheck,
       1},
      {"lists shifted by one",
       shifted,
       "most_points_outliers",
       {},
       Verdict::kBad,
       1},
      {"all at one place",
       site([](std::vector<double>* src, std::vector<double>*, RunInputs*) {
         for (size_t i = 3; i < src->size(); ++i) (*src)[i] = (*src)[i % 3];
       }),
       "rank_deficient",
       {},
       Verdict::kBad,
       1},
      {"far point holds the fit",
       lever,
       "grid_mismatch",
       {8},
       Verdict::kBad,
       1},
      {"two points", site(nullptr, 2), "no_redundancy", {}, Verdict::kCheck, 1},
      {"on one line", road, "collinear", {}, Verdict::kCheck, 1},
      {"base point 60 km away",
       far,
       "far_from_base",
       {1, 2, 3, 4, 5, 6, 7, 8},
       Verdict::kCheck,
       1},
      {"drawing 5 % too large",
       scaled,
       "unusual_scale",
       {},
       Verdict::kCheck,
       1},
      {"height blunder",
       site([](std::vector<double>* src, std::vector<double>*, RunInputs*) {
         (*src)[5 * 3 + 2] += 0.3;
       }),
       "height_off_lift",
       {6},
       Verdict::kCheck,
       1},
  };
  // Every code has its case.
#define GEOANCHOR_CODE_NAME(code, name, ...) name,
  for (const char* code : {GEOANCHOR_DIAGNOSIS_RULES(GEOANCHOR_CODE_NAME)}) {
#undef GEOANCHOR_CODE_NAME
    EXPECT_TRUE(std::any_of(std::begin(cases), std::end(cases),
                            [&](const Case& c) {
                              return c.code != nullptr &&
                                     std::string(c.code) == code;
                            }))
        << code << " has no case";
  }
  for (const Case& c : cases) {
    const Outcome o = Survey(c.site);
    ASSERT_TRUE(o.prepared) << c.what;
    const std::string all = Describe(o.full);
    EXPECT_EQ(c.verdict, o.full.verdict) << c.what << ": " << all;
    if (c.code == nullptr) continue;
    ASSERT_EQ(c.findings, o.full.findings.size()) << c.what << ": " << all;
    EXPECT_STREQ(c.code, FindingCodeName(o.full.findings[0].code))
        << c.what << ": " << all;
    EXPECT_EQ(c.points, o.full.findings[0].points) << c.what;
    // The findings but the report-only ones come out the same without the
    // report, and only they.
    std::vector<std::string> every_run, without_report;
    for (const Finding& f : o.full.findings) {
      if (!f.report_only) every_run.push_back(f.message.en);
    }
    for (const Finding& f : o.verdict_only.findings) {
      without_report.push_back(f.message.en);
    }
    EXPECT_EQ(every_run, without_report) << c.what;
  }
}

// The drawing's easting and northing as the user's table names them: a
// surveyors' table's Y坐标 is the easting and X坐标 the northing; without
// a table, the words for them.
TEST(DiagnosisTest, MessagesNameTheAxesAsTheTableDoes) {
  struct Case {
    const char* what;
    Site site;
    const char* code;
    std::vector<std::string> en, zh;  // fragments of its message
  };
  const auto missing_zone = [](std::vector<double>* src, std::vector<double>*,
                               RunInputs*) { (*src)[3 * 3] -= 39e6; };
  const auto northing_slip = [](std::vector<double>* src, std::vector<double>*,
                                RunInputs*) { (*src)[1 * 3 + 1] += 9.0; };
  const auto surveyors_table = [](ControlPoints* p) {
    AsTable(p, 0, "Y坐标", "X坐标");
  };
  Site zone = At(116.40, 39.90, 117, 8, 800, 1);
  zone.alter = missing_zone;
  Site zone_table = zone;
  zone_table.prepared = surveyors_table;
  Site slip = At(121.47, 31.23, 120, 4, 600, 55);
  slip.alter = northing_slip;
  Site slip_table = slip;
  slip_table.prepared = surveyors_table;
  Site swapped = At(113.26, 23.13, 114, 5, 700, 51);
  swapped.alter = [](std::vector<double>* src, std::vector<double>*,
                     RunInputs*) { std::swap((*src)[6], (*src)[7]); };
  Site swapped_table = swapped;
  swapped_table.prepared = surveyors_table;
  const Case cases[] = {
      {"zone number missing, flags",
       zone,
       "zone_number",
       {"point 4's easting 448", "lacks the zone number 39: write 39"},
       {"点 4 的东坐标 448", "缺少带号 39，应写为 39"}},
      {"zone number missing, surveyors' table",
       zone_table,
       "zone_number",
       {"point K4's Y坐标 448", "lacks the zone number 39: write 39"},
       {"点 K4 的Y坐标 448", "缺少带号 39，应写为 39"}},
      {"northing slip, flags",
       slip,
       "coordinate_slip",
       {"point 2's northing ", "and its easting agrees: check the northing"},
       {"点 2 的北坐标 ", "其东坐标相符：请检查北坐标"}},
      {"northing slip, surveyors' table",
       slip_table,
       "coordinate_slip",
       {"point K2's X坐标 ", "and its Y坐标 agrees: check the X坐标"},
       {"点 K2 的X坐标 ", "其Y坐标相符：请检查X坐标"}},
      {"one point's axes exchanged, flags",
       swapped,
       "swapped_point",
       {"point 3's x and y are exchanged", "write the point easting first"},
       {"点 3 的 x 与 y 互换了", "应先写东坐标"}},
      {"one point's axes exchanged, surveyors' table",
       swapped_table,
       "swapped_point",
       {"point K3's Y坐标 and X坐标 are exchanged", "so write its Y坐标 "},
       {"点 K3 的Y坐标与X坐标互换了", "应写Y坐标 "}},
  };
  for (const Case& c : cases) {
    const Outcome o = Survey(c.site);
    ASSERT_TRUE(o.prepared) << c.what;
    const Finding* found = nullptr;
    for (const Finding& f : o.full.findings) {
      if (FindingCodeName(f.code) == std::string(c.code)) found = &f;
    }
    ASSERT_NE(nullptr, found) << c.what << ": " << Describe(o.full);
    for (const std::string& en : c.en) {
      EXPECT_NE(std::string::npos, found->message.en.find(en))
          << c.what << ": " << found->message.en;
    }
    for (const std::string& zh : c.zh) {
      EXPECT_NE(std::string::npos, found->message.zh.find(zh))
          << c.what << ": " << found->message.zh;
    }
  }
}

// Mistakes that only the points' absolute positions show: targets read
// off a Chinese web map, slips of the zone number, an exchanged pair on a
// 30 km site; and the quiet cases beside them.
TEST(DiagnosisTest, AbsolutePositionMistakes) {
  struct City {
    double lon_deg, lat_deg, zone_cm_deg;
  };
  const City beijing{116.40, 39.90, 117.0}, shanghai{121.47, 31.23, 120.0},
      urumqi{87.60, 43.80, 87.0}, kunming{102.71, 25.04, 102.0};
  auto at = [](const City& c, double size_m) {
    Site s;
    s.lon_deg = c.lon_deg;
    s.lat_deg = c.lat_deg;
    s.zone_cm_deg = c.zone_cm_deg;
    s.size_m = size_m;
    return s;
  };
  struct Case {
    const char* what;
    Site site;
    const char* code;  // the one finding expected; nullptr: none
    std::vector<int> points;
    const char* fragment;  // of its message
    int epsg;              // the report's projection
  };
  std::vector<Case> cases;
  for (const City& c : {beijing, shanghai, urumqi, kunming}) {
    Site gcj = at(c, 400.0 + 1500.0 * (c.lat_deg > 35));
    gcj.web_map = true;
    const int epsg = 4513 + static_cast<int>(c.zone_cm_deg / 3.0) - 25;
    cases.push_back({"GCJ-02", gcj, "web_map_coordinates", {}, "GCJ-02", epsg});
    Site bd = gcj;
    bd.web_map_datum = WebMapDatum::kBd09;
    bd.size_m = 6000.0;
    bd.points = 10;
    cases.push_back({"BD-09", bd, "web_map_coordinates", {}, "BD-09", epsg});
  }
  Site missing = at(beijing, 800.0);
  missing.alter = [](std::vector<double>* src, std::vector<double>*,
                     RunInputs*) { (*src)[3 * 3] -= 39e6; };
  cases.push_back({"zone number missing",
                   missing,
                   "zone_number",
                   {4},
                   "lacks the zone number 39: write 39",
                   4527});
  // Point 6 computed in zone 40 (central meridian 120 E), with its number.
  Site neighbour = at(beijing, 800.0);
  neighbour.alter = [](std::vector<double>* src, std::vector<double>* des,
                       RunInputs*) {
    const GeographicLib::TransverseMercator tm(6378137.0, 1 / 298.257222101,
                                               1.0);
    double x, y;
    tm.Forward(120.0, (*des)[5 * 3 + 1], (*des)[5 * 3], x, y);
    (*src)[5 * 3] = 40e6 + 500000.0 + x;
    (*src)[5 * 3 + 1] = y;
  };
  cases.push_back({"neighbouring zone",
                   neighbour,
                   "zone_number",
                   {6},
                   "are zone 40's, the neighbouring zone",
                   4527});
  Site added = at(beijing, 800.0);
  added.alter = [](std::vector<double>* src, std::vector<double>*, RunInputs*) {
    for (size_t i = 0; i + 2 < src->size(); i += 3) {
      if (i != 2 * 3) (*src)[i] -= 39e6;
    }
  };
  cases.push_back({"zone number added",
                   added,
                   "zone_number",
                   {3},
                   "holds the zone number 39",
                   4548});
  Site big = at(beijing, 30000.0);
  big.points = 12;
  big.lon_deg = 118.3;  // 1.3 degrees off the meridian
  big.alter = [](std::vector<double>*, std::vector<double>* des, RunInputs*) {
    for (int k = 0; k < 3; ++k) std::swap((*des)[6 + k], (*des)[15 + k]);
  };
  cases.push_back(
      {"exchanged on 30 km", big, "exchanged_pairs", {3, 6}, "exchange", 4527});
  cases.push_back(
      {"WGS84 targets", at(shanghai, 1500.0), nullptr, {}, "", 4528});
  Site grid = at(beijing, 800.0);
  grid.grid = true;
  grid.web_map = true;
  cases.push_back({"grid drawing, GCJ-02 targets", grid, nullptr, {}, "", 0});
  Site berlin = at(City{13.40, 52.52, 15.0}, 2000.0);
  berlin.utm = true;
  berlin.web_map = true;  // outside China the web maps show WGS84
  cases.push_back({"Berlin, UTM", berlin, nullptr, {}, "", 32633});

  for (const Case& c : cases) {
    const Outcome o = Survey(c.site);
    ASSERT_TRUE(o.prepared) << c.what;
    const std::string all = Describe(o.full);
    EXPECT_EQ(c.epsg, o.full.survey.projection.epsg) << c.what << ": " << all;
    std::vector<const Finding*> found;
    for (const Finding& f : o.full.findings) {
      // A big site's distortion is no mistake of this table's.
      if (f.code != FindingCode::kProjectionDistortion) found.push_back(&f);
    }
    if (c.code == nullptr) {
      EXPECT_TRUE(found.empty()) << c.what << ": " << all;
      continue;
    }
    ASSERT_EQ(1u, found.size()) << c.what << ": " << all;
    EXPECT_STREQ(c.code, FindingCodeName(found[0]->code))
        << c.what << ": " << all;
    EXPECT_EQ(c.points, found[0]->points) << c.what << ": " << all;
    EXPECT_NE(std::string::npos, found[0]->message.en.find(c.fragment))
        << c.what << ": " << found[0]->message.en;
  }
}

// A 20 km site 1.4 degrees from its zone's central meridian: the
// projection's distortion makes decimetres of deviation, which the fit's
// own rule would call outliers. Judged by the survey, the clean site raises
// only projection_distortion, and a real 0.5 m blunder is still found at
// its own size. A 2 km site there is good.
TEST(DiagnosisTest, BigSitesJudgeTheSurvey) {
  Site big;
  big.lon_deg = 118.4;
  big.size_m = 20000.0;
  big.points = 12;
  const Outcome clean = Survey(big);
  ASSERT_TRUE(clean.prepared);
  size_t fit_outliers = 0;
  for (double w : clean.fit.weights) fit_outliers += w < kOutlierWeight;
  EXPECT_GT(fit_outliers, 0u);  // what the fit alone would flag
  EXPECT_EQ(4527, clean.full.survey.projection.epsg);
  ASSERT_EQ(1u, clean.full.findings.size()) << Describe(clean.full);
  EXPECT_STREQ("projection_distortion",
               FindingCodeName(clean.full.findings[0].code));
  EXPECT_EQ(Verdict::kCheck, clean.full.verdict);
  EXPECT_TRUE(clean.verdict_only.findings.empty());
  // The table: 30.9 cm for the best similarity at 20 km; this
  // matrix is fitted to 12 points only (the module's tests compare it
  // with an independent computation).
  EXPECT_GT(clean.full.hold.matrix_error_m, 0.25);
  EXPECT_LT(clean.full.hold.matrix_error_m, 0.45);

  Site blunder = big;
  blunder.alter = [](std::vector<double>* src, std::vector<double>*,
                     RunInputs*) { (*src)[4 * 3] += 0.5; };
  const Outcome o = Survey(blunder);
  ASSERT_EQ(2u, o.full.findings.size()) << Describe(o.full);
  // The outlier named with its cause: its easting alone is off.
  EXPECT_STREQ("coordinate_slip", FindingCodeName(o.full.findings[0].code));
  EXPECT_EQ(std::vector<int>{5}, o.full.findings[0].points);
  EXPECT_NEAR(0.5, o.full.survey.survey_m[4], 0.03);  // 2 mm noise, robust
  EXPECT_STREQ("projection_distortion",
               FindingCodeName(o.full.findings[1].code));

  Site small = big;
  small.size_m = 2000.0;
  EXPECT_EQ(Verdict::kGood, Survey(small).full.verdict);
}

// The solver's own word: a fit that did not converge is no solution,
// whatever its figures say.
TEST(DiagnosisTest, NotConvergedIsBad) {
  Outcome o = Survey(Site());
  o.fit.solver.termination = "NO_CONVERGENCE";
  o.fit.solver.iterations = 101;
  for (DiagnosisDepth depth :
       {DiagnosisDepth::kFull, DiagnosisDepth::kVerdict}) {
    const Diagnosis d = Diagnosed(o.points, o.fit, 0.0, depth);
    ASSERT_EQ(1u, d.findings.size()) << Describe(d);
    EXPECT_STREQ("not_converged", FindingCodeName(d.findings[0].code));
    EXPECT_EQ(Verdict::kBad, d.verdict);
    EXPECT_NE(std::string::npos,
              d.findings[0].message.en.find("NO_CONVERGENCE after 101"));
  }
}

// The per-point rules on a fit made by hand: points at the corners of a
// 100 m square and its centre, deviations as given, weights as the Cauchy
// loss gives them (1 / (1 + (r / 0.05)^2), by hand), check residuals equal
// to the deviations unless a case sets them.
TEST(DiagnosisTest, PointRulesAndTheirFigures) {
  struct Case {
    const char* what;
    std::vector<Point2> deviations;
    void (*change)(SimilarityFit*);
    std::vector<std::string> expected;  // a fragment of each message
  };
  const Case cases[] = {
      {"all well",
       {{0.01, 0}, {0, -0.02}, {0.005, 0.005}, {0, 0}, {0, 0}},
       nullptr,
       {}},
      // 0.12 m: weight 0.148, not an outlier; 0.5 m is one (0.0099).
      {"big but unflagged",
       {{0.12, 0}, {0, 0.5}, {0.01, 0}, {0, 0}, {0, 0}},
       nullptr,
       {"point 1 deviates by 0.120 m but is not flagged",
        "point 2 deviates by 0.500 m and is an outlier"}},
      {"holds the solution",
       {{0.01, 0}, {0.02, 0}, {0, 0.01}, {0, 0}, {0, 0}},
       [](SimilarityFit* f) {
         f->quality.checks[2] = CheckResidual{true, 0.3, 0.4, 0.5};
       },
       {"point 3 deviates by 0.010 m but by 0.500 m when left out"}},
      {"check large but own deviation too",
       {{0.01, 0}, {0.02, 0}, {0, 0.09}, {0, 0}, {0, 0}},
       [](SimilarityFit* f) {
         f->quality.checks[2] = CheckResidual{true, 0.0, 0.15, 0.15};
       },
       {}},  // 0.09 m is not below half of 0.15 m
      // Every digit of a distance beyond any drawing (Python's
      // "%.3f" % 1e100), and words for an overflow.
      {"beyond any drawing",
       {{1e100, 0}, {INFINITY, 0}, {0, 0}, {0, 0}, {0, 0}},
       nullptr,
       {"point 1 deviates by 10000000000000000159028911097599180468360808563"
        "945281389781327557747838772170381060813469985856815104.000 m",
        "points 1 and 2 lie up to more than 1e308 m from the base point",
        "point 2 deviates by more than 1e308 m"}},
  };
  for (const Case& c : cases) {
    ControlPoints points;
    points.base_point = Point3{116.3, 39.9, 0};
    points.source = {
        {0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {100, 100, 0}, {50, 50, 0}};
    // The fit is the identity: each target is its drawing point moved by
    // the deviation.
    for (size_t i = 0; i < points.source.size(); ++i) {
      const Point3& s = points.source[i];
      points.target.push_back(
          Point2{s.x + c.deviations[i].x, s.y + c.deviations[i].y});
      points.geodetic.push_back(Point3{116.3, 39.9, 0});
    }
    SimilarityFit fit;
    fit.solver.termination = "CONVERGENCE";
    fit.quality.computed = true;
    double sum_sq = 0.0;
    for (const Point2& d : c.deviations) {
      const double r = std::sqrt(d.x * d.x + d.y * d.y);
      fit.deviations.push_back(d);
      fit.residuals_m.push_back(r);
      fit.weights.push_back(1.0 / (1.0 + (r / 0.05) * (r / 0.05)));
      fit.quality.checks.push_back(CheckResidual{true, d.x, d.y, r});
      sum_sq += std::isfinite(r) ? r * r : 0.0;
    }
    fit.rms_m = std::sqrt(sum_sq / 5);
    fit.sigma0_m = std::sqrt(sum_sq / 6);
    if (c.change != nullptr) c.change(&fit);
    const Diagnosis d = Diagnosed(points, fit, 0.0, DiagnosisDepth::kFull);
    ASSERT_EQ(c.expected.size(), d.findings.size())
        << c.what << ": " << Describe(d);
    for (size_t i = 0; i < c.expected.size(); ++i) {
      EXPECT_NE(std::string::npos, d.findings[i].message.en.find(c.expected[i]))
          << c.what << ": " << d.findings[i].message.en;
    }
  }
}

TEST(DiagnosisTest, DrawingUnits) {
  // 1 US survey foot = 1200/3937 m (NIST); 1 in = 0.0254 m exactly.
  const std::pair<double, const char*> cases[] = {
      {0.99987, "m"},   {-1.0, "m"},    {0.001, "mm"},
      {0.001009, "mm"}, {0.0102, ""},   {1200.0 / 3937.0, "ft"},
      {0.0254, "in"},   {1000.0, "km"}, {0.1, "dm"},
      {0.01, "cm"},     {0.89, ""},     {0.5, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, DrawingUnits(c.first));
}

}  // namespace

}  // namespace geoanchor
