#include "output/transform_output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/fixed_text.h"
#include "common/tool_name.h"
#include "fit/plane_similarity.h"
#include "output/write_file.h"
#include "platform/platform.h"

namespace geoanchor {

std::string FormatMatrixNumber(double v) {
  const char* format =
      (std::fabs(v) < 1e-6 || std::fabs(v - 1.0) < 1e-6) ? "%.1f" : "%.20f";
  return FormatDouble(format, v);
}

namespace {

// The rotation and scale elements: K cos at 0 and 5, K sin at 1 and -K sin
// at 4. Each pair's short forms are kept or dropped together.
constexpr size_t kCosElements[] = {0, 5};
constexpr size_t kSinElements[] = {1, 4};

// Calls f(x, y) for the drawing position of every control point, fitted
// and check points alike.
template <typename F>
void ForEachDrawingPoint(const ControlPoints& points, F f) {
  for (const Point3& p : points.source) f(p.x, p.y);
  for (const Point3& p : points.check.source) f(p.x, p.y);
}

// The farthest, metres, that the rotation, scale and offset elements of
// `read` place a drawing position from where those of `exact` place it.
double LargestShiftM(const TransformMatrix& exact, const TransformMatrix& read,
                     const ControlPoints& points) {
  const double d0 = read[0] - exact[0], d1 = read[1] - exact[1];
  const double d4 = read[4] - exact[4], d5 = read[5] - exact[5];
  // The offsets' own short forms (below 1e-6 m) add to the same budget.
  const double d12 = read[12] - exact[12], d13 = read[13] - exact[13];
  if (d0 == 0.0 && d1 == 0.0 && d4 == 0.0 && d5 == 0.0 && d12 == 0.0 &&
      d13 == 0.0) {
    return 0.0;
  }
  double largest_m = 0.0;
  ForEachDrawingPoint(points, [&](double x, double y) {
    largest_m = std::max(
        largest_m, std::hypot(d0 * x + d4 * y + d12, d1 * x + d5 * y + d13));
  });
  return largest_m;
}

std::string InFull(double v) { return FormatDouble("%.20f", v); }

}  // namespace

MatrixText FormatTransformMatrix(const TransformMatrix& matrix,
                                 const ControlPoints& points) {
  std::array<std::string, 16> text;
  MatrixText out;
  for (size_t i = 0; i < matrix.size(); ++i) {
    text[i] = FormatMatrixNumber(matrix[i]);
    out.numbers[i] = std::strtod(text[i].c_str(), nullptr);
  }
  // The short forms of the rotation and scale elements, kept in the first
  // of these choices that moves no point too far: both pairs, the pair
  // whose rounding moves the points less, the other pair, neither.
  const auto with = [&](bool cos_short, bool sin_short) {
    TransformMatrix read = out.numbers;
    for (size_t i : kCosElements) {
      if (!cos_short) read[i] = matrix[i];
    }
    for (size_t i : kSinElements) {
      if (!sin_short) read[i] = matrix[i];
    }
    return read;
  };
  const double cos_only_m = LargestShiftM(matrix, with(true, false), points);
  const double sin_only_m = LargestShiftM(matrix, with(false, true), points);
  bool cos_short = true, sin_short = true;
  if (!(LargestShiftM(matrix, with(true, true), points) <=
        kMatrixTextToleranceM)) {
    cos_short = cos_only_m <= sin_only_m && cos_only_m <= kMatrixTextToleranceM;
    sin_short = !cos_short && sin_only_m <= kMatrixTextToleranceM;
  }
  for (size_t i : kCosElements) {
    if (!cos_short) text[i] = InFull(matrix[i]);
  }
  for (size_t i : kSinElements) {
    if (!sin_short) text[i] = InFull(matrix[i]);
  }
  out.text = "[";
  for (size_t i = 0; i < text.size(); ++i) {
    if (i != 0) out.text += ",";
    out.text += text[i];
    // What a reader gets back: the long form within 5e-21 of the element.
    out.numbers[i] = std::strtod(text[i].c_str(), nullptr);
  }
  out.text += "]";
  return out;
}

MatrixText ResultMatrix(const SimilarityFit& fit, const ControlPoints& points,
                        double zoffset_m) {
  return FormatTransformMatrix(fit.similarity.ToMatrix(zoffset_m), points);
}

bool MatrixCarriesFit(const MatrixText& matrix, const SimilarityFit& fit,
                      const ControlPoints& points, Message* failure) {
  const TransformMatrix& m = matrix.numbers;
  const PlaneSimilarity& model = fit.similarity;
  // The worst point by how far it lies beyond what it is allowed.
  double worst_excess_m = 0.0, worst_gap_m = 0.0;
  size_t index = 0, worst = 0;
  ForEachDrawingPoint(points, [&](double x, double y) {
    const Point2 fitted = model.Apply(Point2{x, y});
    const double gap_m = std::hypot(m[0] * x + m[4] * y + m[12] - fitted.x,
                                    m[1] * x + m[5] * y + m[13] - fitted.y);
    const double magnitude_m =
        std::fabs(model.K()) * (std::fabs(x) + std::fabs(y)) +
        std::fabs(model.A_m()) + std::fabs(model.B_m());
    const double excess_m =
        gap_m - (kMatrixTextToleranceM + 1e-14 * magnitude_m);
    // NaN fails too: a point the text cannot place at all.
    if (!(excess_m <= worst_excess_m)) {
      worst_excess_m = std::isnan(excess_m) ? HUGE_VAL : excess_m;
      worst_gap_m = gap_m;
      worst = index;
    }
    ++index;
  });
  if (worst_excess_m <= 0.0) return true;
  const size_t fitted = points.source.size();
  const std::string name =
      worst < fitted ? NameOrPosition(points.names, points.positions, worst)
                     : NameOrPosition(points.check.names,
                                      points.check.positions, worst - fitted);
  const std::string gap = FormatDouble("%.6f", worst_gap_m);
  *failure =
      Message{"the result text places point " + name + " " + gap +
                  " m from where the fit puts it",
              "结果文本把点 " + name + " 放在离拟合位置 " + gap + " m 处"};
  return false;
}

bool IsFiniteMatrix(const TransformMatrix& matrix) {
  for (double v : matrix) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

int WriteTransformResult(const SimilarityFit& fit, const ControlPoints& points,
                         const MatrixText& matrix, const std::string& path,
                         Language language) {
  // "nan" or "inf" is not JSON, and a file that places the drawing
  // elsewhere than the deviation lines say is worse than none.
  Message failure;
  if (!IsFiniteMatrix(matrix.numbers)) {
    failure = Message{"the transform is not finite", "变换矩阵含非有限数"};
  } else {
    MatrixCarriesFit(matrix, fit, points, &failure);
  }
  if (!failure.empty()) {
    std::fflush(stdout);
    failure += Message{"; no result file written", "；未写结果文件"};
    // A point's name from a table is UTF-8, as the words are.
    WriteMessage(kMessagePrefix + ProcessTextFromUtf8(failure.In(language)) +
                 "\n");
    return -1;
  }
  std::printf("\n%s\n", matrix.text.c_str());
  if (fit.free_scale) {
    std::printf("A B K Angle :%.10f %.10f %.10f %.10f", fit.similarity.A_m(),
                fit.similarity.B_m(), fit.similarity.K(),
                fit.similarity.angle_rad());
  } else {
    std::printf("A B K Angle :%f %f %f %f", fit.similarity.A_m(),
                fit.similarity.B_m(), fit.similarity.K(),
                fit.similarity.angle_rad());
  }
  // Written after the parameter line, so that a failure's message follows
  // everything on standard output.
  return WriteFileOrSay(path, matrix.text, Message{}, language) ? 0 : -1;
}

}  // namespace geoanchor
