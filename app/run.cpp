#include "app/run.h"

#include <cmath>

#include "common/fixed_text.h"
#include "diagnosis/diagnosis.h"
#include "fit/similarity_fit.h"
#include "geodesy/geodetic_converter.h"
#include "input/point_list.h"
#include "input/point_table.h"
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

namespace {

// A latitude no place has. NaN is left to the later stages, which carry it
// through as they always have.
bool ImpossibleLatitude(double lat_deg) { return std::fabs(lat_deg) > 90.0; }

std::string LatitudeError(const std::string& which, double lat_deg) {
  std::string text = "GeoAnchorSolve: " + which + " has latitude ";
  text += FormatDouble("%.15g", lat_deg);
  text +=
      " degrees, beyond +-90: write longitude first, then latitude "
      "(lon,lat)";
  return text;
}

// The table's points: the used ones as the two lists would give them, in
// the table's order, the others as check points.
bool ReadTablePoints(const std::string& path, bool pairs, ControlPoints* points,
                     std::string* error) {
  std::string bytes, reason;
  if (!ReadFileBytes(path, &bytes, &reason)) {
    *error = "GeoAnchorSolve: cannot read the --points file " + path + ": " +
             reason + ": check its path";
    return false;
  }
  PointTable table;
  if (!ReadPointTable(bytes, path, !pairs, &table, error)) return false;
  if (!pairs && !table.has_heights) {
    *error = "GeoAnchorSolve: " + path + " line " +
             std::to_string(table.header_line) +
             ": the header names no h column (大地高) for the targets' "
             "ellipsoidal heights: give --projectheight=<metres> to take "
             "every target at that height, or add an h column";
    return false;
  }
  CheckPoints& check = points->check;
  int position = 0;
  for (const TablePoint& p : table.points) {
    ++position;
    // In the pair mode the reader gave z and h as 0, as pairs carry them.
    const Point3& source = p.source;
    const Point3& geodetic = p.geodetic;
    if (p.used) {
      points->source.push_back(source);
      points->geodetic.push_back(geodetic);
      points->names.push_back(p.name);
      points->positions.push_back(position);
    } else {
      check.source.push_back(source);
      check.geodetic.push_back(geodetic);
      check.names.push_back(p.name);
      check.positions.push_back(position);
    }
  }
  if (points->source.empty()) {
    *error = "GeoAnchorSolve: " + path +
             ": every point has use 0, so none is left to fit: give use 1 "
             "to the points to fit";
    return false;
  }
  return true;
}

}  // namespace

bool PrepareControlPoints(const RunInputs& inputs, ControlPoints* points,
                          std::string* error) {
  error->clear();
  const bool table = !inputs.points_path.empty();
  if (table && (!inputs.DWGsrcpoints.empty() || !inputs.DWGdespoints.empty())) {
    *error =
        "GeoAnchorSolve: --points cannot be given with --DWGsrcpoints or "
        "--DWGdespoints: give the control points either in the table or in "
        "the two lists";
    return false;
  }
  const std::vector<Point3> base = ParsePointPairs(inputs.basepoint);
  if (base.empty()) return false;
  points->base_point = base[0];
  if (ImpossibleLatitude(base[0].y)) {
    *error = LatitudeError("the base point", base[0].y);
    return false;
  }

  // An IEEE comparison: 0 and -0 select pairs, NaN does not.
  const bool pairs = inputs.projectheight_m >= 0.0;
  if (table) {
    if (!ReadTablePoints(inputs.points_path, pairs, points, error)) {
      return false;
    }
  } else if (pairs) {
    points->source = ParsePointPairs(inputs.DWGsrcpoints);
    points->geodetic = ParsePointPairs(inputs.DWGdespoints);
  } else {
    points->source = ParsePointTriples(inputs.DWGsrcpoints);
    points->geodetic = ParsePointTriples(inputs.DWGdespoints);
  }
  if (points->source.size() != points->geodetic.size()) return false;
  // Nothing to fit: a fit of no points would report NaN as a success.
  if (points->source.empty()) return false;
  for (size_t i = 0; i < points->geodetic.size(); ++i) {
    if (ImpossibleLatitude(points->geodetic[i].y)) {
      *error = LatitudeError(
          "point " + std::to_string(i + 1) + " of " + "DWGdespoints",
          points->geodetic[i].y);
      return false;
    }
  }

  if (pairs) {
    points->mode = InputMode::kPair;
    points->project_height_m = inputs.projectheight_m;
  } else if (inputs.modelpoint.empty()) {
    points->mode = InputMode::kHeight;
  } else {
    points->mode = InputMode::kModelBasePoint;
    const std::vector<Point3> model = ParsePointPairs(inputs.modelpoint);
    if (model.empty()) return false;
    points->model_point = model[0];
    if (ImpossibleLatitude(model[0].y)) {
      *error = LatitudeError("the model base point", model[0].y);
      return false;
    }
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

SimilarityFit FitControlPoints(const ControlPoints& points, double scale,
                               double accuracy_m, bool quality) {
  // The similarity most points agree on, and the loss their accuracy calls
  // for, before the solve.
  const bool accuracy_given = accuracy_m > 0.0 && std::isfinite(accuracy_m);
  const Consensus consensus =
      FindConsensus(PlanePoints(points.source), points.target, scale,
                    accuracy_given ? BlunderThresholdM(accuracy_m) : kBlunderM);
  FitOptions options;
  options.quality = quality;
  options.consensus = &consensus;
  options.loss_scale_m = ChooseLossScale(points, consensus, scale, accuracy_m);
  options.blunder_m =
      BlunderThresholdM(options.loss_scale_m / kLossScalePerAccuracy);
  return FitSimilarity(points.source, points.target, scale, options);
}

int RunGeoAnchorSolve(const RunInputs& inputs) {
  ControlPoints points;
  std::string error;
  if (!PrepareControlPoints(inputs, &points, &error)) {
    if (!error.empty()) WriteMessage(error + "\n");
    return -1;
  }
  PrintControlPointLines(points);

  const bool quality = !inputs.report_path.empty() || !inputs.plot_path.empty();
  const SimilarityFit fit =
      FitControlPoints(points, inputs.scale, inputs.accuracy_m, quality);
  PrintFitCheck(fit);

  const int status = WriteTransformResult(
      fit.A_m, fit.B_m, fit.K, fit.angle_rad, inputs.zoffset_m,
      inputs.executable_dir, fit.free_scale);
  if (status != 0) return status;
  // What can make the verdict bad is judged in every run, and the same way
  // with or without a report; the rest only when a report or plot shows it.
  const Diagnosis diagnosis =
      Diagnose(points, fit, inputs.scale,
               quality ? DiagnosisDepth::kFull : DiagnosisDepth::kVerdict,
               inputs.accuracy_m);
  PrintBadFindings(diagnosis);
  if (!quality) return 0;
  const VerticalLift vertical =
      ComputeVerticalLift(points.source, points.target_up_m);
  if (!inputs.report_path.empty() &&
      WriteFitReport(inputs.report_path, points, fit, vertical, diagnosis,
                     inputs.zoffset_m) != 0) {
    return -1;
  }
  if (!inputs.plot_path.empty() &&
      WriteResidualPlot(inputs.plot_path, points, fit, diagnosis) != 0) {
    return -1;
  }
  return 0;
}
