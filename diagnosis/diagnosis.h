// The diagnosis of a registration: what to distrust in a fit, and why.
//
// It judges the prepared control points and the fit, and names the classic
// input mistakes (longitude and latitude exchanged, the drawing's x and y
// exchanged, the surveyors' 116.234567 for 116°23'45.67" read as decimal
// degrees, two targets exchanged, a drawing in another unit) with a
// remedy, rather than leaving a confident matrix unexplained. It computes
// and returns; output/ renders its findings.
//
// Each finding has a code, the points it concerns and one English sentence
// with the figures that matter and what to do. The verdict:
//  - good:  no findings;
//  - check: findings, but the matrix is usable;
//  - bad:   the matrix is not to be trusted: a finding whose rule says so
//           (its severity in rules.h: kBad, or kJudged where the matrix
//           follows the point at fault).
//
// A drawing in a map projection (a Gauss-Krueger zone, UTM, a city's own
// transverse Mercator) cannot be carried onto the flat scene by one
// similarity exactly; on a big site its distortion alone makes decimetres
// of deviation. So the points are judged by their survey deviation (how
// far each drawing point lies from where its WGS84 position projects):
// outliers (blunders), large deviations, the share of outliers, exchanged
// targets and leverage all look at the survey, not at the fit's
// deviations, and the projection's distortion raises no finding but
// projection_distortion, when one matrix cannot hold the drawing.
// A finding that explains others hides them (rules.h says which): an
// exchanged reading hides the non-convergence, the outliers and large
// deviations it accounts for, the scale it distorts and what the distorted
// fit makes of them; two exchanged targets hide their outliers and
// heights; points that do not belong together hide what their fit makes
// of each point.
// Check points (a table's rows with use 0) are judged like the fitted
// points, by their survey deviation, but under a matrix they did not help
// to fit: check_point_off names one beyond the large_deviation threshold
// of the points' accuracy, unless a bad finding already distrusts the
// matrix. Messages name points by their names where the table gives them.
#ifndef GEOANCHOR_DIAGNOSIS_DIAGNOSIS_H_
#define GEOANCHOR_DIAGNOSIS_DIAGNOSIS_H_

#include <limits>
#include <string>
#include <vector>

#include "common/language.h"
#include "common/types.h"
#include "diagnosis/matrix_hold.h"
#include "diagnosis/rules.h"
#include "fit/fit_policy.h"
#include "fit/plane_similarity.h"
#include "fit/scene_matrix.h"
#include "grid/grid_reference.h"
#include "grid/projection.h"

namespace geoanchor {

enum class Verdict { kGood, kCheck, kBad };

// "good", "check" or "bad".
const char* VerdictName(Verdict verdict);

// What a finding is about: one code per rule of rules.h, in the order in
// which findings may hide one another (a finding hides only findings of
// later codes).
enum class FindingCode {
#define GEOANCHOR_FINDING_CODE(code, ...) code,
  GEOANCHOR_DIAGNOSIS_RULES(GEOANCHOR_FINDING_CODE)
#undef GEOANCHOR_FINDING_CODE
};

// The code as the report and standard error write it: "exchanged_axes",
// "outlier", ...
const char* FindingCodeName(FindingCode code);

struct Finding {
  FindingCode code = FindingCode::kOutlier;
  // Input positions counting from 1 (in a table, check points counted
  // too), ascending.
  std::vector<int> points;
  Message message;   // one sentence: figures and what to do
  bool bad = false;  // makes the verdict bad
  // The points (input positions) whose own findings this one explains,
  // where they are not the points it names (an exchanged reading names
  // none).
  std::vector<int> explains;
  // Judged only with a report or a plot (DiagnosisDepth::kFull), so it
  // stays off standard error, which must read the same either way.
  bool report_only = false;
};

// The heights judged on their own (height and model-base-point modes).
struct HeightDiagnosis {
  bool available = false;     // false in the pair mode
  bool flat_drawing = false;  // every drawing z equal
  // The plane fitted robustly to (ellipsoidal height - z) over east and
  // north: only for a drawing that is not flat, with 4 heights or more.
  bool plane_fitted = false;
  double slope_east_ppm = 0.0;      // metres per million metres east
  double slope_north_ppm = 0.0;     // metres per million metres north
  std::vector<double> off_plane_m;  // per point: h - z - plane
  // Largest minus smallest drop of a target below the base point's tangent
  // plane, d^2 / 2R at horizontal distance d, metres: what a flat frame
  // cannot follow, not a mistake.
  double curvature_m = 0.0;
};

// The check points (a control-point table's rows with use 0) under the
// fitted matrix.
struct CheckPointJudgement {
  // Per check point, metres: target minus transformed source, as the
  // fitted points' deviations, and its length.
  std::vector<Point2> deviations;
  std::vector<double> residuals_m;
  // Per check point, metres: the survey deviation and the projection's
  // part of the deviation, as SurveyJudgement's for the fitted points.
  std::vector<double> survey_m;
  std::vector<double> projection_m;
  // RMS and largest of residuals_m; NaN without check points.
  double rms_m = std::numeric_limits<double>::quiet_NaN();
  double max_m = std::numeric_limits<double>::quiet_NaN();
};

// The check points measured under `fit`, against `projection` as the
// fitted points identified it.
CheckPointJudgement JudgeCheckPoints(const CheckPoints& check,
                                     const SimilarityFit& fit,
                                     const Projection& projection);

// The drawing against the coordinates its scene stores (with a scene's
// file only).
struct SceneJudgement {
  bool available = false;
  // The matrix into the scene's coordinates moves the drawing without
  // turning or scaling it, within the blunder threshold of the points'
  // accuracy at every point the fit kept (its departure from a shift
  // below): the drawing is in the scene's grid, up to a shift.
  bool drawing_in_scene_grid = false;
  // Largest distance, metres, between where the matrix puts a kept point
  // and where the pure shift of their centroid puts it.
  double shift_departure_m = 0.0;
  // The Gauss-Krueger zone number in front of the drawing's eastings (0:
  // none) and whether its meridian is the scene's grid's.
  int drawing_zone = 0;
  bool zone_names_scene_grid = false;
};

struct Diagnosis {
  Verdict verdict = Verdict::kGood;
  // The control points' accuracy, metres, one coordinate, one sigma, that
  // the thresholds follow: --accuracy, or estimated from the survey
  // deviations, never below survey grade.
  double point_accuracy_m = kSurveyGradeAccuracyM;
  // The Cauchy loss's scale the fit used, metres.
  double loss_scale_m = kCauchyScaleM;
  // Bad findings first, then the others by their first point, then those
  // that name no point; otherwise in the order they were made.
  std::vector<Finding> findings;
  // "m", "dm", "cm", "mm", "km", "in" or "ft" when |K| is within 1 % of
  // that unit's metres; "" otherwise.
  std::string drawing_units;
  HeightDiagnosis heights;
  // The projection and each point's survey deviation: every run.
  SurveyJudgement survey;
  // How well one matrix holds the drawing: with the full depth only.
  MatrixHold hold;
  // The drawing judged point by point against its national grid: every
  // run.
  GridJudgement grid;
  // Every run.
  CheckPointJudgement check_points;
  // Every run with a scene's file.
  SceneJudgement scene;
};

enum class DiagnosisDepth {
  // Every run: every finding but leverage, projection_distortion and
  // height_off_lift, each as the full depth makes it. Cheap.
  kVerdict,
  // With a report or a plot: those too, leverage from the fit's quality
  // figures, and how well one matrix holds the drawing.
  kFull,
};

// `scale` is the run's --scale (free below 1e-6 in magnitude);
// `accuracy_m` the run's --accuracy (0 or NaN: estimate it from the
// points); `scene` the scene and the matrix into its coordinates, when the
// base point came from the scene's file (null otherwise).
Diagnosis Diagnose(const ControlPoints& points, const SimilarityFit& fit,
                   double scale, DiagnosisDepth depth, double accuracy_m = 0.0,
                   const SceneMatrix* scene = nullptr);

// A scale names a drawing unit when it is within this share of the unit's
// metres.
inline constexpr double kDrawingUnitShare = 0.01;

// The drawing unit whose metres |K| is within 1 % of, or "".
std::string DrawingUnits(double K);

}  // namespace geoanchor

#endif  // GEOANCHOR_DIAGNOSIS_DIAGNOSIS_H_
