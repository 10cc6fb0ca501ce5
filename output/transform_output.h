// The 4x4 matrix that carries drawing coordinates into the scene, its text,
// the result file and the parameter line.
//
// The matrix is the fitted similarity's (PlaneSimilarity::ToMatrix):
// column-major, element index = 4 * column + row; with p = K cos(angle)
// and q = K sin(angle), applied to the column vector (x, y, z, 1) of a
// drawing point it gives
//   (p*x - q*y + A_m, q*x + p*y + B_m, z + zoffset_m, 1)
// in the scene's east/north/up frame around its base point, metres.
#ifndef GEOANCHOR_OUTPUT_TRANSFORM_OUTPUT_H_
#define GEOANCHOR_OUTPUT_TRANSFORM_OUTPUT_H_

#include <array>
#include <string>

#include "common/language.h"
#include "common/types.h"

namespace geoanchor {

// File name of the result, written into the executable's directory unless
// the run names another path (--result).
inline constexpr const char kResultFileName[] = "DUZEradozediva.json";

// "%.1f" when |v| < 1e-6 or |v - 1| < 1e-6 (both strict; NaN fails both),
// "%.20f" otherwise: twenty decimals of the double's exact value. Values of
// any magnitude are rendered in full. This short form is every element's
// rule but the rotation and scale elements' (see FormatTransformMatrix).
std::string FormatMatrixNumber(double v);

// A rounding of the matrix may move no control point further than this
// from where the fit places it, metres.
inline constexpr double kMatrixTextToleranceM = 1e-4;

// The matrix as the result file carries it.
struct MatrixText {
  std::string text;         // the result text
  TransformMatrix numbers;  // each element as strtod reads its rendering back
};

// The result text: "[" + the sixteen renderings in index order joined by ","
// + "]", no blanks, no line break. Every element takes FormatMatrixNumber's
// rule, except that elements 0, 1, 4 and 5 (K cos, K sin) take the short
// form only where rounding them moves no drawing position of `points`
// (fitted and check points) by more than kMatrixTextToleranceM: K cos =
// 0.9999992 written as "1.0" moves an easting of 39 500 000 m by 32 m.
// Elsewhere they take "%.20f". The roundings of both pairs (K cos by d, K
// sin by e: about sqrt(d^2 + e^2) |(x, y)|) and of the offsets are judged
// together at every point: where both pairs' short forms move a point too
// far, the pair that moves it less keeps them if it alone passes.
MatrixText FormatTransformMatrix(const TransformMatrix& matrix,
                                 const ControlPoints& points);

// The matrix of `fit` (PlaneSimilarity::ToMatrix) with `zoffset_m`,
// formatted for `points`.
MatrixText ResultMatrix(const SimilarityFit& fit, const ControlPoints& points,
                        double zoffset_m);

// True when the matrix read back from its text places every control
// point's drawing position (fitted and check points) within
// kMatrixTextToleranceM of where `fit`'s model puts it, the place its
// deviation lines measure from, give or take the rounding of the two
// evaluations (1e-14 of the magnitudes summed). Otherwise false, with
// `*failure` naming the worst point and its distance.
bool MatrixCarriesFit(const MatrixText& matrix, const SimilarityFit& fit,
                      const ControlPoints& points, Message* failure);

// True when every element is a finite number, so the text is valid JSON.
bool IsFiniteMatrix(const TransformMatrix& matrix);

// The whole output stage for `matrix` (ResultMatrix of `fit` for `points`):
// prints "\n%s\n" with its text and the parameter line without a final
// line break:
//   free scale:  "A B K Angle :%.10f %.10f %.10f %.10f"
//   fixed scale: "A B K Angle :%f %f %f %f"
// (the failure line in `language`) with the fit's A_m, B_m, K and angle_rad,
// then writes the text to `path` (the executable's directory +
// kResultFileName, or the run's own). Returns the run's exit status: 0 when
// the file holds the new matrix; -1, with one line on standard error, when
// the matrix is not finite or its text does not carry the fit
// (MatrixCarriesFit; nothing printed to standard output, no file written) or
// the file cannot be written (everything still printed, the line after it:
// WriteFileOrSay).
int WriteTransformResult(const SimilarityFit& fit, const ControlPoints& points,
                         const MatrixText& matrix, const std::string& path,
                         Language language);

}  // namespace geoanchor

#endif  // GEOANCHOR_OUTPUT_TRANSFORM_OUTPUT_H_
