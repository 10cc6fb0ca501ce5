// The value types that the stages hand to each other: points, the prepared
// control points, and what the fit returns. Plain data only; every stage
// (input, geodesy, fit, output, the driver) includes this header and none
// of them needs another stage's header for its types.
#ifndef GEOANCHOR_COMMON_TYPES_H_
#define GEOANCHOR_COMMON_TYPES_H_

#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "common/language.h"
#include "common/numbers.h"
#include "common/plane_similarity.h"
#include "common/points.h"

namespace geoanchor {

enum class InputMode { kPair, kHeight, kModelBasePoint };

// The mode's name as the report and the plot write it.
inline const char* InputModeName(InputMode mode) {
  static constexpr const char* kNames[] = {"pair", "height",
                                           "model_base_point"};
  // A name for every mode: a new one fails here until it has one.
  static_assert(std::size(kNames) ==
                static_cast<size_t>(InputMode::kModelBasePoint) + 1);
  const size_t i = static_cast<size_t>(mode);
  return i < std::size(kNames) ? kNames[i] : "pair";
}

// Points held back from the fit to check it (a control-point table's rows
// with use 0): read and converted exactly as the fitted points, judged
// under the fitted matrix, never fitted. Index-aligned lists.
struct CheckPoints {
  std::vector<Point3> source;       // drawing x, y, z
  std::vector<Point3> geodetic;     // lon_deg, lat_deg, h_m as read
  std::vector<Point2> target;       // east_m, north_m
  std::vector<double> target_up_m;  // as ControlPoints'; empty in pair mode
  std::vector<std::string> names;   // "" for a point without a name
  std::vector<int> positions;       // in the table, counting from 1
};

// How a control-point table's header was read; `read` false for points
// given as flags.
struct TableColumns {
  bool read = false;
  std::string easting_column;                // header text of drawing x
  std::string northing_column;               // header text of drawing y
  std::vector<std::string> ignored_columns;  // header texts, in file order
};

// The index-aligned lists the fit works on, and where they came from.
struct ControlPoints {
  InputMode mode = InputMode::kPair;
  std::vector<Point3> source;    // drawing x, y, z
  std::vector<Point3> geodetic;  // targets as read: lon_deg, lat_deg, h_m
  std::vector<Point2> target;    // targets: east_m, north_m
  // Targets' up, metres, in the frame that gave their east and north (in
  // the model-base-point mode the model frame's up plus the model base
  // point's up in the scene frame). Empty in the pair mode.
  std::vector<double> target_up_m;
  Point3 base_point;   // first point of `basepoint`: lon_deg, lat_deg
  Point3 model_point;  // model-base-point mode only
  // Pair mode only: the ellipsoidal height, metres, at which every target
  // was converted (`geodetic` keeps the z of 0 the pairs were read with).
  double project_height_m = 0.0;
  // From a control-point table: per fitted point its name ("" for none)
  // and its position in the table, counting from 1 with the check points.
  // Empty for points given as flags: point i is position i + 1, unnamed.
  std::vector<std::string> names;
  std::vector<int> positions;
  CheckPoints check;
  TableColumns table;
  // One sentence per control-point list whose reading passed over text
  // holding a digit (numbers the user wrote and the run does not use): the
  // list, the text and what to do. Empty for a clean input.
  std::vector<Message> ignored_input;
};

// The position, counting from 1 in the input, of point i of a list whose
// positions are `positions` (empty: i + 1).
inline int InputPosition(const std::vector<int>& positions, size_t i) {
  return i < positions.size() ? positions[i] : static_cast<int>(i + 1);
}

// What names point i to its user: its name from the table, else its
// position counting from 1, as "K7" or "7".
inline std::string NameOrPosition(const std::vector<std::string>& names,
                                  const std::vector<int>& positions, size_t i) {
  if (i < names.size() && !names[i].empty()) return names[i];
  return std::to_string(InputPosition(positions, i));
}

// A point as every message names it, by its name or position
// (NameOrPosition): "point K7", "点 K7".
inline Message PointCalled(const std::string& name_or_position) {
  return Message{"point " + name_or_position, "点 " + name_or_position};
}

// A target further than this from the scene's base point, metres, is far
// for a scene built from oblique photography.
inline constexpr double kFarFromBaseM = 50000.0;

// Scale of the Cauchy loss on every control point, metres: residuals well
// above it weigh less than under plain least squares.
inline constexpr double kCauchyScaleM = 0.05;

// Points whose Cauchy weight at the solution is below this are outliers
// (a deviation above three loss scales: 0.15 m at 0.05 m).
inline constexpr double kOutlierWeight = 0.1;

// The control points' accuracy, metres, one coordinate, one sigma, decides
// how the fit weighs them and what counts as a mistake. Survey grade (GNSS
// or total station, up to about 2 cm) keeps the 0.05 m loss and the
// thresholds below at their floors; coarser points (picked on an
// orthophoto or a web map) raise all three with their accuracy.
inline constexpr double kSurveyGradeAccuracyM = 0.02;
// The Cauchy loss's scale per unit of accuracy above survey grade: at 2.5
// sigma the loss is nearly least squares for the points' own scatter.
inline constexpr double kLossScalePerAccuracy = 2.5;
// A blunder deviates by more than this many sigmas, and at least this many
// metres.
inline constexpr double kBlunderSigmas = 5.0;
inline constexpr double kBlunderM = 0.15;
// A deviation worth a look: more than this many sigmas, and at least this
// many metres.
inline constexpr double kLargeDeviationSigmas = 4.0;
inline constexpr double kLargeDeviationM = 0.1;

inline double LossScaleForAccuracy(double point_accuracy_m) {
  // On a grid of 2^-30 m (1 nm): accuracies estimated on two platforms,
  // which may differ in their last bits, give the solver the same loss.
  const double scale_m =
      OnGrid(kLossScalePerAccuracy * point_accuracy_m, 9.313225746154785e-10);
  return scale_m > kCauchyScaleM ? scale_m : kCauchyScaleM;
}
inline double BlunderThresholdM(double point_accuracy_m) {
  const double limit_m = kBlunderSigmas * point_accuracy_m;
  return limit_m > kBlunderM ? limit_m : kBlunderM;
}
inline double LargeDeviationThresholdM(double point_accuracy_m) {
  const double limit_m = kLargeDeviationSigmas * point_accuracy_m;
  return limit_m > kLargeDeviationM ? limit_m : kLargeDeviationM;
}

// What the solver said about its run.
struct SolverOutcome {
  std::string brief_report;  // Ceres' one-line summary
  std::string termination;   // e.g. "CONVERGENCE"
  int iterations = 0;
  double initial_cost = 0.0;
  double final_cost = 0.0;
};

// How precisely the solution is determined: the covariance of the
// parameters at the solution scaled by sigma0^2, taken in the centred
// coordinates of the fit. Present only with redundancy and a covariance of
// full rank; otherwise `note` says why.
struct FitPrecision {
  bool available = false;
  Message note;
  double centroid_src_x = 0.0;  // mean drawing x of the control points
  double centroid_src_y = 0.0;  // mean drawing y
  double east_m = 0.0;          // sd of where centroid_src lands, east
  double north_m = 0.0;         // sd, north
  double scale_ppm = 0.0;       // sd of K in ppm (free scale only)
  double angle_arcsec = 0.0;    // sd of the angle
  // Correlations of (east, north, K, angle), or (east, north, angle) with
  // a fixed scale, row-major.
  std::vector<double> correlation;
  int correlation_size = 0;
};

// The deviation of one point (target minus transformed source, metres)
// under the same robust fit made from all the other points.
struct CheckResidual {
  bool available = false;
  double dx_m = 0.0;
  double dy_m = 0.0;
  double length_m = 0.0;  // sqrt(dx^2 + dy^2)
};

// The quality figures of a fit, computed only when asked for.
struct FitQuality {
  bool computed = false;
  FitPrecision precision;
  std::vector<CheckResidual> checks;  // per point, input order
  Message checks_note;                // why checks are missing, if they are
  // Principal spreads (standard deviations along the principal axes) of the
  // drawing points, drawing units; major >= minor.
  double spread_major = 0.0;
  double spread_minor = 0.0;
};

// The fitted similarity and everything the fit knows about it.
struct SimilarityFit {
  // In the model form (PlaneSimilarity::FromModel): a source point (x, y)
  // lands at
  //   east  = (x * cos(angle_rad) - y * sin(angle_rad)) * K + A_m
  //   north = (x * sin(angle_rad) + y * cos(angle_rad)) * K + B_m
  // K is the `scale` value in fixed-scale mode; the angle is not wrapped
  // into a range.
  PlaneSimilarity similarity;
  bool free_scale = true;
  SolverOutcome solver;
  std::vector<Point2> deviations;   // per point: target minus transformed
  std::vector<double> residuals_m;  // per point: length of the deviation
  std::vector<double> weights;      // per point: Cauchy weight at the solution
  // Scale of the Cauchy loss of the solve whose result this is, metres.
  double loss_scale_m = kCauchyScaleM;
  // Per point: one of the points most agree on (the consensus found before
  // the solve); every point when no consensus was sought.
  std::vector<bool> consensus_inlier;
  // The solve was started from the consensus: the plain start's solution
  // missed the consensus, or the points' accuracy called for a wider loss.
  bool from_consensus = false;
  double rms_m = 0.0;  // sqrt(sum r^2 / n)
  // sqrt(sum r^2 / (2n - u)), u = 4 unknowns (free scale) or 3 (fixed);
  // NaN when 2n <= u (no redundancy).
  double sigma0_m = 0.0;
  FitQuality quality;
};

// The heights: how the drawing's z relates to the targets' up.
struct VerticalLift {
  bool available = false;    // false in the pair mode
  std::vector<double> dz_m;  // per point: up - z - lift
  double lift_m = 0.0;       // median over the points of (up - z)
  double rms_m = 0.0;        // of dz
  double max_abs_m = 0.0;    // of dz
};

}  // namespace geoanchor

#endif  // GEOANCHOR_COMMON_TYPES_H_
