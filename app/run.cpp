#include "app/run.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "common/unicode_text.h"
#include "diagnosis/diagnosis.h"
#include "fit/fit_policy.h"
#include "fit/scene_matrix.h"
#include "fit/similarity_fit.h"
#include "geodesy/geodetic_converter.h"
#include "input/input_stage.h"
#include "output/console.h"
#include "output/fit_report.h"
#include "output/geojson.h"
#include "output/residual_plot.h"
#include "output/transform_output.h"
#include "platform/platform.h"

namespace geoanchor {

std::string ExecutableDirectory(const std::string& program_path) {
  for (size_t i = program_path.size(); i > 0; --i) {
    if (IsDirectorySeparator(program_path[i - 1])) {
      return program_path.substr(0, i);
    }
  }
  return std::string();
}

bool PrepareControlPoints(const RunInputs& inputs, ControlPoints* points,
                          std::string* error, SceneFile* scene) {
  InputFlags flags;
  flags.basepoint = inputs.basepoint;
  flags.modelpoint = inputs.modelpoint;
  flags.DWGsrcpoints = inputs.DWGsrcpoints;
  flags.DWGdespoints = inputs.DWGdespoints;
  flags.zoffset_m = inputs.zoffset_m;
  flags.scale = inputs.scale;
  flags.projectheight_m = inputs.projectheight_m;
  flags.accuracy_m = inputs.accuracy_m;
  // A table's bytes, read here; the input stage judges them, and a file
  // that cannot be read, in its order of checks.
  std::string table, reason;
  if (!inputs.points_path.empty()) {
    ReadFileBytes(inputs.points_path, &table, &reason);
    flags.points_path = inputs.points_path;
    flags.points_table = table;
    flags.points_read_error = reason;
  }
  std::string scene_bytes, scene_reason;
  if (!inputs.scene_path.empty()) {
    ReadFileBytes(inputs.scene_path, &scene_bytes, &scene_reason);
    flags.scene_path = inputs.scene_path;
    flags.scene_bytes = scene_bytes;
    flags.scene_read_error = scene_reason;
  }
  if (const std::optional<InputError> mistake =
          ReadAndCheckInput(flags, points, scene)) {
    *error = RenderInputError(*mistake, inputs.language);
    return false;
  }
  ConvertTargets(points->mode, points->base_point, points->model_point,
                 points->project_height_m, points->geodetic, &points->target,
                 &points->target_up_m);
  CheckPoints& check = points->check;
  if (!check.geodetic.empty()) {
    ConvertTargets(points->mode, points->base_point, points->model_point,
                   points->project_height_m, check.geodetic, &check.target,
                   &check.target_up_m);
  }
  return true;
}

int RunGeoAnchorSolve(const RunInputs& inputs) {
  ControlPoints points;
  std::string error;
  SceneFile scene;
  if (!PrepareControlPoints(inputs, &points, &error, &scene)) {
    WriteMessage(error + "\n");
    return -1;
  }
  PrintControlPointLines(points);

  const bool quality = !inputs.report_path.empty() ||
                       !inputs.plot_path.empty() ||
                       !inputs.geojson_path.empty();
  const SimilarityFit fit =
      FitControlPoints(points, inputs.scale, inputs.accuracy_m, quality);
  PrintFitCheck(fit);

  // One matrix everywhere: the numbers the result file carries are the
  // ones the report gives.
  const MatrixText matrix = ResultMatrix(fit, points, inputs.zoffset_m);
  const std::string result_path = inputs.result_path.empty()
                                      ? inputs.executable_dir + kResultFileName
                                      : inputs.result_path;
  const int status =
      WriteTransformResult(fit, points, matrix, result_path, inputs.language);
  if (status != 0) return status;
  const bool from_scene = !inputs.scene_path.empty();
  const SceneMatrix scene_matrix =
      from_scene ? FitSceneMatrix(scene.srs, scene.srs_origin, points, fit,
                                  matrix.numbers)
                 : SceneMatrix();
  // Every finding but the report-only ones is judged in every run, and the
  // same way with or without a report, so standard error reads the same
  // either way.
  const Diagnosis diagnosis =
      Diagnose(points, fit, inputs.scale,
               quality ? DiagnosisDepth::kFull : DiagnosisDepth::kVerdict,
               inputs.accuracy_m, from_scene ? &scene_matrix : nullptr);
  PrintFindings(diagnosis, inputs.language);
  if (!quality) return 0;
  const VerticalLift vertical =
      ComputeVerticalLift(points.source, points.target_up_m);
  // The report is UTF-8: a path in the system's code page (a Chinese
  // Windows before its UTF-8 code page, GBK) is converted.
  const std::string file =
      IsValidUtf8(scene.path) ? scene.path : DecodeGbk(scene.path);
  const ReportScene report_scene{file, scene.srs_text, scene.srs_origin,
                                 scene_matrix.matrix};
  if (!inputs.report_path.empty() &&
      WriteFitReport(inputs.report_path, points, fit, vertical, diagnosis,
                     matrix.numbers, inputs.language,
                     from_scene ? &report_scene : nullptr) != 0) {
    return -1;
  }
  if (!inputs.plot_path.empty() &&
      WriteResidualPlot(inputs.plot_path, points, fit, diagnosis,
                        inputs.language) != 0) {
    return -1;
  }
  if (!inputs.geojson_path.empty() &&
      WriteGeoJson(inputs.geojson_path, points, fit, diagnosis,
                   inputs.language) != 0) {
    return -1;
  }
  return 0;
}

}  // namespace geoanchor
