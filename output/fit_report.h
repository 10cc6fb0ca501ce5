// The optional fit report: one JSON object (UTF-8) with the parameters,
// both matrices, every control point's deviation and robust weight, the
// quality figures and the solver's outcome. Numbers are written with 17
// significant digits, so that they read back to the same doubles; a value
// that is not finite is written as null.
#ifndef GEOANCHOR_OUTPUT_FIT_REPORT_H_
#define GEOANCHOR_OUTPUT_FIT_REPORT_H_

#include <array>
#include <string>
#include <vector>

// The tool's version, as --version and the report give it.
inline constexpr const char kToolVersion[] = "0.0.8";

// Points whose Cauchy weight is below this are reported as outliers.
inline constexpr double kOutlierWeight = 0.1;

struct ReportPoint {
  double src_x = 0.0;    // drawing x
  double src_y = 0.0;    // drawing y
  double east_m = 0.0;   // target east around the base point
  double north_m = 0.0;  // target north
  double dx_m = 0.0;     // target minus transformed source, east
  double dy_m = 0.0;     // target minus transformed source, north
};

struct FitReport {
  const char* mode = "pair";  // "pair", "height" or "model_base_point"
  bool free_scale = true;
  double base_lon_deg = 0.0;
  double base_lat_deg = 0.0;
  bool has_model_point = false;
  double model_lon_deg = 0.0;
  double model_lat_deg = 0.0;
  double A_m = 0.0;
  double B_m = 0.0;
  double K = 1.0;
  double angle_rad = 0.0;
  std::array<double, 16> matrix_local{};  // drawing -> scene ENU
  std::array<double, 16> enu_to_ecef{};   // base point's ENU -> ECEF frame
  std::vector<ReportPoint> points;
  std::string termination;
  int iterations = 0;
  double initial_cost = 0.0;
  double final_cost = 0.0;
};

// Weight of the fit's Cauchy loss (scale kCauchyScaleM, 0.05 m) at a residual
// of length `residual_m`: 1 / (1 + r^2 / 0.05^2).
double CauchyWeight(double residual_m);

// a * b for column-major 4x4 matrices.
std::array<double, 16> MultiplyMatrices(const std::array<double, 16>& a,
                                        const std::array<double, 16>& b);

// The report's JSON text:
//   rms_m    = sqrt(sum r^2 / n)
//   sigma0_m = sqrt(sum r^2 / (2n - u)), u = 4 (free scale) or 3 (fixed);
//              null when 2n <= u
//   matrix_ecef = enu_to_ecef * matrix_local
std::string FitReportJson(const FitReport& report);

// Writes the report to `path`, replacing any file there atomically.
// Returns 0, or -1 after one line on standard error naming the path and the
// system's reason.
int WriteFitReport(const std::string& path, const FitReport& report);

#endif  // GEOANCHOR_OUTPUT_FIT_REPORT_H_
