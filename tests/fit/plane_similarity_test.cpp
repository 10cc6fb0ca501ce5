// The plane similarity as a value (common/plane_similarity.h) and its
// estimators (fit/plane_similarity.h): the round trips and the matrix held
// to the rounding that their magnitudes allow, exact recovery at
// Gauss-Krueger magnitudes, the reweighted fit against the Ceres solve, and
// the consensus with just under half the points wrong.
//
// Rounding bounds are written in units of kEps (one unit in the last place
// of 1, twice the unit roundoff u): every basic operation rounds its result
// x by at most u |x|, and the bounds add those up over the operations a
// computation makes.
#include "fit/plane_similarity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "common/numbers.h"
#include "common/plane_similarity.h"
#include "common/types.h"
#include "fit/similarity_fit.h"

namespace geoanchor {
namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();

double Norm1(const Point2& p) { return std::fabs(p.x) + std::fabs(p.y); }

// ---- the value: round trips, the model form, the matrix -------------------

struct SimilarityCase {
  const char* name;
  Point2 from_c;
  Point2 to_c;
  double K;
  double angle_rad;
};

// A drawing's reference point in zone 39 of the Gauss-Krueger grid, metres
// (easting with the zone number in front), and the same in kilometres and
// in millimetres; a zone-39 position as the to plane. Constructed numbers
// with every decimal used, so that no coordinate is a round binary number.
constexpr double kZoneEastM = 39512345.678;
constexpr double kZoneNorthM = 4301234.567;

const SimilarityCase kSimilarityCases[] = {
    {"Identity", {0.0, 0.0}, {0.0, 0.0}, 1.0, 0.0},
    // The usual job: a zone-39 drawing onto the scene's east/north, at the
    // projection's scale and turned by the meridian convergence.
    {"ZoneOntoScene",
     {kZoneEastM, kZoneNorthM},
     {-123.456, 789.012},
     0.99987,
     -0.0217},
    {"OriginOntoZoneQuarterTurn",
     {0.0, 0.0},
     {39500000.0, 4300000.0},
     1.0,
     kPi / 2},
    {"ZoneOntoZone",
     {kZoneEastM, kZoneNorthM},
     {39498765.4321, 4312345.6789},
     0.99987,
     -0.7},
    {"KilometresNearHalfTurn",
     {kZoneEastM / 1000.0, kZoneNorthM / 1000.0},
     {0.0, 0.0},
     1000.0,
     kPi - 1e-9},
    {"MillimetresSmallAngle",
     {kZoneEastM * 1000.0, kZoneNorthM * 1000.0},
     {39500000.0, 4300000.0},
     0.001,
     1e-9},
    {"NegativeScale", {kZoneEastM, kZoneNorthM}, {250.0, -250.0}, -1.0, 0.25},
    {"NegativeScaleJustPastMinusHalfTurn",
     {0.0, 0.0},
     {39500000.0, 4300000.0},
     -0.99987,
     -kPi + 1e-7},
    // Zero angles whose sine is +0 or -0 (with K's sign): element 1 of the
    // matrix is then a signed zero, and element 4 must carry the other sign.
    {"ZeroAngleNegativeScale", {0.0, 0.0}, {100.0, 200.0}, -2.5, 0.0},
    {"NegativeZeroAngle", {kZoneEastM, kZoneNorthM}, {0.0, 0.0}, 1.0, -0.0},
};

class SimilarityValueTest : public testing::TestWithParam<SimilarityCase> {
 protected:
  PlaneSimilarity Similarity() const {
    const SimilarityCase& c = GetParam();
    return PlaneSimilarity(c.from_c, c.to_c, c.K, c.angle_rad);
  }
  // Points of the from plane about its reference point, up to 1.4 km
  // away in `to` units (offsets in metres divided by |K|), and the from
  // plane's origin, where the model's offsets are made.
  std::vector<Point2> Points() const {
    const SimilarityCase& c = GetParam();
    const double per_m = 1.0 / std::fabs(c.K);
    std::vector<Point2> points = {{0.0, 0.0}};
    for (const Point2& d :
         {Point2{0.0, 0.0}, Point2{1000.0, -750.0}, Point2{-333.25, 666.5},
          Point2{0.001, -0.002}, Point2{-1000.0, -1000.0}}) {
      points.push_back(
          Point2{c.from_c.x + d.x * per_m, c.from_c.y + d.y * per_m});
    }
    return points;
  }
};

// Apply rounds q by about 4u |K| |p - from_c|_1 + u |q|; Invert rounds
// q - to_c, the division by K, the turn back (whose cos^2 + sin^2 is 1 to
// 2u) and the sum with from_c. In from units that adds up to below
// 6 kEps M with M = |p|_1 + |from_c|_1 + (|q|_1 + |to_c|_1) / |K|: a few
// ulps of the largest coordinate the round trip passes through. A sign
// slip in the turn back misses by 2 |p - from_c| sin(angle).
TEST_P(SimilarityValueTest, InvertUndoesApply) {
  const PlaneSimilarity t = Similarity();
  for (const Point2& p : Points()) {
    const Point2 q = t.Apply(p);
    const Point2 back = t.Invert(q);
    const double bound = 6.0 * kEps *
                         (Norm1(p) + Norm1(t.from_c()) +
                          (Norm1(q) + Norm1(t.to_c())) / std::fabs(t.K()));
    EXPECT_NEAR(p.x, back.x, bound) << p.x << ", " << p.y;
    EXPECT_NEAR(p.y, back.y, bound) << p.x << ", " << p.y;
  }
}

// The rotation given as a direction (c, s) of length 1234.5 (any length
// but a power of two, whose scaling would be exact): its cos and sin are
// those of the angle to a few u, its angle is the angle to a few u, and it
// places every point as the angle's similarity does to within 1e-15 of the
// magnitudes Apply passes through (each Apply rounds by about 4u of them,
// the cos and sin differ by about 2u).
TEST_P(SimilarityValueTest, DirectionAgreesWithAngle) {
  const SimilarityCase& c = GetParam();
  const PlaneSimilarity t = Similarity();
  const double length = 1234.5;
  const PlaneSimilarity d = PlaneSimilarity::FromDirection(
      c.from_c, c.to_c, c.K, length * std::cos(c.angle_rad),
      length * std::sin(c.angle_rad));
  EXPECT_NEAR(t.cos(), d.cos(), 1e-15);
  EXPECT_NEAR(t.sin(), d.sin(), 1e-15);
  EXPECT_NEAR(c.angle_rad, d.angle_rad(), 1e-15 * std::fabs(c.angle_rad));
  EXPECT_EQ(std::signbit(c.angle_rad), std::signbit(d.angle_rad()));
  for (const Point2& p : Points()) {
    const Point2 x{p.x - c.from_c.x, p.y - c.from_c.y};
    const double bound =
        1e-15 * (std::fabs(c.K) * Norm1(x) + Norm1(c.to_c) + Norm1(t.Apply(p)));
    EXPECT_NEAR(t.Apply(p).x, d.Apply(p).x, bound) << p.x << ", " << p.y;
    EXPECT_NEAR(t.Apply(p).y, d.Apply(p).y, bound) << p.x << ", " << p.y;
  }
}

// The model form makes its offset A = to_c.x - K (from_c.x cos - from_c.y
// sin) (3u of |K| |from_c|_1, u of |A|) and applies K R p + A (3u of
// |K| |p|_1, u of the result); the original's Apply rounds p - from_c and
// the rest (4u of |K| |p - from_c|_1, u of the result). With every
// magnitude at most M = |K| (|p|_1 + |from_c|_1) + |to_c|_1, the magnitude
// of the terms that cancel, that is under 10u M = 5 kEps M: at a
// zone-numbered drawing the rounding of the offsets themselves, a few
// ulp(4e7 m) = 7.5e-9 m.
TEST_P(SimilarityValueTest, ModelFormPlacesEveryPointAlike) {
  const PlaneSimilarity t = Similarity();
  const PlaneSimilarity model = t.InModelForm();
  for (const Point2& p : Points()) {
    const double bound =
        6.0 * kEps *
        (std::fabs(t.K()) * (Norm1(p) + Norm1(t.from_c())) + Norm1(t.to_c()));
    EXPECT_NEAR(t.Apply(p).x, model.Apply(p).x, bound) << p.x << ", " << p.y;
    EXPECT_NEAR(t.Apply(p).y, model.Apply(p).y, bound) << p.x << ", " << p.y;
  }
}

// Turning back what was turned leaves the scale: K v, to the roundings of
// the two turns (about 3u and 2u of |K| |v|_1) and of cos^2 + sin^2 (2u):
// 7u, under 4 kEps.
TEST_P(SimilarityValueTest, TurnBackUndoesTurnButTheScale) {
  const PlaneSimilarity t = Similarity();
  for (const Point2& v :
       {Point2{1.0, 0.0}, Point2{0.0, 1.0}, Point2{1000.0, -750.0},
        Point2{-0.003, 0.004}, Point2{123456.789, 98765.4321}}) {
    const Point2 back = t.TurnBack(t.Turn(v));
    const double bound = 4.0 * kEps * std::fabs(t.K()) * Norm1(v);
    EXPECT_NEAR(t.K() * v.x, back.x, bound) << v.x << ", " << v.y;
    EXPECT_NEAR(t.K() * v.y, back.y, bound) << v.x << ", " << v.y;
  }
}

// (x, y, z, 1) times the column-major matrix, summed column by column as a
// consumer of the matrix does.
std::array<double, 4> TimesMatrix(const TransformMatrix& m, const Point2& p,
                                  double z) {
  const double v[4] = {p.x, p.y, z, 1.0};
  std::array<double, 4> out{};
  for (int row = 0; row < 4; ++row) {
    double sum = m[static_cast<size_t>(row)] * v[0];
    for (int col = 1; col < 4; ++col) {
      sum += m[static_cast<size_t>(4 * col + row)] * v[col];
    }
    out[static_cast<size_t>(row)] = sum;
  }
  return out;
}

// The matrix computes (K cos) x + (-(K sin)) y + A where Apply computes
// (x cos - y sin) K + A: different roundings (three of K |p|_1 in each
// before the sum with A, one of the result after), so they agree to
// 8u (|K| |p|_1 + |A|), not bit for bit. z passes through with
// only the z offset added: 0 x + 0 y + 1 z + zoffset is exact.
TEST_P(SimilarityValueTest, MatrixAgreesWithTheModelForm) {
  const PlaneSimilarity model = Similarity().InModelForm();
  const double zoffset_m = 100.25;
  const TransformMatrix m = model.ToMatrix(zoffset_m);
  for (const Point2& p : Points()) {
    for (double z : {0.0, 12.5, -3.75e3}) {
      const std::array<double, 4> out = TimesMatrix(m, p, z);
      const Point2 q = model.Apply(p);
      const double k_p = std::fabs(model.K()) * Norm1(p);
      EXPECT_NEAR(q.x, out[0], 4.0 * kEps * (k_p + std::fabs(model.A_m())))
          << p.x << ", " << p.y;
      EXPECT_NEAR(q.y, out[1], 4.0 * kEps * (k_p + std::fabs(model.B_m())))
          << p.x << ", " << p.y;
      EXPECT_EQ(z + zoffset_m, out[2]);
      EXPECT_EQ(1.0, out[3]);
    }
  }
}

// Element 4 is element 1 negated, sign bit included: K sin = +0 gives -0
// and -0 (a negative K or a negative zero angle) gives +0. The zeros of
// the third column and the last row are +0.
TEST_P(SimilarityValueTest, MatrixNegatesTheSineExactly) {
  const TransformMatrix m = Similarity().InModelForm().ToMatrix(0.0);
  EXPECT_EQ(std::fabs(m[1]), std::fabs(m[4]));
  EXPECT_NE(std::signbit(m[1]), std::signbit(m[4]));
  EXPECT_EQ(m[0], m[5]);
  for (size_t i : {2, 3, 6, 7, 8, 9, 11}) {
    EXPECT_EQ(0.0, m[i]) << i;
    EXPECT_FALSE(std::signbit(m[i])) << i;
  }
  EXPECT_EQ(1.0, m[10]);
  EXPECT_EQ(1.0, m[15]);
}

INSTANTIATE_TEST_SUITE_P(
    Similarities, SimilarityValueTest, testing::ValuesIn(kSimilarityCases),
    [](const testing::TestParamInfo<SimilarityCase>& info) {
      return std::string(info.param.name);
    });

// ---- the estimators on a drawing in zone 39 ---------------------------------

// The drawing's centre in zone 39 (metres, easting with the zone number in
// front), and where the truth puts it in the scene: a few tens of metres
// from the scene's base point. Constructed.
const Point2 kDrawingCentreM{39456789.012, 4345678.901};
const Point2 kSceneCentreM{31.5, -12.25};
// Drawing points lie within this of the centre in x and in y: 650 sqrt(2)
// K + 34 m keeps every target within 1 km of the base point.
constexpr double kHalfSideM = 650.0;

struct Scene {
  PlaneSimilarity truth;
  std::vector<Point3> source;  // drawing x, y (zone 39 metres), z 0
  std::vector<Point2> from;    // the same x, y
  std::vector<Point2> to;      // truth.Apply(from), east/north metres
};

// `n` drawing points spread uniformly over the square about the drawing's
// centre, carried onto the scene by the similarity of scale K and angle.
Scene ZoneScene(double K, double angle_rad, int n, std::mt19937* rng) {
  Scene s;
  s.truth = PlaneSimilarity(kDrawingCentreM, kSceneCentreM, K, angle_rad);
  std::uniform_real_distribution<double> offset_m(-kHalfSideM, kHalfSideM);
  for (int i = 0; i < n; ++i) {
    const Point2 p{kDrawingCentreM.x + offset_m(*rng),
                   kDrawingCentreM.y + offset_m(*rng)};
    s.source.push_back(Point3{p.x, p.y, 0.0});
    s.from.push_back(p);
    s.to.push_back(s.truth.Apply(p));
  }
  return s;
}

// Normal noise of `sd_m` on every target coordinate.
void AddNoise(double sd_m, std::mt19937* rng, std::vector<Point2>* to) {
  std::normal_distribution<double> noise_m(0.0, sd_m);
  for (Point2& t : *to) {
    t.x += noise_m(*rng);
    t.y += noise_m(*rng);
  }
}

struct RecoveryCase {
  const char* name;
  double K;  // of the truth
  double angle_rad;
  double scale;  // as --scale: 0 free
  // What the fit finds: the truth's, but for a free fit of a negative K,
  // which finds |K| and the angle half a turn on (-K R(a) = K R(a - pi)).
  double fitted_K;
  double fitted_angle_rad;
};

const RecoveryCase kRecoveryCases[] = {
    {"FreeScale", 0.99987, -0.0217, 0.0, 0.99987, -0.0217},
    {"FreeScaleTurned", 1.000213, 2.5, 0.0, 1.000213, 2.5},
    {"FixedScale", 0.99987, -0.0217, 0.99987, 0.99987, -0.0217},
    {"FixedNegativeScale", -0.99987, 0.7, -0.99987, -0.99987, 0.7},
    {"FreeScaleOfANegativeOne", -0.99987, 0.7, 0.0, 0.99987, 0.7 - kPi},
};

class ClosedFormRecoveryTest : public testing::TestWithParam<RecoveryCase> {};

// Exact data: the targets are the truth's images rounded to doubles (ulp
// of 1 km: 1.1e-13 m) and the drawing's centroid is rounded at 4e7 m (a
// few 1e-9 m, a shift common to every point that K and the angle do not
// see). What is left for K and the angle is rounding of sums of products
// of 1e3 m by 1e3 m over the points, far below 1e-12; the placements take
// the centroid's rounding, far below 1e-6 m.
TEST_P(ClosedFormRecoveryTest, RecoversTheTruthAtZoneMagnitudes) {
  const RecoveryCase& c = GetParam();
  std::mt19937 rng(39);
  const Scene s = ZoneScene(c.K, c.angle_rad, 12, &rng);
  PlaneSimilarity fit;
  ASSERT_TRUE(FitClosedForm(s.from, s.to, {}, c.scale, &fit));
  EXPECT_NEAR(c.fitted_K, fit.K(), 1e-12);
  EXPECT_NEAR(c.fitted_angle_rad, fit.angle_rad(), 1e-12);
  for (size_t i = 0; i < s.from.size(); ++i) {
    const Point2 d = fit.Deviation(s.from[i], s.to[i]);
    EXPECT_LT(std::hypot(d.x, d.y), 1e-6) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Truths, ClosedFormRecoveryTest,
                         testing::ValuesIn(kRecoveryCases),
                         [](const testing::TestParamInfo<RecoveryCase>& info) {
                           return std::string(info.param.name);
                         });

// ---- the reweighted fit against the Ceres solve ----------------------------

class RobustAgainstCeresTest : public testing::TestWithParam<double> {};

// Twelve zone-39 points with 2 mm of noise and one blunder of 2.7 m, from
// the closed form (dragged by the blunder) under the 0.05 m Cauchy loss:
// the reweighting and Ceres seek the same stationary point.
//
// The reweighting stops once no point moves by 1e-7 m: restarted from
// Ceres' answer it comes back to its own, within 1e-7 m over the 920 m
// reach, 1e-10 in K and the angle (measured: 4e-15).
//
// Ceres stops where a step changes the cost by less than 1e-6 of it (its
// default function tolerance), and the cost here is nearly all the
// blunder's: 0.05^2 / 2 ln(1 + (2.7 / 0.05)^2) = 0.00998 of 0.01003
// (FitSimilarity without a consensus runs only this solve). So it may
// stop some 1e-8 above the minimum (measured: 7e-9), a deviation d with
// d^2 / 2 sum w |x|^2 <= 1e-8 over the 11 good points' sum w |x|^2 of
// 11 * 2 * 650^2 / 3 = 3.1e6 m^2: 8e-8 in K and the angle (measured:
// 3e-8), and sqrt(2e-8 / 11) = 4e-5 m where the centroid lands. Hence 2e-7
// and 1e-4 m; a Cauchy weight made of r / c instead of (r / c)^2 drags the
// centroid by millimetres.
TEST_P(RobustAgainstCeresTest, SameStationaryPoint) {
  const double scale = GetParam();
  std::mt19937 rng(20240611);
  Scene s = ZoneScene(0.99987, -0.0217, 12, &rng);
  AddNoise(0.002, &rng, &s.to);
  const size_t blunder = 5;
  s.to[blunder].x += 2.4;
  s.to[blunder].y -= 1.3;

  PlaneSimilarity start;
  ASSERT_TRUE(FitClosedForm(s.from, s.to, {}, scale, &start));
  const RobustSimilarity robust =
      FitRobust(s.from, s.to, scale, kCauchyScaleM, start);
  ASSERT_TRUE(robust.ok);
  const SimilarityFit ceres = FitSimilarity(s.source, s.to, scale);
  const RobustSimilarity again =
      FitRobust(s.from, s.to, scale, kCauchyScaleM, ceres.similarity);
  ASSERT_TRUE(again.ok);

  const Point2 centroid = start.from_c();
  for (const PlaneSimilarity* other : {&again.similarity, &ceres.similarity}) {
    const bool is_ceres = other == &ceres.similarity;
    const double tolerance = is_ceres ? 2e-7 : 1e-10;
    const double tolerance_m = is_ceres ? 1e-4 : 1e-7;
    EXPECT_NEAR(other->K(), robust.similarity.K(), tolerance) << is_ceres;
    EXPECT_NEAR(other->angle_rad(), robust.similarity.angle_rad(), tolerance)
        << is_ceres;
    const Point2 a = robust.similarity.Apply(centroid);
    const Point2 b = other->Apply(centroid);
    EXPECT_NEAR(b.x, a.x, tolerance_m) << is_ceres;
    EXPECT_NEAR(b.y, a.y, tolerance_m) << is_ceres;
  }
  // The point both found is the one that leaves the blunder out (a weight
  // below 0.1: more than three loss scales off), not least squares.
  EXPECT_LT(robust.weights[blunder], kOutlierWeight);
  EXPECT_LT(ceres.weights[blunder], kOutlierWeight);
}

INSTANTIATE_TEST_SUITE_P(Scales, RobustAgainstCeresTest,
                         testing::Values(0.0, 0.99987));

// ---- the consensus ---------------------------------------------------------

struct ConsensusCase {
  const char* name;
  double K;
  double angle_rad;
  double scale;
  // The wrong points: false, scattered, each moved by 1 m to 1 km
  // (log-uniform) in a random direction; true, the 49 easternmost, placed
  // in a frame shifted 5 m north and turned by 0.005 rad (a block picked in
  // the wrong frame), 5 m to 9 m off, agreeing among themselves.
  bool wrong_block;
};

const ConsensusCase kConsensusCases[] = {
    {"FreeScaleScattered", 0.99987, -0.0217, 0.0, false},
    {"FixedScaleOfOneScattered", 1.0, 0.4, 1.0, false},
    {"FreeScaleWrongBlock", 0.99987, -0.0217, 0.0, true},
};

class ConsensusTest : public testing::TestWithParam<ConsensusCase> {};

// 100 points, 2 mm of noise, 49 of them wrong: one short of half, which
// the least median of squares survives with the lower median of the other
// 98 (49 good, 49 wrong). Against the wrong block that median matters: the
// block's own pairs leave 47 points in place, and the next median up would
// prefer them, as the good points nearest the block's frame (2 m off it)
// are closer to it than the block's points (5 m and more) are to the
// truth. Every wrong point is 1 m or more, over six times the 0.15 m
// threshold, from the truth; every good point is 50 sigmas of the noise
// within it.
TEST_P(ConsensusTest, FindsTheGoodPointsWithFortyNineWrong) {
  const ConsensusCase& c = GetParam();
  std::mt19937 rng(4901);
  Scene s = ZoneScene(c.K, c.angle_rad, 100, &rng);
  AddNoise(0.002, &rng, &s.to);
  std::vector<size_t> order(s.to.size());
  std::iota(order.begin(), order.end(), size_t{0});
  if (c.wrong_block) {
    std::sort(order.begin(), order.end(),
              [&](size_t i, size_t j) { return s.from[i].x > s.from[j].x; });
  } else {
    std::shuffle(order.begin(), order.end(), rng);
  }
  const PlaneSimilarity wrong_frame(
      kDrawingCentreM, Point2{kSceneCentreM.x, kSceneCentreM.y + 5.0}, c.K,
      c.angle_rad + 0.005);
  std::vector<bool> good(s.to.size(), true);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (size_t k = 0; k < 49; ++k) {
    const size_t i = order[k];
    good[i] = false;
    Point2 move_m;
    if (c.wrong_block) {
      const Point2 wrong = wrong_frame.Apply(s.from[i]);
      const Point2 right = s.truth.Apply(s.from[i]);
      move_m = Point2{wrong.x - right.x, wrong.y - right.y};
    } else {
      const double size_m = std::pow(10.0, 3.0 * unit(rng));
      const double direction_rad = 2.0 * kPi * unit(rng);
      move_m = Point2{size_m * std::cos(direction_rad),
                      size_m * std::sin(direction_rad)};
    }
    s.to[i].x += move_m.x;
    s.to[i].y += move_m.y;
  }

  const double min_blunder_m = kBlunderM;
  const Consensus found = FindConsensus(s.from, s.to, c.scale, min_blunder_m);
  ASSERT_TRUE(found.found);
  EXPECT_EQ(good, found.inlier);
  EXPECT_EQ(51u, found.inliers);
  // The closed form on 51 points with 2 mm of noise places a point x off
  // the truth by 2 mm sqrt(1 / 51 + |x|^2 / sum |x_i|^2) per coordinate
  // (one sd; x from the centroid): 0.3 mm at the centroid, 0.56 mm at the
  // square's corners (|x| = 920 m, sum |x_i|^2 = 51 * 2 * 650^2 / 3).
  // 3 mm is over five of those.
  const RobustSimilarity robust = FitRobustFromConsensus(
      s.from, s.to, c.scale, kCauchyScaleM, min_blunder_m);
  ASSERT_TRUE(robust.ok);
  for (size_t i = 0; i < s.from.size(); ++i) {
    if (!good[i]) {
      EXPECT_LT(robust.weights[i], kOutlierWeight) << i;
      continue;
    }
    const Point2 truth = s.truth.Apply(s.from[i]);
    for (const PlaneSimilarity* t : {&found.similarity, &robust.similarity}) {
      const Point2 q = t->Apply(s.from[i]);
      EXPECT_LT(std::hypot(q.x - truth.x, q.y - truth.y), 0.003) << i;
    }
  }

  // The same inliers given from outside are the same consensus: their
  // closed form, to the bit, and their scatter.
  const Consensus given = ConsensusOf(s.from, s.to, c.scale, good);
  ASSERT_TRUE(given.found);
  EXPECT_EQ(found.similarity.K(), given.similarity.K());
  EXPECT_EQ(found.similarity.angle_rad(), given.similarity.angle_rad());
  EXPECT_EQ(found.similarity.A_m(), given.similarity.A_m());
  EXPECT_EQ(found.similarity.B_m(), given.similarity.B_m());
  EXPECT_EQ(found.sigma, given.sigma);
  EXPECT_EQ(found.redundancy, given.redundancy);
}

INSTANTIATE_TEST_SUITE_P(Scales, ConsensusTest,
                         testing::ValuesIn(kConsensusCases),
                         [](const testing::TestParamInfo<ConsensusCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace geoanchor
