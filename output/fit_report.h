// The optional fit report: one JSON object (UTF-8) with the parameters,
// both matrices and a float32-safe form of the local one (a whole-numbered
// origin near the drawing and the matrix about it), every control point's
// name, deviation, robust weight and check residual, the check points'
// deviations under the fitted matrix (among the points, in the input's
// order, with "used": false) and their summary, the heights, the quality
// figures, the precision of the solution, the diagnosis (findings, their
// messages as warnings, the verdict) and the solver's outcome; from a
// control-point table, also the column taken as the easting and the columns
// not read. The messages are in the run's language, which the field "lang"
// names ("en" or "zh"); keys and codes are the same in both. Numbers are
// written with 17 significant digits, so that they read back to the same
// doubles; a value that is not finite is written as null.
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

// The point a float32 viewer (a GPU, glTF, three.js) subtracts from the
// drawing's coordinates before it holds them in floats: the centroid of the
// fitted control points' drawing x, y, z, each rounded to a whole number
// (whole metres for a drawing in metres), so that the subtraction is exact
// and leaves numbers of the drawing's size. (0, 0, 0) without points.
Point3 LocalOrigin(const std::vector<Point3>& source);

// `matrix` * Translation(`origin`) for a column-major 4x4 matrix: the
// matrix that takes (p - origin) where `matrix` takes p. Its first three
// columns are `matrix`'s; its last is `matrix` applied to (origin, 1),
// each element the exact sum rounded once, so that the large terms of a
// zone-numbered drawing (39 500 000 m against A = -39 410 000 m) cancel
// without the rounding of the partial sums. Where a term is not finite the
// element is the plain sum.
std::array<double, 16> MatrixAboutOrigin(const std::array<double, 16>& matrix,
                                         const Point3& origin);

// The scene's file a run took its base point from (--scene), as the
// report names it.
struct ReportScene {
  std::string file;  // the path as the user gave it
  // <SRS> as the file writes it, or a tileset's frame as "ENU:lat,lon".
  std::string srs;
  Point3 srs_origin{0.0, 0.0, 0.0};  // metres, the SRS's axes
  // The drawing into the scene's stored coordinates (fit/scene_matrix.h).
  std::array<double, 16> matrix_scene{};
};

// The report's JSON text for a run with these control points, this fit
// (with its quality computed), heights, full diagnosis and matrix:
//   matrix_local = `matrix_local`, the result file's numbers read back
//                  (MatrixText::numbers)
//   matrix_ecef  = base point's ENU-to-ECEF frame * matrix_local
//   local_origin = LocalOrigin of the fitted points
//   matrix_local_rtc = MatrixAboutOrigin(matrix_local, local_origin)
//   rms_m, sigma0_m, residuals, weights and checks as the fit gives them
// With `scene` (not null) also "scene" {file, srs, srs_origin,
// drawing_in_scene_grid (the diagnosis's)} after the base point, and
// "matrix_scene" and "matrix_scene_rtc" (MatrixAboutOrigin(matrix_scene,
// local_origin)) after the other matrices.
std::string FitReportJson(const ControlPoints& points, const SimilarityFit& fit,
                          const VerticalLift& vertical,
                          const Diagnosis& diagnosis,
                          const std::array<double, 16>& matrix_local,
                          Language language,
                          const ReportScene* scene = nullptr);

// Writes the report to `path`, replacing any file there atomically.
// Returns 0, or -1 after one line on standard error naming the path and the
// system's reason.
int WriteFitReport(const std::string& path, const ControlPoints& points,
                   const SimilarityFit& fit, const VerticalLift& vertical,
                   const Diagnosis& diagnosis,
                   const std::array<double, 16>& matrix_local,
                   Language language, const ReportScene* scene = nullptr);

}  // namespace geoanchor

#endif  // GEOANCHOR_OUTPUT_FIT_REPORT_H_
