#include "fit/similarity_fit.h"

#include <ceres/ceres.h>
#include <glog/logging.h>

#include <algorithm>
#include <cmath>
#include <limits>

ceres::CostFunction* AffineError::Create(double src_x, double src_y,
                                         double des_x, double des_y) {
  return new ceres::AutoDiffCostFunction<AffineError, 2, 1, 1, 1, 1>(
      new AffineError(src_x, src_y, des_x, des_y));
}

ceres::CostFunction* AffineErrorfixedK::Create(double src_x, double src_y,
                                               double des_x, double des_y,
                                               double K) {
  return new ceres::AutoDiffCostFunction<AffineErrorfixedK, 2, 1, 1, 1>(
      new AffineErrorfixedK(src_x, src_y, des_x, des_y, K));
}

bool IsFreeScale(double scale) { return std::fabs(scale) < 1e-6; }

double DeviationLength(double dx_m, double dy_m) {
  // Not std::hypot, whose last bit differs between C libraries (glibc and
  // mingw-w64): the basic operations and sqrt are correctly rounded
  // everywhere. hypot only where the squares would overflow.
  if (std::fabs(dx_m) < 1e150 && std::fabs(dy_m) < 1e150) {
    return std::sqrt(dx_m * dx_m + dy_m * dy_m);
  }
  return std::hypot(dx_m, dy_m);
}

double CauchyWeight(double residual_m) {
  const double ratio = residual_m / kCauchyScaleM;
  return 1.0 / (1.0 + ratio * ratio);
}

namespace {

// Sum of the squared lengths of the deviations, square metres.
double SumOfSquares(const std::vector<Point2>& deviations) {
  double sum_sq_m2 = 0.0;
  for (const Point2& d : deviations) {
    const double r_m = DeviationLength(d.x, d.y);
    sum_sq_m2 += r_m * r_m;
  }
  return sum_sq_m2;
}

}  // namespace

double RmsOfDeviations(const std::vector<Point2>& deviations) {
  return std::sqrt(SumOfSquares(deviations) /
                   static_cast<double>(deviations.size()));
}

double SigmaZero(const std::vector<Point2>& deviations, bool free_scale) {
  const double n = static_cast<double>(deviations.size());
  const double unknowns = free_scale ? 4.0 : 3.0;
  if (!(2.0 * n > unknowns)) return std::numeric_limits<double>::quiet_NaN();
  return std::sqrt(SumOfSquares(deviations) / (2.0 * n - unknowns));
}

namespace {

constexpr double kPi = 3.141592653589793;

struct Centroids {
  double src_x = 0.0;
  double src_y = 0.0;
  double des_x = 0.0;
  double des_y = 0.0;
};

Centroids ComputeCentroids(const std::vector<Point3>& source,
                           const std::vector<Point2>& target) {
  Centroids c;
  for (size_t i = 0; i < source.size(); ++i) {
    c.src_x += source[i].x;
    c.src_y += source[i].y;
    c.des_x += target[i].x;
    c.des_y += target[i].y;
  }
  const double n = static_cast<double>(source.size());
  c.src_x /= n;
  c.src_y /= n;
  c.des_x /= n;
  c.des_y /= n;
  return c;
}

// Runs `solve` with Ceres' own logging silenced. Non-finite input makes
// Ceres log warnings and errors to standard error, and so does a
// rank-deficient covariance; the outcome already shows in the results,
// which the later stages check, and standard error stays for our message.
template <typename Solve>
void WithCeresSilenced(const Solve& solve) {
#ifdef GEOANCHOR_CERES_MINIGLOG
  // Ceres' minimal glog substitute (the Windows build) is compiled to drop
  // every message below FATAL, and has no run-time level to set.
  solve();
#else
  const int saved_min_log_level = FLAGS_minloglevel;
  FLAGS_minloglevel = google::GLOG_FATAL;
  solve();
  FLAGS_minloglevel = saved_min_log_level;
#endif
}

// The fit in centred coordinates (x, y drawing minus centroid; X, Y target
// minus centroid): X = p x - q y + a, Y = q x + p y + b, with p = K cos,
// q = K sin. (a, b) is where the drawing's centroid lands.
struct CentredSimilarity {
  double a_m = 0.0;
  double b_m = 0.0;
  double p = 1.0;
  double q = 0.0;
};

constexpr size_t kNoPointLeftOut = static_cast<size_t>(-1);

// The robust fit of the centred points without point `left_out` (or of all
// of them with kNoPointLeftOut), by iteratively reweighted least squares:
// each step is the closed-form weighted similarity with the Cauchy weights
// of the previous step, which lowers the Cauchy cost every time and stops
// where its gradient vanishes, the same stationary point the solver seeks.
// The first step weighs the points by `start`'s deviations, or all alike
// when there is no start. With a fixed scale K the rotation is the
// weighted Procrustes angle. Returns false when the points cannot
// determine the transform.
bool FitWithoutPoint(const std::vector<Point2>& src,
                     const std::vector<Point2>& des, size_t left_out,
                     bool free_scale, double fixed_K,
                     const CentredSimilarity* start,
                     CentredSimilarity* result) {
  const size_t n = src.size();
  const size_t used = left_out < n ? n - 1 : n;
  if (used < 2) return false;
  CentredSimilarity t = start != nullptr ? *start : CentredSimilarity();
  bool uniform = start == nullptr;
  const double c2 = kCauchyScaleM * kCauchyScaleM;
  for (int iteration = 0; iteration < 200; ++iteration) {
    double w_sum = 0.0, wx = 0.0, wy = 0.0, wX = 0.0, wY = 0.0;
    double wxx = 0.0, wxX = 0.0, wxY = 0.0;
    for (size_t j = 0; j < n; ++j) {
      if (j == left_out) continue;
      const double x = src[j].x, y = src[j].y, X = des[j].x, Y = des[j].y;
      double w = 1.0;
      if (!uniform) {
        const double rx = t.p * x - t.q * y + t.a_m - X;
        const double ry = t.q * x + t.p * y + t.b_m - Y;
        w = 1.0 / (1.0 + (rx * rx + ry * ry) / c2);
      }
      w_sum += w;
      wx += w * x;
      wy += w * y;
      wX += w * X;
      wY += w * Y;
      wxx += w * (x * x + y * y);
      wxX += w * (x * X + y * Y);
      wxY += w * (x * Y - y * X);
    }
    uniform = false;
    const double mx = wx / w_sum, my = wy / w_sum;
    const double mX = wX / w_sum, mY = wY / w_sum;
    const double s = wxx - w_sum * (mx * mx + my * my);
    const double P = wxX - w_sum * (mx * mX + my * mY);
    const double Q = wxY - w_sum * (mx * mY - my * mX);
    // The others all at one place (relative to their extent): no scale
    // and no rotation.
    if (!(s > 1e-18 * wxx) || !(w_sum > 0.0)) return false;
    CentredSimilarity next;
    if (free_scale) {
      next.p = P / s;
      next.q = Q / s;
    } else {
      const double angle_rad =
          fixed_K < 0.0 ? std::atan2(-Q, -P) : std::atan2(Q, P);
      next.p = fixed_K * std::cos(angle_rad);
      next.q = fixed_K * std::sin(angle_rad);
    }
    next.a_m = mX - (next.p * mx - next.q * my);
    next.b_m = mY - (next.q * mx + next.p * my);
    if (!std::isfinite(next.a_m + next.b_m + next.p + next.q)) return false;
    // Converged when no point moves by more than a tenth of a micrometre.
    const double extent = std::sqrt(wxx / w_sum);
    const double change_m =
        std::fabs(next.a_m - t.a_m) + std::fabs(next.b_m - t.b_m) +
        (std::fabs(next.p - t.p) + std::fabs(next.q - t.q)) * extent;
    t = next;
    if (change_m < 1e-7) break;
  }
  *result = t;
  return true;
}

void ComputeChecks(const std::vector<Point2>& src,
                   const std::vector<Point2>& des, bool free_scale,
                   double fixed_K, const CentredSimilarity& full,
                   FitQuality* quality) {
  const size_t n = src.size();
  quality->checks.assign(n, CheckResidual());
  if (n > kMaxCheckPoints) {
    quality->checks_note = "check residuals are computed for up to " +
                           std::to_string(kMaxCheckPoints) + " points";
    return;
  }
  if (n < 3) {
    quality->checks_note =
        "check residuals need at least 3 points: the others must determine "
        "the transform";
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    CentredSimilarity t;
    if (!FitWithoutPoint(src, des, i, free_scale, fixed_K, &full, &t)) {
      continue;
    }
    CheckResidual& check = quality->checks[i];
    check.available = true;
    check.dx_m = des[i].x - (t.p * src[i].x - t.q * src[i].y + t.a_m);
    check.dy_m = des[i].y - (t.q * src[i].x + t.p * src[i].y + t.b_m);
    check.length_m = DeviationLength(check.dx_m, check.dy_m);
  }
}

// The covariance of the parameter blocks at the solution, from Ceres'
// Jacobian of the (robustified) problem in centred coordinates, scaled by
// sigma0^2.
void ComputePrecision(ceres::Problem* problem,
                      const std::vector<double*>& blocks, bool free_scale,
                      double sigma0_m, FitPrecision* precision) {
  if (!std::isfinite(sigma0_m)) {
    precision->note =
        "no redundancy: the points fix the transform exactly, so sigma0 "
        "and the precision are undefined";
    return;
  }
  ceres::Covariance::Options covariance_options;
  // Dense SVD needs nothing but Eigen and tells a rank-deficient Jacobian
  // by its condition number.
  covariance_options.algorithm_type = ceres::DENSE_SVD;
  ceres::Covariance covariance(covariance_options);
  std::vector<std::pair<const double*, const double*>> pairs;
  for (size_t i = 0; i < blocks.size(); ++i) {
    for (size_t j = i; j < blocks.size(); ++j) {
      pairs.emplace_back(blocks[i], blocks[j]);
    }
  }
  bool computed = false;
  WithCeresSilenced([&] { computed = covariance.Compute(pairs, problem); });
  const int m = static_cast<int>(blocks.size());
  std::vector<double> c(static_cast<size_t>(m * m), 0.0);
  if (computed) {
    std::vector<const double*> const_blocks(blocks.begin(), blocks.end());
    computed = covariance.GetCovarianceMatrix(const_blocks, c.data());
  }
  for (double v : c) computed = computed && std::isfinite(v);
  if (!computed) {
    precision->note =
        "rank-deficient covariance: the points do not determine every "
        "parameter (all at one place?)";
    return;
  }
  const double s2 = sigma0_m * sigma0_m;
  auto sd = [&](int k) {
    return std::sqrt(s2 * c[static_cast<size_t>(k * m + k)]);
  };
  precision->available = true;
  precision->east_m = sd(0);
  precision->north_m = sd(1);
  const int angle_index = free_scale ? 3 : 2;
  precision->scale_ppm = free_scale ? sd(2) * 1e6 : 0.0;
  precision->angle_arcsec = sd(angle_index) * 180.0 / kPi * 3600.0;
  precision->correlation_size = m;
  precision->correlation.assign(static_cast<size_t>(m * m), 0.0);
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < m; ++j) {
      const double denominator = std::sqrt(c[static_cast<size_t>(i * m + i)] *
                                           c[static_cast<size_t>(j * m + j)]);
      precision->correlation[static_cast<size_t>(i * m + j)] =
          denominator > 0.0 ? c[static_cast<size_t>(i * m + j)] / denominator
                            : 0.0;
    }
  }
}

}  // namespace

SimilarityFit FitSimilarity(const std::vector<Point3>& source,
                            const std::vector<Point2>& target, double scale,
                            const FitOptions& fit_options) {
  SimilarityFit fit;
  fit.free_scale = IsFreeScale(scale);
  if (source.empty() || source.size() != target.size()) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    fit.A_m = nan;
    fit.B_m = nan;
    fit.K = fit.free_scale ? nan : scale;
    fit.angle_rad = nan;
    return fit;
  }

  // Rotating and scaling about an origin millions of metres away (Gauss-
  // Krueger coordinates) couples the angle to the offsets so strongly that
  // the solver stalls at once. Centring both point sets decouples them.
  const Centroids c = ComputeCentroids(source, target);
  std::vector<Point2> src(source.size());
  std::vector<Point2> des(source.size());
  for (size_t i = 0; i < source.size(); ++i) {
    src[i] = Point2{source[i].x - c.src_x, source[i].y - c.src_y};
    des[i] = Point2{target[i].x - c.des_x, target[i].y - c.des_y};
  }

  // Closed-form least-squares similarity of the centred points as the start,
  // so that the residuals begin near the 5 cm core of the Cauchy loss rather
  // than in its flat tail.
  double s_sum = 0.0;  // sum of x^2 + y^2 over centred sources
  double p_sum = 0.0;  // sum of x*X + y*Y
  double q_sum = 0.0;  // sum of x*Y - y*X
  for (size_t i = 0; i < src.size(); ++i) {
    s_sum += src[i].x * src[i].x + src[i].y * src[i].y;
    p_sum += src[i].x * des[i].x + src[i].y * des[i].y;
    q_sum += src[i].x * des[i].y - src[i].y * des[i].x;
  }
  double a_centred_m = 0.0;
  double b_centred_m = 0.0;
  double k = fit.free_scale ? 1.0 : scale;
  double angle_rad = 0.0;
  if (s_sum > 0.0) {
    if (fit.free_scale) {
      angle_rad = std::atan2(q_sum, p_sum);
      k = std::sqrt(p_sum * p_sum + q_sum * q_sum) / s_sum;
    } else if (scale < 0.0) {
      // A negative scale already turns by half a turn.
      angle_rad = std::atan2(-q_sum, -p_sum);
    } else {
      angle_rad = std::atan2(q_sum, p_sum);
    }
  }
  if (fit.free_scale && !std::isfinite(k)) k = 1.0;
  if (!std::isfinite(angle_rad)) angle_rad = 0.0;

  ceres::Problem problem;
  for (size_t i = 0; i < src.size(); ++i) {
    ceres::LossFunction* loss = new ceres::CauchyLoss(kCauchyScaleM);
    if (fit.free_scale) {
      problem.AddResidualBlock(
          AffineError::Create(src[i].x, src[i].y, des[i].x, des[i].y), loss,
          &a_centred_m, &b_centred_m, &k, &angle_rad);
    } else {
      problem.AddResidualBlock(
          AffineErrorfixedK::Create(src[i].x, src[i].y, des[i].x, des[i].y,
                                    scale),
          loss, &a_centred_m, &b_centred_m, &angle_rad);
    }
  }

  ceres::Solver::Options options;
  options.max_num_iterations = 100;
  options.linear_solver_type = ceres::DENSE_QR;
  options.minimizer_progress_to_stdout = false;
  ceres::Solver::Summary summary;
  WithCeresSilenced([&] { ceres::Solve(options, &problem, &summary); });

  // Back to the original coordinates: the centred model
  //   X - cX = R(angle) K (x - cx) + A'
  // is the original model with A = cX + A' - K (cx cos - cy sin), and
  // likewise for B.
  const double cos_a = std::cos(angle_rad);
  const double sin_a = std::sin(angle_rad);
  fit.A_m = c.des_x + a_centred_m - k * (c.src_x * cos_a - c.src_y * sin_a);
  fit.B_m = c.des_y + b_centred_m - k * (c.src_x * sin_a + c.src_y * cos_a);
  fit.K = fit.free_scale ? k : scale;
  fit.angle_rad = angle_rad;
  fit.solver.brief_report = summary.BriefReport();
  fit.solver.termination =
      ceres::TerminationTypeToString(summary.termination_type);
  fit.solver.iterations = static_cast<int>(summary.iterations.size());
  fit.solver.initial_cost = summary.initial_cost;
  fit.solver.final_cost = summary.final_cost;
  fit.deviations = ComputeDeviations(fit, source, target);
  fit.residuals_m.reserve(fit.deviations.size());
  fit.weights.reserve(fit.deviations.size());
  for (const Point2& d : fit.deviations) {
    fit.residuals_m.push_back(DeviationLength(d.x, d.y));
    fit.weights.push_back(CauchyWeight(fit.residuals_m.back()));
  }
  fit.rms_m = RmsOfDeviations(fit.deviations);
  fit.sigma0_m = SigmaZero(fit.deviations, fit.free_scale);
  if (!fit_options.quality) return fit;

  FitQuality& quality = fit.quality;
  quality.computed = true;
  quality.precision.centroid_src_x = c.src_x;
  quality.precision.centroid_src_y = c.src_y;
  std::vector<double*> blocks = {&a_centred_m, &b_centred_m};
  if (fit.free_scale) blocks.push_back(&k);
  blocks.push_back(&angle_rad);
  ComputePrecision(&problem, blocks, fit.free_scale, fit.sigma0_m,
                   &quality.precision);
  PrincipalSpreads(source, &quality.spread_major, &quality.spread_minor);
  const CentredSimilarity full{a_centred_m, b_centred_m, k * cos_a, k * sin_a};
  ComputeChecks(src, des, fit.free_scale, scale, full, &quality);
  return fit;
}

std::vector<Point2> ComputeDeviations(const SimilarityFit& fit,
                                      const std::vector<Point3>& source,
                                      const std::vector<Point2>& target) {
  std::vector<Point2> deviations;
  deviations.reserve(source.size());
  const double cos_a = std::cos(fit.angle_rad);
  const double sin_a = std::sin(fit.angle_rad);
  for (size_t i = 0; i < source.size() && i < target.size(); ++i) {
    const Point3& s = source[i];
    const double dx =
        target[i].x - ((s.x * cos_a - s.y * sin_a) * fit.K + fit.A_m);
    const double dy =
        target[i].y - ((s.x * sin_a + s.y * cos_a) * fit.K + fit.B_m);
    deviations.push_back(Point2{dx, dy});
  }
  return deviations;
}

VerticalLift ComputeVerticalLift(const std::vector<Point3>& source,
                                 const std::vector<double>& target_up_m) {
  VerticalLift v;
  const size_t n = source.size();
  if (n == 0 || target_up_m.size() != n) return v;
  std::vector<double> d(n);
  for (size_t i = 0; i < n; ++i) d[i] = target_up_m[i] - source[i].z;
  std::vector<double> sorted = d;
  std::sort(sorted.begin(), sorted.end());
  v.lift_m =
      n % 2 == 1 ? sorted[n / 2] : 0.5 * (sorted[n / 2 - 1] + sorted[n / 2]);
  v.available = true;
  v.dz_m.resize(n);
  double sum_sq_m2 = 0.0;
  for (size_t i = 0; i < n; ++i) {
    v.dz_m[i] = d[i] - v.lift_m;
    sum_sq_m2 += v.dz_m[i] * v.dz_m[i];
    v.max_abs_m = std::max(v.max_abs_m, std::fabs(v.dz_m[i]));
  }
  v.rms_m = std::sqrt(sum_sq_m2 / static_cast<double>(n));
  return v;
}

void PrincipalSpreads(const std::vector<Point3>& source, double* major,
                      double* minor) {
  *major = 0.0;
  *minor = 0.0;
  if (source.empty()) return;
  double cx = 0.0, cy = 0.0;
  for (const Point3& p : source) {
    cx += p.x;
    cy += p.y;
  }
  const double n = static_cast<double>(source.size());
  cx /= n;
  cy /= n;
  double sxx = 0.0, syy = 0.0, sxy = 0.0;
  for (const Point3& p : source) {
    const double x = p.x - cx, y = p.y - cy;
    sxx += x * x;
    syy += y * y;
    sxy += x * y;
  }
  sxx /= n;
  syy /= n;
  sxy /= n;
  const double mean = 0.5 * (sxx + syy);
  const double half_gap =
      std::sqrt(0.25 * (sxx - syy) * (sxx - syy) + sxy * sxy);
  *major = std::sqrt(mean + half_gap);
  *minor = std::sqrt(std::max(0.0, mean - half_gap));
}

namespace {

// The first n points of both lists less their centroids.
void CentrePoints(const std::vector<Point2>& source,
                  const std::vector<Point2>& target, size_t n,
                  std::vector<Point2>* src, std::vector<Point2>* des) {
  double cx = 0.0, cy = 0.0, cX = 0.0, cY = 0.0;
  for (size_t i = 0; i < n; ++i) {
    cx += source[i].x;
    cy += source[i].y;
    cX += target[i].x;
    cY += target[i].y;
  }
  const double count = static_cast<double>(n);
  cx /= count;
  cy /= count;
  cX /= count;
  cY /= count;
  src->resize(n);
  des->resize(n);
  for (size_t i = 0; i < n; ++i) {
    (*src)[i] = Point2{source[i].x - cx, source[i].y - cy};
    (*des)[i] = Point2{target[i].x - cX, target[i].y - cY};
  }
}

}  // namespace

std::vector<CheckResidual> RobustCheckResiduals(
    const std::vector<Point2>& source, const std::vector<Point2>& target,
    double scale) {
  const size_t n = std::min(source.size(), target.size());
  FitQuality quality;
  if (n == 0) return quality.checks;
  std::vector<Point2> src, des;
  CentrePoints(source, target, n, &src, &des);
  CentredSimilarity full;
  if (!FitWithoutPoint(src, des, kNoPointLeftOut, IsFreeScale(scale), scale,
                       nullptr, &full)) {
    quality.checks.assign(n, CheckResidual());
    return quality.checks;
  }
  ComputeChecks(src, des, IsFreeScale(scale), scale, full, &quality);
  return quality.checks;
}

RobustSimilarity FitRobustSimilarity(const std::vector<Point2>& source,
                                     const std::vector<Point2>& target,
                                     double scale) {
  RobustSimilarity r;
  const size_t n = std::min(source.size(), target.size());
  if (n == 0) return r;
  std::vector<Point2> src, des;
  CentrePoints(source, target, n, &src, &des);
  CentredSimilarity t;
  if (!FitWithoutPoint(src, des, kNoPointLeftOut, IsFreeScale(scale), scale,
                       nullptr, &t)) {
    return r;
  }
  r.ok = true;
  r.residuals_m.resize(n);
  double sum_sq_m2 = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double dx = des[i].x - (t.p * src[i].x - t.q * src[i].y + t.a_m);
    const double dy = des[i].y - (t.q * src[i].x + t.p * src[i].y + t.b_m);
    r.residuals_m[i] = DeviationLength(dx, dy);
    sum_sq_m2 += r.residuals_m[i] * r.residuals_m[i];
  }
  r.rms_m = std::sqrt(sum_sq_m2 / static_cast<double>(n));
  r.K = std::sqrt(t.p * t.p + t.q * t.q);
  return r;
}
