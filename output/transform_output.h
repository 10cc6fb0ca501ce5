// The 4x4 matrix that carries drawing coordinates into the scene, its text,
// the result file and the parameter line.
//
// The matrix is column-major, element index = 4 * column + row. With
// p = s * cos(angle_rad) and q = s * sin(angle_rad), applied to the column
// vector (x, y, z, 1) of a drawing point it gives
//   (p*x - q*y + A_m, q*x + p*y + B_m, z + zoffset_m, 1)
// in the scene's east/north/up frame around its base point, metres.
// Element 4 is element 1 with its sign bit flipped; every other zero is +0.
#ifndef GEOANCHOR_OUTPUT_TRANSFORM_OUTPUT_H_
#define GEOANCHOR_OUTPUT_TRANSFORM_OUTPUT_H_

#include <array>
#include <string>

// File name of the result, written into the executable's directory.
inline constexpr const char kResultFileName[] = "DUZEradozediva.json";

using TransformMatrix = std::array<double, 16>;

TransformMatrix BuildTransformMatrix(double s, double angle_rad, double A_m,
                                     double B_m, double zoffset_m);

// "%.1f" when |v| < 1e-6 or |v - 1| < 1e-6 (both strict; NaN fails both),
// "%.20f" otherwise: twenty decimals of the double's exact value. Values of
// any magnitude are rendered in full.
std::string FormatMatrixNumber(double v);

// "[" + the sixteen renderings in index order joined by "," + "]": no
// blanks, no line break.
std::string MatrixToJsonText(const TransformMatrix& matrix);

// True when every element is a finite number, so the text is valid JSON.
bool IsFiniteMatrix(const TransformMatrix& matrix);

// Replaces the file at `path` with exactly `text` (atomically). On failure
// returns false and sets `*error` to the system's reason.
bool WriteTextFile(std::string path, std::string text, std::string* error);

// The whole output stage: builds the matrix, prints "\n%s\n" with its text,
// writes it to directory + "DUZEradozediva.json" and prints the parameter
// line without a final line break:
//   free scale:  "A B K Angle :%.10f %.10f %.10f %.10f"
//   fixed scale: "A B K Angle :%f %f %f %f"
// with A_m, B_m, s and angle_rad. Returns the run's exit status: 0 when the
// file holds the new matrix; -1, with one line on standard error, when the
// matrix is not finite (nothing printed to standard output, no file
// written) or the file cannot be written (everything still printed).
int WriteTransformResult(double A_m, double B_m, double s, double angle_rad,
                         double zoffset_m, const std::string& directory,
                         bool free_scale);

#endif  // GEOANCHOR_OUTPUT_TRANSFORM_OUTPUT_H_
