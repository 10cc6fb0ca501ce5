#include "output/transform_output.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

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

TEST(BuildTransformMatrixTest, ColumnMajorSimilarity) {
  const TransformMatrix m = BuildTransformMatrix(2.0, 0.0, 10.0, -5.5, 0.0);
  EXPECT_EQ(
      "[2.00000000000000000000,0.0,0.0,0.0,-0.0,2.00000000000000000000,0.0,"
      "0.0,0.0,0.0,1.0,0.0,10.00000000000000000000,-5.50000000000000000000,"
      "0.0,1.0]",
      MatrixToJsonText(m));
  EXPECT_TRUE(std::signbit(m[4]));
  EXPECT_FALSE(std::signbit(m[2]));

  // Identity rotation with zoffset 1: element 4 prints its sign, 14 is 1.0.
  const std::string identity =
      MatrixToJsonText(BuildTransformMatrix(1.0, 0.0, 0.0, 0.0, 1.0));
  EXPECT_EQ(
      "[1.0,0.0,0.0,0.0,-0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,1.0,1.0]",
      identity);

  // Small q of either sign: elements 1 and 4 are exact negations.
  const std::string small_positive =
      MatrixToJsonText(BuildTransformMatrix(1.0, 1e-7, 0.0, 0.0, 0.0));
  EXPECT_EQ("[1.0,0.0,0.0,0.0,-0.0,", small_positive.substr(0, 22));
  const std::string small_negative =
      MatrixToJsonText(BuildTransformMatrix(1.0, -1e-7, 0.0, 0.0, 0.0));
  EXPECT_EQ("[1.0,-0.0,0.0,0.0,0.0,", small_negative.substr(0, 22));

  // A quarter turn maps (1, 0) to (0, s): p ~ 0, q = s.
  const TransformMatrix quarter =
      BuildTransformMatrix(3.0, 3.141592653589793 / 2, 0.0, 0.0, 0.0);
  EXPECT_NEAR(0.0, quarter[0], 1e-15);
  EXPECT_EQ(3.0, quarter[1]);
  EXPECT_EQ(-3.0, quarter[4]);
}

TEST(BuildTransformMatrixTest, FinitenessCheck) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_TRUE(IsFiniteMatrix(BuildTransformMatrix(2, 0.1, 1, 2, 3)));
  EXPECT_FALSE(
      IsFiniteMatrix(BuildTransformMatrix(2, 0.1, 1, 2, std::nan(""))));
  EXPECT_FALSE(IsFiniteMatrix(BuildTransformMatrix(inf, 0.1, 1, 2, 3)));
  EXPECT_FALSE(IsFiniteMatrix(BuildTransformMatrix(1, inf, 1, 2, 3)));
  EXPECT_FALSE(IsFiniteMatrix(BuildTransformMatrix(1, 0, std::nan(""), 2, 3)));
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

TEST_F(ResultFileTest, ReplacesAnExistingFileEntirely) {
  const std::string path = dir_ + kResultFileName;
  std::ofstream(path) << std::string(500, 'x');
  std::string error;
  ASSERT_TRUE(WriteTextFile(path, "[1.0]", &error)) << error;
  EXPECT_EQ("[1.0]", Read(path));
  // No temporary file is left behind.
  EXPECT_EQ(
      0, std::system(("test $(ls -A '" + dir_ + "' | wc -l) -eq 1").c_str()));
}

TEST_F(ResultFileTest, FailureNamesTheReasonAndLeavesNoTrace) {
  const std::string taken = dir_ + kResultFileName;
  ASSERT_EQ(0, mkdir(taken.c_str(), 0755));
  std::string error;
  EXPECT_FALSE(WriteTextFile(taken, "[1.0]", &error));
  EXPECT_EQ("Is a directory", error);
  EXPECT_EQ(
      0, std::system(("test $(ls -A '" + dir_ + "' | wc -l) -eq 1").c_str()));
  EXPECT_FALSE(WriteTextFile(dir_ + "missing/" + kResultFileName, "x", &error));
  EXPECT_EQ("No such file or directory", error);
}

TEST_F(ResultFileTest, WholeStageInBothScaleModes) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(0, WriteTransformResult(10.0, -5.5, 2.0, 0.0, 0.0, dir_, false));
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
  EXPECT_EQ(0, WriteTransformResult(10.0, -5.5, 2.0, 0.0, 0.0, dir_, true));
  EXPECT_EQ("\n" + text +
                "\nA B K Angle :10.0000000000 -5.5000000000 2.0000000000 "
                "0.0000000000",
            testing::internal::GetCapturedStdout());
}

TEST_F(ResultFileTest, NonFiniteTransformWritesNothing) {
  const std::string path = dir_ + kResultFileName;
  std::ofstream(path) << "[old]";
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, WriteTransformResult(std::nan(""), 0, 1, 0, 0, dir_, true));
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
  EXPECT_NE(std::string::npos,
            testing::internal::GetCapturedStderr().find("not finite"));
  EXPECT_EQ("[old]", Read(path));
}

}  // namespace
