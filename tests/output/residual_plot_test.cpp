#include "output/residual_plot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "common/numbers.h"
#include "fit/similarity_fit.h"
#include "tests/output/svg_reader.h"

namespace geoanchor {

namespace {

TEST(ResidualPlotTest, ArrowMagnificationIsTheNearestStep) {
  struct Case {
    double largest, target, expected;
  };
  // Hand calculations: the exact factor target / largest, then the nearest
  // of 1, 2, 5 x 10^k on a log scale (33333: log(50000/33333) = 0.41 is
  // nearer than log(33333/20000) = 0.51).
  const Case cases[] = {
      {0.005, 100.0, 20000.0}, {0.0049, 218.0, 50000.0},
      {0.003, 100.0, 50000.0}, {4.0, 10.0, 2.0},
      {8.0, 10.0, 1.0},        {0.0, 100.0, 1.0},
      {INFINITY, 1.0, 1.0},    {1.0, INFINITY, 1.0},
      {1e-310, 100.0, 1.0},  // 1e312 is beyond the doubles
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, ArrowMagnification(c.largest, c.target))
        << c.largest << " " << c.target;
  }
}

struct Scene {
  ControlPoints points;
  SimilarityFit fit;
};

// n drawing points over `extent` drawing units (K drawing units to the
// metre), a few millimetres of noise, and the listed points moved by 1.5 m:
// fitted with the quality figures, as a run with --plot does.
Scene MakeScene(int n, double extent, double K, std::vector<int> outliers,
                bool coincident = false) {
  Scene s;
  std::mt19937_64 rng(static_cast<uint64_t>(n));
  std::uniform_real_distribution<double> spot(-0.5, 0.5);
  std::normal_distribution<double> noise_m(0.0, 0.003);
  s.points.mode = InputMode::kPair;
  for (int i = 0; i < n; ++i) {
    const double x = coincident ? 0.0 : extent * spot(rng);
    const double y = coincident ? 0.0 : extent * spot(rng);
    s.points.source.push_back(Point3{500000.0 / K + x, 4400000.0 / K + y, 0});
    Point2 t{x * K * std::cos(0.2) - y * K * std::sin(0.2) + noise_m(rng),
             x * K * std::sin(0.2) + y * K * std::cos(0.2) + noise_m(rng)};
    if (std::find(outliers.begin(), outliers.end(), i) != outliers.end()) {
      t.x += 1.5;
    }
    s.points.target.push_back(t);
  }
  FitOptions options;
  options.quality = true;
  s.fit = FitSimilarity(s.points.source, s.points.target, 0.0, options);
  return s;
}

double Attribute(const SvgElement& e, const char* name) {
  const auto it = e.attributes.find(name);
  return it == e.attributes.end() ? NAN : std::atof(it->second.c_str());
}

// What every plot must be: well-formed, self-contained, one marker per
// point, outliers in red and red for nothing else.
void ExpectSoundPlot(const std::string& svg, const Scene& s,
                     const std::string& what) {
  const SvgDocument doc = ReadSvg(svg);
  ASSERT_TRUE(doc.well_formed) << what << ": " << doc.error;
  ASSERT_FALSE(doc.elements.empty());
  EXPECT_EQ("svg", doc.elements[0].name);
  EXPECT_EQ(1u, doc.elements[0].attributes.count("viewBox")) << what;
  const size_t n = s.points.source.size();
  size_t outliers = 0;
  for (double w : s.fit.weights) outliers += w < kOutlierWeight;

  for (const SvgElement& e : doc.elements) {
    EXPECT_NE("script", e.name) << what;
    EXPECT_NE("image", e.name) << what;
    EXPECT_NE("foreignObject", e.name) << what;
    for (const auto& [name, value] : e.attributes) {
      EXPECT_EQ(std::string::npos, name.find("href")) << what;
      if (name != "xmlns") {
        EXPECT_EQ(std::string::npos, value.find("http")) << what << " " << name;
      }
      // Only references inside the file: url(#id).
      for (size_t at = value.find("url("); at != std::string::npos;
           at = value.find("url(", at + 1)) {
        EXPECT_EQ('#', value[at + 4]) << what << " " << value;
      }
    }
    const bool red = (e.attributes.count("fill") &&
                      e.attributes.at("fill") == kOutlierColour) ||
                     (e.attributes.count("stroke") &&
                      e.attributes.at("stroke") == kOutlierColour);
    const bool outlier_class =
        e.attributes.count("class") &&
        (" " + e.attributes.at("class") + " ").find(" outlier ") !=
            std::string::npos;
    EXPECT_EQ(outlier_class, red)
        << what << ": <" << e.name << " class "
        << (e.attributes.count("class") ? e.attributes.at("class") : "");
  }

  if (n <= kMaxLabelledPoints) {
    EXPECT_EQ(n, doc.WithClass("marker").size()) << what;
    const std::vector<const SvgElement*> labels = doc.WithClass("label");
    ASSERT_EQ(n, labels.size()) << what;
    for (size_t i = 0; i < n; ++i) {
      EXPECT_EQ(std::to_string(i + 1), labels[i]->text) << what;
    }
  } else {
    EXPECT_TRUE(doc.WithClass("label").empty()) << what;
    const std::vector<const SvgElement*> compact = doc.WithClass("markers");
    ASSERT_EQ(1u, compact.size()) << what;
    const std::string& d = compact[0]->attributes.at("d");
    EXPECT_EQ(n - outliers,
              static_cast<size_t>(std::count(d.begin(), d.end(), 'M')))
        << what;
  }
  size_t red_markers = 0;
  for (const SvgElement* e : doc.WithClass("marker")) {
    red_markers += e->attributes.at("fill") == kOutlierColour;
  }
  EXPECT_EQ(outliers, red_markers) << what;
}

TEST(ResidualPlotTest, EveryShapeOfInputGivesASoundPlot) {
  struct Case {
    const char* what;
    Scene scene;
  };
  const Case cases[] = {
      {"one point", MakeScene(1, 100.0, 1.0, {})},
      {"coincident points", MakeScene(4, 100.0, 1.0, {2}, true)},
      {"metres, one outlier", MakeScene(9, 2000.0, 1.0, {4})},
      {"millimetres", MakeScene(12, 2.0e6, 0.001, {0, 7})},
      {"beyond the labelled count", MakeScene(1000, 3000.0, 1.0, {10, 20})},
  };
  // A finding whose message needs escaping, naming two points as
  // exchanged (the first scene has only one: the line must be left out).
  Diagnosis diagnosis;
  diagnosis.verdict = Verdict::kCheck;
  diagnosis.findings.push_back(Finding{
      FindingCode::kExchangedPairs, {1, 2}, "a <warning> & more", false, {}});
  for (const Case& c : cases) {
    const std::string svg =
        ResidualPlotSvg(c.scene.points, c.scene.fit, diagnosis);
    ExpectSoundPlot(svg, c.scene, c.what);
    const SvgDocument doc = ReadSvg(svg);
    EXPECT_EQ(c.scene.points.source.size() >= 2 ? 1u : 0u,
              doc.WithClass("exchanged").size())
        << c.what;
    EXPECT_NE(std::string::npos, svg.find(">verdict: check<")) << c.what;
  }
}

TEST(ResidualPlotTest, NoPointsStillGiveAWellFormedPicture) {
  const SvgDocument doc =
      ReadSvg(ResidualPlotSvg(ControlPoints(), SimilarityFit(), Diagnosis()));
  EXPECT_TRUE(doc.well_formed) << doc.error;
  EXPECT_TRUE(doc.WithClass("marker").empty());
}

TEST(ResidualPlotTest, LargestGoodArrowIsAboutATenthOfTheFrame) {
  for (double K : {1.0, 0.001}) {
    const Scene s = MakeScene(15, 1500.0 / K, K, {3});
    const SvgDocument doc =
        ReadSvg(ResidualPlotSvg(s.points, s.fit, Diagnosis()));
    ASSERT_TRUE(doc.well_formed);
    double longest = 0.0;
    for (const SvgElement* e : doc.WithClass("deviation")) {
      if (e->attributes.at("stroke") == kOutlierColour) continue;
      longest = std::max(longest,
                         std::hypot(Attribute(*e, "x2") - Attribute(*e, "x1"),
                                    Attribute(*e, "y2") - Attribute(*e, "y1")));
    }
    // The frame is 640 units wide; the nearest 1-2-5 step keeps the arrow
    // within a factor of 1.6 of a tenth of it.
    EXPECT_GT(longest, 640.0 * 0.1 / 1.6) << K;
    EXPECT_LT(longest, 640.0 * 0.1 * 1.6) << K;
    // The outlier's arrow is clipped to the frame [20, 660].
    for (const SvgElement* e : doc.WithClass("outlier")) {
      if (e->name != "line") continue;
      EXPECT_GE(Attribute(*e, "x2"), 20.0 - 0.05);
      EXPECT_LE(Attribute(*e, "x2"), 660.0 + 0.05);
      EXPECT_GE(Attribute(*e, "y2"), 20.0 - 0.05);
      EXPECT_LE(Attribute(*e, "y2"), 660.0 + 0.05);
    }
  }
}

TEST(ResidualPlotTest, ArrowsPointAlongTheDeviationOnTheDrawing) {
  // Every point deviates by the same scene vector; its arrow is that vector
  // turned back by the fitted angle into the drawing's axes (a negative K
  // a half turn more), with y down on the page. Directions by hand: at
  // 90 degrees the scene's east is the drawing's -y, page (0, 1), and the
  // scene's north the drawing's x; at 30 degrees east is the drawing's
  // (cos 30, -sin 30), page (0.866, 0.5).
  struct Case {
    const char* what;
    double K, angle_rad;
    Point2 deviation_m;
    double page_x, page_y;  // the arrow's direction on the page
  };
  const Case cases[] = {
      {"no turn, east", 1.0, 0.0, {0.01, 0.0}, 1.0, 0.0},
      {"no turn, north", 1.0, 0.0, {0.0, 0.01}, 0.0, -1.0},
      {"quarter turn, east", 1.0, kPi / 2, {0.01, 0.0}, 0.0, 1.0},
      {"quarter turn, north", 1.0, kPi / 2, {0.0, 0.01}, 1.0, 0.0},
      {"30 degrees, K 2, east", 2.0, kPi / 6, {0.01, 0.0}, 0.866, 0.5},
      {"negative K, east", -1.0, 0.0, {0.01, 0.0}, -1.0, 0.0},
      {"negative K, quarter turn, north",
       -1.0,
       kPi / 2,
       {0.0, 0.01},
       -1.0,
       0.0},
  };
  for (const Case& c : cases) {
    Scene s = MakeScene(6, 100.0, 1.0, {});
    s.fit.similarity = PlaneSimilarity::FromModel(
        s.fit.similarity.A_m(), s.fit.similarity.B_m(), c.K, c.angle_rad);
    s.fit.deviations.assign(6, c.deviation_m);
    s.fit.residuals_m.assign(6, std::hypot(c.deviation_m.x, c.deviation_m.y));
    const SvgDocument doc =
        ReadSvg(ResidualPlotSvg(s.points, s.fit, Diagnosis()));
    ASSERT_TRUE(doc.well_formed) << c.what;
    const std::vector<const SvgElement*> arrows = doc.WithClass("deviation");
    ASSERT_EQ(6u, arrows.size()) << c.what;
    for (const SvgElement* e : arrows) {
      const double dx = Attribute(*e, "x2") - Attribute(*e, "x1");
      const double dy = Attribute(*e, "y2") - Attribute(*e, "y1");
      const double length = std::hypot(dx, dy);
      // Both ends are rounded to 0.1 page units on an arrow of about 64.
      EXPECT_NEAR(c.page_x, dx / length, 0.01) << c.what;
      EXPECT_NEAR(c.page_y, dy / length, 0.01) << c.what;
    }
  }
}

TEST(ResidualPlotTest, NumbersAtTheEndsOfTheDoublesNeverReachThePicture) {
  // Fits a run can produce when the scale or the coordinates are near the
  // ends of the doubles (the first two came from fuzzing whole runs with a
  // fixed scale of 1e300): every coordinate stays on the page, no "inf" or
  // "nan" is written, and the north arrow keeps its direction.
  struct Case {
    const char* what;
    double K, angle_rad, deviation_m, rms_m;
    double coordinate;  // the points at +-coordinate, 0 for the scene's own
  };
  const Case cases[] = {
      {"K 1e300, deviations 1e307 m", 1e300, 0.5627, 1e307, INFINITY, 0.0},
      {"K 1e300, no deviation", 1e300, -2.0, 0.0, 0.0, 0.0},
      {"K -1e300", -1e300, 0.3, 1.0, 1.0, 0.0},
      {"K 1e-300", 1e-300, 1.0, 0.01, 0.01, 0.0},
      {"K 1e303, ppm beyond the doubles", 1e303, 0.0, 0.01, 0.01, 0.0},
      {"coordinates near 1e308", 1.0, 0.2, 0.01, 0.01, 1.7e308},
      {"coordinates 1e-320 apart", 1.0, 0.2, 0.01, 0.01, 1e-320},
  };
  for (const Case& c : cases) {
    Scene s = MakeScene(6, 100.0, 1.0, {});
    s.fit.similarity = PlaneSimilarity::FromModel(
        s.fit.similarity.A_m(), s.fit.similarity.B_m(), c.K, c.angle_rad);
    s.fit.rms_m = c.rms_m;
    for (size_t i = 0; i < s.fit.deviations.size(); ++i) {
      const double sign = i % 2 ? -1.0 : 1.0;
      s.fit.deviations[i] = Point2{sign * c.deviation_m, 0.5 * c.deviation_m};
      s.fit.residuals_m[i] = std::hypot(c.deviation_m, 0.5 * c.deviation_m);
      if (c.coordinate != 0.0) {
        s.points.source[i].x = sign * c.coordinate;
        s.points.source[i].y = -sign * c.coordinate;
      }
    }
    const std::string svg = ResidualPlotSvg(s.points, s.fit, Diagnosis());
    EXPECT_EQ(std::string::npos, svg.find("inf")) << c.what;
    EXPECT_EQ(std::string::npos, svg.find("nan")) << c.what;
    const SvgDocument doc = ReadSvg(svg);
    ASSERT_TRUE(doc.well_formed) << c.what << ": " << doc.error;
    for (const SvgElement& e : doc.elements) {
      for (const char* name : {"x", "y", "x1", "y1", "x2", "y2", "cx", "cy"}) {
        if (!e.attributes.count(name)) continue;
        const double v = Attribute(e, name);
        EXPECT_TRUE(v > -1000.0 && v < 2000.0)  // page units
            << c.what << ": <" << e.name << " " << name << "=" << v;
      }
    }
    // The north arrow is 44 page units long (hand calculation: scene north
    // turned back by the angle, y down on the page, reversed with K < 0).
    const std::vector<const SvgElement*> north = doc.WithClass("north");
    ASSERT_EQ(1u, north.size()) << c.what;
    const double sign = c.K < 0.0 ? -1.0 : 1.0;
    EXPECT_NEAR(44.0 * sign * std::sin(c.angle_rad),
                Attribute(*north[0], "x2") - Attribute(*north[0], "x1"),
                0.15)  // page units: both ends are rounded to 0.1
        << c.what;
    EXPECT_NEAR(-44.0 * sign * std::cos(c.angle_rad),
                Attribute(*north[0], "y2") - Attribute(*north[0], "y1"), 0.15)
        << c.what;
  }
}

TEST(ResidualPlotTest, HundredThousandPointsStayUnderTwentyMegabytes) {
  const Scene s = MakeScene(100000, 3000.0, 1.0, {5, 50, 500});
  const std::string svg = ResidualPlotSvg(s.points, s.fit, Diagnosis());
  EXPECT_LT(svg.size(), 20u << 20);
  ExpectSoundPlot(svg, s, "100000 points");
}

}  // namespace

}  // namespace geoanchor
