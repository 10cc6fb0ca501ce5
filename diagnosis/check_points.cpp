#include <algorithm>
#include <cmath>

#include "diagnosis/diagnosis.h"
#include "fit/similarity_fit.h"

namespace geoanchor {

CheckPointJudgement JudgeCheckPoints(const CheckPoints& check,
                                     const SimilarityFit& fit,
                                     const Projection& projection) {
  CheckPointJudgement j;
  const size_t n = check.source.size();
  if (n == 0 || check.target.size() != n || check.geodetic.size() != n) {
    return j;
  }
  j.deviations = ComputeDeviations(fit, check.source, check.target);
  double sum_sq_m2 = 0.0;
  j.max_m = 0.0;
  for (const Point2& d : j.deviations) {
    const double r_m = DeviationLength(d.x, d.y);
    j.residuals_m.push_back(r_m);
    sum_sq_m2 += r_m * r_m;
    // A NaN deviation makes the largest NaN too, rather than hiding.
    j.max_m = std::isnan(r_m) ? r_m : std::max(j.max_m, r_m);
  }
  j.rms_m = std::sqrt(sum_sq_m2 / static_cast<double>(n));
  SurveyMeasure measure = MeasureSurvey(projection, fit, check.source,
                                        check.geodetic, j.deviations);
  j.survey_m = std::move(measure.survey_m);
  j.projection_m = std::move(measure.projection_m);
  return j;
}

}  // namespace geoanchor
