#include "app/run.h"

#include <cstdlib>

#include "fit/similarity_fit.h"
#include "geodesy/geodetic_converter.h"
#include "output/fit_report.h"
#include "output/fixed_text.h"
#include "output/transform_output.h"
#include "platform/platform.h"

std::string ExecutableDirectory(const std::string& program_path) {
  for (size_t i = program_path.size(); i > 0; --i) {
    if (IsDirectorySeparator(program_path[i - 1])) {
      return program_path.substr(0, i);
    }
  }
  return std::string();
}

namespace {

// Appends "src:%f,%f des_enu:%f,%f des_lon:%.14f,%.14f\n" to `lines`,
// rendered without printf, and hands full chunks to standard output.
void PrintControlPointLine(const Point3& source, const Point2& target,
                           const Point3& geodetic, std::string* lines) {
  *lines += "src:";
  AppendFixed(lines, source.x, 6);
  *lines += ',';
  AppendFixed(lines, source.y, 6);
  *lines += " des_enu:";
  AppendFixed(lines, target.x, 6);
  *lines += ',';
  AppendFixed(lines, target.y, 6);
  *lines += " des_lon:";
  AppendFixed(lines, geodetic.x, 14);
  *lines += ',';
  AppendFixed(lines, geodetic.y, 14);
  *lines += '\n';
  if (lines->size() >= kStdoutChunkBytes) FlushToStdout(lines);
}

const char* ModeName(InputMode mode) {
  switch (mode) {
    case InputMode::kPair:
      return "pair";
    case InputMode::kHeight:
      return "height";
    case InputMode::kModelBasePoint:
      return "model_base_point";
  }
  return "pair";
}

FitReport MakeFitReport(const ControlPoints& points, const SimilarityFit& fit,
                        const std::vector<Point2>& deviations,
                        const RunInputs& inputs) {
  FitReport report;
  report.mode = ModeName(points.mode);
  report.free_scale = fit.free_scale;
  report.base_lon_deg = points.base_point.x;
  report.base_lat_deg = points.base_point.y;
  report.has_model_point = points.mode == InputMode::kModelBasePoint;
  report.model_lon_deg = points.model_point.x;
  report.model_lat_deg = points.model_point.y;
  report.A_m = fit.A_m;
  report.B_m = fit.B_m;
  report.K = fit.K;
  report.angle_rad = fit.angle_rad;
  // The result file's numbers as a reader gets them back, so that both
  // matrices of the report describe exactly the transform in that file.
  const TransformMatrix local = BuildTransformMatrix(
      fit.K, fit.angle_rad, fit.A_m, fit.B_m, inputs.zoffset_m);
  for (size_t i = 0; i < local.size(); ++i) {
    report.matrix_local[i] =
        std::strtod(FormatMatrixNumber(local[i]).c_str(), nullptr);
  }
  report.enu_to_ecef = EnuToEcefMatrix(
      MakeGeodeticConverter(points.base_point.x, points.base_point.y));
  for (size_t i = 0; i < points.source.size(); ++i) {
    report.points.push_back(ReportPoint{points.source[i].x, points.source[i].y,
                                        points.target[i].x, points.target[i].y,
                                        deviations[i].x, deviations[i].y});
  }
  report.termination = fit.termination;
  report.iterations = fit.iterations;
  report.initial_cost = fit.initial_cost;
  report.final_cost = fit.final_cost;
  return report;
}

}  // namespace

bool PrepareControlPoints(const RunInputs& inputs, ControlPoints* points) {
  const std::vector<Point3> base = ParsePointPairs(inputs.basepoint);
  if (base.empty()) return false;
  points->base_point = base[0];
  const GeodeticConverter scene = MakeGeodeticConverter(base[0].x, base[0].y);

  // An IEEE comparison: 0 and -0 select pairs, NaN does not.
  const bool pairs = inputs.projectheight_m >= 0.0;
  if (pairs) {
    points->source = ParsePointPairs(inputs.DWGsrcpoints);
    points->geodetic = ParsePointPairs(inputs.DWGdespoints);
  } else {
    points->source = ParsePointTriples(inputs.DWGsrcpoints);
    points->geodetic = ParsePointTriples(inputs.DWGdespoints);
  }
  if (points->source.size() != points->geodetic.size()) return false;
  // Nothing to fit: a fit of no points would report NaN as a success.
  if (points->source.empty()) return false;

  const size_t n = points->source.size();
  points->target.clear();
  points->target.reserve(n);
  if (pairs) {
    points->mode = InputMode::kPair;
    for (size_t i = 0; i < n; ++i) {
      const Point3 geodetic{points->geodetic[i].x, points->geodetic[i].y,
                            inputs.projectheight_m};
      Point3 ecef;
      Point3 enu;
      scene.GeodeticToEcef(geodetic, &ecef);
      scene.EcefToEnu(ecef, &enu);
      points->target.push_back(Point2{enu.x, enu.y});
    }
  } else if (inputs.modelpoint.empty()) {
    points->mode = InputMode::kHeight;
    for (size_t i = 0; i < n; ++i) {
      Point3 enu;
      scene.GeodeticToEnu(points->geodetic[i], &enu);
      points->target.push_back(Point2{enu.x, enu.y});
    }
  } else {
    // Each target is placed by its offset from the model base point in the
    // model's own tangent frame, plus the model base point's offset from
    // the scene base point in the scene's frame. The two frames are not
    // rotated against each other.
    points->mode = InputMode::kModelBasePoint;
    const std::vector<Point3> model = ParsePointPairs(inputs.modelpoint);
    if (model.empty()) return false;
    points->model_point = model[0];
    const GeodeticConverter model_frame =
        MakeGeodeticConverter(model[0].x, model[0].y);
    Point3 shift_ecef;
    Point3 shift_enu;
    scene.GeodeticToEcef(Point3{model[0].x, model[0].y, 0.0}, &shift_ecef);
    scene.EcefToEnu(shift_ecef, &shift_enu);
    for (size_t i = 0; i < n; ++i) {
      Point3 ecef;
      Point3 enu;
      model_frame.GeodeticToEcef(points->geodetic[i], &ecef);
      model_frame.EcefToEnu(ecef, &enu);
      points->target.push_back(
          Point2{enu.x + shift_enu.x, enu.y + shift_enu.y});
    }
  }

  // Printed only once every early end is behind us.
  std::string lines;
  for (size_t i = 0; i < n; ++i) {
    PrintControlPointLine(points->source[i], points->target[i],
                          points->geodetic[i], &lines);
  }
  FlushToStdout(&lines);
  return true;
}

int RunGeoAnchorSolve(const RunInputs& inputs) {
  ControlPoints points;
  if (!PrepareControlPoints(inputs, &points)) return -1;

  const SimilarityFit fit =
      FitSimilarity(points.source, points.target, inputs.scale);
  const std::vector<Point2> deviations =
      ComputeDeviations(fit, points.source, points.target);
  PrintFitCheck(fit, deviations);

  const int status = WriteTransformResult(
      fit.A_m, fit.B_m, fit.K, fit.angle_rad, inputs.zoffset_m,
      inputs.executable_dir, fit.free_scale);
  if (status != 0 || inputs.report_path.empty()) return status;
  return WriteFitReport(inputs.report_path,
                        MakeFitReport(points, fit, deviations, inputs));
}
