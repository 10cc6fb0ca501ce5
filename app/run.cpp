#include "app/run.h"

#include <algorithm>
#include <cmath>

#include "diagnosis/diagnosis.h"
#include "diagnosis/grid_reference.h"
#include "fit/similarity_fit.h"
#include "geodesy/geodetic_converter.h"
#include "input/input_checks.h"
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

bool PrepareControlPoints(const RunInputs& inputs, ControlPoints* points,
                          std::string* error) {
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
  *error = ReadAndCheckInput(flags, points);
  if (!error->empty()) return false;
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

SimilarityFit FitControlPoints(const ControlPoints& points, double scale,
                               double accuracy_m, bool quality) {
  // The similarity most points agree on, and the loss their accuracy calls
  // for, before the solve.
  const bool accuracy_given = accuracy_m > 0.0 && std::isfinite(accuracy_m);
  const size_t n = points.source.size();
  // A few points in their national grid: the grid tells their accuracy and
  // their blunders point by point, where the points among themselves
  // cannot (each pair of three fits exactly).
  GridJudgement grid;
  if (n <= kGridAccuracyPoints) {
    grid =
        JudgeAgainstGrid(points, accuracy_given ? accuracy_m : 0.0,
                         accuracy_given ? BlunderThresholdM(accuracy_m) : 0.0);
  }
  const double fit_accuracy_m = accuracy_given ? accuracy_m
                                : grid.in_grid ? grid.accuracy_m
                                               : 0.0;
  const double blunder_m =
      fit_accuracy_m > 0.0 ? BlunderThresholdM(fit_accuracy_m) : kBlunderM;
  const std::vector<Point2> drawing = PlanePoints(points.source);
  Consensus consensus = FindConsensus(drawing, points.target, scale, blunder_m);
  bool keep_consensus = false;
  const size_t wrong = static_cast<size_t>(
      std::count(grid.wrong.begin(), grid.wrong.end(), true));
  if (grid.in_grid && grid.wrong.size() == n && !grid.undecided && wrong > 0 &&
      n - wrong >= 2) {
    std::vector<bool> inlier(n);
    for (size_t i = 0; i < n; ++i) inlier[i] = !grid.wrong[i];
    if (inlier != consensus.inlier) {
      const Consensus located =
          ConsensusOf(drawing, points.target, scale, inlier);
      if (located.found) {
        consensus = located;
        keep_consensus = true;
      }
    }
  }
  FitOptions options;
  options.loss_scale_m =
      ChooseLossScale(points, consensus, scale, fit_accuracy_m);
  // Too few points in no grid to tell a blunder from coarse picks: none is
  // set aside, as least squares sets none.
  if (n <= kGridAccuracyPoints &&
      std::isfinite(UnlocatableAccuracyM(points, scale, grid, accuracy_m))) {
    const Consensus all =
        ConsensusOf(drawing, points.target, scale, std::vector<bool>(n, true));
    if (all.found) {
      consensus = all;
      keep_consensus = true;
      options.loss_scale_m = kLeastSquaresLossM;
    }
  }
  options.quality = quality;
  options.consensus = &consensus;
  options.keep_consensus = keep_consensus;
  options.blunder_m =
      BlunderThresholdM(options.loss_scale_m / kLossScalePerAccuracy);
  return FitSimilarity(points.source, points.target, scale, options);
}

int RunGeoAnchorSolve(const RunInputs& inputs) {
  ControlPoints points;
  std::string error;
  if (!PrepareControlPoints(inputs, &points, &error)) {
    WriteMessage(error + "\n");
    return -1;
  }
  PrintControlPointLines(points);

  const bool quality = !inputs.report_path.empty() || !inputs.plot_path.empty();
  const SimilarityFit fit =
      FitControlPoints(points, inputs.scale, inputs.accuracy_m, quality);
  PrintFitCheck(fit);

  // One matrix everywhere: the numbers the result file carries are the
  // ones the report gives.
  const MatrixText matrix = ResultMatrix(fit, points, inputs.zoffset_m);
  const int status =
      WriteTransformResult(fit, points, matrix, inputs.executable_dir);
  if (status != 0) return status;
  // Every finding but the report-only ones is judged in every run, and the
  // same way with or without a report, so standard error reads the same
  // either way.
  const Diagnosis diagnosis =
      Diagnose(points, fit, inputs.scale,
               quality ? DiagnosisDepth::kFull : DiagnosisDepth::kVerdict,
               inputs.accuracy_m);
  PrintFindings(diagnosis);
  if (!quality) return 0;
  const VerticalLift vertical =
      ComputeVerticalLift(points.source, points.target_up_m);
  if (!inputs.report_path.empty() &&
      WriteFitReport(inputs.report_path, points, fit, vertical, diagnosis,
                     matrix.numbers) != 0) {
    return -1;
  }
  if (!inputs.plot_path.empty() &&
      WriteResidualPlot(inputs.plot_path, points, fit, diagnosis) != 0) {
    return -1;
  }
  return 0;
}
