// The optional fit report: one JSON object (UTF-8) with the parameters,
// both matrices, every control point's name, deviation, robust weight and
// check residual, the check points' deviations under the fitted matrix
// (among the points, in the input's order, with "used": false) and their
// summary, the heights, the quality figures, the precision of the solution,
// the diagnosis (findings, their messages as warnings, the verdict) and the
// solver's outcome; from a control-point table, also the column taken as
// the easting and the columns not read. The messages are in the run's
// language, which the field "lang" names ("en" or "zh"); keys and codes
// are the same in both. Numbers are written with 17
// significant digits, so that they read back to the same doubles; a value
// that is not finite is written as null.
#ifndef GEOANCHOR_OUTPUT_FIT_REPORT_H_
#define GEOANCHOR_OUTPUT_FIT_REPORT_H_

#include <array>
#include <string>
#include <vector>

#include "common/language.h"
#include "common/types.h"
#include "diagnosis/diagnosis.h"

namespace geoanchor {

// a * b for column-major 4x4 matrices.
std::array<double, 16> MultiplyMatrices(const std::array<double, 16>& a,
                                        const std::array<double, 16>& b);

// The report's JSON text for a run with these control points, this fit
// (with its quality computed), heights, full diagnosis and matrix:
//   matrix_local = `matrix_local`, the result file's numbers read back
//                  (MatrixText::numbers)
//   matrix_ecef  = base point's ENU-to-ECEF frame * matrix_local
//   rms_m, sigma0_m, residuals, weights and checks as the fit gives them
std::string FitReportJson(const ControlPoints& points, const SimilarityFit& fit,
                          const VerticalLift& vertical,
                          const Diagnosis& diagnosis,
                          const std::array<double, 16>& matrix_local,
                          Language language);

// Writes the report to `path`, replacing any file there atomically.
// Returns 0, or -1 after one line on standard error naming the path and the
// system's reason.
int WriteFitReport(const std::string& path, const ControlPoints& points,
                   const SimilarityFit& fit, const VerticalLift& vertical,
                   const Diagnosis& diagnosis,
                   const std::array<double, 16>& matrix_local,
                   Language language);

}  // namespace geoanchor

#endif  // GEOANCHOR_OUTPUT_FIT_REPORT_H_
