#include "output/fit_report.h"

#include <cmath>
#include <utility>
#include <vector>

#include "common/numbers.h"
#include "common/version.h"
#include "geodesy/geodetic_converter.h"
#include "output/json_text.h"
#include "output/write_file.h"

namespace geoanchor {

namespace {

std::string Array(const double* values, size_t size) {
  std::string out = "[";
  for (size_t i = 0; i < size; ++i) {
    if (i != 0) out += ", ";
    out += JsonNumber(values[i]);
  }
  return out + "]";
}

std::string PrecisionJson(const FitPrecision& p, bool free_scale) {
  if (!p.available) return "null";
  const double centroid[2] = {p.centroid_src_x, p.centroid_src_y};
  std::string j = "{\"centroid_src\": " + Array(centroid, 2) +
                  ", \"east_m\": " + JsonNumber(p.east_m) +
                  ", \"north_m\": " + JsonNumber(p.north_m) +
                  ", \"scale_ppm\": " +
                  (free_scale ? JsonNumber(p.scale_ppm) : std::string("null")) +
                  ", \"angle_arcsec\": " + JsonNumber(p.angle_arcsec) +
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
  return std::string("{\"kind\": ") + JsonString(ProjectionKindName(p.kind)) +
         ", \"central_meridian_deg\": " + JsonNumber(p.central_meridian_deg) +
         ", \"zone\": " + (p.zone != 0 ? std::to_string(p.zone) : "null") +
         ", \"zone_in_easting\": " + (p.zone_in_easting ? "true" : "false") +
         ", \"epsg\": " + (p.epsg != 0 ? std::to_string(p.epsg) : "null") +
         ", \"rms_m\": " + JsonNumber(p.rms_m) + ", \"web_map\": " +
         (p.web_map ? JsonString(WebMapDatumName(p.web_map_datum)) : "null") +
         "}";
}

// The national grid the drawing is in, judged point by point, or null:
// its EPSG code and name, the datum's common shift (grid position minus
// drawing point, metres) and the scale and angle it fixes at the site.
std::string GridJson(const GridJudgement& g) {
  if (!g.in_grid) return "null";
  return "{\"epsg\": " + std::to_string(g.grid.epsg) +
         ", \"name\": " + JsonString(GridName(g.grid).en) +
         ", \"datum_dx_m\": " + JsonNumber(g.datum_shift_m.x) +
         ", \"datum_dy_m\": " + JsonNumber(g.datum_shift_m.y) +
         ", \"K\": " + JsonNumber(g.K) +
         ", \"angle_rad\": " + JsonNumber(g.angle_rad) + "}";
}

// The sum of `terms` rounded once, to nearest (ties to even), when the terms
// and their partial sums are finite: the partials of Shewchuk's adaptive
// addition hold the sum exactly (no two overlap), and the top ones are added
// with the half-way case corrected, as Python's math.fsum does.
double RoundedSum(const std::vector<double>& terms) {
  std::vector<double> partials;
  for (double x : terms) {
    size_t kept = 0;
    for (size_t i = 0; i < partials.size(); ++i) {
      double y = partials[i];
      if (std::fabs(x) < std::fabs(y)) std::swap(x, y);
      const double hi = x + y;
      const double lo = y - (hi - x);
      if (lo != 0.0) partials[kept++] = lo;
      x = hi;
    }
    partials.resize(kept);
    partials.push_back(x);
  }
  size_t n = partials.size();
  if (n == 0) return 0.0;
  double hi = partials[--n], lo = 0.0;
  while (n > 0) {
    const double x = hi, y = partials[--n];
    hi = x + y;
    lo = y - (hi - x);
    if (lo != 0.0) break;
  }
  // hi + lo is the sum of the top partials exactly; when lo is half an ulp
  // of hi, the partials below it decide which way it rounds.
  if (n > 0 && ((lo < 0.0 && partials[n - 1] < 0.0) ||
                (lo > 0.0 && partials[n - 1] > 0.0))) {
    const double twice = lo * 2.0;
    const double x = hi + twice;
    if (twice == x - hi) hi = x;
  }
  return hi;
}

// Row `row` of `m` applied to (origin, 1): the exact sum rounded once where
// its terms are finite, else the plain sum.
double AppliedToOrigin(const std::array<double, 16>& m, int row,
                       const Point3& origin) {
  const double o[3] = {origin.x, origin.y, origin.z};
  double plain = 0.0;
  std::vector<double> terms = {m[12 + row]};
  for (int col = 0; col < 3; ++col) {
    const double a = m[4 * col + row];
    const double product = a * o[col];
    plain += product;
    // The product and its rounding error, exactly (fma rounds once).
    terms.push_back(product);
    terms.push_back(std::fma(a, o[col], -product));
  }
  plain += m[12 + row];
  for (double t : terms) {
    if (!std::isfinite(t)) return plain;
  }
  const double sum = RoundedSum(terms);
  return std::isfinite(sum) ? sum : plain;
}

// The report's sections, each appending its fields, two blanks in, one a
// line, each line ending ",\n" (the last, the solver's, "\n").

// A field holding a list: each entry on a line of its own, four blanks in,
// and the closing bracket on a line of its own; "[]" for none.
void AppendList(const char* name, const std::vector<std::string>& entries,
                std::string* j) {
  *j += std::string("  \"") + name + "\": [";
  for (size_t i = 0; i < entries.size(); ++i) {
    *j += (i == 0 ? "\n    " : ",\n    ") + entries[i];
  }
  *j += entries.empty() ? "],\n" : "\n  ],\n";
}

// The messages' language, the tool's version and what the run was given: the
// input mode, the scale's mode, the base points and, from a table, the column
// taken as the easting and the columns not read.
void AppendRun(const ControlPoints& points, bool free_scale, Language language,
               const ReportScene* scene, bool drawing_in_scene_grid,
               std::string* j) {
  *j += "  \"lang\": " + JsonString(LanguageCode(language)) + ",\n";
  *j += "  \"version\": " + JsonString(kToolVersion) + ",\n";
  *j += "  \"mode\": " + JsonString(InputModeName(points.mode)) + ",\n";
  *j +=
      "  \"scale_mode\": " + JsonString(free_scale ? "free" : "fixed") + ",\n";
  *j += "  \"base_point\": {\"lon_deg\": " + JsonNumber(points.base_point.x) +
        ", \"lat_deg\": " + JsonNumber(points.base_point.y) + "},\n";
  if (scene != nullptr) {
    const double origin[3] = {scene->srs_origin.x, scene->srs_origin.y,
                              scene->srs_origin.z};
    *j += "  \"scene\": {\"file\": " + JsonString(scene->file) +
          ", \"srs\": " + JsonString(scene->srs) +
          ", \"srs_origin\": " + Array(origin, 3) +
          ", \"drawing_in_scene_grid\": " +
          (drawing_in_scene_grid ? "true" : "false") + "},\n";
  }
  if (points.mode == InputMode::kModelBasePoint) {
    *j +=
        "  \"model_point\": {\"lon_deg\": " + JsonNumber(points.model_point.x) +
        ", \"lat_deg\": " + JsonNumber(points.model_point.y) + "},\n";
  }
  if (points.table.read) {
    *j += "  \"easting_column\": " + JsonString(points.table.easting_column) +
          ",\n";
    std::vector<std::string> ignored;
    for (const std::string& name : points.table.ignored_columns) {
      ignored.push_back(JsonString(name));
    }
    AppendList("ignored_columns", ignored, j);
  }
}

// The fitted parameters and the matrices, which describe exactly the
// transform in the result file: `local`, the base point's ENU-to-ECEF frame
// times it, and `local` about the drawing's own origin with that origin.
void AppendParameters(const SimilarityFit& fit, const ControlPoints& points,
                      const std::array<double, 16>& local,
                      const ReportScene* scene, std::string* j) {
  const Point3& base = points.base_point;
  const std::array<double, 16> ecef = MultiplyMatrices(
      EnuToEcefMatrix(GeodeticConverter(base.x, base.y)), local);
  const Point3 origin = LocalOrigin(points.source);
  const double origin_xyz[3] = {origin.x, origin.y, origin.z};
  const std::array<double, 16> rtc = MatrixAboutOrigin(local, origin);
  *j += "  \"parameters\": {\"A_m\": " + JsonNumber(fit.similarity.A_m()) +
        ", \"B_m\": " + JsonNumber(fit.similarity.B_m()) +
        ", \"K\": " + JsonNumber(fit.similarity.K()) +
        ", \"angle_rad\": " + JsonNumber(fit.similarity.angle_rad()) +
        ", \"angle_deg\": " + JsonNumber(RadToDeg(fit.similarity.angle_rad())) +
        ", \"scale_ppm\": " + JsonNumber((fit.similarity.K() - 1.0) * 1e6) +
        "},\n";
  *j += "  \"matrix_local\": " + Array(local.data(), local.size()) + ",\n";
  *j += "  \"matrix_ecef\": " + Array(ecef.data(), ecef.size()) + ",\n";
  *j += "  \"local_origin\": " + Array(origin_xyz, 3) + ",\n";
  *j += "  \"matrix_local_rtc\": " + Array(rtc.data(), rtc.size()) + ",\n";
  if (scene != nullptr) {
    const std::array<double, 16> scene_rtc =
        MatrixAboutOrigin(scene->matrix_scene, origin);
    *j += "  \"matrix_scene\": " +
          Array(scene->matrix_scene.data(), scene->matrix_scene.size()) + ",\n";
    *j += "  \"matrix_scene_rtc\": " +
          Array(scene_rtc.data(), scene_rtc.size()) + ",\n";
  }
}

// A point's name from a table, or null.
std::string NameJson(const std::vector<std::string>& names, size_t i) {
  return i < names.size() && !names[i].empty() ? JsonString(names[i])
                                               : std::string("null");
}

// The opening of a point's entry, with what every point has: its name,
// whether it was fitted, where it is and its deviation under the fitted
// matrix. The caller adds the rest and the closing brace.
std::string PlacedJson(const std::string& name_json, bool used,
                       const Point3& source, const Point2& target,
                       const Point2& d, double residual_m) {
  return "    {\"name\": " + name_json +
         ", \"used\": " + (used ? "true" : "false") +
         ", \"src_x\": " + JsonNumber(source.x) +
         ", \"src_y\": " + JsonNumber(source.y) +
         ", \"east_m\": " + JsonNumber(target.x) +
         ", \"north_m\": " + JsonNumber(target.y) +
         ", \"dx_m\": " + JsonNumber(d.x) + ", \"dy_m\": " + JsonNumber(d.y) +
         ", \"residual_m\": " + JsonNumber(residual_m);
}

// Check point `k`'s entry: placed, judged, and its height when the run
// has heights.
std::string CheckPointJson(const CheckPoints& check,
                           const CheckPointJudgement& judged,
                           const VerticalLift& vertical, size_t k) {
  std::string height;
  if (vertical.available && k < check.target_up_m.size()) {
    height =
        ", \"src_z\": " + JsonNumber(check.source[k].z) +
        ", \"up_m\": " + JsonNumber(check.target_up_m[k]) + ", \"dz_m\": " +
        JsonNumber(check.target_up_m[k] - check.source[k].z - vertical.lift_m);
  }
  return PlacedJson(NameJson(check.names, k), false, check.source[k],
                    check.target[k], judged.deviations[k],
                    judged.residuals_m[k]) +
         ", \"survey_m\": " + JsonNumber(judged.survey_m[k]) +
         ", \"projection_m\": " + JsonNumber(judged.projection_m[k]) + height +
         "}";
}

// A fitted point's place in the national grid, null where the drawing is
// in none.
std::string GridFieldsJson(const GridJudgement& grid, size_t i) {
  if (!grid.in_grid || i >= grid.deviation_m.size()) {
    return ", \"grid_dx_m\": null, \"grid_dy_m\": null, \"grid_m\": null";
  }
  return ", \"grid_dx_m\": " + JsonNumber(grid.deviation_m[i].x) +
         ", \"grid_dy_m\": " + JsonNumber(grid.deviation_m[i].y) +
         ", \"grid_m\": " + JsonNumber(grid.grid_m[i]);
}

// A fitted point's check residual (the point left out), null where there
// is none.
std::string CheckResidualFieldsJson(const std::vector<CheckResidual>& checks,
                                    size_t i) {
  if (i >= checks.size() || !checks[i].available) {
    return ", \"check_dx_m\": null, \"check_dy_m\": null, \"check_m\": null";
  }
  const CheckResidual& c = checks[i];
  return ", \"check_dx_m\": " + JsonNumber(c.dx_m) +
         ", \"check_dy_m\": " + JsonNumber(c.dy_m) +
         ", \"check_m\": " + JsonNumber(c.length_m);
}

// Fitted point `i`'s entry: placed, its weight, the survey's judgement,
// its place in the grid, its check residual and its height.
std::string FittedPointJson(const ControlPoints& points,
                            const SimilarityFit& fit,
                            const VerticalLift& vertical,
                            const Diagnosis& diagnosis, size_t i) {
  std::string e =
      PlacedJson(NameJson(points.names, i), true, points.source[i],
                 points.target[i], fit.deviations[i], fit.residuals_m[i]) +
      ", \"weight\": " + JsonNumber(fit.weights[i]) +
      ", \"outlier\": " + (fit.weights[i] < kOutlierWeight ? "true" : "false");
  const SurveyJudgement& survey = diagnosis.survey;
  if (i < survey.survey_m.size()) {
    e += ", \"survey_m\": " + JsonNumber(survey.survey_m[i]) +
         ", \"projection_m\": " + JsonNumber(survey.projection_m[i]) +
         ", \"blunder\": " + (survey.blunder[i] ? "true" : "false");
  }
  e += GridFieldsJson(diagnosis.grid, i);
  e += CheckResidualFieldsJson(fit.quality.checks, i);
  if (vertical.available) {
    e += ", \"src_z\": " + JsonNumber(points.source[i].z) +
         ", \"up_m\": " + JsonNumber(points.target_up_m[i]) +
         ", \"dz_m\": " + JsonNumber(vertical.dz_m[i]);
  }
  return e + "}";
}

// Every point in the input's order: in a table, the check points among
// the fitted ones; then the check points' summary.
void AppendPoints(const ControlPoints& points, const SimilarityFit& fit,
                  const VerticalLift& vertical, const Diagnosis& diagnosis,
                  std::string* j) {
  const CheckPoints& check = points.check;
  const CheckPointJudgement& judged = diagnosis.check_points;
  const size_t checks = judged.deviations.size();
  size_t next_check = 0;
  *j += "  \"points\": [";
  for (size_t i = 0; i < fit.deviations.size(); ++i) {
    for (; next_check < checks &&
           check.positions[next_check] < InputPosition(points.positions, i);
         ++next_check) {
      *j += (i == 0 && next_check == 0 ? "\n" : ",\n") +
            CheckPointJson(check, judged, vertical, next_check);
    }
    *j += (i == 0 && next_check == 0 ? "\n" : ",\n") +
          FittedPointJson(points, fit, vertical, diagnosis, i);
  }
  for (; next_check < checks; ++next_check) {
    *j += ",\n" + CheckPointJson(check, judged, vertical, next_check);
  }
  *j += fit.deviations.empty() ? "],\n" : "\n  ],\n";
  *j += "  \"check_points\": {\"count\": " + std::to_string(checks) +
        ", \"rms_m\": " + JsonNumber(judged.rms_m) +
        ", \"max_m\": " + JsonNumber(judged.max_m) + "},\n";
}

// The fit's quality figures, the precision of its solution and why
// figures are missing where they are.
void AppendQuality(const SimilarityFit& fit, double point_accuracy_m,
                   Language language, std::string* j) {
  const FitQuality& q = fit.quality;
  *j += "  \"rms_m\": " + JsonNumber(fit.rms_m) + ",\n";
  *j += "  \"sigma0_m\": " + JsonNumber(fit.sigma0_m) + ",\n";
  *j += "  \"point_accuracy_m\": " + JsonNumber(point_accuracy_m) + ",\n";
  *j += "  \"loss_scale_m\": " + JsonNumber(fit.loss_scale_m) + ",\n";
  *j +=
      "  \"precision\": " + PrecisionJson(q.precision, fit.free_scale) + ",\n";
  if (!q.precision.available && !q.precision.note.empty()) {
    *j += "  \"precision_note\": " + JsonString(q.precision.note.In(language)) +
          ",\n";
  }
  if (!q.checks_note.empty()) {
    *j +=
        "  \"checks_note\": " + JsonString(q.checks_note.In(language)) + ",\n";
  }
}

// The heights: the lift and its spread, and how the drawing's heights lie;
// null without heights.
void AppendVertical(const VerticalLift& vertical,
                    const HeightDiagnosis& heights, std::string* j) {
  if (!vertical.available) {
    *j += "  \"vertical\": null,\n";
    return;
  }
  const bool plane = heights.available && heights.plane_fitted;
  *j += "  \"vertical\": {\"lift_m\": " + JsonNumber(vertical.lift_m) +
        ", \"rms_m\": " + JsonNumber(vertical.rms_m) +
        ", \"max_abs_m\": " + JsonNumber(vertical.max_abs_m) +
        ", \"flat_drawing\": " +
        (heights.available && heights.flat_drawing ? "true" : "false") +
        ", \"slope_east_ppm\": " +
        (plane ? JsonNumber(heights.slope_east_ppm) : std::string("null")) +
        ", \"slope_north_ppm\": " +
        (plane ? JsonNumber(heights.slope_north_ppm) : std::string("null")) +
        ", \"curvature_m\": " +
        (heights.available ? JsonNumber(heights.curvature_m)
                           : std::string("null")) +
        "},\n";
}

// The diagnosis's judgements of the drawing: its projection, its grid, how
// far the matrix holds, the verdict and the drawing's unit.
void AppendJudgements(const Diagnosis& diagnosis, std::string* j) {
  *j += "  \"projection\": " + ProjectionJson(diagnosis.survey.projection) +
        ",\n";
  *j += "  \"grid\": " + GridJson(diagnosis.grid) + ",\n";
  *j += "  \"matrix_error_m\": " + JsonNumber(diagnosis.hold.matrix_error_m) +
        ",\n";
  *j += "  \"verdict\": " + JsonString(VerdictName(diagnosis.verdict)) + ",\n";
  *j +=
      "  \"drawing_units\": " +
      (diagnosis.drawing_units.empty() ? std::string("null")
                                       : JsonString(diagnosis.drawing_units)) +
      ",\n";
}

// The findings in the diagnosis's order, and their messages again, in the
// same order, for callers that read warnings.
void AppendFindings(const std::vector<Finding>& findings, Language language,
                    std::string* j) {
  std::vector<std::string> entries, warnings;
  for (const Finding& f : findings) {
    std::string e =
        "{\"code\": " + JsonString(FindingCodeName(f.code)) + ", \"points\": [";
    for (size_t k = 0; k < f.points.size(); ++k) {
      if (k != 0) e += ", ";
      e += std::to_string(f.points[k]);
    }
    const std::string message = JsonString(f.message.In(language));
    entries.push_back(e + "], \"message\": " + message + "}");
    warnings.push_back(message);
  }
  AppendList("findings", entries, j);
  AppendList("warnings", warnings, j);
}

// The solver's outcome: the report's last field.
void AppendSolver(const SolverOutcome& solver, std::string* j) {
  *j += "  \"solver\": {\"termination\": " + JsonString(solver.termination) +
        ", \"iterations\": " + std::to_string(solver.iterations) +
        ", \"initial_cost\": " + JsonNumber(solver.initial_cost) +
        ", \"final_cost\": " + JsonNumber(solver.final_cost) + "}\n";
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

Point3 LocalOrigin(const std::vector<Point3>& source) {
  if (source.empty()) return Point3{0.0, 0.0, 0.0};
  double x = 0.0, y = 0.0, z = 0.0;
  for (const Point3& p : source) {
    x += p.x;
    y += p.y;
    z += p.z;
  }
  const double n = static_cast<double>(source.size());
  return Point3{std::round(x / n), std::round(y / n), std::round(z / n)};
}

std::array<double, 16> MatrixAboutOrigin(const std::array<double, 16>& matrix,
                                         const Point3& origin) {
  std::array<double, 16> about = matrix;
  for (int row = 0; row < 4; ++row) {
    about[12 + row] = AppliedToOrigin(matrix, row, origin);
  }
  return about;
}

std::string FitReportJson(const ControlPoints& points, const SimilarityFit& fit,
                          const VerticalLift& vertical,
                          const Diagnosis& diagnosis,
                          const std::array<double, 16>& local,
                          Language language, const ReportScene* scene) {
  std::string j = "{\n";
  AppendRun(points, fit.free_scale, language, scene,
            diagnosis.scene.drawing_in_scene_grid, &j);
  AppendParameters(fit, points, local, scene, &j);
  AppendPoints(points, fit, vertical, diagnosis, &j);
  AppendQuality(fit, diagnosis.point_accuracy_m, language, &j);
  AppendVertical(vertical, diagnosis.heights, &j);
  AppendJudgements(diagnosis, &j);
  AppendFindings(diagnosis.findings, language, &j);
  AppendSolver(fit.solver, &j);
  return j + "}\n";
}

int WriteFitReport(const std::string& path, const ControlPoints& points,
                   const SimilarityFit& fit, const VerticalLift& vertical,
                   const Diagnosis& diagnosis,
                   const std::array<double, 16>& matrix_local,
                   Language language, const ReportScene* scene) {
  return WriteFileOrSay(path,
                        FitReportJson(points, fit, vertical, diagnosis,
                                      matrix_local, language, scene),
                        Message{"report", "报告"}, language)
             ? 0
             : -1;
}

}  // namespace geoanchor
