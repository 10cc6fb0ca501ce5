#include "app/run.h"

#include "fit/similarity_fit.h"
#include "geodesy/geodetic_converter.h"
#include "input/point_list.h"
#include "output/console.h"
#include "output/fit_report.h"
#include "output/residual_plot.h"
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
  points->target_up_m.clear();
  if (pairs) {
    points->mode = InputMode::kPair;
    points->project_height_m = inputs.projectheight_m;
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
      points->target_up_m.push_back(enu.z);
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
      points->target_up_m.push_back(enu.z + shift_enu.z);
    }
  }

  return true;
}

int RunGeoAnchorSolve(const RunInputs& inputs) {
  ControlPoints points;
  if (!PrepareControlPoints(inputs, &points)) return -1;
  PrintControlPointLines(points);

  FitOptions options;
  options.quality = !inputs.report_path.empty() || !inputs.plot_path.empty();
  const SimilarityFit fit =
      FitSimilarity(points.source, points.target, inputs.scale, options);
  PrintFitCheck(fit);

  const int status = WriteTransformResult(
      fit.A_m, fit.B_m, fit.K, fit.angle_rad, inputs.zoffset_m,
      inputs.executable_dir, fit.free_scale);
  if (status != 0 || !options.quality) return status;
  const VerticalLift vertical =
      ComputeVerticalLift(points.source, points.target_up_m);
  if (!inputs.report_path.empty() &&
      WriteFitReport(inputs.report_path, points, fit, vertical,
                     inputs.zoffset_m) != 0) {
    return -1;
  }
  if (!inputs.plot_path.empty() &&
      WriteResidualPlot(inputs.plot_path, points, fit,
                        ReportWarnings(fit, vertical)) != 0) {
    return -1;
  }
  return 0;
}
