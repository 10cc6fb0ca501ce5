#include "output/fit_report.h"

#include <cmath>
#include <cstdio>

#include "common/numbers.h"
#include "geodesy/geodetic_converter.h"
#include "platform/platform.h"

namespace {

std::string Number(double v) {
  if (!std::isfinite(v)) return "null";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", v);
  return buffer;
}

std::string Quoted(const std::string& text) {
  // Our texts are UTF-8 (mode names, Ceres' termination names, the
  // warnings and notes, and the points' names from a table), and JSON text
  // is: only the quote, the backslash and control characters need care.
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) >= 0x20) out += c;
  }
  return out + "\"";
}

std::string Array(const double* values, size_t size) {
  std::string out = "[";
  for (size_t i = 0; i < size; ++i) {
    if (i != 0) out += ", ";
    out += Number(values[i]);
  }
  return out + "]";
}

std::string PrecisionJson(const FitPrecision& p, bool free_scale) {
  if (!p.available) return "null";
  const double centroid[2] = {p.centroid_src_x, p.centroid_src_y};
  std::string j = "{\"centroid_src\": " + Array(centroid, 2) +
                  ", \"east_m\": " + Number(p.east_m) +
                  ", \"north_m\": " + Number(p.north_m) + ", \"scale_ppm\": " +
                  (free_scale ? Number(p.scale_ppm) : std::string("null")) +
                  ", \"angle_arcsec\": " + Number(p.angle_arcsec) +
                  ", \"correlation\": [";
  const size_t m = static_cast<size_t>(p.correlation_size);
  for (size_t row = 0; row < m; ++row) {
    if (row != 0) j += ", ";
    j += Array(&p.correlation[row * m], m);
  }
  return j + "]}";
}

// The drawing's map projection, or null for none; a meridian that is not
// determined, a zone or an EPSG code that does not apply are null.
std::string ProjectionJson(const Projection& p) {
  if (p.kind == ProjectionKind::kNone) return "null";
  return std::string("{\"kind\": ") + Quoted(ProjectionKindName(p.kind)) +
         ", \"central_meridian_deg\": " + Number(p.central_meridian_deg) +
         ", \"zone\": " + (p.zone != 0 ? std::to_string(p.zone) : "null") +
         ", \"zone_in_easting\": " + (p.zone_in_easting ? "true" : "false") +
         ", \"epsg\": " + (p.epsg != 0 ? std::to_string(p.epsg) : "null") +
         ", \"rms_m\": " + Number(p.rms_m) + ", \"web_map\": " +
         (p.web_map ? Quoted(WebMapDatumName(p.web_map_datum)) : "null") + "}";
}

// The national grid the drawing is in, judged point by point, or null:
// its EPSG code and name, the datum's common shift (grid position minus
// drawing point, metres) and the scale and angle it fixes at the site.
std::string GridJson(const GridJudgement& g) {
  if (!g.in_grid) return "null";
  return "{\"epsg\": " + std::to_string(g.grid.epsg) +
         ", \"name\": " + Quoted(GridName(g.grid)) +
         ", \"datum_dx_m\": " + Number(g.datum_shift_m.x) +
         ", \"datum_dy_m\": " + Number(g.datum_shift_m.y) +
         ", \"K\": " + Number(g.K) + ", \"angle_rad\": " + Number(g.angle_rad) +
         "}";
}

}  // namespace

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

std::string FitReportJson(const ControlPoints& points, const SimilarityFit& fit,
                          const VerticalLift& vertical,
                          const Diagnosis& diagnosis,
                          const std::array<double, 16>& local) {
  // Both matrices describe exactly the transform in the result file.
  const std::array<double, 16> ecef =
      MultiplyMatrices(EnuToEcefMatrix(MakeGeodeticConverter(
                           points.base_point.x, points.base_point.y)),
                       local);

  std::string j = "{\n";
  j += "  \"version\": " + Quoted(kToolVersion) + ",\n";
  j += "  \"mode\": " + Quoted(InputModeName(points.mode)) + ",\n";
  j += "  \"scale_mode\": " + Quoted(fit.free_scale ? "free" : "fixed") + ",\n";
  j += "  \"base_point\": {\"lon_deg\": " + Number(points.base_point.x) +
       ", \"lat_deg\": " + Number(points.base_point.y) + "},\n";
  if (points.mode == InputMode::kModelBasePoint) {
    j += "  \"model_point\": {\"lon_deg\": " + Number(points.model_point.x) +
         ", \"lat_deg\": " + Number(points.model_point.y) + "},\n";
  }
  j += "  \"parameters\": {\"A_m\": " + Number(fit.A_m) +
       ", \"B_m\": " + Number(fit.B_m) + ", \"K\": " + Number(fit.K) +
       ", \"angle_rad\": " + Number(fit.angle_rad) +
       ", \"angle_deg\": " + Number(fit.angle_rad / kPi * 180.0) +
       ", \"scale_ppm\": " + Number((fit.K - 1.0) * 1e6) + "},\n";
  j += "  \"matrix_local\": " + Array(local.data(), local.size()) + ",\n";
  j += "  \"matrix_ecef\": " + Array(ecef.data(), ecef.size()) + ",\n";

  const FitQuality& q = fit.quality;
  const SurveyJudgement& survey = diagnosis.survey;
  const GridJudgement& grid = diagnosis.grid;
  // The points in the input's order: in a table, the check points among
  // the fitted ones.
  const CheckPoints& check = points.check;
  const CheckPointJudgement& judged = diagnosis.check_points;
  const auto name = [](const std::vector<std::string>& names, size_t i) {
    return i < names.size() && !names[i].empty() ? Quoted(names[i])
                                                 : std::string("null");
  };
  // What every point has: its name, whether it was fitted, where it is
  // and its deviation under the fitted matrix.
  const auto placed = [&](const std::string& name_json, bool used,
                          const Point3& source, const Point2& target,
                          const Point2& d, double residual_m) {
    return "    {\"name\": " + name_json +
           ", \"used\": " + (used ? "true" : "false") +
           ", \"src_x\": " + Number(source.x) +
           ", \"src_y\": " + Number(source.y) +
           ", \"east_m\": " + Number(target.x) +
           ", \"north_m\": " + Number(target.y) + ", \"dx_m\": " + Number(d.x) +
           ", \"dy_m\": " + Number(d.y) +
           ", \"residual_m\": " + Number(residual_m);
  };
  const auto check_entry = [&](size_t k) {
    std::string e =
        placed(name(check.names, k), false, check.source[k], check.target[k],
               judged.deviations[k], judged.residuals_m[k]) +
        ", \"survey_m\": " + Number(judged.survey_m[k]) +
        ", \"projection_m\": " + Number(judged.projection_m[k]);
    if (vertical.available && k < check.target_up_m.size()) {
      e += ", \"src_z\": " + Number(check.source[k].z) +
           ", \"up_m\": " + Number(check.target_up_m[k]) + ", \"dz_m\": " +
           Number(check.target_up_m[k] - check.source[k].z - vertical.lift_m);
    }
    return e + "}";
  };
  const size_t checks = judged.deviations.size();
  size_t next_check = 0;
  j += "  \"points\": [";
  for (size_t i = 0; i < fit.deviations.size(); ++i) {
    for (; next_check < checks &&
           check.positions[next_check] < InputPosition(points.positions, i);
         ++next_check) {
      j += (i == 0 && next_check == 0 ? "\n" : ",\n") + check_entry(next_check);
    }
    j += i == 0 && next_check == 0 ? "\n" : ",\n";
    j += placed(name(points.names, i), true, points.source[i], points.target[i],
                fit.deviations[i], fit.residuals_m[i]) +
         ", \"weight\": " + Number(fit.weights[i]) + ", \"outlier\": " +
         (fit.weights[i] < kOutlierWeight ? "true" : "false");
    if (i < survey.survey_m.size()) {
      j += ", \"survey_m\": " + Number(survey.survey_m[i]) +
           ", \"projection_m\": " + Number(survey.projection_m[i]) +
           ", \"blunder\": " + (survey.blunder[i] ? "true" : "false");
    }
    if (grid.in_grid && i < grid.deviation_m.size()) {
      j += ", \"grid_dx_m\": " + Number(grid.deviation_m[i].x) +
           ", \"grid_dy_m\": " + Number(grid.deviation_m[i].y) +
           ", \"grid_m\": " + Number(grid.grid_m[i]);
    } else {
      j += ", \"grid_dx_m\": null, \"grid_dy_m\": null, \"grid_m\": null";
    }
    if (i < q.checks.size() && q.checks[i].available) {
      const CheckResidual& c = q.checks[i];
      j += ", \"check_dx_m\": " + Number(c.dx_m) +
           ", \"check_dy_m\": " + Number(c.dy_m) +
           ", \"check_m\": " + Number(c.length_m);
    } else {
      j += ", \"check_dx_m\": null, \"check_dy_m\": null, \"check_m\": null";
    }
    if (vertical.available) {
      j += ", \"src_z\": " + Number(points.source[i].z) +
           ", \"up_m\": " + Number(points.target_up_m[i]) +
           ", \"dz_m\": " + Number(vertical.dz_m[i]);
    }
    j += "}";
  }
  for (; next_check < checks; ++next_check) {
    j += ",\n" + check_entry(next_check);
  }
  j += fit.deviations.empty() ? "],\n" : "\n  ],\n";
  j += "  \"check_points\": {\"count\": " + std::to_string(checks) +
       ", \"rms_m\": " + Number(judged.rms_m) +
       ", \"max_m\": " + Number(judged.max_m) + "},\n";

  j += "  \"rms_m\": " + Number(fit.rms_m) + ",\n";
  j += "  \"sigma0_m\": " + Number(fit.sigma0_m) + ",\n";
  j += "  \"point_accuracy_m\": " + Number(diagnosis.point_accuracy_m) + ",\n";
  j += "  \"loss_scale_m\": " + Number(fit.loss_scale_m) + ",\n";
  j += "  \"precision\": " + PrecisionJson(q.precision, fit.free_scale) + ",\n";
  if (!q.precision.available && !q.precision.note.empty()) {
    j += "  \"precision_note\": " + Quoted(q.precision.note) + ",\n";
  }
  if (!q.checks_note.empty()) {
    j += "  \"checks_note\": " + Quoted(q.checks_note) + ",\n";
  }
  const HeightDiagnosis& heights = diagnosis.heights;
  if (vertical.available) {
    const bool plane = heights.available && heights.plane_fitted;
    j += "  \"vertical\": {\"lift_m\": " + Number(vertical.lift_m) +
         ", \"rms_m\": " + Number(vertical.rms_m) +
         ", \"max_abs_m\": " + Number(vertical.max_abs_m) +
         ", \"flat_drawing\": " +
         (heights.available && heights.flat_drawing ? "true" : "false") +
         ", \"slope_east_ppm\": " +
         (plane ? Number(heights.slope_east_ppm) : std::string("null")) +
         ", \"slope_north_ppm\": " +
         (plane ? Number(heights.slope_north_ppm) : std::string("null")) +
         ", \"curvature_m\": " +
         (heights.available ? Number(heights.curvature_m)
                            : std::string("null")) +
         "},\n";
  } else {
    j += "  \"vertical\": null,\n";
  }
  j += "  \"projection\": " + ProjectionJson(survey.projection) + ",\n";
  j += "  \"grid\": " + GridJson(grid) + ",\n";
  j += "  \"matrix_error_m\": " + Number(diagnosis.hold.matrix_error_m) + ",\n";
  j += "  \"verdict\": " + Quoted(VerdictName(diagnosis.verdict)) + ",\n";
  j += "  \"drawing_units\": " +
       (diagnosis.drawing_units.empty() ? std::string("null")
                                        : Quoted(diagnosis.drawing_units)) +
       ",\n";
  j += "  \"findings\": [";
  for (size_t i = 0; i < diagnosis.findings.size(); ++i) {
    const Finding& f = diagnosis.findings[i];
    j += i == 0 ? "\n    " : ",\n    ";
    j += "{\"code\": " + Quoted(FindingCodeName(f.code)) + ", \"points\": [";
    for (size_t k = 0; k < f.points.size(); ++k) {
      if (k != 0) j += ", ";
      j += std::to_string(f.points[k]);
    }
    j += "], \"message\": " + Quoted(f.message) + "}";
  }
  j += diagnosis.findings.empty() ? "],\n" : "\n  ],\n";
  // The findings' messages, in their order, for callers that read warnings.
  j += "  \"warnings\": [";
  for (size_t i = 0; i < diagnosis.findings.size(); ++i) {
    j +=
        (i == 0 ? "\n    " : ",\n    ") + Quoted(diagnosis.findings[i].message);
  }
  j += diagnosis.findings.empty() ? "],\n" : "\n  ],\n";
  j += "  \"solver\": {\"termination\": " + Quoted(fit.solver.termination) +
       ", \"iterations\": " + std::to_string(fit.solver.iterations) +
       ", \"initial_cost\": " + Number(fit.solver.initial_cost) +
       ", \"final_cost\": " + Number(fit.solver.final_cost) + "}\n";
  j += "}\n";
  return j;
}

int WriteFitReport(const std::string& path, const ControlPoints& points,
                   const SimilarityFit& fit, const VerticalLift& vertical,
                   const Diagnosis& diagnosis,
                   const std::array<double, 16>& matrix_local) {
  std::string error;
  if (!ReplaceFileContents(
          path, FitReportJson(points, fit, vertical, diagnosis, matrix_local),
          &error)) {
    std::fflush(stdout);
    WriteMessage("GeoAnchorSolve: cannot write report " + path + ": " + error +
                 "\n");
    return -1;
  }
  return 0;
}
