#include "fit/similarity_fit.h"

#include <ceres/ceres.h>
#include <glog/logging.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "common/numbers.h"

namespace geoanchor {

ceres::CostFunction* FreeScaleError::Create(double src_x, double src_y,
                                            double des_x, double des_y) {
  return new ceres::AutoDiffCostFunction<FreeScaleError, 2, 1, 1, 1, 1>(
      new FreeScaleError(src_x, src_y, des_x, des_y));
}

ceres::CostFunction* FixedScaleError::Create(double src_x, double src_y,
                                             double des_x, double des_y,
                                             double K) {
  return new ceres::AutoDiffCostFunction<FixedScaleError, 2, 1, 1, 1>(
      new FixedScaleError(src_x, src_y, des_x, des_y, K));
}

double CauchyWeight(double residual_m, double loss_scale_m) {
  const double ratio = residual_m / loss_scale_m;
  return CauchyWeightOfSquaredRatio(ratio * ratio);
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
  const double unknowns = SimilarityUnknowns(free_scale);
  if (!(2.0 * n > unknowns)) return std::numeric_limits<double>::quiet_NaN();
  return std::sqrt(SumOfSquares(deviations) / (2.0 * n - unknowns));
}

namespace {

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

void ComputeChecks(const std::vector<Point2>& src,
                   const std::vector<Point2>& des, double scale,
                   double loss_scale, const PlaneSimilarity& full,
                   FitQuality* quality) {
  const size_t n = src.size();
  quality->checks.assign(n, CheckResidual());
  if (n > kMaxCheckPoints) {
    const std::string most = std::to_string(kMaxCheckPoints);
    quality->checks_note =
        Message{"check residuals are computed for up to " + most + " points",
                "检核残差最多对 " + most + " 个点计算"};
    return;
  }
  if (n < 3) {
    quality->checks_note = Message{
        "check residuals need at least 3 points: the others must determine "
        "the transform",
        "检核残差至少需要 3 个点：其余的点须能确定变换"};
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    const RobustSimilarity others =
        FitRobust(src, des, scale, loss_scale, full, i);
    if (!others.ok) continue;
    CheckResidual& check = quality->checks[i];
    check.available = true;
    const Point2 d = others.similarity.Deviation(src[i], des[i]);
    check.dx_m = d.x;
    check.dy_m = d.y;
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
    precision->note = Message{
        "no redundancy: the points fix the transform exactly, so sigma0 "
        "and the precision are undefined",
        "没有多余观测：这些点恰好确定变换，单位权中误差 sigma0 和精度均无定义"};
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
    precision->note = Message{
        "rank-deficient covariance: the points do not determine every "
        "parameter (all at one place?)",
        "协方差矩阵秩亏：这些点不能确定每个参数（是否都在同一处？）"};
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

namespace {

// One robust solve in centred coordinates: the parameters (the centred
// offsets, the scale and the angle), the problem that holds them (for the
// covariance) and Ceres' summary.
struct Solve {
  double a_centred_m = 0.0;
  double b_centred_m = 0.0;
  double k = 1.0;
  double angle_rad = 0.0;
  double loss_scale_m = kCauchyScaleM;
  ceres::Problem problem;
  ceres::Solver::Summary summary;
};

void RunSolve(const std::vector<Point2>& src, const std::vector<Point2>& des,
              double scale, bool free_scale, Solve* solve) {
  for (size_t i = 0; i < src.size(); ++i) {
    ceres::LossFunction* loss = new ceres::CauchyLoss(solve->loss_scale_m);
    if (free_scale) {
      solve->problem.AddResidualBlock(
          FreeScaleError::Create(src[i].x, src[i].y, des[i].x, des[i].y), loss,
          &solve->a_centred_m, &solve->b_centred_m, &solve->k,
          &solve->angle_rad);
    } else {
      solve->problem.AddResidualBlock(
          FixedScaleError::Create(src[i].x, src[i].y, des[i].x, des[i].y,
                                  scale),
          loss, &solve->a_centred_m, &solve->b_centred_m, &solve->angle_rad);
    }
  }
  ceres::Solver::Options options;
  options.max_num_iterations = 100;
  options.linear_solver_type = ceres::DENSE_QR;
  options.minimizer_progress_to_stdout = false;
  WithCeresSilenced(
      [&] { ceres::Solve(options, &solve->problem, &solve->summary); });
}

// The solve's similarity in the original coordinates, about the centroids.
PlaneSimilarity SolvedSimilarity(const Solve& solve, const Point2& src_c,
                                 const Point2& des_c, double scale,
                                 bool free_scale) {
  return PlaneSimilarity(
      src_c, Point2{des_c.x + solve.a_centred_m, des_c.y + solve.b_centred_m},
      free_scale ? solve.k : scale, solve.angle_rad);
}

// Ceres' cost of a similarity under the Cauchy loss of scale c:
// 1/2 sum c^2 log(1 + r^2 / c^2).
double CauchyCost(const PlaneSimilarity& t, const std::vector<Point2>& from,
                  const std::vector<Point2>& to, double c_m) {
  const double c2 = c_m * c_m;
  double cost = 0.0;
  for (size_t i = 0; i < from.size(); ++i) {
    const Point2 d = t.Deviation(from[i], to[i]);
    cost += 0.5 * c2 * std::log1p((d.x * d.x + d.y * d.y) / c2);
  }
  return cost;
}

// The largest distance between where two similarities put the consensus
// inliers, metres (NaN counts as infinitely far).
double LargestDisagreement(const PlaneSimilarity& a, const PlaneSimilarity& b,
                           const std::vector<Point2>& from,
                           const std::vector<bool>& inlier) {
  double worst_m = 0.0;
  for (size_t i = 0; i < from.size(); ++i) {
    if (!inlier[i]) continue;
    const Point2 pa = a.Apply(from[i]), pb = b.Apply(from[i]);
    const double d_m = DeviationLength(pa.x - pb.x, pa.y - pb.y);
    if (!(d_m <= worst_m)) worst_m = std::isnan(d_m) ? INFINITY : d_m;
  }
  return worst_m;
}

// A second solve beats the first only by more than this share of the cost:
// two solves into one minimum differ by rounding, and the plain one stays.
constexpr double kCostTieShare = 1e-9;

}  // namespace

SimilarityFit FitSimilarity(const std::vector<Point3>& source,
                            const std::vector<Point2>& target, double scale,
                            const FitOptions& fit_options) {
  SimilarityFit fit;
  fit.free_scale = IsFreeScale(scale);
  if (source.empty() || source.size() != target.size()) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    fit.similarity =
        PlaneSimilarity::FromModel(nan, nan, fit.free_scale ? nan : scale, nan);
    return fit;
  }
  const size_t n = source.size();
  // Closed-form least-squares similarity as the start, so that the
  // residuals begin near the core of the Cauchy loss rather than in its
  // flat tail; where the points fix no rotation, the shift of centroid onto
  // centroid. The drawing's plane points are made again after the solve
  // where the consensus needs them: at 100000 points they are 1.6 MB that
  // need not sit beside the solver's own.
  PlaneSimilarity start;
  FitClosedForm(PlanePoints(source), target, {}, scale, &start);

  // Rotating and scaling about an origin millions of metres away (Gauss-
  // Krueger coordinates) couples the angle to the offsets so strongly that
  // the solver stalls at once. Centring both point sets decouples them.
  const Point2 src_c = start.from_c(), des_c = start.to_c();
  std::vector<Point2> src(n), des(n);
  for (size_t i = 0; i < n; ++i) {
    src[i] = Point2{source[i].x - src_c.x, source[i].y - src_c.y};
    des[i] = Point2{target[i].x - des_c.x, target[i].y - des_c.y};
  }

  auto plain = std::make_unique<Solve>();
  plain->k = fit.free_scale ? start.K() : scale;
  plain->angle_rad = start.angle_rad();
  RunSolve(src, des, scale, fit.free_scale, plain.get());
  std::unique_ptr<Solve> used = std::move(plain);

  const Consensus* consensus = fit_options.consensus;
  if (consensus != nullptr && consensus->found &&
      consensus->inlier.size() == n) {
    fit.consensus_inlier = consensus->inlier;
    const std::vector<Point2> plane = PlanePoints(source);
    // The consensus's robust fit at the loss scale, on a spread subsample:
    // a thousand points fix it far below any blunder threshold.
    const std::vector<size_t> index =
        SpreadSubsample(n, kConsensusScoredPoints);
    std::vector<Point2> sub_from, sub_to;
    for (size_t i : index) {
      sub_from.push_back(plane[i]);
      sub_to.push_back(target[i]);
    }
    const RobustSimilarity robust =
        FitRobust(sub_from, sub_to, scale, fit_options.loss_scale_m,
                  consensus->similarity);
    const PlaneSimilarity plain_t =
        SolvedSimilarity(*used, src_c, des_c, scale, fit.free_scale);
    if (robust.ok &&
        (fit_options.loss_scale_m > kCauchyScaleM ||
         LargestDisagreement(plain_t, robust.similarity, plane,
                             consensus->inlier) > fit_options.blunder_m)) {
      // The consensus and its reweighting use no sin, cos or atan2 (see
      // FitClosedForm): every platform starts this solve from the same
      // bits, as they all do the plain one, but for the angle's atan2.
      auto second = std::make_unique<Solve>();
      second->loss_scale_m = fit_options.loss_scale_m;
      const Point2 lands = robust.similarity.Apply(src_c);
      second->a_centred_m = lands.x - des_c.x;
      second->b_centred_m = lands.y - des_c.y;
      second->k = fit.free_scale ? robust.similarity.K() : scale;
      second->angle_rad = robust.similarity.angle_rad();
      RunSolve(src, des, scale, fit.free_scale, second.get());
      const double c_m = fit_options.loss_scale_m;
      const double plain_cost = CauchyCost(plain_t, plane, target, c_m);
      const double second_cost = CauchyCost(
          SolvedSimilarity(*second, src_c, des_c, scale, fit.free_scale), plane,
          target, c_m);
      if (fit_options.keep_consensus ||
          second_cost < plain_cost * (1.0 - kCostTieShare) ||
          (!std::isfinite(plain_cost) && std::isfinite(second_cost))) {
        used = std::move(second);
        fit.from_consensus = true;
      }
    }
  }
  if (fit.consensus_inlier.size() != n) fit.consensus_inlier.assign(n, true);

  // Back to the original coordinates: the centred model
  //   X - cX = R(angle) K (x - cx) + A'
  // is the original model with A = cX + A' - K (cx cos - cy sin), and
  // likewise for B.
  fit.similarity = SolvedSimilarity(*used, src_c, des_c, scale, fit.free_scale)
                       .InModelForm();
  fit.loss_scale_m = used->loss_scale_m;
  const ceres::Solver::Summary& summary = used->summary;
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
    fit.weights.push_back(
        CauchyWeight(fit.residuals_m.back(), fit.loss_scale_m));
  }
  fit.rms_m = RmsOfDeviations(fit.deviations);
  fit.sigma0_m = SigmaZero(fit.deviations, fit.free_scale);
  if (!fit_options.quality) return fit;

  FitQuality& quality = fit.quality;
  quality.computed = true;
  quality.precision.centroid_src_x = src_c.x;
  quality.precision.centroid_src_y = src_c.y;
  std::vector<double*> blocks = {&used->a_centred_m, &used->b_centred_m};
  if (fit.free_scale) blocks.push_back(&used->k);
  blocks.push_back(&used->angle_rad);
  ComputePrecision(&used->problem, blocks, fit.free_scale, fit.sigma0_m,
                   &quality.precision);
  PrincipalSpreads(source, &quality.spread_major, &quality.spread_minor);
  const PlaneSimilarity full(Point2{0.0, 0.0},
                             Point2{used->a_centred_m, used->b_centred_m},
                             fit.similarity.K(), fit.similarity.angle_rad());
  ComputeChecks(src, des, scale, fit.loss_scale_m, full, &quality);
  return fit;
}

std::vector<Point2> ComputeDeviations(const SimilarityFit& fit,
                                      const std::vector<Point3>& source,
                                      const std::vector<Point2>& target) {
  std::vector<Point2> deviations;
  deviations.reserve(source.size());
  const PlaneSimilarity& model = fit.similarity;
  for (size_t i = 0; i < source.size() && i < target.size(); ++i) {
    deviations.push_back(
        model.Deviation(Point2{source[i].x, source[i].y}, target[i]));
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
  v.lift_m = Median(d);
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
                      double* minor, const std::vector<bool>* use) {
  *major = 0.0;
  *minor = 0.0;
  const bool all = use == nullptr || use->size() != source.size();
  double cx = 0.0, cy = 0.0, n = 0.0;
  for (size_t i = 0; i < source.size(); ++i) {
    if (!all && !(*use)[i]) continue;
    cx += source[i].x;
    cy += source[i].y;
    n += 1.0;
  }
  if (n == 0.0) return;
  cx /= n;
  cy /= n;
  double sxx = 0.0, syy = 0.0, sxy = 0.0;
  for (size_t i = 0; i < source.size(); ++i) {
    if (!all && !(*use)[i]) continue;
    const double x = source[i].x - cx, y = source[i].y - cy;
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

std::vector<CheckResidual> RobustCheckResiduals(
    const std::vector<Point2>& source, const std::vector<Point2>& target,
    double scale, double loss_scale, const PlaneSimilarity& full) {
  FitQuality quality;
  ComputeChecks(source, target, scale, loss_scale, full, &quality);
  return quality.checks;
}

}  // namespace geoanchor
