#include "output/transform_output.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include "common/fixed_text.h"
#include "output/write_file.h"
#include "platform/platform.h"

namespace geoanchor {

namespace {

TEST(FormatMatrixNumberTest, RendersTheTable) {
  struct Case {
    double v;
    const char* text;
  };
  // Expected texts: glibc printf of the exact double value (hand-checked
  // against the decimal expansions, e.g. 0.1 = 0.1000000000000000055511...).
  const Case cases[] = {
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {5e-7, "0.0"},
      {-5e-7, "-0.0"},
      {1.0, "1.0"},
      {0.9999995, "1.0"},
      {1.0000004, "1.0"},
      {1e-6, "0.00000100000000000000"},  // strict: 1e-6 is not below 1e-6
      {0.999999, "0.99999899999999997124"},
      {0.5, "0.50000000000000000000"},
      {-1.0, "-1.00000000000000000000"},  // near -1 is not near 1
      {123.456, "123.45600000000000306954"},
      {0.1, "0.10000000000000000555"},
      {std::nan(""), "nan"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.text, FormatMatrixNumber(c.v)) << c.v;
  }
}

TEST(FormatMatrixNumberTest, HugeValuesAreRenderedInFull) {
  // -1e40 takes 41 integer digits + sign + point + 20 decimals = 63
  // characters; 1e41 and up no longer fit 64 and must not be cut.
  for (double v : {-9.9e40, 1e41, -1e41, 1e100, -1.7976931348623157e308}) {
    const std::string text = FormatMatrixNumber(v);
    char* end = nullptr;
    EXPECT_EQ(v, std::strtod(text.c_str(), &end)) << text;
    EXPECT_EQ('\0', *end);
    EXPECT_EQ(text.size() - 21, text.find('.')) << text;
  }
  EXPECT_EQ(63u, FormatMatrixNumber(-9.9e40).size());
  EXPECT_EQ(331u, FormatMatrixNumber(-1.7976931348623157e308).size());
}

// Drawing points of a 100 m CAD grid about the origin.
ControlPoints CadGrid() {
  ControlPoints points;
  points.source = {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {-50, 70, 0}};
  return points;
}

std::string Text(const TransformMatrix& m) {
  return FormatTransformMatrix(m, CadGrid()).text;
}

TEST(TransformMatrixTest, ColumnMajorSimilarity) {
  const TransformMatrix m =
      PlaneSimilarity::FromModel(10.0, -5.5, 2.0, 0.0).ToMatrix(0.0);
  EXPECT_EQ(
      "[2.00000000000000000000,0.0,0.0,0.0,-0.0,2.00000000000000000000,0.0,"
      "0.0,0.0,0.0,1.0,0.0,10.00000000000000000000,-5.50000000000000000000,"
      "0.0,1.0]",
      Text(m));
  EXPECT_TRUE(std::signbit(m[4]));
  EXPECT_FALSE(std::signbit(m[2]));

  // Identity rotation with zoffset 1: element 4 prints its sign, 14 is 1.0.
  EXPECT_EQ(
      "[1.0,0.0,0.0,0.0,-0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,1.0,1.0]",
      Text(PlaneSimilarity::FromModel(0.0, 0.0, 1.0, 0.0).ToMatrix(1.0)));

  // Small q of either sign: elements 1 and 4 are exact negations.
  EXPECT_EQ("[1.0,0.0,0.0,0.0,-0.0,",
            Text(PlaneSimilarity::FromModel(0.0, 0.0, 1.0, 1e-7).ToMatrix(0.0))
                .substr(0, 22));
  EXPECT_EQ("[1.0,-0.0,0.0,0.0,0.0,",
            Text(PlaneSimilarity::FromModel(0.0, 0.0, 1.0, -1e-7).ToMatrix(0.0))
                .substr(0, 22));

  // A quarter turn maps (1, 0) to (0, s): p ~ 0, q = s.
  const TransformMatrix quarter =
      PlaneSimilarity::FromModel(0.0, 0.0, 3.0, 3.141592653589793 / 2)
          .ToMatrix(0.0);
  EXPECT_NEAR(0.0, quarter[0], 1e-15);
  EXPECT_EQ(3.0, quarter[1]);
  EXPECT_EQ(-3.0, quarter[4]);
}

// The short forms of K cos (elements 0, 5) and K sin (1, 4) are written
// only where they move no drawing point by more than 0.1 mm. The expected
// forms follow from the shift sqrt(d^2 + e^2) |(x, y)| of roundings d of
// K cos and e of K sin, by hand: 8e-7 at 100 m is 0.08 mm, at 39.5e6 m (a
// zone-numbered easting) 32 m.
TEST(FormatTransformMatrixTest, ShortFormOnlyWhereItMovesNothing) {
  struct Case {
    double p, q;  // K cos, K sin
    Point3 far;   // the drawing point farthest from the origin
    bool p_short, q_short;
  };
  const Case cases[] = {
      {1.0, 0.0, {39.5e6, 4.3e6, 0}, true, true},  // exact: nothing moves
      {1 - 8e-7, 0.0, {1, 1, 0}, true, true},
      {1 - 8e-7, 0.0, {100, 0, 0}, true, true},          // 0.08 mm
      {1 - 8e-7, 0.0, {100, 100, 0}, false, true},       // 0.113 mm
      {1 + 5e-7, 0.0, {500e3, 4.3e6, 0}, false, true},   // no zone: 2.2 m
      {1 - 8e-7, 0.0, {39.5e6, 4.3e6, 0}, false, true},  // 32 m
      {1.0, 3e-7, {45e6, 4.3e6, 0}, true, false},        // 13.6 m
      {1.0, -3e-7, {300, 0, 0}, true, true},             // 0.09 mm
      // Each alone moves (100, 0) less than 0.1 mm, both together more:
      // the smaller rounding keeps its short form.
      {1 - 8e-7, 9e-7, {100, 0, 0}, true, false},
      {1 - 9e-7, 8e-7, {100, 0, 0}, false, true},
      {1 - 9e-7, 9e-7, {150, 0, 0}, false, false},
      {0.999999, 0.0, {1, 0, 0}, false, true},  // beyond the short form
  };
  for (const Case& c : cases) {
    ControlPoints points = CadGrid();
    points.check.source = {c.far};  // check points count as well
    TransformMatrix m{};
    m[0] = m[5] = c.p;
    m[1] = c.q;
    m[4] = -c.q;
    m[10] = m[15] = 1.0;
    m[12] = -39.5e6;
    const MatrixText t = FormatTransformMatrix(m, points);
    const std::string p_text = c.p_short ? "1.0" : FormatDouble("%.20f", c.p);
    const std::string q_text = c.q_short ? (std::signbit(c.q) ? "-0.0" : "0.0")
                                         : FormatDouble("%.20f", c.q);
    const std::string minus_q_text = c.q_short
                                         ? (std::signbit(c.q) ? "0.0" : "-0.0")
                                         : FormatDouble("%.20f", -c.q);
    EXPECT_EQ("[" + p_text + "," + q_text + ",0.0,0.0," + minus_q_text + "," +
                  p_text + ",0.0,0.0,0.0,0.0,1.0,0.0," +
                  FormatMatrixNumber(-39.5e6) + ",0.0,0.0,1.0]",
              t.text)
        << c.p << " " << c.q << " at " << c.far.x;
    // Read back, the numbers are the text's.
    EXPECT_EQ(c.p_short ? 1.0 : c.p, t.numbers[0]);
    EXPECT_EQ(t.numbers[0], t.numbers[5]);
    EXPECT_EQ(-t.numbers[1], t.numbers[4]);
  }
}

// The check after formatting: a text that places a point elsewhere than
// the fit's model fails, naming the point and the distance.
TEST(FormatTransformMatrixTest, TextMustCarryTheFit) {
  SimilarityFit fit;  // near Tianjin, zone 39: K cos = 0.9999992
  fit.similarity =
      PlaneSimilarity::FromModel(-39517000.0, -4329600.0, 0.9999992, 0.0);
  ControlPoints points;
  points.source = {{39517258.1281, 4329678.2797, 0},
                   {39517355.1121, 4329591.0237, 0}};
  points.names = {"K1", "K2"};
  const MatrixText written = ResultMatrix(fit, points, 0.0);
  // The double nearest 0.9999992 to twenty decimals (Python's "%.20f").
  EXPECT_EQ(0u, written.text.find("[0.99999919999999997700,0.0,"))
      << written.text;
  Message failure;
  EXPECT_TRUE(MatrixCarriesFit(written, fit, points, &failure));
  EXPECT_TRUE(failure.empty());

  // "1.0" moves K2 by 8e-7 * |(39517355.1, 4329591.0)| = 31.80 m.
  MatrixText rounded = written;
  rounded.numbers[0] = rounded.numbers[5] = 1.0;
  EXPECT_FALSE(MatrixCarriesFit(rounded, fit, points, &failure));
  EXPECT_EQ(0u, failure.en.find("the result text places point K2 31.80"))
      << failure.en;
  EXPECT_EQ(0u, failure.zh.find("结果文本把点 K2 放在离拟合位置 31.80"))
      << failure.zh;

  // A check point counts as well, named by its position in the table.
  // K cos 1e-10 off moves it by 1e-10 * |(45e6, 4329600)| = 4.52 mm, K2
  // by 3.98 mm.
  points.check.source = {{45e6, 4329600.0, 0}};
  points.check.positions = {3};
  rounded = ResultMatrix(fit, points, 0.0);
  rounded.numbers[0] += 1e-10;
  rounded.numbers[5] += 1e-10;
  EXPECT_FALSE(MatrixCarriesFit(rounded, fit, points, &failure));
  EXPECT_EQ(0u, failure.en.find("the result text places point 3 0.00452"))
      << failure.en;
}

TEST(TransformMatrixTest, FinitenessCheck) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_TRUE(
      IsFiniteMatrix(PlaneSimilarity::FromModel(1, 2, 2, 0.1).ToMatrix(3)));
  EXPECT_FALSE(IsFiniteMatrix(
      PlaneSimilarity::FromModel(1, 2, 2, 0.1).ToMatrix(std::nan(""))));
  EXPECT_FALSE(
      IsFiniteMatrix(PlaneSimilarity::FromModel(1, 2, inf, 0.1).ToMatrix(3)));
  EXPECT_FALSE(
      IsFiniteMatrix(PlaneSimilarity::FromModel(1, 2, 1, inf).ToMatrix(3)));
  EXPECT_FALSE(IsFiniteMatrix(
      PlaneSimilarity::FromModel(std::nan(""), 2, 1, 0).ToMatrix(3)));
}

class ResultFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/geoanchor-output-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = std::string(pattern) + "/";
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string dir_;
};

// K = 2, A = 10 m, B = -5.5 m, no turn, fixed scale: a matrix whose text
// is read off by hand.
SimilarityFit ScaledFit() {
  SimilarityFit fit;
  fit.similarity = PlaneSimilarity::FromModel(10.0, -5.5, 2.0, 0.0);
  fit.free_scale = false;
  return fit;
}

TEST_F(ResultFileTest, ReplacesAnExistingFileEntirely) {
  const std::string path = dir_ + kResultFileName;
  std::ofstream(path) << std::string(500, 'x');
  std::string error;
  ASSERT_TRUE(ReplaceFileContents(path, "[1.0]", &error)) << error;
  EXPECT_EQ("[1.0]", Read(path));
  // No temporary file is left behind.
  EXPECT_EQ(
      0, std::system(("test $(ls -A '" + dir_ + "' | wc -l) -eq 1").c_str()));
}

TEST_F(ResultFileTest, FailureNamesTheReasonAndLeavesNoTrace) {
  const std::string taken = dir_ + kResultFileName;
  ASSERT_EQ(0, mkdir(taken.c_str(), 0755));
  std::string error;
  EXPECT_FALSE(ReplaceFileContents(taken, "[1.0]", &error));
  EXPECT_EQ("Is a directory", error);
  EXPECT_EQ(
      0, std::system(("test $(ls -A '" + dir_ + "' | wc -l) -eq 1").c_str()));
  EXPECT_FALSE(
      ReplaceFileContents(dir_ + "missing/" + kResultFileName, "x", &error));
  EXPECT_EQ("No such file or directory", error);
}

TEST_F(ResultFileTest, WholeStageInBothScaleModes) {
  testing::internal::CaptureStdout();
  SimilarityFit fit = ScaledFit();
  const ControlPoints points = CadGrid();
  const MatrixText matrix = ResultMatrix(fit, points, 0.0);
  EXPECT_EQ(0, WriteTransformResult(fit, points, matrix, dir_ + kResultFileName,
                                    Language::kEnglish));
  const std::string fixed = testing::internal::GetCapturedStdout();
  const std::string text =
      "[2.00000000000000000000,0.0,0.0,0.0,-0.0,2.00000000000000000000,0.0,"
      "0.0,0.0,0.0,1.0,0.0,10.00000000000000000000,-5.50000000000000000000,"
      "0.0,1.0]";
  EXPECT_EQ(
      "\n" + text + "\nA B K Angle :10.000000 -5.500000 2.000000 0.000000",
      fixed);
  EXPECT_EQ(text, Read(dir_ + kResultFileName));

  testing::internal::CaptureStdout();
  fit.free_scale = true;
  EXPECT_EQ(0, WriteTransformResult(fit, points, matrix, dir_ + kResultFileName,
                                    Language::kEnglish));
  EXPECT_EQ("\n" + text +
                "\nA B K Angle :10.0000000000 -5.5000000000 2.0000000000 "
                "0.0000000000",
            testing::internal::GetCapturedStdout());
}

TEST_F(ResultFileTest, UnwritableFileIsNamedAfterEverythingPrinted) {
  const std::string taken = dir_ + kResultFileName;
  ASSERT_EQ(0, mkdir(taken.c_str(), 0755));
  const SimilarityFit fit = ScaledFit();
  const ControlPoints points = CadGrid();
  // Standard error into standard output's capture, as on a terminal both
  // go to.
  testing::internal::CaptureStdout();
  const int err = dup(2);
  dup2(1, 2);
  EXPECT_EQ(-1,
            WriteTransformResult(fit, points, ResultMatrix(fit, points, 0.0),
                                 dir_ + kResultFileName, Language::kEnglish));
  std::fflush(stderr);
  dup2(err, 2);
  close(err);
  const std::string console = testing::internal::GetCapturedStdout();
  // The matrix and parameter line as WholeStageInBothScaleModes has them,
  // then the one line naming the file.
  EXPECT_EQ(
      "\n[2.00000000000000000000,0.0,0.0,0.0,-0.0,2.00000000000000000000,0.0,"
      "0.0,0.0,0.0,1.0,0.0,10.00000000000000000000,-5.50000000000000000000,"
      "0.0,1.0]\nA B K Angle :10.000000 -5.500000 2.000000 0.000000"
      "GeoAnchorSolve: cannot write " +
          taken + ": Is a directory\n",
      console);
}

TEST_F(ResultFileTest, NonFiniteTransformWritesNothing) {
  const std::string path = dir_ + kResultFileName;
  std::ofstream(path) << "[old]";
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  SimilarityFit fit;
  fit.similarity = PlaneSimilarity::FromModel(std::nan(""), 0.0, 1.0, 0.0);
  const ControlPoints points = CadGrid();
  EXPECT_EQ(-1,
            WriteTransformResult(fit, points, ResultMatrix(fit, points, 0),
                                 dir_ + kResultFileName, Language::kEnglish));
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
  EXPECT_EQ(
      "GeoAnchorSolve: the transform is not finite; no result file written\n",
      testing::internal::GetCapturedStderr());
  EXPECT_EQ("[old]", Read(path));
}

TEST_F(ResultFileTest, TextThatMovesThePointsWritesNothing) {
  const std::string path = dir_ + kResultFileName;
  std::ofstream(path) << "[old]";
  SimilarityFit fit;
  fit.similarity = PlaneSimilarity::FromModel(0.0, 0.0, 2.0, 0.0);
  const ControlPoints points = CadGrid();
  MatrixText matrix = ResultMatrix(fit, points, 0);
  matrix.numbers[13] = 1.0;  // as if the text said so
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1,
            WriteTransformResult(fit, points, matrix, dir_ + kResultFileName,
                                 Language::kEnglish));
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
  EXPECT_EQ(
      "GeoAnchorSolve: the result text places point 1 1.000000 m from where "
      "the fit puts it; no result file written\n",
      testing::internal::GetCapturedStderr());
  EXPECT_EQ("[old]", Read(path));
}

}  // namespace

}  // namespace geoanchor
