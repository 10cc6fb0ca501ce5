#include "fit/similarity_fit.h"

#include <ceres/ceres.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "common/numbers.h"
#include "tests/common/bilingual_checks.h"

namespace geoanchor {

namespace {

struct Similarity {
  double A_m, B_m, K, angle_rad;
  Point2 Apply(double x, double y) const {
    const double c = std::cos(angle_rad);
    const double s = std::sin(angle_rad);
    return Point2{(x * c - y * s) * K + A_m, (x * s + y * c) * K + B_m};
  }
};

// ---- residual functors ----------------------------------------------------

struct Evaluation {
  double residual[2];
  double jacobian[4][2];  // [block][residual]
};

Evaluation Evaluate(const ceres::CostFunction& cost,
                    std::vector<double> parameters) {
  Evaluation e{};
  std::vector<const double*> blocks;
  std::vector<double*> jacobians;
  for (size_t i = 0; i < parameters.size(); ++i) {
    blocks.push_back(&parameters[i]);
    jacobians.push_back(e.jacobian[i]);
  }
  EXPECT_TRUE(cost.Evaluate(blocks.data(), e.residual, jacobians.data()));
  return e;
}

TEST(SimilarityResidualTest, ResidualsAndJacobiansMatchTheModel) {
  struct Case {
    double src_x, src_y, des_x, des_y, A, B, K, angle;
  };
  const Case cases[] = {
      {3.0, -4.0, 1.0, 2.0, 0.0, 0.0, 1.0, 0.0},
      {1.0, 0.0, 10.0, 22.0, 10.0, 20.0, 2.0, kPi / 2},
      {500123.25, 4400456.5, -12.5, 33.0, -3.0e5, 7.0e4, 0.99987, 0.013},
      {2.0, 5.0, -1.0, 0.5, 0.25, -0.75, -3.0, 2.5},  // negative K
  };
  for (const Case& c : cases) {
    std::unique_ptr<ceres::CostFunction> free_cost(
        FreeScaleError::Create(c.src_x, c.src_y, c.des_x, c.des_y));
    std::unique_ptr<ceres::CostFunction> fixed_cost(
        FixedScaleError::Create(c.src_x, c.src_y, c.des_x, c.des_y, c.K));
    ASSERT_EQ(2, free_cost->num_residuals());
    ASSERT_EQ(4u, free_cost->parameter_block_sizes().size());
    ASSERT_EQ(3u, fixed_cost->parameter_block_sizes().size());

    const Evaluation f = Evaluate(*free_cost, {c.A, c.B, c.K, c.angle});
    const Evaluation x = Evaluate(*fixed_cost, {c.A, c.B, c.angle});
    const double co = std::cos(c.angle);
    const double si = std::sin(c.angle);
    // Residual = transformed source minus target, in the model's order.
    const double r0 = (c.src_x * co - c.src_y * si) * c.K + c.A - c.des_x;
    const double r1 = (c.src_x * si + c.src_y * co) * c.K + c.B - c.des_y;
    const double tol = 1e-9 * (1.0 + std::fabs(c.src_x) + std::fabs(c.src_y));
    for (const Evaluation* e : {&f, &x}) {
      EXPECT_NEAR(r0, e->residual[0], tol);
      EXPECT_NEAR(r1, e->residual[1], tol);
    }
    // Derivatives by hand: d/dA = (1, 0), d/dB = (0, 1),
    // d/dK = R(angle) src, d/dangle = K * (-(x s + y c), x c - y s).
    const double rot_x = c.src_x * co - c.src_y * si;
    const double rot_y = c.src_x * si + c.src_y * co;
    EXPECT_EQ(1.0, f.jacobian[0][0]);
    EXPECT_EQ(0.0, f.jacobian[0][1]);
    EXPECT_EQ(0.0, f.jacobian[1][0]);
    EXPECT_EQ(1.0, f.jacobian[1][1]);
    EXPECT_NEAR(rot_x, f.jacobian[2][0], tol);
    EXPECT_NEAR(rot_y, f.jacobian[2][1], tol);
    EXPECT_NEAR(-c.K * rot_y, f.jacobian[3][0], tol);
    EXPECT_NEAR(c.K * rot_x, f.jacobian[3][1], tol);
    // Fixed scale: blocks A, B, angle.
    EXPECT_EQ(1.0, x.jacobian[0][0]);
    EXPECT_EQ(1.0, x.jacobian[1][1]);
    EXPECT_NEAR(-c.K * rot_y, x.jacobian[2][0], tol);
    EXPECT_NEAR(c.K * rot_x, x.jacobian[2][1], tol);
  }
}

TEST(SimilarityResidualTest, FixedScaleOfOneEqualsFreeScaleAtOne) {
  const FreeScaleError free_functor(7.5, -2.25, 3.0, 4.0);
  const FixedScaleError fixed_functor(7.5, -2.25, 3.0, 4.0, 1.0);
  const double A = 0.5, B = -1.5, K = 1.0, angle = 0.3;
  double r_free[2], r_fixed[2];
  ASSERT_TRUE(free_functor(&A, &B, &K, &angle, r_free));
  ASSERT_TRUE(fixed_functor(&A, &B, &angle, r_fixed));
  EXPECT_EQ(r_free[0], r_fixed[0]);
  EXPECT_EQ(r_free[1], r_fixed[1]);
}

// ---- the fit ----------------------------------------------------------------

struct ControlSet {
  std::vector<Point3> source;
  std::vector<Point2> target;
};

ControlSet MakeSet(const Similarity& truth, const std::vector<Point2>& src) {
  ControlSet set;
  for (const Point2& s : src) {
    set.source.push_back(Point3{s.x, s.y, 0.0});
    set.target.push_back(truth.Apply(s.x, s.y));
  }
  return set;
}

TEST(SimilarityFitTest, RecoversExactSquare) {
  // The unit square turned by 30 degrees, scaled by 2, moved by (100, 200).
  const Similarity truth{100.0, 200.0, 2.0, kPi / 6};
  const ControlSet set = MakeSet(truth, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  for (double scale : {0.0, 5e-7, -5e-7, 2.0}) {
    const SimilarityFit fit = FitSimilarity(set.source, set.target, scale);
    EXPECT_EQ(scale == 2.0, !fit.free_scale);
    EXPECT_NEAR(100.0, fit.similarity.A_m(), 1e-9) << scale;  // 1 nm
    EXPECT_NEAR(200.0, fit.similarity.B_m(), 1e-9) << scale;
    EXPECT_NEAR(2.0, fit.similarity.K(), 1e-12) << scale;
    EXPECT_NEAR(kPi / 6, fit.similarity.angle_rad(), 1e-12) << scale;
    const std::vector<Point2> d =
        ComputeDeviations(fit, set.source, set.target);
    ASSERT_EQ(4u, d.size());
    for (const Point2& p : d) {
      EXPECT_NEAR(0.0, p.x, 5e-7);  // reads 0 to six decimals
      EXPECT_NEAR(0.0, p.y, 5e-7);
    }
  }
}

TEST(SimilarityFitTest, PureShiftAndFixedScaleValues) {
  const ControlSet set =
      MakeSet(Similarity{-37.25, 12.5, 1.0, 0.0},
              {{500000, 4400000}, {500100, 4400020}, {500050, 4400200}});
  const SimilarityFit fit = FitSimilarity(set.source, set.target, 0.0);
  EXPECT_NEAR(-37.25, fit.similarity.A_m(), 1e-6);  // 1 um
  EXPECT_NEAR(12.5, fit.similarity.B_m(), 1e-6);
  EXPECT_NEAR(1.0, fit.similarity.K(), 1e-12);
  EXPECT_NEAR(0.0, fit.similarity.angle_rad(), 1e-12);
  // A fixed scale is reported as given, sign included.
  EXPECT_EQ(-3.0, FitSimilarity(set.source, set.target, -3.0).similarity.K());
  EXPECT_EQ(1e-6, FitSimilarity(set.source, set.target, 1e-6).similarity.K());
  EXPECT_FALSE(FitSimilarity(set.source, set.target, std::nan("")).free_scale);
}

TEST(SimilarityFitTest, DeviationIsTargetMinusTransformedSource) {
  SimilarityFit fit;
  fit.similarity = PlaneSimilarity::FromModel(1.0, 2.0, 1.0, 0.0);
  const std::vector<Point2> d =
      ComputeDeviations(fit, {{10.0, 20.0, 0.0}}, {{11.5, 21.0}});
  ASSERT_EQ(1u, d.size());
  EXPECT_DOUBLE_EQ(0.5, d[0].x);  // target lies east of the image
  EXPECT_DOUBLE_EQ(-1.0, d[0].y);
}

TEST(SimilarityFitTest, SinglePointAndNoPoint) {
  const SimilarityFit one =
      FitSimilarity({{500000.0, 4400000.0, 0.0}}, {{3.0, 4.0}}, 0.0);
  EXPECT_EQ(1.0, one.similarity.K());
  EXPECT_EQ(0.0, one.similarity.angle_rad());
  EXPECT_NEAR(3.0 - 500000.0, one.similarity.A_m(), 1e-9);
  EXPECT_NEAR(4.0 - 4400000.0, one.similarity.B_m(), 1e-9);
  const SimilarityFit none = FitSimilarity({}, {}, 0.0);
  EXPECT_TRUE(std::isnan(none.similarity.A_m()));
}

// Gauss-Krueger drawing near (500000, 4400000), turned by the meridian
// convergence and scaled by the projection's scale factor.
TEST(SimilarityFitTest, GaussPlaneDrawingWithCentimetreNoise) {
  const Similarity truth{-500000.0 * 0.99987, -4400000.0 * 0.99987, 0.99987,
                         0.013};
  std::mt19937_64 rng(7);
  std::normal_distribution<double> noise_m(0.0, 0.01);
  const std::vector<Point2> src = {
      {500012.3, 4400021.7}, {501208.9, 4400388.1}, {499310.4, 4401502.6},
      {500877.0, 4398740.2}, {498654.2, 4399311.9}, {501930.5, 4401760.4}};
  ControlSet set = MakeSet(truth, src);
  for (Point2& t : set.target) {
    t.x += noise_m(rng);
    t.y += noise_m(rng);
  }
  for (double scale : {0.0, 0.99987}) {
    const SimilarityFit fit = FitSimilarity(set.source, set.target, scale);
    double sum_sq = 0.0;
    for (size_t i = 0; i < src.size(); ++i) {
      const Point2 fitted =
          Similarity{fit.similarity.A_m(), fit.similarity.B_m(),
                     fit.similarity.K(), fit.similarity.angle_rad()}
              .Apply(src[i].x, src[i].y);
      const Point2 exact = truth.Apply(src[i].x, src[i].y);
      sum_sq +=
          std::pow(fitted.x - exact.x, 2) + std::pow(fitted.y - exact.y, 2);
    }
    EXPECT_LT(std::sqrt(sum_sq / src.size()), 0.02) << scale;  // 2 cm RMS
    EXPECT_NEAR(0.013, fit.similarity.angle_rad(), 1e-5) << scale;
  }
}

// A few hundred realistic registrations: Gauss-Krueger sources (either zone
// numbering), any rotation, drawing units from millimetres to kilometres,
// 1 cm noise and a minority of gross outliers.
TEST(SimilarityFitTest, RandomRealisticStudyStaysWithinTenCentimetres) {
  std::mt19937_64 rng(424242);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::normal_distribution<double> noise_m(0.0, 0.01);
  int worst_case = -1;
  double worst_m = 0.0;
  for (int c = 0; c < 300; ++c) {
    const int n = 4 + static_cast<int>(unit(rng) * 24);  // 4 .. 27
    const int outliers = static_cast<int>(unit(rng) * 0.3 * n);
    const double K = std::pow(10.0, -3.0 + 6.0 * unit(rng));
    const double angle = (unit(rng) * 2.0 - 1.0) * kPi;
    const double gk_x_m = unit(rng) < 0.5 ? 500000.0 : 39500000.0;
    const double gk_y_m = 3.0e6 + 2.0e6 * unit(rng);
    const double extent_m = 50.0 + 3000.0 * unit(rng);
    // Sources in drawing units around the Gauss-Krueger position; the
    // targets, metres around the scene base point, follow from the truth.
    const double cx = (gk_x_m + 2.0e4 * (unit(rng) - 0.5)) / K;
    const double cy = (gk_y_m + 2.0e4 * (unit(rng) - 0.5)) / K;
    const double co = std::cos(angle), si = std::sin(angle);
    const Similarity truth{-(cx * co - cy * si) * K, -(cx * si + cy * co) * K,
                           K, angle};
    std::vector<Point2> src;
    for (int i = 0; i < n; ++i) {
      src.push_back(Point2{cx + extent_m * (unit(rng) - 0.5) / K,
                           cy + extent_m * (unit(rng) - 0.5) / K});
    }
    ControlSet set = MakeSet(truth, src);
    for (int i = 0; i < n; ++i) {
      set.target[i].x += noise_m(rng);
      set.target[i].y += noise_m(rng);
      if (i < outliers) {  // gross error of 1 m to 100 m
        const double size_m = std::pow(10.0, 2.0 * unit(rng));
        const double dir = unit(rng) * 2.0 * kPi;
        set.target[i].x += size_m * std::cos(dir);
        set.target[i].y += size_m * std::sin(dir);
      }
    }
    for (double scale : {0.0, K}) {
      const SimilarityFit fit = FitSimilarity(set.source, set.target, scale);
      const Similarity fitted{fit.similarity.A_m(), fit.similarity.B_m(),
                              fit.similarity.K(), fit.similarity.angle_rad()};
      for (int i = outliers; i < n; ++i) {
        const Point2 a = fitted.Apply(src[i].x, src[i].y);
        const Point2 b = truth.Apply(src[i].x, src[i].y);
        const double off_m = std::hypot(a.x - b.x, a.y - b.y);
        if (!(off_m <= worst_m)) {
          worst_m = off_m;
          worst_case = c;
        }
      }
    }
  }
  EXPECT_LT(worst_m, 0.1) << "case " << worst_case;  // 10 cm
}

// ---- quality figures --------------------------------------------------------

TEST(FitQualityTest, CauchyWeights) {
  // Hand calculation of 1 / (1 + (r / 0.05)^2).
  const double cases[][2] = {
      {0.0, 1.0}, {0.05, 0.5}, {0.15, 0.1}, {10.0, 1.0 / 40001.0}};
  for (const auto& c : cases) EXPECT_NEAR(c[1], CauchyWeight(c[0]), 1e-15);
}

// Without outliers, and with deviations far inside the Cauchy core (weights
// within 0.5 % of 1), the covariance is the plain least-squares one. For a
// similarity in centred coordinates its normal matrix is diagonal (hand
// derivation): n for each offset, S = sum of squared centred distances for
// K and K^2 S for the angle. So sd(east) = sd(north) = sigma0 / sqrt(n),
// sd(K) = sigma0 / sqrt(S), sd(angle) = sigma0 / (K sqrt(S)).
TEST(FitQualityTest, PrecisionMatchesClosedFormLeastSquares) {
  const Similarity truth{-500000.0 * 0.99987, -4400000.0 * 0.99987, 0.99987,
                         0.013};
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> spot(-800.0, 800.0);
  std::normal_distribution<double> noise_m(0.0, 0.002);
  std::vector<Point2> src;
  for (int i = 0; i < 25; ++i) {
    src.push_back(Point2{500000.0 + spot(rng), 4400000.0 + spot(rng)});
  }
  ControlSet set = MakeSet(truth, src);
  for (Point2& t : set.target) {
    t.x += noise_m(rng);
    t.y += noise_m(rng);
  }
  double cx = 0, cy = 0;
  for (const Point2& p : src) cx += p.x / src.size(), cy += p.y / src.size();
  double S = 0;
  for (const Point2& p : src)
    S += (p.x - cx) * (p.x - cx) + (p.y - cy) * (p.y - cy);
  const double n = static_cast<double>(src.size());

  for (double scale : {0.0, 0.99987}) {
    FitOptions options;
    options.quality = true;
    const SimilarityFit fit =
        FitSimilarity(set.source, set.target, scale, options);
    const FitPrecision& p = fit.quality.precision;
    ASSERT_TRUE(p.available) << p.note.en;
    const double s0 = fit.sigma0_m;
    EXPECT_NEAR(cx, p.centroid_src_x, 1e-6);
    EXPECT_NEAR(s0 / std::sqrt(n), p.east_m, 0.05 * p.east_m);
    EXPECT_NEAR(s0 / std::sqrt(n), p.north_m, 0.05 * p.north_m);
    const double angle_arcsec =
        s0 / (fit.similarity.K() * std::sqrt(S)) * 180 / kPi * 3600;
    EXPECT_NEAR(angle_arcsec, p.angle_arcsec, 0.05 * angle_arcsec);
    const int m = scale == 0.0 ? 4 : 3;
    ASSERT_EQ(m, p.correlation_size);
    if (scale == 0.0) {
      EXPECT_NEAR(s0 / std::sqrt(S) * 1e6, p.scale_ppm, 0.05 * p.scale_ppm);
    }
    for (int i = 0; i < m; ++i) {
      for (int j = 0; j < m; ++j) {
        EXPECT_NEAR(i == j ? 1.0 : 0.0, p.correlation[i * m + j], 0.05);
      }
    }
  }
}

TEST(FitQualityTest, PrecisionIsMissingWithoutRedundancyOrRank) {
  FitOptions options;
  options.quality = true;
  struct Case {
    const char* what;
    std::vector<Point3> source;
    std::vector<Point2> target;
    double scale;
    const char* note;
  };
  const Case cases[] = {
      {"two points, free scale: 2n = u",
       {{0, 0, 0}, {10, 0, 0}},
       {{1, 1}, {11, 1}},
       0.0,
       "no redundancy"},
      {"all at one place",
       {{5, 5, 0}, {5, 5, 0}, {5, 5, 0}},
       {{1, 1}, {1.01, 1}, {1, 0.99}},
       0.0,
       "rank-deficient"},
      {"all at one place, fixed scale",
       {{5, 5, 0}, {5, 5, 0}},
       {{1, 1}, {1.01, 1}},
       1.0,
       "rank-deficient"},
  };
  for (const Case& c : cases) {
    const SimilarityFit fit =
        FitSimilarity(c.source, c.target, c.scale, options);
    EXPECT_FALSE(fit.quality.precision.available) << c.what;
    EXPECT_NE(std::string::npos, fit.quality.precision.note.en.find(c.note))
        << c.what << ": " << fit.quality.precision.note.en;
    EXPECT_EQ("", bilingual::Faults(fit.quality.precision.note)) << c.what;
  }
}

// A tight cluster of eight good points and one far point whose target is
// 2 m off: alone at the end of a 3 km lever it sets the angle and scale by
// itself, so its own deviation stays small while the other points, fitted
// without it, miss it by about the full 2 m.
TEST(FitQualityTest, FarWrongPointShowsInItsCheckResidual) {
  const Similarity truth{1000.0, 2000.0, 1.0001, 0.3};
  std::vector<Point2> src;
  for (int i = 0; i < 8; ++i) {
    src.push_back(Point2{500000.0 + 30.0 * std::cos(i * 0.8),
                         4400000.0 + 30.0 * std::sin(i * 0.8)});
  }
  src.push_back(Point2{503000.0, 4401000.0});
  ControlSet set = MakeSet(truth, src);
  std::mt19937_64 rng(5);
  std::normal_distribution<double> noise_m(0.0, 0.003);
  for (Point2& t : set.target) {
    t.x += noise_m(rng);
    t.y += noise_m(rng);
  }
  set.target[8].x += 1.2;
  set.target[8].y -= 1.6;
  FitOptions options;
  options.quality = true;
  for (double scale : {0.0, 1.0001}) {
    const SimilarityFit fit =
        FitSimilarity(set.source, set.target, scale, options);
    ASSERT_EQ(9u, fit.quality.checks.size());
    const CheckResidual& far = fit.quality.checks[8];
    ASSERT_TRUE(far.available);
    EXPECT_GT(far.length_m, 10.0 * fit.residuals_m[8]) << scale;
    // The error itself, up to the cluster's own uncertainty carried 3 km
    // out: 3 mm noise over 30 m turns by about 3.5e-5 rad, 0.11 m there.
    if (scale == 0.0) {
      EXPECT_NEAR(2.0, far.length_m, 0.3);
    }
    for (int i = 0; i < 8; ++i) {
      ASSERT_TRUE(fit.quality.checks[i].available);
      EXPECT_LT(fit.quality.checks[i].length_m, 0.05) << i;
    }
  }
}

// The check residual is the deviation under the same robust fit of the
// other points: an independent solve of the solver on those points must
// agree with it to well below a millimetre, with and without an outlier.
TEST(FitQualityTest, CheckResidualsEqualAFitWithoutThePoint) {
  const Similarity truth{-300.0, 700.0, 0.9996, -1.1};
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> spot(-500.0, 500.0);
  std::normal_distribution<double> noise_m(0.0, 0.01);
  std::vector<Point2> src;
  for (int i = 0; i < 12; ++i) {
    src.push_back(Point2{39500000.0 + spot(rng), 3300000.0 + spot(rng)});
  }
  ControlSet set = MakeSet(truth, src);
  for (Point2& t : set.target) {
    t.x += noise_m(rng);
    t.y += noise_m(rng);
  }
  set.target[4].x += 0.8;  // an outlier
  FitOptions options;
  options.quality = true;
  for (double scale : {0.0, 0.9996}) {
    const SimilarityFit fit =
        FitSimilarity(set.source, set.target, scale, options);
    for (size_t i = 0; i < src.size(); ++i) {
      ControlSet others = set;
      others.source.erase(others.source.begin() + i);
      others.target.erase(others.target.begin() + i);
      const SimilarityFit without =
          FitSimilarity(others.source, others.target, scale);
      const Point2 d =
          ComputeDeviations(without, {set.source[i]}, {set.target[i]})[0];
      ASSERT_TRUE(fit.quality.checks[i].available);
      EXPECT_NEAR(d.x, fit.quality.checks[i].dx_m, 1e-4) << i;  // 0.1 mm
      EXPECT_NEAR(d.y, fit.quality.checks[i].dy_m, 1e-4) << i;
    }
  }
}

TEST(FitQualityTest, ChecksNeedThreePointsAndSpreadsFollowTheShape) {
  FitOptions options;
  options.quality = true;
  const SimilarityFit two =
      FitSimilarity({{0, 0, 0}, {10, 0, 0}}, {{0, 0}, {10, 0}}, 0.0, options);
  EXPECT_FALSE(two.quality.checks[0].available);
  EXPECT_FALSE(two.quality.checks_note.empty());
  EXPECT_EQ("", bilingual::Faults(two.quality.checks_note));
  // A 40 x 0.2 rectangle's corners (hand: spreads 20 and 0.1).
  const SimilarityFit thin =
      FitSimilarity({{0, 0, 0}, {40, 0, 0}, {40, 0.2, 0}, {0, 0.2, 0}},
                    {{0, 0}, {40, 0}, {40, 0.2}, {0, 0.2}}, 0.0, options);
  EXPECT_NEAR(20.0, thin.quality.spread_major, 1e-9);
  EXPECT_NEAR(0.1, thin.quality.spread_minor, 1e-9);
  // Without the option nothing of it is computed.
  EXPECT_FALSE(FitSimilarity({{0, 0, 0}, {40, 0, 0}, {0, 9, 0}},
                             {{0, 0}, {40, 0}, {0, 9}}, 0.0)
                   .quality.computed);
}

TEST(VerticalLiftTest, MedianLiftAndDifferences) {
  struct Case {
    std::vector<double> z, up;
    double lift_m, rms_m, max_abs_m;
  };
  // Hand calculations: up - z = (3, 5, 4) has median 4 and differences
  // (-1, 1, 0); (1, 2, 10, 3) has median 2.5.
  const Case cases[] = {
      {{0, 0, 1}, {3, 5, 5}, 4.0, std::sqrt(2.0 / 3.0), 1.0},
      {{0, 0, 0, 0},
       {1, 2, 10, 3},
       2.5,
       std::sqrt((2.25 + 0.25 + 56.25 + 0.25) / 4.0),
       7.5},
  };
  for (const Case& c : cases) {
    std::vector<Point3> source;
    for (double z : c.z) source.push_back(Point3{0, 0, z});
    const VerticalLift v = ComputeVerticalLift(source, c.up);
    ASSERT_TRUE(v.available);
    EXPECT_DOUBLE_EQ(c.lift_m, v.lift_m);
    EXPECT_DOUBLE_EQ(c.rms_m, v.rms_m);
    EXPECT_DOUBLE_EQ(c.max_abs_m, v.max_abs_m);
  }
  EXPECT_FALSE(ComputeVerticalLift({{0, 0, 0}}, {}).available);  // pairs
}

}  // namespace

}  // namespace geoanchor
