#include "fit/similarity_fit.h"

#include <ceres/ceres.h>
#include <glog/logging.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>

#include "output/fixed_text.h"

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

namespace {

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

// Non-finite input makes Ceres log warnings and errors to standard error.
// The outcome already shows in the brief report and in the parameters,
// which the output stage checks; standard error stays for our message.
void SolveQuietly(const ceres::Solver::Options& options,
                  ceres::Problem* problem, ceres::Solver::Summary* summary) {
#ifdef GEOANCHOR_CERES_MINIGLOG
  // Ceres' minimal glog substitute (the Windows build) is compiled to drop
  // every message below FATAL, and has no run-time level to set.
  ceres::Solve(options, problem, summary);
#else
  const int saved_min_log_level = FLAGS_minloglevel;
  FLAGS_minloglevel = google::GLOG_FATAL;
  ceres::Solve(options, problem, summary);
  FLAGS_minloglevel = saved_min_log_level;
#endif
}

}  // namespace

SimilarityFit FitSimilarity(const std::vector<Point3>& source,
                            const std::vector<Point2>& target, double scale) {
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
  SolveQuietly(options, &problem, &summary);

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
  fit.brief_report = summary.BriefReport();
  fit.termination = ceres::TerminationTypeToString(summary.termination_type);
  fit.iterations = static_cast<int>(summary.iterations.size());
  fit.initial_cost = summary.initial_cost;
  fit.final_cost = summary.final_cost;
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

void PrintFitCheck(const SimilarityFit& fit,
                   const std::vector<Point2>& deviations) {
  std::cout << fit.brief_report << "\n";
  // "fitcheck---deltax:%f,deltay:%f\n" per point, rendered without printf.
  std::string lines;
  for (const Point2& d : deviations) {
    lines += "fitcheck---deltax:";
    AppendFixed(&lines, d.x, 6);
    lines += ",deltay:";
    AppendFixed(&lines, d.y, 6);
    lines += '\n';
    if (lines.size() >= kStdoutChunkBytes) FlushToStdout(&lines);
  }
  FlushToStdout(&lines);
}
