#include "output/residual_plot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/fixed_text.h"
#include "common/numbers.h"
#include "fit/similarity_fit.h"
#include "tests/common/bilingual_checks.h"
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
  diagnosis.findings.push_back(Finding{FindingCode::kExchangedPairs,
                                       {1, 2},
                                       Same("a <warning> & more"),
                                       false,
                                       {}});
  for (const Case& c : cases) {
    const std::string svg = ResidualPlotSvg(c.scene.points, c.scene.fit,
                                            diagnosis, Language::kEnglish);
    ExpectSoundPlot(svg, c.scene, c.what);
    const SvgDocument doc = ReadSvg(svg);
    EXPECT_EQ(c.scene.points.source.size() >= 2 ? 1u : 0u,
              doc.WithClass("exchanged").size())
        << c.what;
    EXPECT_NE(std::string::npos, svg.find(">verdict: check<")) << c.what;
  }
}

TEST(ResidualPlotTest, NoPointsStillGiveAWellFormedPicture) {
  const SvgDocument doc = ReadSvg(ResidualPlotSvg(
      ControlPoints(), SimilarityFit(), Diagnosis(), Language::kEnglish));
  EXPECT_TRUE(doc.well_formed) << doc.error;
  EXPECT_TRUE(doc.WithClass("marker").empty());
}

TEST(ResidualPlotTest, LargestGoodArrowIsAboutATenthOfTheFrame) {
  for (double K : {1.0, 0.001}) {
    const Scene s = MakeScene(15, 1500.0 / K, K, {3});
    const SvgDocument doc = ReadSvg(
        ResidualPlotSvg(s.points, s.fit, Diagnosis(), Language::kEnglish));
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
    const SvgDocument doc = ReadSvg(
        ResidualPlotSvg(s.points, s.fit, Diagnosis(), Language::kEnglish));
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
    const std::string svg =
        ResidualPlotSvg(s.points, s.fit, Diagnosis(), Language::kEnglish);
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

TEST(ResidualPlotTest, TextWidthBoundsTheFontsAdvances) {
  // Widths at 15 page units of DejaVu Sans Book and Bold, the sum of the
  // glyphs' advances in the fonts' hmtx tables (Debian's fonts-dejavu-core)
  // times 15: the estimate is at least that, and at most 10 % more (20 %
  // for bold, counted at the widest letters' ratio), so that lines that fit
  // stay whole. CJK characters are an em square: 15 each.
  struct Case {
    const char* text;
    bool bold;
    double font_width;
  };
  const Case cases[] = {
      {"RMS = 867.2588 m, sigma0 = 867.2588 m", false, 323.39},
      {"outlier (over 0.15 m off), clipped", false, 244.18},
      {"WWWWWWWWWW", false, 148.32},
      {"GeoAnchorSolve residual plot", true, 250.67},
      {"illicit", true, 41.77},
      {"\xE7\x82\xB9\xE4\xBD\x8D\xE5\x81\x8F\xE5\xB7\xAE", false, 60.0},
  };
  for (const Case& c : cases) {
    const double estimate = PlotTextWidth(c.text, 15.0, c.bold);
    EXPECT_GE(estimate, c.font_width) << c.text;
    EXPECT_LE(estimate, (c.bold ? 1.2 : 1.1) * c.font_width) << c.text;
  }
}

// The viewBox's width and height.
std::pair<double, double> PageSize(const SvgDocument& doc) {
  const std::string box = doc.elements[0].attributes.at("viewBox");
  double x, y, w, h;
  EXPECT_EQ(4, std::sscanf(box.c_str(), "%lf %lf %lf %lf", &x, &y, &w, &h));
  return {w, h};
}

// A text's font size and weight as the plot writes them.
double FontSize(const SvgElement& e) {
  return e.attributes.count("font-size") ? Attribute(e, "font-size") : 15.0;
}
bool Bold(const SvgElement& e) {
  return e.attributes.count("font-weight") &&
         e.attributes.at("font-weight") == "bold";
}

std::string WithoutBlanks(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  return text;
}

TEST(ResidualPlotTest, EveryLegendTextEndsInsideThePage) {
  // A legend line used to run past the page's right edge, which cut
  // "sigma0 = 867.2588 m" to "sigma0 = 867.2588 r".
  struct Case {
    const char* what;
    double sigma0_m, K;
    std::string finding;
    bool page_as_before;  // everything fits: 1000 wide, as always
  };
  const std::string cjk =  // a finding as a Chinese message would be
      "\xE7\x82\xB9"
      "K3\xE5\x81\x8F\xE5\xB7\xAE"
      "1.044 m\xEF\xBC\x8C"
      "\xE6\x98\xAF\xE7\xB2\x97\xE5\xB7\xAE\xEF\xBC\x9A\xE8\xAF\xB7\xE6\xA3"
      "\x80\xE6\x9F\xA5\xE5\xAE\x83\xE7\x9A\x84\xE5\x9B\xBE\xE7\xBA\xB8\xE5"
      "\x9D\x90\xE6\xA0\x87\xE5\x92\x8C\xE5\xAE\x83\xE7\x9A\x84"
      "WGS84"
      "\xE4\xBD\x8D\xE7\xBD\xAE\xE4\xBB\xA5\xE5\x8F\x8A\xE6\x8E\xA7\xE5\x88"
      "\xB6\xE7\x82\xB9\xE8\xA1\xA8\xE7\x9A\x84\xE5\x88\x97";
  const Case cases[] = {
      {"short legend", 0.0037, 0.0, "point 3 deviates by 1.044 m", true},
      {"sigma0 of 867 m", 867.2588, 0.0, "", false},
      {"sigma0 of 1e300 m, 300 digits", 1e300, 0.0, "", false},
      {"K 1e300, ppm of 300 digits", 0.01, 1e300, "", false},
      {"a long word in a finding", 0.01, 0.0,
       "cannot read C:\\Users\\surveyor\\Documents\\site-2026-11\\"
       "control_points_final_v3.csv",
       false},
      {"wide capitals", 0.01, 0.0, "WWWWWWWWWWWWWWWW MMMMMMMMMMMMMMMMMMM",
       false},
      {"a Chinese finding", 0.01, 0.0, cjk, false},
  };
  for (const Case& c : cases) {
    for (Language language : {Language::kEnglish, Language::kChinese}) {
      const std::string what =
          std::string(c.what) + " (" + LanguageCode(language) + ")";
      Scene s = MakeScene(9, 2000.0, 1.0, {});
      s.fit.sigma0_m = s.fit.rms_m = c.sigma0_m;
      if (c.K != 0.0) {
        s.fit.similarity = PlaneSimilarity::FromModel(
            s.fit.similarity.A_m(), s.fit.similarity.B_m(), c.K, 0.2);
      }
      Diagnosis diagnosis;
      if (!c.finding.empty()) {
        diagnosis.findings.push_back(
            Finding{FindingCode::kOutlier, {3}, Same(c.finding), false, {}});
      }
      const std::string svg =
          ResidualPlotSvg(s.points, s.fit, diagnosis, language);
      const SvgDocument doc = ReadSvg(svg);
      ASSERT_TRUE(doc.well_formed) << what << ": " << doc.error;
      const auto [width, height] = PageSize(doc);
      if (c.page_as_before) {
        EXPECT_EQ(1000.0, width) << what;
      }
      std::string legend_text;
      // The legend's texts, each from its baseline up a size and down a
      // quarter: no two of them meet.
      struct Placed {
        std::string text;
        double left, top, right, bottom;
      };
      std::vector<Placed> placed;
      for (const SvgElement& e : doc.elements) {
        if (e.name != "text") continue;
        const double x = Attribute(e, "x"), y = Attribute(e, "y");
        const double right = x + PlotTextWidth(e.text, FontSize(e), Bold(e));
        EXPECT_LE(right, width) << what << ": " << e.text;
        EXPECT_GE(x, 0.0) << what << ": " << e.text;
        EXPECT_LE(y, height) << what << ": " << e.text;
        if (x < 680.0) continue;
        legend_text += e.text;
        for (const Placed& p : placed) {
          EXPECT_TRUE(right <= p.left || x >= p.right ||
                      y + 0.25 * FontSize(e) <= p.top ||
                      y - FontSize(e) >= p.bottom)
              << what << ": \"" << e.text << "\" meets \"" << p.text << "\"";
        }
        placed.push_back(
            {e.text, x, y - FontSize(e), right, y + 0.25 * FontSize(e)});
      }
      // Nothing is lost where lines are broken, but the blanks there.
      for (const std::string& whole : std::vector<std::string>{
               FormatDouble("%.4f", c.sigma0_m), c.finding}) {
        EXPECT_NE(std::string::npos,
                  WithoutBlanks(legend_text).find(WithoutBlanks(whole)))
            << what;
      }
    }
  }
}

// A scene of control points at the given drawing positions (units of a
// metre), fitted as MakeScene does.
Scene SceneAt(const std::vector<Point2>& at) {
  Scene s;
  std::mt19937_64 rng(at.size());
  std::normal_distribution<double> noise_m(0.0, 0.003);
  s.points.mode = InputMode::kPair;
  for (const Point2& p : at) {
    s.points.source.push_back(Point3{500000.0 + p.x, 4400000.0 + p.y, 0});
    s.points.target.push_back(Point2{p.x + noise_m(rng), p.y + noise_m(rng)});
  }
  FitOptions options;
  options.quality = true;
  s.fit = FitSimilarity(s.points.source, s.points.target, 0.0, options);
  return s;
}

TEST(ResidualPlotTest, ScaleBarsCoverNoPoint) {
  // Drawing positions over 0..100 units: the page maps x = 0 to 64.1 and
  // y = 0 to 615.9 (the frame 20..660, the extent with 8 % margins), so a
  // row along y = 0 lies where the bars used to be, at the frame's bottom
  // left (baselines 620 and 642, from x = 35).
  std::vector<Point2> bottom_row = {{100.0, 100.0}};
  for (double x = 0.0; x <= 50.0; x += 10.0) bottom_row.push_back({x, 0.0});
  std::vector<Point2> corners = bottom_row;
  for (const Point2& p : {Point2{100.0, 0.0}, Point2{0.0, 100.0}}) {
    corners.push_back(p);
  }
  std::vector<Point2> grid;
  for (double x = 0.0; x <= 100.0; x += 10.0) {
    for (double y = 0.0; y <= 100.0; y += 10.0) grid.push_back({x, y});
  }
  std::vector<Point2> crowd;  // beyond the labelled count: compact markers
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> spot(0.0, 100.0);
  for (int i = 0; i < 2000; ++i) crowd.push_back({spot(rng), spot(rng)});
  struct Case {
    const char* what;
    std::vector<Point2> at;
  };
  const Case cases[] = {
      {"a row along the bottom left", bottom_row},
      {"every corner taken", corners},
      {"a grid over the frame", grid},
      {"2000 points", crowd},
  };
  for (const Case& c : cases) {
    for (Language language : {Language::kEnglish, Language::kChinese}) {
      const std::string what =
          std::string(c.what) + " (" + LanguageCode(language) + ")";
      const Scene s = SceneAt(c.at);
      const std::string svg =
          ResidualPlotSvg(s.points, s.fit, Diagnosis(), language);
      const SvgDocument doc = ReadSvg(svg);
      ASSERT_TRUE(doc.well_formed) << what;
      const auto [width, height] = PageSize(doc);
      // The markers' centres: circles, and the compact path's "M x y" moves.
      std::vector<Point2> markers;
      for (const SvgElement* e : doc.WithClass("marker")) {
        markers.push_back({Attribute(*e, "cx"), Attribute(*e, "cy")});
      }
      for (const SvgElement* e : doc.WithClass("markers")) {
        const std::string& d = e->attributes.at("d");
        for (size_t m = d.find('M'); m != std::string::npos;
             m = d.find('M', m + 1)) {
          double x, y;
          ASSERT_EQ(2, std::sscanf(d.c_str() + m, "M%lf %lf", &x, &y));
          markers.push_back({x, y});
        }
      }
      ASSERT_EQ(c.at.size(), markers.size()) << what;
      size_t labels = 0;
      // The bars' group: each bar's path and then its label, up to the next
      // group.
      size_t bars = 1;
      while (bars < doc.elements.size() &&
             !(doc.elements[bars].name == "g" &&
               doc.elements[bars].attributes.count("id") &&
               doc.elements[bars].attributes.at("id") == "scale-bars")) {
        ++bars;
      }
      for (size_t k = bars + 1;
           k < doc.elements.size() && doc.elements[k].name != "g"; ++k) {
        const SvgElement& e = doc.elements[k];
        if (e.name != "text") continue;
        ++labels;
        // The bar, just before its label: "M<left> <y - 5>V<y>H<end>V...".
        double left, top;
        ASSERT_EQ(2, std::sscanf(doc.elements[k - 1].attributes.at("d").c_str(),
                                 "M%lf %lf", &left, &top))
            << what;
        // Bar and label in one box: the label's from its baseline up an em
        // and down a quarter.
        const double x = Attribute(e, "x"), y = Attribute(e, "y");
        const double right = x + PlotTextWidth(e.text, 15.0, false);
        EXPECT_LE(right, width) << what;
        EXPECT_LE(y + 4.0, height) << what;
        for (const Point2& m : markers) {
          // A marker's disc: radius 4, 2.5 for the compact ones' round caps.
          const bool apart = m.x + 4.0 < left || m.x - 4.0 > right ||
                             m.y + 4.0 < y - 15.0 || m.y - 4.0 > y + 4.0;
          EXPECT_TRUE(apart)
              << what << ": \"" << e.text << "\" at " << x << "," << y
              << " meets the marker at " << m.x << "," << m.y;
        }
      }
      EXPECT_EQ(2u, labels) << what;
    }
  }
}

// Every text of a plot, the title's and the legend's included, in one
// line.
std::string AllText(const SvgDocument& doc) {
  std::string text;
  for (const SvgElement& e : doc.elements) {
    if (e.name == "text" || e.name == "title") text += e.text + " ";
  }
  return text;
}

bool HasCjk(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const unsigned char b = static_cast<unsigned char>(c);
    return b >= 0xE4 && b <= 0xE9;
  });
}

TEST(ResidualPlotTest, EveryWordIsInTheRunsLanguage) {
  // The whole plot in English and in Chinese, read as one message: the
  // Chinese leaves no English word, carries the same figures and uses the
  // glossary's words; the English holds no Chinese. The cases reach every
  // text the plot writes: each verdict, projection and key entry, the
  // findings' overflow, the matrix's error and figures beyond the doubles.
  auto finding = [](FindingCode code, std::vector<int> at, Message message) {
    return Finding{code, std::move(at), std::move(message), false, {}};
  };
  const Finding outlier =
      finding(FindingCode::kOutlier, {3},
              Message{"point 3 deviates by 1.044 m and is an outlier",
                      "点 3 偏差 1.044 m，是粗差"});
  const Finding exchanged =
      finding(FindingCode::kExchangedPairs, {1, 2},
              Message{"the targets of points 1 and 2 look exchanged",
                      "点 1 和点 2 的目标点疑似互换"});
  struct Case {
    const char* what;
    Scene scene;
    Verdict verdict;
    ProjectionKind projection;
    double meridian_deg, matrix_error_m;
    std::vector<Finding> findings;
    size_t check_points;  // named ones, judged under the fit
  };
  std::vector<Finding> many(14, outlier);
  Scene beyond_the_doubles = MakeScene(9, 2000.0, 1.0, {});
  beyond_the_doubles.fit.sigma0_m = beyond_the_doubles.fit.rms_m = INFINITY;
  const Case cases[] = {
      {"good, no projection",
       MakeScene(9, 2000.0, 1.0, {}),
       Verdict::kGood,
       ProjectionKind::kNone,
       NAN,
       NAN,
       {},
       0},
      {"check, Gauss-Kruger 3 degrees, an outlier",
       MakeScene(9, 2000.0, 1.0, {4}),
       Verdict::kCheck,
       ProjectionKind::kGaussKruger3,
       NAN,
       0.081,
       {outlier},
       0},
      {"bad, Gauss-Kruger 6 degrees, exchanged targets",
       MakeScene(6, 500.0, 1.0, {}),
       Verdict::kBad,
       ProjectionKind::kGaussKruger6,
       NAN,
       NAN,
       {exchanged, outlier},
       0},
      {"UTM, named check points",
       MakeScene(7, 900.0, 0.001, {}),
       Verdict::kCheck,
       ProjectionKind::kUtm,
       NAN,
       NAN,
       {outlier},
       2},
      {"transverse Mercator, 14 findings", MakeScene(9, 2000.0, 1.0, {}),
       Verdict::kCheck, ProjectionKind::kTransverseMercator, 117.5, NAN, many,
       1},
      {"meridian unsure, figures beyond the doubles",
       beyond_the_doubles,
       Verdict::kBad,
       ProjectionKind::kTransverseMercator,
       NAN,
       NAN,
       {},
       0},
      {"beyond the labelled count",
       MakeScene(400, 3000.0, 1.0, {7}),
       Verdict::kGood,
       ProjectionKind::kNone,
       NAN,
       NAN,
       {},
       0},
  };
  for (const Case& c : cases) {
    Scene s = c.scene;
    Diagnosis diagnosis;
    diagnosis.verdict = c.verdict;
    diagnosis.findings = c.findings;
    diagnosis.hold.matrix_error_m = c.matrix_error_m;
    Projection& projection = diagnosis.survey.projection;
    projection.kind = c.projection;
    projection.central_meridian_deg = c.meridian_deg;
    projection.zone = c.projection == ProjectionKind::kUtm ? 50 : 39;
    projection.south = c.projection == ProjectionKind::kUtm;
    projection.epsg = c.projection == ProjectionKind::kGaussKruger3 ? 4527 : 0;
    std::vector<std::string> names;
    if (c.check_points > 0) {
      for (size_t i = 0; i < s.points.source.size(); ++i) {
        names.push_back("K" + std::to_string(i + 1));
      }
      s.points.names = names;
      for (size_t k = 0; k < c.check_points; ++k) {
        names.push_back("J" + std::to_string(k + 1));
        s.points.check.names.push_back(names.back());
        s.points.check.source.push_back(s.points.source[k]);
        diagnosis.check_points.deviations.push_back({0.02, -0.01});
        diagnosis.check_points.residuals_m.push_back(0.0224);
      }
    }
    const SvgDocument en = ReadSvg(
        ResidualPlotSvg(s.points, s.fit, diagnosis, Language::kEnglish));
    const SvgDocument zh = ReadSvg(
        ResidualPlotSvg(s.points, s.fit, diagnosis, Language::kChinese));
    ASSERT_TRUE(en.well_formed && zh.well_formed) << c.what;
    const Message plot{AllText(en), AllText(zh)};
    EXPECT_EQ("", bilingual::Faults(plot, names)) << c.what;
    EXPECT_FALSE(HasCjk(plot.en)) << c.what << ": " << plot.en;
    // The findings in the language asked for, whole but for the blanks
    // where their lines break.
    for (const Finding& f : c.findings) {
      EXPECT_NE(std::string::npos,
                WithoutBlanks(plot.en).find(WithoutBlanks(f.message.en)))
          << c.what;
      EXPECT_NE(std::string::npos,
                WithoutBlanks(plot.zh).find(WithoutBlanks(f.message.zh)))
          << c.what;
    }
  }
}

TEST(ResidualPlotTest, HundredThousandPointsStayUnderTwentyMegabytes) {
  const Scene s = MakeScene(100000, 3000.0, 1.0, {5, 50, 500});
  const std::string svg =
      ResidualPlotSvg(s.points, s.fit, Diagnosis(), Language::kEnglish);
  EXPECT_LT(svg.size(), 20u << 20);
  ExpectSoundPlot(svg, s, "100000 points");
}

}  // namespace

}  // namespace geoanchor
