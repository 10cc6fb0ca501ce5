#include "output/fit_report.h"

#include <cmath>
#include <cstdio>

#include "fit/similarity_fit.h"
#include "platform/platform.h"

namespace {

constexpr double kPi = 3.141592653589793;

std::string Number(double v) {
  if (!std::isfinite(v)) return "null";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", v);
  return buffer;
}

std::string Quoted(const std::string& text) {
  // Our texts are plain ASCII words (mode names, Ceres' termination names).
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) >= 0x20) out += c;
  }
  return out + "\"";
}

std::string Array(const std::array<double, 16>& m) {
  std::string out = "[";
  for (size_t i = 0; i < m.size(); ++i) {
    if (i != 0) out += ", ";
    out += Number(m[i]);
  }
  return out + "]";
}

// sqrt(dx^2 + dy^2). Not std::hypot, whose last bit differs between C
// libraries (glibc and mingw-w64): the report must be the same, number for
// number, on every platform, and the basic operations and sqrt are
// correctly rounded everywhere. hypot only where the squares would
// overflow.
double DeviationLength(double dx_m, double dy_m) {
  if (std::fabs(dx_m) < 1e150 && std::fabs(dy_m) < 1e150) {
    return std::sqrt(dx_m * dx_m + dy_m * dy_m);
  }
  return std::hypot(dx_m, dy_m);
}

}  // namespace

double CauchyWeight(double residual_m) {
  const double ratio = residual_m / kCauchyScaleM;
  return 1.0 / (1.0 + ratio * ratio);
}

std::array<double, 16> MultiplyMatrices(const std::array<double, 16>& a,
                                        const std::array<double, 16>& b) {
  std::array<double, 16> c{};
  for (int col = 0; col < 4; ++col) {
    for (int row = 0; row < 4; ++row) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) sum += a[4 * k + row] * b[4 * col + k];
      c[4 * col + row] = sum;
    }
  }
  return c;
}

std::string FitReportJson(const FitReport& r) {
  std::string j = "{\n";
  j += "  \"version\": " + Quoted(kToolVersion) + ",\n";
  j += "  \"mode\": " + Quoted(r.mode) + ",\n";
  j += "  \"scale_mode\": " + Quoted(r.free_scale ? "free" : "fixed") + ",\n";
  j += "  \"base_point\": {\"lon_deg\": " + Number(r.base_lon_deg) +
       ", \"lat_deg\": " + Number(r.base_lat_deg) + "},\n";
  if (r.has_model_point) {
    j += "  \"model_point\": {\"lon_deg\": " + Number(r.model_lon_deg) +
         ", \"lat_deg\": " + Number(r.model_lat_deg) + "},\n";
  }
  j += "  \"parameters\": {\"A_m\": " + Number(r.A_m) +
       ", \"B_m\": " + Number(r.B_m) + ", \"K\": " + Number(r.K) +
       ", \"angle_rad\": " + Number(r.angle_rad) +
       ", \"angle_deg\": " + Number(r.angle_rad / kPi * 180.0) +
       ", \"scale_ppm\": " + Number((r.K - 1.0) * 1e6) + "},\n";
  j += "  \"matrix_local\": " + Array(r.matrix_local) + ",\n";
  j += "  \"matrix_ecef\": " +
       Array(MultiplyMatrices(r.enu_to_ecef, r.matrix_local)) + ",\n";

  double sum_sq_m2 = 0.0;
  j += "  \"points\": [";
  for (size_t i = 0; i < r.points.size(); ++i) {
    const ReportPoint& p = r.points[i];
    const double residual_m = DeviationLength(p.dx_m, p.dy_m);
    const double weight = CauchyWeight(residual_m);
    sum_sq_m2 += residual_m * residual_m;
    j += i == 0 ? "\n" : ",\n";
    j += "    {\"src_x\": " + Number(p.src_x) +
         ", \"src_y\": " + Number(p.src_y) +
         ", \"east_m\": " + Number(p.east_m) +
         ", \"north_m\": " + Number(p.north_m) +
         ", \"dx_m\": " + Number(p.dx_m) + ", \"dy_m\": " + Number(p.dy_m) +
         ", \"residual_m\": " + Number(residual_m) +
         ", \"weight\": " + Number(weight) +
         ", \"outlier\": " + (weight < kOutlierWeight ? "true" : "false") + "}";
  }
  j += r.points.empty() ? "],\n" : "\n  ],\n";

  const double n = static_cast<double>(r.points.size());
  const double unknowns = r.free_scale ? 4.0 : 3.0;
  j += "  \"rms_m\": " + Number(std::sqrt(sum_sq_m2 / n)) + ",\n";
  j += "  \"sigma0_m\": " +
       (2.0 * n > unknowns ? Number(std::sqrt(sum_sq_m2 / (2.0 * n - unknowns)))
                           : std::string("null")) +
       ",\n";
  j += "  \"solver\": {\"termination\": " + Quoted(r.termination) +
       ", \"iterations\": " + std::to_string(r.iterations) +
       ", \"initial_cost\": " + Number(r.initial_cost) +
       ", \"final_cost\": " + Number(r.final_cost) + "}\n";
  j += "}\n";
  return j;
}

int WriteFitReport(const std::string& path, const FitReport& report) {
  std::string error;
  if (!ReplaceFileContents(path, FitReportJson(report), &error)) {
    std::fflush(stdout);
    std::fprintf(stderr, "GeoAnchorSolve: cannot write report %s: %s\n",
                 path.c_str(), error.c_str());
    return -1;
  }
  return 0;
}
