#include "fit/similarity_fit.h"

#include <ceres/ceres.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr double kPi = 3.141592653589793;

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

TEST(AffineErrorTest, ResidualsAndJacobiansMatchTheModel) {
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
        AffineError::Create(c.src_x, c.src_y, c.des_x, c.des_y));
    std::unique_ptr<ceres::CostFunction> fixed_cost(
        AffineErrorfixedK::Create(c.src_x, c.src_y, c.des_x, c.des_y, c.K));
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

TEST(AffineErrorTest, FixedScaleOfOneEqualsFreeScaleAtOne) {
  const AffineError free_functor(7.5, -2.25, 3.0, 4.0);
  const AffineErrorfixedK fixed_functor(7.5, -2.25, 3.0, 4.0, 1.0);
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
    EXPECT_NEAR(100.0, fit.A_m, 1e-9) << scale;  // 1 nm
    EXPECT_NEAR(200.0, fit.B_m, 1e-9) << scale;
    EXPECT_NEAR(2.0, fit.K, 1e-12) << scale;
    EXPECT_NEAR(kPi / 6, fit.angle_rad, 1e-12) << scale;
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
  EXPECT_NEAR(-37.25, fit.A_m, 1e-6);  // 1 um
  EXPECT_NEAR(12.5, fit.B_m, 1e-6);
  EXPECT_NEAR(1.0, fit.K, 1e-12);
  EXPECT_NEAR(0.0, fit.angle_rad, 1e-12);
  // A fixed scale is reported as given, sign included.
  EXPECT_EQ(-3.0, FitSimilarity(set.source, set.target, -3.0).K);
  EXPECT_EQ(1e-6, FitSimilarity(set.source, set.target, 1e-6).K);
  EXPECT_FALSE(FitSimilarity(set.source, set.target, std::nan("")).free_scale);
}

TEST(SimilarityFitTest, DeviationIsTargetMinusTransformedSource) {
  SimilarityFit fit;
  fit.A_m = 1.0;
  fit.B_m = 2.0;
  fit.K = 1.0;
  fit.angle_rad = 0.0;
  const std::vector<Point2> d =
      ComputeDeviations(fit, {{10.0, 20.0, 0.0}}, {{11.5, 21.0}});
  ASSERT_EQ(1u, d.size());
  EXPECT_DOUBLE_EQ(0.5, d[0].x);  // target lies east of the image
  EXPECT_DOUBLE_EQ(-1.0, d[0].y);
}

TEST(SimilarityFitTest, SinglePointAndNoPoint) {
  const SimilarityFit one =
      FitSimilarity({{500000.0, 4400000.0, 0.0}}, {{3.0, 4.0}}, 0.0);
  EXPECT_EQ(1.0, one.K);
  EXPECT_EQ(0.0, one.angle_rad);
  EXPECT_NEAR(3.0 - 500000.0, one.A_m, 1e-9);
  EXPECT_NEAR(4.0 - 4400000.0, one.B_m, 1e-9);
  const SimilarityFit none = FitSimilarity({}, {}, 0.0);
  EXPECT_TRUE(std::isnan(none.A_m));
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
          Similarity{fit.A_m, fit.B_m, fit.K, fit.angle_rad}.Apply(src[i].x,
                                                                   src[i].y);
      const Point2 exact = truth.Apply(src[i].x, src[i].y);
      sum_sq +=
          std::pow(fitted.x - exact.x, 2) + std::pow(fitted.y - exact.y, 2);
    }
    EXPECT_LT(std::sqrt(sum_sq / src.size()), 0.02) << scale;  // 2 cm RMS
    EXPECT_NEAR(0.013, fit.angle_rad, 1e-5) << scale;
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
      const Similarity fitted{fit.A_m, fit.B_m, fit.K, fit.angle_rad};
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

}  // namespace
