// Jobs with real mistakes in them, as users make them: a mistyped digit, an
// easting without its zone number, several blunders, points picked on an
// orthophoto to decimetres, three points of which one is wrong. Each is a
// CGCS2000 Gauss-Krueger site (survey_site.h) run through the tool's own
// preparation, fit and diagnosis.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "fit/plane_similarity.h"
#include "tests/diagnosis/survey_site.h"

namespace geoanchor {

namespace {

struct City {
  const char* name;
  double lon_deg, lat_deg,
      zone_cm_deg;  // central meridian of its 3-degree zone
};
const City kCities[] = {
    {"Beijing", 116.40, 39.90, 117.0}, {"Shanghai", 121.47, 31.23, 120.0},
    {"Chengdu", 104.07, 30.67, 105.0}, {"Guangzhou", 113.26, 23.13, 114.0},
    {"Xi'an", 108.94, 34.34, 108.0},   {"Urumqi", 87.60, 43.80, 87.0},
    {"Harbin", 126.63, 45.75, 126.0},  {"Kunming", 102.71, 25.04, 102.0},
};

Site AtCity(const City& c, int points, double size_m, unsigned seed) {
  Site s;
  s.lon_deg = c.lon_deg;
  s.lat_deg = c.lat_deg;
  s.zone_cm_deg = c.zone_cm_deg;
  s.points = points;
  s.size_m = size_m;
  s.seed = seed;
  return s;
}

enum class Slip { kReplace, kTranspose, kDrop };

// `value` as the tool's user typed it ("%.4f"), with one slip at the digit
// of 10^power: replaced by another, exchanged with the digit to its right,
// or left out.
double Mistype(double value, Slip slip, int power) {
  char text[64];
  std::snprintf(text, sizeof text, "%.4f", value);
  std::string s = text;
  const size_t point = s.find('.');
  const size_t at = power >= 0 ? point - 1 - power : point - power;
  const size_t right = at + 1 == point ? at + 2 : at + 1;
  switch (slip) {
    case Slip::kReplace:
      s[at] = s[at] == '7' ? '2' : '7';
      break;
    case Slip::kTranspose:
      if (s[at] == s[right]) s[right] = s[right] == '9' ? '0' : s[right] + 1;
      std::swap(s[at], s[right]);
      break;
    case Slip::kDrop:
      s.erase(at, 1);
      break;
  }
  return std::strtod(s.c_str(), nullptr);
}

// How far the fitted matrix puts each point from its true place, metres.
std::vector<double> PlacementErrors(const Outcome& o,
                                    const PlaneSimilarity& t) {
  std::vector<double> e_m;
  for (size_t i = 0; i < o.truth.size(); ++i) {
    const Point2 d = t.Deviation(
        Point2{o.points.source[i].x, o.points.source[i].y}, o.truth[i]);
    e_m.push_back(std::sqrt(d.x * d.x + d.y * d.y));
  }
  return e_m;
}

PlaneSimilarity Fitted(const Outcome& o) {
  return PlaneSimilarity::FromModel(
      o.fit.similarity.A_m(), o.fit.similarity.B_m(), o.fit.similarity.K(),
      o.fit.similarity.angle_rad());
}

double Rms(const std::vector<double>& v) {
  double sum = 0.0;
  for (double x : v) sum += x * x;
  return std::sqrt(sum / static_cast<double>(v.size()));
}

// A blunder named with its cause, which the drawing's grid tells.
bool NamesItsCause(FindingCode code) {
  return code == FindingCode::kZoneNumber ||
         code == FindingCode::kSwappedPoint ||
         code == FindingCode::kWebMapPoint ||
         code == FindingCode::kCoordinateSlip;
}

// What a job with `wrong` blunders (positions from 1) must come to: every
// other point placed within `placed_m` of its true place, exactly one
// finding `code` (an outlier, or its cause) a blunder, no finding that
// names a good point, and a verdict of check.
void ExpectBlundersSetAside(const std::string& what, const Outcome& o,
                            const std::vector<int>& wrong, double placed_m,
                            const std::string& code = "outlier") {
  ASSERT_TRUE(o.prepared) << what;
  const std::vector<double> e_m = PlacementErrors(o, Fitted(o));
  for (size_t i = 0; i < e_m.size(); ++i) {
    if (std::count(wrong.begin(), wrong.end(), static_cast<int>(i + 1))) {
      continue;
    }
    EXPECT_LT(e_m[i], placed_m)
        << what << ": point " << i + 1 << ", K " << o.fit.similarity.K() << "\n"
        << Describe(o.full);
  }
  std::vector<int> outliers;
  for (const Finding& f : o.full.findings) {
    for (int p : f.points) {
      EXPECT_TRUE(std::count(wrong.begin(), wrong.end(), p))
          << what << ": " << FindingCodeName(f.code) << " names good point "
          << p << "\n"
          << Describe(o.full);
    }
    if (FindingCodeName(f.code) == code ||
        (code == "outlier" && NamesItsCause(f.code))) {
      outliers.insert(outliers.end(), f.points.begin(), f.points.end());
    }
  }
  std::sort(outliers.begin(), outliers.end());
  EXPECT_EQ(wrong, outliers) << what << "\n" << Describe(o.full);
  EXPECT_EQ(Verdict::kCheck, o.full.verdict) << what << "\n"
                                             << Describe(o.full);
}

// Thirty jobs with one slip of the keyboard each, in eight cities, 5 to
// 14 points on sites of 0.3 to 4 km: a digit replaced, two exchanged or
// one left out, in the drawing's easting or northing or a target's
// longitude or latitude, of 1 m to 100 km.
TEST(BlunderJobsTest, OneMistypedDigitIsSetAside) {
  const Slip slips[] = {Slip::kReplace, Slip::kTranspose, Slip::kDrop};
  const double sizes_m[] = {300.0, 800.0, 1500.0, 4000.0};
  for (int job = 0; job < 30; ++job) {
    const City& city = kCities[job % 8];
    const int points = 5 + job % 10;
    Site s = AtCity(city, points, sizes_m[job % 4], 100u + job);
    const int point = (job * 7) % points;  // from 0
    const int coordinate = job % 4;        // x, y, lon, lat
    const Slip slip = slips[job % 3];
    // Drawing digits from metres to 100 km; target digits from the
    // fifth decimal of a degree (1 m) up.
    const int power = coordinate < 2 ? job % 6 : -5 + job % 4;
    s.alter = [=](std::vector<double>* src, std::vector<double>* des,
                  RunInputs*) {
      std::vector<double>& v = coordinate < 2 ? *src : *des;
      double& number = v[3 * point + coordinate % 2];
      number = coordinate < 2 ? Mistype(number, slip, power)
                              : Mistype(number * 1e4, slip, power + 4) * 1e-4;
    };
    const std::string what = std::string(city.name) + ", job " +
                             std::to_string(job) + ", point " +
                             std::to_string(point + 1);
    ExpectBlundersSetAside(what, Survey(s), {point + 1}, 0.03);
  }
}

// 39448324.112 written 448324.112: 39 000 km off, and named as the slip
// it is.
TEST(BlunderJobsTest, AnEastingWithoutItsZoneNumberIsNamed) {
  for (int job = 0; job < 8; ++job) {
    Site s = AtCity(kCities[job], 6 + job, 500.0 + 400.0 * job, 200u + job);
    const int point = job % s.points;
    const double zone = std::round(s.zone_cm_deg / 3.0);
    s.alter = [=](std::vector<double>* src, std::vector<double>*, RunInputs*) {
      (*src)[3 * point] -= zone * 1e6;
    };
    ExpectBlundersSetAside(kCities[job].name, Survey(s), {point + 1}, 0.03,
                           "zone_number");
  }
}

// Sixteen jobs of 10 to 14 points with 2 to 4 blunders of 3 m to 5 km, up
// to a third of the points.
TEST(BlunderJobsTest, SeveralBlundersAreSetAside) {
  const double sizes_m[] = {3.0, 40.0, 700.0, 5000.0};
  for (int job = 0; job < 16; ++job) {
    const int points = 10 + job % 5;
    const int blunders = 2 + job % 3;
    Site s = AtCity(kCities[job % 8], points, 600.0 + 200.0 * job, 300u + job);
    std::vector<int> wrong;
    for (int k = 0; k < blunders; ++k)
      wrong.push_back(1 + (job + 3 * k) % points);
    std::sort(wrong.begin(), wrong.end());
    s.alter = [=](std::vector<double>* src, std::vector<double>*, RunInputs*) {
      for (int k = 0; k < blunders; ++k) {
        const double size_m = sizes_m[(job + k) % 4];
        const double turn = 2.0 * k + job;
        (*src)[3 * (wrong[k] - 1)] += size_m * std::cos(turn);
        (*src)[3 * (wrong[k] - 1) + 1] += size_m * std::sin(turn);
      }
    };
    ExpectBlundersSetAside("job " + std::to_string(job), Survey(s), wrong,
                           0.03);
  }
}

// 20 000 points, a quarter of them moved by 1 m to 1 km: beyond 40 points
// the consensus draws its pairs, and finds a clean one all the same.
TEST(BlunderJobsTest, AQuarterOfManyPointsWrong) {
  Site s = AtCity(kCities[0], 20000, 2000.0, 700u);
  std::vector<bool> wrong(20000, false);
  s.alter = [&wrong](std::vector<double>* src, std::vector<double>*,
                     RunInputs*) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (size_t i = 0; i < wrong.size(); ++i) {
      if (unit(random) >= 0.25) continue;
      wrong[i] = true;
      const double far_m = std::pow(10.0, 3.0 * unit(random));
      const double turn = 2.0 * M_PI * unit(random);
      (*src)[3 * i] += far_m * std::cos(turn);
      (*src)[3 * i + 1] += far_m * std::sin(turn);
    }
  };
  const Outcome o = Survey(s);
  ASSERT_TRUE(o.prepared);
  const std::vector<double> e_m = PlacementErrors(o, Fitted(o));
  double worst_good_m = 0.0;
  size_t missed = 0;
  for (size_t i = 0; i < e_m.size(); ++i) {
    if (!wrong[i]) worst_good_m = std::max(worst_good_m, e_m[i]);
    missed += o.full.survey.blunder[i] != wrong[i];
  }
  EXPECT_LT(worst_good_m, 0.03);
  EXPECT_EQ(0u, missed);
}

// Targets picked on an orthophoto to 0.12 to 0.45 m a coordinate: none is
// a blunder, the points are called coarse, and the matrix places them
// about as well as plain least squares does (which is the best estimator
// for such noise): at most 2 times its error on any site, 1.2 times over
// all of them.
TEST(BlunderJobsTest, DecimetrePointsAreFittedLikeLeastSquares) {
  double robust_sum_m = 0.0, plain_sum_m = 0.0;
  for (int job = 0; job < 12; ++job) {
    Site s =
        AtCity(kCities[job % 8], 6 + job % 9, 300.0 + 300.0 * job, 400u + job);
    s.target_noise_m = 0.12 + 0.03 * job;
    const Outcome o = Survey(s);
    ASSERT_TRUE(o.prepared);
    const std::string what = "job " + std::to_string(job);
    PlaneSimilarity plain;
    ASSERT_TRUE(FitClosedForm(PlanePoints(o.points.source), o.points.target, {},
                              s.scale, &plain));
    const double robust_m = Rms(PlacementErrors(o, Fitted(o)));
    const double plain_m = Rms(PlacementErrors(o, plain));
    EXPECT_LT(robust_m, 2.0 * plain_m) << what;
    robust_sum_m += robust_m;
    plain_sum_m += plain_m;
    for (const Finding& f : o.full.findings) {
      EXPECT_STRNE("outlier", FindingCodeName(f.code)) << what << "\n"
                                                       << Describe(o.full);
    }
    for (bool b : o.full.survey.blunder) EXPECT_FALSE(b) << what;
    EXPECT_GT(o.fit.loss_scale_m, kCauchyScaleM) << what;
  }
  EXPECT_LT(robust_sum_m, 1.2 * plain_sum_m);
}

// The same with a 5 m blunder among them, and with the points' accuracy
// given, which the estimate cannot tell from five points.
TEST(BlunderJobsTest, ABlunderAmongDecimetrePointsIsFound) {
  for (int job = 0; job < 6; ++job) {
    Site s = AtCity(kCities[job], job < 3 ? 10 : 5, 1000.0, 500u + job);
    s.target_noise_m = 0.2;
    if (job >= 3) s.accuracy_m = 0.2;
    const int point = job % s.points;
    s.alter = [=](std::vector<double>* src, std::vector<double>*, RunInputs*) {
      (*src)[3 * point + 1] += 5.0;
    };
    const Outcome o = Survey(s);
    ASSERT_TRUE(o.prepared);
    const std::string what = "job " + std::to_string(job);
    std::vector<int> outliers;
    for (const Finding& f : o.full.findings) {
      if (f.code == FindingCode::kOutlier || NamesItsCause(f.code)) {
        outliers = f.points;
      }
    }
    EXPECT_EQ(std::vector<int>{point + 1}, outliers) << what << "\n"
                                                     << Describe(o.full);
    const std::vector<double> e_m = PlacementErrors(o, Fitted(o));
    for (size_t i = 0; i < e_m.size(); ++i) {
      if (static_cast<int>(i) == point) continue;
      EXPECT_LT(e_m[i], 1.0) << what;
    }
  }
}

// Three points of a plain CAD grid cannot tell which of them is wrong: the
// finding says so and names no outlier. (In a national grid the grid tells
// it: grid_reference_test.cpp.)
TEST(BlunderJobsTest, ThreePointsCannotLocateTheirBlunder) {
  for (int point = 0; point < 3; ++point) {
    Site s = AtCity(kCities[point], 3, 500.0, 600u + point);
    s.grid = true;
    s.alter = [=](std::vector<double>* src, std::vector<double>*, RunInputs*) {
      (*src)[3 * point] += 5.0;
    };
    const Outcome o = Survey(s);
    ASSERT_TRUE(o.prepared);
    ASSERT_FALSE(o.full.findings.empty());
    EXPECT_STREQ("blunder_unlocated", FindingCodeName(o.full.findings[0].code))
        << Describe(o.full);
    for (const Finding& f : o.full.findings) {
      EXPECT_STRNE("outlier", FindingCodeName(f.code));
    }
    // Nor does the report or the plot mark one.
    for (bool blunder : o.full.survey.blunder) EXPECT_FALSE(blunder);
    EXPECT_EQ(Verdict::kBad, o.full.verdict);
  }
}

}  // namespace

}  // namespace geoanchor
