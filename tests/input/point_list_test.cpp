#include "input/point_list.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "tests/input/stream_reference_reader.h"

namespace geoanchor {

namespace {

using Points = std::vector<Point3>;

struct ReaderCase {
  std::string text;
  Points pairs;
  Points triples;
};

void ExpectSamePoints(const Points& expected, const Points& actual,
                      const std::string& label) {
  ASSERT_EQ(expected.size(), actual.size()) << label;
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].x, actual[i].x) << label << " point " << i;
    EXPECT_EQ(expected[i].y, actual[i].y) << label << " point " << i;
    EXPECT_EQ(expected[i].z, actual[i].z) << label << " point " << i;
  }
}

// Expected lists worked out by hand from the reading rules: numbers grouped
// by position, one comma skipped only directly after a number, reading ends
// at the first failed extraction, an incomplete last group dropped.
const ReaderCase kCases[] = {
    {"116.39,39.91", {{116.39, 39.91, 0}}, {}},
    {"116.39,39.91,50", {{116.39, 39.91, 0}}, {{116.39, 39.91, 50}}},
    {"1,2,3,4", {{1, 2, 0}, {3, 4, 0}}, {{1, 2, 3}}},
    {"1,2,3", {{1, 2, 0}}, {{1, 2, 3}}},
    {"1,2,3,4,5,6", {{1, 2, 0}, {3, 4, 0}, {5, 6, 0}}, {{1, 2, 3}, {4, 5, 6}}},
    {"1,2,3,4,5", {{1, 2, 0}, {3, 4, 0}}, {{1, 2, 3}}},
    {"1 2 3 4", {{1, 2, 0}, {3, 4, 0}}, {{1, 2, 3}}},
    {"1, 2, 3, 4", {{1, 2, 0}, {3, 4, 0}}, {{1, 2, 3}}},
    {"1,2,3,4,", {{1, 2, 0}, {3, 4, 0}}, {{1, 2, 3}}},
    {"1 ,2,3,4", {}, {}},
    {"1,2 ,3,4", {{1, 2, 0}}, {}},
    {"1,,2,3", {}, {}},
    {"1;2;3;4", {}, {}},
    {"1,2;3,4", {{1, 2, 0}}, {}},
    {"x,1,2", {}, {}},
    {",1,2", {}, {}},
    {"1.5e3,-2", {{1500, -2, 0}}, {}},
    {"", {}, {}},
    {"   ", {}, {}},
    // Line breaks and other white space are as good as blanks.
    {"1\n2\n3\n4", {{1, 2, 0}, {3, 4, 0}}, {{1, 2, 3}}},
    {"1,\n2,\n3,\n4", {{1, 2, 0}, {3, 4, 0}}, {{1, 2, 3}}},
    {"1\t2\r\n3\v4\f5 6",
     {{1, 2, 0}, {3, 4, 0}, {5, 6, 0}},
     {{1, 2, 3}, {4, 5, 6}}},
    // A comma at the start of a line has white space before it: stop.
    {"1,2\n,3,4", {{1, 2, 0}}, {}},
    // Margins of number syntax, as std::istream extracts a double.
    {"+1,-2,+3", {{1, -2, 0}}, {{1, -2, 3}}},
    {".5,5.,1E2", {{0.5, 5, 0}}, {{0.5, 5, 100}}},
    {"1e+2,2E-1", {{100, 0.2, 0}}, {}},
    {"-0,0", {{-0.0, 0, 0}}, {}},
    {"1 2 3 4e", {{1, 2, 0}}, {{1, 2, 3}}},  // exponent without digits
    {"1 2 . 3", {{1, 2, 0}}, {}},            // a lone point
    {"1 2 1e400 4", {{1, 2, 0}}, {}},        // out of range fails
    {"1 2 inf 4", {{1, 2, 0}}, {}},          // not a number form
    {"1 2 nan 4", {{1, 2, 0}}, {}},
    {"3 4 5 6abc", {{3, 4, 0}, {5, 6, 0}}, {{3, 4, 5}}},  // letter ends
    {"4400000.123,39500000.5", {{4400000.123, 39500000.5, 0}}, {}},
};

TEST(PointListTest, ReadsTheTableOfTexts) {
  for (const ReaderCase& c : kCases) {
    ExpectSamePoints(c.pairs, ParsePointPairs(c.text),
                     "pairs of '" + c.text + "'");
    ExpectSamePoints(c.triples, ParsePointTriples(c.text),
                     "triples of '" + c.text + "'");
  }
}

// Byte offsets worked out by hand from the reading rules: used_end just
// after the last whole point and its comma, stop after the white space
// before what could not be read.
TEST(PointListTest, ReportsWhereReadingStopped) {
  struct Case {
    const char* text;
    int per_point;
    size_t numbers;
    size_t used_end;
    size_t stop;
  };
  const Case cases[] = {
      {"1,2,3,4", 2, 4, 7, 7},
      {"1,2,3", 2, 3, 4, 5},        // the 3 is dropped
      {"1,2;3,4", 2, 2, 3, 3},      // stops at ';'
      {"1,2 ;3", 2, 2, 3, 4},       // after the blank
      {"1 2 1e400 4", 2, 2, 3, 4},  // at the overflowing number
      {"1,2\xEF\xBC\x8C"
       "3",
       2, 2, 3, 3},  // at the full-width comma
      {"1,2,3,4 ", 3, 4, 6, 8},
      {"  ", 3, 0, 0, 2},
  };
  for (const Case& c : cases) {
    const PointListReading r = ReadPointList(c.text, c.per_point);
    EXPECT_EQ(c.numbers, r.numbers) << c.text;
    EXPECT_EQ(c.used_end, r.used_end) << c.text;
    EXPECT_EQ(c.stop, r.stop) << c.text;
  }
}

// The texts the standard extraction of a double fails on although they
// mean a non-finite number; bytes counted by hand.
TEST(PointListTest, FindsNonFiniteNumbers) {
  struct Case {
    const char* text;
    size_t pos;
    size_t length;
  };
  const Case cases[] = {
      {"nan", 0, 3},   {"1 -INF", 2, 4},  {"Infinity,2", 0, 8},
      {"1e999", 0, 5}, {"-1e400x", 0, 6}, {"info", 0, 0},
      {"1e308", 0, 0}, {"1e-400", 0, 0},  // underflow is finite
      {"x", 0, 0},     {"nan", 3, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.length, NonFiniteNumberLength(c.text, c.pos)) << c.text;
  }
}

TEST(PointListTest, PairZIsPositiveZero) {
  const Points points = ParsePointPairs("1 2");
  ASSERT_EQ(1u, points.size());
  EXPECT_FALSE(std::signbit(points[0].z));
}

TEST(PointListTest, NegativeZeroKeepsItsSign) {
  const Points points = ParsePointTriples("-0 -0 -0");
  ASSERT_EQ(1u, points.size());
  EXPECT_TRUE(std::signbit(points[0].x));
  EXPECT_TRUE(std::signbit(points[0].z));
}

TEST(PointListTest, CallerTextIsUnchanged) {
  const std::string text = "1,2,3,4";
  ParsePointPairs(text);
  EXPECT_EQ("1,2,3,4", text);
}

TEST(PointListTest, ReadsManyPointsInOrder) {
  std::string text;
  for (int i = 0; i < 3000; ++i) {
    text += std::to_string(i) + "," + std::to_string(-i) + "," +
            std::to_string(i * 0.5) + (i % 7 == 0 ? "\n" : " ");
  }
  const Points points = ParsePointTriples(text);
  ASSERT_EQ(3000u, points.size());
  for (int i = 0; i < 3000; ++i) {
    EXPECT_EQ(i, points[i].x);
    EXPECT_EQ(-i, points[i].y);
    EXPECT_EQ(i * 0.5, points[i].z);
  }
}

}  // namespace

namespace {

// Flattens a list back into its numbers: x, y (pairs) or x, y, z (triples).
std::vector<double> Numbers(const Points& points, int group_size) {
  std::vector<double> numbers;
  for (const Point3& p : points) {
    numbers.push_back(p.x);
    numbers.push_back(p.y);
    if (group_size == 3) numbers.push_back(p.z);
  }
  return numbers;
}

void ExpectSameAsStream(const std::string& text) {
  const std::vector<double> all = StreamReferenceNumbers(text);
  for (int group_size : {2, 3}) {
    const Points points =
        group_size == 2 ? ParsePointPairs(text) : ParsePointTriples(text);
    std::vector<double> expected(
        all.begin(), all.begin() + all.size() / group_size * group_size);
    const std::vector<double> actual = Numbers(points, group_size);
    ASSERT_EQ(expected.size(), actual.size()) << "'" << text << "'";
    // The count of numbers read, a dropped incomplete point included.
    EXPECT_EQ(all.size(), ReadPointList(text, group_size).numbers)
        << "'" << text << "'";
    for (size_t i = 0; i < expected.size(); ++i) {
      // Bit for bit, the sign of zero included.
      EXPECT_EQ(std::signbit(expected[i]), std::signbit(actual[i]));
      EXPECT_EQ(expected[i], actual[i]) << "'" << text << "' number " << i;
    }
  }
}

TEST(PointListTest, MatchesTheStreamReaderOnNumberSyntax) {
  const char* const texts[] = {
      "1e5 2",
      "1e+5 2",
      "1e-5,2",
      "1E5 2",
      "1e 2",
      "1e+ 2",
      "1e+-5 2",
      "1e5e3 2",
      "1.2.3 4",
      "..5 6",
      ".5. 7",
      "5. .5",
      "-.5 +.5",
      "- 5 6",
      "+-5 6",
      "0x1p3 4",
      "0X10 4",
      "00012 0.000",
      "-0 -0.0",
      "000e5 1",
      "1,2,,3",
      "1\t,2",
      "1e308 2e308",
      "1e-310 1e-400",
      "-1e-400 3",
      "4.9e-324 2",
      "179769313486231570000000000000000000000000000000000000000"
      "000000000000000000000000000000000000000000000000000000000000000000000000"
      "000000000000000000000000000000000000000000000000000000000000000000000000"
      "000000000000000000000000000000000000000000000000000000000000000000000000"
      "0000000000000000000000000000000000000000000000000 1",
      "0.1000000000000000055511151231257827021181583404541015625 2",
      "2.5000000000000000000000000000000000000000000000000000000001e-1 1",
      "1 2\0 3 4",
      "1 2 3 4\xff",
      "+ 1",
      "1+2 3",
      "1-2 3",
      "3 4 e5 6",
      "1.e5 2",
      "1.e 2",
      "1.e+ 2",
      "  \n\r\v\f 7 8",
      "9\n,8",
      "7,\n8",
      "39517250.310,4328460.775,0 39518140.520,4328395.440,0"};
  for (const char* text : texts) ExpectSameAsStream(text);
  ExpectSameAsStream(std::string("1 2\0 3 4", 8));
}

TEST(PointListTest, MatchesTheStreamReaderOnRandomText) {
  // Random texts over the characters that matter to number syntax.
  const char alphabet[] = "0123456789+-.eE, \n\tx;";
  std::mt19937 rng(99);
  std::uniform_int_distribution<int> pick(0, sizeof alphabet - 2);
  std::uniform_int_distribution<int> length(0, 40);
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    for (int n = length(rng); n > 0; --n) text += alphabet[pick(rng)];
    ExpectSameAsStream(text);
    if (HasFailure()) return;
  }
}

}  // namespace

}  // namespace geoanchor
