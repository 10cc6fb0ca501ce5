#include "fit/plane_similarity.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "common/fit_rules.h"
#include "common/numbers.h"

namespace geoanchor {

double DeviationLength(double dx, double dy) {
  // Not std::hypot, whose last bit differs between C libraries (glibc and
  // mingw-w64): the basic operations and sqrt are correctly rounded
  // everywhere. hypot only where the squares would overflow.
  if (std::fabs(dx) < 1e150 && std::fabs(dy) < 1e150) {
    return std::sqrt(dx * dx + dy * dy);
  }
  return std::hypot(dx, dy);
}

namespace {

// Points at one place relative to their extent fix no rotation.
constexpr double kOnePlaceRatio = 1e-18;

}  // namespace

namespace {

// The least-squares similarity about the centroids from its sums over the
// centred points (x, y) -> (X, Y): s = sum w (x^2 + y^2), P = sum w (x X +
// y Y), Q = sum w (x Y - y X). The rotation is the direction of (P, Q),
// of (-P, -Q) for a negative fixed scale, which turns by half a turn
// already; K = |(P, Q)| / s when free. False when a figure is not finite.
bool FromSums(const Point2& from_c, const Point2& to_c, double P, double Q,
              double s, double scale, PlaneSimilarity* out) {
  double K = scale;
  const double sign = !IsFreeScale(scale) && scale < 0.0 ? -1.0 : 1.0;
  if (IsFreeScale(scale)) K = std::sqrt(P * P + Q * Q) / s;
  const PlaneSimilarity t =
      PlaneSimilarity::FromDirection(from_c, to_c, K, sign * P, sign * Q);
  if (!std::isfinite(K) || !std::isfinite(t.cos() + t.sin())) return false;
  *out = t;
  return true;
}

}  // namespace

bool FitClosedForm(const std::vector<Point2>& from,
                   const std::vector<Point2>& to,
                   const std::vector<double>& weights, double scale,
                   PlaneSimilarity* out) {
  const size_t n = std::min(from.size(), to.size());
  if (n == 0) return false;
  const bool unit = weights.size() != n;
  // Plain sums over the points, so that with unit weights the centroids
  // are the means exactly as the main fit has always centred.
  double w_sum = 0.0, fx = 0.0, fy = 0.0, tx = 0.0, ty = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double w = unit ? 1.0 : weights[i];
    w_sum += w;
    fx += w * from[i].x;
    fy += w * from[i].y;
    tx += w * to[i].x;
    ty += w * to[i].y;
  }
  if (!(w_sum > 0.0)) return false;
  const Point2 from_c{fx / w_sum, fy / w_sum};
  const Point2 to_c{tx / w_sum, ty / w_sum};
  double s = 0.0, P = 0.0, Q = 0.0, extent = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double w = unit ? 1.0 : weights[i];
    const double x = from[i].x - from_c.x, y = from[i].y - from_c.y;
    const double X = to[i].x - to_c.x, Y = to[i].y - to_c.y;
    s += w * (x * x + y * y);
    P += w * (x * X + y * Y);
    Q += w * (x * Y - y * X);
    extent += w * (from[i].x * from[i].x + from[i].y * from[i].y);
  }
  if (!std::isfinite(to_c.x + to_c.y + from_c.x + from_c.y)) return false;
  // Without rotation: the centroids on each other, K = 1 or the fixed one.
  *out = PlaneSimilarity(from_c, to_c, IsFreeScale(scale) ? 1.0 : scale, 0.0);
  if (!(s > kOnePlaceRatio * extent)) return false;
  return FromSums(from_c, to_c, P, Q, s, scale, out);
}

RobustSimilarity FitRobust(const std::vector<Point2>& from,
                           const std::vector<Point2>& to, double scale,
                           double loss_scale, const PlaneSimilarity& start,
                           size_t left_out) {
  RobustSimilarity r;
  const size_t n = std::min(from.size(), to.size());
  const size_t used = left_out < n ? n - 1 : n;
  if (used < 2) return r;
  const double c2 = loss_scale * loss_scale;
  PlaneSimilarity t = start;
  std::vector<double> w(n);
  for (int iteration = 0; iteration < 200; ++iteration) {
    for (size_t i = 0; i < n; ++i) {
      const Point2 d = t.Deviation(from[i], to[i]);
      const double r2 = d.x * d.x + d.y * d.y;
      w[i] = i == left_out ? 0.0 : CauchyWeightOfSquaredRatio(r2 / c2);
      if (!std::isfinite(w[i])) w[i] = 0.0;
    }
    PlaneSimilarity next;
    if (!FitClosedForm(from, to, w, scale, &next)) return r;
    // Converged when no point moves by more than a tenth of a micrometre
    // (of `to` units): the largest move over the points is at most the
    // move of the centroid plus the change of K R times their reach.
    double reach = 0.0;
    for (size_t i = 0; i < n; ++i) {
      if (w[i] > 0.0) {
        reach = std::max(reach, DeviationLength(from[i].x - next.from_c().x,
                                                from[i].y - next.from_c().y));
      }
    }
    const Point2 moved = t.Deviation(next.from_c(), next.to_c());
    const double change =
        DeviationLength(moved.x, moved.y) +
        DeviationLength(next.p() - t.p(), next.q() - t.q()) * reach;
    t = next;
    if (change < 1e-7) break;
  }
  r.ok = true;
  r.similarity = t;
  r.residuals_m.resize(n);
  r.weights.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const Point2 d = t.Deviation(from[i], to[i]);
    r.residuals_m[i] = DeviationLength(d.x, d.y);
    const double u = r.residuals_m[i] / loss_scale;
    r.weights[i] = i == left_out || !std::isfinite(u)
                       ? 0.0
                       : CauchyWeightOfSquaredRatio(u * u);
  }
  return r;
}

std::vector<Point2> PlanePoints(const std::vector<Point3>& source) {
  std::vector<Point2> plane(source.size());
  for (size_t i = 0; i < source.size(); ++i) {
    plane[i] = Point2{source[i].x, source[i].y};
  }
  return plane;
}

std::vector<size_t> SpreadSubsample(size_t n, size_t limit) {
  std::vector<size_t> index;
  const size_t stride = n > limit && limit > 0 ? (n + limit - 1) / limit : 1;
  index.reserve(n / stride + 1);
  for (size_t i = 0; i < n; i += stride) index.push_back(i);
  return index;
}

namespace {

// The similarity that points i and j fix: with a free scale exactly, with
// a fixed one the rotation of the line between them; the centroid of the
// two lands on theirs. False when they are at one place.
bool PairSimilarity(const std::vector<Point2>& from,
                    const std::vector<Point2>& to, size_t i, size_t j,
                    double scale, PlaneSimilarity* out) {
  const double fx = from[j].x - from[i].x, fy = from[j].y - from[i].y;
  const double tx = to[j].x - to[i].x, ty = to[j].y - to[i].y;
  const double f2 = fx * fx + fy * fy;
  if (!(f2 > 0.0) || !std::isfinite(f2 + tx + ty)) return false;
  const Point2 from_c{0.5 * (from[i].x + from[j].x),
                      0.5 * (from[i].y + from[j].y)};
  const Point2 to_c{0.5 * (to[i].x + to[j].x), 0.5 * (to[i].y + to[j].y)};
  // (tx + i ty) / (fx + i fy) = K e^(i angle).
  const double P = fx * tx + fy * ty, Q = fx * ty - fy * tx;
  return FromSums(from_c, to_c, P, Q, f2, scale, out);
}

// The lower median of the squared deviation lengths of the points in
// `scored` other than i and j (0 when there are none). `scratch` is reused.
double PairScore(const PlaneSimilarity& t, const std::vector<Point2>& from,
                 const std::vector<Point2>& to,
                 const std::vector<size_t>& scored, size_t i, size_t j,
                 std::vector<double>* scratch) {
  scratch->clear();
  for (size_t k : scored) {
    if (k == i || k == j) continue;
    const Point2 d = t.Deviation(from[k], to[k]);
    const double r2 = d.x * d.x + d.y * d.y;
    // A NaN would break the ordering; it counts as the worst.
    scratch->push_back(std::isnan(r2) ? INFINITY : r2);
  }
  if (scratch->empty()) return 0.0;
  const size_t mid = (scratch->size() - 1) / 2;
  std::nth_element(scratch->begin(), scratch->begin() + mid, scratch->end());
  return (*scratch)[mid];
}

// Marks the inliers of `t` and returns how many there are.
size_t MarkInliers(const PlaneSimilarity& t, const std::vector<Point2>& from,
                   const std::vector<Point2>& to, double limit,
                   std::vector<bool>* inlier) {
  size_t count = 0;
  for (size_t k = 0; k < inlier->size(); ++k) {
    const Point2 d = t.Deviation(from[k], to[k]);
    (*inlier)[k] = DeviationLength(d.x, d.y) <= limit;
    count += (*inlier)[k];
  }
  return count;
}

// Finds `c` as the similarity `t` of its inliers, with their count, their
// redundancy and their scatter.
void SetConsensusFigures(const std::vector<Point2>& from,
                         const std::vector<Point2>& to, double scale,
                         const PlaneSimilarity& t, Consensus* c) {
  c->found = true;
  c->similarity = t;
  double sum_sq = 0.0;
  c->inliers = 0;
  for (size_t k = 0; k < c->inlier.size(); ++k) {
    if (!c->inlier[k]) continue;
    const Point2 d = t.Deviation(from[k], to[k]);
    sum_sq += d.x * d.x + d.y * d.y;
    ++c->inliers;
  }
  c->redundancy = 2.0 * static_cast<double>(c->inliers) -
                  SimilarityUnknowns(IsFreeScale(scale));
  c->sigma = c->redundancy > 0.0 ? std::sqrt(sum_sq / c->redundancy)
                                 : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

Consensus FindConsensus(const std::vector<Point2>& from,
                        const std::vector<Point2>& to, double scale,
                        double min_blunder) {
  Consensus c;
  const size_t n = std::min(from.size(), to.size());
  if (n < 2) return c;
  const std::vector<size_t> scored = SpreadSubsample(n, kConsensusScoredPoints);
  std::vector<std::pair<size_t, size_t>> pairs;
  if (n <= kConsensusAllPairsPoints) {
    for (size_t i = 0; i < n; ++i) {
      for (size_t j = i + 1; j < n; ++j) pairs.emplace_back(i, j);
    }
  } else {
    const double clean = 1.0 - kConsensusContamination;
    const int draws = static_cast<int>(std::ceil(
        std::log(1.0 - kConsensusConfidence) / std::log(1.0 - clean * clean)));
    // mt19937_64's sequence is fixed by the C++ standard, and the indices
    // are taken from it by plain integer arithmetic: the same pairs on
    // every platform and compiler.
    std::mt19937_64 generator(20261209u);
    while (static_cast<int>(pairs.size()) < draws) {
      const size_t i = static_cast<size_t>(generator() % n);
      const size_t j = static_cast<size_t>(generator() % n);
      if (i != j) pairs.emplace_back(std::min(i, j), std::max(i, j));
    }
  }

  double best_score = INFINITY;
  PlaneSimilarity best;
  bool found = false;
  std::vector<double> scratch;
  scratch.reserve(scored.size());
  for (const auto& pair : pairs) {
    PlaneSimilarity t;
    if (!PairSimilarity(from, to, pair.first, pair.second, scale, &t)) {
      continue;
    }
    const double score =
        PairScore(t, from, to, scored, pair.first, pair.second, &scratch);
    if (score < best_score || !found) {
      best_score = score;
      best = t;
      found = true;
    }
  }
  if (!found) return c;

  // The candidate's own deviations are larger than the points' scatter
  // (two points fix it), so its first cut is wide; the refits narrow it.
  const double unknowns = SimilarityUnknowns(IsFreeScale(scale));
  double limit =
      std::max(min_blunder,
               2.0 * kInlierSigmas * std::sqrt(best_score / kChi2MedianTwoDof));
  if (!std::isfinite(limit)) limit = min_blunder;
  c.inlier.assign(n, false);
  PlaneSimilarity t = best;
  MarkInliers(t, from, to, limit, &c.inlier);
  std::vector<double> w(n);
  for (int round = 0; round < 20; ++round) {
    for (size_t k = 0; k < n; ++k) w[k] = c.inlier[k] ? 1.0 : 0.0;
    PlaneSimilarity refit;
    if (!FitClosedForm(from, to, w, scale, &refit)) break;
    t = refit;
    // The inliers' scatter from the median of their squared deviations:
    // a blunder of a few sigmas that slipped in must not widen the cut
    // enough to keep itself.
    scratch.clear();
    for (size_t k = 0; k < n; ++k) {
      if (!c.inlier[k]) continue;
      const Point2 d = t.Deviation(from[k], to[k]);
      scratch.push_back(d.x * d.x + d.y * d.y);
    }
    const double count = static_cast<double>(scratch.size());
    const double redundancy = 2.0 * count - unknowns;
    const double sigma = redundancy > 0.0
                             ? std::sqrt(Median(scratch) / kChi2MedianTwoDof *
                                         2.0 * count / redundancy)
                             : 0.0;
    limit = std::max(min_blunder, kInlierSigmas * sigma);
    std::vector<bool> next(n);
    MarkInliers(t, from, to, limit, &next);
    if (next == c.inlier) break;
    c.inlier.swap(next);
  }
  SetConsensusFigures(from, to, scale, t, &c);
  return c;
}

Consensus ConsensusOf(const std::vector<Point2>& from,
                      const std::vector<Point2>& to, double scale,
                      const std::vector<bool>& inlier) {
  Consensus c;
  const size_t n = std::min({from.size(), to.size(), inlier.size()});
  std::vector<double> w(n);
  for (size_t k = 0; k < n; ++k) w[k] = inlier[k] ? 1.0 : 0.0;
  PlaneSimilarity t;
  if (!FitClosedForm(from, to, w, scale, &t)) return c;
  c.inlier.assign(inlier.begin(), inlier.begin() + static_cast<long>(n));
  SetConsensusFigures(from, to, scale, t, &c);
  return c;
}

RobustSimilarity FitRobustFromConsensus(const std::vector<Point2>& from,
                                        const std::vector<Point2>& to,
                                        double scale, double loss_scale,
                                        double min_blunder) {
  const Consensus consensus = FindConsensus(from, to, scale, min_blunder);
  if (!consensus.found) return RobustSimilarity();
  return FitRobust(from, to, scale, loss_scale, consensus.similarity);
}

}  // namespace geoanchor
