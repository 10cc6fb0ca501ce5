#include "diagnosis/diagnosis.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "diagnosis/context.h"

namespace geoanchor {

const char* VerdictName(Verdict verdict) {
  static constexpr const char* kNames[] = {"good", "check", "bad"};
  // A name for every verdict: a new one fails here until it has one.
  static_assert(std::size(kNames) == static_cast<size_t>(Verdict::kBad) + 1);
  const size_t i = static_cast<size_t>(verdict);
  return i < std::size(kNames) ? kNames[i] : "bad";
}

Diagnosis Diagnose(const ControlPoints& points, const SimilarityFit& fit,
                   double scale, DiagnosisDepth depth, double accuracy_m,
                   const SceneMatrix* scene) {
  Diagnosis d;
  d.loss_scale_m = fit.loss_scale_m;
  const size_t n = std::min(points.source.size(), fit.residuals_m.size());
  if (n == 0 || n != points.target.size()) return d;
  const bool full = depth == DiagnosisDepth::kFull;
  d.drawing_units = DrawingUnits(fit.similarity.K());
  Context c = MakeContext(points, fit, scale, accuracy_m, full, scene);
  Findings findings = WithoutHidden(JudgeAll(c, full));

  // Bad first, then by first point, then those that name no point.
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) {
                     if (a.bad != b.bad) return a.bad;
                     if (a.points.empty() != b.points.empty()) {
                       return !a.points.empty();
                     }
                     return !a.points.empty() && a.points[0] < b.points[0];
                   });
  for (const Finding& f : findings) {
    if (f.bad) {
      d.verdict = Verdict::kBad;
    } else if (d.verdict == Verdict::kGood) {
      d.verdict = Verdict::kCheck;
    }
  }
  // A blunder that cannot be located is marked at no point: not in the
  // report's blunders, nor in the plot's red.
  if (std::any_of(findings.begin(), findings.end(), [](const Finding& f) {
        return f.code == FindingCode::kBlunderUnlocated;
      })) {
    c.survey.blunder.assign(c.survey.blunder.size(), false);
  }
  d.point_accuracy_m = c.accuracy.accuracy_m;
  d.findings = std::move(findings);
  d.heights = std::move(c.heights);
  d.survey = std::move(c.survey);
  d.hold = std::move(c.hold);
  d.grid = std::move(c.grid);
  d.check_points = std::move(c.check_points);
  d.scene = c.scene_judgement;
  return d;
}

}  // namespace geoanchor
