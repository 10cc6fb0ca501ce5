#include "output/transform_output.h"

#include <cmath>
#include <cstdio>

#include "common/fixed_text.h"
#include "platform/platform.h"

TransformMatrix BuildTransformMatrix(double s, double angle_rad, double A_m,
                                     double B_m, double zoffset_m) {
  const double sin_a = std::sin(angle_rad);
  const double cos_a = std::cos(angle_rad);
  const double p = s * cos_a;
  const double q = s * sin_a;
  TransformMatrix m;
  m.fill(+0.0);
  m[0] = p;
  m[1] = q;
  m[4] = -q;  // exact negation: -0.0 when q is +0.0
  m[5] = p;
  m[10] = 1.0;
  m[12] = A_m;
  m[13] = B_m;
  m[14] = zoffset_m;
  m[15] = 1.0;
  return m;
}

std::string FormatMatrixNumber(double v) {
  const char* format =
      (std::fabs(v) < 1e-6 || std::fabs(v - 1.0) < 1e-6) ? "%.1f" : "%.20f";
  return FormatDouble(format, v);
}

std::string MatrixToJsonText(const TransformMatrix& matrix) {
  std::string text = "[";
  for (size_t i = 0; i < matrix.size(); ++i) {
    if (i != 0) text += ",";
    text += FormatMatrixNumber(matrix[i]);
  }
  text += "]";
  return text;
}

bool IsFiniteMatrix(const TransformMatrix& matrix) {
  for (double v : matrix) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

bool WriteTextFile(std::string path, std::string text, std::string* error) {
  return ReplaceFileContents(path, text, error);
}

int WriteTransformResult(double A_m, double B_m, double s, double angle_rad,
                         double zoffset_m, const std::string& directory,
                         bool free_scale) {
  const TransformMatrix matrix =
      BuildTransformMatrix(s, angle_rad, A_m, B_m, zoffset_m);
  if (!IsFiniteMatrix(matrix)) {
    // "nan" or "inf" is not JSON: better no result than a broken one.
    std::fflush(stdout);
    WriteMessage(
        "GeoAnchorSolve: the transform is not finite; no result file "
        "written\n");
    return -1;
  }
  const std::string text = MatrixToJsonText(matrix);
  std::printf("\n%s\n", text.c_str());

  const std::string path = directory + kResultFileName;
  std::string error;
  const bool written = WriteTextFile(path, text, &error);

  if (free_scale) {
    std::printf("A B K Angle :%.10f %.10f %.10f %.10f", A_m, B_m, s, angle_rad);
  } else {
    std::printf("A B K Angle :%f %f %f %f", A_m, B_m, s, angle_rad);
  }
  if (!written) {
    std::fflush(stdout);
    WriteMessage("GeoAnchorSolve: cannot write " + path + ": " + error + "\n");
    return -1;
  }
  return 0;
}
