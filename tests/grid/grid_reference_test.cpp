// The drawing's national grid as the judge of small jobs: sites made with
// GeographicLib (survey_site.h) in their CGCS2000 Gauss-Krueger or UTM
// grid, in an old datum, in a local system or a plain CAD grid, with and
// without a mistake, run through the tool's own preparation, fit and
// diagnosis.
#include "grid/grid_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "tests/diagnosis/survey_site.h"

namespace geoanchor {

namespace {

using Alter =
    std::function<void(std::vector<double>*, std::vector<double>*, RunInputs*)>;

// The drawing carried by an old datum: shifted by (east_m, north_m) and
// scaled by `ppm` about its first point.
Alter OldDatum(double east_m, double north_m, double ppm) {
  return [=](std::vector<double>* src, std::vector<double>*, RunInputs*) {
    const double x0 = (*src)[0], y0 = (*src)[1];
    for (size_t i = 0; i + 2 < src->size(); i += 3) {
      (*src)[i] = x0 + ((*src)[i] - x0) * (1 + ppm * 1e-6) + east_m;
      (*src)[i + 1] = y0 + ((*src)[i + 1] - y0) * (1 + ppm * 1e-6) + north_m;
    }
  };
}

// 116.40 degrees written as the surveyors' 116.24 (116 deg 24').
double AsSurveyorsDms(double deg) {
  const double d = std::floor(deg);
  const double minutes = (deg - d) * 60.0;
  const double m = std::floor(minutes);
  return d + m / 100.0 + (minutes - m) * 60.0 / 10000.0;
}

Alter TargetsAsDms() {
  return [](std::vector<double>*, std::vector<double>* des, RunInputs*) {
    for (size_t i = 0; i + 2 < des->size(); i += 3) {
      (*des)[i] = AsSurveyorsDms((*des)[i]);
      (*des)[i + 1] = AsSurveyorsDms((*des)[i + 1]);
    }
  };
}

// Point `point` (from 0) moved by (dx, dy) metres in the drawing.
Alter Moved(int point, double dx, double dy) {
  return [=](std::vector<double>* src, std::vector<double>*, RunInputs*) {
    (*src)[3 * point] += dx;
    (*src)[3 * point + 1] += dy;
  };
}

bool Has(const Diagnosis& d, const char* code) {
  return std::any_of(d.findings.begin(), d.findings.end(),
                     [&](const Finding& f) {
                       return std::string(FindingCodeName(f.code)) == code;
                     });
}

// Jobs the grid must leave as they were: clean RTK surveys (at Lhasa's
// 3650 m too, where the height alone is 573 ppm of scale), old datums,
// compensation surfaces and local systems that look like a zone's numbers,
// a CAD grid and a site in Europe.
TEST(GridReferenceTest, QuietJobs) {
  struct Row {
    const char* name;
    Site site;
    bool in_grid;
    int epsg;  // the grid found; 0: none
  };
  std::vector<Row> rows;
  rows.push_back(
      {"Beijing, 3 points", At(116.40, 39.90, 117, 3, 500, 1), true, 4527});
  rows.push_back(
      {"Shanghai, 2 points", At(121.47, 31.23, 120, 2, 800, 2), true, 4528});
  Site lhasa = At(91.13, 29.65, 90, 4, 600, 3);
  lhasa.height_m = 3650.0;
  rows.push_back({"Lhasa at 3650 m, 4 points", lhasa, true, 4518});
  Site urumqi = At(87.60, 43.80, 87, 8, 1500, 4);
  urumqi.mode = 0;
  rows.push_back({"Urumqi, pairs", urumqi, true, 4517});
  Site beijing54 = At(116.40, 39.90, 117, 5, 1200, 5);
  beijing54.alter = OldDatum(45.2, -63.7, -9.0);
  rows.push_back({"Beijing 1954", beijing54, true, 4527});
  Site xian80 = At(108.94, 34.34, 108, 3, 700, 6);
  xian80.alter = OldDatum(-28.0, 17.5, 4.0);
  rows.push_back({"Xi'an 1980, 3 points", xian80, true, 4524});
  Site turned = At(113.26, 23.13, 114, 6, 900, 7);
  turned.rotation_deg = 0.5;
  rows.push_back({"local system turned 0.5 deg", turned, false, 0});
  Site shifted = At(113.26, 23.13, 114, 2, 900, 8);
  shifted.alter = OldDatum(2500.0, -400.0, 0.0);
  rows.push_back({"local system 2.5 km off, 2 points", shifted, false, 0});
  Site surface = At(104.07, 30.67, 105, 8, 1000, 9);
  surface.alter = OldDatum(12.0, 0.0, 314.0);  // projected at 2000 m
  rows.push_back({"compensation surface", surface, false, 0});
  Site cad = At(126.63, 45.75, 126, 3, 400, 10);
  cad.grid = true;
  rows.push_back({"CAD grid", cad, false, 0});
  Site europe = At(10.0, 50.0, 9, 4, 600, 11);
  europe.utm = true;
  rows.push_back({"Germany, UTM", europe, true, 32632});

  Site city = At(121.47, 31.23, 120, 5, 900, 12);
  city.alter = [](std::vector<double>*, std::vector<double>*, RunInputs* in) {
    in->basepoint = "121.62,31.28";  // a city-wide scene, 15 km away
  };
  rows.push_back({"base point 15 km away", city, true, 4528});

  for (const Row& row : rows) {
    const Outcome o = Survey(row.site);
    ASSERT_TRUE(o.prepared) << row.name;
    EXPECT_FALSE(Has(o.full, "base_point_reading")) << row.name;
    EXPECT_EQ(row.in_grid, o.full.grid.in_grid) << row.name;
    EXPECT_EQ(row.epsg, o.full.grid.grid.epsg) << row.name;
    for (const char* code : {"grid_mismatch", "dms_as_decimal", "outlier",
                             "blunder_unlocated", "leverage"}) {
      EXPECT_FALSE(Has(o.full, code)) << row.name << ": " << Describe(o.full);
    }
    EXPECT_NE(Verdict::kBad, o.full.verdict) << row.name;
    if (row.in_grid) {
      // The fit's own scale and angle are the grid's, within a few ppm of
      // the survey's noise and the datum's scale.
      EXPECT_NEAR(o.full.grid.K, std::fabs(o.fit.similarity.K()), 6e-5)
          << row.name;
      EXPECT_NEAR(o.full.grid.angle_rad, o.fit.similarity.angle_rad(), 6e-5)
          << row.name;
      for (bool wrong : o.full.grid.wrong) EXPECT_FALSE(wrong) << row.name;
    }
  }
}

// Small jobs whose matrix the points alone cannot judge. Expected: the
// verdict, the finding that names the mistake and its points.
TEST(GridReferenceTest, SmallJobsWithAMistake) {
  struct Row {
    const char* name;
    Site site;
    Verdict verdict;
    const char* code;
    std::vector<int> points;
  };
  std::vector<Row> rows;
  Site two = At(117.2, 39.1, 117, 2, 800, 21);
  two.alter = Moved(1, 21.0, 0.0);
  rows.push_back({"2 points, one mistyped by 21 m",
                  two,
                  Verdict::kBad,
                  "grid_mismatch",
                  {2}});
  Site both = At(113.26, 23.13, 114, 2, 600, 22);
  both.alter = [](std::vector<double>* src, std::vector<double>* des,
                  RunInputs* in) {
    Moved(0, 0.9, 0.0)(src, des, in);
    Moved(1, -0.9, 0.0)(src, des, in);
  };
  rows.push_back({"2 points, each 0.9 m off",
                  both,
                  Verdict::kBad,
                  "grid_mismatch",
                  {1, 2}});
  for (int point = 0; point < 3; ++point) {
    Site three = At(116.40 + point, 39.90 - 3 * point, 117 + 3 * (point > 0), 3,
                    500, 23 + point);
    three.alter = Moved(point, 3.0, -4.0);
    rows.push_back({"3 points, one 5 m off",
                    three,
                    Verdict::kCheck,
                    "outlier",
                    {point + 1}});
  }
  for (int job = 0; job < 3; ++job) {
    Site dms =
        At(116.40 + 0.13 * job, 39.90, 117, 4 + job, 300 + 600 * job, 30 + job);
    dms.mode = job % 2;
    dms.alter = TargetsAsDms();
    rows.push_back(
        {"targets as d.mmss", dms, Verdict::kBad, "dms_as_decimal", {}});
  }

  for (int points = 3; points <= 4; ++points) {
    Site swapped = At(104.07, 30.67, 105, points, 600, 40 + points);
    swapped.alter = [](std::vector<double>* src, std::vector<double>*,
                       RunInputs*) {
      for (size_t i = 0; i + 2 < src->size(); i += 3) {
        std::swap((*src)[i], (*src)[i + 1]);
      }
    };
    rows.push_back(
        {"x and y swapped", swapped, Verdict::kBad, "exchanged_axes", {}});
  }
  // Web-map picks of 3 and 4 points; at Xining and Lanzhou GCJ-02 moves
  // WGS84 by only about 170 and 220 m, an old datum's size.
  const struct {
    double lon, lat, cm;
    int points;
    WebMapDatum datum;
  } web_maps[] = {{101.78, 36.62, 102, 4, WebMapDatum::kGcj02},
                  {103.83, 36.06, 105, 3, WebMapDatum::kGcj02},
                  {121.47, 31.23, 120, 4, WebMapDatum::kBd09},
                  {113.26, 23.13, 114, 3, WebMapDatum::kGcj02}};
  for (const auto& w : web_maps) {
    Site web = At(w.lon, w.lat, w.cm, w.points, 500, 60 + w.points);
    web.web_map = true;
    web.web_map_datum = w.datum;
    rows.push_back(
        {"web-map targets", web, Verdict::kBad, "web_map_coordinates", {}});
  }
  // A plain CAD grid has no grid to ask: a 300 m site within one minute,
  // K = 0.36 of metres.
  Site cad_dms = At(116.4025, 39.9042, 117, 4, 300, 70);
  cad_dms.grid = true;
  cad_dms.alter = TargetsAsDms();
  rows.push_back({"CAD grid, targets as d.mmss",
                  cad_dms,
                  Verdict::kBad,
                  "dms_as_decimal",
                  {}});
  Site base = At(116.40, 39.90, 117, 4, 600, 45);
  base.alter = [](std::vector<double>*, std::vector<double>*, RunInputs* in) {
    // 116.401, 39.898 written as 116°24'03.6", 39°53'52.8": 43 km off.
    in->basepoint = "116.24036,39.53528";
  };
  rows.push_back(
      {"base point as d.mmss", base, Verdict::kBad, "base_point_reading", {}});

  for (const Row& row : rows) {
    const Outcome o = Survey(row.site);
    ASSERT_TRUE(o.prepared) << row.name;
    EXPECT_EQ(row.verdict, o.full.verdict)
        << row.name << ": " << Describe(o.full);
    // Without a report the same bad verdict.
    if (row.verdict == Verdict::kBad) {
      EXPECT_EQ(row.verdict, o.verdict_only.verdict) << row.name;
    }
    ASSERT_FALSE(o.full.findings.empty()) << row.name;
    const Finding& first = o.full.findings[0];
    EXPECT_STREQ(row.code, FindingCodeName(first.code))
        << row.name << ": " << Describe(o.full);
    EXPECT_EQ(row.points, first.points) << row.name << ": " << Describe(o.full);
    EXPECT_FALSE(Has(o.full, "blunder_unlocated")) << row.name;
    EXPECT_FALSE(Has(o.full, "unusual_scale")) << row.name;
    if (row.verdict == Verdict::kCheck) {
      // The fit left the blunder out: the good points land where their
      // targets truly are.
      for (size_t i = 0; i < o.truth.size(); ++i) {
        if (static_cast<int>(i + 1) == row.points[0]) continue;
        const Point3& s = o.points.source[i];
        const double east = (s.x * std::cos(o.fit.similarity.angle_rad()) -
                             s.y * std::sin(o.fit.similarity.angle_rad())) *
                                o.fit.similarity.K() +
                            o.fit.similarity.A_m();
        const double north = (s.x * std::sin(o.fit.similarity.angle_rad()) +
                              s.y * std::cos(o.fit.similarity.angle_rad())) *
                                 o.fit.similarity.K() +
                             o.fit.similarity.B_m();
        EXPECT_NEAR(o.truth[i].x, east, 0.02) << row.name;
        EXPECT_NEAR(o.truth[i].y, north, 0.02) << row.name;
      }
    }
  }
}

// A point's grid deviation is its target's grid position minus its
// drawing point: PROJ (pyproj, EPSG:4527) puts 117.2 E, 39.1 N at
// 39517300.874, 4329624.672 in zone 39; the drawing point lies 0.5 m west
// and 0.3 m north of that.
TEST(GridReferenceTest, DeviationIsGridPositionMinusDrawingPoint) {
  ControlPoints points;
  points.mode = InputMode::kHeight;
  points.base_point = Point3{117.201, 39.098, 0};
  points.geodetic = {{117.2, 39.1, 20}};
  points.source = {{39517300.874 - 0.5, 4329624.672 + 0.3, 0}};
  const GridJudgement g = JudgeAgainstGrid(points, 0.02, 0.15);
  ASSERT_TRUE(g.in_grid);
  EXPECT_EQ(4527, g.grid.epsg);
  ASSERT_EQ(1u, g.deviation_m.size());
  EXPECT_NEAR(0.5, g.deviation_m[0].x, 0.001);
  EXPECT_NEAR(-0.3, g.deviation_m[0].y, 0.001);
  EXPECT_EQ("CGCS2000 3-degree Gauss-Kruger zone 39 (EPSG:4527)",
            GridName(g.grid).en);
}

}  // namespace

namespace {
// RMS distance, metres, between where `t` places the drawing points
// (all but `left_out`, from 0) and where their targets truly are.
double PlacementRmsM(const Outcome& o, const PlaneSimilarity& t,
                     int left_out = -1) {
  double sum_m2 = 0.0, n = 0.0;
  for (size_t i = 0; i < o.truth.size(); ++i) {
    if (static_cast<int>(i) == left_out) continue;
    const Point2 at = t.Apply({o.points.source[i].x, o.points.source[i].y});
    sum_m2 += (at.x - o.truth[i].x) * (at.x - o.truth[i].x) +
              (at.y - o.truth[i].y) * (at.y - o.truth[i].y);
    n += 1.0;
  }
  return std::sqrt(sum_m2 / n);
}

// Orthophoto picks (0.2 m a coordinate) in their grid, 3 to 5 points on
// sites of 400 to 900 m: the grid estimates their accuracy (every point
// counts, only the datum's shift is spent), no good point is called a
// blunder, and the fit places the drawing as least squares does.
TEST(GridReferenceTest, CoarsePicksAreFittedLikeLeastSquares) {
  double fit_sum_m = 0.0, ls_sum_m = 0.0;
  for (int job = 0; job < 30; ++job) {
    Site s = At(116.40 + 0.5 * (job % 5), 39.90 - job % 7,
                117 + (job % 5 > 1 ? 3 : 0), 3 + job % 3, 400 + 100 * (job % 6),
                100 + job);
    s.target_noise_m = 0.2;
    const Outcome o = Survey(s);
    ASSERT_TRUE(o.prepared);
    const std::string what = "job " + std::to_string(job) + ": ";
    EXPECT_TRUE(o.full.grid.in_grid) << what;
    EXPECT_EQ(Verdict::kCheck, o.full.verdict) << what << Describe(o.full);
    ASSERT_EQ(1u, o.full.findings.size()) << what << Describe(o.full);
    EXPECT_STREQ("coarse_points", FindingCodeName(o.full.findings[0].code));
    EXPECT_GE(o.full.point_accuracy_m, 0.4 * 0.2) << what;
    EXPECT_LE(o.full.point_accuracy_m, 2.5 * 0.2) << what;
    PlaneSimilarity ls;
    ASSERT_TRUE(FitClosedForm(PlanePoints(o.points.source), o.points.target, {},
                              0.0, &ls));
    fit_sum_m += PlacementRmsM(
        o, PlaneSimilarity::FromModel(
               o.fit.similarity.A_m(), o.fit.similarity.B_m(),
               o.fit.similarity.K(), o.fit.similarity.angle_rad()));
    ls_sum_m += PlacementRmsM(o, ls);
  }
  EXPECT_LE(fit_sum_m, 1.2 * ls_sum_m);
}

// A blunder of 1.5 to 3 m among 5 or 6 such picks is named, and the good
// points are placed within twice the least squares of the good points.
TEST(GridReferenceTest, ABlunderAmongCoarsePicksIsNamed) {
  for (int job = 0; job < 16; ++job) {
    Site s = At(116.40 + 0.5 * (job % 5), 39.90 - job % 7,
                117 + (job % 5 > 1 ? 3 : 0), 5 + job % 2, 400 + 100 * (job % 6),
                200 + job);
    s.target_noise_m = 0.2;
    const int bad = job % s.points;
    const double off_m = 1.5 + 0.1 * job, turn = 0.7 * job;
    s.alter = Moved(bad, off_m * std::cos(turn), off_m * std::sin(turn));
    const Outcome o = Survey(s);
    ASSERT_TRUE(o.prepared);
    const std::string what = "job " + std::to_string(job) + ": ";
    EXPECT_EQ(Verdict::kCheck, o.full.verdict) << what << Describe(o.full);
    bool named = false;
    for (const Finding& f : o.full.findings) {
      // An outlier, or its cause: here a slip in one coordinate.
      named = named || ((f.code == FindingCode::kOutlier ||
                         f.code == FindingCode::kCoordinateSlip) &&
                        f.points == std::vector<int>{bad + 1});
    }
    EXPECT_TRUE(named) << what << Describe(o.full);
    std::vector<double> w(o.points.source.size(), 1.0);
    w[static_cast<size_t>(bad)] = 0.0;
    PlaneSimilarity ls;
    ASSERT_TRUE(FitClosedForm(PlanePoints(o.points.source), o.points.target, w,
                              0.0, &ls));
    EXPECT_LE(
        PlacementRmsM(o,
                      PlaneSimilarity::FromModel(
                          o.fit.similarity.A_m(), o.fit.similarity.B_m(),
                          o.fit.similarity.K(), o.fit.similarity.angle_rad()),
                      bad),
        2.0 * PlacementRmsM(o, ls, bad))
        << what;
  }
}

// The same picks on a plain CAD grid, 3 and 4 points: nothing tells a
// blunder from coarse picks, so none is set aside (the fit is least
// squares), and one finding says so and names the --accuracy to give.
TEST(GridReferenceTest, WithoutAGridFewCoarsePicksAreNotSetAside) {
  for (int job = 0; job < 12; ++job) {
    Site s =
        At(113.26, 23.13, 114, 3 + job % 2, 500 + 100 * (job % 4), 300 + job);
    s.grid = true;
    s.target_noise_m = 0.2;
    const Outcome o = Survey(s);
    ASSERT_TRUE(o.prepared);
    const std::string what = "job " + std::to_string(job) + ": ";
    PlaneSimilarity ls;
    ASSERT_TRUE(FitClosedForm(PlanePoints(o.points.source), o.points.target, {},
                              0.0, &ls));
    const PlaneSimilarity fit = PlaneSimilarity::FromModel(
        o.fit.similarity.A_m(), o.fit.similarity.B_m(), o.fit.similarity.K(),
        o.fit.similarity.angle_rad());
    for (const Point3& p : o.points.source) {
      const Point2 a = fit.Apply({p.x, p.y}), b = ls.Apply({p.x, p.y});
      EXPECT_NEAR(a.x, b.x, 1e-3) << what;
      EXPECT_NEAR(a.y, b.y, 1e-3) << what;
    }
    if (o.fit.rms_m <= 0.1) continue;  // picks that happen to agree
    EXPECT_EQ(Verdict::kCheck, o.full.verdict) << what << Describe(o.full);
    ASSERT_EQ(1u, o.full.findings.size()) << what << Describe(o.full);
    EXPECT_NE(std::string::npos,
              o.full.findings[0].message.en.find("give --accuracy=0."))
        << what << Describe(o.full);
  }
}

// Four surveyed points of a CAD grid with a 1 m blunder: leaving it out
// leaves three that agree, so it is located (or, where leaving out another
// point does too, said to be unlocatable: bad), never taken for coarse
// picks and fitted into the matrix.
TEST(GridReferenceTest, WithoutAGridFourPointsLocateTheirBlunder) {
  for (int point = 0; point < 4; ++point) {
    Site s = At(113.26, 23.13, 114, 4, 500, 80 + point);
    s.grid = true;
    s.alter = Moved(point, 0.6, -0.8);
    const Outcome o = Survey(s);
    ASSERT_TRUE(o.prepared);
    EXPECT_FALSE(Has(o.full, "coarse_points")) << Describe(o.full);
    bool named = false;
    for (const Finding& f : o.full.findings) {
      named = named || (f.code == FindingCode::kOutlier &&
                        f.points == std::vector<int>{point + 1});
    }
    EXPECT_TRUE(named || (Has(o.full, "blunder_unlocated") &&
                          o.full.verdict == Verdict::kBad))
        << "point " << point + 1 << ": " << Describe(o.full);
  }
}

// One point's own mistake, named with its cause and what to write; the
// fit leaves the point out and the matrix holds, so the verdict is check.
TEST(GridReferenceTest, OnePointsMistakeIsNamedWithItsCause) {
  struct Row {
    const char* name;
    Site site;
    const char* code;
    int point;            // from 1
    const char* written;  // in the message
  };
  std::vector<Row> rows;
  Site swapped = At(113.26, 23.13, 114, 5, 700, 51);
  swapped.alter = [](std::vector<double>* src, std::vector<double>*,
                     RunInputs*) { std::swap((*src)[6], (*src)[7]); };
  rows.push_back(
      {"x and y of one point", swapped, "swapped_point", 3, "easting first"});
  Site amap = At(108.94, 34.34, 108, 6, 900, 52);
  amap.alter = [](std::vector<double>*, std::vector<double>* des, RunInputs*) {
    const Point2 shown = Wgs84ToGcj02((*des)[3], (*des)[4]);
    (*des)[3] = shown.x;
    (*des)[4] = shown.y;
  };
  rows.push_back({"one target from Amap", amap, "web_map_point", 2, "web map"});
  Site zone = At(123.43, 41.80, 123, 5, 800, 53);
  zone.alter = Moved(3, 1e6, 0.0);
  rows.push_back({"zone number 42 where the others have 41", zone,
                  "zone_number", 4, "where the drawing's is 41: write 41"});
  Site coarse = At(116.40, 39.90, 117, 5, 700, 54);
  coarse.target_noise_m = 0.2;
  coarse.alter = Moved(0, -39e6, 0.0);
  rows.push_back({"orthophoto picks, one easting without its zone number",
                  coarse, "zone_number", 1, "lacks the zone number 39"});
  Site slip = At(121.47, 31.23, 120, 4, 600, 55);
  slip.alter = Moved(1, 0.0, 9.0);
  rows.push_back(
      {"a slip in one northing", slip, "coordinate_slip", 2, "'s northing"});

  for (const Row& row : rows) {
    const Outcome o = Survey(row.site);
    ASSERT_TRUE(o.prepared) << row.name;
    EXPECT_EQ(Verdict::kCheck, o.full.verdict)
        << row.name << ": " << Describe(o.full);
    std::vector<const Finding*> named;
    for (const Finding& f : o.full.findings) {
      EXPECT_TRUE(f.points.empty() || f.points == std::vector<int>{row.point})
          << row.name << ": a good point named: " << Describe(o.full);
      if (FindingCodeName(f.code) == std::string(row.code)) named.push_back(&f);
    }
    ASSERT_EQ(1u, named.size()) << row.name << ": " << Describe(o.full);
    EXPECT_EQ(std::vector<int>{row.point}, named[0]->points) << row.name;
    EXPECT_NE(std::string::npos, named[0]->message.en.find(row.written))
        << row.name << ": " << named[0]->message.en;
    EXPECT_FALSE(Has(o.full, "outlier"))
        << row.name << ": " << Describe(o.full);
  }
}

}  // namespace

}  // namespace geoanchor
